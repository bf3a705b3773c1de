// The steps that follow the register-to-parameter driver when the host asks
// for all options: parameter limits, loop options (options/LoopOptions.h)
// and load units.
#pragma once

#include "kx/Setup.h"
#include "options/LoopOptions.h"

namespace dcdrive {

// Recomputes the bounds of the user parameters that depend on the rest of
// the setup: error bands and times, pass bands, test timings and moves, the
// analogue reference, the serial encoder offset and the filter frequencies.
void ComputeParameterLimits(CKX_Setup& setup);

// Gives the load-side parameters and variables rotary units ("rot", "rpm",
// "rad/s", "rad/s^2", "rad/s^3") or, with a linear transmission, linear ones
// ("mm", "m/s", "m/s^2", "m/s^3"). Returns 1.
int ComputeLoadUnits(CKX_Setup& setup);

}  // namespace dcdrive
