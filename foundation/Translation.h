// Display texts looked up by key in a translation table, and the extensions a
// file-dialog filter names.
//
// A table is text in lines: a section starts at a line "[Name]" and runs to the next
// line beginning with "["; inside are lines "Key=Value" or "Key,Extra=Value"; empty
// lines are ignored.
#pragma once

#include "foundation/ClassRegistry.h"

#include <optional>
#include <vector>

using TStringLines = std::vector<AnsiString>;

// Text split into lines at CR LF, LF or CR; a final line break adds no empty line.
TStringLines TextToLines(const AnsiString& text);
// The value after the first "=" of the first line whose name (the text before it)
// equals Name without regard to case; empty when there is none.
AnsiString ValueOfName(const TStringLines& lines, const AnsiString& name);

class TSimpleTranslation : public TObject {
    GC_DECLARE_CLASS(TSimpleTranslation)
public:
    // The value of Key in Strings, or Default when that is empty.
    virtual AnsiString GetValue(const TStringLines& strings, const AnsiString& key, const AnsiString& defaultValue) const;
    // "Key,Extra=Value" becomes "Key=Value"; other lines stay as they are.
    virtual AnsiString NormalizeLine(const AnsiString& line) const;
    virtual void SplitLine(const AnsiString& line, AnsiString& key, AnsiString& extra, AnsiString& value) const;
    // The table text becomes Lines (pass a copy, or move the lines in to hand them over);
    // no section stays selected.
    virtual void SetLines(TStringLines lines);
    // Selects the lines of section Name of the table (its file-name part, matched without
    // regard to case), normalised on request; or, with IsFile, the sorted lines of the
    // file Name. False, with no section selected, when there are no such lines.
    virtual bool SelectSection(const AnsiString& name, bool resolve, bool isFile, bool normalize);
    // Loads the table text from a file; False (and no table) when it does not exist or
    // cannot be read.
    virtual bool LoadFromFile(const AnsiString& fileName, bool resolve = false, int resolveFlag = 0);
    // The value of Key in the selected section, or Default.
    virtual AnsiString Translate(const AnsiString& key, const AnsiString& defaultValue) const;

    bool HasSection() const { return FSection.has_value(); }
    bool HasTable() const { return FTable.has_value(); }
    const TStringLines* Section() const { return FSection ? &*FSection : nullptr; }

private:
    std::optional<TStringLines> FSection;
    std::optional<TStringLines> FTable;
};

// The process-wide translation, made by the module's initialisation.
void InitializeTranslation();
void FinalizeTranslation();
TSimpleTranslation* GetTranslation();

// The extensions a filter "Description|*.jpg;*.jpeg|All|*.*" names, upper-case, without
// the dot, sorted by byte order and each once: "*", "JPEG", "JPG".
TStringLines GetFilterExtensions(const AnsiString& filter);
