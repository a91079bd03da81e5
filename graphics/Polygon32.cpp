#include "graphics/Polygon32.h"

#include <cmath>

void TPolygon32::Offset(TFixed dx, TFixed dy) {
    for (auto& contour : Points)
        for (auto& p : contour) {
            p.X = TFixed(uint32_t(p.X) + uint32_t(dx));  // wraps like the fixed type, never UB
            p.Y = TFixed(uint32_t(p.Y) + uint32_t(dy));
        }
}

void TPolygon32::BuildNormals() {
    Normals.assign(Points.size(), {});
    for (size_t c = 0; c < Points.size(); ++c) {
        const auto& pts = Points[c];
        auto& nrm = Normals[c];
        nrm.assign(pts.size(), {});
        if (pts.size() < 2) continue;
        double dx = 0, dy = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            size_t next = i + 1;
            if (next == pts.size()) {
                if (!Closed) next = i;  // keep the previous edge's direction
                else next = 0;
            }
            if (next != i) {
                double ex = (double(pts[next].X) - pts[i].X) / FixedOne;
                double ey = (double(pts[next].Y) - pts[i].Y) / FixedOne;
                double len = std::hypot(ex, ey);
                if (len > 0) {
                    dx = ex / len;
                    dy = ey / len;
                }
            }
            nrm[i] = {TFixed(std::lround(dy * FixedOne)), TFixed(std::lround(-dx * FixedOne))};
        }
    }
}
