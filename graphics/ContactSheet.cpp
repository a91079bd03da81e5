#include "graphics/ContactSheet.h"

#include <algorithm>

TBitmap32 MakeContactSheet(const std::vector<const TBitmap32*>& pictures, const TContactSheetLayout& layout) {
    const int columns = std::max(layout.Columns, 1);
    const int64_t rows = (int64_t(pictures.size()) + columns - 1) / columns;
    const int64_t w = int64_t(columns) * layout.CellWidth + int64_t(columns + 1) * layout.Gap;
    const int64_t h = rows * layout.CellHeight + (rows + 1) * layout.Gap;
    if (w > INT32_MAX || h > INT32_MAX || w * h > kMaxBitmapPixels) throw EBitmapError("contact sheet too large");
    TBitmap32 sheet{int(w), int(h)};
    sheet.Clear(layout.Ground);
    for (size_t n = 0; n < pictures.size(); ++n) {
        TBitmap32 p(*pictures[n]);
        p.DrawMode = dmOpaque;
        const int left = layout.Gap + int(n % size_t(columns)) * (layout.CellWidth + layout.Gap);
        const int top = layout.Gap + int(n / size_t(columns)) * (layout.CellHeight + layout.Gap);
        if (p.Width() <= layout.CellWidth && p.Height() <= layout.CellHeight) {
            p.DrawTo(sheet, left, top);
            continue;
        }
        // The larger side ratio decides, so the whole picture fits its cell.
        const double scale = std::min(double(layout.CellWidth) / p.Width(), double(layout.CellHeight) / p.Height());
        p.StretchFilter = sfLinear;
        p.StretchTo(sheet, left, top, left + std::max(1, int(p.Width() * scale)),
                         top + std::max(1, int(p.Height() * scale)));
    }
    return sheet;
}
