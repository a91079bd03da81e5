// The background music of a show: play-list items, the play list with its M3U and
// container files, and the show's music settings.
#pragma once

#include "document/BackgroundMusicSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowHost.h"
#include "document/SoundServices.h"
#include "document/SoundSlideShowObject.h"
#include "document/TimeToValue.h"
#include "foundation/ClassRegistry.h"
#include "foundation/OKFStream.h"
#include "foundation/Properties.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TSlideShowSound;

constexpr uint32_t kMusicPlayListFileType = 0x505;      // 1285
constexpr uint32_t kMusicPlayListFileVersion = 0x100;   // 256
constexpr uint32_t kMusicPlayListChunkType = 0x100;
// Streams up to this content version hold the short item record.
constexpr uint32_t kMusicOldRecordVersion = 0x303;
// The item form written by this program, used to read play-list files back.
constexpr uint32_t kMusicCurrentRecordVersion = 0x305;

// The volume curve of a play-list item as the sound's envelope sees it.
using TMusicVolumeEnvelope = TVolumeCurveEnvelope;

class TMusicPlayListItem : public TObject, public IMusicPlayListItem {
    GC_DECLARE_CLASS(TMusicPlayListItem)
public:
    TMusicPlayListItem() = default;
    // Closes the sound and frees the player data and the curve.
    ~TMusicPlayListItem() override;
    TMusicPlayListItem(const TMusicPlayListItem&) = delete;
    TMusicPlayListItem& operator=(const TMusicPlayListItem&) = delete;

    virtual bool SaveToStream(TOKFStream& stream) const;
    // contentVersion 0x303 or lower: the short record (byte volume, no delay, no blocks).
    virtual bool LoadFromStream(TOKFStream& stream, uint32_t contentVersion);
    virtual std::unique_ptr<TMusicPlayListItem> Clone() const;
    virtual void Assign(const TMusicPlayListItem& source);
    // Opens fileName on the process-wide sound system, which replaces the file name; an
    // empty name opens nothing and leaves the item as a missing file does. Measures the
    // length when it is not known yet.
    void Open(const AnsiString& fileName) override;
    virtual void Close();
    virtual int GetLength() const;
    virtual void CreateVolumeCurve();
    virtual void FreeVolumeCurve();

    bool IsLengthKnown() const { return Length != -2; }
    int GetPlayDuration() const;
    bool HasVolumeCurve() const { return VolumeCurve != nullptr; }
    // The curve as a sound's envelope; null without a curve.
    const IVolumeCurve* GetVolumeEnvelope() const { return VolumeCurve ? &envelope_ : nullptr; }

    AnsiString GetFileName() const override { return FileName; }
    ISlideShowSound* GetSound() const override;

    AnsiString FileName;
    int32_t Volume = 255;
    int32_t StartPoint = 0;
    int32_t EndPoint = 0;  // 0 = the end of the file
    int32_t FadeInTime = 0;
    int32_t FadeOutTime = 0;
    int32_t Gap = 1000;
    int32_t Delay = 0;
    int32_t Length = -2;  // -2 not measured yet, -1 cannot be told
    std::unique_ptr<TTimeToIntegerValue> VolumeCurve;
    std::unique_ptr<TObject> PlayerData;
    std::unique_ptr<TSlideShowSound> Sound;

private:
    TMusicVolumeEnvelope envelope_{nullptr};
};

class TMusicPlayList : public TObject {
    GC_DECLARE_CLASS(TMusicPlayList)
public:
    TMusicPlayList() = default;
    ~TMusicPlayList() override;
    TMusicPlayList(const TMusicPlayList&) = delete;
    TMusicPlayList& operator=(const TMusicPlayList&) = delete;

    virtual bool LoadFromM3U(const AnsiString& fileName);
    virtual bool SaveToM3U(const AnsiString& fileName);
    virtual void WriteItems(TOKFStream& stream) const;
    // Appends the stored items; contentVersion selects the item form.
    virtual void ReadItems(TOKFStream& stream, uint32_t contentVersion);
    virtual void SaveToOKF(TOKFStream& stream) const;
    // False, loading nothing, for a container of another file type or a newer version.
    virtual bool LoadFromOKF(TOKFStream& stream);
    virtual bool SaveToFile(const AnsiString& fileName);
    virtual bool LoadFromFile(const AnsiString& fileName);
    virtual void Assign(const TMusicPlayList& source);
    virtual std::unique_ptr<TMusicPlayList> Clone() const;
    virtual void ResetCurrent() { CurrentIndex = -1; }
    virtual void Lock() { lock_.lock(); }
    virtual void Unlock() { lock_.unlock(); }

    int GetTotalDuration() const;
    int Count() const { return static_cast<int>(Items.size()); }
    TMusicPlayListItem* Item(int index) const;
    // Takes the item; returns its index.
    int Add(std::unique_ptr<TMusicPlayListItem> item);
    void Delete(int index);
    void Clear();

    std::vector<std::unique_ptr<TMusicPlayListItem>> Items;
    int32_t CurrentIndex = -1;

private:
    std::recursive_mutex lock_;
};

// The show's background-music settings.
class TMusicProperties : public TPropertiesBlock<TMusicProperties, TProperties>,
                         public IShowMusicProperties,
                         public virtual IFileReferences {
    GC_DECLARE_CLASS(TMusicProperties)
public:
    TMusicProperties();
    ~TMusicProperties() override;

    // What the show asks of its music group: its owner, and the closing fade.
    void SetSlideShow(TSlideShow* show) override;
    int32_t GetEndFadeTime() const override { return EndFadeTime; }
    int32_t GetSoundFadeTime() const override { return SoundFadeTime; }
    int32_t GetVolumeDuringSound() const override { return VolumeDuringSound; }
    bool GetLowerObjectSounds() const override { return LowerObjectSounds; }

    static AnsiString GetEditorFrameClassNames();
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    bool HasMusic() const override;

    int32_t QueryInterface(const TGUID& iid, void** obj) override;

    // File references: the items' file names, stored or resolved through the show. The
    // group names many files, so the single-file slots answer nothing.
    AnsiString GetResolvedFileName() const override { return AnsiString(); }
    void SetFileName(const AnsiString&) override {}
    std::vector<AnsiString> GetResolvedFileNames() const override;
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;
    std::vector<AnsiString> GetFileNames() const override;
    AnsiString GetFileName() const override { return AnsiString(); }
    void AssignFileName(const AnsiString&) override {}
    int32_t GetFileCount() const override { return -1; }

    // The owning show, set by it; resolves the items' file names (an empty result keeps
    // the stored name).
    TSlideShowHost* Show = nullptr;
    std::unique_ptr<TMusicPlayList> PlayList;
    bool MusicOn = true;
    bool PlayListOn = true;
    int32_t EndFadeTime = 2000;
    bool RepeatPlayList = true;
    int32_t MusicVolume = 255;
    bool FollowShowTime = false;
    int32_t SoundFadeTime = 300;
    int32_t VolumeDuringSound = 40;
    bool LowerObjectSounds = false;

private:
    AnsiString Resolved(const AnsiString& name) const;
};

// Relative path from a folder to another, both program paths (backslashes or slashes,
// compared without regard to case); the target itself when they share no root.
AnsiString ExtractRelativePath(const AnsiString& baseFolder, const AnsiString& targetFolder);

namespace MusicPlayListUnit {
void Initialize();
void Finalize();
}  // namespace MusicPlayListUnit
