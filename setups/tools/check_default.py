#!/usr/bin/env python3
"""Checks the drive family's default setup (setups/default.json).

The drive registers and the user parameters of a setup describe the same
configuration twice. This script recomputes every register from the user
parameters and every user parameter from the registers, and reports where the
two views disagree by more than the drive's rounding allows. It also checks
the file's form: unique names (letter case ignored), known units, storage
types and limits, the drive description and the options, and that the setup
holds every parameter, variable and option that the dialogs bind or read.

Usage: check_default.py [path/to/default.json]   (exit status 1 on findings)
"""

import json
import math
import os
import sys

PI = math.pi
TWO_PI = 2 * math.pi

# Units the host knows, by unit type; the first of each type is the base unit.
UNIT_TYPES = [
    ["", "counts", "lines", "bits", "%"],
    ["A", "mA"], ["V", "mV"], ["V "], ["s", "ms", "\u00b5s"], ["Hz", "kHz", "MHz"],
    ["rad", "rot", "deg"], ["m", "mm", "\u00b5m"], ["rad/s", "rpm", "rot/s"], ["m/s", "mm/s"],
    ["rad/s^2", "rot/s^2"], ["m/s^2", "mm/s^2"], ["rad/s^3", "rot/s^3"], ["m/s^3", "mm/s^3"],
    ["\u00b0C"], ["V/\u00b0C", "mV/\u00b0C"], ["V/s"], ["A/s"], ["Ohm", "mOhm"], ["H", "mH", "\u00b5H"], ["kgm^2", "kgcm^2"],
    ["kg", "g"], ["Nm", "mNm"], ["N"], ["Nm/A", "mNm/A"], ["N/A"], ["V/(rad/s)", "V/krpm"],
    ["V/(m/s)"], ["m/count", "\u00b5m/count"],
]
KNOWN_UNITS = {u for t in UNIT_TYPES for u in t}

STORAGE = {1: (-32768, 32767), 2: (0, 65535), 3: (-2147483648, 2147483647),
           4: (0, 4294967295), 5: (-32768, 32767.99998474121)}
# Words of drive memory that a variable of each storage type takes.
STORAGE_WORDS = {1: 1, 2: 1, 3: 2, 4: 2, 5: 2}
# The drive-resident programs keep their own variables from this address on.
PROGRAM_REGION = 0x4000

# Drive words that carry a mixed-case name; they hold integers like any register.
MIXED_CASE_WORDS = {"aar_table", "lss_active"}
# User parameters in physical units whose names happen to hold no lower-case letter.
UPPER_CASE_USER = {"r", "l", "k", "umax_prot", "umin_prot", "pb_c", "pb_s", "pb_p", "tpp", "tnp", "tps", "tns"}


def is_word(name):
    key = name.lower()
    return key in MIXED_CASE_WORDS or (name.upper() == name and key not in UPPER_CASE_USER)

REQUIRED_OPTIONS = {
    "MaxFilters": "10", "SSIMaxBits": "31", "hasNegTransmission": "1", "newSpeedEstimator": "1",
    "IsInputsTypeProgrammable": "1",
}
OFF_OPTIONS = ["DisableBrake", "DisableMotorTemperature", "hideEnablePolarity", "ReadSSIonSL"]

# Parameters whose presence switches a group of conversions on.
CAPABILITY_NAMES = [
    "CADIN", "isSWLS", "isSpeedEstimator", "save_CAN_baudrate", "save_axis_id", "BRAKECFG", "isMotorBrake",
    "POSOKLIM_FC", "TONPOSOK_FC", "InputsPolarityType", "IsReverseMovementDirection", "II2TWARLIM_D",
    "I2TWARLIM_M", "ELRES_FRACT", "MECRESL", "ERRMAXL", "SPICLKMODE", "IQREF_BQ_INI",
    "isAutoActivatedAfterPowerOn", "POSRANGEDEF", "MotionCompleteDefaultSettings", "SpeedForward",
    "ReverseCounting_MT", "ReverseCounting_LD", "isFilterEnc_MT", "FilterEncValue_MT", "isFilterEnc_LD",
    "FilterEncValue_LD", "SINCOS_fract", "SSI_Resolution_LD", "SpeedTestReferenceType", "BQ1B0",
    "PosSpd_in_FastLoop",
]
# Display units of load-side quantities for a rotary load; the host would switch any other unit back.
ROTARY_UNITS = {
    "Load_transmission": "rot", "TestPosition": "rot", "ERR_position": "rot", "TestSpeed": "rpm",
    "Limit_Speed": "rad/s", "ERR_speed": "rad/s", "POS_max": "rot", "POS_min": "rot", "SPD_max": "rpm",
    "SPD_min": "rpm", "ErefMaxSpeed": "rpm", "ErefMaxAcceleration": "rad/s^2", "FreezeControl_errband": "rot",
    "MotionCompleteSettleBand": "rot", "Negative_SWLS": "rot", "Positive_SWLS": "rot", "PosRange_Minimum": "rot",
    "PosRange_Maximum": "rot",
}
ROTARY_VARIABLE_UNITS = dict(
    [(n, "rot") for n in ("Load_Position", "Target_Position", "Position_Error", "Pulse_Dir_Input_Position", "APOS",
                          "APOS_LD", "CAPPOS", "CPOS", "EREFP", "ERRMAX", "ERRMAXL", "HOMEPOS", "POSERR", "POSINIT",
                          "POSOKLIM", "POSTRIGG1", "POSTRIGG2", "POSTRIGG3", "POSTRIGG4", "TPOS", "TPOSFAST")]
    + [(n, "rpm") for n in ("Load_Speed", "Target_Speed", "Speed_Reference", "Speed_Error", "Pulse_Dir_Input_Speed",
                            "ASPD_LD", "CSPD", "EREFS", "HOMESPD", "SERRMAX", "SPDERR", "SPDREF", "TSPD")]
    + [(n, "rad/s^2") for n in ("CACC", "CDEC", "TACC")] + [("JERK", "rad/s^3")])
ABSENT_NAMES = ["DSP2_freq"] + ["BQ%d%s_F" % (s, c) for s in range(1, 11) for c in ("B0", "B1", "B2", "A1", "A2")]
REQUIRED_VARIABLES = [
    "CADIN", "AD2", "AD2FIL_VAL", "AD5", "Motor_Position", "APOS_MT", "ASPD_MT", "ASPD", "Motor_Speed",
    "Motor_Speed_Reference", "SPDREF", "SPDREFL", "Load_Position", "Load_Speed", "Target_Position",
    "Target_Speed", "Speed_Reference", "Position_Error", "Speed_Error", "Pulse_Dir_Input_Speed",
    "Pulse_Dir_Input_Position", "APOS", "APOS_LD", "ASPD_LD", "CACC", "CAPPOS", "CDEC", "CPOS", "CSPD",
    "EREFP", "EREFS", "ERRMAX", "ERRMAXL", "HOMEPOS", "HOMESPD", "JERK", "POSERR", "POSINIT", "POSOKLIM",
    "POSTRIGG1", "POSTRIGG2", "POSTRIGG3", "POSTRIGG4", "SERRMAX", "SPDERR", "TACC", "TPOS", "TPOSFAST", "TSPD",
]

# What each dialog binds or reads through the setup: parameters, drive variables and options. The
# filters editor also binds the rows "BQFilter%d" ... of every filter that "MaxFilters" allows (BQ_ROW_NAMES).
DIALOG_NAMES = {
    "Filters": (
        ["IQREF_BQ_INI", "PosSpd_in_FastLoop"],
        [],
        ["MaxFilters"],
    ),
    "setup editor base": (
        ["Kd_P_scl", "KDP", "KFFA", "KFFA_scl", "KFFS", "KFFS_scl", "Ki_C_scl", "Ki_P_scl", "Ki_S_scl", "KII",
         "KIP", "KIS", "Kp_C_scl", "Kp_P_scl", "Kp_S_scl", "KPI", "KPP", "KPS", "SFTAFFW", "SFTKDP", "SFTKFF",
         "SFTKII", "SFTKIP", "SFTKIS", "SFTKPI", "SFTKPP", "SFTKPS", "SFTSFFW"],
        [],
        [],
    ),
    "Drive Setup": (
        ["ASR", "Axis_ID_list", "CADIN", "ControlMode", "DigitalReferenceType", "EnablePolarity",
         "ERR_position", "ERR_speed", "ExternalReference", "filter_D", "GEARMASTER", "GEARSLAVE", "I_I2t_M",
         "IlimPS", "Imax_Prot", "InputsPolarityType", "IPSatP", "IPSatS", "isAnalogueReference",
         "isAutoActivatedAfterPowerOn", "isBrakeResistor", "isFreezeControl", "isMotorI2t", "isMotorOverTemp",
         "isMotorTemperatureSensor", "isOverCurrent", "isPositionControlError", "isPosRange",
         "isSpeedControlError", "isSWLS", "Kd_P_scl", "KFFA_scl", "KFFS_scl", "Ki_C_scl", "Ki_P_scl",
         "Ki_S_scl", "Kp_C_scl", "Kp_P_scl", "Kp_S_scl", "Limit_Speed", "LoadSensorType", "LSNPolarity",
         "LSPPolarity", "MAXPOSRANGE", "MINPOSRANGE", "MotionCompleteDefaultSettings",
         "MotionCompleteSettleBand", "MotionCompleteStabilizeTime", "MotionCompleteType", "MotorSensorType",
         "Negative_SWLS", "PositionControlType", "Positive_SWLS", "PosRange_Maximum", "PosRange_Minimum",
         "POSRANGEDEF", "PosSpd_in_FastLoop", "SATP", "save_axis_id", "save_CAN_baudrate", "SpeedForward",
         "t_I2t_M", "time_ERR_pos", "time_ERR_spd", "time_Imax_Prot", "Vbrake", "Vdc"],
        ["CADIN"],
        ["DisableBrake", "DisableMotorTemperature", "hideEnablePolarity", "IsInputsTypeProgrammable"],
    ),
    "DC Motor Setup": (
        ["BRAKECFG", "ControlMode", "ELRES_FRACT", "ExternalReference", "FilterEncValue_LD",
         "FilterEncValue_MT", "ImaxM", "In", "isAnalogueReference", "isFilterEnc_LD", "isFilterEnc_MT",
         "isFreezeControl", "isMotorBrake", "isMotorInertiaUnknown", "isMotorOverTemp",
         "isMotorTemperatureSensor", "IsReverseMovementDirection", "isSWLS", "Jm", "K", "L",
         "Load_transmission", "LoadSensorConnector", "LoadSensorType", "Motor_TempSensor_Type",
         "Motor_transmission", "MotorBrake_applytime", "MotorBrake_output", "MotorBrake_releasetime",
         "MotorSensorConnector", "MotorSensorType", "No_encoder_lines", "No_encoder_lines_LD",
         "PositionControlType", "R", "Resolution_LD", "ReverseCounting_LD", "ReverseCounting_MT",
         "SINCOS_fract", "SINCOS_fract_LD", "SSI_freq", "SSI_freq_LD", "SSI_isGray", "SSI_isGray_LD",
         "SSI_isMultiTurn", "SSI_isMultiTurn_LD", "SSI_isReverseCounting", "SSI_isReverseCounting_LD",
         "SSI_No_Bits_Revolution", "SSI_No_Bits_Revolution_LD", "SSI_No_Bits_Turns", "SSI_No_Bits_Turns_LD",
         "SSI_Offset", "SSI_Resolution_LD", "Tacho_gain", "TransmissionType"],
        [],
        ["hasNegTransmission", "SSIMaxBits"],
    ),
    "Advanced": (
        ["AEI_ComputeTime", "AEI_GuardTime", "AEI_ReadTime1Mhz", "AEI_TransferTime", "CLPER", "ControlMode",
         "DSP_freq", "FreezeControl_errband", "FreezeControl_time", "I_I2t_D", "I_I2t_M", "isFreezeControl",
         "isSpeedEstimator", "LoadSensorType", "MotorSensorType", "PositionControlType", "POSOKLIM_FC",
         "PosSpd_in_FastLoop", "PWM_freq", "PWMPER", "PWMperiod", "SATPWM", "SINCOS_fract", "SINCOS_fract_LD",
         "SLPER", "SpeedForward", "SSI_freq", "SSI_freq_LD", "t_I2t_D", "t_I2t_M", "TaNP", "TaNS", "TaPP",
         "TaPS", "TestSpeed", "TNP", "TNS", "TONPOSOK_FC", "TPP", "TPS", "Ts_C", "Ts_C_min", "Ts_S",
         "Ts_S_min"],
        [],
        ["newSpeedEstimator"],
    ),
    "External Reference Setup": (
        ["AnalogueInputsRange", "CADIN", "ControlMode", "CRT_max", "CRT_min", "DeadBand_Point",
         "DeadBand_Range", "DigitalReferenceConnector", "DigitalReferenceType", "ErefMaxAcceleration",
         "ErefMaxSpeed", "filter", "GEARMASTER", "GEARSLAVE", "isAnalogueReference", "isLimitMaximum",
         "POS_max", "POS_min", "SPD_max", "SPD_min", "UseFilter"],
        ["CADIN"],
        ["DisableExternalDigitalReference"],
    ),
    "Drive info": (
        ["AnalogueInputsRange", "DriveTempOutputAt0oC", "DriveTempSensorGain", "I_I2t_D", "ImaxPS", "InPS",
         "isDriveI2t", "isDriveOverTemp", "isDriveTemperatureSensor", "isOverVoltage", "isUnderVoltage",
         "t_I2t_D", "Temp_2", "UMAX_PROT", "UMIN_PROT", "VdcMaxMeasurable", "VLOG_max", "VLOG_min", "VMOT_max",
         "VMOT_min"],
        [],
        [],
    ),
    "Motor inertia": (
        ["isMotorInertiaUnknown", "Jm", "Jt"],
        [],
        [],
    ),
    "Current Controller Tuning Test": (
        ["FFL", "FilterOnCurrentControllerOutput", "FILTERQ", "Imax_Prot", "isCompensateGravitationalLoads",
         "isUseFilterOnCrtCtrlOutput", "Ki_C_scl", "KII", "Kp_C_scl", "KPI", "OffsetCurrent", "PB_C", "SFTKII",
         "SFTKPI", "TestCurrent", "TestProtectionCurrent"],
        ["Current_Reference", "KII", "KPI", "Motor_Current", "SFTKII", "SFTKPI", "Voltage_Reference"],
        [],
    ),
    "Speed Controller Tuning Test": (
        ["ControlMode", "IlimPS", "Imax_Prot", "IMAXS", "IPSatS", "isMotorInertiaUnknown", "isSpeedEstimator",
         "Jload_over_J", "Jm", "Jt", "KFFA", "KFFA_scl", "KFFS", "KFFS_scl", "Ki_S_scl", "KIS", "Kp_S_scl",
         "KPS", "Limit_Speed", "MultiCycleS", "OnlinePlotS", "PB_S", "PosSpd_in_FastLoop", "SFTAFFW", "SFTKFF",
         "SFTKIS", "SFTKPS", "SFTSFFW", "SpeedForward", "SpeedTestReferenceType", "TaNS", "TaPS",
         "TestLimitCurrent", "TestProtectionCurrent", "TestSpeed", "TNS", "TPS"],
        ["Current_Reference", "IMAXS", "KFFA", "KFFS", "KIS", "KPS", "Load_Speed", "Motor_Current", "SFTAFFW",
         "SFTKFF", "SFTKIS", "SFTKPS", "SFTSFFW", "Speed_Reference"],
        ["hasOscilloscope", "SpeedTuningOscSettings"],
    ),
    "Position Controller Tuning Test": (
        ["ControlMode", "filter_D", "IlimPS", "Imax_Prot", "IMAXP", "IMAXS", "IPSatP", "isMotorInertiaUnknown",
         "Jload_over_J", "Jt", "Kd_P_scl", "KDFP", "KDP", "KFFA", "KFFA_scl", "KFFS", "KFFS_scl", "Ki_P_scl",
         "KIP", "Kp_P_scl", "KPP", "Limit_Speed", "MotionCompleteDefaultSettings", "MotionCompleteSettleBand",
         "MotionCompleteStabilizeTime", "MotionCompleteType", "MultiCycleP", "OnlinePlotP", "PB_P",
         "PositionControlType", "PositionTestReferenceType", "PosSpd_in_FastLoop", "SATP", "SATS", "SFTAFFW",
         "SFTKDP", "SFTKFF", "SFTKIP", "SFTKPP", "SFTSFFW", "SpeedForward", "SpeedTestReferenceType", "TaNP",
         "TaNS", "TaPP", "TaPS", "TestLimitCurrent", "TestPosition", "TestProtectionCurrent", "TestSpeed",
         "TNP", "TNS", "TPP", "TPS"],
        ["Current_Reference", "IMAXP", "KDFP", "KDP", "KFFA", "KFFS", "KIP", "KPP", "Load_Position", "Load_Speed",
         "Motor_Current", "SFTAFFW", "SFTKDP", "SFTKFF", "SFTKIP", "SFTKPP", "SFTSFFW", "Speed_Reference",
         "Target_Position"],
        ["PositionTuningOscSettings"],
    ),
    "Analogue Reference Test": (
        ["AnalogueInputsRange", "ControlMode", "CRT_max", "CRT_min", "POS_max", "POS_min", "SPD_max",
         "SPD_min"],
        ["AD5"],
        [],
    ),
    "Encoder Connections Test": (
        ["LoadSensorType", "MotorSensorType", "No_encoder_lines", "No_encoder_lines_LD", "SINCOS_fract",
         "SINCOS_fract_LD", "SSI_No_Bits_Revolution", "SSI_No_Bits_Revolution_LD", "SSITYPE"],
        ["APOS_LD", "APOS_MT", "var_i2"],
        [],
    ),
    "VDC Detection Test": (
        ["Vdc", "VdcMaxMeasurable"],
        ["var_u2"],
        [],
    ),
    "Total inertia test": (
        ["ADCResolution", "AnalogueInputsRange", "DSP_freq", "Imax_Prot", "ImaxPS", "Jt", "K",
         "MotorSensorType", "PWMPER", "SLPER", "Tacho_gain", "TestCurrent", "TestMaxSpeed",
         "TestProtectionCurrent"],
        [],
        [],
    ),
    "test base": (
        [],
        ["AD5", "APOS_MT", "MER", "var_u2"],
        [],
    ),
}
BQ_ROW_NAMES = ["BQFilter%d", "BQFilterType%d", "BQFilterLocation%d", "BQFilterQ%d", "BQFilterF1%d", "BQFilterF2%d"]
# Parameters that dialogs show as a check box or a two-way choice: 0 or 1, nothing in between.
FLAG_NAMES = [
    "isMotorInertiaUnknown", "OnlinePlotS", "MultiCycleS", "OnlinePlotP", "MultiCycleP", "UseFilter", "isLimitMaximum",
    "isUseFilterOnCrtCtrlOutput", "isCompensateGravitationalLoads", "save_CAN_baudrate", "save_axis_id",
    "MotionCompleteDefaultSettings", "ReverseCounting_MT", "ReverseCounting_LD", "isDriveTemperatureSensor",
    "isMotorTemperatureSensor", "isOverCurrent", "isMotorI2t", "isMotorOverTemp", "isDriveOverTemp", "isOverVoltage",
    "isUnderVoltage", "isDriveI2t", "isBrakeResistor", "isPositionControlError", "isSpeedControlError", "isSWLS",
    "isPosRange", "isFreezeControl", "isMotorBrake", "isSpeedEstimator", "isFilterEnc_MT", "isFilterEnc_LD",
    "IsReverseMovementDirection", "isAutoActivatedAfterPowerOn", "isAnalogueReference", "ExternalReference",
]


class Checker:
    def __init__(self, setup):
        self.setup = setup
        self.problems = []
        self.fractional = []
        self.params = {}
        for p in setup.get("parameters", []):
            key = p["name"].lower()
            if key in self.params:
                self.fail("parameter %s appears twice (letter case ignored)" % p["name"])
            self.params[key] = p
        self.options = {k.lower(): v for k, v in setup.get("options", {}).items()}
        self.adc_max = float((2 ** setup.get("drive", {}).get("adcBits", 12) - 1) * 16)

    def fail(self, text):
        self.problems.append(text)

    def has(self, name):
        return name.lower() in self.params

    def v(self, name):
        p = self.params.get(name.lower())
        if p is None:
            raise KeyError(name)
        return float(p["value"])

    def opt(self, name):
        return leading_int(self.options.get(name.lower(), ""))

    # ---- derived quantities
    def clock(self):
        return self.v("DSP2_freq") if self.has("DSP2_freq") else self.v("DSP_freq")

    def tc(self):
        return 2 * self.v("CLPER") * self.v("PWMPER") / self.v("DSP_freq")

    def tsl(self):
        return 2 * self.v("SLPER") * self.v("PWMPER") / self.v("DSP_freq")

    def cs(self):
        return self.adc_max / (2 * self.v("ImaxPS"))

    def vms(self):
        return self.adc_max / self.v("VdcMaxMeasurable")

    def vcs(self):
        return 32767 / self.v("Vdc")

    def sensor_scale(self, kind, lines, fract, bits):
        if kind == 1:
            return 4 * lines / TWO_PI
        if kind == 3:
            return 2 ** (int(fract) % 32) * 2 * lines / PI
        if kind in (4, 5):
            return 2 ** bits / TWO_PI
        return 1.0

    def mps(self):
        return self.sensor_scale(int(self.v("MotorSensorType")), self.v("No_encoder_lines"),
                                 self.v("SINCOS_fract"), self.v("SSI_No_Bits_Revolution"))

    def ratio(self):
        return self.v("Motor_transmission") / self.v("Load_transmission")

    def ps(self):
        load = int(self.v("LoadSensorType"))
        linear = int(self.v("TransmissionType")) != 0
        if load == 0:
            kind = int(self.v("MotorSensorType"))
            return self.ratio() * self.mps() if kind in (1, 3, 4, 5) else 1.0
        if load == 1:
            return 1 / self.v("Resolution_LD") if linear else 4 * self.v("No_encoder_lines_LD") / TWO_PI
        if load == 3:
            f = 2 ** self.v("SINCOS_fract_LD")
            return f / self.v("Resolution_LD") if linear else f * 2 * self.v("No_encoder_lines_LD") / PI
        if load in (4, 5):
            return 1 / self.v("SSI_Resolution_LD") if linear else 2 ** self.v("SSI_No_Bits_Revolution_LD") / TWO_PI
        return 1.0

    def ss(self):
        if int(self.v("MotorSensorType")) == 2 and int(self.v("LoadSensorType")) == 0:
            return self.ratio() * self.v("ADCResolution") * self.v("Tacho_gain") / self.v("AnalogueInputsRange")
        return self.ps() * self.tsl()

    def mss(self):
        if int(self.v("MotorSensorType")) != 2:
            return self.mps() * self.tsl()
        return self.v("ADCResolution") * self.v("Tacho_gain") / self.v("AnalogueInputsRange")

    def smf(self):
        return self.v("AEI_ReadTime1Mhz") * 1e6 / (self.tc() - 1 / self.v("DSP_freq") - self.v("AEI_TransferTime")
                                                  - self.v("AEI_GuardTime") - self.v("AEI_ComputeTime"))

    # ---- the file's form
    def check_form(self):
        for key, p in self.params.items():
            name, unit, typ = p["name"], p.get("unit", ""), p.get("type", 0)
            value = float(p["value"])
            lo, hi = float(p.get("min", -math.inf)), float(p.get("max", math.inf))
            if unit not in KNOWN_UNITS:
                self.fail("%s: unknown unit %r" % (name, unit))
            if not lo <= value <= hi:
                self.fail("%s: value %r outside [%r, %r]" % (name, value, lo, hi))
            if is_word(name):
                if typ not in STORAGE:
                    self.fail("%s: register without a storage type" % name)
                    continue
                if unit != "":
                    self.fail("%s: register with unit %r" % (name, unit))
                slo, shi = STORAGE[typ]
                if (lo, hi) != (slo, shi):
                    self.fail("%s: limits [%r, %r] are not those of type %d" % (name, lo, hi, typ))
                if typ != 5 and value != math.floor(value):
                    self.fail("%s: register value %r is not whole" % (name, value))
            elif typ != 0:
                self.fail("%s: user parameter of type %d" % (name, typ))
        for name in CAPABILITY_NAMES:
            if not self.has(name):
                self.fail("missing parameter %s" % name)
        for name in ABSENT_NAMES:
            if self.has(name):
                self.fail("parameter %s must not be present" % name)
        variables = {}
        for var in self.setup.get("variables", []):
            key = var["name"].lower()
            if key in variables:
                self.fail("variable %s appears twice" % var["name"])
            variables[key] = var
            if var.get("unit", "") not in KNOWN_UNITS:
                self.fail("variable %s: unknown unit %r" % (var["name"], var.get("unit")))
            if var.get("type") not in STORAGE:
                self.fail("variable %s: bad type %r" % (var["name"], var.get("type")))
        for name in REQUIRED_VARIABLES:
            if name.lower() not in variables:
                self.fail("missing variable %s" % name)
        self.check_variable_memory(variables)
        if int(self.params.get("transmissiontype", {}).get("value", 0)) == 0:
            for name, unit in ROTARY_UNITS.items():
                if self.has(name) and self.params[name.lower()].get("unit") != unit:
                    self.fail("%s should show in %r on a rotary load" % (name, unit))
            for name, unit in ROTARY_VARIABLE_UNITS.items():
                if name.lower() in variables and variables[name.lower()].get("unit") != unit:
                    self.fail("variable %s should show in %r on a rotary load" % (name, unit))
        for name, text in REQUIRED_OPTIONS.items():
            if self.options.get(name.lower()) != text:
                self.fail("option %s should be %r" % (name, text))
        for name in OFF_OPTIONS:
            if self.opt(name) == 1:
                self.fail("option %s is on" % name)

    def check_variable_memory(self, variables):
        """Each variable has its own words of drive memory below the programs' region, and a variable that
        is a register of the setup (a gain written to the drive during a run) has the register's storage type."""
        owner = {}
        for var in variables.values():
            address, words = var.get("address"), STORAGE_WORDS.get(var.get("type"), 1)
            if not isinstance(address, int) or address < 0 or address + words > PROGRAM_REGION:
                self.fail("variable %s: address %r is not below the programs' region 0x%X" % (
                    var["name"], address, PROGRAM_REGION))
                continue
            for word in range(address, address + words):
                if word in owner:
                    self.fail("variable %s overlaps %s at address %d" % (var["name"], owner[word], word))
                owner[word] = var["name"]
            register = self.params.get(var["name"].lower())
            if register is not None and is_word(register["name"]):
                if register.get("type") != var.get("type"):
                    self.fail("variable %s: held as type %r; its register is of type %r" % (
                        var["name"], var.get("type"), register.get("type")))

    def check_drive(self):
        drive = self.setup.get("drive", {})
        for key in ("ssiFrequencies", "ssiFrequenciesLD", "bissFrequencies", "bissFrequenciesLD"):
            lst = drive.get(key, {})
            khz, modes = lst.get("kHz", []), lst.get("modes", [])
            if not khz or len(khz) != len(modes):
                self.fail("drive %s: frequency and mode lists differ in length or are empty" % key)
            if any(b <= a for a, b in zip(khz, khz[1:])):
                self.fail("drive %s: frequencies not ascending" % key)
        ports = {e["pin"]: e["port"] for e in drive.get("ioPorts", [])}
        if len(set(ports.values())) != len(ports):
            self.fail("drive ioPorts: a port is listed for two pins")
        lines = drive.get("sensorLines", [])
        if len(lines) != len(drive.get("feedbackNames", [])):
            self.fail("drive: one sensor line per feedback connector is expected")
        if sorted(drive.get("motorSensors", [])) != [1, 2, 3, 4, 5] or sorted(drive.get("loadSensors", [])) != [1, 3, 4, 5]:
            self.fail("drive: sensor lists differ from the family's")
        return ports, lines

    # ---- registers from user parameters
    def gain_pair(self, x):
        shift = 0 if x <= 1 else math.ceil(math.log(x) / math.log(2))
        return x * 32767 / 2 ** shift, shift

    def forward(self, ports):
        v, cs, ps, ss, tsl = self.v, self.cs(), self.ps(), self.ss(), self.tsl()
        exp = {}
        trunc = set()  # registers the drive computes by truncation
        exp["PWMPER"] = v("DSP_freq") * 0.5 / v("PWM_freq")
        exp["SATPWM"] = 0 if v("CurrentMeasurementType") == 0 else v("PWM_freq") * 0.13107
        exp["SATID"] = exp["SATIQ"] = exp["SATPWM"]
        upgrade = int(v("UPGRADE")) & 0x7FFF & ~(0x4 | 0x40 | 0x800)
        upgrade |= 0x4 if v("isLimitMaximum") == 1 else 0
        if v("PosSpd_in_FastLoop") == 1 and int(v("MotorSensorType")) == 1 and int(v("LoadSensorType")) == 0:
            upgrade |= 0x40
        upgrade |= 0x800 if int(v("MotionCompleteType")) == 0 else 0
        exp["UPGRADE"] = upgrade
        exp["MTSTYPE"] = 1 if int(v("Motor_TempSensor_Type")) == 1 else 0
        exp["UMAXPROT"] = math.trunc(v("UMAX_PROT") * self.vms())
        exp["UMINPROT"] = v("UMIN_PROT") * self.vms()
        exp["BRAKELIM"] = v("Vbrake") * self.vms()
        exp["T2MAXPROT"] = self.adc_max * (v("DriveTempOutputAt0oC") + v("DriveTempSensorGain") * v("Temp_2")) / v("ADCrange")
        exp["T1MAXPROT"] = 32767
        exp["IMAXPROT"] = v("Imax_Prot") * cs
        exp["TIMAXPROT"] = v("time_Imax_Prot") / v("Ts_S")
        exp["II2TPROT_D"] = v("InPS") * cs
        exp["II2TPROT_M"] = v("In") * cs
        exp["SFI2T_D"] = v("Ts_S") * 67108864 / v("t_I2t_D")
        exp["SFI2T_M"] = v("Ts_S") * 67108864 / v("t_I2t_M")
        head_d = (v("I_I2t_D") ** 2 - v("InPS") ** 2) * cs ** 2 * 0.0625
        head_m = (v("I_I2t_M") ** 2 - v("In") ** 2) * cs ** 2 * 0.0625
        exp["I2TINTLIM_D"], exp["I2TINTLIM_M"] = head_d, head_m
        exp["II2TWARLIM_D"] = head_d * (1 - 2 / v("t_I2t_D"))
        exp["I2TWARLIM_M"] = head_m * (1 - 2 / v("t_I2t_M"))
        exp["ERRMAX"] = exp["ERRMAXL"] = v("ERR_position") * abs(ps)
        exp["TERRMAX"] = v("time_ERR_pos") / v("Ts_S") if int(v("isPositionControlError")) == 1 else 65535
        exp["SERRMAX"] = v("ERR_speed") * abs(ss)
        exp["TSERRMAX"] = v("time_ERR_spd") / v("Ts_S") if int(v("isSpeedControlError")) == 1 else 65535
        pcr = int(v("PCR")) & 0xFF40
        for bit, flag in ((0x80, "isDriveI2t"), (0x20, "isUnderVoltage"), (0x10, "isOverVoltage"),
                          (0x8, "isDriveOverTemp"), (0x4, "isMotorOverTemp"), (0x2, "isMotorI2t"), (0x1, "isOverCurrent")):
            pcr |= bit if int(v(flag)) == 1 else 0
        exp["PCR"] = pcr
        osr = int(v("OSR")) & ~0x1200
        osr |= 0x200 if int(v("isBrakeResistor")) == 1 and self.opt("DisableBrake") != 1 else 0
        osr |= 0x1000 if int(v("LoadSensorType")) != 0 else 0
        exp["OSR"] = osr
        exp["SCR"] = self.scr()
        exp["ACR"] = self.acr()
        exp["ASR"] = self.asr()
        exp["AAR_table"] = v("Axis_ID_list") + 256 if int(v("Axis_ID_list")) != 0 else 0
        for m, s, user in (("KPI", "SFTKPI", "Kp_C_scl"), ("KII", "SFTKII", "Ki_C_scl"), ("KPS", "SFTKPS", "Kp_S_scl"),
                           ("KIS", "SFTKIS", "Ki_S_scl"), ("KPP", "SFTKPP", "Kp_P_scl"), ("KIP", "SFTKIP", "Ki_P_scl"),
                           ("KDP", "SFTKDP", "Kd_P_scl"), ("KFFS", "SFTSFFW", "KFFS_scl")):
            exp[m], exp[s] = self.gain_pair(v(user))
        shift = 0 if v("KFFA_scl") <= 1 else math.ceil(math.log(v("KFFA_scl")) / math.log(2))
        exp["SFTAFFW"], exp["SFTKFF"] = min(shift, 11), max(shift - 11, 0)
        exp["KFFA"] = v("KFFA_scl") * 32767 / 2 ** shift
        exp["KDFP"] = v("filter_D") * 32767
        exp["KFFL"] = 32767
        exp["FFL"] = v("OffsetCurrent") * cs if int(v("isCompensateGravitationalLoads")) != 0 else 0
        if v("isUseFilterOnCrtCtrlOutput") == 0:
            exp["FILTERQ"] = 32767
        else:
            exp["FILTERQ"] = math.trunc((1 - math.exp(-v("FilterOnCurrentControllerOutput") * self.tc())) * 32767)
            trunc.add("FILTERQ")
        exp["SATS"] = 32767 - v("IlimPS") * cs
        exp["IMAXS"] = 32767 - v("IlimPS") * v("IPSatS") / 100 * cs
        speed_limited = v("ControlMode") == 1 or (v("ControlMode") == 0 and v("PositionControlType") == 1)
        exp["SATP"] = 32767 - (v("Limit_Speed") * abs(ss) if speed_limited else v("IlimPS") * cs)
        if v("PositionControlType") == 1 and v("ControlMode") == 0:
            exp["IMAXP"] = 32767 - v("Limit_Speed") * v("IPSatP") / 100 * abs(self.mss()) * abs(self.ratio())
        else:
            exp["IMAXP"] = 32767 - v("IlimPS") * v("IPSatP") / 100 * abs(cs)
        if ps > 0:
            exp["SWNEGLS"], exp["SWPOSLS"] = v("Negative_SWLS") * ps, v("Positive_SWLS") * ps
        else:
            exp["SWPOSLS"], exp["SWNEGLS"] = v("Negative_SWLS") * ps, v("Positive_SWLS") * ps
        exp["CACC"] = v("ErefMaxAcceleration") * abs(ss * tsl)
        exp["CSPD"] = v("ErefMaxSpeed") * abs(ss)
        exp.update(self.reference(ps, cs, ss))
        exp["GEAR"] = v("GEARSLAVE") / v("GEARMASTER")
        exp["DIGIN_ACTIVE_LEVEL"] = ((int(v("DIGIN_ACTIVE_LEVEL")) & 0x1FFF)
                                     | (0x8000 if v("EnablePolarity") == 1 else 0)
                                     | (0x4000 if v("LSNPolarity") == 1 else 0)
                                     | (0x2000 if v("LSPPolarity") == 1 else 0))
        exp["LSS_Active"] = (1 if v("save_axis_id") != 1 else 0) | (2 if v("save_CAN_baudrate") != 1 else 0)
        exp.update(self.counting_and_filters())
        pin = {port: p for p, port in ports.items()}.get(int(v("MotorBrake_output")), -1)
        exp["BRAKECFG"] = pin * 256 + (1 if v("isMotorBrake") != 0 else 0)
        exp["BRAKEAPPLYDELAY"] = v("MotorBrake_applytime") / v("Ts_S")
        exp["BRAKERELEASEDELAY"] = v("MotorBrake_releasetime") / v("Ts_S")
        exp["POSOKLIM_FC"] = v("FreezeControl_errband") * abs(ps)
        exp["TONPOSOK_FC"] = v("FreezeControl_time") / v("Ts_S")
        r = self.ratio()
        if v("LoadSensorType") == 0:
            exp["TRANSMISSION"] = 1 if r > 0 else -1
        else:
            exp["TRANSMISSION"] = self.mss() / ss * math.floor(r * 100000 + 0.5) / 100000
        exp.update(self.serial())
        exp.update(self.resolution())
        exp.update(self.filters())
        if v("isPosRange") == 0:
            exp["MINPOSRANGE"] = exp["MAXPOSRANGE"] = 0
        else:
            lo, hi = v("PosRange_Minimum") * abs(ps), v("PosRange_Maximum") * abs(ps)
            if abs(lo) > abs(hi):
                lo += 1
            else:
                hi -= 1
            exp["MINPOSRANGE"], exp["MAXPOSRANGE"] = (lo, hi) if ps > 0 else (-hi, -lo)
        exp["POSRANGEDEF"] = v("isPosRange")
        mct0 = int(v("MotionCompleteType")) == 0
        exp["POSOKLIM"] = v("MotionCompleteSettleBand") * abs(ps) if mct0 else 0
        exp["TONPOSOK"] = v("MotionCompleteStabilizeTime") / v("Ts_S") if mct0 else 65535
        return exp, trunc

    def scr(self):
        v = self.v
        w = 0x1000
        w |= 0x80 if int(v("isMotorTemperatureSensor")) == 1 else 0
        w |= 0x100 if int(v("isDriveTemperatureSensor")) == 1 else 0
        w |= 0x8000 if int(v("DigitalReferenceConnector")) == 1 else 0
        mt, lt = int(v("MotorSensorType")), int(v("LoadSensorType"))
        mc, lc = int(v("MotorSensorConnector")), int(v("LoadSensorConnector"))
        if mt != 0 and lt != 0:
            w |= {1: 0x40, 2: 0x08, 3: 0x50, 4: 0x58, 5: 0x68}.get(mt, 0)
            w |= {3: 0x2, 4: 0x3, 5: 0x5}.get(lt, 0)
            w |= 0x800 if mc == 1 else 0
            w |= 0x400 if lc == 1 else 0
        else:
            t, c = (mt, mc) if mt != 0 else (lt, lc)
            if self.opt("newSpeedEstimator") != 1 and t == 1 and int(v("isSpeedEstimator")) == 1:
                w |= 0x30
            w |= {0: 0x7, 2: 0xF, 3: 0x2, 4: 0x3, 5: 0x5}.get(t, 0)
            w |= 0x400 if c == 1 else 0
        return w

    def acr(self):
        v = self.v
        w = int(v("ACR"))
        w = (w | 0x2) if int(v("isAutoActivatedAfterPowerOn")) == 1 else (w & ~0x2)
        if int(v("ExternalReference")) == 1:
            if int(v("isAnalogueReference")) != 1 and int(v("LoadSensorType")) == 0:
                w = (w & 0xFF3B) | 0x80 | (0x4 if int(v("DigitalReferenceType")) == 0 else 0)
            else:
                w = (w & 0xFF3F) | 0x40
        else:
            w &= 0xFF3F
        mode = int(v("ControlMode"))
        if mode == 0:
            w |= 0x500
            w = (w | 0x200) if int(v("PositionControlType")) == 1 else (w & ~0x200)
        elif mode == 1:
            w = (w & 0xF8FF) | 0x300
        else:
            w = (w & 0xF8FF) | 0x100
        w = (w | 0x4000) if v("SpeedForward") == 1 else (w & ~0x4000)
        w = (w | 0x10) if v("isFreezeControl") == 1 else (w & ~0x10)
        return w

    def estimator_possible(self):
        v = self.v
        mt, lt = int(v("MotorSensorType")), int(v("LoadSensorType"))
        return v("PosSpd_in_FastLoop") != 1 and (
            mt == 1 or (mt == 3 and int(v("SINCOS_fract")) == 1) or (mt == 0 and lt == 1)
            or (mt == 0 and lt == 3 and int(v("SINCOS_fract_LD")) == 1))

    def asr(self):
        v = self.v
        w = int(v("ASR"))
        w = (w | 0x1000) if int(v("isSWLS")) == 1 else (w & ~0x1000)
        w = (w & ~0x4) if int(v("InputsPolarityType")) == 1 else (w | 0x4)
        w &= ~0x80
        if self.opt("hasNegTransmission") == 1 and self.ratio() < 0:
            w |= 0x80
        w &= ~0x8000
        if self.opt("newSpeedEstimator") == 1 and self.estimator_possible() and int(v("isSpeedEstimator")) == 1:
            w |= 0x8000
        w &= ~0x800
        if int(v("IsReverseMovementDirection")) == 1:
            w |= 0x800
        return w

    def internal(self, name):
        """A reference limit in the drive's counts, as the host scales it."""
        if name.startswith("POS"):
            return self.v(name) * abs(self.ps())
        if name.startswith("SPD"):
            return self.v(name) * abs(self.ss())
        return self.v(name) * self.cs()

    def reference(self, ps, cs, ss):
        v = self.v
        mode = int(v("ControlMode"))
        pair = {0: ("POS_min", "POS_max"), 1: ("SPD_min", "SPD_max"), 2: ("CRT_min", "CRT_max")}[mode]
        span = (self.internal(pair[1]) - self.internal(pair[0])) * 0.5 * 65536 / self.adc_max
        if ps <= 0:
            span = -span
        out = {}
        if span > 32767:
            out["SFTADIN"] = math.ceil(math.log2(span / 32767))
            out["CADIN"] = span / 2 ** out["SFTADIN"]
        else:
            out["SFTADIN"], out["CADIN"] = 0, span
        out["AD5OFF"] = self.internal(pair[0])
        out["FILTER1"] = 32767 if v("UseFilter") == 0 else (1 - math.exp(-v("Ts_S") * v("filter"))) * 32767
        rng = v("AnalogueInputsRange")
        point = v("DeadBand_Point") + (10 if int(rng) == 20 else 0)
        out["LEVEL_AD5"] = self.adc_max * point / rng
        out["E_LEVEL_AD5"] = v("DeadBand_Range") * self.adc_max / rng
        return out

    def counting_and_filters(self):
        v = self.v
        mt, lt = int(v("MotorSensorType")), int(v("LoadSensorType"))
        me, le = mt in (1, 3), lt in (1, 3)
        mb, lb = int(v("MotorSensorConnector")) == 1, int(v("LoadSensorConnector")) == 1
        rm, rl = int(v("ReverseCounting_MT")) == 1, int(v("ReverseCounting_LD")) == 1
        out = {
            "COUNTINGDIR_MT": int((me and not mb and (not le or lb) and rm) or (le and not lb and (not me or mb) and rl)),
            "COUNTINGDIR_LD": int((me and mb and (not le or not lb) and rm) or (le and lb and (not me or not mb) and rl)),
            "QUAL": 3,
        }
        chan = {0: None, 1: None}
        if v("isFilterEnc_MT") != 0:
            chan[int(v("MotorSensorConnector"))] = int(v("FilterEncValue_MT"))
        if v("LoadSensorType") == 1 and v("isFilterEnc_LD") != 0:
            chan[int(v("LoadSensorConnector"))] = int(v("FilterEncValue_LD"))

        def level(n):
            if n is None or n > 12:
                return 0, 0
            if n == 0:
                return 0, 3
            if n == 1:
                return 0, 6
            return (n // 2, 6) if n % 2 == 0 else (n, 3)
        pa, na = level(chan[0])
        pb, nb = level(chan[1])
        out["QUAL_ACT"] = (int(v("QUAL_ACT")) & ~0xFF0000) | (pa << 16)
        out["QUAL_AQ2"] = (int(v("QUAL_AQ2")) & ~0xCF00) | {0: 0, 3: 0x4500, 6: 0x8A00}[na]
        out["QUAL_BCT"] = (int(v("QUAL_BCT")) & ~0xFF0000) | (pb << 16)
        out["QUAL_BQ2"] = (int(v("QUAL_BQ2")) & ~0x3F000) | {0: 0, 3: 0x15000, 6: 0x2A000}[nb]
        return out

    def serial(self):
        v = self.v
        lt, mt = int(v("LoadSensorType")), int(v("MotorSensorType"))
        sfx = "_LD" if lt in (4, 5) else ""
        out = {
            "SSITURNS": v("SSI_No_Bits_Turns" + sfx) if v("SSI_isMultiTurn" + sfx) != 0 else 0,
            "SSIREV": v("SSI_No_Bits_Revolution" + sfx),
            "SSITYPE": v("SSITYPE") if v("SSITYPE") == 2 else (1 if int(v("SSI_isGray" + sfx)) == 1 else 0),
            "SSIBR": self.clock() / max(v("SSI_freq" + sfx), self.smf()) - 1,
            "SSISENSE": -1 if int(v("SSI_isReverseCounting" + sfx)) == 1 else 1,
            "SSIFDBKTYPE": 2 if 5 in (mt, lt) else 1,
            "ZAOFF": v("SSI_Offset"),
        }
        kind = lt if lt in (4, 5) else mt
        key = ("bissFrequencies" if kind == 5 else "ssiFrequencies") + ("LD" if sfx else "")
        lst = self.setup["drive"][key]
        freq = v("SSI_freq" + sfx)
        out["SPICLKMODE"] = next((m for k, m in zip(lst["kHz"], lst["modes"]) if k * 1000 == freq), 2)
        slow = self.opt("ReadSSIonSL") == 1 or lt in (4, 5)
        per = v("SLPER") if slow else v("CLPER")
        t = self.tsl() if slow else self.tc()
        clkdiv = min(7, max(0, math.ceil(math.log2(v("PWMPER") * per * 2 ** -15))))
        out["AEI_CLKDIV"] = clkdiv
        out["AEI_PER"] = v("PWMPER") * per * 2 / 2 ** clkdiv - 1
        out["AEI_CMPTIME"] = max(1, v("DSP_freq") * (t - v("AEI_TransferTime") - v("AEI_GuardTime")
                                 - (v("AEI_ReadTime1Mhz") * 1e6 / v("SSI_freq") + v("AEI_ComputeTime"))) / 2 ** clkdiv)
        return out

    def resolution(self):
        v = self.v
        mt = v("MotorSensorType")
        rotary = int(v("TransmissionType")) in (0, 1)
        bits = min(v("SSI_No_Bits_Revolution"), 16)
        out = {}
        if int(mt) in (4, 5):
            out["MECRESL"] = 2 ** bits
        else:
            out["MECRESL"] = 4 * v("No_encoder_lines") if rotary else v("Resolution")
        if mt in (4.0, 5.0):
            out["ENC2THL"] = 2 ** (32 - bits)
        elif mt == 3.0:
            f = 2 ** v("ELRES_FRACT")
            out["ENC2THL"] = 2 ** 30 / (v("No_encoder_lines") * f) if rotary else v("Resolution") * 2 ** 32 / f
        else:
            out["ENC2THL"] = 2 ** 30 / v("No_encoder_lines") if rotary else v("Resolution") * 2 ** 32
        if int(mt) == 3:
            n = math.ceil(math.log2(4 * v("No_encoder_lines")))
            out["ELRES_FRACT"] = 0 if n > 9 else min(10 - n, 8)
        return out

    def filters(self):
        """The chain holds no filter unless one is switched on; this setup keeps them all off."""
        v = self.v
        out = {"SPDREF_BQ_INI": 0, "IQREF_BQ_INI": 0, "ASPD_BQ_INI": 0}
        count = 0 if v("PosSpd_in_FastLoop") == 1 else (self.opt("MaxFilters") or 10)
        for i in range(1, min(count, 10) + 1):
            if v("BQFilter%d" % i) != 0 and int(v("BQFilterLocation%d" % i)) in (0, 1, 2):
                self.fail("filter %d is on; this checker expects every filter off" % i)
        for s in range(1, count + 1):
            for c in ("B0", "B1", "B2", "A1", "A2", "SF"):
                out["BQ%d%s" % (s, c)] = 0
        return out

    def check_forward(self, ports):
        exp, trunc = self.forward(ports)
        for name, want in sorted(exp.items()):
            if not self.has(name):
                self.fail("missing register %s" % name)
                continue
            have = self.v(name)
            typ = self.params[name.lower()].get("type")
            if typ == 5:
                ok = abs(have - want) <= 0.5 / 65536 + 1e-9 * abs(want)
            elif name in trunc:
                ok = have == want
            else:
                ok = abs(have - want) <= 0.5 + 1e-9 * abs(want)
            if not ok:
                self.fail("%s = %r, but the user parameters give %r" % (name, have, want))
            elif typ != 5 and abs(want - round(want)) > 1e-6 + 1e-12 * abs(want):
                self.fractional.append("%s (%r)" % (name, want))

    # ---- user parameters from registers
    def check_reverse(self):
        v = self.v
        cs, ps, ss, tsl, vms = self.cs(), self.ps(), self.ss(), self.tsl(), self.vms()

        def near(name, want, rel=1e-6, absolute=1e-9):
            have = v(name)
            if abs(have - want) > max(absolute, rel * abs(want)):
                self.fail("%s = %r, but the registers give %r" % (name, have, want))

        def band(name, f, reg):
            """The register holds a rounded value: the user value must map into its half-count band."""
            r = v(reg)
            lo, hi = sorted((f(r - 0.5), f(r + 0.5)))
            have = v(name)
            if not lo - 1e-12 <= have <= hi + 1e-12:
                self.fail("%s = %r, but register %s = %r gives %r" % (name, have, reg, r, f(r)))

        def bit(name, word, mask, inverted=False):
            want = 1 if int(v(word)) & mask else 0
            near(name, 1 - want if inverted else want)

        near("PWM_freq", v("DSP_freq") * 0.5 / v("PWMPER"))
        near("PWMperiod", 2 * v("PWMPER") / v("DSP_freq"))
        near("Ts_C", self.tc())
        near("Ts_S", tsl)
        bit("PosSpd_in_FastLoop", "UPGRADE", 0x40)
        bit("isLimitMaximum", "UPGRADE", 0x4)
        bit("MotionCompleteType", "UPGRADE", 0x800, inverted=True)
        for name, mask in (("isOverCurrent", 0x1), ("isMotorI2t", 0x2), ("isMotorOverTemp", 0x4), ("isDriveOverTemp", 0x8),
                           ("isOverVoltage", 0x10), ("isUnderVoltage", 0x20), ("isDriveI2t", 0x80)):
            bit(name, "PCR", mask)
        bit("isMotorTemperatureSensor", "SCR", 0x80)
        bit("isDriveTemperatureSensor", "SCR", 0x100)
        bit("DigitalReferenceConnector", "SCR", 0x8000)
        near("Motor_TempSensor_Type", int(v("MTSTYPE")))
        band("UMAX_PROT", lambda r: r / vms, "UMAXPROT")
        if not math.trunc(v("UMAX_PROT") * vms) / vms <= v("UMAX_PROT") < (math.trunc(v("UMAX_PROT") * vms) + 1) / vms:
            self.fail("UMAX_PROT does not truncate onto UMAXPROT")
        band("UMIN_PROT", lambda r: r / vms, "UMINPROT")
        band("Vbrake", lambda r: r / vms, "BRAKELIM")
        band("Temp_2", lambda r: (v("ADCrange") * r / self.adc_max - v("DriveTempOutputAt0oC")) / v("DriveTempSensorGain"), "T2MAXPROT")
        band("Imax_Prot", lambda r: r / cs, "IMAXPROT")
        near("TestProtectionCurrent", v("IMAXPROT") / cs, 1e-3)
        band("time_Imax_Prot", lambda r: r * tsl, "TIMAXPROT")
        band("t_I2t_D", lambda r: v("Ts_S") * 67108864 / r, "SFI2T_D")
        band("t_I2t_M", lambda r: tsl * 67108864 / r, "SFI2T_M")
        band("I_I2t_D", lambda r: math.sqrt(16 * r + (v("InPS") * cs) ** 2) / cs, "I2TINTLIM_D")
        band("I_I2t_M", lambda r: math.sqrt(16 * r + (v("In") * cs) ** 2) / cs, "I2TINTLIM_M")
        band("ERR_position", lambda r: r / abs(ps), "ERRMAXL")
        band("ERR_speed", lambda r: r / abs(ss), "SERRMAX")
        for flag, reg, t in (("isPositionControlError", "TERRMAX", "time_ERR_pos"), ("isSpeedControlError", "TSERRMAX", "time_ERR_spd")):
            near(flag, 0 if v(reg) == 65535 else 1)
            if v(reg) != 65535:
                band(t, lambda r: r * tsl, reg)
        bit("isBrakeResistor", "OSR", 0x200)
        acr = int(v("ACR"))
        near("ControlMode", 0 if acr & 0x400 else (1 if acr & 0x200 else 2))
        near("ExternalReference", 1 if acr & 0xC0 else 0)
        bit("isAutoActivatedAfterPowerOn", "ACR", 0x2)
        bit("isAnalogueReference", "ACR", 0x40)
        bit("DigitalReferenceType", "ACR", 0x4, inverted=True)
        bit("SpeedForward", "ACR", 0x4000)
        near("isFreezeControl", 1 if acr & 0x10 and int(v("ControlMode")) == 0 else 0)
        near("Axis_ID_list", 0 if v("AAR_table") == 0 else v("AAR_table") - 256)
        r_sat = v("SATS") if acr & 0x200 else v("SATP")
        band("IlimPS", lambda r: (32767 - r) / cs, "SATS" if acr & 0x200 else "SATP")
        near("TestLimitCurrent", (32767 - r_sat) / cs, 1e-3)
        for m, s, user in (("KPI", "SFTKPI", "Kp_C_scl"), ("KII", "SFTKII", "Ki_C_scl"), ("KPS", "SFTKPS", "Kp_S_scl"),
                           ("KIS", "SFTKIS", "Ki_S_scl"), ("KPP", "SFTKPP", "Kp_P_scl"), ("KIP", "SFTKIP", "Ki_P_scl"),
                           ("KDP", "SFTKDP", "Kd_P_scl"), ("KFFS", "SFTSFFW", "KFFS_scl")):
            band(user, lambda r, s=s: r * 2 ** v(s) / 32767, m)
        band("KFFA_scl", lambda r: r * 2 ** (v("SFTKFF") + v("SFTAFFW")) / 32767, "KFFA")
        near("TestCurrent", 0.5 * min(v("In"), v("InPS")))
        near("TestMaxSpeed", v("Vdc") / v("K") / 3)
        # the motor inertia's value, not its upper limit, gives the load to motor ratio
        near("Jload_over_J", v("Jt") / v("Jm") - 1)
        near("isUseFilterOnCrtCtrlOutput", 0 if v("FILTERQ") == 32767 else 1)
        if v("FILTERQ") == 32767:
            near("FilterOnCurrentControllerOutput", 5000)
        else:
            near("FilterOnCurrentControllerOutput", round(-math.log(1 - v("FILTERQ") / 32767) / self.tc()))
        near("isCompensateGravitationalLoads", 0 if v("FFL") == 0 else 1)
        band("OffsetCurrent", lambda r: r / cs, "FFL")
        if v("SATS") != 32767:
            band("IPSatS", lambda r: (32767 - r) * 100 / (32767 - v("SATS")), "IMAXS")
        band("filter_D", lambda r: r / 32767, "KDFP")
        # "IPSatP" is the share of the limit that "IMAXP" was written from.
        if v("PositionControlType") == 1 and v("ControlMode") == 0:
            full = v("Limit_Speed") * abs(self.mss()) * abs(self.ratio())
        elif v("ControlMode") == 1:
            full = v("IlimPS") * abs(cs)
        else:
            full = 32767 - v("SATP")
        if full != 0:
            band("IPSatP", lambda r: (32767 - r) * 100 / full, "IMAXP")
        if v("PositionControlType") == 1 and v("ControlMode") == 0:
            band("Limit_Speed", lambda r: (32767 - r) / abs(ss), "SATP")
            t = abs(v("Load_transmission") / v("Motor_transmission"))
            top = min(v("Vdc") / v("K") * t, 32767 / abs(self.mss()), 32767 / abs(ss))
            top *= v("Limit_Speed_MaxPercent") / 100
            if v("Limit_Speed") > top:
                self.fail("Limit_Speed exceeds %r, the most the drive can reach" % top)
        bit("isSWLS", "ASR", 0x1000)
        bit("InputsPolarityType", "ASR", 0x4, inverted=True)
        bit("IsReverseMovementDirection", "ASR", 0x800)
        want = 0 if not self.estimator_possible() else (1 if int(v("ASR")) & 0x8000 else 0)
        near("isSpeedEstimator", want)
        if ps > 0:
            band("Negative_SWLS", lambda r: r / ps, "SWNEGLS")
            band("Positive_SWLS", lambda r: r / ps, "SWPOSLS")
        band("ErefMaxSpeed", lambda r: r / abs(ss), "CSPD")
        band("ErefMaxAcceleration", lambda r: r / abs(ss * tsl), "CACC")
        rng = v("AnalogueInputsRange")
        shift = 10 if int(rng) == 20 else 0
        band("DeadBand_Point", lambda r: rng * r / self.adc_max - shift, "LEVEL_AD5")
        band("DeadBand_Range", lambda r: rng * r / self.adc_max, "E_LEVEL_AD5")
        near("UseFilter", 0 if v("FILTER1") == 32767 else 1)
        if v("FILTER1") == 32767:
            near("filter", 50)
        else:
            band("filter", lambda r: -math.log(1 - r / 32767) / tsl, "FILTER1")
        self.check_reference_pairs(ps, ss, cs)
        near("save_axis_id", 1 - (int(v("LSS_Active")) & 1))
        near("save_CAN_baudrate", 1 - ((int(v("LSS_Active")) >> 1) & 1))
        self.check_reverse_sensors()
        bit("isMotorBrake", "BRAKECFG", 0x1)
        ports = {e["pin"]: e["port"] for e in self.setup["drive"]["ioPorts"]}
        near("MotorBrake_output", ports.get((int(v("BRAKECFG")) >> 8) & 0xFF, -1))
        band("MotorBrake_releasetime", lambda r: v("Ts_S") * r, "BRAKERELEASEDELAY")
        band("MotorBrake_applytime", lambda r: v("Ts_S") * r, "BRAKEAPPLYDELAY")
        band("FreezeControl_errband", lambda r: r / abs(ps), "POSOKLIM_FC")
        band("FreezeControl_time", lambda r: v("Ts_S") * r, "TONPOSOK_FC")
        lo, hi = (v("MINPOSRANGE"), v("MAXPOSRANGE")) if ps > 0 else (-v("MAXPOSRANGE"), -v("MINPOSRANGE"))
        if abs(lo) > abs(hi):
            lo -= 1
        else:
            hi += 1
        near("PosRange_Minimum", lo / abs(ps))
        near("PosRange_Maximum", hi / abs(ps))
        near("isPosRange", v("POSRANGEDEF"))
        if int(v("UPGRADE")) & 0x800:
            band("MotionCompleteSettleBand", lambda r: r / abs(ps), "POSOKLIM")
            band("MotionCompleteStabilizeTime", lambda r: v("Ts_S") * r, "TONPOSOK")
        if int(v("MotionCompleteDefaultSettings")) == 1:
            near("MotionCompleteSettleBand", PI)
            near("MotionCompleteStabilizeTime", tsl)

    def check_reference_pairs(self, ps, ss, cs):
        """The analogue reference words are read back into all three minimum and maximum pairs; the
        host then holds each value inside the limits of its pair."""
        v = self.v
        sgn = 1 if ps > 0 else -1
        top = v("AD5OFF") + self.adc_max * 2 * v("CADIN") * sgn * 2 ** -16 * 2 ** v("SFTADIN")
        bottom = v("AD5OFF")
        pairs = {
            "POS": (abs(ps), -32767 / abs(ps), 32767 / abs(ps)),
            "SPD": (abs(ss), max(-v("Limit_Speed"), -32767 / abs(ss)), min(32767 / abs(ss), v("Limit_Speed"))),
            "CRT": (cs, max(-min(v("ImaxPS"), v("ImaxM")), -32767 / cs), min(32767 / cs, v("ImaxPS"), v("ImaxM"))),
        }
        for pre, (scale, lo, hi) in pairs.items():
            want_min = min(max(bottom / scale, lo), v(pre + "_max"))
            want_max = min(max(top / scale, v(pre + "_min")), hi)
            if abs(v(pre + "_min") - want_min) > 0.5 / scale + 1e-9:
                self.fail("%s_min = %r, but the registers give %r" % (pre, v(pre + "_min"), want_min))
            if abs(v(pre + "_max") - want_max) > 0.5 / scale + 1e-9:
                self.fail("%s_max = %r, but the registers give %r" % (pre, v(pre + "_max"), want_max))

    def check_reverse_sensors(self):
        v = self.v
        scr, osr = int(v("SCR")), int(v("OSR"))
        if osr & 0x1000:
            mt = {0x08: 2, 0x40: 1, 0x50: 3, 0x58: 4, 0x68: 5}.get(scr & 0x78, 0)
            low = scr & 0x207
            lt = {0: 1, 2: 3, 3: 4, 5: 5}.get(low, 0) if low < 8 else 0
        else:
            low = scr & 0x207
            mt = 2 if low >= 16 else {0: 1, 2: 3, 3: 4, 5: 5}.get(low, 2)
            lt = 0
        if (v("MotorSensorType"), v("LoadSensorType")) != (mt, lt):
            self.fail("sensor types %r/%r, but SCR and OSR give %r/%r" % (v("MotorSensorType"), v("LoadSensorType"), mt, lt))
        if scr & 0x27F:
            mc, lc = (scr >> 11) & 1, (scr >> 10) & 1
        else:
            mc, lc = (scr >> 10) & 1, (scr >> 11) & 1
        if (v("MotorSensorConnector"), v("LoadSensorConnector")) != (mc, lc):
            self.fail("sensor connectors do not match SCR")
        me, le = mt in (1, 3), lt in (1, 3)
        mb, lb = mc == 1, lc == 1
        cm, cl = int(v("COUNTINGDIR_MT")) == 1, int(v("COUNTINGDIR_LD")) == 1
        rm = me and ((not lb and cl) if mb else (cm and (not le or lb)))
        rl = le and ((not mb and cl) if lb else (cm and (not me or mb)))
        if (v("ReverseCounting_MT"), v("ReverseCounting_LD")) != (int(rm), int(rl)):
            self.fail("counting directions do not match COUNTINGDIR_MT/_LD")
        for name in ("isFilterEnc_MT", "isFilterEnc_LD"):
            b = 11 if name.endswith("MT") and mt != 0 and lt != 0 else 10
            field = (int(v("QUAL_BQ2")) & 0x3F000) if (scr >> b) & 1 else (int(v("QUAL_AQ2")) & 0xCF00)
            if v(name) != (1 if field else 0):
                self.fail("%s does not match the QUAL words" % name)
        if int(v("No_encoder_lines")) != math.trunc(v("MECRESL") * 0.25):
            self.fail("No_encoder_lines does not match MECRESL")
        for sfx in ("", "_LD"):
            if v("SSI_isMultiTurn" + sfx) != (0 if v("SSITURNS") == 0 else 1):
                self.fail("SSI_isMultiTurn%s does not match SSITURNS" % sfx)
            if v("SSI_No_Bits_Turns" + sfx) != v("SSITURNS") or v("SSI_No_Bits_Revolution" + sfx) != v("SSIREV"):
                self.fail("SSI bit counts%s do not match SSITURNS/SSIREV" % sfx)
            if v("SSITYPE") != 2 and v("SSI_isGray" + sfx) != (0 if v("SSITYPE") == 0 else 1):
                self.fail("SSI_isGray%s does not match SSITYPE" % sfx)
            if v("SSI_isReverseCounting" + sfx) != (1 if v("SSISENSE") == -1 else 0):
                self.fail("SSI_isReverseCounting%s does not match SSISENSE" % sfx)
            self.check_serial_frequency(sfx, mt, lt)

    def check_serial_frequency(self, sfx, mt, lt):
        kind = mt if not sfx else lt
        key = ("bissFrequencies" if kind == 5 else "ssiFrequencies") + ("LD" if sfx else "")
        lst = self.setup["drive"][key]
        f = self.clock() / (self.v("SSIBR") + 1)
        khz = [k * 1000 for k in lst["kHz"]]
        result = khz[0]
        if len(khz) > 1:
            for a, b in zip(khz, khz[1:]):
                if f == a or f == b:
                    result = f
                    break
                if a < f < b:
                    result = a if f - a <= b - f else b
                    break
        want = max(result, self.smf())
        if abs(self.v("SSI_freq" + sfx) - want) > 1e-6:
            self.fail("SSI_freq%s = %r, but SSIBR gives %r" % (sfx, self.v("SSI_freq" + sfx), want))

    # ---- limits, loop options and the digital reference connector
    def check_limits(self):
        v = self.v
        tsl, ps, ss = self.tsl(), self.ps(), self.ss()

        def inside(name, lo, hi):
            if not lo - 1e-9 * abs(lo) <= v(name) <= hi + 1e-9 * abs(hi):
                self.fail("%s = %r lies outside [%r, %r], the range the setup allows" % (name, v(name), lo, hi))
        inside("In", 0, v("ImaxM"))
        for loop in ("C", "S", "P"):
            inside("PB_" + loop, v("PB_%s_minim" % loop), v("PB_%s_maxim" % loop))
        for name in ("TPP", "TNP", "TPS", "TNS", "TaPS", "TaNS"):
            inside(name, tsl, 65535 * tsl)
        for name in ("TaPP", "TaNP"):
            inside(name, 2 * tsl, 65535 * tsl)
        top = min(v("TaPP"), v("TaNP")) / tsl * 32767 / abs(ps)
        inside("TestPosition", -top, top)
        if abs(round(v("TestPosition") * ps) - v("TestPosition") * ps) > 1e-6:
            self.fail("TestPosition is not a whole number of counts")
        top = min(v("Limit_Speed"), 32767 / abs(ss))
        inside("TestSpeed", -top, top)
        if abs(round(v("TestSpeed") * ss) - v("TestSpeed") * ss) > 1e-6:
            self.fail("TestSpeed is not a whole number of speed counts")
        inside("filter", 0, 1 / (2 * tsl))
        rng = v("AnalogueInputsRange")
        lo, hi = (-10, 10) if rng == 20 else ((0, 5) if rng == 5 else (0, 3.3))
        inside("DeadBand_Point", lo, hi)
        inside("SSI_Offset", 0, 2 ** min(v("SSI_No_Bits_Revolution"), 32))
        for i in range(1, 11):
            inside("BQFilterF1%d" % i, 0, 0.5 / tsl - 1)
        inside("I_I2t_D", v("InPS"), v("ImaxPS"))
        inside("I_I2t_M", 1.1 * v("In"), v("ImaxM"))
        inside("TestCurrent", 0.001, 0.9 * min(v("In"), v("InPS")))

    def check_options(self, lines):
        v = self.v
        mode, pct = int(v("ControlMode")), int(v("PositionControlType"))
        loops = {(0, 0): "101", (0, 1): "111", (1, 0): "011", (1, 1): "011", (2, 0): "001", (2, 1): "001"}[(mode, pct)]
        for name, want in zip(("IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent"), loops):
            if name.lower() in self.options and self.options[name.lower()] != want:
                self.fail("option %s should be %r" % (name, want))
        # the connector chosen as digital reference must be free and able to take one
        taken = set()
        mt, lt = int(v("MotorSensorType")), int(v("LoadSensorType"))
        if mt not in (0, 2):
            taken.add(int(v("MotorSensorConnector")))
        if lt != 0 and mt != 2:
            taken.add(int(v("LoadSensorConnector")))
        candidates = []
        for i, line in enumerate(lines):
            tokens = split_config_line(line)
            capable = any("," in t and leading_int(t.split(",", 1)[0]) == 1 for t in tokens[1:])
            if capable and i not in taken:
                candidates.append(i)
        if not candidates and v("isAnalogueReference") == 0:
            self.fail("no connector can take a digital reference, so the analogue reference would be forced on")
        elif candidates and int(v("DigitalReferenceConnector")) not in candidates:
            self.fail("DigitalReferenceConnector is not a free connector that takes a digital reference")

    def check_tuning(self):
        """The gains are those that tuning from the stored pass bands and dampings gives, up to the
        rounding of the mantissa registers."""
        v = self.v
        tc, tsl, cs = self.tc(), self.tsl(), self.cs()
        tuned = {}
        w, z, tau = v("PB_C"), v("Dump_C"), v("L") / v("R")
        scale = self.vcs() / cs
        if tau > 4 * tc:
            tuned["Kp_C_scl"] = v("R") * (2 * z * w * tau - 1) * scale
            tuned["Ki_C_scl"] = v("R") * w * w * tau * tc * scale
        else:
            tuned["Kp_C_scl"] = v("R") * ((0.5 * tau / math.sqrt(2)) / tc - 1) * scale
            tuned["Ki_C_scl"] = v("R") * w * tc * scale
        ts = tc if v("PosSpd_in_FastLoop") != 0 else tsl
        w, z, jk = v("PB_S"), v("Dump_S"), v("Jt") / v("K")
        scale = cs / abs(self.mss())
        tuned["Ki_S_scl"] = w * w * ts * jk * scale
        tuned["Kp_S_scl"] = 2 * z * w * jk * scale
        w, z = v("PB_P"), v("Dump_P")
        if int(v("MotorSensorType")) != 0 and int(v("LoadSensorType")) != 0:
            sv, sp, g = abs(self.ss()), abs(self.ps()), abs(self.ratio())
        else:
            sv, sp, g = abs(self.mss()), abs(self.mps()), 1.0
        if int(v("PositionControlType")) == 1:
            tuned["Ki_P_scl"], tuned["Kp_P_scl"], tuned["Kd_P_scl"] = w * w * ts * sv / sp, 2 * z * w * sv / sp, 0.0
        else:
            k = jk * cs / sp * g
            tuned["Ki_P_scl"] = w ** 3 * ts * k
            tuned["Kp_P_scl"] = (2 * z + 1) * w * w * k
            tuned["Kd_P_scl"] = (2 * z + 1) * w * k / ts
        for name, reg in (("Kp_C_scl", "KPI"), ("Ki_C_scl", "KII"), ("Kp_S_scl", "KPS"), ("Ki_S_scl", "KIS"),
                          ("Kp_P_scl", "KPP"), ("Ki_P_scl", "KIP"), ("Kd_P_scl", "KDP")):
            mantissa, shift = self.gain_pair(tuned[name])
            if shift != v("SFT" + reg) or abs(mantissa - v(reg)) > 0.5:
                self.fail("%s = %r, but tuning gives %r" % (name, v(name), tuned[name]))

    # ---- what the dialogs bind or read
    def check_dialogs(self):
        variables = {v["name"].lower() for v in self.setup.get("variables", [])}
        for dialog, (parameters, drive_variables, options) in DIALOG_NAMES.items():
            for name in parameters:
                if not self.has(name):
                    self.fail("missing parameter %s (%s)" % (name, dialog))
            for name in drive_variables:
                if name.lower() not in variables:
                    self.fail("missing variable %s (%s)" % (name, dialog))
            for name in options:
                if name.lower() not in self.options:
                    self.fail("missing option %s (%s)" % (name, dialog))
        filters = min(self.opt("MaxFilters"), 10)
        for i in range(1, filters + 1):
            for pattern in BQ_ROW_NAMES:
                if not self.has(pattern % i):
                    self.fail("missing parameter %s (Filters)" % (pattern % i))
        for name in FLAG_NAMES + ["BQFilter%d" % i for i in range(1, filters + 1)]:
            p = self.params.get(name.lower())
            if p is None:
                continue
            if (p.get("min"), p.get("max"), p.get("precision"), p.get("unit", "")) != (0, 1, 0, "") \
                    or p["value"] not in (0, 1):
                self.fail("%s is a flag: value 0 or 1, limits [0, 1], precision 0, no unit" % name)
        # The rated supply ranges of the drive and its protections: under-voltage below the least
        # supply, the present supply inside the range, over-voltage above the brake resistor level,
        # which lies above the highest supply, and all of it measurable.
        v = self.v
        chain = ["UMIN_PROT", "VMOT_min", "Vdc", "VMOT_max", "Vbrake", "UMAX_PROT", "VdcMaxMeasurable"]
        for low, high in zip(chain, chain[1:]):
            if not v(low) <= v(high):
                self.fail("%s = %r is above %s = %r" % (low, v(low), high, v(high)))
        if not 0 < v("VLOG_min") < v("VLOG_max"):
            self.fail("the logic supply range [%r, %r] is empty" % (v("VLOG_min"), v("VLOG_max")))
        help_file = self.setup.get("helpFile", "")
        if not isinstance(help_file, str) or not help_file:
            self.fail("the setup names no help file")
        identity = self.setup.get("identity", {})
        for key in ("firmwareId", "productId", "userAppId"):
            if not identity.get(key):
                self.fail("identity %s is empty" % key)
        if not 0 < identity.get("e2romSize", 0) < 65536 or identity.get("e2romSize", 0) % 1024:
            self.fail("identity e2romSize %r is not a whole number of Kwords below 64" % identity.get("e2romSize"))
        if not self.setup.get("description"):
            self.fail("the setup has no drive name (description)")

    def run(self):
        self.check_form()
        ports, lines = self.check_drive()
        try:
            self.check_forward(ports)
            self.check_reverse()
            self.check_limits()
            self.check_tuning()
            self.check_options(lines)
            self.check_dialogs()
        except KeyError as missing:
            self.fail("missing parameter %s" % missing)
        return self.problems


def split_config_line(line):
    """Tokens of a config line: blank-separated, or a quoted text with backslash escapes."""
    tokens, i = [], 0
    while i < len(line):
        if line[i].isspace():
            i += 1
            continue
        if line[i] == '"':
            i += 1
            tok = ""
            while i < len(line) and line[i] != '"':
                if line[i] == "\\" and i + 1 < len(line):
                    i += 1
                tok += line[i]
                i += 1
            i += 1
        else:
            tok = ""
            while i < len(line) and not line[i].isspace():
                tok += line[i]
                i += 1
        tokens.append(tok)
    return tokens


def leading_int(text):
    digits = ""
    for c in text.strip():
        if c.isdigit() or (c in "+-" and not digits):
            digits += c
        else:
            break
    try:
        return int(digits)
    except ValueError:
        return 0


def main(argv):
    path = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "default.json")
    with open(path, encoding="utf-8") as f:
        setup = json.load(f)
    checker = Checker(setup)
    problems = checker.run()
    registers = sum(1 for p in checker.params.values() if is_word(p["name"]))
    print("%d registers, %d user parameters, %d variables, %d options" % (
        registers, len(checker.params) - registers, len(setup.get("variables", [])), len(setup.get("options", {}))))
    if checker.fractional:
        print("registers held rounded (their exact value is not whole):")
        for text in checker.fractional:
            print("  " + text)
    for text in problems:
        print("PROBLEM: " + text)
    print("clean" if not problems else "%d problem(s)" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
