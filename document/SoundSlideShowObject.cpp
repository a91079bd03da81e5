#include "document/SoundSlideShowObject.h"

#include "document/PreparationSteps.h"
#include "document/SlideShow.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/StopWatch.h"
#include "foundation/Translation.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_CLASS(THighPriorityFadeSoundEvent, THighPrioritySlideShowObjectEvent)
GC_IMPLEMENT_PLUGIN(TSoundSlideShowObject, TPlayableSlideShowObject)
GC_IMPLEMENT_PLUGIN(TFadeSoundProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TFadeSoundAction, TSlideShowObjectEventAction)

namespace {

uint8_t ClampVolume(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The volume a fade has reached after t of its time, halves to the even neighbour.
uint8_t FadeVolume(uint8_t start, uint8_t end, int32_t t, int32_t fadeTime) {
    const double v = (double(start) * double(fadeTime - t) + double(end) * double(t)) / double(fadeTime);
    return ClampVolume(static_cast<int64_t>(std::nearbyint(v)));
}

}  // namespace

// ---- the fade event ----

bool THighPriorityFadeSoundEvent::Execute() {
    ISoundSystem* system = CurrentSoundSystem();
    ISlideShowSound* sound = nullptr;
    if (Kind == fkSound) {
        auto* owner = dynamic_cast<ISound*>(Item);
        sound = owner ? owner->GetSound() : nullptr;
        if (!sound) return Complete = true;
    }
    ISlideShowSoundList* objects = system && (Kind == fkObjectSounds || Kind == fkAll) ? &system->ObjectSounds() : nullptr;
    ISlideShowSoundList* music = system && (Kind == fkMusic || Kind == fkAll) ? &system->MusicSounds() : nullptr;
    const int32_t now = Player ? Player->GetPlayTime() : 0;
    if (FadeStart == -1) {
        FadeStart = now;
        if (sound) StartVolume = ClampVolume(sound->GetVolume());
        if (objects) StartVolume = ClampVolume(objects->GetVolume());
        if (music) StartMusicVolume = ClampVolume(music->GetVolume());
    }
    // A fade of no length is at its target at once.
    const int32_t t = FadeTime <= 0 ? 0 : std::clamp<int32_t>(Saturate(int64_t(now) - FadeStart), 0, FadeTime);
    const bool done = FadeTime <= 0 || t >= FadeTime;
    auto at = [&](uint8_t start, uint8_t end) { return done ? end : FadeVolume(start, end, t, FadeTime); };
    if (sound) sound->SetVolume(at(StartVolume, EndVolume));
    if (objects) objects->SetVolume(at(StartVolume, EndVolume));
    if (music) music->SetVolume(at(StartMusicVolume, EndMusicVolume));
    return Complete = done;
}

// ---- the sound item: files ----

TSoundSlideShowObject::~TSoundSlideShowObject() {
    FreeMusicFadeEvent();
    FreeFadeEvent();
    FreeVolumeCurve();
}

AnsiString TSoundSlideShowObject::GetResolvedFileName() const {
    return FileToOpen(FileName);
}

void TSoundSlideShowObject::ChangeFileName(const AnsiString& name) {
    if (name == FileName) return;
    FileName = name;
    const bool opened = OpenSound();
    if (opened) {
        SoundLength = Sound->GetLength() < -1 ? -1 : Sound->GetLength();
        CloseSound();
    }
    DoChange(opened ? ocNewFile | 2 : ocNewFile);
}

void TSoundSlideShowObject::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    if (oldName == FileName || oldName == GetResolvedFileName()) FileName = newName;
}

std::unique_ptr<ISlideShowSound> TSoundSlideShowObject::CreateSound() const {
    ISoundSystem* system = CurrentSoundSystem();
    if (!system) return nullptr;
    std::unique_ptr<ISlideShowSound> sound = system->CreateSound(255);
    if (!sound || !sound->Open(GetResolvedFileName())) return nullptr;
    return sound;
}

void TSoundSlideShowObject::CreateVolumeCurve() {
    if (!VolumeCurve) VolumeCurve = std::make_unique<TTimeToIntegerValue>();
}

AnsiString TSoundSlideShowObject::GetFileFilter() const {
    return "WAV-Dateien (*.wav)|*.wav|OGG Vorbis-Dateien (*.ogg)|*.ogg|MP3-Dateien (*.mp3)|*.mp3|"
           "MP2-Dateien (*.mp2)|*.mp2|AIFF-Dateien (*.aiff)|*.aiff|ASF-Dateien (*.asf)|*.asf|"
           "Windows Media Audio (*.wma)|*.wma|Windows Media Audio (*.wmv)|*.wmv|"
           "XM/FastTracker-Musik (*.xm)|*.xm|IT/Impulse Tracker-Musik (*.it)|*.it|MOD-Musik (*.mod)|*.mod|"
           "S3M/Scream Tracker-Musik (*.s3m)|*.s3m|"
           "MIDI-Dateien (*.mid;*.rmi)|*.mid;*.rmi";
}

std::vector<AnsiString> TSoundSlideShowObject::GetFileExtensions() const { return GetFilterExtensions(GetFileFilter()); }

AnsiString TSoundSlideShowObject::GetDisplayName() const {
    const size_t sep = FileName.find_last_of("\\:");
    return sep == AnsiString::npos ? FileName : FileName.substr(sep + 1);
}

// ---- time line ----

int TVolumeCurveEnvelope::TimeToNextChange(int time) const {
    if (!Curve || Curve->KeyCount() < 2) return -1;
    const int32_t first = Curve->Key(0)->Time;
    const int32_t last = Curve->Key(Curve->KeyCount() - 1)->Time;
    if (time >= last) return -1;
    return time < first ? first - time : 0;
}

int32_t SoundMusicFadeTime(const TSlideShowHost* show) {
    const IShowMusicProperties* music = show ? show->GetMusicProperties() : nullptr;
    return music ? std::max(0, music->GetSoundFadeTime()) : TSoundSlideShowObject::kDefaultMusicFadeTime;
}

TSoundSlideShowObject::TMusicTiming TSoundSlideShowObject::MusicTiming() const {
    TMusicTiming timing;
    const TSlideShowHost* show = TSlideShowObject::GetSlideShow();
    timing.FadeTime = SoundMusicFadeTime(show);
    if (const IShowMusicProperties* music = show ? show->GetMusicProperties() : nullptr) {
        timing.Volume = std::clamp(music->GetVolumeDuringSound(), 0, 255);
        timing.LowerObjectSounds = music->GetLowerObjectSounds();
    }
    return timing;
}

int32_t TSoundSlideShowObject::OwnDuration() const { return TPlayableSlideShowObject::GetDuration(); }

int32_t TSoundSlideShowObject::GetDuration() const {
    const int64_t own = OwnDuration();
    const int64_t length = SoundLength >= 0 ? SoundLength : own;
    int64_t d = own;
    if (DurationFromSound) {
        d = length;
    } else if (SoundLength >= 0) {
        // Applied here rather than to the stored duration, so that every run schedules
        // alike and a saved show keeps its own value.
        if (EndMode == 0) d = own + FadeOutTime;
        else if (EndMode == 2) d = std::max(own, length);
    }
    d = std::min(d, std::max<int64_t>(0, length - StartOffset));
    if (FadeMusic) d += 2 * int64_t(MusicTiming().FadeTime);
    return Saturate(d);
}

void TSoundSlideShowObject::SeekTo(int32_t time) {
    if (!Sound) return;
    int64_t position = int64_t(time) - GetStartTime() + StartOffset;
    // Play starts the file after the music's lead-in.
    if (FadeMusic) position -= MusicTiming().FadeTime;
    Sound->SetPosition(Saturate(std::max<int64_t>(position, StartOffset)));
}

// ---- stored form ----

void TSoundSlideShowObject::AssignObject(const TSlideShowObject& source) {
    TPlayableSlideShowObject::AssignObject(source);
    auto* s = dynamic_cast<const TSoundSlideShowObject*>(&source);
    if (!s || s == this) return;
    FileName = s->FileName;
    SoundLength = s->SoundLength;
    DurationFromSound = s->DurationFromSound;
    FadeMusic = s->FadeMusic;
    Volume = s->Volume;
    EndMode = s->EndMode;
    FadeOutTime = s->FadeOutTime;
    StartOffset = s->StartOffset;
    VolumeCurve.reset();
    if (s->VolumeCurve)
        VolumeCurve.reset(static_cast<TTimeToIntegerValue*>(s->VolumeCurve->Clone().release()));
}

bool TSoundSlideShowObject::WriteData(TOKFStreamWinTypes& stream) {
    if (!TPlayableSlideShowObject::WriteData(stream)) return false;
    try {
        stream.WriteString(FileName);
        stream.WriteInteger(SoundLength);
        stream.WriteBoolean(DurationFromSound);
        stream.WriteBoolean(FadeMusic);
        stream.WriteInteger(Volume);
        stream.WriteByte(EndMode);
        stream.WriteInteger(FadeOutTime);
        stream.WriteInteger(StartOffset);
        stream.BeginWriteBlock();
        const bool ok = !VolumeCurve || VolumeCurve->WriteData(stream);
        stream.EndWriteBlock();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSoundSlideShowObject::ReadData(TOKFStreamWinTypes& stream) {
    if (!TPlayableSlideShowObject::ReadData(stream)) return false;
    TReadBlockGuard guard(stream);
    try {
        const uint32_t version = stream.Header.ContentVersion;
        FileName = stream.ReadStringValue();
        // Damaged values are taken into their ranges.
        SoundLength = std::max(-1, stream.ReadIntegerValue());
        DurationFromSound = stream.ReadBooleanValue();
        FadeMusic = stream.ReadBooleanValue();
        Volume = std::clamp(stream.ReadIntegerValue(), 0, 255);
        EndMode = stream.ReadByteValue();
        if (EndMode > 2) EndMode = 1;
        FadeOutTime = version > 0x301 ? std::max(0, stream.ReadIntegerValue()) : 1000;
        StartOffset = 0;
        FreeVolumeCurve();
        if (version <= 0x303) return true;
        StartOffset = std::max(0, stream.ReadIntegerValue());
        const uint32_t size = stream.BeginReadBlock();
        bool ok = true;
        if (size > 0) {
            CreateVolumeCurve();
            ok = VolumeCurve->ReadData(stream);
        }
        stream.EndReadBlock();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

// ---- sound and fades ----

void TSoundSlideShowObject::FreeFadeEvent() {
    if (!FadeEvent) return;
    if (FadeEvent->Player) FadeEvent->Player->RemoveHighPriorityEvent(FadeEvent.get());
    FadeEvent.reset();
}

void TSoundSlideShowObject::FreeMusicFadeEvent() {
    if (!MusicFadeEvent) return;
    if (MusicFadeEvent->Player) MusicFadeEvent->Player->RemoveHighPriorityEvent(MusicFadeEvent.get());
    MusicFadeEvent.reset();
}

void TSoundSlideShowObject::CloseSound() {
    if (!Sound) return;
    if (ISoundSystem* system = CurrentSoundSystem()) system->ObjectSounds().Remove(Sound.get());
    Sound.reset();
}

bool TSoundSlideShowObject::OpenSound() {
    FreeMusicFadeEvent();
    FreeFadeEvent();
    CloseSound();
    SavedMusicVolume = -1;
    Started = false;
    FadeOutStarted = false;
    ISoundSystem* system = CurrentSoundSystem();
    if (!system) return false;
    try {
        Sound = system->CreateSound(255);
        if (!Sound) return false;
        system->ObjectSounds().Add(Sound.get());
        if (!Sound->Open(GetResolvedFileName())) {
            // A file that does not open leaves the item silent.
            CloseSound();
            return false;
        }
        Sound->SetVolume(Volume);
        envelope_.Curve = VolumeCurve.get();
        Sound->SetEnvelopeCurve(VolumeCurve ? &envelope_ : nullptr);
        Sound->SetEnvelopeStart(Saturate(int64_t(GetStartTime()) - StartOffset));
        return true;
    } catch (const std::exception&) {
        CloseSound();
        return false;
    }
}

void TSoundSlideShowObject::Fade(IPlayerServices* player, uint8_t volume, int32_t fadeTime) {
    FreeFadeEvent();
    if (!player) return;
    FadeEvent = std::make_shared<THighPriorityFadeSoundEvent>(player, this);
    FadeEvent->FadeTime = fadeTime;
    FadeEvent->EndVolume = volume;
    FadeEvent->EndMusicVolume = volume;
    FadeEvent->Kind = THighPriorityFadeSoundEvent::fkSound;
    player->AddHighPriorityEvent(FadeEvent);
}

std::shared_ptr<THighPriorityFadeSoundEvent> TSoundSlideShowObject::QueueMusicFade(IPlayerServices* player,
                                                                                 int32_t fadeTime,
                                                                                 uint8_t objectVolume,
                                                                                 uint8_t musicVolume) {
    auto fade = std::make_shared<THighPriorityFadeSoundEvent>(player, this);
    fade->FadeTime = fadeTime;
    fade->EndVolume = objectVolume;
    fade->EndMusicVolume = musicVolume;
    fade->Kind = loweredObjects_ ? THighPriorityFadeSoundEvent::fkAll : THighPriorityFadeSoundEvent::fkMusic;
    player->AddHighPriorityEvent(fade);
    return fade;
}

void TSoundSlideShowObject::RestoreListLevels() {
    const bool lowered = SavedMusicVolume >= 0 || (SavedMusicVolume == -2 && MusicFadeEvent && !MusicFadeEvent->Complete);
    ISoundSystem* system = CurrentSoundSystem();
    if (lowered && system && loweredMusicVolume_ >= 0) {
        system->MusicSounds().SetVolume(loweredMusicVolume_);
        if (loweredObjects_ && savedObjectVolume_ >= 0) system->ObjectSounds().SetVolume(savedObjectVolume_);
    }
    loweredMusicVolume_ = -1;
    savedObjectVolume_ = -1;
}

void TSoundSlideShowObject::Reset() {
    TPlayableSlideShowObject::Reset();
    Started = false;
    FadeOutStarted = false;
    // Leaving the item before its music came back up must not leave the music lowered.
    RestoreListLevels();
    SavedMusicVolume = -1;
    FreeFadeEvent();
    FreeMusicFadeEvent();
    CloseSound();
}

// ---- preparation ----

void TSoundSlideShowObject::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    TPlayableSlideShowObject::BuildInitializationSteps(player, step);
    if (!initializationList_) return;
    if (!PreparationStep::Requests(step, PreparationStep::OpenSound, initializationList_->CurrentStep)) return;
    int32_t estimate = BenchmarkDefaults::OpenSound;
    if (player)
        estimate = player->GetBenchmark().EstimateTime(BenchmarkNames::OpenSound,
                                                        TFileSizeBenchmarkValue::CreateValue(GetResolvedFileName()),
                                                        BenchmarkDefaults::OpenSound);
    initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(
        PreparationStep::OpenSound, estimate, PreparationStep::OpenSound));
}

bool TSoundSlideShowObject::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    if (step != PreparationStep::OpenSound || Sound) return true;
    TStopWatch watch;
    // A file that does not open still lets the item play, silently; only an open is
    // worth measuring.
    if (OpenSound() && player) {
        std::unique_ptr<TFileSizeBenchmarkValue> value = TFileSizeBenchmarkValue::CreateValue(GetResolvedFileName());
        value->SetTime(watch.Stop());
        player->GetBenchmark().Add(BenchmarkNames::OpenSound, std::move(value));
    }
    return true;
}

// ---- playing ----

int32_t TSoundSlideShowObject::Play(IPlayerServices* player, bool final) {
    TPlayableSlideShowObject::Play(player, final);
    if (!player) return -1;
    // A silent item (its file did not open) has nothing to do before its end.
    if (!Sound) return Saturate(std::max<int64_t>(0, int64_t(GetStartTime()) + GetDuration() - player->GetPlayTime()));
    const int32_t e = Saturate(int64_t(player->GetPlayTime()) - GetStartTime());
    return FadeMusic ? PlayWithMusicFade(player, e) : PlayAlone(player, e);
}

int32_t TSoundSlideShowObject::PlayAlone(IPlayerServices* player, int32_t e) {
    const int32_t end = Saturate(int64_t(GetDuration()) - (FadesOut() ? FadeOutTime : 0));
    if (!Sound->IsPlaying() && e < end && !Started) {
        const int32_t position = Saturate(int64_t(e) + StartOffset);
        if (position != 0) Sound->SetPosition(position);
        Sound->Play();
        Sound->SetVolume(Volume);
        Started = true;
        return end - e;
    }
    if (e >= end) {
        if (FadesOut()) {
            if (FadeOutStarted) return -1;
            Fade(player, 0, FadeOutTime);
            FadeOutStarted = true;
            return FadeOutTime;
        }
        Sound->Stop();
        State = psEnded;
        return -1;
    }
    return end - e;
}

int32_t TSoundSlideShowObject::PlayWithMusicFade(IPlayerServices* player, int32_t e) {
    const TMusicTiming timing = MusicTiming();
    const int32_t f = timing.FadeTime;
    const int32_t duration = GetDuration();
    ISoundSystem* system = CurrentSoundSystem();
    if (e < f && SavedMusicVolume == -1) {
        // Music down: both levels are kept, so each list comes back to its own.
        loweredObjects_ = timing.LowerObjectSounds;
        SavedMusicVolume = system ? system->MusicSounds().GetVolume() : 255;
        loweredMusicVolume_ = SavedMusicVolume;
        savedObjectVolume_ = system ? system->ObjectSounds().GetVolume() : 255;
        FreeMusicFadeEvent();
        MusicFadeEvent = QueueMusicFade(player, f - e, ClampVolume(timing.Volume), ClampVolume(timing.Volume));
        return f - e;
    }
    if (e >= duration - f && SavedMusicVolume >= 0) {
        // Music up.
        FreeMusicFadeEvent();
        Sound->Stop();
        const int32_t fadeTime = duration - e;
        MusicFadeEvent = QueueMusicFade(player, fadeTime, ClampVolume(savedObjectVolume_), ClampVolume(SavedMusicVolume));
        SavedMusicVolume = -2;
        return std::max(fadeTime, 0);
    }
    if (e >= f && SavedMusicVolume != -2) {
        const int32_t end = Saturate(int64_t(duration) - f - (FadesOut() ? FadeOutTime : 0));
        if (e < end) {
            if (!Sound->IsPlaying() && !Started) {
                if (MusicFadeEvent && MusicFadeEvent->Complete) FreeMusicFadeEvent();
                Started = true;
                // The lowered object list must not lower the item's own sound.
                if (timing.LowerObjectSounds) Sound->SetMasterVolume(255);
                const int32_t position = Saturate(int64_t(e) - f + StartOffset);
                if (position != 0) Sound->SetPosition(position);
                Sound->Play();
                Sound->SetVolume(Volume);
            }
            return end - e;
        }
        if (FadesOut() && e < end + int64_t(FadeOutTime)) {
            if (FadeEvent) return -1;
            Fade(player, 0, FadeOutTime);
            FadeOutStarted = true;
            return FadeOutTime;
        }
        if (Sound->IsPlaying()) Sound->Stop();
        return -1;
    }
    if (e >= duration) State = psEnded;
    return -1;
}

// ---- the fade action ----

AnsiString TFadeSoundProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTSoundFadeEventPropertyEditorFrame";
}

bool TFadeSoundProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteInteger(Volume);
    c.WriteInteger(FadeTime);
    c.WriteByte(Kind);
    return true;
}

bool TFadeSoundProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    Volume = c.Header.ContentVersion < 772 ? c.ReadByteValue() : ClampVolume(c.ReadIntegerValue());
    FadeTime = c.ReadIntegerValue();
    Kind = std::min<uint8_t>(c.ReadByteValue(), 3);
    return true;
}

TFadeSoundAction::TFadeSoundAction() { properties_ = NewProperties(GetPropertiesClass()); }

std::vector<const ClassInfo*> TFadeSoundAction::GetEventClasses() const {
    std::vector<const ClassInfo*> classes = TSlideShowObjectEventAction::GetEventClasses();
    classes.push_back(&TSlideShowObjectEvent::StaticClassInfo());
    return classes;
}

void TFadeSoundAction::Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent*) {
    const TFadeSoundProperties* p = Settings();
    if (!p || !player) return;
    switch (p->Kind) {
        case 0:
            if (auto* sound = dynamic_cast<ISound*>(item)) sound->Fade(player, p->Volume, p->FadeTime);
            break;
        case 1: player->FadeSoundVolume(p->Volume, p->FadeTime); break;
        case 2: player->FadeMusicVolume(p->Volume, p->FadeTime); break;
        default: player->FadeAllVolume(p->Volume, p->FadeTime); break;
    }
}

void InitializeSoundSlideShowObjects(TPlugins& plugins) {
    plugins.Register<TSoundSlideShowObject>();
    plugins.Register<TFadeSoundProperties>();
    plugins.Register<TFadeSoundAction>();
}

void FinalizeSoundSlideShowObjects(TPlugins& plugins) {
    plugins.Unregister<TFadeSoundAction>();
    plugins.Unregister<TFadeSoundProperties>();
    plugins.Unregister<TSoundSlideShowObject>();
}
