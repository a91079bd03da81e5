// Translation tables and file-dialog filters from arbitrary bytes.
#include "foundation/Translation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const AnsiString text(reinterpret_cast<const char*>(data), size);
    TStringLines lines = TextToLines(text);
    // The first line names the section to select and the key to look up.
    const AnsiString first = lines.empty() ? AnsiString() : lines.front();
    TSimpleTranslation t;
    t.SetLines(lines);
    for (bool normalize : {false, true}) {
        if (t.SelectSection(first, false, false, normalize)) {
            // A few lookups per input keep each run quick.
            size_t n = 0;
            for (const AnsiString& line : *t.Section()) {
                if (++n > 32) break;
                AnsiString k, e, v;
                t.SplitLine(line, k, e, v);
                (void)t.Translate(k, "x");
            }
        }
        (void)t.Translate(first, "");
    }
    (void)GetFilterExtensions(text);
    return 0;
}
