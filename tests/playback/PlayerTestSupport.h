// What the player tests share: the registry with the item kinds, the show's groups, the
// transitions and the player classes; a scripted item whose preparation steps and frames
// are set by the test (a step may cost driven time); a sound system that records what
// the player asks of it; and a rig of driven clock, show, player and off-screen host.
#pragma once

#include "TestSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "objects/PictureTestSupport.h"
#include "document/SoundTestSupport.h"
#include "document/SlideShowPlayerProperties.h"
#include "objects/VisibleSlideShowObject.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Clock.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/PlaybackModules.h"
#include "playback/RealTimeSlideShowPlayer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

inline TPlugins& PlayerTestPlugins() {
    static TPlugins* plugins = [] {
        TPlugins& p = PictureTestPlugins();
        MusicPlayListUnit::Initialize();
        SlideShowPlayerModule::Initialize();
        return &p;
    }();
    return *plugins;
}

constexpr TColor32 kRed32 = 0xFFFF0000;
constexpr TColor32 kGreen32 = 0xFF00FF00;
constexpr TColor32 kBlue32 = 0xFF0000FF;
constexpr TColor32 kYellow32 = 0xFFFFFF00;

struct TScriptStep {
    int32_t Estimate = 10;
    int32_t Cost = 0;  // driven ms the step takes
    bool Fails = false;
};

struct TPlayRecord {
    int32_t Time;
    bool Final;
};

// One stage of scripted steps, a solid colour over Area (the whole buffer when empty),
// and a record of everything the player did to it.
class TScriptedItem : public TVisibleSlideShowObject {
public:
    int32_t GetLastInitializationStep() const override { return Steps.empty() ? -1 : 0; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override {
        TVisibleSlideShowObject::BuildInitializationSteps(player, step);
        if (step != 0) return;
        for (size_t k = 0; k < Steps.size(); ++k)
            GetInitializationList()->Add(std::make_unique<TSlideShowObjectInitialization>(
                static_cast<int32_t>(k), Steps[k].Estimate, static_cast<int32_t>(k)));
    }
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override {
        StepLog.push_back({player->GetCurrentPlayTime(), step});
        const TScriptStep& s = Steps.at(static_cast<size_t>(step));
        if (Clock && s.Cost > 0) Clock->Advance(static_cast<uint32_t>(s.Cost));
        return !s.Fails;
    }
    bool IsInitialized() override { return !NeverReady && TVisibleSlideShowObject::IsInitialized(); }
    int32_t Play(IPlayerServices* player, bool final) override {
        TVisibleSlideShowObject::Play(player, final);
        const int32_t now = player->GetPlayTime();
        Plays.push_back({now, final});
        if (Log) Log->push_back((final ? "F" : "P") + Name);
        if (OnPlay) OnPlay(player, final);
        ClearUpdateRect();
        if (TBitmap32* back = player->GetBackBuffer()) {
            const TRect r = Area.IsEmpty() ? back->BoundsRect() : Area;
            back->FillRectS(r, Color);
            AddUpdateRect(r);
        }
        if (Animates || int64_t(now) - GetStartTime() < AnimateFor) return -1;
        return std::max<int32_t>(0, SaturateInt32(int64_t(GetStartTime()) + GetDuration() - now));
    }
    void Reset() override {
        ++Resets;
        TVisibleSlideShowObject::Reset();
    }
    void ReleaseResources() override { ++Releases; }
    void SeekTo(int32_t time) override { Seeks.push_back(time); }
    void RestoreBackground(IPlayerServices* player) override {
        if (Log) Log->push_back("R" + Name);
        TVisibleSlideShowObject::RestoreBackground(player);
    }
    void Start() override {
        ++Starts;
        TVisibleSlideShowObject::Start();
    }
    // The first unfinished frame, or -1.
    int32_t FirstPlay() const {
        for (const TPlayRecord& p : Plays)
            if (!p.Final) return p.Time;
        return -1;
    }

    std::vector<TScriptStep> Steps;
    TColor32 Color = kRed32;
    TRect Area;
    bool Animates = false;
    // Animates over its first ms only, as a picture during its transition.
    int32_t AnimateFor = 0;
    bool NeverReady = false;
    TManualTickCount* Clock = nullptr;
    std::function<void(IPlayerServices*, bool)> OnPlay;
    std::string Name;
    std::vector<std::string>* Log = nullptr;
    std::vector<TPlayRecord> Plays;
    std::vector<std::pair<int32_t, int32_t>> StepLog;  // show time, step
    std::vector<int32_t> Seeks;
    int Resets = 0;
    int Releases = 0;
    int Starts = 0;
};

// A chapter and a parallel group, each with an empty child list, appended to a list.
inline TContainerSlideShowObject* AddChapter(TSlideShowObjectList& list) {
    auto* chapter = new TContainerSlideShowObject();
    list.Add(chapter);
    chapter->CreateChildList();
    return chapter;
}

inline TParallelSlideShowObject* AddParallel(TSlideShowObjectList& list) {
    auto* group = new TParallelSlideShowObject();
    list.Add(group);
    group->CreateChildList();
    return group;
}

// The real-time player, counting its restarts and answering the asking end actions as
// told.
class TTestPlayer : public TRealTimeSlideShowPlayer {
public:
    using TRealTimeSlideShowPlayer::TRealTimeSlideShowPlayer;
    void Restart() override {
        ++Restarts;
        TRealTimeSlideShowPlayer::Restart();
    }
    uint8_t QueryEndAction(int32_t reserved) override {
        ++Queries;
        return Answer < 0 ? TRealTimeSlideShowPlayer::QueryEndAction(reserved) : uint8_t(Answer);
    }
    int Restarts = 0;
    int Queries = 0;
    int Answer = -1;
};

// A driven clock, a show, a real-time player on the clock and an off-screen host of
// 64 x 48 pixels (the 4:3 show fills it).
struct TPlayerRig {
    explicit TPlayerRig(ISoundSystem* sounds = nullptr, int32_t width = 64, int32_t height = 48)
        : Plugins(PlayerTestPlugins()),
          Player(new TTestPlayer(sounds)),
          Host(*Player, width, height, &Clock) {}

    // A scripted item appended to the list (the show's root list by default).
    TScriptedItem* Add(int32_t duration, TColor32 color = kRed32, TSlideShowObjectList* list = nullptr) {
        auto* item = new TScriptedItem();
        item->SetDuration(duration);
        item->Color = color;
        item->Clock = &Clock;
        (list ? list : &Show.RootList())->Add(item);
        return item;
    }
    TSlideShowProperties& ShowSettings() { return *Show.SlideShowProperties; }
    TSlideShowPlayerProperties& Settings() { return *Player->GetSettings(); }
    int32_t Now() { return Player->GetCurrentPlayTime(); }
    uint32_t Pixel(int x, int y) { return Host.ClientImage().Pixel(x, y); }

    // A show with one song as its music that restarts at its end, each object prepared
    // while the one before plays; the loop looks at least every 10 ms.
    void PlayWithMusic(const AnsiString& songFile) {
        Settings().PreloadTime = 0;
        ShowSettings().EndAction = 0;
        Host.FrameStep = 10;
        auto& music = *dynamic_cast<TMusicProperties*>(Show.MusicProperties);
        auto song = std::make_unique<TMusicPlayListItem>();
        song->FileName = songFile;
        music.PlayList->Add(std::move(song));
    }

    TManualTickCount Clock{5000};
    TInstalled<SetTickSource> InstalledClock{Clock};
    TPlugins& Plugins;
    TSlideShow Show;
    TPluginPtr<TTestPlayer> Player;
    TOffscreenPlayerHost Host;
};
