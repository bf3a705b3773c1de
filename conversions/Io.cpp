#include "Io.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "Capabilities.h"
#include "Conventions.h"
#include "Derived.h"
#include "Names.h"
#include "Timing.h"
#include "options/Limits.h"

namespace dcdrive {

using namespace names;

namespace {

// The flag is read back under this spelling; lookups ignore letter case, so
// it is the same parameter as "isAutoActivatedAfterPowerOn".
constexpr const char* kIsAutoActivatedAfterPowerOn = "IsAutoActivatedAfterPowerOn";

// Masks of the 16-bit "ACR" word: without the control mode field (bits
// 8-10), without the external reference bits (6, 7), and without those and
// the digital reference type (bit 2). Then the values of the mode field.
constexpr std::int32_t kAcrWithoutMode = 0xF8FF;
constexpr std::int32_t kAcrWithoutReference = 0xFF3F;
constexpr std::int32_t kAcrWithoutReferenceAndType = 0xFF3B;
constexpr std::int32_t kAcrPositionMode = 0x0500;
constexpr std::int32_t kAcrSpeedMode = 0x0300;
constexpr std::int32_t kAcrCurrentMode = 0x0100;

// The value that switches a time off.
constexpr double kTimeOff = 65535.0;

// Position limits held in 32-bit registers.
constexpr double kLongMin = -2147483648.0;
constexpr double kLongMax = 2147483647.0;

int Bit(const CKX_Parameter* word, int bit) { return BitOf(word->GetValueInBaseUnit(), bit); }

// Sets the range and writes the value in the parameter's internal unit;
// nothing changes when the value is not finite or the range cannot be set.
int WriteRangeAndInternal(CKX_Parameter& parameter, double min, double max, double value) {
    if (!IsWritable(value) || !SetParameterRange(parameter, min, max)) return 0;
    return WriteInternal(parameter, value);
}

// target := one bit of a register word (or its complement), optionally with
// the range [0, 1].
enum class Range { None, Flag };
int ReadBit(CKX_Setup& setup, const char* word, const char* target, int bit, bool inverted, Range range) {
    const auto p = Require(setup, word, target);
    if (!p) return 0;
    const auto [source, flag] = *p;
    const int value = inverted ? 1 - Bit(source, bit) : Bit(source, bit);
    return range == Range::Flag ? WriteRangeAndValue(*flag, 0.0, 1.0, value) : WriteBase(*flag, value);
}

using Scale = double (*)(const CKX_Setup&);

// target := register / |scale| in [0, 32767 / |scale|]: a magnitude that the
// drive holds in a 16-bit register (either counting direction).
int ReadMagnitude(CKX_Setup& setup, const char* reg, const char* target, Scale scale) {
    const auto p = Require(setup, reg, target);
    if (!p) return 0;
    const auto [source, magnitude] = *p;
    const auto k = DivisorMagnitude(scale(setup));
    if (!k) return 0;
    return WriteRangeAndValue(*magnitude, 0.0, kFullScale / *k, source->GetValueInBaseUnit() / *k);
}

// register := value · |scale|.
int WriteMagnitude(CKX_Setup& setup, const char* reg, const char* source, Scale scale) {
    const auto p = Require(setup, reg, source);
    if (!p) return 0;
    const auto [target, magnitude] = *p;
    return WriteBase(*target, magnitude->GetValueInBaseUnit() * std::fabs(scale(setup)));
}

// target := "Ts_S" · register: a time the drive counts in slow-loop periods,
// with the range [0, 65535 periods] when `ranged`.
int ReadPeriods(CKX_Setup& setup, const char* reg, const char* target, bool ranged) {
    const auto p = Require(setup, reg, kTs_S, target);
    if (!p) return 0;
    const auto [periods, period, time] = *p;
    const double ts = period->GetValueInBaseUnit();
    const double value = ts * periods->GetValueInBaseUnit();
    return ranged ? WriteRangeAndValue(*time, 0.0, ts * kTimeOff, value) : WriteBase(*time, value);
}

// register := time / "Ts_S". A zero period writes nothing.
int WritePeriods(CKX_Setup& setup, const char* reg, const char* source) {
    const auto p = Require(setup, reg, source, kTs_S);
    if (!p) return 0;
    const auto [periods, time, period] = *p;
    return WriteBase(*periods, time->GetValueInBaseUnit() / period->GetValueInBaseUnit());
}

// "Motor_transmission" / "Load_transmission"; empty when either is missing
// or the ratio is not a number the drive can use (a zero load side).
std::optional<double> TransmissionRatio(const CKX_Setup& setup) {
    const auto p = Require(setup, kMotor_transmission, kLoad_transmission);
    if (!p) return std::nullopt;
    const auto [motor, load] = *p;
    const double ratio = motor->GetValueInBaseUnit() / load->GetValueInBaseUnit();
    if (!IsWritable(ratio)) return std::nullopt;
    return ratio;
}

// ---- the analogue reference scaling

// The reference span as a 15-bit gain and a left shift: the shift is the
// smallest that brings the gain's magnitude within 32767 (a negative span,
// from reversed counting, is scaled by its magnitude as well).
struct ReferenceGain {
    double gain;
    double shift;
};
std::optional<ReferenceGain> AnalogueReferenceGain(const CKX_Setup& setup) {
    const double span = AnalogueReferenceSpan(setup);
    if (!IsWritable(span)) return std::nullopt;
    if (std::fabs(span) <= kFullScale) return ReferenceGain{span, 0.0};
    const double shift = std::ceil(std::log2(std::fabs(span) / kFullScale));
    return ReferenceGain{span / std::exp2(shift), shift};
}

// The reference minimum of the control mode ("POS_min", "SPD_min",
// "CRT_min"); null for another mode.
const char* ReferenceMinimumName(ControlMode mode) {
    switch (mode) {
        case ControlMode::Position:
            return kPOS_min;
        case ControlMode::Speed:
            return kSPD_min;
        case ControlMode::Torque:
            return kCRT_min;
        default:
            return nullptr;
    }
}

// minimum := "AD5OFF", after refreshing the minimum's limits.
int ReadReferenceMinimum(CKX_Setup& setup, const char* target, void (*limit)(CKX_Setup&)) {
    const auto p = Require(setup, kAD5OFF, target);
    if (!p) return 0;
    const auto [offset, minimum] = *p;
    limit(setup);
    return WriteInternal(*minimum, offset->GetValueInInternalUnit());
}

// maximum := "AD5OFF" + full span of the input through the gain and shift,
// after refreshing the maximum's limits. The span's sign follows the
// counting direction, as when the gain was written.
int ReadReferenceMaximum(CKX_Setup& setup, const char* target, void (*limit)(CKX_Setup&)) {
    const auto p = Require(setup, kCADIN, kSFTADIN, kAD5OFF, target);
    if (!p) return 0;
    const auto [gain, shift, offset, maximum] = *p;
    const double sign = PositionScale(setup) <= 0.0 ? -1.0 : 1.0;
    const double value =
        offset->GetValueInInternalUnit() + AdcMax(setup) * 2.0 * gain->GetValueInInternalUnit() * sign *
                                               std::exp2(-16.0) * std::exp2(shift->GetValueInInternalUnit());
    if (!IsWritable(value)) return 0;
    limit(setup);
    return WriteInternal(*maximum, value);
}

// A bipolar 20 V input counts from -10 V.
double InputZero(const CKX_Parameter* inputRange) { return Code(inputRange) == 20 ? -10.0 : 0.0; }

}  // namespace

// ---------------------------------------------------------------- registers to parameters

int ReadControlMode(CKX_Setup& setup) {
    const auto p = Require(setup, kACR, kControlMode);
    if (!p) return 0;
    const auto [acr, mode] = *p;
    const ControlMode value = Bit(acr, kAcrPositionModeBit) ? ControlMode::Position
                              : Bit(acr, kAcrSpeedLoopBit)  ? ControlMode::Speed
                                                            : ControlMode::Torque;
    return WriteRangeAndValue(*mode, ToInt(ControlMode::Position), ToInt(ControlMode::Torque), ToInt(value));
}

int ReadExternalReference(CKX_Setup& setup) {
    const auto p = Require(setup, kACR, kExternalReference);
    if (!p) return 0;
    const auto [acr, external] = *p;
    const bool on = Bit(acr, kAcrAnalogueReferenceBit) || Bit(acr, kAcrDigitalReferenceBit);
    return WriteRangeAndValue(*external, 0.0, 1.0, on ? 1.0 : 0.0);
}

int ReadAutoActivation(CKX_Setup& setup) {
    return ReadBit(setup, kACR, kIsAutoActivatedAfterPowerOn, kAcrAutoActivationBit, false, Range::None);
}

int ReadAxisId(CKX_Setup& setup) {
    const auto p = Require(setup, kAAR_table, kAxis_ID_list);
    if (!p) return 0;
    const auto [table, axis] = *p;
    // The register holds the axis number plus 256, or 0 for none.
    const double value = table->GetValueInBaseUnit() == 0.0 ? 0.0 : table->GetValueInBaseUnit() - 256.0;
    return WriteRangeAndValue(*axis, 0.0, 511.0, value);
}

int ReadEnablePolarity(CKX_Setup& setup) {
    return ReadBit(setup, kDIGIN_ACTIVE_LEVEL, kEnablePolarity, kEnablePolarityBit, false, Range::Flag);
}

int ReadLSPPolarity(CKX_Setup& setup) {
    return ReadBit(setup, kDIGIN_ACTIVE_LEVEL, kLSPPolarity, kLSPPolarityBit, false, Range::Flag);
}

int ReadLSNPolarity(CKX_Setup& setup) {
    return ReadBit(setup, kDIGIN_ACTIVE_LEVEL, kLSNPolarity, kLSNPolarityBit, false, Range::Flag);
}

int ReadSoftwareLimitsFlag(CKX_Setup& setup) {
    return ReadBit(setup, kASR, kisSWLS, kAsrSoftwareLimitsBit, false, Range::None);
}

int ReadSoftwareLimits(CKX_Setup& setup) {
    const auto p = Require(setup, kSWPOSLS, kSWNEGLS, kNegative_SWLS, kPositive_SWLS);
    if (!p) return 0;
    const auto [positiveRegister, negativeRegister, negative, positive] = *p;
    const double k = PositionScale(setup);
    const auto a = DivisorMagnitude(k);
    if (!a) return 0;
    // With reversed counting the drive's positive limit is the user's negative one.
    const bool reversed = k < 0.0;
    const double low = (reversed ? positiveRegister : negativeRegister)->GetValueInBaseUnit() / k;
    const double high = (reversed ? negativeRegister : positiveRegister)->GetValueInBaseUnit() / k;
    const double min = kLongMin / *a;
    const double max = kLongMax / *a;
    const int wroteLow = WriteRangeAndValue(*negative, min, max, low);
    const int wroteHigh = WriteRangeAndValue(*positive, min, max, high);
    return wroteLow && wroteHigh ? 1 : 0;
}

int ReadAnalogueReferenceFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kACR, kisAnalogueReference);
    if (!p) return 0;
    const auto [acr, analogue] = *p;
    // A drive without the analogue input scaling cannot take an analogue reference.
    const double max = HasAnalogueReferenceScaling(setup) ? 1.0 : 0.0;
    return WriteRangeAndValue(*analogue, 0.0, max, Bit(acr, kAcrAnalogueReferenceBit));
}

int ReadDigitalReferenceType(CKX_Setup& setup) {
    return ReadBit(setup, kACR, kDigitalReferenceType, kAcrDigitalReferenceType0Bit, true, Range::None);
}

int ReadReferenceMaxSpeed(CKX_Setup& setup) { return ReadMagnitude(setup, kCSPD, kErefMaxSpeed, SpeedScale); }

int ReadReferenceMaxAcceleration(CKX_Setup& setup) {
    return ReadMagnitude(setup, kCACC, kErefMaxAcceleration, AccelerationScale);
}

int ReadDeadBandPoint(CKX_Setup& setup) {
    const auto p = Require(setup, kLEVEL_AD5, kAnalogueInputsRange, kDeadBand_Point);
    if (!p) return 0;
    const auto [level, inputRange, point] = *p;
    const double value = inputRange->GetValueInBaseUnit() * level->GetValueInBaseUnit() / AdcMax(setup) +
                         InputZero(inputRange);
    if (!IsWritable(value)) return 0;
    LimitDeadBandPoint(setup);
    return WriteBase(*point, value);
}

int ReadDeadBandRange(CKX_Setup& setup) {
    const auto p = Require(setup, kE_LEVEL_AD5, kAnalogueInputsRange, kDeadBand_Range);
    if (!p) return 0;
    const auto [level, inputRange, width] = *p;
    const double value = inputRange->GetValueInBaseUnit() * level->GetValueInBaseUnit() / AdcMax(setup);
    if (!IsWritable(value)) return 0;
    LimitDeadBandRange(setup);
    return WriteBase(*width, value);
}

int ReadReferenceFilterFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTER1, kUseFilter);
    if (!p) return 0;
    const auto [filter, use] = *p;
    // Full scale passes the reference unfiltered.
    return WriteRangeAndValue(*use, 0.0, 1.0, filter->GetValueInBaseUnit() == kFullScale ? 0.0 : 1.0);
}

int ReadReferenceFilter(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTER1, kDSP_freq, kSLPER, kPWMPER, kfilter);
    if (!p) return 0;
    const auto [coefficient, clock, loops, pwmper, frequency] = *p;
    const double c = coefficient->GetValueInBaseUnit();
    const double perSecond = clock->GetValueInBaseUnit() / loops->GetValueInBaseUnit() * 0.5 /
                             pwmper->GetValueInBaseUnit();  // 1 / slow-loop period
    // The filter off shows a 50 rad/s corner as a starting point for the user.
    const double value = c == kFullScale ? 50.0 : -std::log(1.0 - c / kFullScale) * perSecond;
    return WriteRangeAndValue(*frequency, 0.0, perSecond * 0.5, value);
}

int ReadPositionReferenceMin(CKX_Setup& setup) {
    return ReadReferenceMinimum(setup, kPOS_min, LimitPositionMin);
}

int ReadPositionReferenceMax(CKX_Setup& setup) {
    return ReadReferenceMaximum(setup, kPOS_max, LimitPositionMax);
}

int ReadSpeedReferenceMin(CKX_Setup& setup) { return ReadReferenceMinimum(setup, kSPD_min, LimitSpeedMin); }

int ReadSpeedReferenceMax(CKX_Setup& setup) { return ReadReferenceMaximum(setup, kSPD_max, LimitSpeedMax); }

int ReadCurrentReferenceMin(CKX_Setup& setup) {
    // Copied as it is, without refreshing the limits.
    const CKX_Parameter* offset = Probe(setup, kAD5OFF);
    CKX_Parameter* minimum = Probe(setup, kCRT_min);
    if (!offset || !minimum) return 0;
    return WriteInternal(*minimum, offset->GetValueInInternalUnit());
}

int ReadCurrentReferenceMax(CKX_Setup& setup) {
    return ReadReferenceMaximum(setup, kCRT_max, LimitCurrentMax);
}

int ReadSaveCanBaudrate(CKX_Setup& setup) {
    return ReadBit(setup, kLSS_Active, ksave_CAN_baudrate, 1, true, Range::Flag);
}

int ReadSaveAxisId(CKX_Setup& setup) {
    return ReadBit(setup, kLSS_Active, ksave_axis_id, 0, true, Range::Flag);
}

int ReadMotorBrakeFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kBRAKECFG, kisMotorBrake);
    if (!p) return 0;
    const auto [config, brake] = *p;
    return WriteRangeAndInternal(*brake, 0.0, 1.0, BitOf(config->GetValueInInternalUnit(), 0));
}

int ReadMotorBrakeOutput(CKX_Setup& setup) {
    const auto p = Require(setup, kBRAKECFG, kMotorBrake_output);
    if (!p) return 0;
    const auto [config, output] = *p;
    const int pin = (TruncateToInt32(config->GetValueInInternalUnit()) >> 8) & 0xFF;
    const int port = setup.GetIOPortFromPin(pin);
    if (port < 0) return 0;  // a pin the drive does not have
    return WriteInternal(*output, port);
}

int ReadBrakeReleaseTime(CKX_Setup& setup) {
    return ReadPeriods(setup, kBRAKERELEASEDELAY, kMotorBrake_releasetime, false);
}

int ReadBrakeApplyTime(CKX_Setup& setup) {
    return ReadPeriods(setup, kBRAKEAPPLYDELAY, kMotorBrake_applytime, false);
}

int ReadSpeedForward(CKX_Setup& setup) {
    const auto p = Require(setup, kACR, kSpeedForward);
    if (!p) return 0;
    const auto [acr, speedForward] = *p;
    return WriteInternal(*speedForward, Bit(acr, kAcrSpeedForwardBit));
}

int ReadFreezeControlFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kisFreezeControl, kControlMode, kACR);
    if (!p) return 0;
    const auto [freeze, mode, acr] = *p;
    // Freeze control acts in position mode only.
    const bool on = Bit(acr, kAcrFreezeControlBit) && CodeAs<ControlMode>(*mode) == ControlMode::Position;
    return WriteRangeAndInternal(*freeze, 0.0, 1.0, on ? 1.0 : 0.0);
}

int ReadFreezeControlBand(CKX_Setup& setup) {
    return ReadMagnitude(setup, kPOSOKLIM_FC, kFreezeControl_errband, PositionScale);
}

int ReadFreezeControlTime(CKX_Setup& setup) {
    return ReadPeriods(setup, kTONPOSOK_FC, kFreezeControl_time, true);
}

int ReadInputsPolarityType(CKX_Setup& setup) {
    return ReadBit(setup, kASR, kInputsPolarityType, kAsrInputsPolarity0Bit, true, Range::None);
}

int ReadPositionRange(CKX_Setup& setup) {
    const auto p = Require(setup, kMINPOSRANGE, kMAXPOSRANGE, kPosRange_Minimum, kPosRange_Maximum);
    if (!p) return 0;
    const auto [minRegister, maxRegister, minimum, maximum] = *p;
    const double k = PositionScale(setup);
    const auto a = DivisorMagnitude(k);
    if (!a) return 0;
    const double lowest = minRegister->GetValueInBaseUnit();
    const double highest = maxRegister->GetValueInBaseUnit();
    double low = k > 0.0 ? lowest : -highest;
    double high = k > 0.0 ? highest : -lowest;
    // The register pair excludes one end; give back the count it took off.
    if (std::fabs(low) > std::fabs(high))
        low -= 1.0;
    else
        high += 1.0;
    const int wroteLow = WriteBase(*minimum, low / *a);
    const int wroteHigh = WriteBase(*maximum, high / *a);
    return wroteLow && wroteHigh ? 1 : 0;
}

int ReadPositionRangeFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kPOSRANGEDEF, kisPosRange);
    if (!p) return 0;
    const auto [definition, flag] = *p;
    return WriteBase(*flag, definition->GetValueInBaseUnit());
}

int ReadMovementDirection(CKX_Setup& setup) {
    return ReadBit(setup, kASR, kIsReverseMovementDirection, kAsrReverseDirectionBit, false, Range::None);
}

int ReadMotionCompleteSettleBand(CKX_Setup& setup) {
    const auto p = Require(setup, kPOSOKLIM, kUPGRADE, kMotionCompleteSettleBand);
    if (!p) return 0;
    const auto [limit, upgrade, band] = *p;
    const auto k = DivisorMagnitude(PositionScale(setup));
    if (!k || !SetParameterRange(*band, 0.0, kFullScale / *k)) return 0;
    // Only the drive's own detection (type 0) uses the band.
    if (!BitOf(upgrade->GetValueInBaseUnit(), kUpgradeMotionCompleteBit)) return 1;
    return WriteBase(*band, limit->GetValueInBaseUnit() / *k);
}

int ReadMotionCompleteStabilizeTime(CKX_Setup& setup) {
    const auto p = Require(setup, kTONPOSOK, kTs_S, kUPGRADE, kMotionCompleteStabilizeTime);
    if (!p) return 0;
    const auto [periods, period, upgrade, time] = *p;
    const double ts = period->GetValueInBaseUnit();
    if (!SetParameterRange(*time, 0.0, ts * kTimeOff)) return 0;
    if (!BitOf(upgrade->GetValueInBaseUnit(), kUpgradeMotionCompleteBit)) return 1;
    return WriteBase(*time, ts * periods->GetValueInBaseUnit());
}

// ---------------------------------------------------------------- parameters to registers

int WriteAxisIdRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kAAR_table, kAxis_ID_list);
    if (!p) return 0;
    const auto [table, axis] = *p;
    return WriteBase(*table, Code(axis) != 0 ? axis->GetValueInBaseUnit() + 256.0 : 0.0);
}

int WriteApplicationStatusWord(CKX_Setup& setup) {
    CKX_Parameter* asr = setup.FindParameter(kASR);
    if (!asr) return 0;
    std::int32_t word = TruncateToInt32(asr->GetValueInBaseUnit());
    if (HasSoftwareLimits(setup)) {
        const CKX_Parameter* limits = setup.FindParameter(kisSWLS);
        if (!limits) return 0;
        word = WithBit(word, kAsrSoftwareLimitsBit, Code(limits) == 1);
    }
    if (HasInputsPolarity(setup)) {
        const CKX_Parameter* polarity = setup.FindParameter(kInputsPolarityType);
        if (!polarity) return 0;
        word = WithBit(word, kAsrInputsPolarity0Bit, Code(polarity) != 1);
    }
    word = WithBit(word, kAsrNegativeTransmissionBit, false);
    if (IsNegativeTransmissionAllowed(setup)) {
        const auto ratio = TransmissionRatio(setup);
        if (!ratio) return 0;
        word = WithBit(word, kAsrNegativeTransmissionBit, *ratio < 0.0);
    }
    word = WithBit(word, kAsrSpeedEstimatorBit, false);
    if (HasNewSpeedEstimator(setup) && IsSpeedEstimatorPossible(setup)) {
        const CKX_Parameter* estimator = setup.FindParameter(kisSpeedEstimator);
        if (!estimator) return 0;
        word = WithBit(word, kAsrSpeedEstimatorBit, Code(estimator) == 1);
    }
    word = WithBit(word, kAsrReverseDirectionBit, false);
    if (HasMovementDirection(setup)) {
        const CKX_Parameter* reverse = setup.FindParameter(kIsReverseMovementDirection);
        if (!reverse) return 0;
        word = WithBit(word, kAsrReverseDirectionBit, Code(reverse) == 1);
    }
    return WriteBase(*asr, static_cast<double>(word));
}

int WriteApplicationControlWord(CKX_Setup& setup) {
    const auto p = Require(setup, kACR, kisAnalogueReference, kDigitalReferenceType, kPositionControlType,
                           kControlMode, kExternalReference, kLoadSensorType);
    if (!p) return 0;
    const auto [acr, analogue, digitalType, positionType, mode, external, loadSensor] = *p;
    std::int32_t word = TruncateToInt32(acr->GetValueInBaseUnit());

    bool autoActivation = false;
    if (HasAutoActivationFlag(setup)) {
        const CKX_Parameter* flag = setup.FindParameter(kisAutoActivatedAfterPowerOn);
        if (!flag) return 0;
        autoActivation = Code(flag) == 1;
    }
    word = WithBit(word, kAcrAutoActivationBit, autoActivation);

    // The external reference: digital from a feedback input when the motor
    // sensor leaves one free, analogue otherwise.
    if (Code(external) == 1) {
        if (Code(analogue) != 1 && CodeAs<SensorType>(*loadSensor) == SensorType::None) {
            word = WithBit(word & kAcrWithoutReferenceAndType, kAcrDigitalReferenceBit, true);
            word = WithBit(word, kAcrDigitalReferenceType0Bit, Code(digitalType) == 0);
        } else {
            word = WithBit(word & kAcrWithoutReference, kAcrAnalogueReferenceBit, true);
        }
    } else {
        word &= kAcrWithoutReference;
    }

    switch (CodeAs<ControlMode>(*mode)) {
        case ControlMode::Position:
            word |= kAcrPositionMode;
            word = WithBit(word, kAcrSpeedLoopBit, Code(positionType) == 1);
            break;
        case ControlMode::Speed:
            word = (word & kAcrWithoutMode) | kAcrSpeedMode;
            break;
        case ControlMode::Torque:
            word = (word & kAcrWithoutMode) | kAcrCurrentMode;
            break;
        default:
            return 0;  // no control mode the drive knows
    }

    const CKX_Parameter* speedForward = Probe(setup, kSpeedForward);
    word = WithBit(word, kAcrSpeedForwardBit, speedForward && speedForward->GetValueInInternalUnit() == 1.0);

    if (HasFreezeControl(setup)) {
        const CKX_Parameter* freeze = setup.FindParameter(kisFreezeControl);
        if (!freeze) return 0;
        word = WithBit(word, kAcrFreezeControlBit, freeze->GetValueInInternalUnit() == 1.0);
    }
    return WriteBase(*acr, static_cast<double>(word));
}

int WriteSoftwareLimitRegisters(CKX_Setup& setup) {
    const auto p = Require(setup, kSWNEGLS, kSWPOSLS, kNegative_SWLS, kPositive_SWLS);
    if (!p) return 0;
    const auto [negativeRegister, positiveRegister, negative, positive] = *p;
    const double k = PositionScale(setup);
    const double low = negative->GetValueInBaseUnit() * k;
    const double high = positive->GetValueInBaseUnit() * k;
    if (!IsWritable(low) || !IsWritable(high)) return 0;
    // With reversed counting the user's negative limit is the drive's positive one.
    const bool reversed = !(k > 0.0);
    const int wroteNegative = WriteBase(*negativeRegister, reversed ? high : low);
    const int wrotePositive = WriteBase(*positiveRegister, reversed ? low : high);
    return wroteNegative && wrotePositive ? 1 : 0;
}

int WriteReferenceMaxAcceleration(CKX_Setup& setup) {
    return WriteMagnitude(setup, kCACC, kErefMaxAcceleration, AccelerationScale);
}

int WriteReferenceMaxSpeed(CKX_Setup& setup) {
    return WriteMagnitude(setup, kCSPD, kErefMaxSpeed, SpeedScale);
}

int WriteAnalogueReferenceGain(CKX_Setup& setup) {
    CKX_Parameter* gain = setup.FindParameter(kCADIN);
    if (!gain) return 0;
    const auto scaling = AnalogueReferenceGain(setup);
    return scaling ? WriteInternal(*gain, scaling->gain) : 0;
}

int WriteAnalogueReferenceShift(CKX_Setup& setup) {
    CKX_Parameter* shift = setup.FindParameter(kSFTADIN);
    if (!shift) return 0;
    const auto scaling = AnalogueReferenceGain(setup);
    return scaling ? WriteInternal(*shift, scaling->shift) : 0;
}

int WriteAnalogueReferenceOffset(CKX_Setup& setup) {
    const auto p = Require(setup, kAD5OFF, kControlMode);
    if (!p) return 0;
    const auto [offset, mode] = *p;
    const char* name = ReferenceMinimumName(CodeAs<ControlMode>(*mode));
    if (!name) return 0;
    const CKX_Parameter* minimum = setup.FindParameter(name);
    if (!minimum) return 0;
    return WriteInternal(*offset, minimum->GetValueInInternalUnit());
}

int WriteReferenceFilter(CKX_Setup& setup) {
    const auto p = Require(setup, kFILTER1, kUseFilter, kfilter, kTs_S);
    if (!p) return 0;
    const auto [coefficient, use, frequency, period] = *p;
    const double value =
        use->GetValueInBaseUnit() == 0.0
            ? kFullScale
            : (1.0 - std::exp(-period->GetValueInBaseUnit() * frequency->GetValueInBaseUnit())) * kFullScale;
    return WriteBase(*coefficient, value);
}

int WriteDeadBandPoint(CKX_Setup& setup) {
    const auto p = Require(setup, kLEVEL_AD5, kDeadBand_Point, kAnalogueInputsRange);
    if (!p) return 0;
    const auto [level, point, inputRange] = *p;
    return WriteBase(*level, AdcMax(setup) * (point->GetValueInBaseUnit() - InputZero(inputRange)) /
                                 inputRange->GetValueInBaseUnit());
}

int WriteDeadBandRange(CKX_Setup& setup) {
    const auto p = Require(setup, kE_LEVEL_AD5, kDeadBand_Range, kAnalogueInputsRange);
    if (!p) return 0;
    const auto [level, width, inputRange] = *p;
    return WriteBase(*level, width->GetValueInBaseUnit() * AdcMax(setup) / inputRange->GetValueInBaseUnit());
}

int WriteGearRatio(CKX_Setup& setup) {
    const auto p = Require(setup, kGEAR, kGEARSLAVE, kGEARMASTER);
    if (!p) return 0;
    const auto [gear, slave, master] = *p;
    return WriteBase(*gear, slave->GetValueInBaseUnit() / master->GetValueInBaseUnit());
}

int WriteDigitalInputLevels(CKX_Setup& setup) {
    const auto p = Require(setup, kDIGIN_ACTIVE_LEVEL, kEnablePolarity, kLSNPolarity, kLSPPolarity);
    if (!p) return 0;
    const auto [levels, enable, negative, positive] = *p;
    std::int32_t word = TruncateToInt32(levels->GetValueInBaseUnit());
    word = WithBit(word, kEnablePolarityBit, Code(enable) == 1);
    word = WithBit(word, kLSNPolarityBit, Code(negative) == 1);
    word = WithBit(word, kLSPPolarityBit, Code(positive) == 1);
    return WriteBase(*levels, static_cast<double>(word));
}

int WriteCanIdentitySaving(CKX_Setup& setup) {
    const auto p = Require(setup, kLSS_Active, ksave_CAN_baudrate, ksave_axis_id);
    if (!p) return 0;
    const auto [active, baudrate, axis] = *p;
    // A set bit keeps the value the drive was given over the bus from being saved.
    std::int32_t word = 0;
    word = WithBit(word, 0, Code(axis) != 1);
    word = WithBit(word, 1, Code(baudrate) != 1);
    return WriteBase(*active, static_cast<double>(word));
}

int WriteMotorBrakeConfig(CKX_Setup& setup) {
    const auto p = Require(setup, kBRAKECFG, kisMotorBrake, kMotorBrake_output);
    if (!p) return 0;
    const auto [config, brake, output] = *p;
    const int pin = setup.GetIOPinFromPort(TruncateToInt32(output->GetValueInInternalUnit()));
    if (pin < 0) return 0;  // a port the drive does not have
    const int enabled = TruncateToInt32(brake->GetValueInInternalUnit()) != 0 ? 1 : 0;
    return WriteInternal(*config, pin * 256.0 + enabled);
}

int WriteBrakeApplyDelay(CKX_Setup& setup) {
    return WritePeriods(setup, kBRAKEAPPLYDELAY, kMotorBrake_applytime);
}

int WriteBrakeReleaseDelay(CKX_Setup& setup) {
    return WritePeriods(setup, kBRAKERELEASEDELAY, kMotorBrake_releasetime);
}

int WriteFreezeControlBand(CKX_Setup& setup) {
    return WriteMagnitude(setup, kPOSOKLIM_FC, kFreezeControl_errband, PositionScale);
}

int WriteFreezeControlTime(CKX_Setup& setup) {
    return WritePeriods(setup, kTONPOSOK_FC, kFreezeControl_time);
}

int WriteTransmission(CKX_Setup& setup) {
    const auto p = Require(setup, kTRANSMISSION, kMotor_transmission, kLoad_transmission, kLoadSensorType);
    if (!p) return 0;
    const auto [transmission, motor, load, loadSensor] = *p;
    const double ratio = motor->GetValueInBaseUnit() / load->GetValueInBaseUnit();
    if (!IsWritable(ratio)) return 0;
    // Without a load sensor the drive needs only the direction.
    if (IsExactly(loadSensor->GetValueInBaseUnit(), SensorType::None))
        return WriteBase(*transmission, ratio > 0.0 ? 1.0 : -1.0);
    const double rounded = std::floor(ratio * 100000.0 + 0.5) / 100000.0;
    return WriteBase(*transmission, MotorSpeedScale(setup) / SpeedScale(setup) * rounded);
}

int WritePositionRangeRegisters(CKX_Setup& setup) {
    const auto p =
        Require(setup, kMINPOSRANGE, kMAXPOSRANGE, kisPosRange, kPosRange_Minimum, kPosRange_Maximum);
    if (!p) return 0;
    const auto [minRegister, maxRegister, enabled, minimum, maximum] = *p;
    if (Code(enabled) == 0) {
        const int wroteMin = WriteBase(*minRegister, 0.0);
        const int wroteMax = WriteBase(*maxRegister, 0.0);
        return wroteMin && wroteMax ? 1 : 0;
    }
    const double k = PositionScale(setup);
    double low = minimum->GetValueInBaseUnit() * std::fabs(k);
    double high = maximum->GetValueInBaseUnit() * std::fabs(k);
    // The drive's range excludes one end: take a count off the end of smaller
    // magnitude (the upper end on a tie).
    if (std::fabs(low) > std::fabs(high))
        low += 1.0;
    else
        high -= 1.0;
    if (!IsWritable(low) || !IsWritable(high)) return 0;
    const int wroteMin = WriteBase(*minRegister, k > 0.0 ? low : -high);
    const int wroteMax = WriteBase(*maxRegister, k > 0.0 ? high : -low);
    return wroteMin && wroteMax ? 1 : 0;
}

int WritePositionRangeFlag(CKX_Setup& setup) {
    CKX_Parameter* definition = Probe(setup, kPOSRANGEDEF);
    const CKX_Parameter* flag = Probe(setup, kisPosRange);
    if (!definition || !flag) return 0;
    return WriteBase(*definition, flag->GetValueInBaseUnit());
}

int WriteMotionCompleteSettleBand(CKX_Setup& setup) {
    const auto p = Require(setup, kPOSOKLIM, kMotionCompleteSettleBand, kMotionCompleteType);
    if (!p) return 0;
    const auto [limit, band, type] = *p;
    const double value = Code(type) == 0 ? band->GetValueInBaseUnit() * std::fabs(PositionScale(setup)) : 0.0;
    return WriteBase(*limit, value);
}

int WriteMotionCompleteStabilizeTime(CKX_Setup& setup) {
    const auto p = Require(setup, kTONPOSOK, kTs_S);
    if (!p) return 0;
    const auto [periods, period] = *p;
    if (!HasMotionCompleteSettings(setup)) return 1;
    const auto q = Require(setup, kMotionCompleteStabilizeTime, kMotionCompleteType);
    if (!q) return 0;
    const auto [time, type] = *q;
    const double value =
        Code(type) == 0 ? time->GetValueInBaseUnit() / period->GetValueInBaseUnit() : kTimeOff;
    return WriteBase(*periods, value);
}

}  // namespace dcdrive
