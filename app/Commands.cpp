#include "Commands.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <map>
#include <ostream>
#include <string_view>

#include "Plugin.h"
#include "conversions/Codes.h"
#include "conversions/Drivers.h"
#include "conversions/Names.h"
#include "kx/Setup.h"
#include "options/LoopOptions.h"
#include "options/Tuning.h"

namespace dcsetup {
namespace {

using Json = nlohmann::ordered_json;

using dcdrive::ControlMode;
using dcdrive::SensorType;
using dcdrive::names::kControlMode;
using dcdrive::names::kLoadSensorType;
using dcdrive::names::kMotorSensorType;
using dcdrive::names::kTransmissionType;

// The text of the parts, appended in turn into one string. (Joining with
// operator+ on a temporary makes g++ 12 at -O3 see a memcpy that may overlap
// where none can, and stop a -Werror build.)
std::string Join(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts) text.append(part);
    return text;
}

// The host stores an unbounded limit as the largest double.
bool IsUnbounded(double limit) {
    return !std::isfinite(limit) || std::fabs(limit) >= std::numeric_limits<double>::max();
}

Json LimitToJson(double limit) { return IsUnbounded(limit) ? Json(nullptr) : Json(limit); }

std::string FormatLimit(double limit) { return IsUnbounded(limit) ? "-" : FormatNumber(limit); }

std::string PadRight(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

// Writes rows of cells as left-aligned columns two spaces apart.
void WriteTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent = "") {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line = indent;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += i + 1 < row.size() ? PadRight(row[i], widths[i] + 2) : row[i];
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << '\n';
    }
}

CKX_Parameter* FindQuietly(const CKX_Setup& setup, std::string_view name) {
    kx::QuietLookup quiet;
    return setup.FindParameter(name);
}

void PrintJson(const CommandContext& context, const Json& json) { context.out << json.dump(2) << '\n'; }

// ---- read and apply: what a driver changed

struct ParameterState {
    std::string name;
    double value, min, max;
};

struct Snapshot {
    std::map<std::string, ParameterState> parameters;  // by lower-case name
    std::map<std::string, std::string> options;        // by name
};

Snapshot TakeSnapshot(const CKX_Setup& setup) {
    Snapshot snapshot;
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        const CKX_Parameter* p = setup.GetParameterAt(i);
        snapshot.parameters[kx::LowerName(p->GetName())] = {p->GetName(), p->GetValueInBaseUnit(),
                                                            p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()};
    }
    for (auto& [name, text] : setup.GetOptions()) snapshot.options[name] = text;
    return snapshot;
}

bool SameNumber(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

std::string Range(double min, double max) {
    return Join({"[", FormatLimit(min), ", ", FormatLimit(max), "]"});
}

// One line per changed value, limit or option, in the order of the setup.
void PrintChanges(std::ostream& out, const std::string& what, const Snapshot& before,
                  const CKX_Setup& setup) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        const CKX_Parameter* p = setup.GetParameterAt(i);
        const auto old = before.parameters.find(kx::LowerName(p->GetName()));
        if (old == before.parameters.end()) {
            rows.push_back(
                {p->GetName(), "added", FormatNumber(p->GetValueInBaseUnit()), p->GetBaseUnitName()});
            continue;
        }
        const ParameterState& was = old->second;
        if (!SameNumber(was.value, p->GetValueInBaseUnit())) {
            rows.push_back({p->GetName(),
                            FormatNumber(was.value) + " -> " + FormatNumber(p->GetValueInBaseUnit()),
                            p->GetBaseUnitName()});
        }
        if (!SameNumber(was.min, p->GetMinInBaseUnit()) || !SameNumber(was.max, p->GetMaxInBaseUnit())) {
            rows.push_back({p->GetName(), "limits " + Range(was.min, was.max) + " -> " +
                                              Range(p->GetMinInBaseUnit(), p->GetMaxInBaseUnit())});
        }
    }
    const auto options = setup.GetOptions();
    std::map<std::string, std::string> now(options.begin(), options.end());
    for (const auto& [name, text] : now) {
        const auto old = before.options.find(name);
        if (old == before.options.end()) {
            rows.push_back({"option " + name, Join({"set to \"", text, "\""})});
        } else if (old->second != text) {
            rows.push_back({"option " + name, Join({"\"", old->second, "\" -> \"", text, "\""})});
        }
    }
    for (const auto& [name, text] : before.options) {
        if (!now.contains(name)) rows.push_back({"option " + name, "cleared"});
    }
    out << what << ": "
        << (rows.empty() ? "nothing changed"
                         : std::to_string(rows.size()) + (rows.size() == 1 ? " change" : " changes"))
        << '\n';
    WriteTable(out, rows, "  ");
}

// ---- compute: the summary

const char* ControlModeName(ControlMode mode) {
    switch (mode) {
        case ControlMode::Position:
            return "position";
        case ControlMode::Speed:
            return "speed";
        case ControlMode::Torque:
            return "torque (current)";
        default:
            return "unknown";
    }
}

const char* SensorTypeName(SensorType type) {
    switch (type) {
        case SensorType::None:
            return "none";
        case SensorType::IncrementalEncoder:
            return "incremental encoder";
        case SensorType::Tachogenerator:
            return "tachogenerator";
        case SensorType::SineCosineEncoder:
            return "sine/cosine encoder";
        case SensorType::SsiEncoder:
            return "SSI absolute encoder";
        case SensorType::BissEncoder:
            return "BiSS absolute encoder";
        default:
            return "unknown";
    }
}

// What a "ControlMode" or sensor type code means; "unknown" for any other number.
const char* CodeName(std::string_view parameter, int code) {
    if (parameter == kControlMode) return ControlModeName(static_cast<ControlMode>(code));
    return SensorTypeName(static_cast<SensorType>(code));
}

// Value of a parameter with its unit; the code's meaning for the codes.
std::vector<std::string> ParameterRow(const CKX_Parameter& p) {
    const double value = p.GetValueInBaseUnit();
    const std::string& name = p.GetName();
    if (name == kControlMode || name == kMotorSensorType || name == kLoadSensorType) {
        const int code =
            std::isfinite(value) && std::fabs(value) < 2147483648.0 ? static_cast<int>(value) : -1;
        return {name, FormatNumber(value), Join({"(", CodeName(name, code), ")"})};
    }
    return {name, FormatNumber(value), p.GetBaseUnitName()};
}

// The parameters the user most often checks after a computation, shown when
// the setup has them.
constexpr std::array<const char*, 26> kSummaryParameters = {
    kControlMode, kMotorSensorType, kLoadSensorType,  "Kp_C_scl",  "Ki_C_scl",    "Kp_S_scl",  "Ki_S_scl",
    "Kp_P_scl",   "Ki_P_scl",       "Kd_P_scl",       "IlimPS",    "ImaxPS",      "ImaxM",     "InPS",
    "In",         "Imax_Prot",      "time_Imax_Prot", "I_I2t_D",   "t_I2t_D",     "UMAX_PROT", "UMIN_PROT",
    "Temp_2",     "ERR_position",   "time_ERR_pos",   "ERR_speed", "time_ERR_spd"};

// The loop and feedback options that ComputeAllOptions derives.
constexpr std::array<const char*, 9> kLoopOptions = {
    "IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent",          "LoadPosition",
    "MotorPosition",    "MotorSpeed",    "isPositionFeedbackOnLoad", "isPositionFeedbackOnMotor",
    "isSpeedFeedback"};

}  // namespace

std::string FormatNumber(double value) {
    // Plain decimals read best in the usual range of drive values; very
    // large or small magnitudes take an exponent.
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e15);
    std::array<char, 400> buffer;
    const auto result =
        plain ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed)
              : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string FormatNumber17(double value) {
    std::array<char, 64> buffer;
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 17);
    return std::string(buffer.data(), result.ptr);
}

Json SetupToJson(const CKX_Setup& setup, const std::vector<std::string>& names) {
    std::vector<const CKX_Parameter*> selected;
    if (names.empty()) {
        for (std::size_t i = 0; i < setup.GetParameterCount(); ++i)
            selected.push_back(setup.GetParameterAt(i));
    } else {
        for (const auto& name : names) selected.push_back(FindQuietly(setup, name));
    }
    Json parameters = Json::object();
    for (const CKX_Parameter* p : selected) {
        if (!p) continue;
        parameters[p->GetName()] = {{"value", p->GetValueInBaseUnit()},
                                    {"internal", p->GetValueInInternalUnit()},
                                    {"min", LimitToJson(p->GetMinInBaseUnit())},
                                    {"max", LimitToJson(p->GetMaxInBaseUnit())},
                                    {"unit", p->GetBaseUnitName()}};
    }
    Json options = Json::object();
    for (const auto& [name, text] : setup.GetOptions()) options[name] = text;
    return Json{{"parameters", std::move(parameters)}, {"options", std::move(options)}};
}

void Show(const CommandContext& context, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (!FindQuietly(context.setup, name))
            throw UsageError("show: no parameter \"" + name + "\" in the setup");
    }
    if (context.json) {
        PrintJson(context, SetupToJson(context.setup, names));
        return;
    }
    std::vector<std::vector<std::string>> rows{{"name", "value", "internal", "min", "max", "unit"}};
    auto addRow = [&](const CKX_Parameter& p) {
        rows.push_back({p.GetName(), FormatNumber(p.GetValueInBaseUnit()),
                        FormatNumber(p.GetValueInInternalUnit()), FormatLimit(p.GetMinInBaseUnit()),
                        FormatLimit(p.GetMaxInBaseUnit()), p.GetBaseUnitName()});
    };
    if (names.empty()) {
        for (std::size_t i = 0; i < context.setup.GetParameterCount(); ++i)
            addRow(*context.setup.GetParameterAt(i));
    } else {
        for (const auto& name : names) addRow(*FindQuietly(context.setup, name));
    }
    WriteTable(context.out, rows);
    const auto options = context.setup.GetOptions();
    context.out << "\noptions:" << (options.empty() ? " none" : "") << '\n';
    std::vector<std::vector<std::string>> optionRows;
    for (const auto& [name, text] : options) optionRows.push_back({name, Join({"\"", text, "\""})});
    WriteTable(context.out, optionRows, "  ");
}

void Compute(const CommandContext& context) {
    CKX_Setup& setup = context.setup;
    // Everything here goes through the plug-in's entry points, as the host
    // that loads the plug-in would reach it.
    context.plugin.computeAllOptions(&setup);
    if (context.json) {
        PrintJson(context, SetupToJson(setup));
        return;
    }
    auto factor = [&](const char* unit, const char* variable) {
        return context.plugin.getScaleFactor(&setup, unit, variable);
    };

    std::vector<std::vector<std::string>> timing;
    if (const CKX_Parameter* p = FindQuietly(setup, "PWM_freq")) {
        timing.push_back({"PWM frequency", FormatNumber(p->GetValueInBaseUnit()), p->GetBaseUnitName()});
    }
    if (const CKX_Parameter* p = FindQuietly(setup, "PWMperiod")) {
        std::string registerValue;
        if (const CKX_Parameter* r = FindQuietly(setup, "PWMPER")) {
            registerValue = "(PWMPER " + FormatNumber(r->GetValueInBaseUnit()) + ")";
        }
        timing.push_back(
            {"PWM period", FormatNumber(p->GetValueInBaseUnit()), p->GetBaseUnitName(), registerValue});
    }
    // The time unit scales the current loop's variable "Ts_C" by the current
    // loop period and every other variable by the speed loop period.
    timing.push_back({"current loop period", FormatNumber(factor("s", "Ts_C")), "s"});
    timing.push_back({"speed loop period", FormatNumber(factor("s", "")), "s"});
    context.out << "ComputeAllOptions done\n";
    WriteTable(context.out, timing);

    // Each scale is the inverse of the factor that turns drive counts into
    // the physical unit; the variable picks the row of the plug-in's table.
    const CKX_Parameter* transmission = FindQuietly(setup, kTransmissionType);
    const bool linear = transmission && std::trunc(transmission->GetValueInBaseUnit()) ==
                                            dcdrive::ToInt(dcdrive::TransmissionType::RotaryToLinear);
    const std::string load = linear ? "m" : "rad";
    struct ScaleRow {
        const char* name;
        std::string unit;
        const char* variable;
    };
    const std::vector<ScaleRow> scales = {
        {"VoltageCommandScale", "V", ""},
        {"VoltageMeasureScale", "V ", ""},
        {"CurrentScale", "A", ""},
        {"MotorPositionScale", "rad", "APOS_MT"},
        {"PositionScale", load, "APOS"},
        {"SpeedScale", load + "/s", "TSPD"},
        {"MotorSpeedScale", "rad/s", "ASPD_MT"},
        {"AccelerationScale", load + "/s^2", ""},
    };
    std::vector<std::vector<std::string>> scaleRows;
    for (const ScaleRow& row : scales) {
        const double f = factor(row.unit.c_str(), row.variable);
        std::string unit = row.unit;
        while (unit.back() == ' ') unit.pop_back();
        if (unit.find('/') != std::string::npos) unit = Join({"(", unit, ")"});
        const bool defined = f != 0.0 && std::isfinite(f);
        scaleRows.push_back({row.name, defined ? FormatNumber(1.0 / f) : "undefined", "counts/" + unit});
    }
    context.out << "scales:\n";
    WriteTable(context.out, scaleRows, "  ");

    std::vector<std::vector<std::string>> parameterRows;
    for (const char* name : kSummaryParameters) {
        if (const CKX_Parameter* p = FindQuietly(setup, name)) parameterRows.push_back(ParameterRow(*p));
    }
    context.out << "parameters:\n";
    WriteTable(context.out, parameterRows, "  ");

    std::vector<std::vector<std::string>> optionRows;
    for (const char* name : kLoopOptions) {
        if (setup.HasOption(name))
            optionRows.push_back({name, Join({"\"", setup.GetOptionNoError(name), "\""})});
    }
    context.out << "loop options:" << (optionRows.empty() ? " none" : "") << '\n';
    WriteTable(context.out, optionRows, "  ");
}

// The plug-in exports only its four entry points, so the conversion drivers
// are reached here through the plug-in's engine linked statically: the same
// code the plug-in is built from.
void Read(const CommandContext& context) {
    const Snapshot before = context.json ? Snapshot{} : TakeSnapshot(context.setup);
    dcdrive::RegistersToParameters(context.setup);
    if (context.json) {
        PrintJson(context, SetupToJson(context.setup));
    } else {
        PrintChanges(context.out, "register-to-parameter driver", before, context.setup);
    }
}

void Apply(const CommandContext& context) {
    const Snapshot before = context.json ? Snapshot{} : TakeSnapshot(context.setup);
    dcdrive::ParametersToRegisters(context.setup);
    // The loop and feedback options follow the parameters just applied, as
    // when the drive setup editor is confirmed.
    dcdrive::ComputeLoopOptions(context.setup);
    if (context.json) {
        PrintJson(context, SetupToJson(context.setup));
    } else {
        PrintChanges(context.out, "parameter-to-register driver and loop options", before, context.setup);
    }
}

void Scale(const CommandContext& context, const std::string& unit, const std::string& variable) {
    const double factor = context.plugin.getScaleFactor(&context.setup, unit.c_str(), variable.c_str());
    const double offset = context.plugin.getScaleOffset(&context.setup, unit.c_str());
    if (context.json) {
        context.out << Json{{"factor", factor}, {"offset", offset}}.dump(2) << '\n';
    } else {
        context.out << "factor " << FormatNumber17(factor) << "\noffset " << FormatNumber17(offset) << '\n';
    }
}

namespace {

struct TunedLoopCommand {
    const char* name;
    dcdrive::Loop loop;
};

constexpr std::array<TunedLoopCommand, 3> kTunedLoopCommands = {{
    {"current", dcdrive::Loop::Current},
    {"speed", dcdrive::Loop::Speed},
    {"position", dcdrive::Loop::Position},
}};

// Why the operation wrote nothing, on one line.
std::string TuningFailure(const TunedLoopCommand& command, const dcdrive::TuneResult& result) {
    const std::string what = Join({"tune ", command.name, ": "});
    if (result.missing) return Join({what, "no parameter \"", result.missing, "\" in the setup"});
    if (result.zero)
        return Join({what, "\"", result.zero, "\" is 0, so the gains would not be finite numbers"});
    return what + "the gains would not be finite numbers with this setup";
}

const TunedLoopCommand* FindTunedLoop(const std::string& loop) {
    for (const TunedLoopCommand& command : kTunedLoopCommands) {
        if (loop == command.name) return &command;
    }
    return nullptr;
}

}  // namespace

void CheckTunedLoop(const std::string& loop) {
    if (!FindTunedLoop(loop))
        throw UsageError("tune: unknown loop \"" + loop + "\" (expected current, speed or position)");
}

void Tune(const CommandContext& context, const std::string& loop) {
    CheckTunedLoop(loop);
    const TunedLoopCommand* command = FindTunedLoop(loop);
    CKX_Setup& setup = context.setup;
    const Snapshot before = context.json ? Snapshot{} : TakeSnapshot(setup);
    const dcdrive::TuneResult result = dcdrive::TuneLoop(setup, command->loop);
    if (!result.tuned) throw Failure(TuningFailure(*command, result));
    if (context.json) {
        PrintJson(context, SetupToJson(setup));
    } else {
        PrintChanges(context.out, std::string("tune ") + command->name, before, setup);
    }
}

}  // namespace dcsetup
