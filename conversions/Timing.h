// Timing and PWM conversions: the PWM period, the loop periods, the PWM
// saturation and the upgrade option word.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

// Bits of the upgrade option word "UPGRADE".
inline constexpr int kUpgradeLimitMaximumBit = 2;
inline constexpr int kUpgradeFastLoopBit = 6;
inline constexpr int kUpgradeMotionCompleteBit = 11;  // set: motion-complete type 0

// ---- registers to parameters
int ReadPWMFrequency(CKX_Setup& setup);        // "PWMPER" -> "PWM_freq"
int ReadPWMPeriod(CKX_Setup& setup);           // "PWMPER" -> "PWMperiod"
int ReadCurrentLoopPeriod(CKX_Setup& setup);   // "CLPER" -> "Ts_C"
int ReadSpeedLoopPeriod(CKX_Setup& setup);     // "SLPER" -> "Ts_S"
int ReadFastLoopFlag(CKX_Setup& setup);        // "UPGRADE" -> "PosSpd_in_FastLoop"
int ReadLimitMaximumFlag(CKX_Setup& setup);    // "UPGRADE" -> "isLimitMaximum"
int ReadMotionCompleteType(CKX_Setup& setup);  // "UPGRADE" -> "MotionCompleteType"

// ---- parameters to registers
int WritePWMPeriodRegister(CKX_Setup& setup);  // "PWM_freq" -> "PWMPER"
int WritePWMSaturation(CKX_Setup& setup);      // "CurrentMeasurementType", "PWM_freq" -> "SATPWM"
int CopyPWMSaturationToD(CKX_Setup& setup);    // "SATID" := "SATPWM"
int CopyPWMSaturationToQ(CKX_Setup& setup);    // "SATIQ" := "SATPWM"
int WriteUpgradeWord(CKX_Setup& setup);        // -> "UPGRADE"

}  // namespace dcdrive
