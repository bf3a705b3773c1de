// Small setups for the engine tests: parameters added by name and value, and
// a catcher for the messages that the host would show.
#pragma once

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Setup.h"
#include "plugin/Scaling.h"

namespace dctest {

struct Param {
    const char* name;
    double value;
};

// Adds the parameters (unit-less, unbounded) to the setup.
inline void Add(CKX_Setup& setup, std::initializer_list<Param> params) {
    for (const Param& p : params) setup.AddParameter(p.name)->SetValueInBaseUnit(p.value);
}

inline std::unique_ptr<CKX_Setup> MakeSetup(std::initializer_list<Param> params) {
    auto setup = std::make_unique<CKX_Setup>();
    Add(*setup, params);
    return setup;
}

// A setup from a table of parameters, with some of them given other values
// (or added). A table kept as an array reads in columns.
inline std::unique_ptr<CKX_Setup> MakeSetupFrom(std::span<const Param> table,
                                                std::initializer_list<Param> changes = {}) {
    auto setup = MakeSetup({});
    for (const Param& p : table) setup->AddParameter(p.name)->SetValueInBaseUnit(p.value);
    const kx::QuietLookup quiet;
    for (const Param& p : changes) {
        CKX_Parameter* existing = setup->FindParameter(p.name);
        (existing ? existing : setup->AddParameter(p.name))->SetValueInBaseUnit(p.value);
    }
    return setup;
}

// Sets a value whatever the parameter's present limits: they are widened
// just enough to hold it (the host would otherwise clamp the value).
inline void Force(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// The value of a parameter that must exist (NaN when it does not).
inline double ValueOf(const CKX_Setup& setup, const char* name) {
    const kx::QuietLookup quiet;
    const CKX_Parameter* p = setup.FindParameter(name);
    return p ? p->GetValueInBaseUnit() : std::nan("");
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
