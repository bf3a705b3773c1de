// The drive's fixed-point control laws, as its firmware runs them from the
// downloaded registers: value-and-shift gains, PI and PID controllers with
// their output and integral saturations, the first-order output filter of
// the current controller and the register words that configure the loops.
// Internal to the virtual drive; the tests exercise the laws through it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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
// The product saturates near 2^60, far beyond any output a loop can use, so
// that a huge error (a blocked axis) cannot wrap it round.
inline std::int64_t ScaledQ15(Gain gain, std::int64_t x) {
    const int up = gain.shift > 0 ? (gain.shift > 30 ? 30 : gain.shift) : 0;
    const std::int64_t bound = std::int64_t{1} << (45 - (up > 29 ? 29 : up));
    x = x > bound ? bound : (x < -bound ? -bound : x);
    const std::int64_t product = x * gain.mantissa;
    if (gain.shift >= 0) return product * (std::int64_t{1} << up);
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
// output within ±outputLimit. Its continuous law is Kp + Ki/(T·s). The
// limits are whole units; the error may carry `fractionBits` fraction bits
// (the speed and position references have 16), and the output then carries
// as many.
struct PiLaw {
    Gain kp;
    Gain ki;
    std::int64_t outputLimit = kFullScale;
    std::int64_t integralLimit = kFullScale;
};

struct PiState {
    std::int64_t integral = 0;  // Q(15 + fraction bits of the error)
};

inline std::int64_t RunPi(const PiLaw& law, PiState& state, std::int64_t error, int fractionBits = 0) {
    const std::int64_t integralLimit = law.integralLimit << (kGainFractionBits + fractionBits);
    state.integral = Clamp(state.integral + ScaledQ15(law.ki, error), integralLimit);
    return Clamp(FromQ15(ScaledQ15(law.kp, error) + state.integral), law.outputLimit << fractionBits);
}

// PID over the position error: u[k] = Kp·e + Σ Ki·e + Kd·d[k], where d is the
// error's difference per sample passed through y += kdf/32767 (x − y)
// ("KDFP"; 32767 leaves it unfiltered). Fraction bits as for the PI.
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

inline std::int64_t RunPid(const PidLaw& law, PidState& state, std::int64_t error, int fractionBits = 0) {
    const std::int64_t raw = state.primed ? (error - state.lastError) << kGainFractionBits : 0;
    state.lastError = error;
    state.primed = true;
    // d · kdf / 32767 taken apart so that a large difference cannot overflow.
    const std::int64_t d = raw - state.derivativeQ15;
    state.derivativeQ15 +=
        d / kFullScale * law.derivativeFilter + d % kFullScale * law.derivativeFilter / kFullScale;
    const std::int64_t integralLimit = law.pi.integralLimit << (kGainFractionBits + fractionBits);
    state.pi.integral = Clamp(state.pi.integral + ScaledQ15(law.pi.ki, error), integralLimit);
    // Kd times the filtered difference, whose 15 extra fraction bits are
    // taken in two parts so that the product keeps them without overflowing.
    const std::int64_t whole = state.derivativeQ15 >> kGainFractionBits;
    const std::int64_t fraction = state.derivativeQ15 - (whole << kGainFractionBits);
    const std::int64_t derivative =
        ScaledQ15(law.kd, whole) + (ScaledQ15(law.kd, fraction) >> kGainFractionBits);
    return Clamp(FromQ15(ScaledQ15(law.pi.kp, error) + state.pi.integral + derivative),
                 law.pi.outputLimit << fractionBits);
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

// A biquad as a chain slot holds it: the five coefficient words of
// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2), each in units of
// scale / 2^31 ("BQnB0", "BQnB1", "BQnB2", "BQnA1", "BQnA2", "BQnSF"). A slot
// whose coefficients are all 0 (a cleared slot) passes its input through.
struct BiquadSlot {
    std::int64_t b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    std::int64_t scale = 1;
    bool PassesThrough() const { return b0 == 0 && b1 == 0 && b2 == 0 && a1 == 0 && a2 == 0; }
};

struct BiquadState {
    std::int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

// One sample of the direct form I difference equation
// y = b0 x + b1 x1 + b2 x2 − a1 y1 − a2 y2 on signals of at most 31 bits:
// each 62-bit product keeps 46 bits, their sum is scaled by the slot's scale
// factor and rounded back to the signal's units.
inline std::int64_t RunBiquad(const BiquadSlot& slot, BiquadState& state, std::int64_t x) {
    constexpr std::int64_t kSignalLimit = (std::int64_t{1} << 31) - 1;
    x = Clamp(x, kSignalLimit);
    if (slot.PassesThrough()) {
        state = {x, state.x1, x, state.y1};
        return x;
    }
    const std::int64_t sum = ((slot.b0 * x) >> 16) + ((slot.b1 * state.x1) >> 16) +
                             ((slot.b2 * state.x2) >> 16) - ((slot.a1 * state.y1) >> 16) -
                             ((slot.a2 * state.y2) >> 16);
    const std::int64_t y = Clamp((sum * slot.scale + (std::int64_t{1} << 14)) >> 15, kSignalLimit);
    state = {x, state.x1, y, state.y1};
    return y;
}

// Where a chain of biquads sits in the cascade, in the order of the slots:
// the speed reference (the position controller's output), the current
// reference (the speed controller's output) and the measured speed.
enum BiquadLocation : int {
    kSpeedReferenceFilters = 0,
    kCurrentReferenceFilters = 1,
    kSpeedFeedbackFilters = 2
};
inline constexpr int kBiquadLocations = 3;

// What the loops control: "ACR" bit 10 position control, over the speed loop
// when bit 9 is set too; bit 9 alone speed control; neither torque (current)
// control.
enum class ControlMode { Current, Speed, PositionOverSpeed, PositionOverCurrent };
ControlMode ControlModeOfAcr(std::int64_t acr);

// A control-error check: an error beyond `limit` for more than `samples`
// slow-loop samples in a row. The time register's 65535 switches it off, as
// does an absent register.
struct ErrorCheck {
    std::int64_t limit = 0;
    std::int64_t samples = -1;  // −1: off
    bool On() const { return samples >= 0; }
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
    // Speed feed-forward "KFFS"/"SFTSFFW": the reference's speed times this
    // gain goes to the speed reference, or to the current reference when
    // "ACR" bit 14 is set.
    Gain speedFeedforward;
    bool speedFeedforwardToCurrent = false;
    // Acceleration feed-forward "KFFA" with the shift "SFTAFFW" + "SFTKFF":
    // the reference's acceleration times this gain goes to the current
    // reference.
    Gain accelerationFeedforward;
    // The biquad chains by location ("SPDREF_BQ_INI", "IQREF_BQ_INI",
    // "ASPD_BQ_INI" slots in this order from slot 1).
    std::array<std::vector<BiquadSlot>, kBiquadLocations> biquads;
    ErrorCheck positionError;   // "ERRMAXL" (else "ERRMAX") counts, "TERRMAX" samples
    ErrorCheck speedError;      // "SERRMAX" speed counts, "TSERRMAX" samples
    int interpolationBits = 0;  // "ELRES_FRACT": a sine/cosine period counts 4 · 2^bits
    Sensor motorSensor = Sensor::Incremental;
    Sensor loadSensor = Sensor::None;
    bool motorReversed = false;  // the counting direction of the motor sensor's channel
    bool loadReversed = false;   // the same for the load sensor's channel

    // "ACR" bit 10: position control; bit 9: the speed loop is closed (speed
    // control, or position control over the speed loop).
    bool PositionMode() const { return (acr >> 10) & 1; }
    bool SpeedLoopClosed() const { return (acr >> 9) & 1; }
    ControlMode Mode() const { return ControlModeOfAcr(acr); }
};

// The loops' configuration from a register image; absent registers keep the
// defaults above.
Config ConfigFromRegisters(const std::map<std::string, std::int64_t, std::less<>>& registers);

}  // namespace vdrive::fw
