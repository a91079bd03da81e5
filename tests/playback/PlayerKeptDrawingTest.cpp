// Frames that keep what did not change: pictures that would draw what they drew stay as
// drawn, and the lowest item that draws puts its background back as it draws. Every
// frame must equal the frame of a player that puts back and redraws every item.
#include "PlayerTestSupport.h"

#include "document/TimeToValue.h"
#include "platform/Random.h"
#include "transitions/PicTransitions.h"

namespace {

// Counts the frames the player kept its drawing.
class TCountedPicture : public TExtPicSlideShowObject {
public:
    void KeepDrawing() override {
        ++Kept;
        TExtPicSlideShowObject::KeepDrawing();
    }
    int Kept = 0;
};

// A cross-fade counting the frames drawn over a background put back late.
class TCountedFade : public TAlphablendingTransitionPlugin {
public:
    explicit TCountedFade(int* count) : count_(count) {}
    bool DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos) override {
        ++*count_;
        return TAlphablendingTransitionPlugin::DrawOver(time, target, under, underPos);
    }

private:
    int* count_;
};

struct TScene {
    const char* Name;
    // Builds the show; the pictures are files of the folder.
    std::function<void(TPlayerRig&, const TempDir&, std::vector<TCountedPicture*>&, int* fused)> Build;
    bool Keeps;  // some picture keeps its drawing in some frame
    bool Fuses;  // some fade draws over a late background
};

constexpr int kWidth = 160, kHeight = 120;

// A picture file of its own for every seed: gradients and a pattern, so that every blend
// shows in every pixel.
std::string PictureFile(const TempDir& dir, int seed) {
    const std::string name = "picture" + std::to_string(seed) + ".jpg";
    WriteFileBytes(dir / name, EncodeJpeg(kWidth, kHeight, [seed](int x, int y) {
                       return 0xFF000000u | uint32_t((x * 255 / kWidth + seed * 70) & 0xFF) << 16 |
                              uint32_t((y * 255 / kHeight) & 0xFF) << 8 | uint32_t(((x ^ y) * (seed + 1)) & 0xFF);
                   }));
    return AnsiString(dir.Program()) + name;
}

TCountedPicture* AddPicture(TSlideShowObjectList& list, const TempDir& dir, int seed, int32_t duration,
                            std::unique_ptr<TTransitionPlugin> transition, std::vector<TCountedPicture*>& pictures,
                            TDoubleRect place = {0, 0, 1, 1}) {
    auto* item = new TCountedPicture();
    item->SetFileName(PictureFile(dir, seed));
    item->SetDuration(duration);
    item->Transition = std::move(transition);
    item->RelativeRect = place;
    list.Add(item);
    pictures.push_back(item);
    return item;
}

std::unique_ptr<TTransitionPlugin> Fade(int* fused, int32_t duration) {
    auto fade = std::make_unique<TCountedFade>(fused);
    fade->Duration = duration;
    return fade;
}

// A chapter in a parallel group that waits, then shows a picture.
TSlideShowObjectList& Later(TSlideShowObjectList& group, int32_t wait) {
    TContainerSlideShowObject* chapter = AddChapter(group);
    auto* dummy = new TDummySlideShowObject();
    dummy->SetDuration(wait);
    chapter->GetChildList()->Add(dummy);
    return *chapter->GetChildList();
}

const TDoubleRect kInner{0.2, 0.25, 0.8, 0.75};

const TScene kScenes[] = {
    {"cross-fades one after another",
     [](TPlayerRig& rig, const TempDir& dir, std::vector<TCountedPicture*>& pictures, int* fused) {
         for (int i = 0; i < 3; ++i) AddPicture(rig.Show.RootList(), dir, i, 1000, Fade(fused, 600), pictures);
     },
     true, true},
    {"a smaller picture fades in over a still one",
     [](TPlayerRig& rig, const TempDir& dir, std::vector<TCountedPicture*>& pictures, int* fused) {
         TSlideShowObjectList& group = *AddParallel(rig.Show.RootList())->GetChildList();
         AddPicture(group, dir, 0, 3000, nullptr, pictures);
         AddPicture(Later(group, 400), dir, 1, 1500, Fade(fused, 800), pictures, kInner);
     },
     true, true},
    {"a picture slides in over a still one",
     [](TPlayerRig& rig, const TempDir& dir, std::vector<TCountedPicture*>& pictures, int*) {
         TSlideShowObjectList& group = *AddParallel(rig.Show.RootList())->GetChildList();
         AddPicture(group, dir, 0, 3000, nullptr, pictures);
         auto slide = std::make_unique<TMovePictureTransitionPlugin>();
         slide->Duration = 800;
         AddPicture(Later(group, 300), dir, 2, 1500, std::move(slide), pictures, kInner);
     },
     true, false},
    {"a fade over a moving picture",
     [](TPlayerRig& rig, const TempDir& dir, std::vector<TCountedPicture*>& pictures, int* fused) {
         TSlideShowObjectList& group = *AddParallel(rig.Show.RootList())->GetChildList();
         TCountedPicture* moving = AddPicture(group, dir, 0, 3000, nullptr, pictures, {0.1, 0.1, 0.6, 0.6});
         TTimeToVector2DValue* path = moving->CreateMotionPath();
         for (auto [time, x] : {std::pair{0, 300000}, std::pair{3000, 700000}}) {
             auto key = std::make_unique<TTimeVector2DValue>();
             key->Time = time;
             key->Value = TVector2D{x, 500000};
             path->AddKey(std::move(key));
         }
         AddPicture(Later(group, 500), dir, 1, 2000, Fade(fused, 1000), pictures, kInner);
     },
     false, false},
    {"a picture leaves from over a still one, another fades in",
     [](TPlayerRig& rig, const TempDir& dir, std::vector<TCountedPicture*>& pictures, int* fused) {
         TSlideShowObjectList& group = *AddParallel(rig.Show.RootList())->GetChildList();
         AddPicture(group, dir, 0, 3000, nullptr, pictures);
         AddPicture(Later(group, 200), dir, 1, 600, nullptr, pictures, kInner);
         AddPicture(Later(group, 1200), dir, 2, 1200, Fade(fused, 700), pictures, {0.3, 0.1, 0.9, 0.6});
     },
     true, true},
};

struct TRun {
    std::vector<std::vector<uint32_t>> Frames;
    int Kept = 0;
    int Fused = 0;
};

TRun Play(const TScene& scene, const TempDir& dir, bool keep) {
    // The same random choices (a slide's direction) in both runs.
    RandSeed(7);
    TPlayerRig rig(nullptr, kWidth, kHeight);
    rig.Settings().PreloadTime = 0;
    rig.ShowSettings().EndAction = 1;
    rig.Player->KeepUnchangedDrawings = keep;
    TRun run;
    std::vector<TCountedPicture*> pictures;
    scene.Build(rig, dir, pictures, &run.Fused);
    rig.Host.Play(&rig.Show);
    for (int tick = 0; tick < 400 && !rig.Host.Closed(); ++tick) {
        rig.Clock.Advance(10);
        rig.Host.Tick();
        run.Frames.push_back(rig.Host.ClientImage().Pixels);
    }
    for (TCountedPicture* p : pictures) run.Kept += p->Kept;
    return run;
}

void SaveFrame(const std::vector<uint32_t>& pixels, std::string name) {
    std::replace(name.begin(), name.end(), ' ', '_');
    TBitmap32 frame(kWidth, kHeight);
    std::copy(pixels.begin(), pixels.end(), frame.Bits());
    SavePng(frame, "kept_drawing_" + name + ".png");
}

}  // namespace

TEST(PlayerKeptDrawing, EveryFrameEqualsTheFrameThatRedrawsEveryItem) {
    PlayerTestPlugins();
    for (const TScene& scene : kScenes) {
        SCOPED_TRACE(scene.Name);
        TempDir dir;
        const TRun kept = Play(scene, dir, true);
        const TRun redrawn = Play(scene, dir, false);
        EXPECT_EQ(redrawn.Kept, 0);
        EXPECT_EQ(kept.Kept > 0, scene.Keeps) << kept.Kept;
        EXPECT_EQ(kept.Fused > 0, scene.Fuses) << kept.Fused;
        ASSERT_EQ(kept.Frames.size(), redrawn.Frames.size());
        for (size_t f = 0; f < kept.Frames.size(); ++f) {
            const auto& a = kept.Frames[f];
            const auto& b = redrawn.Frames[f];
            const auto off = std::mismatch(a.begin(), a.end(), b.begin());
            if (off.first == a.end()) continue;
            // Both frames for a look at what differs.
            SaveFrame(a, std::string("kept_") + scene.Name);
            SaveFrame(b, std::string("redrawn_") + scene.Name);
            FAIL() << "frame " << f << " pixel " << (off.first - a.begin());
        }
    }
}
