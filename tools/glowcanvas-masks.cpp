// glowcanvas-masks: draws the 24 grey masks of the mask transitions.
//   glowcanvas-masks DIR
// Writes one JPEG per mask, named after its transition class in capitals, and
// contact-sheet.png with all of them in registration order (six to a row).
// A mask is a schedule: dark pixels are revealed first, light ones last.
// The output is deterministic: every mask draws from its own seeded generator.

#include "graphics/ContactSheet.h"
#include "graphics/JpegWriter.h"
#include "graphics/PngWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
double Mix(double a, double b, double t) { return a + (b - a) * t; }
double Frac(double v) { return v - std::floor(v); }
double SmoothStep(double e0, double e1, double v) {
    const double t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// splitmix64: small, fast and the same on every platform, unlike the standard
// distributions, whose results the library may choose.
class TMaskRandom {
public:
    explicit TMaskRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Real() { return double(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double Range(double lo, double hi) { return lo + (hi - lo) * Real(); }
    int Below(int n) { return int(Next() % uint64_t(n)); }

private:
    uint64_t state_;
};

// Gradient noise in [-1, 1] (roughly), with sums of octaves for clouds and turbulence.
class TNoise {
public:
    explicit TNoise(TMaskRandom& rnd) {
        for (int i = 0; i < 256; ++i) perm_[i] = uint8_t(i);
        for (int i = 255; i > 0; --i) std::swap(perm_[i], perm_[rnd.Below(i + 1)]);
        for (auto& g : grad_) {
            const double a = rnd.Range(0, kTwoPi);
            g = {std::cos(a), std::sin(a)};
        }
    }
    double At(double x, double y) const {
        const double fx = std::floor(x), fy = std::floor(y);
        const int ix = int(fx), iy = int(fy);
        const double dx = x - fx, dy = y - fy;
        const double u = Fade(dx), v = Fade(dy);
        const double n00 = Dot(ix, iy, dx, dy), n10 = Dot(ix + 1, iy, dx - 1, dy);
        const double n01 = Dot(ix, iy + 1, dx, dy - 1), n11 = Dot(ix + 1, iy + 1, dx - 1, dy - 1);
        return 1.4 * Mix(Mix(n00, n10, u), Mix(n01, n11, u), v);
    }
    // Smooth clouds, about [-1, 1].
    double Fbm(double x, double y, int octaves) const {
        double sum = 0, amp = 1, norm = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += amp * At(x, y);
            norm += amp;
            amp *= 0.5;
            x = x * 2 + 17.3;
            y = y * 2 + 9.1;
        }
        return sum / norm;
    }
    // Folded octaves, [0, about 1]: the creases make marble veins.
    double Turbulence(double x, double y, int octaves) const {
        double sum = 0, amp = 1, norm = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += amp * std::abs(At(x, y));
            norm += amp;
            amp *= 0.5;
            x = x * 2 + 5.7;
            y = y * 2 + 11.9;
        }
        return sum / norm;
    }

private:
    static double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    double Dot(int ix, int iy, double dx, double dy) const {
        const auto& g = grad_[perm_[(perm_[ix & 255] + iy) & 255]];
        return g[0] * dx + g[1] * dy;
    }
    std::array<uint8_t, 256> perm_{};
    std::array<std::array<double, 2>, 256> grad_{};
};

// A mask as a function of the continuous pixel position; larger is later.
using TField = std::function<double(double x, double y)>;

struct TDisc {
    double X, Y, R, Level;
};

// Discs of radius lo..hi (small ones more often) that overlap their neighbours
// by at most `overlap` of the sum of radii, unless the space runs out.
std::vector<TDisc> ScatterDiscs(TMaskRandom& rnd, int w, int h, int count, double lo, double hi,
                                double overlap) {
    std::vector<TDisc> discs;
    for (int tries = 0; tries < count * 200 && int(discs.size()) < count; ++tries) {
        const double u = rnd.Real();
        const double r = lo + (hi - lo) * u * u;
        TDisc d{rnd.Range(-r * 0.3, w + r * 0.3), rnd.Range(-r * 0.3, h + r * 0.3), r, rnd.Real()};
        const bool free = std::none_of(discs.begin(), discs.end(), [&](const TDisc& o) {
            return std::hypot(o.X - d.X, o.Y - d.Y) < (o.R + d.R) * (1 - overlap);
        });
        if (free) discs.push_back(d);
    }
    return discs;
}

// ---- the patterns ----

// "Tropfen": dark drops, each opening from its centre, on light ground that
// fills in from the drops outwards.
TField Drops(int w, int h, TMaskRandom& rnd) {
    auto discs = ScatterDiscs(rnd, w, h, 34, 9, 34, 0.05);
    return [discs](double x, double y) {
        double inside = 2, edge = 1e9;
        for (const TDisc& d : discs) {
            const double dist = std::hypot(x - d.X, y - d.Y);
            if (dist < d.R) inside = std::min(inside, 0.3 * d.Level + 0.28 * (dist / d.R) * (dist / d.R));
            edge = std::min(edge, dist - d.R);
        }
        if (inside < 2) return inside;
        return 0.6 + 0.4 * std::sqrt(SmoothStep(0, 70, edge));
    };
}

// "Tropfenverlauf": a ramp from the top, with drops that open ahead of it.
TField DropsFade(int w, int h, TMaskRandom& rnd) {
    auto discs = ScatterDiscs(rnd, w, h, 70, 6, 22, 0.1);
    return [discs, h](double x, double y) {
        const double ramp = 0.1 + 0.9 * y / h;
        double v = ramp;
        for (const TDisc& d : discs) {
            const double q = std::hypot(x - d.X, y - d.Y) / d.R;
            if (q < 1) v = std::min(v, ramp * (0.25 + 0.75 * q * q));
        }
        return v;
    };
}

// "Verlauf nach unten 1..7": dark at the top, light at the bottom, in seven ways.
TField DownLinear(int, int h, TMaskRandom&) {
    return [h](double, double y) { return y / h; };
}

// Decelerating: the wipe runs fast at the top and slows down towards the bottom.
TField DownEased(int, int h, TMaskRandom&) {
    return [h](double, double y) {
        const double t = y / h;
        return t * t;
    };
}

// Five bands, each opening almost at once, with soft seams.
TField DownStepped(int, int h, TMaskRandom&) {
    return [h](double, double y) {
        const double q = 5 * y / h;
        const double k = std::floor(q), f = q - k;
        return (k + 0.15 * f + 0.85 * SmoothStep(0.82, 1.0, f)) / 5;
    };
}

// Soft terraces: the ramp stays continuous, but its isolines bunch into visible lines
// that show the shape of the front.
double Terraces(double t, int bands) {
    const double q = t * bands, k = std::floor(q);
    return (k + Mix(q - k, SmoothStep(0.2, 0.8, q - k), 0.6)) / bands;
}

TField DownWavy(int w, int h, TMaskRandom& rnd) {
    const double phase = rnd.Range(0, kTwoPi);
    return [w, h, phase](double x, double y) {
        return Terraces(y / h + 0.09 * std::sin(kTwoPi * 1.75 * x / w + phase), 7);
    };
}

TField DownZigZag(int, int h, TMaskRandom&) {
    return [h](double x, double y) {
        const double tri = 2 * std::abs(2 * Frac(x / 64.0 + 0.25) - 1) - 1;  // -1..1, period 64 px
        return Terraces(y / h + 0.1 * tri, 7);
    };
}

TField DownTilted(int w, int h, TMaskRandom&) {
    return [w, h](double x, double y) { return Terraces(y / h + 0.45 * x / w, 8); };
}

TField DownNoisy(int, int h, TMaskRandom& rnd) {
    auto noise = std::make_shared<TNoise>(rnd);
    return [noise, h](double x, double y) { return y / h + 0.3 * noise->Fbm(x / 45, y / 45, 5); };
}

// "Korb": a basket weave over a downward ramp. Reeds are round (light along their
// middle, dark at their edges) and dip into shadow where they pass under a crossing one.
TField Korb(int, int h, TMaskRandom&) {
    return [h](double x, double y) {
        constexpr double cell = 40, strands = 3;
        const double cx = x / cell, cy = y / cell;
        const int i = int(std::floor(cx)), j = int(std::floor(cy));
        const bool horizontal = ((i + j) & 1) == 0;
        const double along = horizontal ? cx - i : cy - j;
        const double across = Frac((horizontal ? cy - j : cx - i) * strands);
        const double round = std::sqrt(Clamp01(1 - 4 * (across - 0.5) * (across - 0.5)));
        const double gap = SmoothStep(0.0, 0.12, across) * SmoothStep(1.0, 0.88, across);
        const double dip = 0.55 + 0.45 * std::sin(kPi * along);
        const double reed = round * gap * dip;
        return 0.45 * y / h + 0.55 * reed;
    };
}

// "Haar": strands falling from the top, each at its own pace; fine streaks from
// one-dimensional noise across the strands, bent by waves for the wavy kind.
TField Hair(int w, int h, TMaskRandom& rnd, bool wavy) {
    auto noise = std::make_shared<TNoise>(rnd);
    const double phase = rnd.Range(0, kTwoPi);
    return [noise, w, h, wavy, phase](double x, double y) {
        double u = x;
        if (wavy) u += 16 * std::sin(kTwoPi * y / 110 + phase + 3.0 * x / w) + 5 * std::sin(kTwoPi * y / 37);
        const double streak = 0.6 * noise->Fbm(u / 9, 0.3 + y / 900, 4) + 0.4 * noise->At(u / 3, 40 + y / 400);
        return 0.62 * y / h + 0.38 * (0.5 + 0.5 * streak);
    };
}

// A dark shape on light ground, given the scale at which the shape's outline passes
// through each point (below 1 inside). Scale orders the whole picture, so the shape
// grows from its centre; a step in grey at the outline makes it stand out.
TField DarkShape(int w, int h, TField scale, double insideTop, double outsideGamma) {
    double maxScale = 1.01;
    for (int y = 0; y <= h; y += 2)
        for (int x = 0; x <= w; x += 2) maxScale = std::max(maxScale, scale(x, y));
    return [=](double x, double y) {
        const double s = scale(x, y);
        if (s <= 1) return insideTop * s;
        return 0.62 + 0.38 * std::pow((s - 1) / (maxScale - 1), outsideGamma);
    };
}

// "Herz": a dark heart on light ground.
TField Heart(int w, int h, TMaskRandom&) {
    const double scale = h * 0.33;
    const double cx = w / 2.0, cy = h / 2.0 + 0.125 * scale;
    auto inside = [](double hx, double hy) {
        const double a = hx * hx + hy * hy - 1;
        return a * a * a - hx * hx * hy * hy * hy <= 0;
    };
    auto heartScale = [=](double x, double y) {
        const double hx = (x - cx) / scale, hy = -(y - cy) / scale;
        double lo = 0, hi = 8;
        for (int k = 0; k < 30; ++k) {
            const double mid = 0.5 * (lo + hi);
            if (inside(hx / mid, hy / mid)) hi = mid;
            else lo = mid;
        }
        return hi;
    };
    return DarkShape(w, h, heartScale, 0.4, 0.8);
}

// "Marmor": light stone crossed by thin dark veins that turbulence bends.
TField Marble(int w, int h, TMaskRandom& rnd) {
    auto noise = std::make_shared<TNoise>(rnd);
    return [noise, w, h](double x, double y) {
        const double t = noise->Turbulence(x / 100, y / 100, 5);
        const double vein = std::abs(std::sin(kPi * (3.2 * x / w + 1.8 * y / h) + 4.5 * t));
        const double cloud = 0.5 + 0.5 * noise->Fbm(x / 80 + 3, y / 80, 4);
        return 0.75 * std::pow(vein, 0.45) + 0.25 * cloud;
    };
}

// Clockwise angle from straight up around (cx, cy), 0..1.
double SweepAngle(double x, double y, double cx, double cy) {
    return Frac(std::atan2(x - cx, cy - y) / kTwoPi);
}

// "Radar (Tropfen)": a clockwise sweep from the top; every drop opens as a whole
// from its centre when the sweep reaches that centre.
TField DropRadar(int w, int h, TMaskRandom& rnd) {
    auto discs = ScatterDiscs(rnd, w, h, 30, 9, 26, 0.0);
    const double cx = w / 2.0, cy = h / 2.0;
    return [discs, cx, cy](double x, double y) {
        for (const TDisc& d : discs) {
            const double q = std::hypot(x - d.X, y - d.Y) / d.R;
            if (q < 1) return std::max(SweepAngle(d.X, d.Y, cx, cy) - 0.15, 0.0) + 0.1 * q * q;
        }
        return SweepAngle(x, y, cx, cy);
    };
}

// "kleine Kreise (wild)": a heap of small circles of any size at random places,
// each opening from its centre at its own time, with a lighter rim.
TField SmallCirclesWild(int w, int h, TMaskRandom& rnd) {
    auto noise = std::make_shared<TNoise>(rnd);
    std::vector<TDisc> discs;
    for (int i = 0; i < 260; ++i) {
        const double u = rnd.Real();
        const double r = 4 + 14 * u * u;
        discs.push_back({rnd.Range(-r, w + r), rnd.Range(-r, h + r), r, rnd.Real()});
    }
    return [discs, noise](double x, double y) {
        // The last drawn lies on top.
        for (auto it = discs.rbegin(); it != discs.rend(); ++it) {
            const double q = std::hypot(x - it->X, y - it->Y) / it->R;
            if (q < 1) return 0.7 * it->Level + 0.22 * q * q + 0.08 * SmoothStep(0.8, 0.95, q);
        }
        return 0.75 + 0.25 * (0.5 + 0.5 * noise->Fbm(x / 30, y / 30, 3));
    };
}

// "Spinnennetz": dark threads (spokes and sagging rings) revealed from the hub
// outwards, then the cells between them from the threads inwards.
TField SpiderNet(int w, int h, TMaskRandom& rnd) {
    const double cx = w * 0.47, cy = h * 0.52;
    const double rmax = std::hypot(std::max(cx, w - cx), std::max(cy, h - cy));
    constexpr int spokes = 13;
    std::vector<double> angles;
    for (int j = 0; j < spokes; ++j) angles.push_back((j + rnd.Range(-0.25, 0.25)) * kTwoPi / spokes);
    std::vector<double> radii;  // ring k, its radius at each spoke
    for (double r = 9; r < rmax * 1.1; r += 10 + r * 0.06)
        for (int j = 0; j < spokes; ++j) radii.push_back(r * rnd.Range(0.94, 1.06));
    const int rings = int(radii.size()) / spokes;
    return [=](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        const double r = std::hypot(dx, dy);
        const double a = Frac(std::atan2(dy, dx) / kTwoPi) * kTwoPi;
        // The sector between spokes j0 and j1 that holds the point.
        int j0 = spokes - 1;
        for (int j = 0; j < spokes; ++j)
            if (angles[j] <= a) j0 = j;
        const int j1 = (j0 + 1) % spokes;
        double a0 = angles[j0], a1 = angles[j1];
        if (a1 <= a0) a1 += kTwoPi;
        double aa = a;
        if (aa < a0) aa += kTwoPi;
        const double u = (aa - a0) / (a1 - a0);
        double dist = std::min(r * std::sin(std::min(aa - a0, kPi / 2)), r * std::sin(std::min(a1 - aa, kPi / 2)));
        // Ring segments: chords between neighbouring spokes, sagging towards the hub.
        const double ux = std::cos(a), uy = std::sin(a);
        for (int k = 0; k < rings; ++k) {
            const double r0 = radii[k * spokes + j0], r1 = radii[k * spokes + j1];
            const double px = r0 * std::cos(a0), py = r0 * std::sin(a0);
            const double ex = r1 * std::cos(a1) - px, ey = r1 * std::sin(a1) - py;
            const double den = ux * ey - uy * ex;
            if (std::abs(den) < 1e-9) continue;
            const double along = (px * ey - py * ex) / den * (1 - 0.07 * std::sin(kPi * u));
            dist = std::min(dist, std::abs(r - along) * 0.95);
        }
        const double thread = 1 - SmoothStep(0.35, 1.25, dist);
        const double rr = r / rmax;
        const double cellv = 0.35 + 0.35 * rr + 0.3 * SmoothStep(0, 7, dist);
        return Mix(cellv, 0.2 * rr, thread);
    };
}

// A star outline in polar form: the radius of the boundary at each angle.
class TStarShape {
public:
    // points tips at radius 1 and notches at `inner`, turned by `turn`; the jitter
    // values (0 for a regular star) shift radii and angles at random.
    TStarShape(int points, double inner, double turn, TMaskRandom* rnd = nullptr, double jitter = 0) {
        for (int i = 0; i < 2 * points; ++i) {
            double a = turn + i * kPi / points, r = (i & 1) ? inner : 1.0;
            if (rnd) {
                a += rnd->Range(-jitter, jitter) * kPi / points;
                r *= rnd->Range(1 - jitter, 1 + jitter * 0.5);
            }
            corners_.push_back({Frac(a / kTwoPi) * kTwoPi, r});
        }
        std::sort(corners_.begin(), corners_.end());
    }
    double Radius(double a) const {
        const size_t n = corners_.size();
        size_t i = n - 1;
        for (size_t k = 0; k < n; ++k)
            if (corners_[k][0] <= a) i = k;
        const auto& p = corners_[i];
        const auto& q = corners_[(i + 1) % n];
        const double px = p[1] * std::cos(p[0]), py = p[1] * std::sin(p[0]);
        const double ex = q[1] * std::cos(q[0]) - px, ey = q[1] * std::sin(q[0]) - py;
        const double ux = std::cos(a), uy = std::sin(a);
        return (px * ey - py * ex) / (ux * ey - uy * ex);
    }

private:
    std::vector<std::array<double, 2>> corners_;  // angle, radius
};

// "Stern": a dark star on light ground, growing from its centre.
TField Star(int w, int h, TStarShape shape, std::shared_ptr<TNoise> wobble = nullptr) {
    const double cx = w / 2.0, cy = h / 2.0, size = h * 0.42;
    auto starScale = [=](double x, double y) {
        const double dx = x - cx, dy = cy - y;
        const double a = Frac(std::atan2(dy, dx) / kTwoPi) * kTwoPi;
        double r = shape.Radius(a);
        if (wobble) r *= 1 + 0.12 * wobble->Fbm(std::cos(a) * 2.5 + 7, std::sin(a) * 2.5 + 3, 4);
        return std::hypot(dx, dy) / (size * r);
    };
    return DarkShape(w, h, starScale, 0.42, 0.7);
}

// "Abfluss": spiral arms turning into a drain in the middle, which opens first.
TField Swirl(int w, int h, TMaskRandom&, bool sharp) {
    const double cx = w / 2.0, cy = h / 2.0, rmax = std::hypot(cx, cy);
    return [=](double x, double y) {
        const double rr = std::hypot(x - cx, y - cy) / rmax;
        const double a = std::atan2(y - cy, x - cx) / kTwoPi;
        if (sharp) {
            const double arm = Frac(4 * a + 2.2 * std::log(rr + 0.05));
            return 0.5 * rr + 0.5 * arm;
        }
        const double arm = 0.5 + 0.5 * std::cos(kTwoPi * (3 * a + 1.6 * std::log(rr + 0.05)));
        return 0.62 * rr + 0.38 * arm;
    };
}

// "Holz": growth rings around a pith low in the picture, bent by noise; each ring
// grows light through its early wood and ends in a thin dark line of late wood.
TField Wood(int w, int h, TMaskRandom& rnd) {
    auto noise = std::make_shared<TNoise>(rnd);
    const double cx = w * 0.36, cy = h * 0.82, dmax = std::hypot(w - cx, cy);
    return [=](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        const double r = std::hypot(dx * 0.85, dy);
        const double a = std::atan2(dy, dx);
        const double d = r * (1 + 0.1 * noise->Fbm(std::cos(a) * 1.5, std::sin(a) * 1.5, 3)) +
                         5 * noise->Fbm(x / 45, y / 45, 4);
        const double p = Frac(d / 19);
        const double ring = p < 0.82 ? 0.25 + 0.75 * SmoothStep(0, 0.82, p) : SmoothStep(1, 0.82, p);
        return 0.4 * std::hypot(dx, dy) / dmax + 0.6 * ring;
    };
}

// ---- the list, in registration order ----

struct TMaskDesign {
    const char* ClassName;
    int Width, Height;
    std::function<TField(int, int, TMaskRandom&)> Make;
};

std::vector<TMaskDesign> Designs() {
    auto star = [](int points, double inner, double turn) {
        return [=](int w, int h, TMaskRandom&) { return Star(w, h, TStarShape(points, inner, turn)); };
    };
    return {
        {"TBoxDropsTransitionPlugin", 320, 240, Drops},
        {"TBoxDropsFadeTransitionPlugin", 320, 240, DropsFade},
        {"TBoxDownEffect1TransitionPlugin", 320, 240, DownLinear},
        {"TBoxDownEffect2TransitionPlugin", 320, 240, DownEased},
        {"TBoxDownEffect3TransitionPlugin", 320, 240, DownStepped},
        {"TBoxDownEffect4TransitionPlugin", 320, 240, DownWavy},
        {"TBoxDownEffect5TransitionPlugin", 320, 240, DownZigZag},
        {"TBoxDownEffect6TransitionPlugin", 320, 240, DownTilted},
        {"TBoxDownEffect7TransitionPlugin", 320, 240, DownNoisy},
        {"TBoxDownEffectKorbTransitionPlugin", 320, 240, Korb},
        {"TBoxDownHairWavyTransitionPlugin", 320, 240,
         [](int w, int h, TMaskRandom& r) { return Hair(w, h, r, true); }},
        {"TBoxDownHairSmoothTransitionPlugin", 320, 240,
         [](int w, int h, TMaskRandom& r) { return Hair(w, h, r, false); }},
        {"TBoxHeartTransitionPlugin", 320, 240, Heart},
        {"TBoxMarbleTransitionPlugin", 320, 240, Marble},
        {"TBoxDropRadarTransitionPlugin", 320, 240, DropRadar},
        {"TBoxSmallCirclesWildTransitionPlugin", 320, 200, SmallCirclesWild},
        {"TBoxSpiderNetTransitionPlugin", 320, 200, SpiderNet},
        {"TBoxStar4EdgesTransitionPlugin", 320, 240, star(4, 0.3, kPi / 2)},
        {"TBoxStar8EdgesTransitionPlugin", 320, 240, star(8, 0.5, kPi / 2)},
        {"TBoxStar14EdgesTransitionPlugin", 320, 240, star(14, 0.68, kPi / 2)},
        {"TBoxStar8EdgesWildTransitionPlugin", 320, 240,
         [](int w, int h, TMaskRandom& r) {
             TStarShape shape(8, 0.42, kPi / 2 + 0.2, &r, 0.35);
             return Star(w, h, shape, std::make_shared<TNoise>(r));
         }},
        {"TBoxSwirlSharpTransitionPlugin", 320, 240,
         [](int w, int h, TMaskRandom& r) { return Swirl(w, h, r, true); }},
        {"TBoxSwirlSmoothTransitionPlugin", 320, 240,
         [](int w, int h, TMaskRandom& r) { return Swirl(w, h, r, false); }},
        {"TBoxWoodTransitionPlugin", 320, 240, Wood},
    };
}

// ---- rendering and files ----

struct TGreyPicture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;
};

// 4 x 4 samples per pixel smooth every edge; the result is stretched to nearly the
// whole grey range so the schedule uses the whole transition time.
TGreyPicture Render(const TField& field, int w, int h) {
    constexpr int kSub = 4;
    std::vector<double> values(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            for (int j = 0; j < kSub; ++j)
                for (int i = 0; i < kSub; ++i) sum += field(x + (i + 0.5) / kSub, y + (j + 0.5) / kSub);
            values[size_t(y) * size_t(w) + size_t(x)] = sum / (kSub * kSub);
        }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double low = *lo, span = std::max(*hi - *lo, 1e-9);
    TGreyPicture pic{w, h, {}};
    pic.Pixels.reserve(values.size());
    for (double v : values) pic.Pixels.push_back(uint8_t(std::lround(6 + 243 * (v - low) / span)));
    return pic;
}

// Grey, but with three components as the transitions expect.
TBitmap32 ToBitmap(const TGreyPicture& pic) {
    TBitmap32 bitmap(pic.Width, pic.Height);
    for (size_t i = 0; i < pic.Pixels.size(); ++i) {
        const uint8_t v = pic.Pixels[i];
        bitmap.Bits()[i] = Color32(v, v, v);
    }
    return bitmap;
}

// Progressive.
bool WriteJpeg(const std::string& path, const TGreyPicture& pic) {
    std::vector<uint8_t> bytes;
    try {
        bytes = EncodeJpegPicture(ToBitmap(pic), TJpegWriteOptions{90, true});
    } catch (const EJpegWriteError&) {
        return false;
    }
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f.flush());
}

// All masks in a fixed grid, six to a row, on a dark blue ground that no mask uses.
bool WriteContactSheet(const std::string& path, const std::vector<TGreyPicture>& pics) {
    std::vector<TBitmap32> bitmaps;
    for (const TGreyPicture& p : pics) bitmaps.push_back(ToBitmap(p));
    std::vector<const TBitmap32*> cells;
    for (const TBitmap32& b : bitmaps) cells.push_back(&b);
    try {
        WritePngPicture(MakeContactSheet(cells, TContactSheetLayout{6, 320, 240, 8, Color32(24, 36, 72)}), path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string UpperCase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const char* const usage =
        "usage: glowcanvas-masks DIR   the 24 masks of the mask transitions as DIR/<CLASS>.jpg and\n"
        "                              DIR/contact-sheet.png (DIR is made when missing)\n"
        "       glowcanvas-masks --help\n";
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::cout << usage;
        return 0;
    }
    // Any other option is a wrong call, never a folder to write into.
    if (argc != 2 || (first.size() > 1 && first[0] == '-')) {
        std::cerr << usage;
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::cerr << "glowcanvas-masks: cannot make folder " << dir.string() << ": " << ec.message() << "\n";
        return 1;
    }
    std::vector<TGreyPicture> pics;
    uint64_t seed = 0x6C6F7763616E7661ull;
    for (const TMaskDesign& d : Designs()) {
        TMaskRandom rnd(seed++);
        pics.push_back(Render(d.Make(d.Width, d.Height, rnd), d.Width, d.Height));
        const std::string file = (dir / (UpperCase(d.ClassName) + ".jpg")).string();
        if (!WriteJpeg(file, pics.back())) {
            std::cerr << "glowcanvas-masks: cannot write " << file << "\n";
            return 1;
        }
    }
    const std::string sheet = (dir / "contact-sheet.png").string();
    if (!WriteContactSheet(sheet, pics)) {
        std::cerr << "glowcanvas-masks: cannot write " << sheet << "\n";
        return 1;
    }
    return 0;
}
