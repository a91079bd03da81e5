// Shared pieces of the picture item tests: the registry with the item kinds and every
// transition, the stored fields of bitmap and picture items written byte by byte, and
// pictures made on the fly.
#pragma once

#include "objects/ObjectTestSupport.h"
#include "document/SlideShowTestSupport.h"
#include "objects/PicSlideShowObject.h"
#include "graphics/PictureRegistry.h"
#include "graphics/PngWriter.h"
#include "graphics/picture_testsupport.h"

#include <bit>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

// The show tests' registry (with every transition: the random transition picks from it)
// and the picture formats.
inline TPlugins& PictureTestPlugins() {
    static TPlugins* plugins = [] {
        TPlugins& p = ShowTestPlugins();
        InitializePictureFormats();
        return &p;
    }();
    return *plugins;
}

inline Bytes& Dbl(Bytes& b, double d) { return b.u64(std::bit_cast<uint64_t>(d)); }

// The bitmap base's stored fields.
struct TBitmapFields {
    bool KeepAspectRatio = true;
    uint8_t Alignment = 0;
    double Left = 0, Top = 0, Right = 1, Bottom = 1;
    bool Stretch = true;
    bool FillBackground = true;
    uint32_t BackgroundColor = 0xFF000000;
    uint8_t BlendMode = 0;
};

inline Bytes BitmapFields(const TBitmapFields& f) {
    Bytes b;
    b.u8(f.KeepAspectRatio).u8(f.Alignment);
    Dbl(b, f.Left);
    Dbl(b, f.Top);
    Dbl(b, f.Right);
    Dbl(b, f.Bottom);
    return b.u8(f.Stretch).u8(f.FillBackground).u32(f.BackgroundColor).u8(f.BlendMode);
}

// Curve blocks: the present flag, then the curve's keys.
using TIntKey = std::tuple<int32_t, bool, int32_t>;          // time, linear, value
using TPathKey = std::tuple<int32_t, bool, int32_t, int32_t>;  // time, linear, x, y
inline Bytes NoCurve() { return Block(Bytes().i32(0)); }
inline Bytes IntCurve(const std::vector<TIntKey>& keys) {
    Bytes c;
    c.i32(1).i32(int32_t(keys.size()));
    if (!keys.empty()) c.str("TTimeIntegerValue");
    for (auto [t, l, v] : keys) c.i32(t).u8(l).i32(v);
    return Block(c);
}
inline Bytes PathCurve(const std::vector<TPathKey>& keys) {
    Bytes c;
    c.i32(1).i32(int32_t(keys.size()));
    if (!keys.empty()) c.str("TTimeVector2DValue");
    for (auto [t, l, x, y] : keys) c.i32(t).u8(l).i32(x).i32(y);
    return Block(c);
}
inline Bytes NoTransition() { return Block(Bytes().i32(0)); }
// A transition's class name and its own data.
inline Bytes TransitionBlock(const std::string& className, const Bytes& data) {
    return Block(Bytes().i32(1).str(className).raw(data.vec()));
}
// The transition base's data: Enabled, Duration.
inline Bytes TransitionBase(bool enabled = true, int32_t duration = 2000) {
    return Bytes().u8(enabled).i32(duration);
}
// A new item's transition: the random one with the base's defaults.
inline Bytes RandomTransition() { return TransitionBlock("TRandomTransitionPlugin", TransitionBase()); }

// The picture kinds' own fields; ExifState 1 carries the view's block inside a block.
inline Bytes PictureFields(const std::string& fileName, uint8_t exifState, const Bytes& exifView = Bytes()) {
    Bytes b;
    b.str(fileName).u8(exifState);
    if (exifState == 1) b.raw(Block(exifView).vec());
    return b;
}
// The view's own block: EXIF, IPTC and comment strings, or nothing.
inline Bytes ExifView(const std::string& exif, const std::string& iptc, const std::string& comment) {
    return Block(Bytes().str(exif).str(iptc).str(comment));
}

// Whole item data of the two kinds (duration -1, no events).
inline Bytes StillPictureData(const TBitmapFields& f, const Bytes& picture) {
    return Concat({PlayableData(-1), BitmapFields(f), picture});
}
inline Bytes EffectsData(const TBitmapFields& f, const Bytes& curvesAndTransition, const Bytes& picture) {
    return Concat({PlayableData(-1), BitmapFields(f), curvesAndTransition, picture});
}
inline Bytes NoEffects(const Bytes& transition = RandomTransition()) {
    return Concat({NoCurve(), NoCurve(), NoCurve(), NoCurve(), transition});
}

// Reads an item's own data from bytes (content version 773); False when it refuses them.
inline bool ReadItemBytes(TSlideShowObject& item, const std::vector<uint8_t>& bytes, uint32_t version = 0x305) {
    TMemoryStream m(bytes);
    TOKFStreamWinTypes c(&m, okfRaw);
    c.Header.FileType = kSlideShowFileType;
    c.Header.ContentVersion = version;
    try {
        return item.ReadData(c) && c.ReadBlockDepth() == 0 && m.GetPosition() == int64_t(bytes.size());
    } catch (const std::exception&) {
        return false;
    }
}

// Writes the item, compares with the fixture, reads the fixture into a fresh item of the
// same class and writes that again; the fresh item is returned.
template <class T>
std::unique_ptr<T> StoreRoundTrip(T& item, const Bytes& fixture) {
    EXPECT_EQ(ItemDataBytes(item), fixture.vec());
    auto back = std::make_unique<T>();
    EXPECT_TRUE(ReadItemBytes(*back, fixture));
    EXPECT_EQ(ItemDataBytes(*back), fixture.vec());
    return back;
}

// A JPEG with a comment segment right after its start: a file with metadata.
inline std::vector<uint8_t> JpegWithComment(int w, int h, const std::function<TColor32(int, int)>& pixel,
                                            const std::string& comment) {
    std::vector<uint8_t> jpg = EncodeJpeg(w, h, pixel);
    const size_t n = comment.size() + 2;
    std::vector<uint8_t> seg = {0xFF, 0xFE, uint8_t(n >> 8), uint8_t(n & 0xFF)};
    seg.insert(seg.end(), comment.begin(), comment.end());
    jpg.insert(jpg.begin() + 2, seg.begin(), seg.end());
    return jpg;
}

// A bitmap as a PNG in the test's output folder, for looking at it afterwards.
inline void SavePng(const TBitmap32& b, const std::string& name) {
    WritePngPicture(b, (TestOutputFolder() / name).string());
}
