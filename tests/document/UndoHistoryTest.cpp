#include "document/UndoHistory.h"

#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/ShowFixtures.h"
#include "document/SlideShow.h"
#include "document/SlideShowTestSupport.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace sf = showfix;
namespace fs = std::filesystem;

namespace {

class UndoHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ShowTestPlugins();
        // Undo files go to the temporary folder: ours, so we can see them come and go.
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
        // Three top-level items, the second a chapter with two children.
        const Bytes run = sf::Cat({sf::Run(3), sf::Dummy(1000, "a"), sf::Chapter("K"), sf::Run(2),
                                   sf::Dummy(10, "k1"), sf::Dummy(20, "k2"), sf::Dummy(3000, "c")});
        TMemoryStream m(run.vec());
        int32_t chunks = 0;
        show_.RootList().LoadFromStream(m, TSlideShowObjectList::kAtEnd, {}, chunks);
        ASSERT_EQ(show_.GetTotalObjectCount(), 5);
        show_.UpdateList().Clear();
    }
    void TearDown() override {
        if (hadTmp_) ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

    int UndoFiles() const {
        const fs::path folder = tmp_.Path() / "KLVUndo";
        if (!fs::exists(folder)) return 0;
        int n = 0;
        for (const auto& e : fs::directory_iterator(folder)) n += e.path().extension() == ".klu";
        return n;
    }
    TSlideShowUndoList& Undo() { return show_.UndoList(); }
    TSlideShowObjectList& Root() { return show_.RootList(); }
    TSlideShowObject* At(const char* path) {
        TPath p;
        for (const char* c = path; *c; ++c)
            if (*c != '.') p.Add(*c - '1');
        return Root().GetObjectByPath(p);
    }

    TempDir tmp_;
    std::string oldTmp_;
    bool hadTmp_ = false;
    TSlideShow show_;
};

TEST_F(UndoHistoryTest, ReadingItemsIsUndoneAsOneStep) {
    const std::vector<uint8_t> before = TreeBytes(Root());
    // Read a chapter with a child and one more item at position 1, recorded.
    const Bytes more = sf::Cat({sf::Run(2), sf::Chapter("neu"), sf::Run(1), sf::Dummy(5, "n1"), sf::Dummy(6, "n")});
    TMemoryStream m(more.vec());
    int32_t chunks = 0;
    int changes = 0;
    Undo().OnChange = [&](TSlideShowUndoList*) { ++changes; };
    Root().LoadFromStream(m, 1, {.Undo = true, .OwnUndoStep = true}, chunks);
    ASSERT_EQ(show_.GetTotalObjectCount(), 8);
    ASSERT_EQ(Undo().Count(), 1);
    EXPECT_EQ(Undo().GetUndoCaption(), "Objekt(e) einf\xFCgen");
    EXPECT_EQ(UndoFiles(), 1);
    EXPECT_EQ(changes, 1);

    show_.UpdateList().Clear();
    EXPECT_TRUE(Undo().Undo());
    EXPECT_EQ(TreeBytes(Root()), before);
    EXPECT_FALSE(Undo().CanUndo());
    EXPECT_EQ(Undo().GetUndoCaption(), "");
    EXPECT_EQ(UndoFiles(), 0);
    EXPECT_EQ(changes, 2);
    // Children go before their parent; each removal is announced.
    ASSERT_EQ(show_.UpdateList().Count(), 3);
    EXPECT_EQ(show_.UpdateList().Get(0).Kind, urMoved);
    EXPECT_EQ(show_.UpdateList().Get(0).Path.GetPathString(), "3");
    EXPECT_EQ(show_.UpdateList().Get(1).Path.GetPathString(), "2.1");
    EXPECT_EQ(show_.UpdateList().Get(2).Path.GetPathString(), "2");
    EXPECT_FALSE(Undo().Undo());
}

TEST_F(UndoHistoryTest, MovesComeBackInOrder) {
    const std::vector<uint8_t> before = TreeBytes(Root());
    // The first and the last top-level item move into the chapter.
    TSlideShowObjectList picked(static_cast<TSlideShowObject*>(nullptr), false);
    picked.Add(Root().GetItem(0));
    picked.Add(Root().GetItem(2));
    TSlideShowObjectList* chapter = Supports<ICollection>(At("2"))->GetChildList();
    ASSERT_TRUE(chapter->MoveObjectsHere(picked, 1, true, false));
    EXPECT_EQ(Root().Count(), 1);
    EXPECT_EQ(chapter->Count(), 4);
    EXPECT_EQ(Undo().GetUndoCaption(), "Objekt(e) verschieben");
    EXPECT_TRUE(Undo().Undo());
    EXPECT_EQ(TreeBytes(Root()), before);
    EXPECT_EQ(UndoFiles(), 0);
}

TEST_F(UndoHistoryTest, ModifyRestoresTheStoredBytesWithVersionGatedFields) {
    auto* chapter = dynamic_cast<TContainerSlideShowObject*>(At("2"));
    ASSERT_NE(chapter, nullptr);
    TSlideShowObject* child = At("2.2");
    const std::vector<uint8_t> chapterBefore = ItemDataBytes(*chapter);
    const std::vector<uint8_t> childBefore = ItemDataBytes(*child);
    const std::vector<uint8_t> treeBefore = TreeBytes(Root());

    std::vector<TSlideShowObject*> items{chapter, child};
    ASSERT_TRUE(Undo().AddStep(items, "", ukModify));
    EXPECT_EQ(Undo().GetUndoCaption(), "Objekt-Einstellungen \xE4ndern");
    chapter->Title = "anders";  // stored only from content version 0x303 on
    chapter->SetDuration(777);
    child->SetDuration(1);
    child->SetEnabled(false);
    ASSERT_NE(ItemDataBytes(*chapter), chapterBefore);

    EXPECT_TRUE(Undo().Undo());
    EXPECT_EQ(chapter->Title, "K");
    EXPECT_EQ(ItemDataBytes(*chapter), chapterBefore);
    EXPECT_EQ(ItemDataBytes(*child), childBefore);
    EXPECT_EQ(TreeBytes(Root()), treeBefore);
    EXPECT_EQ(UndoFiles(), 0);
}

TEST_F(UndoHistoryTest, DeleteBringsBackASubtree) {
    const std::vector<uint8_t> before = TreeBytes(Root());
    TSlideShowObject* chapter = At("2");
    ASSERT_TRUE(Undo().BeginStep("Weg", ukDelete));
    ASSERT_TRUE(Undo().RecordObject(chapter, true));
    ASSERT_TRUE(Undo().RecordObject(At("3"), false));
    ASSERT_TRUE(Undo().EndStep());
    Root().Delete(2);
    Root().Delete(1);
    ASSERT_EQ(show_.GetTotalObjectCount(), 1);
    EXPECT_EQ(Undo().GetUndoCaption(), "Weg");

    EXPECT_TRUE(Undo().Undo());
    EXPECT_EQ(TreeBytes(Root()), before);
    EXPECT_EQ(UndoFiles(), 0);
}

TEST_F(UndoHistoryTest, MisuseDoesNothing) {
    TSlideShowObject* item = At("1");
    EXPECT_FALSE(Undo().RecordObject(item, false));
    EXPECT_FALSE(Undo().EndMove(item));
    EXPECT_FALSE(Undo().EndStep());
    EXPECT_FALSE(Undo().CancelStep());
    EXPECT_FALSE(Undo().BeginStep("", 5));
    EXPECT_FALSE(Undo().BeginStep("", -1));
    EXPECT_FALSE(Undo().AddObjectStep(item, "", 9));
    EXPECT_EQ(Undo().Count(), 0);

    ASSERT_TRUE(Undo().BeginStep("", ukModify));
    EXPECT_FALSE(Undo().BeginStep("", ukDelete));  // no nesting
    Undo().BeginMove(item);
    EXPECT_FALSE(Undo().EndMove(item));  // not a move step
    EXPECT_FALSE(Undo().Undo());         // not while recording
    EXPECT_FALSE(Undo().AddObjectStep(item, "", ukModify));
    EXPECT_EQ(UndoFiles(), 1);
    // Cancelling leaves the history as it was, without a file.
    EXPECT_TRUE(Undo().CancelStep());
    EXPECT_EQ(Undo().Count(), 0);
    EXPECT_EQ(UndoFiles(), 0);

    // A move step without BeginMove records nothing.
    ASSERT_TRUE(Undo().BeginStep("", ukMove));
    EXPECT_FALSE(Undo().EndMove(item));
    Undo().EndStep();
    EXPECT_TRUE(Undo().Undo());  // an empty step restores nothing and succeeds
}

TEST_F(UndoHistoryTest, DamagedOrUnreachableStepsFailSafely) {
    // A deleted item whose place can no longer be reached: the re-made item is freed
    // (the sanitizer's leak check watches), the step goes.
    TSlideShowObject* child = At("2.1");
    ASSERT_TRUE(Undo().AddObjectStep(child, "", ukDelete));
    Root().Delete(1);  // the chapter goes, and with it the child's parent
    Root().Delete(0);
    EXPECT_FALSE(Undo().Undo());
    EXPECT_EQ(Root().Count(), 1);
    EXPECT_EQ(UndoFiles(), 0);

    // A step file whose path count runs far past its chunk.
    ASSERT_TRUE(Undo().AddObjectStep(At("1"), "", ukInsert));
    const std::string name = ToPosixPath(Undo().GetStep(0)->FileName);
    sf::File f(0x504, 0x305);
    f.Add(sf::Chunk(0x100, Bytes().u32(0x3FFFFFFF).u32(0)));
    WriteFileBytes(name, f.Build());
    EXPECT_FALSE(Undo().Undo());
    EXPECT_EQ(Root().Count(), 1);

    // A file of another kind is not replayed.
    ASSERT_TRUE(Undo().AddObjectStep(At("1"), "", ukInsert));
    WriteFileBytes(ToPosixPath(Undo().GetStep(0)->FileName), sf::File(0x501, 0x305).Add(sf::Chunk(0x100, Bytes().u32(1).u32(0))).Build());
    EXPECT_FALSE(Undo().Undo());
    EXPECT_EQ(Root().Count(), 1);
    EXPECT_EQ(UndoFiles(), 0);
}

TEST_F(UndoHistoryTest, UndoFilesCarryTheDocumentVersion) {
    ASSERT_TRUE(Undo().AddObjectStep(At("3"), "", ukDelete));
    const std::vector<uint8_t> bytes = ReadFileBytes(ToPosixPath(Undo().GetStep(0)->FileName));
    ASSERT_GE(bytes.size(), 32u);
    EXPECT_EQ(bytes[12] | bytes[13] << 8, 0x504);
    EXPECT_EQ(bytes[20] | bytes[21] << 8, 0x305);
    EXPECT_EQ(bytes[16], 1);  // one chunk
    // The history's files go with it.
    {
        TSlideShow other;
        other.UndoList().BeginStep("", ukModify);
        other.UndoList().EndStep();
        EXPECT_EQ(UndoFiles(), 2);
    }
    EXPECT_EQ(UndoFiles(), 1);
}

}  // namespace
