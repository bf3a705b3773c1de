// Names of the setup's registers, user parameters, variables and options that
// the conversion engine and the scaling read or write. Each name is spelled
// once here; lookups ignore letter case, so the spelling is the one the drive
// family's setups use.
#pragma once

namespace dcdrive::names {

// ---- clocks and loop timing
inline constexpr const char* kDSP_freq = "DSP_freq";
inline constexpr const char* kDSP2_freq = "DSP2_freq";
inline constexpr const char* kPWMPER = "PWMPER";
inline constexpr const char* kPWM_freq = "PWM_freq";
inline constexpr const char* kPWMperiod = "PWMperiod";
inline constexpr const char* kCLPER = "CLPER";
inline constexpr const char* kSLPER = "SLPER";
inline constexpr const char* kTs_C = "Ts_C";
inline constexpr const char* kTs_S = "Ts_S";
inline constexpr const char* kTs_C_min = "Ts_C_min";
inline constexpr const char* kTs_S_min = "Ts_S_min";

// ---- the upgrade option word and what it holds
inline constexpr const char* kUPGRADE = "UPGRADE";
inline constexpr const char* kPosSpd_in_FastLoop = "PosSpd_in_FastLoop";
inline constexpr const char* kisLimitMaximum = "isLimitMaximum";
inline constexpr const char* kMotionCompleteType = "MotionCompleteType";
inline constexpr const char* kMotionCompleteDefaultSettings = "MotionCompleteDefaultSettings";
inline constexpr const char* kMotionCompleteSettleBand = "MotionCompleteSettleBand";
inline constexpr const char* kMotionCompleteStabilizeTime = "MotionCompleteStabilizeTime";

// ---- PWM saturation
inline constexpr const char* kSATPWM = "SATPWM";
inline constexpr const char* kSATID = "SATID";
inline constexpr const char* kSATIQ = "SATIQ";
inline constexpr const char* kCurrentMeasurementType = "CurrentMeasurementType";

// ---- voltages, currents, analogue converter
inline constexpr const char* kVdc = "Vdc";
inline constexpr const char* kVdcMaxMeasurable = "VdcMaxMeasurable";
inline constexpr const char* kImaxPS = "ImaxPS";
inline constexpr const char* kADCResolution = "ADCResolution";
inline constexpr const char* kADCrange = "ADCrange";
inline constexpr const char* kAnalogueInputsRange = "AnalogueInputsRange";
inline constexpr const char* kDriveTempSensorGain = "DriveTempSensorGain";
inline constexpr const char* kDriveTempOutputAt0oC = "DriveTempOutputAt0oC";

// ---- sensors and transmission
inline constexpr const char* kMotorSensorType = "MotorSensorType";
inline constexpr const char* kLoadSensorType = "LoadSensorType";
inline constexpr const char* kTransmissionType = "TransmissionType";
inline constexpr const char* kMotor_transmission = "Motor_transmission";
inline constexpr const char* kLoad_transmission = "Load_transmission";
inline constexpr const char* kNo_encoder_lines = "No_encoder_lines";
inline constexpr const char* kNo_encoder_lines_LD = "No_encoder_lines_LD";
inline constexpr const char* kSINCOS_fract = "SINCOS_fract";
inline constexpr const char* kSINCOS_fract_LD = "SINCOS_fract_LD";
inline constexpr const char* kSSI_No_Bits_Revolution = "SSI_No_Bits_Revolution";
inline constexpr const char* kSSI_No_Bits_Revolution_LD = "SSI_No_Bits_Revolution_LD";
inline constexpr const char* kResolution_LD = "Resolution_LD";
inline constexpr const char* kSSI_Resolution_LD = "SSI_Resolution_LD";
inline constexpr const char* kTacho_gain = "Tacho_gain";

// ---- control structure
inline constexpr const char* kControlMode = "ControlMode";
inline constexpr const char* kKFFA_scl = "KFFA_scl";

// ---- analogue reference span
inline constexpr const char* kCADIN = "CADIN";
inline constexpr const char* kPOS_max = "POS_max";
inline constexpr const char* kPOS_min = "POS_min";
inline constexpr const char* kSPD_max = "SPD_max";
inline constexpr const char* kSPD_min = "SPD_min";
inline constexpr const char* kCRT_max = "CRT_max";
inline constexpr const char* kCRT_min = "CRT_min";

// ---- serial encoder read-out timing
inline constexpr const char* kAEI_ReadTime1Mhz = "AEI_ReadTime1Mhz";
inline constexpr const char* kAEI_TransferTime = "AEI_TransferTime";
inline constexpr const char* kAEI_GuardTime = "AEI_GuardTime";
inline constexpr const char* kAEI_ComputeTime = "AEI_ComputeTime";

// ---- presence of optional registers and parameters (capability tests)
inline constexpr const char* kisSWLS = "isSWLS";
inline constexpr const char* kisSpeedEstimator = "isSpeedEstimator";
inline constexpr const char* ksave_CAN_baudrate = "save_CAN_baudrate";
inline constexpr const char* ksave_axis_id = "save_axis_id";
inline constexpr const char* kBRAKECFG = "BRAKECFG";
inline constexpr const char* kisMotorBrake = "isMotorBrake";
inline constexpr const char* kPOSOKLIM_FC = "POSOKLIM_FC";
inline constexpr const char* kTONPOSOK_FC = "TONPOSOK_FC";
inline constexpr const char* kInputsPolarityType = "InputsPolarityType";
inline constexpr const char* kIsReverseMovementDirection = "IsReverseMovementDirection";
inline constexpr const char* kII2TWARLIM_D = "II2TWARLIM_D";
inline constexpr const char* kI2TWARLIM_M = "I2TWARLIM_M";
inline constexpr const char* kELRES_FRACT = "ELRES_FRACT";
inline constexpr const char* kMECRESL = "MECRESL";
inline constexpr const char* kERRMAXL = "ERRMAXL";
inline constexpr const char* kSPICLKMODE = "SPICLKMODE";
inline constexpr const char* kIQREF_BQ_INI = "IQREF_BQ_INI";
inline constexpr const char* kisAutoActivatedAfterPowerOn = "isAutoActivatedAfterPowerOn";
inline constexpr const char* kPOSRANGEDEF = "POSRANGEDEF";
inline constexpr const char* kSpeedForward = "SpeedForward";
inline constexpr const char* kReverseCounting_MT = "ReverseCounting_MT";
inline constexpr const char* kReverseCounting_LD = "ReverseCounting_LD";
inline constexpr const char* kisFilterEnc_MT = "isFilterEnc_MT";
inline constexpr const char* kFilterEncValue_MT = "FilterEncValue_MT";
inline constexpr const char* kisFilterEnc_LD = "isFilterEnc_LD";
inline constexpr const char* kFilterEncValue_LD = "FilterEncValue_LD";
inline constexpr const char* kSpeedTestReferenceType = "SpeedTestReferenceType";
inline constexpr const char* kLimit_Speed_MaxPercent = "Limit_Speed_MaxPercent";

// ---- string options describing the drive variant
inline constexpr const char* kOptHasNegTransmission = "hasNegTransmission";
inline constexpr const char* kOptNewSpeedEstimator = "newSpeedEstimator";
inline constexpr const char* kOptDisableBrake = "DisableBrake";
inline constexpr const char* kOptMaxFilters = "MaxFilters";
inline constexpr const char* kOptSSIMaxBits = "SSIMaxBits";
inline constexpr const char* kOptIsInputsTypeProgrammable = "IsInputsTypeProgrammable";
inline constexpr const char* kOptHideEnablePolarity = "hideEnablePolarity";
inline constexpr const char* kOptNewDeadBand = "NewDeadBand";
inline constexpr const char* kOptReadSSIonSL = "ReadSSIonSL";

}  // namespace dcdrive::names
