// The figures of a tuning test's run per cycle, on records built from the
// profile itself: a response that follows the reference a few samples late
// has a known rise time (80 % of the ramp), following error (the ramp's
// slope times the delay) and settling time (the delay less the 2 % of the
// ramp still to go); an offset in a hold gives a known overshoot and
// steady-state error.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "tests/ProfileResponse.h"

namespace {

using dcdrive::Profile;
using dcdrive::ReferenceType;

constexpr double kTs = 1e-3;
constexpr int kRest = 10;  // samples before the first cycle

struct Record {
    std::vector<double> t, r, y;
};

// `cycles` cycles of `profile` from `base`, sampled every period after
// kRest samples at rest and followed by `tail` samples of a further cycle.
// The response is the reference delay(cycle) samples late, plus
// extra(sample, cycle).
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

// From, to, rise time, overshoot, settling time (NaN: not settled),
// steady-state error, following error.
using ExpectedMove = std::array<double, 7>;

void Check(const dcdrive::MoveFigures& m, const ExpectedMove& expected) {
    ASSERT_TRUE(m.step.valid);
    const ExpectedMove got = {m.from,
                              m.to,
                              m.step.riseTime,
                              m.step.overshoot,
                              m.step.settlingTime,
                              m.step.steadyStateError,
                              m.followingError};
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(std::isnan(expected[i]) ? std::isnan(got[i]) : std::fabs(got[i] - expected[i]) < 1e-9)
            << "figure " << i << ": " << got[i] << " for " << expected[i];
}

TEST(ProfileResponse, FiguresOfEachMovePerReferenceType) {
    // An offset in the first hold, from the delayed arrival on.
    const auto offset = [](double by) {
        return [by](int j, int cycle) { return j - cycle * 600 >= 105 && j - cycle * 600 < 300 ? by : 0.0; };
    };
    const struct {
        const char* what;
        ReferenceType type;
        double base;
        std::function<double(int, int)> extra;
        ExpectedMove first, second;
    } cases[] = {
        // clang-format off
        {"positive, 5 samples late", ReferenceType::Positive, 0, {},
         {0, 50, 0.08, 0, 0.003, 0, 2.5}, {50, 0, 0.08, 0, 0.003, 0, -2.5}},
        {"negative from 1000", ReferenceType::Negative, 1000, {},
         {1000, 950, 0.08, 0, 0.003, 0, -2.5}, {950, 1000, 0.08, 0, 0.003, 0, 2.5}},
        {"1 % beyond in the hold: settled", ReferenceType::Positive, 0, offset(0.5),
         {0, 50, 0.08, 1, 0.003, -0.5, 2.5}, {50, 0, 0.08, 0, 0.003, 0, -2.5}},
        {"3 % beyond in the hold: never settled", ReferenceType::Positive, 0, offset(1.5),
         {0, 50, 0.08, 3, std::nan(""), -1.5, 2.5}, {50, 0, 0.08, 0, 0.003, 0, -2.5}},
        // Down from W to -W over twice the ramp: a slope of 0.5 per sample as well.
        {"bidirectional", ReferenceType::Bidirectional, 0, {},
         {0, 50, 0.08, 0, 0.003, 0, 2.5}, {50, -50, 0.16, 0, 0.001, 0, -2.5}},
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

// A gain change between cycles shows in the cycle that followed it; a cycle
// cut short by the end of the record is left out.
TEST(ProfileResponse, CyclesOfAMultiCycleRun) {
    const Profile p = Trapezoid(ReferenceType::Positive);
    const auto delay = [](int cycle) { return cycle == 1 ? 10 : 5; };
    const auto cycles = Measure(Synthesize(p, 0, 3, 599, delay), p, ReferenceType::Positive);
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
    EXPECT_EQ(Measure(Synthesize(p, 0, 2, 598, delay), p, ReferenceType::Positive).size(), 2u);
}

TEST(ProfileResponse, RecordsWithoutACycleAndTexts) {
    const Profile p = Trapezoid(ReferenceType::Positive);
    const std::vector<double> t = {0, kTs, 2 * kTs, 3 * kTs}, flat = {1, 1, 1, 1};
    EXPECT_TRUE(dcdrive::MeasureProfileCycles(t, flat, flat, p, ReferenceType::Positive, kTs).empty());
    // A profile the program refused has no cycle to cut by.
    const Profile refused = dcdrive::ComputeProfile(50, kTs, {0.2, 0.2, 0.0, 0.1}, ReferenceType::Positive,
                                                    dcdrive::RampCount::OneLess);
    EXPECT_TRUE(Measure(Synthesize(p, 0, 1, 0, FiveLate), refused, ReferenceType::Positive).empty());

    const auto cycles = Measure(Synthesize(p, 0, 1, 0, FiveLate), p, ReferenceType::Positive);
    ASSERT_EQ(cycles.size(), 1u);
    const auto texts = dcdrive::MoveFigureTexts(cycles[0].moves[1], "rpm");
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0].first, "Rise time");
    EXPECT_EQ(texts[4].first + " " + texts[4].second, "Following error -2.5 rpm");
    EXPECT_TRUE(dcdrive::MoveFigureTexts(dcdrive::MoveFigures{}, "rpm").empty());
}

}  // namespace
