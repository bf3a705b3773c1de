#include <gtest/gtest.h>

#include <vector>

#include "TestSetup.h"
#include "conversions/Capabilities.h"

using namespace dcdrive;
using dctest::ReportedErrors;

namespace {

// Each presence test and every parameter it looks for.
TEST(Capabilities, PresenceTestsNeedEveryNameAndShowNothing) {
    const struct {
        bool (*has)(const CKX_Setup&);
        std::vector<const char*> names;
    } features[] = {
        {HasSoftwareLimits, {"isSWLS"}},
        {HasSpeedEstimatorParameter, {"isSpeedEstimator"}},
        {HasCanIdentitySaving, {"save_CAN_baudrate", "save_axis_id"}},
        {HasMotorBrake, {"BRAKECFG", "isMotorBrake"}},
        {HasFreezeControl, {"POSOKLIM_FC", "TONPOSOK_FC"}},
        {HasInputsPolarity, {"InputsPolarityType"}},
        {HasMovementDirection, {"IsReverseMovementDirection"}},
        {HasI2tWarningLevels, {"II2TWARLIM_D", "I2TWARLIM_M"}},
        {HasSinCosFractionRegister, {"ELRES_FRACT"}},
        {HasEncoderResolutionRegister, {"MECRESL"}},
        {HasLargePositionError, {"ERRMAXL"}},
        {HasSerialClockMode, {"SPICLKMODE"}},
        {HasBiquadFilters, {"IQREF_BQ_INI"}},
        {HasAutoActivationFlag, {"isAutoActivatedAfterPowerOn"}},
        {HasPositionRange, {"POSRANGEDEF"}},
        {HasMotionCompleteSettings, {"MotionCompleteDefaultSettings"}},
        {HasSpeedForward, {"SpeedForward"}},
        {HasReverseCounting, {"ReverseCounting_MT", "ReverseCounting_LD"}},
        {HasEncoderFilters, {"isFilterEnc_MT", "FilterEncValue_MT", "isFilterEnc_LD", "FilterEncValue_LD"}},
        {HasSinCosFractionParameter, {"SINCOS_fract"}},
        {HasLoadSerialResolution, {"SSI_Resolution_LD"}},
        {HasSpeedTestReferenceType, {"SpeedTestReferenceType"}},
    };
    ReportedErrors errors;
    for (const auto& c : features) {
        for (std::size_t left = 0; left <= c.names.size(); ++left) {  // every name but one, then all
            CKX_Setup setup;
            for (std::size_t i = 0; i < c.names.size(); ++i)
                if (i != left) setup.AddParameter(c.names[i]);
            EXPECT_EQ(c.has(setup), left == c.names.size()) << c.names[0] << " without #" << left;
        }
    }
    EXPECT_TRUE(errors.Messages().empty());
}

TEST(Capabilities, AnalogueReferenceScalingNeedsVariableAndParameter) {
    CKX_Setup setup;
    setup.AddParameter("CADIN");
    EXPECT_FALSE(HasAnalogueReferenceScaling(setup));
    setup.AddVariable(std::make_unique<CKX_Variable>("CADIN"));
    EXPECT_TRUE(HasAnalogueReferenceScaling(setup));
    setup.RemoveParameter("CADIN");
    EXPECT_FALSE(HasAnalogueReferenceScaling(setup));
}

// An option flag counts only when set to 1; without it the drive's usual answer holds.
TEST(Capabilities, OptionFlags) {
    const struct {
        bool (*test)(const CKX_Setup&);
        const char* option;
        bool usual;
    } flags[] = {
        {IsNegativeTransmissionAllowed, "hasNegTransmission", false},
        {HasNewSpeedEstimator, "newSpeedEstimator", false},
        {IsBrakeResistorAllowed, "DisableBrake", true},
        {IsEnablePolarityHidden, "hideEnablePolarity", false},
        {HasNewDeadBand, "NewDeadBand", false},
        {ReadsSerialEncoderOnSpeedLoop, "ReadSSIonSL", false},
    };
    ReportedErrors errors;
    for (const auto& c : flags) {
        CKX_Setup setup;
        EXPECT_EQ(c.test(setup), c.usual) << c.option;
        for (const char* text : {"0", "2", "1"}) {
            setup.SetOption(c.option, text);
            EXPECT_EQ(c.test(setup), text[0] == '1' ? !c.usual : c.usual) << c.option << "=" << text;
        }
    }
    EXPECT_TRUE(errors.Messages().empty());
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
        auto setup = dctest::MakeSetup({{"PosSpd_in_FastLoop", c.fastLoop},
                                        {"MotorSensorType", c.motor},
                                        {"LoadSensorType", c.load},
                                        {"SINCOS_fract", c.fract},
                                        {"SINCOS_fract_LD", c.fractLD}});
        EXPECT_EQ(IsSpeedEstimatorPossible(*setup), c.expected)
            << c.fastLoop << " " << c.motor << " " << c.load << " " << c.fract << " " << c.fractLD;
    }
}

TEST(Capabilities, SerialEncoderKindsOfTheDrive) {
    const struct {
        std::vector<int> motor, load;
        bool motorReadback, loadReadback, motorWrite;
    } cases[] = {
        {{1, 2}, {1}, false, false, false},
        {{1, 4}, {}, true, false, true},
        {{1, 5}, {4}, false, true, true},
    };
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
    const struct {
        bool hasFastLoop;
        double fastLoop;
        const char* maxFilters;
        int expected;
    } cases[] = {
        {false, 0, nullptr, 10}, {true, 0, nullptr, 10}, {true, 1.0, "8", 0},
        {true, 1.5, "8", 8},     {false, 0, "12", 12},   {false, 0, "", 10},
    };
    for (const auto& c : cases) {
        CKX_Setup setup;
        if (c.hasFastLoop) dctest::Add(setup, {{"PosSpd_in_FastLoop", c.fastLoop}});
        if (c.maxFilters) setup.SetOption("MaxFilters", c.maxFilters);
        EXPECT_EQ(FilterCount(setup), c.expected) << c.fastLoop << " " << (c.maxFilters ? c.maxFilters : "-");
    }
}

TEST(SharedReads, OptionalValuesAndTheirDefaults) {
    ReportedErrors errors;
    CKX_Setup setup;
    EXPECT_EQ(SerialMaxBits(setup), 31);
    EXPECT_EQ(InputsTypeProgrammable(setup), -1);
    EXPECT_EQ(MinimumCurrentLoopPeriod(setup), 0.0);
    EXPECT_EQ(MinimumSpeedLoopPeriod(setup), 0.0);
    EXPECT_EQ(LimitSpeedMaxPercent(setup), 100.0);
    EXPECT_TRUE(errors.Messages().empty());

    setup.SetOption("SSIMaxBits", "24");
    setup.SetOption("IsInputsTypeProgrammable", "0");
    dctest::Add(setup, {{"Ts_C_min", 5e-5}, {"Ts_S_min", 2e-4}, {"Limit_Speed_MaxPercent", 80}});
    EXPECT_EQ(SerialMaxBits(setup), 24);
    EXPECT_EQ(InputsTypeProgrammable(setup), 0);
    EXPECT_EQ(MinimumCurrentLoopPeriod(setup), 5e-5);
    EXPECT_EQ(MinimumSpeedLoopPeriod(setup), 2e-4);
    EXPECT_EQ(LimitSpeedMaxPercent(setup), 80.0);
}

}  // namespace
