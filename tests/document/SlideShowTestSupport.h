// What the show tests share: the process-wide registry with the document's item kinds
// and the show's groups, registered once per test program. The tests of the drawn kinds
// add the transitions and their kinds to it (tests/objects/ObjectTestSupport.cpp), as
// the program does: a new show then excludes the transitions switched off.
#pragma once

#include "document/SlideShow.h"
#include "document/SlideShowObjectModules.h"
#include "foundation/SlideShowGlobals.h"

inline TPlugins& ShowTestPlugins() {
    static TPlugins* plugins = [] {
        if (!Plugins) Plugins = new TPlugins();
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
