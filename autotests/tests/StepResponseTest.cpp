// The step response figures against responses whose figures are known in
// closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

#include "tests/StepResponse.h"

namespace {

constexpr double kPi = std::numbers::pi;
const double kNever = std::nan("");                           // a figure never reached
const double kAny = std::numeric_limits<double>::infinity();  // a figure not checked

struct Figure {
    double value, tolerance;
};

// Samples every microsecond over [0, end] of a reference that steps from 0
// to `height` at `step` (or stands at `height` all along when `step` < 0) and
// of the response height * y(t - step), 0 before the step; their figures.
dcdrive::StepFigures Measure(double end, double step, double height, const std::function<double(double)>& y) {
    std::vector<double> t, r, out;
    for (int k = 0; k <= std::lround(end * 1e6); ++k) {
        t.push_back(k * 1e-6);
        const double since = step < 0.0 ? t.back() : t.back() - step;
        r.push_back(since >= 0.0 ? height : 0.0);
        out.push_back(since >= 0.0 ? height * y(since) : 0.0);
    }
    return dcdrive::MeasureStep(t, r, out);
}

void Check(const char* figure, double measured, const Figure& expected) {
    if (std::isinf(expected.value)) return;
    if (std::isnan(expected.value))
        EXPECT_TRUE(std::isnan(measured)) << figure << " = " << measured;
    else
        EXPECT_NEAR(measured, expected.value, expected.tolerance) << figure;
}

TEST(StepResponse, FiguresOfClosedFormResponses) {
    constexpr double tau = 1e-3, zeta = 0.5, wn = 2000.0;
    const auto first = [=](double t) { return 1.0 - std::exp(-t / tau); };
    const double root = std::sqrt(1 - zeta * zeta), wd = wn * root;
    const auto second = [=](double t) {
        return 1.0 - std::exp(-zeta * wn * t) / root * std::sin(wd * t + std::acos(zeta));
    };
    // The envelope enters the 2 % band here; the response itself enters it
    // for the last time within half a damped period before.
    const double envelope = -std::log(0.02 * root) / (zeta * wn), halfPeriod = kPi / wd;
    const Figure rise{tau * std::log(9.0), 1e-6}, none{0, 1e-9}, settle{tau * std::log(50.0), 1e-6};
    const struct {
        const char* what;
        dcdrive::StepFigures measured;
        Figure rise, overshoot, settling, error;
    } cases[] = {
        // clang-format off
        {"first order", Measure(0.02, 0.0, 1.0, first), rise, none, settle, {0, 1e-6}},
        {"first order, the step a quarter into the record", Measure(0.025, 0.005, 1.0, first), rise, none, settle, {0, 1e-6}},
        {"first order, reference applied before the record", Measure(0.02, -1.0, 2.5, first), rise, none, settle, {0, 1e-5}},
        {"first order, a negative step", Measure(0.02, 0.0, -2.0, first), rise, none, settle, {0, 1e-5}},
        {"second order, damping 0.5", Measure(0.02, 0.0, 1.0, second), {kAny, 0},
         {100.0 * std::exp(-kPi * zeta / root), 0.01}, {envelope - halfPeriod / 2, halfPeriod / 2}, {0, 1e-6}},
        {"undamped oscillation never settles", Measure(0.02, 0.0, 1.0, [](double t) { return 1 - std::cos(3000 * t); }),
         {kAny, 0}, {100.0, 0.01}, {kNever, 0}, {kAny, 0}},
        {"a response that stops at half the step", Measure(0.02, 0.0, 1.0, [=](double t) { return 0.5 * first(t); }),
         {kNever, 0}, none, {kNever, 0}, {0.5, 1e-6}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.measured.valid);
        Check("rise time", c.measured.riseTime, c.rise);
        Check("overshoot", c.measured.overshoot, c.overshoot);
        Check("settling time", c.measured.settlingTime, c.settling);
        Check("steady-state error", c.measured.steadyStateError, c.error);
    }
}

TEST(StepResponse, NothingToMeasureAndTexts) {
    const std::vector<double> t{0, 1, 2, 3}, flat{1, 1, 1, 1}, two{0, 1};
    EXPECT_FALSE(dcdrive::MeasureStep(t, flat, flat).valid) << "a flat reference on a response at it";
    EXPECT_FALSE(dcdrive::MeasureStep(two, two, two).valid) << "two samples";
    EXPECT_TRUE(dcdrive::StepFigureTexts(dcdrive::MeasureStep(t, flat, flat), "A").empty());
    // A response on its reference has no error, not the rounding of its mean.
    const std::vector<double> third{0, 0.3, 0.3, 0.3}, sums{0, 0.1 + 0.2, 0.1 + 0.2, 0.1 + 0.2};
    ASSERT_NE(0.3 - (0.1 + 0.2), 0.0);
    EXPECT_EQ(dcdrive::MeasureStep(t, third, sums).steadyStateError, 0.0);

    const dcdrive::StepFigures f{.valid = true,
                                 .riseTime = 250e-6,
                                 .overshoot = 4.56,
                                 .settlingTime = std::nan(""),
                                 .steadyStateError = -0.0123};
    const auto texts = dcdrive::StepFigureTexts(f, "A");
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].first + "=" + texts[0].second, "Rise time=250.0 µs");
    EXPECT_EQ(texts[1].second, "4.6 %");
    EXPECT_EQ(texts[2].second, "not settled");
    EXPECT_EQ(texts[3].second, "-0.0123 A");
}

}  // namespace
