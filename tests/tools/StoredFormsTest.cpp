// Stored forms read as far as their framing can be followed: a show whose item run is
// cut short keeps and plays what was read, a play list of another type is no success,
// settings load from any container, translation sections and glyph outlines are read
// as laid down.
#include "ColourShow.h"
#include "TestSupport.h"
#include "ToolRunSupport.h"
#include "document/SlideShowProperties.h"
#include "foundation/Properties.h"
#include "foundation/Translation.h"
#include "graphics/OutlineGeometry.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/DebugOutput.h"
#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// "result items dropped" of a show loaded from bytes, and the debug lines it wrote.
std::string LoadShowBytes(const Bytes& bytes, std::string* debug = nullptr) {
    ToolShowPlugins();
    TFakeDebugOutput out;
    SetDebugOutput(&out);
    TMemoryStream m(bytes.vec());
    TSlideShow show;
    const int result = show.LoadFromStream(m);
    SetDebugOutput(nullptr);
    if (debug)
        for (const AnsiString& line : out.Lines) *debug += line + "\n";
    return std::to_string(result) + " " + std::to_string(show.GetTotalObjectCount()) + " " +
           std::to_string(show.DroppedItemCount());
}

// A show file holding only the run (with chunks top-level chunks).
Bytes ShowWithRun(const Bytes& run, uint32_t chunks) { return ShowFile(run, chunks); }

Bytes Thumbnail() { return Chunk(0x403, Bytes().u32(0).u32(0)); }

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// The offsets of a container file's chunks from its first on, as laid down one after another.
std::vector<size_t> ChunkOffsets(const std::vector<uint8_t>& file) {
    std::vector<size_t> at;
    for (size_t pos = 32; pos + 12 <= file.size(); pos += U32At(file, pos + 8)) at.push_back(pos);
    return at;
}

// A glyph outline buffer: one triangle contour, then what follows.
std::vector<uint8_t> Triangle(const std::vector<uint8_t>& after) {
    Bytes b;
    b.u32(16 + 4 + 2 * 8).u32(24).u32(0x00010000).u32(0x00010000);  // from (1, 1)
    b.u32(1 | 2 << 16).u32(0x00050000).u32(0x00010000).u32(0x00050000).u32(0x00050000);  // to (5, 1), (5, 5)
    b.raw(after);
    return b.vec();
}

std::string OutlineContours(const std::vector<uint8_t>& buffer) {
    TPolygon32 polygon;
    OutlineToPolygon(polygon, buffer.data(), uint32_t(buffer.size()), MakeFixedRect(0, 0, 10000 << 16, 10000 << 16),
                     0, 0, 8 << 16);
    std::string text = std::to_string(polygon.Points.size());
    for (const auto& line : polygon.Points) text += " " + std::to_string(line.size());
    return text;
}

}  // namespace

TEST(StoredForms, ReadAsFarAsTheirFramingGoes) {
    TempDir dir;
    ToolShowPlugins();
    struct Case {
        const char* What;
        std::function<std::string()> Outcome;
        const char* Expected;
    };
    const Case cases[] = {
        // Shows: "result items dropped".
        {"a root run claiming one item more than it holds",
         [] { return LoadShowBytes(ShowWithRun(Concat({ListRun(3), Dummy(1000), Dummy(2000)}), 3)); },
         "0 2 1"},
        {"a child run claiming one item more, with the root run still open",
         [] {
             return LoadShowBytes(ShowWithRun(Concat({ListRun(2), Chapter("K"), ListRun(2), Dummy(500)}), 4));
         },
         "0 2 2"},
        {"a foreign chunk inside the root run",
         [] {
             return LoadShowBytes(
                 ShowWithRun(Concat({ListRun(3), Dummy(1000), Thumbnail(), Dummy(2000), Dummy(3000)}), 5));
         },
         "0 1 2"},
        {"a chunk with a bad magic inside the root run: framing that cannot be followed",
         [] {
             Bytes bad;
             bad.tag("XXXX").u32(0x401).u32(12);
             return LoadShowBytes(ShowWithRun(Concat({ListRun(2), Dummy(1000), bad}), 3));
         },
         "1 1 0"},
        {"a chunk reaching past the stream inside the root run",
         [] {
             Bytes past;
             past.tag("CHNK").u32(0x401).u32(5000);
             return LoadShowBytes(ShowWithRun(Concat({ListRun(2), Dummy(1000), past}), 3));
         },
         "1 1 0"},
        // A play list file of another type: "loaded count".
        {"a play list file of another type",
         [&] {
             TMusicPlayList list;
             list.Add(std::make_unique<TMusicPlayListItem>());
             const std::string file = dir / "liste.kpl";
             if (!list.SaveToFile(dir.Program() + "liste.kpl")) return std::string("not saved");
             std::vector<uint8_t> bytes = ReadFileBytes(file);
             PutU32At(bytes, 12, 0x501);  // the file type of a show
             WriteFileBytes(file, bytes);
             TMusicPlayList other;
             const bool loaded = other.LoadFromFile(dir.Program() + "liste.kpl");
             return std::to_string(loaded) + " " + std::to_string(other.Count());
         },
         "0 0"},
        // Settings of a container of another type with file type 0: "loaded title".
        {"settings from a container of another type",
         [&] {
             TPropertiesList stored;
             auto* info = static_cast<TSlideShowInfoProperties*>(
                 stored.Add(0, TSlideShowInfoProperties::StaticClassInfo(), "", true));
             info->Title = "Sommer";
             if (!stored.SaveToFile(dir.Program() + "werte.dat")) return std::string("not saved");
             std::vector<uint8_t> bytes = ReadFileBytes(dir / "werte.dat");
             PutU32At(bytes, 12, 0x505);  // the file type of a play list
             WriteFileBytes(dir / "werte.dat", bytes);
             TPropertiesList list;
             auto* target = static_cast<TSlideShowInfoProperties*>(
                 list.Add(0, TSlideShowInfoProperties::StaticClassInfo(), "", true));
             const bool loaded = list.LoadFromFile(dir.Program() + "werte.dat", 0, 0);
             return std::to_string(loaded) + " " + std::string(target->Title);
         },
         "1 Sommer"},
        // A translation table: the section of the first header that matches exactly.
        {"a translation section header in another letter case",
         [] {
             TSimpleTranslation t;
             t.SetLines(TextToLines("[sound.dfm]\r\nCaption=klein\r\n[Sound.dfm]\r\nCaption=Klang\r\n"
                                    "[Sound.dfm]\r\nCaption=zweites\r\n"));
             const bool found = t.SelectSection("Sound.dfm", false, false, true);
             return std::to_string(found) + " " + std::string(t.Translate("Caption", "-"));
         },
         "1 Klang"},
        // Glyph outlines: "contours points per contour".
        {"an outline ending in a bare contour header",
         [] {
             Bytes header;
             header.u32(16).u32(24).u32(0x00090000).u32(0x00090000);
             return OutlineContours(Triangle(header.vec()));
         },
         "1 4"},
        {"an outline ending in fewer bytes than a header",
         [] { return OutlineContours(Triangle(std::vector<uint8_t>(15, 0))); }, "1 4"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.Outcome(), c.Expected) << c.What;

    // The debug line says which run was cut short, and where.
    std::string debug;
    LoadShowBytes(ShowWithRun(Concat({ListRun(2), Chapter("K"), ListRun(3), Dummy(500), Thumbnail()}), 5), &debug);
    EXPECT_NE(debug.find("Show cut short: the item run of 1 lacks 2 items (a chunk of type 0x403)"), std::string::npos)
        << debug;
    EXPECT_NE(debug.find("Show cut short: the top item run lacks 1 item (a chunk of type 0x403)"), std::string::npos)
        << debug;
}

// The show tool plays what a damaged show holds: its root run claiming one picture more
// than it holds, or broken by a foreign chunk before its last picture.
TEST(StoredForms, TheShowToolRendersWhatADamagedShowHolds) {
    TempDir dir;
    const std::string good = WriteColourShow(dir, 160, 120);
    const std::vector<uint8_t> bytes = ReadFileBytes(good);
    size_t run = 0;
    std::vector<size_t> items;
    for (size_t at : ChunkOffsets(bytes)) {
        if (U32At(bytes, at + 4) == 0x402 && run == 0) run = at;
        if (U32At(bytes, at + 4) == 0x401) items.push_back(at);
    }
    ASSERT_NE(run, 0u);
    ASSERT_EQ(items.size(), 3u);
    ASSERT_EQ(U32At(bytes, run + 12), 3u);

    std::vector<uint8_t> claimsMore = bytes;
    PutU32At(claimsMore, run + 12, 4);
    WriteFileBytes(dir / "mehr.kls", claimsMore);

    std::vector<uint8_t> foreign = bytes;
    Bytes chunk;
    chunk.tag("CHNK").u32(0x403).u32(16).u32(7);
    foreign.insert(foreign.begin() + std::ptrdiff_t(items[2]), chunk.vec().begin(), chunk.vec().end());
    PutU32At(foreign, 4, uint32_t(foreign.size()));
    PutU32At(foreign, 16, U32At(foreign, 16) + 1);
    PutU32At(foreign, 24, uint32_t(foreign.size()));
    WriteFileBytes(dir / "fremd.kls", foreign);

    struct Case {
        const char* Show;
        const char* Dropped;
        int Pictures;
    } cases[] = {{"mehr.kls", "dropped items: 1\n", 3}, {"fremd.kls", "dropped items: 1\n", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Show);
        const ToolRun dump = RunTool(dir, "dump " + Q(dir / c.Show), "GC_DEBUG=1 ");
        EXPECT_EQ(dump.status, 0) << dump.err;
        EXPECT_NE(dump.out.find("load result: 0\n"), std::string::npos) << dump.out;
        EXPECT_NE(dump.out.find(c.Dropped), std::string::npos) << dump.out;
        EXPECT_NE(dump.out.find("items: " + std::to_string(c.Pictures) + " top-level"), std::string::npos) << dump.out;
        EXPECT_NE(dump.err.find("Show cut short: the top item run lacks 1 item"), std::string::npos) << dump.err;
        // In each picture's still phase, that picture's colour.
        for (int i = 0; i < c.Pictures; ++i) {
            const std::string png = "bild-" + std::to_string(i) + "-" + c.Show + ".png";
            const ToolRun r = RunTool(dir, "render " + Q(dir / c.Show) + " --at " + std::to_string(i * 3000 + 2000) +
                                               " --size 160x120 " + Q(dir / png));
            ASSERT_EQ(r.status, 0) << r.err;
            const TBitmap32 picture = ReadPngFile(dir / png);
            ASSERT_EQ(picture.Width(), 160);
            std::filesystem::copy_file(dir / png, TestOutputFolder() / png,
                                       std::filesystem::copy_options::overwrite_existing);
            const TColor32 p = picture.Pixel(80, 60), want = kShowColors[i];
            for (int shift : {0, 8, 16}) EXPECT_NEAR(int(p >> shift & 0xFF), int(want >> shift & 0xFF), 8) << i;
        }
    }
}
