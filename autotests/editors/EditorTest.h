// Setup variants and the controls' states after an editor's rules, shared by
// the rules tests and the dialog tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "DefaultSetup.h"
#include "editors/EditorRules.h"
#include "kx/Setup.h"

namespace dctest {

// Sets a parameter (added when missing), its limits widened to hold the value.
inline void Set(CKX_Setup& setup, std::string_view name, double value) {
    const kx::QuietLookup quiet;
    CKX_Parameter* p = setup.FindParameter(name);
    if (!p) p = setup.AddParameter(std::string(name));
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

inline const double kGone = std::nan("");

struct Change {
    const char* name;
    double value;  // kGone removes the parameter
};

// The default setup with the changes made in order.
inline std::unique_ptr<CKX_Setup> Variant(std::initializer_list<Change> changes) {
    auto setup = dcdrive::LoadDefaultSetup();
    for (const Change& c : changes)
        if (std::isnan(c.value))
            setup->RemoveParameter(c.name);
        else
            Set(*setup, c.name, c.value);
    return setup;
}

inline double Value(const CKX_Setup& setup, const char* name) {
    return setup.GetParameterValueInBaseUnit(name);
}

struct State {
    bool enabled = true;
    bool shown = true;
    std::string text;
};

// The controls' states after the rules ran in order over controls that start
// enabled and shown.
inline std::map<unsigned, State> Apply(const std::vector<dcdrive::ControlRule>& rules) {
    using Action = dcdrive::ControlRule::Action;
    std::map<unsigned, State> states;
    for (const dcdrive::ControlRule& rule : rules)
        for (unsigned id : rule.ids) {
            State& s = states[id];
            if (rule.action == Action::Enable) s.enabled = rule.on;
            if (rule.action == Action::Show) s.shown = rule.on;
            if (rule.action == Action::Text) s.text = rule.text;
        }
    return states;
}

}  // namespace dctest
