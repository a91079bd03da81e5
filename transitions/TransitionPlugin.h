// Transitions: plug-ins that reveal a picture on the back buffer over a given time.
// A bitmap item owns at most one; it stores its class and settings, initialises it when
// the item is prepared and lets it draw until it reports that it is finished.
#pragma once

#include "foundation/Plugins.h"
#include "foundation/PropertyDialog.h"
#include "foundation/SlideShowGlobals.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class TBitmap32;
class TOKFStream;

// Class references, not owned.
using TClassList = std::vector<const ClassInfo*>;

class TTransitionPlugin : public TPlugin {
    GC_DECLARE_CLASS(TTransitionPlugin)
public:
    TTransitionPlugin();
    ~TTransitionPlugin() override;

    int32_t Duration = 2000;  // ms
    // False in a fresh instance keeps the class out of every random choice.
    bool Enabled = true;
    // The picture being revealed (the item's working bitmap); never owned.
    TBitmap32* Picture = nullptr;
    TRect Rect{};

    // Copies Duration and Enabled from another transition; subclasses add their own fields.
    void Assign(const TPlugin& source) override;
    static AnsiString GetCopyright();
    static void GetVersionInfo(AnsiString& version, AnsiString& extra);

    virtual void SetEnabled(bool value) { Enabled = value; }
    virtual TRect GetRect() { return Rect; }
    virtual void SetRect(const TRect& rect) { Rect = rect; }
    virtual const ClassInfo* DefaultPropertyFrameClass();
    virtual AnsiString GetPropertyFrameClassName() { return AnsiString(); }
    // A new instance of the same class with the same settings.
    virtual std::unique_ptr<TTransitionPlugin> Clone();
    // Stores the destination rectangle and the picture; True.
    virtual bool Init(const TRect& destRect, TBitmap32* picture);
    virtual void Done() {}
    // The rectangle the next Draw changes (before Draw: the owner saves what lies under it).
    virtual void GetChangedRect(int32_t time, TBitmap32& target, TRect& changed);
    // True when the transition drew (the owner then does not draw itself this frame).
    virtual bool Draw(int32_t time, TBitmap32& target);
    // Draw, onto target as though under had first been copied into it at underPos (the
    // owner's saved background, put back late). Transitions that write every pixel they
    // change from the picture and what lies beneath alone do it in one pass.
    virtual bool DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos);
    // Strictly after Duration.
    virtual bool IsFinished(int32_t time) { return time > Duration; }
    // Picks random settings (the random transition calls it on its choice).
    virtual void Randomize() {}
    virtual std::vector<AnsiString> GetNameList() { return {}; }
    // The frame class named by GetPropertyFrameClassName (the default one for an empty
    // name); null when no frame class of that name is registered.
    const ClassInfo* GetPropertyFrameClass();
    // Enabled as one byte, then Duration as int32; subclasses append their own fields.
    virtual bool WriteData(TOKFStream& stream);
    virtual bool ReadData(TOKFStream& stream);

protected:
    // The progress of the whole transition at time: clamped to [0, 1]; 1 when Duration <= 0.
    long double Progress(int32_t time) const;
};

// Picks a transition at random, leaving out the heart and the like (Enabled False).
class TRandomTransitionPlugin : public TTransitionPlugin {
    GC_DECLARE_CLASS(TRandomTransitionPlugin)
public:
    TRandomTransitionPlugin();
    ~TRandomTransitionPlugin() override;

    static AnsiString Caption();

    // The transition picked by the last Init; owned.
    std::unique_ptr<TTransitionPlugin> Chosen;
    // Classes that must not be picked; set by the owner before Init; not owned.
    const TClassList* ExcludedClasses = nullptr;

    TRect GetRect() override;
    void SetRect(const TRect& rect) override;
    AnsiString GetPropertyFrameClassName() override;
    bool Init(const TRect& destRect, TBitmap32* picture) override;
    void Done() override;
    void GetChangedRect(int32_t time, TBitmap32& target, TRect& changed) override;
    bool Draw(int32_t time, TBitmap32& target) override;
    bool DrawOver(int32_t time, TBitmap32& target, const TBitmap32& under, TPoint underPos) override;
    bool IsFinished(int32_t time) override;
    std::vector<AnsiString> GetNameList() override;
};

// One fresh instance of every registered transition class, in registry order.
class TTransitionPluginList {
public:
    // Without a registry the list starts empty.
    explicit TTransitionPluginList(TPlugins* registry = Plugins);
    ~TTransitionPluginList();
    TTransitionPluginList(const TTransitionPluginList&) = delete;
    TTransitionPluginList& operator=(const TTransitionPluginList&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    TTransitionPlugin* Items(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    void Add(std::unique_ptr<TTransitionPlugin> item) { items_.push_back(std::move(item)); }
    // Frees every entry except keep and hands keep out (null when it is not in the list).
    std::unique_ptr<TTransitionPlugin> FreeAllExcept(TTransitionPlugin* keep);
    // One block: count, then per entry a block with the class name and its data.
    virtual bool WriteData(TOKFStream& stream);
    // Entries whose class is not in the list are skipped.
    virtual bool ReadData(TOKFStream& stream);

private:
    std::vector<std::unique_ptr<TTransitionPlugin>> items_;
};

// A random pick among list's entries that are enabled, not of ownClass and not in
// excluded (may be null); null when none qualifies. Draws from the process-wide generator.
TTransitionPlugin* PickRandomTransition(const TTransitionPluginList& list, const ClassInfo* ownClass,
                                        const TClassList* excluded);

// A transition by stored class name, made through the registry's class; null for a name
// that is unknown or of no transition class.
std::unique_ptr<TTransitionPlugin> CreateTransition(const AnsiString& className);

// An item's transition block: int32 1, the class name and the transition's data; or int32
// 0 without a transition.
bool WriteTransitionBlock(TOKFStream& stream, TTransitionPlugin* transition);
// The mirror image; a class name that no registered transition bears leaves none, and the
// block's end is found by its length whatever was read.
bool ReadTransitionBlock(TOKFStream& stream, std::unique_ptr<TTransitionPlugin>& transition);

// The settings frame of every transition: its layout is data, nothing here shows it.
class TTransitionPropertyFrame : public TPropertyEditorFrame {
    GC_DECLARE_CLASS(TTransitionPropertyFrame)
public:
    using TControl = TPropertyFrameControl;
    static const std::vector<TControl>& Layout();
};
