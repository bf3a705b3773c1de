// Helpers of the editors' tests: setup variants and the controls' states
// that a list of rules leaves.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DefaultSetup.h"
#include "editors/EditorRules.h"
#include "kx/Kernel.h"
#include "kx/Setup.h"

namespace dctest {

inline const double kGone = std::nan("");  // as a value: remove the parameter

// The motor setup opens on top of the drive setup editor as soon as it is
// shown: a script that works in the drive setup editor closes it first.
inline const std::string kCloseMotorSetup = "expect \"DC Motor Setup\"\nclick 2\n";

// Sets `name` in base units, adding the parameter when missing and widening
// its range to hold the value.
inline void Set(CKX_Setup& setup, const std::string& name, double value) {
    const kx::QuietLookup quiet;
    if (std::isnan(value)) {
        setup.RemoveParameter(name);
        return;
    }
    CKX_Parameter* p = setup.FindParameter(name);
    if (!p) p = setup.AddParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

inline double Value(const CKX_Setup& setup, const std::string& name) {
    return setup.GetParameterValueInBaseUnit(name.c_str());
}

struct Change {
    const char* name;
    double value;
};

// The default setup with `changes` made in order.
inline std::unique_ptr<CKX_Setup> Variant(const std::vector<Change>& changes) {
    auto setup = dcdrive::LoadDefaultSetup();
    for (const Change& c : changes) Set(*setup, c.name, c.value);
    return setup;
}

// A control as the rules left it; controls start enabled and shown.
struct State {
    bool enabled = true;
    bool shown = true;
    std::string text;
    int flag = 0;  // given with the last Enable rule
};

// The states of the controls the rules touch, applied in order. The rules are
// ControlRules or hold one as `rule` with a `flag`.
template <class Rules>
std::map<unsigned, State> Apply(const Rules& rules) {
    using Action = dcdrive::ControlRule::Action;
    std::map<unsigned, State> states;
    for (const auto& r : rules) {
        int flag = 0;
        const dcdrive::ControlRule* rule = nullptr;
        if constexpr (requires { r.rule; }) {
            rule = &r.rule;
            flag = r.flag;
        } else {
            rule = &r;
        }
        for (unsigned id : rule->ids) {
            State& s = states[id];
            if (rule->action == Action::Enable) {
                s.enabled = rule->on;
                s.flag = flag;
            }
            if (rule->action == Action::Show) s.shown = rule->on;
            if (rule->action == Action::Text) s.text = rule->text;
        }
    }
    return states;
}

}  // namespace dctest
