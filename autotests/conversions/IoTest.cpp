#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Io.h"
#include "conversions/Protection.h"
#include "conversions/Timing.h"
#include "options/Limits.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::Add;
using dctest::Force;
using dctest::MakeSetup;
using dctest::ValueOf;

namespace {

constexpr double kAdc12 = 65520.0;  // 12-bit converter, left-aligned in 16 bits

// The shipped default setup with the named parameters (separated by spaces) set to the values, in order.
std::unique_ptr<CKX_Setup> DefaultWith(const char* names, const std::vector<double>& values) {
    auto setup = LoadDefaultSetup();
    std::istringstream list(names);
    std::string name;
    for (double value : values) {
        list >> name;
        Force(*setup, name.c_str(), value);
    }
    return setup;
}

// A linear load whose encoder gives `scale` counts per metre (negative: reversed).
std::unique_ptr<CKX_Setup> ScaledSetup(double scale, std::initializer_list<dctest::Param> more) {
    auto setup = MakeSetup({{"LoadSensorType", 1}, {"TransmissionType", 1}, {"Resolution_LD", 1.0 / scale}});
    Add(*setup, more);
    return setup;
}

double Min(const CKX_Setup& setup, const char* name) { return setup.FindParameter(name)->GetMinInBaseUnit(); }
double Max(const CKX_Setup& setup, const char* name) { return setup.FindParameter(name)->GetMaxInBaseUnit(); }

// The software limits and the position range in counts, whatever the counting
// direction. The range's registers exclude one end: writing takes a count off
// the end of larger magnitude (the upper one on a tie) and reading adds it back
// to the end of larger magnitude, so that a tie comes back a count lower.
TEST(Io, PositionLimitsFollowTheCountingDirection) {
    const struct {
        double scale, enabled, min, max, negativeLimit, positiveLimit, minRange, maxRange, backMin, backMax;
    } cases[] = {
        {1000, 1, -10, 20, -10000, 20000, -10000, 19999, -10, 20},
        {-1000, 1, -10, 20, -20000, 10000, -19999, 10000, -10, 20},
        {1000, 1, -5, 5, -5000, 5000, -5000, 4999, -5.001, 4.999},
        {1000, 1, -5, -3, -5000, -3000, -4999, -3000, -5, -3},
        {1000, 0, -3, 5, -3000, 5000, 0, 0, 0, 0.001},
    };
    for (const auto& c : cases) {
        auto setup =
            ScaledSetup(c.scale, {{"SWNEGLS", 0}, {"SWPOSLS", 0}, {"MINPOSRANGE", 7}, {"MAXPOSRANGE", 7}});
        Add(*setup, {{"Negative_SWLS", c.min}, {"Positive_SWLS", c.max}, {"isPosRange", c.enabled}});
        Add(*setup, {{"PosRange_Minimum", c.min}, {"PosRange_Maximum", c.max}});
        SCOPED_TRACE(::testing::Message() << c.scale << " [" << c.min << ", " << c.max << "]");
        EXPECT_EQ(WriteSoftwareLimitRegisters(*setup) + WritePositionRangeRegisters(*setup), 2);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "SWNEGLS"), c.negativeLimit);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "SWPOSLS"), c.positiveLimit);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "MINPOSRANGE"), c.minRange);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "MAXPOSRANGE"), c.maxRange);
        for (const char* name : {"Negative_SWLS", "Positive_SWLS", "PosRange_Minimum", "PosRange_Maximum"})
            Force(*setup, name, 0);
        EXPECT_EQ(ReadSoftwareLimits(*setup) + ReadPositionRange(*setup), 2);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "Negative_SWLS"), c.min);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "Positive_SWLS"), c.max);
        EXPECT_DOUBLE_EQ(Min(*setup, "Positive_SWLS"), -2147483648.0 / 1000);
        EXPECT_DOUBLE_EQ(Max(*setup, "Negative_SWLS"), 2147483647.0 / 1000);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "PosRange_Minimum"), c.backMin);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "PosRange_Maximum"), c.backMax);
    }
}

TEST(Io, ControlWordByModeAndReference) {
    const char* inputs =
        "ACR ControlMode PositionControlType ExternalReference isAnalogueReference LoadSensorType "
        "DigitalReferenceType isAutoActivatedAfterPowerOn SpeedForward isFreezeControl";
    const struct {
        const char* what;
        std::vector<double> in;
        double expected;  // -1: nothing written
    } cases[] = {
        {"position over the speed loop", {0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, 0x700},
        {"speed", {0x500, 1, 1, 0, 0, 0, 0, 0, 0, 0}, 0x300},
        {"current, other bits kept", {0x8701, 2, 0, 0, 0, 0, 0, 0, 0, 0}, 0x8101},
        {"unknown mode", {0x700, 3, 0, 0, 0, 0, 0, 0, 0, 0}, -1},
        {"digital reference of type 0", {0x40, 1, 0, 1, 0, 0, 0, 0, 0, 0}, 0x384},
        {"analogue reference", {0x84, 1, 0, 1, 1, 0, 0, 0, 0, 0}, 0x344},
        {"a load sensor forces the analogue input", {0, 1, 0, 1, 0, 1, 0, 0, 0, 0}, 0x340},
        {"optional flags", {0x700, 0, 1, 0, 0, 0, 0, 1, 1, 1}, 0x4712},
        {"freeze control outside position mode", {0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 0x310},
    };
    for (const auto& c : cases) {
        auto setup = DefaultWith(inputs, c.in);
        EXPECT_EQ(WriteApplicationControlWord(*setup), c.expected < 0 ? 0 : 1) << c.what;
        EXPECT_EQ(ValueOf(*setup, "ACR"), c.expected < 0 ? c.in[0] : c.expected) << c.what;
        if (c.expected < 0) continue;
        // What the word says reads back as it was set.
        for (Converter read : {ReadControlMode, ReadExternalReference, ReadDigitalReferenceType,
                               ReadAutoActivation, ReadSpeedForward, ReadFreezeControlFlag})
            read(*setup);
        EXPECT_EQ(ValueOf(*setup, "ControlMode"), c.in[1]) << c.what;
        EXPECT_EQ(ValueOf(*setup, "ExternalReference"), c.in[3]) << c.what;
        if (c.in[3] == 1 && c.in[4] == 0 && c.in[5] == 0) {
            EXPECT_EQ(ValueOf(*setup, "DigitalReferenceType"), c.in[6]) << c.what;
        }
        // Auto-activation reads back under the other spelling; freeze control acts in position mode only.
        EXPECT_EQ(ValueOf(*setup, "isAutoActivatedAfterPowerOn"), c.in[7]) << c.what;
        EXPECT_EQ(ValueOf(*setup, "SpeedForward"), c.in[8]) << c.what;
        EXPECT_EQ(ValueOf(*setup, "isFreezeControl"), c.in[1] == 0 ? c.in[9] : 0) << c.what;
    }
    // A drive without the flags has no auto-activation and no speed
    // feed-forward; without freeze control its bit is left as it was.
    auto setup = DefaultWith("ACR ControlMode", {0x4712, 1});
    for (const char* name : {"isAutoActivatedAfterPowerOn", "SpeedForward", "POSOKLIM_FC"})
        setup->RemoveParameter(name);
    EXPECT_EQ(WriteApplicationControlWord(*setup), 1);
    EXPECT_EQ(ValueOf(*setup, "ACR"), 0x0310);
}

TEST(Io, AnalogueReferenceFlagNeedsTheInputScaling) {
    auto setup = MakeSetup({{"ACR", 0x40}, {"isAnalogueReference", 0}, {"CADIN", 0}});
    EXPECT_EQ(ReadAnalogueReferenceFlag(*setup), 1);
    EXPECT_EQ(Max(*setup, "isAnalogueReference"), 0);  // no "CADIN" variable
    EXPECT_EQ(ValueOf(*setup, "isAnalogueReference"), 0);
    setup->AddVariable(std::make_unique<CKX_Variable>("CADIN"));
    EXPECT_EQ(ReadAnalogueReferenceFlag(*setup), 1);
    EXPECT_EQ(ValueOf(*setup, "isAnalogueReference"), 1);
}

TEST(Io, StatusWordBits) {
    // The default drive allows a negative transmission and the new estimator.
    const char* inputs =
        "isSWLS InputsPolarityType Motor_transmission isSpeedEstimator IsReverseMovementDirection ASR";
    const struct {
        std::vector<double> in;
        double expected;
    } cases[] = {
        {{0, 1, 1, 0, 0, 0x88A5}, 0x0021},  // all off, other bits kept
        {{1, 1, 1, 0, 0, 0x88A5}, 0x1021},  {{0, 0, 1, 0, 0, 0x88A5}, 0x0025},
        {{0, 1, -1, 0, 0, 0x88A5}, 0x00A1}, {{0, 1, 1, 1, 0, 0x88A5}, 0x8021},
        {{0, 1, 1, 0, 1, 0x88A5}, 0x0821},
    };
    for (const auto& c : cases) {
        auto setup = DefaultWith(inputs, c.in);
        EXPECT_EQ(WriteApplicationStatusWord(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, "ASR"), c.expected);
        for (Converter read : {ReadSoftwareLimitsFlag, ReadInputsPolarityType, ReadMovementDirection})
            read(*setup);
        EXPECT_EQ(ValueOf(*setup, "isSWLS"), c.in[0]) << c.expected;
        EXPECT_EQ(ValueOf(*setup, "InputsPolarityType"), c.in[1]) << c.expected;
        EXPECT_EQ(ValueOf(*setup, "IsReverseMovementDirection"), c.in[4]) << c.expected;
    }
}

TEST(Io, DeadBandPointAndRange) {
    const struct {
        double range, point, width, level, widthLevel, widest;  // widest: the older band's maximum
    } cases[] = {
        {20, 0, 2, kAdc12 / 2, kAdc12 / 10, 10},  // a bipolar input counts from -10 V
        {20, -10, 0, 0, 0, 0},
        {10, 2, 1, kAdc12 / 5, kAdc12 / 10, 1.3},  // 0 to 3.3 V
        {5, 2.5, 1, kAdc12 / 2, kAdc12 / 5, 2.5},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"AnalogueInputsRange", c.range}, {"DeadBand_Point", c.point}});
        Add(*setup, {{"DeadBand_Range", c.width}, {"LEVEL_AD5", 1}, {"E_LEVEL_AD5", 1}});
        EXPECT_EQ(WriteDeadBandPoint(*setup), 1);
        EXPECT_EQ(WriteDeadBandRange(*setup), 1);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "LEVEL_AD5"), c.level) << c.range;
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "E_LEVEL_AD5"), c.widthLevel) << c.range;
        setup->SetParameterValueInBaseUnit("DeadBand_Point", 1.5);
        setup->SetParameterValueInBaseUnit("DeadBand_Range", 0.5);
        EXPECT_EQ(ReadDeadBandPoint(*setup), 1);
        EXPECT_EQ(ReadDeadBandRange(*setup), 1);
        EXPECT_NEAR(ValueOf(*setup, "DeadBand_Point"), c.point, 1e-12) << c.range;
        EXPECT_NEAR(ValueOf(*setup, "DeadBand_Range"), c.width, 1e-12) << c.range;
        EXPECT_DOUBLE_EQ(Max(*setup, "DeadBand_Range"), c.widest) << c.range;  // fits on both sides
    }
    auto setup = MakeSetup({{"AnalogueInputsRange", 20}, {"DeadBand_Point", -10}, {"DeadBand_Range", 0}});
    setup->SetOption("NewDeadBand", "1");
    LimitDeadBandPoint(*setup);
    LimitDeadBandRange(*setup);
    EXPECT_EQ(Max(*setup, "DeadBand_Range"), 20);  // the newer one spans the point's whole range
}

TEST(Io, AnalogueReferenceScalingRoundTrip) {
    const struct {
        double scale, min, max, gain, shift;
    } cases[] = {
        {1000, -10, 10, 20000 * 32768 / kAdc12, 0},
        {1000, -32.767, 32.767, 65534 * 32768 / kAdc12 / 2, 1},
        {-1000, -32.767, 32.767, -65534 * 32768 / kAdc12 / 2, 1},  // reversed: shifted by the magnitude
    };
    for (const auto& c : cases) {
        dctest::PluginScaling internalUnits;
        // Positions in metres, so that their internal unit is the encoder count.
        auto setup = ScaledSetup(c.scale, {{"ControlMode", 0}, {"CADIN", 0}, {"SFTADIN", 0}, {"AD5OFF", 0}});
        setup->AddParameter("POS_min", "m")->SetValueInBaseUnit(c.min);
        setup->AddParameter("POS_max", "m")->SetValueInBaseUnit(c.max);
        for (Converter write :
             {WriteAnalogueReferenceGain, WriteAnalogueReferenceShift, WriteAnalogueReferenceOffset})
            EXPECT_EQ(write(*setup), 1);
        EXPECT_NEAR(ValueOf(*setup, "CADIN"), c.gain, 1e-9) << c.scale;
        EXPECT_EQ(ValueOf(*setup, "SFTADIN"), c.shift) << c.scale;
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "AD5OFF"), c.min * 1000);
        setup->SetParameterValueInBaseUnit("POS_min", 0);
        setup->SetParameterValueInBaseUnit("POS_max", 0);
        EXPECT_EQ(ReadPositionReferenceMin(*setup), 1);
        EXPECT_EQ(ReadPositionReferenceMax(*setup), 1);
        EXPECT_NEAR(ValueOf(*setup, "POS_min"), c.min, 1e-9) << c.scale;
        EXPECT_NEAR(ValueOf(*setup, "POS_max"), c.max, 1e-9) << c.scale;
        EXPECT_NEAR(Max(*setup, "POS_max"), 32.767, 1e-12);  // limits refreshed before the value
        EXPECT_NEAR(Min(*setup, "POS_max"), c.min, 1e-9);
    }
}

TEST(Io, ReferenceLimits) {
    auto setup = DefaultWith("ImaxM CRT_min CRT_max Limit_Speed SPD_min SPD_max", {4, -1, 2, 50, -3, 5});
    const struct {
        void (*limit)(CKX_Setup&);
        const char* name;
        double min, max;
    } cases[] = {
        {LimitCurrentMax, "CRT_max", -1, 4},  // the motor's peak current is below the drive's
        {LimitCurrentMin, "CRT_min", -4, 2},
        {LimitSpeedMax, "SPD_max", -3, 50},
        {LimitSpeedMin, "SPD_min", -50, 5},
    };
    for (const auto& c : cases) {
        c.limit(*setup);
        EXPECT_DOUBLE_EQ(Min(*setup, c.name), c.min) << c.name;
        EXPECT_DOUBLE_EQ(Max(*setup, c.name), c.max) << c.name;
    }
}

TEST(Io, BrakeConfiguration) {
    auto setup = MakeSetup({{"BRAKECFG", 77}, {"isMotorBrake", 1}, {"MotorBrake_output", 1}});
    setup->Drive().portOfPin = {{12, 0}, {13, 1}};
    EXPECT_EQ(WriteMotorBrakeConfig(*setup), 1);
    EXPECT_EQ(ValueOf(*setup, "BRAKECFG"), 13 * 256 + 1);
    Force(*setup, "MotorBrake_output", 5);  // a port the drive does not have: nothing written
    Force(*setup, "isMotorBrake", 0);
    EXPECT_EQ(WriteMotorBrakeConfig(*setup), 0);
    EXPECT_EQ(ReadMotorBrakeOutput(*setup) + ReadMotorBrakeFlag(*setup), 2);
    EXPECT_EQ(ValueOf(*setup, "MotorBrake_output"), 1);
    EXPECT_EQ(ValueOf(*setup, "isMotorBrake"), 1);
    Force(*setup, "BRAKECFG", 14 * 256);  // a pin it does not have: nothing read
    EXPECT_EQ(ReadMotorBrakeOutput(*setup), 0);
    EXPECT_EQ(ValueOf(*setup, "MotorBrake_output"), 1);
}

// A zero divisor stops a converter: nothing written, no range set.
TEST(Conversions, ZeroDivisorsWriteNothing) {
    const struct {
        Converter convert;
        const char* zero;
        const char* target;
    } cases[] = {
        {WriteBrakeApplyDelay, "Ts_S", "BRAKEAPPLYDELAY"},
        {WriteOverCurrentTimeRegister, "Ts_S", "TIMAXPROT"},
        {WriteGearRatio, "GEARMASTER", "GEAR"},
        {WriteDeadBandPoint, "AnalogueInputsRange", "LEVEL_AD5"},
        {WriteTransmission, "Load_transmission", "TRANSMISSION"},
        {WriteDriveTemperatureRegister, "ADCrange", "T2MAXPROT"},
        {ReadSoftwareLimits, "Load_transmission", "Negative_SWLS"},
        {ReadReferenceFilter, "SLPER", "filter"},
        {ReadSpeedErrorLimit, "SLPER", "ERR_speed"},
        {ReadDriveI2tTime, "SFI2T_D", "t_I2t_D"},
        {ReadOverVoltageLevel, "VdcMaxMeasurable", "UMAX_PROT"},
        {ReadPWMFrequency, "PWMPER", "PWM_freq"},
        {ReadCurrentLoopPeriod, "DSP_freq", "Ts_C"},
    };
    for (const auto& c : cases) {
        auto setup = DefaultWith("FILTER1", {100});
        Force(*setup, c.target, 9);
        CKX_Setup intact(*setup);
        EXPECT_EQ(c.convert(intact), 1) << c.target;  // the zero alone stops it
        Force(*setup, c.zero, 0.0);
        const double min = Min(*setup, c.target);
        EXPECT_EQ(c.convert(*setup), 0) << c.target;
        EXPECT_EQ(ValueOf(*setup, c.target), 9) << c.target;
        EXPECT_EQ(Min(*setup, c.target), min) << c.target;  // no range set either
    }
}

// Without a load sensor only the direction; with one, a motor encoder of 500
// lines and a load encoder of 250, the ratio rounded to five decimals counts twice.
TEST(Io, TransmissionRegister) {
    const struct {
        double load, motorTransmission, loadTransmission, expected;
    } cases[] = {{0, 3, 1, 1}, {0, -2, 1, -1}, {1, 1, 3, 2 * 0.33333}, {1, -2, 1, 2 * -2.0}};
    for (const auto& c : cases) {
        auto setup = DefaultWith("LoadSensorType No_encoder_lines_LD Motor_transmission Load_transmission",
                                 {c.load, 250, c.motorTransmission, c.loadTransmission});
        EXPECT_EQ(WriteTransmission(*setup), 1);
        // The register holds 16.16 fixed point.
        EXPECT_NEAR(ValueOf(*setup, "TRANSMISSION"), c.expected, 1.0 / 65536) << c.load << " " << c.expected;
    }
}

TEST(Io, AxisIdentity) {
    const struct { double axis, table, back; } cases[] = {{0.9, 0, 0}, {1, 257, 1}, {255, 511, 255}};
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"AAR_table", 9}, {"Axis_ID_list", c.axis}});
        EXPECT_EQ(WriteAxisIdRegister(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, "AAR_table"), c.table) << c.axis;
        EXPECT_EQ(ReadAxisId(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, "Axis_ID_list"), c.back) << c.axis;
        EXPECT_EQ(Max(*setup, "Axis_ID_list"), 511);
    }
}

}  // namespace
