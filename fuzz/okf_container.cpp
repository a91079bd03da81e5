// Walks any input as a container: header, chunks, nested blocks, strings, fonts, rectangles.
#include "foundation/OKFStreamWinTypes.h"

#include <cstddef>
#include <cstdint>

namespace {
void WalkBlock(TOKFStreamWinTypes& okf, int depth) {
    const uint32_t len = okf.BeginReadBlock();
    if (len >= 4 && depth < 8) {
        switch (okf.ReadByteValue() % 4) {
            case 0: okf.ReadStringValue(); break;
            case 1: { std::unique_ptr<TFont> f; okf.ReadFont(f); break; }
            case 2: okf.ReadDoubleRectValue(); break;
            default: WalkBlock(okf, depth + 1); break;
        }
    }
    okf.EndReadBlock();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream m(std::vector<uint8_t>(data, data + size));
    try {
        TOKFStreamWinTypes okf(&m, okfRead);
        okf.SeekToFirstChunk();
        for (uint32_t i = 0; i < okf.ChunkCount; ++i) {
            const int64_t start = okf.GetPosition();
            TChunkHeader h;
            okf.ReadChunkHeader(h);
            if (h.ChunkType & 1) WalkBlock(okf, 0);
            else okf.ReadStringValue();
            okf.SetPosition(start + h.Size);
        }
    } catch (const Exception&) {
    }
    return 0;
}
