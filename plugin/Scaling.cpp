#include "Scaling.h"

#include <cmath>
#include <initializer_list>

#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"
#include "kx/Units.h"

namespace dcdrive {

using namespace names;

namespace {

constexpr const char* kDegreeCelsius =
    "\xC2\xB0"
    "C";

bool IsUnit(std::string_view unit, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        if (kx::UnitNamesEqual(unit, name)) return true;
    return false;
}

bool IsOneOf(std::string_view variable, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names)
        if (NamesEqual(variable, name)) return true;
    return false;
}

double Finite(double value, double otherwise) { return std::isfinite(value) ? value : otherwise; }

double FactorOf(const CKX_Setup& setup, std::string_view unit, std::string_view variable) {
    // "V " is the measured supply voltage; "V" is everything commanded.
    if (IsUnit(unit, {"V "})) return 1.0 / VoltageMeasureScale(setup);
    if (IsUnit(unit, {"V"})) {
        if (NamesEqual(variable, kAnalogueInputsRange)) return 1.0;
        if (IsOneOf(variable, {"DeadBand_Range", "DeadBand_Point", "AD2", "AD2FIL_VAL", "AD5"}))
            return Value(setup, kAnalogueInputsRange) / AdcMax(setup);
        return 1.0 / VoltageCommandScale(setup);
    }
    if (IsUnit(unit, {"A"})) return 1.0 / CurrentScale(setup);
    if (IsUnit(unit, {"s"}))
        return NamesEqual(variable, kTs_C) ? CurrentLoopPeriod(setup) : SpeedLoopPeriod(setup);
    if (IsUnit(unit, {"rad", "m"})) {
        if (IsOneOf(variable, {"Motor_Position", "APOS_MT"})) return 1.0 / MotorPositionScale(setup);
        // Limits and error bands keep their sign whatever the counting direction.
        if (IsOneOf(variable, {"ERR_position", "FreezeControl_errband", "TestPosition", kPOS_max, kPOS_min,
                               "PosRange_Minimum", "PosRange_Maximum"}))
            return 1.0 / std::fabs(PositionScale(setup));
        return 1.0 / PositionScale(setup);
    }
    if (IsUnit(unit, {"rad/s", "m/s"})) {
        if (IsOneOf(variable, {"ASPD_MT", "ASPD", "Motor_Speed", "Motor_Speed_Reference", "TestMaxSpeed",
                               "SPDREF", "SPDREFL"}))
            return 1.0 / MotorSpeedScale(setup);
        if (NamesEqual(variable, "Limit_Speed"))
            return 1.0 / (MotorSpeedScale(setup) * Value(setup, kMotor_transmission) /
                          Value(setup, kLoad_transmission));
        if (IsOneOf(variable, {"ERR_speed", "ErefMaxSpeed", "TestSpeed", kSPD_max, kSPD_min}))
            return 1.0 / std::fabs(SpeedScale(setup));
        return 1.0 / SpeedScale(setup);
    }
    // Jerk is shown with the acceleration's factor.
    if (IsUnit(unit, {"rad/s^2", "m/s^2", "rad/s^3", "m/s^3"})) return 1.0 / AccelerationScale(setup);
    if (IsUnit(unit, {kDegreeCelsius}))
        return 1.0 / (AdcMax(setup) * Value(setup, kDriveTempSensorGain) / Value(setup, kADCrange));
    if (IsUnit(unit, {"V/s"})) return 1.0 / VoltageCommandScale(setup) / SpeedLoopPeriod(setup);
    if (IsUnit(unit, {"A/s"})) return 1.0 / CurrentScale(setup) / SpeedLoopPeriod(setup);
    return 1.0;
}

}  // namespace

double ScaleFactor(const CKX_Setup& setup, std::string_view unit, std::string_view variable) {
    return Finite(FactorOf(setup, unit, variable), 0.0);
}

double ScaleOffset(const CKX_Setup& setup, std::string_view unit) {
    if (!kx::UnitNamesEqual(unit, kDegreeCelsius)) return 0.0;
    return Finite(-(AdcMax(setup) * Value(setup, kDriveTempOutputAt0oC) / Value(setup, kADCrange)), 0.0);
}

void InstallHostScaling() {
    kx::SetScaleFunctions(
        [](CKX_Setup* setup, const char* unit, const char* variable) {
            return ScaleFactor(*setup, unit ? unit : "", variable ? variable : "");
        },
        [](CKX_Setup* setup, const char* unit) { return ScaleOffset(*setup, unit ? unit : ""); });
}

ScopedHostScaling::~ScopedHostScaling() { kx::SetScaleFunctions(nullptr, nullptr); }

}  // namespace dcdrive
