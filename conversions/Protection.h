// Protection conversions: the protection control word, the voltage,
// temperature and current thresholds, the i2t integrator limits and scale
// factors, the control-error limits and their times, the brake resistor.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

// Bits of the protection control word "PCR" (bit 6 and bits 8-15 belong to
// the drive and are kept when the word is written).
inline constexpr int kProtectionOverCurrentBit = 0;
inline constexpr int kProtectionMotorI2tBit = 1;
inline constexpr int kProtectionMotorOverTempBit = 2;
inline constexpr int kProtectionDriveOverTempBit = 3;
inline constexpr int kProtectionOverVoltageBit = 4;
inline constexpr int kProtectionUnderVoltageBit = 5;
inline constexpr int kProtectionDriveI2tBit = 7;
inline constexpr int kProtectionKeptBits = 0xFF40;

// Temperature sensors present, in the sensor configuration word "SCR".
inline constexpr int kSensorMotorTemperatureBit = 7;
inline constexpr int kSensorDriveTemperatureBit = 8;

// Bits of the option word "OSR" written here.
inline constexpr int kOptionBrakeResistorBit = 9;
inline constexpr int kOptionLoadSensorBit = 12;

// A control-error time register holding this value means: check disabled.
inline constexpr double kControlErrorDisabled = 65535.0;

// ---- registers to parameters
int ReadOverCurrentFlag(CKX_Setup& setup);             // "PCR" -> "isOverCurrent"
int ReadMotorI2tFlag(CKX_Setup& setup);                // "PCR" -> "isMotori2t"
int ReadMotorOverTempFlag(CKX_Setup& setup);           // "PCR" -> "isMotorOverTemp"
int ReadDriveOverTempFlag(CKX_Setup& setup);           // "PCR" -> "isDriveOverTemp"
int ReadOverVoltageFlag(CKX_Setup& setup);             // "PCR" -> "isOverVoltage"
int ReadUnderVoltageFlag(CKX_Setup& setup);            // "PCR" -> "isUnderVoltage"
int ReadDriveI2tFlag(CKX_Setup& setup);                // "PCR" -> "isDriveI2t"
int ReadMotorTemperatureSensorFlag(CKX_Setup& setup);  // "SCR" -> "isMotorTemperatureSensor"
int ReadDriveTemperatureSensorFlag(CKX_Setup& setup);  // "SCR" -> "isDriveTemperatureSensor"
int ReadMotorTempSensorType(CKX_Setup& setup);         // "MTSTYPE" -> "Motor_TempSensor_Type"
int ReadOverVoltageLevel(CKX_Setup& setup);            // "UMAXPROT" -> "UMAX_PROT"
int ReadUnderVoltageLevel(CKX_Setup& setup);           // "UMINPROT" -> "UMIN_PROT"
int ReadDriveTemperatureLimit(CKX_Setup& setup);       // "T2MAXPROT" -> "Temp_2"
int ReadOverCurrentLevel(CKX_Setup& setup);            // "IMAXPROT" -> "Imax_Prot"
int ReadTestProtectionCurrent(CKX_Setup& setup);       // "IMAXPROT" -> "TestProtectionCurrent"
int ReadOverCurrentTime(CKX_Setup& setup);             // "TIMAXPROT" -> "time_Imax_Prot"
int ReadDriveI2tCurrent(CKX_Setup& setup);             // "I2TINTLIM_D" -> "I_I2t_D"
int ReadDriveI2tTime(CKX_Setup& setup);                // "SFI2T_D" -> "t_I2t_D"
int ReadMotorI2tCurrent(CKX_Setup& setup);             // "I2TINTLIM_M" -> "I_I2t_M"
int ReadMotorI2tTime(CKX_Setup& setup);                // "SFI2T_M" -> "t_I2t_M"
int ReadPositionErrorFlag(CKX_Setup& setup);           // "TERRMAX" -> "isPositionControlError"
int ReadPositionErrorLimit(CKX_Setup& setup);          // "ERRMAXL"/"ERRMAX" -> "ERR_position"
int ReadPositionErrorTime(CKX_Setup& setup);           // "TERRMAX" -> "time_ERR_pos"
int ReadSpeedErrorFlag(CKX_Setup& setup);              // "TSERRMAX" -> "isSpeedControlError"
int ReadSpeedErrorLimit(CKX_Setup& setup);             // "SERRMAX" -> "ERR_speed"
int ReadSpeedErrorTime(CKX_Setup& setup);              // "TSERRMAX" -> "time_ERR_spd"
int ReadBrakeResistorFlag(CKX_Setup& setup);           // "OSR" -> "isBrakeResistor"
int ReadBrakeVoltage(CKX_Setup& setup);                // "BRAKELIM" -> "Vbrake"

// ---- parameters to registers
int WriteProtectionWord(CKX_Setup& setup);               // the flags -> "PCR"
int WriteMotorTempSensorType(CKX_Setup& setup);          // "Motor_TempSensor_Type" -> "MTSTYPE"
int WriteOverVoltageRegister(CKX_Setup& setup);          // "UMAX_PROT" -> "UMAXPROT"
int WriteUnderVoltageRegister(CKX_Setup& setup);         // "UMIN_PROT" -> "UMINPROT"
int WriteDriveTemperatureRegister(CKX_Setup& setup);     // "Temp_2" -> "T2MAXPROT"
int WriteTemperature1Register(CKX_Setup& setup);         // "T1MAXPROT" := 32767
int WriteOverCurrentRegister(CKX_Setup& setup);          // "Imax_Prot" -> "IMAXPROT"
int WriteOverCurrentTimeRegister(CKX_Setup& setup);      // "time_Imax_Prot" -> "TIMAXPROT"
int WriteDriveNominalCurrentRegister(CKX_Setup& setup);  // "InPS" -> "II2TPROT_D"
int WriteMotorNominalCurrentRegister(CKX_Setup& setup);  // "In" -> "II2TPROT_M"
int WriteDriveI2tScaleRegister(CKX_Setup& setup);        // "t_I2t_D" -> "SFI2T_D"
int WriteMotorI2tScaleRegister(CKX_Setup& setup);        // "t_I2t_M" -> "SFI2T_M"
int WriteDriveI2tLimitRegister(CKX_Setup& setup);        // "I_I2t_D" -> "I2TINTLIM_D"
int WriteMotorI2tLimitRegister(CKX_Setup& setup);        // "I_I2t_M" -> "I2TINTLIM_M"
int WriteDriveI2tWarningRegister(CKX_Setup& setup);      // "I_I2t_D", "t_I2t_D" -> "II2TWARLIM_D"
int WriteMotorI2tWarningRegister(CKX_Setup& setup);      // "I_I2t_M", "t_I2t_M" -> "I2TWARLIM_M"
int WritePositionErrorRegister(CKX_Setup& setup);        // "ERR_position" -> "ERRMAX"
int WriteLargePositionErrorRegister(CKX_Setup& setup);   // "ERR_position" -> "ERRMAXL"
int WritePositionErrorTimeRegister(CKX_Setup& setup);    // "time_ERR_pos", flag -> "TERRMAX"
int WriteSpeedErrorRegister(CKX_Setup& setup);           // "ERR_speed" -> "SERRMAX"
int WriteSpeedErrorTimeRegister(CKX_Setup& setup);       // "time_ERR_spd", flag -> "TSERRMAX"
int WriteOptionWord(CKX_Setup& setup);                   // "isBrakeResistor", "LoadSensorType" -> "OSR"
int WriteBrakeVoltageRegister(CKX_Setup& setup);         // "Vbrake" -> "BRAKELIM"

}  // namespace dcdrive
