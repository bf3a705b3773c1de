// Controller gains from a pass band and a damping. Each operation places the
// closed-loop poles of one of the drive's cascaded loops (current, speed,
// position) from the motor and load data and the loop's sampling period, and
// writes the scaled gains in the drive's internal units per internal unit.
// The gain conversions then turn them into mantissa and shift registers.
#pragma once

#include <array>

#include "conversions/Names.h"
#include "kx/Setup.h"

namespace dcdrive {

// The parameters each operation looks up, in the order it looks them up. The
// first missing one ends the operation with 0 before anything is written.
inline constexpr std::array<const char*, 6> kCurrentTuningParameters = {
    names::kKp_C_scl, names::kKi_C_scl, names::kL, names::kR, names::kPB_C, names::kDump_C};
inline constexpr std::array<const char*, 6> kSpeedTuningParameters = {
    names::kKi_S_scl, names::kKp_S_scl, names::kJt, names::kK, names::kPB_S, names::kDump_S};
inline constexpr std::array<const char*, 12> kPositionTuningParameters = {names::kKi_P_scl,
                                                                          names::kKp_P_scl,
                                                                          names::kKd_P_scl,
                                                                          names::kPositionControlType,
                                                                          names::kJt,
                                                                          names::kPB_P,
                                                                          names::kK,
                                                                          names::kDump_P,
                                                                          names::kMotor_transmission,
                                                                          names::kLoad_transmission,
                                                                          names::kMotorSensorType,
                                                                          names::kLoadSensorType};

// Current loop over the motor's R-L circuit: "PB_C", "Dump_C", "L", "R" ->
// "Kp_C_scl", then "Ki_C_scl". With an electrical time constant L/R of at
// most four current-loop periods a gentler rule for short time constants is
// used; its proportional gain may come out negative and is written so.
int TuneCurrentController(CKX_Setup& setup);

// Speed loop over the inertia: "PB_S", "Dump_S", "Jt", "K" -> "Ki_S_scl",
// then "Kp_S_scl", in the counts of the sensor that closes the loop (the
// load's, through the transmission, when the motor has no sensor).
int TuneSpeedController(CKX_Setup& setup);

// Position loop: a PI giving a speed reference when it runs over the speed
// loop ("PositionControlType" 1), else a PID giving a current reference
// directly over the inertia. Writes "Ki_P_scl", "Kp_P_scl", "Kd_P_scl" in
// this order ("Kd_P_scl" 0 for the PI).
int TunePositionController(CKX_Setup& setup);

// All three return 1 when they wrote their gains. They return 0 and write
// nothing when a parameter is missing or when a gain would not be a finite
// number (a zero "R", "K", supply voltage, clock or sensor scale): every gain
// is computed before the first is written.

// The drive's cascaded loops, as the tuning tests' "Tune" buttons name them.
enum class Loop { Current, Speed, Position };

// Why a loop's gains are not finite numbers although every parameter is
// there: the first parameter, among those its formulas and scales divide by
// for the present sensors, whose value is 0. Null when none of them is 0.
const char* ZeroTuningDivisor(const CKX_Setup& setup, Loop loop);

// What TuneLoop did.
struct TuneResult {
    int tuned = 0;  // 1 when the gains and their registers were written
    // When nothing was written: the first of the loop's parameters that the
    // setup lacks; else the parameter that is 0 and leaves the gains without
    // a finite value (ZeroTuningDivisor). Both null when the gains are not
    // finite numbers for another reason.
    const char* missing = nullptr;
    const char* zero = nullptr;
};

// The "Tune" sequence of one loop: computes its gains from its pass band and
// damping (the operation above, its missing parameters not reported), writes
// each gain's shift and mantissa registers, then reads the gains back from
// the registers so that they show what the drive holds. When the gains
// cannot be computed nothing is written and the result says why.
TuneResult TuneLoop(CKX_Setup& setup, Loop loop);

}  // namespace dcdrive
