#include "options/Limits.h"

#include <algorithm>
#include <cmath>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"

namespace dcdrive {

using namespace names;

namespace {

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

struct Range {
    double min, max;
};

// Sets the bounds of `name` when the setup has it. The bounds are computed
// only then, so that a drive variant without the parameter gets no message
// about the values they read.
template <class Bounds>
void Limit(CKX_Setup& setup, const char* name, Bounds bounds) {
    CKX_Parameter* parameter = Probe(setup, name);
    if (!parameter) return;
    const auto [min, max] = bounds();
    SetParameterRange(*parameter, min, max);
}

// Full scale of a 16-bit register (32767 counts) in base units, whatever the
// sign of the scale (reversed counting gives the same bounds).
double FullScale(double scale) { return 32767.0 / std::fabs(scale); }

// Largest current the drive can command: the register's full scale, the
// drive's peak current and the motor's peak current, whichever is least.
double CurrentCeiling(const CKX_Setup& setup) {
    return std::min({32767.0 / CurrentScale(setup), Value(setup, kImaxPS), Value(setup, kImaxM)});
}

}  // namespace

void LimitDeadBandPoint(CKX_Setup& setup) {
    Limit(setup, kDeadBand_Point, [&setup] {
        const double range = Value(setup, kAnalogueInputsRange);
        if (range == 20.0) return Range{-10.0, 10.0};  // bipolar input
        if (range == 5.0) return Range{0.0, 5.0};
        return Range{0.0, 3.3};
    });
}

void LimitDeadBandRange(CKX_Setup& setup) {
    const CKX_Parameter* point = Probe(setup, kDeadBand_Point);
    if (!point) return;
    Limit(setup, kDeadBand_Range, [&setup, point] {
        const double low = point->GetMinInBaseUnit();
        const double high = point->GetMaxInBaseUnit();
        const double at = point->GetValueInBaseUnit();
        return Range{0.0, HasNewDeadBand(setup) ? high - low : std::min(at - low, high - at)};
    });
}

void LimitPositionMax(CKX_Setup& setup) {
    Limit(setup, kPOS_max, [&setup] {
        return Range{Value(setup, kPOS_min), FullScale(PositionScale(setup))};
    });
}

void LimitPositionMin(CKX_Setup& setup) {
    Limit(setup, kPOS_min, [&setup] {
        return Range{-FullScale(PositionScale(setup)), Value(setup, kPOS_max)};
    });
}

void LimitSpeedMin(CKX_Setup& setup) {
    Limit(setup, kSPD_min, [&setup] {
        return Range{std::max(-Value(setup, kLimit_Speed), -FullScale(SpeedScale(setup))),
                     Value(setup, kSPD_max)};
    });
}

void LimitSpeedMax(CKX_Setup& setup) {
    Limit(setup, kSPD_max, [&setup] {
        return Range{Value(setup, kSPD_min),
                     std::min(FullScale(SpeedScale(setup)), Value(setup, kLimit_Speed))};
    });
}

void LimitCurrentMin(CKX_Setup& setup) {
    Limit(setup, kCRT_min, [&setup] { return Range{-CurrentCeiling(setup), Value(setup, kCRT_max)}; });
}

void LimitCurrentMax(CKX_Setup& setup) {
    Limit(setup, kCRT_max, [&setup] { return Range{Value(setup, kCRT_min), CurrentCeiling(setup)}; });
}

}  // namespace dcdrive
