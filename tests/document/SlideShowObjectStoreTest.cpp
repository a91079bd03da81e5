// Item chunks and list runs: the stored layout, fixtures written byte by byte, damage.
#include "DocumentTestSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"

namespace {

TDummySlideShowObject* NewDummy(int32_t duration, const std::string& text = "") {
    auto* d = new TDummySlideShowObject();
    d->Duration = duration;
    d->Text = text;
    return d;
}

std::vector<uint32_t> ChunkTypes(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> types;
    size_t pos = 0;
    while (pos + 12 <= bytes.size()) {
        auto u32 = [&](size_t at) {
            return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                   uint32_t(bytes[at + 3]) << 24;
        };
        types.push_back(u32(pos + 4));
        pos += u32(pos + 8);
    }
    return types;
}

std::string Texts(const TSlideShowObjectList& list) {
    std::string s;
    for (int i = 0; i < list.Count(); ++i) {
        if (i) s += ",";
        if (auto* t = Supports<IText>(list.GetItem(i))) s += t->GetText();
        if (auto* c = Supports<ICollection>(list.GetItem(i)))
            if (c->GetChildList()) s += "(" + Texts(*c->GetChildList()) + ")";
    }
    return s;
}

}  // namespace

TEST(ObjectListStore, WorkedRunGivesTheChunkSequenceAndCount) {
    TestPlugins();
    TSlideShowObjectList list;
    list.Add(NewDummy(1000, "a"));
    auto* chapter = new TContainerSlideShowObject();
    chapter->Title = "k";
    chapter->CreateChildList()->Add(NewDummy(2000, "b"));
    chapter->GetChildList()->Add(NewDummy(3000, "c"));
    list.Add(chapter);
    list.Add(NewDummy(4000, "d"));
    const std::vector<uint8_t> bytes = WriteRunBytes(list);
    EXPECT_EQ(ChunkTypes(bytes), (std::vector<uint32_t>{0x402, 0x401, 0x401, 0x402, 0x401, 0x401, 0x401}));

    // The same run written by the fixture writer is byte for byte what the writer wrote.
    const Bytes fixture = Concat({ListRun(3), Dummy(1000, "a"), Chapter("k"), ListRun(2), Dummy(2000, "b"), Dummy(3000, "c"),
                                  Dummy(4000, "d")});
    EXPECT_EQ(bytes, fixture.vec());

    TSlideShowObjectList back;
    const TReadOutcome r = ReadRunBytes(back, fixture);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.ChunkCount, 6);
    EXPECT_EQ(Texts(back), "a,k(b,c),d");
    EXPECT_EQ(back.GetItem(1)->GetDuration(), 5000);
    EXPECT_EQ(r.EndPosition, static_cast<int64_t>(fixture.size()));
}

TEST(ObjectListStore, EmptyAndMissingChildListsSurvive) {
    TestPlugins();
    TSlideShowObjectList list;
    auto* withEmpty = new TContainerSlideShowObject();
    withEmpty->CreateChildList();
    list.Add(withEmpty);
    list.Add(new TParallelSlideShowObject());
    const std::vector<uint8_t> bytes = WriteRunBytes(list);
    EXPECT_EQ(ChunkTypes(bytes), (std::vector<uint32_t>{0x402, 0x401, 0x402, 0x401}));
    TSlideShowObjectList back;
    EXPECT_FALSE(ReadRunBytes(back, bytes).Failed);
    ASSERT_EQ(back.Count(), 2);
    ASSERT_NE(Supports<ICollection>(back.GetItem(0))->GetChildList(), nullptr);
    EXPECT_EQ(Supports<ICollection>(back.GetItem(0))->GetChildList()->Count(), 0);
    EXPECT_EQ(Supports<ICollection>(back.GetItem(1))->GetChildList(), nullptr);
}

TEST(ObjectListStore, UnknownClassesAreSkippedAndLaterItemsKept) {
    TSlideShowObjectList list;
    // An unregistered kind, and a registered class that is no item at all.
    const Bytes run = Concat({ListRun(4), Dummy(1, "a"), ItemChunk("TPicSlideShowObject", Bytes().u8(1)),
                              ItemChunk("TBeepAction", Bytes().u8(1)), Dummy(2, "b")});
    const TReadOutcome r = ReadRunBytes(list, run);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Dropped, 2);
    EXPECT_EQ(Texts(list), "a,b");
    EXPECT_EQ(r.ChunkCount, 4);
}

TEST(ObjectListStore, UnknownCollectionSkipsItsWholeRun) {
    TSlideShowObjectList list;
    // The unknown collection holds two children, one with a nested run of its own;
    // none of them may land on the top level, and the top-level item after it stays.
    const Bytes run = Concat({ListRun(3), Dummy(1, "a"), ItemChunk("TUnknownCollection", Bytes()), ListRun(2), Chapter("x"),
                              ListRun(1), Dummy(5, "deep"), Dummy(6, "inner"), Dummy(2, "b")});
    const TReadOutcome r = ReadRunBytes(list, run);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(Texts(list), "a,b");
    EXPECT_EQ(r.Dropped, 4);  // the collection and the three items below it
    EXPECT_EQ(r.ChunkCount, 8);
    EXPECT_EQ(r.EndPosition, static_cast<int64_t>(run.size()));

    // The last item of a run may be the unknown one: its run still goes.
    TSlideShowObjectList tail;
    const Bytes run2 = Concat({ListRun(1), ItemChunk("TUnknownCollection", Bytes()), ListRun(1), Dummy(1, "lost")});
    const TReadOutcome r2 = ReadRunBytes(tail, run2);
    EXPECT_FALSE(r2.Failed);
    EXPECT_EQ(tail.Count(), 0);
    EXPECT_EQ(r2.Dropped, 2);
    EXPECT_EQ(r2.EndPosition, static_cast<int64_t>(run2.size()));
}

TEST(ObjectListStore, DamagedItemIsDroppedAndTheOthersKept) {
    TSlideShowObjectList list;
    // The middle dummy's data ends inside its keywords string.
    const Bytes broken = ItemChunk("TDummySlideShowObject", Bytes().u8(1).i32(10).i32(-1).i32(0).i32(500));
    const Bytes run = Concat({ListRun(3), Dummy(1, "a"), broken, Dummy(2, "b")});
    const TReadOutcome r = ReadRunBytes(list, run);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Dropped, 1);
    EXPECT_EQ(Texts(list), "a,b");
}

TEST(ObjectListStore, DamagedFramingFailsWithoutHanging) {
    {
        // A chunk that claims fewer than 12 bytes.
        TSlideShowObjectList list;
        Bytes run = Concat({ListRun(2), Dummy(1, "a")});
        run.tag("CHNK").u32(0x401).u32(4).u32(0);
        const TReadOutcome r = ReadRunBytes(list, run);
        EXPECT_TRUE(r.Failed);
        EXPECT_EQ(Texts(list), "a");
    }
    {
        // A run count far beyond what the stream holds cuts the run short at the end.
        TSlideShowObjectList list;
        const TReadOutcome r = ReadRunBytes(list, Concat({ListRun(0x7FFFFFFF), Dummy(1, "a"), Dummy(2, "b")}));
        EXPECT_FALSE(r.Failed);
        EXPECT_EQ(r.Dropped, 0x7FFFFFFF - 2);
        EXPECT_EQ(Texts(list), "a,b");
    }
    {
        // A run chunk too short to hold its count, and a negative count.
        TSlideShowObjectList list;
        EXPECT_TRUE(ReadRunBytes(list, Chunk(0x402, Bytes().u8(1))).Failed);
        EXPECT_TRUE(ReadRunBytes(list, Concat({ListRun(-1), Dummy(1)})).Failed);
    }
    {
        // A chunk running past the end of the stream.
        TSlideShowObjectList list;
        Bytes run = ListRun(1);
        run.tag("CHNK").u32(0x401).u32(1000).str("TDummySlideShowObject");
        EXPECT_TRUE(ReadRunBytes(list, run).Failed);
        EXPECT_EQ(list.Count(), 0);
    }
    {
        // A foreign chunk inside a run ends the read before that chunk, without failing.
        TSlideShowObjectList list;
        const Bytes run = Concat({ListRun(2), Dummy(1, "a"), Chunk(0x403, Bytes().u32(7)), Dummy(2, "b")});
        const TReadOutcome r = ReadRunBytes(list, run);
        EXPECT_FALSE(r.Failed);
        EXPECT_EQ(r.Dropped, 1);
        EXPECT_EQ(r.EndPosition, int64_t(Concat({ListRun(2), Dummy(1, "a")}).vec().size()));
        EXPECT_EQ(Texts(list), "a");
    }
    {
        // Nesting deeper than any show is taken for damage, not followed to the bottom.
        TSlideShowObjectList list;
        Bytes run = ListRun(1);
        for (int i = 0; i < kMaxObjectNesting + 5; ++i) run.raw(Chapter("n").vec()).raw(ListRun(1).vec());
        run.raw(Dummy(1).vec());
        EXPECT_TRUE(ReadRunBytes(list, run).Failed);
    }
}

TEST(ObjectListStore, ARunFollowingAPlainItemIsNotMergedIntoTheLevel) {
    TSlideShowObjectList list;
    const Bytes run = Concat({ListRun(2), Dummy(1, "a"), ListRun(1), Dummy(9, "stray"), Dummy(2, "b")});
    const TReadOutcome r = ReadRunBytes(list, run);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Dropped, 1);
    EXPECT_EQ(Texts(list), "a,b");
}

TEST(ObjectListStore, NoRunAtThePositionReadsNothing) {
    TSlideShowObjectList list;
    const Bytes other = Chunk(0x410, Bytes().u32(1));
    const TReadOutcome r = ReadRunBytes(list, other);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Result, 0);
    EXPECT_EQ(r.EndPosition, 0);
    EXPECT_EQ(ReadRunBytes(list, Bytes()).Result, 0);
}

TEST(ObjectListStore, VersionGatedFields) {
    // Version 772: no text block after a dummy; parallel group titles from 0x303 on.
    const Bytes oldDummy = ItemChunk("TDummySlideShowObject", PlayableData(100));
    const Bytes par302 = ItemChunk("TParallelSlideShowObject", PlayableData(-1));
    TSlideShowObjectList list;
    const TReadOutcome r = ReadRunBytes(list, Concat({ListRun(2), oldDummy, par302}), 0x302);
    EXPECT_FALSE(r.Failed);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(static_cast<TDummySlideShowObject*>(list.GetItem(0))->Text, "");
    EXPECT_EQ(static_cast<TParallelSlideShowObject*>(list.GetItem(1))->Title, "");

    TSlideShowObjectList list2;
    const Bytes par303 = ItemChunk("TParallelSlideShowObject", Bytes().raw(PlayableData(-1).vec()).str("T"));
    EXPECT_FALSE(ReadRunBytes(list2, Concat({ListRun(1), par303}), 0x303).Failed);
    EXPECT_EQ(static_cast<TParallelSlideShowObject*>(list2.GetItem(0))->Title, "T");
}

TEST(ObjectListStore, StoredDurationsBelowMinusOneMeanTheDefault) {
    TSlideShowObjectList list;
    EXPECT_FALSE(ReadRunBytes(list, Concat({ListRun(1), Dummy(-7)})).Failed);
    auto* d = static_cast<TDummySlideShowObject*>(list.GetItem(0));
    EXPECT_EQ(d->Duration, -1);
    EXPECT_FALSE(d->HasDuration());
}

TEST(ObjectListStore, ReadingIntoAShowNotifiesAndRecordsUndo) {
    TestPlugins();
    TFakeShow show;
    int32_t chunks = 0;
    TMemoryStream m(Concat({ListRun(2), Chapter("k"), ListRun(1), Dummy(1, "x"), Dummy(2, "y")}).vec());
    TOKFStreamWinTypes s(&m, okfRaw);
    s.Header.ContentVersion = 0x305;
    show.Root.ReadObjects(s, 0, TSlideShowObjectList::kAtEnd, {.Notify = true, .Undo = true, .OwnUndoStep = true},
                          chunks);
    EXPECT_EQ(Texts(show.Root), "k(x),y");
    EXPECT_EQ(show.Steps, (std::vector<std::string>{"begin 2", "insert", "insert", "insert", "end"}));
    ASSERT_EQ(show.Updates.size(), 4u);
    EXPECT_EQ(show.Updates[1].Kind, urChanged);
    EXPECT_EQ(show.Updates[1].Flags, ocChildListCreated);
    EXPECT_EQ(show.Updates[2].Path, "1.1");
    // Items read into a show report their changes to it.
    show.Root.GetItem(1)->SetEnabled(false);
    ASSERT_FALSE(show.Changes.empty());
    EXPECT_EQ(show.Changes.back().Flags, ocEnabled);

    // Inserting at an index, and nothing read cancels the own undo step.
    TFakeShow show2;
    show2.Root.Add(NewDummy(1, "first"));
    show2.Root.Add(NewDummy(1, "last"));
    TMemoryStream m2(Concat({ListRun(2), Dummy(1, "p"), Dummy(1, "q")}).vec());
    TOKFStreamWinTypes s2(&m2, okfRaw);
    s2.Header.ContentVersion = 0x305;
    show2.Root.ReadObjects(s2, 0, 1, {}, chunks);
    EXPECT_EQ(Texts(show2.Root), "first,p,q,last");
    TMemoryStream m3(ListRun(0).vec());
    TOKFStreamWinTypes s3(&m3, okfRaw);
    show2.Root.ReadObjects(s3, 0, TSlideShowObjectList::kAtEnd, {.Undo = true, .OwnUndoStep = true}, chunks);
    EXPECT_EQ(show2.Steps.back(), "cancel");
}

TEST(ObjectListStore, SaveToFileWritesAContainerWithHeader) {
    TestPlugins();
    TempDir dir;
    TSlideShowObjectList list;
    list.Add(NewDummy(10, "f"));
    ASSERT_TRUE(list.SaveToFile(dir / "list.kls"));
    const std::vector<uint8_t> bytes = ReadFileBytes(dir / "list.kls");
    EXPECT_EQ(bytes, ShowFile(Concat({ListRun(1), Dummy(10, "f")}), 2).vec());
}
