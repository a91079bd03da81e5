#include "document/ExifTools.h"
#include "document/SlideShowObjectExif.h"
#include "foundation/OKFStream.h"
#include "platform/Stream.h"

#include "ExifFixtures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace exif_fixture;

void Write(const std::string& path, const std::string& bytes) {
    WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::unique_ptr<TExif> ViewOf(const std::string& exif, const std::string& iptc = "", const std::string& comment = "") {
    auto v = std::make_unique<TExif>();
    v->Container = std::make_unique<TExifContainer>();
    v->Container->ExifData = exif;
    v->Container->IptcData = iptc;
    v->Container->Comment = comment;
    return v;
}

void ExpectNoCapture(const TExif* v) {
    EXPECT_EQ(GetCaptureDateTime(v), -1.0);
    EXPECT_EQ(GetCaptureYear(v), -1);
    EXPECT_EQ(GetCaptureMonth(v), -1);
    EXPECT_EQ(GetCaptureDay(v), -1);
    EXPECT_EQ(GetCaptureHour(v), -1);
    EXPECT_EQ(GetCaptureMinute(v), -1);
    EXPECT_EQ(GetCaptureSecond(v), -1);
}

}  // namespace

TEST(Exif, ReadsAllThreeSegmentsOfAJpeg) {
    TempDir dir;
    Write(dir / "bild.Jpeg", Jpeg({Segment(0xE0, std::string("JFIF\0", 5) + "xxxxxxxxx"),
                                    Segment(0xE1, ExifPayload("2004:07:15 13:45:02")),
                                    Segment(0xED, IptcPayload()), Segment(0xFE, std::string("Urlaub\0", 7)),
                                    Segment(0xFE, "zweiter Kommentar")}));
    auto view = TSlideShowObjectExif::CreateFromFile(dir / "bild.Jpeg");
    ASSERT_TRUE(view);
    EXPECT_TRUE(HasExif(view.get()));
    EXPECT_TRUE(HasIptc(view.get()));
    EXPECT_TRUE(HasComment(view.get()));
    EXPECT_EQ(GetComment(view.get()), "Urlaub");
    EXPECT_EQ(GetExifComment(view.get()), "Hallo Welt");
    EXPECT_EQ(GetCaptureYear(view.get()), 2004);
    EXPECT_EQ(GetCaptureMonth(view.get()), 7);
    EXPECT_EQ(GetCaptureDay(view.get()), 15);
    EXPECT_EQ(GetCaptureHour(view.get()), 13);
    EXPECT_EQ(GetCaptureMinute(view.get()), 45);
    EXPECT_EQ(GetCaptureSecond(view.get()), 2);
    EXPECT_NEAR(GetCaptureDateTime(view.get()), 38183.57293981482, 1e-9);
    // Stored as the file has them: length bytes in front.
    EXPECT_EQ(view->Container->ExifData.substr(2, 6), std::string("Exif\0\0", 6));
    EXPECT_EQ(view->Container->IptcData.substr(2, 13), "Photoshop 3.0");

    auto reader = CreateReader(view.get());
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->IptcValue("Caption"), "Urlaub am Meer");
    EXPECT_EQ(reader->IptcValue("keywords"), "Strand, Sonne");
    EXPECT_EQ(reader->IptcValue("City"), "");
    EXPECT_EQ(reader->ExifValue("DateTimeOriginal"), "2004:07:15 13:45:02");
    EXPECT_EQ(reader->ExifValue("DateTime"), "2001:01:01 00:00:00");
    EXPECT_EQ(reader->ExifValue("Make"), "");
    EXPECT_EQ(reader->ExifValue("KeinTag"), "");
}

TEST(Exif, OnlyJpegExtensionsAreRead) {
    TempDir dir;
    const std::string jpeg = Jpeg({Segment(0xE1, ExifPayload("2004:07:15 13:45:02"))});
    Write(dir / "bild.tif", jpeg);
    Write(dir / "bild.JPE", jpeg);
    Write(dir / "ohne", jpeg);
    EXPECT_FALSE(TExif::CreateFromFile(dir / "bild.tif"));
    EXPECT_FALSE(TExif::CreateFromFile(dir / "ohne"));
    EXPECT_TRUE(TExif::CreateFromFile(dir / "bild.JPE"));
    EXPECT_FALSE(TExif::CreateFromFile(dir / "fehlt.jpg"));
    // A JPEG without metadata, and a file that is no JPEG, give no view.
    Write(dir / "leer.jpg", Jpeg({}));
    Write(dir / "text.jpg", "kein Bild");
    EXPECT_FALSE(TExif::CreateFromFile(dir / "leer.jpg"));
    EXPECT_FALSE(TExif::CreateFromFile(dir / "text.jpg"));
    auto v = ViewOf("x");
    EXPECT_FALSE(v->LoadFromFile(dir / "leer.jpg"));
    EXPECT_FALSE(v->Container);
}

TEST(Exif, IptcOnlyAndXmpInFront) {
    TMemoryStream s;
    const std::string onlyIptc = Jpeg({Segment(0xED, IptcPayload())});
    s.WriteBuffer(onlyIptc.data(), int64_t(onlyIptc.size()));
    s.SetPosition(0);
    TExif v;
    v.Container = std::make_unique<TExifContainer>();
    ASSERT_TRUE(ScanJpegSegments(s, *v.Container));
    EXPECT_FALSE(HasExif(&v));
    EXPECT_TRUE(HasIptc(&v));
    ExpectNoCapture(&v);
    EXPECT_EQ(GetExifComment(&v), "");

    // An XMP APP1 first, then the EXIF one; no DateTimeOriginal: DateTime counts.
    const std::string xmp = Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33));
    const std::string both = Jpeg({xmp, Segment(0xE1, ExifPayload("", "1999:12:31 23:59:58"))});
    TMemoryStream t;
    t.WriteBuffer(both.data(), int64_t(both.size()));
    t.SetPosition(0);
    TExif w;
    w.Container = std::make_unique<TExifContainer>();
    ASSERT_TRUE(ScanJpegSegments(t, *w.Container));
    EXPECT_EQ(GetCaptureYear(&w), 1999);
    EXPECT_EQ(GetCaptureSecond(&w), 58);
}

TEST(Exif, BrokenOrOddDataGivesDefaults) {
    const std::string exif = Segment(0xE1, ExifPayload("2004:07:15 13:45:02")).substr(2);
    for (size_t cut : {size_t(0), size_t(5), size_t(9), size_t(20), size_t(40)}) {
        auto v = ViewOf(exif.substr(0, cut));
        ExpectNoCapture(v.get());
        EXPECT_EQ(GetExifComment(v.get()), "");
    }
    // Cut inside the EXIF IFD: IFD0's DateTime is still there, or nothing is.
    for (size_t cut = 60; cut < exif.size(); cut += 7) {
        auto v = ViewOf(exif.substr(0, cut));
        const int year = GetCaptureYear(v.get());
        EXPECT_TRUE(year == -1 || year == 2001 || year == 2004) << cut;
        (void)GetExifComment(v.get());
    }
    // Not a date, or a camera without a clock.
    for (const char* date : {"0000:00:00 00:00:00", "2004:13:15 13:45:02", "2004:02:30 10:00:00",
                             "2004:07:15 24:00:00", "2004-07-15", "  04:07:15 13:45:02"}) {
        auto v = ViewOf(Segment(0xE1, ExifPayload(date, date)).substr(2));
        ExpectNoCapture(v.get());
    }
    // Stored strings with and without the two length bytes read alike.
    auto withLength = ViewOf(exif);
    auto without = ViewOf(exif.substr(2));
    EXPECT_EQ(GetCaptureDay(withLength.get()), 15);
    EXPECT_EQ(GetCaptureDay(without.get()), 15);
    // Garbage IPTC and an IPTC resource claiming more than there is.
    std::string iptc = IptcPayload();
    iptc[14 + 4 + 2 + 2 + 3] = char(0x7F);
    auto bad = ViewOf("", iptc);
    auto reader = CreateReader(bad.get());
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->IptcValue("Caption"), "");
    TExif none;
    EXPECT_FALSE(CreateReader(&none));
    EXPECT_FALSE(CreateReader(nullptr));
    EXPECT_FALSE(HasExif(nullptr));
    EXPECT_EQ(GetComment(nullptr), "");
    ExpectNoCapture(nullptr);
    // A truncated file: what was complete is kept.
    TempDir dir;
    const std::string file = Jpeg({Segment(0xFE, "Urlaub"), Segment(0xE1, ExifPayload("2004:07:15 13:45:02"))});
    Write(dir / "kurz.jpg", file.substr(0, 30));
    auto cut = TExif::CreateFromFile(dir / "kurz.jpg");
    ASSERT_TRUE(cut);
    EXPECT_EQ(GetComment(cut.get()), "Urlaub");
    EXPECT_FALSE(HasExif(cut.get()));
}

TEST(Exif, StoredForm) {
    // With container: one block with three strings; EXIF data gains its length bytes.
    const std::string exif = ExifPayload("2004:07:15 13:45:02");
    TSlideShowObjectExif v;
    v.Container = std::make_unique<TExifContainer>();
    v.Container->ExifData = exif;
    v.Container->Comment = "Urlaub";
    TMemoryStream mem;
    {
        TOKFStream s(&mem, okfRaw);
        ASSERT_TRUE(v.WriteData(s));
    }
    const size_t n = exif.size() + 2;
    Bytes want;
    want.u32(uint32_t(4 + 4 + n + 4 + 4 + 6)).str(std::string{char(n >> 8), char(n & 0xFF)} + exif).str("").str("Urlaub");
    EXPECT_EQ(mem.Bytes(), want.vec());

    // Read back in a current document; nothing of it in an old one.
    mem.SetPosition(0);
    TSlideShowObjectExif r;
    {
        TOKFStream s(&mem, okfRaw);
        s.Header.ContentVersion = 773;
        ASSERT_TRUE(r.ReadData(s));
        EXPECT_EQ(s.GetPosition(), int64_t(want.size()));
    }
    ASSERT_TRUE(r.Container);
    EXPECT_EQ(r.Container->ExifData.substr(2), exif);
    EXPECT_EQ(r.Container->Comment, "Urlaub");
    EXPECT_EQ(GetCaptureYear(&r), 2004);

    mem.SetPosition(0);
    TSlideShowObjectExif old;
    old.Container = std::make_unique<TExifContainer>();
    old.Container->Comment = "bleibt";
    {
        TOKFStream s(&mem, okfRaw);
        s.Header.ContentVersion = 0x300;
        ASSERT_TRUE(old.ReadData(s));
        EXPECT_EQ(s.GetPosition(), int64_t(want.size()));
    }
    EXPECT_EQ(old.Container->Comment, "bleibt");

    // An empty view: a block of length 4, and back without container.
    TMemoryStream e;
    TExif empty;
    {
        TOKFStream s(&e, okfRaw);
        ASSERT_TRUE(empty.WriteData(s));
    }
    EXPECT_EQ(e.Bytes(), Bytes().u32(4).vec());
    e.SetPosition(0);
    auto back = ViewOf("vorher");
    {
        TOKFStream s(&e, okfRaw);
        ASSERT_TRUE(back->ReadData(s));
    }
    // An empty block leaves the container alone, as the stored form says; a fresh view
    // stays without one.
    EXPECT_TRUE(back->Container);
    e.SetPosition(0);
    TSlideShowObjectExif fresh;
    {
        TOKFStream s(&e, okfRaw);
        s.Header.ContentVersion = 773;
        ASSERT_TRUE(fresh.ReadData(s));
    }
    EXPECT_FALSE(fresh.Container);

    // A block claiming more than there is: False, no crash.
    TMemoryStream bad(Bytes().u32(100).u32(50).vec());
    TExif b;
    {
        TOKFStream s(&bad, okfRaw);
        EXPECT_FALSE(b.ReadData(s));
    }
    EXPECT_FALSE(b.Container);
}

TEST(Exif, Assign) {
    auto a = ViewOf("e", "i", "c");
    TExif b;
    b.Assign(*a);
    ASSERT_TRUE(b.Container);
    EXPECT_EQ(b.Container->IptcData, "i");
    TExif none;
    b.Assign(none);
    EXPECT_FALSE(b.Container);
    a->Assign(*a);
    EXPECT_TRUE(a->Container);
}

TEST(Exif, NameTables) {
    EXPECT_GE(ExifTagNames().size(), 100u);
    EXPECT_GE(IptcFieldNames().size(), 32u);
    EXPECT_STREQ(IptcFieldNames()[0].Name, "ObjectName");
}
