// Small setups for the engine tests: parameters set from a list of names and
// values, and a catcher for the messages that the host would show.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Setup.h"
#include "plugin/Scaling.h"
#include "setups/DefaultSetup.h"

namespace dctest {

// Sets a value whatever the parameter's present limits: they are widened
// just enough to hold it (the host would otherwise clamp the value).
inline void Force(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// A number as C++ writes it ("-0x4712" and "0x1p13" too), whatever the locale.
inline double Number(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    const bool hex = text.starts_with("0x");
    if (hex) text.remove_prefix(2);
    double v = 0;
    const auto format = hex ? std::chars_format::hex : std::chars_format::general;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v, format);
    EXPECT_TRUE(error == std::errc() && end == text.data() + text.size()) << "not a number: " << text;
    return negative ? -v : v;
}

// Makes the changes of the list, in order. An entry "name=value" forces the parameter (added, unit-less and
// unbounded, when the setup lacks it); a bare name does so with the next of the values; "name=min:max" sets
// its limits only; "-name" removes the parameter, "@name=text" sets the option and "-@name" clears it.
inline void Assign(CKX_Setup& setup, const std::string& list, const std::vector<double>& values = {}) {
    std::istringstream in(list);
    auto value = values.begin();
    for (std::string item; in >> item;) {
        const auto eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const auto colon = item.find(':');
        if (name.starts_with("-@")) {
            setup.ClearOption(name.c_str() + 2);
        } else if (name[0] == '-') {
            EXPECT_TRUE(setup.RemoveParameter(name.substr(1))) << name;
        } else if (name[0] == '@') {
            setup.SetOption(name.substr(1).c_str(), item.substr(eq + 1).c_str());
        } else if (colon != std::string::npos) {
            setup.FindParameter(name)->SetMinInBaseUnit(Number(item.substr(eq + 1, colon - eq - 1)));
            setup.FindParameter(name)->SetMaxInBaseUnit(Number(item.substr(colon + 1)));
        } else if (eq == std::string::npos && value == values.end()) {
            ADD_FAILURE() << "no value for " << name;
        } else {
            const double v = eq != std::string::npos ? Number(item.substr(eq + 1)) : *value++;
            const kx::QuietLookup quiet;
            if (!setup.FindParameter(name)) setup.AddParameter(name);
            Force(setup, name.c_str(), v);
        }
    }
    EXPECT_TRUE(value == values.end()) << "more values than names in " << list;
}

inline std::unique_ptr<CKX_Setup> MakeSetup(const std::string& list, const std::vector<double>& values = {}) {
    auto setup = std::make_unique<CKX_Setup>();
    Assign(*setup, list, values);
    return setup;
}

// The shipped default setup with the changes of the list made as Assign makes them.
inline std::unique_ptr<CKX_Setup> DefaultWith(const std::string& list = "",
                                              const std::vector<double>& values = {}) {
    auto setup = dcdrive::LoadDefaultSetup();
    Assign(*setup, list, values);
    return setup;
}

// The value of a parameter that must exist (NaN when it does not).
inline double ValueOf(const CKX_Setup& setup, const char* name) {
    const kx::QuietLookup quiet;
    const CKX_Parameter* p = setup.FindParameter(name);
    return p ? p->GetValueInBaseUnit() : std::nan("");
}

// Expects the named parameters to hold the values in order, within
// `tolerance` (when 0, within a relative 1e-12).
inline void ExpectEach(const CKX_Setup& setup, const char* names, const std::vector<double>& values,
                       double tolerance = 0) {
    std::istringstream in(names);
    auto value = values.begin();
    for (std::string name; value != values.end() && in >> name; ++value)
        EXPECT_NEAR(ValueOf(setup, name.c_str()), *value,
                    tolerance > 0 ? tolerance : 1e-12 * std::fabs(*value))
            << name;
    std::string extra;
    EXPECT_TRUE(value == values.end() && !(in >> extra)) << "names and values do not pair up: " << names;
}

// Runs the converters in order on the setup; the sum of their results.
inline int RunAll(CKX_Setup& setup, std::initializer_list<int (*)(CKX_Setup&)> converters) {
    int sum = 0;
    for (const auto convert : converters) sum += convert(setup);
    return sum;
}

// Registers are named in capitals; user parameters have lower-case letters.
inline bool IsRegister(std::string_view name) {
    return std::none_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

inline constexpr const char* kDegC = "\302\260C";

// Collects the host's error messages while it lives, with the error display
// switched on; restores the previous sink and flag afterwards.
class ReportedErrors {
public:
    ReportedErrors() : m_savedFlag(g_bShowErrors) {
        g_bShowErrors = 1;
        m_saved = kx::SetErrorSink([this](const std::string& message) { m_messages.push_back(message); });
    }
    ~ReportedErrors() {
        kx::SetErrorSink(m_saved);
        g_bShowErrors = m_savedFlag;
    }
    ReportedErrors(const ReportedErrors&) = delete;
    ReportedErrors& operator=(const ReportedErrors&) = delete;

    const std::vector<std::string>& Messages() const { return m_messages; }

private:
    int m_savedFlag;
    kx::ErrorSink m_saved;
    std::vector<std::string> m_messages;
};

// Internal units as the host gives them once the plug-in is loaded: the
// plug-in's variable scaling installed into the host while this lives.
using PluginScaling = dcdrive::ScopedHostScaling;

}  // namespace dctest
