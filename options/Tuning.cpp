#include "Tuning.h"

#include <cmath>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"

namespace dcdrive {

using namespace names;

namespace {

template <std::size_t N>
auto RequireAll(const CKX_Setup& setup, const std::array<const char*, N>& lookups) {
    return std::apply([&setup](auto... name) { return Require(setup, name...); }, lookups);
}

struct Gain {
    CKX_Parameter* parameter;
    double value;
};

// Writes the gains in the order given, or none of them when one is not a
// finite number, so that a loop is never left half tuned.
template <std::size_t N>
int WriteGains(const std::array<Gain, N>& gains) {
    for (const Gain& gain : gains) {
        if (!IsWritable(gain.value)) return 0;
    }
    for (const Gain& gain : gains) WriteBase(*gain.parameter, gain.value);
    return 1;
}

bool RunsInFastLoop(const CKX_Setup& setup) {
    const CKX_Parameter* fast = Probe(setup, kPosSpd_in_FastLoop);
    return fast && Code(fast) != 0;
}

// Sampling period of the speed and position controllers: the current loop's
// when they run in the fast loop, else the slow loop's.
double OuterLoopPeriod(const CKX_Setup& setup) {
    return RunsInFastLoop(setup) ? CurrentLoopPeriod(setup) : SpeedLoopPeriod(setup);
}

// The position loop closes on the load sensor when the drive has one, with or
// without a motor sensor, else on the motor sensor (G = 1).
bool PositionOnLoad(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    return LoadSensorOf(setup) != SensorType::None;
}

// The load's motion seen from the motor: the transmission ratio, 0 when a
// transmission is missing.
double MotorOverLoad(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    const CKX_Parameter* motor = Probe(setup, kMotor_transmission);
    const CKX_Parameter* load = Probe(setup, kLoad_transmission);
    return motor && load ? std::fabs(motor->GetValueInBaseUnit() / load->GetValueInBaseUnit()) : 0.0;
}

// The speed loop closes on the motor sensor, or on the load sensor when the
// motor has none: its counts per second, through the transmission to the
// motor (the gains act on the motor's torque).
struct MeasuredSpeed {
    double scale;
    double ratio;
};
bool SpeedOnLoad(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    return MotorSensorOf(setup) == SensorType::None && LoadSensorOf(setup) != SensorType::None;
}
MeasuredSpeed SpeedLoopSensor(const CKX_Setup& setup) {
    if (!SpeedOnLoad(setup)) return {std::fabs(MotorSpeedScale(setup)), 1.0};
    return {std::fabs(SpeedScale(setup)), MotorOverLoad(setup)};
}

}  // namespace

int TuneCurrentController(CKX_Setup& setup) {
    const auto found = RequireAll(setup, kCurrentTuningParameters);
    if (!found) return 0;
    const auto [kp, ki, inductance, resistance, band, damping] = *found;
    const double l = inductance->GetValueInBaseUnit();
    const double r = resistance->GetValueInBaseUnit();
    const double w = band->GetValueInBaseUnit();
    const double zeta = damping->GetValueInBaseUnit();
    const double tc = CurrentLoopPeriod(setup);
    // Volts to current counts: a zero "Vdc" or "ImaxPS" gives no scale (rather
    // than a gain of 0, which would switch the loop off without a word).
    const double scale = VoltageCommandScale(setup) / CurrentScale(setup);
    if (!IsDivisor(scale) || !IsDivisor(tc)) return 0;
    const double tau = l / r;  // a zero "R" leaves no finite gain below

    std::array<Gain, 2> gains{Gain{kp, 0.0}, Gain{ki, 0.0}};
    if (tau > 4.0 * tc) {
        // PI zero on the electrical pole: s^2 + 2 zeta w s + w^2.
        gains[0].value = r * (2.0 * zeta * w * tau - 1.0) * scale;
        gains[1].value = r * w * w * tau * tc * scale;
    } else {
        // Electrical time constant too short for the sampling.
        gains[0].value = r * ((0.5 * tau / std::sqrt(2.0)) / tc - 1.0) * scale;
        gains[1].value = r * w * tc * scale;
    }
    return WriteGains(gains);
}

int TuneSpeedController(CKX_Setup& setup) {
    const auto found = RequireAll(setup, kSpeedTuningParameters);
    if (!found) return 0;
    const auto [ki, kp, inertia, torqueConstant, band, damping] = *found;
    const double w = band->GetValueInBaseUnit();
    const double zeta = damping->GetValueInBaseUnit();
    const double ts = OuterLoopPeriod(setup);
    const double plant = inertia->GetValueInBaseUnit() / torqueConstant->GetValueInBaseUnit();
    const MeasuredSpeed sensor = SpeedLoopSensor(setup);
    const double scale = CurrentScale(setup) / sensor.scale * sensor.ratio;
    if (!IsDivisor(scale) || !IsDivisor(ts)) return 0;
    // s^2 + 2 zeta w s + w^2 over the inertia J/K.
    return WriteGains(
        std::array{Gain{ki, w * w * ts * plant * scale}, Gain{kp, 2.0 * zeta * w * plant * scale}});
}

int TunePositionController(CKX_Setup& setup) {
    const auto found = RequireAll(setup, kPositionTuningParameters);
    if (!found) return 0;
    const auto [ki, kp, kd, controlType, inertia, band, torqueConstant, damping, motorTransmission,
                loadTransmission, motorSensor, loadSensor] = *found;
    const double w = band->GetValueInBaseUnit();
    const double zeta = damping->GetValueInBaseUnit();
    const double ts = OuterLoopPeriod(setup);

    // The scales of the sensor that closes the loop: the load's, seen through
    // the transmission from the motor, whenever there is a load sensor.
    double speedScale = 0.0, positionScale = 0.0, ratio = 1.0;
    if (CodeAs<SensorType>(*loadSensor) != SensorType::None) {
        speedScale = std::fabs(SpeedScale(setup));
        positionScale = std::fabs(PositionScale(setup));
        ratio = MotorOverLoad(setup);
    } else {
        speedScale = std::fabs(MotorSpeedScale(setup));
        positionScale = std::fabs(MotorPositionScale(setup));
    }

    // A zero period or scale (a divider or a resolution of 0 in the setup)
    // would give gains of 0 that switch the loop off without a word.
    if (!IsDivisor(ts) || !IsDivisor(speedScale) || !IsDivisor(positionScale)) return 0;
    if (Code(controlType) == 1) {
        // PI giving a speed reference to the closed speed loop: s^2 + 2 zeta w s + w^2.
        const double scale = speedScale / positionScale;
        return WriteGains(
            std::array{Gain{ki, w * w * ts * scale}, Gain{kp, 2.0 * zeta * w * scale}, Gain{kd, 0.0}});
    }
    // PID giving a current reference over the inertia J/K:
    // (s + w)(s^2 + 2 zeta w s + w^2).
    const double scale = inertia->GetValueInBaseUnit() / torqueConstant->GetValueInBaseUnit() *
                         CurrentScale(setup) / positionScale * ratio;
    return WriteGains(std::array{Gain{ki, w * w * w * ts * scale},
                                 Gain{kp, (2.0 * zeta + 1.0) * w * w * scale},
                                 Gain{kd, (2.0 * zeta + 1.0) * w * scale / ts}});
}

const char* ZeroTuningDivisor(const CKX_Setup& setup, Loop loop) {
    const kx::QuietLookup quiet;
    std::vector<const char*> divisors;
    if (loop == Loop::Current) {
        divisors = {kR, kVdc, kImaxPS, kDSP_freq};
    } else {
        divisors = {kK, kImaxPS, kDSP_freq, kPWMPER, kSLPER};
        if (RunsInFastLoop(setup)) divisors.push_back(kCLPER);
        // What a zero makes the motor-side position or speed scale 0.
        switch (MotorSensorOf(setup)) {
            case SensorType::IncrementalEncoder:
            case SensorType::SineCosineEncoder:
                divisors.push_back(kNo_encoder_lines);
                break;
            case SensorType::Tachogenerator:
                divisors.insert(divisors.end(), {kTacho_gain, kADCResolution});
                break;
            default:
                break;
        }
        if ((loop == Loop::Position && PositionOnLoad(setup)) ||
            (loop == Loop::Speed && SpeedOnLoad(setup))) {
            // The load-side scales and the transmission ratio.
            divisors.push_back(kLoad_transmission);
            const bool linear = TransmissionOf(setup) != TransmissionType::RotaryToRotary;
            switch (LoadSensorOf(setup)) {
                case SensorType::IncrementalEncoder:
                case SensorType::SineCosineEncoder:
                    divisors.push_back(linear ? kResolution_LD : kNo_encoder_lines_LD);
                    break;
                case SensorType::SsiEncoder:
                case SensorType::BissEncoder:
                    if (linear) divisors.push_back(kSSI_Resolution_LD);
                    break;
                default:
                    break;
            }
        }
    }
    for (const char* name : divisors) {
        const CKX_Parameter* parameter = setup.FindParameter(name);
        if (parameter && parameter->GetValueInBaseUnit() == 0.0) return name;
    }
    return nullptr;
}

namespace {

// A loop's tuning operation, its lookups and the gains it writes.
struct LoopTuning {
    int (*tune)(CKX_Setup& setup);
    std::span<const char* const> lookups;
    std::span<const GainRegisters* const> gains;
};

constexpr std::array<const GainRegisters*, 2> kCurrentGains = {&kCurrentProportionalGain,
                                                               &kCurrentIntegralGain};
constexpr std::array<const GainRegisters*, 2> kSpeedGains = {&kSpeedProportionalGain, &kSpeedIntegralGain};
constexpr std::array<const GainRegisters*, 3> kPositionGains = {
    &kPositionProportionalGain, &kPositionIntegralGain, &kPositionDerivativeGain};

const LoopTuning& TuningOf(Loop loop) {
    static const LoopTuning kCurrent{TuneCurrentController, kCurrentTuningParameters, kCurrentGains};
    static const LoopTuning kSpeed{TuneSpeedController, kSpeedTuningParameters, kSpeedGains};
    static const LoopTuning kPosition{TunePositionController, kPositionTuningParameters, kPositionGains};
    switch (loop) {
        case Loop::Current:
            return kCurrent;
        case Loop::Speed:
            return kSpeed;
        case Loop::Position:
        default:
            return kPosition;
    }
}

}  // namespace

TuneResult TuneLoop(CKX_Setup& setup, Loop loop) {
    const LoopTuning& tuning = TuningOf(loop);
    TuneResult result;
    {
        // A missing parameter is named in the result, not reported on the way.
        const kx::QuietLookup quiet;
        result.tuned = tuning.tune(setup);
    }
    if (!result.tuned) {
        for (const char* name : tuning.lookups) {
            if (!Exists(setup, name)) {
                result.missing = name;
                return result;
            }
        }
        result.zero = ZeroTuningDivisor(setup, loop);
        return result;
    }
    // The registers follow the gains, and the gains show what the registers hold.
    for (const GainRegisters* gain : tuning.gains) {
        WriteGainShift(setup, *gain);
        WriteGainMantissa(setup, *gain);
    }
    for (const GainRegisters* gain : tuning.gains) ReadGain(setup, *gain);
    return result;
}

}  // namespace dcdrive
