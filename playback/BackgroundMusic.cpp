#include "playback/BackgroundMusic.h"

#include "document/BackgroundMusicSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowObject.h"
#include "document/SlideShowPlayerProperties.h"
#include "document/SoundSlideShowObject.h"
#include "document/SoundServices.h"
#include "foundation/SlideShowGlobals.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "playback/MusicOpener.h"
#include "platform/DebugOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

GC_IMPLEMENT_CLASS(TBackgroundMusicRuntimeData, TObject)
GC_IMPLEMENT_CLASS(TBackgroundMusicHighPriorityEvent, THighPriorityEvent)

namespace {

// A stored span that ends before it starts counts as none.
int64_t Span(int64_t v) { return std::max<int64_t>(v, 0); }

struct TListLock {
    explicit TListLock(TMusicPlayList& list) : List(list) { List.Lock(); }
    ~TListLock() { List.Unlock(); }
    TListLock(const TListLock&) = delete;
    TListLock& operator=(const TListLock&) = delete;
    TMusicPlayList& List;
};

// What the item opens, as the show's file resolver says.
AnsiString MusicFileOf(TSlideShow* show, const TMusicPlayListItem* item) { return show->FileToOpen(item->FileName); }

// How often a frame looks for the opener's answers while it has asked for something.
constexpr int32_t kAnswerPollMs = 50;

}  // namespace

TBackgroundMusicRuntimeData* MusicRuntimeData(const TMusicPlayListItem* item) {
    return item ? dynamic_cast<TBackgroundMusicRuntimeData*>(item->PlayerData.get()) : nullptr;
}

int32_t GetMusicItemEnd(const TMusicPlayListItem* item) {
    const TBackgroundMusicRuntimeData* data = MusicRuntimeData(item);
    const int duration = item->GetPlayDuration();
    if (!data || data->ItemStart < 0 || duration == -1) return -1;
    return SaturateInt32(int64_t(data->ItemStart) + Span(duration) + data->LateStart);
}

void LayOutMusicPlayList(TMusicPlayList& list) {
    int64_t t = 0;
    for (const auto& item : list.Items) {
        auto data = std::make_unique<TBackgroundMusicRuntimeData>();
        TBackgroundMusicRuntimeData* d = data.get();
        item->PlayerData = std::move(data);
        t += Span(item->Delay);
        int64_t span;
        if (item->EndPoint != 0) {
            span = Span(int64_t(item->EndPoint) - item->StartPoint);
        } else if (item->GetLength() == -1) {
            // A song that cannot be opened (a dead address) takes no time and never
            // starts; the songs after it still play.
            t += Span(item->Gap);
            continue;
        } else {
            span = Span(int64_t(item->GetLength()) - item->StartPoint);
        }
        d->ItemStart = SaturateInt32(t);
        t += span + Span(item->Gap);
    }
}

int32_t MusicPassLength(const TMusicPlayList& list) {
    int32_t length = 0;
    for (const auto& item : list.Items) length = std::max(length, GetMusicItemEnd(item.get()));
    return length;
}

// ---- the event ----

TBackgroundMusicHighPriorityEvent::TBackgroundMusicHighPriorityEvent(TSlideShowPlayer* player)
    : THighPriorityEvent(player), owner_(player) {}

TMusicProperties* TBackgroundMusicHighPriorityEvent::Music() const {
    return owner_ && owner_->SlideShow ? dynamic_cast<TMusicProperties*>(owner_->SlideShow->MusicProperties) : nullptr;
}

bool TBackgroundMusicHighPriorityEvent::MusicPosition(int32_t& pass, int32_t& position) {
    TMusicProperties* music = Music();
    if (!music) return false;
    if (TotalDuration == -2) {
        // Measuring opens every item of unknown length, which may take seconds: the
        // opener does it off this thread, and the time line waits for it.
        TMusicPlayList& list = *music->PlayList;
        TakeOpenedMusic(list);
        if (!MeasureMusicPlayList(list)) {
            if (measureAskedAt_ < 0) measureAskedAt_ = owner_->GetMusicTime();
            return false;
        }
        // The music then starts from where its time line stood when it was asked for.
        if (measureAskedAt_ >= 0) LayoutDelay = std::max(0, owner_->GetMusicTime() - measureAskedAt_);
        LayOutMusicPlayList(list);
        TotalDuration = MusicPassLength(list);
    }
    if (TotalDuration <= 0) return false;
    const int32_t p = std::max(0, owner_->GetMusicTime() - LayoutDelay);
    pass = p / TotalDuration;
    position = p % TotalDuration;
    return true;
}

bool TBackgroundMusicHighPriorityEvent::Execute() {
    TMusicProperties* music = Music();
    if (!music || !music->HasMusic()) return true;
    TMusicPlayList& list = *music->PlayList;
    TListLock lock(list);
    TakeOpenedMusic(list);
    int32_t pass = 0, position = 0;
    // A pass of no length holds no music; one still being measured waits.
    if (!MusicPosition(pass, position)) return TotalDuration != -2;
    if (pass != LastPass) {
        // A new pass starts from its first item; going back across a pass (a jump or a
        // re-sync) stops what belongs to the later one as well.
        const bool forward = pass > LastPass;
        LastPass = pass;
        StopAllMusicItems();
        list.CurrentIndex = -1;
        if (forward && !music->RepeatPlayList) return true;
    }
    if (!ActiveItems.empty() && list.CurrentIndex == -1) StopAllMusicItems();
    StartDueMusicItems(position);
    UpdateMusicFades(position);
    return false;
}

void TBackgroundMusicHighPriorityEvent::StartDueMusicItems(int32_t position) {
    TMusicPlayList& list = *Music()->PlayList;
    for (int i = 0; i < list.Count(); ++i) {
        TMusicPlayListItem* item = list.Item(i);
        TBackgroundMusicRuntimeData* data = MusicRuntimeData(item);
        if (!data || data->ItemStart < 0 || data->ItemStart > position) continue;
        const int32_t end = GetMusicItemEnd(item);
        // An item is over at its end; starting it there would stop it in the same run.
        if (end <= position) continue;
        if (std::find(ActiveItems.begin(), ActiveItems.end(), item) != ActiveItems.end()) continue;
        // Opened off this thread, the item starts once it is open, from where it was due
        // then; its end moves by the wait.
        int32_t due = position;
        if (!item->GetSound() && owner_->MusicOpener()) {
            if (data->WaitingSince < 0) data->WaitingSince = position;
            OpenMusicItem(item);
            continue;
        }
        if (data->WaitingSince >= 0) {
            due = std::min(due, data->WaitingSince);
            data->WaitedForOpen = position - due;
            data->WaitingSince = -1;
        }
        char line[64];
        std::snprintf(line, sizeof line, "Start: %d -> End: %d", data->ItemStart, end);
        OutputDebugString(line);
        ActiveItems.push_back(item);
        StartMusicItem(item, SaturateInt32(int64_t(due) - data->ItemStart + item->StartPoint));
        list.CurrentIndex = std::max(list.CurrentIndex, i);
    }
}

void TBackgroundMusicHighPriorityEvent::StartMusicItem(TMusicPlayListItem* item, int32_t offset) {
    TMusicProperties* music = Music();
    ISoundSystem* sounds = owner_->GetSoundSystem();
    TBackgroundMusicRuntimeData* data = MusicRuntimeData(item);
    int32_t late = 0;
    if (!item->GetSound()) {
        // Opened only now, here (a silent sound, a mix made on demand; the first song; a
        // MIDI song loads its sound font first, which may take most of a second on a busy
        // machine): it plays whole from its real start.
        const int32_t before = owner_->GetCurrentMusicTime();
        if (!OpenMusicItem(item)) return;
        late = std::max(0, owner_->GetCurrentMusicTime() - before);
    }
    // A song that waited for the opener at its start plays whole as well.
    if (data) {
        data->LateStart = late + data->WaitedForOpen;
        data->WaitedForOpen = 0;
    }
    // Open and due: from here to the song's start the tests expect no wait.
    TraceMoment("song-due " + item->FileName);
    ISlideShowSound* sound = item->GetSound();
    if (!sound || !sounds || sounds->MusicSounds().Add(sound) < 0) return;
    sound->SetEnvelopeCurve(item->GetVolumeEnvelope());
    sound->SetEnvelopeStart(SaturateInt32(int64_t(owner_->GetMusicTime()) + late - offset));
    const int volume = int(std::nearbyint(music->MusicVolume / 255.0 * item->Volume));
    TraceMoment("song-start " + item->FileName);
    if (item->FadeInTime < 1 || !data) {
        if (offset != 0) sound->SetPosition(offset);
        sound->Play();
        sound->SetVolume(volume);
        return;
    }
    DropItemFade(data);
    data->FadingIn = data->FadingOut = false;
    data->ItemFade = std::make_shared<TFadeBackgroundMusicHighPriorityEvent>(
        owner_, TFadeBackgroundMusicHighPriorityEvent::fkSound, sound, uint8_t(std::clamp(volume, 0, 255)),
        item->FadeInTime);
    owner_->AddHighPriorityEvent(data->ItemFade);
    data->FadingIn = true;
    if (offset != 0) sound->SetPosition(offset);
    sound->Play();
    sound->SetVolume(0);
}

void TBackgroundMusicHighPriorityEvent::UpdateMusicFades(int32_t position) {
    for (size_t i = ActiveItems.size(); i-- > 0;) {
        TMusicPlayListItem* item = ActiveItems[i];
        TBackgroundMusicRuntimeData* data = MusicRuntimeData(item);
        const int32_t end = GetMusicItemEnd(item);
        if (data && item->FadeOutTime >= 1 && !data->FadingOut && int64_t(end) - item->FadeOutTime <= position) {
            if (data->ItemFade) DropItemFade(data);
            if (ISlideShowSound* sound = item->GetSound()) {
                data->ItemFade = std::make_shared<TFadeBackgroundMusicHighPriorityEvent>(
                    owner_, TFadeBackgroundMusicHighPriorityEvent::fkSound, sound, 0, item->FadeOutTime);
                owner_->AddHighPriorityEvent(data->ItemFade);
                data->FadingIn = false;
                data->FadingOut = true;
            }
        }
        if (end <= position) {
            if (data) {
                DropItemFade(data);
                data->FadingIn = data->FadingOut = false;
            }
            StopMusicItem(item);
            ActiveItems.erase(ActiveItems.begin() + std::ptrdiff_t(i));
        }
    }
}

void TBackgroundMusicHighPriorityEvent::StopMusicItem(TMusicPlayListItem* item) {
    if (ISoundSystem* sounds = owner_->GetSoundSystem(); sounds && item->GetSound())
        sounds->MusicSounds().Remove(item->GetSound());
    item->Close();
}

void TBackgroundMusicHighPriorityEvent::StopAllMusicItems() {
    for (size_t i = ActiveItems.size(); i-- > 0;) {
        StopMusicItem(ActiveItems[i]);
        ActiveItems.erase(ActiveItems.begin() + std::ptrdiff_t(i));
    }
    if (TMusicProperties* music = Music())
        for (const auto& item : music->PlayList->Items)
            if (TBackgroundMusicRuntimeData* data = MusicRuntimeData(item.get())) {
                DropItemFade(data);
                data->FadingIn = data->FadingOut = false;
                data->WaitingSince = -1;
                data->WaitedForOpen = 0;
            }
}

void TBackgroundMusicHighPriorityEvent::DropItemFade(TBackgroundMusicRuntimeData* data) {
    if (!data->ItemFade) return;
    std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent> fade = std::move(data->ItemFade);
    owner_->RemoveHighPriorityEvent(fade.get());
}

void TBackgroundMusicHighPriorityEvent::TakeOpenedMusic(TMusicPlayList& list) {
    TMusicOpener* opener = owner_->MusicOpener();
    if (!opener) return;
    for (TMusicOpener::TAnswer& answer : opener->TakeAnswers()) {
        auto found = std::find_if(list.Items.begin(), list.Items.end(),
                                  [&](const auto& item) { return item.get() == answer.Key; });
        if (found == list.Items.end()) continue;
        TMusicPlayListItem* item = found->get();
        if (answer.Kind == TMusicOpener::TKind::Measure) {
            if (!item->IsLengthKnown()) item->Length = answer.Length;
            continue;
        }
        if (!answer.Sound || item->GetSound()) continue;
        item->Sound = std::move(answer.Sound);
        if (item->Length < 0) item->Length = item->Sound->GetLength();
    }
}

bool TBackgroundMusicHighPriorityEvent::MeasureMusicPlayList(TMusicPlayList& list) {
    TMusicOpener* opener = owner_->MusicOpener();
    bool waiting = false;
    for (const auto& item : list.Items) {
        if (item->IsLengthKnown() || item->GetSound()) continue;
        const AnsiString file = MusicFileOf(owner_->SlideShow, item.get());
        if (!opener) {
            // A silent sound opens no file: at once.
            item->Open(file);
            item->Close();
            continue;
        }
        if (opener->Failed(file)) continue;
        if (measureAsked_.insert(item.get()).second) {
            opener->Ask(item.get(), TMusicOpener::TKind::Measure, file);
            waiting = true;
        } else if (opener->Waiting(item.get(), TMusicOpener::TKind::Measure)) {
            waiting = true;
        }
    }
    return !waiting;
}

bool TBackgroundMusicHighPriorityEvent::OpenMusicItem(TMusicPlayListItem* item) {
    if (item->GetSound()) return true;
    const AnsiString file = MusicFileOf(owner_->SlideShow, item);
    TMusicOpener* opener = owner_->MusicOpener();
    if (!opener) {
        item->Open(file);
        return true;
    }
    if (!opener->Failed(file)) opener->Ask(item, TMusicOpener::TKind::Open, file);
    return false;
}

int32_t TBackgroundMusicHighPriorityEvent::TimeToNextTick() {
    TMusicProperties* music = Music();
    if (!music || !music->HasMusic()) return 0;
    TListLock lock(*music->PlayList);
    // Measured in the tick, never here: the answers taken here would be started by no
    // tick, for nothing below would ask for one.
    if (TotalDuration == -2) return kAnswerPollMs;
    int32_t pass = 0, position = 0;
    if (!MusicPosition(pass, position)) return 0;
    int64_t best = int64_t(TotalDuration) - position;
    // An answer of the opener is taken up within a few frames.
    if (TMusicOpener* opener = owner_->MusicOpener(); opener && opener->Busy())
        best = std::min<int64_t>(best, kAnswerPollMs);
    for (const auto& item : music->PlayList->Items) {
        const TBackgroundMusicRuntimeData* data = MusicRuntimeData(item.get());
        if (!data || data->ItemStart < 0) continue;
        if (data->ItemFade) return 0;
        const int32_t end = GetMusicItemEnd(item.get());
        const bool active = std::find(ActiveItems.begin(), ActiveItems.end(), item.get()) != ActiveItems.end();
        if (!active) {
            if (data->ItemStart > position) best = std::min<int64_t>(best, int64_t(data->ItemStart) - position);
            // Due and not playing: open by now, or not asked for yet (whoever took the
            // answer, the tick starts it); one that failed to open waits for nothing.
            else if (end > position && (item->GetSound() || data->WaitingSince < 0)) return 0;
            continue;
        }
        if (item->FadeOutTime >= 1 && !data->FadingOut)
            best = std::min<int64_t>(best, std::max<int64_t>(0, int64_t(end) - item->FadeOutTime - position));
        best = std::min<int64_t>(best, std::max<int64_t>(0, int64_t(end) - position));
    }
    return SaturateInt32(std::max<int64_t>(best, 0));
}

// ---- the player's part ----

void TSlideShowPlayer::CreateMusicFadeObject() {
    TMusicProperties* music = MusicSettings();
    if (!SlideShow || !music || !music->HasMusic()) return;
    auto* fade = new TDummySlideShowObject();
    fade->SetDuration(music->EndFadeTime);
    auto* started = new TSlideShowObjectEventObjectStarted();
    fade->CreateEventList()->Add(started);
    auto* action = new TFadeSoundAction();
    action->Settings()->Volume = 0;
    action->Settings()->FadeTime = fade->GetDuration();
    action->Settings()->Kind = THighPriorityFadeSoundEvent::fkAll;
    started->CreateActionList()->Add(action);
    // Last in the show: when everything else has ended, all sound fades to silence.
    SlideShow->RootList().Add(fade);
    MusicFadeObject = fade;
}

void TSlideShowPlayer::PrepareMusicPlayList() {
    TMusicProperties* music = MusicSettings();
    if (!SlideShow || !music) return;
    TListLock lock(*music->PlayList);
    if (music->MusicOn) {
        music->PlayList->CurrentIndex = -1;
        if (soundSystem_) soundSystem_->MusicSounds().SetVolume(music->MusicVolume);
    }
    // Laid out when the music first plays (see MusicPosition); nothing of an earlier play
    // stays meanwhile.
    for (const auto& item : music->PlayList->Items) item->PlayerData.reset();
}

void TSlideShowPlayer::QueueBackgroundMusicEvent() {
    TMusicProperties* music = MusicSettings();
    if (!music || !music->HasMusic()) return;
    MusicEvent = std::make_shared<TBackgroundMusicHighPriorityEvent>(this);
    AddHighPriorityEvent(MusicEvent);
}

void TSlideShowPlayer::QueueNextMusicItem() {
    TMusicProperties* music = MusicSettings();
    if (!SlideShow || !music || !music->HasMusic() || !MusicEvent) return;
    TMusicPlayList& list = *music->PlayList;
    TListLock lock(list);
    int32_t pass = 0, position = 0;
    if (!MusicEvent->MusicPosition(pass, position)) return;
    int next = 0;
    int32_t nextPass = pass;
    if (list.CurrentIndex >= 0) {
        // Once the current item has started, the next one opens while it plays.
        TMusicPlayListItem* current = list.Item(list.CurrentIndex);
        const int32_t end = GetMusicItemEnd(current);
        if (!current || end < 0) return;
        next = list.CurrentIndex + 1;
        if (next >= list.Count()) {
            if (!music->RepeatPlayList) return;
            next = 0;
            ++nextPass;
        }
        if (int64_t(position) > int64_t(end) + std::max(0, current->Gap) + GetSettings()->PreloadTime) return;
    }
    TMusicPlayListItem* item = list.Item(next);
    TBackgroundMusicRuntimeData* data = MusicRuntimeData(item);
    // One placeholder per item and pass; a playing item is not opened again under itself.
    if (!data || data->ItemStart < 0 || data->QueuedPass == nextPass) return;
    if (std::find(MusicEvent->ActiveItems.begin(), MusicEvent->ActiveItems.end(), item) !=
        MusicEvent->ActiveItems.end())
        return;
    data->QueuedPass = nextPass;
    // A sound that opens files is opened ahead off this thread; only a silent one, which
    // opens nothing, goes through the preparation of a placeholder.
    if (TMusicOpener* opener = MusicOpener()) {
        const AnsiString file = MusicFileOf(SlideShow, item);
        if (!item->GetSound() && !opener->Failed(file)) opener->Ask(item, TMusicOpener::TKind::Open, file);
        return;
    }
    auto* placeholder = new TBackgroundMusicSlideShowObject();
    placeholder->MusicItem = item;
    placeholder->SetParentList(&SlideShow->RootList());
    preparation_->Queue(placeholder);
    placeholder->Start();
}

TMusicOpener* TSlideShowPlayer::MusicOpener() {
    // A silent sound opens no file; a mix made on demand waits for the player anyway, and
    // keeps the music exactly on the show's time when the files open where it plays.
    TSoundSystem* sound = SoundSystem();
    if (!sound || sound->Silent || sound->NonRealtime) return nullptr;
    if (!musicOpener_) musicOpener_ = std::make_unique<TMusicOpener>();
    return musicOpener_.get();
}

void TSlideShowPlayer::ReleaseMusicPlayList() {
    // Nothing opened for the play list may reach its items any more.
    if (musicOpener_) musicOpener_->Cancel();
    TMusicProperties* music = MusicSettings();
    if (!music) return;
    TListLock lock(*music->PlayList);
    if (MusicEvent) {
        std::shared_ptr<TBackgroundMusicHighPriorityEvent> event = MusicEvent;
        event->StopAllMusicItems();
        RemoveHighPriorityEvent(event.get());
        MusicEvent.reset();
    }
    for (const auto& item : music->PlayList->Items) {
        item->Close();
        item->PlayerData.reset();
    }
}

void TSlideShowPlayer::MusicEventLeft(THighPriorityEvent* event) {
    if (MusicEvent.get() == event) {
        std::shared_ptr<TBackgroundMusicHighPriorityEvent> music = std::move(MusicEvent);
        music->StopAllMusicItems();
        return;
    }
    TMusicProperties* settings = MusicSettings();
    if (!settings) return;
    TListLock lock(*settings->PlayList);
    for (const auto& item : settings->PlayList->Items)
        if (TBackgroundMusicRuntimeData* data = MusicRuntimeData(item.get()); data && data->ItemFade.get() == event)
            data->ItemFade.reset();
}
