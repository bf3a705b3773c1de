// Units known to the host. A unit type groups the display units of one
// physical quantity; its first unit is the base (SI) unit in which parameter
// values and limits are stored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"

namespace kx {

struct UnitDef {
    std::string name;
    double factor = 1.0;  // base value = value in this unit * factor + offset
    double offset = 0.0;
};

struct UnitType {
    std::string name;            // the quantity, e.g. "current"
    std::vector<UnitDef> units;  // units[0] is the base unit

    const std::string& BaseUnit() const { return units.front().name; }
    // The display unit of that name, or null.
    KX_API const UnitDef* Find(std::string_view unit) const;
};

// The unit type that offers the unit "unit" (exact name first, then without
// regard to letter case; the Windows-1252 bytes of the degree and micro signs
// match their UTF-8 forms). Null for an unknown unit. The dimensionless type
// (base unit "") is found for "".
KX_API const UnitType* FindUnitType(std::string_view unit);

// All unit types, the dimensionless one first.
KX_API const std::vector<UnitType>& AllUnitTypes();

// Unit names compared as the host compares them: letter case ignored, and a
// single Windows-1252 byte 0xB0 / 0xB5 equal to the UTF-8 degree / micro sign.
KX_API bool UnitNamesEqual(std::string_view a, std::string_view b);

// The UTF-8 spelling of a unit name that may hold Windows-1252 bytes.
KX_API std::string NormalizeUnitName(std::string_view unit);

}  // namespace kx
