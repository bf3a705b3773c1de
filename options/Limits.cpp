#include "options/Limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"

namespace dcdrive {

using namespace names;

namespace {

// Full scale of a 16-bit register (32767 counts) in base units, whatever the
// sign of the scale (reversed counting gives the same bounds).
double FullScale(double scale) { return kFullScale / std::fabs(scale); }

// The biquad chain has at most ten filters with a frequency of their own.
constexpr int kMaxLimitedFilters = 10;

// Largest current the drive can command: the register's full scale, the
// drive's peak current and the motor's peak current, whichever is least.
double CurrentCeiling(const CKX_Setup& setup) {
    return std::min({kFullScale / CurrentScale(setup), Value(setup, kImaxPS), Value(setup, kImaxM)});
}

}  // namespace

void LimitDeadBandPoint(CKX_Setup& setup) {
    LimitRange(setup, kDeadBand_Point, [&setup] {
        const double range = Value(setup, kAnalogueInputsRange);
        if (range == 20.0) return Bounds{-10.0, 10.0};  // bipolar input
        if (range == 5.0) return Bounds{0.0, 5.0};
        return Bounds{0.0, 3.3};
    });
}

void LimitDeadBandRange(CKX_Setup& setup) {
    const CKX_Parameter* point = Probe(setup, kDeadBand_Point);
    if (!point) return;
    LimitRange(setup, kDeadBand_Range, [&setup, point] {
        const double low = point->GetMinInBaseUnit();
        const double high = point->GetMaxInBaseUnit();
        const double at = point->GetValueInBaseUnit();
        return Bounds{0.0, HasNewDeadBand(setup) ? high - low : std::min(at - low, high - at)};
    });
}

void LimitPositionMax(CKX_Setup& setup) {
    LimitRange(setup, kPOS_max, [&setup] {
        return Bounds{Value(setup, kPOS_min), FullScale(PositionScale(setup))};
    });
}

void LimitPositionMin(CKX_Setup& setup) {
    LimitRange(setup, kPOS_min, [&setup] {
        return Bounds{-FullScale(PositionScale(setup)), Value(setup, kPOS_max)};
    });
}

void LimitSpeedMin(CKX_Setup& setup) {
    LimitRange(setup, kSPD_min, [&setup] {
        return Bounds{std::max(-Value(setup, kLimit_Speed), -FullScale(SpeedScale(setup))),
                      Value(setup, kSPD_max)};
    });
}

void LimitSpeedMax(CKX_Setup& setup) {
    LimitRange(setup, kSPD_max, [&setup] {
        return Bounds{Value(setup, kSPD_min),
                      std::min(FullScale(SpeedScale(setup)), Value(setup, kLimit_Speed))};
    });
}

void LimitCurrentMin(CKX_Setup& setup) {
    LimitRange(setup, kCRT_min, [&setup] { return Bounds{-CurrentCeiling(setup), Value(setup, kCRT_max)}; });
}

void LimitCurrentMax(CKX_Setup& setup) {
    LimitRange(setup, kCRT_max, [&setup] { return Bounds{Value(setup, kCRT_min), CurrentCeiling(setup)}; });
}

int SetMaximum(CKX_Parameter& parameter, double max) {
    if (!IsWritable(max) || max < parameter.GetMinInBaseUnit()) return 0;
    return parameter.SetMaxInBaseUnit(max) != 0 ? 1 : 0;
}

int SetMinimum(CKX_Parameter& parameter, double min) {
    if (!IsWritable(min) || min > parameter.GetMaxInBaseUnit()) return 0;
    return parameter.SetMinInBaseUnit(min) != 0 ? 1 : 0;
}

int SetBounds(CKX_Parameter& parameter, Bounds bounds) {
    const bool min = IsWritable(bounds.min), max = IsWritable(bounds.max);
    if (min && max) return SetParameterRange(parameter, bounds.min, bounds.max);
    if (min) return SetMinimum(parameter, bounds.min);
    if (max) return SetMaximum(parameter, bounds.max);
    return 0;
}

void LimitNominalCurrent(CKX_Setup& setup) {
    LimitMaximum(setup, kIn, [&setup] { return Value(setup, kImaxM); });
}

void LimitTestPosition(CKX_Setup& setup) {
    LimitRange(setup, kTestPosition, [&setup] {
        // The test ramps the position reference by at most 32767 counts per
        // slow-loop period; the shorter ramp bounds the distance both ways.
        const double tsl = SpeedLoopPeriod(setup);
        const double counts = FullScale(PositionScale(setup));
        const double reach = std::min(Value(setup, kTaPP) / tsl * counts, Value(setup, kTaNP) / tsl * counts);
        return Bounds{-reach, reach};
    });
}

void LimitTestSpeed(CKX_Setup& setup) {
    LimitRange(setup, kTestSpeed, [&setup] {
        const double reach = std::min(Value(setup, kLimit_Speed), FullScale(SpeedScale(setup)));
        return Bounds{-reach, reach};
    });
}

void LimitSSIOffset(CKX_Setup& setup) {
    LimitMaximum(setup, kSSI_Offset, [&setup] {
        // The offset register holds at most 32 bits.
        return std::pow(2.0, std::min(Value(setup, kSSI_No_Bits_Revolution), 32.0));
    });
}

void LimitFilterFrequencies(CKX_Setup& setup) {
    const int count = std::min(FilterCount(setup), kMaxLimitedFilters);
    for (int i = 1; i <= count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "BQFilterF1%d", i);
        LimitMaximum(setup, name, [&setup] { return 0.5 / SpeedLoopPeriod(setup) - 1.0; });
    }
}

}  // namespace dcdrive
