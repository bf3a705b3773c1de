// What the total inertia identification decides without widgets: its texts,
// what the program's result variables say, the inertia they give, the
// question on Close, and the rules that tie the total inertia "Jt" to the
// motor inertia "Jm" in the tuning tests.
#pragma once

#include <array>
#include <string>

#include "kx/Setup.h"

namespace dcdrive {

namespace programs {
inline constexpr const char* kTotalInertia = "Total_Inertia_Identification_Test";
inline constexpr const char* kLimitSpeedMax = "LimitSpeedMax";
inline constexpr const char* kdelta_time = "delta_time";
inline constexpr const char* kdelta_speed = "delta_speed";
}  // namespace programs

// The test's texts: entries 0 and 1 are the info texts of the stages,
// entries 5 to 8 the failures of a run.
extern const std::array<const char*, 9> kInertiaTestTexts;

// What a finished run says through "test_flag" and "delta_time".
enum class InertiaRun {
    Measured,           // compute the inertia
    ProtectionTripped,  // "test_flag" not positive
    WrongSpeedSign,     // "delta_time" -1
    NoSpeed,            // "delta_time" -2: no speed, or the torque was not reached
    SpeedNotReached,    // any other "delta_time" not positive
};
// The first rule that matches: "test_flag" (not positive, or not a number)
// before "delta_time" (not positive, or not a number).
InertiaRun ClassifyInertiaRun(double testFlag, double deltaTime);
// The failure text of a run, null for a measured one.
const char* InertiaRunText(InertiaRun run);

// The setup's quantities that turn the program's counts into an inertia.
struct InertiaScales {
    double speed = 0.0;           // internal speed units per motor rad/s
    double current = 0.0;         // internal current units per A
    double ts = 0.0;              // speed loop period, s
    double torqueConstant = 0.0;  // "K", N·m/A
};
InertiaScales InertiaScalesOf(const CKX_Setup& setup);

// The total inertia at the motor shaft (kg·m²): the test torque times the
// acceleration time over the speed gained. `deltaTime` in speed-loop
// periods, `deltaSpeed` in internal speed units, `testCurrent` the internal
// value written into "In1". A speed gained against the torque gives a
// negative inertia; no speed gained gives a value that is not finite.
double TotalInertia(const InertiaScales& scales, double deltaTime, double deltaSpeed, double testCurrent);

// A value as the Close question prints it ("%g").
std::string FormatInertia(double value);
// The question on Close after a successful run, or empty when the opening
// and the identified inertia print the same.
std::string InertiaChangeQuestion(double openingJt, double identifiedJt);

// The total inertia lies below the motor inertia while the motor inertia is
// known ("Jm" > "Jt", "isMotorInertiaUnknown" 0): on opening, a tuning test
// asks the motor inertia question; on an edited "Jt" it shows
// kTotalBelowMotorInertiaText and takes the motor inertia as unknown.
bool TotalBelowMotorInertia(const CKX_Setup& setup);
extern const char* const kTotalBelowMotorInertiaText;

// "Jload_over_J" from "Jt" and "Jm", and "Jt" from "Jload_over_J" and "Jm".
double LoadOverMotorInertia(double totalInertia, double motorInertia);
double TotalFromLoadOverMotor(double loadOverMotor, double motorInertia);

}  // namespace dcdrive
