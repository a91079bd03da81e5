// The one sound system the tests use in place of the media layer's: sounds that remember
// what was done to them, in lists that keep their level and record every change. Install
// it with TInstalled<SetSoundSystem>, or hand it to a player directly.
#pragma once

#include "document/SoundServices.h"

#include <algorithm>
#include <memory>
#include <vector>

// A sound that remembers what was done to it. Opens says whether Open succeeds.
class TFakeSound : public ISlideShowSound {
public:
    explicit TFakeSound(bool opens) : Opens(opens) {}
    bool Open(const AnsiString& fileName) override {
        OpenedName = fileName;
        open_ = Opens;
        return open_;
    }
    void Close() override { open_ = false; }
    void Play() override {
        playing_ = true;
        PlayedFrom.push_back(Position);
    }
    void Stop() override { playing_ = false; }
    void Pause() override {}
    void Resume() override {}
    bool IsOpen() const override { return open_; }
    bool IsPlaying() const override { return playing_; }
    bool IsPaused() const override { return false; }
    int GetPosition() const override { return Position; }
    void SetPosition(int ms) override { Position = ms; }
    int GetLength() const override { return Length; }
    uint8_t GetCapabilities() const override { return 1; }
    int GetVolume() const override { return playing_ ? Volume : 0; }
    void SetVolume(int volume) override { Volume = volume; }
    void SetEnvelopeVolume(int volume) override { EnvelopeVolume = volume; }
    int GetMasterVolume() const override { return Master; }
    void SetMasterVolume(int volume) override { Master = volume; }
    void SetEnvelopeCurve(const IVolumeCurve* curve) override { Curve = curve; }
    const IVolumeCurve* GetEnvelopeCurve() const override { return Curve; }
    void SetEnvelopeStart(int time) override { EnvelopeStart = time; }
    int GetEnvelopeStart() const override { return EnvelopeStart; }
    // The curve's value at the time, as the sound library's sounds take it.
    void UpdateEnvelope(int time) override {
        if (!Curve || Curve->GetVolumeKeyCount() < 1) return;
        EnvelopeVolume = Curve->GetVolumeAt(EnvelopeStart == -1 ? time : time - EnvelopeStart);
    }
    ISlideShowSoundList* GetOwningList() const override { return nullptr; }
    // What is heard of it: its own volume under its curve and its list's level, 0 while
    // it does not play.
    int HeardVolume() const {
        if (!playing_) return 0;
        return int((long long)Volume * EnvelopeVolume * Master / (255 * 255));
    }

    bool Opens;
    AnsiString OpenedName;
    int Length = 10000;  // -1 for a song, which has no length
    int Position = 0;
    int Volume = 255;
    int Master = 255;
    int EnvelopeVolume = 255;
    int EnvelopeStart = -1;
    const IVolumeCurve* Curve = nullptr;
    std::vector<int> PlayedFrom;

private:
    bool open_ = false;
    bool playing_ = false;
};

// A list that holds its sounds (not owned) and records the volumes it was given, the
// times it was updated to and how often it was stopped and cleared.
class TFakeSoundList : public ISlideShowSoundList {
public:
    int Add(ISlideShowSound* s) override {
        if (!s) return -1;
        Sounds.push_back(s);
        return int(Sounds.size()) - 1;
    }
    bool Remove(ISlideShowSound* s) override {
        auto it = std::find(Sounds.begin(), Sounds.end(), s);
        if (it == Sounds.end()) return false;
        Sounds.erase(it);
        return true;
    }
    int Count() const override { return int(Sounds.size()); }
    ISlideShowSound* GetSound(int i) const override { return Sounds.at(size_t(i)); }
    int GetVolume() const override { return Volume; }
    void SetVolume(int volume) override {
        Volume = volume;
        Volumes.push_back(volume);
    }
    int GetVolumeFactor() const override { return 255; }
    void SetVolumeFactor(int) override {}
    bool GetMuted() const override { return false; }
    void SetMuted(bool) override {}
    void StopAll() override { ++Stops; }
    void SetPaused(bool paused) override { Paused = paused; }
    void UpdateAll(int time) override {
        Updates.push_back(time);
        for (ISlideShowSound* s : Sounds) s->UpdateEnvelope(time);
    }
    void ClearSounds(bool) override {
        Sounds.clear();
        ++Clears;
    }

    int Volume = 255;
    std::vector<int> Volumes;
    bool Paused = false;
    std::vector<int> Updates;
    int Stops = 0;
    int Clears = 0;
    std::vector<ISlideShowSound*> Sounds;
};

// A sound system whose sounds are TFakeSounds that open when FilesOpen is set and
// measure Length; Last is the sound made last.
class TFakeSoundSystem : public ISoundSystem {
public:
    std::unique_ptr<ISlideShowSound> CreateSound(int) override {
        auto s = std::make_unique<TFakeSound>(FilesOpen);
        s->Length = Length;
        Last = s.get();
        return s;
    }
    ISlideShowSoundList& ObjectSounds() override { return Objects; }
    ISlideShowSoundList& MusicSounds() override { return Music; }
    bool IsActive() const override { return true; }
    void StopAll() override {}
    void PauseAll() override {}
    void ResumeAll() override {}

    bool FilesOpen = true;
    int Length = 10000;
    TFakeSound* Last = nullptr;
    TFakeSoundList Objects;
    TFakeSoundList Music;
};
