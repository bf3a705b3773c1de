#include "Gains.h"

#include <algorithm>
#include <cmath>

#include "Capabilities.h"
#include "Conventions.h"
#include "Derived.h"

namespace dcdrive {

using namespace names;

namespace {

// Largest scaled controller gain the editors accept (mantissa 32767, shift 14).
constexpr double kMaxScaledGain = 16384.0;
// Largest acceleration feed-forward gain: both shift registers at 11.
constexpr double kMaxAccelerationFeedforward = 4194304.0;
// "SFTAFFW" holds at most this much of the acceleration feed-forward shift;
// "SFTKFF" holds the rest.
constexpr double kMaxAccelerationWordShift = 11.0;
// Filter value shown while the current controller's output filter is off (rad/s).
constexpr double kOutputFilterOffValue = 5000.0;

// A saturation register written with its full range [0, 32767].
int WriteSaturation(CKX_Parameter& saturation, double value) {
    return WriteRangeAndValue(saturation, 0.0, kFullScale, value);
}

// The share of the saturation "limit" that "level" stands for, in percent.
int ReadSaturationPercent(CKX_Setup& setup, const char* level, const char* limit, const char* target) {
    const auto p = Require(setup, level, limit, target);
    if (!p) return 0;
    const auto [levelRegister, limitRegister, percent] = *p;
    // A limit register at full scale allows no current: no share results
    // (the division gives no finite value and nothing is written).
    return WriteRangeAndValue(
        *percent, 0.0, 100.0,
        (kFullScale - Value(levelRegister)) * 100.0 / (kFullScale - Value(limitRegister)));
}

// The current limit held by the saturation of the outer loop that limits the
// current: "SATS" when bit 9 of "ACR" is set, else "SATP".
int ReadCurrentLimitInto(CKX_Setup& setup, const char* target, double min) {
    const auto p = Require(setup, kACR, kImaxPS, kImaxM, target);
    if (!p) return 0;
    const auto [acr, drivePeak, motorPeak, limit] = *p;
    const char* source = BitOf(Value(acr), kAcrCurrentLimitInSpeedLoopBit) ? kSATS : kSATP;
    const CKX_Parameter* saturation = setup.FindParameter(source);
    if (!saturation) return 0;
    const double scale = CurrentScale(setup);
    if (!IsDivisor(scale)) return 0;
    return WriteRangeAndValue(*limit, min, std::min(Value(drivePeak), Value(motorPeak)),
                              (kFullScale - Value(saturation)) / scale);
}

// Position control through the speed loop: the position loop's saturation
// limits the speed, not the current.
bool LimitsSpeedInPositionMode(double controlMode, double positionControlType) {
    return IsExactly(controlMode, ControlMode::Position) && positionControlType == 1.0;
}

}  // namespace

// ---- fixed-point gain encoding

FixedPointGain EncodeGain(double x) {
    if (!(x > 1.0) || !std::isfinite(x)) return {x * kFullScale, 0};
    // x = fraction * 2^exponent with fraction in [0.5, 1): the smallest n with
    // 2^n >= x is exponent, or exponent - 1 when x is a power of two.
    int exponent = 0;
    const double fraction = std::frexp(x, &exponent);
    const int shift = fraction == 0.5 ? exponent - 1 : exponent;
    return {x * kFullScale / std::ldexp(1.0, shift), shift};
}

double DecodeGain(double mantissa, double shift) { return mantissa * std::exp2(shift) / kFullScale; }

double RoundGainToRegisters(double x) {
    const FixedPointGain stored = EncodeGain(x);
    return DecodeGain(std::round(stored.mantissa), stored.shift);
}

int ReadGain(CKX_Setup& setup, const GainRegisters& gain) {
    const auto p = Require(setup, gain.mantissa, gain.shift, gain.gain);
    if (!p) return 0;
    const auto [mantissa, shift, scaled] = *p;
    return WriteRangeAndValue(*scaled, 0.0, kMaxScaledGain, DecodeGain(Value(mantissa), Value(shift)));
}

int WriteGainShift(CKX_Setup& setup, const GainRegisters& gain) {
    const auto p = Require(setup, gain.shift, gain.gain);
    if (!p) return 0;
    const auto [shift, scaled] = *p;
    return WriteBase(*shift, EncodeGain(Value(scaled)).shift);
}

int WriteGainMantissa(CKX_Setup& setup, const GainRegisters& gain) {
    const auto p = Require(setup, gain.mantissa, gain.gain);
    if (!p) return 0;
    const auto [mantissa, scaled] = *p;
    return WriteBase(*mantissa, EncodeGain(Value(scaled)).mantissa);
}

// ---- acceleration feed-forward

int ReadAccelerationFeedforward(CKX_Setup& setup) {
    const auto p = Require(setup, kKFFA, kSFTAFFW, kSFTKFF, kKFFA_scl);
    if (!p) return 0;
    const auto [mantissa, wordShift, extraShift, scaled] = *p;
    return WriteRangeAndValue(*scaled, 0.0, kMaxAccelerationFeedforward,
                              DecodeGain(Value(mantissa), Value(extraShift) + Value(wordShift)));
}

int WriteAccelerationFeedforwardShift(CKX_Setup& setup) {
    const auto p = Require(setup, kSFTAFFW, kKFFA_scl);
    if (!p) return 0;
    return WriteBase(*(*p)[0], std::min(AccelerationFeedforwardShift(setup), kMaxAccelerationWordShift));
}

int WriteAccelerationFeedforwardExtraShift(CKX_Setup& setup) {
    const auto p = Require(setup, kSFTKFF, kKFFA_scl);
    if (!p) return 0;
    return WriteBase(*(*p)[0],
                     std::max(AccelerationFeedforwardShift(setup) - kMaxAccelerationWordShift, 0.0));
}

int WriteAccelerationFeedforwardMantissa(CKX_Setup& setup) {
    const auto p = Require(setup, kKFFA, kKFFA_scl);
    if (!p) return 0;
    const auto [mantissa, scaled] = *p;
    return WriteBase(*mantissa, Value(scaled) * kFullScale / std::exp2(AccelerationFeedforwardShift(setup)));
}

// ---- other controller registers

int ReadDerivativeFilter(CKX_Setup& setup) {
    const auto p = Require(setup, kKDFP, kfilter_D);
    if (!p) return 0;
    const auto [reg, filter] = *p;
    return WriteRangeAndValue(*filter, 0.0, 1.0, Value(reg) / kFullScale);
}

int WriteDerivativeFilter(CKX_Setup& setup) {
    // Only drives whose position controller filters its derivative have both.
    CKX_Parameter* reg = Probe(setup, kKDFP);
    const CKX_Parameter* filter = Probe(setup, kfilter_D);
    if (!reg || !filter) return 0;
    return WriteBase(*reg, Value(filter) * kFullScale);
}

int WriteLoadFeedforwardGain(CKX_Setup& setup) {
    CKX_Parameter* gain = Probe(setup, kKFFL);
    if (!gain) return 0;
    return WriteBase(*gain, kFullScale);
}

int ReadGravityCompensationFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kFFL, kisCompensateGravitationalLoads);
    if (!p) return 0;
    const auto [offset, flag] = *p;
    return WriteRangeAndValue(*flag, 0.0, 1.0, Value(offset) == 0.0 ? 0.0 : 1.0);
}

int ReadOffsetCurrent(CKX_Setup& setup) {
    const auto p = Require(setup, kOffsetCurrent, kFFL, kIn);
    if (!p) return 0;
    const auto [current, offset, nominal] = *p;
    const double scale = CurrentScale(setup);
    if (!IsDivisor(scale)) return 0;
    return WriteRangeAndValue(*current, -Value(nominal), Value(nominal), Value(offset) / scale);
}

int WriteOffsetCurrent(CKX_Setup& setup) {
    const auto p = Require(setup, kFFL, kOffsetCurrent, kisCompensateGravitationalLoads);
    if (!p) return 0;
    const auto [offset, current, flag] = *p;
    const bool on = Code(flag) != 0;
    return WriteBase(*offset, on ? Value(current) * CurrentScale(setup) : 0.0);
}

int ReadOutputFilterFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTERQ, kisUseFilterOnCrtCtrlOutput);
    if (!p) return 0;
    const auto [coefficient, flag] = *p;
    return WriteRangeAndValue(*flag, 0.0, 1.0, Value(coefficient) == kFullScale ? 0.0 : 1.0);
}

namespace {

// "FILTERQ" of a first-order filter y += q/32767 (x - y) with corner
// frequency w (rad/s) run once per current-loop period T.
double OutputFilterCoefficient(double w, double period) {
    return std::trunc(-std::expm1(-w * period) * kFullScale);  // (1 - e^(-wT)) without cancellation
}

// The corner frequency shown for the coefficient q: the whole number of rad/s
// nearest to -ln(1 - q/32767) / T when that number gives q back, so that
// every pass through the drivers keeps the user's filter; otherwise the
// nearest value that does.
double OutputFilterCorner(double q, double period) {
    const double exact = -std::log1p(-q / kFullScale) / period;
    for (const double w : {RoundDecimalValue(exact, 0), std::ceil(exact)})
        if (OutputFilterCoefficient(w, period) == q) return w;
    // The exact corner may come out a rounding error short of q.
    double w = exact;
    for (int i = 0; i < 64 && OutputFilterCoefficient(w, period) < q; ++i) w *= 1.0 + 1e-15;
    return w;
}

}  // namespace

int ReadOutputFilter(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTERQ, kFilterOnCurrentControllerOutput, kDSP_freq, kCLPER, kPWMPER);
    if (!p) return 0;
    const auto [coefficient, filter, clock, clper, pwmper] = *p;
    const double q = Value(coefficient);
    const double period = 2.0 * Value(clper) * Value(pwmper) / Value(clock);
    const double value = q == kFullScale ? kOutputFilterOffValue : OutputFilterCorner(q, period);
    return WriteRangeAndValue(*filter, 0.0, Value(clock) * 0.25 / Value(clper) / Value(pwmper), value);
}

int WriteOutputFilter(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTERQ, kisUseFilterOnCrtCtrlOutput, kFilterOnCurrentControllerOutput);
    if (!p) return 0;
    const auto [coefficient, flag, filter] = *p;
    if (Value(flag) == 0.0) return WriteBase(*coefficient, kFullScale);
    const double period = CurrentLoopPeriod(setup);
    if (!std::isfinite(period)) return 0;
    return WriteBase(*coefficient, OutputFilterCoefficient(Value(filter), period));
}

// ---- saturations and current limits

int ReadCurrentLimit(CKX_Setup& setup) { return ReadCurrentLimitInto(setup, kIlimPS, 0.001); }

int ReadSpeedLimit(CKX_Setup& setup) {
    const auto modes = Require(setup, kPositionControlType, kControlMode);
    if (!modes) return 0;
    // Only position control through the speed loop keeps a speed limit in "SATP".
    if (!LimitsSpeedInPositionMode(Value((*modes)[1]), Value((*modes)[0]))) return 1;
    const auto p = Require(setup, kSATP, kLimit_Speed, kControlMode, kMotor_transmission, kLoad_transmission,
                           kVdc, kK, kADCResolution, kMotorSensorType);
    if (!p) return 0;
    const auto [satp, limit, mode, motorSide, loadSide, vdc, k, adcResolution, sensor] = *p;
    const double motorScale = std::fabs(MotorSpeedScale(setup));
    const double loadScale = std::fabs(SpeedScale(setup));
    if (!IsDivisor(motorScale) || !IsDivisor(loadScale)) return 0;
    const double ratio = std::fabs(Value(loadSide) / Value(motorSide));
    // The highest speed the motor reaches: the tachogenerator's measuring
    // range, or the supply voltage over the torque (back-EMF) constant.
    const double reachable = IsExactly(Value(sensor), SensorType::Tachogenerator)
                                 ? (Value(adcResolution) * 0.5 - 1.0) * ratio / motorScale
                                 : Value(vdc) / Value(k) * ratio;
    if (!std::isfinite(reachable)) return 0;
    const double max = std::min({reachable, kFullScale / motorScale, kFullScale / loadScale}) *
                       LimitSpeedMaxPercent(setup) / 100.0;
    return WriteRangeAndValue(*limit, 0.0, max, (kFullScale - Value(satp)) / loadScale);
}

int ReadSpeedLoopSaturation(CKX_Setup& setup) { return ReadSaturationPercent(setup, kIMAXS, kSATS, kIPSatS); }

int ReadPositionLoopSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kIMAXP, kSATP, kControlMode, kPositionControlType, kIPSatP);
    if (!p) return 0;
    const auto [level, limit, mode, positionControl, percent] = *p;
    // The share of the limit that the forward conversion took: the speed
    // limit at the motor when position runs over the speed loop, else the
    // current limit. "SATP" holds the speed limit at the load, the current
    // limit in position over current and torque control, but a speed limit in
    // speed control; dividing by it alone would lose the share in speed
    // control and shrink it on every pass when the load's speed scale differs
    // from the motor's. The speed limit is read back from "SATP" after this
    // step, so it still holds what the forward conversion used.
    double full = 0.0;
    if (LimitsSpeedInPositionMode(Value(mode), Value(positionControl))) {
        const auto q = Require(setup, kLimit_Speed, kMotor_transmission, kLoad_transmission);
        if (!q) return 0;
        const auto [speedLimit, motorSide, loadSide] = *q;
        full = Value(speedLimit) * std::fabs(MotorSpeedScale(setup)) *
               std::fabs(Value(motorSide) / Value(loadSide));
    } else if (IsExactly(Value(mode), ControlMode::Speed)) {
        const CKX_Parameter* currentLimit = Probe(setup, kIlimPS);
        if (!currentLimit) return 0;
        full = Value(currentLimit) * std::fabs(CurrentScale(setup));
    } else {
        full = kFullScale - Value(limit);
    }
    return WriteRangeAndValue(*percent, 0.0, 100.0, (kFullScale - Value(level)) * 100.0 / full);
}

int WriteSpeedSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kSATS, kIlimPS);
    if (!p) return 0;
    const auto [saturation, limit] = *p;
    return WriteSaturation(*saturation, kFullScale - Value(limit) * CurrentScale(setup));
}

int WritePositionSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kSATP, kControlMode, kPositionControlType, kLimit_Speed, kIlimPS);
    if (!p) return 0;
    const auto [saturation, mode, positionControl, speedLimit, currentLimit] = *p;
    const bool positionViaSpeed = LimitsSpeedInPositionMode(Value(mode), Value(positionControl));
    if (positionViaSpeed && !Require(setup, kMotor_transmission, kLoad_transmission)) return 0;
    // In speed mode, and in position mode through the speed loop, "SATP"
    // limits the speed; otherwise it limits the current.
    const double value = IsExactly(Value(mode), ControlMode::Speed) || positionViaSpeed
                             ? kFullScale - Value(speedLimit) * std::fabs(SpeedScale(setup))
                             : kFullScale - Value(currentLimit) * CurrentScale(setup);
    return WriteSaturation(*saturation, value);
}

int WriteSpeedLoopSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kIMAXS, kIlimPS, kIPSatS);
    if (!p) return 0;
    const auto [saturation, limit, percent] = *p;
    return WriteSaturation(*saturation,
                           kFullScale - Value(limit) * (Value(percent) / 100.0) * CurrentScale(setup));
}

int WritePositionLoopSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kIMAXP, kControlMode, kPositionControlType, kIPSatP);
    if (!p) return 0;
    const auto [saturation, mode, positionControl, percent] = *p;
    const double share = Value(percent) / 100.0;
    if (LimitsSpeedInPositionMode(Value(mode), Value(positionControl))) {
        const auto q = Require(setup, kLimit_Speed, kMotor_transmission, kLoad_transmission);
        if (!q) return 0;
        const auto [speedLimit, motorSide, loadSide] = *q;
        return WriteSaturation(*saturation, kFullScale - Value(speedLimit) * share *
                                                             std::fabs(MotorSpeedScale(setup)) *
                                                             std::fabs(Value(motorSide) / Value(loadSide)));
    }
    const CKX_Parameter* currentLimit = setup.FindParameter(kIlimPS);
    if (!currentLimit) return 0;
    return WriteSaturation(*saturation,
                           kFullScale - Value(currentLimit) * share * std::fabs(CurrentScale(setup)));
}

// ---- defaults of the tuning tests

int ReadTestCurrent(CKX_Setup& setup) {
    const auto p = Require(setup, kIn, kInPS, kTestCurrent);
    if (!p) return 0;
    const auto [motorNominal, driveNominal, test] = *p;
    const double nominal = std::min(Value(motorNominal), Value(driveNominal));
    return WriteRangeAndValue(*test, 0.001, 0.9 * nominal, 0.5 * nominal);
}

int ReadTestLimitCurrent(CKX_Setup& setup) { return ReadCurrentLimitInto(setup, kTestLimitCurrent, 0.0); }

int ReadTestMaxSpeed(CKX_Setup& setup) {
    const auto p = Require(setup, kVdc, kK, kTestMaxSpeed);
    if (!p) return 0;
    const auto [vdc, k, speed] = *p;
    const double noLoadSpeed = Value(vdc) / Value(k);
    return WriteRangeAndValue(*speed, 0.0, noLoadSpeed, noLoadSpeed / 3.0);
}

int ReadLoadInertiaRatio(CKX_Setup& setup) {
    const auto p = Require(setup, kJt, kJm, kJload_over_J);
    if (!p) return 0;
    const auto [total, motor, ratio] = *p;
    // Load inertia over motor inertia, with the load inertia Jt - Jm.
    return WriteRangeAndValue(*ratio, 0.0, 100.0, Value(total) / Value(motor) - 1.0);
}

}  // namespace dcdrive
