// The show's own settings groups: the main settings (player kind, default duration,
// picture quality, end of show, transitions, aspect), the logo and the show information.
#pragma once

#include "document/SlideShowInterfaces.h"
#include "foundation/Properties.h"
#include "platform/Stream.h"

#include <cstdint>
#include <memory>
#include <vector>

class TSlideShow;

// Stretch-filter numbers as pictures store them (the bitmap layer's filter order).
enum : uint8_t {
    kStretchNearest = 0,
    kStretchLinear = 1,
    kStretchSpline = 2,
    kStretchLanczos = 3,
    kStretchMitchell = 4,
};

// The player base class lives in the playback layer. It names it here when its modules
// start, so that stored player names can be checked by kind without the document
// depending on the player. Null (the default) means no stored player name is accepted.
void SetSlideShowPlayerBaseClass(const ClassInfo* base);
const ClassInfo* SlideShowPlayerBaseClass();

// The transitions live in a higher layer as well. The drawn item kinds name their base
// class here when they register, with the test that tells which transitions a new show
// excludes (those whose shared instance is switched off). Without it no stored
// transition name is accepted and a new show excludes none.
void SetSlideShowTransitionClasses(const ClassInfo* base, bool (*startsExcluded)(TPlugin& shared));

// A plug-in that adds one settings group to every show: the group's class and the
// name it is listed under.
class IPropertyGroupPlugin : public virtual IInterface {
public:
    virtual const ClassInfo& GetPropertiesClass() = 0;
    virtual AnsiString GetPropertyGroupName() = 0;

protected:
    ~IPropertyGroupPlugin() = default;
};

// The base of such plug-ins, so that a show finds them by class without making an
// instance of every plug-in to ask.
class TPropertyGroupPlugin : public TInterfacedPlugin, public virtual IPropertyGroupPlugin {
    GC_DECLARE_CLASS(TPropertyGroupPlugin)
public:
    int32_t QueryInterface(const TGUID& iid, void** obj) override;
};

class TSlideShowProperties : public TProperties {
    GC_DECLARE_CLASS(TSlideShowProperties)
public:
    TSlideShowProperties();

    const ClassInfo* PlayerClass = nullptr;
    int32_t DefaultDuration = 5000;
    uint8_t StretchQuality = 1;
    uint8_t CustomStretchFilter = kStretchLinear;
    uint8_t EndAction = 0;  // 0 restart, 1 stop, 2 and 3 ask
    bool EndActionOnUserStop = true;
    std::vector<const ClassInfo*> ExcludedTransitions;
    bool DisableTransitions = false;
    uint8_t FitOption = kStretchNearest;
    int32_t AspectY = 3;
    int32_t AspectX = 4;
    bool ReservedFlag = false;  // stored, read by nobody

    // The first registered player plug-in class; null when there is none.
    static const ClassInfo* GetDefaultPlayerClass();
    static AnsiString GetEditorFrameClassNames();

    uint8_t GetStretchFilter() const;
    uint8_t GetPlayStretchFilter() const;
    uint8_t GetFitOption() const { return FitOption; }

    bool WriteProperties(TOKFStreamWinTypes& c) const override;
    bool ReadProperties(TOKFStreamWinTypes& c) override;
};

class TSlideShowLogoProperties : public TProperties, public virtual IFileReferences {
    GC_DECLARE_CLASS(TSlideShowLogoProperties)
public:
    TSlideShow* Owner = nullptr;  // not owned; resolves FileName
    bool ShowLogo = true;
    AnsiString FileName;
    int32_t LogoTime = 5000;
    bool LogoFlag1 = true;
    bool LogoFlag2 = true;

    static AnsiString GetEditorFrameClassNames();

    int32_t QueryInterface(const TGUID& iid, void** obj) override;

    // File references: the logo file, resolved through the owning show.
    // The stored name resolved (as stored without an owner; empty without a name).
    AnsiString GetResolvedFileName() const override;
    void SetFileName(const AnsiString& newName) override { ReplaceFileName(FileName, newName); }
    // The resolved name; empty without a name.
    std::vector<AnsiString> GetResolvedFileNames() const override;
    // Old may be the stored name or, with an owner, the resolved one.
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;
    std::vector<AnsiString> GetFileNames() const override { return {FileName}; }
    // This slot of the group has always answered empty.
    AnsiString GetFileName() const override { return AnsiString(); }
    void AssignFileName(const AnsiString& newName) override { SetFileName(newName); }
    int32_t GetFileCount() const override { return 1; }

    bool WriteProperties(TOKFStreamWinTypes& c) const override;
    bool ReadProperties(TOKFStreamWinTypes& c) override;
};

class TSlideShowInfoProperties : public TProperties {
    GC_DECLARE_CLASS(TSlideShowInfoProperties)
public:
    std::unique_ptr<TMemoryStream> InfoData;  // stored bytes only; null when there are none
    AnsiString Title;
    AnsiString ShowDescription;  // "Description" is the plug-in class function's name
    AnsiString Copyright;
    AnsiString Author;

    static AnsiString GetEditorFrameClassNames();

    bool WriteProperties(TOKFStreamWinTypes& c) const override;
    bool ReadProperties(TOKFStreamWinTypes& c) override;
};

namespace SlideShowProperties {
// Registers the three groups with the class registry, so that shows and copies can
// create them by name; Finalize takes them out again.
void Initialize();
void Finalize();
}  // namespace SlideShowProperties
