#include "Conventions.h"

#include <cmath>
#include <limits>

#include "Names.h"

namespace dcdrive {

std::int32_t TruncateToInt32(double value) noexcept {
    if (std::isnan(value)) return 0;
    constexpr double kLow = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    constexpr double kHigh = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (value <= kLow) return std::numeric_limits<std::int32_t>::min();
    if (value >= kHigh) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);  // in range: truncates toward zero
}

int BitOf(double word, int bit) noexcept {
    if (bit < 0 || bit > 31) return 0;
    const auto bits = static_cast<std::uint32_t>(TruncateToInt32(word));
    return static_cast<int>((bits >> bit) & 1u);
}

std::int32_t WithBit(std::int32_t word, int bit, bool on) noexcept {
    if (bit < 0 || bit > 31) return word;
    const std::uint32_t mask = 1u << bit;
    const auto bits = static_cast<std::uint32_t>(word);
    return static_cast<std::int32_t>(on ? (bits | mask) : (bits & ~mask));
}

double Value(const CKX_Parameter& parameter) { return parameter.GetValueInBaseUnit(); }
double Value(const CKX_Parameter* parameter) { return parameter->GetValueInBaseUnit(); }
double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

int Code(const CKX_Parameter& parameter) { return TruncateToInt32(Value(parameter)); }
int Code(const CKX_Parameter* parameter) { return TruncateToInt32(Value(parameter)); }
int Code(const CKX_Setup& setup, const char* name) { return TruncateToInt32(Value(setup, name)); }

int CodeOr(const CKX_Setup& setup, const char* name, int absent) {
    const CKX_Parameter* parameter = Probe(setup, name);
    return parameter ? Code(*parameter) : absent;
}

ControlMode ControlModeOf(const CKX_Setup& setup) {
    return CodeAs<ControlMode>(Value(setup, names::kControlMode));
}
SensorType MotorSensorOf(const CKX_Setup& setup) {
    return CodeAs<SensorType>(Value(setup, names::kMotorSensorType));
}
SensorType LoadSensorOf(const CKX_Setup& setup) {
    return CodeAs<SensorType>(Value(setup, names::kLoadSensorType));
}
TransmissionType TransmissionOf(const CKX_Setup& setup) {
    return CodeAs<TransmissionType>(Value(setup, names::kTransmissionType));
}

bool NamesEqual(std::string_view a, std::string_view b) noexcept { return kx::NameEqual{}(a, b); }

bool NameIsOneOf(std::string_view name, std::initializer_list<const char*> names) noexcept {
    for (const char* other : names)
        if (NamesEqual(name, other)) return true;
    return false;
}

bool IsWritable(double value) noexcept { return std::isfinite(value); }

bool IsDivisor(double divisor) noexcept { return std::isfinite(divisor) && divisor != 0.0; }

std::optional<double> DivisorMagnitude(double scale) noexcept {
    if (!IsDivisor(scale)) return std::nullopt;
    return std::fabs(scale);
}

double Ratio(double a, double b) noexcept {
    return IsDivisor(b) ? a / b : std::numeric_limits<double>::quiet_NaN();
}

CKX_Parameter* Probe(const CKX_Setup& setup, const char* name) {
    const kx::QuietLookup quiet;
    return setup.FindParameter(name);
}

bool Exists(const CKX_Setup& setup, const char* name) { return Probe(setup, name) != nullptr; }

double ValueOr(const CKX_Setup& setup, const char* name, double absent) {
    const CKX_Parameter* parameter = Probe(setup, name);
    return parameter ? parameter->GetValueInBaseUnit() : absent;
}

bool OptionIs(const CKX_Setup& setup, const char* option, int value) {
    return setup.GetIntOption(option) == value;
}

bool OptionSet(const CKX_Setup& setup, const char* option) { return !setup.GetOptionNoError(option).empty(); }

int SetParameterRange(CKX_Parameter& parameter, double min, double max) {
    if (!IsWritable(min) || !IsWritable(max) || min > max) return 0;
    if (parameter.GetMinInBaseUnit() > parameter.GetMaxInBaseUnit())
        parameter.SetMaxInBaseUnit(parameter.GetMinInBaseUnit());
    if (min > parameter.GetMaxInBaseUnit()) {
        parameter.SetMaxInBaseUnit(max);
        parameter.SetMinInBaseUnit(min);
    } else {
        parameter.SetMinInBaseUnit(min);
        parameter.SetMaxInBaseUnit(max);
    }
    return 1;
}

int WriteBase(CKX_Parameter& parameter, double value) {
    if (!IsWritable(value)) return 0;
    return parameter.SetValueInBaseUnit(value) != 0 ? 1 : 0;
}

int WriteBase(CKX_Setup& setup, const char* name, double value) {
    if (!IsWritable(value)) return 0;
    CKX_Parameter* parameter = setup.FindParameter(name);
    return parameter ? WriteBase(*parameter, value) : 0;
}

int WriteInternal(CKX_Parameter& parameter, double value) {
    if (!IsWritable(value)) return 0;
    return parameter.SetValueInInternalUnit(value) != 0 ? 1 : 0;
}

int WriteRangeAndValue(CKX_Parameter& parameter, double min, double max, double value) {
    if (!IsWritable(value)) return 0;
    if (!SetParameterRange(parameter, min, max)) return 0;
    return WriteBase(parameter, value);
}

}  // namespace dcdrive
