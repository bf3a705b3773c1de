// The speed and position tuning tests on the setup: the test values that
// the drive can represent, the profiles written before a run, the program
// and logged signals by the control structure, the validation and the
// oscilloscope defaults per reference type.
//
// The default setup: a 500-line motor encoder (2000 counts per turn), a
// 1 ms speed loop, a test speed of 1500 rpm (50 counts per sample) and a
// test position of 5 turns (10000 counts).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "EditorTest.h"
#include "conversions/Conventions.h"
#include "tests/PositionTuningRules.h"
#include "tests/SpeedTuningRules.h"

namespace {

using dctest::kGone;
using dctest::Value;
using dctest::Variant;

constexpr double kPi = std::numbers::pi;
constexpr double kCountsPerRadian = 2000 / (2 * kPi);
constexpr double kSpeedUnit = kCountsPerRadian * 1e-3;  // rad/s of one count per sample

TEST(TuningRules, TestSpeedAndPositionBecomeRepresentableAndNonzero) {
    const double fraction = 1.0 / 65536 / kSpeedUnit;  // rad/s of 1/65536 count per sample
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        int result;
        double expected;  // rad/s or rad
    } cases[] = {
        // clang-format off
        {"speed, nearest whole count", {{"TestSpeed", 10.0}}, 1, 3 / kSpeedUnit},
        {"speed below half a count, negative: minus one", {{"TestSpeed", -1.0}}, 1, -1 / kSpeedUnit},
        {"speed zero: one count", {{"TestSpeed", 0.0}}, 1, 1 / kSpeedUnit},
        {"speed with estimator: 1/65536 count", {{"TestSpeed", 1.0}, {"isSpeedEstimator", 1}}, 1, 20861 * fraction},
        {"speed with estimator below 1/131072 count: one whole count", {{"TestSpeed", 1e-6}, {"isSpeedEstimator", 1}}, 1, 1 / kSpeedUnit},
        {"speed without speed scale", {{"TestSpeed", 10.0}, {"No_encoder_lines", 0}}, 0, 10},
        {"no speed", {{"TestSpeed", kGone}}, 0, kGone},
        {"position, nearest count", {{"TestPosition", 1.0}}, 1, 318 / kCountsPerRadian},
        {"position rounding to 0 counts, negative: minus one", {{"TestPosition", -0.001}}, 1, -1 / kCountsPerRadian},
        {"position, half a count rounds away from 0", {{"TestPosition", 1.5 / kCountsPerRadian}}, 1, 2 / kCountsPerRadian},
        {"no position", {{"TestPosition", kGone}}, 0, kGone},
        // clang-format on
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
    const struct {
        const char* what;
        bool position;
        std::vector<dctest::Change> changes;
        std::array<double, 6> segments;  // a0, b0, a1, b1, a2, b5: lengths and counts per sample
    } cases[] = {
        // clang-format off
        {"speed", false, {}, {99, 0.5, 1, 0.5, 500, 0}},
        // Back up over 99 samples of 33099/65536; the last sample takes off the 1/65536 too many.
        {"speed, bidirectional", false, {{"SpeedTestReferenceType", 2}}, {100, 0.5, 500, 0, 200, -1.0 / 65536}},
        {"speed, no type parameter", false, {{"SpeedTestReferenceType", kGone}}, {99, 0.5, 1, 0.5, 500, 0}},
        {"position, negative", true, {{"PositionTestReferenceType", 1}}, {99, -100, 1, -100, 500, 0}},
        {"position, ramp of one sample", true, {{"TaPP", 1e-3}}, {0, 10000, 1, 10000, 500, 0}},
        // The position test's type is read only when the speed test has one.
        {"position, type without the speed test's", true,
         {{"PositionTestReferenceType", 1}, {"SpeedTestReferenceType", kGone}}, {99, 100, 1, 100, 500, 0}},
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

// The program by the control structure (the dialog tests read the signals it
// logs); the current limit may not exceed the protection.
TEST(TuningRules, ProgramAndValidation) {
    auto over = Variant({{"PositionControlType", 1}}), direct = Variant({{"PositionControlType", 0}});
    EXPECT_STREQ(dcdrive::PositionTuningProgram(*over), "Position_Controller_Tuning_Test_with_SpdCtrl");
    EXPECT_STREQ(dcdrive::PositionTuningProgram(*direct), "Position_Controller_Tuning_Test_without_SpdCtrl");

    const char* const refused =
        "Over current protection must be greater than Drive current limit. "
        "Recommended value for Drive current limit is maximum 90% of Over current protection.";
    EXPECT_EQ(dcdrive::ValidateTuningTest(*Variant({{"TestLimitCurrent", 9}, {"TestProtectionCurrent", 9}})),
              nullptr);
    EXPECT_STREQ(
        dcdrive::ValidateTuningTest(*Variant({{"TestLimitCurrent", 9.5}, {"TestProtectionCurrent", 9}})),
        refused);
}

// Times: ramps 0.2 s up and 0.1 s down, holds 0.5 s and 0.4 s.
TEST(TuningRules, OscilloscopeTriggerPerReferenceType) {
    const double v = 50 / kSpeedUnit, p = 10 * kPi;
    const struct {
        const char* what;
        bool position;
        std::vector<dctest::Change> changes;
        double timeBase;
        int mode, slope;
        const char* trigger;
        double level, preTrigger;
    } cases[] = {
        // clang-format off
        {"speed, positive", false, {}, 0.9, 4, 1, "Speed_Reference", v, 23},
        {"speed, bidirectional", false, {{"SpeedTestReferenceType", 2}}, 1.5, 4, 1, "Speed_Reference", v, 14},
        {"speed, multi-cycle", false, {{"MultiCycleS", 1}}, 0.9, 2, 1, "Speed_Reference", v, 23},
        {"speed, negative test speed", false, {{"TestSpeed", -v}}, 0.9, 4, 0, "Speed_Reference", -v, 23},
        {"speed, no test speed", false, {{"TestSpeed", kGone}, {"SpeedTestReferenceType", 2}}, 1.5, 1, 1, nullptr, 0, 0},
        {"position, positive", true, {}, 0.9, 4, 1, "Target_Position", 0.95 * p, 23},
        {"position, negative", true, {{"PositionTestReferenceType", 1}}, 0.9, 4, 0, "Target_Position", -0.95 * p, 23},
        {"position, negative, negative position", true, {{"PositionTestReferenceType", 1}, {"TestPosition", -p}},
         0.9, 4, 1, "Target_Position", 0.95 * p, 23},
        {"position, bidirectional", true, {{"PositionTestReferenceType", 2}}, 1.5, 4, 1, "Target_Position", 0.9 * p, 14},
        // Without a test position the cycle follows the speed test's type.
        {"position, no test position", true,
         {{"TestPosition", kGone}, {"SpeedTestReferenceType", 2}, {"PositionTestReferenceType", 0}}, 1.5, 1, 1, nullptr, 0, 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<dctest::Change> changes = {{"TaPS", 0.2}, {"TaNS", 0.1}, {"TPS", 0.5}, {"TNS", 0.4},
                                               {"TaPP", 0.2}, {"TaNP", 0.1}, {"TPP", 0.5}, {"TNP", 0.4}};
        changes.insert(changes.end(), c.changes.begin(), c.changes.end());
        auto setup = Variant(changes);
        const dcdrive::ScopeSettings s =
            c.position ? dcdrive::PositionScopeSettings(*setup) : dcdrive::SpeedScopeSettings(*setup);
        EXPECT_NEAR(s.timeBase, c.timeBase, 1e-12);
        EXPECT_EQ(s.mode, c.mode);
        EXPECT_EQ(s.slope, c.slope);
        EXPECT_EQ(s.trigger ? std::string(s.trigger) : "", c.trigger ? c.trigger : "");
        EXPECT_NEAR(s.level, c.level, 1e-9);
        EXPECT_EQ(s.preTrigger, c.preTrigger);
    }
}

// Channel scales in the displayed units: 1500 rpm, 8 A, 5 turns; the speed
// of the position test peaks at 5 turns / 0.1 s = 3000 rpm.
TEST(TuningRules, OscilloscopeChannelScales) {
    const auto expect = [](const std::optional<dcdrive::ChannelScale>& s, const char* unit, double step,
                           double offset) {
        ASSERT_TRUE(s.has_value()) << unit;
        EXPECT_EQ(s->unit, unit);
        EXPECT_NEAR(s->step, step, 1e-9) << unit;
        EXPECT_NEAR(s->offset, offset, 1e-9) << unit;
    };
    auto setup = Variant({});
    expect(dcdrive::SpeedChannelScale(*setup), "rpm", 500, 0);
    expect(dcdrive::CurrentChannelScaleOf(*setup), "A", 5, 10);
    expect(dcdrive::PositionChannelScale(*setup), "rot", 2, 0);
    const double testSpeed = Value(*setup, "TestSpeed");
    expect(dcdrive::PositionSpeedChannelScale(*setup), "rpm", 2000, 4000);
    EXPECT_NEAR(Value(*setup, "TestSpeed"), testSpeed, 1e-9);

    auto negative = Variant({{"TestSpeed", -50 / kSpeedUnit}, {"TestPosition", -10 * kPi}});
    expect(dcdrive::SpeedChannelScale(*negative), "rpm", 500, -2000);
    expect(dcdrive::PositionChannelScale(*negative), "rot", 2, -8);
    expect(dcdrive::PositionSpeedChannelScale(*negative), "rpm", 2000, 4000);

    auto bare = Variant({{"TestSpeed", kGone}, {"TestLimitCurrent", kGone}});
    EXPECT_FALSE(dcdrive::SpeedChannelScale(*bare).has_value());
    EXPECT_FALSE(dcdrive::CurrentChannelScaleOf(*bare).has_value());
    EXPECT_FALSE(dcdrive::PositionSpeedChannelScale(*bare).has_value());
}

}  // namespace
