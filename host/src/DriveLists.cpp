#include "kx/DriveLists.h"

#include <algorithm>
#include <array>

#include "kx/ListControl.h"

namespace kx {
namespace {

constexpr int kNone = 0;
constexpr int kTachogenerator = 2;

// Names of the sensor-type codes for a drive whose description names none.
constexpr std::array<const char*, 6> kSensorNames = {
    "None", "Incremental encoder", "Tachogenerator", "Sine/cosine encoder", "SSI encoder", "BiSS encoder",
};

int ConnectorCount(const DriveDescription& drive) {
    return static_cast<int>(std::max(drive.feedbackNames.size(), drive.sensorLines.size()));
}

std::string SensorName(const DriveDescription& drive, int type) {
    const auto index = static_cast<std::size_t>(type);
    if (index < drive.sensorNames.size() && !drive.sensorNames[index].empty())
        return drive.sensorNames[index];
    if (index < kSensorNames.size()) return kSensorNames[index];
    return "Sensor type " + std::to_string(type);
}

// "None" and the kinds offered on one side, ascending.
std::vector<int> OfferedTypes(const DriveDescription& drive, const std::vector<int>& kinds, bool load) {
    const bool hasConnector = ConnectorCount(drive) > 0;
    std::vector<int> types{kNone};
    for (int kind : kinds) {
        if (kind <= kNone || kind > drive.maxSensorValue) continue;
        if (kind == kTachogenerator ? load : !hasConnector) continue;
        types.push_back(kind);
    }
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    return types;
}

bool Contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// A sensor that is read through a feedback connector.
bool TakesConnector(int type) { return type != kNone && type != kTachogenerator; }

bool IsTypeName(std::string_view name) {
    const NameEqual equal;
    return equal(name, "MotorSensorType") || equal(name, "LoadSensorType");
}

bool IsLoadName(std::string_view name) {
    const NameEqual equal;
    return equal(name, "LoadSensorType") || equal(name, "LoadSensorConnector");
}

std::vector<ListEntry> TypeEntries(const DriveDescription& drive, const std::vector<int>& types) {
    std::vector<ListEntry> entries;
    for (int type : types) entries.push_back({SensorName(drive, type), type});
    return entries;
}

void KeepOnly(std::vector<ListEntry>& entries, int data) {
    std::erase_if(entries, [data](const ListEntry& e) { return e.data != data; });
}

void Fill(CKX_ListControl* list, const std::vector<ListEntry>& entries, int selected) {
    if (!list) return;
    for (const ListEntry& entry : entries) {
        const int index = list->AddItem(entry.text.c_str());
        if (index < 0) continue;
        list->SetItemData(index, entry.data);
        if (entry.data == selected) list->SelectItem(index);
    }
}

}  // namespace

std::string ConnectorName(const DriveDescription& drive, int connector) {
    const auto index = static_cast<std::size_t>(connector);
    if (connector >= 0 && index < drive.feedbackNames.size() && !drive.feedbackNames[index].empty())
        return drive.feedbackNames[index];
    if (connector >= 0 && index < drive.sensorLines.size()) {
        std::size_t pos = 0;
        std::string name;
        if (ReadEscapedStringFromConfigLine(drive.sensorLines[index], pos, name) && !name.empty())
            return name;
    }
    return "Feedback #" + std::to_string(connector + 1);
}

SensorCombos ComputeSensorCombos(const DriveDescription& drive, const SensorSelection& present,
                                 std::string_view changed) {
    const std::vector<int> motorTypes = OfferedTypes(drive, drive.motorSensors, false);
    const std::vector<int> loadTypes = OfferedTypes(drive, drive.loadSensors, true);
    const int connectors = ConnectorCount(drive);
    const auto valid = [connectors](int c) { return c >= 0 && c < connectors; };

    SensorCombos out;
    SensorSelection& s = out.selection;
    s = present;
    if (!Contains(motorTypes, s.motorType)) s.motorType = kNone;
    if (!Contains(loadTypes, s.loadType)) s.loadType = kNone;

    // The side the user has just changed keeps its connector; the other one gives way.
    const bool loadFirst = IsLoadName(changed);
    int& firstType = loadFirst ? s.loadType : s.motorType;
    int& firstConnector = loadFirst ? s.loadConnector : s.motorConnector;
    int& secondType = loadFirst ? s.motorType : s.loadType;
    int& secondConnector = loadFirst ? s.motorConnector : s.loadConnector;
    if (!valid(firstConnector)) firstConnector = 0;
    // A sensor type just chosen takes a free connector rather than move the
    // other side's sensor; only when none is free does the other side give way.
    if (IsTypeName(changed) && TakesConnector(firstType) && TakesConnector(secondType) &&
        valid(secondConnector) && firstConnector == secondConnector) {
        for (int c = 0; c < connectors; ++c)
            if (c != secondConnector) {
                firstConnector = c;
                break;
            }
    }
    const int taken = TakesConnector(firstType) ? firstConnector : -1;
    if (TakesConnector(secondType) && (!valid(secondConnector) || secondConnector == taken)) {
        int free = -1;
        for (int c = 0; c < connectors && free < 0; ++c)
            if (c != taken) free = c;
        if (free >= 0)
            secondConnector = free;
        else
            secondType = kNone;
    }
    if (!valid(secondConnector)) secondConnector = 0;

    out.motorTypes = TypeEntries(drive, motorTypes);
    out.loadTypes = TypeEntries(drive, loadTypes);
    const int motorTakes = TakesConnector(s.motorType) ? s.motorConnector : -1;
    for (int c = 0; c < connectors; ++c) {
        out.motorConnectors.push_back({ConnectorName(drive, c), c});
        if (c != motorTakes) out.loadConnectors.push_back({ConnectorName(drive, c), c});
    }
    return out;
}

}  // namespace kx

int CKX_Setup::FillDlSensorsCombos(CKX_ListControl* motorTypes, int& motorType,
                                   CKX_ListControl* motorConnectors, int& motorConnector,
                                   CKX_ListControl* loadTypes, int& loadType, CKX_ListControl* loadConnectors,
                                   int& loadConnector, const char* changed, bool selectedOnly) const {
    const kx::SensorSelection present{motorType, motorConnector, loadType, loadConnector};
    kx::SensorCombos combos = kx::ComputeSensorCombos(m_drive, present, changed ? changed : "");
    const kx::SensorSelection& s = combos.selection;
    if (selectedOnly) {
        kx::KeepOnly(combos.motorTypes, s.motorType);
        kx::KeepOnly(combos.motorConnectors, s.motorConnector);
        kx::KeepOnly(combos.loadTypes, s.loadType);
        kx::KeepOnly(combos.loadConnectors, s.loadConnector);
    }
    kx::Fill(motorTypes, combos.motorTypes, s.motorType);
    kx::Fill(motorConnectors, combos.motorConnectors, s.motorConnector);
    kx::Fill(loadTypes, combos.loadTypes, s.loadType);
    kx::Fill(loadConnectors, combos.loadConnectors, s.loadConnector);
    motorType = s.motorType;
    motorConnector = s.motorConnector;
    loadType = s.loadType;
    loadConnector = s.loadConnector;
    return s == present ? 0 : 1;
}

namespace {
const kx::BrakeOutput* FindBrakeOutput(const kx::DriveDescription& drive, int port) {
    for (const kx::BrakeOutput& output : drive.brakeOutputs)
        if (output.port == port) return &output;
    return nullptr;
}
}  // namespace

int CKX_Setup::FillIOBrakeCombo(CKX_ListControl* list, int current) const {
    if (!list) return 0;
    int added = 0;
    for (const kx::BrakeOutput& output : m_drive.brakeOutputs) {
        const int index = list->AddItem(output.name.c_str());
        if (index < 0) continue;
        ++added;
        list->SetItemData(index, output.port);
        if (output.port == current) list->SelectItem(index);
    }
    return added;
}

bool CKX_Setup::IsIOKX3PortInverted(int port) const {
    const kx::BrakeOutput* output = FindBrakeOutput(m_drive, port);
    return output && output->inverted;
}

int CKX_Setup::IsBrakePortEnable(int port) const {
    const kx::BrakeOutput* output = FindBrakeOutput(m_drive, port);
    return output ? kx::kBrakePortEnabled | static_cast<int>(output->stage) : 0;
}
