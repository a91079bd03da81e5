// The program's own record of its moments (GC_TRACE, platform/DebugOutput.h): what the
// tests of the real-time tier measure against, so that a starved machine moves the
// program's moments and the measurement together.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

// One line: "<monotonic ms> <event> <detail>".
struct TTraceLine {
    double Ms = 0;
    std::string Event;
    std::string Detail;
};

inline std::vector<TTraceLine> ReadTrace(const std::string& file) {
    std::vector<TTraceLine> lines;
    std::ifstream f(file);
    std::string text;
    while (std::getline(f, text)) {
        std::istringstream in(text);
        TTraceLine line;
        if (!(in >> line.Ms >> line.Event)) continue;
        std::getline(in >> std::ws, line.Detail);
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<TTraceLine> TraceOf(const std::vector<TTraceLine>& trace, const std::string& event) {
    std::vector<TTraceLine> found;
    for (const TTraceLine& line : trace)
        if (line.Event == event) found.push_back(line);
    return found;
}

// The moment of show time showMs on the program's clock, from the first start of the
// show's clock at or after the moment after; -1 when the trace has none.
inline double ShowMoment(const std::vector<TTraceLine>& trace, double showMs, double after = 0) {
    for (const TTraceLine& line : trace)
        if (line.Event == "show-clock" && line.Ms >= after) return line.Ms + showMs - std::stod(line.Detail);
    return -1;
}

// The clock of a recording by SDL's disk driver: which of its frames the sound library
// mixed at a moment of the trace, from the device's callbacks since it was last opened
// (an open starts the recording anew). frames: the recording's length; what it holds
// beyond the callbacks counted (the silence the driver writes before the device is
// started) lies at its start.
class TRecordingClock {
public:
    TRecordingClock(const std::vector<TTraceLine>& trace, size_t frames) {
        for (const TTraceLine& line : trace) {
            if (line.Event == "audio-open") points_.clear();
            if (line.Event != "audio") continue;
            const double before = points_.empty() ? 0 : points_.back().second + last_;
            points_.emplace_back(line.Ms, before);
            last_ = std::stod(line.Detail);
        }
        if (points_.empty()) return;
        const double counted = points_.back().second + last_;
        const double lead = double(frames) - counted;
        // A few blocks of silence at most; more, or less, means the count is not this
        // recording's, and it is taken as it is.
        if (lead > 0 && lead <= 4 * last_)
            for (auto& p : points_) p.second += lead;
    }
    bool Empty() const { return points_.size() < 2; }
    // The frame mixed at ms (interpolated between callbacks, at the last pace past them).
    double FrameAt(double ms) const {
        size_t i = 1;
        while (i + 1 < points_.size() && points_[i].first < ms) ++i;
        const auto& [t0, f0] = points_[i - 1];
        const auto& [t1, f1] = points_[i];
        return t1 > t0 ? f0 + (ms - t0) * (f1 - f0) / (t1 - t0) : f0;
    }
    // The moment frame was mixed.
    double MsAt(double frame) const {
        size_t i = 1;
        while (i + 1 < points_.size() && points_[i].second < frame) ++i;
        const auto& [t0, f0] = points_[i - 1];
        const auto& [t1, f1] = points_[i];
        return f1 > f0 ? t0 + (frame - f0) * (t1 - t0) / (f1 - f0) : t0;
    }

private:
    std::vector<std::pair<double, double>> points_;  // (ms, the frames before the callback)
    double last_ = 0;                                 // the frames of the last callback
};
