// The total inertia identification: what a finished run says, the inertia
// of plants whose acceleration under the test current is known, the
// question on Close, and the total inertia against the motor inertia.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "EditorTest.h"
#include "conversions/Derived.h"
#include "tests/InertiaRules.h"

namespace {

using dcdrive::InertiaRun;
using dctest::Variant;

const std::string kReversed =
    "When a POSITIVE torque level is applied to the motor, the measured speed is NEGATIVE.\nPossible causes "
    "of failure:\n\t\tThe current controller is not tuned;\n\t\tThe encoder signals are reversed;\n\t\tCheck "
    "the current controller tuning;\n\t\tUse the test <<Detect number of lines>> to verify the encoder "
    "counting direction;\n\t\tCheck if the motor nominal current was correctly set";
const std::string kNoSpeed =
    "When trying to apply POSITIVE torque to the motor, the measured speed is ZERO, or the reference torque "
    "cannot be reached!\nPossible causes of failure:\n\t\tThe current controller is not tuned;\n\t\tThe "
    "encoder signals are missing;\n\t\tThe DC voltage level is not high enough;\n\t\tCheck the current "
    "controller tuning;\n\t\tUse the encoder <<Test connections>> to verify presence of the encoder "
    "signals\n\t\tCheck if the motor nominal current was correctly set.\n\t\tTry to decrease the test "
    "current.";
const std::string kNotReached =
    "The motor does not reach the programmed speed level!\nYou may have a problem with the encoder or the "
    "initial positioning is not performed correctly. Check the encoder and motor connections. If these are "
    "OK, try to increase the test current.";

TEST(InertiaRules, FailureCodesAndTheirTexts) {
    const double nan = std::nan("");
    const struct {
        double flag, deltaTime;
        InertiaRun run;
        std::string text;  // empty: measured
    } cases[] = {
        // clang-format off
        {0, 120, InertiaRun::ProtectionTripped, kReversed},
        {nan, 120, InertiaRun::ProtectionTripped, kReversed},
        {1, -1, InertiaRun::WrongSpeedSign, kReversed + "."},
        {1, -2, InertiaRun::NoSpeed, kNoSpeed},
        {1, -3, InertiaRun::SpeedNotReached, kNotReached},
        {1, 0, InertiaRun::SpeedNotReached, kNotReached},
        {1, nan, InertiaRun::SpeedNotReached, kNotReached},
        {0.5, 1, InertiaRun::Measured, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "test_flag " << c.flag << ", delta_time " << c.deltaTime);
        const InertiaRun run = dcdrive::ClassifyInertiaRun(c.flag, c.deltaTime);
        EXPECT_EQ(run, c.run);
        const char* text = dcdrive::InertiaRunText(run);
        EXPECT_EQ(text ? std::string(text) : "", c.text);
    }
    EXPECT_STREQ(dcdrive::kInertiaTestTexts[0], "Launching code for J test");
    EXPECT_STREQ(dcdrive::kInertiaTestTexts[3],
                 "The computed inductivity is less than the possible minimum value of 50 \xC2\xB5H.");
}

// A plant of inertia J accelerated by K * I gains (K I / J) * t rad/s in t;
// the program reports t in speed-loop periods and the speed in its counts.
TEST(InertiaRules, InertiaOfKnownPlants) {
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        bool tacho;
        double inertia, current, periods, sign;  // kg m^2, A, of the speed gained
    } cases[] = {
        // clang-format off
        {"default encoder", {}, false, 2.8e-5, 1.6, 150, 1},
        {"1000-line encoder, 2 ms loop", {{"No_encoder_lines", 1000}, {"SLPER", 40}}, false, 1e-4, 1.0, 300, 1},
        {"tachogenerator", {{"MotorSensorType", 2}}, true, 5e-5, 2.0, 200, 1},
        {"speed gained against the torque", {}, false, 2.8e-5, 1.6, 150, -1},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.changes);
        const dcdrive::InertiaScales scales = dcdrive::InertiaScalesOf(*setup);
        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        EXPECT_DOUBLE_EQ(scales.ts, ts);
        EXPECT_DOUBLE_EQ(scales.torqueConstant, 0.06);
        EXPECT_DOUBLE_EQ(scales.current, dcdrive::AdcMax(*setup) / (2 * 10.0));
        EXPECT_DOUBLE_EQ(scales.speed, c.tacho ? 4096 * dctest::Value(*setup, "Tacho_gain") / 20
                                               : 4 * dctest::Value(*setup, "No_encoder_lines") /
                                                     (2 * std::numbers::pi) * ts);
        const double testCurrent = std::trunc(c.current * scales.current);  // as written into "In1"
        const double gained =
            c.sign * 0.06 * testCurrent / scales.current / c.inertia * c.periods * ts;  // rad/s
        EXPECT_NEAR(dcdrive::TotalInertia(scales, c.periods, gained * scales.speed, testCurrent),
                    c.sign * c.inertia, 1e-12 * c.inertia);
    }
}

TEST(InertiaRules, QuestionOnCloseAndTheMotorInertia) {
    EXPECT_EQ(dcdrive::InertiaChangeQuestion(2.8e-5, 2.8000001e-5), "") << "\"%g\" keeps six digits";
    EXPECT_EQ(dcdrive::InertiaChangeQuestion(0.00012, -4e-5),
              "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
              "Total inertia:\tOld = 0.00012\tNew = -4e-05\r\n\r\n"
              "Do you want to save the new value(s)? (Recommended)");

    const struct {
        double jm, jt, unknown;
        bool below;
    } cases[] = {{2e-5, 1e-5, 0, true}, {2e-5, 2e-5, 0, false}, {2e-5, 1e-5, 1, false}};
    for (const auto& c : cases) {
        auto setup = Variant({{"Jm", c.jm}, {"Jt", c.jt}, {"isMotorInertiaUnknown", c.unknown}});
        EXPECT_EQ(dcdrive::TotalBelowMotorInertia(*setup), c.below)
            << c.jm << " " << c.jt << " " << c.unknown;
    }
    EXPECT_STREQ(dcdrive::kTotalBelowMotorInertiaText,
                 "You have chosen a value for the total inertia that is lower than the value of the motor "
                 "inertia.\nThe application will assume the motor inertia is unknown.");
    EXPECT_DOUBLE_EQ(dcdrive::LoadOverMotorInertia(3e-5, 1e-5), 2.0);
    EXPECT_DOUBLE_EQ(dcdrive::TotalFromLoadOverMotor(2.0, 1e-5), 3e-5);
}

}  // namespace
