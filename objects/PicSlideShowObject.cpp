#include "objects/PicSlideShowObject.h"

#include "document/PlayerServices.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowProperties.h"
#include "foundation/Benchmark.h"
#include "foundation/FileTools.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/RectTools.h"
#include "foundation/SlideShowGlobals.h"
#include "graphics/PictureFormats.h"
#include "graphics/PictureRegistry.h"
#include "objects/PlayerPreparation.h"

GC_IMPLEMENT_PLUGIN(TPicSlideShowObject, TBaseBitmapSlideShowObject)
GC_IMPLEMENT_PLUGIN(TExtPicSlideShowObject, TBaseExtBitmapSlideShowObject)

AnsiString PictureFileNamePart(const AnsiString& fileName) {
    return ExtractFileName(fileName);
}

template <class Base>
TPictureSlideShowObject<Base>::~TPictureSlideShowObject() {
    DropRead();
}

template <class Base>
void TPictureSlideShowObject<Base>::ResolveLoad() {
    loadName_ = GetResolvedFileName();
    loadAside_ = PictureDecipher().IsEnciphered(loadName_) || !PictureFileReadsItself(loadName_);
    loadResolved_ = true;
}

template <class Base>
void TPictureSlideShowObject<Base>::DropRead() {
    // Not waited for: the helper lets go of what it read, or never begins.
    if (read_) read_->Drop();
    read_.reset();
}

// ---- file references ----

template <class Base>
AnsiString TPictureSlideShowObject<Base>::GetResolvedFileName() const {
    return this->ResolveFileName(FileName);
}

template <class Base>
void TPictureSlideShowObject<Base>::SetFileName(const AnsiString& value) {
    if (value == FileName) return;
    FileName = value;
    loadResolved_ = false;
    LoadExif();
    this->DoChange(ocNewFile);
}

template <class Base>
std::vector<AnsiString> TPictureSlideShowObject<Base>::GetResolvedFileNames() const {
    return {this->FileToOpen(FileName)};
}

template <class Base>
void TPictureSlideShowObject<Base>::ReplaceFileName(const AnsiString& oldName, const AnsiString& newName) {
    if (oldName == FileName) {
        FileName = newName;
        return;
    }
    // A name that resolves to nothing matches no old name.
    const AnsiString resolved = GetResolvedFileName();
    if (!resolved.empty() && oldName == resolved) FileName = newName;
}

template <class Base>
std::vector<AnsiString> TPictureSlideShowObject<Base>::GetExistingFileNames() const {
    return {GetResolvedFileName()};
}

// ---- EXIF ----

template <class Base>
bool TPictureSlideShowObject<Base>::LoadExif() {
    Exif = TSlideShowObjectExif::CreateFromFile(GetResolvedFileName());
    ExifState = Exif ? 1 : 2;
    return ExifState == 1;
}

template <class Base>
bool TPictureSlideShowObject<Base>::HasExif() {
    if (ExifState == 0) LoadExif();
    return ExifState == 1;
}

TSlideShowObjectExif* TPicSlideShowObject::GetExif() {
    if (!Exif && ExifState == 0) LoadExif();
    return Exif.get();
}

// ---- item operations ----

template <class Base>
AnsiString TPictureSlideShowObject<Base>::GetDisplayName() const {
    return PictureFileNamePart(FileName);
}

template <class Base>
AnsiString TPictureSlideShowObject<Base>::GetInfoText() const {
    return "Grafik: " + GetResolvedFileName();
}

template <class Base>
std::vector<AnsiString> TPictureSlideShowObject<Base>::GetFileExtensions() const {
    return CopyPictureExtensionList(false);
}

template <class Base>
AnsiString TPictureSlideShowObject<Base>::GetFileFilter() const {
    AnsiString filter;
    BuildPictureFilter(true, true, filter);
    return filter;
}

template <class Base>
void TPictureSlideShowObject<Base>::AssignObject(const TSlideShowObject& source) {
    Base::AssignObject(source);
    auto* p = dynamic_cast<const TPictureSlideShowObject<Base>*>(&source);
    if (!p || p == this) return;
    FileName = p->FileName;
    ExifState = p->ExifState;
    if (p->Exif) {
        if (!Exif) Exif = std::make_unique<TSlideShowObjectExif>();
        Exif->Assign(*p->Exif);
    } else {
        Exif.reset();
    }
}

template <class Base>
bool TPictureSlideShowObject<Base>::WriteData(TOKFStreamWinTypes& stream) {
    if (!Base::WriteData(stream)) return false;
    try {
        stream.WriteString(FileName);
        stream.WriteByte(ExifState);
        if (ExifState != 1) return true;
        stream.BeginWriteBlock();
        const bool ok = Exif && Exif->WriteData(stream);
        stream.EndWriteBlock();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

template <class Base>
bool TPictureSlideShowObject<Base>::ReadData(TOKFStreamWinTypes& stream) {
    if (!Base::ReadData(stream)) return false;
    TReadBlockGuard guard(stream);
    try {
        FileName = stream.ReadStringValue();
        ExifState = stream.ReadByteValue();
        if (ExifState != 1) {
            Exif.reset();
            return true;
        }
        stream.BeginReadBlock();
        if (!Exif) Exif = std::make_unique<TSlideShowObjectExif>();
        const bool ok = Exif->ReadData(stream);
        stream.EndReadBlock();
        return ok;
    } catch (const std::exception&) {
        return false;
    }
}

template <class Base>
void TPictureSlideShowObject<Base>::Reset() {
    Base::Reset();
    DropRead();
    loadResolved_ = false;
    Picture.reset();
}

// ---- preparation ----

template <class Base>
void TPictureSlideShowObject<Base>::BuildInitializationSteps(IPlayerServices* player, int32_t step) {
    Base::BuildInitializationSteps(player, step);
    TSlideShowObjectInitializationList* list = this->GetInitializationList();
    if (!list) return;
    const int32_t current = list->CurrentStep;
    if (PreparationStep::Requests(step, PreparationStep::LoadPicture, current)) {
        ResolveLoad();
        int32_t estimate = BenchmarkDefaults::LoadFile;
        if (player)
            estimate = player->GetBenchmark().EstimateTime(
                BenchmarkNames::LoadFile, TFileSizeBenchmarkValue::CreateValue(loadName_), BenchmarkDefaults::LoadFile);
        auto load = std::make_unique<TSlideShowObjectInitialization>(PreparationStep::LoadPicture, estimate,
                                                                     PreparationStep::LoadPicture);
        load->MayRunAside = loadAside_;
        list->Add(std::move(load));
    }
    if (PreparationStep::Requests(step, PreparationStep::PictureToBitmap, current)) {
        int32_t estimate = BenchmarkDefaults::Pic2Bmp;
        if (player)
            estimate = player->GetBenchmark().EstimateTime(
                BenchmarkNames::Pic2Bmp,
                TPicSizeBenchmarkValue::CreateValue(Picture ? Picture->Width() : 0, Picture ? Picture->Height() : 0),
                BenchmarkDefaults::Pic2Bmp);
        list->Add(std::make_unique<TSlideShowObjectInitialization>(
            PreparationStep::PictureToBitmap, estimate, PreparationStep::PictureToBitmap));
    }
}

template <class Base>
bool TPictureSlideShowObject<Base>::ExecuteInitializationStep(IPlayerServices* player, int32_t step) {
    bool result = Base::ExecuteInitializationStep(player, step);
    if (step != PreparationStep::LoadPicture && step != PreparationStep::PictureToBitmap) return result;
    try {
        if (step == PreparationStep::LoadPicture) {
            std::shared_ptr<TPictureReadAside> read = std::move(read_);
            if (read) {
                // Handed aside before: its result, waited for when the picture is due.
                read->Finish();
                if (!read->Done()) read.reset();
            }
            if (!read) {
                // A step run without being built (a test's, an editor's) resolves here.
                if (!loadResolved_) ResolveLoad();
                IPreparationSteps* preparation = PreparationOf(player);
                // A missing file goes by its stored name, which the load failure then names.
                read = std::make_shared<TPictureReadAside>(this->PictureReadOf(
                    FileName, loadName_, this->PlayerArea(player), preparation && preparation->StepIsUrgent()));
                if (preparation && loadAside_ && preparation->RunAside(this, read)) {
                    read_ = std::move(read);
                    return true;
                }
                read->Finish();
            }
            // The next preparation looks the name up again: the file may have changed.
            loadResolved_ = false;
            const bool ok = this->TakePictureRead(read->Read, Picture);
            if (ok)
                RecordInitializationStep(player, BenchmarkNames::LoadFile,
                                         TFileSizeBenchmarkValue::CreateValue(read->Read.Name), read->Read.Milliseconds);
            return ok;
        }
        return this->TimedStep(
            player, BenchmarkNames::Pic2Bmp,
            TPicSizeBenchmarkValue::CreateValue(Picture ? Picture->Width() : 0, Picture ? Picture->Height() : 0),
            [&] { return this->PictureToBitmap(Picture, true, this->Bitmap); });
    } catch (const std::exception&) {
        return false;
    }
}

template <class Base>
bool TPictureSlideShowObject<Base>::Prepare(TBitmap32& target) {
    try {
        const bool ok = this->LoadPicture(FileName, false, Picture) &&
                        this->PictureToBitmap(Picture, false, this->Bitmap) &&
                        this->FitBitmapToRect(target.BoundsRect(),
                                              ShowPropertiesOf(this->GetSlideShow()).GetFitOption(), true,
                                              this->Bitmap);
        return ok || this->LoadFailed;
    } catch (const std::exception&) {
        return this->LoadFailed != 0;
    }
}

template <class Base>
void TPictureSlideShowObject<Base>::UpdateEditorBitmap(const TRect& areaRect) {
    if (!Picture) return;
    try {
        TRect r;
        CalcTargetRect(Picture->Width(), Picture->Height(), this->RelativeRect, r, this->KeepAspectRatio,
                       this->Stretch, this->Alignment, areaRect);
        if (!this->Bitmap || RectWidth(r) != this->Bitmap->Width() || RectHeight(r) != this->Bitmap->Height())
            this->PictureToBitmap(Picture, false, this->Bitmap);
        this->FitBitmapToRect(areaRect, ShowPropertiesOf(this->GetSlideShow()).GetFitOption(), true, this->Bitmap);
    } catch (const std::exception&) {
    }
}

template <class Base>
void TPictureSlideShowObject<Base>::DrawPlaceholder(TBitmap32& target) {
    Base::DrawPlaceholder(target);
    const TRect r = RelToAbsRect(NormalizeDoubleRect(this->RelativeRect), target.BoundsRect());
    AnsiString message;
    if (FileName.empty()) {
        message = "Keine Datei zugeordnet";
    } else {
        message = PictureFileNamePart(FileName);
        // A file that exists but cannot be read shows its bare name.
        if (GetResolvedFileName().empty()) message = "Datei nicht gefunden (" + message + ")";
    }
    const AnsiString text = "? " + message;
    // The player window's own font.
    target.Font = TFont{};
    target.Font.Name = "MS Sans Serif";
    target.Font.Size = -11;
    target.Font.Color = 0x000000;
    auto at = [](int32_t v, int d) { return SaturateInt32(int64_t(v) + d); };
    target.Textout(at(r.Left, 3), at(r.Top, 3), text);
    target.Font.Color = 0xFFFFFF;
    target.Textout(at(r.Left, 2), at(r.Top, 2), text);
}

template class TPictureSlideShowObject<TBaseBitmapSlideShowObject>;
template class TPictureSlideShowObject<TBaseExtBitmapSlideShowObject>;

AnsiString TExtPicSlideShowObject::Description() {
    return "Eine beliebige Grafikdatei, der Effekte, wie animierte Transparenz oder Bewegungspfade zugeordnet "
           "werden k\xF6nnen.";
}

// ---- module ----

namespace {
TCountedRegistration<TExtPicSlideShowObject> registration;
}

void InitializePicSlideShowObjects(TPlugins& plugins) { registration.Initialize(plugins); }

void FinalizePicSlideShowObjects(TPlugins& plugins) { registration.Finalize(plugins); }
