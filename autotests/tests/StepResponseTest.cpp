// The step response figures against closed-form responses, and per cycle of a tuning run against responses
// built from the profile a few samples late: rise time 80 % of the ramp, following error slope × delay,
// settling time the delay less the last 2 % of the ramp.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "tests/ProfileResponse.h"
#include "tests/StepResponse.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Figure {
    double value, tolerance;
};
const Figure kNever{std::nan(""), 0};                           // a figure never reached
const Figure kAny{std::numeric_limits<double>::infinity(), 0};  // a figure not checked

// Samples every microsecond over [0, end] of a reference that steps from 0 to `height` at `step` (or stands
// at `height` all along when `step` < 0) and of the response height * y(t - step), 0 before; their figures.
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

// A figure within its tolerance; never reached (NaN) when so expected.
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
    // The envelope enters the 2 % band here; the response itself enters it for the last time within half a
    // damped period before.
    const double envelope = -std::log(0.02 * root) / (zeta * wn), halfPeriod = kPi / wd;
    const Figure rise{tau * std::log(9.0), 1e-6}, none{0, 1e-9}, settle{tau * std::log(50.0), 1e-6};
    const Figure peak{100 * std::exp(-kPi * zeta / root), 0.01}, exact{0, 1e-6}, close{0, 1e-5};
    const Figure late{envelope - halfPeriod / 2, halfPeriod / 2};
    const auto half = [=](double t) { return 0.5 * first(t); };
    const auto undamped = [](double t) { return 1 - std::cos(3000 * t); };
    const struct {
        const char* what;
        dcdrive::StepFigures measured;
        Figure rise, overshoot, settling, error;
    } cases[] = {
        {"first order, stepped a quarter in", Measure(0.025, 0.005, 1, first), rise, none, settle, exact},
        {"first order, stepped before the record", Measure(0.02, -1, 2.5, first), rise, none, settle, close},
        {"first order, a negative step", Measure(0.02, 0, -2, first), rise, none, settle, close},
        {"second order, damping 0.5", Measure(0.02, 0, 1, second), kAny, peak, late, exact},
        {"undamped, never settles", Measure(0.02, 0, 1, undamped), kAny, {100, 0.01}, kNever, kAny},
        {"stops at half the step", Measure(0.02, 0, 1, half), kNever, none, kNever, {0.5, 1e-6}},
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

    // Rise time, overshoot, settling time (not settled) and steady-state error.
    const dcdrive::StepFigures f{true, 250e-6, 4.56, std::nan(""), -0.0123};
    std::string texts;
    for (const auto& [name, value] : dcdrive::StepFigureTexts(f, "A")) texts += name + "=" + value + "; ";
    EXPECT_EQ(
        texts,
        "Rise time=250.0 µs; Overshoot=4.6 %; Settling time=not settled; Steady-state error=-0.0123 A; ");
}

using dcdrive::Profile;
using dcdrive::ReferenceType;
using enum dcdrive::ReferenceType;

constexpr double kTs = 1e-3;
constexpr int kRest = 10;  // samples before the first cycle
const double kNaN = std::nan("");

struct Record {
    std::vector<double> t, r, y;
};

// `cycles` cycles of `profile` from `base` after kRest samples at rest, and `tail` samples of a further one;
// the response delay(cycle) samples late, plus extra(sample, cycle).
Record Synthesize(const Profile& profile, double base, int cycles, int tail,
                  const std::function<int(int)>& delay, const std::function<double(int, int)>& extra = {}) {
    std::vector<double> increments;
    for (const auto& s : profile)
        for (std::uint32_t k = 0; k < s.length; ++k) increments.push_back(s.increment / 65536.0);
    const int period = static_cast<int>(increments.size()), n = kRest + cycles * period + tail;
    Record rec;
    for (int k = 0; k < n; ++k) {
        rec.t.push_back(k * kTs);
        rec.r.push_back(k <= kRest
                            ? base
                            : rec.r.back() + increments[static_cast<std::size_t>((k - kRest - 1) % period)]);
    }
    for (int k = 0; k < n; ++k) {
        const int cycle = k <= kRest ? 0 : (k - kRest - 1) / period;
        const double late = rec.r[static_cast<std::size_t>(std::max(0, k - delay(cycle)))];
        rec.y.push_back(late + (extra ? extra(k - kRest, cycle) : 0.0));
    }
    return rec;
}

// Profile of 50 units: ramps of 100 samples, holds of 200.
Profile Trapezoid(ReferenceType type) {
    return dcdrive::ComputeProfile(50, kTs, {0.2, 0.2, 0.1, 0.1}, type, dcdrive::RampCount::KeepShortRamps);
}

int FiveLate(int) { return 5; }

std::vector<dcdrive::CycleFigures> Measure(const Record& rec, const Profile& p, ReferenceType type) {
    return dcdrive::MeasureProfileCycles(rec.t, rec.r, rec.y, p, type, kTs);
}

// From, to, rise time, overshoot, settling time (NaN: not settled), steady-state error, following error.
using ExpectedMove = std::array<double, 7>;

void Check(const dcdrive::MoveFigures& m, const ExpectedMove& expected) {
    const auto& [valid, rise, overshoot, settling, error] = m.step;
    ASSERT_TRUE(valid);
    const double got[] = {m.from, m.to, rise, overshoot, settling, error, m.followingError};
    for (std::size_t i = 0; i < 7; ++i) Check(std::to_string(i).c_str(), got[i], {expected[i], 1e-9});
}

TEST(ProfileResponse, FiguresOfEachMovePerReferenceType) {
    // An offset in the first hold, from the delayed arrival on.
    const auto offset = [](double by) {
        return [by](int j, int cycle) { return j - cycle * 600 >= 105 && j - cycle * 600 < 300 ? by : 0.0; };
    };
    // The positive profile's moves.
    const ExpectedMove up{0, 50, 0.08, 0, 0.003, 0, 2.5}, down{50, 0, 0.08, 0, 0.003, 0, -2.5};
    const struct {
        const char* what;
        ReferenceType type;
        double base;
        std::function<double(int, int)> extra;
        ExpectedMove first, second;
    } cases[] = {
        // clang-format off
        {"positive, 5 samples late", Positive, 0, {}, up, down},
        {"negative from 1000", Negative, 1000, {},
         {1000, 950, 0.08, 0, 0.003, 0, -2.5}, {950, 1000, 0.08, 0, 0.003, 0, 2.5}},
        {"1 % beyond in the hold", Positive, 0, offset(0.5), {0, 50, 0.08, 1, 0.003, -0.5, 2.5}, down},
        {"3 % beyond: never settled", Positive, 0, offset(1.5), {0, 50, 0.08, 3, kNaN, -1.5, 2.5}, down},
        // Down from W to -W over twice the ramp: a slope of 0.5 per sample as well.
        {"bidirectional", Bidirectional, 0, {}, up, {50, -50, 0.16, 0, 0.001, 0, -2.5}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Profile p = Trapezoid(c.type);
        const auto cycles = Measure(Synthesize(p, c.base, 2, 0, FiveLate, c.extra), p, c.type);
        ASSERT_EQ(cycles.size(), 2u);
        for (const dcdrive::CycleFigures& cycle : cycles) {
            SCOPED_TRACE(cycle.index);
            ASSERT_EQ(cycle.moves.size(), 2u);
            Check(cycle.moves[0], c.first);
            Check(cycle.moves[1], c.second);
        }
    }
}

// A gain change between cycles shows in the cycle after it; one cut short by the record's end is left out.
TEST(ProfileResponse, CyclesOfAMultiCycleRun) {
    const Profile p = Trapezoid(Positive);
    const auto delay = [](int cycle) { return cycle == 1 ? 10 : 5; };
    const auto cycles = Measure(Synthesize(p, 0, 3, 599, delay), p, Positive);
    ASSERT_EQ(cycles.size(), 3u);
    for (std::size_t i = 0; i < cycles.size(); ++i) {
        EXPECT_EQ(cycles[i].index, static_cast<int>(i));
        EXPECT_NEAR(cycles[i].start, (kRest + 600.0 * i) * kTs, 1e-9);
        EXPECT_NEAR(cycles[i].end - cycles[i].start, 0.6, 1e-9);
        const int late = delay(static_cast<int>(i));
        EXPECT_NEAR(cycles[i].moves[0].followingError, 0.5 * late, 1e-9);
        EXPECT_NEAR(cycles[i].moves[0].step.settlingTime, late * kTs - 0.002, 1e-9);
        EXPECT_NEAR(cycles[i].moves[1].arrival, cycles[i].start + 0.4, 1e-9);
    }
    // Two samples short of the third cycle's last hold.
    EXPECT_EQ(Measure(Synthesize(p, 0, 2, 598, delay), p, Positive).size(), 2u);
}

TEST(ProfileResponse, RecordsWithoutACycleAndTexts) {
    const Profile p = Trapezoid(Positive);
    const std::vector<double> t = {0, kTs, 2 * kTs, 3 * kTs}, flat = {1, 1, 1, 1};
    EXPECT_TRUE(dcdrive::MeasureProfileCycles(t, flat, flat, p, Positive, kTs).empty());
    // A profile the program refused has no cycle to cut by.
    const Profile refused =
        dcdrive::ComputeProfile(50, kTs, {0.2, 0.2, 0.0, 0.1}, Positive, dcdrive::RampCount::OneLess);
    EXPECT_TRUE(Measure(Synthesize(p, 0, 1, 0, FiveLate), refused, Positive).empty());

    const auto cycles = Measure(Synthesize(p, 0, 1, 0, FiveLate), p, Positive);
    ASSERT_EQ(cycles.size(), 1u);
    const auto texts = dcdrive::MoveFigureTexts(cycles[0].moves[1], "rpm");
    ASSERT_EQ(texts.size(), 5u) << "the step's figures, then";
    EXPECT_EQ(texts[4].first + " " + texts[4].second, "Following error -2.5 rpm");
    EXPECT_TRUE(dcdrive::MoveFigureTexts(dcdrive::MoveFigures{}, "rpm").empty());
}

}  // namespace
