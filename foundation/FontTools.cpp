#include "foundation/FontTools.h"

namespace {
void Put(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t Get(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
}  // namespace

uint32_t FontToBlob(const TFont* font, std::vector<uint8_t>& blob) {
    blob.clear();
    if (!font) return kNoFont;
    const uint32_t n = 17 + static_cast<uint32_t>(font->Name.size());
    blob.reserve(n);
    Put(blob, n);
    Put(blob, font->Color);
    Put(blob, static_cast<uint32_t>(font->Name.size()));
    blob.insert(blob.end(), font->Name.begin(), font->Name.end());
    Put(blob, static_cast<uint32_t>(font->Size));
    blob.push_back(font->Style & 0x0F);
    return n;
}

std::unique_ptr<TFont> BlobToFont(const uint8_t* data, size_t n) {
    if (n < 17) return nullptr;
    // The inner size field (bytes 0..3) repeats n and is ignored.
    const uint32_t m = Get(data + 8);
    if (m > n - 17) return nullptr;
    auto font = std::make_unique<TFont>();
    font->Color = Get(data + 4);
    font->Name.assign(reinterpret_cast<const char*>(data + 12), m);
    font->Size = static_cast<int32_t>(Get(data + 12 + m));
    font->Style = data[16 + m] & 0x0F;
    return font;
}
