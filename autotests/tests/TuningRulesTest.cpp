// The speed and position tuning tests' reference profiles, the test values the drive can represent and the
// oscilloscope defaults. The default setup: a 500-line motor encoder (2000 counts per turn), a 1 ms speed
// loop, a test speed of 1500 rpm (50 counts per sample) and a test position of 5 turns (10000 counts).
#include <limits>
#include <numbers>
#include <tuple>

#include "EditorTest.h"
#include "tests/PositionTuningRules.h"
#include "tests/SpeedTuningRules.h"
#include "tests/TuningProfile.h"

namespace {

using dcdrive::ComputeProfile;
using dcdrive::ProfileTimes;
using dctest::kGone;
using dctest::Value;
using dctest::Variant;
using enum dcdrive::ReferenceType;
using enum dcdrive::RampCount;

constexpr double kPi = std::numbers::pi;
constexpr double kTs = 1e-3;
constexpr double kCountsPerRadian = 2000 / (2 * kPi);
constexpr double kSpeedUnit = kCountsPerRadian * 1e-3;  // rad/s of one count per sample
// The texts themselves: the dialog tests' failures.
const char* const kLength = dcdrive::kProfileLengthText;
const char* const kSlope = dcdrive::kProfileSlopeText;

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
        // 7/3 per sample loses a fraction that the landing sample makes up; a type outside the list is
        // positive.
        {"positive, 7 over 3 samples", 7, Samples(5, 4, 3, 3), dcdrive::ReferenceTypeOf(5), KeepShortRamps,
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
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const dcdrive::Profile p = ComputeProfile(c.w, kTs, c.times, c.type, c.ramps);
        for (std::size_t i = 0; i < p.size(); ++i)
            EXPECT_EQ(std::pair(p[i].length, p[i].increment), c.expected[i]) << "segment " << i;
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
    const ProfileTimes subSample{0.5, 0.5, 0.4 * kTs, 0.1};
    const struct {
        const char* what;
        double w;
        ProfileTimes times;
        dcdrive::ReferenceType type;
        dcdrive::RampCount ramps;
        std::optional<int> segment;  // empty: accepted
        const char* text;
    } cases[] = {
        {"speed, ramp below half a period: no sample", 50, subSample, Positive, KeepShortRamps, 0, kSlope},
        {"position, ramp below half a period wraps", 50, subSample, Positive, OneLess, 0, kLength},
        {"hold of 32768", 50, Samples(32768, 500, 100, 100), Positive, KeepShortRamps, 2, kLength},
        {"holds of 32767", 50, Samples(32767, 32767, 100, 100), Positive, KeepShortRamps, {}, nullptr},
        {"32768 units in one sample", 32768, Samples(5, 5, 1, 1), Positive, KeepShortRamps, 0, kSlope},
        {"32767 units in one sample", 32767, Samples(5, 5, 1, 1), Positive, KeepShortRamps, {}, nullptr},
        {"bidirectional, no return", 50, Samples(5, 5, 9, 0.4), Bidirectional, KeepShortRamps, 4, kLength},
        {"hold time not finite", 50, {huge, 0.5, 0.1, 0.1}, Positive, KeepShortRamps, 2, kLength},
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

// The oscilloscope's divisions: the smallest of p/5, p/2 and p (p the power of ten at or above q) >= q.
TEST(TuningProfile, NiceSteps) {
    const std::pair<double, double> steps[] = {
        {0, 0.2}, {-3, 0.2},  {0.3, 0.5},   {1.5, 2},      {2.5, 5},
        {6, 10},  {101, 200}, {0.01, 0.01}, {0.011, 0.02}, {2.6666666666666665, 5}};
    for (const auto& [q, step] : steps) EXPECT_DOUBLE_EQ(dcdrive::NiceStep(q), step) << q;
}

TEST(TuningRules, TestSpeedAndPositionBecomeRepresentableAndNonzero) {
    const double fraction = 1.0 / 65536 / kSpeedUnit;  // rad/s of 1/65536 count per sample
    const dctest::Change estimator{"isSpeedEstimator", 1};
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        int result;
        double expected;  // rad/s or rad
    } cases[] = {
        {"speed, nearest count", {{"TestSpeed", 10.0}}, 1, 3 / kSpeedUnit},
        {"speed below half a count, negative: minus one", {{"TestSpeed", -1.0}}, 1, -1 / kSpeedUnit},
        {"speed zero: one count", {{"TestSpeed", 0.0}}, 1, 1 / kSpeedUnit},
        {"estimator: 1/65536 count", {{"TestSpeed", 1.0}, estimator}, 1, 20861 * fraction},
        {"estimator, below 1/131072 count: one count", {{"TestSpeed", 1e-6}, estimator}, 1, 1 / kSpeedUnit},
        {"speed without speed scale", {{"TestSpeed", 10.0}, {"No_encoder_lines", 0}}, 0, 10},
        {"no speed", {{"TestSpeed", kGone}}, 0, kGone},
        {"position rounding to 0 counts, negative: -1", {{"TestPosition", -0.001}}, 1, -1 / kCountsPerRadian},
        {"position, half a count up", {{"TestPosition", 1.5 / kCountsPerRadian}}, 1, 2 / kCountsPerRadian},
        {"no position", {{"TestPosition", kGone}}, 0, kGone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.changes);
        const bool speed = std::string(c.changes[0].name) == "TestSpeed";
        EXPECT_EQ(speed ? dcdrive::RoundTestSpeed(*setup) : dcdrive::RoundTestPosition(*setup), c.result);
        if (std::isnan(c.expected)) continue;
        EXPECT_NEAR(Value(*setup, c.changes[0].name), c.expected, 1e-9);
    }
}

// The profiles read the setup: target in internal units, times, type.
TEST(TuningRules, ProfilesFromTheSetup) {
    const dctest::Change negative{"PositionTestReferenceType", 1}, both{"SpeedTestReferenceType", 2};
    const struct {
        const char* what;
        bool position;
        std::vector<dctest::Change> changes;
        std::array<double, 6> segments;  // a0, b0, a1, b1, a2, b5: lengths and counts per sample
    } cases[] = {
        // clang-format off
        {"speed", false, {}, {99, 0.5, 1, 0.5, 500, 0}},
        // Back up over 99 samples of 33099/65536; the last sample takes off the 1/65536 too many.
        {"speed, bidirectional", false, {both}, {100, 0.5, 500, 0, 200, -1.0 / 65536}},
        {"position, negative", true, {negative}, {99, -100, 1, -100, 500, 0}},
        {"position, ramp of one sample", true, {{"TaPP", 1e-3}}, {0, 10000, 1, 10000, 500, 0}},
        // The position test's type is read only when the speed test has one.
        {"position, type without the speed test's", true, {negative, {"SpeedTestReferenceType", kGone}},
         {99, 100, 1, 100, 500, 0}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.changes);
        // As the dialogs do when they open.
        dcdrive::RoundTestSpeed(*setup);
        dcdrive::RoundTestPosition(*setup);
        const dcdrive::Profile p =
            c.position ? dcdrive::PositionTestProfile(*setup) : dcdrive::SpeedTestProfile(*setup);
        ASSERT_FALSE(dcdrive::CheckProfile(p).has_value());
        const std::array<double, 6> segments = {double(p[0].length), dcdrive::SegmentIncrementValue(p[0]),
                                                double(p[1].length), dcdrive::SegmentIncrementValue(p[1]),
                                                double(p[2].length), dcdrive::SegmentIncrementValue(p[5])};
        EXPECT_EQ(segments, c.segments);
    }
}

// Times: ramps 0.2 s up and 0.1 s down, holds 0.5 s and 0.4 s. The free mode has no trigger.
TEST(TuningRules, OscilloscopeTriggerPerReferenceType) {
    const double v = 50 / kSpeedUnit, p = 10 * kPi;
    const dctest::Change negative{"PositionTestReferenceType", 1}, both{"SpeedTestReferenceType", 2};
    const struct {
        const char* what;
        bool position;
        std::vector<dctest::Change> changes;
        double timeBase;
        int mode, slope;
        double level, preTrigger;
    } cases[] = {
        {"speed, positive", false, {}, 0.9, 4, 1, v, 23},
        {"speed, bidirectional", false, {both}, 1.5, 4, 1, v, 14},
        {"speed, multi-cycle", false, {{"MultiCycleS", 1}}, 0.9, 2, 1, v, 23},
        {"speed, negative test speed", false, {{"TestSpeed", -v}}, 0.9, 4, 0, -v, 23},
        {"speed, no test speed", false, {{"TestSpeed", kGone}, both}, 1.5, 1, 1, 0, 0},
        {"position, positive", true, {}, 0.9, 4, 1, 0.95 * p, 23},
        {"position, negative", true, {negative}, 0.9, 4, 0, -0.95 * p, 23},
        {"position, negative, below 0", true, {negative, {"TestPosition", -p}}, 0.9, 4, 1, 0.95 * p, 23},
        {"position, bidirectional", true, {{"PositionTestReferenceType", 2}}, 1.5, 4, 1, 0.9 * p, 14},
        // Without a test position the cycle follows the speed test's type.
        {"position, no test position", true, {{"TestPosition", kGone}, both}, 1.5, 1, 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::VariantOf("TaPS=0.2 TaNS=0.1 TPS=0.5 TNS=0.4 TaPP=0.2 TaNP=0.1 TPP=0.5 TNP=0.4");
        for (const auto& [name, value] : c.changes) dctest::Set(*setup, name, value);
        const dcdrive::ScopeSettings s =
            c.position ? dcdrive::PositionScopeSettings(*setup) : dcdrive::SpeedScopeSettings(*setup);
        const char* trigger = c.mode == 1 ? "" : c.position ? "Target_Position" : "Speed_Reference";
        EXPECT_NEAR(s.timeBase, c.timeBase, 1e-12);
        EXPECT_NEAR(s.level, c.level, 1e-9);
        EXPECT_EQ(std::tuple(s.mode, s.slope, s.preTrigger, std::string(s.trigger ? s.trigger : "")),
                  std::tuple(c.mode, c.slope, c.preTrigger, std::string(trigger)));
    }
}

// Channel scales in the displayed units (unit, step, offset): 1500 rpm, 8 A, 5 turns; the speed of the
// position test peaks at 5 turns / 0.1 s = 3000 rpm whatever the sign, and leaves the test speed as it was.
TEST(TuningRules, OscilloscopeChannelScales) {
    using Scale = std::tuple<std::string, double, double>;
    const auto of = [](const std::optional<dcdrive::ChannelScale>& s) {
        return s ? Scale(s->unit, s->step, s->offset) : Scale("none", 0, 0);
    };
    auto setup = Variant({});
    const double testSpeed = Value(*setup, "TestSpeed");
    EXPECT_EQ(of(dcdrive::CurrentChannelScaleOf(*setup)), Scale("A", 5, 10));
    EXPECT_EQ(of(dcdrive::PositionChannelScale(*setup)), Scale("rot", 2, 0));
    EXPECT_EQ(of(dcdrive::PositionSpeedChannelScale(*setup)), Scale("rpm", 2000, 4000));
    EXPECT_DOUBLE_EQ(Value(*setup, "TestSpeed"), testSpeed);

    auto negative = Variant({{"TestSpeed", -50 / kSpeedUnit}, {"TestPosition", -10 * kPi}});
    EXPECT_EQ(of(dcdrive::SpeedChannelScale(*negative)), Scale("rpm", 500, -2000));
    EXPECT_EQ(of(dcdrive::PositionChannelScale(*negative)), Scale("rot", 2, -8));
    EXPECT_EQ(of(dcdrive::PositionSpeedChannelScale(*negative)), Scale("rpm", 2000, 4000));

    auto bare = Variant({{"TestSpeed", kGone}, {"TestLimitCurrent", kGone}});
    for (const auto& scale : {dcdrive::SpeedChannelScale(*bare), dcdrive::CurrentChannelScaleOf(*bare),
                              dcdrive::PositionSpeedChannelScale(*bare)})
        EXPECT_FALSE(scale.has_value());
}

}  // namespace
