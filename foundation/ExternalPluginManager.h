// The list of external plug-in files with their ages and sizes, and the settings
// object that stores it. No loader for plug-in packages exists: the manager keeps the
// list and an empty list of packages.
#pragma once

#include "foundation/Plugins.h"
#include "foundation/Properties.h"

#include <vector>

class TExternalPluginManager {
public:
    explicit TExternalPluginManager(TPlugins* plugins) : Plugins(plugins) {}

    TPlugins* Plugins;
    // Lines of three tab-separated fields: path, file age (decimal), size (decimal).
    std::vector<AnsiString> Files;
    bool CheckChanges = true;

    // The line of fileName (first field compared upper-cased), or -1.
    int IndexOf(const AnsiString& fileName) const;
    // True without a line; else, with CheckChanges, when the file's age or size now
    // differs from its line.
    bool NeedsRescan(const AnsiString& fileName) const;
    // Drops the lines whose file is gone or needs a rescan, last to first.
    void Purge();
    // The line for a file as it is now.
    static AnsiString MakeLine(const AnsiString& fileName);
    AnsiString GetText() const;
};

class TExternalPluginProperties : public TPropertiesBlock<TExternalPluginProperties, TProperties> {
    GC_DECLARE_CLASS(TExternalPluginProperties)
public:
    std::vector<AnsiString> Files;

    static AnsiString GetEditorFrameClassNames() { return "TExternalPluginPropertiesEditorFrame"; }
    // One string: the lines joined by CR LF.
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);
    // Purges the manager, then takes its list.
    void TakeFromManager(TExternalPluginManager& manager);
};

// Splits text into lines at CR LF, CR or LF, as a string list takes its text; a line
// break at the very end makes no empty last line.
std::vector<AnsiString> SplitLines(const AnsiString& text);
AnsiString JoinLines(const std::vector<AnsiString>& lines);
