// Controller gains and saturations. The drive's current, speed and position
// controllers take each gain as a 15-bit mantissa and a left shift, and each
// saturation as a level counted down from full scale 32767. These converters
// turn the registers into the user's scaled gains, current limits (A) and
// speed limits and back, and give the reverse driver the defaults of the
// tuning tests.
#pragma once

#include "Names.h"
#include "kx/Setup.h"

namespace dcdrive {

// Bit of "ACR" that is set when the speed loop's saturation "SATS" holds the
// current limit (else the position loop's "SATP" holds it).
inline constexpr int kAcrCurrentLimitInSpeedLoopBit = 9;

// ---- fixed-point gain encoding

// A scaled gain x as the drive stores it: x = mantissa * 2^shift / 32767.
struct FixedPointGain {
    double mantissa;  // unrounded; at most 32767 for x >= 0
    int shift;        // 0 for x <= 1, else the smallest n with 2^n >= x
};

// The shift is exact: a power of two 2^n gives n (mantissa 32767), never
// n + 1. A value that is not finite keeps shift 0 and an unusable mantissa,
// which the writers refuse.
FixedPointGain EncodeGain(double x);
double DecodeGain(double mantissa, double shift);
// The gain that the registers really hold once the mantissa is stored as a
// whole number: what an editor shows after the user types a gain.
double RoundGainToRegisters(double x);

// A gain, its mantissa and shift registers.
struct GainRegisters {
    const char* mantissa;
    const char* shift;
    const char* gain;
};

inline constexpr GainRegisters kCurrentProportionalGain{names::kKPI, names::kSFTKPI, names::kKp_C_scl};
inline constexpr GainRegisters kCurrentIntegralGain{names::kKII, names::kSFTKII, names::kKi_C_scl};
inline constexpr GainRegisters kSpeedProportionalGain{names::kKPS, names::kSFTKPS, names::kKp_S_scl};
inline constexpr GainRegisters kSpeedIntegralGain{names::kKIS, names::kSFTKIS, names::kKi_S_scl};
inline constexpr GainRegisters kPositionProportionalGain{names::kKPP, names::kSFTKPP, names::kKp_P_scl};
inline constexpr GainRegisters kPositionIntegralGain{names::kKIP, names::kSFTKIP, names::kKi_P_scl};
inline constexpr GainRegisters kPositionDerivativeGain{names::kKDP, names::kSFTKDP, names::kKd_P_scl};
inline constexpr GainRegisters kSpeedFeedforwardGain{names::kKFFS, names::kSFTSFFW, names::kKFFS_scl};

inline constexpr const GainRegisters* kControllerGains[] = {
    &kCurrentProportionalGain,  &kCurrentIntegralGain,  &kSpeedProportionalGain,  &kSpeedIntegralGain,
    &kPositionProportionalGain, &kPositionIntegralGain, &kPositionDerivativeGain, &kSpeedFeedforwardGain,
};

// mantissa, shift -> gain in [0, 16384] (lookups: mantissa, shift, gain).
int ReadGain(CKX_Setup& setup, const GainRegisters& gain);
// gain -> shift register (lookups: shift, gain).
int WriteGainShift(CKX_Setup& setup, const GainRegisters& gain);
// gain -> mantissa register (lookups: mantissa, gain).
int WriteGainMantissa(CKX_Setup& setup, const GainRegisters& gain);

// The same for one gain, as driver steps: ReadGainOf<kCurrentProportionalGain>.
template <const GainRegisters& G>
int ReadGainOf(CKX_Setup& setup) {
    return ReadGain(setup, G);
}
template <const GainRegisters& G>
int WriteShiftOf(CKX_Setup& setup) {
    return WriteGainShift(setup, G);
}
template <const GainRegisters& G>
int WriteMantissaOf(CKX_Setup& setup) {
    return WriteGainMantissa(setup, G);
}

// ---- acceleration feed-forward: one mantissa, the shift split in two
int ReadAccelerationFeedforward(CKX_Setup& setup);             // "KFFA", "SFTAFFW", "SFTKFF" -> "KFFA_scl"
int WriteAccelerationFeedforwardShift(CKX_Setup& setup);       // "KFFA_scl" -> "SFTAFFW" (at most 11)
int WriteAccelerationFeedforwardExtraShift(CKX_Setup& setup);  // "KFFA_scl" -> "SFTKFF" (the rest)
int WriteAccelerationFeedforwardMantissa(CKX_Setup& setup);    // "KFFA_scl" -> "KFFA"

// ---- other controller registers
int ReadDerivativeFilter(CKX_Setup& setup);         // "KDFP" -> "filter_D"
int WriteDerivativeFilter(CKX_Setup& setup);        // "filter_D" -> "KDFP"
int WriteLoadFeedforwardGain(CKX_Setup& setup);     // "KFFL" := 32767
int ReadGravityCompensationFlag(CKX_Setup& setup);  // "FFL" -> "isCompensateGravitationalLoads"
int ReadOffsetCurrent(CKX_Setup& setup);            // "FFL" -> "OffsetCurrent"
int WriteOffsetCurrent(CKX_Setup& setup);           // "OffsetCurrent", flag -> "FFL"
int ReadOutputFilterFlag(CKX_Setup& setup);         // "FILTERQ" -> "isUseFilterOnCrtCtrlOutput"
int ReadOutputFilter(CKX_Setup& setup);             // "FILTERQ" -> "FilterOnCurrentControllerOutput"
int WriteOutputFilter(CKX_Setup& setup);            // flag, filter -> "FILTERQ"

// ---- saturations and current limits
int ReadCurrentLimit(CKX_Setup& setup);             // "SATS" / "SATP" -> "IlimPS"
int ReadSpeedLimit(CKX_Setup& setup);               // "SATP" -> "Limit_Speed"
int ReadSpeedLoopSaturation(CKX_Setup& setup);      // "IMAXS", "SATS" -> "IPSatS"
int ReadPositionLoopSaturation(CKX_Setup& setup);   // "IMAXP", "SATP" -> "IPSatP"
int WriteSpeedSaturation(CKX_Setup& setup);         // "IlimPS" -> "SATS"
int WritePositionSaturation(CKX_Setup& setup);      // "Limit_Speed" or "IlimPS" -> "SATP"
int WriteSpeedLoopSaturation(CKX_Setup& setup);     // "IlimPS", "IPSatS" -> "IMAXS"
int WritePositionLoopSaturation(CKX_Setup& setup);  // "Limit_Speed" or "IlimPS", "IPSatP" -> "IMAXP"

// ---- defaults of the tuning tests
int ReadTestCurrent(CKX_Setup& setup);       // "In", "InPS" -> "TestCurrent"
int ReadTestLimitCurrent(CKX_Setup& setup);  // "SATS" / "SATP" -> "TestLimitCurrent"
int ReadTestMaxSpeed(CKX_Setup& setup);      // "Vdc", "K" -> "TestMaxSpeed"
int ReadLoadInertiaRatio(CKX_Setup& setup);  // "Jt", "Jm" -> "Jload_over_J"

}  // namespace dcdrive
