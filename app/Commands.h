// The commands of dcsetup, run on a loaded setup with the plug-in loaded.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

class CKX_Setup;

namespace dcsetup {

class Plugin;

// Bad input from the user: exit code 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Any other failure: exit code 1.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CommandContext {
    CKX_Setup& setup;
    const Plugin& plugin;
    std::ostream& out;
    bool json = false;
};

// Shortest text that reads back as the same double, independent of the
// locale: plain decimals in the usual range, an exponent beyond it.
std::string FormatNumber(double value);
// The same with 17 significant digits (as "%.17g" in the "C" locale).
std::string FormatNumber17(double value);

// {"parameters": {NAME: {"value", "internal", "min", "max", "unit"}},
//  "options": {NAME: TEXT}}; only the named parameters when names is not
// empty. Unbounded limits are null.
nlohmann::ordered_json SetupToJson(const CKX_Setup& setup, const std::vector<std::string>& names = {});

// Throws UsageError for a name that is not a parameter of the setup.
void Show(const CommandContext& context, const std::vector<std::string>& names);
void Compute(const CommandContext& context);
void Read(const CommandContext& context);
void Apply(const CommandContext& context);
void Scale(const CommandContext& context, const std::string& unit, const std::string& variable);

// Throws UsageError unless the loop is one that "tune" knows: current,
// speed or position.
void CheckTunedLoop(const std::string& loop);

// Computes the loop's gains from its pass band and damping, then writes the
// gains into their registers and reads them back, as the tuning tests'
// "Tune" button does. Throws Failure naming the missing parameter, or the
// parameter that is 0, when the gains cannot be computed; UsageError for a
// loop that it does not know.
void Tune(const CommandContext& context, const std::string& loop);

}  // namespace dcsetup
