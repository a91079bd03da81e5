// Feeds the metadata view three ways: as a JPEG file's segments, as stored segment
// strings (split at the first byte's position) and as a stored view block.
#include "document/ExifTools.h"
#include "document/SlideShowObjectExif.h"
#include "foundation/OKFStream.h"
#include "foundation/Properties.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>

namespace {

void Ask(const TExif& view) {
    (void)HasExif(&view);
    (void)GetComment(&view);
    (void)GetExifComment(&view);
    (void)GetCaptureDateTime(&view);
    (void)GetCaptureSecond(&view);
    if (auto reader = CreateReader(&view)) {
        (void)reader->ExifValue("Make");
        (void)reader->ExifValue("MakerNote");
        (void)reader->IptcValue("Keywords");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    {
        TMemoryStream s(bytes);
        TExif view;
        view.Container = std::make_unique<TExifContainer>();
        if (ScanJpegSegments(s, *view.Container)) Ask(view);
    }
    if (size > 0) {
        const size_t split = std::min<size_t>(size - 1, size_t(data[0]) * 4);
        TExif view;
        view.Container = std::make_unique<TExifContainer>();
        view.Container->ExifData.assign(reinterpret_cast<const char*>(data + 1), split);
        view.Container->IptcData.assign(reinterpret_cast<const char*>(data + 1 + split), size - 1 - split);
        Ask(view);
        // The same with the signatures in place, to get past them.
        view.Container->ExifData = std::string("\0\0Exif\0\0", 8) + view.Container->ExifData;
        view.Container->IptcData = std::string("\0\0Photoshop 3.0\0", 16) + view.Container->IptcData;
        Ask(view);
    }
    {
        TMemoryStream s(bytes);
        TOKFStream okf(&s, okfRaw);
        okf.Header.ContentVersion = kSlideShowContentVersion;
        TSlideShowObjectExif view;
        if (view.ReadData(okf)) Ask(view);
    }
    return 0;
}
