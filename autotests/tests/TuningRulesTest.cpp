// The speed and position tuning tests on the setup: the test values that
// the drive can represent, the profiles written before a run, the program
// and logged signals by the control structure, the validation and the
// oscilloscope defaults per reference type.
//
// The default setup: a 500-line motor encoder (2000 counts per turn), a
// 1 ms speed loop, a test speed of 1500 rpm (50 counts per sample) and a
// test position of 5 turns (10000 counts).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "EditorTest.h"
#include "conversions/Conventions.h"
#include "tests/PositionTuningRules.h"
#include "tests/SpeedTuningRules.h"

namespace {

using dcdrive::ReferenceType;
using dctest::kGone;
using dctest::Value;
using dctest::Variant;

constexpr double kPi = std::numbers::pi;
constexpr double kCountsPerRadian = 2000 / (2 * kPi);
constexpr double kSpeedUnit = kCountsPerRadian * 1e-3;  // rad/s of one count per sample
const char* const kLength =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
const char* const kSlope = "Reference variation between two consecutive points is too big (slope overflow).";

TEST(TuningRules, TestSpeedBecomesARepresentableNonzeroSpeed) {
    const double fraction = 1.0 / 65536 / kSpeedUnit;  // rad/s of 1/65536 count per sample
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        int result;
        double expected;  // rad/s
    } cases[] = {
        {"already whole", {}, 1, 50 / kSpeedUnit},
        {"nearest whole count", {{"TestSpeed", 10.0}}, 1, 3 / kSpeedUnit},
        {"below half a count: one count", {{"TestSpeed", 1.0}}, 1, 1 / kSpeedUnit},
        {"below half a count, negative: minus one", {{"TestSpeed", -1.0}}, 1, -1 / kSpeedUnit},
        {"zero: one count", {{"TestSpeed", 0.0}}, 1, 1 / kSpeedUnit},
        {"estimator: 1/65536 count", {{"TestSpeed", 1.0}, {"isSpeedEstimator", 1}}, 1, 20861 * fraction},
        {"estimator parameter off", {{"TestSpeed", 1.0}, {"isSpeedEstimator", 0}}, 1, 1 / kSpeedUnit},
        {"estimator below 1/131072 count: one whole count",
         {{"TestSpeed", 1e-6}, {"isSpeedEstimator", 1}},
         1,
         1 / kSpeedUnit},
        {"no test speed", {{"TestSpeed", kGone}}, 0, 0},
        {"no speed scale", {{"TestSpeed", 10.0}, {"No_encoder_lines", 0}}, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.changes);
        EXPECT_EQ(dcdrive::RoundTestSpeed(*setup), c.result);
        if (c.result == 0 && !dcdrive::Exists(*setup, "TestSpeed")) continue;
        EXPECT_NEAR(Value(*setup, "TestSpeed"), c.expected, 1e-9);
    }
}

TEST(TuningRules, TestPositionBecomesWholeCounts) {
    const struct {
        const char* what;
        double position;  // rad
        double expected;
    } cases[] = {
        {"five turns", 10 * kPi, 10000 / kCountsPerRadian},
        {"nearest count", 1.0, 318 / kCountsPerRadian},
        {"rounding to 0 counts: one count", 0.001, 1 / kCountsPerRadian},
        {"rounding to 0 counts, negative: minus one", -0.001, -1 / kCountsPerRadian},
        {"half a count rounds away from 0", 1.5 / kCountsPerRadian, 2 / kCountsPerRadian},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant({{"TestPosition", c.position}});
        EXPECT_EQ(dcdrive::RoundTestPosition(*setup), 1);
        EXPECT_NEAR(Value(*setup, "TestPosition"), c.expected, 1e-12);
    }
    auto none = Variant({{"TestPosition", kGone}});
    EXPECT_EQ(dcdrive::RoundTestPosition(*none), 0);
}

// The profiles read the setup: target in internal units, times, type.
TEST(TuningRules, ProfilesFromTheSetup) {
    const struct {
        const char* what;
        bool position;
        std::vector<dctest::Change> changes;
        double n0, d0, n1, d1, n2, d5;  // lengths and increments (counts per sample)
        const char* error;
        int segment;
    } cases[] = {
        // clang-format off
        {"speed", false, {}, 99, 0.5, 1, 0.5, 500, 0, nullptr, 0},
        {"speed, negative", false, {{"SpeedTestReferenceType", 1}}, 99, -0.5, 1, -0.5, 500, 0, nullptr, 0},
        // Back up over 99 samples of 33099/65536; the last sample takes off the 1/65536 too many.
        {"speed, bidirectional", false, {{"SpeedTestReferenceType", 2}}, 100, 0.5, 500, 0, 200, -1.0 / 65536,
         nullptr, 0},
        {"speed, no type parameter", false, {{"SpeedTestReferenceType", kGone}}, 99, 0.5, 1, 0.5, 500, 0, nullptr, 0},
        {"speed, ramp of one sample", false, {{"TaPS", 1e-3}}, 1, 50, 1, 0, 500, 0, nullptr, 0},
        {"speed, ramp below half a period", false, {{"TaPS", 0.4e-3}}, 0, 0, 0, 0, 0, 0, kSlope, 0},
        {"speed, hold of 32768 periods", false, {{"TPS", 32.768}}, 0, 0, 0, 0, 0, 0, kLength, 2},
        {"position", true, {}, 99, 100, 1, 100, 500, 0, nullptr, 0},
        {"position, ramp of one sample", true, {{"TaPP", 1e-3}}, 0, 10000, 1, 10000, 500, 0, nullptr, 0},
        {"position, ramp below half a period", true, {{"TaPP", 0.4e-3}}, 0, 0, 0, 0, 0, 0, kLength, 0},
        {"position, negative", true, {{"PositionTestReferenceType", 1}}, 99, -100, 1, -100, 500, 0, nullptr, 0},
        // The position test's type is read only when the speed test has one.
        {"position, type without the speed test's", true,
         {{"PositionTestReferenceType", 1}, {"SpeedTestReferenceType", kGone}}, 99, 100, 1, 100, 500, 0, nullptr, 0},
        {"position, a test position rounding to 0 counts", true, {{"TestPosition", 0.001}, {"TaPP", 1e-3}},
         0, 1, 1, 1, 500, 0, nullptr, 0},
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
        const auto error = dcdrive::CheckProfile(p);
        if (c.error) {
            ASSERT_TRUE(error.has_value());
            EXPECT_EQ(error->segment, c.segment);
            EXPECT_STREQ(error->text, c.error);
            continue;
        }
        ASSERT_FALSE(error.has_value()) << error->text;
        EXPECT_EQ(p[0].length, c.n0);
        EXPECT_EQ(dcdrive::SegmentIncrementValue(p[0]), c.d0);
        EXPECT_EQ(p[1].length, c.n1);
        EXPECT_EQ(dcdrive::SegmentIncrementValue(p[1]), c.d1);
        EXPECT_EQ(p[2].length, c.n2);
        EXPECT_EQ(dcdrive::SegmentIncrementValue(p[5]), c.d5);
    }
}

TEST(TuningRules, PositionProgramAndSignalsFollowTheControlStructure) {
    auto over = Variant({{"PositionControlType", 1}});
    EXPECT_STREQ(dcdrive::PositionTuningProgram(*over), "Position_Controller_Tuning_Test_with_SpdCtrl");
    const auto speeds = dcdrive::PositionLoggedVariables(*over);
    EXPECT_STREQ(speeds[2], "Speed_Reference");
    EXPECT_STREQ(speeds[3], "Load_Speed");
    auto direct = Variant({{"PositionControlType", 0}});
    EXPECT_STREQ(dcdrive::PositionTuningProgram(*direct), "Position_Controller_Tuning_Test_without_SpdCtrl");
    const auto currents = dcdrive::PositionLoggedVariables(*direct);
    EXPECT_STREQ(currents[0], "Target_Position");
    EXPECT_STREQ(currents[1], "Load_Position");
    EXPECT_STREQ(currents[2], "Current_Reference");
    EXPECT_STREQ(currents[3], "Motor_Current");
}

TEST(TuningRules, CurrentLimitMustNotExceedTheProtection) {
    const char* const text =
        "Over current protection must be greater than Drive current limit. Recommended value for Drive "
        "current "
        "limit is maximum 90% of Over current protection.";
    const struct {
        double limit, protection;
        bool refused;
    } cases[] = {{8, 9, false}, {9, 9, false}, {9.5, 9, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        auto setup = Variant({{"TestLimitCurrent", c.limit}, {"TestProtectionCurrent", c.protection}});
        const char* message = dcdrive::ValidateTuningTest(*setup);
        if (c.refused)
            EXPECT_STREQ(message, text);
        else
            EXPECT_EQ(message, nullptr);
    }
}

struct ExpectedScope {
    double timeBase;
    int mode, slope;
    const char* trigger;
    double level, preTrigger;
};

void CheckScope(const dcdrive::ScopeSettings& s, const ExpectedScope& e) {
    EXPECT_NEAR(s.timeBase, e.timeBase, 1e-12);
    EXPECT_EQ(s.mode, e.mode);
    EXPECT_EQ(s.slope, e.slope);
    if (e.trigger)
        EXPECT_STREQ(s.trigger, e.trigger);
    else
        EXPECT_EQ(s.trigger, nullptr);
    EXPECT_NEAR(s.level, e.level, 1e-9);
    EXPECT_EQ(s.preTrigger, e.preTrigger);
}

// Times: ramps 0.2 s up and 0.1 s down, holds 0.5 s and 0.4 s.
TEST(TuningRules, SpeedOscilloscopeTriggerPerReferenceType) {
    const double v = 50 / kSpeedUnit;
    const std::vector<dctest::Change> times = {{"TaPS", 0.2}, {"TaNS", 0.1}, {"TPS", 0.5}, {"TNS", 0.4}};
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        ExpectedScope expected;
    } cases[] = {
        {"positive", {}, {0.9, 4, 1, "Speed_Reference", v, 23}},
        {"negative triggers as positive",
         {{"SpeedTestReferenceType", 1}},
         {0.9, 4, 1, "Speed_Reference", v, 23}},
        {"bidirectional", {{"SpeedTestReferenceType", 2}}, {1.5, 4, 1, "Speed_Reference", v, 14}},
        {"multi-cycle", {{"MultiCycleS", 1}}, {0.9, 2, 1, "Speed_Reference", v, 23}},
        {"negative test speed", {{"TestSpeed", -v}}, {0.9, 4, 0, "Speed_Reference", -v, 23}},
        {"no test speed", {{"TestSpeed", kGone}}, {1.2, 1, 1, nullptr, 0, 0}},
        {"no test speed, bidirectional",
         {{"TestSpeed", kGone}, {"SpeedTestReferenceType", 2}},
         {1.5, 1, 1, nullptr, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto changes = times;
        changes.insert(changes.end(), c.changes.begin(), c.changes.end());
        CheckScope(dcdrive::SpeedScopeSettings(*Variant(changes)), c.expected);
    }
}

TEST(TuningRules, PositionOscilloscopeTriggerPerReferenceType) {
    const double p = 10 * kPi;
    const std::vector<dctest::Change> times = {{"TaPP", 0.2}, {"TaNP", 0.1}, {"TPP", 0.5}, {"TNP", 0.4}};
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        ExpectedScope expected;
    } cases[] = {
        {"positive", {}, {0.9, 4, 1, "Target_Position", 0.95 * p, 23}},
        {"positive, negative position",
         {{"TestPosition", -p}},
         {0.9, 4, 0, "Target_Position", -0.95 * p, 23}},
        {"negative", {{"PositionTestReferenceType", 1}}, {0.9, 4, 0, "Target_Position", -0.95 * p, 23}},
        {"negative, negative position",
         {{"PositionTestReferenceType", 1}, {"TestPosition", -p}},
         {0.9, 4, 1, "Target_Position", 0.95 * p, 23}},
        {"bidirectional", {{"PositionTestReferenceType", 2}}, {1.5, 4, 1, "Target_Position", 0.9 * p, 14}},
        {"multi-cycle", {{"MultiCycleP", 1}}, {0.9, 2, 1, "Target_Position", 0.95 * p, 23}},
        {"type without the speed test's",
         {{"PositionTestReferenceType", 1}, {"SpeedTestReferenceType", kGone}},
         {0.9, 4, 1, "Target_Position", 0.95 * p, 23}},
        {"no test position", {{"TestPosition", kGone}}, {1.2, 1, 1, nullptr, 0, 0}},
        // Without a test position the cycle follows the speed test's type.
        {"no test position, speed test bidirectional",
         {{"TestPosition", kGone}, {"SpeedTestReferenceType", 2}, {"PositionTestReferenceType", 0}},
         {1.5, 1, 1, nullptr, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto changes = times;
        changes.insert(changes.end(), c.changes.begin(), c.changes.end());
        CheckScope(dcdrive::PositionScopeSettings(*Variant(changes)), c.expected);
    }
}

// Channel scales in the displayed units: 1500 rpm, 8 A, 5 turns.
TEST(TuningRules, OscilloscopeChannelScales) {
    auto setup = Variant({});
    const auto speed = dcdrive::SpeedChannelScale(*setup);
    ASSERT_TRUE(speed.has_value());
    EXPECT_EQ(speed->unit, "rpm");
    EXPECT_NEAR(speed->step, 500, 1e-9);
    EXPECT_EQ(speed->offset, 0);
    const auto current = dcdrive::CurrentChannelScaleOf(*setup);
    ASSERT_TRUE(current.has_value());
    EXPECT_EQ(current->unit, "A");
    EXPECT_NEAR(current->step, 5, 1e-9);
    EXPECT_NEAR(current->offset, 10, 1e-9);
    const auto position = dcdrive::PositionChannelScale(*setup);
    ASSERT_TRUE(position.has_value());
    EXPECT_EQ(position->unit, "rot");
    EXPECT_NEAR(position->step, 2, 1e-9);

    // Peak speed 5 turns / 0.1 s = 3000 rpm: steps of 2000 rpm, offset two steps.
    const double testSpeed = Value(*setup, "TestSpeed");
    const auto peak = dcdrive::PositionSpeedChannelScale(*setup);
    ASSERT_TRUE(peak.has_value());
    EXPECT_EQ(peak->unit, "rpm");
    EXPECT_NEAR(peak->step, 2000, 1e-9);
    EXPECT_NEAR(peak->offset, 4000, 1e-9);
    EXPECT_NEAR(Value(*setup, "TestSpeed"), testSpeed, 1e-9);

    auto negative = Variant({{"TestSpeed", -50 / kSpeedUnit}, {"TestPosition", -10 * kPi}});
    EXPECT_NEAR(dcdrive::SpeedChannelScale(*negative)->offset, -2000, 1e-9);
    EXPECT_NEAR(dcdrive::PositionChannelScale(*negative)->offset, -8, 1e-9);
    EXPECT_NEAR(dcdrive::PositionSpeedChannelScale(*negative)->offset, 4000, 1e-9);

    auto bare = Variant({{"TestSpeed", kGone}, {"TestLimitCurrent", kGone}});
    EXPECT_FALSE(dcdrive::SpeedChannelScale(*bare).has_value());
    EXPECT_FALSE(dcdrive::CurrentChannelScaleOf(*bare).has_value());
    EXPECT_FALSE(dcdrive::PositionSpeedChannelScale(*bare).has_value());
}

}  // namespace
