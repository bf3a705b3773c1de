// Limits of the user parameters that depend on other parameters: the bounds
// the host lets the user type between, recomputed from the current setup.
// Each operation acts only on a parameter that the setup has (a missing one
// is skipped without a message) and reads the values it depends on through
// the host. Bounds are set so that a minimum never ends above a maximum: an
// empty or non-finite pair of bounds leaves the old ones in place.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

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
