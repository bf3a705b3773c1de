#include "kx/Kernel.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "kx/Setup.h"

KX_API int g_bShowErrors = 1;

namespace kx {
namespace {

ErrorSink& Sink() {
    static ErrorSink sink;
    return sink;
}

ScaleFactorFn g_scaleFactor = nullptr;
ScaleOffsetFn g_scaleOffset = nullptr;

}  // namespace

ErrorSink SetErrorSink(ErrorSink sink) {
    ErrorSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

void ReportError(const std::string& message) {
    if (Sink()) {
        Sink()(message);
    } else {
        std::cerr << message << '\n';
    }
}

void ReportLookupError(const std::string& message) {
    if (g_bShowErrors) ReportError(message);
}

void SetScaleFunctions(ScaleFactorFn factor, ScaleOffsetFn offset) {
    g_scaleFactor = factor;
    g_scaleOffset = offset;
}

ScaleFactorFn GetScaleFactorFunction() { return g_scaleFactor; }
ScaleOffsetFn GetScaleOffsetFunction() { return g_scaleOffset; }

std::string UserDataFolder() {
    std::filesystem::path base;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data && std::filesystem::path(data).is_absolute()) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
    }
    return (base / "dcdrive").string();
}

QuietLookup::QuietLookup() : m_saved(g_bShowErrors) { g_bShowErrors = 0; }
QuietLookup::~QuietLookup() { g_bShowErrors = m_saved; }

}  // namespace kx

double RoundDecimalValue(double x, int digits) {
    if (!std::isfinite(x)) return x;
    const double scale = std::pow(10.0, digits);
    const double scaled = x * scale;
    // Beyond 2^52 a double holds no fraction to round away.
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return x;
    return std::round(scaled) / scale;
}

double TG_FRound(double x) { return std::round(x); }

long PositiveModulo(long a, long b) {
    if (b == 0) return 0;
    if (b < 0) b = -b;
    const long r = a % b;
    return r < 0 ? r + b : r;
}

double PositiveModulo(double a, double b) {
    if (b == 0.0 || !std::isfinite(a) || !std::isfinite(b)) return 0.0;
    const double m = std::fabs(b);
    double r = std::fmod(a, m);
    if (r < 0) r += m;
    return r >= m ? 0.0 : r;
}

std::uint32_t Compute_ADCMaxValue(CKX_Setup* setup) {
    int bits = setup ? setup->GetDrive().adcBits : 12;
    if (bits < 1) bits = 1;
    if (bits > 16) bits = 16;
    // The converter's reading is left-aligned in a 16-bit word.
    return ((1u << bits) - 1u) << (16 - bits);
}
