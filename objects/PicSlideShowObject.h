// The picture item: one picture file shown by the bitmap base, in two kinds that differ
// only in their base (a still picture, and one with transition, curves and motion path).
// Both keep the file name, load the file in two timed steps, draw a placeholder text for
// a missing file, answer the file-reference interfaces and keep the picture's EXIF view,
// which travels in the show document once read.
#pragma once

#include "objects/BaseExtBitmapSlideShowObject.h"
#include "document/PlayerServices.h"
#include "document/SlideShowObjectExif.h"
#include "platform/AsideWork.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// A picture file read on the player's helper thread.
class TPictureReadAside : public TAsideWork {
public:
    explicit TPictureReadAside(TBaseBitmapSlideShowObject::TPictureRead read) : Read(std::move(read)) {}
    TBaseBitmapSlideShowObject::TPictureRead Read;

protected:
    void Run() override { TBaseBitmapSlideShowObject::ReadPicture(Read); }
};

// What the two picture kinds share, on top of either bitmap base.
template <class Base>
class TPictureSlideShowObject : public Base, public virtual IExifProvider, public virtual IFileReferencesEx {
public:
    TPictureSlideShowObject() = default;
    ~TPictureSlideShowObject() override;

    // File references.
    // The existing file the stored name stands for; empty when none is found.
    AnsiString GetResolvedFileName() const override;
    // A new name (compared case-sensitively) reads its EXIF state again and reports a
    // new file.
    void SetFileName(const AnsiString& value) override;
    // The resolved name, else the name as stored.
    std::vector<AnsiString> GetResolvedFileNames() const override;
    // Old may be the stored name or its resolved form; no change is reported.
    void ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) override;
    std::vector<AnsiString> GetFileNames() const override { return {FileName}; }
    AnsiString GetFileName() const override { return FileName; }
    void AssignFileName(const AnsiString& value) override { SetFileName(value); }
    int32_t GetFileCount() const override { return 1; }
    // The resolved name; an empty entry when the file is not found.
    std::vector<AnsiString> GetExistingFileNames() const override;

    // EXIF: looked for once, then kept (ExifState 1 with a view, 2 without).
    bool HasExif() override;
    TSlideShowObjectExif* GetExif() override { return Exif.get(); }
    bool LoadExif() override;

    // The file name part of FileName; empty without a file.
    AnsiString GetDisplayName() const override;
    AnsiString GetInfoText() const override;
    std::vector<AnsiString> GetFileExtensions() const override;
    AnsiString GetFileFilter() const override;
    void AssignObject(const TSlideShowObject& source) override;
    bool WriteData(TOKFStreamWinTypes& stream) override;
    bool ReadData(TOKFStreamWinTypes& stream) override;
    void Reset() override;
    // Steps 1 (load the file) and 2 (convert it) come before the base's steps. A player
    // may read the file on its helper thread: step 1 then runs twice, handing the reading
    // aside and taking its result up.
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override;
    bool ExecuteInitializationStep(IPlayerServices* player, int32_t step) override;
    // Loads, converts and fits the whole picture for Target's size. A missing or
    // unreadable file counts as prepared: the placeholder shows.
    bool Prepare(TBitmap32& target) override;
    bool IsPrepared() override { return this->Bitmap || this->LoadFailed; }
    // The base's placeholder with a line of text naming what is missing.
    void DrawPlaceholder(TBitmap32& target) override;
    // Re-fits the held picture to a changed editor size, converting it again when its
    // placement changed size.
    void UpdateEditorBitmap(const TRect& areaRect) override;

    std::unique_ptr<TBitmap32> Picture;  // as loaded, between steps 1 and 2
    AnsiString FileName;
    uint8_t ExifState = 0;  // 0 not looked for, 1 view held, 2 none in the file
    std::unique_ptr<TSlideShowObjectExif> Exif;

private:
    // The reading step 1 handed aside; at most one per item.
    std::shared_ptr<TPictureReadAside> read_;
    // The file step 1 reads, resolved when the step is built, and whether it may be read
    // on the player's helper thread (not a video, which reads itself with the help of the
    // GUI thread): one look-up of the name and of its format per step.
    AnsiString loadName_;
    bool loadAside_ = false;
    bool loadResolved_ = false;
    void DropRead();
    void ResolveLoad();
};

class TPicSlideShowObject : public TPictureSlideShowObject<TBaseBitmapSlideShowObject> {
    GC_DECLARE_CLASS(TPicSlideShowObject)
public:
    static AnsiString Caption() { return "Bild"; }
    static AnsiString Description() { return "Eine beliebige Grafikdatei"; }

    // Reads the view from the file the first time it is asked for.
    TSlideShowObjectExif* GetExif() override;
};

class TExtPicSlideShowObject : public TPictureSlideShowObject<TBaseExtBitmapSlideShowObject> {
    GC_DECLARE_CLASS(TExtPicSlideShowObject)
public:
    static AnsiString Caption() { return "Bild mit Effekten"; }
    static AnsiString Description();

    AnsiString GetEditorFrameClassName() const override { return "TExtPicSlideShowObjectPropertyFrame"; }
};

// The file name part of a stored name (ExtractFileName).
AnsiString PictureFileNamePart(const AnsiString& fileName);

// Only the kind with effects is a plug-in; the first initialisation registers it and the
// last finalisation unregisters it.
void InitializePicSlideShowObjects(TPlugins& plugins);
void FinalizePicSlideShowObjects(TPlugins& plugins);
