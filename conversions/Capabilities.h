// Capability tests: what the drive variant of a setup offers. One plug-in
// serves drives that lack some registers; the drivers and editors run the
// conversions of a group only when its test holds. Every presence test looks
// its names up with the host's error display off and restores it after.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

// Variable "CADIN" and parameter "CADIN" both exist.
bool HasAnalogueReferenceScaling(const CKX_Setup& setup);
// "isSWLS" exists.
bool HasSoftwareLimits(const CKX_Setup& setup);
// "isSpeedEstimator" exists.
bool HasSpeedEstimatorParameter(const CKX_Setup& setup);
// "save_CAN_baudrate" and "save_axis_id" exist.
bool HasCanIdentitySaving(const CKX_Setup& setup);
// "BRAKECFG" and "isMotorBrake" exist.
bool HasMotorBrake(const CKX_Setup& setup);
// "POSOKLIM_FC" and "TONPOSOK_FC" exist.
bool HasFreezeControl(const CKX_Setup& setup);
// "InputsPolarityType" exists.
bool HasInputsPolarity(const CKX_Setup& setup);
// "IsReverseMovementDirection" exists.
bool HasMovementDirection(const CKX_Setup& setup);
// Option "hasNegTransmission" is 1.
bool IsNegativeTransmissionAllowed(const CKX_Setup& setup);
// Option "newSpeedEstimator" is 1.
bool HasNewSpeedEstimator(const CKX_Setup& setup);
// "II2TWARLIM_D" and "I2TWARLIM_M" exist.
bool HasI2tWarningLevels(const CKX_Setup& setup);
// Option "DisableBrake" is not 1.
bool IsBrakeResistorAllowed(const CKX_Setup& setup);
// "ELRES_FRACT" exists.
bool HasSinCosFractionRegister(const CKX_Setup& setup);
// "MECRESL" exists.
bool HasEncoderResolutionRegister(const CKX_Setup& setup);
// "ERRMAXL" exists.
bool HasLargePositionError(const CKX_Setup& setup);
// "SPICLKMODE" exists.
bool HasSerialClockMode(const CKX_Setup& setup);
// "IQREF_BQ_INI" exists.
bool HasBiquadFilters(const CKX_Setup& setup);
// "isAutoActivatedAfterPowerOn" exists.
bool HasAutoActivationFlag(const CKX_Setup& setup);
// "POSRANGEDEF" exists.
bool HasPositionRange(const CKX_Setup& setup);
// "MotionCompleteDefaultSettings" exists.
bool HasMotionCompleteSettings(const CKX_Setup& setup);
// "SpeedForward" exists.
bool HasSpeedForward(const CKX_Setup& setup);
// "ReverseCounting_MT" and "ReverseCounting_LD" exist.
bool HasReverseCounting(const CKX_Setup& setup);
// "isFilterEnc_MT", "FilterEncValue_MT", "isFilterEnc_LD", "FilterEncValue_LD" all exist.
bool HasEncoderFilters(const CKX_Setup& setup);
// "SINCOS_fract" exists.
bool HasSinCosFractionParameter(const CKX_Setup& setup);
// "SSI_Resolution_LD" exists.
bool HasLoadSerialResolution(const CKX_Setup& setup);
// "SpeedTestReferenceType" exists.
bool HasSpeedTestReferenceType(const CKX_Setup& setup);

// The drive can estimate speed from the position sensor: the loops do not run
// in the fast loop and the sensor is an incremental encoder on the motor, a
// sine/cosine motor encoder without interpolation ("SINCOS_fract" 1), or the
// same on the load when there is no motor sensor.
bool IsSpeedEstimatorPossible(const CKX_Setup& setup);

// The drive offers SSI absolute encoders on the motor / load.
bool HasMotorSerialEncoderReadback(const CKX_Setup& setup);
bool HasLoadSerialEncoderReadback(const CKX_Setup& setup);
// The drive offers SSI or BiSS absolute encoders on the motor.
bool HasMotorSerialEncoder(const CKX_Setup& setup);
// A serial motor encoder is offered and the clock mode register exists.
bool HasSerialEncoderClockMode(const CKX_Setup& setup);

// ---- option and parameter reads shared by several parts of the plug-in

// Biquad filters the drive runs: 0 when "PosSpd_in_FastLoop" exists and is
// exactly 1.0, else the option "MaxFilters" when set, else 10.
int FilterCount(const CKX_Setup& setup);
// Largest serial encoder bit count: option "SSIMaxBits" when set, else 31.
int SerialMaxBits(const CKX_Setup& setup);
// Option "IsInputsTypeProgrammable" when set, else -1.
int InputsTypeProgrammable(const CKX_Setup& setup);
// "Ts_C_min" / "Ts_S_min", 0 when absent.
double MinimumCurrentLoopPeriod(const CKX_Setup& setup);
double MinimumSpeedLoopPeriod(const CKX_Setup& setup);
// "Limit_Speed_MaxPercent", 100 when absent.
double LimitSpeedMaxPercent(const CKX_Setup& setup);
// Options "hideEnablePolarity", "NewDeadBand", "ReadSSIonSL" equal to 1.
bool IsEnablePolarityHidden(const CKX_Setup& setup);
bool HasNewDeadBand(const CKX_Setup& setup);
bool ReadsSerialEncoderOnSpeedLoop(const CKX_Setup& setup);

}  // namespace dcdrive
