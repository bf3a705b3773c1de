// Helpers of the editors' tests: setup variants and the controls' states.
#pragma once

#include <cmath>
#include <map>
#include <string>

#include "../conversions/TestSetup.h"
#include "editors/EditorRules.h"

namespace dctest {

inline const double kGone = std::nan("");  // as a value: remove the parameter

// The motor setup opens on top of the drive setup editor at once: scripts there close it first.
inline const std::string kCloseMotorSetup = "expect \"DC Motor Setup\"\nclick 2\n";

// Sets `name` in base units as Assign does, or removes it when `value` is kGone.
inline void Set(CKX_Setup& setup, const std::string& name, double value) {
    const kx::QuietLookup quiet;
    std::isnan(value) ? void(setup.RemoveParameter(name)) : Assign(setup, name, {value});
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

// Calls `each` with the name and the text of every "name=text" of `text` in order.
template <class Each>
void ForEachChange(const std::string& text, Each each) {
    std::istringstream in(text);
    for (std::string token; in >> token;) {
        const std::size_t at = token.find('=');
        each(token.substr(0, at), token.substr(at + 1));
    }
}

// The default setup with "name=value ..." made in order as Assign makes them;
// "name=gone" removes the parameter or, as "@name=gone", clears the option.
inline std::unique_ptr<CKX_Setup> VariantOf(const std::string& changes) {
    std::string list;
    ForEachChange(changes, [&](const std::string& name, const std::string& text) {
        list += (text == "gone" ? "-" + name : name + "=" + text) + " ";
    });
    return DefaultWith(list);
}

// Checks "name=value ..." in base units.
inline void ExpectValues(const CKX_Setup& setup, const std::string& expected, double tolerance = 1e-9) {
    ForEachChange(expected, [&](const std::string& name, const std::string& text) {
        EXPECT_NEAR(Value(setup, name), Number(text), tolerance) << name;
    });
}

// A control as the rules left it; controls start enabled and shown.
struct State {
    bool enabled = true;
    bool shown = true;
    std::string text;
    int flag = 0;  // given with the last Enable rule
};

// A rule and the flag given with it: a ControlRule has none.
inline std::pair<const dcdrive::ControlRule*, int> RuleOf(const dcdrive::ControlRule& r) { return {&r, 0}; }
template <class Flagged>
std::pair<const dcdrive::ControlRule*, int> RuleOf(const Flagged& r) {
    return {&r.rule, r.flag};
}

// The states of the controls the ControlRules (or rules with a `rule` and a `flag`) touch.
template <class Rules>
std::map<unsigned, State> Apply(const Rules& rules) {
    using Action = dcdrive::ControlRule::Action;
    std::map<unsigned, State> states;
    for (const auto& r : rules) {
        const auto [rule, flag] = RuleOf(r);
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

// Checks control states against "+id" enabled, "-id" disabled, "^id" shown
// and "_id" hidden. A control that no rule touched is enabled and shown.
inline void ExpectStates(const std::map<unsigned, State>& states, const std::string& expected) {
    std::istringstream in(expected);
    for (std::string token; in >> token;) {
        const std::size_t sign = std::string("+-^_").find(token.at(0));
        ASSERT_NE(sign, std::string::npos) << token;
        const auto it = states.find(static_cast<unsigned>(std::stoul(token.substr(1))));
        const State state = it == states.end() ? State{} : it->second;
        EXPECT_EQ(sign < 2 ? state.enabled : state.shown, sign % 2 == 0) << token;
    }
}

}  // namespace dctest
