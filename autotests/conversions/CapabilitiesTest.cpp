#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSetup.h"
#include "conversions/Capabilities.h"

using namespace dcdrive;
using dctest::ReportedErrors;

namespace {

struct PresenceCase {
    const char* what;
    bool (*test)(const CKX_Setup&);
    std::vector<const char*> names;
};

const PresenceCase kPresence[] = {
    {"software limits", HasSoftwareLimits, {"isSWLS"}},
    {"speed estimator parameter", HasSpeedEstimatorParameter, {"isSpeedEstimator"}},
    {"CAN identity saving", HasCanIdentitySaving, {"save_CAN_baudrate", "save_axis_id"}},
    {"motor brake", HasMotorBrake, {"BRAKECFG", "isMotorBrake"}},
    {"freeze control", HasFreezeControl, {"POSOKLIM_FC", "TONPOSOK_FC"}},
    {"inputs polarity", HasInputsPolarity, {"InputsPolarityType"}},
    {"movement direction", HasMovementDirection, {"IsReverseMovementDirection"}},
    {"i2t warning levels", HasI2tWarningLevels, {"II2TWARLIM_D", "I2TWARLIM_M"}},
    {"sine/cosine fraction register", HasSinCosFractionRegister, {"ELRES_FRACT"}},
    {"encoder resolution register", HasEncoderResolutionRegister, {"MECRESL"}},
    {"large position error register", HasLargePositionError, {"ERRMAXL"}},
    {"serial clock mode", HasSerialClockMode, {"SPICLKMODE"}},
    {"biquad filters", HasBiquadFilters, {"IQREF_BQ_INI"}},
    {"auto-activation flag", HasAutoActivationFlag, {"isAutoActivatedAfterPowerOn"}},
    {"position range", HasPositionRange, {"POSRANGEDEF"}},
    {"motion-complete settings", HasMotionCompleteSettings, {"MotionCompleteDefaultSettings"}},
    {"speed feed-forward flag", HasSpeedForward, {"SpeedForward"}},
    {"counting direction", HasReverseCounting, {"ReverseCounting_MT", "ReverseCounting_LD"}},
    {"encoder input filters",
     HasEncoderFilters,
     {"isFilterEnc_MT", "FilterEncValue_MT", "isFilterEnc_LD", "FilterEncValue_LD"}},
    {"sine/cosine fraction parameter", HasSinCosFractionParameter, {"SINCOS_fract"}},
    {"load serial resolution", HasLoadSerialResolution, {"SSI_Resolution_LD"}},
    {"speed test reference type", HasSpeedTestReferenceType, {"SpeedTestReferenceType"}},
};

TEST(Capabilities, PresenceTestsNeedEveryNameAndShowNothing) {
    ReportedErrors errors;
    for (const auto& c : kPresence) {
        CKX_Setup empty;
        EXPECT_FALSE(c.test(empty)) << c.what;
        for (std::size_t left = 0; left < c.names.size(); ++left) {
            CKX_Setup partial;
            for (std::size_t i = 0; i < c.names.size(); ++i)
                if (i != left) partial.AddParameter(c.names[i]);
            EXPECT_FALSE(c.test(partial)) << c.what << " without " << c.names[left];
        }
        CKX_Setup full;
        for (const char* name : c.names) full.AddParameter(name);
        EXPECT_TRUE(c.test(full)) << c.what;
        EXPECT_EQ(g_bShowErrors, 1) << c.what;
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

TEST(Capabilities, OptionTests) {
    const struct {
        const char* option;
        const char* text;  // null: option not set
        bool negTransmission, newEstimator, brakeResistor;
    } cases[] = {
        {"hasNegTransmission", nullptr, false, false, true}, {"hasNegTransmission", "1", true, false, true},
        {"hasNegTransmission", "2", false, false, true},     {"newSpeedEstimator", "1", false, true, true},
        {"DisableBrake", "1", false, false, false},          {"DisableBrake", "0", false, false, true},
    };
    for (const auto& c : cases) {
        CKX_Setup setup;
        if (c.text) setup.SetOption(c.option, c.text);
        EXPECT_EQ(IsNegativeTransmissionAllowed(setup), c.negTransmission)
            << c.option << "=" << (c.text ? c.text : "-");
        EXPECT_EQ(HasNewSpeedEstimator(setup), c.newEstimator) << c.option;
        EXPECT_EQ(IsBrakeResistorAllowed(setup), c.brakeResistor) << c.option;
    }
}

TEST(Capabilities, SpeedEstimatorPossible) {
    const struct {
        double fastLoop, motor, load, fract, fractLD;
        bool expected;
    } cases[] = {
        {0, 1, 0, 0, 0, true},   {1, 1, 0, 0, 0, false}, {1.5, 1, 0, 0, 0, false}, {0, 1.9, 4, 0, 0, true},
        {0, 3, 0, 1, 0, true},   {0, 3, 0, 2, 0, false}, {0, 0, 1, 0, 0, true},    {0, 0, 3, 0, 1, true},
        {0, 0, 3, 0, 0, false},  {0, 0, 4, 0, 1, false}, {0, 2, 1, 0, 0, false},   {0, 6, 1, 1, 1, false},
        {0, -1, 1, 1, 1, false},
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
    EXPECT_FALSE(IsEnablePolarityHidden(setup));
    EXPECT_FALSE(HasNewDeadBand(setup));
    EXPECT_FALSE(ReadsSerialEncoderOnSpeedLoop(setup));
    EXPECT_TRUE(errors.Messages().empty());

    setup.SetOption("SSIMaxBits", "24");
    setup.SetOption("IsInputsTypeProgrammable", "0");
    setup.SetOption("hideEnablePolarity", "1");
    setup.SetOption("NewDeadBand", "1");
    setup.SetOption("ReadSSIonSL", "1");
    dctest::Add(setup, {{"Ts_C_min", 5e-5}, {"Ts_S_min", 2e-4}, {"Limit_Speed_MaxPercent", 80}});
    EXPECT_EQ(SerialMaxBits(setup), 24);
    EXPECT_EQ(InputsTypeProgrammable(setup), 0);
    EXPECT_EQ(MinimumCurrentLoopPeriod(setup), 5e-5);
    EXPECT_EQ(MinimumSpeedLoopPeriod(setup), 2e-4);
    EXPECT_EQ(LimitSpeedMaxPercent(setup), 80.0);
    EXPECT_TRUE(IsEnablePolarityHidden(setup));
    EXPECT_TRUE(HasNewDeadBand(setup));
    EXPECT_TRUE(ReadsSerialEncoderOnSpeedLoop(setup));
}

}  // namespace
