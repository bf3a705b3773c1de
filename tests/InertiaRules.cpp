#include "InertiaRules.h"

#include <cstdio>

#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"

namespace dcdrive {

using namespace names;

// Entries 5 and 6 differ by their last full stop.
#define DC_REVERSED_SPEED_TEXT                                                                             \
    "When a POSITIVE torque level is applied to the motor, the measured speed is NEGATIVE.\nPossible "     \
    "causes of failure:\n\t\tThe current controller is not tuned;\n\t\tThe encoder signals are "           \
    "reversed;\n\t\tCheck the current controller tuning;\n\t\tUse the test <<Detect number of lines>> to " \
    "verify the encoder counting direction;\n\t\tCheck if the motor nominal current was correctly set"

const std::array<const char*, 9> kInertiaTestTexts = {
    "Launching code for J test",
    "Waiting J test to be finished",
    "You have problems with the current measurement or the measured current is too low.\r\nPlease increase "
    "the test current.",
    "The computed inductivity is less than the possible minimum value of 50 µH.",
    "The computed inductivity is greater than the possible maximum value of 1 H.",
    DC_REVERSED_SPEED_TEXT,
    DC_REVERSED_SPEED_TEXT ".",
    "When trying to apply POSITIVE torque to the motor, the measured speed is ZERO, or the reference torque "
    "cannot be reached!\nPossible causes of failure:\n\t\tThe current controller is not tuned;\n\t\tThe "
    "encoder signals are missing;\n\t\tThe DC voltage level is not high enough;\n\t\tCheck the current "
    "controller tuning;\n\t\tUse the encoder <<Test connections>> to verify presence of the encoder "
    "signals\n\t\tCheck if the motor nominal current was correctly set.\n\t\tTry to decrease the test "
    "current.",
    "The motor does not reach the programmed speed level!\nYou may have a problem with the encoder or the "
    "initial positioning is not performed correctly. Check the encoder and motor connections. If these are "
    "OK, try to increase the test current.",
};

#undef DC_REVERSED_SPEED_TEXT

const char* const kTotalBelowMotorInertiaText =
    "You have chosen a value for the total inertia that is lower than the value of the motor inertia.\nThe "
    "application will assume the motor inertia is unknown.";

InertiaRun ClassifyInertiaRun(double testFlag, double deltaTime) {
    if (!(testFlag > 0.0)) return InertiaRun::ProtectionTripped;
    if (deltaTime > 0.0) return InertiaRun::Measured;
    if (deltaTime == -1.0) return InertiaRun::WrongSpeedSign;
    if (deltaTime == -2.0) return InertiaRun::NoSpeed;
    return InertiaRun::SpeedNotReached;
}

const char* InertiaRunText(InertiaRun run) {
    switch (run) {
        case InertiaRun::ProtectionTripped:
            return kInertiaTestTexts[5];
        case InertiaRun::WrongSpeedSign:
            return kInertiaTestTexts[6];
        case InertiaRun::NoSpeed:
            return kInertiaTestTexts[7];
        case InertiaRun::SpeedNotReached:
            return kInertiaTestTexts[8];
        case InertiaRun::Measured:
        default:
            return nullptr;
    }
}

InertiaScales InertiaScalesOf(const CKX_Setup& setup) {
    return {MotorSpeedScale(setup), CurrentScale(setup), SpeedLoopPeriod(setup), Value(setup, kK)};
}

double TotalInertia(const InertiaScales& s, double deltaTime, double deltaSpeed, double testCurrent) {
    // In the program's order of operations: torque x time / speed gained.
    return (s.speed / s.current) * deltaTime * s.ts * s.torqueConstant / deltaSpeed * testCurrent;
}

std::string FormatInertia(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string InertiaChangeQuestion(double openingJt, double identifiedJt) {
    const std::string oldText = FormatInertia(openingJt);
    const std::string newText = FormatInertia(identifiedJt);
    if (oldText == newText) return {};
    return "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
           "Total inertia:\tOld = " +
           oldText + "\tNew = " + newText +
           "\r\n"
           "\r\nDo you want to save the new value(s)? (Recommended)";
}

bool TotalBelowMotorInertia(const CKX_Setup& setup) {
    return Value(setup, kJm) > Value(setup, kJt) && Value(setup, kisMotorInertiaUnknown) == 0.0;
}

double LoadOverMotorInertia(double totalInertia, double motorInertia) {
    return (totalInertia - motorInertia) / motorInertia;
}

double TotalFromLoadOverMotor(double loadOverMotor, double motorInertia) {
    return (loadOverMotor + 1.0) * motorInertia;
}

}  // namespace dcdrive
