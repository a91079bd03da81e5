// The item tree: paths, levels, navigation, index checks, moves and inserts, copies.
#include "DocumentTestSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "platform/Clipboard.h"

namespace {

TDummySlideShowObject* D(const std::string& text, int32_t duration = 1000) {
    auto* d = new TDummySlideShowObject();
    d->Text = text;
    d->Duration = duration;
    return d;
}

TContainerSlideShowObject* C(const std::string& title, std::initializer_list<TSlideShowObject*> children) {
    auto* c = new TContainerSlideShowObject();
    c->Title = title;
    c->CreateChildList();
    for (TSlideShowObject* child : children) c->GetChildList()->Add(child);
    return c;
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

std::string Name(const TSlideShowObject* item) {
    auto* t = Supports<IText>(item);
    return t ? t->GetText() : std::string("nil");
}

TPath P(std::initializer_list<int> entries) {
    TPath p;
    for (int e : entries) p.Add(e);
    return p;
}

// The tree a(b,c(d)),e in a show.
struct Tree {
    Tree() {
        TestPlugins();
        show.Root.Add(C("a", {D("b"), C("c", {D("d")})}));
        show.Root.Add(D("e"));
    }
    TSlideShowObject* Get(std::initializer_list<int> path) { return show.Root.GetObjectByPath(P(path)); }
    TFakeShow show;
};

}  // namespace

TEST(ObjectTree, PathsLevelsAndNavigation) {
    Tree t;
    TSlideShowObject* b = t.Get({0, 0});
    TSlideShowObject* c = t.Get({0, 1});
    TSlideShowObject* d = t.Get({0, 1, 0});
    EXPECT_EQ(b->GetPathString(), "1.1");
    EXPECT_EQ(c->GetPathString(), "1.2");
    EXPECT_EQ(c->Level(), 1);
    EXPECT_EQ(d->GetPathString(), "1.2.1");
    EXPECT_EQ(d->Level(), 2);
    EXPECT_EQ(t.Get({1})->Level(), 0);
    EXPECT_TRUE(d->IsChildOf(t.Get({0})));
    EXPECT_FALSE(t.Get({0})->IsChildOf(d));
    EXPECT_EQ(d->GetSlideShow(), &t.show);
    EXPECT_EQ(d->GetParentObject(), c);

    EXPECT_EQ(t.Get({0, 5}), nullptr);
    EXPECT_EQ(t.Get({1, 0}), nullptr);  // e has no children
    EXPECT_EQ(t.Get({-1}), nullptr);
    EXPECT_EQ(t.show.Root.GetObjectByPath(TPath()), nullptr);

    // Pre-order both ways.
    std::string fwd, back;
    for (TSlideShowObject* o = t.show.Root.GetNextObject(nullptr); o; o = t.show.Root.GetNextObject(o)) fwd += Name(o);
    for (TSlideShowObject* o = t.show.Root.GetPriorObject(nullptr); o; o = t.show.Root.GetPriorObject(o)) back += Name(o);
    EXPECT_EQ(fwd, "abcde");
    EXPECT_EQ(back, "edcba");
    EXPECT_EQ(t.show.Root.GetTotalCount(), 5);
    EXPECT_EQ(Name(t.show.Root.LastDescendant()), "e");
}

TEST(ObjectTree, IndexesAreChecked) {
    Tree t;
    TSlideShowObjectList& root = t.show.Root;
    EXPECT_EQ(root.GetItem(root.Count()), nullptr);
    EXPECT_EQ(root.GetItem(-1), nullptr);
    TDummySlideShowObject* x = D("x");
    EXPECT_FALSE(root.SetItem(2, x));
    EXPECT_FALSE(root.Delete(2));
    EXPECT_FALSE(root.DeleteItem(-1, true));
    EXPECT_FALSE(root.Move(0, 2));
    EXPECT_FALSE(root.Move(-1, 0));
    EXPECT_EQ(root.Remove(x), -1);
    TSlideShowObjectPtr y(D("y"));
    EXPECT_FALSE(root.Replace(x, y.get()));  // x is not in the list
    EXPECT_EQ(root.Insert(3, x), -1);
    EXPECT_EQ(Texts(root), "a(b,c(d)),e");
    FreeSlideShowObject(x);
    TSlideShowObjectList empty;
    EXPECT_EQ(empty.First(), nullptr);
    EXPECT_EQ(empty.Last(), nullptr);
    EXPECT_EQ(empty.LastDescendant(), nullptr);
}

TEST(ObjectTree, ItemsLeavingAListForgetIt) {
    Tree t;
    TSlideShowObject* e = t.Get({1});
    ASSERT_TRUE(e->OnChange);
    EXPECT_EQ(t.show.Root.RemoveObject(e, false), 1);
    EXPECT_EQ(e->ParentList, nullptr);
    EXPECT_FALSE(e->OnChange);
    EXPECT_EQ(e->GetSlideShow(), nullptr);
    // A subtree let go loses the show's handler all the way down.
    TSlideShowObject* a = t.Get({0});
    t.show.Root.DeleteItem(0, false);
    EXPECT_FALSE(a->OnChange);
    TSlideShowObject* d = Supports<ICollection>(Supports<ICollection>(a)->GetChildList()->GetItem(1))->GetChildList()->GetItem(0);
    EXPECT_FALSE(d->OnChange);
    EXPECT_EQ(d->GetSlideShow(), nullptr);
    FreeSlideShowObject(a);
    FreeSlideShowObject(e);

    // A clone starts free.
    Tree t2;
    TSlideShowObjectPtr clone(t2.Get({0, 1})->CloneWithChildren());
    EXPECT_EQ(clone->ParentList, nullptr);
    EXPECT_FALSE(clone->OnChange);
}

TEST(ObjectTree, AddingAnItemOfAnotherListMovesIt) {
    Tree t;
    TSlideShowObjectList other;
    TSlideShowObject* b = t.Get({0, 0});
    EXPECT_EQ(other.Add(b), 0);
    EXPECT_EQ(b->ParentList, &other);
    EXPECT_EQ(Texts(t.show.Root), "a(c(d)),e");
    EXPECT_EQ(Texts(other), "b");
    // Adding twice, or adding an ancestor of the list, is refused.
    EXPECT_EQ(other.Add(b), -1);
    TSlideShowObject* a = t.Get({0});
    TSlideShowObjectList* cList = Supports<ICollection>(t.Get({0, 0}))->GetChildList();
    EXPECT_EQ(cList->Add(a), -1);
    EXPECT_EQ(cList->Insert(0, a), -1);
    EXPECT_FALSE(cList->SetItem(0, a));
    EXPECT_EQ(Texts(t.show.Root), "a(c(d)),e");
}

TEST(ObjectTree, MovesKeepOrderAndRefuseCycles) {
    {
        // Moving a chapter into one of its own children leaves it where it was.
        Tree t;
        TSlideShowObjectList sel(static_cast<TSlideShowObject*>(nullptr), false);
        sel.Add(t.Get({0}));
        TSlideShowObjectList* cList = Supports<ICollection>(t.Get({0, 1}))->GetChildList();
        EXPECT_TRUE(cList->MoveObjectsHere(sel, -1, true, true));
        EXPECT_EQ(Texts(t.show.Root), "a(b,c(d)),e");
    }
    {
        // Index -1 keeps the order of items already in the list.
        TFakeShow show;
        for (const char* n : {"p", "q", "r", "s"}) show.Root.Add(D(n));
        TSlideShowObjectList sel(static_cast<TSlideShowObject*>(nullptr), false);
        sel.Add(show.Root.GetItem(0));
        sel.Add(show.Root.GetItem(1));
        show.Root.MoveObjectsHere(sel, -1, true, true);
        EXPECT_EQ(Texts(show.Root), "r,s,p,q");
        EXPECT_EQ(show.Root.GetItem(2)->Index, 2);
        EXPECT_EQ(show.Steps.front(), "begin 4");
        EXPECT_EQ(show.Steps.back(), "end");
        // A given index: the moved items land together before it, in order.
        TSlideShowObjectList sel2(static_cast<TSlideShowObject*>(nullptr), false);
        sel2.Add(show.Root.GetItem(0));
        sel2.Add(show.Root.GetItem(1));
        show.Root.MoveObjectsHere(sel2, 4, false, false);
        EXPECT_EQ(Texts(show.Root), "p,q,r,s");
        TSlideShowObjectList sel3(static_cast<TSlideShowObject*>(nullptr), false);
        sel3.Add(show.Root.GetItem(0));
        sel3.Add(show.Root.GetItem(1));
        show.Root.MoveObjectsHere(sel3, 3, false, false);
        EXPECT_EQ(Texts(show.Root), "r,p,q,s");
    }
    {
        // Items from another list arrive together, in their order, at the index or the end.
        Tree t;
        TSlideShowObjectList sel(static_cast<TSlideShowObject*>(nullptr), false);
        sel.Add(t.Get({0, 0}));
        sel.Add(t.Get({0, 1, 0}));
        t.show.Root.MoveObjectsHere(sel, -1, false, true);
        EXPECT_EQ(Texts(t.show.Root), "a(c()),e,b,d");
        EXPECT_EQ(t.Get({3})->GetPathString(), "4");
        TSlideShowObjectList sel2(static_cast<TSlideShowObject*>(nullptr), false);
        sel2.Add(t.Get({2}));
        sel2.Add(t.Get({3}));
        Supports<ICollection>(t.Get({0, 0}))->GetChildList()->MoveObjectsHere(sel2, 0, false, false);
        EXPECT_EQ(Texts(t.show.Root), "a(c(b,d)),e");
        EXPECT_EQ(t.Get({0, 0, 1})->GetSlideShow(), &t.show);
    }
}

TEST(ObjectTree, InsertObjectsTakesOrClones) {
    Tree t;
    TSlideShowObjectList other;
    other.Add(D("x"));
    other.Add(C("y", {D("z")}));
    // Clones: the source stays, the copies are independent subtrees.
    EXPECT_TRUE(t.show.Root.InsertObjects(other, 1, true, true, true, true));
    EXPECT_EQ(Texts(t.show.Root), "a(b,c(d)),x,y(z),e");
    EXPECT_EQ(Texts(other), "x,y(z)");
    EXPECT_EQ(t.show.Steps, (std::vector<std::string>{"begin 2", "insert", "insert", "end"}));
    // Without cloning the items leave their old list first.
    EXPECT_TRUE(t.show.Root.InsertObjects(other, -1, false, false, false, false));
    EXPECT_EQ(Texts(other), "");
    EXPECT_EQ(Texts(t.show.Root), "a(b,c(d)),x,y(z),e,x,y(z)");
    // An ancestor of the list is refused.
    TSlideShowObjectList sel(static_cast<TSlideShowObject*>(nullptr), false);
    sel.Add(t.Get({0}));
    Supports<ICollection>(t.Get({0, 1}))->GetChildList()->InsertObjects(sel, 0, false, false, false, false);
    EXPECT_EQ(t.Get({0})->ParentList, &t.show.Root);
    EXPECT_EQ(t.show.Root.GetTotalCount(), 11);
}

TEST(ObjectTree, InsertAtPathCreatesChildLists) {
    Tree t;
    auto* empty = new TContainerSlideShowObject();
    t.show.Root.Add(empty);
    EXPECT_TRUE(t.show.Root.InsertObjectAtPath(P({2, 0}), D("n")));
    EXPECT_TRUE(t.show.Root.InsertObjectAtPath(P({0, 1, 9}), D("m")));
    EXPECT_TRUE(t.show.Root.InsertObjectAtPath(P({0, 0}), D("f")));
    TDummySlideShowObject* lost = D("lost");
    EXPECT_FALSE(t.show.Root.InsertObjectAtPath(P({1, 0}), lost));  // e is no collection
    FreeSlideShowObject(lost);
    EXPECT_EQ(Texts(t.show.Root), "a(f,b,c(d,m)),e,(n)");
}

TEST(ObjectTree, AssignAndRecursiveCollections) {
    Tree t;
    TSlideShowObjectList copy;
    copy.Assign(t.show.Root);
    EXPECT_EQ(Texts(copy), "a(b,c(d)),e");
    EXPECT_NE(copy.GetItem(0), t.show.Root.GetItem(0));
    EXPECT_EQ(copy.GetItem(0)->GetSlideShow(), nullptr);

    // Copying a chapter that holds a parallel group with two children: four items.
    auto* par = new TParallelSlideShowObject();
    par->CreateChildList()->Add(D("p1"));
    par->GetChildList()->Add(D("p2"));
    TSlideShowObjectPtr chapter(C("k", {par}));
    TSlideShowObjectPtr clone(chapter->Clone());
    TSlideShowObjectList holder;
    holder.Add(clone.release());
    EXPECT_EQ(holder.GetTotalCount(), 4);
    par->GetChildList()->Delete(0);
    EXPECT_EQ(holder.GetTotalCount(), 4);

    // Assigning an ancestor into its descendant copies a snapshot.
    Tree t2;
    TSlideShowObject* c = t2.Get({0, 1});
    c->AssignWithChildren(*t2.Get({0}));
    EXPECT_EQ(Texts(t2.show.Root), "a(b,a(b,c(d))),e");

    // Flat, non-owning collection of a subtree.
    TSlideShowObjectList flat(static_cast<TSlideShowObject*>(nullptr), false);
    flat.AddObjectsRecursive(t.show.Root);
    EXPECT_EQ(flat.Count(), 5);
    EXPECT_EQ(t.Get({0, 1, 0})->ParentList->OwnerObject(), t.Get({0, 1}));
}

TEST(ObjectTree, SortRenumbersAndDurationsSaturate) {
    TFakeShow show;
    show.Root.Add(D("c", 2000000000));
    show.Root.Add(D("a", 2000000000));
    show.Root.Add(D("b", 5));
    show.Root.GetItem(2)->SetEnabled(false);
    EXPECT_EQ(show.Root.GetEnabledDuration(), INT32_MAX);
    show.Root.Sort([](TSlideShowObject* x, TSlideShowObject* y) { return Name(x).compare(Name(y)); });
    EXPECT_EQ(Texts(show.Root), "a,b,c");
    EXPECT_EQ(show.Root.GetItem(2)->Index, 2);
    EXPECT_EQ(show.Root.GetNextSibling(show.Root.GetItem(2)), nullptr);
}

TEST(ObjectTree, ClipboardRoundTrip) {
    Tree t;
    ASSERT_NE(SlideShowObjectListClipboardFormat(), 0u);
    EXPECT_EQ(GetClipboardFormatName(SlideShowObjectListClipboardFormat()), "KLVSlideShowObjectList");
    ASSERT_TRUE(t.show.Root.CopyToClipboard());
    TFakeShow target;
    target.Root.Add(D("z"));
    EXPECT_TRUE(target.Root.PasteFromClipboard(0, true));
    EXPECT_EQ(Texts(target.Root), "a(b,c(d)),e,z");
    EXPECT_EQ(target.Steps.front(), "begin 2");
    EXPECT_TRUE(target.Root.PasteFromClipboardAtEnd(false));
    EXPECT_EQ(Texts(target.Root), "a(b,c(d)),e,z,a(b,c(d)),e");

    // Damaged clipboard bytes: False, and what could not be read is not there.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(GetClipboardData(SlideShowObjectListClipboardFormat(), bytes));
    bytes.resize(bytes.size() - 3);
    ASSERT_TRUE(SetClipboardData(SlideShowObjectListClipboardFormat(), bytes));
    TSlideShowObjectList fresh;
    EXPECT_FALSE(fresh.PasteFromClipboard(-1, false));
    SetClipboardData(SlideShowObjectListClipboardFormat(), {1, 2, 3});
    EXPECT_FALSE(fresh.PasteFromClipboard(-1, false));
    EmptyClipboard();
    EXPECT_FALSE(fresh.PasteFromClipboard(-1, false));
}

namespace {
class TIconObject : public TDummySlideShowObject {
public:
    std::unique_ptr<TIconBitmap> GetIconBitmap() const override {
        ++Asked;
        auto icon = std::make_unique<TIconBitmap>();
        icon->Image = TImage32(16, 16, 0xFF00FF00u);
        return icon;
    }
    mutable int Asked = 0;
};
}  // namespace

TEST(ObjectTree, ImageIndexesAreCachedPerClass) {
    TIconObject a, b;
    const int first = a.GetImageIndex();
    EXPECT_GE(first, 0);
    EXPECT_EQ(b.GetImageIndex(), first);
    EXPECT_EQ(a.Asked + b.Asked, 1);
    EXPECT_GE(a.GetBigImageIndex(), 0);
    // No icon: -1, and asked again next time.
    TContainerSlideShowObject c;
    EXPECT_EQ(c.GetImageIndex(), -1);
    EXPECT_EQ(GetSmallImageIndexList().ImageIndexOf(c.ClassType()), -1);
}
