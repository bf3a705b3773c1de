#include <gtest/gtest.h>

#include <cmath>

#include "TestSetup.h"
#include "conversions/Derived.h"

using namespace dcdrive;
using dctest::MakeSetup;

namespace {

constexpr double kAdc12 = 65520.0;  // 12-bit converter, left-aligned in 16 bits

TEST(Derived, ControllerClockPrefersTheSecondClock) {
    dctest::ReportedErrors errors;
    EXPECT_EQ(ControllerClock(*MakeSetup({})), 6e7);
    EXPECT_EQ(ControllerClock(*MakeSetup({{"DSP_freq", 8e7}})), 8e7);
    EXPECT_EQ(ControllerClock(*MakeSetup({{"DSP_freq", 8e7}, {"DSP2_freq", 1.5e8}})), 1.5e8);
    EXPECT_TRUE(errors.Messages().empty());
}

TEST(Derived, MotorPositionScaleBySensor) {
    const struct {
        double type, lines, fract, bits;
        double expected;
    } cases[] = {
        {1, 1000, 0, 0, 4000 / kTwoPi},
        {3, 500, 4, 0, 16.0 * 2 * 500 / kPi},
        // The interpolation level is taken modulo 32 as an unsigned count, so
        // level 31 stays positive and level 32 means no interpolation.
        {3, 500, 31, 0, 2147483648.0 * 2 * 500 / kPi},
        {3, 500, 32, 0, 2 * 500 / kPi},
        {4, 0, 0, 12, 4096 / kTwoPi},
        {5, 0, 0, 20, 1048576 / kTwoPi},
        {2, 1000, 0, 12, 1},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"MotorSensorType", c.type},
                                {"No_encoder_lines", c.lines},
                                {"SINCOS_fract", c.fract},
                                {"SSI_No_Bits_Revolution", c.bits}});
        EXPECT_DOUBLE_EQ(MotorPositionScale(*setup), c.expected) << c.type << " " << c.fract;
    }
}

TEST(Derived, PositionScaleByLoadSensorAndTransmission) {
    const struct {
        const char* what;
        double motor, load, linear, motorTrans;
        double expected;
    } cases[] = {
        {"motor encoder through a 1:10 gear", 1, 0, 0, 10, 40000 / kTwoPi},
        {"negative transmission", 1, 0, 0, -1, -4000 / kTwoPi},
        {"incremental load encoder", 1, 1, 0, 1, 2000 / kTwoPi},
        {"incremental linear scale", 1, 1, 1, 1, 1e6},
        {"sine/cosine on the load", 1, 3, 0, 1, 4.0 * 2 * 500 / kPi},
        {"serial linear", 1, 5, 1, 1, 2e5},
        {"negative load sensor code", 1, -1, 0, 1, 1},
    };
    const dctest::Param sensors[] = {{"SSI_No_Bits_Revolution_LD", 13}, {"Load_transmission", 1},
                                     {"No_encoder_lines_LD", 500},      {"Resolution_LD", 1e-6},
                                     {"SSI_Resolution_LD", 5e-6},       {"SINCOS_fract_LD", 2},
                                     {"No_encoder_lines", 1000}};
    for (const auto& c : cases) {
        auto setup = dctest::MakeSetupFrom(sensors, {{"MotorSensorType", c.motor},
                                                     {"LoadSensorType", c.load},
                                                     {"TransmissionType", c.linear},
                                                     {"Motor_transmission", c.motorTrans}});
        EXPECT_DOUBLE_EQ(PositionScale(*setup), c.expected) << c.what;
    }
}

TEST(Derived, AnalogueReferenceSpanFollowsModeAndSign) {
    const double countsPerUnit = 0.5 * 65536 / kAdc12;
    const struct {
        double mode, motorTrans, span;
    } cases[] = {{0, 1, 80}, {1, 1, 100}, {2, 1, 2}, {0, -1, -80}, {3, 1, 0}};
    const dctest::Param ranges[] = {
        {"No_encoder_lines", 1000}, {"LoadSensorType", 0}, {"POS_min", 20}, {"CRT_min", 1},
        {"Load_transmission", 1},   {"POS_max", 100},      {"SPD_max", 50}, {"MotorSensorType", 1},
        {"SPD_min", -50},           {"CRT_max", 3}};
    for (const auto& c : cases) {
        auto setup =
            dctest::MakeSetupFrom(ranges, {{"ControlMode", c.mode}, {"Motor_transmission", c.motorTrans}});
        setup->Drive().adcBits = 12;
        EXPECT_DOUBLE_EQ(AnalogueReferenceSpan(*setup), c.span * countsPerUnit)
            << c.mode << " " << c.motorTrans;
    }
}

TEST(Derived, AccelerationFeedforwardShift) {
    const struct { double gain, shift; } cases[] = {{0.5, 0}, {1.0, 0}, {1.0001, 1}, {4, 2}, {4.5, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(AccelerationFeedforwardShift(*MakeSetup({{"KFFA_scl", c.gain}})), c.shift) << c.gain;
    // Every power of two gives its own exponent, not one more.
    for (int k = 1; k <= 40; ++k)
        EXPECT_EQ(AccelerationFeedforwardShift(*MakeSetup({{"KFFA_scl", std::ldexp(1.0, k)}})), k);
}

TEST(Derived, MotionCompleteDefaults) {
    for (double settings : {0.0, 1.0, 1.5, 2.0}) {
        auto setup = MakeSetup({{"MotionCompleteDefaultSettings", settings},
                                {"MotionCompleteSettleBand", 7},
                                {"MotionCompleteStabilizeTime", 9},
                                {"DSP_freq", 6e7},
                                {"PWMPER", 1500},
                                {"SLPER", 10}});
        const bool applies = settings >= 1.0 && settings < 2.0;
        EXPECT_EQ(ApplyMotionCompleteDefaults(*setup), applies ? 1 : 0) << settings;
        EXPECT_DOUBLE_EQ(dctest::ValueOf(*setup, "MotionCompleteSettleBand"), applies ? kPi : 7.0);
        EXPECT_DOUBLE_EQ(dctest::ValueOf(*setup, "MotionCompleteStabilizeTime"), applies ? 5e-4 : 9.0);
    }
}

}  // namespace
