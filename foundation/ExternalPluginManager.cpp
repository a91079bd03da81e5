#include "foundation/ExternalPluginManager.h"

#include "foundation/FileTools.h"
#include "platform/FolderTools.h"
#include "platform/Names.h"

#include <string>

GC_IMPLEMENT_PLUGIN(TExternalPluginProperties, TProperties)

std::vector<AnsiString> SplitLines(const AnsiString& text) {
    std::vector<AnsiString> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        lines.push_back(text.substr(i, j - i));
        if (j < text.size() && text[j] == '\r') ++j;
        if (j < text.size() && text[j] == '\n') ++j;
        i = j;
    }
    return lines;
}

AnsiString JoinLines(const std::vector<AnsiString>& lines) {
    AnsiString text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}

namespace {

AnsiString Field(const AnsiString& line, int index) { return GetDelimitedItem(line, "\t", index); }

}  // namespace

int TExternalPluginManager::IndexOf(const AnsiString& fileName) const {
    const AnsiString want = AnsiUpperCase(fileName);
    for (size_t i = 0; i < Files.size(); ++i)
        if (AnsiUpperCase(Field(Files[i], 0)) == want) return static_cast<int>(i);
    return -1;
}

bool TExternalPluginManager::NeedsRescan(const AnsiString& fileName) const {
    const int i = IndexOf(fileName);
    if (i < 0) return true;
    if (!CheckChanges) return false;
    const AnsiString& line = Files[static_cast<size_t>(i)];
    return Field(line, 1) != std::to_string(FileAge(fileName)) ||
           Field(line, 2) != std::to_string(GetFileSize(fileName));
}

void TExternalPluginManager::Purge() {
    for (size_t i = Files.size(); i-- > 0;) {
        const AnsiString name = Field(Files[i], 0);
        if (!(FileAge(name) != -1 && !NeedsRescan(name))) Files.erase(Files.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

AnsiString TExternalPluginManager::MakeLine(const AnsiString& fileName) {
    return fileName + "\t" + std::to_string(FileAge(fileName)) + "\t" + std::to_string(GetFileSize(fileName));
}

AnsiString TExternalPluginManager::GetText() const { return JoinLines(Files); }

bool TExternalPluginProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteString(JoinLines(Files));
    return true;
}

bool TExternalPluginProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    Files = SplitLines(c.ReadStringValue());
    return true;
}

void TExternalPluginProperties::TakeFromManager(TExternalPluginManager& manager) {
    manager.Purge();
    Files = SplitLines(manager.GetText());
}
