#include "objects/PreviewEditorHelpers.h"

#include "document/TimeToValue.h"
#include "foundation/Raster.h"
#include "foundation/RectTools.h"
#include "graphics/Bitmap32.h"
#include "platform/ConfigureDialog.h"

#include <cstdio>

#include <algorithm>
#include <limits>

GC_IMPLEMENT_CLASS(TPreviewEditorHelper, TObject)
GC_IMPLEMENT_CLASS(TMoveRectPreviewEditorHelper, TPreviewEditorHelper)
GC_IMPLEMENT_CLASS(TMoveableRectPreviewEditorHelper, TMoveRectPreviewEditorHelper)
GC_IMPLEMENT_CLASS(TMultiMoveRectPreviewEditorHelper, TPreviewEditorHelper)

namespace {

// Mouse positions come from outside; sums of them saturate instead of wrapping.
int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

TRect Inflated(const TRect& r, int32_t d) {
    return TRect{Saturate(int64_t(r.Left) - d), Saturate(int64_t(r.Top) - d), Saturate(int64_t(r.Right) + d),
                 Saturate(int64_t(r.Bottom) + d)};
}

bool Contains(const TRect& r, int32_t x, int32_t y) {
    return r.Left <= x && x < r.Right && r.Top <= y && y < r.Bottom;
}

bool IsLeftHandle(uint8_t c) { return c == hcLeft || c == hcTopLeft || c == hcBottomLeft; }
bool IsRightHandle(uint8_t c) { return c == hcRight || c == hcBottomRight || c == hcTopRight; }
bool IsTopHandle(uint8_t c) { return c == hcTop || c == hcTopLeft || c == hcTopRight; }
bool IsBottomHandle(uint8_t c) { return c == hcBottom || c == hcBottomRight || c == hcBottomLeft; }

bool SnapsTo(const TPreviewEditorMouseInfo& info) { return info.Raster && !(info.Shift & ssCtrl); }

}  // namespace

TCursor HitCodeCursor(uint8_t hitCode) {
    switch (hitCode) {
        case hcLeft:
        case hcRight: return crSizeWE;
        case hcTop:
        case hcBottom: return crSizeNS;
        case hcTopLeft:
        case hcBottomRight: return crSizeNWSE;
        case hcTopRight:
        case hcBottomLeft: return crSizeNESW;
        case hcMove: return crSizeAll;
        default: return crDefault;
    }
}

// ---- one rectangle ----

uint8_t TMoveRectPreviewEditorHelper::HitTest(const TPreviewEditorMouseInfo& info, const TRect& r) {
    const int32_t h = HandleSize;
    if (Contains(Inflated(r, -(h / 2)), info.X, info.Y)) return hcMove;
    const TRect grown = Inflated(r, h / 2);
    if (!Contains(grown, info.X, info.Y)) return hcNone;
    const int64_t dx = int64_t(info.X) - grown.Left;
    const int64_t dy = int64_t(info.Y) - grown.Top;
    const int64_t w = int64_t(grown.Right) - grown.Left;
    const int64_t ht = int64_t(grown.Bottom) - grown.Top;
    uint8_t code = hcNone;
    if (dx <= h)
        code = hcLeft;
    else if (dx >= w - h)
        code = hcRight;
    if (dy <= h) code = code == hcLeft ? hcTopLeft : code == hcRight ? hcTopRight : hcTop;
    // Only rectangles at most a handle high reach this with a top code; they become the
    // bottom edge.
    if (dy >= ht - h) code = code == hcLeft ? hcBottomLeft : code == hcRight ? hcBottomRight : hcBottom;
    return code;
}

TCursor TMoveRectPreviewEditorHelper::GetCursor(const TPreviewEditorMouseInfo& info) {
    return HitCodeCursor(HitTest(info, Rect));
}

bool TMoveRectPreviewEditorHelper::MouseDown(const TPreviewEditorMouseInfo& info) {
    if (Dragging && HitCode != hcNone) return false;
    NotMoved = true;
    StartMouse = {info.X, info.Y};
    HitCode = HitTest(info, Rect);
    StartRect = Rect;
    // The edges opposite the grabbed handle stay put while dragging.
    if (IsLeftHandle(HitCode)) StartRect.Left = Rect.Right;
    if (IsRightHandle(HitCode)) StartRect.Left = Rect.Left;
    if (IsTopHandle(HitCode)) StartRect.Top = Rect.Bottom;
    if (IsBottomHandle(HitCode)) StartRect.Top = Rect.Top;
    Dragging = HitCode != hcNone;
    return false;
}

bool TMoveRectPreviewEditorHelper::MouseMove(const TPreviewEditorMouseInfo& info) {
    if (!Dragging) return false;
    if (NotMoved && info.X == StartMouse.X && info.Y == StartMouse.Y) {
        NotMoved = false;
        return true;
    }
    const TRaster* raster = SnapsTo(info) ? info.Raster : nullptr;
    auto snapX = [&](int32_t x) { return raster ? raster->SnapXInt(x, RectWidth(info.AreaRect)) : x; };
    auto snapY = [&](int32_t y) { return raster ? raster->SnapYInt(y, RectHeight(info.AreaRect)) : y; };
    TRect r = Rect;
    if (HitCode == hcMove) {
        r = TRect{Saturate(int64_t(StartRect.Left) + info.X - StartMouse.X),
                  Saturate(int64_t(StartRect.Top) + info.Y - StartMouse.Y),
                  Saturate(int64_t(StartRect.Right) + info.X - StartMouse.X),
                  Saturate(int64_t(StartRect.Bottom) + info.Y - StartMouse.Y)};
        if (raster) r = raster->SnapRect(r, info.AreaRect);
    } else {
        if (IsLeftHandle(HitCode)) {
            r.Left = snapX(info.X);
            r.Right = StartRect.Left;
        } else if (IsRightHandle(HitCode)) {
            r.Right = snapX(info.X);
            r.Left = StartRect.Left;
        }
        if (IsTopHandle(HitCode)) {
            r.Top = snapY(info.Y);
            r.Bottom = StartRect.Top;
        } else if (IsBottomHandle(HitCode)) {
            r.Bottom = snapY(info.Y);
            r.Top = StartRect.Top;
        }
        // An edge dragged over the opposite one flips the rectangle.
        r = NormalizeRect(r);
    }
    Rect = r;
    NotMoved = false;
    return true;
}

bool TMoveRectPreviewEditorHelper::MouseUp(const TPreviewEditorMouseInfo&) {
    Dragging = false;
    return false;
}

// ---- a rectangle with a motion path ----

void TMoveableRectPreviewEditorHelper::SetPath(TTimeToVector2DValue* path) {
    path_ = path;
    ClearKeys();
}

bool TMoveableRectPreviewEditorHelper::KeyIndexValid(int32_t index) const {
    return path_ && index >= 0 && index < path_->KeyCount();
}

int TMoveableRectPreviewEditorHelper::FindPathKey(const TPreviewEditorMouseInfo& info) {
    if (!path_ || !info.Bitmap) return -1;
    for (int i = path_->KeyCount() - 1; i >= 0; --i) {
        TVector2D c;
        path_->GetScaledKeyValue(i, info.Bitmap->Width(), c, info.Bitmap->Height());
        const TRect box{Saturate(int64_t(c.X) - HandleSize), Saturate(int64_t(c.Y) - HandleSize),
                        Saturate(int64_t(c.X) + HandleSize), Saturate(int64_t(c.Y) + HandleSize)};
        if (Contains(box, info.X, info.Y)) return i;
    }
    return -1;
}

bool TMoveableRectPreviewEditorHelper::MouseDown(const TPreviewEditorMouseInfo& info) {
    HotKey = -1;
    bool changed = false;
    if (info.Shift & (ssLeft | ssRight)) {
        const int k = FindPathKey(info);
        changed = k != SelectedKey;
        SelectedKey = k;
        // Key 0 follows the rectangle: it can be selected but not dragged.
        HotKey = k == 0 ? -1 : k;
    }
    if (HotKey >= 0) {
        NotMoved = true;
        StartMouse = {info.X, info.Y};
        return true;
    }
    // The press also reaches the rectangle when the selection changed, so that a press on
    // key 0 starts moving the item at once.
    const bool rectResult = TMoveRectPreviewEditorHelper::MouseDown(info);
    return changed || rectResult;
}

bool TMoveableRectPreviewEditorHelper::MouseMove(const TPreviewEditorMouseInfo& info) {
    if (HotKey >= 0 && (info.Shift & ssLeft) && KeyIndexValid(HotKey)) {
        if (NotMoved && info.X == StartMouse.X && info.Y == StartMouse.Y) {
            NotMoved = false;
            return true;
        }
        // Without an editor area there is no position to move the key to.
        if (!info.Bitmap || info.Bitmap->Width() <= 0 || info.Bitmap->Height() <= 0) return false;
        long double fx = static_cast<long double>(info.X) / info.Bitmap->Width();
        long double fy = static_cast<long double>(info.Y) / info.Bitmap->Height();
        if (SnapsTo(info)) {
            fx = info.Raster->SnapX(fx);
            fy = info.Raster->SnapY(fy);
        }
        TTimeVector2DValue* key = path_->VecKey(HotKey);
        key->Value = Vector2D(TruncToInt32(path_->MaxValue.X * fx), TruncToInt32(path_->MaxValue.Y * fy));
        NotMoved = false;
        return true;
    }
    HotKey = -1;
    return TMoveRectPreviewEditorHelper::MouseMove(info);
}

bool TMoveableRectPreviewEditorHelper::MouseUp(const TPreviewEditorMouseInfo& info) {
    HotKey = -1;
    return TMoveRectPreviewEditorHelper::MouseUp(info);
}

TCursor TMoveableRectPreviewEditorHelper::GetCursor(const TPreviewEditorMouseInfo& info) {
    if (FindPathKey(info) >= 0) return crSizeAll;
    return TMoveRectPreviewEditorHelper::GetCursor(info);
}

void TMoveableRectPreviewEditorHelper::SetSelectedKeyTime(int32_t time) {
    if (!KeyIndexValid(SelectedKey)) return;
    for (int i = 0; i < path_->KeyCount(); ++i)
        if (path_->Key(i)->Time == time) return;
    TTimeValue* key = path_->Key(SelectedKey);
    key->Time = time;
    path_->Sort();
    for (int i = 0; i < path_->KeyCount(); ++i)
        if (path_->Key(i) == key) SelectedKey = i;
    HotKey = -1;
}

void TMoveableRectPreviewEditorHelper::DeleteSelectedKey() {
    if (!KeyIndexValid(SelectedKey)) return;
    path_->DeleteKey(SelectedKey);
    // A single key is no path.
    if (path_->KeyCount() == 1) path_->ClearKeys();
    ClearKeys();
}

void TMoveableRectPreviewEditorHelper::SetSelectedKeyLinear(bool flag) {
    if (KeyIndexValid(SelectedKey)) path_->Key(SelectedKey)->Linear = flag;
}

// ---- several rectangles ----

TMultiMoveRectPreviewEditorHelper::TMultiMoveRectPreviewEditorHelper(int count) {
    for (int i = 0; i < count; ++i) Items.push_back(std::make_unique<TMoveRectPreviewEditorHelper>());
}

TMoveRectPreviewEditorHelper* TMultiMoveRectPreviewEditorHelper::Item(int index) const {
    return index >= 0 && index < Count() ? Items[size_t(index)].get() : nullptr;
}

void TMultiMoveRectPreviewEditorHelper::SetOnChange(TPreviewEditorChangeEvent handler) {
    for (auto& item : Items) item->SetOnChange(handler);
    TPreviewEditorHelper::SetOnChange(std::move(handler));
}

bool TMultiMoveRectPreviewEditorHelper::MouseMove(const TPreviewEditorMouseInfo& info) {
    for (int i = Count() - 1; i >= 0; --i)
        if (Items[size_t(i)]->MouseMove(info)) return true;
    return false;
}

bool TMultiMoveRectPreviewEditorHelper::MouseDown(const TPreviewEditorMouseInfo& info) {
    for (int i = Count() - 1; i >= 0; --i) {
        TMoveRectPreviewEditorHelper& item = *Items[size_t(i)];
        if (item.MouseDown(info) || item.HitTest(info, item.Rect) != hcNone) return true;
    }
    return false;
}

bool TMultiMoveRectPreviewEditorHelper::MouseUp(const TPreviewEditorMouseInfo& info) {
    for (int i = Count() - 1; i >= 0; --i)
        if (Items[size_t(i)]->MouseUp(info)) return true;
    return false;
}

TCursor TMultiMoveRectPreviewEditorHelper::GetCursor(const TPreviewEditorMouseInfo& info) {
    for (int i = Count() - 1; i >= 0; --i)
        if (const TCursor c = Items[size_t(i)]->GetCursor(info); c != crDefault) return c;
    return crDefault;
}

uint8_t TMultiMoveRectPreviewEditorHelper::HitTest(const TPreviewEditorMouseInfo& info, const TRect& r) {
    for (int i = Count() - 1; i >= 0; --i)
        if (const uint8_t c = Items[size_t(i)]->HitTest(info, r); c != hcNone) return c;
    return hcNone;
}

// ---- overlays ----

void DrawSelectionFrame(TBitmap32& target, const TRect& r, int32_t handleSize, uint8_t alpha) {
    target.SetStipple({SetAlpha(clWhite32, alpha), SetAlpha(clBlack32, alpha)});
    target.StippleStep = 0.2f;
    target.StippleCounter = 0;
    target.FrameRectTSP(r.Left, r.Top, r.Right, r.Bottom);
    const int64_t h = handleSize / 2;
    const int64_t midX = r.Left + (int64_t(r.Right) - r.Left) / 2, midY = r.Top + (int64_t(r.Bottom) - r.Top) / 2;
    const int64_t points[][2] = {{r.Left, r.Top}, {midX, r.Top},     {r.Right, r.Top}, {r.Left, r.Bottom},
                                 {midX, r.Bottom}, {r.Right, r.Bottom}, {r.Left, midY},  {r.Right, midY}};
    for (const auto& p : points)
        target.FillRectTS(Saturate(p[0] - h), Saturate(p[1] - h), Saturate(p[0] - h + handleSize),
                          Saturate(p[1] - h + handleSize), SetAlpha(clWhite32, alpha));
}

namespace {

constexpr TColor32 kSelectedKeyColor = Color32(255, 143, 0);

// "%.1f s" of a time in ms, with the user's decimal separator.
AnsiString KeyLabel(int32_t timeMs) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", timeMs / 1000.0);
    AnsiString s = text;
    for (char& c : s)
        if (c == '.' || c == ',') c = UserDecimalSeparator();
    return s + " s";
}

}  // namespace

void PaintMotionPath(TBitmap32& target, const TTimeToVector2DValue& path, int32_t duration, int32_t w, int32_t h,
                     int32_t ox, int32_t oy, const TMoveableRectPreviewEditorHelper* helper) {
    const int32_t handle = helper ? helper->HandleSize : 6;

    target.SetStipple({SetAlpha(clWhite32, 200), SetAlpha(clBlack32, 200)});
    target.StippleStep = 0.5f;
    target.StippleCounter = 0;
    TVector2D previous;
    path.GetScaledValue(0, w, previous, h);
    int64_t start = 0;
    const int count = path.KeyCount();
    for (int i = 0; i < count; ++i) {
        const int64_t end = i + 1 < count ? path.Key(i + 1)->Time : duration;
        const int64_t step = std::max<int64_t>(1, (end - start) / 25);
        for (int64_t t = start; t < end; t += step) {
            TVector2D p;
            path.GetScaledValue(int32_t(t), w, p, h);
            if (!(p == previous))
                target.LineTSP(Saturate(int64_t(previous.X) + ox), Saturate(int64_t(previous.Y) + oy),
                               Saturate(int64_t(p.X) + ox), Saturate(int64_t(p.Y) + oy));
            previous = p;
        }
        start = end;
    }

    TFont font;
    font.Name = "Arial";
    font.Size = 8;
    const int32_t selected = helper ? helper->SelectedKey : -1;
    for (int i = 0; i < count; ++i) {
        TVector2D p;
        path.GetScaledKeyValue(i, w, p, h);
        const int64_t cx = int64_t(p.X) + ox, cy = int64_t(p.Y) + oy;
        const TRect b{Saturate(cx - handle), Saturate(cy - handle), Saturate(cx + handle),
                      Saturate(cy + handle)};
        target.FrameRectTS(Saturate(int64_t(b.Left) - 1), Saturate(int64_t(b.Top) - 1),
                           Saturate(int64_t(b.Right) + 1), Saturate(int64_t(b.Bottom) + 1),
                           SetAlpha(clBlack32, 200));
        const TColor32 colour = i == selected ? kSelectedKeyColor : clWhite32;
        target.FillRectTS(b, SetAlpha(colour, 120));
        target.FrameRectTS(b, SetAlpha(colour, 200));
        const AnsiString label = KeyLabel(path.Key(i)->Time);
        target.Font = font;
        target.Font.Color = 0x000000;
        target.Textout(Saturate(int64_t(b.Right) + 2), b.Top, label);
        target.Font.Color = 0xFFFFFF;
        target.Textout(Saturate(int64_t(b.Right) + 1), Saturate(int64_t(b.Top) - 1), label);
    }
}
