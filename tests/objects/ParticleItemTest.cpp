// The particle layer: its stored form against fixture bytes with cut values, the
// particles' ways with a seeded generator, frames that put back exactly what they
// covered, files that fail, and directions that once never ended.
#include "PictureTestSupport.h"

#include "objects/ParticleSlideShowObject.h"
#include "platform/DebugOutput.h"
#include "platform/Random.h"

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

Bytes& F32(Bytes& b, float f) { return b.u32(std::bit_cast<uint32_t>(f)); }

struct TParticleFields {
    std::string FileNames;
    int32_t Count = 20;
    float Direction = 4.712389f, Speed = 0.1f, Reserved = 0, Size = 0.1f;
    uint8_t Motion = 1;
    float Amplitude = 0.1f, Frequency = 0.5f;
};

// ParticleCount comes before Direction.
Bytes ParticleFields(const TParticleFields& f) {
    Bytes b;
    b.str(f.FileNames).i32(f.Count);
    F32(b, f.Direction);
    F32(b, f.Speed);
    F32(b, f.Reserved);
    F32(b, f.Size);
    b.u8(f.Motion);
    F32(b, f.Amplitude);
    return F32(b, f.Frequency);
}
Bytes ParticleData(const TParticleFields& f) { return EffectsData({}, NoEffects(), ParticleFields(f)); }

std::vector<uint8_t> WrittenData(TSlideShowObject& item) {
    TMemoryStream m;
    TOKFStreamWinTypes s(&m, okfRaw);
    s.Header.FileType = kSlideShowFileType;
    s.Header.ContentVersion = kSlideShowContentVersion;
    EXPECT_TRUE(item.WriteData(s));
    return m.Bytes();
}

// A soft white disc.
TColor32 Flake(int x, int y, int size) {
    const double r = size / 2.0, d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
    return SetAlpha(clWhite32, uint8_t(std::clamp(1.0 - d, 0.0, 1.0) * 255));
}

class ParticleTest : public ::testing::Test {
protected:
    void SetUp() override {
        PictureTestPlugins();
        RandSeed(19);
    }
    std::string WriteFlake(const std::string& name, int size = 16) {
        const std::string path = dir / name;
        WriteFileBytes(path, EncodePng(size, size, [&](int x, int y) { return Flake(x, y, size); }));
        return path;
    }
    // A background worth restoring.
    TBitmap32& Back(int w, int h) {
        TBitmap32& b = player.MakeBackBuffer(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) b.SetPixel(x, y, Color32(uint8_t(20 + y * 60 / h), uint8_t(30 + x * 40 / w), 90));
        return b;
    }
    // The point where a particle leaves the square when it goes Left further.
    static double Outside(const TParticleSlideShowObject& o, const TParticle& p, double left) {
        const double x = p.OriginX + o.DirCos * left, y = p.OriginY + o.DirSin * left;
        return std::max(std::fabs(x), std::fabs(y));
    }

    TempDir dir;
    TFakeDrawingPlayer player;
};

TEST_F(ParticleTest, StoredFormAndDefaults) {
    TParticleSlideShowObject fresh;
    EXPECT_EQ(WrittenData(fresh), ParticleData({}).vec());

    TParticleFields f;
    f.FileNames = "flocke.png\r\nBilder\\stern.png";
    f.Count = 200;
    f.Direction = 1.5707964f;
    f.Motion = 4;
    f.Reserved = 7.5f;
    const Bytes bytes = ParticleData(f);
    TParticleSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, bytes.vec()));
    EXPECT_EQ(item.ParticleCount, 200);
    EXPECT_EQ(item.GetFileNames(), (std::vector<AnsiString>{"flocke.png", "Bilder\\stern.png"}));
    EXPECT_EQ(item.MotionKind, 4);
    EXPECT_EQ(WrittenData(item), bytes.vec());
    // A copy keeps every stored field, the transition too.
    TSlideShowObjectPtr copy(item.Clone());
    EXPECT_EQ(WrittenData(*copy), bytes.vec());
}

TEST_F(ParticleTest, PlayingKeepsTheStoredTransition) {
    Back(100, 100);
    TParticleFields f;
    f.FileNames = WriteFlake("f.png");
    const Bytes bytes = Concat({PlayableData(-1, NoEvents(), true, 0), BitmapFields({}), NoEffects(), ParticleFields(f)});
    TParticleSlideShowObject item;
    ASSERT_TRUE(ReadItemBytes(item, bytes.vec()));
    item.BeginInitializationStep(&player, -3);
    ASSERT_EQ(item.GetInitializationList()->Count(), 1);
    EXPECT_EQ(item.GetInitializationList()->GetItem(0)->Step, 1);
    EXPECT_EQ(item.GetInitializationList()->GetItem(0)->EstimatedTime, 250);
    item.InitializeAll(&player);
    item.Start();
    item.Play(&player, false);
    EXPECT_EQ(WrittenData(item), bytes.vec());
}

TEST_F(ParticleTest, DamagedValuesAreCut) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* Name;
        TParticleFields Stored;
        int32_t Count;
        float Direction, Speed, Size, Amplitude, Frequency;
    };
    const Case cases[] = {
        {"huge count", {"", 2000000000}, 5000, 4.712389f, 0.1f, 0.1f, 0.1f, 0.5f},
        {"negative count", {"", -3}, 0, 4.712389f, 0.1f, 0.1f, 0.1f, 0.5f},
        {"no numbers", {"", 5, nan, inf, 0, -inf, 0, nan, inf}, 5, 4.712389f, 0.1f, 0.1f, 0.1f, 0.5f},
        {"large size", {"", 5, 1, 1, 0, 40}, 5, 1, 1, 1, 0.1f, 0.5f},
        {"negative size", {"", 5, 1, 1, 0, -2}, 5, 1, 1, 0, 0.1f, 0.5f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        TParticleSlideShowObject item;
        ASSERT_TRUE(ReadItemBytes(item, ParticleData(k.Stored).vec()));
        EXPECT_EQ(item.ParticleCount, k.Count);
        EXPECT_EQ(item.Direction, k.Direction);
        EXPECT_EQ(item.Speed, k.Speed);
        EXPECT_EQ(item.ParticleSize, k.Size);
        EXPECT_EQ(item.Amplitude, k.Amplitude);
        EXPECT_EQ(item.Frequency, k.Frequency);
    }
}

TEST_F(ParticleTest, EveryNewParticleHasTheDiagonalToTravel) {
    TBitmap32& back = Back(200, 150);
    for (float direction : {4.712389f, 0.3f, 2.0f, 3.5f, 5.9f}) {
        SCOPED_TRACE(direction);
        TParticleSlideShowObject item;
        item.Direction = direction;
        item.MotionKind = pmStraight;
        item.ParticleCount = 50;
        ASSERT_TRUE(item.LoadParticles(back, sfLinear));
        ASSERT_EQ(item.Particles->Count(), 50);
        const double diagonal = std::sqrt(8.0);
        // Spread along their ways at first: what is left of the diagonal ends on the border.
        for (int i = 0; i < item.Particles->Count(); ++i) {
            const TParticle& p = *item.Particles->GetItem(i);
            EXPECT_NEAR(Outside(item, p, diagonal - p.Travelled), 1.0, 1e-5);
        }
        // Respawned ones start upstream, outside the square, the whole diagonal away.
        TParticle& p = *item.Particles->GetItem(0);
        item.InitParticle(p, back.BoundsRect(), true);
        EXPECT_EQ(p.Travelled, 0);
        EXPECT_GT(Outside(item, p, 0), 1.0);
        EXPECT_NEAR(Outside(item, p, diagonal), 1.0, 1e-5);
    }
}

TEST_F(ParticleTest, EdgeCasesOfTheLayer) {
    TBitmap32& back = Back(100, 100);
    // No files: particles without pictures, which draw nothing; still, only the placeholder.
    TParticleSlideShowObject none;
    ASSERT_TRUE(none.LoadParticles(back, sfLinear));
    EXPECT_EQ(none.Particles->Count(), 20);
    EXPECT_EQ(none.Pictures, nullptr);
    TBitmap32 still;
    still.SetSize(100, 100);
    none.DrawTo(still, true);
    EXPECT_EQ(still.Pixel(0, 0), clWhite32);
    // No particles at all.
    TParticleSlideShowObject empty;
    empty.ParticleCount = 0;
    ASSERT_TRUE(empty.LoadParticles(back, sfLinear));
    EXPECT_EQ(empty.Particles->Count(), 0);
    // The default direction goes up the screen; past the end a particle comes in again.
    TParticleSlideShowObject up;
    up.MotionKind = pmStraight;
    up.ParticleCount = 1;
    up.StartTime = 0;
    ASSERT_TRUE(up.LoadParticles(back, sfLinear));
    TParticle& p = *up.Particles->GetItem(0);
    p.Travelled = 0.5f;
    player.PlayTime = 0;
    up.Play(&player, false);
    const float y0 = p.Y;
    player.PlayTime = 1000;
    up.Play(&player, false);
    EXPECT_LT(p.Y, y0);
    p.Travelled = 1.11f * up.Diagonal;
    player.PlayTime = 1001;
    up.Play(&player, false);
    EXPECT_LT(p.Travelled, 0.01f);
    EXPECT_NEAR(p.OriginY, std::sqrt(8.0) - 1, 1e-5);
}

// A run that starts in the middle of the layer (resumed, or a jump) finds the particles
// spread as the first fill left them; from there on they move by the frames' distance.
TEST_F(ParticleTest, AFirstFrameLateInTheLayerKeepsTheParticlesSpread) {
    TBitmap32& back = Back(100, 100);
    TParticleSlideShowObject item;
    item.ParticleCount = 200;
    item.StartTime = 0;
    ASSERT_TRUE(item.LoadParticles(back, sfLinear));
    std::vector<float> spread;
    for (int i = 0; i < item.Particles->Count(); ++i) spread.push_back(item.Particles->GetItem(i)->Travelled);
    player.PlayTime = 9000;
    item.Play(&player, false);
    for (int i = 0; i < item.Particles->Count(); ++i) EXPECT_EQ(item.Particles->GetItem(i)->Travelled, spread[size_t(i)]);
    player.PlayTime = 9040;
    item.Play(&player, false);
    const float step = 0.04f * item.Speed * item.Diagonal;
    EXPECT_NEAR(item.Particles->GetItem(0)->Travelled, spread[0] + step, 1e-5);
}

TEST_F(ParticleTest, APhaseAboveOneHalfMirrorsTheSway) {
    TBitmap32& back = Back(100, 100);
    TParticleSlideShowObject item;
    item.ParticleCount = 2;
    item.StartTime = 0;
    ASSERT_TRUE(item.LoadParticles(back, sfLinear));
    TParticle& a = *item.Particles->GetItem(0);
    TParticle& b = *item.Particles->GetItem(1);
    a.Phase = 0.2f;
    b.Phase = 0.8f;
    a.Travelled = b.Travelled = 0.5f;
    player.PlayTime = 250;
    item.Play(&player, false);
    const double turn = 2 * std::numbers::pi, ft = 0.25 * item.Frequency;
    EXPECT_NEAR(a.OffsetX, item.Amplitude * std::sin(turn * (ft + 0.2)), 1e-6);
    // The same sway running backwards in time.
    EXPECT_NEAR(b.OffsetX, item.Amplitude * std::sin(turn * (0.2 - ft)), 1e-6);
}

TEST_F(ParticleTest, RestoringPutsBackExactlyWhatAFrameCovered) {
    TBitmap32& back = Back(160, 120);
    TParticleSlideShowObject item;
    item.FileNames = WriteFlake("flocke.png");
    item.ParticleCount = 40;
    item.ParticleSize = 0.2f;
    item.StartTime = 0;
    item.InitializeAll(&player);
    ASSERT_TRUE(item.IsInitialized());
    item.Start();
    int fired = 0;
    for (int32_t t : {0, 40, 80, 400, 3000}) {
        SCOPED_TRACE(t);
        player.PlayTime = t;
        const TBitmap32 before = back;
        if (item.GetState() == psStarted) ++fired;
        EXPECT_EQ(item.Play(&player, false), -1);
        EXPECT_FALSE(item.GetUpdateRect().IsEmpty());
        item.RestoreBackground(&player);
        EXPECT_TRUE(std::equal(before.Bits(), before.Bits() + 160 * 120, back.Bits()));
        // Restoring twice changes nothing.
        item.RestoreBackground(&player);
        EXPECT_TRUE(std::equal(before.Bits(), before.Bits() + 160 * 120, back.Bits()));
    }
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(player.Bench.FindList("LoadFiles") != nullptr);
}

TEST_F(ParticleTest, OverlappingParticlesKeepOneCopyOfWhatTheyCover) {
    struct TCase {
        const char* Name;
        int32_t Count;
        float Size;
    };
    // Few small ones keep their own copies; thousands of whole-rectangle ones share one.
    const TCase cases[] = {{"spread", 12, 0.1f}, {"crowded", 300, 0.5f}, {"the stored maximum at full size", 5000, 1.0f}};
    const std::string flake = WriteFlake("flocke.png");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap32& back = Back(96, 72);
        const int64_t backPixels = 96 * 72;
        TParticleSlideShowObject item;
        item.FileNames = flake;
        item.ParticleCount = c.Count;
        item.ParticleSize = c.Size;
        item.StartTime = 0;
        item.InitializeAll(&player);
        ASSERT_TRUE(item.IsInitialized());
        item.Start();
        for (int32_t t : {0, 40, 500, 1700}) {
            SCOPED_TRACE(t);
            player.PlayTime = t;
            const TBitmap32 before = back;
            item.Play(&player, false);
            EXPECT_LE(item.SavedBackgroundPixels(), backPixels);
            if (t == 500) SavePng(back, std::string("particles_") + std::to_string(c.Count) + ".png");
            // Whatever the frame changed, the restore names and puts back.
            const TBitmap32 drawn = back;
            item.RestoreBackground(&player);
            const TRect restored = item.GetUpdateRect();
            EXPECT_TRUE(std::equal(before.Bits(), before.Bits() + backPixels, back.Bits()));
            int changed = 0, outside = 0;
            for (int y = 0; y < 72; ++y)
                for (int x = 0; x < 96; ++x) {
                    if (drawn.Pixel(x, y) == before.Pixel(x, y)) continue;
                    ++changed;
                    outside += !(x >= restored.Left && x < restored.Right && y >= restored.Top && y < restored.Bottom);
                }
            EXPECT_GT(changed, 0);
            EXPECT_EQ(outside, 0);
        }
    }
}

TEST_F(ParticleTest, AFileThatFailsIsLeftOut) {
    Back(100, 100);
    TFakeDebugOutput debug;
    std::vector<AnsiString>& lines = debug.Lines;
    SetDebugOutput(&debug);
    TParticleSlideShowObject one;
    one.FileNames = std::string(dir / "fehlt.png") + "\r\n" + WriteFlake("gut.png");
    one.InitializeAll(&player);
    EXPECT_TRUE(one.IsInitialized());
    ASSERT_NE(one.Pictures, nullptr);
    EXPECT_EQ(one.Pictures->size(), 1u);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_FALSE(one.LoadFailed);

    // An empty file and a missing one: nothing to show, the step fails.
    const std::string emptyFile = dir / "leer.png";
    WriteFileBytes(emptyFile, {});
    TParticleSlideShowObject all;
    all.FileNames = std::string(dir / "fehlt.png") + "\r\n" + emptyFile;
    all.InitializeAll(&player);
    SetDebugOutput(nullptr);
    EXPECT_FALSE(all.IsInitialized());
    EXPECT_TRUE(all.LoadFailed);
    EXPECT_TRUE(all.IsPrepared());
}

TEST_F(ParticleTest, OddDirectionsEndWithParticlesInView) {
    TBitmap32& back = Back(120, 90);
    const std::string flake = WriteFlake("f.png");
    for (float direction : {float(2 * std::numbers::pi), 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(direction);
        TParticleSlideShowObject item;
        item.FileNames = flake;
        item.Direction = direction;
        item.StartTime = 0;
        item.InitializeAll(&player);
        ASSERT_TRUE(item.IsInitialized());
        for (int32_t t : {0, 500, 1000}) {
            player.PlayTime = t;
            item.Play(&player, false);
            item.RestoreBackground(&player);
        }
        int inView = 0;
        for (int i = 0; i < item.Particles->Count(); ++i) {
            const TParticle& p = *item.Particles->GetItem(i);
            ASSERT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y));
            if (!IntersectRect(p.GetBounds(back.BoundsRect()), back.BoundsRect()).IsEmpty()) ++inView;
        }
        EXPECT_GT(inView, 5);
    }
}

TEST_F(ParticleTest, FramesOfASnowLayer) {
    TBitmap32& back = Back(320, 240);
    TParticleSlideShowObject snow;
    snow.FileNames = WriteFlake("flocke.png", 32);
    snow.Direction = float(std::numbers::pi / 2);  // down the screen
    snow.ParticleCount = 80;
    snow.ParticleSize = 0.05f;
    snow.Speed = 0.15f;
    snow.Amplitude = 0.05f;
    snow.StartTime = 0;
    snow.InitializeAll(&player);
    ASSERT_TRUE(snow.IsInitialized());
    snow.Start();
    for (int32_t t = 0; t <= 2000; t += 40) {
        player.PlayTime = t;
        snow.RestoreBackground(&player);
        snow.Play(&player, false);
        if (t % 1000 == 0) SavePng(back, "snow_" + std::to_string(t) + ".png");
    }
    // Flakes lighten the background somewhere.
    int light = 0;
    for (int i = 0; i < 320 * 240; ++i) light += RedComponent(back.Bits()[i]) > 150;
    EXPECT_GT(light, 100);
    // A still picture of the layer, drawn outside playback.
    TBitmap32 still;
    still.SetSize(320, 240);
    still.Clear(0xFF203050);
    snow.DrawTo(still, true);
    SavePng(still, "snow_still.png");
}

}  // namespace
