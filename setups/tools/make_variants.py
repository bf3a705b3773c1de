#!/usr/bin/env python3
"""Makes the sample setups of the drive variants (setups/variants/*.json).

Each variant is the default setup (setups/default.json) with a few changes:
parameters and variables the variant's drive does not have are removed, others
take new values, limits or units, and the drive description and options are
adjusted. The registers that a change affects are set here to what the
parameter-to-register driver makes of the variant's parameters, so that a
variant reads back as written (check with `dcsetup --setup FILE read` and
`apply`). The files are written in the layout of default.json: one parameter,
variable or option a line.

After a change to default.json, run this tool and then setup_variant_tests: a
register or read-back value set here may have to follow the drivers' new one.

Usage: make_variants.py            write every variant
       make_variants.py --check    write nothing; exit status 1 and name each
                                   variant file that differs from what would
                                   be written (or is missing)
"""

import argparse
import json
import os
import sys

SETUPS = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
DEFAULT = os.path.join(SETUPS, "default.json")
VARIANTS_DIR = os.path.join(SETUPS, "variants")


def key(name):
    """Names are unique whatever their letter case."""
    return name.lower()


# ---- the variants
#
# description: the drive the setup is for.
# drive:       entries of the drive description replaced.
# remove:      parameters removed.
# remove_variables: drive variables removed.
# set:         parameter -> new value, or -> {"value": ..., "min": ..., "max": ..., "unit": ...}.
# linear_variables: the load-side drive variables take linear units.
# options:     option -> new text.

# The brake output, its configuration word and delays.
BRAKE = ["isMotorBrake", "MotorBrake_output", "BRAKECFG", "MotorBrake_releasetime", "BRAKERELEASEDELAY",
         "MotorBrake_applytime", "BRAKEAPPLYDELAY"]

# The analogue reference input: its scaling registers, dead band, filter and
# the reference ranges it maps onto. The ADC itself ("ADCResolution",
# "AnalogueInputsRange") stays: the current and voltage measurement and a
# tachogenerator use it.
ANALOGUE_REFERENCE = ["CADIN", "SFTADIN", "AD5OFF", "LEVEL_AD5", "E_LEVEL_AD5", "FILTER1", "POS_min", "POS_max",
                      "SPD_min", "SPD_max", "CRT_min", "CRT_max", "DeadBand_Point", "DeadBand_Range", "UseFilter",
                      "filter"]

# The encoder input filters: their settings and the input qualification registers.
ENCODER_FILTERS = ["isFilterEnc_MT", "isFilterEnc_LD", "FilterEncValue_MT", "FilterEncValue_LD", "QUAL", "QUAL_ACT",
                   "QUAL_AQ2", "QUAL_BCT", "QUAL_BQ2"]

# Words of the sensor configuration ("SCR"), the option word ("OSR") and the
# application control word ("ACR"), as the parameter-to-register driver forms them.
SCR_ALWAYS = 0x1000
SCR_DRIVE_TEMPERATURE = 0x100
SCR_DIGITAL_REFERENCE_ON_2 = 0x8000   # the digital reference comes in on Feedback #2
SCR_SECOND_CONNECTOR = 0x400          # a sensor alone, or the load sensor, on Feedback #2
SCR_TACHOGENERATOR_ALONE = 0xF
SCR_MOTOR_INCREMENTAL_BESIDE_LOAD = 0x40
SCR_MOTOR_SSI_BESIDE_LOAD = 0x58
SCR_LOAD_SSI = 0x3
SCR_LOAD_BISS = 0x5
SCR_DEFAULT = SCR_ALWAYS | SCR_DRIVE_TEMPERATURE | SCR_DIGITAL_REFERENCE_ON_2
OSR_LOAD_SENSOR = 0x1000
ACR_DIGITAL_REFERENCE_TYPE_0 = 0x4
ACR_ANALOGUE_REFERENCE = 0x40
ACR_SPEED_LOOP = 0x200
ACR_POSITION_MODE = 0x400
ACR_SPEED_MODE = 0x300
ACR_SPEED_FORWARD = 0x4000
ACR_DEFAULT = ACR_POSITION_MODE | 0x100 | ACR_SPEED_LOOP | ACR_DIGITAL_REFERENCE_TYPE_0  # position over the speed loop

# A rotary load's units and a linear load's, for the drive variables on the
# load side (every variable in a rotary unit but the motor's own).
LINEAR_UNITS = {"rot": "mm", "rpm": "m/s", "rad/s^2": "m/s^2", "rad/s^3": "m/s^3"}
MOTOR_VARIABLES = ["APOS_MT", "Motor_Position", "ASPD", "ASPD_MT", "Motor_Speed", "Motor_Speed_Reference", "SPDREFL"]

VARIANTS = {
    "no-brake": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, without motor brake output",
        "drive": {"brakeOutputs": []},
        "remove": BRAKE,
    },
    "no-analogue-input": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, without analogue reference input",
        "remove": ANALOGUE_REFERENCE,
        "remove_variables": ["CADIN"],
        # Without the input the reference can only be digital.
        "set": {"isAnalogueReference": {"value": 0, "max": 0}},
    },
    "no-encoder-filters": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, without encoder input filters",
        "remove": ENCODER_FILTERS,
    },
    "tachogenerator": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, speed control with a tachogenerator on the motor",
        "set": {
            # The configuration: a 3 V/krpm tachogenerator alone, speed control. The
            # tachogenerator measures up to 3333 rpm on the 20 V input: the speeds stay
            # below 2500 rpm. Without a position sensor a position count is one radian.
            "MotorSensorType": 2,
            "ControlMode": 1,
            # Outside position control over the speed loop the setup editors feed the
            # speed reference forward.
            "SpeedForward": 1,
            "Limit_Speed": 261.79938779914943,
            "SPD_min": {"value": -261.79938779914943, "min": -261.79938779914943, "max": 261.67155606682564},
            "SPD_max": {"value": 261.67155606682564, "min": -261.79938779914943, "max": 261.79938779914943},
            "TestSpeed": {"value": 157.14780960339567, "min": -261.79938779914943, "max": 261.79938779914943},
            "TestPosition": {"value": 31, "min": -3276700, "max": 3276700},
            "MotionCompleteDefaultSettings": 0,
            "MotionCompleteSettleBand": {"value": 3, "max": 32767},
            # The gains tuned for the tachogenerator's speed scale (the pass bands are the default's).
            "Kp_S_scl": 109.44083986938078, "SFTKPS": 7, "KPS": 28016,
            "Ki_S_scl": 23.451887569811092, "SFTKIS": 5, "KIS": 24014,
            "Kp_P_scl": 352.02636799218726, "SFTKPP": 9, "KPP": 22529,
            "Ki_P_scl": 5.280434583574938, "SFTKIP": 3, "KIP": 21628,
            # The registers, and the parameters as the register-to-parameter driver reads them back.
            "SCR": SCR_DEFAULT | SCR_TACHOGENERATOR_ALONE,
            "ACR": ACR_SPEED_MODE | ACR_DIGITAL_REFERENCE_TYPE_0 | ACR_SPEED_FORWARD,
            "ERR_position": {"value": 3, "max": 2147483647},
            "ERRMAX": 3,
            "ERRMAXL": 3,
            "ERR_speed": {"value": 157.14780960339567, "max": 5584.883164072089},
            "SERRMAX": 922,
            "FreezeControl_errband": {"value": 0, "max": 32767},
            "POSOKLIM_FC": 0,
            "POSOKLIM": 3,
            "Negative_SWLS": {"value": -628, "min": -2147483648, "max": 2147483647},
            "Positive_SWLS": {"value": 628, "min": -2147483648, "max": 2147483647},
            "SWNEGLS": -628,
            "SWPOSLS": 628,
            "PosRange_Maximum": 1,
            "SATP": 31231,
            "IPSatP": 100,
            "IMAXP": 6559,
            "ErefMaxSpeed": {"value": 314.15926483883067, "max": 5584.883164072089},
            "CSPD": 1843.1999969482422,
            "ErefMaxAcceleration": {"value": 3141.5938187227703, "max": 5584883.16407209},
            "CACC": 18.4320068359375,
            "POS_min": {"value": -1536, "min": -32767, "max": 1535.25},
            "POS_max": {"value": 1535.25, "min": -1536, "max": 32767},
            "CRT_min": {"value": -0.46886446886446886, "max": 0.46863553113553114},
            "CRT_max": {"value": 0.46863553113553114, "min": -0.46886446886446886},
            "CADIN": 1536,
            "AD5OFF": -1536,
        },
        "options": {
            "IsClosedPosition": "0",
            "isPositionFeedbackOnMotor": "0",
            "isSpeedFeedback": "1",
            "MotorPosition": "",
            "MotorSpeed": "Tachogenerator on Feedback #1",
        },
    },
    "ssi-biss": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, SSI encoder on the motor and BiSS encoder on the load",
        "set": {
            # The configuration: the SSI encoder on Feedback #1, the BiSS encoder on
            # Feedback #2, both 13 bits a turn and 12 bits of turns at 2 MHz (the drive
            # reads both with one frame format). With both connectors taken, the
            # external reference is the analogue one.
            "MotorSensorType": 4,
            "LoadSensorType": 5,
            "LoadSensorConnector": 1,
            "TransmissionType": 0,
            "ExternalReference": 1,
            "isAnalogueReference": 1,
            "TestSpeed": {"value": 157.2330307582782, "min": -628.16513263917, "max": 628.16513263917},
            # The speed gains tuned for the encoder's speed scale.
            "Kp_S_scl": 492.4837794122135, "SFTKPS": 9, "KPS": 31518,
            "Ki_S_scl": 105.53056428724021, "SFTKIS": 7, "KIS": 27015,
            # The registers, and the parameters as the register-to-parameter driver reads them back.
            "SCR": SCR_DEFAULT | SCR_MOTOR_SSI_BESIDE_LOAD | SCR_LOAD_BISS | SCR_SECOND_CONNECTOR,
            "OSR": OSR_LOAD_SENSOR,
            "ACR": ACR_DEFAULT | ACR_ANALOGUE_REFERENCE,
            "SSIFDBKTYPE": 2,
            "MECRESL": 2 ** 13,
            "ENC2THL": 2 ** (32 - 13),
            "No_encoder_lines": 2 ** 13 // 4,
            "AEI_PER": 59999,
            "AEI_CMPTIME": 58500,
            "ERR_position": {"max": 1647099.328398295},
            "ERRMAX": 4096,
            "ERRMAXL": 4096,
            "ERR_speed": {"value": 157.2330307582782, "max": 25131.9742383244},
            "SERRMAX": 205,
            "FreezeControl_errband": {"value": 0.03144660615165564, "max": 25.1319742383244},
            "POSOKLIM_FC": 41,
            "MotionCompleteSettleBand": {"max": 25.1319742383244},
            "POSOKLIM": 4096,
            "Negative_SWLS": {"min": -1647099.3291652855, "max": 1647099.328398295},
            "Positive_SWLS": {"min": -1647099.3291652855, "max": 1647099.328398295},
            "SWNEGLS": -819200,
            "SWPOSLS": 819200,
            "PosRange_Maximum": 0.0007669903939428206,
            "Limit_Speed": 628.16513263917,
            "SATP": 31948,
            "IPSatP": 50.06105006105006,
            "IMAXP": 32357,
            "ErefMaxSpeed": {"value": 314.15927004031715, "max": 25131.9742383244},
            "CSPD": 409.6000061035156,
            "ErefMaxAcceleration": {"value": 3141.58731686464, "max": 25131974.2383244},
            "CACC": 4.0959930419921875,
            "POS_min": {"value": -25.1319742383244, "min": -25.1319742383244, "max": 25.1319742383244},
            "POS_max": {"value": 25.1319742383244, "min": -25.1319742383244, "max": 25.1319742383244},
            "SPD_min": {"value": -628.16513263917, "min": -628.16513263917, "max": 628.16513263917},
            "SPD_max": {"value": 628.16513263917, "min": -628.16513263917, "max": 628.16513263917},
            "CRT_min": {"value": -10, "max": 10},
            "CRT_max": {"value": 10, "min": -10},
            "CADIN": 16388,
            "SFTADIN": 1,
            "AD5OFF": -32767,
            "TestPosition": {"min": -2513.19742383244, "max": 2513.19742383244},
        },
        "options": {
            "isPositionFeedbackOnLoad": "1",
            "LoadPosition": "BiSS encoder on Feedback #2",
            "MotorPosition": "SSI encoder on Feedback #1",
        },
    },
    "linear-absolute": {
        "description": "DCS4810 intelligent DC servo drive 48 V / 10 A, linear axis with an SSI absolute scale on the load",
        "set": {
            # The configuration: the 500-line motor encoder on Feedback #1, a 2 mm lead
            # screw, a 24-bit SSI scale of 1 µm per count on Feedback #2 (the drive reads
            # every serial encoder with one frame format, so the motor's serial settings
            # read back as the scale's). 2 mm a turn makes one motor count one scale
            # count. The load-side quantities in metres; with both connectors taken, the
            # external reference is the analogue one.
            "LoadSensorType": 4,
            "LoadSensorConnector": 1,
            "TransmissionType": 1,
            "SSI_Resolution_LD": 1e-06,
            "Load_transmission": {"value": 0.002, "unit": "mm"},
            "SSI_isMultiTurn_LD": 0,
            "SSI_No_Bits_Revolution_LD": 24,
            "SSI_No_Bits_Turns_LD": 0,
            "SSI_isMultiTurn": 0,
            "SSI_No_Bits_Revolution": 24,
            "SSI_No_Bits_Turns": 0,
            "SSI_Offset": {"max": 2 ** 24},
            "ExternalReference": 1,
            "isAnalogueReference": 1,
            "ERR_position": {"value": 0.001, "max": 2147.483647, "unit": "mm"},
            "ERR_speed": {"value": 0.05, "max": 32.767, "unit": "m/s"},
            "MotionCompleteDefaultSettings": 0,
            "MotionCompleteSettleBand": {"value": 0.0001, "max": 0.032767, "unit": "mm"},
            "FreezeControl_errband": {"value": 1e-05, "max": 0.032767, "unit": "mm"},
            "Negative_SWLS": {"value": -0.2, "min": -2147.483648, "max": 2147.483647, "unit": "mm"},
            "Positive_SWLS": {"value": 0.2, "min": -2147.483648, "max": 2147.483647, "unit": "mm"},
            "PosRange_Minimum": {"unit": "mm"},
            "PosRange_Maximum": {"value": 1e-06, "unit": "mm"},
            "Limit_Speed": {"value": 0.2, "max": 0.25464790894703254, "unit": "m/s"},
            "ErefMaxSpeed": {"value": 0.1, "max": 32.767, "unit": "m/s"},
            "ErefMaxAcceleration": {"value": 1, "max": 32767, "unit": "m/s^2"},
            "POS_min": {"value": -0.008, "min": -0.032767, "max": 0.0080000927734375, "unit": "mm"},
            "POS_max": {"value": 0.0080000927734375, "min": -0.008, "max": 0.032767, "unit": "mm"},
            "SPD_min": {"value": -0.2, "min": -0.2, "max": 0.2, "unit": "m/s"},
            "SPD_max": {"value": 0.2, "min": -0.2, "max": 0.2, "unit": "m/s"},
            "TestPosition": {"value": 0.01, "min": -3.2767, "max": 3.2767, "unit": "mm"},
            "TestSpeed": {"value": 0.05, "min": -0.2, "max": 0.2, "unit": "m/s"},
            # The registers, and the parameters as the register-to-parameter driver reads them back.
            "SCR": SCR_DEFAULT | SCR_MOTOR_INCREMENTAL_BESIDE_LOAD | SCR_LOAD_SSI | SCR_SECOND_CONNECTOR,
            "OSR": OSR_LOAD_SENSOR,
            "ACR": ACR_DEFAULT | ACR_ANALOGUE_REFERENCE,
            "SSITURNS": 0,
            "SSIREV": 24,
            "AEI_PER": 59999,
            "AEI_CMPTIME": 58500,
            "POSOKLIM": 100,
            "CRT_min": {"value": -2.442002442002442, "max": 2.442030761122558},
            "CRT_max": {"value": 2.442030761122558, "min": -2.442002442002442},
            "CADIN": 8002,
            "AD5OFF": -8000,
        },
        "linear_variables": True,
        "options": {
            "isPositionFeedbackOnLoad": "1",
            "LoadPosition": "SSI encoder on Feedback #2",
        },
    },
}


# ---- applying a variant

def apply_variant(default, variant):
    setup = json.loads(json.dumps(default))  # a deep copy, keys in file order
    setup["description"] = variant["description"]
    for name, value in variant.get("drive", {}).items():
        if name not in setup["drive"]:
            raise KeyError("the drive description has no %r" % name)
        setup["drive"][name] = value

    removed = {key(n) for n in variant.get("remove", [])}
    known = {key(p["name"]) for p in setup["parameters"]}
    if removed - known:
        raise KeyError("no parameter %r to remove" % sorted(removed - known)[0])
    setup["parameters"] = [p for p in setup["parameters"] if key(p["name"]) not in removed]

    by_name = {key(p["name"]): p for p in setup["parameters"]}
    for name, change in variant.get("set", {}).items():
        parameter = by_name.get(key(name))
        if parameter is None:
            raise KeyError("no parameter %r to set" % name)
        parameter.update(change if isinstance(change, dict) else {"value": change})

    gone = {key(n) for n in variant.get("remove_variables", [])}
    variables = {key(v["name"]): v for v in setup.get("variables", [])}
    if gone - set(variables):
        raise KeyError("no variable %r to remove" % sorted(gone - set(variables))[0])
    if variant.get("linear_variables"):
        motor = {key(n) for n in MOTOR_VARIABLES}
        for name, variable in variables.items():
            if name not in motor and variable.get("unit") in LINEAR_UNITS:
                variable["unit"] = LINEAR_UNITS[variable["unit"]]
    if "variables" in setup:
        setup["variables"] = [v for v in setup["variables"] if key(v["name"]) not in gone]

    for name, text in variant.get("options", {}).items():
        if name not in setup.get("options", {}):
            raise KeyError("no option %r" % name)
        setup["options"][name] = text
    check_limits(setup)
    return setup


def check_limits(setup):
    for p in setup["parameters"]:
        low, high = p.get("min", float("-inf")), p.get("max", float("inf"))
        if not low <= p["value"] <= high:
            raise ValueError("%s: %s = %r is outside [%r, %r]" % (setup["description"], p["name"], p["value"], low,
                                                                  high))


# ---- the file layout of default.json

def compact(value):
    return json.dumps(value, ensure_ascii=False)


def format_setup(setup):
    def lines(items, indent):
        return ",\n".join(indent + item for item in items)

    parts = []
    for name, value in setup.items():
        if name == "drive":
            entries = []
            for entry, content in value.items():
                if entry == "brakeOutputs" and content:
                    content_text = "[\n%s\n    ]" % lines([compact(o) for o in content], "      ")
                else:
                    content_text = compact(content)
                entries.append("%s: %s" % (compact(entry), content_text))
            parts.append("%s: {\n%s\n  }" % (compact(name), lines(entries, "    ")))
        elif name in ("parameters", "variables"):
            parts.append("%s: [\n%s\n  ]" % (compact(name), lines([compact(item) for item in value], "    ")))
        elif name == "options":
            entries = ["%s: %s" % (compact(option), compact(text)) for option, text in value.items()]
            parts.append("%s: {\n%s\n  }" % (compact(name), lines(entries, "    ")))
        else:
            parts.append("%s: %s" % (compact(name), compact(value)))
    return "{\n%s\n}\n" % lines(parts, "  ")


# ---- main

def generate():
    with open(DEFAULT, encoding="utf-8") as f:
        text = f.read()
    default = json.loads(text)
    if format_setup(default) != text:
        raise ValueError("default.json is not in the layout this tool writes; the variants would not match it")
    return {name: format_setup(apply_variant(default, variant)) for name, variant in VARIANTS.items()}


def main(argv):
    parser = argparse.ArgumentParser(description="Makes the sample setups of the drive variants.")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; exit status 1 when a variant file is missing or stale")
    args = parser.parse_args(argv[1:])
    try:
        files = generate()
    except (KeyError, ValueError) as problem:
        print("make_variants: %s" % problem.args[0], file=sys.stderr)
        return 2
    stale = []
    root = os.path.dirname(SETUPS)
    for name, text in files.items():
        path = os.path.join(VARIANTS_DIR, name + ".json")
        try:
            with open(path, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current == text:
            continue
        if args.check:
            stale.append((path, "missing" if current is None else "stale"))
        else:
            os.makedirs(VARIANTS_DIR, exist_ok=True)
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
            print("wrote %s" % os.path.relpath(path, root))
    for path, what in stale:
        print("%s: %s (run setups/tools/make_variants.py)" % (what, os.path.relpath(path, root)), file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
