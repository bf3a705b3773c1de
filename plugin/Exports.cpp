#include "Exports.h"

#include "Scaling.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"
#include "kx/Setup.h"

DCDRIVE_EXPORT void ComputeAllOptions(CKX_Setup* setup) {
    if (!setup) return;
    try {
        dcdrive::RegistersToParameters(*setup);
        dcdrive::ComputeParameterLimits(*setup);
        dcdrive::ComputeLoopOptions(*setup);
        dcdrive::ComputeLoadUnits(*setup);
    } catch (...) {
        // The host gets no exception; what was written so far stays.
    }
}

DCDRIVE_EXPORT int EditSetup(CKX_Setup* /*setup*/) {
    // The drive setup editor arrives with the editors; until then the setup
    // is left as it is and the edit counts as cancelled.
    return 0;
}

DCDRIVE_EXPORT double GetScaleFactor(CKX_Setup* setup, const char* unit, const char* variable) {
    if (!setup || !unit) return 1.0;
    try {
        return dcdrive::ScaleFactor(*setup, unit, variable ? variable : "");
    } catch (...) {
        return 0.0;
    }
}

DCDRIVE_EXPORT double GetScaleOffset(CKX_Setup* setup, const char* unit) {
    if (!setup || !unit) return 0.0;
    try {
        return dcdrive::ScaleOffset(*setup, unit);
    } catch (...) {
        return 0.0;
    }
}
