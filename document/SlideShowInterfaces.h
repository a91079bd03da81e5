// The interface family of show items. Interfaces are abstract classes; asking an item
// for one is a dynamic_cast (Supports below). The GUIDs stay for callers that ask by id.
#pragma once

#include "foundation/ImageLists.h"
#include "foundation/Plugins.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <typeindex>
#include <typeinfo>
#include <unordered_set>
#include <vector>

class TSlideShowObject;
class TSlideShowObjectList;
class TSlideShowHost;
class TSlideShowObjectInitializationList;
class TSlideShowObjectEvent;
class TSlideShowObjectEventList;
class IPlayerServices;
class TSlideShowObjectExif;
class TTimeToIntegerValue;
class TTimeToVector2DValue;
class TBitmap32;
struct TPreviewEditorMouseInfo;
struct TFont;
class ISlideShowSound;

// {82715B8F-3BE1-4E73-A42E-00000000xxxx}: one family, xxxx the interface number.
constexpr TGUID SlideShowInterfaceID(uint16_t number) {
    return TGUID{0x82715B8F, 0x3BE1, 0x4E73,
                 {0xA4, 0x2E, 0, 0, 0, 0, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number & 0xFF)}};
}

inline constexpr TGUID IID_ISlideShowObject = SlideShowInterfaceID(0x0100);
inline constexpr TGUID IID_IPlayable = SlideShowInterfaceID(0x0110);
inline constexpr TGUID IID_IVisibleSlideShowObject = SlideShowInterfaceID(0x0170);
inline constexpr TGUID IID_IMotionPathOwner = SlideShowInterfaceID(0x0171);
inline constexpr TGUID IID_IRotationCurveOwner = SlideShowInterfaceID(0x0172);
inline constexpr TGUID IID_IScaleCurveOwner = SlideShowInterfaceID(0x0173);
inline constexpr TGUID IID_IOpacityCurveOwner = SlideShowInterfaceID(0x0174);
inline constexpr TGUID IID_ICollection = SlideShowInterfaceID(0x0180);
inline constexpr TGUID IID_IParallelCollection = SlideShowInterfaceID(0x0181);
inline constexpr TGUID IID_IContainerCollection = SlideShowInterfaceID(0x0182);
inline constexpr TGUID IID_IMerge = SlideShowInterfaceID(0x0183);
inline constexpr TGUID IID_IComposite = SlideShowInterfaceID(0x0184);
inline constexpr TGUID IID_IPreviewEditable = SlideShowInterfaceID(0x01A1);
inline constexpr TGUID IID_IPropertyFrameProvider = SlideShowInterfaceID(0x01A2);
inline constexpr TGUID IID_IPreviewEditablePath = SlideShowInterfaceID(0x01A3);
inline constexpr TGUID IID_ISound = SlideShowInterfaceID(0x01B0);
inline constexpr TGUID IID_IPropertyGroupPlugin = SlideShowInterfaceID(0x01F0);
inline constexpr TGUID IID_IText = SlideShowInterfaceID(0x0210);
inline constexpr TGUID IID_IKeywords = SlideShowInterfaceID(0x0211);
inline constexpr TGUID IID_IExifProvider = SlideShowInterfaceID(0x0212);
inline constexpr TGUID IID_IFileReferences = SlideShowInterfaceID(0x0213);
inline constexpr TGUID IID_ITextEffectHost = SlideShowInterfaceID(0x0214);
inline constexpr TGUID IID_IFileReferencesEx = SlideShowInterfaceID(0x0215);

class ISlideShowObject : public virtual IInterface {
public:
    virtual TSlideShowObject* GetSlideShowObject() = 0;
    virtual TSlideShowHost* GetSlideShow() const = 0;
    virtual AnsiString GetDisplayName() const = 0;
    virtual AnsiString GetInfoText() const = 0;
    virtual std::unique_ptr<TIconBitmap> GetIconBitmap() const = 0;
    virtual std::unique_ptr<TIconBitmap> GetBigIconBitmap() const = 0;

protected:
    ~ISlideShowObject() = default;
};

// Everything that takes part in playback; the player drives items through it.
class IPlayable : public virtual ISlideShowObject {
public:
    // Milliseconds until the item next needs a call, or -1 for the next frame.
    virtual int32_t Play(IPlayerServices* player, bool final) = 0;
    virtual bool IsFinished() = 0;
    virtual void Finish() = 0;
    virtual uint8_t GetState() = 0;
    virtual bool IsInitialized() = 0;
    virtual int32_t Reserved() = 0;
    virtual TSlideShowObjectInitializationList* GetInitializationList() = 0;
    virtual bool NextInitializationStep() = 0;
    virtual void BeginInitializationStep(IPlayerServices* player, int32_t step) = 0;
    virtual bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) = 0;
    virtual void InitializeAll(IPlayerServices* player) = 0;
    virtual void Reset() = 0;
    virtual void ReleaseResources() = 0;
    virtual void Start() = 0;
    virtual int32_t GetStartTime() const = 0;
    virtual void SetStartTime(int32_t value) = 0;
    virtual int32_t GetTimeOffset() const = 0;
    virtual void SetTimeOffset(int32_t value) = 0;
    virtual void SeekTo(int32_t time) = 0;
    virtual void SetLayer(int32_t value) = 0;
    virtual int32_t GetLayer() const = 0;
    virtual TSlideShowObjectEventList* GetEventList() const = 0;
    virtual TSlideShowObjectEventList* CreateEventList() = 0;
    virtual bool FindEvent(const ClassInfo& eventClass, TSlideShowObjectEvent*& event) = 0;
    virtual std::vector<const ClassInfo*> GetEventClasses() = 0;
    virtual void ExecuteEvent(IPlayerServices* player, TSlideShowObjectEvent* event) = 0;

protected:
    ~IPlayable() = default;
};

// An item that plays a sound file.
class ISound : public virtual ISlideShowObject {
public:
    // The open sound, null while none is open.
    virtual ISlideShowSound* GetSound() const = 0;
    // A new sound on the file at volume 255, or null when it does not open (for previews).
    virtual std::unique_ptr<ISlideShowSound> CreateSound() const = 0;
    // Fades the item's own sound to Volume over FadeTime ms.
    virtual void Fade(IPlayerServices* player, uint8_t volume, int32_t fadeTime) = 0;
    virtual bool HasFile() const = 0;
    virtual AnsiString GetResolvedFileName() const = 0;
    virtual void ChangeFileName(const AnsiString& name) = 0;

protected:
    ~ISound() = default;
};

// An item is a parent exactly when it answers this with a child list.
class ICollection : public virtual ISlideShowObject {
public:
    virtual TSlideShowObjectList* GetChildList() const = 0;
    virtual TSlideShowObjectList* CreateChildList() = 0;

protected:
    ~ICollection() = default;
};

class IText : public virtual ISlideShowObject {
public:
    virtual AnsiString GetText() const = 0;
    virtual void SetText(const AnsiString& value) = 0;

protected:
    ~IText() = default;
};

// An item whose text the text effects animate.
class ITextEffectHost : public virtual ISlideShowObject {
public:
    virtual bool HasText() const = 0;
    virtual TFont& GetFont() = 0;

protected:
    ~ITextEffectHost() = default;
};

class IKeywords : public virtual ISlideShowObject {
public:
    virtual AnsiString GetKeywords() const = 0;
    virtual void SetKeywords(const AnsiString& value) = 0;

protected:
    ~IKeywords() = default;
};

// The editor frame that shows an item's settings, by class and by name.
class IPropertyFrameProvider : public virtual ISlideShowObject {
public:
    virtual const ClassInfo* GetEditorFrameClass() const = 0;
    virtual AnsiString GetEditorFrameClassName() const = 0;

protected:
    ~IPropertyFrameProvider() = default;
};

class IParallelCollection : public virtual ICollection {
public:
    virtual AnsiString GetTitle() const = 0;
    virtual void SetTitle(const AnsiString& value) = 0;

protected:
    ~IParallelCollection() = default;
};

// An item that plays further items beside it (a picture with its sound); the player
// queues them with it.
class IComposite : public virtual ISlideShowObject {
public:
    // Null when there are none.
    virtual TSlideShowObjectList* GetSoundObjects() = 0;

protected:
    ~IComposite() = default;
};

class IContainerCollection : public virtual ICollection {
public:
    virtual AnsiString GetTitle() const = 0;
    virtual void SetTitle(const AnsiString& value) = 0;

protected:
    ~IContainerCollection() = default;
};

// A collage: its children are composed into one picture; the child list is reached
// through ICollection.
class IMerge : public virtual ICollection {
public:
    virtual AnsiString GetTitle() const = 0;
    virtual void SetTitle(const AnsiString& value) = 0;

protected:
    ~IMerge() = default;
};

// Items that draw into the player's back buffer: the area they changed in this frame and
// the pixels they keep from under them. How a frame keeps what did not change is the
// frame composer's (objects/FrameComposer.h).
class IVisibleSlideShowObject : public virtual ISlideShowObject {
public:
    virtual TRect GetUpdateRect() = 0;
    virtual void RestoreBackground(IPlayerServices* player) = 0;
    // Draws the item into any bitmap (collages, previews); False when nothing was drawn.
    virtual bool DrawTo(TBitmap32& target, bool final) = 0;
    virtual bool Prepare(TBitmap32& target) = 0;
    virtual void Unprepare() = 0;
    virtual bool IsPrepared() = 0;
    // Whether the player must keep the pixels under the item, because the item does not
    // cover its whole area opaquely.
    virtual bool NeedsBackground() = 0;

protected:
    ~IVisibleSlideShowObject() = default;
};

class IPreviewEditable;
using TPreviewEditorChangeEvent = std::function<void(IPreviewEditable* sender)>;

// Items a preview editor moves and sizes with the mouse.
class IPreviewEditable : public virtual ISlideShowObject {
public:
    // Mouse operations answer whether the item handled the event.
    virtual bool EditorMouseMove(const TPreviewEditorMouseInfo& info) = 0;
    virtual bool EditorMouseDown(const TPreviewEditorMouseInfo& info) = 0;
    virtual bool EditorMouseUp(const TPreviewEditorMouseInfo& info) = 0;
    virtual bool EditorKeyDown(uint16_t& key, TShiftState shift) = 0;
    virtual bool EditorKeyUp(uint16_t& key, TShiftState shift) = 0;
    virtual TCursor GetEditorCursor(const TPreviewEditorMouseInfo& info) = 0;
    // The item's rectangle in editor pixels.
    virtual TRect GetEditorRect(const TPreviewEditorMouseInfo& info) = 0;
    virtual void PaintEditorBackground(const TPreviewEditorMouseInfo& info) = 0;
    virtual void PaintEditor(const TPreviewEditorMouseInfo& info) = 0;
    virtual void SetOnEditorChange(TPreviewEditorChangeEvent handler) = 0;
    virtual TPreviewEditorChangeEvent GetOnEditorChange() = 0;

protected:
    ~IPreviewEditable() = default;
};

// Owners of the curves and the path that animate a visible item. Create makes the curve
// with the owner's range when it is missing.
class IOpacityCurveOwner : public virtual IVisibleSlideShowObject {
public:
    virtual TTimeToIntegerValue* GetOpacityCurve() = 0;
    virtual TTimeToIntegerValue* CreateOpacityCurve() = 0;
    virtual void FreeOpacityCurve() = 0;

protected:
    ~IOpacityCurveOwner() = default;
};

class IRotationCurveOwner : public virtual IVisibleSlideShowObject {
public:
    virtual TTimeToIntegerValue* GetRotationCurve() = 0;
    virtual TTimeToIntegerValue* CreateRotationCurve() = 0;

protected:
    ~IRotationCurveOwner() = default;
};

class IScaleCurveOwner : public virtual IVisibleSlideShowObject {
public:
    virtual TTimeToIntegerValue* GetScaleCurve() = 0;
    virtual TTimeToIntegerValue* CreateScaleCurve() = 0;

protected:
    ~IScaleCurveOwner() = default;
};

class IMotionPathOwner : public virtual IVisibleSlideShowObject {
public:
    virtual TTimeToVector2DValue* GetMotionPath() = 0;
    virtual TTimeToVector2DValue* CreateMotionPath() = 0;

protected:
    ~IMotionPathOwner() = default;
};

// Editing the keys of a motion path in the preview editor.
class IPreviewEditablePath : public virtual IPreviewEditable {
public:
    // The selected key, -1 for none.
    virtual int32_t GetSelectedPathKey() = 0;
    virtual void SetSelectedPathKeyTime(int32_t time) = 0;
    virtual void DeleteSelectedPathKey() = 0;
    virtual void SetSelectedPathKeyLinear(bool flag) = 0;

protected:
    ~IPreviewEditablePath() = default;
};

// The files an item or a settings group refers to, so that the show can collect and
// relocate them. Lists are the caller's.
class IFileReferences : public virtual IInterface {
public:
    virtual AnsiString GetResolvedFileName() const = 0;
    virtual void SetFileName(const AnsiString& value) = 0;
    virtual std::vector<AnsiString> GetResolvedFileNames() const = 0;
    virtual void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) = 0;
    virtual std::vector<AnsiString> GetFileNames() const = 0;
    virtual AnsiString GetFileName() const = 0;
    virtual void AssignFileName(const AnsiString& value) = 0;
    virtual int32_t GetFileCount() const = 0;

protected:
    ~IFileReferences() = default;
};

// The same, and only the files that exist.
class IFileReferencesEx : public virtual IFileReferences {
public:
    virtual std::vector<AnsiString> GetExistingFileNames() const = 0;

protected:
    ~IFileReferencesEx() = default;
};

// The picture's metadata view, read from its file once and then kept with the item.
class IExifProvider : public virtual ISlideShowObject {
public:
    virtual bool HasExif() = 0;
    // The view or null; kinds differ in whether asking loads it.
    virtual TSlideShowObjectExif* GetExif() = 0;
    // Reads the view from the file again; True when there is one.
    virtual bool LoadExif() = 0;

protected:
    ~IExifProvider() = default;
};

namespace SupportsDetail {
// Whether objects of the class of obj are known to lack I. A cast that fails walks the
// whole class graph (a microsecond for a picture item), and a player asks every item of a
// show for interfaces it mostly lacks several times at its start. Whether a cast succeeds
// depends on the object's class alone (also while it is being made), so the answer is
// kept per class and thread.
template <class I>
std::unordered_set<std::type_index>& Lacking() {
    thread_local std::unordered_set<std::type_index> lacking;
    return lacking;
}
}  // namespace SupportsDetail

// The interface I of an object, or null.
template <class I, class T>
I* Supports(T* obj) {
    if (!obj) return nullptr;
    if constexpr (std::is_polymorphic_v<T>) {
        auto& lacking = SupportsDetail::Lacking<I>();
        const std::type_index type(typeid(*obj));
        if (lacking.count(type)) return nullptr;
        I* found = dynamic_cast<I*>(obj);
        if (!found) lacking.insert(type);
        return found;
    } else {
        return dynamic_cast<I*>(obj);
    }
}
template <class I, class T>
const I* Supports(const T* obj) {
    return Supports<I>(const_cast<T*>(obj));
}
