// The loop's wait against ticking every millisecond: a host that ticks only when the
// player's wait is over (strict mode, no extra pass at the end of a span) must see the
// same actions at the same show times, and hear the same volumes, as a host that ticks
// every millisecond. Seeded random shows of stills, transitions, sound items with curves,
// timers of every action kind, fades, ducking, pauses and jumps.
#include "PlayerTestSupport.h"

#include "document/SoundSlideShowObject.h"
#include "document/SoundTestSupport.h"

#include <cstdlib>
#include <random>
#include <sstream>

namespace {

// Sound items open their files on the process-wide sound system: the rig's fake, for
// as long as the rig plays.
struct TCurrentSounds {
    explicit TCurrentSounds(ISoundSystem* s) : Saved(CurrentSoundSystem()) { CurrentSoundSystem() = s; }
    ~TCurrentSounds() { CurrentSoundSystem() = Saved; }
    ISoundSystem* Saved;
};

enum TActionKind { akProgram, akAddress, akBeep, akPause, akPlay, akFadeOwn, akFadeObjects, akFadeMusic, akFadeAll,
                   akJump, akKindCount };

struct TActionRecord {
    int Kind;
    int Item;
    int32_t Time;
};

// Writes down which timer fired when; a jump (ahead by JumpBy, so that no two jumps
// chase each other at one show time) is posted to the window as the player's private
// message. The other kinds' work is done by the real action that
// follows it in the same list.
class TRecordAction : public TSlideShowObjectEventAction {
public:
    TRecordAction(std::vector<TActionRecord>* log, int kind, int item, int32_t jumpBy)
        : Log(log), Kind(kind), Item(item), JumpBy(jumpBy) {}
    void Execute(IPlayerServices* player, TSlideShowObject*, TSlideShowObjectEvent*) override {
        Log->push_back({Kind, Item, player->GetPlayTime()});
        if (Kind == akJump) {
            TMessage jump{0, WM_USER + 16, WPARAM(player->GetPlayTime() + JumpBy), 1, 0};
            player->PostPlayerMessage(jump);
        }
    }
    std::vector<TActionRecord>* Log;
    int Kind, Item;
    int32_t JumpBy;
};

TSlideShowObjectEventTimer* AddTimer(TPlayableSlideShowObject* item, int32_t offset) {
    if (!item->GetEventList()) item->CreateEventList();
    auto* timer = new TSlideShowObjectEventTimer();
    timer->Offset = offset;
    timer->CreateActionList();
    item->GetEventList()->Add(timer);
    return timer;
}

// A linear curve through keys no steeper than a volume step per 12 ms, so that a frame
// late (16 ms) stays within 2 of 255.
void AddGentleCurve(TSoundSlideShowObject* sound, std::mt19937& rng, int32_t span) {
    sound->CreateVolumeCurve();
    int32_t t = int32_t(rng() % 400);
    int value = int(rng() % 256);
    while (t < span) {
        auto key = std::make_unique<TTimeIntegerValue>();
        key->Time = t;
        key->Value = value;
        key->Linear = true;
        sound->VolumeCurve->AddKey(std::move(key));
        const int32_t step = 300 + int32_t(rng() % 1500);
        const int reach = step / 12;
        value = std::clamp(value + int(rng() % (2 * reach + 1)) - reach, 0, 255);
        t += step;
    }
    sound->VolumeCurve->MinValue = 0;
    sound->VolumeCurve->MaxValue = 255;
}

struct TRandomShow {
    std::vector<TActionRecord> Actions;
    std::vector<TSoundSlideShowObject*> Sounds;
    int32_t Length = 0;
};

// Builds the seed's show into the rig; the same seed builds the same show.
void BuildRandomShow(TPlayerRig& rig, uint32_t seed, TRandomShow& out) {
    std::mt19937 rng(seed);
    auto pick = [&](int from, int to) { return from + int(rng() % uint32_t(to - from + 1)); };
    rig.Settings().PreloadTime = pick(0, 1) * 500;
    rig.ShowSettings().EndAction = pick(0, 1);  // restart or stop
    auto& music = *dynamic_cast<TMusicProperties*>(rig.Show.MusicProperties);
    // Ducking as slow as the volume check allows.
    music.FollowShowTime = true;
    music.SoundFadeTime = pick(2800, 3200);
    music.VolumeDuringSound = pick(40, 200);
    music.LowerObjectSounds = pick(0, 1) == 1;

    std::vector<TPlayableSlideShowObject*> items;
    const int count = pick(3, 6);
    for (int i = 0; i < count; ++i) {
        TSlideShowObjectList* list = &rig.Show.RootList();
        const int shape = pick(0, 3);
        if (shape == 3) list = AddParallel(rig.Show.RootList())->GetChildList();
        if (shape != 1) {
            TScriptedItem* still = rig.Add(pick(300, 2500), kRed32, list);
            still->AnimateFor = pick(0, 1) ? pick(100, 800) : 0;  // a transition first
            items.push_back(still);
        }
        if (shape == 1 || shape == 3) {
            auto* sound = new TSoundSlideShowObject();
            sound->FileName = "sound.wav";
            sound->SoundLength = pick(1500, 4000);
            sound->DurationFromSound = pick(0, 2) != 0;
            sound->SetDuration(pick(1000, 4000));
            sound->EndMode = uint8_t(pick(0, 2));
            sound->FadeOutTime = pick(1500, 2500);
            sound->FadeMusic = pick(0, 1) == 1;
            sound->Volume = pick(100, 255);
            if (pick(0, 3) != 0) AddGentleCurve(sound, rng, 6000);
            list->Add(sound);
            items.push_back(sound);
            out.Sounds.push_back(sound);
        }
    }
    for (TPlayableSlideShowObject* item : items) out.Length += item->GetDuration();

    for (size_t i = 0; i < items.size(); ++i) {
        TPlayableSlideShowObject* item = items[i];
        const int32_t duration = item->GetDuration();
        for (int n = pick(0, 3); n > 0; --n) {
            int32_t offset = pick(0, duration);
            // Near the end too, where a late wake-up loses it.
            if (pick(0, 3) == 0) offset = duration + pick(-1, 1);
            TSlideShowObjectEventTimer* timer = AddTimer(item, offset);
            int kind = pick(0, akKindCount - 1);
            if (kind == akFadeOwn && !dynamic_cast<TSoundSlideShowObject*>(item)) kind = akFadeAll;
            timer->ActionList()->Add(new TRecordAction(&out.Actions, kind, int(i), pick(100, 3000)));
            switch (kind) {
                case akPause: timer->ActionList()->Add(new TPausePlayerAction()); break;
                case akPlay: timer->ActionList()->Add(new TPlayPlayerAction()); break;
                case akFadeOwn:
                case akFadeObjects:
                case akFadeMusic:
                case akFadeAll: {
                    auto* fade = new TFadeSoundAction();
                    fade->Settings()->Kind = uint8_t(kind - akFadeOwn);
                    fade->Settings()->Volume = uint8_t(pick(0, 255));
                    fade->Settings()->FadeTime = pick(3200, 5000);
                    timer->ActionList()->Add(fade);
                    break;
                }
                default: break;  // program, address, beep: when they fire is what counts
            }
        }
    }
}

// What is heard at one show time: both lists' levels, then every sound item's own
// volume (-1 while it does not play).
struct TSample {
    int32_t Time;
    std::vector<int> Levels;
};

struct TRun {
    std::vector<TActionRecord> Actions;
    std::vector<TSample> Samples;
    int Ticks = 0;
};

constexpr int32_t kSpan = 8000;
constexpr int32_t kResumeEvery = 1500;  // a paused show is resumed from outside

// Plays the seed's show for kSpan ms of the driven clock: strict, with the host waiting
// what the player asks; otherwise ticking every ms. A look at the sounds whenever the
// show time is a multiple of 100 ms.
TRun PlaySeed(uint32_t seed, bool strict, int32_t lateness = 0) {
    TFakeSystem sounds;
    TCurrentSounds current(&sounds);
    TRun run;
    TRandomShow show;
    {
        TPlayerRig rig(&sounds, 8, 6);
        BuildRandomShow(rig, seed, show);
        rig.Host.Strict = strict;
        rig.Host.WakeLateness = lateness;
        rig.Host.Play(&rig.Show);
        int32_t lastSampled = -1;
        for (int32_t ms = 0; ms < kSpan && !rig.Host.Closed(); ++ms) {
            if (ms > 0 && ms % kResumeEvery == 0) rig.Host.PostMessage(TMessage{0, WM_USER + 2, 0, 0, 0});
            if (strict) {
                rig.Host.RunFor(ms == 0 ? 0 : 1);
            } else {
                if (ms > 0) rig.Clock.Advance(1);
                rig.Host.Tick();
            }
            const int32_t now = rig.Now();
            if (now % 100 != 0 || now == lastSampled) continue;
            lastSampled = now;
            TSample sample{now, {sounds.Objects.Volume, sounds.Music.Volume}};
            for (TSoundSlideShowObject* s : show.Sounds) {
                auto* fake = dynamic_cast<TFakeSound*>(s->GetSound());
                sample.Levels.push_back(fake && fake->IsPlaying() ? fake->HeardVolume() : -1);
            }
            run.Samples.push_back(std::move(sample));
        }
        run.Ticks = rig.Host.TickCount();
    }
    run.Actions = show.Actions;
    return run;
}

// Empty when the two runs agree: the same actions in the same order, each within one
// frame interval, and every level heard at the same show time within 2 of 255.
std::string Compare(const TRun& strict, const TRun& reference) {
    std::ostringstream out;
    if (strict.Actions.size() != reference.Actions.size())
        out << "actions: " << strict.Actions.size() << " against " << reference.Actions.size() << "; ";
    for (size_t i = 0; i < std::min(strict.Actions.size(), reference.Actions.size()); ++i) {
        const TActionRecord& a = strict.Actions[i];
        const TActionRecord& b = reference.Actions[i];
        if (a.Kind != b.Kind || a.Item != b.Item || std::abs(a.Time - b.Time) > 17) {
            out << "action " << i << ": kind " << a.Kind << " of item " << a.Item << " at " << a.Time << " against kind "
                << b.Kind << " of item " << b.Item << " at " << b.Time << "; ";
            break;
        }
    }
    // Around a jump one run may look at a show time the other jumped over.
    size_t i = 0, j = 0, matched = 0;
    while (i < strict.Samples.size() && j < reference.Samples.size()) {
        const TSample& a = strict.Samples[i];
        const TSample& b = reference.Samples[j];
        if (a.Time != b.Time) {
            if (j + 1 < reference.Samples.size() && reference.Samples[j + 1].Time == a.Time) ++j;
            else ++i;
            continue;
        }
        ++matched;
        for (size_t k = 0; k < a.Levels.size(); ++k) {
            if (a.Levels[k] < 0 || b.Levels[k] < 0) continue;
            if (std::abs(a.Levels[k] - b.Levels[k]) > 2) {
                out << "level " << k << " at show time " << a.Time << ": " << a.Levels[k] << " against " << b.Levels[k]
                    << "; ";
                return out.str();
            }
        }
        ++i;
        ++j;
    }
    if (matched * 10 < reference.Samples.size() * 9) out << "only " << matched << " looks matched; ";
    return out.str();
}

TEST(PlayerWakeup, WaitingWhatThePlayerAsksActsAndSoundsAsTickingEveryMillisecond) {
    PlayerTestPlugins();
    int actions = 0, samples = 0, strictTicks = 0, referenceTicks = 0;
    for (uint32_t seed = 1; seed <= 200; ++seed) {
        const TRun strict = PlaySeed(seed, true);
        const TRun reference = PlaySeed(seed, false);
        const std::string difference = Compare(strict, reference);
        EXPECT_EQ(difference, "") << "seed " << seed;
        actions += int(reference.Actions.size());
        samples += int(reference.Samples.size());
        strictTicks += strict.Ticks;
        referenceTicks += reference.Ticks;
    }
    // The shows did something worth comparing, and the waits saved most of the ticks.
    EXPECT_GT(actions, 400);
    EXPECT_GT(samples, 10000);
    EXPECT_LT(strictTicks * 4, referenceTicks);
}

// ---- single cases ----

struct TWakeRig : TPlayerRig {
    TWakeRig() : TPlayerRig(&Sounds) { Host.Strict = true; }
    TFakeSystem Sounds;
    TCurrentSounds Current{&Sounds};
};

TEST(PlayerWakeup, ATimerOfAStillFiresAtItsTimeWhenEveryWakeUpComesAMillisecondLate) {
    TWakeRig rig;
    rig.Host.WakeLateness = 1;
    TScriptedItem* still = rig.Add(10000);
    std::vector<TActionRecord> log;
    AddTimer(still, 2000)->ActionList()->Add(new TRecordAction(&log, akBeep, 0, 0));
    rig.Add(10000, kGreen32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(9500);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_GE(log[0].Time, 2000);
    EXPECT_LE(log[0].Time, 2017);
}

TEST(PlayerWakeup, ATimerAddsOneWakeUpToAStill) {
    int ticks[2] = {0, 0};
    for (bool withTimer : {false, true}) {
        TWakeRig rig;
        rig.Settings().PreloadTime = 0;
        TScriptedItem* still = rig.Add(10000);
        std::vector<TActionRecord> log;
        if (withTimer) AddTimer(still, 4000)->ActionList()->Add(new TRecordAction(&log, akBeep, 0, 0));
        rig.Add(10000, kGreen32);
        rig.Host.Play(&rig.Show);
        rig.Host.RunFor(9999);
        EXPECT_EQ(log.size(), withTimer ? 1u : 0u);
        ticks[withTimer] = rig.Host.TickCount();
    }
    EXPECT_LE(ticks[0], 3);
    EXPECT_EQ(ticks[1], ticks[0] + 1);
}

// A sound alone, 10 s, without music fades; its curve falls from 255 to 0 over the
// first 5 s and then holds.
TSoundSlideShowObject* AddCurvedSound(TWakeRig& rig) {
    auto* sound = new TSoundSlideShowObject();
    sound->FileName = "sound.wav";
    sound->SoundLength = 10000;
    sound->FadeMusic = false;
    sound->CreateVolumeCurve();
    for (auto [time, value] : {std::pair{0, 255}, std::pair{5000, 0}}) {
        auto key = std::make_unique<TTimeIntegerValue>();
        key->Time = time;
        key->Value = value;
        key->Linear = true;
        sound->VolumeCurve->AddKey(std::move(key));
    }
    rig.Show.RootList().Add(sound);
    return sound;
}

TEST(PlayerWakeup, ASoundsCurveMovesItsVolumeWithoutMusicAndCostsFramesOnlyWhileItMoves) {
    TWakeRig rig;
    TSoundSlideShowObject* sound = AddCurvedSound(rig);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(2500);
    auto* fake = dynamic_cast<TFakeSound*>(sound->GetSound());
    ASSERT_NE(fake, nullptr);
    EXPECT_NEAR(fake->HeardVolume(), 128, 2);
    rig.Host.RunFor(3000);
    EXPECT_EQ(fake->HeardVolume(), 0);
    const int ticks = rig.Host.TickCount();
    rig.Host.RunFor(4000);  // the curve holds: nothing to do until the end
    EXPECT_LE(rig.Host.TickCount() - ticks, 1);
}

TEST(PlayerWakeup, ASoundItemWhoseFileDidNotOpenWaitsForItsEnd) {
    TWakeRig rig;
    rig.Sounds.FilesOpen = false;
    AddCurvedSound(rig);
    rig.Add(5000, kGreen32);
    rig.Host.Play(&rig.Show);
    rig.Host.RunFor(9900);
    EXPECT_LE(rig.Host.TickCount(), 4);
    EXPECT_NE(rig.Pixel(1, 1), kGreen32);
    rig.Host.RunFor(200);
    EXPECT_EQ(rig.Pixel(1, 1), kGreen32);
}

}  // namespace
