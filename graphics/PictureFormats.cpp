#include "graphics/PictureFormats.h"

#include "graphics/PictureRegistry.h"
#include "platform/Names.h"
#include "platform/TextSplit.h"

#include <algorithm>
#include <memory>
#include <mutex>

const char* const SAllPictures = "Alle Bilder";
const char* const SAllFiles = "Alle Dateien";

namespace {

std::mutex cacheMutex;
std::unique_ptr<std::vector<AnsiString>> cachedList;

// Sorted as the string lists sort: by text, without regard to case.
void SortAsText(std::vector<AnsiString>& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b) < 0; });
}

// An entry is "description|mask|".
AnsiString EntryDescription(const AnsiString& e) { return e.substr(0, e.find('|')); }
AnsiString EntryMask(const AnsiString& e) {
    const size_t bar = e.find('|');
    if (bar == AnsiString::npos) return "";
    AnsiString m = e.substr(bar + 1);
    if (!m.empty() && m.back() == '|') m.pop_back();
    return m;
}

}  // namespace

std::vector<AnsiString> ExtensionListFromMask(const AnsiString& mask) {
    std::vector<AnsiString> list;
    AnsiString text = mask;
    while (!text.empty() && text[0] == '*') {
        text.erase(0, std::min<size_t>(2, text.size()));
        const size_t semi = text.find(';');
        AnsiString ext = text.substr(0, semi);
        text.erase(0, semi == AnsiString::npos ? text.size() : semi + 1);
        list.push_back(AnsiUpperCase(ext));
    }
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

const std::vector<AnsiString>& GetPictureExtensionList(bool refresh) {
    std::lock_guard lock(cacheMutex);
    // Refreshed in place, so references handed out earlier stay valid.
    if (!cachedList) cachedList = std::make_unique<std::vector<AnsiString>>(ExtensionListFromMask(GraphicFileMask()));
    else if (refresh) *cachedList = ExtensionListFromMask(GraphicFileMask());
    return *cachedList;
}

std::vector<AnsiString> CopyPictureExtensionList(bool refresh) { return GetPictureExtensionList(refresh); }

void StripMaskSuffix(AnsiString& s) {
    const size_t open = s.rfind('(');
    s.erase(open == AnsiString::npos ? 0 : open);
}

AnsiString PictureFilterFromText(const AnsiString& graphicFilter, bool allPictures, bool allFiles) {
    // Split into description and mask pairs; the first pair is the combined entry.
    std::vector<AnsiString> parts;
    for (const std::string_view part : SplitAt(graphicFilter, '|')) parts.emplace_back(part);
    std::vector<AnsiString> entries;
    for (size_t i = 2; i + 1 < parts.size(); i += 2) entries.push_back(parts[i] + "|" + parts[i + 1] + "|");
    SortAsText(entries);

    // Equal masks: of each group the entry that sorts last remains.
    for (size_t i = entries.size(); i-- > 0;) {
        if (i >= entries.size()) continue;
        const AnsiString mask = EntryMask(entries[i]);
        for (size_t j = entries.size(); j-- > 0;) {
            if (j == i || !AnsiSameText(EntryMask(entries[j]), mask)) continue;
            entries.erase(entries.begin() + std::ptrdiff_t(j));
            if (j < i) --i;
        }
    }

    // Equal descriptions (without their mask suffix) merge into one entry.
    for (size_t i = entries.size(); i-- > 1;) {
        AnsiString before = EntryDescription(entries[i - 1]), here = EntryDescription(entries[i]);
        StripMaskSuffix(before);
        StripMaskSuffix(here);
        if (before != here) continue;
        const AnsiString masks = EntryMask(entries[i - 1]) + ";" + EntryMask(entries[i]);
        entries[i - 1] = before + "(" + masks + ")|" + masks + "|";
        entries.erase(entries.begin() + std::ptrdiff_t(i));
    }
    if (!entries.empty() && !entries.back().empty() && entries.back().back() == '|') entries.back().pop_back();

    AnsiString filter;
    if (allPictures) {
        AnsiString masks;
        for (const auto& e : entries) {
            if (!masks.empty()) masks += ';';
            masks += EntryMask(e);
        }
        filter = AnsiString(SAllPictures) + "|" + masks + "|";
    }
    for (const auto& e : entries) filter += e;
    if (allFiles) {
        // Keep the pairs well-formed when there is nothing before the all-files entry.
        if (!entries.empty()) filter += "|";
        filter += AnsiString(SAllFiles) + " (*.*)|*.*";
    } else if (allPictures && entries.empty() && !filter.empty()) {
        filter.pop_back();
    }
    std::erase_if(filter, [](char c) { return c == '\r' || c == '\n'; });
    return filter;
}

void BuildPictureFilter(bool allPictures, bool allFiles, AnsiString& filter) {
    filter = PictureFilterFromText(GraphicFilter(), allPictures, allFiles);
}

void FinalizePictureFormatLists() {
    std::lock_guard lock(cacheMutex);
    cachedList.reset();
}
