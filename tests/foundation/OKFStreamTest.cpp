#include "TestSupport.h"
#include "foundation/FontTools.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/PartialStream.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

int CodeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EOKFError& e) {
        return e.Code();
    }
    return 0;
}

// The header as this system writes it, built field by field.
Bytes Header(uint32_t fileType, uint32_t chunks, uint32_t content, uint64_t size) {
    Bytes b;
    b.tag("OKNF").u32(static_cast<uint32_t>(size)).u32(0x00010002).u32(fileType).u32(chunks).u32(content).u64(size);
    return b;
}

// Keeps a position and a size but no bytes, so writers can be driven past 4 GiB.
class HugeNullStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        pos_ += count;
        size_ = std::max(size_, pos_);
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        pos_ = (origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : size_) + offset;
        return pos_;
    }
    int64_t GetSize() override { return size_; }

private:
    int64_t pos_ = 0;
    int64_t size_ = 0;
};

}  // namespace

TEST(OKFStream, HeaderAfterThreeChunksMatchesTheGoldenBytes) {
    TMemoryStream m;
    {
        TOKFStream okf(&m, okfCreate);
        okf.Header.FileType = 1281;
        okf.Header.ContentVersion = 773;
        for (uint32_t type = 1; type <= 3; ++type) {
            const int64_t start = okf.BeginChunk();
            okf.WriteInteger(static_cast<int32_t>(type * 10));
            okf.EndChunk(start, type);
        }
        okf.Close();
    }
    Bytes want = Header(1281, 3, 773, 32 + 3 * 16);
    for (uint32_t type = 1; type <= 3; ++type) want.tag("CHNK").u32(type).u32(16).u32(type * 10);
    EXPECT_EQ(m.Bytes(), want.vec());
}

TEST(OKFStream, FreshContainerHasAFullHeaderAndTheDestructorRewritesIt) {
    TMemoryStream m;
    { TOKFStream okf(&m, okfCreate); }
    EXPECT_EQ(m.Bytes(), Header(0, 0, 0, 32).vec());

    TMemoryStream m2;
    {
        TOKFStream okf(&m2, okfCreate);
        okf.Header.FileType = 7;
        okf.IncChunkCount();
        okf.SeekToEnd();
        okf.WriteByte(1);
    }  // no Close: the destructor still finishes the header
    EXPECT_EQ(m2.Bytes(), Header(7, 1, 0, 33).u8(1).vec());
}

TEST(OKFStream, ValuesEmptyStringsAndEmptyBlocksEncodeByteForByte) {
    TMemoryStream m;
    TOKFStream okf(&m, okfRaw);
    okf.WriteBoolean(true);
    okf.WriteInteger(-2);
    okf.WriteCardinal(0xA1B2C3D4);
    okf.WriteSingle(1.5f);
    okf.WriteDouble(-0.25);
    okf.WriteInt64(-3);
    okf.WriteString("");
    okf.WriteString("ab");
    okf.BeginWriteBlock();
    okf.EndWriteBlock();
    okf.BeginWriteBlock();
    okf.BeginWriteBlock();
    okf.WriteByte(9);
    okf.EndWriteBlock();
    okf.EndWriteBlock();
    Bytes want;
    want.u8(1).i32(-2).u32(0xA1B2C3D4).u32(0x3FC00000).u64(0xBFD0000000000000ULL).i64(-3);
    want.u32(0).u32(2).raw("ab").u32(4).u32(9).u32(5).u8(9);
    EXPECT_EQ(m.Bytes(), want.vec());

    m.SetPosition(0);
    EXPECT_TRUE(okf.ReadBooleanValue());
    EXPECT_EQ(okf.ReadIntegerValue(), -2);
    EXPECT_EQ(okf.ReadCardinalValue(), 0xA1B2C3D4u);
    EXPECT_EQ(okf.ReadSingleValue(), 1.5f);
    EXPECT_EQ(okf.ReadDoubleValue(), -0.25);
    EXPECT_EQ(okf.ReadInt64Value(), -3);
    EXPECT_EQ(okf.ReadStringValue(), "");
    EXPECT_EQ(okf.ReadStringValue(), "ab");
    EXPECT_EQ(okf.BeginReadBlock(), 0u);
    okf.EndReadBlock();
    EXPECT_EQ(okf.BeginReadBlock(), 5u);
    EXPECT_EQ(okf.BeginReadBlock(), 1u);
    okf.EndReadBlock();
    okf.EndReadBlock();
    EXPECT_TRUE(okf.Eof());
}

TEST(OKFStream, NegativeStringLengthReadsAsEmpty) {
    TMemoryStream m(Bytes().i32(-7).u8(42).vec());
    TOKFStream okf(&m, okfRawRead);
    EXPECT_EQ(okf.ReadStringValue(), "");
    EXPECT_EQ(okf.ReadByteValue(), 42);
}

TEST(OKFStream, FontRecordsAndTheNoFontRecord) {
    TMemoryStream m;
    TOKFStreamWinTypes okf(&m, okfRaw);
    TFont font;
    font.Name = "Arial Black";
    font.Size = 24;
    font.Color = 0x00FF8040;
    font.Style = fsBold | fsStrikeOut;
    okf.WriteFont(&font);
    okf.WriteFont(nullptr);
    okf.WriteDoubleRect({0.25, 0.5, 0.75, 1.0});
    const uint32_t n = 17 + 11;
    Bytes want;
    want.u32(n).u32(n).u32(0x00FF8040).u32(11).raw("Arial Black").i32(24).u8(9).u32(0xFFFFFFFF);
    want.u64(0x3FD0000000000000ULL).u64(0x3FE0000000000000ULL).u64(0x3FE8000000000000ULL).u64(0x3FF0000000000000ULL);
    EXPECT_EQ(m.Bytes(), want.vec());

    m.SetPosition(0);
    auto read = std::make_unique<TFont>();
    okf.ReadFont(read);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, font);
    const int64_t before = okf.GetPosition();
    okf.ReadFont(read);
    EXPECT_FALSE(read);
    EXPECT_EQ(okf.GetPosition(), before + 4);
    EXPECT_EQ(okf.ReadDoubleRectValue(), (TDoubleRect{0.25, 0.5, 0.75, 1.0}));
}

TEST(OKFStream, RawModeWritesInTheMiddleAndLeavesEverythingElse) {
    std::vector<uint8_t> bytes(120, 0xEE);
    TMemoryStream m(bytes);
    m.SetPosition(100);
    {
        TOKFStream okf(&m, okfRaw);
        okf.WriteInteger(0x01020304);
        okf.BeginWriteBlock();
        okf.WriteByte(7);
        okf.EndWriteBlock();
    }
    std::vector<uint8_t> want(bytes);
    const std::vector<uint8_t> mid = Bytes().u32(0x01020304).u32(5).u8(7).vec();
    std::copy(mid.begin(), mid.end(), want.begin() + 100);
    EXPECT_EQ(m.Bytes(), want);
}

TEST(OKFStream, ReadersSkipUnknownChunksAndTrailingBlockFields) {
    // Chunk 1 is unknown; chunk 2 holds a block with one field more than this reader knows.
    Bytes b = Header(5, 2, 1, 0);
    b.tag("CHNK").u32(99).u32(12 + 3).raw("xyz");
    b.tag("CHNK").u32(2).u32(12 + 4 + 4 + 8 + 4).u32(16).i32(77).i64(123456789).i32(55);
    TMemoryStream m(b.vec());
    TOKFStream okf(&m, okfRead);
    ASSERT_EQ(okf.ChunkCount, 2u);
    okf.SeekToFirstChunk();
    int32_t first = 0, after = 0;
    for (uint32_t i = 0; i < okf.ChunkCount; ++i) {
        const int64_t start = okf.GetPosition();
        TChunkHeader h;
        okf.ReadChunkHeader(h);
        if (h.ChunkType == 2) {
            EXPECT_EQ(okf.BeginReadBlock(), 12u);
            first = okf.ReadIntegerValue();
            okf.EndReadBlock();
            after = okf.ReadIntegerValue();
        }
        okf.SetPosition(start + h.Size);
    }
    EXPECT_EQ(first, 77);
    EXPECT_EQ(after, 55);
    EXPECT_TRUE(okf.Eof());
}

TEST(OKFStream, OldHeadersTakeTheirSizeZeroExtended) {
    Bytes b;
    b.tag("OKNF").u32(0x80000010).u32(0x00010001).u32(1).u32(0).u32(0).u64(0);
    TMemoryStream m(b.vec());
    TOKFStream okf(&m, okfRead);
    EXPECT_EQ(okf.Header.FileSize64, 0x80000010LL);
}

TEST(OKFStream, DamagedInputRaisesTheRightCodes) {
    auto open = [](const Bytes& b, const std::function<void(TOKFStreamWinTypes&)>& read) {
        return CodeOf([&] {
            TMemoryStream m(b.vec());
            TOKFStreamWinTypes okf(&m, okfRead);
            okf.SeekToFirstChunk();
            read(okf);
        });
    };
    auto chunk = [](TOKFStreamWinTypes& okf) {
        TChunkHeader h;
        okf.ReadChunkHeader(h);
    };
    Bytes badMagic;
    badMagic.tag("OKNX").u32(0).u32(0).u32(0).u32(0).u32(0).u64(0);
    EXPECT_EQ(open(badMagic, [](auto&) {}), okfNoOKFFile);
    EXPECT_EQ(open(Bytes().tag("OKNF"), [](auto&) {}), okfNoOKFFile);  // cut header
    EXPECT_EQ(open(Header(1, 1000, 0, 0).tag("CHNK"), [](auto&) {}), okfReadError);  // chunk count
    EXPECT_EQ(open(Header(1, 1, 0, 0).tag("CHNX").u32(1).u32(12), chunk), okfBadChunkHeader);
    EXPECT_EQ(open(Header(1, 1, 0, 0).tag("CHNK").u32(1).u32(11), chunk), okfBadChunkHeader);
    EXPECT_EQ(open(Header(1, 1, 0, 0).tag("CHNK").u32(1).u32(13), chunk), okfBadChunkHeader);  // past end
    // A count that promises more chunks than the file has room for.
    EXPECT_EQ(open(Header(1, 1, 0, 0).tag("CHNK").u32(1), chunk), okfReadError);

    auto inChunk = [&](const Bytes& content, const std::function<void(TOKFStreamWinTypes&)>& read) {
        Bytes b = Header(1, 1, 0, 0);
        b.tag("CHNK").u32(1).u32(static_cast<uint32_t>(12 + content.size())).raw(content.vec());
        b.raw(std::string(64, 'p'));  // bytes after the chunk must not count
        return open(b, [&](TOKFStreamWinTypes& okf) {
            chunk(okf);
            read(okf);
        });
    };
    EXPECT_EQ(inChunk(Bytes().i32(5).raw("abcd"), [](auto& o) { o.ReadStringValue(); }), okfReadError);
    EXPECT_EQ(inChunk(Bytes().i32(0x7FFFFFFF), [](auto& o) { o.ReadStringValue(); }), okfReadError);
    EXPECT_EQ(inChunk(Bytes().u32(3), [](auto& o) { o.BeginReadBlock(); }), okfReadError);
    EXPECT_EQ(inChunk(Bytes().u32(9).u32(0), [](auto& o) { o.BeginReadBlock(); }), okfReadError);
    EXPECT_EQ(inChunk(Bytes().u32(12).u32(12).u32(4), [](auto& o) {
                  o.BeginReadBlock();
                  o.BeginReadBlock();  // inner block longer than the outer one
              }),
              okfReadError);
    std::unique_ptr<TFont> f;
    EXPECT_EQ(inChunk(Bytes().u32(16).raw(std::string(16, 'x')), [&](auto& o) { o.ReadFont(f); }), okfReadError);
    EXPECT_EQ(inChunk(Bytes().u32(40).raw(std::string(20, 'x')), [&](auto& o) { o.ReadFont(f); }), okfReadError);
    // Name length m larger than the record allows.
    EXPECT_EQ(inChunk(Bytes().u32(18).u32(18).u32(0).u32(2).raw("a").i32(1).u8(0), [&](auto& o) { o.ReadFont(f); }),
              okfReadError);
    EXPECT_FALSE(f);
}

TEST(OKFStream, UnbalancedBlocksAreLogicErrors) {
    TMemoryStream m;
    TOKFStream okf(&m, okfRaw);
    EXPECT_THROW(okf.EndWriteBlock(), std::logic_error);
    EXPECT_THROW(okf.EndReadBlock(), std::logic_error);
}

TEST(OKFStream, SizesBeyond32BitsAreRefusedNotWrapped) {
    HugeNullStream s;
    TOKFStream okf(&s, okfRaw);
    okf.BeginWriteBlock();
    const int64_t start = okf.BeginChunk();
    okf.SetPosition((int64_t(1) << 32) + 16);
    EXPECT_EQ(CodeOf([&] { okf.EndChunk(start, 1); }), okfWriteError);
    EXPECT_EQ(CodeOf([&] { okf.EndWriteBlock(); }), okfWriteError);
    // Positions beyond 4 GiB reach the stream whole.
    okf.SetPosition((int64_t(1) << 33) + 5);
    EXPECT_EQ(s.GetPosition(), (int64_t(1) << 33) + 5);
}

TEST(OKFFile, FailedOpenWritesNothingAndRawModeIsWritable) {
    TempDir dir;
    const std::vector<uint8_t> foreign(40, 'F');
    WriteFileBytes(dir / "foreign", foreign);
    EXPECT_EQ(CodeOf([&] { TOKFFile f(dir / "foreign", okfReadWrite); }), okfNoOKFFile);
    EXPECT_EQ(ReadFileBytes(dir / "foreign"), foreign);

    {
        TOKFFile f(dir / "foreign", okfRaw);
        f.SetPosition(4);
        f.WriteCardinal(0x11223344);
    }
    EXPECT_EQ(ReadFileBytes(dir / "foreign")[4], 0x44);
    EXPECT_THROW(TOKFFile(dir / "missing", okfRead), EFOpenError);

    {
        TOKFFile f(dir / "new.okf", okfCreate);
        const int64_t start = f.BeginChunk();
        f.EndChunk(start, 3);
        f.Close();
    }
    TOKFFile r(dir / "new.okf", okfRead);
    EXPECT_EQ(r.ChunkCount, 1u);
    EXPECT_EQ(r.Header.FileSize64, 44);
}

TEST(OKFStream, ModeNoneHasNoPosition) {
    TMemoryStream m(std::vector<uint8_t>(10));
    TOKFStream okf(&m, okfNone);
    EXPECT_EQ(okf.GetPosition(), -1);
    okf.SetPosition(5);
    EXPECT_EQ(m.GetPosition(), 0);
}

TEST(PartialStream, WindowsClampReadsAndKeepTheBasePosition) {
    TMemoryStream base(std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    base.SetPosition(7);
    TPartialStream w(base, 10, 10, false);
    EXPECT_EQ(w.GetSize(), 5);
    uint8_t buf[10] = {};
    w.SetPosition(3);
    EXPECT_EQ(w.Read(buf, 10), 2);
    EXPECT_EQ(buf[0], 13);
    EXPECT_EQ(w.GetPosition(), 5);
    EXPECT_EQ(base.GetPosition(), 7);
    // Before the window nothing is read and the position stays.
    w.Seek(-3, TSeekOrigin::soBeginning);
    EXPECT_EQ(w.Read(buf, 4), 0);
    EXPECT_EQ(w.GetPosition(), -3);
    EXPECT_EQ(w.Write("x", 1), 0);

    TPartialStream clamped(base, 100, 4, true);
    EXPECT_EQ(clamped.Offset(), 15);
    EXPECT_EQ(clamped.GetSize(), 0);
}

TEST(PartialStream, WindowsOnAFileReadInPlaceAndKeepItsPosition) {
    TempDir dir;
    {
        TFileStream f(dir / "base.bin", fmCreate);
        f.WriteBuffer("0123456789abcdef", 16);
    }
    TFileStream file(dir / "base.bin", fmOpenRead);
    file.SetPosition(7);
    TPartialStream w(file, 10, 100, false);
    EXPECT_EQ(w.GetSize(), 6);
    char buf[8] = {};
    w.SetPosition(2);
    EXPECT_EQ(w.Read(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    EXPECT_EQ(file.GetPosition(), 7);
    EXPECT_EQ(file.ReadAt(-1, buf, 1), 0);
}

TEST(PartialStream, GrowingWindowsAppendToTheBase) {
    TMemoryStream base(std::vector<uint8_t>{1, 2, 3});
    TPartialStream w(base, 3, 0, false);
    EXPECT_EQ(w.Write("ab", 2), 0);  // fixed window of size 0
    w.CanGrow = true;
    w.WriteBuffer("abc", 3);
    EXPECT_EQ(w.GetSize(), 3);
    EXPECT_EQ(base.GetSize(), 6);
    EXPECT_EQ(base.GetPosition(), 0);
    w.CanGrow = false;
    w.SetPosition(1);
    EXPECT_EQ(w.Write("XYZ", 3), 2);  // clamped to the window
    EXPECT_EQ(base.Bytes(), (std::vector<uint8_t>{1, 2, 3, 'a', 'X', 'Y'}));
}
