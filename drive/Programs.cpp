// The names of the drive-resident programs, their symbol tables, the memory
// map's lookups and the names of the faults that can be switched.
#include <array>
#include <initializer_list>
#include <utility>

#include "Memory.h"
#include "VirtualDrive.h"

namespace vdrive {

namespace mem {

const Cell* CellAt(int address) {
    for (const Cell& cell : kCells)
        if (cell.address == address) return &cell;
    return nullptr;
}

const Cell* CellNamed(std::string_view name) {
    for (const Cell& cell : kCells)
        if (name == cell.name) return &cell;
    return nullptr;
}

std::int64_t Wrap(Type type, std::int64_t raw) {
    switch (type) {
        case Type::Int16:
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw & 0xFFFF));
        case Type::UInt16:
            return raw & 0xFFFF;
        case Type::Int32:
        case Type::Fixed:
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw & 0xFFFFFFFF));
        case Type::UInt32:
            return raw & 0xFFFFFFFF;
    }
    return raw;
}

}  // namespace mem

namespace {

struct ProgramTable {
    const char* name;
    std::vector<const char*> symbols;  // variables of the memory map, in table order
};

// A program that follows a reference profile: its limit, the over-current
// protection, "a<i>" samples of segment i and "b<i>" its increment per
// sample (16.16), "MultiC" nonzero to repeat it until Stop, and the four
// signals it logs.
ProgramTable MotionProgram(const char* name, const char* limit, std::initializer_list<const char*> logged) {
    ProgramTable table{name,
                       {limit, "Imax_Prot_Test", "a0", "a1", "a2", "a3", "a4", "a5", "b0", "b1", "b2", "b3",
                        "b4", "b5", "MultiC", "STARTED", "test_flag"}};
    table.symbols.insert(table.symbols.end(), logged);
    return table;
}

const std::vector<ProgramTable>& Tables() {
    static const std::vector<ProgramTable> tables = {
        {"Current_Controller_Tuning_Test",
         {"In1", "Imax_Prot_Test", "STARTED", "test_flag", "Current_Reference", "Motor_Current",
          "Voltage_Reference"}},
        {"VDC_Detection_Test", {"STARTED", "test_flag", "var_u2"}},
        {"Analogue_Reference_Test", {"STARTED", "AD5"}},
        {"Encoder_Connection_Test", {"STARTED", "APOS_MT", "APOS_LD", "var_i2"}},
        {"SSI_Encoder_Connection_Test", {"STARTED", "APOS_MT", "APOS_LD", "var_i2"}},
        MotionProgram("Speed_Controller_Tuning_Test", "IlimPS_Test",
                      {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}),
        MotionProgram("Position_Controller_Tuning_Test_with_SpdCtrl", "LimitSpeed",
                      {"Target_Position", "Load_Position", "Speed_Reference", "Load_Speed"}),
        MotionProgram("Position_Controller_Tuning_Test_without_SpdCtrl", "IlimPS_Test",
                      {"Target_Position", "Load_Position", "Current_Reference", "Motor_Current"}),
        {"Total_Inertia_Identification_Test",
         {"In1", "LimitSpeedMax", "Imax_Prot_Test", "STARTED", "test_flag", "delta_time", "delta_speed"}},
    };
    return tables;
}

constexpr std::array<std::pair<Fault, const char*>, 9> kFaultNames = {{
    {Fault::ShortCircuit, "short-circuit"},
    {Fault::ControlError, "control-error"},
    {Fault::FeedbackError, "feedback-error"},
    {Fault::LimitPositive, "limit-positive"},
    {Fault::LimitNegative, "limit-negative"},
    {Fault::EnableOff, "enable-off"},
    {Fault::OverCurrent, "over-current"},
    {Fault::CommDown, "comm-down"},
    {Fault::NoProgram, "no-program"},
}};

}  // namespace

std::vector<std::string> ProgramNames() {
    std::vector<std::string> names;
    for (const ProgramTable& table : Tables()) names.emplace_back(table.name);
    return names;
}

std::vector<Symbol> ProgramSymbols(std::string_view program) {
    for (const ProgramTable& table : Tables()) {
        if (program != table.name) continue;
        std::vector<Symbol> symbols;
        for (const char* name : table.symbols) {
            const mem::Cell* cell = mem::CellNamed(name);
            symbols.push_back({cell->name, cell->address, cell->type});
        }
        return symbols;
    }
    return {};
}

const char* FaultName(Fault fault) {
    for (const auto& [f, name] : kFaultNames)
        if (f == fault) return name;
    return "";
}

bool FaultFromName(std::string_view name, Fault& fault) {
    for (const auto& [f, n] : kFaultNames) {
        if (name == n) {
            fault = f;
            return true;
        }
    }
    return false;
}

}  // namespace vdrive
