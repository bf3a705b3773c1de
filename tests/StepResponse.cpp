#include "StepResponse.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace dcdrive {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The time at which the normalised response crosses `level` between samples
// k - 1 and k, by linear interpolation.
double Crossing(std::span<const double> t, const std::vector<double>& x, std::size_t k, double level) {
    if (k == 0 || x[k] == x[k - 1]) return t[k];
    const double f = (level - x[k - 1]) / (x[k] - x[k - 1]);
    return t[k - 1] + f * (t[k] - t[k - 1]);
}

// The first sample at or after `from` where x has reached `level`; n if none.
std::size_t FirstReaching(const std::vector<double>& x, std::size_t from, double level) {
    for (std::size_t k = from; k < x.size(); ++k)
        if (x[k] >= level) return k;
    return x.size();
}

std::string Printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A time in the unit that suits it.
std::string PrintedTime(double seconds) {
    if (std::fabs(seconds) < 1e-3) return Printed("%.1f µs", seconds * 1e6);
    if (std::fabs(seconds) < 1.0) return Printed("%.3f ms", seconds * 1e3);
    return Printed("%.4f s", seconds);
}

}  // namespace

StepFigures MeasureStep(std::span<const double> time, std::span<const double> reference,
                        std::span<const double> response) {
    StepFigures figures;
    const std::size_t n = std::min({time.size(), reference.size(), response.size()});
    if (n < 3) return figures;

    const double end = reference[n - 1];
    double start = reference[0];
    std::size_t step = 0;  // first sample of the step
    const double half = 0.5 * (start + end);
    while (step < n && (end >= start ? reference[step] < half : reference[step] > half)) ++step;
    if (start == end) {
        // The reference was applied before the record began.
        start = response[0];
        step = 0;
    }
    const double amplitude = end - start;
    if (!(std::fabs(amplitude) > 0.0) || !std::isfinite(amplitude)) return figures;

    // The response as a share of the step, from the step on: 0 at the start, 1 at the end.
    std::vector<double> x(n, 0.0);
    for (std::size_t k = 0; k < n; ++k) x[k] = (response[k] - start) / amplitude;
    const double t0 = time[step];

    figures.valid = true;
    const std::size_t k10 = FirstReaching(x, step, 0.1);
    const std::size_t k90 = FirstReaching(x, k10 < n ? k10 : n, 0.9);
    figures.riseTime = k90 < n ? Crossing(time, x, k90, 0.9) - Crossing(time, x, k10, 0.1) : kNaN;

    const double peak = *std::max_element(x.begin() + static_cast<std::ptrdiff_t>(step), x.end());
    figures.overshoot = std::max(0.0, peak - 1.0) * 100.0;

    // The last sample outside the 2 % band; the response has settled where it
    // crossed into the band after it, unless that sample is the last one.
    constexpr double kBand = 0.02;
    std::size_t outside = n;
    for (std::size_t k = n; k-- > step;) {
        if (std::fabs(x[k] - 1.0) > kBand) {
            outside = k;
            break;
        }
    }
    if (outside == n) {
        figures.settlingTime = 0.0;
    } else if (outside == n - 1) {
        figures.settlingTime = kNaN;
    } else {
        const double edge = x[outside] > 1.0 ? 1.0 + kBand : 1.0 - kBand;
        figures.settlingTime = Crossing(time, x, outside + 1, edge) - t0;
    }

    const std::size_t tail = std::max<std::size_t>(1, (n - step) / 10);
    double sum = 0.0;
    for (std::size_t k = n - tail; k < n; ++k) sum += response[k];
    figures.steadyStateError = end - sum / static_cast<double>(tail);
    // What is left of a response that sits on the reference is the rounding
    // of the mean: no error to show.
    if (std::fabs(figures.steadyStateError) <= 1e-9 * std::fabs(amplitude)) figures.steadyStateError = 0.0;
    return figures;
}

std::vector<std::pair<std::string, std::string>> StepFigureTexts(const StepFigures& figures,
                                                                 const std::string& unit) {
    if (!figures.valid) return {};
    const auto time = [](double t, const char* missing) {
        return std::isnan(t) ? std::string(missing) : PrintedTime(t);
    };
    return {
        {"Rise time", time(figures.riseTime, "not reached")},
        {"Overshoot", Printed("%.1f %%", figures.overshoot)},
        {"Settling time", time(figures.settlingTime, "not settled")},
        {"Steady-state error", Printed("%.4g", figures.steadyStateError) + (unit.empty() ? "" : " " + unit)},
    };
}

}  // namespace dcdrive
