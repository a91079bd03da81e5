// Loads show documents from arbitrary bytes; a show that loads is saved again.
#include "document/SlideShow.h"
#include "foundation/Startup.h"
#include "media/MediaModules.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void Setup() {
    static const bool done = [] {
        AddShowModules();
        RunInitializations();
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    TSlideShow show;
    TMemoryStream in(std::vector<uint8_t>(data, data + size));
    try {
        if (show.LoadFromStream(in) == slLoaded) {
            TMemoryStream out;
            show.SaveToStream(out);
        }
    } catch (const std::exception&) {
        // No container at all: the stream form reports it by raising.
    }
    return 0;
}
