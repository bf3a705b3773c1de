#include "TestSetup.h"
#include "conversions/Capabilities.h"
#include "conversions/Derived.h"

using namespace dcdrive;
using namespace dctest;

namespace {

// An axis with a 1000-line motor encoder, a 500-line load encoder when one
// is chosen, a 1:1 transmission and the analogue reference's ranges.
TEST(Derived, ScalesBySensorAndTransmission) {
    const double span = 0.5 * 65536 / 65520;  // counts of the 12-bit reference per unit
    const struct {
        double (*of)(const CKX_Setup&);
        const char* changes;
        double expected;
    } cases[] = {
        {MotorPositionScale, "", 4000 / kTwoPi},
        {MotorPositionScale, "MotorSensorType=3 No_encoder_lines=500 SINCOS_fract=4", 16.0 * 2 * 500 / kPi},
        // The interpolation level is taken modulo 32 as an unsigned count, so
        // level 31 stays positive and level 32 means no interpolation.
        {MotorPositionScale, "MotorSensorType=3 No_encoder_lines=500 SINCOS_fract=31",
         0x1p31 * 2 * 500 / kPi},
        {MotorPositionScale, "MotorSensorType=3 No_encoder_lines=500 SINCOS_fract=32", 2 * 500 / kPi},
        {MotorPositionScale, "MotorSensorType=4 SSI_No_Bits_Revolution=12", 4096 / kTwoPi},
        {MotorPositionScale, "MotorSensorType=5 SSI_No_Bits_Revolution=20", 1048576 / kTwoPi},
        {MotorPositionScale, "MotorSensorType=2", 1},
        {PositionScale, "Motor_transmission=10", 40000 / kTwoPi},  // through a 1:10 gear
        {PositionScale, "Motor_transmission=-1", -4000 / kTwoPi},
        {PositionScale, "LoadSensorType=1", 2000 / kTwoPi},
        {PositionScale, "LoadSensorType=1 TransmissionType=1", 1e6},  // a linear scale
        {PositionScale, "LoadSensorType=3", 4.0 * 2 * 500 / kPi},
        {PositionScale, "LoadSensorType=5 TransmissionType=1", 2e5},
        {PositionScale, "LoadSensorType=-1", 1},
        {AnalogueReferenceSpan, "", 80 * span},
        {AnalogueReferenceSpan, "ControlMode=1", 100 * span},
        {AnalogueReferenceSpan, "ControlMode=2", 2 * span},
        {AnalogueReferenceSpan, "Motor_transmission=-1", -80 * span},
        {AnalogueReferenceSpan, "ControlMode=3", 0},
    };
    const std::string axis =
        "MotorSensorType=1 No_encoder_lines=1000 SINCOS_fract=0 SSI_No_Bits_Revolution=0 LoadSensorType=0 "
        "No_encoder_lines_LD=500 SINCOS_fract_LD=2 SSI_No_Bits_Revolution_LD=13 Resolution_LD=1e-6 "
        "SSI_Resolution_LD=5e-6 TransmissionType=0 Motor_transmission=1 Load_transmission=1 ControlMode=0 "
        "POS_min=20 POS_max=100 SPD_min=-50 SPD_max=50 CRT_min=1 CRT_max=3 ";
    for (const auto& c : cases) {
        auto setup = MakeSetup(axis + c.changes);
        setup->Drive().adcBits = 12;
        EXPECT_DOUBLE_EQ(c.of(*setup), c.expected) << c.changes;
    }
}

TEST(Derived, AccelerationFeedforwardShift) {
    const struct { double gain, shift; } cases[] = {{0.5, 0}, {1.0, 0}, {1.0001, 1}, {4, 2}, {4.5, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(AccelerationFeedforwardShift(*MakeSetup("KFFA_scl", {c.gain})), c.shift) << c.gain;
    // Every power of two gives its own exponent, not one more.
    for (int k = 1; k <= 40; ++k)
        EXPECT_EQ(AccelerationFeedforwardShift(*MakeSetup("KFFA_scl", {std::ldexp(1.0, k)})), k);
}

TEST(Derived, MotionCompleteDefaults) {
    for (double settings : {0.0, 1.0, 1.5, 2.0}) {
        auto setup = MakeSetup(
            "MotionCompleteSettleBand=7 MotionCompleteStabilizeTime=9 DSP_freq=6e7 PWMPER=1500 SLPER=10 "
            "MotionCompleteDefaultSettings",
            {settings});
        const bool applies = settings >= 1.0 && settings < 2.0;
        EXPECT_EQ(ApplyMotionCompleteDefaults(*setup), applies ? 1 : 0) << settings;
        ExpectEach(*setup, "MotionCompleteSettleBand MotionCompleteStabilizeTime",
                   {applies ? kPi : 7.0, applies ? 5e-4 : 9.0});
    }
}

TEST(Capabilities, SpeedEstimatorPossible) {
    const struct {
        double fastLoop, motor, load, fract, fractLD;
        bool expected;
    } cases[] = {
        {0, 1, 0, 0, 0, true},  {1.5, 1, 0, 0, 0, false}, {0, 1.9, 4, 0, 0, true}, {0, 3, 0, 1, 0, true},
        {0, 3, 0, 2, 0, false}, {0, 0, 1, 0, 0, true},    {0, 0, 3, 0, 1, true},   {0, 0, 3, 0, 0, false},
        {0, 0, 4, 0, 1, false}, {0, 2, 1, 0, 0, false},   {0, -1, 1, 1, 1, false},
    };
    for (const auto& c : cases) {
        auto setup =
            MakeSetup("PosSpd_in_FastLoop MotorSensorType LoadSensorType SINCOS_fract SINCOS_fract_LD",
                      {c.fastLoop, c.motor, c.load, c.fract, c.fractLD});
        EXPECT_EQ(IsSpeedEstimatorPossible(*setup), c.expected)
            << c.fastLoop << " " << c.motor << " " << c.load << " " << c.fract << " " << c.fractLD;
    }
}

TEST(Capabilities, SerialEncoderKindsOfTheDrive) {
    const struct {
        std::vector<int> motor, load;
        bool motorReadback, loadReadback, motorWrite;
    } cases[] = {{{1, 2}, {1}, false, false, false},
                 {{1, 4}, {}, true, false, true},
                 {{1, 5}, {4}, false, true, true}};
    for (const auto& c : cases) {
        CKX_Setup setup;
        setup.Drive().motorSensors = c.motor;
        setup.Drive().loadSensors = c.load;
        EXPECT_EQ(HasMotorSerialEncoderReadback(setup), c.motorReadback);
        EXPECT_EQ(HasLoadSerialEncoderReadback(setup), c.loadReadback);
        EXPECT_EQ(HasMotorSerialEncoder(setup), c.motorWrite);
        EXPECT_FALSE(HasSerialEncoderClockMode(setup));
        setup.AddParameter("SPICLKMODE");
        EXPECT_EQ(HasSerialEncoderClockMode(setup), c.motorWrite);
    }
}

TEST(SharedReads, FilterCount) {
    for (const auto& [changes, expected] : {std::pair{"", 10},
                                            {"PosSpd_in_FastLoop=0", 10},
                                            {"PosSpd_in_FastLoop=1 @MaxFilters=8", 0},
                                            {"PosSpd_in_FastLoop=1.5 @MaxFilters=8", 8},
                                            {"@MaxFilters=12", 12},
                                            {"@MaxFilters=", 10}})
        EXPECT_EQ(FilterCount(*MakeSetup(changes)), expected) << changes;
}

}  // namespace
