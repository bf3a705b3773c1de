#include "Tuning.h"

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "conversions/Conventions.h"
#include "conversions/Derived.h"

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
    return fast && TruncateToInt32(fast->GetValueInBaseUnit()) != 0;
}

// Sampling period of the speed and position controllers: the current loop's
// when they run in the fast loop, else the slow loop's.
double OuterLoopPeriod(const CKX_Setup& setup) {
    return RunsInFastLoop(setup) ? CurrentLoopPeriod(setup) : SpeedLoopPeriod(setup);
}

// A sampling period or a scale that gains can be formed from: finite and not
// zero. A zero (a divider or a resolution of 0 in the setup) would give gains
// of 0 that switch the loop off without a word.
bool Usable(double quantity) { return std::isfinite(quantity) && quantity != 0.0; }

int Code(const CKX_Parameter* parameter) { return TruncateToInt32(parameter->GetValueInBaseUnit()); }

// The position loop measures on the load when the drive has both a motor and
// a load sensor, else on the motor (G = 1).
bool PositionOnLoad(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    return TruncateToInt32(setup.GetParameterValueInBaseUnit(kMotorSensorType)) != 0 &&
           TruncateToInt32(setup.GetParameterValueInBaseUnit(kLoadSensorType)) != 0;
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
    if (!Usable(scale) || !Usable(tc)) return 0;
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
    const double scale = CurrentScale(setup) / std::fabs(MotorSpeedScale(setup));
    if (!Usable(scale) || !Usable(ts)) return 0;
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

    double speedScale = 0.0, positionScale = 0.0, ratio = 1.0;
    if (Code(motorSensor) != 0 && Code(loadSensor) != 0) {
        speedScale = std::fabs(SpeedScale(setup));
        positionScale = std::fabs(PositionScale(setup));
        ratio = std::fabs(motorTransmission->GetValueInBaseUnit() / loadTransmission->GetValueInBaseUnit());
    } else {
        speedScale = std::fabs(MotorSpeedScale(setup));
        positionScale = std::fabs(MotorPositionScale(setup));
    }

    if (!Usable(ts) || !Usable(speedScale) || !Usable(positionScale)) return 0;
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

const char* ZeroTuningDivisor(const CKX_Setup& setup, TunedLoop loop) {
    const kx::QuietLookup quiet;
    std::vector<const char*> divisors;
    if (loop == TunedLoop::Current) {
        divisors = {kR, kVdc, kImaxPS, kDSP_freq};
    } else {
        divisors = {kK, kImaxPS, kDSP_freq, kPWMPER, kSLPER};
        if (RunsInFastLoop(setup)) divisors.push_back(kCLPER);
        // What a zero makes the motor-side position or speed scale 0.
        switch (TruncateToInt32(setup.GetParameterValueInBaseUnit(kMotorSensorType))) {
            case 1:
            case 3:
                divisors.push_back(kNo_encoder_lines);
                break;
            case 2:
                divisors.insert(divisors.end(), {kTacho_gain, kADCResolution});
                break;
            default:
                break;
        }
        if (loop == TunedLoop::Position && PositionOnLoad(setup)) {
            // The load-side scales and the transmission ratio.
            divisors.push_back(kLoad_transmission);
            const bool linear = TruncateToInt32(setup.GetParameterValueInBaseUnit(kTransmissionType)) != 0;
            switch (TruncateToInt32(setup.GetParameterValueInBaseUnit(kLoadSensorType))) {
                case 1:
                case 3:
                    divisors.push_back(linear ? kResolution_LD : kNo_encoder_lines_LD);
                    break;
                case 4:
                case 5:
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

}  // namespace dcdrive
