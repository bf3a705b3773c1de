// Limits of the user parameters that depend on other parameters: the bounds
// the host lets the user type between, recomputed from the current setup.
// Each operation acts only on a parameter that the setup has (a missing one
// is skipped without a message) and reads the values it depends on through
// the host. Bounds are set so that a minimum never ends above a maximum, and
// a bound that is not finite is never written (the old one stays).
#pragma once

#include "conversions/Conventions.h"
#include "kx/Setup.h"

namespace dcdrive {

// ---- setting bounds

struct Bounds {
    double min, max;
};

// Sets the maximum / minimum of the parameter unless the bound is not finite
// or would end on the wrong side of the other bound (the old one then stays).
// Returns 1 when the bound was set.
int SetMaximum(CKX_Parameter& parameter, double max);
int SetMinimum(CKX_Parameter& parameter, double min);

// Sets the maximum of the parameter `name` when the setup has it (probed
// quietly). The bound is computed, by calling `bound`, only then, so that a
// drive variant without the parameter gets no message about the values it reads.
template <class Bound>
int LimitMaximum(CKX_Setup& setup, const char* name, Bound bound) {
    CKX_Parameter* parameter = Probe(setup, name);
    return parameter ? SetMaximum(*parameter, bound()) : 0;
}

// Sets both bounds with SetParameterRange; an empty pair (min > max) leaves
// the old bounds in place. A bound that is not finite (a zero scale upstream)
// is skipped and the other one is set alone, as SetMinimum / SetMaximum do.
// Returns 1 when a bound was set.
int SetBounds(CKX_Parameter& parameter, Bounds bounds);

// The same on the parameter `name` when the setup has it (probed quietly);
// `bounds` is called only then.
template <class BoundPair>
int LimitRange(CKX_Setup& setup, const char* name, BoundPair bounds) {
    CKX_Parameter* parameter = Probe(setup, name);
    return parameter ? SetBounds(*parameter, bounds()) : 0;
}

// ---- the single limit operations

// Maximum of "In": the motor's peak current "ImaxM".
void LimitNominalCurrent(CKX_Setup& setup);
// "TestPosition" within +-L, L the distance that 32767 position counts per
// slow-loop period cover during the shorter of the ramps "TaPP" and "TaNP".
void LimitTestPosition(CKX_Setup& setup);
// "TestSpeed" within +-min("Limit_Speed", 32767 speed counts).
void LimitTestSpeed(CKX_Setup& setup);
// Maximum of "SSI_Offset": 2^"SSI_No_Bits_Revolution", the exponent capped at 32.
void LimitSSIOffset(CKX_Setup& setup);
// Maximum of each "BQFilterF1<i>" of the biquad chain (at most the first
// ten): 1 Hz below half the slow-loop sampling frequency.
void LimitFilterFrequencies(CKX_Setup& setup);

// "DeadBand_Point" by the analogue input range: [-10, 10] V for a 20 V
// input, [0, 5] V for a 5 V input, [0, 3.3] V for any other.
void LimitDeadBandPoint(CKX_Setup& setup);
// "DeadBand_Range" from 0 up to the width that the point leaves: the whole
// span of the point with the newer dead-band option, otherwise the smaller
// distance from the point to either of its bounds.
void LimitDeadBandRange(CKX_Setup& setup);
// "POS_max" in ["POS_min", 32767 counts]; "POS_min" in [-32767 counts, "POS_max"].
void LimitPositionMax(CKX_Setup& setup);
void LimitPositionMin(CKX_Setup& setup);
// "SPD_min" in [-min("Limit_Speed", 32767 counts), "SPD_max"];
// "SPD_max" in ["SPD_min", min(32767 counts, "Limit_Speed")].
void LimitSpeedMin(CKX_Setup& setup);
void LimitSpeedMax(CKX_Setup& setup);
// "CRT_min" in [-min("ImaxPS", "ImaxM", 32767 counts), "CRT_max"];
// "CRT_max" in ["CRT_min", min(32767 counts, "ImaxPS", "ImaxM")].
void LimitCurrentMin(CKX_Setup& setup);
void LimitCurrentMax(CKX_Setup& setup);

}  // namespace dcdrive
