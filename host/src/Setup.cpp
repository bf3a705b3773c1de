#include "kx/Setup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "kx/Comm.h"

namespace kx {

std::string LowerName(std::string_view name) {
    std::string out(name);
    for (auto& c : out) c = static_cast<char>(FoldCase(c));  // ASCII only, whatever the locale
    return out;
}

}  // namespace kx

namespace {

constexpr double kUnbounded = std::numeric_limits<double>::max();

const kx::UnitType* UnitTypeOrNone(std::string_view unit) {
    const kx::UnitType* type = kx::FindUnitType(unit);
    return type ? type : kx::FindUnitType("");
}

// Raw drive value -> base unit for a named quantity, from the plug-in's scaling.
bool ScaleOf(CKX_Setup* setup, const kx::UnitType* type, const std::string& name, double& factor,
             double& offset) {
    factor = 1.0;
    offset = 0.0;
    const auto factorFn = kx::GetScaleFactorFunction();
    const auto offsetFn = kx::GetScaleOffsetFunction();
    if (!setup || !factorFn || !offsetFn || !type) return true;
    const std::string& base = type->BaseUnit();
    factor = factorFn(setup, base.c_str(), name.c_str());
    offset = offsetFn(setup, base.c_str());
    return std::isfinite(factor) && factor != 0.0 && std::isfinite(offset);
}

}  // namespace

int KX_TypeSizeInWords(int type) { return (type == KX_TYPE_INT16 || type == KX_TYPE_UINT16) ? 1 : 2; }

// ---------------------------------------------------------------- CKX_Parameter

CKX_Parameter::CKX_Parameter(std::string name, std::string_view unit, int type)
    : m_name(std::move(name)), m_type(type), m_min(-kUnbounded), m_max(kUnbounded) {
    m_unitType = kx::FindUnitType(unit);
    m_unit = m_unitType ? kx::NormalizeUnitName(unit) : std::string();
    if (!m_unitType) m_unitType = UnitTypeOrNone("");
    if (const auto* def = m_unitType->Find(m_unit)) m_unit = def->name;
}

const std::string& CKX_Parameter::GetBaseUnitName() const { return m_unitType->BaseUnit(); }

// The value as the drive stores it: whole counts for the integer types,
// 1/65536 steps for fixed point, single precision for float.
static double RoundToType(double value, int type) {
    switch (type) {
        case KX_TYPE_INT16:
        case KX_TYPE_UINT16:
        case KX_TYPE_INT32:
        case KX_TYPE_UINT32:
            return std::round(value);
        case KX_TYPE_FIXED:
            // From 2^36 on a double is a whole number of 1/65536 steps already, and
            // scaling it up could overflow to infinity.
            return std::fabs(value) < 68719476736.0 ? std::round(value * 65536.0) / 65536.0 : value;
        case KX_TYPE_FLOAT:
            return std::fabs(value) <= std::numeric_limits<float>::max()
                       ? static_cast<double>(static_cast<float>(value))
                       : value;
        default:
            return value;
    }
}

int CKX_Parameter::SetValueInBaseUnit(double value) {
    if (!std::isfinite(value)) return 0;
    if (m_min <= m_max) value = std::clamp(value, m_min, m_max);
    m_value = RoundToType(value, m_type);
    return 1;
}

bool CKX_Parameter::InternalScale(double& factor, double& offset) const {
    return ScaleOf(m_setup, m_unitType, m_name, factor, offset);
}

double CKX_Parameter::GetValueInInternalUnit() const {
    double factor, offset;
    if (!InternalScale(factor, offset)) return 0.0;
    const double internal = m_value / factor - offset;
    return std::isfinite(internal) ? internal : 0.0;
}

int CKX_Parameter::SetValueInInternalUnit(double value) {
    double factor, offset;
    if (!std::isfinite(value) || !InternalScale(factor, offset)) return 0;
    return SetValueInBaseUnit((value + offset) * factor);
}

int CKX_Parameter::SetMinInBaseUnit(double value) {
    if (!std::isfinite(value)) return 0;
    m_min = value;
    return 1;
}

int CKX_Parameter::SetMaxInBaseUnit(double value) {
    if (!std::isfinite(value)) return 0;
    m_max = value;
    return 1;
}

int CKX_Parameter::ChangeUnitType(const char* unit) {
    const kx::UnitType* type = kx::FindUnitType(unit ? unit : "");
    if (!type) return 0;
    m_unitType = type;
    m_unit = type->Find(unit ? unit : "")->name;
    return 1;
}

int CKX_Parameter::ChangeUnit(const char* unit) {
    const kx::UnitDef* def = m_unitType->Find(unit ? unit : "");
    if (!def) return 0;
    m_unit = def->name;
    return 1;
}

double CKX_Parameter::GetValueInDisplayUnit() const {
    const kx::UnitDef* def = m_unitType->Find(m_unit);
    return def ? (m_value - def->offset) / def->factor : m_value;
}

int CKX_Parameter::SetValueInDisplayUnit(double value) {
    const kx::UnitDef* def = m_unitType->Find(m_unit);
    return SetValueInBaseUnit(def ? value * def->factor + def->offset : value);
}

// ---------------------------------------------------------------- CKX_Variable

CKX_Variable::CKX_Variable(std::string name, std::string_view unit, int type, int address)
    : m_name(std::move(name)), m_type(type), m_address(address) {
    m_unitType = kx::FindUnitType(unit);
    m_unit = m_unitType ? kx::NormalizeUnitName(unit) : std::string();
    if (!m_unitType) m_unitType = UnitTypeOrNone("");
    if (const auto* def = m_unitType->Find(m_unit)) m_unit = def->name;
}

const std::string& CKX_Variable::GetBaseUnitName() const { return m_unitType->BaseUnit(); }

int CKX_Variable::ChangeUnitType(const char* unit) {
    const kx::UnitType* type = kx::FindUnitType(unit ? unit : "");
    if (!type) return 0;
    m_unitType = type;
    m_unit = type->Find(unit ? unit : "")->name;
    return 1;
}

int CKX_Variable::SetValueInInternalUnit(double value) {
    if (!std::isfinite(value)) return 0;
    m_value = value;
    return 1;
}

double CKX_Variable::GetValueInBaseUnit() const {
    double factor, offset;
    if (!ScaleOf(m_setup, m_unitType, m_name, factor, offset)) return 0.0;
    return (m_value + offset) * factor;
}

int CKX_Variable::SetValueInBaseUnit(double value) {
    double factor, offset;
    if (!std::isfinite(value) || !ScaleOf(m_setup, m_unitType, m_name, factor, offset)) return 0;
    return SetValueInInternalUnit(value / factor - offset);
}

namespace {

// The link a variable access goes through, or null with the reason set.
kx::DriveLink* LinkFor(const CKX_Variable& variable, const char* access) {
    kx::DriveLink* link = CKX_Comm::GetActiveLink();
    if (!link) {
        CKX_Comm::SetLastErrorText(std::string(kx::kNoDriveText) + " Cannot " + access + " \"" +
                                   variable.GetName() + "\".");
        return nullptr;
    }
    if (variable.GetAddress() < 0 || variable.GetType() == KX_TYPE_REAL) {
        CKX_Comm::SetLastErrorText("The variable \"" + variable.GetName() +
                                   "\" has no place in the drive's memory.");
        return nullptr;
    }
    return link;
}

}  // namespace

int CKX_Variable::ReadFromChip() {
    std::string error;
    return LinkFor(*this, "read") && kx::ReadDriveValue({m_name, m_address, m_type}, m_value, error) ? 1 : 0;
}

int CKX_Variable::WriteToChip() {
    std::string error;
    return LinkFor(*this, "write") && kx::WriteDriveValue({m_name, m_address, m_type}, m_value, error) ? 1
                                                                                                       : 0;
}

// ---------------------------------------------------------------- CKX_Setup

CKX_Setup::CKX_Setup() = default;
CKX_Setup::~CKX_Setup() = default;

CKX_Setup::CKX_Setup(const CKX_Setup& other) { CopyFrom(other); }

CKX_Setup& CKX_Setup::operator=(const CKX_Setup& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

void CKX_Setup::CopyFrom(const CKX_Setup& other) {
    m_parameters.clear();
    m_variables.clear();
    for (const auto& p : other.m_parameters) {
        m_parameters.push_back(std::make_unique<CKX_Parameter>(*p));
        m_parameters.back()->SetSetup(this);
    }
    for (const auto& v : other.m_variables) {
        m_variables.push_back(std::make_unique<CKX_Variable>(*v));
        m_variables.back()->SetSetup(this);
    }
    m_options = other.m_options;
    m_description = other.m_description;
    m_firmwareId = other.m_firmwareId;
    m_productId = other.m_productId;
    m_userAppId = other.m_userAppId;
    m_e2romSize = other.m_e2romSize;
    m_helpFile = other.m_helpFile;
    m_drive = other.m_drive;
    Reindex();
}

void CKX_Setup::Reindex() {
    m_parameterIndex.clear();
    for (std::size_t i = 0; i < m_parameters.size(); ++i)
        m_parameterIndex.emplace(m_parameters[i]->GetName(), i);
    m_variableIndex.clear();
    for (std::size_t i = 0; i < m_variables.size(); ++i)
        m_variableIndex.emplace(m_variables[i]->GetName(), i);
}

CKX_Parameter* CKX_Setup::FindParameter(std::string_view name) const {
    const auto it = m_parameterIndex.find(name);
    if (it != m_parameterIndex.end()) return m_parameters[it->second].get();
    kx::ReportLookupError("Parameter \"" + std::string(name) + "\" not found in the setup.");
    return nullptr;
}

CKX_Parameter* CKX_Setup::FindParameter(const char* name) const {
    return FindParameter(std::string_view(name ? name : ""));
}

CKX_Parameter* CKX_Setup::AddParameter(std::unique_ptr<CKX_Parameter> parameter) {
    if (!parameter || parameter->GetName().empty()) return nullptr;
    const std::string key = parameter->GetName();
    if (m_parameterIndex.count(key)) return nullptr;
    parameter->SetSetup(this);
    m_parameters.push_back(std::move(parameter));
    m_parameterIndex.emplace(key, m_parameters.size() - 1);
    return m_parameters.back().get();
}

CKX_Parameter* CKX_Setup::AddParameter(std::string name, std::string_view unit, int type) {
    return AddParameter(std::make_unique<CKX_Parameter>(std::move(name), unit, type));
}

bool CKX_Setup::RemoveParameter(std::string_view name) {
    const auto it = m_parameterIndex.find(name);
    if (it == m_parameterIndex.end()) return false;
    m_parameters.erase(m_parameters.begin() + static_cast<std::ptrdiff_t>(it->second));
    Reindex();
    return true;
}

double CKX_Setup::GetParameterValueInBaseUnit(const char* name) const {
    const CKX_Parameter* p = FindParameter(name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

int CKX_Setup::SetParameterValueInBaseUnit(const char* name, double value) {
    CKX_Parameter* p = FindParameter(name);
    return p ? p->SetValueInBaseUnit(value) : 0;
}

double CKX_Setup::GetParameterValueInInternalUnit(const char* name) const {
    const CKX_Parameter* p = FindParameter(name);
    return p ? p->GetValueInInternalUnit() : 0.0;
}

int CKX_Setup::SetParameterValueInInternalUnit(const char* name, double value) {
    CKX_Parameter* p = FindParameter(name);
    return p ? p->SetValueInInternalUnit(value) : 0;
}

CKX_Variable* CKX_Setup::FindVariable(const char* name, int /*nSearch*/) const {
    const std::string_view n(name ? name : "");
    const auto it = m_variableIndex.find(n);
    if (it != m_variableIndex.end()) return m_variables[it->second].get();
    kx::ReportLookupError("Variable \"" + std::string(n) + "\" not found in the setup.");
    return nullptr;
}

CKX_Variable* CKX_Setup::AddVariable(std::unique_ptr<CKX_Variable> variable) {
    if (!variable || variable->GetName().empty()) return nullptr;
    const std::string key = variable->GetName();
    if (m_variableIndex.count(key)) return nullptr;
    variable->SetSetup(this);
    m_variables.push_back(std::move(variable));
    m_variableIndex.emplace(key, m_variables.size() - 1);
    return m_variables.back().get();
}

bool CKX_Setup::RemoveVariable(std::string_view name) {
    const auto it = m_variableIndex.find(name);
    if (it == m_variableIndex.end()) return false;
    m_variables.erase(m_variables.begin() + static_cast<std::ptrdiff_t>(it->second));
    Reindex();
    return true;
}

std::string CKX_Setup::GetOption(const char* name) const {
    const std::string_view n(name ? name : "");
    const auto it = m_options.find(n);
    if (it != m_options.end()) return it->second;
    kx::ReportLookupError("Option \"" + std::string(n) + "\" not set in the setup.");
    return {};
}

std::string CKX_Setup::GetOptionNoError(const char* name) const {
    const auto it = m_options.find(std::string_view(name ? name : ""));
    return it != m_options.end() ? it->second : std::string();
}

int CKX_Setup::GetIntOption(const char* name) const {
    const std::string text = GetOptionNoError(name);
    // strtol, unlike atoi, has defined behaviour for out-of-range text.
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(
        std::clamp<long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool CKX_Setup::HasOption(const char* name) const {
    return m_options.find(std::string_view(name ? name : "")) != m_options.end();
}

void CKX_Setup::SetOption(const char* name, const char* text) {
    if (!name || !*name) return;
    const auto it = m_options.find(std::string_view(name));
    if (it != m_options.end()) {
        it->second = text ? text : "";
    } else {
        m_options.emplace(name, text ? text : "");
    }
}

void CKX_Setup::ClearOption(const char* name) {
    const auto it = m_options.find(std::string_view(name ? name : ""));
    if (it != m_options.end()) m_options.erase(it);
}

std::vector<std::pair<std::string, std::string>> CKX_Setup::GetOptions() const {
    std::vector<std::pair<std::string, std::string>> out;
    out.reserve(m_options.size());
    for (const auto& entry : m_options) out.push_back(entry);
    std::sort(out.begin(), out.end(),
              [](const auto& a, const auto& b) { return kx::LowerName(a.first) < kx::LowerName(b.first); });
    return out;
}

namespace {
int CheckedIdentity(std::string& field, const std::string& id) {
    // The drive keeps identities as short printable texts.
    if (id.size() > 64) return 0;
    for (unsigned char c : id)
        if (c < 0x20 || c == 0x7F) return 0;
    field = id;
    return 1;
}
}  // namespace

std::string GetHelpFileOfGUI(const CKX_Setup& setup) { return setup.GetHelpFile(); }

int CKX_Setup::SetFirmwareID(const std::string& id) { return CheckedIdentity(m_firmwareId, id); }
int CKX_Setup::SetProductID(const std::string& id) { return CheckedIdentity(m_productId, id); }
int CKX_Setup::SetUserAppID(const std::string& id) { return CheckedIdentity(m_userAppId, id); }

bool CKX_Setup::HasDLMotorSensor(int kind, bool) const {
    return std::find(m_drive.motorSensors.begin(), m_drive.motorSensors.end(), kind) !=
           m_drive.motorSensors.end();
}

bool CKX_Setup::HasDLLoadSensor(int kind, bool) const {
    return std::find(m_drive.loadSensors.begin(), m_drive.loadSensors.end(), kind) !=
           m_drive.loadSensors.end();
}

int CKX_Setup::GetIOPortFromPin(int pin) const {
    const auto it = m_drive.portOfPin.find(pin);
    return it != m_drive.portOfPin.end() ? it->second : -1;
}

int CKX_Setup::GetIOPinFromPort(int port) const {
    for (const auto& [pin, p] : m_drive.portOfPin)
        if (p == port) return pin;
    return -1;
}

namespace {
int CopyList(const kx::FrequencyList& list, std::vector<unsigned>& kHz, std::vector<unsigned>& modes) {
    kHz = list.kHz;
    modes = list.modes;
    return static_cast<int>(kHz.size());
}
}  // namespace

int CKX_Setup::GetSSIFreqList(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const {
    return CopyList(m_drive.ssi, kHz, modes);
}
int CKX_Setup::GetBiSSFreqList(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const {
    return CopyList(m_drive.biss, kHz, modes);
}
int CKX_Setup::GetSSIFreqList_LD(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const {
    return CopyList(m_drive.ssiLD, kHz, modes);
}
int CKX_Setup::GetBiSSFreqList_LD(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const {
    return CopyList(m_drive.bissLD, kHz, modes);
}

std::string CKX_Setup::GetSensorName(int type) const {
    if (type < 0 || static_cast<std::size_t>(type) >= m_drive.sensorNames.size()) return {};
    return m_drive.sensorNames[static_cast<std::size_t>(type)];
}

std::string CKX_Setup::GetFeedbackName(int connector) const {
    if (connector < 0 || static_cast<std::size_t>(connector) >= m_drive.feedbackNames.size()) return {};
    return m_drive.feedbackNames[static_cast<std::size_t>(connector)];
}

namespace {
// Blanks between config tokens: the ASCII ones, whatever the locale.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
}  // namespace

int ReadEscapedStringFromConfigLine(const std::string& line, std::size_t& pos, std::string& token) {
    token.clear();
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size()) return 0;
    if (line[pos] == '"') {
        ++pos;
        while (pos < line.size() && line[pos] != '"') {
            if (line[pos] == '\\' && pos + 1 < line.size()) ++pos;
            token += line[pos++];
        }
        if (pos < line.size()) ++pos;  // the closing quote
        return 1;
    }
    while (pos < line.size() && !IsBlank(line[pos])) token += line[pos++];
    return 1;
}
