#include <iterator>
#include <limits>

#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Feedback.h"
#include "conversions/Gains.h"
#include "conversions/Io.h"
#include "conversions/Protection.h"
#include "conversions/Timing.h"
#include "options/Limits.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using namespace dctest;

namespace {

// The default setup: 65520 converter counts, 819 counts/V, 3276 counts/A,
// 1 ms speed loop, 2000/2pi counts/rad on the motor encoder.
constexpr double kCountsPerRad = 2000 / 6.283185307179586;

// The target first holds -7 (unless changed), which no converter here computes: one that writes nothing
// leaves it. A range given as kSame must be left as it was; a value given as kAny is not looked at.
constexpr double kKept = -7, kSame = std::numeric_limits<double>::quiet_NaN(), kAny = kSame;

// A limit operation in a converter's place; it has no result (kNone).
constexpr int kNone = -1;
template <void (*limit)(CKX_Setup&)>
int Limit(CKX_Setup& setup) {
    limit(setup);
    return kNone;
}

TEST(Converters, OnTheDefaultSetup) {
    constexpr const char* kFilter = "FilterOnCurrentControllerOutput";
    const double tacho = 4096 * 0.028647889756541162 / 20;  // counts per rad/s
    const struct {
        Converter convert;
        const char *changes, *target;  // changes made as Assign makes them, once the target holds kKept
        int result;
        double value, min = kSame, max = kSame;
    } rows[] = {
        {ReadCurrentLimit, "", "IlimPS", 1, 8, 0.001, 10},  // "SATS": "ACR" bit 9 is set
        {ReadTestLimitCurrent, "ACR=1284", "TestLimitCurrent", 1, 200.0 / 3276, 0, 10},  // "SATP"
        {ReadTestCurrent, "", "TestCurrent", 1, 1.6, 0.001, 2.88},
        {ReadTestMaxSpeed, "", "TestMaxSpeed", 1, 800.0 / 3, 0, 800},
        {ReadLoadInertiaRatio, "Jt=4.2e-5", "Jload_over_J", 1, 2, 0, 100},  // Jm 1.4e-5
        {ReadSpeedLimit, "", "Limit_Speed", 1, 200 * kPi, 0, 800},          // 48 V / 0.06 V s/rad
        {ReadSpeedLimit, "Limit_Speed_MaxPercent=50", "Limit_Speed", 1, 400, 0, 400},
        {ReadSpeedLimit, "MotorSensorType=2", "Limit_Speed", 1, 200 / tacho, 0, 2047 / tacho},
        {ReadSpeedLimit, "ControlMode=1", "Limit_Speed", 1, kKept},  // "SATP" holds no speed limit
        {ReadSpeedLoopSaturation, "", "IPSatS", 1, 100, 0, 100},
        {ReadPositionLoopSaturation, "", "IPSatP", 1, 50, 0, 100},
        // in speed control "SATP" holds a speed limit; "IMAXP" is a share of the current limit
        {ReadPositionLoopSaturation, "ControlMode=1 IlimPS=6 IMAXP=22939", "IPSatP", 1, 50, 0, 100},
        {ReadOutputFilter, "FILTERQ=1598", kFilter, 1, 1000, 0, 10000},
        {ReadOutputFilterFlag, "FILTERQ=32766", "isUseFilterOnCrtCtrlOutput", 1, 1, 0, 1},
        {ReadOffsetCurrent, "FFL=4914", "OffsetCurrent", 1, 1.5, -3.2, 3.2},
        {ReadGravityCompensationFlag, "FFL=-1", "isCompensateGravitationalLoads", 1, 1, 0, 1},
        {ReadDerivativeFilter, "KDFP=8192", "filter_D", 1, 8192 / 32767.0, 0, 1},
        {ReadReferenceFilter, "FILTER1=100", "filter", 1, -1000 * std::log(1 - 100 / 32767.0), 0, 500},
        {ReadReferenceFilter, "FILTER1=32767", "filter", 1, 50, 0, 500},  // off: a corner to start from
        {ReadAxisId, "AAR_table=0", "Axis_ID_list", 1, 0, 0, 511},
        {ReadAxisId, "AAR_table=511", "Axis_ID_list", 1, 255, 0, 511},
        // forward: T = 50 us, 3276 counts per ampere, 1/pi counts per rad/s; position control
        // over the speed loop unless changed
        {WriteOutputFilter, "", "FILTERQ", 1, 32767},                             // off
        {WriteOutputFilter, "isUseFilterOnCrtCtrlOutput=1", "FILTERQ", 1, 7248},  // 5000 rad/s
        {WriteOutputFilter, "isUseFilterOnCrtCtrlOutput=0.5", "FILTERQ", 1, 7248},
        {WriteOffsetCurrent, "isCompensateGravitationalLoads=1 OffsetCurrent=1.5", "FFL", 1, 4914},
        {WriteDerivativeFilter, "filter_D=0.25", "KDFP", 1, 8192},  // 8191.75 held as 8192
        {WriteSpeedSaturation, "IlimPS=6", "SATS", 1, 13111, 0, 32767},
        {WritePositionSaturation, "ControlMode=1 Limit_Speed=300", "SATP", 1, 32672, 0, 32767},
        {WritePositionSaturation, "PositionControlType=0 IlimPS=6", "SATP", 1, 13111, 0, 32767},
        {WriteSpeedLoopSaturation, "IlimPS=6 IPSatS=80", "IMAXS", 1, 17042, 0, 32767},
        {WritePositionLoopSaturation, "Limit_Speed=300 IPSatP=40", "IMAXP", 1, 32729, 0, 32767},
        {WritePositionLoopSaturation, "ControlMode=2 IPSatP=40", "IMAXP", 1, 22284, 0, 32767},
        {WriteAxisIdRegister, "Axis_ID_list=0.9", "AAR_table", 1, 0},
        {WriteAxisIdRegister, "Axis_ID_list=1", "AAR_table", 1, 257},
        {WriteAxisIdRegister, "Axis_ID_list=255", "AAR_table", 1, 511},
        {WriteGearRatio, "GEARSLAVE=3 GEARMASTER=4", "GEAR", 1, 0.75},
        {WriteBrakeApplyDelay, "MotorBrake_applytime=0.02", "BRAKEAPPLYDELAY", 1, 20},
        {WritePWMSaturation, "CurrentMeasurementType=0", "SATPWM", 1, 0},
        {WritePWMSaturation, "CurrentMeasurementType=1", "SATPWM", 1, 2621},  // 20 kHz · 0.13107
        {WritePWMSaturation, "CurrentMeasurementType=0.5 PWM_freq=10000", "SATPWM", 1, 1311},
        // The control word: the mode field, the reference bits, the optional flags; other bits are kept.
        {WriteApplicationControlWord, "ACR=0", "ACR", 1, 0x700},  // position over the speed loop
        {WriteApplicationControlWord, "ACR=0x500 ControlMode=1", "ACR", 1, 0x300},
        {WriteApplicationControlWord, "ACR=0x8701 ControlMode=2", "ACR", 1, 0x8101},
        {WriteApplicationControlWord, "ACR=0x700 ControlMode=3", "ACR", 0, 0x700},  // no mode the drive knows
        {WriteApplicationControlWord, "ACR=0x40 ControlMode=1 ExternalReference=1", "ACR", 1, 0x384},
        {WriteApplicationControlWord, "ACR=0x84 ExternalReference=1 isAnalogueReference=1", "ACR", 1, 0x744},
        // A load sensor takes the feedback input: the reference is analogue.
        {WriteApplicationControlWord, "ACR=0 ExternalReference=1 LoadSensorType=1", "ACR", 1, 0x740},
        {WriteApplicationControlWord, "ACR=0x700 isAutoActivatedAfterPowerOn=1", "ACR", 1, 0x702},
        {WriteApplicationControlWord, "ACR=0x700 SpeedForward=1", "ACR", 1, 0x4700},
        {WriteApplicationControlWord, "ACR=0x700 isFreezeControl=1", "ACR", 1, 0x710},
        {WriteApplicationControlWord, "ACR=0 ControlMode=1 isFreezeControl=1", "ACR", 1, 0x310},
        // A drive without the flags has no auto-activation and no speed feed-forward; without
        // freeze control its bit is left as it was.
        {WriteApplicationControlWord,
         "ACR=0x4712 ControlMode=1 -isAutoActivatedAfterPowerOn -SpeedForward -POSOKLIM_FC", "ACR", 1, 0x310},
        {ReadControlMode, "ACR=0x500", "ControlMode", 1, 0, 0, 2},
        {ReadControlMode, "ACR=0x300", "ControlMode", 1, 1, 0, 2},
        {ReadControlMode, "ACR=0x8101", "ControlMode", 1, 2, 0, 2},
        {ReadExternalReference, "ACR=0x40", "ExternalReference", 1, 1, 0, 1},
        {ReadExternalReference, "ACR=0x80", "ExternalReference", 1, 1, 0, 1},
        {ReadExternalReference, "ACR=0xFF3F", "ExternalReference", 1, 0, 0, 1},
        {ReadDigitalReferenceType, "ACR=0x384", "DigitalReferenceType", 1, 0},
        {ReadDigitalReferenceType, "ACR=0xFFFB", "DigitalReferenceType", 1, 1},
        {ReadAutoActivation, "ACR=2", "isAutoActivatedAfterPowerOn", 1, 1},  // read as "IsAuto..."
        {ReadAutoActivation, "ACR=0xFFFD", "isAutoActivatedAfterPowerOn", 1, 0},
        {ReadSpeedForward, "ACR=0x4000", "SpeedForward", 1, 1},
        {ReadSpeedForward, "ACR=0xBFFF", "SpeedForward", 1, 0},
        {ReadFreezeControlFlag, "ACR=0x10", "isFreezeControl", 1, 1, 0, 1},
        // Freeze control acts in position mode only.
        {ReadFreezeControlFlag, "ACR=0x10 ControlMode=1", "isFreezeControl", 1, 0, 0, 1},
        {ReadFreezeControlFlag, "ACR=0xFFEF", "isFreezeControl", 1, 0, 0, 1},
        {ReadAnalogueReferenceFlag, "ACR=0x40", "isAnalogueReference", 1, 1, 0, 1},
        {ReadAnalogueReferenceFlag, "ACR=0xFFBF", "isAnalogueReference", 1, 0, 0, 1},
        {ReadAnalogueReferenceFlag, "ACR=0x40 -CADIN", "isAnalogueReference", 1, 0, 0, 0},  // no scaling
        // The reference limits: the motor's peak current is below the drive's.
        {Limit<LimitCurrentMax>, "ImaxM=4 CRT_min=-1 CRT_max=2", "CRT_max", kNone, 2, -1, 4},
        {Limit<LimitCurrentMin>, "ImaxM=4 CRT_min=-1 CRT_max=2", "CRT_min", kNone, -1, -4, 2},
        {Limit<LimitSpeedMax>, "Limit_Speed=50 SPD_min=-3 SPD_max=5", "SPD_max", kNone, 5, -3, 50},
        {Limit<LimitSpeedMin>, "Limit_Speed=50 SPD_min=-3 SPD_max=5", "SPD_min", kNone, -3, -50, 5},
        // The newer dead band spans the point's whole range.
        {Limit<LimitDeadBandRange>, "DeadBand_Point=-10", "DeadBand_Range", kNone, kKept, 0, 20},
        // Other bits of a word are kept.
        {WriteApplicationStatusWord, "ASR=0x88A5 InputsPolarityType=1", "ASR", 1, 0x0021},
        {WriteApplicationStatusWord, "ASR=0x88A5 isSWLS=1", "ASR", 1, 0x1025},
        {WriteApplicationStatusWord, "ASR=0x88A5 Motor_transmission=-1", "ASR", 1, 0x00A5},
        {WriteApplicationStatusWord, "ASR=0x88A5 isSpeedEstimator=1", "ASR", 1, 0x8025},
        {WriteApplicationStatusWord, "ASR=0x88A5 IsReverseMovementDirection=1", "ASR", 1, 0x0825},
        {ReadSoftwareLimitsFlag, "ASR=0x1000", "isSWLS", 1, 1},
        {ReadSoftwareLimitsFlag, "ASR=0xEFFF", "isSWLS", 1, 0},
        {ReadInputsPolarityType, "ASR=4", "InputsPolarityType", 1, 0},
        {ReadInputsPolarityType, "ASR=0xFFFB", "InputsPolarityType", 1, 1},
        {ReadMovementDirection, "ASR=0x800", "IsReverseMovementDirection", 1, 1},
        {ReadMovementDirection, "ASR=0xF7FF", "IsReverseMovementDirection", 1, 0},
        {ReadFastLoopFlag, "UPGRADE=0", "PosSpd_in_FastLoop", 1, 0, 0, 1},
        {ReadFastLoopFlag, "UPGRADE=64", "PosSpd_in_FastLoop", 1, 1, 0, 1},
        {ReadFastLoopFlag, "UPGRADE=0xFFFF", "PosSpd_in_FastLoop", 1, 1, 0, 1},
        // The brake's port as the pin in the high byte; a port or a pin the drive does not have.
        {WriteMotorBrakeConfig, "isMotorBrake=1 MotorBrake_output=1", "BRAKECFG", 1, 13 * 256 + 1},
        {WriteMotorBrakeConfig, "isMotorBrake=0 MotorBrake_output=3", "BRAKECFG", 1, 15 * 256},
        {WriteMotorBrakeConfig, "MotorBrake_output=5", "BRAKECFG", 0, kKept},
        {ReadMotorBrakeOutput, "BRAKECFG=3329", "MotorBrake_output", 1, 1},
        {ReadMotorBrakeOutput, "BRAKECFG=4096", "MotorBrake_output", 0, kKept},
        {ReadMotorBrakeFlag, "BRAKECFG=3329", "isMotorBrake", 1, 1, 0, 1},
        // Without a load sensor only the direction; with one, the encoders' ratio
        // times the transmission (rounded to five decimals), in 16.16 fixed point.
        {WriteTransmission, "Motor_transmission=3", "TRANSMISSION", 1, 1},
        {WriteTransmission, "Motor_transmission=-3", "TRANSMISSION", 1, -1},
        {WriteTransmission, "LoadSensorType=1 No_encoder_lines_LD=250", "TRANSMISSION", 1, 2},
        {WriteTransmission, "LoadSensorType=1 Motor_transmission=-2.0943951", "TRANSMISSION", 1,
         -21845 / 65536.0},
        // 65535 periods switch a control-error check off; an enabled check never writes it.
        {WritePositionErrorTimeRegister, "isPositionControlError=0 time_ERR_pos=0.2", "TERRMAX", 1, 65535},
        {WritePositionErrorTimeRegister, "isPositionControlError=0.5 time_ERR_pos=70", "TERRMAX", 1, 65535},
        {WritePositionErrorTimeRegister, "isPositionControlError=1.9 time_ERR_pos=0.25", "TERRMAX", 1, 250},
        {WritePositionErrorTimeRegister, "isPositionControlError=1 time_ERR_pos=70", "TERRMAX", 1, 65534},
        {WriteSpeedErrorTimeRegister, "isSpeedControlError=0 time_ERR_spd=0.3", "TSERRMAX", 1, 65535},
        {WriteSpeedErrorTimeRegister, "isSpeedControlError=1 time_ERR_spd=0.03", "TSERRMAX", 1, 30},
        {ReadPositionErrorFlag, "TERRMAX=65535", "isPositionControlError", 1, 0, 0, 1},
        {ReadPositionErrorFlag, "TERRMAX=65534", "isPositionControlError", 1, 1, 0, 1},
        {ReadSpeedErrorFlag, "TSERRMAX=65535", "isSpeedControlError", 1, 0, 0, 1},
        {ReadSpeedErrorFlag, "TSERRMAX=30", "isSpeedControlError", 1, 1, 0, 1},
        {ReadPositionErrorTime, "TERRMAX=250", "time_ERR_pos", 1, 0.25, 0.001, 32.767},
        {ReadPositionErrorTime, "TERRMAX=65535", "time_ERR_pos", 1, 32.767, 0.001, 32.767},
        {ReadSpeedErrorTime, "TSERRMAX=30", "time_ERR_spd", 1, 0.03, 0.001, 32.767},
        // Each flag reads its own bit, within [0, 1]; a drive without motor
        // temperature input (option 2) cannot enable the motor temperature check.
        {ReadOverCurrentFlag, "PCR=1", "isOverCurrent", 1, 1, 0, 1},
        {ReadOverCurrentFlag, "PCR=0xFFFE @DisableMotorTemperature=2", "isOverCurrent", 1, 0, 0, 1},
        {ReadMotorOverTempFlag, "PCR=4", "isMotorOverTemp", 1, 1, 0, 1},
        {ReadMotorOverTempFlag, "PCR=0xFFFB", "isMotorOverTemp", 1, 0, 0, 1},
        {ReadMotorOverTempFlag, "PCR=4 @DisableMotorTemperature=2", "isMotorOverTemp", 1, 0, 0, 0},
        {ReadDriveI2tFlag, "PCR=0x80 @DisableMotorTemperature=2", "isDriveI2t", 1, 1, 0, 1},
        {ReadDriveI2tFlag, "PCR=0xFF7F", "isDriveI2t", 1, 0, 0, 1},
        {ReadDriveTemperatureSensorFlag, "SCR=0x100", "isDriveTemperatureSensor", 1, 1, 0, 1},
        {ReadDriveTemperatureSensorFlag, "SCR=0xFEFF", "isDriveTemperatureSensor", 1, 0, 0, 1},
        {ReadBrakeResistorFlag, "OSR=0x200", "isBrakeResistor", 1, 1, 0, 1},
        {ReadBrakeResistorFlag, "OSR=0xFDFF", "isBrakeResistor", 1, 0, 0, 1},
        // The position error limit in the 32-bit register, else in the 16-bit one.
        {ReadPositionErrorLimit, "ERRMAX=1000 ERRMAXL=2e6", "ERR_position", 1, 2e6 / kCountsPerRad, 0,
         2147483647 / kCountsPerRad},
        {ReadPositionErrorLimit, "ERRMAX=30000 -ERRMAXL", "ERR_position", 1, 30000 / kCountsPerRad, 0,
         32767 / kCountsPerRad},
        // 6.4e8 counts per rad/s: 0.001 rad/s is above the top, the least error is one count.
        {ReadSpeedErrorLimit, "No_encoder_lines=1e12", "ERR_speed", 1, kAny, 1 / (2e9 * kCountsPerRad * 1e-3),
         32767 / (2e9 * kCountsPerRad * 1e-3)},
        // A zero divisor stops a converter: nothing written, no range set.
        {ReadSpeedLoopSaturation, "SATS=32767", "IPSatS", 0, kKept},
        {ReadPositionLoopSaturation, "Limit_Speed=0", "IPSatP", 0, kKept},
        {ReadTestLimitCurrent, "ImaxPS=0", "TestLimitCurrent", 0, kKept},
        {ReadSpeedLimit, "K=0", "Limit_Speed", 0, kKept},
        {ReadLoadInertiaRatio, "Jm=0", "Jload_over_J", 0, kKept},
        {WriteOutputFilter, "isUseFilterOnCrtCtrlOutput=1 DSP_freq=0", "FILTERQ", 0, kKept},
        {WriteBrakeApplyDelay, "Ts_S=0", "BRAKEAPPLYDELAY", 0, kKept},
        {WriteOverCurrentTimeRegister, "Ts_S=0", "TIMAXPROT", 0, kKept},
        {WriteGearRatio, "GEARMASTER=0", "GEAR", 0, kKept},
        {WriteEncoderTurnScale, "No_encoder_lines=0", "ENC2THL", 0, kKept},
        {WriteDeadBandPoint, "AnalogueInputsRange=0", "LEVEL_AD5", 0, kKept},
        {WriteTransmission, "Load_transmission=0", "TRANSMISSION", 0, kKept},
        {WriteDriveTemperatureRegister, "ADCrange=0", "T2MAXPROT", 0, kKept},
        {ReadSoftwareLimits, "Load_transmission=0", "Negative_SWLS", 0, kKept},
        {ReadReferenceFilter, "FILTER1=100 SLPER=0", "filter", 0, kKept},
        {ReadSpeedErrorLimit, "SLPER=0", "ERR_speed", 0, kKept},
        {ReadDriveI2tTime, "SFI2T_D=0", "t_I2t_D", 0, kKept},
        {ReadOverVoltageLevel, "VdcMaxMeasurable=0", "UMAX_PROT", 0, kKept},
        {ReadPWMFrequency, "PWMPER=0", "PWM_freq", 0, kKept},
        {ReadCurrentLoopPeriod, "DSP_freq=0", "Ts_C", 0, kKept},
    };
    const auto defaults = LoadDefaultSetup();
    const auto near = [](double actual, double expected) {
        EXPECT_NEAR(actual, expected, 1e-9 * std::fabs(expected) + 1e-15);
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const auto& r = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << r.target << " " << r.changes);
        CKX_Setup setup(*defaults);
        Force(setup, r.target, kKept);
        // A converter that writes nothing works on the setup without the changes.
        if (r.result == 0) {
            CKX_Setup unchanged(setup);
            EXPECT_EQ(r.convert(unchanged), 1) << "unchanged";
        }
        Assign(setup, r.changes);
        const CKX_Parameter* target = setup.FindParameter(r.target);
        const double min = target->GetMinInBaseUnit(), max = target->GetMaxInBaseUnit();
        const int result = r.convert(setup);
        EXPECT_TRUE(r.result == kNone || result == r.result) << "result " << result;
        if (!std::isnan(r.value)) near(target->GetValueInBaseUnit(), r.value);
        near(target->GetMinInBaseUnit(), std::isnan(r.min) ? min : r.min);
        near(target->GetMaxInBaseUnit(), std::isnan(r.max) ? max : r.max);
    }
}

TEST(Gains, FixedPointEncoding) {
    const struct {
        double x, mantissa;
        int shift;
    } cases[] = {{0, 0, 0},
                 {0.5, 16383.5, 0},
                 {1, 32767, 0},
                 {std::nextafter(1.0, 2.0), 16383.5, 1},
                 {4.5, 4.5 * 32767 / 8, 3},
                 {16384, 32767, 14},
                 {0x1p31, 32767, 31}};
    for (const auto& c : cases) {
        const FixedPointGain g = EncodeGain(c.x);
        EXPECT_EQ(g.shift, c.shift) << c.x;
        EXPECT_DOUBLE_EQ(g.mantissa, c.mantissa) << c.x;
        EXPECT_DOUBLE_EQ(DecodeGain(g.mantissa, g.shift), c.x) << c.x;
    }
    EXPECT_DOUBLE_EQ(RoundGainToRegisters(0.2396), 7851.0 / 32767);
    EXPECT_DOUBLE_EQ(RoundGainToRegisters(1000.3), 32009.0 * 1024 / 32767);
}

TEST(Gains, EachGainThroughBothDrivers) {
    const char* const gains[][3] = {{"KPI", "SFTKPI", "Kp_C_scl"}, {"KII", "SFTKII", "Ki_C_scl"},
                                    {"KPS", "SFTKPS", "Kp_S_scl"}, {"KIS", "SFTKIS", "Ki_S_scl"},
                                    {"KPP", "SFTKPP", "Kp_P_scl"}, {"KIP", "SFTKIP", "Ki_P_scl"},
                                    {"KDP", "SFTKDP", "Kd_P_scl"}, {"KFFS", "SFTSFFW", "KFFS_scl"}};
    // A different gain for each pair, 0.75 to 12288, and the acceleration
    // feed-forward shift split: at most 11 in "SFTAFFW".
    auto setup = MakeSetup("KFFA=0 SFTAFFW=0 SFTKFF=0 KFFA_scl=0x1p13");
    double x = 0.1875;
    for (const auto& g : gains) Assign(*setup, std::string(g[0]) + " " + g[1] + " " + g[2], {0, 0, x *= 4});
    ReportedErrors quiet;  // the setup holds nothing else
    ParametersToRegisters(*setup);
    EXPECT_EQ(ValueOf(*setup, "SFTAFFW"), 11);
    EXPECT_EQ(ValueOf(*setup, "SFTKFF"), 2);
    EXPECT_EQ(ValueOf(*setup, "KFFA"), 32767);
    for (const auto& g : gains) setup->SetParameterValueInBaseUnit(g[2], -1);
    setup->SetParameterValueInBaseUnit("KFFA_scl", -1);
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "KFFA_scl"), 0x1p13);
    x = 0.1875;
    for (const auto& g : gains) {
        const FixedPointGain stored = EncodeGain(x *= 4);
        EXPECT_EQ(ValueOf(*setup, g[1]), stored.shift) << g[2];
        EXPECT_EQ(ValueOf(*setup, g[0]), stored.mantissa) << g[2];
        EXPECT_DOUBLE_EQ(ValueOf(*setup, g[2]), x) << g[2];
        EXPECT_EQ(setup->FindParameter(g[2])->GetMaxInBaseUnit(), 16384) << g[2];
    }
}

// Bit 15 cleared, other bits kept; the limit-maximum flag only when exactly 1; the fast loop only with an
// incremental motor encoder alone, and cleared without the fast-loop parameter; motion-complete type 0 sets
// bit 11, and a drive with the motion-complete settings needs the type.
TEST(Timing, UpgradeWordForward) {
    const struct {
        const char* changes;
        int result;
        double expected;
    } cases[] = {
        {"UPGRADE=0x8801", 1, 0x0801},
        {"isLimitMaximum=1", 1, 0x0004},
        {"UPGRADE=4 isLimitMaximum=1.5", 1, 0},
        {"PosSpd_in_FastLoop=1", 1, 0x0040},
        {"UPGRADE=0x40 PosSpd_in_FastLoop=1 LoadSensorType=1", 1, 0},
        {"PosSpd_in_FastLoop=1 MotorSensorType=3", 1, 0},
        {"UPGRADE=0x40", 1, 0},
        {"MotionCompleteDefaultSettings=0 MotionCompleteType=0.7", 1, 0x0800},
        {"UPGRADE=0xFFFF isLimitMaximum=1 PosSpd_in_FastLoop=1 MotorSensorType=1.5 LoadSensorType=0.5 "
         "MotionCompleteDefaultSettings=0 MotionCompleteType=0",
         1, 0x7FFF},
        {"UPGRADE=0x0800 isLimitMaximum=1 MotionCompleteDefaultSettings=1", 0, 0x0800},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup("UPGRADE=0 isLimitMaximum=0 MotorSensorType=1 LoadSensorType=0 " +
                               std::string(c.changes));
        ReportedErrors errors;
        EXPECT_EQ(WriteUpgradeWord(*setup), c.result) << c.changes;
        EXPECT_EQ(ValueOf(*setup, "UPGRADE"), c.expected) << c.changes;
    }
}

// Drive variants without the fast-loop flag or a saturation copy are normal:
// nothing to do and no message; a missing source writes nothing.
TEST(Timing, OptionalParametersNeedNoMessage) {
    ReportedErrors errors;
    EXPECT_EQ(ReadFastLoopFlag(*MakeSetup("UPGRADE=0x40")), 1);
    auto setup = MakeSetup("SATPWM=2621.4 SATID=1");
    EXPECT_EQ(CopyPWMSaturationToD(*setup), 1);
    EXPECT_EQ(CopyPWMSaturationToQ(*setup), 0);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATID"), 2621.4);
    auto noSource = MakeSetup("SATID=1");
    EXPECT_EQ(CopyPWMSaturationToD(*noSource), 0);
    EXPECT_EQ(ValueOf(*noSource, "SATID"), 1);
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(ReadFastLoopFlag(*MakeSetup("PosSpd_in_FastLoop=0")), 0);  // the flag without "UPGRADE"
}

TEST(Protection, ProtectionAndOptionWords) {
    const struct {
        const char* word;
        double before, flags, other;  // other: "isOverCurrent" / "LoadSensorType"
        const char* disableBrake;
        double expected;
    } cases[] = {{"PCR", 0xFFFF, 0, 0, "0", 0xFF40},     {"PCR", 0, 1, 1, "0", 0x00BF},
                 {"PCR", 0x0140, 0.5, 1.9, "0", 0x0141}, {"PCR", 0, 2, -1, "0", 0},
                 {"OSR", 0, 1, 0, "0", 0x0200},          {"OSR", 0x0200, 1, 0, "1", 0},
                 {"OSR", 0xFFFF, 0, 0, "0", 0xEDFF},     {"OSR", 0, 1.5, 3, "", 0x1200},
                 {"OSR", 0x0200, 0.9, -1, "0", 0x1000}};
    const char* flags = "isDriveI2t isUnderVoltage isOverVoltage isDriveOverTemp isMotorOverTemp isMotorI2t";
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        const bool pcr = c.word[0] == 'P';
        setup->SetOption("DisableBrake", c.disableBrake);
        Force(*setup, c.word, c.before);
        Force(*setup, pcr ? "isOverCurrent" : "LoadSensorType", c.other);
        Assign(*setup, flags, std::vector<double>(6, c.flags));
        Force(*setup, "isBrakeResistor", c.flags);
        EXPECT_EQ((pcr ? WriteProtectionWord : WriteOptionWord)(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, c.word), c.expected) << c.word << " " << c.before << " " << c.flags;
    }
}

// Every user value goes to its register (golden count) and comes back.
TEST(Protection, RoundTripsWithinOneRegisterStep) {
    const struct {
        Converter write, read;
        const char *user, *counts;
        double value, expected;
    } rows[] = {
        {WriteOverVoltageRegister, ReadOverVoltageLevel, "UMAX_PROT", "UMAXPROT", 50.3, 41195},  // truncated
        {WriteDriveTemperatureRegister, ReadDriveTemperatureLimit, "Temp_2", "T2MAXPROT", -20, 6552},
        {WriteDriveI2tLimitRegister, ReadDriveI2tCurrent, "I_I2t_D", "I2TINTLIM_D", 5, 6036849},
        {WriteDriveI2tScaleRegister, ReadDriveI2tTime, "t_I2t_D", "SFI2T_D", 30, 67108.864 / 30},
        {WriteOverCurrentRegister, ReadOverCurrentLevel, "Imax_Prot", "IMAXPROT", 9, 29484},
        {WriteOverCurrentTimeRegister, ReadOverCurrentTime, "time_Imax_Prot", "TIMAXPROT", 0.05, 50},
        {WriteLargePositionErrorRegister, ReadPositionErrorLimit, "ERR_position", "ERRMAXL", 3,
         3 * kCountsPerRad},
        {WriteSpeedErrorRegister, ReadSpeedErrorLimit, "ERR_speed", "SERRMAX", 150, 0.15 * kCountsPerRad},
        {WriteMotorI2tLimitRegister, ReadMotorI2tCurrent, "I_I2t_M", "I2TINTLIM_M", 10, 60207507.36},
        {WriteBrakeVoltageRegister, ReadBrakeVoltage, "Vbrake", "BRAKELIM", 54.5, 44635.5}};
    auto setup = LoadDefaultSetup();
    for (const auto& r : rows) Force(*setup, r.user, r.value);
    for (const auto& r : rows) EXPECT_EQ(r.write(*setup), 1) << r.user;
    EXPECT_EQ(WriteDriveI2tWarningRegister(*setup), 1);
    // The default setup's registers are whole-count types: the host rounds.
    EXPECT_EQ(ValueOf(*setup, "II2TWARLIM_D"), std::round(6036849 * (1 - 2 / 30.0)));
    for (const auto& r : rows) {
        EXPECT_EQ(ValueOf(*setup, r.counts), std::round(r.expected)) << r.user;
        Force(*setup, r.user, 0.5);
        EXPECT_EQ(r.read(*setup), 1) << r.user;
        const double back = ValueOf(*setup, r.user);
        double step = 0;  // what one count either way from the written one reads as
        for (const double delta : {-1.0, 1.0}) {
            CKX_Setup nudged(*setup);
            Force(nudged, r.counts, ValueOf(*setup, r.counts) + delta);
            r.read(nudged);
            step = std::max(step, std::fabs(ValueOf(nudged, r.user) - back));
        }
        EXPECT_GT(step, 0) << r.user;
        EXPECT_LE(std::fabs(back - r.value), step * (1 + 1e-9)) << r.user;
    }
}

}  // namespace
