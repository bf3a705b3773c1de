// Plant files: JSON with nested objects, SI units. Every key is described
// once in a table (its dotted name, where it lives in Plant, whether the file
// must give it and which values are physical), so that reading, refusing and
// writing cannot disagree.
#include <cmath>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <vector>

#include "VirtualDrive.h"

namespace vdrive {

namespace {

using nlohmann::json;

enum class Kind { Real, Whole, Flag };

// What a value must be to be physical.
enum class Rule {
    Any,          // any finite number
    Positive,     // > 0
    NonNegative,  // >= 0
    NonZero,      // != 0
    AtLeastOne,   // whole number >= 1
    Bits,         // whole number 1..31
    AdcBits,      // whole number 1..16
};

struct Key {
    const char* name;  // dotted: "motor.resistance"
    Kind kind;
    Rule rule;
    bool required;
    std::function<double&(Plant&)> real;
    std::function<int&(Plant&)> whole;
    std::function<bool&(Plant&)> flag;
};

Key Real(const char* name, Rule rule, bool required, std::function<double&(Plant&)> field) {
    return {name, Kind::Real, rule, required, std::move(field), {}, {}};
}
Key Whole(const char* name, Rule rule, std::function<int&(Plant&)> field) {
    return {name, Kind::Whole, rule, false, {}, std::move(field), {}};
}
Key Flag(const char* name, bool required, std::function<bool&(Plant&)> field) {
    return {name, Kind::Flag, Rule::Any, required, {}, {}, std::move(field)};
}

const std::vector<Key>& Keys() {
    static const std::vector<Key> keys = {
        Real("supplyVoltage", Rule::Positive, true, [](Plant& p) -> double& { return p.supplyVoltage; }),
        Real("motor.resistance", Rule::Positive, true,
             [](Plant& p) -> double& { return p.motor.resistance; }),
        Real("motor.inductance", Rule::NonNegative, true,
             [](Plant& p) -> double& { return p.motor.inductance; }),
        Real("motor.torqueConstant", Rule::Positive, true,
             [](Plant& p) -> double& { return p.motor.torqueConstant; }),
        Real("motor.inertia", Rule::Positive, true, [](Plant& p) -> double& { return p.motor.inertia; }),
        Real("load.inertia", Rule::NonNegative, true, [](Plant& p) -> double& { return p.load.inertia; }),
        Real("load.viscousFriction", Rule::NonNegative, true,
             [](Plant& p) -> double& { return p.load.viscousFriction; }),
        Real("load.coulombFriction", Rule::NonNegative, true,
             [](Plant& p) -> double& { return p.load.coulombFriction; }),
        Real("load.torque", Rule::Any, true, [](Plant& p) -> double& { return p.load.torque; }),
        Real("load.ratio", Rule::NonZero, false, [](Plant& p) -> double& { return p.load.ratio; }),
        Flag("shaftBlocked", true, [](Plant& p) -> bool& { return p.shaftBlocked; }),
        Real("converter.offset", Rule::Any, false, [](Plant& p) -> double& { return p.converter.offset; }),
        Real("converter.noise", Rule::NonNegative, false,
             [](Plant& p) -> double& { return p.converter.noise; }),
        Whole("converter.seed", Rule::NonNegative,
              [](Plant& p) -> int& { return reinterpret_cast<int&>(p.converter.seed); }),
        Whole("encoder.lines", Rule::AtLeastOne, [](Plant& p) -> int& { return p.encoder.lines; }),
        Flag("encoder.reversed", false, [](Plant& p) -> bool& { return p.encoder.reversed; }),
        Whole("encoder.loadLines", Rule::AtLeastOne, [](Plant& p) -> int& { return p.encoder.loadLines; }),
        Flag("encoder.loadReversed", false, [](Plant& p) -> bool& { return p.encoder.loadReversed; }),
        Whole("encoder.ssiBits", Rule::Bits, [](Plant& p) -> int& { return p.encoder.ssiBits; }),
        Real("tachoGain", Rule::Any, false, [](Plant& p) -> double& { return p.tachoGain; }),
        Real("analogueReference", Rule::Any, false, [](Plant& p) -> double& { return p.analogueReference; }),
        Real("drive.clock", Rule::Positive, false, [](Plant& p) -> double& { return p.drive.clock; }),
        Real("drive.currentRange", Rule::Positive, false,
             [](Plant& p) -> double& { return p.drive.currentRange; }),
        Real("drive.vdcMaxMeasurable", Rule::Positive, false,
             [](Plant& p) -> double& { return p.drive.vdcMaxMeasurable; }),
        Whole("drive.adcBits", Rule::AdcBits, [](Plant& p) -> int& { return p.drive.adcBits; }),
        Real("drive.analogueSpan", Rule::Positive, false,
             [](Plant& p) -> double& { return p.drive.analogueSpan; }),
        Real("drive.shortCircuitCurrent", Rule::NonNegative, false,
             [](Plant& p) -> double& { return p.drive.shortCircuitCurrent; }),
    };
    return keys;
}

// "encoder.lines" is fixed: the file must give it although it is whole.
bool Required(const Key& key) { return key.required || std::string_view(key.name) == "encoder.lines"; }

// The value at a dotted path, or null.
const json* Find(const json& root, std::string_view dotted) {
    const json* node = &root;
    while (true) {
        const auto dot = dotted.find('.');
        const std::string part(dotted.substr(0, dot));
        if (!node->is_object()) return nullptr;
        const auto it = node->find(part);
        if (it == node->end()) return nullptr;
        node = &*it;
        if (dot == std::string_view::npos) return node;
        dotted.remove_prefix(dot + 1);
    }
}

// Every dotted path to a value (not an object) in the file.
void Leaves(const json& node, const std::string& prefix, std::vector<std::string>& out) {
    for (auto it = node.begin(); it != node.end(); ++it) {
        const std::string name = prefix.empty() ? it.key() : prefix + "." + it.key();
        if (it->is_object())
            Leaves(*it, name, out);
        else
            out.push_back(name);
    }
}

// Empty when the value is physical, else what is wrong.
std::string Check(Rule rule, double v) {
    if (!std::isfinite(v)) return "not a finite number";
    switch (rule) {
        case Rule::Any:
            return {};
        case Rule::Positive:
            return v > 0.0 ? std::string{} : "must be greater than 0";
        case Rule::NonNegative:
            return v >= 0.0 ? std::string{} : "must not be negative";
        case Rule::NonZero:
            return v != 0.0 ? std::string{} : "must not be 0";
        case Rule::AtLeastOne:
            return v >= 1.0 ? std::string{} : "must be at least 1";
        case Rule::Bits:
            return v >= 1.0 && v <= 31.0 ? std::string{} : "must be from 1 to 31";
        case Rule::AdcBits:
            return v >= 1.0 && v <= 16.0 ? std::string{} : "must be from 1 to 16";
    }
    return {};
}

void Set(json& root, std::string_view dotted, json value) {
    json* node = &root;
    while (true) {
        const auto dot = dotted.find('.');
        const std::string part(dotted.substr(0, dot));
        if (dot == std::string_view::npos) {
            (*node)[part] = std::move(value);
            return;
        }
        node = &(*node)[part];
        dotted.remove_prefix(dot + 1);
    }
}

}  // namespace

bool ParsePlant(std::string_view text, Plant& plant, std::string& error) {
    json root;
    try {
        root = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        error = std::string("not a JSON plant file: ") + e.what();
        return false;
    }
    if (!root.is_object()) {
        error = "not a JSON plant file: the top level is not an object";
        return false;
    }
    std::set<std::string, std::less<>> known;
    for (const Key& key : Keys()) known.insert(key.name);
    std::vector<std::string> present;
    Leaves(root, "", present);
    for (const std::string& name : present) {
        if (!known.contains(name)) {
            error = name + ": unknown key";
            return false;
        }
    }

    Plant read;  // the defaults for the keys the file leaves out
    for (const Key& key : Keys()) {
        const json* value = Find(root, key.name);
        const std::string name = key.name;
        if (!value) {
            if (Required(key)) {
                error = name + ": missing";
                return false;
            }
            continue;
        }
        if (key.kind == Kind::Flag) {
            if (!value->is_boolean()) {
                error = name + ": not true or false";
                return false;
            }
            key.flag(read) = value->get<bool>();
            continue;
        }
        if (!value->is_number()) {
            error = name + ": not a number";
            return false;
        }
        const double v = value->get<double>();
        if (std::string why = Check(key.rule, v); !why.empty()) {
            error = name + ": " + why;
            return false;
        }
        if (key.kind == Kind::Whole) {
            if (v != std::floor(v) || v > std::numeric_limits<int>::max()) {
                error = name + ": not a whole number";
                return false;
            }
            key.whole(read) = static_cast<int>(v);
        } else {
            key.real(read) = v;
        }
    }
    plant = read;
    return true;
}

std::string PlantToJson(const Plant& plant) {
    Plant copy = plant;
    json root = json::object();
    for (const Key& key : Keys()) {
        switch (key.kind) {
            case Kind::Real:
                Set(root, key.name, key.real(copy));
                break;
            case Kind::Whole:
                Set(root, key.name, key.whole(copy));
                break;
            case Kind::Flag:
                Set(root, key.name, key.flag(copy));
                break;
        }
    }
    return root.dump(2) + "\n";
}

}  // namespace vdrive
