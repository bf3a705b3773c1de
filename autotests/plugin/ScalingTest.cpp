#include <string_view>

#include "../conversions/TestSetup.h"
#include "conversions/Derived.h"
#include "plugin/Scaling.h"

using namespace dcdrive;
using dctest::kDegC;

namespace {

constexpr double kAdc = 65520.0;  // the default 12-bit converter

// A rotary axis: 1000-line motor encoder through a 1:2 transmission, 20 kHz
// PWM, 0.1 ms current loop, 0.5 ms speed loop.
std::unique_ptr<CKX_Setup> AxisSetup(double motorTransmission = 2) {
    return dctest::MakeSetup(
        "DriveTempSensorGain=0.01 VdcMaxMeasurable=96 LoadSensorType=0 SLPER=10 DriveTempOutputAt0oC=0.5 "
        "Load_transmission=1 DSP_freq=6e7 ImaxPS=8 AnalogueInputsRange=10 TransmissionType=0 ADCrange=3.3 "
        "CLPER=2 No_encoder_lines=1000 MotorSensorType=1 PWMPER=1500 Vdc=48 Motor_transmission",
        {motorTransmission});
}

TEST(Scaling, FactorsByUnitAndVariable) {
    auto setup = AxisSetup();
    const double ts = 5e-4;
    const double motorCounts = 4000 / kTwoPi;
    const double loadCounts = 2 * motorCounts;
    const struct {
        const char* unit;
        const char* variable;
        double expected;
    } cases[] = {
        {"V ", "UBUS", 96 / kAdc},
        {"V", "AnalogueInputsRange", 1},
        {"V", "deadband_point", 10 / kAdc},
        {"v", "UREF", 48 / 32767.0},
        {"V  ", "UREF", 1},
        {"A", "IQ", 16 / kAdc},
        {"s", "Ts_C", 1e-4},
        {"s", "TIMER", ts},
        {"rad", "APOS_MT", 1 / motorCounts},
        {"rad", "APOS", 1 / loadCounts},
        {"m", "ERR_position", 1 / loadCounts},
        {"rad/s", "ASPD", 1 / (motorCounts * ts)},
        {"rad/s", "Limit_Speed", 1 / (motorCounts * ts * 2)},
        {"rad/s", "CSPD", 1 / (loadCounts * ts)},
        {"RAD/S", "ERR_speed", 1 / (loadCounts * ts)},
        {"m/s^3", "JERK", 1 / (loadCounts * ts * ts)},
        {"V/s", "SLOPE", 48 / 32767.0 / ts},
        {"A/s", "ISLOPE", 16 / kAdc / ts},
        {"rpm", "ASPD", 1},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(ScaleFactor(*setup, c.unit, c.variable), c.expected) << c.unit << " " << c.variable;
        EXPECT_EQ(ScaleOffset(*setup, c.unit) == 0.0, std::string_view(c.unit) != kDegC) << c.unit;
    }
    // The measured supply voltage, with its space, is a unit of its own.
    EXPECT_NE(ScaleFactor(*setup, "V ", "X"), ScaleFactor(*setup, "V", "X"));
}

TEST(Scaling, NegativeTransmissionKeepsLimitsPositive) {
    auto setup = AxisSetup(-2);
    for (const char* limit : {"ERR_position", "FreezeControl_errband", "TestPosition", "POS_max", "POS_min",
                              "PosRange_Minimum", "PosRange_Maximum", "Motor_Position"})
        EXPECT_GT(ScaleFactor(*setup, "rad", limit), 0.0) << limit;
    for (const char* limit : {"ERR_speed", "ErefMaxSpeed", "TestSpeed", "SPD_max", "SPD_min"})
        EXPECT_GT(ScaleFactor(*setup, "rad/s", limit), 0.0) << limit;
    EXPECT_LT(ScaleFactor(*setup, "rad", "APOS"), 0.0);
    EXPECT_LT(ScaleFactor(*setup, "rad/s", "CSPD"), 0.0);
}

TEST(Scaling, TemperatureMatchesTheTemperatureConversion) {
    auto setup = AxisSetup();
    for (const char* unit : {kDegC, "\260C", "\302\260c"}) {  // Latin-1 degree, lower-case c
        const double factor = ScaleFactor(*setup, unit, "TEMP");
        const double offset = ScaleOffset(*setup, unit);
        for (double raw : {0.0, 9928.0, 20000.0, 65520.0}) {
            // ("ADCrange" · r / ADCMax − "DriveTempOutputAt0oC") / "DriveTempSensorGain"
            const double expected = (3.3 * raw / kAdc - 0.5) / 0.01;
            EXPECT_NEAR((raw + offset) * factor, expected, 1e-9) << raw;
        }
    }
}

TEST(Scaling, DegenerateSetupsGiveFiniteAnswers) {
    // A zero supply, current range or transmission makes the scale infinite or
    // undefined; the factor is then 0, which the host takes as "no scaling".
    dctest::ReportedErrors quiet;  // the setup lacks most parameters
    auto setup = dctest::MakeSetup(
        "Motor_transmission=0 VdcMaxMeasurable=0 ADCrange=0 Vdc=0 Load_transmission=0 MotorSensorType=1 "
        "ImaxPS=0");
    for (const char* unit : {"V", "V ", "A", "rad", "rad/s", "rad/s^2", "A/s", "V/s", kDegC}) {
        for (const char* variable : {"X", "Limit_Speed", "ERR_position"})
            EXPECT_TRUE(std::isfinite(ScaleFactor(*setup, unit, variable))) << unit << " " << variable;
        EXPECT_TRUE(std::isfinite(ScaleOffset(*setup, unit))) << unit;
    }
    EXPECT_EQ(ScaleFactor(*setup, "V", "X"), 0.0);
    EXPECT_EQ(ScaleFactor(*setup, "rad/s", "Limit_Speed"), 0.0);
}

}  // namespace
