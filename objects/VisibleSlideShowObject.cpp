#include "objects/VisibleSlideShowObject.h"

#include "document/PlayerServices.h"

#include <algorithm>
#include <cstring>
#include <utility>

GC_IMPLEMENT_PLUGIN(TVisibleSlideShowObject, TPlayableSlideShowObject)
GC_IMPLEMENT_PLUGIN(TPreviewEditorSlideShowObject, TVisibleSlideShowObject)

namespace {

int32_t ClipTo(int64_t v, int32_t extent) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, extent)); }

uint32_t RestoreSerialOf(IPlayerServices* player) {
    const IFrameState* frame = FrameStateOf(player);
    return frame ? frame->RestoreSerial() : 0;
}

}  // namespace

// ---- visible items ----

TVisibleSlideShowObject::TVisibleSlideShowObject() { ClearUpdateRect(); }

TVisibleSlideShowObject::~TVisibleSlideShowObject() {
    // No frame is under way: the back buffer may be gone.
    lateTarget_ = nullptr;
    FreeBackground();
}

void TVisibleSlideShowObject::ClearUpdateRect() { UpdateRect = TRect{}; }

void TVisibleSlideShowObject::AddUpdateRect(const TRect& r) {
    // An empty rectangle (a background of no pixels, say) would otherwise drag the union
    // out to wherever its corners lie.
    if (!r.IsEmpty()) UpdateRect = UnionRect(UpdateRect, r);
}

void TVisibleSlideShowObject::FreeBackground() {
    FinishLateRestore();
    Background.reset();
    RestoredSerial = 0;
}

void TVisibleSlideShowObject::SaveBackgroundBounds(int32_t left, int32_t top, int32_t width, int32_t height,
                                                   IPlayerServices* player) {
    SaveBackground(Bounds(left, top, width, height), player);
}

void TVisibleSlideShowObject::SaveBackground(const TRect& r, IPlayerServices* player) {
    if (!Background) Background = std::make_unique<TBitmap32>();
    TBitmap32* buffer = player ? player->GetBackBuffer() : nullptr;
    const int32_t w = buffer ? buffer->Width() : 0;
    const int32_t h = buffer ? buffer->Height() : 0;
    // One pixel more on every side: drawing at fractional positions may touch it.
    TRect s{ClipTo(int64_t(r.Left) - 1, w), ClipTo(int64_t(r.Top) - 1, h), ClipTo(int64_t(r.Right) + 1, w),
            ClipTo(int64_t(r.Bottom) + 1, h)};
    s.Right = std::max(s.Right, s.Left);
    s.Bottom = std::max(s.Bottom, s.Top);
    const uint32_t restored = std::exchange(RestoredSerial, 0);
    // A transition saves the same place every frame: what was put back there this frame
    // is still the background unless an item below drew over it.
    const IFrameState* frame = FrameStateOf(player);
    if (restored && frame && s == Bounds(BackgroundPos.X, BackgroundPos.Y, Background->Width(), Background->Height()) &&
        frame->UntouchedSinceRestore(restored, s))
        return;
    // Saved anew: from the buffer as it is once the old pixels are back.
    FinishLateRestore();
    // Every pixel is copied below.
    Background->SetSizeForOverwrite(s.Width(), s.Height());
    BackgroundPos = s.TopLeft();
    for (int32_t y = 0; y < s.Height(); ++y)
        std::memcpy(Background->ScanLine(y), buffer->ScanLine(s.Top + y) + s.Left,
                    size_t(s.Width()) * sizeof(TColor32));
}

void TVisibleSlideShowObject::CropBackground(const TRect& r) {
    if (!Background) return;
    FinishLateRestore();
    const TRect kept = IntersectRect(r, Bounds(BackgroundPos.X, BackgroundPos.Y, Background->Width(),
                                              Background->Height()));
    if (kept.IsEmpty()) {
        FreeBackground();
        return;
    }
    auto cropped = std::make_unique<TBitmap32>(
        Background->CopyRect(kept.Left - BackgroundPos.X, kept.Top - BackgroundPos.Y, kept.Right - BackgroundPos.X,
                             kept.Bottom - BackgroundPos.Y));
    Background = std::move(cropped);
    BackgroundPos = kept.TopLeft();
}

void TVisibleSlideShowObject::RestoreBackground(IPlayerServices* player) {
    ClearUpdateRect();
    drawingKept_ = false;
    lateTarget_ = nullptr;
    if (!Background) return;
    if (TBitmap32* buffer = player ? player->GetBackBuffer() : nullptr) {
        Background->DrawMode = dmOpaque;
        Background->DrawTo(*buffer, BackgroundPos.X, BackgroundPos.Y);
        RestoredSerial = RestoreSerialOf(player);
    }
    AddUpdateRect(Bounds(BackgroundPos.X, BackgroundPos.Y, Background->Width(), Background->Height()));
}

void TVisibleSlideShowObject::RestoreLater(IPlayerServices* player) {
    RestoreBackground(nullptr);
    TBitmap32* buffer = player ? player->GetBackBuffer() : nullptr;
    if (!Background || !buffer) return;
    lateTarget_ = buffer;
    // As good as put back for the check whether it must be saved again.
    RestoredSerial = RestoreSerialOf(player);
}

const TBitmap32* TVisibleSlideShowObject::TakeLateBackground() {
    if (!lateTarget_ || !Background) return nullptr;
    lateTarget_ = nullptr;
    return Background.get();
}

void TVisibleSlideShowObject::FinishLateRestore() {
    TBitmap32* buffer = std::exchange(lateTarget_, nullptr);
    if (!buffer || !Background) return;
    Background->DrawMode = dmOpaque;
    Background->DrawTo(*buffer, BackgroundPos.X, BackgroundPos.Y);
}

void TVisibleSlideShowObject::KeepDrawing() {
    RestoreBackground(nullptr);
    drawingKept_ = true;
    // Nothing changes on screen: no update rectangle.
    ClearUpdateRect();
}

bool TVisibleSlideShowObject::DrawTo(TBitmap32&, bool) { return false; }

bool TVisibleSlideShowObject::Prepare(TBitmap32&) { return true; }

void TVisibleSlideShowObject::Unprepare() { Reset(); }

void TVisibleSlideShowObject::Reset() {
    TPlayableSlideShowObject::Reset();
    FreeBackground();
}

// ---- items in the preview editor ----

TPreviewEditorSlideShowObject::TPreviewEditorSlideShowObject() = default;

TPreviewEditorSlideShowObject::~TPreviewEditorSlideShowObject() { FreeEditorHelper(); }

void TPreviewEditorSlideShowObject::CreateEditorHelper() {
    if (!EditorHelper) EditorHelper = std::make_unique<TPreviewEditorHelper>();
}

void TPreviewEditorSlideShowObject::FreeEditorHelper() { EditorHelper.reset(); }

void TPreviewEditorSlideShowObject::DoEditorChange() {
    CreateEditorHelper();
    if (TPreviewEditorChangeEvent handler = EditorHelper->GetOnChange()) handler(this);
}

bool TPreviewEditorSlideShowObject::EditorMouseMove(const TPreviewEditorMouseInfo&) {
    CreateEditorHelper();
    return false;
}

bool TPreviewEditorSlideShowObject::EditorMouseDown(const TPreviewEditorMouseInfo&) {
    CreateEditorHelper();
    return false;
}

bool TPreviewEditorSlideShowObject::EditorMouseUp(const TPreviewEditorMouseInfo&) {
    CreateEditorHelper();
    return false;
}

bool TPreviewEditorSlideShowObject::EditorKeyDown(uint16_t&, TShiftState) {
    CreateEditorHelper();
    return false;
}

bool TPreviewEditorSlideShowObject::EditorKeyUp(uint16_t&, TShiftState) {
    CreateEditorHelper();
    return false;
}

TCursor TPreviewEditorSlideShowObject::GetEditorCursor(const TPreviewEditorMouseInfo&) { return crDefault; }

TRect TPreviewEditorSlideShowObject::GetEditorRect(const TPreviewEditorMouseInfo&) { return TRect{}; }

void TPreviewEditorSlideShowObject::PaintEditorBackground(const TPreviewEditorMouseInfo&) { CreateEditorHelper(); }

void TPreviewEditorSlideShowObject::PaintEditor(const TPreviewEditorMouseInfo&) { CreateEditorHelper(); }

void TPreviewEditorSlideShowObject::SetOnEditorChange(TPreviewEditorChangeEvent handler) {
    CreateEditorHelper();
    EditorHelper->SetOnChange(std::move(handler));
}

TPreviewEditorChangeEvent TPreviewEditorSlideShowObject::GetOnEditorChange() {
    CreateEditorHelper();
    return EditorHelper->GetOnChange();
}

void TPreviewEditorSlideShowObject::Unprepare() {
    TVisibleSlideShowObject::Unprepare();
    FreeEditorHelper();
}
