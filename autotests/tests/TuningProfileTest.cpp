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
using dcdrive::Profile;
using dcdrive::ProfileTimes;
using dcdrive::RampCount;
using dcdrive::ReferenceType;

constexpr double kTs = 1e-3;
const char* const kLength =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
const char* const kSlope = "Reference variation between two consecutive points is too big (slope overflow).";

// Times in loop periods.
ProfileTimes Samples(double tp, double tn, double tap, double tan) {
    return {tp * kTs, tn * kTs, tap * kTs, tan * kTs};
}

struct Seg {
    std::uint32_t n;
    double d;
};

// Segments worked out by hand from the table; increments in 1/65536 units.
TEST(TuningProfile, SegmentsFollowTheTableOfEachReferenceType) {
    const struct {
        const char* what;
        double w;
        ProfileTimes times;
        ReferenceType type;
        RampCount ramps;
        Seg expected[6];
    } cases[] = {
        {"positive, even ramps",
         50,
         Samples(500, 500, 100, 100),
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         {{99, 32768}, {1, 32768}, {500, 0}, {99, -32768}, {1, -32768}, {500, 0}}},
        // 7/3 per sample loses a fraction that the landing sample makes up.
        {"positive, 7 over 3 samples",
         7,
         Samples(5, 4, 3, 3),
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         {{2, 152917}, {1, 152918}, {5, 0}, {2, -152917}, {1, -152918}, {4, 0}}},
        {"negative, 7 over 3 samples",
         7,
         Samples(5, 4, 3, 3),
         ReferenceType::Negative,
         RampCount::KeepShortRamps,
         {{2, -152917}, {1, -152918}, {5, 0}, {2, 152917}, {1, 152918}, {4, 0}}},
        {"a type outside the list is positive",
         7,
         Samples(5, 4, 3, 3),
         dcdrive::ReferenceTypeOf(5),
         RampCount::KeepShortRamps,
         {{2, 152917}, {1, 152918}, {5, 0}, {2, -152917}, {1, -152918}, {4, 0}}},
        // Up over 3, down to -W over 6, up over 2; the last sample cancels the rest.
        {"bidirectional",
         7,
         Samples(5, 4, 3, 3),
         ReferenceType::Bidirectional,
         RampCount::KeepShortRamps,
         {{3, 152917}, {5, 0}, {6, -152917}, {4, 0}, {2, 229376}, {1, -1}}},
        {"bidirectional, a return ramp of one sample",
         7,
         Samples(5, 4, 3, 1),
         ReferenceType::Bidirectional,
         RampCount::KeepShortRamps,
         {{3, 152917}, {5, 0}, {2, -458751}, {4, 0}, {1, 0}, {1, 458751}}},
        {"speed, a ramp of one sample keeps its length",
         7,
         Samples(5, 4, 1, 1),
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         {{1, 458752}, {1, 0}, {5, 0}, {1, -458752}, {1, 0}, {4, 0}}},
        {"position, a ramp of one sample has no length",
         7,
         Samples(5, 4, 1, 1),
         ReferenceType::Positive,
         RampCount::OneLess,
         {{0, 458752}, {1, 458752}, {5, 0}, {0, -458752}, {1, -458752}, {4, 0}}},
        {"position, longer ramps as the speed's",
         7,
         Samples(5, 4, 3, 3),
         ReferenceType::Negative,
         RampCount::OneLess,
         {{2, -152917}, {1, -152918}, {5, 0}, {2, 152917}, {1, 152918}, {4, 0}}},
        {"position, bidirectional as the speed's",
         7,
         Samples(5, 4, 3, 3),
         ReferenceType::Bidirectional,
         RampCount::OneLess,
         {{3, 152917}, {5, 0}, {6, -152917}, {4, 0}, {2, 229376}, {1, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Profile p = ComputeProfile(c.w, kTs, c.times, c.type, c.ramps);
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_EQ(p[i].length, c.expected[i].n) << "segment " << i;
            EXPECT_EQ(p[i].increment, c.expected[i].d) << "segment " << i;
        }
        EXPECT_FALSE(dcdrive::CheckProfile(p).has_value());
        // Whatever the fixed point lost, a cycle ends where it began.
        EXPECT_EQ(dcdrive::ProfileLevels(p).back(), 0.0);
    }
}

// The positive and negative profiles reach the test value exactly before
// their first hold.
TEST(TuningProfile, RampsLandOnTheTestValue) {
    for (const double w : {1.0, 7.0, 50.0, -13.0, 32767.0}) {
        for (const double na : {1.0, 2.0, 3.0, 7.0, 100.0, 999.0}) {
            for (const RampCount ramps : {RampCount::KeepShortRamps, RampCount::OneLess}) {
                SCOPED_TRACE(testing::Message() << "W " << w << ", " << na << " samples");
                const Profile p =
                    ComputeProfile(w, kTs, Samples(10, 10, na, na), ReferenceType::Positive, ramps);
                const auto levels = dcdrive::ProfileLevels(p);
                EXPECT_EQ(levels[2], w);
                EXPECT_EQ(levels[3], w);
                EXPECT_EQ(levels[6], 0.0);
            }
        }
    }
}

TEST(TuningProfile, SegmentsTheProgramCannotRunAreRefused) {
    const double huge = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        double w;
        ProfileTimes times;
        ReferenceType type;
        RampCount ramps;
        std::optional<int> segment;  // empty: accepted
        const char* text;
    } cases[] = {
        {"speed, ramp below half a period: no sample",
         50,
         {0.5, 0.5, 0.4 * kTs, 0.1},
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         0,
         kSlope},
        {"position, ramp below half a period wraps",
         50,
         {0.5, 0.5, 0.4 * kTs, 0.1},
         ReferenceType::Positive,
         RampCount::OneLess,
         0,
         kLength},
        {"speed, second ramp of no sample",
         50,
         {0.5, 0.5, 0.1, 0.4 * kTs},
         ReferenceType::Negative,
         RampCount::KeepShortRamps,
         3,
         kSlope},
        {"hold of 32768 samples", 50, Samples(32768, 500, 100, 100), ReferenceType::Positive,
         RampCount::KeepShortRamps, 2, kLength},
        {"hold of 32767 samples", 50, Samples(32767, 32767, 100, 100), ReferenceType::Positive,
         RampCount::KeepShortRamps, std::nullopt, nullptr},
        {"second hold of 40000 samples", 50, Samples(500, 40000, 100, 100), ReferenceType::Negative,
         RampCount::KeepShortRamps, 5, kLength},
        {"ramp of 32769 samples: 32768 long", 50, Samples(5, 5, 32769, 100), ReferenceType::Positive,
         RampCount::KeepShortRamps, 0, kLength},
        {"ramp of 32768 samples: 32767 long", 50, Samples(5, 5, 32768, 100), ReferenceType::Positive,
         RampCount::KeepShortRamps, std::nullopt, nullptr},
        {"32768 units in one sample", 32768, Samples(5, 5, 1, 1), ReferenceType::Positive,
         RampCount::KeepShortRamps, 0, kSlope},
        {"32767 units in one sample", 32767, Samples(5, 5, 1, 1), ReferenceType::Positive,
         RampCount::KeepShortRamps, std::nullopt, nullptr},
        {"position, 40000 counts in one sample", 40000, Samples(5, 5, 1, 1), ReferenceType::Positive,
         RampCount::OneLess, 0, kSlope},
        {"bidirectional, 2 W in one sample", 20000, Samples(5, 5, 2, 0.5), ReferenceType::Bidirectional,
         RampCount::KeepShortRamps, 2, kSlope},
        {"bidirectional, descent of no sample", 50, Samples(5, 5, 100, 0.2), ReferenceType::Bidirectional,
         RampCount::KeepShortRamps, 2, kSlope},
        {"bidirectional, return of no sample after a one-sample descent", 50, Samples(5, 5, 100, 0.4),
         ReferenceType::Bidirectional, RampCount::KeepShortRamps, 4, kLength},
        {"hold time not finite",
         50,
         {huge, 0.5, 0.1, 0.1},
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         2,
         kLength},
        {"negative hold time",
         50,
         {-0.5, 0.5, 0.1, 0.1},
         ReferenceType::Positive,
         RampCount::KeepShortRamps,
         2,
         kLength},
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

TEST(TuningProfile, NiceSteps) {
    const struct {
        double q, step;
    } cases[] = {
        {0, 0.2},     {-3, 0.2},     {0.3, 0.5},  {1, 1},
        {1.5, 2},     {2, 2},        {2.5, 5},    {5, 5},
        {6, 10},      {100, 100},    {101, 200},  {375, 500},
        {0.01, 0.01}, {0.011, 0.02}, {0.07, 0.1}, {2.6666666666666665, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.q);
        EXPECT_DOUBLE_EQ(dcdrive::NiceStep(c.q), c.step);
    }
}

TEST(TuningProfile, ChannelScalesAndTimeBase) {
    const struct {
        double v;
        double step, offset;
    } references[] = {{1500, 500, 0}, {-1500, 500, -2000}, {0, 0.2, 0}, {-0.5, 0.2, -0.8}};
    for (const auto& c : references) {
        SCOPED_TRACE(c.v);
        const auto s = dcdrive::ReferenceChannelScale(c.v, "rpm");
        EXPECT_EQ(s.unit, "rpm");
        EXPECT_DOUBLE_EQ(s.step, c.step);
        EXPECT_DOUBLE_EQ(s.offset, c.offset);
    }
    const auto current = dcdrive::CurrentChannelScale(8, "A");
    EXPECT_DOUBLE_EQ(current.step, 5);
    EXPECT_DOUBLE_EQ(current.offset, 10);

    const ProfileTimes t{0.5, 0.4, 0.2, 0.1};
    EXPECT_DOUBLE_EQ(dcdrive::ScopeTimeBase(t, ReferenceType::Positive), 0.2 + 0.5 + 0.1 + 0.1);
    EXPECT_DOUBLE_EQ(dcdrive::ScopeTimeBase(t, ReferenceType::Negative), 0.9);
    EXPECT_DOUBLE_EQ(dcdrive::ScopeTimeBase(t, ReferenceType::Bidirectional), 0.4 + 0.5 + 0.2 + 0.4);
    EXPECT_DOUBLE_EQ(dcdrive::ProfileCycleTime(t, ReferenceType::Positive), 1.2);
    EXPECT_EQ(dcdrive::ScopePreTrigger(t, 0.9), 23);  // 22.2 % up
}

}  // namespace
