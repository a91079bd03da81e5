// Playable items, collections' durations and starts, preparation steps, events and actions.
#include "DocumentTestSupport.h"
#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShowObjectInitialization.h"
#include "platform/Shell.h"

namespace {

TDummySlideShowObject* D(int32_t duration, int32_t offset = 0) {
    auto* d = new TDummySlideShowObject();
    d->Duration = duration;
    d->TimeOffset = offset;
    return d;
}

// A kind with two preparation steps that records what runs.
class TStepsObject : public TPlayableSlideShowObject {
public:
    int32_t GetLastInitializationStep() const override { return 1; }
    void BuildInitializationSteps(IPlayerServices* player, int32_t step) override {
        TPlayableSlideShowObject::BuildInitializationSteps(player, step);
        initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(step * 10 + 1, 5, 2));
        initializationList_->Add(std::make_unique<TSlideShowObjectInitialization>(step * 10, 5, 1));
    }
    bool ExecuteInitializationStep(IPlayerServices*, int32_t step) override {
        Ran.push_back(step);
        return step != FailAt;
    }
    std::vector<int32_t> Ran;
    int32_t FailAt = -100;
};

template <class T>
T* Add(TSlideShowObjectList& list, T* item) {
    list.Add(item);
    return item;
}

TSlideShowObjectEventAction* NewAction(const char* className) {
    std::unique_ptr<TPlugin> p = CreatePlugin(*FindClass(className));
    return dynamic_cast<TSlideShowObjectEventAction*>(p.release());
}

}  // namespace

TEST(Initializations, OrderTotalsAndSteps) {
    TSlideShowObjectInitializationList list;
    EXPECT_EQ(list.CurrentStep, -1);
    EXPECT_EQ(list.GetTotalEstimatedTime(), 0);
    EXPECT_EQ(list.First(), nullptr);
    list.Add(std::make_unique<TSlideShowObjectInitialization>(1, 10, 5));
    list.Add(std::make_unique<TSlideShowObjectInitialization>(2, 99, 3));
    list.Insert(0, std::make_unique<TSlideShowObjectInitialization>(3, 2, 5));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetItem(0)->Step, 2);
    EXPECT_EQ(list.GetItem(1)->Step, 3);
    EXPECT_EQ(list.GetItem(2)->Step, 1);
    EXPECT_EQ(list.GetTotalEstimatedTime(), 111);
    list.DeleteStep(42);
    EXPECT_EQ(list.Count(), 3);
    list.DeleteStep(3);
    EXPECT_EQ(list.Last()->Step, 1);
    // Extreme values compare without overflow.
    list.Add(std::make_unique<TSlideShowObjectInitialization>(7, 0, INT32_MIN));
    list.Add(std::make_unique<TSlideShowObjectInitialization>(8, 0, INT32_MAX));
    EXPECT_EQ(list.First()->Step, 7);
    EXPECT_EQ(list.Last()->Step, 8);
    list.Add(std::make_unique<TSlideShowObjectInitialization>(9, INT32_MAX, 0));
    list.Add(std::make_unique<TSlideShowObjectInitialization>(10, INT32_MAX, 0));
    EXPECT_EQ(list.GetTotalEstimatedTime(), INT32_MAX);
}

TEST(Playable, DurationsStatesAndDefaults) {
    TestPlugins();
    TSlideShowObjectPtr free(D(-1));
    EXPECT_EQ(free->GetDuration(), 0);
    TFakeShow show;
    auto* d = Add(show.Root, D(-1));
    EXPECT_EQ(d->GetDuration(), 5000);
    show.DefaultDuration = 7000;
    EXPECT_EQ(d->GetDuration(), 7000);
    d->SetDuration(-9);
    EXPECT_EQ(d->Duration, -1);
    TFakePlayer player;
    EXPECT_FALSE(d->IsFinished());
    d->Start();
    EXPECT_EQ(d->GetState(), psStarted);
    EXPECT_FALSE(d->IsFinished());
    EXPECT_EQ(d->Play(&player, false), 7000);
    EXPECT_EQ(d->GetState(), psPlaying);
    EXPECT_FALSE(d->IsFinished());
    d->Finish();
    EXPECT_TRUE(d->IsFinished());
    d->Reset();
    EXPECT_EQ(d->GetState(), psIdle);
    TSlideShowObjectEvent* e = reinterpret_cast<TSlideShowObjectEvent*>(1);
    EXPECT_FALSE(d->FindEvent(TSlideShowObjectEventTimer::StaticClassInfo(), e));
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(d->GetDisplayName(), "Dummy");
    d->Text = "hallo";
    EXPECT_EQ(d->GetDisplayName(), "Dummy: hallo");
}

TEST(Playable, StagedPreparation) {
    TFakePlayer player;
    // A kind without steps is done as soon as it begins.
    TPlayableSlideShowObject plain;
    EXPECT_FALSE(plain.NextInitializationStep());
    plain.BeginInitializationStep(&player, 0);
    EXPECT_TRUE(plain.IsInitialized());

    TStepsObject s;
    s.InitializeAll(&player);
    EXPECT_EQ(s.Ran, (std::vector<int32_t>{0, 1, 10, 11}));
    EXPECT_TRUE(s.IsInitialized());
    // A finished preparation stays finished.
    EXPECT_TRUE(s.NextInitializationStep());
    EXPECT_EQ(s.GetInitializationList()->CurrentStep, -2);

    TStepsObject f;
    f.FailAt = 1;
    f.InitializeAll(&player);
    EXPECT_EQ(f.Ran, (std::vector<int32_t>{0, 1}));
    EXPECT_FALSE(f.IsInitialized());
    f.Reset();
    EXPECT_EQ(f.GetInitializationList(), nullptr);
}

TEST(Collections, DurationsOfChaptersAndParallelGroups) {
    TestPlugins();
    TParallelSlideShowObject par;
    EXPECT_EQ(par.GetDuration(), 0);
    par.CreateChildList()->Add(D(4000, 0));
    par.GetChildList()->Add(D(3000, 2000));
    EXPECT_EQ(par.GetDuration(), 5000);

    TContainerSlideShowObject chapter;
    EXPECT_EQ(chapter.GetDuration(), 0);
    chapter.CreateChildList()->Add(D(5000));
    chapter.GetChildList()->Add(D(3000));
    chapter.GetChildList()->GetItem(0)->SetEnabled(false);
    EXPECT_EQ(chapter.GetDuration(), 3000);
    chapter.GetChildList()->Add(D(INT32_MAX));
    EXPECT_EQ(chapter.GetDuration(), INT32_MAX);
    EXPECT_TRUE(chapter.IsFinished());
    EXPECT_TRUE(chapter.IsInitialized());
    chapter.Title = "Teil 1";
    EXPECT_EQ(chapter.GetDisplayName(), "Kapitel: Teil 1");
}

TEST(Collections, StartTimesAfterTwoStarts) {
    TestPlugins();
    TSlideShowObjectList root;
    auto* par = Add(root, new TParallelSlideShowObject());
    par->CreateChildList();
    auto* a = Add(*par->GetChildList(), D(1000, 300));
    auto* chapter = Add(*par->GetChildList(), new TContainerSlideShowObject());
    chapter->TimeOffset = 500;
    chapter->CreateChildList();
    auto* c1 = Add(*chapter->GetChildList(), D(2000));
    auto* c2 = Add(*chapter->GetChildList(), D(1500));
    par->StartTime = 10000;
    for (int pass = 0; pass < 2; ++pass) {
        par->Start();
        EXPECT_EQ(a->StartTime, 10300);
        EXPECT_EQ(chapter->StartTime, 10500);
        chapter->Start();
        EXPECT_EQ(c1->StartTime, 10500) << "pass " << pass;
        EXPECT_EQ(c2->StartTime, 12500) << "pass " << pass;
    }
    // A chapter at top level leaves its children alone.
    auto* top = Add(root, new TContainerSlideShowObject());
    top->CreateChildList();
    auto* t1 = Add(*top->GetChildList(), D(10));
    t1->StartTime = 42;
    top->StartTime = 1000;
    top->TimeOffset = 7;
    top->Start();
    EXPECT_EQ(t1->StartTime, 42);
}

TEST(Events, StoredFormOfAnEventWithoutActions) {
    TestPlugins();
    TDummySlideShowObject d;
    d.CreateEventList()->Add(new TSlideShowObjectEventObjectStarted());
    TMemoryStream m;
    ASSERT_TRUE(d.SaveToStream(m));
    const Bytes events = Bytes().u32(1).raw(Block(Bytes().str("TSlideShowObjectEventObjectStarted").u32(0).u32(0)).vec());
    EXPECT_EQ(m.Bytes(), DummyData(-1, "", events).vec());
    TDummySlideShowObject back;
    m.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(m));
    ASSERT_NE(back.GetEventList(), nullptr);
    EXPECT_EQ(back.GetEventList()->First()->ActionList(), nullptr);

    // An item without events stores an empty list and keeps none.
    TDummySlideShowObject none;
    TMemoryStream m2;
    ASSERT_TRUE(none.SaveToStream(m2));
    EXPECT_EQ(m2.Bytes(), DummyData(-1).vec());
    EXPECT_EQ(none.GetEventList(), nullptr);
}

TEST(Events, UnknownEntriesAndSettingsFlagsThatDisagree) {
    TestPlugins();
    const Bytes beep = Block(Bytes().str("TBeepAction").u32(0));
    const Bytes unknown = Block(Bytes().str("TNoSuchAction").u32(0).u32(77));
    const Bytes notAnAction = Block(Bytes().str("TSlideShowObjectEventTimer").u32(0));
    // Settings stored for a class without settings: ignored with the block.
    const Bytes pauseWithFlag = Block(Bytes().str("TPausePlayerAction").u32(1).u32(4));
    // No settings stored for a class with settings: the defaults stay.
    const Bytes runWithoutFlag = Block(Bytes().str("TExecuteProgramAction").u32(0));
    const Bytes actions = Bytes().u32(5).raw(beep.vec()).raw(unknown.vec()).raw(notAnAction.vec())
                              .raw(pauseWithFlag.vec()).raw(runWithoutFlag.vec());
    const Bytes events =
        Bytes().u32(2).raw(Block(Bytes().str("TSlideShowObjectEventObjectFinished").raw(actions.vec()).u32(0)).vec())
            .raw(Block(Bytes().str("TUnknownEvent").u32(0).u32(0)).vec());
    TSlideShowObjectList list;
    const TReadOutcome r = ReadRunBytes(list, Concat({ListRun(1), ItemChunk("TDummySlideShowObject", DummyData(5, "e", events))}));
    ASSERT_FALSE(r.Failed);
    auto* d = dynamic_cast<TDummySlideShowObject*>(list.GetItem(0));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->GetEventList()->Count(), 1);
    TSlideShowObjectEventActionList* acts = d->GetEventList()->First()->ActionList();
    ASSERT_EQ(acts->Count(), 3);
    EXPECT_EQ(acts->GetItem(0)->ClassName(), "TBeepAction");
    EXPECT_EQ(acts->GetItem(1)->ClassName(), "TPausePlayerAction");
    EXPECT_EQ(acts->GetItem(1)->Properties(), nullptr);
    auto* run = dynamic_cast<TExecuteProgramAction*>(acts->GetItem(2));
    ASSERT_NE(run, nullptr);
    ASSERT_NE(run->Settings(), nullptr);
    EXPECT_EQ(run->Settings()->Kind, 0);
}

TEST(Events, FindByClassIsExactAndTimersRearm) {
    TestPlugins();
    TDummySlideShowObject d;
    d.CreateEventList()->Add(new TSlideShowObjectEventObjectStarted());
    auto* timer = new TSlideShowObjectEventTimer();
    d.GetEventList()->Add(timer);
    EXPECT_EQ(d.GetEventList()->FindByClass(TSlideShowObjectEvent::StaticClassInfo()), nullptr);
    TSlideShowObjectEvent* found = nullptr;
    EXPECT_TRUE(d.FindEvent(TSlideShowObjectEventTimer::StaticClassInfo(), found));
    EXPECT_EQ(found, timer);
    timer->Fired = true;
    d.Reset();
    EXPECT_FALSE(timer->Fired);
    EXPECT_EQ(d.GetEventClasses().size(), 2u);
    EXPECT_EQ(EventDisplayText(TSlideShowObjectEventTimer::StaticClassInfo()), "Timer");
}

TEST(Events, TimerOffsetSurvivesAndOldBlocksStillRead) {
    TestPlugins();
    TDummySlideShowObject d;
    auto* timer = new TSlideShowObjectEventTimer();
    timer->Offset = 2500;
    timer->Fired = true;
    d.CreateEventList()->Add(timer);
    TMemoryStream m;
    ASSERT_TRUE(d.SaveToStream(m));
    const Bytes events = Bytes().u32(1).raw(Block(Bytes().str("TSlideShowObjectEventTimer").u32(0).u32(0).i32(2500)).vec());
    EXPECT_EQ(m.Bytes(), DummyData(-1, "", events).vec());
    TDummySlideShowObject back;
    m.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(m));
    auto* t = dynamic_cast<TSlideShowObjectEventTimer*>(back.GetEventList()->First());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Offset, 2500);
    EXPECT_FALSE(t->Fired);

    // A block of the older form has no offset: the timer keeps -1.
    const Bytes old = Bytes().u32(1).raw(Block(Bytes().str("TSlideShowObjectEventTimer").u32(0).u32(0)).vec());
    TMemoryStream m2(DummyData(-1, "", old).vec());
    TDummySlideShowObject back2;
    ASSERT_TRUE(back2.LoadFromStream(m2));
    EXPECT_EQ(dynamic_cast<TSlideShowObjectEventTimer*>(back2.GetEventList()->First())->Offset, -1);
}

TEST(Actions, ExecuteThroughTheItem) {
    TestPlugins();
    TFakeShellSystem shell;
    TInstalled<SetShellSystem> installed(shell);
    TFakePlayer player;
    TFakeShow show;
    auto* d = Add(show.Root, D(100));
    auto* ev = new TSlideShowObjectEventObjectStarted();
    d->CreateEventList()->Add(ev);
    TSlideShowObjectEventActionList* acts = ev->CreateActionList();
    auto addRun = [&](uint8_t kind, const char* target, const char* params) {
        auto* a = dynamic_cast<TExecuteProgramAction*>(NewAction("TExecuteProgramAction"));
        a->Settings()->Kind = kind;
        a->Settings()->Target = target;
        a->Settings()->Parameters = params;
        acts->Add(a);
    };
    addRun(1, "info@example.org", "ignored");
    addRun(2, "https://example.org/a b", "");
    addRun(9, "nothing", "");
    acts->Add(NewAction("TBeepAction"));
    acts->Add(NewAction("TPausePlayerAction"));
    acts->Add(NewAction("TPlayPlayerAction"));
    d->ExecuteEvent(&player, ev);
    ASSERT_EQ(shell.Calls.size(), 2u);
    EXPECT_EQ(shell.Calls[0], (std::vector<std::string>{"xdg-open", "mailto:info@example.org"}));
    EXPECT_EQ(shell.Calls[1], (std::vector<std::string>{"xdg-open", "https://example.org/a b"}));
    EXPECT_EQ(shell.Beeps, 1);
    EXPECT_EQ(player.PauseCalls, (std::vector<bool>{true, false}));
    d->ExecuteEvent(&player, nullptr);
    EXPECT_EQ(shell.Beeps, 1);
}

TEST(Actions, RunProgramResolvesAgainstTheShow) {
    TestPlugins();
    TFakeShellSystem shell;
    TInstalled<SetShellSystem> installed(shell);
    TempDir dir;
    const std::string prog = dir / "tool.sh";
    WriteFileBytes(prog, Bytes().raw(std::string("#!/bin/sh\n")).vec());
    std::filesystem::permissions(prog, std::filesystem::perms::owner_all);
    TDummySlideShowObject free;
    auto* a = dynamic_cast<TExecuteProgramAction*>(NewAction("TExecuteProgramAction"));
    TPluginPtr<TSlideShowObjectEventAction> holder(a);
    a->Settings()->Kind = 0;
    a->Settings()->Target = prog;
    a->Settings()->Parameters = "-x \"two words\" end";
    a->Execute(nullptr, &free, nullptr);
    ASSERT_EQ(shell.Calls.size(), 1u);
    EXPECT_EQ(shell.Calls[0], (std::vector<std::string>{prog, "-x", "two words", "end"}));
    // A document with the verb "open" goes to the opener; a missing one to nothing.
    a->Settings()->Kind = 3;
    a->Execute(nullptr, &free, nullptr);
    EXPECT_EQ(shell.Calls.back(), (std::vector<std::string>{"xdg-open", prog}));
    a->Settings()->Target = dir / "missing.txt";
    a->Execute(nullptr, &free, nullptr);
    EXPECT_EQ(shell.Calls.size(), 2u);
    // Settings are copied with the action.
    TPluginPtr<TSlideShowObjectEventAction> copy(NewAction("TExecuteProgramAction"));
    copy->Assign(*a);
    EXPECT_EQ(dynamic_cast<TExecuteProgramAction*>(copy.get())->Settings()->Parameters, "-x \"two words\" end");
}

TEST(Tree, FullTreeWithEventsRoundTripsByteForByte) {
    TestPlugins();
    TSlideShowObjectList root;
    auto* intro = Add(root, D(3000));
    intro->Keywords = "Anfang";
    auto* ev = new TSlideShowObjectEventObjectStarted();
    intro->CreateEventList()->Add(ev);
    ev->CreateActionList()->Add(NewAction("TBeepAction"));
    auto* run = dynamic_cast<TExecuteProgramAction*>(NewAction("TExecuteProgramAction"));
    run->Settings()->Kind = 0;
    run->Settings()->Target = "Programme\\tool.exe";
    run->Settings()->Parameters = "/x";
    ev->ActionList()->Add(run);
    auto* open = dynamic_cast<TExecuteProgramAction*>(NewAction("TExecuteProgramAction"));
    open->Settings()->Kind = 2;
    open->Settings()->Target = "https://example.org";
    ev->ActionList()->Add(open);

    auto* chapter = Add(root, new TContainerSlideShowObject());
    chapter->Title = "Kapitel \xE4";
    chapter->CreateChildList();
    auto* par = Add(*chapter->GetChildList(), new TParallelSlideShowObject());
    par->Title = "zugleich";
    par->CreateChildList();
    auto* p1 = Add(*par->GetChildList(), D(1000, 0));
    auto* timer = new TSlideShowObjectEventTimer();
    timer->Offset = 750;
    p1->CreateEventList()->Add(timer);
    timer->CreateActionList()->Add(NewAction("TPausePlayerAction"));
    auto* fin = new TSlideShowObjectEventObjectFinished();
    p1->GetEventList()->Add(fin);
    fin->CreateActionList()->Add(NewAction("TPlayPlayerAction"));
    Add(*par->GetChildList(), D(2000, 500))->SetEnabled(false);
    Add(*chapter->GetChildList(), new TContainerSlideShowObject())->CreateChildList();
    Add(root, D(-1))->StartTime = 12345;

    const std::vector<uint8_t> first = WriteRunBytes(root);
    TSlideShowObjectList back;
    const TReadOutcome r = ReadRunBytes(back, first);
    ASSERT_FALSE(r.Failed);
    EXPECT_EQ(r.Dropped, 0);
    EXPECT_EQ(back.GetTotalCount(), root.GetTotalCount());
    EXPECT_EQ(WriteRunBytes(back), first);
    TPath path;
    for (int e : {1, 0, 0}) path.Add(e);
    auto* backP1 = dynamic_cast<TPlayableSlideShowObject*>(back.GetObjectByPath(path));
    ASSERT_NE(backP1, nullptr);
    auto* t = dynamic_cast<TSlideShowObjectEventTimer*>(backP1->GetEventList()->First());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Offset, 750);

    // A deep copy writes the same bytes too.
    TSlideShowObjectList copy;
    copy.Assign(root);
    EXPECT_EQ(WriteRunBytes(copy), first);
}

TEST(Interfaces, AskedByIdAndByType) {
    TestPlugins();
    TPluginPtr<TDummySlideShowObject> d(new TDummySlideShowObject());
    EXPECT_TRUE(d->Supports(IID_ISlideShowObject));
    EXPECT_TRUE(d->Supports(IID_IPlayable));
    EXPECT_TRUE(d->Supports(IID_IText));
    EXPECT_TRUE(d->Supports(IID_IKeywords));
    EXPECT_TRUE(d->Supports(IID_IPropertyFrameProvider));
    EXPECT_FALSE(d->Supports(IID_ICollection));
    EXPECT_EQ(d->RefCount(), 1);
    TPluginPtr<TContainerSlideShowObject> c(new TContainerSlideShowObject());
    EXPECT_TRUE(c->Supports(IID_ICollection));
    EXPECT_TRUE(c->Supports(IID_IContainerCollection));
    EXPECT_FALSE(c->Supports(IID_IParallelCollection));
    TPluginPtr<TParallelSlideShowObject> p(new TParallelSlideShowObject());
    EXPECT_TRUE(p->Supports(IID_IParallelCollection));
    EXPECT_EQ(Supports<IText>(p.get())->GetText(), "");
    EXPECT_FALSE(d->Supports(IID_IComposite));
    EXPECT_FALSE(d->Supports(IID_ITextEffectHost));
    // The family: {82715B8F-3BE1-4E73-A42E-000000000110} for IPlayable.
    EXPECT_EQ(IID_IPlayable.D1, 0x82715B8Fu);
    EXPECT_EQ(IID_IPlayable.D4[6], 0x01);
    EXPECT_EQ(IID_IPlayable.D4[7], 0x10);
    EXPECT_EQ(c->GetCategory(), "Standard");
    EXPECT_EQ(d->GetCategory(), "Zus\xE4tzlich");
}

#include "document/BackgroundMusicSlideShowObject.h"
#include "document/SoundTestSupport.h"

namespace {
class TFakeMusicItem : public IMusicPlayListItem {
public:
    AnsiString GetFileName() const override { return "Musik\\lied.mp3"; }
    void Open(const AnsiString& file) override {
        Opened.push_back(file);
        // A song: it opens as the item is told and has no length.
        sound_ = std::make_unique<TFakeSound>(OpenWorks);
        sound_->Length = -1;
        sound_->Open(file);
    }
    ISlideShowSound* GetSound() const override { return sound_.get(); }
    std::vector<AnsiString> Opened;
    bool OpenWorks = true;

private:
    std::unique_ptr<TFakeSound> sound_;
};
}  // namespace

TEST(BackgroundMusic, OpensTheSoundOnceAndRecordsTheTime) {
    TFakePlayer player;
    TFakeMusicItem music;
    TBackgroundMusicSlideShowObject placeholder;
    EXPECT_FALSE(placeholder.IsInitialized());
    placeholder.MusicItem = &music;
    placeholder.BeginInitializationStep(&player, 0);
    ASSERT_EQ(placeholder.GetInitializationList()->Count(), 1);
    EXPECT_EQ(placeholder.GetInitializationList()->First()->EstimatedTime, 200);
    placeholder.InitializeAll(&player);
    EXPECT_TRUE(placeholder.IsInitialized());
    EXPECT_EQ(music.Opened, (std::vector<AnsiString>{"Musik\\lied.mp3"}));
    ASSERT_NE(player.Bench.FindList("OpenSound"), nullptr);
    EXPECT_EQ(player.Bench.FindList("OpenSound")->Count(), 1);
    // Already open: not opened again.
    EXPECT_TRUE(placeholder.ExecuteInitializationStep(&player, 0));
    EXPECT_EQ(music.Opened.size(), 1u);
    placeholder.Reset();
    EXPECT_TRUE(placeholder.IsInitialized());  // the sound stays the item's

    TFakeMusicItem broken;
    broken.OpenWorks = false;
    TBackgroundMusicSlideShowObject p2;
    p2.MusicItem = &broken;
    p2.InitializeAll(&player);
    EXPECT_FALSE(p2.IsInitialized());
    // Not a stored kind.
    EXPECT_EQ(FindSlideShowObjectClass("TBackgroundMusicSlideShowObject"), nullptr);
}
