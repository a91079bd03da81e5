#include "document/Variables.h"

#include <algorithm>
#include <cctype>
#include <vector>

GC_IMPLEMENT_PLUGIN(TVariablePlugin, TPlugin)

AnsiString LowerCaseAscii(const AnsiString& s) {
    AnsiString r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool TVariablePlugin::IsVariableName(const AnsiString& name) {
    AnsiString names;
    GetNames(names);
    const AnsiString list = "\r\n" + LowerCaseAscii(names) + "\r\n";
    return list.find("\r\n" + name + "\r\n") != AnsiString::npos;
}

bool TVariablePlugin::SupportsContext(TObject* context) {
    const ClassInfo* cls = GetContextClass();
    if (!cls) return true;
    return context && context->ClassType().InheritsFrom(*cls);
}

bool TVariablePlugin::GetValue(TObject* context, const AnsiString& name, AnsiString& value) {
    value.clear();
    if (!SupportsContext(context)) return false;
    GetVariableValue(context, name, value);
    return true;
}

namespace {

// The text being expanded, in pieces: open pieces may still hold placeholders; fixed
// pieces are "%" from "%%" or inserted values and are never searched again.
struct TPiece {
    AnsiString Text;
    bool Fixed;
};

std::vector<AnsiString> SplitNames(const AnsiString& names) {
    std::vector<AnsiString> out;
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find("\r\n", start);
        if (end == AnsiString::npos) end = names.size();
        if (end > start) out.push_back(names.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

bool ContainsPlaceholder(const std::vector<TPiece>& pieces, const AnsiString& pattern) {
    for (const TPiece& p : pieces)
        if (!p.Fixed && LowerCaseAscii(p.Text).find(pattern) != AnsiString::npos) return true;
    return false;
}

void Substitute(std::vector<TPiece>& pieces, const AnsiString& pattern, const AnsiString& value) {
    std::vector<TPiece> out;
    for (TPiece& p : pieces) {
        if (p.Fixed) {
            out.push_back(std::move(p));
            continue;
        }
        const AnsiString lower = LowerCaseAscii(p.Text);
        size_t from = 0;
        for (;;) {
            const size_t at = lower.find(pattern, from);
            if (at == AnsiString::npos) break;
            out.push_back({p.Text.substr(from, at - from), false});
            out.push_back({value, true});
            from = at + pattern.size();
        }
        out.push_back({p.Text.substr(from), false});
    }
    pieces = std::move(out);
}

}  // namespace

void ReplaceVariables(TPlugins* plugins, TObject* context, const AnsiString& source, AnsiString& result) {
    if (!plugins) {
        result = source;
        return;
    }
    std::vector<TPiece> pieces;
    size_t from = 0;
    for (;;) {
        const size_t at = source.find("%%", from);
        if (at == AnsiString::npos) break;
        pieces.push_back({source.substr(from, at - from), false});
        pieces.push_back({"%", true});
        from = at + 2;
    }
    pieces.push_back({source.substr(from), false});

    for (int i = 0; i < plugins->GetCount(); ++i) {
        auto* variable = dynamic_cast<TVariablePlugin*>(plugins->GetItem(i)->GetInstance());
        if (!variable) continue;
        AnsiString names;
        variable->GetNames(names);
        for (const AnsiString& alias : SplitNames(names)) {
            // Appended, not "%" + ...: g++ 12 at -O3 warns falsely (-Wrestrict) on that form.
            AnsiString pattern = "%";
            pattern += LowerCaseAscii(alias);
            pattern += "%";
            if (!ContainsPlaceholder(pieces, pattern)) continue;
            AnsiString value;
            if (variable->GetValue(context, alias, value)) Substitute(pieces, pattern, value);
        }
    }
    result.clear();
    for (const TPiece& p : pieces) result += p.Text;
}
