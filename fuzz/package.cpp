// Opens any input as a package and reads every item through its window.
#include "foundation/Packager.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = (PackagerModule::Initialize(), true);
    (void)registered;
    TMemoryStream m(std::vector<uint8_t>(data, data + size));
    TPackager p;
    if (!p.OpenOnStream(m)) return 0;
    std::vector<uint8_t> buf(4096);
    for (int i = 0; i < p.FileList().Count(); ++i) {
        auto item = p.OpenItemByIndex(i);
        if (!item) continue;
        while (item->Read(buf.data(), static_cast<int64_t>(buf.size())) > 0) {
        }
    }
    return 0;
}
