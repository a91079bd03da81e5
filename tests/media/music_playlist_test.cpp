// Music play lists: play durations, M3U reading and writing, the play-list file, the
// item records of both forms and the music settings.
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "platform/Paths.h"
#include "soundlib/SoundFixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace soundtest;

namespace {

std::unique_ptr<TMusicPlayListItem> ItemOf(int length, int start = 0, int end = 0) {
    auto item = std::make_unique<TMusicPlayListItem>();
    item->Length = length;
    item->StartPoint = start;
    item->EndPoint = end;
    return item;
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Little-endian record bytes, written independently of the writer.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& U32(uint32_t v) {
        Put32(b, v);
        return *this;
    }
    Bytes& U8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Bytes& Str(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Block(const std::vector<uint8_t>& content) {
        U32(static_cast<uint32_t>(content.size() + 4));
        b.insert(b.end(), content.begin(), content.end());
        return *this;
    }
};

TEST(MusicPlayList, PlayDurationsFollowStartEndAndLength) {
    EXPECT_EQ(ItemOf(60000, 10000)->GetPlayDuration(), 50000);
    EXPECT_EQ(ItemOf(60000, 10000, 40000)->GetPlayDuration(), 30000);
    EXPECT_EQ(ItemOf(-1, 10000, 40000)->GetPlayDuration(), 30000);
    EXPECT_EQ(ItemOf(-1, 10000)->GetPlayDuration(), -1);
    // Not measured yet and no sound: the length cannot be told.
    auto unmeasured = ItemOf(-2);
    EXPECT_FALSE(unmeasured->IsLengthKnown());
    EXPECT_EQ(unmeasured->GetLength(), -1);

    TMusicPlayList list;
    for (int i = 0; i < 3; ++i)
        list.Add(ItemOf(10000));
    EXPECT_EQ(list.GetTotalDuration(), 32000);
    list.Item(1)->Delay = 500;
    EXPECT_EQ(list.GetTotalDuration(), 32500);
}

TEST(MusicPlayList, OpeningMeasuresTheLengthOnce) {
    SoundTempDir dir;
    std::string wav = dir.File("six.wav");
    WriteConstant(wav, 8000, 6.0, 100);
    InitSoundSystem({.NonRealtime = true, .ForceNew = true, .FmodPath = LibraryPath()});
    TMusicPlayListItem item;
    item.FileName = wav;
    // The background-music placeholder reaches the item through its interface.
    IMusicPlayListItem& music = item;
    EXPECT_EQ(music.GetFileName(), wav);
    EXPECT_EQ(music.GetSound(), nullptr);
    music.Open(wav);
    ASSERT_NE(item.Sound, nullptr);
    EXPECT_EQ(music.GetSound(), item.Sound.get());
    EXPECT_EQ(item.GetVolumeEnvelope(), nullptr);
    item.CreateVolumeCurve();
    item.Sound->SetEnvelopeCurve(item.GetVolumeEnvelope());
    item.FreeVolumeCurve();  // the sound lets go of the freed curve
    EXPECT_EQ(item.Sound->GetEnvelopeCurve(), nullptr);
    EXPECT_EQ(item.Length, 6000);
    EXPECT_EQ(item.GetPlayDuration(), 6000);
    SoundSystem()->MusicList->Add(item.Sound.get());
    item.Close();
    EXPECT_EQ(item.Sound, nullptr);
    EXPECT_EQ(SoundSystem()->MusicList->Count(), 0);
    // A file that does not open keeps an unknown length.
    TMusicPlayListItem missing;
    missing.Open(dir.File("none.wav"));
    EXPECT_EQ(missing.Length, -1);
    EXPECT_EQ(missing.GetLength(), -1);
    // Nor does an empty name (nothing the run may open): the stored name is not tried.
    TMusicPlayListItem refused;
    refused.FileName = wav;
    refused.Open("");
    ASSERT_NE(refused.Sound, nullptr);
    EXPECT_FALSE(refused.Sound->IsOpen());
    EXPECT_EQ(refused.GetLength(), -1);
    ShutdownSoundSystem(true);
}

TEST(MusicPlayList, M3UReadKeepsAddressesAndAbsolutePathsAndSkipsExtLines) {
    SoundTempDir dir;
    std::string m3u = dir.File("list.m3u");
    WriteFile(m3u, std::vector<uint8_t>{});
    std::string text =
        "#EXTM3U\r\n#EXTINF:123,Artist - Title\r\nsub\\song.mp3\r\nhttp://Example.org/Stream.mp3\r\n"
        "\\music\\abs.ogg\r\nC:\\x\\y.wav\r\n#comment\r\n\r\n#EX\nlast.wav";
    WriteFile(m3u, std::vector<uint8_t>(text.begin(), text.end()));
    TMusicPlayList list;
    list.Add(ItemOf(1000));  // reading appends
    ASSERT_TRUE(list.LoadFromM3U(FromPosixPath(m3u)));
    const AnsiString folder = FromPosixPath(dir.Path()) + "\\";
    ASSERT_EQ(list.Count(), 8);
    EXPECT_EQ(list.Item(1)->FileName, folder + "sub\\song.mp3");
    EXPECT_EQ(list.Item(2)->FileName, "http://Example.org/Stream.mp3");
    EXPECT_EQ(list.Item(3)->FileName, "\\music\\abs.ogg");
    EXPECT_EQ(list.Item(4)->FileName, "C:\\x\\y.wav");
    EXPECT_EQ(list.Item(5)->FileName, folder + "#comment");
    EXPECT_EQ(list.Item(6)->FileName, folder + "#EX");
    EXPECT_EQ(list.Item(7)->FileName, folder + "last.wav");
    EXPECT_FALSE(list.LoadFromM3U(FromPosixPath(dir.File("missing.m3u"))));
}

TEST(MusicPlayList, M3UWriteUsesPathsRelativeToTheList) {
    SoundTempDir dir;
    const AnsiString folder = FromPosixPath(dir.Path()) + "\\";
    TMusicPlayList list;
    for (AnsiString name : {folder + "a.mp3", folder + "Sub\\b.ogg", AnsiString("HTTP://host/c.mp3"),
                            folder + "Sub\\Deeper\\d.wav"}) {
        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = name;
        list.Add(std::move(item));
    }
    auto other = std::make_unique<TMusicPlayListItem>();
    other->FileName = "D:\\elsewhere\\e.wav";
    list.Add(std::move(other));
    AnsiString target = folder + "out.m3u";
    ASSERT_TRUE(list.SaveToM3U(target));
    EXPECT_EQ(ReadText(dir.File("out.m3u")),
              "#EXTM3U\r\na.mp3\r\nSub\\b.ogg\r\nHTTP://host/c.mp3\r\nSub\\Deeper\\d.wav\r\nD:\\elsewhere\\e.wav\r\n");
    // Read back, the names are the ones written.
    TMusicPlayList back;
    ASSERT_TRUE(back.LoadFromM3U(target));
    ASSERT_EQ(back.Count(), 5);
    EXPECT_EQ(back.Item(1)->FileName, folder + "Sub\\b.ogg");

    EXPECT_EQ(ExtractRelativePath("C:\\a\\b\\", "C:\\a\\c\\"), "..\\c");
    EXPECT_EQ(ExtractRelativePath("C:\\a\\", "c:\\A\\"), "");
    EXPECT_EQ(ExtractRelativePath("/x/y/", "/x/y/z/"), "z");
}

// A volume curve of two keys in its stored form: count, key class, then each key's
// time, linear flag and value.
std::vector<uint8_t> CurveBytes() {
    Bytes curve;
    curve.U32(2).Str("TTimeIntegerValue").U32(0).U8(0).U32(255).U32(1000).U8(1).U32(0);
    return curve.b;
}

TEST(MusicPlayList, ItemRecordsOfBothForms) {
    InitializeTimeToValue();
    // Current form: u32 volume, delay after the length, curve block, spare block.
    Bytes current;
    current.Str("C:\\m\\a.mp3").U32(200).U32(1000).U32(9000).U32(300).U32(400).U32(1500).U32(12000).U32(250);
    current.Block(CurveBytes()).Block({});
    TMemoryStream mem(current.b);
    TOKFStream in(&mem, okfRawRead);
    TMusicPlayListItem item;
    ASSERT_TRUE(item.LoadFromStream(in, 0x305));
    EXPECT_EQ(item.FileName, "C:\\m\\a.mp3");
    EXPECT_EQ(item.Volume, 200);
    EXPECT_EQ(item.StartPoint, 1000);
    EXPECT_EQ(item.EndPoint, 9000);
    EXPECT_EQ(item.FadeInTime, 300);
    EXPECT_EQ(item.FadeOutTime, 400);
    EXPECT_EQ(item.Gap, 1500);
    EXPECT_EQ(item.Length, 12000);
    EXPECT_EQ(item.Delay, 250);
    ASSERT_TRUE(item.HasVolumeCurve());
    ASSERT_EQ(item.VolumeCurve->KeyCount(), 2);
    EXPECT_EQ(item.VolumeCurve->GetValue(500), 128);
    ASSERT_NE(item.GetVolumeEnvelope(), nullptr);
    EXPECT_EQ(item.GetVolumeEnvelope()->GetVolumeAt(1000), 0);
    EXPECT_EQ(mem.GetPosition(), static_cast<int64_t>(current.b.size()));

    // The writer gives the same bytes back.
    TMemoryStream outMem;
    TOKFStream out(&outMem, okfRaw);
    ASSERT_TRUE(item.SaveToStream(out));
    EXPECT_EQ(outMem.Bytes(), current.b);

    // Old form (0x303 and lower): byte volume, ends after the length.
    Bytes old;
    old.Str("b.wav").U8(77).U32(0).U32(0).U32(0).U32(0).U32(1000).U32(5000).U8(0xEE);
    TMemoryStream oldMem(old.b);
    TOKFStream oldIn(&oldMem, okfRawRead);
    TMusicPlayListItem oldItem;
    ASSERT_TRUE(oldItem.LoadFromStream(oldIn, 0x303));
    EXPECT_EQ(oldItem.Volume, 77);
    EXPECT_EQ(oldItem.Length, 5000);
    EXPECT_EQ(oldItem.Delay, 0);
    EXPECT_EQ(oldMem.GetPosition(), static_cast<int64_t>(old.b.size()) - 1);

    // A truncated record is refused.
    Bytes cut;
    cut.Str("c.wav").U32(1);
    TMemoryStream cutMem(cut.b);
    TOKFStream cutIn(&cutMem, okfRawRead);
    TMusicPlayListItem cutItem;
    EXPECT_FALSE(cutItem.LoadFromStream(cutIn, 0x305));

    // Copies take the curve along.
    auto copy = item.Clone();
    EXPECT_EQ(copy->Delay, 250);
    ASSERT_TRUE(copy->HasVolumeCurve());
    EXPECT_EQ(copy->VolumeCurve->KeyCount(), 2);
    EXPECT_EQ(copy->GetVolumeEnvelope()->GetVolumeAt(0), 255);

    // A curve block of the wrong key kind is refused.
    Bytes wrong;
    wrong.Str("d.wav").U32(1).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    Bytes wrongCurve;
    wrongCurve.U32(1).Str("TTimeVector2DValue").U32(0).U8(0).U32(1).U32(2);
    wrong.Block(wrongCurve.b).Block({});
    TMemoryStream wrongMem(wrong.b);
    TOKFStream wrongIn(&wrongMem, okfRawRead);
    TMusicPlayListItem wrongItem;
    EXPECT_FALSE(wrongItem.LoadFromStream(wrongIn, 0x305));
}

TEST(MusicPlayList, PlayListFileRoundTrip) {
    InitializeTimeToValue();
    SoundTempDir dir;
    TMusicPlayList list;
    list.Add(ItemOf(10000, 100, 9000));
    list.Add(ItemOf(20000));
    list.Item(0)->FileName = "eins.mp3";
    list.Item(0)->Delay = 700;
    list.Item(0)->CreateVolumeCurve();
    auto key = std::make_unique<TTimeIntegerValue>();
    key->Time = 400;
    key->Value = 77;
    list.Item(0)->VolumeCurve->AddKey(std::move(key));
    list.Item(1)->FileName = "zwei.ogg";
    list.Item(1)->Volume = 30;
    AnsiString file = FromPosixPath(dir.File("list.kpl"));
    ASSERT_TRUE(list.SaveToFile(file));

    // The header: magic, size, format version, type 1285, one chunk, content version 256.
    std::string bytes = ReadText(dir.File("list.kpl"));
    ASSERT_GT(bytes.size(), 44u);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                     static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                     static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
    };
    EXPECT_EQ(bytes.substr(0, 4), "OKNF");
    EXPECT_EQ(u32(12), 1285u);
    EXPECT_EQ(u32(16), 1u);
    EXPECT_EQ(u32(20), 256u);
    EXPECT_EQ(u32(36), 256u);  // chunk type
    EXPECT_EQ(u32(44), 2u);    // item count

    TMusicPlayList back;
    ASSERT_TRUE(back.LoadFromFile(file));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Item(0)->FileName, "eins.mp3");
    EXPECT_EQ(back.Item(0)->Delay, 700);
    EXPECT_EQ(back.Item(0)->EndPoint, 9000);
    ASSERT_TRUE(back.Item(0)->HasVolumeCurve());
    EXPECT_EQ(back.Item(0)->VolumeCurve->GetValue(400), 77);
    EXPECT_EQ(back.Item(1)->Volume, 30);
    EXPECT_FALSE(back.Item(1)->HasVolumeCurve());

    // A damaged file adds nothing; a file of another type loads nothing and fails.
    std::string damaged = bytes.substr(0, bytes.size() - 3);
    WriteFile(dir.File("bad.kpl"), std::vector<uint8_t>(damaged.begin(), damaged.end()));
    TMusicPlayList bad;
    EXPECT_FALSE(bad.LoadFromFile(FromPosixPath(dir.File("bad.kpl"))));
    EXPECT_EQ(bad.Count(), 0);
    std::string other = bytes;
    other[12] = 0x01;
    WriteFile(dir.File("other.kpl"), std::vector<uint8_t>(other.begin(), other.end()));
    TMusicPlayList none;
    EXPECT_FALSE(none.LoadFromFile(FromPosixPath(dir.File("other.kpl"))));
    EXPECT_EQ(none.Count(), 0);
    EXPECT_FALSE(none.LoadFromFile(FromPosixPath(dir.File("missing.kpl"))));

    auto clone = list.Clone();
    EXPECT_EQ(clone->Count(), 2);
    EXPECT_EQ(clone->Item(1)->FileName, "zwei.ogg");
}

TEST(MusicProperties, DefaultsStoredFormAndFileReferences) {
    TMusicProperties p;
    EXPECT_FALSE(p.HasMusic());
    EXPECT_EQ(p.EndFadeTime, 2000);
    EXPECT_EQ(p.SoundFadeTime, 300);
    EXPECT_EQ(p.VolumeDuringSound, 40);
    EXPECT_EQ(EditorFrameClassNames(TMusicProperties::StaticClassInfo()),
              "\r\nTSlideShowPropertiesMusicPropertiesFrame\r\nTSlideShowPropertiesMusicEditorFrame");
    p.PlayList->Add(ItemOf(5000));
    p.PlayList->Item(0)->FileName = "a.mp3";
    EXPECT_TRUE(p.HasMusic());
    p.MusicVolume = 180;
    p.FollowShowTime = true;
    p.LowerObjectSounds = true;
    p.RepeatPlayList = false;

    TMemoryStream mem;
    ASSERT_TRUE(p.SaveToStream(mem, 1281, 773));
    TMusicProperties q;
    q.PlayList->Add(ItemOf(1));  // reading replaces the list
    mem.SetPosition(0);
    ASSERT_TRUE(q.LoadFromStream(mem, 1281, 773));
    EXPECT_EQ(q.MusicVolume, 180);
    EXPECT_TRUE(q.FollowShowTime);
    EXPECT_TRUE(q.LowerObjectSounds);
    EXPECT_FALSE(q.RepeatPlayList);
    ASSERT_EQ(q.PlayList->Count(), 1);
    EXPECT_EQ(q.PlayList->Item(0)->FileName, "a.mp3");

    // File references, resolved through the show when it has one.
    EXPECT_EQ(q.GetFileNames(), (std::vector<AnsiString>{"a.mp3"}));
    EXPECT_EQ(q.GetResolvedFileNames(), (std::vector<AnsiString>{"a.mp3"}));
    struct TShow : TSlideShowHost {
        void ObjectChanged(TSlideShowObject*, uint16_t, int32_t) override {}
        int32_t GetDefaultDuration() const override { return 5000; }
        AnsiString ResolveFileName(const AnsiString& n) const override {
            return n == "a.mp3" ? AnsiString("C:\\show\\a.mp3") : AnsiString();
        }
        TSlideShowObjectList* GetObjectList() override { return nullptr; }
    } show;
    q.Show = &show;
    EXPECT_EQ(q.GetResolvedFileNames(), (std::vector<AnsiString>{"C:\\show\\a.mp3"}));
    q.ReplaceFileName("C:\\show\\a.mp3", "b.mp3");
    EXPECT_EQ(q.PlayList->Item(0)->FileName, "b.mp3");
    // A name the show cannot resolve stays as stored.
    EXPECT_EQ(q.GetResolvedFileNames(), (std::vector<AnsiString>{"b.mp3"}));
    q.ReplaceFileName("b.mp3", "c.mp3");
    EXPECT_EQ(q.GetFileNames(), (std::vector<AnsiString>{"c.mp3"}));
    EXPECT_EQ(q.GetFileCount(), -1);
    IFileReferences* refs = Supports<IFileReferences>(static_cast<TProperties*>(&q));
    ASSERT_NE(refs, nullptr);
    EXPECT_TRUE(q.Supports(IID_IFileReferences));
    EXPECT_EQ(refs->GetFileNames(), (std::vector<AnsiString>{"c.mp3"}));
    EXPECT_EQ(refs->GetFileName(), "");
}

}  // namespace
