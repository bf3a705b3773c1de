#include "ProfileResponse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dcdrive {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kBand = 0.02;  // the settling band, a share of the move

// The first sample at or after `from` taken at or after time `at`.
std::size_t FirstAt(std::span<const double> t, std::size_t from, double at) {
    std::size_t k = from;
    while (k < t.size() && t[k] < at) ++k;
    return k;
}

// The time at which x crosses `level` between samples k - 1 and k.
double Crossing(std::span<const double> t, const std::vector<double>& x, std::size_t k, std::size_t first,
                double level) {
    if (k <= first || x[k] == x[k - 1]) return t[k];
    const double f = (level - x[k - 1]) / (x[k] - x[k - 1]);
    return t[k - 1] + f * (t[k] - t[k - 1]);
}

// Samples [s, e) of one move, the hold from sample a; the reference
// arrives at `arrival` (s).
MoveFigures MeasureMove(std::span<const double> t, std::span<const double> r, std::span<const double> y,
                        std::size_t s, std::size_t a, std::size_t e, double arrival) {
    MoveFigures move;
    move.arrival = arrival;
    move.from = r[s];
    move.to = r[e - 1];
    double largest = -1.0;
    for (std::size_t k = s; k < e; ++k) {
        const double error = r[k] - y[k];
        if (std::fabs(error) > largest) {
            largest = std::fabs(error);
            move.followingError = error;
        }
    }
    const double height = move.to - move.from;
    if (e - s < 3 || a >= e || !(std::fabs(height) > 0.0)) return move;

    // The response as a share of the move: 0 at its start, 1 at its end.
    std::vector<double> x(e, 0.0);
    for (std::size_t k = s; k < e; ++k) x[k] = (y[k] - move.from) / height;
    StepFigures& f = move.step;
    f.valid = true;

    std::size_t k10 = s;
    while (k10 < e && x[k10] < 0.1) ++k10;
    std::size_t k90 = k10;
    while (k90 < e && x[k90] < 0.9) ++k90;
    f.riseTime = k90 < e ? Crossing(t, x, k90, s, 0.9) - Crossing(t, x, k10, s, 0.1) : kNaN;

    const double peak = *std::max_element(x.begin() + static_cast<std::ptrdiff_t>(s), x.end());
    f.overshoot = std::max(0.0, peak - 1.0) * 100.0;

    // The last sample of the hold outside the band; settled where the
    // response crossed into the band after it, unless it is the last one.
    std::size_t outside = e;
    for (std::size_t k = e; k-- > a;) {
        if (std::fabs(x[k] - 1.0) > kBand) {
            outside = k;
            break;
        }
    }
    if (outside == e) {
        f.settlingTime = 0.0;
    } else if (outside == e - 1) {
        f.settlingTime = kNaN;
    } else {
        const double edge = x[outside] > 1.0 ? 1.0 + kBand : 1.0 - kBand;
        f.settlingTime = std::max(0.0, Crossing(t, x, outside + 1, s, edge) - move.arrival);
    }

    const std::size_t tail = std::max<std::size_t>(1, (e - a) / 10);
    double sum = 0.0;
    for (std::size_t k = e - tail; k < e; ++k) sum += r[k] - y[k];
    f.steadyStateError = sum / static_cast<double>(tail);
    return move;
}

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::vector<int> HoldSegments(ReferenceType type) {
    if (type == ReferenceType::Bidirectional) return {1, 3};
    return {2, 5};
}

std::vector<CycleFigures> MeasureProfileCycles(std::span<const double> time,
                                               std::span<const double> reference,
                                               std::span<const double> response, const Profile& profile,
                                               ReferenceType type, double ts) {
    std::vector<CycleFigures> cycles;
    const std::size_t n = std::min({time.size(), reference.size(), response.size()});
    const double period = ts * static_cast<double>(ProfileSamples(profile));
    if (n < 3 || !(ts > 0.0) || !std::isfinite(period) || !(period > 0.0)) return cycles;
    const auto t = time.first(n);
    const auto r = reference.first(n);
    const auto y = response.first(n);

    // The cycle begins where the reference leaves its first value.
    const auto [low, high] = std::minmax_element(r.begin(), r.end());
    const double tolerance = 1e-6 * (*high - *low);
    std::size_t moved = 0;
    while (moved < n && std::fabs(r[moved] - r[0]) <= tolerance) ++moved;
    if (moved == n || moved == 0) return cycles;
    const double t0 = t[moved - 1];

    // Segment boundaries within a cycle, and the slack of a time compared
    // with a boundary.
    std::array<double, kProfileSegments + 1> offset{};
    for (std::size_t i = 0; i < profile.size(); ++i)
        offset[i + 1] = offset[i] + ts * static_cast<double>(profile[i].length);
    const double eps = 1e-3 * ts;
    const double last = t[n - 1] + (t[n - 1] - t[n - 2]) + eps;
    const std::vector<int> holds = HoldSegments(type);

    for (int c = 0;; ++c) {
        const double begin = t0 + c * period;
        const double lastHold = begin + offset[static_cast<std::size_t>(holds.back()) + 1];
        if (lastHold > last) break;
        CycleFigures cycle{c, begin, begin + period, {}};
        double from = begin;  // the previous hold's end
        for (const int h : holds) {
            const double arrival = begin + offset[static_cast<std::size_t>(h)];
            const double end = begin + offset[static_cast<std::size_t>(h) + 1];
            const std::size_t s = FirstAt(t, 0, from - eps);
            const std::size_t a = FirstAt(t, s, arrival - eps);
            const std::size_t e = FirstAt(t, a, end - eps);
            if (e > s) {
                MoveFigures move = MeasureMove(t, r, y, s, a, e, arrival);
                move.hold = h;
                move.start = from;
                move.end = end;
                cycle.moves.push_back(move);
            }
            from = end;
        }
        cycles.push_back(std::move(cycle));
    }
    return cycles;
}

std::vector<std::pair<std::string, std::string>> MoveFigureTexts(const MoveFigures& move,
                                                                 const std::string& unit) {
    auto texts = StepFigureTexts(move.step, unit);
    if (texts.empty()) return texts;
    texts.emplace_back("Following error",
                       Printed("%.4g", move.followingError) + (unit.empty() ? "" : " " + unit));
    return texts;
}

}  // namespace dcdrive
