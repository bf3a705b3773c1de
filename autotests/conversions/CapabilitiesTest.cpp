#include <gtest/gtest.h>

#include <vector>

#include "TestSetup.h"
#include "conversions/Capabilities.h"

using namespace dcdrive;
using dctest::ReportedErrors;

namespace {

// A presence test needs every name it looks for (one, two and four names).
TEST(Capabilities, PresenceTestsNeedEveryNameAndShowNothing) {
    const struct {
        bool (*has)(const CKX_Setup&);
        std::vector<const char*> names;
    } features[] = {
        {HasSoftwareLimits, {"isSWLS"}},
        {HasCanIdentitySaving, {"save_CAN_baudrate", "save_axis_id"}},
        {HasMotorBrake, {"BRAKECFG", "isMotorBrake"}},
        {HasEncoderFilters, {"isFilterEnc_MT", "FilterEncValue_MT", "isFilterEnc_LD", "FilterEncValue_LD"}},
        {HasLoadSerialResolution, {"SSI_Resolution_LD"}},
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

// An option flag counts only when set to 1; without it the drive's usual answer holds.
TEST(Capabilities, OptionFlags) {
    const struct {
        bool (*test)(const CKX_Setup&);
        const char* option;
        bool usual;
    } flags[] = {
        {IsNegativeTransmissionAllowed, "hasNegTransmission", false},
        {IsBrakeResistorAllowed, "DisableBrake", true},
        {HasNewDeadBand, "NewDeadBand", false},
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

}  // namespace
