#include "foundation/Plugins.h"

#include <gtest/gtest.h>

namespace {

class TTestPluginA : public TPlugin {
    GC_DECLARE_CLASS(TTestPluginA)
public:
    static AnsiString Caption() { return "Zebra"; }
    static void GetVersionInfo(AnsiString& a, AnsiString& b) {
        a = "1";
        b = "2";
    }
};
class TTestPluginB : public TTestPluginA {
    GC_DECLARE_CLASS(TTestPluginB)
public:
    static AnsiString Caption() { return "alpha"; }
};
// Inherits its caption from TTestPluginB.
class TTestPluginC : public TTestPluginB {
    GC_DECLARE_CLASS(TTestPluginC)
};
class TOtherPlugin : public TPlugin {
    GC_DECLARE_CLASS(TOtherPlugin)
public:
    static AnsiString Caption() { return "Mitte"; }
};
// Implemented as a plain class: its class functions would be its parent's.
class TPlainClassPlugin : public TTestPluginA {
    GC_DECLARE_CLASS(TPlainClassPlugin)
};

class TCountedPlugin : public TInterfacedPlugin {
    GC_DECLARE_CLASS(TCountedPlugin)
public:
    TCountedPlugin() { ++alive; }
    ~TCountedPlugin() override { --alive; }
    static inline int alive = 0;
};

}  // namespace

// Another class that carries the name of TTestPluginA.
namespace other {
class TTestPluginA : public TPlugin {
    GC_DECLARE_CLASS(TTestPluginA)
};
}  // namespace other

GC_IMPLEMENT_PLUGIN(TTestPluginA, TPlugin)
GC_IMPLEMENT_PLUGIN(TTestPluginB, TTestPluginA)
GC_IMPLEMENT_PLUGIN(TTestPluginC, TTestPluginB)
GC_IMPLEMENT_PLUGIN(TOtherPlugin, TPlugin)
GC_IMPLEMENT_PLUGIN(TCountedPlugin, TInterfacedPlugin)
GC_IMPLEMENT_CLASS(TPlainClassPlugin, TTestPluginA)
namespace other {
GC_IMPLEMENT_PLUGIN(TTestPluginA, TPlugin)
}

TEST(Plugins, ClassFunctionsAnswerFromTheClassReference) {
    EXPECT_EQ(PluginCaption(TTestPluginA::StaticClassInfo()), "Zebra");
    EXPECT_EQ(PluginCaption(TTestPluginC::StaticClassInfo()), "alpha");  // inherited
    EXPECT_EQ(PluginCaption(TPlugin::StaticClassInfo()), "");
    AnsiString a, b;
    PluginVersionInfo(TTestPluginC::StaticClassInfo(), a, b);
    EXPECT_EQ(a + b, "12");
    EXPECT_EQ(PluginDescription(TTestPluginC::StaticClassInfo()), "");
    EXPECT_THROW(PluginCaption(TPlugins::StaticClassInfo()), std::logic_error);
}

TEST(Plugins, RegisterIsIdempotentByNameAndReachesTheClassRegistry) {
    {
        TPlugins plugins;
        plugins.Register<TTestPluginA>();
        plugins.Register<TTestPluginA>();
        plugins.Register<other::TTestPluginA>();  // same name: the first stays
        ASSERT_EQ(plugins.GetCount(), 1);
        EXPECT_EQ(&plugins.GetItem(0)->PluginClass(), &TTestPluginA::StaticClassInfo());
        EXPECT_EQ(FindClass("ttestplugina"), &TTestPluginA::StaticClassInfo());
        EXPECT_EQ(plugins.FindClassByName("TTESTPLUGINA"), &TTestPluginA::StaticClassInfo());
        EXPECT_EQ(plugins.FindClassByName("TTestPluginB"), nullptr);
        EXPECT_THROW(plugins.Register(TPlugins::StaticClassInfo()), std::logic_error);
        EXPECT_THROW(plugins.Register<TPlainClassPlugin>(), std::logic_error);

        // By identity: the other class of the same name removes nothing.
        plugins.Unregister<other::TTestPluginA>();
        EXPECT_EQ(plugins.GetCount(), 1);
        plugins.Unregister<TTestPluginA>();
        EXPECT_EQ(plugins.GetCount(), 0);
        EXPECT_EQ(FindClass("TTestPluginA"), nullptr);
        plugins.Register<TTestPluginB>();
    }
    // Freeing the registry unregisters its classes from the class registry.
    EXPECT_EQ(FindClass("TTestPluginB"), nullptr);
}

TEST(Plugins, SubsetsFollowInheritanceAndDieWithRegistryChanges) {
    TPlugins plugins;
    plugins.Register<TTestPluginC>();
    plugins.Register<TOtherPlugin>();
    plugins.Register<TTestPluginA>();
    EXPECT_EQ(plugins.SubsetOf<TCountedPlugin>(), nullptr);

    auto subset = plugins.SubsetOf<TTestPluginA>();
    ASSERT_TRUE(subset);
    ASSERT_EQ(subset->GetCount(), 2);
    EXPECT_FALSE(subset->OwnsItems());
    EXPECT_EQ(&subset->GetItem(0)->PluginClass(), &TTestPluginC::StaticClassInfo());
    EXPECT_EQ(&subset->GetItem(1)->PluginClass(), &TTestPluginA::StaticClassInfo());
    subset.reset();  // leaves the entries alone
    EXPECT_EQ(plugins.GetCount(), 3);

    auto all = plugins.SubsetOf<TPlugin>();
    ASSERT_EQ(all->GetCount(), 3);
    all->SortByName();  // alpha, Mitte, Zebra
    EXPECT_EQ(&all->GetItem(0)->PluginClass(), &TTestPluginC::StaticClassInfo());
    EXPECT_EQ(&all->GetItem(1)->PluginClass(), &TOtherPlugin::StaticClassInfo());
    EXPECT_EQ(&all->GetItem(2)->PluginClass(), &TTestPluginA::StaticClassInfo());
    EXPECT_EQ(&plugins.GetItem(0)->PluginClass(), &TTestPluginC::StaticClassInfo());  // the registry keeps its order

    plugins.Unregister<TOtherPlugin>();
    EXPECT_EQ(all->GetCount(), 0);  // no freed entry can be reached any more
    {
        auto shortLived = std::make_unique<TPlugins>();
        shortLived->Register<TOtherPlugin>();
        all = shortLived->SubsetOf<TPlugin>();
    }
    EXPECT_EQ(all->GetCount(), 0);
}

TEST(Plugins, SharedInstanceIsMadeOnceAndFreedWithTheEntry) {
    TCountedPlugin::alive = 0;
    {
        TPlugins plugins;
        plugins.Register<TCountedPlugin>();
        TPluginListItem* item = plugins.FindItemByName("tcountedplugin");
        ASSERT_TRUE(item);
        TPlugin* a = item->GetInstance();
        EXPECT_EQ(item->GetInstance(), a);
        EXPECT_EQ(TCountedPlugin::alive, 1);
        item->ReleaseInstance();
        EXPECT_EQ(TCountedPlugin::alive, 0);
        item->GetInstance();
    }
    EXPECT_EQ(TCountedPlugin::alive, 0);
}

TEST(Plugins, InterfacedPluginReferenceCounting) {
    TCountedPlugin::alive = 0;
    auto* p = new TCountedPlugin;
    EXPECT_EQ(p->RefCount(), 1);
    {
        TInterfaceRef<IInterface> ref(p);
        EXPECT_EQ(p->RefCount(), 2);
    }
    EXPECT_EQ(p->RefCount(), 1);
    EXPECT_TRUE(p->Supports(IID_IInterface));
    EXPECT_FALSE(p->Supports(TGUID{1, 2, 3, {}}));
    EXPECT_EQ(p->RefCount(), 1);
    EXPECT_NO_THROW(p->Free());
    EXPECT_EQ(TCountedPlugin::alive, 0);

    // A free while an interface is held is refused; the holder ends the object.
    p = new TCountedPlugin;
    TInterfaceRef<IInterface> held(p);
    try {
        p->Free();
        FAIL() << "free with a reference left must raise";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Interface wird noch referenziert! 2");
    }
    EXPECT_EQ(TCountedPlugin::alive, 1);
    EXPECT_EQ(p->RefCount(), 1);
    held.Reset();
    EXPECT_EQ(TCountedPlugin::alive, 0);

    // The deleter owners use logs the refusal instead of throwing.
    p = new TCountedPlugin;
    TInterfaceRef<IInterface> held2(p);
    { TPluginPtr<TCountedPlugin> owner(p); }
    EXPECT_EQ(TCountedPlugin::alive, 1);
    held2.Reset();
    EXPECT_EQ(TCountedPlugin::alive, 0);
}
