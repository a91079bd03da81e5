// The player's queue of timed work (high-priority events), run at the start of every
// frame, and the volume fades it carries.
#include "playback/SlideShowPlayer.h"

#include "document/SoundServices.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_CLASS(TFadeBackgroundMusicHighPriorityEvent, THighPriorityEvent)

namespace {

uint8_t ToVolume(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

// ---- fades ----

TFadeBackgroundMusicHighPriorityEvent::TFadeBackgroundMusicHighPriorityEvent(IPlayerServices* player, uint8_t kind,
                                                                             ISlideShowSound* sound,
                                                                             uint8_t targetVolume, int32_t duration)
    : THighPriorityEvent(player), Duration(duration), TargetVolume(targetVolume), Sound(sound), Kind(kind) {}

bool TFadeBackgroundMusicHighPriorityEvent::Execute() {
    auto* owner = dynamic_cast<TSlideShowPlayer*>(Player);
    ISoundSystem* sounds = owner ? owner->GetSoundSystem() : nullptr;
    ISlideShowSoundList* objectList = sounds ? &sounds->ObjectSounds() : nullptr;
    ISlideShowSoundList* musicList = sounds ? &sounds->MusicSounds() : nullptr;
    const bool objectsToo = Kind == fkObjectSounds || Kind == fkAll;
    const bool musicToo = Kind == fkMusic || Kind == fkAll;
    const int32_t now = Player ? Player->GetMusicTime() : 0;
    if (FadeStart == -1) {
        FadeStart = now;
        if (Kind == fkSound && Sound) StartVolumeA = ToVolume(Sound->GetVolume());
        if (objectsToo && objectList) StartVolumeA = ToVolume(objectList->GetVolume());
        if (musicToo && musicList) StartVolumeB = ToVolume(musicList->GetVolume());
    }
    // The volume formula divides by the length: a fade without one is at its end at once.
    const int64_t e = Duration <= 0 ? 0 : std::clamp<int64_t>(int64_t(now) - FadeStart, 0, Duration);
    auto volumeFrom = [&](uint8_t start) -> int {
        if (Duration <= 0) return TargetVolume;
        const int64_t sum = int64_t(start) * (Duration - e) + int64_t(TargetVolume) * e;
        return static_cast<int>(std::nearbyint(static_cast<double>(sum) / Duration));
    };
    if (Kind == fkSound && Sound) Sound->SetVolume(volumeFrom(StartVolumeA));
    if (musicToo && musicList) musicList->SetVolume(volumeFrom(StartVolumeB));
    if (objectsToo && objectList) objectList->SetVolume(volumeFrom(StartVolumeA));
    return Duration <= 0 || e >= Duration;
}

// ---- high-priority events ----

void TSlideShowPlayer::HighPriorityEventLeft(THighPriorityEvent* event) {
    if (SoundFade.get() == event) SoundFade.reset();
    if (MusicFade.get() == event) MusicFade.reset();
    MusicEventLeft(event);
}

void TSlideShowPlayer::RemoveQueuedEvent(THighPriorityEvent* event) {
    auto it = std::find_if(highPriorityEvents_.begin(), highPriorityEvents_.end(),
                           [&](const auto& e) { return e.get() == event; });
    if (it == highPriorityEvents_.end()) return;
    // Kept alive until whoever pointed at it has let go.
    std::shared_ptr<THighPriorityEvent> keep = std::move(*it);
    highPriorityEvents_.erase(it);
    HighPriorityEventLeft(event);
}

void TSlideShowPlayer::AddHighPriorityEvent(std::shared_ptr<THighPriorityEvent> event) {
    if (!event) return;
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    if (std::find(highPriorityEvents_.begin(), highPriorityEvents_.end(), event) == highPriorityEvents_.end())
        highPriorityEvents_.push_back(std::move(event));
}

bool TSlideShowPlayer::RemoveHighPriorityEvent(THighPriorityEvent* event) {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    const size_t before = highPriorityEvents_.size();
    RemoveQueuedEvent(event);
    return highPriorityEvents_.size() != before;
}

std::vector<std::shared_ptr<THighPriorityEvent>> TSlideShowPlayer::QueuedHighPriorityEvents() {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    return highPriorityEvents_;
}

void TSlideShowPlayer::ProcessHighPriorityEvents() {
    if (HighPriorityEventsSuspended) return;
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    // Events may queue or take out events while they run: they run over a snapshot,
    // and one taken out meanwhile is passed over.
    const std::vector<std::shared_ptr<THighPriorityEvent>> snapshot = highPriorityEvents_;
    for (size_t i = snapshot.size(); i-- > 0;) {
        const std::shared_ptr<THighPriorityEvent>& event = snapshot[i];
        if (std::find(highPriorityEvents_.begin(), highPriorityEvents_.end(), event) == highPriorityEvents_.end())
            continue;
        if (event->Execute()) RemoveQueuedEvent(event.get());
    }
    if (soundSystem_) {
        soundSystem_->ObjectSounds().UpdateAll(GetPlayTime());
        soundSystem_->MusicSounds().UpdateAll(GetMusicTime());
    }
}

void TSlideShowPlayer::ClearHighPriorityEvents() {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    while (!highPriorityEvents_.empty()) RemoveQueuedEvent(highPriorityEvents_.back().get());
}

void TSlideShowPlayer::ReplaceFade(std::shared_ptr<TFadeBackgroundMusicHighPriorityEvent>& slot, uint8_t kind,
                                   uint8_t target, int32_t duration) {
    auto fade = std::make_shared<TFadeBackgroundMusicHighPriorityEvent>(this, kind, nullptr, target, duration);
    slot = fade;
    AddHighPriorityEvent(fade);
}

void TSlideShowPlayer::FadeSoundVolume(uint8_t targetVolume, int32_t duration) {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    if (SoundFade) RemoveQueuedEvent(SoundFade.get());
    SoundFade.reset();
    ReplaceFade(SoundFade, TFadeBackgroundMusicHighPriorityEvent::fkObjectSounds, targetVolume, duration);
}

void TSlideShowPlayer::FadeMusicVolume(uint8_t targetVolume, int32_t duration) {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    if (MusicFade) RemoveQueuedEvent(MusicFade.get());
    MusicFade.reset();
    ReplaceFade(MusicFade, TFadeBackgroundMusicHighPriorityEvent::fkMusic, targetVolume, duration);
}

void TSlideShowPlayer::FadeAllVolume(uint8_t targetVolume, int32_t duration) {
    std::lock_guard<std::recursive_mutex> lock(eventLock_);
    if (SoundFade) RemoveQueuedEvent(SoundFade.get());
    if (MusicFade) RemoveQueuedEvent(MusicFade.get());
    SoundFade.reset();
    MusicFade.reset();
    ReplaceFade(SoundFade, TFadeBackgroundMusicHighPriorityEvent::fkAll, targetVolume, duration);
}
