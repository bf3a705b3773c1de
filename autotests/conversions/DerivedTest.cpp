#include <gtest/gtest.h>

#include <cmath>

#include "TestSetup.h"
#include "conversions/Derived.h"

using namespace dcdrive;
using dctest::Add;
using dctest::MakeSetup;

namespace {

constexpr double kAdc12 = 65520.0;  // 12-bit converter, left-aligned in 16 bits

TEST(Derived, ControllerClockPrefersTheSecondClock) {
    dctest::ReportedErrors errors;
    auto none = MakeSetup({});
    EXPECT_EQ(ControllerClock(*none), 6e7);
    auto first = MakeSetup({{"DSP_freq", 8e7}});
    EXPECT_EQ(ControllerClock(*first), 8e7);
    auto both = MakeSetup({{"DSP_freq", 8e7}, {"DSP2_freq", 1.5e8}});
    EXPECT_EQ(ControllerClock(*both), 1.5e8);
    EXPECT_TRUE(errors.Messages().empty());
}

TEST(Derived, LoopPeriodsAndElectricalScales) {
    auto setup = MakeSetup({{"DSP_freq", 6e7},
                            {"PWMPER", 1500},
                            {"CLPER", 1},
                            {"SLPER", 10},
                            {"Vdc", 48},
                            {"VdcMaxMeasurable", 96},
                            {"ImaxPS", 8}});
    setup->Drive().adcBits = 12;
    EXPECT_DOUBLE_EQ(CurrentLoopPeriod(*setup), 5e-5);
    EXPECT_DOUBLE_EQ(SpeedLoopPeriod(*setup), 5e-4);
    EXPECT_DOUBLE_EQ(AdcMax(*setup), kAdc12);
    EXPECT_DOUBLE_EQ(VoltageCommandScale(*setup), 32767.0 / 48);
    EXPECT_DOUBLE_EQ(VoltageMeasureScale(*setup), kAdc12 / 96);
    EXPECT_DOUBLE_EQ(CurrentScale(*setup), kAdc12 / 16);
}

TEST(Derived, MotorPositionScaleBySensor) {
    const struct {
        double type, lines, fract, bits;
        double expected;
    } cases[] = {
        {1, 1000, 0, 0, 4000 / kTwoPi},
        {1.7, 1000, 0, 0, 4000 / kTwoPi},
        {3, 500, 4, 0, 16.0 * 2 * 500 / kPi},
        // The interpolation level is taken modulo 32 as an unsigned count, so
        // level 31 stays positive and level 32 means no interpolation.
        {3, 500, 31, 0, 2147483648.0 * 2 * 500 / kPi},
        {3, 500, 32, 0, 2 * 500 / kPi},
        {3, 500, -1, 0, 2147483648.0 * 2 * 500 / kPi},
        {4, 0, 0, 12, 4096 / kTwoPi},
        {5, 0, 0, 20, 1048576 / kTwoPi},
        {2, 1000, 0, 12, 1},
        {0, 1000, 0, 12, 1},
        {7, 1000, 0, 12, 1},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"MotorSensorType", c.type},
                                {"No_encoder_lines", c.lines},
                                {"SINCOS_fract", c.fract},
                                {"SSI_No_Bits_Revolution", c.bits}});
        EXPECT_DOUBLE_EQ(MotorPositionScale(*setup), c.expected) << c.type << " " << c.fract;
        EXPECT_GT(MotorPositionScale(*setup), 0.0);
    }
}

TEST(Derived, PositionScaleByLoadSensorAndTransmission) {
    const struct {
        const char* what;
        double load, linear, motorTrans, loadTrans;
        double expected;
    } cases[] = {
        {"motor encoder, equal transmissions", 0, 0, 1, 1, 4000 / kTwoPi},
        {"motor encoder through a 1:10 gear", 0, 0, 10, 1, 40000 / kTwoPi},
        {"negative transmission", 0, 0, -1, 1, -4000 / kTwoPi},
        {"incremental load encoder", 1, 0, 1, 1, 2000 / kTwoPi},
        {"incremental linear scale", 1, 1, 1, 1, 1e6},
        {"tachogenerator code", 2, 0, 1, 1, 1},
        {"sine/cosine on the load", 3, 0, 1, 1, 4.0 * 2 * 500 / kPi},
        {"sine/cosine linear scale", 3, 1, 1, 1, 4.0 * 1e6},
        {"serial on the load", 4, 0, 1, 1, 8192 / kTwoPi},
        {"serial linear", 5, 1, 1, 1, 2e5},
        {"unlisted load sensor", 7, 0, 1, 1, 1},
        {"negative load sensor code", -1, 0, 1, 1, 1},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"MotorSensorType", 1},
                                {"No_encoder_lines", 1000},
                                {"LoadSensorType", c.load},
                                {"TransmissionType", c.linear},
                                {"Motor_transmission", c.motorTrans},
                                {"Load_transmission", c.loadTrans},
                                {"No_encoder_lines_LD", 500},
                                {"Resolution_LD", 1e-6},
                                {"SINCOS_fract_LD", 2},
                                {"SSI_No_Bits_Revolution_LD", 13},
                                {"SSI_Resolution_LD", 5e-6}});
        EXPECT_DOUBLE_EQ(PositionScale(*setup), c.expected) << c.what;
    }
    auto tacho = MakeSetup({{"MotorSensorType", 2}, {"LoadSensorType", 0}, {"Motor_transmission", 5}});
    EXPECT_EQ(PositionScale(*tacho), 1.0);
}

TEST(Derived, SpeedScalesWithEncoderAndTachogenerator) {
    auto encoder = MakeSetup({{"MotorSensorType", 1},
                              {"No_encoder_lines", 1000},
                              {"LoadSensorType", 0},
                              {"Motor_transmission", 2},
                              {"Load_transmission", 1},
                              {"DSP_freq", 6e7},
                              {"PWMPER", 1500},
                              {"SLPER", 10}});
    EXPECT_DOUBLE_EQ(SpeedScale(*encoder), 8000 / kTwoPi * 5e-4);
    EXPECT_DOUBLE_EQ(MotorSpeedScale(*encoder), 4000 / kTwoPi * 5e-4);
    EXPECT_DOUBLE_EQ(AccelerationScale(*encoder), 8000 / kTwoPi * 5e-4 * 5e-4);

    auto tacho = MakeSetup({{"MotorSensorType", 2},
                            {"LoadSensorType", 0},
                            {"Motor_transmission", 2},
                            {"Load_transmission", 1},
                            {"ADCResolution", 4096},
                            {"Tacho_gain", 0.01},
                            {"AnalogueInputsRange", 10},
                            {"DSP_freq", 6e7},
                            {"PWMPER", 1500},
                            {"SLPER", 10}});
    EXPECT_DOUBLE_EQ(SpeedScale(*tacho), 2 * 4096 * 0.01 / 10);
    EXPECT_DOUBLE_EQ(MotorSpeedScale(*tacho), 4096 * 0.01 / 10);
}

TEST(Derived, AnalogueReferenceSpanFollowsModeAndSign) {
    const struct {
        double mode, motorTrans;
        double expected;
    } cases[] = {
        {0, 1, (100 - 20) * 0.5 * 65536 / kAdc12},
        {1, 1, (50 - (-50)) * 0.5 * 65536 / kAdc12},
        {2, 1, (3 - 1) * 0.5 * 65536 / kAdc12},
        {0, -1, -(100 - 20) * 0.5 * 65536 / kAdc12},
        {3, 1, 0},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"ControlMode", c.mode},
                                {"POS_max", 100},
                                {"POS_min", 20},
                                {"SPD_max", 50},
                                {"SPD_min", -50},
                                {"CRT_max", 3},
                                {"CRT_min", 1},
                                {"MotorSensorType", 1},
                                {"No_encoder_lines", 1000},
                                {"LoadSensorType", 0},
                                {"Motor_transmission", c.motorTrans},
                                {"Load_transmission", 1}});
        setup->Drive().adcBits = 12;
        EXPECT_DOUBLE_EQ(AnalogueReferenceSpan(*setup), c.expected) << c.mode << " " << c.motorTrans;
    }
}

TEST(Derived, AccelerationFeedforwardShift) {
    const struct {
        double gain, shift;
    } cases[] = {{0.5, 0}, {1.0, 0}, {1.0001, 1}, {2, 1}, {4, 2}, {4.5, 3}, {8192, 13}, {4194304, 22}};
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"KFFA_scl", c.gain}});
        EXPECT_EQ(AccelerationFeedforwardShift(*setup), c.shift) << c.gain;
    }
    // Every power of two gives its own exponent, not one more.
    for (int k = 1; k <= 40; ++k) {
        auto setup = MakeSetup({{"KFFA_scl", std::ldexp(1.0, k)}});
        EXPECT_EQ(AccelerationFeedforwardShift(*setup), k);
    }
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
