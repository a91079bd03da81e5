#include "foundation/Translation.h"

#include "foundation/FileTools.h"
#include "platform/FileSystem.h"
#include "platform/Names.h"
#include "platform/TextSplit.h"
#include "platform/Stream.h"

#include <algorithm>
#include <memory>

GC_IMPLEMENT_CLASS(TSimpleTranslation, TObject)

TStringLines TextToLines(const AnsiString& text) {
    TStringLines lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == AnsiString::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

AnsiString ValueOfName(const TStringLines& lines, const AnsiString& name) {
    for (const AnsiString& line : lines) {
        const size_t eq = line.find('=');
        if (eq != AnsiString::npos && AnsiSameText(std::string_view(line).substr(0, eq), name))
            return line.substr(eq + 1);
    }
    return AnsiString();
}

namespace {

// The whole file as lines; nothing when it cannot be read.
std::optional<TStringLines> ReadLines(const AnsiString& fileName) {
    try {
        TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
        const int64_t size = f.GetSize();
        AnsiString text(static_cast<size_t>(size), '\0');
        f.ReadBuffer(text.data(), size);
        return TextToLines(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

AnsiString TSimpleTranslation::GetValue(const TStringLines& strings, const AnsiString& key,
                                        const AnsiString& defaultValue) const {
    AnsiString v = ValueOfName(strings, key);
    return v.empty() ? defaultValue : v;
}

AnsiString TSimpleTranslation::NormalizeLine(const AnsiString& line) const {
    const size_t comma = line.find(',');
    const size_t eq = line.find('=');
    if (comma == AnsiString::npos || eq == AnsiString::npos || comma > eq) return line;
    return line.substr(0, comma) + line.substr(eq);
}

void TSimpleTranslation::SplitLine(const AnsiString& line, AnsiString& key, AnsiString& extra,
                                   AnsiString& value) const {
    const size_t eq = line.find('=');
    extra.clear();
    value.clear();
    if (eq == AnsiString::npos) {
        key = line;
        return;
    }
    const size_t comma = line.find(',');
    if (comma != AnsiString::npos && comma < eq) {
        key = line.substr(0, comma);
        extra = line.substr(comma + 1, eq - comma - 1);
    } else {
        key = line.substr(0, eq);
    }
    value = line.substr(eq + 1);
}

void TSimpleTranslation::SetLines(TStringLines lines) {
    FSection.reset();
    FTable = std::move(lines);
}

// No language interface resolves names in this system, so Resolve changes nothing.
bool TSimpleTranslation::SelectSection(const AnsiString& name, bool /*resolve*/, bool isFile, bool normalize) {
    FSection.reset();
    if (isFile) {
        if (name.empty() || !FileExists(name)) return false;
        std::optional<TStringLines> lines = ReadLines(name);
        if (!lines) return false;
        std::stable_sort(lines->begin(), lines->end(),
                         [](const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b) < 0; });
        FSection = std::move(lines);
        return true;
    }
    if (!FTable) return false;
    // Appended, not "[" + ...: g++ 12 at -O3 warns falsely (-Wrestrict) on that form.
    AnsiString header = "[";
    header += ExtractFileName(name);
    header += "]";
    const TStringLines& table = *FTable;
    // The first line that is the header exactly, letter case included.
    auto it = std::find(table.begin(), table.end(), header);
    if (it == table.end()) return false;
    TStringLines section;
    for (++it; it != table.end() && !(it->size() > 0 && (*it)[0] == '['); ++it)
        if (!it->empty()) section.push_back(normalize ? NormalizeLine(*it) : *it);
    if (section.empty()) return false;
    FSection = std::move(section);
    return true;
}

bool TSimpleTranslation::LoadFromFile(const AnsiString& fileName, bool /*resolve*/, int /*resolveFlag*/) {
    FTable.reset();
    if (fileName.empty() || !FileExists(fileName)) return false;
    FTable = ReadLines(fileName);
    return FTable.has_value();
}

AnsiString TSimpleTranslation::Translate(const AnsiString& key, const AnsiString& defaultValue) const {
    return FSection ? GetValue(*FSection, key, defaultValue) : defaultValue;
}

namespace {
std::unique_ptr<TSimpleTranslation> translation;
}

void InitializeTranslation() {
    if (!translation) translation = std::make_unique<TSimpleTranslation>();
}

void FinalizeTranslation() { translation.reset(); }

TSimpleTranslation* GetTranslation() { return translation.get(); }

TStringLines GetFilterExtensions(const AnsiString& filter) {
    TStringLines result;
    // Pairs of description and pattern list: the odd pieces are the patterns.
    const std::vector<std::string_view> pieces = SplitAt(filter, '|');
    for (size_t piece = 1; piece < pieces.size(); piece += 2)
        for (const std::string_view pattern : SplitAt(pieces[piece], ';')) {
            const AnsiString name = ExtractFileName(AnsiString(pattern));
            const size_t dot = name.rfind('.');
            if (dot != AnsiString::npos && dot + 1 < name.size())
                result.push_back(AnsiUpperCase(std::string_view(name).substr(dot + 1)));
        }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}
