// The four entry points that the host looks up by name. Nothing else leaves
// the library. No exception crosses them.
#pragma once

#define DCDRIVE_EXPORT extern "C" __attribute__((visibility("default")))

class CKX_Setup;

// Registers -> parameters, then the parameter limits, loop options and load
// units. A null setup is ignored.
DCDRIVE_EXPORT void ComputeAllOptions(CKX_Setup* setup);
// Runs the drive setup editor on the setup; 1 when the user accepted it.
DCDRIVE_EXPORT int EditSetup(CKX_Setup* setup);
// Factor from a drive variable's raw value to the unit; 1 without a setup or unit.
DCDRIVE_EXPORT double GetScaleFactor(CKX_Setup* setup, const char* unit, const char* variable);
// Raw offset added before the factor; 0 without a setup or unit.
DCDRIVE_EXPORT double GetScaleOffset(CKX_Setup* setup, const char* unit);
