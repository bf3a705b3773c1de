// The six segments of the tuning tests' reference against the segment table
// of each reference type, the edge cases of their sample counts, the checks
// and texts that refuse a segment, and the oscilloscope's nice steps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "tests/TuningProfile.h"

namespace {

using dcdrive::ComputeProfile;
using dcdrive::ProfileTimes;
using enum dcdrive::ReferenceType;
using enum dcdrive::RampCount;

constexpr double kTs = 1e-3;
const char* const kLength =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
const char* const kSlope = "Reference variation between two consecutive points is too big (slope overflow).";

// Times in loop periods: the holds, then the ramps.
ProfileTimes Samples(double tp, double tn, double tap, double tan) {
    return {tp * kTs, tn * kTs, tap * kTs, tan * kTs};
}

// Segments worked out by hand from the table; increments in 1/65536 units.
TEST(TuningProfile, SegmentsFollowTheTableOfEachReferenceType) {
    const struct {
        const char* what;
        double w;
        ProfileTimes times;
        dcdrive::ReferenceType type;
        dcdrive::RampCount ramps;
        std::pair<std::uint32_t, double> expected[6];  // length, increment
    } cases[] = {
        // clang-format off
        {"positive, even ramps", 50, Samples(500, 500, 100, 100), Positive, KeepShortRamps,
         {{99, 32768}, {1, 32768}, {500, 0}, {99, -32768}, {1, -32768}, {500, 0}}},
        // 7/3 per sample loses a fraction that the landing sample makes up.
        {"positive, 7 over 3 samples", 7, Samples(5, 4, 3, 3), Positive, KeepShortRamps,
         {{2, 152917}, {1, 152918}, {5, 0}, {2, -152917}, {1, -152918}, {4, 0}}},
        {"a type outside the list is positive", 7, Samples(5, 4, 3, 3), dcdrive::ReferenceTypeOf(5), KeepShortRamps,
         {{2, 152917}, {1, 152918}, {5, 0}, {2, -152917}, {1, -152918}, {4, 0}}},
        {"position, negative, 7 over 3 samples", 7, Samples(5, 4, 3, 3), Negative, OneLess,
         {{2, -152917}, {1, -152918}, {5, 0}, {2, 152917}, {1, 152918}, {4, 0}}},
        // Up over 3, down to -W over 6, up over 2; the last sample cancels the rest.
        {"bidirectional", 7, Samples(5, 4, 3, 3), Bidirectional, KeepShortRamps,
         {{3, 152917}, {5, 0}, {6, -152917}, {4, 0}, {2, 229376}, {1, -1}}},
        {"bidirectional, a return ramp of one sample", 7, Samples(5, 4, 3, 1), Bidirectional, KeepShortRamps,
         {{3, 152917}, {5, 0}, {2, -458751}, {4, 0}, {1, 0}, {1, 458751}}},
        {"speed, a ramp of one sample keeps its length", 7, Samples(5, 4, 1, 1), Positive, KeepShortRamps,
         {{1, 458752}, {1, 0}, {5, 0}, {1, -458752}, {1, 0}, {4, 0}}},
        {"position, a ramp of one sample has no length", 7, Samples(5, 4, 1, 1), Positive, OneLess,
         {{0, 458752}, {1, 458752}, {5, 0}, {0, -458752}, {1, -458752}, {4, 0}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const dcdrive::Profile p = ComputeProfile(c.w, kTs, c.times, c.type, c.ramps);
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_EQ(p[i].length, c.expected[i].first) << "segment " << i;
            EXPECT_EQ(p[i].increment, c.expected[i].second) << "segment " << i;
        }
        EXPECT_FALSE(dcdrive::CheckProfile(p).has_value());
        // Whatever the fixed point lost, a cycle ends where it began.
        EXPECT_EQ(dcdrive::ProfileLevels(p).back(), 0.0);
    }
}

// The positive profiles reach the test value exactly before their first hold.
TEST(TuningProfile, RampsLandOnTheTestValue) {
    for (const double w : {1.0, 7.0, -13.0, 32767.0})
        for (const double ramp : {1.0, 2.0, 3.0, 7.0, 999.0})
            for (const dcdrive::RampCount ramps : {KeepShortRamps, OneLess}) {
                const auto levels = dcdrive::ProfileLevels(
                    ComputeProfile(w, kTs, Samples(10, 10, ramp, ramp), Positive, ramps));
                EXPECT_EQ(levels[2], w) << w << " over " << ramp;
                EXPECT_EQ(levels[3], w) << w << " over " << ramp;
            }
}

TEST(TuningProfile, SegmentsTheProgramCannotRunAreRefused) {
    const double huge = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        double w;
        ProfileTimes times;
        dcdrive::ReferenceType type;
        dcdrive::RampCount ramps;
        std::optional<int> segment;  // empty: accepted
        const char* text;
    } cases[] = {
        // clang-format off
        {"speed, ramp below half a period: no sample", 50, {0.5, 0.5, 0.4 * kTs, 0.1}, Positive, KeepShortRamps, 0, kSlope},
        {"position, ramp below half a period wraps", 50, {0.5, 0.5, 0.4 * kTs, 0.1}, Positive, OneLess, 0, kLength},
        {"hold of 32768 samples", 50, Samples(32768, 500, 100, 100), Positive, KeepShortRamps, 2, kLength},
        {"holds of 32767 samples", 50, Samples(32767, 32767, 100, 100), Positive, KeepShortRamps, std::nullopt, nullptr},
        {"ramp of 32769 samples: 32768 long", 50, Samples(5, 5, 32769, 100), Positive, KeepShortRamps, 0, kLength},
        {"ramp of 32768 samples: 32767 long", 50, Samples(5, 5, 32768, 100), Positive, KeepShortRamps, std::nullopt, nullptr},
        {"32768 units in one sample", 32768, Samples(5, 5, 1, 1), Positive, KeepShortRamps, 0, kSlope},
        {"32767 units in one sample", 32767, Samples(5, 5, 1, 1), Positive, KeepShortRamps, std::nullopt, nullptr},
        {"bidirectional, 2 W in one sample", 20000, Samples(5, 5, 2, 0.5), Bidirectional, KeepShortRamps, 2, kSlope},
        {"bidirectional, return of no sample after a one-sample descent", 50, Samples(5, 5, 100, 0.4), Bidirectional,
         KeepShortRamps, 4, kLength},
        {"hold time not finite", 50, {huge, 0.5, 0.1, 0.1}, Positive, KeepShortRamps, 2, kLength},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto error = dcdrive::CheckProfile(ComputeProfile(c.w, kTs, c.times, c.type, c.ramps));
        ASSERT_EQ(error.has_value(), c.segment.has_value());
        if (!error) continue;
        EXPECT_EQ(error->segment, *c.segment);
        EXPECT_STREQ(error->text, c.text);
    }
}

// The oscilloscope's divisions: the smallest of p/5, p/2 and p (p the power
// of ten at or above q) that is at least q.
TEST(TuningProfile, NiceSteps) {
    const std::pair<double, double> steps[] = {
        {0, 0.2}, {-3, 0.2},  {0.3, 0.5},   {1.5, 2},      {2.5, 5},
        {6, 10},  {101, 200}, {0.01, 0.01}, {0.011, 0.02}, {2.6666666666666665, 5}};
    for (const auto& [q, step] : steps) EXPECT_DOUBLE_EQ(dcdrive::NiceStep(q), step) << q;
}

}  // namespace
