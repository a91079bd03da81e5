#include "graphics/VectorTextEffect.h"

#include "foundation/ClassRegistry.h"
#include "foundation/OKFStream.h"
#include "graphics/Bitmap32.h"
#include "graphics/VectorText.h"
#include "platform/GlyphOutline.h"
#include "platform/Stream.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr TFixed kPx = FixedOne;

// Outline text on the fake glyph source: every character a 20 × 40 box with a hole.
class TextEffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetGlyphOutlineSource(&fake);
        plugins.Register<TSimpleZoomVectorTextEffect>();
        text.Font.Size = -40;
        text.DrawMode = vdmPlain;
    }
    void TearDown() override { SetGlyphOutlineSource(nullptr); }

    void SetText(const AnsiString& s) {
        text.SetText(s);
        TFixedRect bounds;
        text.Draw(0, 0, bounds, true, 0, nullptr);
    }
    // The rectangle the zoom gives at time (started at 0), measured only.
    TFixedRect Measure(TSimpleZoomVectorTextEffect& zoom, int32_t time, TBitmap32& target) {
        zoom.Init(target.BoundsRect(), &text);
        TFixedRect r;
        zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, 0, true, r);
        zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, time, true, r);
        return r;
    }
    static uint8_t MaxAlpha(const TBitmap32& b) {
        uint8_t a = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) a = std::max<uint8_t>(a, uint8_t(b.Pixel(x, y) >> 24));
        return a;
    }

    TFakeGlyphOutlineSource fake;
    TPlugins plugins;
    TVectorText text;
};

TEST_F(TextEffectTest, OneCharacterZoomsOverOverlapSteps) {
    SetText("A");
    TBitmap32 target(400, 300);
    TSimpleZoomVectorTextEffect zoom;  // 2000 ms, overlap 8, zoom 5: step 2000 / 9
    const TCharVector& c = *text.Chars[0];
    const TFixed w = c.Width(), h = c.Height();
    // (time, width factor) with Appear: fully zoomed at 0, normal from 8 steps on; the
    // scale stays 1 until the zoom amount passes 1 / 5.
    struct Case {
        int32_t Time;
        bool Appear;
        double Scale;  // 0: not drawn
    } cases[] = {
        {0, true, 5.0},     {889, true, 2.5},  {1778, true, 1.0}, {2000, true, 1.0},
        {0, false, 1.0},    {889, false, 2.5}, {1778, false, 0},  {1999, false, 0},
    };
    for (const Case& k : cases) {
        zoom.Appear = k.Appear;
        const TFixedRect r = Measure(zoom, k.Time, target);
        if (k.Scale == 0) {
            EXPECT_EQ(r, TFixedRect{}) << k.Time;
            continue;
        }
        EXPECT_NEAR((r.Right - r.Left - 4 * kPx) / double(w), k.Scale, 0.01) << k.Time << " " << k.Appear;
        EXPECT_NEAR((r.Bottom - r.Top - 4 * kPx) / double(h), k.Scale, 0.01) << k.Time << " " << k.Appear;
    }
}

TEST_F(TextEffectTest, CharactersStartOneAfterAnother) {
    SetText("ABC");
    TBitmap32 target(400, 300);
    TSimpleZoomVectorTextEffect zoom;
    zoom.ZoomX = zoom.ZoomY = kPx;  // size stays; only the schedule shows
    zoom.Duration = 1100;           // step 100 ms
    const TFixed right0 = 10 * kPx + text.Chars[0]->X + text.Chars[0]->Metrics.OriginX + text.Chars[0]->Width();
    // At 50 ms only the first character is drawn; at 150 the second joins.
    EXPECT_LE(Measure(zoom, 50, target).Right, right0 + 2 * kPx);
    EXPECT_GT(Measure(zoom, 150, target).Right, right0 + 2 * kPx);
    // Vanishing: all gone once e >= (n - 1 + overlap) × step, before the duration.
    zoom.Appear = false;
    EXPECT_EQ(Measure(zoom, 1000, target), TFixedRect{});
    EXPECT_NE(Measure(zoom, 999, target), TFixedRect{});
}

TEST_F(TextEffectTest, FadesWithTheZoomAndEndsOnTheCache) {
    SetText("A");
    TSimpleZoomVectorTextEffect zoom;
    zoom.ZoomX = zoom.ZoomY = kPx;
    zoom.Duration = 900;  // step 100, the zoom runs 0..800
    struct Case {
        int32_t Time;
        int Alpha;
    } cases[] = {{0, 0}, {400, 128}, {600, 191}, {800, 255}};
    for (const Case& k : cases) {
        TBitmap32 target(100, 80);
        target.Clear(0);
        zoom.Init(target.BoundsRect(), &text);
        TFixedRect r;
        zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, 0, false, r);
        target.Clear(0);
        zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, k.Time, false, r);
        EXPECT_NEAR(MaxAlpha(target), k.Alpha, 2) << k.Time;
    }
    // At the end of its zoom a cached character is the cached bitmap where the text puts it.
    text.LayoutGlyphs();
    TBitmap32 target(100, 80);
    zoom.Init(target.BoundsRect(), &text);
    TFixedRect r;
    zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, 0, true, r);
    zoom.GetChangedRect(target, 10 * kPx, 10 * kPx, 800, true, r);
    const TCharVector& c = *text.Chars[0];
    const TBitmap32& cached = *text.GlyphCache[c.CharCode].Bitmap;
    EXPECT_EQ(r.Left, 10 * kPx + c.X + c.Metrics.OriginX);
    EXPECT_EQ(r.Right - r.Left, cached.Width() * kPx);
}

TEST_F(TextEffectTest, OffTargetCharactersAndOddSettingsAreSafe) {
    SetText("AB");
    TBitmap32 target(40, 40);
    TSimpleZoomVectorTextEffect zoom;
    zoom.Init(target.BoundsRect(), &text);
    TFixedRect r;
    zoom.GetChangedRect(target, 1000 * kPx, 0, 0, false, r);
    zoom.GetChangedRect(target, 1000 * kPx, 0, 5000, false, r);
    EXPECT_EQ(r, TFixedRect{});
    // Overlap 0 with an empty text would divide by zero.
    SetText("");
    zoom.Overlap = 0;
    zoom.ZoomX = INT32_MAX;
    zoom.Init(target.BoundsRect(), &text);
    zoom.GetChangedRect(target, 0, 0, 100, false, r);
    EXPECT_EQ(r, TFixedRect{});
}

TEST_F(TextEffectTest, EntryAndExitSwitchesAndFrames) {
    TSimpleZoomVectorTextEffect zoom;
    EXPECT_EQ(TSimpleZoomVectorTextEffect::Caption(), "Zoomer");
    dynamic_cast<IVectorTextEffectOff&>(zoom).SetEffectOff();
    EXPECT_FALSE(zoom.Appear);
    dynamic_cast<IVectorTextEffectOn&>(zoom).SetEffectOn();
    EXPECT_TRUE(zoom.Appear);
    // The zoom names a frame that does not exist; the base has the duration frame.
    EXPECT_EQ(zoom.GetPropertyFrameClass(), nullptr);
    TVectorTextEffect base;
    EXPECT_EQ(base.GetPropertyFrameClass(), &TVectorTexteffectPropertyFrame::StaticClassInfo());
    const auto& layout = TVectorTexteffectPropertyFrame::Layout();
    ASSERT_EQ(layout.size(), 3u);
    EXPECT_STREQ(layout[0].Caption, "Dauer");
    EXPECT_EQ(layout[1].Min, 0.01);
    EXPECT_EQ(layout[1].Max, 9999);
    EXPECT_EQ(layout[1].Value, 1.0);
}

// ---- stored forms ----

Bytes ZoomData(int32_t duration, int32_t overlap, int32_t zx, int32_t zy) {
    return Bytes().i32(duration).i32(overlap).i32(zx).i32(zy);
}
Bytes Block(const Bytes& content) { return Bytes().u32(uint32_t(4 + content.size())).raw(content.vec()); }
Bytes EffectBlock(const std::string& cls, const Bytes& data) { return Block(Bytes().str(cls).raw(data.vec())); }
Bytes PairData(const std::string& name, const Bytes& first, const Bytes& second) {
    return Bytes().str(name).raw(first.vec()).raw(second.vec());
}
Bytes EffectFile(const Bytes& chunks, uint32_t count, uint32_t type = 0x506, uint32_t version = 0x100) {
    const uint64_t size = 32 + chunks.size();
    return Bytes().tag("OKNF").u32(uint32_t(size)).u32(0x00010002).u32(type).u32(count).u32(version).u64(size)
        .raw(chunks.vec());
}
Bytes Chunk(uint32_t type, const Bytes& payload) {
    return Bytes().tag("CHNK").u32(type).u32(uint32_t(12 + payload.size())).raw(payload.vec());
}

std::vector<uint8_t> Save(TComplexVectorTextEffect& pair) {
    TMemoryStream m;
    pair.SaveToStream(m);
    return m.Bytes();
}
bool Load(TComplexVectorTextEffect& pair, const Bytes& bytes) {
    TMemoryStream m(bytes.vec());
    return pair.LoadFromStream(m);
}

TEST_F(TextEffectTest, StreamFormOfThePair) {
    TComplexVectorTextEffect pair;
    pair.Name = "Titel";
    auto* zoom = new TSimpleZoomVectorTextEffect();
    zoom->Overlap = 3;
    zoom->ZoomY = kPx / 2;
    pair.SecondEffect.reset(zoom);
    const Bytes expected = PairData("Titel", Block(Bytes()),
                                    EffectBlock("TSimpleZoomVectorTextEffect", ZoomData(2000, 3, 5 * kPx, kPx / 2)));
    EXPECT_EQ(Save(pair), expected.vec());

    TComplexVectorTextEffect back;
    ASSERT_TRUE(Load(back, expected));
    EXPECT_EQ(back.Name, "Titel");
    EXPECT_EQ(back.EntryEffect(), nullptr);
    auto* read = dynamic_cast<TSimpleZoomVectorTextEffect*>(back.ExitEffect());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Duration, 2000);
    EXPECT_EQ(read->Overlap, 3);
    EXPECT_EQ(read->ZoomX, 5 * kPx);
    EXPECT_EQ(read->ZoomY, kPx / 2);

    std::unique_ptr<TComplexVectorTextEffect> copy = pair.Clone();
    ASSERT_TRUE(copy);
    EXPECT_EQ(Save(*copy), expected.vec());
}

TEST_F(TextEffectTest, StoredValuesAreHeldInRange) {
    struct Case {
        int32_t Duration, Overlap, ZoomX, ZoomY;
        int32_t WantDuration, WantOverlap, WantZoomX, WantZoomY;
    } cases[] = {
        {-7, 0, -1, 100 * kPx, 0, 1, 0, 64 * kPx},
        {500, -3, INT32_MAX, INT32_MIN, 500, 1, 64 * kPx, 0},
        {1, 5000, 64 * kPx, 0, 1, 1000, 64 * kPx, 0},
        {3000, 1000, kPx, 2 * kPx, 3000, 1000, kPx, 2 * kPx},
    };
    for (const Case& c : cases) {
        TComplexVectorTextEffect pair;
        ASSERT_TRUE(Load(pair, PairData("", EffectBlock("TSimpleZoomVectorTextEffect",
                                                         ZoomData(c.Duration, c.Overlap, c.ZoomX, c.ZoomY)),
                                        Block(Bytes()))));
        auto* zoom = dynamic_cast<TSimpleZoomVectorTextEffect*>(pair.FirstEffect.get());
        ASSERT_NE(zoom, nullptr);
        EXPECT_EQ(zoom->Duration, c.WantDuration);
        EXPECT_EQ(zoom->Overlap, c.WantOverlap);
        EXPECT_EQ(zoom->ZoomX, c.WantZoomX);
        EXPECT_EQ(zoom->ZoomY, c.WantZoomY);
    }
}

TEST_F(TextEffectTest, OnlyRegisteredEffectClassesAreMade) {
    // A registered class of another kind is no effect.
    RegisterClass(TVectorTexteffectPropertyFrame::StaticClassInfo());
    const Bytes zoom = EffectBlock("TSimpleZoomVectorTextEffect", ZoomData(100, 2, kPx, kPx));
    struct Case {
        const char* Name;
        Bytes First;
        bool Result;
        bool HasFirst;
    } cases[] = {
        {"unknown", EffectBlock("TNoSuchEffect", ZoomData(1, 1, 1, 1)), true, false},
        {"other kind", EffectBlock("TVectorTexteffectPropertyFrame", Bytes()), true, false},
        {"data cut short", EffectBlock("TSimpleZoomVectorTextEffect", Bytes().i32(100).i32(2)), false, false},
        {"lower case", EffectBlock("tsimplezoomvectortexteffect", ZoomData(100, 2, kPx, kPx)), true, true},
    };
    for (const Case& c : cases) {
        TComplexVectorTextEffect pair;
        EXPECT_EQ(Load(pair, PairData("x", c.First, zoom)), c.Result) << c.Name;
        EXPECT_EQ(pair.FirstEffect != nullptr, c.HasFirst) << c.Name;
        // The block end skips what was not read: the second effect still reads.
        ASSERT_NE(pair.SecondEffect, nullptr) << c.Name;
        EXPECT_EQ(pair.SecondEffect->Duration, 100) << c.Name;
    }
    UnRegisterClass(TVectorTexteffectPropertyFrame::StaticClassInfo());
}

TEST_F(TextEffectTest, FileForm) {
    TempDir dir;
    const Bytes payload = PairData("intern", EffectBlock("TSimpleZoomVectorTextEffect", ZoomData(1500, 4, kPx, kPx)),
                                   Block(Bytes()));
    struct Case {
        const char* Name;
        Bytes File;
        bool Result;
    } cases[] = {
        {"good", EffectFile(Chunk(0x100, payload), 1), true},
        {"other chunk first", EffectFile(Bytes().raw(Chunk(0x200, Bytes().u32(7)).vec()).raw(Chunk(0x100, payload).vec()), 2), true},
        {"other id", EffectFile(Chunk(0x100, payload), 1, 0x505), false},
        {"other version", EffectFile(Chunk(0x100, payload), 1, 0x506, 0x101), false},
        {"no effect chunk", EffectFile(Chunk(0x200, payload), 1), false},
        {"no chunk", EffectFile(Bytes(), 0), false},
        {"broken chunk", EffectFile(Chunk(0x100, Bytes().u32(999)), 1), false},
        {"not a container", Bytes().raw(std::string("hello world, no container here!!")), false},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir / "Sanft.vte", c.File.vec());
        const AnsiString path = dir.Program() + "Sanft.vte";
        TComplexVectorTextEffect pair;
        pair.Name = "vorher";
        EXPECT_EQ(pair.LoadFromFile(path), c.Result) << c.Name;
        EXPECT_EQ(pair.Name, c.Result ? "Sanft" : "vorher") << c.Name;
        if (c.Result) {
            ASSERT_NE(pair.FirstEffect, nullptr) << c.Name;
            EXPECT_EQ(pair.FirstEffect->Duration, 1500) << c.Name;
        }
    }
    EXPECT_FALSE(TComplexVectorTextEffect().LoadFromFile(dir.Program() + "fehlt.vte"));

    // Written: the header, then one effect chunk whose payload is the stream form.
    TComplexVectorTextEffect pair;
    pair.Name = "intern";
    pair.FirstEffect.reset(new TSimpleZoomVectorTextEffect());
    pair.FirstEffect->Duration = 1500;
    static_cast<TSimpleZoomVectorTextEffect&>(*pair.FirstEffect).Overlap = 4;
    static_cast<TSimpleZoomVectorTextEffect&>(*pair.FirstEffect).ZoomX = kPx;
    static_cast<TSimpleZoomVectorTextEffect&>(*pair.FirstEffect).ZoomY = kPx;
    ASSERT_TRUE(pair.SaveToFile(dir.Program() + "out.vte"));
    EXPECT_EQ(ReadFileBytes(dir / "out.vte"), EffectFile(Chunk(0x100, payload), 1).vec());
}

}  // namespace
