// The registry store reader: any bytes are either a whole store or damaged. The input
// is taken twice: as it is, and with a correct checksum put at its end, so that the
// fuzzer reaches the key and value parsing behind the checksum test.
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {
uint32_t Crc(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    ParseRegistryStore(bytes);
    const uint32_t c = Crc(data, size);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(c >> (8 * i)));
    ParseRegistryStore(bytes);
    return 0;
}
