#include "Derived.h"

#include <cmath>
#include <cstdint>

#include "Conventions.h"
#include "Names.h"

namespace dcdrive {

using namespace names;

namespace {

// 2^f for a sine/cosine interpolation level, formed as an unsigned 32-bit
// number with f taken modulo 32: level 31 gives 2^31, a positive count.
double InterpolationFactor(double level) {
    const auto f = static_cast<std::uint32_t>(TruncateToInt32(level)) & 31u;
    return static_cast<double>(std::uint32_t{1} << f);
}

// Counts per radian of a motor-side sensor of the given type; false for a
// type that gives no position (none, tachogenerator, unknown codes).
bool MotorSensorCounts(const CKX_Setup& setup, SensorType type, double& counts) {
    switch (type) {
        case SensorType::IncrementalEncoder:
            counts = 4.0 * Value(setup, kNo_encoder_lines) / kTwoPi;
            return true;
        case SensorType::SineCosineEncoder:
            counts = InterpolationFactor(Value(setup, kSINCOS_fract)) * 2.0 *
                     Value(setup, kNo_encoder_lines) / kPi;
            return true;
        case SensorType::SsiEncoder:
        case SensorType::BissEncoder:
            counts = std::pow(2.0, Value(setup, kSSI_No_Bits_Revolution)) / kTwoPi;
            return true;
        default:
            return false;
    }
}

}  // namespace

double AdcMax(const CKX_Setup& setup) {
    // The host's full-scale reader only reads the drive description.
    return static_cast<double>(Compute_ADCMaxValue(const_cast<CKX_Setup*>(&setup)));
}

double ControllerClock(const CKX_Setup& setup) {
    if (const CKX_Parameter* clock = Probe(setup, kDSP2_freq)) return clock->GetValueInBaseUnit();
    if (const CKX_Parameter* clock = Probe(setup, kDSP_freq)) return clock->GetValueInBaseUnit();
    return 6e7;
}

double CurrentLoopPeriod(const CKX_Setup& setup) {
    return 2.0 * Value(setup, kCLPER) * Value(setup, kPWMPER) / Value(setup, kDSP_freq);
}

double SpeedLoopPeriod(const CKX_Setup& setup) {
    return 2.0 * Value(setup, kSLPER) * Value(setup, kPWMPER) / Value(setup, kDSP_freq);
}

double VoltageCommandScale(const CKX_Setup& setup) { return kFullScale / Value(setup, kVdc); }

double VoltageMeasureScale(const CKX_Setup& setup) { return AdcMax(setup) / Value(setup, kVdcMaxMeasurable); }

double CurrentScale(const CKX_Setup& setup) { return AdcMax(setup) / (2.0 * Value(setup, kImaxPS)); }

double MotorPositionScale(const CKX_Setup& setup) {
    double counts = 1.0;
    return MotorSensorCounts(setup, MotorSensorOf(setup), counts) ? counts : 1.0;
}

double PositionScale(const CKX_Setup& setup) {
    const bool linear = TransmissionOf(setup) != TransmissionType::RotaryToRotary;
    switch (LoadSensorOf(setup)) {
        case SensorType::None: {
            // No load sensor: the motor sensor seen through the transmission.
            double counts = 1.0;
            if (!MotorSensorCounts(setup, MotorSensorOf(setup), counts)) return 1.0;
            return Value(setup, kMotor_transmission) / Value(setup, kLoad_transmission) * counts;
        }
        case SensorType::IncrementalEncoder:
            return linear ? 1.0 / Value(setup, kResolution_LD)
                          : 4.0 * Value(setup, kNo_encoder_lines_LD) / kTwoPi;
        case SensorType::Tachogenerator:
            return 1.0;
        case SensorType::SineCosineEncoder: {
            const double interpolation = std::pow(2.0, Value(setup, kSINCOS_fract_LD));
            return linear ? interpolation / Value(setup, kResolution_LD)
                          : interpolation * 2.0 * Value(setup, kNo_encoder_lines_LD) / kPi;
        }
        case SensorType::SsiEncoder:
        case SensorType::BissEncoder:
            return linear ? 1.0 / Value(setup, kSSI_Resolution_LD)
                          : std::pow(2.0, Value(setup, kSSI_No_Bits_Revolution_LD)) / kTwoPi;
        default:
            return 1.0;
    }
}

double SpeedScale(const CKX_Setup& setup) {
    if (MotorSensorOf(setup) == SensorType::Tachogenerator && LoadSensorOf(setup) == SensorType::None) {
        return (Value(setup, kMotor_transmission) / Value(setup, kLoad_transmission)) *
               Value(setup, kADCResolution) * Value(setup, kTacho_gain) / Value(setup, kAnalogueInputsRange);
    }
    return PositionScale(setup) * SpeedLoopPeriod(setup);
}

double MotorSpeedScale(const CKX_Setup& setup) {
    if (MotorSensorOf(setup) != SensorType::Tachogenerator)
        return MotorPositionScale(setup) * SpeedLoopPeriod(setup);
    return Value(setup, kADCResolution) * Value(setup, kTacho_gain) / Value(setup, kAnalogueInputsRange);
}

double AccelerationScale(const CKX_Setup& setup) { return SpeedScale(setup) * SpeedLoopPeriod(setup); }

double AnalogueReferenceSpan(const CKX_Setup& setup) {
    auto span = [&setup](const char* max, const char* min) {
        return setup.GetParameterValueInInternalUnit(max) - setup.GetParameterValueInInternalUnit(min);
    };
    double s = 0.0;
    switch (ControlModeOf(setup)) {
        case ControlMode::Position:
            s = span(kPOS_max, kPOS_min);
            break;
        case ControlMode::Speed:
            s = span(kSPD_max, kSPD_min);
            break;
        case ControlMode::Torque:
            s = span(kCRT_max, kCRT_min);
            break;
        default:
            break;
    }
    const double result = s * 0.5 * 65536.0 / AdcMax(setup);
    return PositionScale(setup) <= 0.0 ? -result : result;
}

double AccelerationFeedforwardShift(const CKX_Setup& setup) {
    const double gain = Value(setup, kKFFA_scl);
    if (gain <= 1.0) return 0.0;
    // log2 is exact for powers of two, so 2^n gives the shift n and not n + 1.
    return std::ceil(std::log2(gain));
}

double SerialMinimumFrequency(const CKX_Setup& setup) {
    const double available = CurrentLoopPeriod(setup) - 1.0 / Value(setup, kDSP_freq) -
                             Value(setup, kAEI_TransferTime) - Value(setup, kAEI_GuardTime) -
                             Value(setup, kAEI_ComputeTime);
    return Value(setup, kAEI_ReadTime1Mhz) * 1e6 / available;
}

int ApplyMotionCompleteDefaults(CKX_Setup& setup) {
    if (Code(setup, kMotionCompleteDefaultSettings) != 1) return 0;
    const int band = WriteBase(setup, kMotionCompleteSettleBand, kPi);
    const int time = WriteBase(setup, kMotionCompleteStabilizeTime, SpeedLoopPeriod(setup));
    return band && time ? 1 : 0;
}

}  // namespace dcdrive
