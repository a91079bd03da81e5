// The sound services as the show items and the player see them: sounds, the two sound
// lists (object sounds on the show clock, background music on the music clock) and the
// sound system in use. The media layer implements them; the document and the
// player build and test without it.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>

// A volume curve over time (0..255), as the key-frame curves of the document give it.
class IVolumeCurve {
public:
    virtual ~IVolumeCurve() = default;
    virtual int GetVolumeKeyCount() const = 0;
    // The volume at a time in ms on the curve's own time line.
    virtual int GetVolumeAt(int time) const = 0;
    // From a time on the curve's own time line: ms until its volume may change next, 0
    // while it moves, -1 when it holds from there on.
    virtual int TimeToNextChange(int time) const {
        (void)time;
        return GetVolumeKeyCount() > 0 ? 0 : -1;
    }
};

class ISlideShowSoundList;

// One stream or song of the sound library, with its own volume, the volume its list
// gives it and the value of its volume curve. Without a loaded library every operation
// does nothing and every query answers its default.
class ISlideShowSound {
public:
    virtual ~ISlideShowSound() = default;

    virtual bool Open(const AnsiString& fileName) = 0;
    virtual void Close() = 0;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsPlaying() const = 0;
    virtual bool IsPaused() const = 0;

    // Position and length in ms; songs cannot be positioned and report length -1.
    virtual int GetPosition() const = 0;
    virtual void SetPosition(int ms) = 0;
    virtual int GetLength() const = 0;
    // The capability set, bit n for member n: 0 once opened, 1 and 2 for a stream, 3 and 4
    // for an open file that is no MIDI file.
    virtual uint8_t GetCapabilities() const = 0;

    // Own volume 0..255; reads 0 unless a song is open or a stream plays on a channel.
    virtual int GetVolume() const = 0;
    virtual void SetVolume(int volume) = 0;
    virtual void SetEnvelopeVolume(int volume) = 0;
    virtual int GetMasterVolume() const = 0;
    virtual void SetMasterVolume(int volume) = 0;

    // The volume curve (owned by the sound's user, may be null) and the show or music
    // time at which it starts (-1: the curve's time is the clock time itself).
    virtual void SetEnvelopeCurve(const IVolumeCurve* curve) = 0;
    virtual const IVolumeCurve* GetEnvelopeCurve() const = 0;
    virtual void SetEnvelopeStart(int time) = 0;
    virtual int GetEnvelopeStart() const = 0;
    virtual void UpdateEnvelope(int time) = 0;

    virtual ISlideShowSoundList* GetOwningList() const = 0;
};

// A list of sounds with a list volume, a volume factor and muting.
class ISlideShowSoundList {
public:
    virtual ~ISlideShowSoundList() = default;

    // Appends; the sound takes the list's volume and knows its list. -1 for null.
    virtual int Add(ISlideShowSound* sound) = 0;
    // True when the sound was in the list.
    virtual bool Remove(ISlideShowSound* sound) = 0;
    virtual int Count() const = 0;
    virtual ISlideShowSound* GetSound(int index) const = 0;

    virtual int GetVolume() const = 0;
    virtual void SetVolume(int volume) = 0;
    virtual int GetVolumeFactor() const = 0;
    virtual void SetVolumeFactor(int factor) = 0;
    virtual bool GetMuted() const = 0;
    virtual void SetMuted(bool muted) = 0;

    virtual void StopAll() = 0;
    virtual void SetPaused(bool paused) = 0;
    virtual void UpdateAll(int time) = 0;
    // Empties the list, closing every sound first when asked.
    virtual void ClearSounds(bool closeFirst) = 0;
};

// The process-wide sound system.
class ISoundSystem {
public:
    virtual ~ISoundSystem() = default;

    // A new, closed sound on the system's library with the given own volume.
    virtual std::unique_ptr<ISlideShowSound> CreateSound(int volume) = 0;
    virtual ISlideShowSoundList& ObjectSounds() = 0;
    virtual ISlideShowSoundList& MusicSounds() = 0;
    virtual bool IsActive() const = 0;
    virtual void StopAll() = 0;
    virtual void PauseAll() = 0;
    virtual void ResumeAll() = 0;
};

// The sound system in use, or null: the media layer installs the one it starts while
// it runs, and tests install a fake (TInstalled<SetSoundSystem>), so that no item or
// player needs to know which it talks to.
ISoundSystem* CurrentSoundSystem();
// Installs system (not owned) until it is called again with null.
void SetSoundSystem(ISoundSystem* system);
