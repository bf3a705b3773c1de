#include "AnalogReferenceRules.h"

#include "conversions/Capabilities.h"
#include "conversions/Codes.h"
#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "options/Limits.h"

namespace dcdrive {

using namespace names;
using Kind = ReferenceBinding::Kind;
using Action = ControlRule::Action;

namespace {

constexpr int kPosition = static_cast<int>(ControlMode::Position);
constexpr int kSpeed = static_cast<int>(ControlMode::Speed);
constexpr int kCurrent = static_cast<int>(ControlMode::Torque);

int ModeOf(const CKX_Setup& setup) { return Code(setup, kControlMode); }

bool Truncated(const CKX_Setup& setup, const char* name, int value) {
    return TruncateToInt32(ValueOr(setup, name, 0.0)) == value;
}

// The range that the analogue input span is mapped onto, by control mode.
struct RangeNames {
    int mode;
    const char* max;
    const char* min;
};
constexpr RangeNames kRanges[] = {
    {kPosition, kPOS_max, kPOS_min},
    {kSpeed, kSPD_max, kSPD_min},
    {kCurrent, kCRT_max, kCRT_min},
};

}  // namespace

bool HasAnalogueInput(const CKX_Setup& setup) { return HasAnalogueReferenceScaling(setup); }

std::vector<ReferenceBinding> AnalogReferenceBindings(const CKX_Setup& setup) {
    const int cm = ModeOf(setup);
    const bool analogue = HasAnalogueInput(setup);
    std::vector<ReferenceBinding> bindings;
    if (analogue)
        for (const RangeNames& range : kRanges)
            if (range.mode == cm) {
                bindings.push_back({Kind::Value, range.max, 1006, 1015});
                bindings.push_back({Kind::Value, range.min, 1008, 0});
            }
    if (cm == kPosition || cm == kSpeed) bindings.push_back({Kind::Check, kisLimitMaximum, 3116});
    if (cm == kPosition) {
        bindings.push_back({Kind::Value, kErefMaxSpeed, 3302, 3136});
        bindings.push_back({Kind::Value, kErefMaxAcceleration, 3304, 3137});
    } else if (cm == kSpeed) {
        bindings.push_back({Kind::Value, kErefMaxAcceleration, 3302, 3136});
    }
    if (analogue && (cm == kPosition || cm == kSpeed || cm == kCurrent)) {
        bindings.push_back({Kind::Value, kDeadBand_Point, 1010, 1016});
        bindings.push_back({Kind::Value, kDeadBand_Range, 1012, 0});
    }
    bindings.push_back({Kind::Radios, kisAnalogueReference, 3289, 3290});
    bindings.push_back({Kind::Radios, kDigitalReferenceType, 3291, 3292});
    bindings.push_back({Kind::Value, kGEARMASTER, 3296, 0});
    bindings.push_back({Kind::Value, kGEARSLAVE, 3295, 0});
    if (analogue) {
        bindings.push_back({Kind::Check, kUseFilter, 1001});
        bindings.push_back({Kind::Value, kfilter, 1003, 1004});
    }
    bindings.push_back({Kind::List, kDigitalReferenceConnector, 3399});
    return bindings;
}

std::vector<ControlRule> AnalogReferenceStartRules(const CKX_Setup& setup) {
    std::vector<ControlRule> rules;
    const double span = ValueOr(setup, kAnalogueInputsRange, 0.0);
    const char* low = "0";
    const char* high = "3.3";
    if (span == 20) {
        low = "-10";
        high = "10";
    } else if (span == 5) {
        high = "5";
    }
    rules.push_back({Action::Text, {3328}, false, low});
    rules.push_back({Action::Text, {3327}, false, high});
    rules.push_back({Action::Enable, {3328, 3327}, false, {}});

    switch (ModeOf(setup)) {
        case kPosition:
            rules.push_back({Action::Text, {1007}, false, "Maximum Position"});
            rules.push_back({Action::Text, {1009}, false, "Minimum Position"});
            // The limit beside it is the speed with an analogue reference and
            // the acceleration with a digital one: the caption names that one.
            rules.push_back({Action::Text, {3116}, false, ReferenceLimitCaption(setup)});
            break;
        case kSpeed:
            rules.push_back({Action::Text, {1007}, false, "Maximum Speed"});
            rules.push_back({Action::Text, {1009}, false, "Minimum Speed"});
            rules.push_back({Action::Text, {3116}, false, "Limit maximum acceleration at"});
            break;
        case kCurrent:
            rules.push_back({Action::Text, {1007}, false, "Maximum Current"});
            rules.push_back({Action::Text, {1009}, false, "Minimum Current"});
            rules.push_back({Action::Show, {3116, 3302, 3136}, false, {}});
            break;
        default:
            break;
    }
    rules.push_back({Action::Enable, {3290}, HasAnalogueInput(setup), {}});
    return rules;
}

unsigned AnalogReferencePicture(const CKX_Setup& setup) {
    switch (ModeOf(setup)) {
        case kPosition:
            return 3003;
        case kSpeed:
            return 3044;
        case kCurrent:
            return 3002;
        default:
            return 0;
    }
}

std::vector<ControlRule> AnalogReferenceDisplayRules(const CKX_Setup& setup, int noneAvailable) {
    const int cm = ModeOf(setup);
    const bool analogue = Truncated(setup, kisAnalogueReference, 1);
    const bool limit = Truncated(setup, kisLimitMaximum, 1);
    const bool digitalPossible = cm == kPosition && noneAvailable == 0;
    const bool filter = HasAnalogueInput(setup) && !Truncated(setup, kUseFilter, 0);
    return {
        {Action::Show, {1002, 1003, 1004}, filter, {}},
        {Action::Show, {3302, 3136}, analogue && limit && cm < 2, {}},
        {Action::Show, {3304, 3137}, !analogue && limit && cm < 2, {}},
        {Action::Enable,
         {1006, 1007, 1008, 1009, 1015, 1016, 1010, 1011, 1012, 1013, 1001, 1002, 1003, 1004, 1000, 3328,
          3327},
         analogue,
         {}},
        {Action::Enable,
         {3291, 3292, 3294, 3295, 3296, 3297, 3298, 3299, 3300, 3399, 3400},
         !analogue && digitalPossible,
         {}},
        {Action::Enable,
         {3289},
         digitalPossible && setup.GetIntOption(kOptDisableExternalDigitalReference) == 0,
         {}},
    };
}

const char* ReferenceLimitCaption(const CKX_Setup& setup) {
    return Truncated(setup, kisAnalogueReference, 1) && ModeOf(setup) == kPosition
               ? "Limit maximum speed at"
               : "Limit maximum acceleration at";
}

const char* CopyUnitToRangeMinimum(CKX_Setup& setup, const char* name) {
    static constexpr struct {
        const char* leader;
        const char* follower;
    } kFollowers[] = {
        {kPOS_max, kPOS_min},
        {kSPD_max, kSPD_min},
        {kCRT_max, kCRT_min},
        {kDeadBand_Point, kDeadBand_Range},
    };
    for (const auto& pair : kFollowers) {
        if (!NamesEqual(name, pair.leader)) continue;
        const CKX_Parameter* leader = Probe(setup, pair.leader);
        CKX_Parameter* follower = Probe(setup, pair.follower);
        if (leader && follower) follower->ChangeUnit(leader->GetUnitName().c_str());
        return pair.follower;
    }
    return nullptr;
}

bool LimitReferenceRange(CKX_Setup& setup, const char* name) {
    static constexpr struct {
        const char* max;
        const char* min;
        void (*limitMin)(CKX_Setup&);
        void (*limitMax)(CKX_Setup&);
    } kPairs[] = {
        {kPOS_max, kPOS_min, &LimitPositionMin, &LimitPositionMax},
        {kSPD_max, kSPD_min, &LimitSpeedMin, &LimitSpeedMax},
        {kCRT_max, kCRT_min, &LimitCurrentMin, &LimitCurrentMax},
    };
    for (const auto& pair : kPairs) {
        if (!NamesEqual(name, pair.max) && !NamesEqual(name, pair.min)) continue;
        pair.limitMin(setup);
        pair.limitMax(setup);
        return true;
    }
    return false;
}

const char* LimitDeadBand(CKX_Setup& setup, const char* name) {
    const char* other = NamesEqual(name, kDeadBand_Point)   ? kDeadBand_Range
                        : NamesEqual(name, kDeadBand_Range) ? kDeadBand_Point
                                                            : nullptr;
    if (other) LimitDeadBandRange(setup);
    return other;
}

bool ApplyGearRatioRule(CKX_Setup& setup, const char* name) {
    if (!NamesEqual(name, kGEARMASTER) && !NamesEqual(name, kGEARSLAVE)) return false;
    CKX_Parameter* master = Probe(setup, kGEARMASTER);
    CKX_Parameter* slave = Probe(setup, kGEARSLAVE);
    if (!master || !slave) return false;
    double m = Value(*master);
    double s = Value(*slave);
    if (m == 0) m = 1;
    if (s == 0) s = 1;
    if (m < 0 && s < 0) {
        m = -m;
        s = -s;
    }
    WriteBase(*master, m);
    WriteBase(*slave, s);
    return true;
}

}  // namespace dcdrive
