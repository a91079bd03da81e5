// A rectangle of four doubles: the stored form of every relative rectangle.
#pragma once

struct TDoubleRect {
    double Left = 0;
    double Top = 0;
    double Right = 0;
    double Bottom = 0;

    bool operator==(const TDoubleRect&) const = default;
};
