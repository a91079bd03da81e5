// Text effects: plug-ins that animate the characters of an outline text while a text
// item shows it. The one effect is the zoom, in which the characters one after another
// zoom from a large transparent size to their own (or the reverse). A text keeps its
// entry and exit effects in a TComplexVectorTextEffect, which can also be a file.
#pragma once

#include "foundation/Plugins.h"
#include "foundation/PropertyDialog.h"
#include "graphics/OutlineGeometry.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class TBitmap32;
class TOKFStream;
class TStream;
class TVectorText;

constexpr uint32_t kTextEffectFileType = 0x506;
constexpr uint32_t kTextEffectFileVersion = 0x100;
constexpr uint32_t kTextEffectChunkType = 0x100;

class TVectorTextEffect : public TInterfacedPlugin {
    GC_DECLARE_CLASS(TVectorTextEffect)
public:
    TVectorTextEffect() = default;
    ~TVectorTextEffect() override;

    int32_t Duration = 1000;   // ms
    int32_t StartTime = -1;    // of the first frame after Init; -1 before it
    TVectorText* VectorText = nullptr;  // not owned
    TRect Rect{};

    virtual const ClassInfo* DefaultPropertyFrameClass();
    virtual AnsiString GetPropertyFrameClassName() { return AnsiString(); }
    virtual void Init(const TRect& r, TVectorText* text);
    virtual void Done() {}
    // One frame at time (ms, the owner's clock): the first call after Init starts the
    // effect. Draws unless measureOnly and gives the rectangle it touches. The base
    // draws nothing and gives the text's bounds moved by (x, y).
    virtual void GetChangedRect(TBitmap32& target, TFixed x, TFixed y, int32_t time, bool measureOnly,
                                TFixedRect& changed);
    // The frame class named by GetPropertyFrameClassName (the default one for an empty
    // name); null when no frame class of that name is registered.
    virtual const ClassInfo* GetPropertyFrameClass();
    // Duration; subclasses append their own fields.
    virtual bool WriteData(TOKFStream& stream);
    virtual void SaveToStream(TStream& stream);
    virtual bool ReadData(TOKFStream& stream);
    virtual bool LoadFromStream(TStream& stream);
};

// Switches an effect to entry or exit; the text item makes one effect either.
class IVectorTextEffectOn : public virtual IInterface {
public:
    virtual void SetEffectOn() = 0;

protected:
    ~IVectorTextEffectOn() = default;
};
class IVectorTextEffectOff : public virtual IInterface {
public:
    virtual void SetEffectOff() = 0;

protected:
    ~IVectorTextEffectOff() = default;
};

class TSimpleZoomVectorTextEffect : public TVectorTextEffect,
                                    public virtual IVectorTextEffectOn,
                                    public virtual IVectorTextEffectOff {
    GC_DECLARE_CLASS(TSimpleZoomVectorTextEffect)
public:
    TSimpleZoomVectorTextEffect();
    static AnsiString Caption() { return "Zoomer"; }

    // Stored values outside these ranges are held at them: an overlap of 0 or below
    // divides by zero, and huge zoom factors overflow the fixed-point products.
    static constexpr int32_t kMaxOverlap = 1000;
    static constexpr TFixed kMaxZoom = 64 * 0x10000;

    int32_t Overlap = 8;       // schedule steps one character's zoom lasts
    TFixed ZoomX = 5 * 0x10000;
    TFixed ZoomY = 5 * 0x10000;
    bool Appear = true;        // zoom in and appear; False: zoom out and vanish

    void SetEffectOn() override { Appear = true; }
    void SetEffectOff() override { Appear = false; }
    AnsiString GetPropertyFrameClassName() override { return "TSimpleZoomVectorTextEffectPropertyFrame"; }
    void GetChangedRect(TBitmap32& target, TFixed x, TFixed y, int32_t time, bool measureOnly,
                        TFixedRect& changed) override;
    bool WriteData(TOKFStream& stream) override;
    bool ReadData(TOKFStream& stream) override;
};

// The settings frame of every text effect: its layout is data, nothing here shows it.
class TVectorTexteffectPropertyFrame : public TPropertyEditorFrame {
    GC_DECLARE_CLASS(TVectorTexteffectPropertyFrame)
public:
    static const std::vector<TPropertyFrameControl>& Layout();
};

// The entry and exit effect of a text, either may be missing.
class TComplexVectorTextEffect : public TObject {
    GC_DECLARE_CLASS(TComplexVectorTextEffect)
public:
    TComplexVectorTextEffect() = default;
    ~TComplexVectorTextEffect() override = default;
    TComplexVectorTextEffect(const TComplexVectorTextEffect&) = delete;
    TComplexVectorTextEffect& operator=(const TComplexVectorTextEffect&) = delete;

    TPluginPtr<TVectorTextEffect> FirstEffect;
    TPluginPtr<TVectorTextEffect> SecondEffect;
    AnsiString Name;

    // The one place that gives the two effects their roles.
    TVectorTextEffect* EntryEffect() const { return FirstEffect.get(); }
    TVectorTextEffect* ExitEffect() const { return SecondEffect.get(); }

    // Through the stream form, as a copy stored and read back.
    virtual void Assign(const TComplexVectorTextEffect& source);
    virtual std::unique_ptr<TComplexVectorTextEffect> Clone() const;
    // Name, then one block per effect: its class name and data, empty without effect.
    virtual bool WriteData(TOKFStream& stream) const;
    virtual void SaveToStream(TStream& stream) const;
    virtual bool SaveToFile(const AnsiString& fileName) const;
    // Only registered effect classes are made; an unknown class leaves its effect
    // missing. False when an effect's data does not read (that effect is dropped).
    virtual bool ReadData(TOKFStream& stream);
    virtual bool LoadFromStream(TStream& stream);
    // True only for a text-effect file of this version with an effect chunk that read;
    // only then Name becomes the file's name without folder and extension.
    virtual bool LoadFromFile(const AnsiString& fileName);
    // The same on the file's bytes, without touching Name.
    bool LoadFromFileStream(TStream& stream);
};

// Registers the zoom effect and the frame class; the finalisation unregisters them.
void InitializeVectorTextEffects(TPlugins& plugins);
void FinalizeVectorTextEffects(TPlugins& plugins);
