// I/O, brake, limit and reference conversions: the application control and
// status words, the digital input levels, the software and position-range
// limits, the external reference (its speed and acceleration limits, the
// analogue input's scaling, filter and dead band), the motor brake, freeze
// control, motion-complete detection, the axis identity and the gear and
// transmission ratios.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

// Bits of the application control word "ACR".
inline constexpr int kAcrAutoActivationBit = 1;
inline constexpr int kAcrDigitalReferenceType0Bit = 2;  // set: digital reference of type 0
inline constexpr int kAcrFreezeControlBit = 4;
inline constexpr int kAcrAnalogueReferenceBit = 6;
inline constexpr int kAcrDigitalReferenceBit = 7;
inline constexpr int kAcrSpeedLoopBit = 9;  // speed mode, or position mode over the speed loop
inline constexpr int kAcrPositionModeBit = 10;
inline constexpr int kAcrSpeedForwardBit = 14;

// Bits of the application status/setup word "ASR".
inline constexpr int kAsrInputsPolarity0Bit = 2;  // set: inputs polarity type 0
inline constexpr int kAsrNegativeTransmissionBit = 7;
inline constexpr int kAsrReverseDirectionBit = 11;
inline constexpr int kAsrSoftwareLimitsBit = 12;
inline constexpr int kAsrSpeedEstimatorBit = 15;

// Bits of the digital input active levels "DIGIN_ACTIVE_LEVEL".
inline constexpr int kLSPPolarityBit = 13;
inline constexpr int kLSNPolarityBit = 14;
inline constexpr int kEnablePolarityBit = 15;

// ---- registers to parameters
int ReadControlMode(CKX_Setup& setup);            // "ACR" -> "ControlMode"
int ReadExternalReference(CKX_Setup& setup);      // "ACR" -> "ExternalReference"
int ReadAutoActivation(CKX_Setup& setup);         // "ACR" -> "IsAutoActivatedAfterPowerOn"
int ReadAxisId(CKX_Setup& setup);                 // "AAR_table" -> "Axis_ID_list"
int ReadEnablePolarity(CKX_Setup& setup);         // "DIGIN_ACTIVE_LEVEL" -> "EnablePolarity"
int ReadLSPPolarity(CKX_Setup& setup);            // "DIGIN_ACTIVE_LEVEL" -> "LSPPolarity"
int ReadLSNPolarity(CKX_Setup& setup);            // "DIGIN_ACTIVE_LEVEL" -> "LSNPolarity"
int ReadSoftwareLimitsFlag(CKX_Setup& setup);     // "ASR" -> "isSWLS"
int ReadSoftwareLimits(CKX_Setup& setup);         // "SWPOSLS", "SWNEGLS" -> "Negative_SWLS", "Positive_SWLS"
int ReadAnalogueReferenceFlag(CKX_Setup& setup);  // "ACR" -> "isAnalogueReference"
int ReadDigitalReferenceType(CKX_Setup& setup);   // "ACR" -> "DigitalReferenceType"
int ReadReferenceMaxSpeed(CKX_Setup& setup);      // "CSPD" -> "ErefMaxSpeed"
int ReadReferenceMaxAcceleration(CKX_Setup& setup);  // "CACC" -> "ErefMaxAcceleration"
int ReadDeadBandPoint(CKX_Setup& setup);             // "LEVEL_AD5" -> "DeadBand_Point"
int ReadDeadBandRange(CKX_Setup& setup);             // "E_LEVEL_AD5" -> "DeadBand_Range"
int ReadReferenceFilterFlag(CKX_Setup& setup);       // "FILTER1" -> "UseFilter"
int ReadReferenceFilter(CKX_Setup& setup);           // "FILTER1" -> "filter"
int ReadPositionReferenceMin(CKX_Setup& setup);      // "AD5OFF" -> "POS_min"
int ReadPositionReferenceMax(CKX_Setup& setup);      // "CADIN", "SFTADIN", "AD5OFF" -> "POS_max"
int ReadSpeedReferenceMin(CKX_Setup& setup);         // "AD5OFF" -> "SPD_min"
int ReadSpeedReferenceMax(CKX_Setup& setup);         // "CADIN", "SFTADIN", "AD5OFF" -> "SPD_max"
int ReadCurrentReferenceMin(CKX_Setup& setup);       // "AD5OFF" -> "CRT_min"
int ReadCurrentReferenceMax(CKX_Setup& setup);       // "CADIN", "SFTADIN", "AD5OFF" -> "CRT_max"
int ReadSaveCanBaudrate(CKX_Setup& setup);           // "LSS_Active" -> "save_CAN_baudrate"
int ReadSaveAxisId(CKX_Setup& setup);                // "LSS_Active" -> "save_axis_id"
int ReadMotorBrakeFlag(CKX_Setup& setup);            // "BRAKECFG" -> "isMotorBrake"
int ReadMotorBrakeOutput(CKX_Setup& setup);          // "BRAKECFG" -> "MotorBrake_output"
int ReadBrakeReleaseTime(CKX_Setup& setup);          // "BRAKERELEASEDELAY" -> "MotorBrake_releasetime"
int ReadBrakeApplyTime(CKX_Setup& setup);            // "BRAKEAPPLYDELAY" -> "MotorBrake_applytime"
int ReadSpeedForward(CKX_Setup& setup);              // "ACR" -> "SpeedForward"
int ReadFreezeControlFlag(CKX_Setup& setup);         // "ACR" -> "isFreezeControl"
int ReadFreezeControlBand(CKX_Setup& setup);         // "POSOKLIM_FC" -> "FreezeControl_errband"
int ReadFreezeControlTime(CKX_Setup& setup);         // "TONPOSOK_FC" -> "FreezeControl_time"
int ReadInputsPolarityType(CKX_Setup& setup);        // "ASR" -> "InputsPolarityType"
int ReadPositionRange(
    CKX_Setup& setup);  // "MINPOSRANGE", "MAXPOSRANGE" -> "PosRange_Minimum", "PosRange_Maximum"
int ReadPositionRangeFlag(CKX_Setup& setup);            // "POSRANGEDEF" -> "isPosRange"
int ReadMovementDirection(CKX_Setup& setup);            // "ASR" -> "IsReverseMovementDirection"
int ReadMotionCompleteSettleBand(CKX_Setup& setup);     // "POSOKLIM" -> "MotionCompleteSettleBand"
int ReadMotionCompleteStabilizeTime(CKX_Setup& setup);  // "TONPOSOK" -> "MotionCompleteStabilizeTime"

// ---- parameters to registers
int WriteAxisIdRegister(CKX_Setup& setup);               // "Axis_ID_list" -> "AAR_table"
int WriteApplicationStatusWord(CKX_Setup& setup);        // -> "ASR"
int WriteApplicationControlWord(CKX_Setup& setup);       // -> "ACR"
int WriteSoftwareLimitRegisters(CKX_Setup& setup);       // -> "SWNEGLS", "SWPOSLS"
int WriteReferenceMaxAcceleration(CKX_Setup& setup);     // "ErefMaxAcceleration" -> "CACC"
int WriteReferenceMaxSpeed(CKX_Setup& setup);            // "ErefMaxSpeed" -> "CSPD"
int WriteAnalogueReferenceGain(CKX_Setup& setup);        // -> "CADIN"
int WriteAnalogueReferenceShift(CKX_Setup& setup);       // -> "SFTADIN"
int WriteAnalogueReferenceOffset(CKX_Setup& setup);      // -> "AD5OFF"
int WriteReferenceFilter(CKX_Setup& setup);              // "UseFilter", "filter" -> "FILTER1"
int WriteDeadBandPoint(CKX_Setup& setup);                // "DeadBand_Point" -> "LEVEL_AD5"
int WriteDeadBandRange(CKX_Setup& setup);                // "DeadBand_Range" -> "E_LEVEL_AD5"
int WriteGearRatio(CKX_Setup& setup);                    // "GEARSLAVE", "GEARMASTER" -> "GEAR"
int WriteDigitalInputLevels(CKX_Setup& setup);           // -> "DIGIN_ACTIVE_LEVEL"
int WriteCanIdentitySaving(CKX_Setup& setup);            // -> "LSS_Active"
int WriteMotorBrakeConfig(CKX_Setup& setup);             // "isMotorBrake", "MotorBrake_output" -> "BRAKECFG"
int WriteBrakeApplyDelay(CKX_Setup& setup);              // "MotorBrake_applytime" -> "BRAKEAPPLYDELAY"
int WriteBrakeReleaseDelay(CKX_Setup& setup);            // "MotorBrake_releasetime" -> "BRAKERELEASEDELAY"
int WriteFreezeControlBand(CKX_Setup& setup);            // "FreezeControl_errband" -> "POSOKLIM_FC"
int WriteFreezeControlTime(CKX_Setup& setup);            // "FreezeControl_time" -> "TONPOSOK_FC"
int WriteTransmission(CKX_Setup& setup);                 // -> "TRANSMISSION"
int WritePositionRangeRegisters(CKX_Setup& setup);       // -> "MINPOSRANGE", "MAXPOSRANGE"
int WritePositionRangeFlag(CKX_Setup& setup);            // "isPosRange" -> "POSRANGEDEF"
int WriteMotionCompleteSettleBand(CKX_Setup& setup);     // -> "POSOKLIM"
int WriteMotionCompleteStabilizeTime(CKX_Setup& setup);  // -> "TONPOSOK"

}  // namespace dcdrive
