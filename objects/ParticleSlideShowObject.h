// The particle layer: many small pictures drifting through the item's rectangle in one
// direction, swaying or jittering on the way (snow, rain, bubbles). The pictures are
// scaled to the particle size once; every frame each particle puts back the pixels it
// covered, moves, saves the pixels under its new place and draws itself.
#pragma once

#include "objects/BaseExtBitmapSlideShowObject.h"
#include "document/PreparationSteps.h"

#include <cstdint>
#include <memory>
#include <vector>

// Positions live in the square -1..1 on both axes, mapped onto the item's rectangle.
class TParticle {
public:
    // Starts without background, then Reset (which draws the phase).
    TParticle();
    virtual ~TParticle();
    TParticle(const TParticle&) = delete;
    TParticle& operator=(const TParticle&) = delete;

    virtual void FreeBackground();
    // Keeps Target's pixels under the particle's bounds in R.
    virtual void SaveBackground(const TBitmap32& target, const TRect& r);
    // Puts the saved pixels back, once after each save.
    virtual void RestoreBackground(TBitmap32& target);
    virtual int32_t GetWidth() const = 0;
    virtual int32_t GetHeight() const = 0;
    // Drawn is the changed area, empty when nothing was drawn. Scaled sizes the picture
    // from R and Scale instead of drawing it at its own size.
    virtual void Draw(TBitmap32& target, const TRect& r, TRect& drawn, bool scaled, uint8_t alpha) = 0;
    // The particle's position in R's pixels.
    virtual TPoint GetCenter(const TRect& r) const;
    // The picture's size centred on GetCenter.
    virtual TRect GetBounds(const TRect& r) const;
    virtual void Reset();

    std::unique_ptr<TBitmap32> Background;  // created on demand, drawn opaque
    bool BackgroundRestored = false;
    int32_t BackgroundX = 0, BackgroundY = 0;
    float OffsetX = 0, OffsetY = 0;
    float X = 0, Y = 0;
    float OriginX = 0, OriginY = 0;
    // Distance along the direction since Origin.
    float Travelled = 0;
    float Phase = 0;
    float Scale = 1;
};

class TBitmapParticle : public TParticle {
public:
    int32_t GetWidth() const override { return Picture ? Picture->Width() : 1; }
    int32_t GetHeight() const override { return Picture ? Picture->Height() : 1; }
    void Draw(TBitmap32& target, const TRect& r, TRect& drawn, bool scaled, uint8_t alpha) override;

    TBitmap32* Picture = nullptr;  // one of the item's pictures, not owned
};

class TParticleList {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TParticle* GetItem(int i) const { return items_[size_t(i)].get(); }
    void Add(std::unique_ptr<TParticle> p) { items_.push_back(std::move(p)); }

private:
    std::vector<std::unique_ptr<TParticle>> items_;
};

// Motion kinds.
enum : uint8_t { pmStraight = 0, pmSway = 1, pmCircle = 2, pmJitter = 3, pmRandomWalk = 4 };

class TParticleSlideShowObject : public TBaseExtBitmapSlideShowObject, public virtual IFileReferencesEx {
    GC_DECLARE_CLASS(TParticleSlideShowObject)
public:
    // Stored values are cut to these on reading.
    static constexpr int32_t MaxParticleCount = 5000;

    TParticleSlideShowObject();
    ~TParticleSlideShowObject() override;

    static AnsiString Caption() { return "Partikel"; }
    static AnsiString Description() { return "Parkikelsystem zum Darstellen von Schnee, Regen, Blasen etc."; }

    // The file names, one per line.
    virtual std::vector<AnsiString> GetFileNameList() const;
    // Loads one file and adds it to Pictures scaled so its longer side is PixelSize.
    // Raises for a file that is missing, unreadable or empty.
    virtual bool LoadParticlePicture(const AnsiString& fileName, int32_t pixelSize, uint8_t stretchFilter);
    virtual void CreateParticleList();
    virtual void FreeParticleList() { Particles.reset(); }
    // Places P at random in the square, upstream so that it has Diagonal to travel;
    // the first fill (not Respawn) spreads the particles along their ways.
    virtual void InitParticle(TParticle& p, const TRect& r, bool respawn);
    virtual void CreatePictureList();
    virtual void FreePictureList() { Pictures.reset(); }
    virtual void AddParticle(const TRect& r);
    // Loads every picture and makes the particles for Target's size. A file that fails
    // is left out; False (LoadFailed set) only when there are files and all of them fail.
    virtual bool LoadParticles(TBitmap32& target, uint8_t stretchFilter);
    // The particles' side in pixels for R, at least 1.
    virtual int32_t GetParticlePixelSize(const TRect& r) const;

    // IFileReferencesEx. A name that is not found stays as stored.
    AnsiString GetResolvedFileName() const override;
    void SetFileName(const AnsiString& value) override { FileNames = value; }
    std::vector<AnsiString> GetResolvedFileNames() const override;
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;
    std::vector<AnsiString> GetFileNames() const override { return GetFileNameList(); }
    AnsiString GetFileName() const override;
    void AssignFileName(const AnsiString& value) override;
    int32_t GetFileCount() const override { return -1; }
    std::vector<AnsiString> GetExistingFileNames() const override;

    AnsiString GetCategory() const override { return "Zus\xE4tzlich"; }
    std::vector<AnsiString> GetFileExtensions() const override;
    AnsiString GetEditorFrameClassName() const override { return "TParticleSlideShowObjectPropertyEditorFrame"; }
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    // Counts and sizes out of range are cut; a value that is no number reads its default.
    bool ReadData(TOKFStreamWinTypes& stream) override;
    // One step: "LoadFiles". The stored transition is kept but never prepared.
    int32_t GetLastInitializationStep() const override { return PreparationStep::LoadParticles; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    // One frame straight into the back buffer; always -1 (every frame).
    int32_t Play(IPlayerServices* player, bool final) override;
    void Reset() override;
    // Every particle puts back what it covered, the last first (or the shared copy goes
    // back whole).
    void RestoreBackground(IPlayerServices* player) override;
    // Particles put back their own pieces, all at once.
    void RestoreBackgroundLate(IPlayerServices* player) override { RestoreBackground(player); }
    // A still picture of the particles where they are; the placeholder without them.
    bool DrawTo(TBitmap32& target, bool final) override;
    bool Prepare(TBitmap32& target) override;
    bool IsPrepared() override { return Pictures || LoadFailed; }
    void DrawSelectionFrame(TBitmap32&, const TRect&, int32_t, uint8_t) override {}
    // The particles never cover their rectangle: what lies below must stay drawn.
    bool NeedsBackground() override { return true; }

    std::unique_ptr<std::vector<std::unique_ptr<TBitmap32>>> Pictures;
    std::unique_ptr<TParticleList> Particles;
    AnsiString FileNames;
    float Direction = 4.712389f;  // radians; 3 pi / 2 travels up
    float Speed = 0.1f;           // fractions of the diagonal per second
    float ReservedValue = 0;
    int32_t ParticleCount = 20;
    float ParticleSize = 0.1f;  // of the shorter side of the rectangle
    uint8_t MotionKind = pmSway;
    float Amplitude = 0.1f;
    float Frequency = 0.5f;
    int32_t LastFrameTime = -1;
    // Where the particles' own copies of what they cover would add up to more than the
    // rectangle around them all, that rectangle is kept once instead: the pixels saved
    // never exceed one back buffer however many and however big the particles are.
    std::unique_ptr<TBitmap32> SharedBackground;  // drawn opaque
    TPoint SharedBackgroundAt;
    bool SharedBackgroundRestored = true;
    // The pixels held by the saved backgrounds now (the particles' and the shared one).
    int64_t SavedBackgroundPixels() const;
    float Diagonal = 0;
    float DirSin = 0, DirCos = 0, SideSin = 0, SideCos = 0;

protected:
    // The rectangle the particles fill: the current one in Target's pixels, clipped.
    TRect ParticleRect(const TBitmap32& target) const;
    void MoveParticle(TParticle& p, int32_t time);
};

// The distance from (x, y) along Angle to the square's border. Any angle is taken
// modulo 2 pi.
double DistanceToBorder(double angle, double x, double y);

void InitializeParticleSlideShowObjects(TPlugins& plugins);
void FinalizeParticleSlideShowObjects(TPlugins& plugins);
