// Host kernel library: global error flag, error sink, rounding helpers and the
// hook through which the host program installs the plug-in's scaling functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#define KX_API __attribute__((visibility("default")))

class CKX_Setup;

// When non-zero, a lookup of a missing parameter, variable or option that
// expects to find it reports the name through the error sink. Callers that
// only probe clear it around the lookup and restore it afterwards.
extern "C" KX_API int g_bShowErrors;

namespace kx {

using ErrorSink = std::function<void(const std::string&)>;

// Replaces the sink that receives the host's error messages; returns the old
// one. An empty sink restores the default (one line on stderr).
KX_API ErrorSink SetErrorSink(ErrorSink sink);

// Sends a message to the error sink, whatever the state of g_bShowErrors.
KX_API void ReportError(const std::string& message);

// Reports "message" only while g_bShowErrors is set.
KX_API void ReportLookupError(const std::string& message);

// The plug-in's scaling entry points, with their exported signatures.
using ScaleFactorFn = double (*)(CKX_Setup*, const char* unit, const char* variable);
using ScaleOffsetFn = double (*)(CKX_Setup*, const char* unit);

// Installs the plug-in's scaling functions. Until they are installed (or
// after they are reset with nullptr), internal units equal base units.
KX_API void SetScaleFunctions(ScaleFactorFn factor, ScaleOffsetFn offset);
KX_API ScaleFactorFn GetScaleFactorFunction();
KX_API ScaleOffsetFn GetScaleOffsetFunction();

// The user's data folder of this host: $XDG_DATA_HOME/dcdrive, with
// XDG_DATA_HOME defaulting to ~/.local/share (an unset or relative value is
// ignored, as the XDG rules ask). Not created here.
KX_API std::string UserDataFolder();

// Clears g_bShowErrors for the life of the object and restores it after.
class KX_API QuietLookup {
public:
    QuietLookup();
    ~QuietLookup();
    QuietLookup(const QuietLookup&) = delete;
    QuietLookup& operator=(const QuietLookup&) = delete;

private:
    int m_saved;
};

}  // namespace kx

// Rounds x to the given number of decimals (half away from zero).
KX_API double RoundDecimalValue(double x, int digits);
// Rounds x to the nearest whole number (half away from zero).
KX_API double TG_FRound(double x);
// Remainder of a / b in [0, |b|); 0 when b is 0.
KX_API long PositiveModulo(long a, long b);
KX_API double PositiveModulo(double a, double b);

// Full-scale count of the drive's analogue converter, from the setup's drive
// description (a converter of n bits left-aligned in 16 bits).
KX_API std::uint32_t Compute_ADCMaxValue(CKX_Setup* setup);
