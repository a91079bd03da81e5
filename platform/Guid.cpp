#include "platform/Guid.h"

#include "platform/LittleEndian.h"

#include <cstdio>

void WriteGUID(const TGUID& guid, uint8_t* out) {
    PutLE32(out, guid.D1);
    PutLE16(out + 4, guid.D2);
    PutLE16(out + 6, guid.D3);
    for (int i = 0; i < 8; ++i) out[8 + i] = guid.D4[i];
}

TGUID ReadGUID(const uint8_t* data) {
    TGUID g;
    g.D1 = GetLE32(data);
    g.D2 = GetLE16(data + 4);
    g.D3 = GetLE16(data + 6);
    for (int i = 0; i < 8; ++i) g.D4[i] = data[8 + i];
    return g;
}

AnsiString GUIDToString(const TGUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(g.D1),
                  unsigned(g.D2), unsigned(g.D3), g.D4[0], g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6],
                  g.D4[7]);
    return text;
}
