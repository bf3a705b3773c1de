// The host's setup store: named parameters with base and internal values and
// limits, named drive variables, string options and the description of the
// drive that the setup is for.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Units.h"

class CKX_ListControl;
class CKX_Setup;

namespace kx {

// Hash and equality of names without regard to ASCII letter case, usable
// with a string_view key so that a lookup allocates nothing.
constexpr unsigned char FoldCase(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
        std::size_t h = 14695981039346656037ull;  // FNV-1a
        for (char c : name) h = (h ^ FoldCase(c)) * 1099511628211ull;
        return h;
    }
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (FoldCase(a[i]) != FoldCase(b[i])) return false;
        return true;
    }
};

}  // namespace kx

// Storage types of parameters and variables, as the drive holds them.
enum KX_ParameterType : int {
    KX_TYPE_REAL = 0,    // host-side value, no drive storage of its own
    KX_TYPE_INT16 = 1,   // one word
    KX_TYPE_UINT16 = 2,  // one word
    KX_TYPE_INT32 = 3,   // two words
    KX_TYPE_UINT32 = 4,  // two words
    KX_TYPE_FIXED = 5,   // 16.16 fixed point, two words
    KX_TYPE_FLOAT = 6,   // single precision, two words
};

// Words of drive memory that a value of the type takes.
KX_API int KX_TypeSizeInWords(int type);

// A named double value with limits and a unit. The value and limits are held
// in the unit type's base unit. The internal (drive) value comes from the
// plug-in's scaling functions for the base unit and the name; registers
// (upper-case names) are dimensionless, so theirs equals the base value.
class KX_API CKX_Parameter {
public:
    explicit CKX_Parameter(std::string name, std::string_view unit = {}, int type = KX_TYPE_REAL);

    const std::string& GetName() const { return m_name; }

    double GetValueInBaseUnit() const { return m_value; }
    // Stores the value, limited to [min, max] when min <= max and rounded to
    // what the storage type holds (whole counts for the integer types, 1/65536
    // for fixed point, single precision for float; a real is kept as it is).
    // A non-finite value is refused: the old value stays and 0 is returned.
    int SetValueInBaseUnit(double value);

    // The value in the drive's internal unit. 0 when the scaling gives no
    // finite value.
    double GetValueInInternalUnit() const;
    // Converts to base units and stores; 0 when no finite base value results.
    int SetValueInInternalUnit(double value);

    double GetMinInBaseUnit() const { return m_min; }
    double GetMaxInBaseUnit() const { return m_max; }
    // Limits take effect at once and do not move the value. A non-finite
    // limit is refused (returns 0).
    int SetMinInBaseUnit(double value);
    int SetMaxInBaseUnit(double value);

    int GetType() const { return m_type; }
    void ChangeType(int type) { m_type = type; }
    int GetSizeInWords() const { return KX_TypeSizeInWords(m_type); }

    // The display unit; GetBaseUnitName gives the unit type's base unit.
    const std::string& GetUnitName() const { return m_unit; }
    const std::string& GetBaseUnitName() const;
    const kx::UnitType* GetUnitType() const { return m_unitType; }
    // Switches to the unit type that offers "unit" and shows the value in it.
    // The stored base value is kept. Returns 0 (nothing changed) for an
    // unknown unit.
    int ChangeUnitType(const char* unit);
    // Chooses another display unit of the same unit type; 0 when it is not one.
    int ChangeUnit(const char* unit);

    // Value in the display unit and back.
    double GetValueInDisplayUnit() const;
    int SetValueInDisplayUnit(double value);

    int GetPrecision() const { return m_precision; }
    void SetPrecision(int digits) { m_precision = digits; }

    // The setup whose scaling gives the internal unit; null for a parameter
    // that lives outside a setup (internal = base then).
    CKX_Setup* GetSetup() const { return m_setup; }
    void SetSetup(CKX_Setup* setup) { m_setup = setup; }

    // Raw drive value -> base unit factor and offset, from the plug-in's
    // scaling for this parameter's base unit and name.
    bool InternalScale(double& factor, double& offset) const;

private:
    std::string m_name;
    std::string m_unit;
    const kx::UnitType* m_unitType = nullptr;
    int m_type = KX_TYPE_REAL;
    int m_precision = 3;
    double m_value = 0.0;
    double m_min;
    double m_max;
    CKX_Setup* m_setup = nullptr;
};

// A drive variable: a value that lives on the drive (read, written, logged),
// held here in the drive's internal unit; its display unit is scaled by the
// plug-in's scaling functions.
class KX_API CKX_Variable {
public:
    explicit CKX_Variable(std::string name, std::string_view unit = {}, int type = KX_TYPE_INT16,
                          int address = -1);

    const std::string& GetName() const { return m_name; }
    const std::string& GetUnitName() const { return m_unit; }
    const std::string& GetBaseUnitName() const;
    int ChangeUnitType(const char* unit);
    int GetType() const { return m_type; }
    int GetSizeInWords() const { return KX_TypeSizeInWords(m_type); }
    int GetAddress() const { return m_address; }

    double GetValueInInternalUnit() const { return m_value; }
    int SetValueInInternalUnit(double value);
    // The internal value scaled to the base unit by the plug-in's scaling.
    double GetValueInBaseUnit() const;
    int SetValueInBaseUnit(double value);

    CKX_Setup* GetSetup() const { return m_setup; }
    void SetSetup(CKX_Setup* setup) { m_setup = setup; }

    // Reads the drive's current value (by address and storage type) through
    // the active drive link into the internal value / writes the internal
    // value to the drive. Nonzero on success; on failure the value is kept
    // and CKX_Comm::GetLastErrorText() says why.
    int ReadFromChip();
    int WriteToChip();

private:
    std::string m_name;
    std::string m_unit;
    const kx::UnitType* m_unitType = nullptr;
    int m_type;
    int m_address;
    double m_value = 0.0;
    CKX_Setup* m_setup = nullptr;
};

namespace kx {

// A selectable serial-encoder clock: frequencies in kHz, ascending, and the
// clock-mode code of each.
struct FrequencyList {
    std::vector<unsigned> kHz;
    std::vector<unsigned> modes;
};

// How a digital output switches its load.
enum class OutputStage : int {
    Source = 0x10,  // PNP: switches the load to +Vlog
    Sink = 0x20,    // NPN: switches the load to GND
};

// A digital output that can drive the motor brake.
struct BrakeOutput {
    int port = 0;                             // I/O port ("MotorBrake_output" holds it)
    std::string name;                         // shown in the brake output list
    OutputStage stage = OutputStage::Source;  // the output's driver
    bool inverted = false;                    // the port's logic level is inverted
};

// Flags of IsBrakePortEnable: the port can drive the brake, and its stage
// (OutputStage) in the bits kBrakePortStageMask.
inline constexpr int kBrakePortEnabled = 0x01;
inline constexpr int kBrakePortStageMask = 0x30;

// What the host knows about the drive a setup is for.
struct DriveDescription {
    std::vector<int> motorSensors;           // offered motor sensor kinds
    std::vector<int> loadSensors;            // offered load sensor kinds
    int maxSensorValue = 5;                  // highest valid sensor-type code
    std::vector<std::string> sensorNames;    // by sensor-type code
    std::vector<std::string> feedbackNames;  // by feedback connector
    std::vector<std::string> sensorLines;    // one config line per feedback connector
    std::map<int, int> portOfPin;            // I/O pin -> port
    FrequencyList ssi, ssiLD, biss, bissLD;
    int adcBits = 12;                       // analogue converter resolution
    std::vector<BrakeOutput> brakeOutputs;  // outputs that can drive the motor brake, in list order
};

}  // namespace kx

class KX_API CKX_Setup {
public:
    CKX_Setup();
    ~CKX_Setup();
    CKX_Setup(const CKX_Setup& other);
    CKX_Setup& operator=(const CKX_Setup& other);

    // ---- parameters (names match without regard to letter case)
    // The parameter of that name, or null (reported while g_bShowErrors is set).
    CKX_Parameter* FindParameter(const char* name) const;
    CKX_Parameter* FindParameter(std::string_view name) const;
    // Adds a parameter; null when the name is taken or empty.
    CKX_Parameter* AddParameter(std::unique_ptr<CKX_Parameter> parameter);
    CKX_Parameter* AddParameter(std::string name, std::string_view unit = {}, int type = KX_TYPE_REAL);
    // Removes a parameter; false when there is none of that name.
    bool RemoveParameter(std::string_view name);
    std::size_t GetParameterCount() const { return m_parameters.size(); }
    CKX_Parameter* GetParameterAt(std::size_t index) const { return m_parameters[index].get(); }

    // Value access by name; a missing parameter reads 0 (reported while
    // g_bShowErrors is set) and a write to it returns 0.
    double GetParameterValueInBaseUnit(const char* name) const;
    int SetParameterValueInBaseUnit(const char* name, double value);
    double GetParameterValueInInternalUnit(const char* name) const;
    int SetParameterValueInInternalUnit(const char* name, double value);

    // ---- variables
    // The variable of that name, or null. nSearch is kept for the host's
    // signature: every caller passes 1 (search the setup's variable list).
    CKX_Variable* FindVariable(const char* name, int nSearch = 1) const;
    CKX_Variable* AddVariable(std::unique_ptr<CKX_Variable> variable);
    bool RemoveVariable(std::string_view name);
    std::size_t GetVariableCount() const { return m_variables.size(); }
    CKX_Variable* GetVariableAt(std::size_t index) const { return m_variables[index].get(); }

    // ---- string options
    // The option's text; a missing option reads "" and is reported while
    // g_bShowErrors is set.
    std::string GetOption(const char* name) const;
    // The option's text, "" when not set; never reported.
    std::string GetOptionNoError(const char* name) const;
    // The option's leading decimal integer (0 when not set or not a number).
    int GetIntOption(const char* name) const;
    bool HasOption(const char* name) const;
    void SetOption(const char* name, const char* text);
    void ClearOption(const char* name);
    // All options as (name, text), ordered by name.
    std::vector<std::pair<std::string, std::string>> GetOptions() const;

    // ---- identity
    std::string GetDescription() const { return m_description; }
    void SetDescription(const std::string& text) { m_description = text; }
    unsigned GetE2ROMSize() const { return m_e2romSize; }
    void SetE2ROMSize(unsigned words) { m_e2romSize = words & 0xFFFFu; }
    std::string GetFirmwareID() const { return m_firmwareId; }
    int SetFirmwareID(const std::string& id);
    std::string GetProductID() const { return m_productId; }
    int SetProductID(const std::string& id);
    std::string GetUserAppID() const { return m_userAppId; }
    int SetUserAppID(const std::string& id);

    // ---- help
    // Name of the help collection that the dialogs of this setup open, looked
    // up in the host's GUI directory; empty when the setup names none.
    std::string GetHelpFile() const { return m_helpFile; }
    void SetHelpFile(const std::string& name) { m_helpFile = name; }

    // ---- the drive description
    const kx::DriveDescription& GetDrive() const { return m_drive; }
    kx::DriveDescription& Drive() { return m_drive; }
    bool HasDLMotorSensor(int kind, bool selectedOnly = false) const;
    bool HasDLLoadSensor(int kind, bool selectedOnly = false) const;
    int GetDLMaxSensorValue() const { return m_drive.maxSensorValue; }
    // -1 when the pin or port is not known.
    int GetIOPortFromPin(int pin) const;
    int GetIOPinFromPort(int port) const;
    // Fill both lists; return the number of frequencies.
    int GetSSIFreqList(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const;
    int GetBiSSFreqList(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const;
    int GetSSIFreqList_LD(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const;
    int GetBiSSFreqList_LD(std::vector<unsigned>& kHz, std::vector<unsigned>& modes) const;
    // Names for sensor-type codes and feedback connectors ("" when unknown).
    std::string GetSensorName(int type) const;
    std::string GetFeedbackName(int connector) const;
    // One config line per feedback connector, in connector order.
    std::vector<std::string> GetDLSensorsArray() const { return m_drive.sensorLines; }

    // Fills the sensor type and connector lists of the motor and the load
    // (any list may be null) with what the drive offers, and corrects the
    // four codes to a consistent selection (kx::ComputeSensorCombos);
    // `changed` names the sensor parameter the user has just changed, or is
    // null. With selectedOnly each list holds only its selected entry.
    // Returns 1 when any code was corrected.
    int FillDlSensorsCombos(CKX_ListControl* motorTypes, int& motorType, CKX_ListControl* motorConnectors,
                            int& motorConnector, CKX_ListControl* loadTypes, int& loadType,
                            CKX_ListControl* loadConnectors, int& loadConnector, const char* changed,
                            bool selectedOnly) const;

    // ---- motor brake outputs
    int GetNumberOfBrakeOutputs() const { return static_cast<int>(m_drive.brakeOutputs.size()); }
    // Fills the list with the brake outputs (item data = port) and selects
    // the one on port `current`. Returns the number of items added.
    int FillIOBrakeCombo(CKX_ListControl* list, int current) const;
    // Whether the logic level of I/O port `port` is inverted; false for a
    // port that drives no brake.
    bool IsIOKX3PortInverted(int port) const;
    // kBrakePortEnabled | the output stage for a brake output, 0 for any other port.
    int IsBrakePortEnable(int port) const;

private:
    void Reindex();
    void CopyFrom(const CKX_Setup& other);

    std::vector<std::unique_ptr<CKX_Parameter>> m_parameters;
    std::unordered_map<std::string, std::size_t, kx::NameHash, kx::NameEqual> m_parameterIndex;
    std::vector<std::unique_ptr<CKX_Variable>> m_variables;
    std::unordered_map<std::string, std::size_t, kx::NameHash, kx::NameEqual> m_variableIndex;
    std::unordered_map<std::string, std::string, kx::NameHash, kx::NameEqual> m_options;  // name -> text
    std::string m_description;
    std::string m_firmwareId, m_productId, m_userAppId;
    unsigned m_e2romSize = 0;
    std::string m_helpFile;
    kx::DriveDescription m_drive;
};

// The help file name that the host gives the plug-in for a setup: the one the
// setup names ("" for none).
KX_API std::string GetHelpFileOfGUI(const CKX_Setup& setup);

// Reads the next token of a config line from position pos: a run of
// non-blank characters, or a double-quoted text in which a backslash escapes
// the next character. Leaves pos after the token. Returns 1 when a token was
// read, 0 at the end of the line.
KX_API int ReadEscapedStringFromConfigLine(const std::string& line, std::size_t& pos, std::string& token);

namespace kx {
// Lower-case ASCII copy, used as the key of every name lookup.
KX_API std::string LowerName(std::string_view name);
}  // namespace kx
