#include "graphics/EpsReader.h"

#include "graphics/MagickReader.h"
#include "graphics/PictureReader.h"

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

TBitmap32 ReadEpsPreview(const uint8_t* data, size_t size) {
    if (size < 30 || U32(data) != 0xC6D3D0C5u) throw EInvalidGraphic("not an EPS file with a preview");
    const uint64_t offset = U32(data + 20), length = U32(data + 24);
    if (offset == 0 || length == 0) throw EInvalidGraphic("an EPS without a TIFF preview");
    if (offset > size || length > size - offset) throw EInvalidGraphic("damaged EPS: its preview reaches past the end");
    return ReadMagickPicture(data + offset, size_t(length), "TIFF");
}
