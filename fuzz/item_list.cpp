// Reads item lists from any input: a container file with header (as the clipboard and
// list files hold them) or a header-less run, then walks, copies and re-writes what was
// read. What was written once must read back and write the same bytes again.
#include "document/CollectionSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "objects/ObjectModules.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/Plugins.h"
#include "foundation/Properties.h"
#include "transitions/TransitionModules.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TPlugins& ItemPlugins() {
    static TPlugins* p = [] {
        auto* plugins = new TPlugins();
        InitializeTransitionModules(*plugins);
        InitializeShowItemModules(*plugins);
        return plugins;
    }();
    return *p;
}

std::vector<uint8_t> Write(TSlideShowObjectList& list) {
    TMemoryStream m;
    if (!list.SaveToStream(m)) std::abort();
    return m.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ItemPlugins();
    if (size > 1 << 16) return 0;
    TMemoryStream m(std::vector<uint8_t>(data, data + size));
    TSlideShowObjectList list;
    int32_t chunks = 0;
    try {
        const bool withHeader = size >= 4 && data[0] == 'O' && data[1] == 'K' && data[2] == 'N' && data[3] == 'F';
        TOKFStreamWinTypes s(&m, withHeader ? okfRead : okfRaw);
        if (!withHeader) {
            s.Header.FileType = kSlideShowFileType;
            s.Header.ContentVersion = size > 0 && (data[size - 1] & 1) ? kSlideShowContentVersion : 0x302;
        }
        list.ReadObjects(s, 0, TSlideShowObjectList::kAtEnd, {}, chunks);
    } catch (const Exception&) {
        return 0;  // a header that is no container
    }

    // Walk and copy what was read.
    int steps = 0;
    for (TSlideShowObject* o = list.GetNextObject(nullptr); o && steps < 100000; o = list.GetNextObject(o), ++steps) {
        (void)o->GetPathString();
        (void)o->GetDuration();
        if (auto* p = dynamic_cast<IPlayable*>(o)) p->Start();
        // Placements of stored rectangles of any value.
        if (auto* b = dynamic_cast<TBaseBitmapSlideShowObject*>(o)) {
            (void)b->NeedsBackground();
            TRect r;
            CalcTargetRect(640, 480, b->GetCurrentRect(), r, b->KeepAspectRatio, b->Stretch, b->Alignment,
                           TRect{0, 0, 1920, 1080});
        }
    }
    (void)list.GetTotalCount();
    TSlideShowObjectList copy;
    copy.Assign(list);

    const std::vector<uint8_t> first = Write(list);
    if (Write(copy) != first) std::abort();
    TMemoryStream again(first);
    TSlideShowObjectList back;
    int32_t c2 = 0;
    back.LoadFromStream(again, TSlideShowObjectList::kAtEnd, {}, c2);
    if (back.LastReadFailed() || back.DroppedCount() != 0) std::abort();
    if (Write(back) != first) std::abort();
    return 0;
}
