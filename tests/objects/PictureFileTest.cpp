// The picture kinds' file: references, EXIF view, copies and re-fitting in the editor.
#include "PictureTestSupport.h"

#include <map>

namespace {

// A show that finds the files of a table.
class TMapShow : public TFakeShow {
public:
    AnsiString ResolveFileName(const AnsiString& name) const override {
        auto it = Files.find(name);
        return it == Files.end() ? AnsiString() : it->second;
    }
    std::map<AnsiString, AnsiString> Files;
};

class PictureFileTest : public ::testing::Test {
protected:
    void SetUp() override { PictureTestPlugins(); }
    void TearDown() override {
        for (int i = show.Root.Count() - 1; i >= 0; --i) show.Root.Delete(i);
    }
    template <class T>
    T* Add() {
        auto* item = new T();
        show.Root.Add(item);
        show.Changes.clear();
        return item;
    }
    TMapShow show;
    TempDir dir;
};

TEST_F(PictureFileTest, ReplaceFileNameMatchesTheStoredOrTheResolvedName) {
    show.Files["a.jpg"] = "C:\\alt\\a.jpg";
    const struct {
        const char* Stored;
        bool Replaced;
    } cases[] = {{"C:\\alt\\a.jpg", true}, {"a.jpg", true}, {"b.jpg", false}, {"c:\\alt\\a.jpg", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Stored);
        auto* item = Add<TExtPicSlideShowObject>();
        item->FileName = c.Stored;
        IFileReferences* refs = Supports<IFileReferences>(static_cast<TSlideShowObject*>(item));
        ASSERT_NE(refs, nullptr);
        refs->ReplaceFileName("C:\\alt\\a.jpg", "D:\\neu\\a.jpg");
        EXPECT_EQ(item->FileName, c.Replaced ? "D:\\neu\\a.jpg" : c.Stored);
        EXPECT_TRUE(show.Changes.empty());
    }
    // A name that resolves to nothing is not matched by an empty old name.
    auto* missing = Add<TExtPicSlideShowObject>();
    missing->FileName = "weg.jpg";
    missing->ReplaceFileName("", "neu.jpg");
    EXPECT_EQ(missing->FileName, "weg.jpg");
}

TEST_F(PictureFileTest, TheListsAndTheCount) {
    show.Files["da.jpg"] = "C:\\Show\\da.jpg";
    auto* item = Add<TPicSlideShowObject>();
    IFileReferencesEx* refs = Supports<IFileReferencesEx>(static_cast<TSlideShowObject*>(item));
    ASSERT_NE(refs, nullptr);
    // Without a file: one empty entry, count 1.
    EXPECT_EQ(refs->GetFileCount(), 1);
    EXPECT_EQ(refs->GetResolvedFileNames(), std::vector<AnsiString>{""});
    EXPECT_EQ(refs->GetFileNames(), std::vector<AnsiString>{""});
    EXPECT_EQ(item->GetDisplayName(), "");
    item->FileName = "weg.jpg";
    EXPECT_EQ(refs->GetResolvedFileNames(), std::vector<AnsiString>{"weg.jpg"});
    EXPECT_EQ(refs->GetExistingFileNames(), std::vector<AnsiString>{""});
    EXPECT_EQ(refs->GetResolvedFileName(), "");
    EXPECT_EQ(item->GetInfoText(), "Grafik: ");
    item->FileName = "da.jpg";
    EXPECT_EQ(refs->GetResolvedFileNames(), std::vector<AnsiString>{"C:\\Show\\da.jpg"});
    EXPECT_EQ(refs->GetExistingFileNames(), std::vector<AnsiString>{"C:\\Show\\da.jpg"});
    EXPECT_EQ(refs->GetFileName(), "da.jpg");
    EXPECT_EQ(item->GetInfoText(), "Grafik: C:\\Show\\da.jpg");
    item->FileName = "D:\\Urlaub:Teil\\x.png";
    EXPECT_EQ(item->GetDisplayName(), "x.png");
    // Asked by interface id as well.
    for (const TGUID& iid : {IID_IFileReferences, IID_IFileReferencesEx, IID_IExifProvider})
        EXPECT_TRUE(item->Supports(iid));
    EXPECT_FALSE(item->Supports(IID_IMotionPathOwner));
    auto* effects = Add<TExtPicSlideShowObject>();
    for (const TGUID& iid : {IID_IMotionPathOwner, IID_IOpacityCurveOwner, IID_IRotationCurveOwner,
                             IID_IScaleCurveOwner, IID_IPreviewEditablePath, IID_IVisibleSlideShowObject})
        EXPECT_TRUE(effects->Supports(iid));
}

TEST_F(PictureFileTest, SetFileNameReadsTheExifStateAtOnce) {
    WriteFileBytes(dir / "mit.jpg", JpegWithComment(16, 16, [](int, int) { return clWhite32; }, "Urlaub"));
    WriteFileBytes(dir / "ohne.jpg", EncodeJpeg(16, 16, [](int, int) { return clWhite32; }));
    show.Files["mit.jpg"] = dir.Program() + "mit.jpg";
    show.Files["ohne.jpg"] = dir.Program() + "ohne.jpg";
    auto* item = Add<TExtPicSlideShowObject>();
    item->SetFileName("mit.jpg");
    EXPECT_EQ(item->ExifState, 1);
    ASSERT_NE(item->GetExif(), nullptr);
    EXPECT_EQ(GetComment(item->GetExif()), "Urlaub");
    ASSERT_EQ(show.Changes.size(), 1u);
    EXPECT_EQ(show.Changes[0].Flags, 40);
    // The same name again: nothing happens, not even a new look at the file.
    item->ExifState = 0;
    item->SetFileName("mit.jpg");
    EXPECT_EQ(item->ExifState, 0);
    EXPECT_EQ(show.Changes.size(), 1u);
    item->AssignFileName("ohne.jpg");
    EXPECT_EQ(item->ExifState, 2);
    EXPECT_EQ(item->GetExif(), nullptr);
    EXPECT_FALSE(item->HasExif());
    EXPECT_EQ(show.Changes.size(), 2u);
}

TEST_F(PictureFileTest, WhoLooksForTheViewWhenAsked) {
    WriteFileBytes(dir / "mit.jpg", JpegWithComment(16, 16, [](int, int) { return clWhite32; }, "Sommer"));
    show.Files["mit.jpg"] = dir.Program() + "mit.jpg";
    // The still kind reads the view the first time it is asked for it.
    auto* still = Add<TPicSlideShowObject>();
    still->FileName = "mit.jpg";
    ASSERT_NE(still->GetExif(), nullptr);
    EXPECT_EQ(still->ExifState, 1);
    // The kind with effects only answers what it holds; HasExif looks first.
    auto* effects = Add<TExtPicSlideShowObject>();
    effects->FileName = "mit.jpg";
    EXPECT_EQ(effects->GetExif(), nullptr);
    EXPECT_EQ(effects->ExifState, 0);
    EXPECT_TRUE(effects->HasExif());
    ASSERT_NE(effects->GetExif(), nullptr);
    EXPECT_EQ(GetComment(effects->GetExif()), "Sommer");
    // Not a JPEG by name: no view, and the state says so.
    effects->FileName = "bild.tif";
    EXPECT_FALSE(effects->LoadExif());
    EXPECT_EQ(effects->ExifState, 2);
}

TEST_F(PictureFileTest, CopiesTakeTheFileAndTheView) {
    WriteFileBytes(dir / "mit.jpg", JpegWithComment(16, 16, [](int, int) { return clWhite32; }, "Kopie"));
    TExtPicSlideShowObject source;
    source.FileName = dir.Program() + "mit.jpg";
    ASSERT_TRUE(source.LoadExif());
    source.KeepAspectRatio = false;
    source.CreateMotionPath();
    TSlideShowObjectPtr copy(source.Clone());
    auto* c = dynamic_cast<TExtPicSlideShowObject*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->FileName, source.FileName);
    EXPECT_EQ(c->ExifState, 1);
    ASSERT_NE(c->GetExif(), nullptr);
    EXPECT_NE(c->GetExif(), source.GetExif());
    EXPECT_EQ(GetComment(c->GetExif()), "Kopie");
    EXPECT_FALSE(c->KeepAspectRatio);
    EXPECT_EQ(ItemDataBytes(*c), ItemDataBytes(source));
    // A source without a view takes the copy's away.
    TExtPicSlideShowObject plain;
    c->AssignObject(plain);
    EXPECT_EQ(c->GetExif(), nullptr);
    EXPECT_EQ(c->ExifState, 0);
    EXPECT_EQ(c->MotionPath, nullptr);
    // The other kind is not the same kind: only the bitmap fields come over.
    TPicSlideShowObject still;
    still.FileName = "x.jpg";
    c->AssignObject(still);
    EXPECT_EQ(c->FileName, "");
}

TEST_F(PictureFileTest, RefittingConvertsAgainOnlyForANewSize) {
    const std::string file = dir / "bild.png";
    WriteFileBytes(file, EncodePng(40, 20, [](int x, int) { return x < 20 ? clWhite32 : clBlack32; }));
    TExtPicSlideShowObject item;
    item.FileName = dir.Program() + "bild.png";
    item.FillBackground = false;
    // Nothing held: nothing happens.
    item.UpdateEditorBitmap(TRect{0, 0, 100, 100});
    EXPECT_EQ(item.Bitmap, nullptr);
    TBitmap32 editor(100, 100);
    ASSERT_TRUE(item.Prepare(editor));
    ASSERT_NE(item.Picture, nullptr);  // Prepare keeps the picture
    EXPECT_EQ(item.Bitmap->Width(), 100);
    EXPECT_EQ(item.Bitmap->Height(), 50);
    // Same size: the existing bitmap is fitted again (and stays as it is).
    TBitmap32* before = item.Bitmap.get();
    item.UpdateEditorBitmap(TRect{0, 0, 100, 100});
    EXPECT_EQ(item.Bitmap.get(), before);
    // A new size converts the held picture again and fits that.
    item.UpdateEditorBitmap(TRect{0, 0, 60, 60});
    EXPECT_EQ(item.Bitmap->Width(), 60);
    EXPECT_EQ(item.Bitmap->Height(), 30);
    EXPECT_EQ(item.Bitmap->Pixel(5, 5), clWhite32);
    EXPECT_TRUE(item.IsPrepared());
    item.Reset();
    EXPECT_EQ(item.Picture, nullptr);
    EXPECT_FALSE(item.IsPrepared());
}

TEST_F(PictureFileTest, KindsAndTheirTexts) {
    TExtPicSlideShowObject effects;
    TPicSlideShowObject still;
    EXPECT_EQ(effects.GetEditorFrameClassName(), "TExtPicSlideShowObjectPropertyFrame");
    EXPECT_EQ(still.GetEditorFrameClassName(), "TBaseBitmapSlideShowObjectPropertyFrame");
    EXPECT_EQ(still.GetLastInitializationStep(), 10);
    EXPECT_EQ(effects.GetLastInitializationStep(), 11);
    EXPECT_EQ(PluginDescription(TExtPicSlideShowObject::StaticClassInfo()),
              "Eine beliebige Grafikdatei, der Effekte, wie animierte Transparenz oder Bewegungspfade zugeordnet "
              "werden k\xF6nnen.");
    const std::vector<AnsiString> exts = effects.GetFileExtensions();
    EXPECT_NE(std::find(exts.begin(), exts.end(), "JPG"), exts.end());
    EXPECT_NE(std::find(exts.begin(), exts.end(), "PNG"), exts.end());
    EXPECT_TRUE(effects.SupportsFileExtension("jpeg"));
    EXPECT_EQ(effects.GetFileFilter().rfind("Alle Bilder", 0), 0u);
}

}  // namespace
