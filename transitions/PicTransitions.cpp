#include "transitions/PicTransitions.h"

#include "foundation/OKFStream.h"
#include "graphics/Bitmap32.h"
#include "platform/Random.h"
#include "transitions/TransitionMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

GC_IMPLEMENT_PLUGIN(TAlphablendingTransitionPlugin, TTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxTransitionPlugin, TTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TFineBoxTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxTopLeftToBottomRightTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxTopRightToBottomLeftTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxBottomLeftToTopRightTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxBottomRightToTopLeftTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxRandomTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxAllSimultaneousTransitionPlugin, TBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxCircleGrowTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxCircleShrinkTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxCircleRingTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSmallCirclesTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxMODEffectTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSpiralRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxQuarterRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxQuarterSpiralRadarTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TMovePictureTransitionPlugin, TTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBlindTransitionPlugin, TTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TStripeTransitionPlugin, TTransitionPlugin)

using namespace TransitionMath;

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// Keeps the picture's master alpha and puts it back when the drawing is done.
class TFadeScope {
public:
    TFadeScope(TBitmap32& picture, bool fade, long double progress) : picture_(picture), saved_(picture.MasterAlpha) {
        if (fade) SetFadeAlpha(picture, progress);
    }
    ~TFadeScope() { picture_.MasterAlpha = saved_; }
    TFadeScope(const TFadeScope&) = delete;
    TFadeScope& operator=(const TFadeScope&) = delete;

private:
    TBitmap32& picture_;
    uint8_t saved_;
};

// A span of the picture and where it lands on one axis: when the source runs past the
// picture, it is cut there and the destination's far edge moves back by as much.
struct TSpan {
    int64_t D0, D1, S0, S1;
    void CutAt(int64_t pictureSize) {
        if (S1 <= pictureSize) return;
        D1 -= S1 - pictureSize;
        S1 = pictureSize;
    }
};

// Rect and the picture along the axis that slats or stripes divide.
struct TAxis {
    bool AlongX;
    int64_t Start, Size, PictureSize;
    TAxis(const TRect& rect, const TBitmap32& picture, bool alongX)
        : AlongX(alongX),
          Start(alongX ? rect.Left : rect.Top),
          Size(alongX ? int64_t(rect.Right) - rect.Left : int64_t(rect.Bottom) - rect.Top),
          PictureSize(alongX ? picture.Width() : picture.Height()) {}
};

// A span along x (the whole Rect and picture along y), or along y, as a piece to draw.
TBitmap32::TPiece SpanPiece(const TBitmap32& picture, const TRect& rect, bool alongX, const TSpan& s) {
    if (alongX)
        return {TRect{int(s.S0), 0, int(s.S1), picture.Height()}, TRect{int(s.D0), rect.Top, int(s.D1), rect.Bottom}};
    return {TRect{0, int(s.S0), picture.Width(), int(s.S1)}, TRect{rect.Left, int(s.D0), rect.Right, int(s.D1)}};
}

TRect Offset(TRect r, int dx, int dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
    return r;
}

// The directional transitions pick their direction per run when set to the random value.
uint8_t RunDirection(uint8_t direction, uint8_t randomValue) {
    return direction == randomValue ? uint8_t(Random(randomValue)) : direction;
}

}  // namespace

// ---- cross-fade ----

AnsiString TAlphablendingTransitionPlugin::Caption() { return "Alphablending"; }

void TAlphablendingTransitionPlugin::GetChangedRect(int32_t time, TBitmap32& target, TRect& changed) {
    TTransitionPlugin::GetChangedRect(time, target, changed);
    if (Picture) SetFadeAlpha(*Picture, Progress(time));
}

bool TAlphablendingTransitionPlugin::Draw(int32_t, TBitmap32& target) {
    if (Picture) Picture->DrawTo(target, Rect.Left, Rect.Top);
    return true;
}

bool TAlphablendingTransitionPlugin::DrawOver(int32_t, TBitmap32& target, const TBitmap32& under, TPoint underPos) {
    if (Picture) Picture->DrawToOver(target, Rect.Left, Rect.Top, under, underPos.X, underPos.Y);
    return true;
}

// ---- box family ----

TBoxTransitionPlugin::TBoxTransitionPlugin() = default;

TBoxTransitionPlugin::~TBoxTransitionPlugin() { TBoxTransitionPlugin::Done(); }

void TBoxTransitionPlugin::Assign(const TPlugin& source) {
    TTransitionPlugin::Assign(source);
    if (auto* src = dynamic_cast<const TBoxTransitionPlugin*>(&source)) {
        BoxDuration = src->BoxDuration;
        BoxCount = src->BoxCount;
        BoxMode = src->BoxMode;
        BoxFade = src->BoxFade;
        BoxStretch = src->BoxStretch;
        BoxReverse = src->BoxReverse;
    }
}

AnsiString TBoxTransitionPlugin::GetPropertyFrameClassName() { return "TBoxTransitionPropertyFrame"; }

int64_t TBoxTransitionPlugin::ScheduleSpan() const {
    // A negative box duration would run every box backwards: it counts as 0.
    return int64_t(Duration) - std::max(BoxDuration, 0);
}

void TBoxTransitionPlugin::SetupGrid() {
    std::vector<int32_t>().swap(StartTimes);
    Cols = Rows = BoxWidth = BoxHeight = 0;
    // An empty or inverted rectangle has no boxes.
    if (!UsableRect(Rect)) return;
    const int32_t w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
    // The setting stays as stored; only the grid is kept to a sensible size.
    const int32_t count = std::clamp(BoxCount, 1, std::max(GetBoxCountLimit(), 1));
    if (w <= h) {
        Rows = count;
        BoxHeight = std::max(h / Rows, 1);
        if (h > BoxHeight * Rows) {
            ++Rows;
            ++BoxHeight;
        }
        BoxWidth = BoxHeight;
    } else {
        Cols = count;
        BoxWidth = std::max(w / Cols, 1);
        BoxHeight = BoxWidth;
    }
    Cols = w / BoxWidth + (w % BoxWidth != 0 ? 1 : 0);
    Rows = h / BoxHeight + (h % BoxHeight != 0 ? 1 : 0);
    StartTimes.assign(size_t(Cols) * size_t(Rows), 0);
}

void TBoxTransitionPlugin::SetStartTime(int32_t row, int32_t col, int64_t start) {
    StartTimes[size_t(row) * size_t(Cols) + size_t(col)] = ClampToInt32(start);
}

int64_t TBoxTransitionPlugin::StartTimeOf(int32_t, int32_t, long double) { return 0; }

void TBoxTransitionPlugin::FillStartTimes(long double span) {
    for (int32_t r = 0; r < Rows; ++r)
        for (int32_t c = 0; c < Cols; ++c) SetStartTime(r, c, StartTimeOf(r, c, span));
}

bool TBoxTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    const bool result = TTransitionPlugin::Init(destRect, picture);
    SetupGrid();
    FillStartTimes(static_cast<long double>(ScheduleSpan()));
    if (BoxReverse) ReverseStartTimes();
    return result;
}

void TBoxTransitionPlugin::ReverseStartTimes() {
    const int64_t span = ScheduleSpan();
    for (int32_t& start : StartTimes) start = ClampToInt32(span - start);
}

void TBoxTransitionPlugin::Done() { std::vector<int32_t>().swap(StartTimes); }

bool TBoxTransitionPlugin::Draw(int32_t time, TBitmap32& target) {
    if (StartTimes.empty() || !Picture || !UsableRect(Rect) || BoxMode > 7) return true;
    const int64_t boxDuration = std::max(BoxDuration, 0);
    // The opacity of a whole faded box per ms since its start, worked out once rather than
    // per box and frame (a few hundred values for tens of thousands of boxes): 0 at the
    // start, 255 from the box duration on.
    constexpr int64_t kFadeTableLimit = 1 << 16;
    const bool useTable = BoxMode == 0 && BoxFade && boxDuration >= 1 && boxDuration <= kFadeTableLimit;
    if (useTable && fadeTable_.size() != size_t(boxDuration + 1)) {
        fadeTable_.resize(size_t(boxDuration + 1));
        for (int64_t e = 0; e <= boxDuration; ++e)
            fadeTable_[size_t(e)] = FadeAlpha(static_cast<long double>(e) / boxDuration);
    }
    // Tens of thousands of small boxes: neighbours that look alike are drawn together.
    queueParts_ = true;
    for (int32_t r = 0; r < Rows; ++r) {
        if (useTable && Picture->DrawMode == dmBlend) {
            DrawFadedRow(r, time, target);
            continue;
        }
        // Boxes that are done look alike in every mode (the whole box, opaque) and do not
        // overlap: a run of them along the row is drawn in one go.
        int32_t doneFrom = -1;
        auto drawDone = [&](int32_t to) {
            if (doneFrom < 0) return;
            const TRect run{doneFrom * BoxWidth, r * BoxHeight, to * BoxWidth, r * BoxHeight + BoxHeight};
            DrawClipped(run, Offset(run, Rect.Left, Rect.Top), target, 1.0L);
            doneFrom = -1;
        };
        for (int32_t c = 0; c < Cols; ++c) {
            // Without a box duration the progress is the time since the start itself.
            const int64_t elapsed = int64_t(time) - StartTimes[size_t(r) * size_t(Cols) + size_t(c)];
            if (elapsed >= std::max<int64_t>(boxDuration, 1)) {
                if (doneFrom < 0) doneFrom = c;
                continue;
            }
            drawDone(c);
            if (elapsed <= 0) continue;
            TRect box{c * BoxWidth, r * BoxHeight, c * BoxWidth + BoxWidth, r * BoxHeight + BoxHeight};
            const TRect full = box;
            if (useTable) {
                DrawClippedAt(full, Offset(full, Rect.Left, Rect.Top), target, fadeTable_[size_t(elapsed)]);
                continue;
            }
            const long double bp = static_cast<long double>(elapsed) / boxDuration;
            if (BoxMode == 0) {
                // The whole box at once, whatever its inset (which never inverts it).
                DrawClipped(full, Offset(full, Rect.Left, Rect.Top), target, bp);
                continue;
            }
            const int32_t inset = int32_t(Trunc((1 - bp) * BoxWidth * 0.5L));
            box.Left += inset;
            box.Top += inset;
            box.Right -= inset;
            box.Bottom -= inset;
            if (box.Left <= box.Right && box.Top <= box.Bottom)
                DrawBox(box, Offset(box, Rect.Left, Rect.Top), target, bp, full);
        }
        drawDone(Cols);
        // Blended parts are drawn by rows; opaque ones all at once.
        if (Picture->DrawMode != dmOpaque) FlushParts(target);
    }
    FlushParts(target);
    queueParts_ = false;
    return true;
}

void TBoxTransitionPlugin::DrawFadedRow(int32_t row, int32_t time, TBitmap32& target) {
    // What the parts of the row would come to, laid out straight: each box's opacity over
    // its columns, cut at the target's edges and the picture's right and bottom.
    const int32_t top = row * BoxHeight + Rect.Top;
    const int32_t y0 = std::max(top, 0);
    const int32_t y1 = std::min({top + BoxHeight, target.Height(), Picture->Height() + Rect.Top});
    const int32_t xMax = std::min(target.Width(), Picture->Width() + Rect.Left);
    if (y0 >= y1 || xMax <= 0) return;
    if (masters_.size() < size_t(xMax)) masters_.assign(size_t(xMax), 0);
    const int64_t boxDuration = int64_t(fadeTable_.size()) - 1;
    const int32_t* starts = StartTimes.data() + size_t(row) * size_t(Cols);
    auto alphaOf = [&](int32_t c) {
        return fadeTable_[size_t(std::clamp<int64_t>(int64_t(time) - starts[c], 0, boxDuration))];
    };
    int32_t from = INT32_MAX, to = 0;
    // Boxes of one opacity side by side are laid out at once.
    auto layOut = [&](int32_t c0, int32_t c1, uint8_t alpha) {
        const int32_t x0 = std::max(c0 * BoxWidth + Rect.Left, 0), x1 = std::min(c1 * BoxWidth + Rect.Left, xMax);
        if (alpha == 0 || x0 >= x1) return;
        uint8_t* m = masters_.data();
        if (x1 - x0 <= 16)
            for (int32_t x = x0; x < x1; ++x) m[x] = alpha;  // most runs are one small box: no call
        else
            std::memset(m + x0, alpha, size_t(x1 - x0));
        from = std::min(from, x0);
        to = std::max(to, x1);
    };
    int32_t runFrom = 0;
    uint8_t runAlpha = alphaOf(0);
    for (int32_t c = 1; c < Cols; ++c) {
        const uint8_t alpha = alphaOf(c);
        if (alpha == runAlpha) continue;
        layOut(runFrom, c, runAlpha);
        runFrom = c, runAlpha = alpha;
    }
    layOut(runFrom, Cols, runAlpha);
    if (from >= to) return;
    for (int32_t y = y0; y < y1; ++y)
        BlendRowMasked(Picture->ScanLine(y - Rect.Top) + (from - Rect.Left), target.ScanLine(y) + from,
                       masters_.data() + from, to - from);
    std::fill(masters_.data() + from, masters_.data() + to, uint8_t(0));
}

void TBoxTransitionPlugin::DrawBox(const TRect& box, const TRect& destBox, TBitmap32& target, long double boxProgress,
                                   const TRect& fullBox) {
    if (!Picture) return;
    const long double bp = std::clamp(boxProgress, 0.0L, 1.0L);
    const TRect fd = Offset(fullBox, Rect.Left, Rect.Top);
    const int32_t growX = int32_t(Trunc(BoxWidth * bp)), growY = int32_t(Trunc(BoxHeight * bp));
    TRect s = fullBox, d = fd;
    switch (BoxMode) {
        case 0: break;
        case 1: s = box; d = destBox; break;
        case 2:
            s = TRect{fullBox.Left, box.Top, fullBox.Right, box.Bottom};
            d = TRect{fd.Left, destBox.Top, fd.Right, destBox.Bottom};
            break;
        case 3:
            s = TRect{box.Left, fullBox.Top, box.Right, fullBox.Bottom};
            d = TRect{destBox.Left, fd.Top, destBox.Right, fd.Bottom};
            break;
        case 4: s.Right = s.Left + growX; d.Right = d.Left + growX; break;
        case 5: s.Bottom = s.Top + growY; d.Bottom = d.Top + growY; break;
        case 6: s.Left = s.Right - growX; d.Left = d.Right - growX; break;
        case 7: s.Top = s.Bottom - growY; d.Top = d.Bottom - growY; break;
        default: return;  // no such mode: the box stays hidden
    }
    if (BoxStretch) s = fullBox;
    DrawClipped(s, d, target, bp);
}

void TBoxTransitionPlugin::DrawClipped(TRect s, TRect d, TBitmap32& target, long double boxProgress) {
    DrawClippedAt(s, d, target, BoxFade ? FadeAlpha(boxProgress) : Picture->MasterAlpha);
}

void TBoxTransitionPlugin::DrawClippedAt(TRect s, TRect d, TBitmap32& target, uint8_t alpha) {
    // Right and bottom only, target first: left and top are the bitmap's own business.
    if (d.Right > target.Width()) {
        s.Right -= d.Right - target.Width();
        d.Right = target.Width();
    }
    if (d.Bottom > target.Height()) {
        s.Bottom -= d.Bottom - target.Height();
        d.Bottom = target.Height();
    }
    if (s.Right > Picture->Width()) {
        d.Right -= s.Right - Picture->Width();
        s.Right = Picture->Width();
    }
    if (s.Bottom > Picture->Height()) {
        d.Bottom -= s.Bottom - Picture->Height();
        s.Bottom = Picture->Height();
    }
    // A faded box leaves the picture blending, drawn or not; what was queued before is
    // drawn as it was when queued.
    if (BoxFade && alpha != 255 && Picture->DrawMode != dmBlend) {
        FlushParts(target);
        Picture->DrawMode = dmBlend;
    }
    if (d.IsEmpty() || s.IsEmpty()) return;
    const bool sameSize = d.Right - d.Left == s.Right - s.Left && d.Bottom - d.Top == s.Bottom - s.Top;
    if (queueParts_ && sameSize) {
        // A right-hand neighbour with the same opacity extends the part before it.
        if (!queued_.empty()) {
            TQueuedPart& q = queued_.back();
            if (q.Alpha == alpha && q.D.Right == d.Left && q.S.Right == s.Left && q.D.Top == d.Top &&
                q.D.Bottom == d.Bottom && q.S.Top == s.Top && q.S.Bottom == s.Bottom && q.D.Width() == q.S.Width()) {
                q.D.Right = d.Right;
                q.S.Right = s.Right;
                return;
            }
        }
        queued_.push_back(TQueuedPart{s, d, alpha});
        return;
    }
    // Stretched boxes of an opaque picture wait for the rest, to be drawn together (a
    // change of the draw mode draws what waits first).
    if (queueParts_ && Picture->DrawMode == dmOpaque) {
        queued_.push_back(TQueuedPart{s, d, alpha});
        return;
    }
    FlushParts(target);
    DrawPart(s, d, target, alpha);
}

void TBoxTransitionPlugin::FlushParts(TBitmap32& target) {
    if (queued_.empty()) return;
    // Parts never overlap: opaque ones are drawn together, on several threads where they
    // are many or large.
    if (Picture->DrawMode == dmOpaque) {
        pieces_.clear();
        for (const TQueuedPart& q : queued_) pieces_.push_back({q.S, q.D});
        Picture->DrawPiecesTo(target, pieces_);
        queued_.clear();
        return;
    }
    // The left and top edges are cut here as DrawTo would.
    TRect span;  // where the parts lie
    bool oneOffset = true;  // every part shows the picture at the same place
    const int32_t ox = queued_.front().S.Left - queued_.front().D.Left, oy = queued_.front().S.Top - queued_.front().D.Top;
    for (TQueuedPart& q : queued_) {
        const int32_t dx = std::max(0, -q.D.Left), dy = std::max(0, -q.D.Top);
        q.D.Left += dx, q.S.Left += dx, q.D.Top += dy, q.S.Top += dy;
        oneOffset = oneOffset && q.S.Left - q.D.Left == ox && q.S.Top - q.D.Top == oy;
        span = UnionRect(span, q.D);
    }
    if (Picture->DrawMode != dmBlend || !oneOffset || span.IsEmpty()) {
        for (const TQueuedPart& q : queued_) DrawPart(q.S, q.D, target, q.Alpha);
        queued_.clear();
        return;
    }
    // Many parts of a row of boxes, blended: each line is blended once, every pixel at its
    // part's opacity (0 between parts). Between the parts' top and bottom edges the lines
    // look alike, so the opacities are laid out once per band of lines.
    edges_.assign(size_t(span.Bottom - span.Top) + 1, 0);
    for (const TQueuedPart& q : queued_)
        if (!q.D.IsEmpty()) edges_[size_t(q.D.Top - span.Top)] = edges_[size_t(q.D.Bottom - span.Top)] = 1;
    bands_.clear();
    for (size_t k = 0; k < edges_.size(); ++k)
        if (edges_[k]) bands_.push_back(span.Top + int32_t(k));
    masters_.assign(size_t(std::max(span.Right - span.Left, 0)), 0);
    for (size_t k = 0; k + 1 < bands_.size(); ++k) {
        const int32_t y0 = bands_[k], y1 = bands_[k + 1];
        int32_t from = INT32_MAX, to = INT32_MIN;
        for (const TQueuedPart& q : queued_) {
            if (q.D.IsEmpty() || q.D.Top > y0 || q.D.Bottom < y1) continue;
            std::fill_n(masters_.data() + (q.D.Left - span.Left), q.D.Right - q.D.Left, q.Alpha);
            from = std::min(from, q.D.Left);
            to = std::max(to, q.D.Right);
        }
        if (from >= to) continue;
        for (int32_t y = y0; y < y1; ++y)
            BlendRowMasked(Picture->ScanLine(y + oy) + (from + ox), target.ScanLine(y) + from,
                           masters_.data() + (from - span.Left), to - from);
        std::fill(masters_.begin() + (from - span.Left), masters_.begin() + (to - span.Left), uint8_t(0));
    }
    queued_.clear();
}

void TBoxTransitionPlugin::DrawPart(const TRect& s, const TRect& d, TBitmap32& target, uint8_t alpha) {
    const uint8_t saved = Picture->MasterAlpha;
    Picture->MasterAlpha = alpha;
    if (d.Right - d.Left == s.Right - s.Left && d.Bottom - d.Top == s.Bottom - s.Top)
        Picture->DrawTo(target, d.Left, d.Top, s);
    else
        Picture->DrawTo(target, d, s);
    Picture->MasterAlpha = saved;
}

void TBoxTransitionPlugin::Randomize() {
    BoxCount = Random(10) + 4;
    BoxMode = uint8_t(Random(8));
    BoxStretch = Random(2) == 1;
    BoxFade = Random(2) == 1;
    if (BoxMode == 0) {
        BoxFade = true;
        BoxStretch = false;
    }
    if (BoxStretch) BoxCount = std::min(8, BoxCount);
    const int64_t d = Duration;
    BoxDuration = Random(int32_t(2 * d / 5)) + int32_t(d / 5);
    if (Random(5) == 1) BoxDuration = Random(int32_t(4 * d / 5)) + int32_t(d / 5);
    BoxDuration = std::min(Duration, BoxDuration);
    BoxReverse = Random(10) == 1;
}

bool TBoxTransitionPlugin::WriteData(TOKFStream& stream) {
    if (!TTransitionPlugin::WriteData(stream)) return false;
    stream.WriteInteger(BoxDuration);
    stream.WriteInteger(BoxCount);
    stream.WriteByte(BoxMode);
    stream.WriteBoolean(BoxFade);
    stream.WriteBoolean(BoxStretch);
    stream.WriteBoolean(BoxReverse);
    return true;
}

bool TBoxTransitionPlugin::ReadData(TOKFStream& stream) {
    if (!TTransitionPlugin::ReadData(stream)) return false;
    BoxDuration = stream.ReadIntegerValue();
    BoxCount = stream.ReadIntegerValue();
    BoxMode = stream.ReadByteValue();
    BoxFade = stream.ReadBooleanValue();
    BoxStretch = stream.ReadBooleanValue();
    BoxReverse = stream.ReadBooleanValue();
    return true;
}

TFineBoxTransitionPlugin::TFineBoxTransitionPlugin() {
    Duration = 3000;
    BoxDuration = 500;
    BoxCount = 130;
    BoxMode = 0;
    BoxFade = true;
}

void TFineBoxTransitionPlugin::Randomize() {
    TBoxTransitionPlugin::Randomize();
    BoxCount = Random(100) + 60;
    BoxMode = Random(2) != 0 ? 0 : 1;
    if (BoxCount > 130) BoxMode = 0;
    BoxStretch = false;
    BoxFade = Random(2) == 1;
    if (BoxMode == 0) BoxFade = true;
    const int64_t d = Duration;
    BoxDuration = Random(int32_t(d / 5)) + int32_t(d / 5);
    if (Random(5) == 1) BoxDuration = Random(int32_t(2 * d / 5)) + int32_t(d / 5);
    if (BoxMode != 0) BoxDuration = std::min(300, BoxDuration);
    BoxDuration = std::min(Duration, BoxDuration);
    BoxReverse = Random(5) == 1;
}

// ---- schedules ----

namespace {

int64_t Diagonal(int32_t k, int32_t rows, int32_t cols, long double span) {
    return Trunc(static_cast<long double>(k) / (rows + cols - 1) * span);
}

// Distance of box (row, col) from the centre box, in boxes.
long double CentreDistance(int32_t row, int32_t col, int32_t rows, int32_t cols) {
    const long double dr = row - rows / 2, dc = col - cols / 2;
    return std::sqrt(dr * dr + dc * dc);
}

// The angle of box (row, col) around the grid's centre: a full turn from the top for the
// radar classes, within a quarter for the quarter classes.
long double RadarAngle(int32_t row, int32_t col, int32_t rows, int32_t cols, bool quarter) {
    const long double dy = row - rows / 2.0L, dx = col - cols / 2.0L;
    long double dist = std::sqrt(dx * dx + dy * dy);
    if (quarter) dist = std::max(dist, 1.0L);
    else if (dist == 0) dist = 1.0L;
    const long double a0 = std::asin(std::min(std::fabs(rows / 2.0L - row) / dist, 1.0L));
    const bool top = row <= rows / 2, left = col <= cols / 2;
    if (quarter) return top == left ? a0 : kPi / 2 - a0;
    if (top) return left ? 3 * kPi / 2 + a0 : kPi / 2 - a0;
    return left ? 3 * kPi / 2 - a0 : kPi / 2 + a0;
}

}  // namespace

int64_t TBoxTopLeftToBottomRightTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Diagonal(r + c, Rows, Cols, t);
}
int64_t TBoxTopRightToBottomLeftTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Diagonal(r + (Cols - 1 - c), Rows, Cols, t);
}
int64_t TBoxBottomLeftToTopRightTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Diagonal((Rows - 1 - r) + c, Rows, Cols, t);
}
int64_t TBoxBottomRightToTopLeftTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Diagonal((Rows - 1 - r) + (Cols - 1 - c), Rows, Cols, t);
}
int64_t TBoxRandomTransitionPlugin::StartTimeOf(int32_t, int32_t, long double t) {
    return Random(ClampToInt32(int64_t(t)));
}
int64_t TBoxAllSimultaneousTransitionPlugin::StartTimeOf(int32_t, int32_t, long double) { return 0; }

int64_t TBoxCircleGrowTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    const int32_t hr = Rows / 2, hc = Cols / 2;
    const long double rmax = std::max(std::sqrt(static_cast<long double>(hr * hr + hc * hc)), 1.0L);
    return std::llabs(Round(Round(CentreDistance(r, c, Rows, Cols)) / rmax * t));
}
int64_t TBoxCircleShrinkTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    const int32_t hr = Rows / 2, hc = Cols / 2;
    const long double rmax = std::max(std::sqrt(static_cast<long double>(hr * hr + hc * hc)), 1.0L);
    return int64_t(t) - std::llabs(Round(Round(CentreDistance(r, c, Rows, Cols)) / rmax * t));
}
int64_t TBoxCircleRingTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return std::llabs(Round(std::sin(CentreDistance(r, c, Rows, Cols) / 10) * t));
}
int64_t TBoxSmallCirclesTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return std::llabs(Round((std::sin(r / 5.0L) + std::sin(c / 5.0L)) / 2 * t));
}
int64_t TBoxMODEffectTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    const long double x = (std::sin(CentreDistance(r, c, Rows, Cols) / 10) - (r % Cols) / (Cols * 0.2L)) /
                          (Cols / (Cols * 0.2L) + 1);
    return std::llabs(Round(x * t));
}
int64_t TBoxRadarTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Round(RadarAngle(r, c, Rows, Cols, false) / (5 * kPi / 2) * t);
}
int64_t TBoxSpiralRadarTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    const long double a = RadarAngle(r, c, Rows, Cols, false);
    return std::llabs(Round(std::sin(CentreDistance(r, c, Rows, Cols) / 5) * a / (5 * kPi / 2) * t));
}
int64_t TBoxQuarterRadarTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    return Round(RadarAngle(r, c, Rows, Cols, true) / kPi * t);
}
int64_t TBoxQuarterSpiralRadarTransitionPlugin::StartTimeOf(int32_t r, int32_t c, long double t) {
    const long double q = RadarAngle(r, c, Rows, Cols, true);
    return std::llabs(Round(std::sin(CentreDistance(r, c, Rows, Cols) / 5) * q / kPi * t));
}

AnsiString TBoxTopLeftToBottomRightTransitionPlugin::Caption() { return "Rechtecke (von links oben)"; }
AnsiString TBoxTopRightToBottomLeftTransitionPlugin::Caption() { return "Rechtecke (von rechts oben)"; }
AnsiString TBoxBottomLeftToTopRightTransitionPlugin::Caption() { return "Rechtecke (von links unten)"; }
AnsiString TBoxBottomRightToTopLeftTransitionPlugin::Caption() { return "Rechtecke (von rechts unten)"; }
AnsiString TBoxRandomTransitionPlugin::Caption() { return "Rechtecke (zuf\xE4llig)"; }
AnsiString TBoxAllSimultaneousTransitionPlugin::Caption() { return "Rechtecke (gleichzeitig)"; }
AnsiString TBoxCircleGrowTransitionPlugin::Caption() { return "Kreis (gr\xF6\xDF" "er werdend)"; }
AnsiString TBoxCircleShrinkTransitionPlugin::Caption() { return "Kreis (kleiner werdend)"; }
AnsiString TBoxCircleRingTransitionPlugin::Caption() { return "Kreisringe"; }
AnsiString TBoxSmallCirclesTransitionPlugin::Caption() { return "kleine Kreise"; }
AnsiString TBoxMODEffectTransitionPlugin::Caption() { return "MOD-Effekt"; }
AnsiString TBoxRadarTransitionPlugin::Caption() { return "Radar"; }
AnsiString TBoxSpiralRadarTransitionPlugin::Caption() { return "Spiral-Radar"; }
AnsiString TBoxQuarterRadarTransitionPlugin::Caption() { return "Viertel-Radar"; }
AnsiString TBoxQuarterSpiralRadarTransitionPlugin::Caption() { return "Viertel-Spiral-Radar"; }

// ---- sliding picture ----

TMovePictureTransitionPlugin::TMovePictureTransitionPlugin() { Duration = 750; }

AnsiString TMovePictureTransitionPlugin::Caption() { return "Schieben"; }

void TMovePictureTransitionPlugin::Assign(const TPlugin& source) {
    TTransitionPlugin::Assign(source);
    if (auto* src = dynamic_cast<const TMovePictureTransitionPlugin*>(&source)) {
        Direction = src->Direction;
        Fade = src->Fade;
        Stretch = src->Stretch;
    }
}

AnsiString TMovePictureTransitionPlugin::GetPropertyFrameClassName() { return "TMovePictureTransitionProperyFrame"; }

bool TMovePictureTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    const bool result = TTransitionPlugin::Init(destRect, picture);
    CurrentDirection = RunDirection(Direction, 4);
    return result;
}

bool TMovePictureTransitionPlugin::Draw(int32_t time, TBitmap32& target) {
    if (!Picture || !UsableRect(Rect)) return true;
    const long double p = Progress(time);
    const TRect whole = Picture->BoundsRect();
    TRect s = whole, d = Rect;
    auto part = [p](int32_t size) { return int32_t(Round(size * p)); };
    switch (CurrentDirection) {
        case 0:
            d.Right = d.Left + part(d.Right - d.Left);
            s.Left = s.Right - part(s.Right - s.Left);
            break;
        case 1:
            d.Bottom = d.Top + part(d.Bottom - d.Top);
            s.Top = s.Bottom - part(s.Bottom - s.Top);
            break;
        case 2:
            d.Left = d.Right - part(d.Right - d.Left);
            s.Right = part(s.Right - s.Left);
            break;
        case 3:
            d.Top = d.Bottom - part(d.Bottom - d.Top);
            s.Bottom = part(s.Bottom - s.Top);
            break;
        default: break;
    }
    if (Stretch) s = whole;
    TFadeScope fade(*Picture, Fade, p);
    Picture->DrawTo(target, d, s);
    return true;
}

void TMovePictureTransitionPlugin::Randomize() {
    Direction = uint8_t(Random(4));
    Fade = Random(5) == 1;
    Stretch = Random(5) == 1;
}

bool TMovePictureTransitionPlugin::WriteData(TOKFStream& stream) {
    if (!TTransitionPlugin::WriteData(stream)) return false;
    stream.WriteByte(Direction);
    stream.WriteBoolean(Fade);
    stream.WriteBoolean(Stretch);
    return true;
}

bool TMovePictureTransitionPlugin::ReadData(TOKFStream& stream) {
    if (!TTransitionPlugin::ReadData(stream)) return false;
    Direction = stream.ReadByteValue();
    Fade = stream.ReadBooleanValue();
    Stretch = stream.ReadBooleanValue();
    return true;
}

// ---- venetian blind ----

TBlindTransitionPlugin::TBlindTransitionPlugin() { Duration = 1000; }

AnsiString TBlindTransitionPlugin::Caption() { return "Jalousie"; }

void TBlindTransitionPlugin::Assign(const TPlugin& source) {
    TTransitionPlugin::Assign(source);
    if (auto* src = dynamic_cast<const TBlindTransitionPlugin*>(&source)) {
        Direction = src->Direction;
        Fade = src->Fade;
        Stretch = src->Stretch;
        StripeCount = src->StripeCount;
    }
}

AnsiString TBlindTransitionPlugin::GetPropertyFrameClassName() { return "TBlindTransitionProperyFrame"; }

bool TBlindTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    const bool result = TTransitionPlugin::Init(destRect, picture);
    CurrentDirection = RunDirection(Direction, 4);
    return result;
}

bool TBlindTransitionPlugin::Draw(int32_t time, TBitmap32& target) {
    if (!Picture || !UsableRect(Rect) || CurrentDirection > 3) return true;
    const long double p = Progress(time);
    const int64_t n = std::max(StripeCount, 1);  // no slats at all would divide by zero
    const TAxis axis(Rect, *Picture, CurrentDirection == 0 || CurrentDirection == 2);
    const bool opening = CurrentDirection <= 1;  // grows from each slat's start
    const int64_t start = axis.Start, size = axis.Size;
    const long double share = static_cast<long double>(size) / n;
    const long double srcShare = static_cast<long double>(axis.PictureSize) / n;
    const int64_t slat = RoundUp(share), srcSlat = RoundUp(srcShare);
    // Direction 1 rounds where the others round up, as the blind always did.
    const int64_t vis = CurrentDirection == 1 ? Round(share * p) : RoundUp(share * p);
    const int64_t srcVis = CurrentDirection == 1 ? Round(srcShare * p) : RoundUp(srcShare * p);
    const int64_t srcLen = Stretch ? srcSlat : srcVis;
    TFadeScope fade(*Picture, Fade, p);
    // Slats that begin past Rect's end lie wholly outside it. They never overlap: drawn
    // together, a stretched blind shares the work among threads as one stretch does.
    pieces_.clear();
    for (int64_t i = 0; i < n && i * slat < size; ++i) {
        TSpan span{};
        if (opening) span = {start + i * slat, start + i * slat + vis, i * srcSlat, i * srcSlat + srcLen};
        else span = {start + (i + 1) * slat - vis, start + (i + 1) * slat, (i + 1) * srcSlat - srcLen, (i + 1) * srcSlat};
        span.CutAt(axis.PictureSize);
        pieces_.push_back(SpanPiece(*Picture, Rect, axis.AlongX, span));
    }
    Picture->DrawPiecesTo(target, pieces_);
    return true;
}

void TBlindTransitionPlugin::Randomize() {
    Direction = uint8_t(Random(4));
    Fade = Random(5) == 1;
    Stretch = Random(5) == 1;
    int32_t count = 5;
    for (int k = 0; k < 3; ++k) count += Random(10);
    StripeCount = count;
    if (StripeCount < 8) Stretch = true;
}

bool TBlindTransitionPlugin::WriteData(TOKFStream& stream) {
    if (!TTransitionPlugin::WriteData(stream)) return false;
    stream.WriteByte(Direction);
    stream.WriteInteger(StripeCount);
    stream.WriteBoolean(Fade);
    stream.WriteBoolean(Stretch);
    return true;
}

bool TBlindTransitionPlugin::ReadData(TOKFStream& stream) {
    if (!TTransitionPlugin::ReadData(stream)) return false;
    Direction = stream.ReadByteValue();
    StripeCount = stream.ReadIntegerValue();
    Fade = stream.ReadBooleanValue();
    Stretch = stream.ReadBooleanValue();
    return true;
}

// ---- interleaved stripes ----

TStripeTransitionPlugin::TStripeTransitionPlugin() { Duration = 1000; }

AnsiString TStripeTransitionPlugin::Caption() { return "Streifen"; }

void TStripeTransitionPlugin::Assign(const TPlugin& source) {
    TTransitionPlugin::Assign(source);
    if (auto* src = dynamic_cast<const TStripeTransitionPlugin*>(&source)) {
        Direction = src->Direction;
        Fade = src->Fade;
        StripeCount = src->StripeCount;
    }
}

AnsiString TStripeTransitionPlugin::GetPropertyFrameClassName() { return "TStripeTransitionProperyFrame"; }

bool TStripeTransitionPlugin::Init(const TRect& destRect, TBitmap32* picture) {
    const bool result = TTransitionPlugin::Init(destRect, picture);
    CurrentDirection = RunDirection(Direction, 6);
    return result;
}

bool TStripeTransitionPlugin::Draw(int32_t time, TBitmap32& target) {
    const int pattern = CurrentDirection;
    if (!Picture || !UsableRect(Rect) || pattern > 5) return true;
    const long double p = Progress(time);
    const int64_t n = std::max(StripeCount, 1);  // no stripes at all would divide by zero
    const TAxis axis(Rect, *Picture, pattern == 0 || pattern == 2 || pattern == 5);
    const int64_t w = RoundUp(static_cast<long double>(axis.Size) / n);
    const int64_t srcW = RoundUp(static_cast<long double>(axis.PictureSize) / n);
    const int64_t m = RoundUp(static_cast<long double>(axis.Size) / w);
    const int64_t half = (m + 1) / 2;
    const int64_t lastEven = (m - 1) / 2 * 2;
    TFadeScope fade(*Picture, Fade, p);
    pieces_.clear();  // stripes never overlap (see the blind)
    for (int64_t i = 0; i < m; ++i) {
        int64_t pos;
        if (pattern <= 1) {
            if (i > m * p) continue;
            pos = i < half ? 2 * i : 2 * (m - 1 - i) + 1;
        } else if (pattern <= 3) {
            const int64_t j = m - 1 - i;
            if (j < (1 - p) * m) continue;
            pos = j >= half ? 2 * (j - half) + 1 : 2 * (half - 1 - j);
        } else {
            if (i > m * p) continue;
            // Odd stripes in order; the k-th even one takes the k-th even place from the far side.
            pos = i % 2 != 0 ? i : lastEven - i;
        }
        TSpan span{axis.Start + pos * w, axis.Start + pos * w + w, pos * srcW, pos * srcW + srcW};
        span.CutAt(axis.PictureSize);
        pieces_.push_back(SpanPiece(*Picture, Rect, axis.AlongX, span));
    }
    Picture->DrawPiecesTo(target, pieces_);
    return true;
}

void TStripeTransitionPlugin::Randomize() {
    Direction = uint8_t(Random(6));
    Fade = Random(5) == 1;
    StripeCount = Random(96) + 5;
}

bool TStripeTransitionPlugin::WriteData(TOKFStream& stream) {
    if (!TTransitionPlugin::WriteData(stream)) return false;
    stream.WriteByte(Direction);
    stream.WriteInteger(StripeCount);
    stream.WriteBoolean(Fade);
    return true;
}

bool TStripeTransitionPlugin::ReadData(TOKFStream& stream) {
    if (!TTransitionPlugin::ReadData(stream)) return false;
    Direction = stream.ReadByteValue();
    StripeCount = stream.ReadIntegerValue();
    Fade = stream.ReadBooleanValue();
    return true;
}
