#include "kx/Units.h"

#include <numbers>

#include "kx/Setup.h"

namespace kx {
namespace {

constexpr double kPi = std::numbers::pi;

std::vector<UnitType> BuildUnitTypes() {
    return {
        {"none", {{""}, {"counts"}, {"lines"}, {"bits"}, {"%"}}},
        {"current", {{"A"}, {"mA", 1e-3}}},
        {"voltage", {{"V"}, {"mV", 1e-3}}},
        // A measured voltage: the drive reads it through its own converter,
        // so it scales differently from a commanded voltage.
        {"measured voltage", {{"V "}}},
        {"time", {{"s"}, {"ms", 1e-3}, {"\xC2\xB5s", 1e-6}}},
        {"frequency", {{"Hz"}, {"kHz", 1e3}, {"MHz", 1e6}}},
        {"angle", {{"rad"}, {"rot", 2 * kPi}, {"deg", kPi / 180}}},
        {"length", {{"m"}, {"mm", 1e-3}, {"\xC2\xB5m", 1e-6}}},
        {"angular speed", {{"rad/s"}, {"rpm", 2 * kPi / 60}, {"rot/s", 2 * kPi}}},
        {"linear speed", {{"m/s"}, {"mm/s", 1e-3}}},
        {"angular acceleration", {{"rad/s^2"}, {"rot/s^2", 2 * kPi}}},
        {"linear acceleration", {{"m/s^2"}, {"mm/s^2", 1e-3}}},
        {"angular jerk", {{"rad/s^3"}, {"rot/s^3", 2 * kPi}}},
        {"linear jerk", {{"m/s^3"}, {"mm/s^3", 1e-3}}},
        {"temperature",
         {{"\xC2\xB0"
           "C"}}},
        {"temperature sensor gain",
         {{"V/\xC2\xB0"
           "C"},
          {"mV/\xC2\xB0"
           "C",
           1e-3}}},
        {"voltage slope", {{"V/s"}}},
        {"current slope", {{"A/s"}}},
        {"resistance", {{"Ohm"}, {"mOhm", 1e-3}}},
        {"inductance", {{"H"}, {"mH", 1e-3}, {"\xC2\xB5H", 1e-6}}},
        {"inertia", {{"kgm^2"}, {"kgcm^2", 1e-4}}},
        {"mass", {{"kg"}, {"g", 1e-3}}},
        {"torque", {{"Nm"}, {"mNm", 1e-3}}},
        {"force", {{"N"}}},
        {"torque constant", {{"Nm/A"}, {"mNm/A", 1e-3}}},
        {"force constant", {{"N/A"}}},
        {"speed constant", {{"V/(rad/s)"}, {"V/krpm", 60.0 / (2 * kPi * 1000)}}},
        {"linear speed constant", {{"V/(m/s)"}}},
        {"resolution", {{"m/count"}, {"\xC2\xB5m/count", 1e-6}}},
    };
}

// Windows-1252 bytes that older stored unit names carry, with their UTF-8 forms.
std::string Utf8Of(unsigned char c) {
    if (c == 0xB0) return "\xC2\xB0";
    if (c == 0xB5) return "\xC2\xB5";
    return std::string(1, static_cast<char>(c));
}

}  // namespace

std::string NormalizeUnitName(std::string_view unit) {
    std::string out;
    out.reserve(unit.size() + 2);
    for (std::size_t i = 0; i < unit.size(); ++i) {
        const auto c = static_cast<unsigned char>(unit[i]);
        const bool leadsUtf8 = c == 0xC2 && i + 1 < unit.size();
        if (leadsUtf8) {
            out += unit[i];
            out += unit[++i];
        } else {
            out += Utf8Of(c);
        }
    }
    return out;
}

bool UnitNamesEqual(std::string_view a, std::string_view b) {
    const std::string na = NormalizeUnitName(a);
    const std::string nb = NormalizeUnitName(b);
    if (na.size() != nb.size()) return false;
    return NameEqual{}(na, nb);  // ASCII letter case only, whatever the locale
}

const UnitDef* UnitType::Find(std::string_view unit) const {
    const std::string normal = NormalizeUnitName(unit);
    for (const auto& u : units)
        if (u.name == normal) return &u;
    for (const auto& u : units)
        if (UnitNamesEqual(u.name, normal)) return &u;
    return nullptr;
}

const std::vector<UnitType>& AllUnitTypes() {
    static const std::vector<UnitType> types = BuildUnitTypes();
    return types;
}

const UnitType* FindUnitType(std::string_view unit) {
    const std::string normal = NormalizeUnitName(unit);
    // Exact spelling first, so that "V " and "V" stay apart and "mm" is not "Mm".
    for (const auto& type : AllUnitTypes())
        for (const auto& u : type.units)
            if (u.name == normal) return &type;
    for (const auto& type : AllUnitTypes())
        for (const auto& u : type.units)
            if (UnitNamesEqual(u.name, normal)) return &type;
    return nullptr;
}

}  // namespace kx
