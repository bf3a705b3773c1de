// The steps that follow the register-to-parameter driver when the host asks
// for all options: parameter limits, loop options and load units.
#pragma once

#include "kx/Setup.h"

namespace dcdrive {

void ComputeParameterLimits(CKX_Setup& setup);
int ComputeLoopOptions(CKX_Setup& setup);
int ComputeLoadUnits(CKX_Setup& setup);

}  // namespace dcdrive
