// The drive's fixed-point control laws, as its firmware runs them from the
// downloaded registers: value-and-shift gains, PI and PID controllers with
// their output and integral saturations, the first-order output filter of
// the current controller and the register words that configure the loops.
// Internal to the virtual drive; the tests exercise the laws through it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vdrive::fw {

// Full scale of a 16-bit drive word.
inline constexpr std::int32_t kFullScale = 32767;
// Products of a gain mantissa and a signal carry 15 fraction bits.
inline constexpr int kGainFractionBits = 15;

// A gain as the drive stores it: the value mantissa · 2^shift / 32767. The
// firmware multiplies by the mantissa, shifts left by the shift and keeps 15
// fraction bits (a division by 32768, one part in 32767 from the register
// meaning).
struct Gain {
    std::int32_t mantissa = 0;
    std::int32_t shift = 0;
};

// x · gain with 15 fraction bits (Q15), no rounding lost before the caller's.
inline std::int64_t ScaledQ15(Gain gain, std::int64_t x) {
    const std::int64_t product = x * gain.mantissa;
    if (gain.shift >= 0) return product * (std::int64_t{1} << (gain.shift > 30 ? 30 : gain.shift));
    return product >> (-gain.shift > 62 ? 62 : -gain.shift);
}

// Q15 -> whole counts, rounded to nearest (ties up), as the firmware does.
inline std::int64_t FromQ15(std::int64_t q15) {
    return (q15 + (std::int64_t{1} << (kGainFractionBits - 1))) >> kGainFractionBits;
}

inline std::int64_t Clamp(std::int64_t x, std::int64_t limit) {
    return x > limit ? limit : (x < -limit ? -limit : x);
}

// A saturation register holds 32767 minus the limit in counts.
inline std::int32_t LimitOfSaturation(std::int64_t saturation) {
    const std::int64_t limit = kFullScale - saturation;
    return static_cast<std::int32_t>(limit < 0 ? 0 : (limit > kFullScale ? kFullScale : limit));
}

// PI: u[k] = Kp·e[k] + Σ Ki·e[j], the sum held within ±integralLimit and the
// output within ±outputLimit. Its continuous law is Kp + Ki/(T·s).
struct PiLaw {
    Gain kp;
    Gain ki;
    std::int64_t outputLimit = kFullScale;
    std::int64_t integralLimit = kFullScale;
};

struct PiState {
    std::int64_t integralQ15 = 0;
};

inline std::int64_t RunPi(const PiLaw& law, PiState& state, std::int64_t error) {
    const std::int64_t integralLimitQ15 = law.integralLimit << kGainFractionBits;
    state.integralQ15 = Clamp(state.integralQ15 + ScaledQ15(law.ki, error), integralLimitQ15);
    return Clamp(FromQ15(ScaledQ15(law.kp, error) + state.integralQ15), law.outputLimit);
}

// PID over the position error: u[k] = Kp·e + Σ Ki·e + Kd·d[k], where d is the
// error's difference per sample passed through y += kdf/32767 (x − y)
// ("KDFP"; 32767 leaves it unfiltered).
struct PidLaw {
    PiLaw pi;
    Gain kd;
    std::int32_t derivativeFilter = kFullScale;
};

struct PidState {
    PiState pi;
    std::int64_t lastError = 0;
    std::int64_t derivativeQ15 = 0;
    bool primed = false;
};

inline std::int64_t RunPid(const PidLaw& law, PidState& state, std::int64_t error) {
    const std::int64_t raw = state.primed ? (error - state.lastError) << kGainFractionBits : 0;
    state.lastError = error;
    state.primed = true;
    state.derivativeQ15 += (raw - state.derivativeQ15) * law.derivativeFilter / kFullScale;
    const std::int64_t integralLimitQ15 = law.pi.integralLimit << kGainFractionBits;
    state.pi.integralQ15 = Clamp(state.pi.integralQ15 + ScaledQ15(law.pi.ki, error), integralLimitQ15);
    const std::int64_t derivative = ScaledQ15(law.kd, state.derivativeQ15) >> kGainFractionBits;
    return Clamp(FromQ15(ScaledQ15(law.pi.kp, error) + state.pi.integralQ15 + derivative),
                 law.pi.outputLimit);
}

// First-order filter y += q/32767 (x − y) on the current controller's output
// ("FILTERQ"; 32767 passes the input through).
struct OutputFilter {
    std::int32_t q = kFullScale;
    std::int64_t yQ15 = 0;
    std::int64_t Run(std::int64_t x) {
        if (q >= kFullScale) {
            yQ15 = x << kGainFractionBits;
            return x;
        }
        yQ15 += ((x << kGainFractionBits) - yQ15) * q / kFullScale;
        return FromQ15(yQ15);
    }
};

// Sensors as the feedback words "SCR" and "OSR" configure them.
enum class Sensor { None, Incremental, Tacho, SineCosine, Ssi, Biss };

// What the loops read from the register image.
struct Config {
    std::int64_t pwmPeriod = 1500;           // "PWMPER": half the PWM period in clock cycles
    std::int64_t fastDivider = 1;            // "CLPER": PWM periods per current-loop sample
    std::int64_t slowDivider = 20;           // "SLPER": PWM periods per speed/position sample
    PiLaw current;                           // "KPI"/"SFTKPI", "KII"/"SFTKII", limits at full scale
    PiLaw speed;                             // "KPS"/"SFTKPS", "KIS"/"SFTKIS", "SATS", "IMAXS"
    PidLaw position;                         // "KPP".., "KIP".., "KDP".., "KDFP", "SATP", "IMAXP"
    std::int32_t outputFilter = kFullScale;  // "FILTERQ"
    std::int32_t gravityOffset = 0;          // "FFL", current counts
    std::int32_t gravityGain = kFullScale;   // "KFFL"
    std::int64_t acr = 0;                    // "ACR"
    Sensor motorSensor = Sensor::Incremental;
    Sensor loadSensor = Sensor::None;
    bool motorReversed = false;  // the counting direction of the motor sensor's channel
    bool loadReversed = false;   // the same for the load sensor's channel

    // "ACR" bit 10: position control; bit 9: the speed loop is closed (speed
    // control, or position control over the speed loop).
    bool PositionMode() const { return (acr >> 10) & 1; }
    bool SpeedLoopClosed() const { return (acr >> 9) & 1; }
};

// The loops' configuration from a register image; absent registers keep the
// defaults above.
Config ConfigFromRegisters(const std::map<std::string, std::int64_t, std::less<>>& registers);

}  // namespace vdrive::fw
