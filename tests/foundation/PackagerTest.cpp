#include "TestSupport.h"
#include "foundation/Packager.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class PackagerTest : public ::testing::Test {
protected:
    void SetUp() override { PackagerModule::Initialize(); }
    void TearDown() override { PackagerModule::Finalize(); }

    // A package of (name, content) pairs built with the packager on a memory stream.
    static std::vector<uint8_t> Build(const std::vector<std::pair<std::string, std::string>>& items) {
        TMemoryStream out;
        TPackager p;
        EXPECT_TRUE(p.CreateOnStream(out));
        for (const auto& [name, content] : items) {
            TMemoryStream data(std::vector<uint8_t>(content.begin(), content.end()));
            EXPECT_TRUE(p.AddStream(data, std::make_unique<TPackageFileListItem>(name)));
        }
        EXPECT_TRUE(p.Close());
        return out.Bytes();
    }

    // The same package written byte by byte: header, then data and directory chunk pairs.
    static Bytes Golden(const std::vector<std::pair<std::string, std::string>>& items) {
        Bytes body;
        int64_t pos = 32;
        for (const auto& [name, content] : items) {
            body.tag("CHNK").u32(0x101).u32(static_cast<uint32_t>(12 + content.size())).raw(content);
            const int64_t offset = pos + 12;
            pos += 12 + static_cast<int64_t>(content.size());
            const uint32_t dirSize = static_cast<uint32_t>(12 + 4 + 20 + 4 + 8 + 8 + 4 + name.size());
            body.tag("CHNK").u32(0x100).u32(dirSize).str("TPackageFileListItem");
            body.u32(static_cast<uint32_t>(24 + name.size())).i64(offset).i64(static_cast<int64_t>(content.size())).str(name);
            pos += dirSize;
        }
        const uint64_t total = 32 + body.size();
        Bytes b;
        b.tag("OKNF").u32(static_cast<uint32_t>(total)).u32(0x00010002).u32(0x510);
        b.u32(static_cast<uint32_t>(2 * items.size())).u32(0x100).u64(total).raw(body.vec());
        return b;
    }

    static std::string ReadAll(TStream& s) {
        std::string r(static_cast<size_t>(s.GetSize()), '\0');
        s.SetPosition(0);
        s.ReadBuffer(r.data(), s.GetSize());
        return r;
    }
};

}  // namespace

TEST_F(PackagerTest, WritesTheGoldenLayoutWithCorrectOffsets) {
    const std::vector<std::pair<std::string, std::string>> items = {
        {"Lumivor\\Slideshow.kls", "0123456789"}, {"settings.dat", "abc"}, {"empty", ""}};
    const std::vector<uint8_t> bytes = Build(items);
    EXPECT_EQ(bytes, Golden(items).vec());

    TMemoryStream in(bytes);
    TPackager p;
    ASSERT_TRUE(p.OpenOnStream(in));
    ASSERT_EQ(p.FileList().Count(), 3);
    EXPECT_EQ(p.FileList().GetItem(0)->Offset, 44);
    EXPECT_EQ(p.FileList().GetItem(0)->Size, 10);
    // The directory chunk of an item is 60 + name length bytes.
    const int64_t n1 = 21;
    EXPECT_EQ(p.FileList().GetItem(1)->Offset, 116 + 10 + n1);
    EXPECT_EQ(p.FileList().GetItem(1)->FileName, "settings.dat");
}

TEST_F(PackagerTest, NineFilesMakeEighteenChunks) {
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 0; i < 9; ++i) items.push_back({"f" + std::to_string(i), std::string(static_cast<size_t>(i), 'x')});
    TMemoryStream in(Build(items));
    TOKFStream okf(&in, okfRead);
    EXPECT_EQ(okf.ChunkCount, 18u);
}

TEST_F(PackagerTest, LooksItemsUpByNameAndIndex) {
    TMemoryStream in(Build({{"settings.dat", "first"}, {"SETTINGS.DAT", "second"}, {"b\xE4r.txt", "ba"}}));
    TPackager p;
    ASSERT_TRUE(p.OpenOnStream(in));
    auto s = p.OpenItemByName("Settings.Dat");
    ASSERT_TRUE(s);
    EXPECT_EQ(ReadAll(*s), "first");
    auto umlaut = p.OpenItemByName("B\xC4R.TXT");
    ASSERT_TRUE(umlaut);
    EXPECT_EQ(ReadAll(*umlaut), "ba");
    EXPECT_FALSE(p.OpenItemByName("missing"));
    EXPECT_FALSE(p.OpenItemByIndex(-1));
    EXPECT_FALSE(p.OpenItemByIndex(3));
    ASSERT_TRUE(p.OpenItemByIndex(1));
    EXPECT_EQ(ReadAll(*p.OpenItemByIndex(1)), "second");
    EXPECT_EQ(p.FileList().First()->FileName, "settings.dat");
    EXPECT_EQ(p.FileList().Last()->FileName, "b\xE4r.txt");
}

TEST_F(PackagerTest, AppendsToAHostAndExtractsByteIdentically) {
    TempDir dir;
    std::vector<uint8_t> host(1482240);
    std::mt19937 rng(7);
    for (auto& b : host) b = static_cast<uint8_t>(rng());
    WriteFileBytes(dir / "host.scr", host);
    std::vector<uint8_t> big(70000);
    for (auto& b : big) b = static_cast<uint8_t>(rng());
    WriteFileBytes(dir / "big.bin", big);
    WriteFileBytes(dir / "empty.bin", {});

    TPackager w;
    ASSERT_TRUE(w.AppendToFile(dir / "host.scr"));
    ASSERT_TRUE(w.AddFile(dir / "big.bin", std::make_unique<TPackageFileListItem>("Lumivor\\big.bin")));
    ASSERT_TRUE(w.AddFile(dir / "empty.bin", std::make_unique<TPackageFileListItem>("empty.bin")));
    EXPECT_FALSE(w.AddFile(dir / "missing.bin"));
    ASSERT_TRUE(w.Close());

    const std::vector<uint8_t> all = ReadFileBytes(dir / "host.scr");
    ASSERT_GT(all.size(), host.size() + 20);
    EXPECT_TRUE(std::equal(host.begin(), host.end(), all.begin()));
    Bytes trailer;
    const uint64_t packageLength = all.size() - host.size();
    trailer.tag("EPKG").i64(1482240).i64(static_cast<int64_t>(packageLength - 8));
    EXPECT_TRUE(std::equal(trailer.vec().begin(), trailer.vec().end(), all.end() - 20));
    // The package's own header counts the trailer in its size.
    EXPECT_EQ(all[host.size() + 24], static_cast<uint8_t>(packageLength));

    ASSERT_TRUE(TPackager::HasAppendedPackage(dir / "host.scr"));
    TPackager r;
    ASSERT_TRUE(r.OpenAppended(dir / "host.scr"));
    EXPECT_EQ(r.State(), TPackager::psReadingAppended);
    EXPECT_EQ(r.PackageStart(), 1482240);
    ASSERT_EQ(r.FileList().Count(), 2);
    EXPECT_EQ(r.FileList().GetItem(0)->Offset, 44);
    ASSERT_TRUE(r.ExtractItem(r.FileList().GetItem(0), dir / "out.bin"));
    EXPECT_EQ(ReadFileBytes(dir / "out.bin"), big);
    ASSERT_TRUE(r.ExtractItem(r.FileList().FindByName("EMPTY.BIN"), dir / "out-empty.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out-empty.bin"));
    EXPECT_EQ(std::filesystem::file_size(dir / "out-empty.bin"), 0u);
    EXPECT_FALSE(r.ExtractItem(nullptr, dir / "x"));
    EXPECT_FALSE(r.ExtractItem(r.FileList().GetItem(0), dir / "no/such/folder/x"));
}

TEST_F(PackagerTest, MissingShortAndTrailerlessFilesHaveNoPackage) {
    TempDir dir;
    EXPECT_FALSE(TPackager::HasAppendedPackage(dir / "missing"));
    WriteFileBytes(dir / "short", {'E', 'P', 'K', 'G'});
    EXPECT_FALSE(TPackager::HasAppendedPackage(dir / "short"));
    WriteFileBytes(dir / "plain", std::vector<uint8_t>(100, 1));
    EXPECT_FALSE(TPackager::HasAppendedPackage(dir / "plain"));
    TPackager p;
    EXPECT_FALSE(p.OpenAppended(dir / "plain"));
    EXPECT_FALSE(p.OpenAppended(dir / "short"));
    EXPECT_FALSE(p.OpenAppended(dir / "missing"));
    EXPECT_EQ(p.State(), TPackager::psClosed);
    EXPECT_FALSE(p.OpenFile(dir / "plain"));
}

TEST_F(PackagerTest, DamagedTrailersAreRefused) {
    TempDir dir;
    const std::vector<uint8_t> pkg = Build({{"a", "xyz"}});
    auto withTrailer = [&](int64_t start, int64_t window) {
        Bytes b;
        b.raw(std::vector<uint8_t>(10, 0)).raw(pkg).tag("EPKG").i64(start).i64(window);
        WriteFileBytes(dir / "h", b.vec());
        TPackager p;
        return p.OpenAppended(dir / "h");
    };
    EXPECT_TRUE(withTrailer(10, static_cast<int64_t>(pkg.size()) + 12));
    EXPECT_FALSE(withTrailer(-1, 100));
    EXPECT_FALSE(withTrailer(1 << 20, 100));
    EXPECT_FALSE(withTrailer(10, 31));
}

TEST_F(PackagerTest, DirectoriesAcceptOnlyEntryClassesAndSaneNumbers) {
    auto open = [](const Bytes& b) {
        TMemoryStream in(b.vec());
        TPackager p;
        return p.OpenOnStream(in);
    };
    auto pkg = [](const std::string& cls, int64_t offset, int64_t size, const std::string& name = "a") {
        Bytes body;
        body.tag("CHNK").u32(0x101).u32(15).raw("abc");
        Bytes entry;
        entry.str(cls).u32(static_cast<uint32_t>(24 + name.size())).i64(offset).i64(size).str(name);
        body.tag("CHNK").u32(0x100).u32(static_cast<uint32_t>(12 + entry.size())).raw(entry.vec());
        Bytes b;
        b.tag("OKNF").u32(0).u32(0x00010002).u32(0x510).u32(2).u32(0x100).u64(0).raw(body.vec());
        return b;
    };
    EXPECT_TRUE(open(pkg("TPackageFileListItem", 44, 3)));
    EXPECT_TRUE(open(pkg("tpackagefilelistitem", 44, 3)));
    EXPECT_FALSE(open(pkg("TPackager", 44, 3)));   // registered elsewhere, but no entry
    EXPECT_FALSE(open(pkg("TOKFStream", 44, 3)));
    EXPECT_FALSE(open(pkg("TNoSuchClass", 44, 3)));
    EXPECT_FALSE(open(pkg("TPackageFileListItem", -1, 3)));
    EXPECT_FALSE(open(pkg("TPackageFileListItem", 44, -3)));
    // An entry of a megabyte is damage: refused before it is read into memory.
    {
        TMemoryStream in(pkg("TPackageFileListItem", 44, 3, std::string(1 << 20, 'a')).vec());
        TPackager p;
        EXPECT_FALSE(p.OpenOnStream(in));
        EXPECT_NE(p.LastError().find("directory entry 1 is"), AnsiString::npos) << p.LastError();
    }

    // An entry that runs past the end opens, but its bytes are not served.
    TMemoryStream in(pkg("TPackageFileListItem", 44, 500).vec());
    TPackager p;
    ASSERT_TRUE(p.OpenOnStream(in));
    EXPECT_FALSE(p.OpenItemByIndex(0));
    TempDir dir;
    EXPECT_FALSE(p.ExtractItem(p.FileList().GetItem(0), dir / "a"));
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(PackagerTest, UnsafeItemNamesAreNeverExtracted) {
    EXPECT_TRUE(IsSafeItemName("Lumivor\\Slideshow.kls"));
    EXPECT_TRUE(IsSafeItemName("a..b\\c"));
    for (const char* bad : {"..\\evil", "a\\..\\..\\evil", "\\etc\\passwd", "/etc/passwd", "C:\\x", "a/../../b", "", ".."})
        EXPECT_FALSE(IsSafeItemName(bad)) << bad;

    TMemoryStream in(Build({{"..\\evil.txt", "x"}}));
    TPackager p;
    ASSERT_TRUE(p.OpenOnStream(in));
    TempDir dir;
    EXPECT_FALSE(p.ExtractItem(p.FileList().GetItem(0), dir / "evil.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "evil.txt"));
}

TEST_F(PackagerTest, StreamedAddsAreFinishedByEndOrClose) {
    TMemoryStream out;
    TPackager p;
    ASSERT_TRUE(p.CreateOnStream(out));
    TStream* s = p.BeginAddStream(std::make_unique<TPackageFileListItem>("one"));
    ASSERT_TRUE(s);
    s->WriteBuffer("hello", 5);
    EXPECT_FALSE(p.BeginAddStream(std::make_unique<TPackageFileListItem>("two")));
    TMemoryStream data(std::vector<uint8_t>{1});
    EXPECT_FALSE(p.AddStream(data, std::make_unique<TPackageFileListItem>("three")));
    ASSERT_TRUE(p.EndAddStream());
    EXPECT_FALSE(p.EndAddStream());
    TStream* s2 = p.BeginAddStream(std::make_unique<TPackageFileListItem>("pending"));
    ASSERT_TRUE(s2);
    s2->WriteBuffer("abc", 3);
    ASSERT_TRUE(p.Close());  // completes the pending add

    EXPECT_EQ(out.Bytes(), Golden({{"one", "hello"}, {"pending", "abc"}}).vec());
}

TEST_F(PackagerTest, SeededMutationsNeverCrashOrOverAllocate) {
    const std::vector<uint8_t> valid = Build({{"Lumivor\\Slideshow.kls", std::string(300, 's')},
                                              {"settings.dat", "opts"},
                                              {"fmod.dll", std::string(50, 'f')}});
    std::mt19937 rng(12345);
    TempDir dir;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = valid;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i) {
            const size_t at = rng() % bytes.size();
            switch (rng() % 3) {
                case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
                case 1: bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
                default: bytes.resize(at + 1); break;
            }
        }
        TMemoryStream in(bytes);
        TPackager p;
        if (!p.OpenOnStream(in)) continue;
        for (int i = 0; i < p.FileList().Count(); ++i) {
            auto item = p.OpenItemByIndex(i);
            if (item) {
                EXPECT_LE(item->GetSize(), static_cast<int64_t>(bytes.size()));
            }
            p.ExtractItem(p.FileList().GetItem(i), dir / "x");
        }
    }
}
