#include "Steps.h"

namespace dcdrive {

// The parameter limits, the loop and feedback options and the load units
// arrive with the options engine; until then these steps leave the setup as
// it is.

void ComputeParameterLimits(CKX_Setup& /*setup*/) {}

int ComputeLoopOptions(CKX_Setup& /*setup*/) { return 1; }

int ComputeLoadUnits(CKX_Setup& /*setup*/) { return 1; }

}  // namespace dcdrive
