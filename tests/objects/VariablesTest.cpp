#include "document/CollectionSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowObjectVariables.h"
#include "document/SlideShowProperties.h"

#include "document/ExifFixtures.h"
#include "document/SlideShowTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>

namespace {

// A text item that also names a file, as picture items do.
class TFileTextItem : public TDummySlideShowObject, public virtual IFileReferences {
public:
    AnsiString GetResolvedFileName() const override { return Resolved; }
    void SetFileName(const AnsiString&) override {}
    std::vector<AnsiString> GetResolvedFileNames() const override { return {Resolved}; }
    void ReplaceFileName(const AnsiString&, const AnsiString&) override {}
    std::vector<AnsiString> GetFileNames() const override { return {Resolved}; }
    AnsiString GetFileName() const override { return Resolved; }
    void AssignFileName(const AnsiString&) override {}
    int32_t GetFileCount() const override { return 1; }
    AnsiString Resolved;
};

// Sets an environment variable (or removes it, for null) until the end of the scope.
class EnvSetting {
public:
    EnvSetting(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvSetting() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }
    EnvSetting(const EnvSetting&) = delete;
    EnvSetting& operator=(const EnvSetting&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class VariablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The fixed date and time forms are those of the C locale.
        cLocale_.emplace("LC_ALL", "C");
        ShowTestPlugins();
        SetVariableClock([] { return TVariableClockTime{2026, 3, 7, 9, 5, 4}; });
        item = new TDummySlideShowObject();
        show.RootList().Add(item);
    }
    void TearDown() override { SetVariableClock({}); }

    AnsiString Expand(TObject* context, const AnsiString& text) {
        AnsiString out;
        ReplaceVariables(Plugins, context, text, out);
        return out;
    }

    // A picture item in the show whose EXIF view holds the given segments.
    TExtPicSlideShowObject* Picture(const std::string& exif, const std::string& iptc = "",
                                    const std::string& comment = "") {
        auto* pic = new TExtPicSlideShowObject();
        pic->Exif = std::make_unique<TSlideShowObjectExif>();
        pic->Exif->Container = std::make_unique<TExifContainer>();
        pic->Exif->Container->ExifData = exif;
        pic->Exif->Container->IptcData = iptc;
        pic->Exif->Container->Comment = comment;
        pic->ExifState = 1;
        show.RootList().Add(pic);
        return pic;
    }

    TSlideShow show;
    TDummySlideShowObject* item = nullptr;

private:
    std::optional<EnvSetting> cLocale_;
};

TEST_F(VariablesTest, RegistersTheVariablesInTableOrder) {
    std::unique_ptr<TPlugins> variables = Plugins->SubsetOf<TVariablePlugin>();
    ASSERT_TRUE(variables);
    const std::vector<std::string> expected = {
        "TSlideShowObjectTextVariablePlugin", "TSlideShowObjectKeywordsVariablePlugin",
        "TSlideShowObjectSlideShowTitleVariablePlugin", "TSlideShowObjectSlideShowDescriptionVariablePlugin",
        "TSlideShowObjectSlideShowAuthorVariablePlugin", "TSlideShowObjectSlideShowCopyrightVariablePlugin",
        "TSlideShowObjectPositionVariablePlugin", "TSlideShowObjectCaptureYearVariablePlugin",
        "TSlideShowObjectCaptureMonthVariablePlugin", "TSlideShowObjectCaptureDayVariablePlugin",
        "TSlideShowObjectCaptureHourVariablePlugin", "TSlideShowObjectCaptureMinuteVariablePlugin",
        "TSlideShowObjectCaptureSecondVariablePlugin", "TSlideShowObjectCaptureDateVariablePlugin",
        "TSlideShowObjectCaptureTimeVariablePlugin", "TSlideShowObjectDateVariablePlugin",
        "TSlideShowObjectTimeVariablePlugin", "TSlideShowObjectFilenameVariablePlugin",
        "TSlideShowObjectPathVariablePlugin", "TSlideShowObjectPicCommentVariablePlugin",
        "TSlideShowObjectExifCommentVariablePlugin", "TSlideShowObjectIPTCVariablePlugin",
        "TSlideShowObjectEXIFVariablePlugin"};
    ASSERT_EQ(variables->GetCount(), static_cast<int>(expected.size()));
    for (int i = 0; i < variables->GetCount(); ++i)
        EXPECT_EQ(variables->GetItem(i)->PluginClass().Name, expected[static_cast<size_t>(i)]);

    // Unregistering and registering again keeps the order.
    TPlugins own;
    InitializeSlideShowObjectVariables(own);
    EXPECT_EQ(own.GetCount(), 23);
    FinalizeSlideShowObjectVariables(own);
    EXPECT_EQ(own.GetCount(), 0);
}

TEST_F(VariablesTest, NamesMatchWholeAndLowerCase) {
    TSlideShowObjectCaptureTimeVariablePlugin v;
    EXPECT_TRUE(v.IsVariableName("capturetime"));
    EXPECT_TRUE(v.IsVariableName("aufnahmeuhrzeit"));
    EXPECT_FALSE(v.IsVariableName("capture"));
    EXPECT_FALSE(v.IsVariableName("CaptureTime"));
    TSlideShowObjectEXIFVariablePlugin exif;
    EXPECT_TRUE(exif.IsVariableName("exifdatetimeoriginal"));
}

TEST_F(VariablesTest, ExpandsTheShowAndTheItem) {
    show.InfoProperties->ShowDescription = "Ferien";
    show.InfoProperties->Author = "Jana";
    show.InfoProperties->Copyright = "(c) Jana";
    show.SetFileName("C:\\Shows\\Sommer.kls");
    item->Keywords = "Meer, %date%";
    auto* chapter = new TContainerSlideShowObject();
    show.RootList().Insert(0, chapter);
    chapter->CreateChildList()->Add(new TDummySlideShowObject());
    auto* second = new TDummySlideShowObject();
    chapter->GetChildList()->Add(second);

    struct Case {
        TObject* Context;
        const char* Source;
        const char* Expected;
    } cases[] = {
        {item, "50%% Rabatt", "50% Rabatt"},
        {item, "%%text%%", "%text%"},
        {item, "%unbekannt% bleibt", "%unbekannt% bleibt"},
        {item, "%slideshowtitle%", "Sommer.kls"},
        {item, "%Beschreibung% von %AUTOR%, %copyright%", "Ferien von Jana, (c) Jana"},
        // A value holding a placeholder goes in as it is.
        {item, "%stichworte%", "Meer, %date%"},
        {item, "%datum% %uhrzeit% %time%", "07.03.2026 09:05:04 09:05:04"},
        {second, "%position%", "1.2"},
        // A source holding the character code 1 keeps it.
        {item, "a\x01%%b", "a\x01%b"},
        // Without a picture the capture and file variables are empty.
        {item, "[%captureyear%|%filename%|%comment%|%EXIFDateTime%]", "[|||]"},
    };
    for (const Case& c : cases) EXPECT_EQ(Expand(c.Context, c.Source), c.Expected) << c.Source;

    show.InfoProperties->Title = "Sommer 2026";
    EXPECT_EQ(Expand(item, "%lumivortitel%"), "Sommer 2026");
}

TEST_F(VariablesTest, ATextNamingItselfStopsAtTheSecondLevel) {
    item->Text = "<%text%|%Datum%>";
    EXPECT_EQ(Expand(item, "%Text%"), "<%text%|07.03.2026>");
}

TEST_F(VariablesTest, AContextThatIsNoItemKeepsItsPlaceholders) {
    TExif notAnItem;
    EXPECT_EQ(Expand(&notAnItem, "%text% %date% %%"), "%text% %date% %");
    EXPECT_EQ(Expand(nullptr, "%position%"), "%position%");
    AnsiString out;
    ReplaceVariables(nullptr, item, "%date%%%", out);
    EXPECT_EQ(out, "%date%%%");
}

TEST_F(VariablesTest, PictureMetadata) {
    using namespace exif_fixture;
    TExtPicSlideShowObject* pic =
        Picture(ExifPayload("2004:07:15 13:45:02"), IptcPayload(), "Urlaub");
    struct Case {
        const char* Source;
        const char* Expected;
    } cases[] = {
        {"%CaptureYear%-%capturemonth%-%aufnahmetag% %capturehour%:%captureminute%:%aufnahmesekunde%",
         "2004-7-15 13:45:2"},
        {"%capturedate% %capturetime%", "15.07.2004 13:45:02"},
        {"%kommentar% / %exifcomment%", "Urlaub / Hallo Welt"},
        {"%IPTCCaption%: %iptckeywords%", "Urlaub am Meer: Strand, Sonne"},
        {"%EXIFDateTimeOriginal%", "2004:07:15 13:45:02"},
        {"[%EXIFFNumber%]", "[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(Expand(pic, c.Source), c.Expected) << c.Source;
}

TEST_F(VariablesTest, AnUnreadableCaptureDateIsEmpty) {
    using namespace exif_fixture;
    TExtPicSlideShowObject* pic = Picture(ExifPayload("kein Datum", "auch nicht"));
    EXPECT_EQ(Expand(pic, "[%capturedate%][%capturetime%][%captureyear%][%capturesecond%]"),
              "[][][-1][-1]");
}

TEST_F(VariablesTest, FileNameAndFolder) {
    auto* file = new TFileTextItem();
    file->Resolved = "C:\\Bilder\\Urlaub\\strand.jpg";
    show.RootList().Add(file);
    EXPECT_EQ(Expand(file, "%dateiname% in %pfad%"), "strand.jpg in C:\\Bilder\\Urlaub\\");
    file->Resolved.clear();
    EXPECT_EQ(Expand(file, "[%filename%][%path%]"), "[][]");
}

}  // namespace

// A German locale of the test's own whose short date names the month ("7. Mär 2026") and
// whose long time reads "9.05 Uhr 04", built beside the system's de_DE in UTF-8 and in
// ISO-8859-1: the texts reach the program in Windows-1252 either way.
const char* const kOwnLocaleSource = R"(LC_IDENTIFICATION
copy "de_DE"
END LC_IDENTIFICATION
LC_CTYPE
copy "de_DE"
END LC_CTYPE
LC_COLLATE
copy "de_DE"
END LC_COLLATE
LC_MONETARY
copy "de_DE"
END LC_MONETARY
LC_NUMERIC
copy "de_DE"
END LC_NUMERIC
LC_TIME
abday "So";"Mo";"Di";"Mi";"Do";"Fr";"Sa"
day "Sonntag";"Montag";"Dienstag";"Mittwoch";"Donnerstag";"Freitag";"Samstag"
abmon "Jan";"Feb";"M<U00E4>r";"Apr";"Mai";"Jun";"Jul";"Aug";"Sep";"Okt";"Nov";"Dez"
mon "Januar";"Februar";"M<U00E4>rz";"April";"Mai";"Juni";"Juli";"August";"September";"Oktober";"November";"Dezember"
d_t_fmt "%a %d %b %Y %T"
d_fmt "%-d. %b %Y"
t_fmt "%-H.%M Uhr %S"
am_pm "";""
t_fmt_ampm ""
END LC_TIME
LC_MESSAGES
copy "de_DE"
END LC_MESSAGES
LC_PAPER
copy "de_DE"
END LC_PAPER
LC_NAME
copy "de_DE"
END LC_NAME
LC_ADDRESS
copy "de_DE"
END LC_ADDRESS
LC_TELEPHONE
copy "de_DE"
END LC_TELEPHONE
LC_MEASUREMENT
copy "de_DE"
END LC_MEASUREMENT
)";

TEST_F(VariablesTest, DateAndTimeTakeTheUsersFormats) {
    using namespace exif_fixture;
    TExtPicSlideShowObject* pic = Picture(ExifPayload("2004:07:15 13:45:02"));
    TempDir own;
    {
        std::ofstream(own / "kurz") << kOwnLocaleSource;
    }
    for (const char* charmap : {"UTF-8", "ISO-8859-1"}) {
        const std::string cmd = "localedef -i '" + (own / "kurz") + "' -f " + charmap + " '" +
                                (own / (std::string("de_XX.") + charmap)) + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd << " (scripts/setup-deps installs the locale sources)";
    }
    struct Case {
        const char* Locale;
        bool OwnLocale;
        const char* Expected;
    } cases[] = {
        // The C locale in both spellings keeps the fixed forms.
        {"C", false, "07.03.2026 09:05:04|15.07.2004 13:45:02"},
        {"C.UTF-8", false, "07.03.2026 09:05:04|15.07.2004 13:45:02"},
        // A locale the system lacks falls back on them too.
        {"xx_NOWHERE.UTF-8", false, "07.03.2026 09:05:04|15.07.2004 13:45:02"},
        // The German locale that scripts/setup-deps generates.
        {"de_DE.UTF-8", false, "07.03.2026 09:05:04|15.07.2004 13:45:02"},
        {"de_XX.UTF-8", true, "7. M\xE4r 2026 9.05 Uhr 04|15. Jul 2004 13.45 Uhr 02"},
        {"de_XX.ISO-8859-1", true, "7. M\xE4r 2026 9.05 Uhr 04|15. Jul 2004 13.45 Uhr 02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Locale);
        const EnvSetting locpath("LOCPATH", c.OwnLocale ? own.Path().c_str() : nullptr);
        const EnvSetting all("LC_ALL", c.Locale);
        EXPECT_EQ(Expand(pic, "%datum% %uhrzeit%|%aufnahmedatum% %aufnahmeuhrzeit%"), c.Expected);
    }
    // LC_TIME decides when LC_ALL says nothing.
    const EnvSetting all("LC_ALL", nullptr);
    const EnvSetting locpath("LOCPATH", own.Path().c_str());
    const EnvSetting time("LC_TIME", "de_XX.UTF-8");
    EXPECT_EQ(Expand(item, "%date%"), "7. M\xE4r 2026");
}
