// Feedback sensor conversions: the sensor configuration word "SCR", the
// encoder resolution registers, the counting directions, the encoder input
// qualification filters, the serial absolute-encoder registers and the timing
// of the serial read-out.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

// Bits of the sensor configuration word "SCR".
inline constexpr int kScrSecondConnectorBit = 10;  // single sensor / load sensor on connector 1
inline constexpr int kScrMotorConnectorBit = 11;   // motor sensor on connector 1 beside a load sensor
inline constexpr int kScrDigitalReferenceBit = 15;
// Bit of "OSR" set when a load sensor is present.
inline constexpr int kOsrLoadSensorBit = 12;

// ---- registers to parameters
int ReadSensorTypes(CKX_Setup& setup);                // "SCR", "OSR" -> "MotorSensorType", "LoadSensorType"
int ReadMotorSensorConnector(CKX_Setup& setup);       // "SCR", "OSR" -> "MotorSensorConnector"
int ReadLoadSensorConnector(CKX_Setup& setup);        // "SCR", "OSR" -> "LoadSensorConnector"
int ReadDigitalReferenceConnector(CKX_Setup& setup);  // "SCR" -> "DigitalReferenceConnector"
int ReadSpeedEstimatorFlag(CKX_Setup& setup);         // "ASR" or "SCR" -> "isSpeedEstimator"
int ReadMotorReverseCounting(CKX_Setup& setup);       // "COUNTINGDIR_MT/_LD" -> "ReverseCounting_MT"
int ReadLoadReverseCounting(CKX_Setup& setup);        // "COUNTINGDIR_MT/_LD" -> "ReverseCounting_LD"
int ReadMotorEncoderFilterFlag(CKX_Setup& setup);     // "QUAL_AQ2/QUAL_BQ2" -> "isFilterEnc_MT"
int ReadLoadEncoderFilterFlag(CKX_Setup& setup);      // "QUAL_AQ2/QUAL_BQ2" -> "isFilterEnc_LD"
int ReadEncoderLines(CKX_Setup& setup);               // "MECRESL" -> "No_encoder_lines"

// Serial absolute encoder registers into the motor set of parameters ...
int ReadSerialMultiTurn(CKX_Setup& setup);        // "SSITURNS" -> "SSI_isMultiTurn"
int ReadSerialRevolutionBits(CKX_Setup& setup);   // "SSIREV" -> "SSI_No_Bits_Revolution"
int ReadSerialTurnBits(CKX_Setup& setup);         // "SSITURNS" -> "SSI_No_Bits_Turns"
int ReadSerialGrayCode(CKX_Setup& setup);         // "SSITYPE" -> "SSI_isGray"
int ReadSerialFrequency(CKX_Setup& setup);        // "SSIBR" -> "SSI_freq"
int ReadSerialReverseCounting(CKX_Setup& setup);  // "SSISENSE" -> "SSI_isReverseCounting"
// ... and into the load set ("_LD").
int ReadLoadSerialMultiTurn(CKX_Setup& setup);
int ReadLoadSerialRevolutionBits(CKX_Setup& setup);
int ReadLoadSerialTurnBits(CKX_Setup& setup);
int ReadLoadSerialGrayCode(CKX_Setup& setup);
int ReadLoadSerialFrequency(CKX_Setup& setup);
int ReadLoadSerialReverseCounting(CKX_Setup& setup);

// ---- parameters to registers
int WriteSensorConfiguration(CKX_Setup& setup);     // -> "SCR"
int WriteMotorCountingDirection(CKX_Setup& setup);  // -> "COUNTINGDIR_MT" (channel 0)
int WriteLoadCountingDirection(CKX_Setup& setup);   // -> "COUNTINGDIR_LD" (channel 1)
int WriteEncoderFilters(CKX_Setup& setup);     // -> "QUAL", "QUAL_ACT", "QUAL_AQ2", "QUAL_BCT", "QUAL_BQ2"
int WriteSinCosFraction(CKX_Setup& setup);     // -> "ELRES_FRACT" and the lowest "SINCOS_fract"
int WriteEncoderResolution(CKX_Setup& setup);  // -> "MECRESL"
int WriteEncoderTurnScale(CKX_Setup& setup);   // -> "ENC2THL"

// Serial absolute encoder registers, from the load set of parameters when the
// load sensor is a serial encoder, else from the motor set.
int WriteSerialTurns(CKX_Setup& setup);           // -> "SSITURNS"
int WriteSerialRevolutionBits(CKX_Setup& setup);  // -> "SSIREV"
int WriteSerialType(CKX_Setup& setup);            // -> "SSITYPE"
int WriteSerialBaudRate(CKX_Setup& setup);        // -> "SSIBR"
int WriteSerialSense(CKX_Setup& setup);           // -> "SSISENSE"
int WriteSerialFeedbackType(CKX_Setup& setup);    // -> "SSIFDBKTYPE"
int CopySerialOffset(CKX_Setup& setup);           // "ZAOFF" := "SSI_Offset"
int WriteSerialClockMode(CKX_Setup& setup);       // -> "SPICLKMODE"
int WriteReadoutClockDivider(CKX_Setup& setup);   // -> "AEI_CLKDIV"
int WriteReadoutPeriod(CKX_Setup& setup);         // -> "AEI_PER"
int WriteReadoutCompareTime(CKX_Setup& setup);    // -> "AEI_CMPTIME"

}  // namespace dcdrive
