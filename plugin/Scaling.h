// Scaling of drive variables for display: the factor and offset that turn a
// raw drive value r into a value in a unit, (r + offset) · factor.
#pragma once

#include <string_view>

#include "kx/Setup.h"

namespace dcdrive {

// Factor from the raw value of `variable` to `unit`. Unit and variable names
// are compared without regard to letter case ("V " with its space is a unit
// of its own; the Windows-1252 degree sign matches the UTF-8 one). An
// unknown unit gives 1. A factor that cannot be formed (a zero or non-finite
// quantity in the setup) gives 0, which the host takes as "no scaling"
// instead of a NaN or an infinity.
double ScaleFactor(const CKX_Setup& setup, std::string_view unit, std::string_view variable);

// Offset in raw counts added before the factor: the negated raw reading at
// 0 °C for "°C", 0 for every other unit and whenever it cannot be formed.
double ScaleOffset(const CKX_Setup& setup, std::string_view unit);

// Installs these two as the host's scaling of internal units, as the host
// program does once it has loaded the plug-in; for programs and tests that
// link the engine itself. ~ScopedHostScaling takes them out again.
void InstallHostScaling();
struct ScopedHostScaling {
    ScopedHostScaling() { InstallHostScaling(); }
    ~ScopedHostScaling();
    ScopedHostScaling(const ScopedHostScaling&) = delete;
    ScopedHostScaling& operator=(const ScopedHostScaling&) = delete;
};

}  // namespace dcdrive
