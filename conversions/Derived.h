// Quantities derived from the setup that the converters, the variable scaling
// and the tests share: the controller clock, the loop periods and the scale
// factors between physical units and drive counts. Each is computed afresh
// from the setup on every call (nothing is cached) and reads parameters in
// base units; a missing parameter reads as the host returns it.
//
// These are plain formulas: with a zero divisor in the setup they return an
// infinity or NaN. Their users decide what to do with it (converters refuse to
// write such a value, the scaling answers a factor of 0).
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

// Full scale of the drive's analogue converter in counts.
double AdcMax(const CKX_Setup& setup);

// Controller clock in Hz: "DSP2_freq" when present, else "DSP_freq" when
// present, else 60 MHz.
double ControllerClock(const CKX_Setup& setup);
// Current-loop and speed/position-loop sampling periods in seconds.
double CurrentLoopPeriod(const CKX_Setup& setup);
double SpeedLoopPeriod(const CKX_Setup& setup);
// Counts of a voltage command per volt (32767 / "Vdc").
double VoltageCommandScale(const CKX_Setup& setup);
// Counts of the measured supply voltage per volt.
double VoltageMeasureScale(const CKX_Setup& setup);
// Counts per ampere.
double CurrentScale(const CKX_Setup& setup);
// Counts per motor radian, by the motor sensor type.
double MotorPositionScale(const CKX_Setup& setup);
// Counts per load radian (per metre for a linear load); negative with a
// negative transmission ratio.
double PositionScale(const CKX_Setup& setup);
// Counts per slow-loop period per load radian/s (or m/s).
double SpeedScale(const CKX_Setup& setup);
// Counts per slow-loop period per motor radian/s.
double MotorSpeedScale(const CKX_Setup& setup);
// Speed counts per slow-loop period per load radian/s^2 (or m/s^2).
double AccelerationScale(const CKX_Setup& setup);
// Span of the analogue reference by the control mode, in the drive's
// reference scaling; negated when the position scale is not positive.
double AnalogueReferenceSpan(const CKX_Setup& setup);
// Left shift of the acceleration feed-forward gain: 0 for "KFFA_scl" <= 1,
// else the smallest n with 2^n >= "KFFA_scl".
double AccelerationFeedforwardShift(const CKX_Setup& setup);
// Lowest serial encoder clock (Hz) whose read-out fits into a current-loop period.
double SerialMinimumFrequency(const CKX_Setup& setup);

// When "MotionCompleteDefaultSettings" is 1: sets "MotionCompleteSettleBand"
// to pi and "MotionCompleteStabilizeTime" to one slow-loop period and returns
// 1; otherwise changes nothing and returns 0.
int ApplyMotionCompleteDefaults(CKX_Setup& setup);

}  // namespace dcdrive
