#include "Protection.h"

#include <cmath>
#include <cstdint>

#include "Capabilities.h"
#include "Conventions.h"
#include "Derived.h"
#include "Names.h"

namespace dcdrive {

using namespace names;

namespace {

// The motor i2t flag is read under this spelling and written back under the
// one below; lookups ignore letter case, so both reach the same parameter.
constexpr const char* kisMotori2t = "isMotori2t";

// The i2t scale factors count the speed-loop period in units of 2^-26 of the
// i2t time.
constexpr double kI2tScaleUnit = 67108864.0;
// The longest time a 16-bit time register holds in the user's range.
constexpr double kLongestTimeCounts = kFullScale;
// An enabled control-error check writes at most this count, so that it can
// never be taken for the disabled marker.
constexpr double kLongestEnabledCounts = kControlErrorDisabled - 1.0;

// A flag in [0, max] holding one bit of a register word.
int ReadWordBit(CKX_Setup& setup, const char* word, const char* flag, int bit, double max = 1.0) {
    const auto p = Require(setup, word, flag);
    if (!p) return 0;
    const auto [register_, target] = *p;
    return WriteRangeAndValue(*target, 0.0, max, BitOf(Value(register_), bit));
}

// A supply-voltage threshold in volts, from measured-voltage counts.
int ReadVoltageLevel(CKX_Setup& setup, const char* counts, const char* volts) {
    const auto p = Require(setup, counts, volts);
    if (!p) return 0;
    const auto [register_, level] = *p;
    return WriteRangeAndValue(*level, 1.0, 2000.0, Ratio(Value(register_), VoltageMeasureScale(setup)));
}

// An over-current level in amperes, up to the lower of the drive's and the
// motor's peak currents.
int ReadProtectionCurrent(CKX_Setup& setup, const char* target, double min) {
    const auto p = Require(setup, kIMAXPROT, kImaxPS, kImaxM, target);
    if (!p) return 0;
    const auto [counts, drivePeak, motorPeak, current] = *p;
    return WriteRangeAndValue(*current, min, std::fmin(Value(drivePeak), Value(motorPeak)),
                              Ratio(Value(counts), CurrentScale(setup)));
}

// A time counted in speed-loop periods, in seconds.
int ReadLoopTime(CKX_Setup& setup, const char* periods, const char* seconds) {
    const auto p = Require(setup, periods, seconds);
    if (!p) return 0;
    const auto [register_, time] = *p;
    const double period = SpeedLoopPeriod(setup);
    return WriteRangeAndValue(*time, 0.001, period * kLongestTimeCounts, Value(register_) * period);
}

// Whether a control-error check is on: its time register is not the marker.
int ReadControlErrorFlag(CKX_Setup& setup, const char* periods, const char* flag) {
    const auto p = Require(setup, periods, flag);
    if (!p) return 0;
    const auto [register_, enabled] = *p;
    return WriteRangeAndValue(*enabled, 0.0, 1.0, Value(register_) == kControlErrorDisabled ? 0.0 : 1.0);
}

// The i2t current from the integrator limit: the limit holds the headroom
// (I^2 - Icont^2) in counts^2 divided by 16.
double I2tCurrent(double limit, double continuous, double scale) {
    const double continuousCounts = continuous * scale;
    return Ratio(std::sqrt(16.0 * limit + continuousCounts * continuousCounts), scale);
}

// The i2t range of times a scale factor can give.
int WriteI2tTime(CKX_Setup& setup, CKX_Parameter& time, double value) {
    const double period = SpeedLoopPeriod(setup);
    return WriteRangeAndValue(time, period * 2048.0, period * kI2tScaleUnit, value);
}

// Headroom above the continuous current in counts^2, divided by 16.
double I2tHeadroom(CKX_Setup& setup, double current, double continuous) {
    const double scale = CurrentScale(setup);
    return (current * current - continuous * continuous) * scale * scale * 0.0625;
}

int WriteI2tLimit(CKX_Setup& setup, const char* limit, const char* current, const char* continuous) {
    const auto p = Require(setup, limit, current, continuous);
    if (!p) return 0;
    const auto [register_, peak, nominal] = *p;
    return WriteBase(*register_, I2tHeadroom(setup, Value(peak), Value(nominal)));
}

// The warning level: the headroom reduced by (1 - 2 / t) for the i2t time t.
int WriteI2tWarning(CKX_Setup& setup, const char* warning, const char* current, const char* continuous,
                    const char* time) {
    const auto p = Require(setup, warning, current, continuous, time);
    if (!p) return 0;
    const auto [register_, peak, nominal, seconds] = *p;
    return WriteBase(*register_,
                     I2tHeadroom(setup, Value(peak), Value(nominal)) * (1.0 - Ratio(2.0, Value(seconds))));
}

// Speed-loop periods of the i2t time in 2^-26 units: "Ts_S" · 2^26 / t.
double I2tScale(const CKX_Parameter* loopPeriod, const CKX_Parameter* time) {
    return Ratio(Value(loopPeriod) * kI2tScaleUnit, Value(time));
}

int WriteCurrentCounts(CKX_Setup& setup, const char* counts, const char* amperes) {
    const auto p = Require(setup, counts, amperes);
    if (!p) return 0;
    const auto [register_, current] = *p;
    return WriteBase(*register_, Value(current) * CurrentScale(setup));
}

int WritePositionError(CKX_Setup& setup, const char* counts) {
    const auto p = Require(setup, counts, kERR_position);
    if (!p) return 0;
    const auto [register_, error] = *p;
    return WriteBase(*register_, Value(error) * std::fabs(PositionScale(setup)));
}

// A control-error time in speed-loop periods, or the disabled marker.
int WriteControlErrorTime(CKX_Setup& setup, const char* periods, const char* flag, const char* seconds) {
    const auto p = Require(setup, periods, flag, seconds, kTs_S);
    if (!p) return 0;
    const auto [register_, enabled, time, loopPeriod] = *p;
    if (Code(enabled) != 1) return WriteBase(*register_, kControlErrorDisabled);
    const double counts = Ratio(Value(time), Value(loopPeriod));
    return WriteBase(*register_, counts > kLongestEnabledCounts ? kLongestEnabledCounts : counts);
}

}  // namespace

// ---------------------------------------------------------------- registers -> parameters

int ReadOverCurrentFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisOverCurrent, kProtectionOverCurrentBit);
}

int ReadMotorI2tFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisMotori2t, kProtectionMotorI2tBit);
}

int ReadMotorOverTempFlag(CKX_Setup& setup) {
    // A drive variant without motor temperature input cannot enable the check.
    const double max = setup.GetIntOption(kDisableMotorTemperature) != 0 ? 0.0 : 1.0;
    return ReadWordBit(setup, kPCR, kisMotorOverTemp, kProtectionMotorOverTempBit, max);
}

int ReadDriveOverTempFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisDriveOverTemp, kProtectionDriveOverTempBit);
}

int ReadOverVoltageFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisOverVoltage, kProtectionOverVoltageBit);
}

int ReadUnderVoltageFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisUnderVoltage, kProtectionUnderVoltageBit);
}

int ReadDriveI2tFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kPCR, kisDriveI2t, kProtectionDriveI2tBit);
}

int ReadMotorTemperatureSensorFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kSCR, kisMotorTemperatureSensor, kSensorMotorTemperatureBit);
}

int ReadDriveTemperatureSensorFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kSCR, kisDriveTemperatureSensor, kSensorDriveTemperatureBit);
}

int ReadMotorTempSensorType(CKX_Setup& setup) {
    const auto p = Require(setup, kMTSTYPE, kMotor_TempSensor_Type);
    if (!p) return 0;
    const auto [register_, type] = *p;
    return WriteRangeAndValue(*type, 0.0, 1.0, Code(register_));
}

int ReadOverVoltageLevel(CKX_Setup& setup) { return ReadVoltageLevel(setup, kUMAXPROT, kUMAX_PROT); }

int ReadUnderVoltageLevel(CKX_Setup& setup) { return ReadVoltageLevel(setup, kUMINPROT, kUMIN_PROT); }

int ReadDriveTemperatureLimit(CKX_Setup& setup) {
    const auto p =
        Require(setup, kT2MAXPROT, kADCrange, kDriveTempOutputAt0oC, kDriveTempSensorGain, kTemp_2);
    if (!p) return 0;
    const auto [counts, inputRange, outputAtZero, gain, temperature] = *p;
    // Counts -> sensor volts -> degrees.
    const double volts = Ratio(Value(inputRange) * Value(counts), AdcMax(setup));
    return WriteRangeAndValue(*temperature, -100.0, 1000.0, Ratio(volts - Value(outputAtZero), Value(gain)));
}

int ReadOverCurrentLevel(CKX_Setup& setup) { return ReadProtectionCurrent(setup, kImax_Prot, 0.001); }

int ReadTestProtectionCurrent(CKX_Setup& setup) {
    return ReadProtectionCurrent(setup, kTestProtectionCurrent, 0.0);
}

int ReadOverCurrentTime(CKX_Setup& setup) { return ReadLoopTime(setup, kTIMAXPROT, ktime_Imax_Prot); }

int ReadDriveI2tCurrent(CKX_Setup& setup) {
    const auto p = Require(setup, kI2TINTLIM_D, kInPS, kImaxPS, kI_I2t_D);
    if (!p) return 0;
    const auto [limit, nominal, peak, current] = *p;
    return WriteRangeAndValue(
        *current, Value(nominal), Value(peak),
        I2tCurrent(limit->GetValueInInternalUnit(), Value(nominal), CurrentScale(setup)));
}

int ReadDriveI2tTime(CKX_Setup& setup) {
    const auto p = Require(setup, kSFI2T_D, kTs_S, kt_I2t_D);
    if (!p) return 0;
    const auto [scale, loopPeriod, time] = *p;
    return WriteI2tTime(setup, *time, Ratio(Value(loopPeriod) * kI2tScaleUnit, Value(scale)));
}

int ReadMotorI2tCurrent(CKX_Setup& setup) {
    const auto p = Require(setup, kI2TINTLIM_M, kIn, kImaxM, kI_I2t_M);
    if (!p) return 0;
    const auto [limit, nominal, peak, current] = *p;
    return WriteRangeAndValue(*current, 1.1 * Value(nominal), Value(peak),
                              I2tCurrent(Value(limit), Value(nominal), CurrentScale(setup)));
}

int ReadMotorI2tTime(CKX_Setup& setup) {
    const auto p = Require(setup, kSFI2T_M, kt_I2t_M);
    if (!p) return 0;
    const auto [scale, time] = *p;
    return WriteI2tTime(setup, *time, Ratio(SpeedLoopPeriod(setup) * kI2tScaleUnit, Value(scale)));
}

int ReadPositionErrorFlag(CKX_Setup& setup) {
    return ReadControlErrorFlag(setup, kTERRMAX, kisPositionControlError);
}

int ReadPositionErrorLimit(CKX_Setup& setup) {
    // Drives with the 32-bit limit hold it there; the 16-bit one is the
    // fallback when the wider range cannot be set.
    if (Exists(setup, kERRMAXL)) {
        const auto p = Require(setup, kERRMAXL, kERR_position);
        if (!p) return 0;
        const auto [counts, error] = *p;
        const double scale = std::fabs(PositionScale(setup));
        if (SetParameterRange(*error, 0.0, Ratio(2147483647.0, scale)))
            return WriteBase(*error, Ratio(Value(counts), scale));
    }
    const auto p = Require(setup, kERRMAX, kERR_position);
    if (!p) return 0;
    const auto [counts, error] = *p;
    const double scale = std::fabs(PositionScale(setup));
    return WriteRangeAndValue(*error, 0.0, Ratio(kFullScale, scale), Ratio(Value(counts), scale));
}

int ReadPositionErrorTime(CKX_Setup& setup) { return ReadLoopTime(setup, kTERRMAX, ktime_ERR_pos); }

int ReadSpeedErrorFlag(CKX_Setup& setup) {
    return ReadControlErrorFlag(setup, kTSERRMAX, kisSpeedControlError);
}

int ReadSpeedErrorLimit(CKX_Setup& setup) {
    const auto p = Require(setup, kSERRMAX, kERR_speed);
    if (!p) return 0;
    const auto [counts, error] = *p;
    const double scale = std::fabs(SpeedScale(setup));
    const double max = Ratio(kFullScale, scale);
    // With a very fine speed scale the smallest step is one count.
    const double min = 0.001 > max ? Ratio(1.0, scale) : 0.001;
    return WriteRangeAndValue(*error, min, max, Ratio(Value(counts), scale));
}

int ReadSpeedErrorTime(CKX_Setup& setup) { return ReadLoopTime(setup, kTSERRMAX, ktime_ERR_spd); }

int ReadBrakeResistorFlag(CKX_Setup& setup) {
    return ReadWordBit(setup, kOSR, kisBrakeResistor, kOptionBrakeResistorBit);
}

int ReadBrakeVoltage(CKX_Setup& setup) {
    const auto p = Require(setup, kBRAKELIM, kVdcMaxMeasurable, kVbrake);
    if (!p) return 0;
    const auto [counts, measurable, volts] = *p;
    return WriteRangeAndValue(*volts, 1.0, Value(measurable),
                              Ratio(Value(counts), VoltageMeasureScale(setup)));
}

// ---------------------------------------------------------------- parameters -> registers

int WriteProtectionWord(CKX_Setup& setup) {
    const auto p = Require(setup, kPCR, kisDriveI2t, kisUnderVoltage, kisOverVoltage, kisDriveOverTemp,
                           kisMotorOverTemp, kisMotorI2t, kisOverCurrent);
    if (!p) return 0;
    const auto [pcr, driveI2t, underVoltage, overVoltage, driveOverTemp, motorOverTemp, motorI2t,
                overCurrent] = *p;
    const struct {
        const CKX_Parameter* flag;
        int bit;
    } flags[] = {
        {driveI2t, kProtectionDriveI2tBit},           {underVoltage, kProtectionUnderVoltageBit},
        {overVoltage, kProtectionOverVoltageBit},     {driveOverTemp, kProtectionDriveOverTempBit},
        {motorOverTemp, kProtectionMotorOverTempBit}, {motorI2t, kProtectionMotorI2tBit},
        {overCurrent, kProtectionOverCurrentBit},
    };
    std::int32_t word = Code(pcr) & kProtectionKeptBits;
    for (const auto& f : flags) word = WithBit(word, f.bit, Code(f.flag) == 1);
    return WriteBase(*pcr, static_cast<double>(word));
}

int WriteMotorTempSensorType(CKX_Setup& setup) {
    const auto p = Require(setup, kMTSTYPE, kMotor_TempSensor_Type);
    if (!p) return 0;
    const auto [register_, type] = *p;
    return WriteBase(*register_, Code(type) == 1 ? 1.0 : 0.0);
}

int WriteOverVoltageRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kUMAXPROT, kUMAX_PROT);
    if (!p) return 0;
    const auto [register_, volts] = *p;
    return WriteBase(*register_, std::trunc(Value(volts) * VoltageMeasureScale(setup)));
}

int WriteUnderVoltageRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kUMINPROT, kUMIN_PROT);
    if (!p) return 0;
    const auto [register_, volts] = *p;
    return WriteBase(*register_, Value(volts) * VoltageMeasureScale(setup));
}

int WriteDriveTemperatureRegister(CKX_Setup& setup) {
    const auto p =
        Require(setup, kT2MAXPROT, kDriveTempOutputAt0oC, kDriveTempSensorGain, kTemp_2, kADCrange);
    if (!p) return 0;
    const auto [register_, outputAtZero, gain, temperature, inputRange] = *p;
    const double volts = Value(outputAtZero) + Value(gain) * Value(temperature);
    return WriteBase(*register_, Ratio(AdcMax(setup) * volts, Value(inputRange)));
}

int WriteTemperature1Register(CKX_Setup& setup) {
    CKX_Parameter* limit = Probe(setup, kT1MAXPROT);
    return limit ? WriteBase(*limit, kFullScale) : 0;
}

int WriteOverCurrentRegister(CKX_Setup& setup) { return WriteCurrentCounts(setup, kIMAXPROT, kImax_Prot); }

int WriteOverCurrentTimeRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kTIMAXPROT, ktime_Imax_Prot, kTs_S);
    if (!p) return 0;
    const auto [register_, time, loopPeriod] = *p;
    return WriteBase(*register_, Ratio(Value(time), Value(loopPeriod)));
}

int WriteDriveNominalCurrentRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kII2TPROT_D, kInPS);
    if (!p) return 0;
    const auto [register_, nominal] = *p;
    return WriteInternal(*register_, Value(nominal) * CurrentScale(setup));
}

int WriteMotorNominalCurrentRegister(CKX_Setup& setup) { return WriteCurrentCounts(setup, kII2TPROT_M, kIn); }

int WriteDriveI2tScaleRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kSFI2T_D, kTs_S, kt_I2t_D);
    if (!p) return 0;
    const auto [register_, loopPeriod, time] = *p;
    return WriteInternal(*register_, I2tScale(loopPeriod, time));
}

int WriteMotorI2tScaleRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kSFI2T_M, kTs_S, kt_I2t_M);
    if (!p) return 0;
    const auto [register_, loopPeriod, time] = *p;
    return WriteBase(*register_, I2tScale(loopPeriod, time));
}

int WriteDriveI2tLimitRegister(CKX_Setup& setup) {
    return WriteI2tLimit(setup, kI2TINTLIM_D, kI_I2t_D, kInPS);
}

int WriteMotorI2tLimitRegister(CKX_Setup& setup) { return WriteI2tLimit(setup, kI2TINTLIM_M, kI_I2t_M, kIn); }

int WriteDriveI2tWarningRegister(CKX_Setup& setup) {
    return WriteI2tWarning(setup, kII2TWARLIM_D, kI_I2t_D, kInPS, kt_I2t_D);
}

int WriteMotorI2tWarningRegister(CKX_Setup& setup) {
    return WriteI2tWarning(setup, kI2TWARLIM_M, kI_I2t_M, kIn, kt_I2t_M);
}

int WritePositionErrorRegister(CKX_Setup& setup) { return WritePositionError(setup, kERRMAX); }

int WriteLargePositionErrorRegister(CKX_Setup& setup) { return WritePositionError(setup, kERRMAXL); }

int WritePositionErrorTimeRegister(CKX_Setup& setup) {
    return WriteControlErrorTime(setup, kTERRMAX, kisPositionControlError, ktime_ERR_pos);
}

int WriteSpeedErrorRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kSERRMAX, kERR_speed);
    if (!p) return 0;
    const auto [register_, error] = *p;
    return WriteBase(*register_, Value(error) * std::fabs(SpeedScale(setup)));
}

int WriteSpeedErrorTimeRegister(CKX_Setup& setup) {
    return WriteControlErrorTime(setup, kTSERRMAX, kisSpeedControlError, ktime_ERR_spd);
}

int WriteOptionWord(CKX_Setup& setup) {
    const auto p = Require(setup, kOSR, kisBrakeResistor, kLoadSensorType);
    if (!p) return 0;
    const auto [osr, brakeResistor, loadSensor] = *p;
    std::int32_t word = Code(osr);
    word = WithBit(word, kOptionBrakeResistorBit, Code(brakeResistor) == 1 && IsBrakeResistorAllowed(setup));
    word = WithBit(word, kOptionLoadSensorBit, CodeAs<SensorType>(*loadSensor) != SensorType::None);
    return WriteBase(*osr, static_cast<double>(word));
}

int WriteBrakeVoltageRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kBRAKELIM, kVbrake);
    if (!p) return 0;
    const auto [register_, volts] = *p;
    return WriteBase(*register_, Value(volts) * VoltageMeasureScale(setup));
}

}  // namespace dcdrive
