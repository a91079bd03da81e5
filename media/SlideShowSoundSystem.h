// The process-wide sound system: starts the sound library with an output chosen by a
// fixed order of fallbacks, keeps the object sounds and the background music in two
// lists, and computes waveform peaks on a private non-real-time system.
#pragma once

#include "document/SoundServices.h"
#include "foundation/ClassRegistry.h"
#include "foundation/Properties.h"
#include "media/FMODBinding.h"
#include "platform/Stream.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <vector>

class TOKFStream;
class TSlideShowSoundList;

namespace SlideShowSoundSystem {

// The technical start parameters of the sound system; not shown to the user, not stored.
class TSoundSystemProperties : public TProperties {
    GC_DECLARE_CLASS(TSoundSystemProperties)
public:
    int32_t ChannelCount = 32;
    int32_t MixRate = 44100;
    bool StartFlags = true;  // start flags 2 when set
    bool NoSound = false;
};

}  // namespace SlideShowSoundSystem

// Capability members of a sound.
enum : uint8_t {
    kSoundCapOpened = 1 << 0,
    kSoundCapStream1 = 1 << 1,
    kSoundCapStream2 = 1 << 2,
    kSoundCapNotMidi3 = 1 << 3,
    kSoundCapNotMidi4 = 1 << 4,
};

// One stream or song of the library with a three-factor volume: own volume, the volume
// of its list and the value of its volume curve.
class TSlideShowSound : public TObject, public ISlideShowSound {
    GC_DECLARE_CLASS(TSlideShowSound)
public:
    TSlideShowSound(TFMOD* binding, int volume);
    // Stops and closes; leaves its owning list.
    ~TSlideShowSound() override;
    TSlideShowSound(const TSlideShowSound&) = delete;
    TSlideShowSound& operator=(const TSlideShowSound&) = delete;

    virtual void ApplyVolume();
    virtual void UpdateCapabilities(const AnsiString& fileName);

    bool Open(const AnsiString& fileName) override;
    void Close() override;
    void Play() override;
    void Stop() override;
    void Pause() override;
    void Resume() override;
    bool IsOpen() const override;
    bool IsPlaying() const override;
    bool IsPaused() const override;
    int GetPosition() const override;
    void SetPosition(int ms) override;
    int GetLength() const override;
    uint8_t GetCapabilities() const override { return Capabilities; }
    int GetVolume() const override;
    void SetVolume(int volume) override;
    void SetEnvelopeVolume(int volume) override;
    int GetMasterVolume() const override { return MasterVolume; }
    void SetMasterVolume(int volume) override;
    void SetEnvelopeCurve(const IVolumeCurve* curve) override { EnvelopeCurve = curve; }
    const IVolumeCurve* GetEnvelopeCurve() const override { return EnvelopeCurve; }
    void SetEnvelopeStart(int time) override { EnvelopeStart = time; }
    int GetEnvelopeStart() const override { return EnvelopeStart; }
    void UpdateEnvelope(int time) override;
    ISlideShowSoundList* GetOwningList() const override;

    int32_t Channel = -1;
    FMusicModule Song = nullptr;
    FSoundStream Stream = nullptr;
    uint8_t Capabilities = 0;
    int32_t Volume;
    int32_t EnvelopeVolume = 255;
    int32_t MasterVolume = 255;
    int32_t EnvelopeStart = -1;
    const IVolumeCurve* EnvelopeCurve = nullptr;
    TSlideShowSoundList* OwningList = nullptr;
    TFMOD* Binding;

private:
    // The library is loaded and offers the entry point.
    template <class F>
    bool Has(F fn) const {
        return Binding && Binding->IsLoaded() && fn != nullptr;
    }
};

// The sounds of the silent backend, which a sound system chooses once when sound is off
// or its library is missing: every operation does nothing and every query answers its
// default, so no sound needs a check of its own.
class TSilentSlideShowSound final : public TSlideShowSound {
public:
    explicit TSilentSlideShowSound(int volume) : TSlideShowSound(nullptr, volume) {}

    void ApplyVolume() override {}
    bool Open(const AnsiString&) override { return false; }
    void Close() override {}
    void Play() override {}
    void Stop() override {}
    void Pause() override {}
    void Resume() override {}
    bool IsPlaying() const override { return false; }
    bool IsPaused() const override { return false; }
    int GetPosition() const override { return 0; }
    void SetPosition(int) override {}
    int GetLength() const override { return -1; }
    int GetVolume() const override { return 0; }
    void SetVolume(int) override {}
    void SetEnvelopeVolume(int) override {}
    void SetMasterVolume(int) override {}
    void UpdateEnvelope(int) override {}
};

// A list of sounds with list volume, volume factor and muting.
class TSlideShowSoundList : public TObject, public ISlideShowSoundList {
    GC_DECLARE_CLASS(TSlideShowSoundList)
public:
    TSlideShowSoundList() : TSlideShowSoundList(true) {}
    explicit TSlideShowSoundList(bool ownsObjects);
    ~TSlideShowSoundList() override;
    TSlideShowSoundList(const TSlideShowSoundList&) = delete;
    TSlideShowSoundList& operator=(const TSlideShowSoundList&) = delete;

    int Add(ISlideShowSound* sound) override;
    int AddSound(TSlideShowSound* sound);
    void Insert(int index, TSlideShowSound* sound);
    bool Remove(ISlideShowSound* sound) override;
    int Count() const override { return static_cast<int>(Items.size()); }
    ISlideShowSound* GetSound(int index) const override;
    TSlideShowSound* Item(int index) const;
    TSlideShowSound* First() const;
    TSlideShowSound* Last() const;

    int GetVolume() const override { return ListVolume; }
    void SetVolume(int volume) override;
    int GetVolumeFactor() const override { return VolumeFactor; }
    void SetVolumeFactor(int factor) override;
    bool GetMuted() const override { return Muted; }
    void SetMuted(bool muted) override;
    void ApplyListVolume();

    void StopAll() override;
    void SetPaused(bool paused) override;
    void UpdateAll(int time) override;
    void ClearSounds(bool closeFirst) override;

    bool OwnsObjects;
    int32_t ListVolume = 255;
    int32_t VolumeFactor = 255;
    bool Muted = false;
    std::vector<TSlideShowSound*> Items;
};

class TSoundSystem : public TObject, public ISoundSystem {
    GC_DECLARE_CLASS(TSoundSystem)
public:
    TSoundSystem();
    ~TSoundSystem() override;
    TSoundSystem(const TSoundSystem&) = delete;
    TSoundSystem& operator=(const TSoundSystem&) = delete;

    // The started state; a failed start leaves the system in place, not started.
    bool Init(bool nonRealtime, const AnsiString& fmodPath);
    bool SelectOutput(bool nonRealtime);
    void CloseOutput();
    bool IsActive() const override;

    std::unique_ptr<ISlideShowSound> CreateSound(int volume) override;
    ISlideShowSoundList& ObjectSounds() override { return *ObjectList; }
    ISlideShowSoundList& MusicSounds() override { return *MusicList; }
    void StopAll() override;
    void PauseAll() override;
    void ResumeAll() override;

    std::unique_ptr<TFMOD> Binding;
    TPluginPtr<SlideShowSoundSystem::TSoundSystemProperties> Settings;
    std::unique_ptr<TSlideShowSoundList> ObjectList;
    std::unique_ptr<TSlideShowSoundList> MusicList;
    int32_t Latency = -1;
    bool Started = false;
    // Chosen once at the start: the sounds play nothing (sound off, or no library).
    bool Silent = false;
    // Mixed on demand (rendering) rather than played to a device as time passes.
    bool NonRealtime = false;
    // The output candidates tried by the last SelectOutput, in order (for diagnostics).
    std::vector<int> TriedOutputs;
};

// How InitSoundSystem starts the process-wide system.
struct TSoundSystemStart {
    bool Silent = false;       // the sounds play nothing (the preview)
    bool NonRealtime = false;  // mixed on demand rather than played to a device
    bool ForceNew = false;     // replaces a running system instead of sharing it
    AnsiString FmodPath = {};  // the sound library; empty: the one beside the program
    int MixRate = 0;           // Hz; 0: the settings' rate
};

// Process-wide functions.
void InitSoundSystem(const TSoundSystemStart& start);
void ShutdownSoundSystem(bool force);
TSoundSystem* SoundSystem();
int SoundSystemRefCount();
// One reference to the process-wide sound system for as long as the hold lives: taken
// with InitSoundSystem, given back with ShutdownSoundSystem(false) however its owner's
// run ends.
class TSoundSystemHold {
public:
    explicit TSoundSystemHold(const TSoundSystemStart& start);
    ~TSoundSystemHold();
    TSoundSystemHold(const TSoundSystemHold&) = delete;
    TSoundSystemHold& operator=(const TSoundSystemHold&) = delete;
};
bool SoundSystemNoSound();
// A sound of system's backend; a silent one without a system.
std::unique_ptr<TSlideShowSound> NewSlideShowSound(TSoundSystem* system, int volume);
// The folder of the executable with a trailing backslash; tests may point it elsewhere.
AnsiString SoundProgramFolder();
void SetSoundProgramFolder(const AnsiString& folder);

// MIDI files by extension (".MID", ".RMI" in any case).
bool IsMidiFileName(const AnsiString& fileName);

// Waveform peaks of a sound file, one signed byte per point.
class TSoundWaveData : public TObject {
    GC_DECLARE_CLASS(TSoundWaveData)
public:
    TSoundWaveData() = default;
    virtual void Clear();
    virtual void SetSize(int points);
    // Runs a private non-real-time sound system over the file; false for MIDI files,
    // files that do not open and an unknown length.
    virtual bool Compute(const AnsiString& fileName, int lengthMs);
    virtual void WriteData(TOKFStream& stream);
    virtual void ReadData(TOKFStream& stream);
    virtual std::unique_ptr<TSoundWaveData> Clone() const;
    virtual void Assign(const TSoundWaveData& source);

    TMemoryStream Data;
    int32_t Points = 0;
    int32_t LengthMs = 0;
};

namespace SlideShowSoundSystem {
void Initialize();
void Finalize();
}  // namespace SlideShowSoundSystem
