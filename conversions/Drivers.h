// The two conversion drivers. The reverse driver turns the drive's registers
// into user parameters; the forward driver turns user parameters into
// registers. Each is a fixed, ordered list of single conversions, some of them
// run only when a capability test holds. A driver runs the whole list and
// ignores the results: a conversion that cannot run never stops the others.
#pragma once

#include <span>

#include "Conventions.h"
#include "kx/Setup.h"

namespace dcdrive {

using Guard = bool (*)(const CKX_Setup& setup);

struct DriverStep {
    int item;           // group number in the driver's list (1-based)
    const char* name;   // what the step converts, for display and tests
    Guard guard;        // run only when this test holds; null: always
    Converter convert;  // null: the conversion is not available yet, skipped
};

std::span<const DriverStep> ReverseDriverSteps();
std::span<const DriverStep> ForwardDriverSteps();

// Registers -> user parameters.
void RegistersToParameters(CKX_Setup& setup);
// User parameters -> registers.
void ParametersToRegisters(CKX_Setup& setup);

// Parameters -> registers, then registers -> parameters: what the editors run
// around a nested dialog, so that every parameter holds what its registers
// hold.
void RunBothDrivers(CKX_Setup& setup);

// Runs the steps in order (what both drivers do).
void RunDriverSteps(std::span<const DriverStep> steps, CKX_Setup& setup);

}  // namespace dcdrive
