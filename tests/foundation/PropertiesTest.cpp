#include "TestSupport.h"
#include "foundation/Properties.h"
#include "foundation/PropertyDialog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// Two levels: the base holds A and S, the derived class D and, from version 773 on, E.
class TTestBaseProps : public TPropertiesBlock<TTestBaseProps, TProperties> {
    GC_DECLARE_CLASS(TTestBaseProps)
public:
    int32_t A = 5;
    AnsiString S = "abc";
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const {
        c.WriteInteger(A);
        c.WriteString(S);
        return true;
    }
    bool ReadOwnProperties(TOKFStreamWinTypes& c) {
        A = c.ReadIntegerValue();
        S = c.ReadStringValue();
        return true;
    }
    static AnsiString GetEditorFrameClassNames() { return "TNoSuchFrame\r\nTTestFrame\r\nTTestBaseProps"; }
};

class TTestDerivedProps : public TPropertiesBlock<TTestDerivedProps, TTestBaseProps> {
    GC_DECLARE_CLASS(TTestDerivedProps)
public:
    double D = 1.5;
    int32_t E = 0;
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const {
        c.WriteDouble(D);
        if (c.Header.ContentVersion >= 773) c.WriteInteger(E);
        return true;
    }
    bool ReadOwnProperties(TOKFStreamWinTypes& c) {
        D = c.ReadDoubleValue();
        if (c.Header.ContentVersion >= 773) E = c.ReadIntegerValue();
        return true;
    }
};

class TEmptyProps : public TProperties {
    GC_DECLARE_CLASS(TEmptyProps)
};

// Its writer reports failure.
class TFailingProps : public TPropertiesBlock<TFailingProps, TProperties> {
    GC_DECLARE_CLASS(TFailingProps)
public:
    bool WriteOwnProperties(TOKFStreamWinTypes&) const { return false; }
    bool ReadOwnProperties(TOKFStreamWinTypes&) { return true; }
};

class TTestFrame : public TPropertyEditorFrame {
    GC_DECLARE_CLASS(TTestFrame)
public:
    static AnsiString Caption() { return "Testrahmen"; }
    void ShowValues() override { shown = true; }
    static inline bool shown = false;
};

class FakeHost : public IPropertyDialogHost {
public:
    bool answer = true;
    AnsiString caption;
    int option = -1;
    bool ShowModal(const AnsiString& c, TPropertyEditorFrame& frame) override {
        caption = c;
        option = frame.Option();
        ++shows;
        if (auto* p = dynamic_cast<TTestBaseProps*>(frame.Properties())) p->A = 99;
        return answer;
    }
    int shows = 0;
};

std::vector<uint8_t> StreamBytes(TMemoryStream& m) { return m.Bytes(); }

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutStr(std::vector<uint8_t>& b, const std::string& s) {
    PutU32(b, static_cast<uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
void PutDouble(std::vector<uint8_t>& b, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

// The stored form of a TTestDerivedProps, written out by hand.
std::vector<uint8_t> DerivedForm(int32_t a, const std::string& s, double d, int32_t e) {
    std::vector<uint8_t> b;
    PutU32(b, static_cast<uint32_t>(4 + 4 + 4 + s.size()));
    PutU32(b, static_cast<uint32_t>(a));
    PutStr(b, s);
    PutU32(b, 16);
    PutDouble(b, d);
    PutU32(b, static_cast<uint32_t>(e));
    return b;
}

class PropertiesTest : public ::testing::Test {
protected:
    TestRegistryFolder registry_;
    const std::string dir_ = registry_.Dir().Path().string();
};

}  // namespace

GC_IMPLEMENT_PLUGIN(TTestBaseProps, TProperties)
GC_IMPLEMENT_PLUGIN(TTestDerivedProps, TTestBaseProps)
GC_IMPLEMENT_PLUGIN(TEmptyProps, TProperties)
GC_IMPLEMENT_PLUGIN(TFailingProps, TProperties)
GC_IMPLEMENT_PLUGIN(TTestFrame, TPropertyEditorFrame)

TEST_F(PropertiesTest, StreamFormIsNestedBlocksOuterLevelFirst) {
    TTestDerivedProps p;
    p.A = 7;
    p.S = "xy";
    p.D = 2.0;
    p.E = 9;
    TMemoryStream m;
    m.Write("HD", 2);  // the form starts at the stream's position
    ASSERT_TRUE(p.SaveToStream(m, 1281, 773));
    std::vector<uint8_t> expected{'H', 'D'};
    const auto form = DerivedForm(7, "xy", 2.0, 9);
    expected.insert(expected.end(), form.begin(), form.end());
    EXPECT_EQ(StreamBytes(m), expected);

    TTestDerivedProps q;
    m.SetPosition(2);
    ASSERT_TRUE(q.LoadFromStream(m, 1281, 773));
    EXPECT_EQ(q.A, 7);
    EXPECT_EQ(q.S, "xy");
    EXPECT_EQ(q.D, 2.0);
    EXPECT_EQ(q.E, 9);

    TEmptyProps empty;
    TMemoryStream e;
    ASSERT_TRUE(empty.SaveToStream(e, 0, 0));
    EXPECT_EQ(e.GetSize(), 0);

    TFailingProps failing;
    TMemoryStream f;
    EXPECT_FALSE(failing.SaveToStream(f, 0, 0));
}

TEST_F(PropertiesTest, CopiesBeforeAnyProgramEntryKeepVersionedFields) {
    EXPECT_EQ(ShowFileType, 1281u);
    EXPECT_EQ(ShowFileVersion, 773u);
    TTestDerivedProps p;
    p.A = 1;
    p.S = "eins";
    p.D = -3.25;
    p.E = 42;
    auto c = p.CloneAs<TTestDerivedProps>();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->A, 1);
    EXPECT_EQ(c->S, "eins");
    EXPECT_EQ(c->D, -3.25);
    EXPECT_EQ(c->E, 42);
    EXPECT_EQ(c->RefCount(), 1);

    TTestDerivedProps other;
    other.Assign(p);
    EXPECT_EQ(other.E, 42);
    EXPECT_THROW(other.Assign(TEmptyProps()), EOKFError);  // its empty form does not read
    other.Assign(TPlugin());  // no settings source: ignored
    EXPECT_EQ(other.A, 1);
    other.Reset();
    EXPECT_EQ(other.A, 5);
    EXPECT_EQ(other.S, "abc");
    EXPECT_EQ(other.D, 1.5);
    EXPECT_EQ(other.E, 0);

    // A base-class source's form lacks the derived level: the reader raises, and the
    // object is left whole as it was.
    TTestBaseProps base;
    base.A = 77;
    other.E = 3;
    EXPECT_THROW(other.Assign(base), EOKFError);
    EXPECT_EQ(other.A, 5);
    EXPECT_EQ(other.E, 3);
}

TEST_F(PropertiesTest, DamagedStreamsLeaveTheObjectUnchanged) {
    const auto form = DerivedForm(7, "xy", 2.0, 9);
    for (size_t cut = 0; cut < form.size(); ++cut) {
        TMemoryStream m(std::vector<uint8_t>(form.begin(), form.begin() + static_cast<std::ptrdiff_t>(cut)));
        TTestDerivedProps p;
        p.E = 11;
        EXPECT_FALSE(p.LoadFromStream(m, 1281, 773)) << cut;
        EXPECT_EQ(p.A, 5);
        EXPECT_EQ(p.S, "abc");
        EXPECT_EQ(p.E, 11);
    }
    auto bad = form;
    bad[0] = 0xFF;  // the outer block claims more than there is
    TMemoryStream m(bad);
    TTestDerivedProps p;
    EXPECT_FALSE(p.LoadFromStream(m, 1281, 773));
    EXPECT_EQ(p.A, 5);

    // An older stream without E leaves E as the object had it.
    std::vector<uint8_t> old = DerivedForm(8, "", 4.0, 0);
    old.resize(old.size() - 4);
    old[12] = 12;  // second block: 4 + 8
    TMemoryStream o(old);
    TTestDerivedProps q;
    q.E = 17;
    ASSERT_TRUE(q.LoadFromStream(o, 1281, 772));
    EXPECT_EQ(q.A, 8);
    EXPECT_EQ(q.D, 4.0);
    EXPECT_EQ(q.E, 17);
}

TEST_F(PropertiesTest, RegistryRoundTripAndFailures) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Test", true));
        TTestDerivedProps p;
        p.A = 31;
        p.E = 4;
        ASSERT_TRUE(p.SaveToRegistry(reg, "Properties", 0, 773));
        const auto form = DerivedForm(31, "abc", 1.5, 4);
        EXPECT_EQ(reg.ReadBinary("Properties"), form);
        std::vector<uint8_t> cut(form.begin(), form.end() - 3);
        reg.WriteBinaryData("Cut", cut.data(), static_cast<int>(cut.size()));
        reg.WriteString("Text", "no binary");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\software\\test"));
    TTestDerivedProps q;
    ASSERT_TRUE(q.LoadFromRegistry(reg, "properties", 0, 773));
    EXPECT_EQ(q.A, 31);
    EXPECT_EQ(q.E, 4);
    for (const char* name : {"Missing", "Cut", "Text"}) {
        TTestDerivedProps r;
        r.A = 2;
        EXPECT_FALSE(r.LoadFromRegistry(reg, name, 0, 773)) << name;
        EXPECT_EQ(r.A, 2);
        EXPECT_EQ(r.E, 0);
    }
    // Saving into a key opened read-only reports failure.
    EXPECT_FALSE(q.SaveToRegistry(reg, "Properties", 0, 773));
}

TEST_F(PropertiesTest, EditWithTheDialogHost) {
    FakeHost host;
    SetPropertyDialogHost(&host);
    RegisterClass(TTestFrame::StaticClassInfo());
    RegisterClass(TTestBaseProps::StaticClassInfo());  // known, but no frame class

    TTestBaseProps p;
    const auto frames = p.GetEditorFrameClasses();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], &TTestFrame::StaticClassInfo());
    EXPECT_EQ(p.GetEditorCaption(), "Testrahmen");

    host.answer = false;
    EXPECT_FALSE(p.Edit("", 3, 0));
    EXPECT_EQ(host.caption, "Einstellungen");
    EXPECT_EQ(host.option, 3);
    EXPECT_TRUE(TTestFrame::shown);
    EXPECT_EQ(p.A, 5);  // Cancel

    host.answer = true;
    EXPECT_TRUE(p.Edit("Bilder", 0, 0));
    EXPECT_EQ(host.caption, "Bilder");
    EXPECT_EQ(p.A, 99);  // OK copies back

    const int shows = host.shows;
    EXPECT_FALSE(p.Edit("", 0, 1));
    EXPECT_FALSE(p.Edit("", 0, -1));
    TEmptyProps noFrames;
    EXPECT_EQ(noFrames.GetEditorCaption(), "");
    EXPECT_FALSE(noFrames.Edit("", 0, 0));
    EXPECT_EQ(host.shows, shows);  // nothing shown

    SetPropertyDialogHost(nullptr);
    EXPECT_FALSE(p.Edit("", 0, 0));
    UnRegisterClass(TTestFrame::StaticClassInfo());
    UnRegisterClass(TTestBaseProps::StaticClassInfo());
}

namespace {

std::vector<uint8_t> ListChunk(const std::string& cls, const std::vector<uint8_t>& form) {
    std::vector<uint8_t> b;
    b.push_back('C');
    b.push_back('H');
    b.push_back('N');
    b.push_back('K');
    PutU32(b, 257);
    PutU32(b, static_cast<uint32_t>(12 + 4 + cls.size() + 4 + form.size()));
    PutStr(b, cls);
    PutU32(b, static_cast<uint32_t>(4 + form.size()));
    b.insert(b.end(), form.begin(), form.end());
    return b;
}

std::vector<uint8_t> SettingsFile(uint32_t type, const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> body;
    for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
    std::vector<uint8_t> b{'O', 'K', 'N', 'F'};
    PutU32(b, static_cast<uint32_t>(32 + body.size()));
    PutU32(b, 0x00010002);
    PutU32(b, type);
    PutU32(b, static_cast<uint32_t>(chunks.size()));
    PutU32(b, 256);
    PutU32(b, static_cast<uint32_t>(32 + body.size()));
    PutU32(b, 0);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}


}  // namespace

TEST_F(PropertiesTest, SettingsFileFormAndLoadingIt) {
    TPropertiesList list;
    auto* d = static_cast<TTestDerivedProps*>(list.Add(1, TTestDerivedProps::StaticClassInfo(), "Abgeleitet", true));
    ASSERT_TRUE(d);
    list.Add(2, TEmptyProps::StaticClassInfo(), "Leer", true);
    EXPECT_EQ(list.Add(3, TTestFrame::StaticClassInfo(), "kein", true), nullptr);
    d->A = 12;
    d->E = 6;
    const std::string file = dir_ + "/list.dat";
    ASSERT_TRUE(list.SaveToFile(file.c_str()));
    // Content version 256 is below 773: E is not part of the file.
    std::vector<uint8_t> form = DerivedForm(12, "abc", 1.5, 6);
    form.resize(form.size() - 4);
    form[4 + 4 + 4 + 3] = 12;
    const auto expected =
        SettingsFile(1287, {ListChunk("TTestDerivedProps", form), ListChunk("TEmptyProps", {})});
    EXPECT_EQ(ReadFileBytes(file), expected);

    // Loading skips classes the list does not hold and other chunk types.
    std::vector<uint8_t> other{'C', 'H', 'N', 'K'};
    PutU32(other, 300);
    PutU32(other, 14);
    other.push_back(1);
    other.push_back(2);
    const auto input = SettingsFile(
        1287, {ListChunk("TUnknownProps", {1, 2, 3}), other, ListChunk("ttestderivedprops", DerivedForm(44, "q", 8.0, 5))});
    WriteFileBytes(file, input);
    TPropertiesList target;
    auto* t = static_cast<TTestDerivedProps*>(target.Add(0, TTestDerivedProps::StaticClassInfo(), "", true));
    EXPECT_TRUE(target.LoadFromFile(file.c_str(), 0, 773));
    EXPECT_EQ(t->A, 44);
    EXPECT_EQ(t->S, "q");
    EXPECT_EQ(t->E, 5);

    // File type 0 takes any container file as it is; a named type is used in its place.
    WriteFileBytes(file, SettingsFile(1281, {ListChunk("TTestDerivedProps", DerivedForm(1, "", 0, 0))}));
    EXPECT_TRUE(target.LoadFromFile(file.c_str(), 0, 773));
    EXPECT_EQ(t->A, 1);
    t->A = 44;
    EXPECT_TRUE(target.LoadFromFile(file.c_str(), 1281, 773));
    EXPECT_EQ(t->A, 1);

    WriteFileBytes(file, {'N', 'O', 'P', 'E'});
    EXPECT_THROW(target.LoadFromFile(file.c_str(), 0, 0), EOKFError);
    EXPECT_FALSE(list.SaveToFile((dir_ + "/no/such/folder/x.dat").c_str()));
}

TEST_F(PropertiesTest, ADamagedChunkSpoilsOnlyItsOwnGroup) {
    auto cut = DerivedForm(9, "abc", 1.0, 1);
    cut[0] = 40;  // the block claims more than its chunk holds
    TPropertiesList list;
    auto* d = static_cast<TTestDerivedProps*>(list.Add(0, TTestDerivedProps::StaticClassInfo(), "", true));
    auto* b = static_cast<TTestBaseProps*>(list.Add(0, TTestBaseProps::StaticClassInfo(), "", true));
    std::vector<uint8_t> baseForm;
    PutU32(baseForm, 4 + 4 + 4 + 1);
    PutU32(baseForm, 66);
    PutStr(baseForm, "z");
    TMemoryStream m(SettingsFile(1287, {ListChunk("TTestDerivedProps", cut), ListChunk("TTestBaseProps", baseForm)}));
    EXPECT_TRUE(list.LoadFromFileStream(m, 0, 773));
    EXPECT_EQ(d->A, 5);
    EXPECT_EQ(b->A, 66);
    EXPECT_EQ(b->S, "z");

    // A damaged chunk header ends the load with False; what was read stays.
    auto broken = SettingsFile(1287, {ListChunk("TTestBaseProps", baseForm), ListChunk("TTestDerivedProps", cut)});
    broken[32 + 12 + 4 + 14 + 4 + 13] = 'X';  // second chunk's magic
    b->A = 0;
    TMemoryStream m2(broken);
    EXPECT_FALSE(list.LoadFromFileStream(m2, 0, 773));
    EXPECT_EQ(b->A, 66);
}

TEST_F(PropertiesTest, ListInTheRegistry) {
    TPropertiesList list;
    auto* d = static_cast<TTestDerivedProps*>(list.Add(0, TTestDerivedProps::StaticClassInfo(), "", true));
    auto* b = static_cast<TTestBaseProps*>(list.Add(0, TTestBaseProps::StaticClassInfo(), "", true));
    d->A = 21;
    b->A = 22;
    ASSERT_TRUE(list.SaveToRegistry("\\Software\\L", HKEY_CURRENT_USER, 0, 773));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\L", false));
        std::vector<AnsiString> names;
        reg.GetValueNames(names);
        EXPECT_EQ(names, (std::vector<AnsiString>{"TTestDerivedProps", "TTestBaseProps"}));
        reg.WriteBinaryData("TTestDerivedProps", "\x01", 1);  // damaged
        reg.WriteBinaryData("TUnknown", "", 0);
    }
    TPropertiesList again;
    auto* d2 = static_cast<TTestDerivedProps*>(again.Add(0, TTestDerivedProps::StaticClassInfo(), "", true));
    auto* b2 = static_cast<TTestBaseProps*>(again.Add(0, TTestBaseProps::StaticClassInfo(), "", true));
    EXPECT_TRUE(again.LoadFromRegistry("\\Software\\L", HKEY_CURRENT_USER, 0, 773));
    EXPECT_EQ(d2->A, 5);
    EXPECT_EQ(b2->A, 22);
    EXPECT_FALSE(again.LoadFromRegistry("\\Software\\Missing", HKEY_CURRENT_USER, 0, 773));

    // One item that cannot be written makes the whole save False.
    list.Add(0, TFailingProps::StaticClassInfo(), "", true);
    EXPECT_FALSE(list.SaveToRegistry("\\Software\\L", HKEY_CURRENT_USER, 0, 773));
    EXPECT_FALSE(list.SaveToRegistry("\\Software\\L", HKEY_LOCAL_MACHINE, 0, 773));
}

TEST_F(PropertiesTest, ListLookupsAndAssignFrom) {
    TPropertiesList a;
    auto* ad = static_cast<TTestDerivedProps*>(a.Add(1, TTestDerivedProps::StaticClassInfo(), "Eins", true));
    auto* ab = static_cast<TTestBaseProps*>(a.Add(2, TTestBaseProps::StaticClassInfo(), "Zwei", true));
    ad->A = 100;
    ab->A = 200;
    EXPECT_EQ(a.GetPropertiesByClass(TTestBaseProps::StaticClassInfo()), ab);  // exactly that class
    EXPECT_EQ(a.GetPropertiesByClassName("TTESTDERIVEDPROPS"), ad);
    EXPECT_EQ(a.Get<TTestBaseProps>(), ab);
    a.SetNameByClassName("ttestbaseprops", "Basis");
    EXPECT_EQ(a.GetItem(1)->Name, "Basis");

    TEmptyProps shared;  // not owned by the list
    TPropertiesList b;
    auto* bb = static_cast<TTestBaseProps*>(b.Add(7, TTestBaseProps::StaticClassInfo(), "B", true));
    b.AddInstance(8, &shared, "Fremd", false);
    b.AssignFrom(a, true, false);  // not emptied
    ASSERT_EQ(b.GetCount(), 3);
    EXPECT_EQ(bb->A, 200);
    EXPECT_EQ(b.GetItem(0)->Name, "B");
    EXPECT_EQ(b.GetItem(2)->Name, "Eins");
    EXPECT_EQ(b.GetItem(2)->Key, 1);
    EXPECT_EQ(static_cast<TTestDerivedProps*>(b.GetItem(2)->Instance)->A, 100);

    b.AssignFrom(a, true, true);  // emptied first
    ASSERT_EQ(b.GetCount(), 2);
    EXPECT_EQ(b.GetItem(0)->Name, "Eins");
    EXPECT_EQ(shared.RefCount(), 1);  // not freed by the list

    b.ResetAll();
    EXPECT_EQ(static_cast<TTestBaseProps*>(b.GetItem(1)->Instance)->A, 5);
}
