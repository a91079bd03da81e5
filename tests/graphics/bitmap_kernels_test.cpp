// The bitmap's vector kernels: every vector level gives the pixels of the scalar code,
// the built-in combiners as draw modes, blends onto any destination, and the resampler's
// remembered taps.
#include "graphics/Bitmap32.h"
#include "graphics/DrawingTools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

namespace {

TBitmap32 Random(int w, int h, std::mt19937& rng) {
    TBitmap32 b(w, h);
    for (int i = 0; i < w * h; ++i) b.Bits()[i] = rng();
    return b;
}

// Runs draw at every vector level and expects the same pixels each time.
template <class Draw>
void ExpectSameAtEveryLevel(Draw draw, const char* what) {
    SetBitmapSimdLevel(0);
    const TBitmap32 want = draw();
    for (int level : {1, 2}) {
        SetBitmapSimdLevel(level);
        const TBitmap32 got = draw();
        ASSERT_EQ(got.Width(), want.Width());
        for (int i = 0; i < want.Width() * want.Height(); ++i)
            ASSERT_EQ(got.Bits()[i], want.Bits()[i]) << what << " level " << level << " pixel " << i;
    }
    SetBitmapSimdLevel(2);
}

struct LevelGuard {
    ~LevelGuard() { SetBitmapSimdLevel(2); }
};

}  // namespace

TEST(Bitmap32Kernels, StretchGivesTheSamePixelsAtEveryLevel) {
    LevelGuard guard;
    std::mt19937 rng(11);
    const TBitmap32 pic = Random(61, 37, rng);
    struct Job {
        int dw, dh, sx1, sy1, sx2, sy2;
    };
    // Up, down, one axis each way, odd widths for the tails, a part reaching outside.
    const Job jobs[] = {{97, 71, 0, 0, 61, 37}, {23, 13, 0, 0, 61, 37}, {40, 80, 3, 2, 58, 30},
                        {7, 5, 0, 0, 61, 37},   {131, 9, -5, 4, 70, 20}, {1, 1, 10, 10, 20, 20}};
    for (TStretchFilter f : {sfNearest, sfLinear, sfSpline, sfLanczos, sfMitchell})
        for (const Job& j : jobs)
            for (TDrawMode mode : {dmOpaque, dmBlend}) {
                ExpectSameAtEveryLevel(
                    [&] {
                        TBitmap32 src = pic;
                        src.StretchFilter = f;
                        src.DrawMode = mode;
                        src.MasterAlpha = 200;
                        std::mt19937 back(5);
                        TBitmap32 out = Random(j.dw + 6, j.dh + 4, back);
                        src.StretchTo(out, 3, 2, 3 + j.dw, 2 + j.dh, j.sx1, j.sy1, j.sx2, j.sy2);
                        return out;
                    },
                    "stretch");
            }
}

TEST(Bitmap32Kernels, ALargeStretchInBandsEqualsOneRunOverItsRows) {
    // A photo fitted to a screen runs in bands on several threads; the same rows drawn
    // into a strip small enough for one thread (the picture shifted up) must match,
    // also across a band's edge.
    std::mt19937 rng(7);
    TBitmap32 pic = Random(1500, 1125, rng);
    pic.DrawMode = dmOpaque;
    for (TStretchFilter f : {sfLinear, sfMitchell}) {
        pic.StretchFilter = f;
        TBitmap32 screen(1024, 768);
        pic.StretchTo(screen, 0, 0, 1024, 768, 0, 0, 1500, 1125);
        for (int top : {0, 200, 700}) {
            TBitmap32 strip(1024, 60);
            pic.StretchTo(strip, 0, -top, 1024, 768 - top, 0, 0, 1500, 1125);
            for (int y = 0; y < 60 && top + y < 768; ++y)
                ASSERT_EQ(std::memcmp(strip.ScanLine(y), screen.ScanLine(top + y), 1024 * sizeof(TColor32)), 0)
                    << "filter " << int(f) << " row " << top + y;
        }
    }
}

TEST(Bitmap32Kernels, BlendOntoAnyDestinationEqualsBlendPixel) {
    LevelGuard guard;
    // Every pair of these alphas, with and without a master alpha, in rows long enough for
    // the vector blocks and a tail; destinations mix opaque, clear and partial pixels.
    const int alphas[] = {0, 1, 2, 64, 127, 128, 129, 200, 254, 255};
    std::mt19937 rng(3);
    TBitmap32 src(10 * 10 * 3 + 5, 1), dst(src.Width(), 1);
    int i = 0;
    for (int fa : alphas)
        for (int ba : alphas)
            for (int k = 0; k < 3; ++k, ++i) {
                src.Bits()[i] = SetAlpha(rng(), uint8_t(fa));
                dst.Bits()[i] = SetAlpha(rng(), uint8_t(ba));
            }
    for (; i < src.Width(); ++i) {
        src.Bits()[i] = rng();
        dst.Bits()[i] = rng();
    }
    for (int level : {0, 1, 2})
        for (int m : {255, 254, 128, 1, 0}) {
            SetBitmapSimdLevel(level);
            TBitmap32 got = dst;
            src.DrawMode = dmBlend;
            src.MasterAlpha = uint8_t(m);
            src.DrawTo(got);
            for (int x = 0; x < src.Width(); ++x)
                ASSERT_EQ(got.Bits()[x], BlendPixel(src.Bits()[x], dst.Bits()[x], uint8_t(m)))
                    << "level " << level << " m " << m << " x " << x;
        }
}

TEST(Bitmap32Kernels, BlendOntoAnyDestinationEqualsBlendPixelForEveryAlphaPair) {
    LevelGuard guard;
    // Every pair of picture and destination alpha, sixteen pixels each: the second block of
    // eight takes the weights the first one made. The colours run from the extremes (clear
    // black on white and back) to random ones, so each pair meets quotients of every size.
    std::mt19937 rng(17);
    TBitmap32 src(256 * 16, 256), dst(256 * 16, 256);
    for (int fa = 0; fa < 256; ++fa)
        for (int ba = 0; ba < 256; ++ba)
            for (int k = 0; k < 16; ++k) {
                const TColor32 f = k == 0 ? 0 : k == 1 ? 0xFFFFFF : rng();
                const TColor32 b = k == 0 ? 0xFFFFFF : k == 1 ? 0 : rng();
                src.Bits()[fa * src.Width() + ba * 16 + k] = SetAlpha(f, uint8_t(fa));
                dst.Bits()[fa * dst.Width() + ba * 16 + k] = SetAlpha(b, uint8_t(ba));
            }
    src.DrawMode = dmBlend;
    for (int m : {255, 160})
        for (int level : {0, 1, 2}) {
            SetBitmapSimdLevel(level);
            src.MasterAlpha = uint8_t(m);
            TBitmap32 got = dst;
            src.DrawTo(got);
            for (int i = 0; i < src.Width() * src.Height(); ++i)
                ASSERT_EQ(got.Bits()[i], BlendPixel(src.Bits()[i], dst.Bits()[i], uint8_t(m)))
                    << "level " << level << " m " << m << " fa " << i / src.Width() << " ba " << i % src.Width() / 16;
        }
}

TEST(Bitmap32Kernels, BlendOntoAnyDestinationReweighsWhenOneAlphaChanges) {
    LevelGuard guard;
    // Blocks of eight over a see-through destination, each beside the one before: the same
    // alphas again, one picture alpha changed, one destination alpha changed, an alpha
    // that comes to nothing, and the first alphas once more.
    struct Block {
        int fa[8], ba[8];
    };
    const Block blocks[] = {
        {{100, 100, 100, 100, 100, 100, 100, 100}, {50, 50, 50, 50, 50, 50, 50, 50}},
        {{100, 100, 100, 100, 100, 100, 100, 100}, {50, 50, 50, 50, 50, 50, 50, 50}},
        {{100, 100, 100, 100, 100, 100, 100, 101}, {50, 50, 50, 50, 50, 50, 50, 50}},
        {{100, 100, 100, 100, 100, 100, 100, 101}, {50, 50, 50, 51, 50, 50, 50, 50}},
        {{0, 100, 100, 100, 100, 100, 100, 101}, {50, 50, 50, 51, 50, 50, 50, 50}},
        {{100, 100, 100, 100, 100, 100, 100, 100}, {50, 50, 50, 50, 50, 50, 50, 50}},
        {{100, 100, 100, 100, 100, 100, 100, 100}, {50, 50, 50, 50, 50, 50, 50, 254}},
    };
    std::mt19937 rng(23);
    const int n = int(std::size(blocks)) * 8;
    TBitmap32 src(n, 1), dst(n, 1);
    for (int i = 0; i < n; ++i) {
        src.Bits()[i] = SetAlpha(rng(), uint8_t(blocks[i / 8].fa[i % 8]));
        dst.Bits()[i] = SetAlpha(rng(), uint8_t(blocks[i / 8].ba[i % 8]));
    }
    src.DrawMode = dmBlend;
    for (int m : {255, 90})
        for (int level : {0, 1, 2}) {
            SetBitmapSimdLevel(level);
            src.MasterAlpha = uint8_t(m);
            TBitmap32 got = dst;
            src.DrawTo(got);
            for (int x = 0; x < n; ++x)
                ASSERT_EQ(got.Bits()[x], BlendPixel(src.Bits()[x], dst.Bits()[x], uint8_t(m)))
                    << "level " << level << " m " << m << " block " << x / 8 << " pixel " << x % 8;
        }
}

TEST(Bitmap32Kernels, BlendWithAMasterPerPixelEqualsBlendPixel) {
    LevelGuard guard;
    // Blocks of eight that are all clear, all opaque at full master, all see-through,
    // mixed, over opaque and over partial destinations, and a tail.
    std::mt19937 rng(5);
    const int n = 8 * 12 + 5;
    std::vector<TColor32> src(n), dst(n);
    std::vector<uint8_t> masters(n);
    for (int i = 0; i < n; ++i) {
        const int block = i / 8;
        src[i] = block % 3 == 0 ? (rng() | 0xFF000000u) : TColor32(rng());
        dst[i] = block % 4 == 3 ? TColor32(rng()) : (rng() | 0xFF000000u);
        const uint8_t kinds[] = {0, 255, uint8_t(rng()), uint8_t(rng() % 2 ? 255 : 0)};
        masters[i] = kinds[block % 4 == 3 ? 2 : (block / 3) % 4];
    }
    for (int i = n / 8 * 8; i < n; ++i) masters[i] = uint8_t(rng() % 254 + 1);  // the tail: any opacity
    for (int level : {0, 1, 2}) {
        SetBitmapSimdLevel(level);
        std::vector<TColor32> got = dst;
        BlendRowMasked(src.data(), got.data(), masters.data(), n);
        for (int x = 0; x < n; ++x)
            ASSERT_EQ(got[x], BlendPixel(src[x], dst[x], masters[x])) << "level " << level << " x " << x;
    }
}

TEST(Bitmap32Kernels, BuiltInCombinersAreTheDrawingToolsCombiners) {
    LevelGuard guard;
    std::mt19937 rng(8);
    const TBitmap32 src = Random(45, 3, rng), dst = Random(45, 3, rng);
    const std::pair<TCombineKind, TColor32 (*)(TColor32, TColor32)> kinds[] = {
        {ckAdd, ColorAddKeepAlpha}, {ckSub, ColorSubKeepAlpha}, {ckModulate, ColorModulateKeepAlpha},
        {ckMax, ColorMaxKeepAlpha}, {ckMin, ColorMinKeepAlpha}};
    for (int level : {0, 1, 2})
        for (auto [kind, combine] : kinds) {
            SetBitmapSimdLevel(level);
            TBitmap32 pic = src, got = dst;
            pic.DrawMode = dmCustom;
            pic.CombineKind = kind;
            pic.MasterAlpha = 99;  // the combiners do not use it
            pic.OnPixelCombine = [](TColor32, TColor32& B, TColor32) { B = 0; };  // the kind wins
            pic.DrawTo(got);
            for (int k = 0; k < 45 * 3; ++k)
                ASSERT_EQ(got.Bits()[k], combine(src.Bits()[k], dst.Bits()[k])) << int(kind) << " level " << level;
        }
    // The worked examples of the combiners.
    EXPECT_EQ(CombinePixel(ckAdd, Color32(255, 128, 0, 128), Color32(16, 32, 48, 255)), Color32(255, 160, 48, 128));
    EXPECT_EQ(CombinePixel(ckSub, Color32(16, 32, 48), Color32(32, 64, 16)), Color32(0, 0, 32));
    EXPECT_EQ(CombinePixel(ckModulate, Color32(255, 255, 255), Color32(128, 128, 128, 0)), Color32(127, 127, 127));
    // Without a kind the caller's combine runs for every pixel.
    TBitmap32 pic = src, got = dst;
    pic.DrawMode = dmCustom;
    pic.OnPixelCombine = [](TColor32 F, TColor32& B, TColor32) { B = F ^ B; };
    pic.DrawTo(got);
    for (int k = 0; k < 45 * 3; ++k) ASSERT_EQ(got.Bits()[k], src.Bits()[k] ^ dst.Bits()[k]);
}

TEST(Bitmap32Kernels, RememberedTapsGiveWhatFreshTapsGive) {
    // More jobs than the resampler remembers, run twice over and from a second thread:
    // every run gives the pixels of the first.
    std::mt19937 rng(21);
    const TBitmap32 pic = Random(50, 40, rng);
    auto run = [&](int job) {
        TBitmap32 src = pic;
        src.StretchFilter = TStretchFilter(1 + job % 4);
        TBitmap32 out(40, 30);
        src.StretchTo(out, -job, 0, 30 + 2 * job, 25 + job % 5, job % 3, 1, 50 - job % 7, 40);
        return out;
    };
    std::vector<TBitmap32> first;
    for (int job = 0; job < 20; ++job) first.push_back(run(job));
    auto check = [&] {
        for (int round = 0; round < 2; ++round)
            for (int job = 19; job >= 0; --job) {
                const TBitmap32 again = run(job);
                for (int i = 0; i < 40 * 30; ++i) ASSERT_EQ(again.Bits()[i], first[size_t(job)].Bits()[i]) << job;
            }
    };
    std::thread other(check);
    check();
    other.join();
}

TEST(Bitmap32Kernels, SizeForOverwriteKeepsTheLimitsAndSetSizeStillClears) {
    TBitmap32 b;
    b.SetSizeForOverwrite(5, 4);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 4);
    b.Clear(0x12345678);
    b.SetSizeForOverwrite(7, 7);
    b.SetSize(7, 7);
    for (int i = 0; i < 49; ++i) ASSERT_EQ(b.Bits()[i], 0u);
    b.SetSizeForOverwrite(3, -1);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_THROW(b.SetSizeForOverwrite(1 << 15, 1 << 14), EBitmapError);
}

TEST(Bitmap32Kernels, DrawingOverASavedBackgroundEqualsPuttingItBackThenDrawing) {
    LevelGuard guard;
    std::mt19937 rng(5);
    // The background as saved (one pixel wider than the picture on every side, as items
    // save it), the picture partly transparent, the target's own pixels elsewhere; the
    // places put the picture inside the background, across its edges and the target's,
    // and out of the target.
    TBitmap32 under = Random(37, 23, rng);
    // Opaque, as the back buffer is, but for one row that blends in the general way.
    for (int i = 0; i < under.Width() * (under.Height() - 1); ++i) under.Bits()[i] |= 0xFF000000u;
    TBitmap32 picture = Random(35, 21, rng);
    // Whole vector blocks of clear pixels leave what lies beneath.
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < picture.Width(); ++x) picture.ScanLine(y)[x] &= 0x00FFFFFFu;
    const TBitmap32 target = Random(64, 40, rng);
    struct TPlace {
        int X, Y;
    };
    const TPlace places[] = {{11, 9}, {0, 0}, {-8, -5}, {40, 25}, {30, 3}, {100, 100}};
    struct TMode {
        TDrawMode Mode;
        TCombineKind Kind;
        uint8_t Master;
    };
    const TMode modes[] = {
        {dmBlend, ckCustom, 255}, {dmBlend, ckCustom, 100}, {dmBlend, ckCustom, 0},
        {dmOpaque, ckCustom, 255}, {dmCustom, ckAdd, 255},
    };
    for (int level : {0, 1, 2})
        for (const TMode& m : modes)
            for (const TPlace& p : places) {
                SetBitmapSimdLevel(level);
                picture.DrawMode = m.Mode;
                picture.CombineKind = m.Kind;
                picture.MasterAlpha = m.Master;
                TBitmap32 want = target;
                TBitmap32 saved = under;
                saved.DrawMode = dmOpaque;
                saved.DrawTo(want, 10, 8);
                picture.DrawTo(want, p.X, p.Y);
                TBitmap32 got = target;
                picture.DrawToOver(got, p.X, p.Y, under, 10, 8);
                for (int i = 0; i < want.Width() * want.Height(); ++i)
                    ASSERT_EQ(got.Bits()[i], want.Bits()[i])
                        << "level " << level << " mode " << m.Mode << " master " << int(m.Master) << " at " << p.X
                        << "," << p.Y << " pixel " << i;
            }
}
