#include "AnalogueRefRules.h"

#include "conversions/Codes.h"
#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "kx/Kernel.h"

namespace dcdrive {

using namespace names;

namespace {

// The parameter's value in the unit the user chose, as the dialogs show it.
double DisplayValue(const CKX_Setup& setup, const char* name) {
    const CKX_Parameter* p = setup.FindParameter(name);
    return p ? p->GetValueInDisplayUnit() : 0.0;
}

std::string DisplayUnit(const CKX_Setup& setup, const char* name) {
    const CKX_Parameter* p = setup.FindParameter(name);
    return p ? p->GetUnitName() : std::string();
}

}  // namespace

Span AnalogueInputSpan(double range) {
    if (range == 20.0) return {-10.0, 10.0};
    if (range == 5.0) return {0.0, 5.0};
    return {0.0, 3.3};
}

AnalogueTestSpans AnalogueTestSpansOf(const CKX_Setup& setup) {
    AnalogueTestSpans spans;
    spans.input = AnalogueInputSpan(Value(setup, kAnalogueInputsRange));
    spans.inputUnit = DisplayUnit(setup, kAnalogueInputsRange);

    struct ByMode {
        ControlMode mode;
        const char* minimum;
        const char* maximum;
        const char* label;
    };
    static constexpr ByMode kModes[] = {
        {ControlMode::Position, kPOS_min, kPOS_max, "Position command"},
        {ControlMode::Speed, kSPD_min, kSPD_max, "Speed command"},
        {ControlMode::Torque, kCRT_min, kCRT_max, "Current command"},
    };
    const ControlMode mode = ControlModeOf(setup);
    for (const ByMode& m : kModes) {
        if (m.mode != mode) continue;
        spans.command = AnalogueCommand{
            {DisplayValue(setup, m.minimum), DisplayValue(setup, m.maximum)},
            m.label,
            DisplayUnit(setup, m.maximum),
        };
    }
    return spans;
}

double ValueAtCounts(const Span& span, double counts) {
    return RoundDecimalValue((span.maximum - span.minimum) * counts / kAnalogueFullScale + span.minimum, 2);
}

double BarReference(const Span& span) {
    return span.minimum > 0.0 || span.maximum < 0.0 ? span.minimum : 0.0;
}

}  // namespace dcdrive
