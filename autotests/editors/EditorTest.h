// Helpers of the editors' tests: setup variants and the controls' states
// that a list of rules leaves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <locale>
#include <map>
#include <memory>
#include <sstream>
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

// Reads "name=value ..." (a value "gone" removes the parameter) whatever the
// locale, and calls `each` with every pair in order.
template <class Each>
void ForEachChange(const std::string& text, Each each) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    for (std::string token; in >> token;) {
        const std::size_t at = token.find('=');
        std::istringstream number(token.substr(at + 1));
        number.imbue(std::locale::classic());
        double value = kGone;
        if (number.str() != "gone") number >> value;
        each(token.substr(0, at), value);
    }
}

// The default setup with "name=value ..." made in order.
inline std::unique_ptr<CKX_Setup> VariantOf(const std::string& changes) {
    auto setup = dcdrive::LoadDefaultSetup();
    ForEachChange(changes, [&](const std::string& name, double value) { Set(*setup, name, value); });
    return setup;
}

// Checks "name=value ..." in base units.
inline void ExpectValues(const CKX_Setup& setup, const std::string& expected, double tolerance = 1e-9) {
    ForEachChange(expected, [&](const std::string& name, double value) {
        EXPECT_NEAR(Value(setup, name), value, tolerance) << name;
    });
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

// Checks control states against what a case expects: "+id" enabled, "-id"
// disabled, "^id" shown, "_id" hidden, or "id:E/S" with E and S 1 or 0
// (enabled, shown) or "-" where it does not matter. A control that no rule
// touched is enabled and shown.
inline void ExpectStates(const std::map<unsigned, State>& states, const std::string& expected) {
    std::istringstream in(expected);
    for (std::string token; in >> token;) {
        const char sign = token.at(0);
        const bool signed_ = sign == '+' || sign == '-' || sign == '^' || sign == '_';
        const std::size_t colon = token.find(':');
        const unsigned id =
            static_cast<unsigned>(std::stoul(signed_ ? token.substr(1) : token.substr(0, colon)));
        const auto it = states.find(id);
        const State state = it == states.end() ? State{} : it->second;
        const char enabled = signed_ ? (sign == '+' ? '1' : sign == '-' ? '0' : '.') : token.at(colon + 1);
        const char shown = signed_ ? (sign == '^' ? '1' : sign == '_' ? '0' : '.') : token.at(colon + 3);
        if (enabled == '0' || enabled == '1') {
            EXPECT_EQ(state.enabled, enabled == '1') << token;
        }
        if (shown == '0' || shown == '1') {
            EXPECT_EQ(state.shown, shown == '1') << token;
        }
    }
}

}  // namespace dctest
