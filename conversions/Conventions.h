// The rules every converter follows: how registers, enumerations and flags are
// read from doubles, how parameters are looked up and probed, which divisors
// are usable, how a range is set without ever leaving a minimum above a
// maximum, and the single place where a value is refused before it reaches
// the setup.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Codes.h"
#include "kx/Setup.h"

namespace dcdrive {

// Full scale of a 16-bit register (32767 counts): a gain mantissa, a
// saturation, a filter coefficient, a reference or an error limit.
inline constexpr double kFullScale = 32767.0;

// A single conversion: writes its target and returns 1, or returns 0 when a
// parameter it needs is missing or no valid value results (nothing written).
using Converter = int (*)(CKX_Setup& setup);

// Truncates toward zero to a signed 32-bit integer, as enumerations, flags
// and register words are read (1.9 reads 1, -1.9 reads -1). A value beyond
// the 32-bit range saturates at INT32_MIN / INT32_MAX; NaN reads 0, so a
// corrupt value never selects a listed case by accident.
std::int32_t TruncateToInt32(double value) noexcept;

// Bit `bit` (0..31) of the truncated word: 0 or 1. Any other bit number reads 0.
int BitOf(double word, int bit) noexcept;

// The word with bit `bit` (0..31) set or cleared; other bit numbers leave it.
std::int32_t WithBit(std::int32_t word, int bit, bool on) noexcept;

// A parameter's value in base units; through the setup, a missing name is
// reported while g_bShowErrors is set and reads 0, as the host returns it.
double Value(const CKX_Parameter& parameter);
double Value(const CKX_Parameter* parameter);  // not null
double Value(const CKX_Setup& setup, const char* name);

// The value truncated toward zero (TruncateToInt32): a code, a flag or a word.
int Code(const CKX_Parameter& parameter);
int Code(const CKX_Parameter* parameter);  // not null
int Code(const CKX_Setup& setup, const char* name);
// The same for an optional parameter, probed quietly; `absent` when missing.
int CodeOr(const CKX_Setup& setup, const char* name, int absent);

// An enumeration read as its code is: truncated toward zero. A number that
// is none of the listed codes gives a value outside them.
template <class E>
E CodeAs(double value) noexcept {
    return static_cast<E>(TruncateToInt32(value));
}
template <class E>
E CodeAs(const CKX_Parameter& parameter) {
    return CodeAs<E>(parameter.GetValueInBaseUnit());
}

// True when the value is exactly the code: a fractional value matches none.
template <class E>
constexpr bool IsExactly(double value, E code) noexcept {
    return value == static_cast<double>(ToInt(code));
}

// "ControlMode", "MotorSensorType", "LoadSensorType" and "TransmissionType"
// of the setup (looked up as Value(setup, name) does).
ControlMode ControlModeOf(const CKX_Setup& setup);
SensorType MotorSensorOf(const CKX_Setup& setup);
SensorType LoadSensorOf(const CKX_Setup& setup);
TransmissionType TransmissionOf(const CKX_Setup& setup);

// Names compared without regard to ASCII letter case, whatever the process
// locale (under a Turkish locale the C library folds "I" to a dotless i).
bool NamesEqual(std::string_view a, std::string_view b) noexcept;
// Whether `name` is one of `names`, compared as NamesEqual does.
bool NameIsOneOf(std::string_view name, std::initializer_list<const char*> names) noexcept;

// True when the value may be written into the setup (finite).
bool IsWritable(double value) noexcept;

// A quantity that may be divided by: finite and not zero. Dividing by an
// infinite scale would give a plausible-looking 0 instead of no value.
bool IsDivisor(double divisor) noexcept;
// |scale| when the scale is a divisor; empty otherwise (a sensor or a
// transmission without a usable resolution), so that nothing is written.
std::optional<double> DivisorMagnitude(double scale) noexcept;
// a / b, or NaN (which no writer writes) when b is not a divisor.
double Ratio(double a, double b) noexcept;

// The parameter, looked up with the host's error display off (the host shows
// nothing for a name that this drive variant lacks); null when absent.
CKX_Parameter* Probe(const CKX_Setup& setup, const char* name);
bool Exists(const CKX_Setup& setup, const char* name);

// The value of an optional parameter in base units, or `absent` when the
// setup does not have it (probed quietly).
double ValueOr(const CKX_Setup& setup, const char* name, double absent);

// True when the integer option equals `value`.
bool OptionIs(const CKX_Setup& setup, const char* option, int value);

// True when the option holds a text (an option set to "" counts as not set).
bool OptionSet(const CKX_Setup& setup, const char* option);

// Looks the names up in the given order through the host (a missing name is
// reported while g_bShowErrors is set) and stops at the first missing one.
// Gives every parameter, or nothing when one is missing.
template <class... Names>
std::optional<std::array<CKX_Parameter*, sizeof...(Names)>> Require(const CKX_Setup& setup, Names... names) {
    std::array<CKX_Parameter*, sizeof...(Names)> found{};
    std::size_t i = 0;
    const bool all =
        (((found[i++] = setup.FindParameter(static_cast<const char*>(names))) != nullptr) && ...);
    if (!all) return std::nullopt;
    return found;
}

// Sets the parameter's limits without ever leaving the minimum above the
// maximum on the way. Returns 0 and changes nothing when min > max or either
// bound is not finite. Otherwise a current minimum above the current maximum
// is first repaired by raising the maximum to it; then, when the new minimum
// lies above the (repaired) current maximum, the maximum is set before the
// minimum, else the minimum before the maximum. Returns 1.
int SetParameterRange(CKX_Parameter& parameter, double min, double max);

// Writes a value in base units. A non-finite value (a zero or non-finite
// divisor upstream) is refused: nothing is written and 0 is returned.
int WriteBase(CKX_Parameter& parameter, double value);
int WriteBase(CKX_Setup& setup, const char* name, double value);

// The same in the parameter's internal unit.
int WriteInternal(CKX_Parameter& parameter, double value);

// A reverse converter's usual ending: checks the value, sets the range and
// writes the value. Returns 0 without changing anything when the value is
// not finite or the range cannot be set.
int WriteRangeAndValue(CKX_Parameter& parameter, double min, double max, double value);

}  // namespace dcdrive
