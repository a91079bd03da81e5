// The sound item: a sound file played as part of the show, which can lower the
// background music while it plays; the fade event that carries out every sound fade of
// an item, and the event action that fades a sound or the sound lists.
#pragma once

#include "document/PlayableSlideShowObject.h"
#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowObjectEvents.h"
#include "document/SoundServices.h"
#include "document/TimeToValue.h"
#include "foundation/Properties.h"

#include <memory>

// A volume curve of the document as a sound's envelope.
class TVolumeCurveEnvelope : public IVolumeCurve {
public:
    explicit TVolumeCurveEnvelope(const TTimeToIntegerValue* curve = nullptr) : Curve(curve) {}
    int GetVolumeKeyCount() const override { return Curve ? Curve->KeyCount() : 0; }
    int GetVolumeAt(int time) const override { return Curve ? Curve->GetValue(time) : 255; }
    // The curve holds before its first key and after its last.
    int TimeToNextChange(int time) const override;
    const TTimeToIntegerValue* Curve;
};

// Fades the item's own sound, the object sounds, the music or both lists on the show
// clock, one step per frame.
class THighPriorityFadeSoundEvent : public THighPrioritySlideShowObjectEvent {
    GC_DECLARE_CLASS(THighPriorityFadeSoundEvent)
public:
    enum : int32_t { fkSound = 0, fkObjectSounds = 1, fkMusic = 2, fkAll = 3 };

    THighPriorityFadeSoundEvent(IPlayerServices* player, TSlideShowObject* item)
        : THighPrioritySlideShowObjectEvent(player, item) {}
    // One step; True once the fade is complete.
    bool Execute() override;

    int32_t FadeTime = -1;
    uint8_t StartVolume = 0;  // the own sound's or the object sounds' volume at the start
    uint8_t EndVolume = 0;
    int32_t FadeStart = -1;
    int32_t Kind = fkAll;
    // Each list keeps its own start and target: lowered together, they are raised back
    // to their own levels.
    uint8_t StartMusicVolume = 0;
    uint8_t EndMusicVolume = 0;
    bool Complete = false;
};

// How long the show's music fades down and up around a sound that lowers it (300 ms
// without music settings).
int32_t SoundMusicFadeTime(const TSlideShowHost* show);

class TSoundSlideShowObject : public TPlayableSlideShowObject,
                              public virtual IFileReferences,
                              public virtual ISound {
    GC_DECLARE_CLASS(TSoundSlideShowObject)
public:
    static AnsiString Caption() { return "Sound"; }
    static AnsiString Description() { return "Eine beliebige Sound- oder Musikdatei"; }

    TSoundSlideShowObject() = default;
    ~TSoundSlideShowObject() override;

    static constexpr int32_t kDefaultMusicFadeTime = 300;

    // Stores a new name; measures the file's length when it opens.
    void ChangeFileName(const AnsiString& name) override;
    virtual void FreeFadeEvent();
    virtual void FreeMusicFadeEvent();
    // Whether the file opened.
    virtual bool OpenSound();
    virtual void CloseSound();

    // IFileReferences.
    AnsiString GetResolvedFileName() const override;
    void SetFileName(const AnsiString& name) override { ChangeFileName(name); }
    std::vector<AnsiString> GetResolvedFileNames() const override { return {GetResolvedFileName()}; }
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;
    std::vector<AnsiString> GetFileNames() const override { return {FileName}; }
    AnsiString GetFileName() const override { return FileName; }
    void AssignFileName(const AnsiString& name) override { SetFileName(name); }
    int32_t GetFileCount() const override { return 1; }

    // ISound.
    void Fade(IPlayerServices* player, uint8_t volume, int32_t fadeTime) override;
    bool HasFile() const override { return !FileName.empty(); }
    ISlideShowSound* GetSound() const override { return Sound.get(); }
    std::unique_ptr<ISlideShowSound> CreateSound() const override;

    virtual void CreateVolumeCurve();
    virtual void FreeVolumeCurve() { VolumeCurve.reset(); }

    AnsiString GetFileFilter() const override;
    std::vector<AnsiString> GetFileExtensions() const override;
    AnsiString GetDisplayName() const override;
    AnsiString GetInfoText() const override { return "Sound: " + GetResolvedFileName(); }
    int32_t GetDuration() const override;
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    void SeekTo(int32_t time) override;
    int32_t GetLastInitializationStep() const override { return PreparationStep::OpenSound; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    int32_t Play(IPlayerServices* player, bool final) override;
    AnsiString GetEditorFrameClassName() const override { return "TSoundSlideShowObjectPropertyFrame"; }

    // ISlideShowObject, through the item base.
    TSlideShowObject* GetSlideShowObject() override { return this; }
    TSlideShowHost* GetSlideShow() const override { return TSlideShowObject::GetSlideShow(); }

    AnsiString FileName;
    int32_t SoundLength = -1;
    bool DurationFromSound = true;
    bool FadeMusic = true;
    int32_t Volume = 255;
    uint8_t EndMode = 1;  // 0 fade out, 1 stop, 2 at least the sound's length
    bool Started = false;
    int32_t FadeOutTime = 1000;
    std::unique_ptr<TTimeToIntegerValue> VolumeCurve;
    int32_t StartOffset = 0;
    // -1 before the music was lowered, its level while lowered, -2 while raised again.
    int32_t SavedMusicVolume = -1;
    std::unique_ptr<ISlideShowSound> Sound;
    std::shared_ptr<THighPriorityFadeSoundEvent> FadeEvent;
    std::shared_ptr<THighPriorityFadeSoundEvent> MusicFadeEvent;
    bool FadeOutStarted = false;

private:
    struct TMusicTiming {
        int32_t FadeTime = kDefaultMusicFadeTime;
        int32_t Volume = 40;
        bool LowerObjectSounds = false;
    };
    TMusicTiming MusicTiming() const;
    // The duration the item's own setting gives, before the sound and the music fades.
    int32_t OwnDuration() const;
    bool FadesOut() const { return !DurationFromSound && EndMode == 0; }
    int32_t PlayWithMusicFade(IPlayerServices* player, int32_t e);
    int32_t PlayAlone(IPlayerServices* player, int32_t e);
    std::shared_ptr<THighPriorityFadeSoundEvent> QueueMusicFade(IPlayerServices* player, int32_t fadeTime,
                                                                uint8_t objectVolume, uint8_t musicVolume);
    // Puts the lists back to the levels they had before the item lowered them.
    void RestoreListLevels();

    TVolumeCurveEnvelope envelope_;
    // The lists' levels before the item lowered them, and whether the object sounds went
    // down too; valid from the lowering until the lists are back.
    int32_t savedObjectVolume_ = -1;
    int32_t loweredMusicVolume_ = -1;
    bool loweredObjects_ = false;
};

// Settings of the fade action. Kind: the kinds of the fade event.
class TFadeSoundProperties : public TPropertiesBlock<TFadeSoundProperties, TProperties> {
    GC_DECLARE_CLASS(TFadeSoundProperties)
public:
    static AnsiString GetEditorFrameClassNames();
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    // Documents below version 772 store the volume in one byte.
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    uint8_t Volume = 255;
    int32_t FadeTime = 2000;
    uint8_t Kind = 3;
};

class TFadeSoundAction : public TSlideShowObjectEventAction {
    GC_DECLARE_CLASS(TFadeSoundAction)
public:
    static const ClassInfo* GetPropertiesClass() { return &TFadeSoundProperties::StaticClassInfo(); }
    static AnsiString Caption() { return "Sound ein/ausblenden"; }
    static AnsiString Description() {
        return "Blendet den Sound \xFC" "ber eine einstellbare Dauer auf die Angegebene Lautst\xE4rke.";
    }
    static void GetVersionInfo(AnsiString& a, AnsiString& b) {
        a = "1.0";
        b.clear();
    }

    TFadeSoundAction();
    std::vector<const ClassInfo*> GetEventClasses() const override;
    void Execute(IPlayerServices* player, TSlideShowObject* item, TSlideShowObjectEvent* event) override;
    TFadeSoundProperties* Settings() const { return dynamic_cast<TFadeSoundProperties*>(Properties()); }
};

void InitializeSoundSlideShowObjects(TPlugins& plugins);
void FinalizeSoundSlideShowObjects(TPlugins& plugins);
