// What the show tests share: the process-wide registry with the transitions, the item
// kinds and the show's groups, registered once per test program. The transitions are
// always there, as in the program: a new show excludes those switched off.
#pragma once

#include "document/SlideShow.h"
#include "document/SlideShowObjectModules.h"
#include "foundation/SlideShowGlobals.h"
#include "transitions/TransitionModules.h"

inline TPlugins& ShowTestPlugins() {
    static TPlugins* plugins = [] {
        if (!Plugins) Plugins = new TPlugins();
        InitializeTransitionModules(*Plugins);
        InitializeSlideShowObjectModules(*Plugins);
        SlideShowDocument::Initialize();
        return Plugins;
    }();
    return *plugins;
}

// The stored bytes of one item's own data (its WriteData).
inline std::vector<uint8_t> ItemDataBytes(TSlideShowObject& item) {
    TMemoryStream m;
    TOKFStreamWinTypes c(&m, okfRaw);
    c.Header.FileType = kSlideShowFileType;
    c.Header.ContentVersion = kSlideShowContentVersion;
    item.WriteData(c);
    c.Close();
    return m.Bytes();
}

// The whole tree as a header-less run.
inline std::vector<uint8_t> TreeBytes(TSlideShowObjectList& list) {
    TMemoryStream m;
    list.SaveToStream(m);
    return m.Bytes();
}
