// The step response figures against responses whose figures are known in
// closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "tests/StepResponse.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct Record {
    std::vector<double> t, r, y;
};

// `n` samples over [0, end]: a reference that steps from 0 to `height` at
// `step` (or stands at `height` all along when `step` < 0) and the response
// height * y(t - step), 0 before the step.
Record Sample(double end, int n, double step, double height, const std::function<double(double)>& y) {
    Record rec;
    for (int k = 0; k < n; ++k) {
        const double t = end * k / (n - 1);
        const double since = step < 0.0 ? t : t - step;
        rec.t.push_back(t);
        rec.r.push_back(since >= 0.0 ? height : 0.0);
        rec.y.push_back(since >= 0.0 ? height * y(since) : 0.0);
    }
    return rec;
}

// An expected figure: a value within a tolerance, NaN (never reached), or
// not checked.
struct Expect {
    std::optional<double> value;
    double tolerance = 0.0;
    bool checked = true;
};
Expect Near(double value, double tolerance) { return {value, tolerance, true}; }
Expect Never() { return {std::nullopt, 0.0, true}; }
const Expect kAny{std::nullopt, 0.0, false};

void Check(const char* what, const char* figure, double measured, const Expect& expected) {
    if (!expected.checked) return;
    if (!expected.value) {
        EXPECT_TRUE(std::isnan(measured)) << what << ": " << figure << " = " << measured;
        return;
    }
    EXPECT_NEAR(measured, *expected.value, expected.tolerance) << what << ": " << figure;
}

TEST(StepResponse, FiguresOfClosedFormResponses) {
    constexpr double tau = 1e-3;
    const auto first = [=](double t) { return 1.0 - std::exp(-t / tau); };
    constexpr double zeta = 0.5, wn = 2000.0;
    const double root = std::sqrt(1 - zeta * zeta);
    const double wd = wn * root;
    const auto second = [=](double t) {
        return 1.0 - std::exp(-zeta * wn * t) / root * std::sin(wd * t + std::acos(zeta));
    };
    // The envelope enters the 2 % band here; the response itself enters it
    // for the last time within half a damped period before.
    const double envelope = -std::log(0.02 * root) / (zeta * wn);
    const double halfPeriod = kPi / wd;

    const double rise = tau * std::log(9.0), settle = tau * std::log(50.0);
    const double dt = 1e-6;  // sampling of the first-order records
    const struct {
        const char* what;
        Record record;
        Expect rise, overshoot, settling, error;
    } cases[] = {
        {"first order", Sample(0.02, 20001, 0.0, 1.0, first), Near(rise, dt), Near(0, 1e-9), Near(settle, dt),
         Near(0, 1e-6)},
        {"first order, the step a quarter into the record", Sample(0.025, 25001, 0.005, 1.0, first),
         Near(rise, dt), Near(0, 1e-9), Near(settle, dt), Near(0, 1e-6)},
        {"first order, reference applied before the record", Sample(0.02, 20001, -1.0, 2.5, first),
         Near(rise, dt), Near(0, 1e-9), Near(settle, dt), Near(0, 1e-5)},
        {"first order, a negative step", Sample(0.02, 20001, 0.0, -2.0, first), Near(rise, dt), Near(0, 1e-9),
         Near(settle, dt), Near(0, 1e-5)},
        {"second order, damping 0.5", Sample(0.02, 40001, 0.0, 1.0, second), kAny,
         Near(100.0 * std::exp(-kPi * zeta / root), 0.01), Near(envelope - halfPeriod / 2, halfPeriod / 2),
         Near(0, 1e-6)},
        {"undamped oscillation never settles",
         Sample(0.02, 20001, 0.0, 1.0, [](double t) { return 1 - std::cos(3000 * t); }), kAny,
         Near(100.0, 0.01), Never(), kAny},
        {"a response that stops at half the step",
         Sample(0.02, 20001, 0.0, 1.0, [=](double t) { return 0.5 * first(t); }), Never(), Near(0, 1e-9),
         Never(), Near(0.5, 1e-6)},
    };
    for (const auto& c : cases) {
        const dcdrive::StepFigures f = dcdrive::MeasureStep(c.record.t, c.record.r, c.record.y);
        ASSERT_TRUE(f.valid) << c.what;
        Check(c.what, "rise time", f.riseTime, c.rise);
        Check(c.what, "overshoot", f.overshoot, c.overshoot);
        Check(c.what, "settling time", f.settlingTime, c.settling);
        Check(c.what, "steady-state error", f.steadyStateError, c.error);
    }
}

TEST(StepResponse, NothingToMeasure) {
    const std::vector<double> t{0, 1, 2, 3}, flat{1, 1, 1, 1};
    EXPECT_FALSE(dcdrive::MeasureStep(t, flat, flat).valid) << "a flat reference on a response at it";
    EXPECT_FALSE(
        dcdrive::MeasureStep(std::vector<double>{0, 1}, std::vector<double>{0, 1}, std::vector<double>{0, 1})
            .valid)
        << "two samples";
    EXPECT_TRUE(dcdrive::StepFigureTexts(dcdrive::MeasureStep(t, flat, flat), "A").empty());
}

TEST(StepResponse, TextsSayWhatWasNotReached) {
    dcdrive::StepFigures f;
    f.valid = true;
    f.riseTime = 250e-6;
    f.overshoot = 4.56;
    f.settlingTime = std::nan("");
    f.steadyStateError = -0.0123;
    const auto texts = dcdrive::StepFigureTexts(f, "A");
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].first + "=" + texts[0].second, "Rise time=250.0 µs");
    EXPECT_EQ(texts[1].second, "4.6 %");
    EXPECT_EQ(texts[2].second, "not settled");
    EXPECT_EQ(texts[3].second, "-0.0123 A");
}

}  // namespace
