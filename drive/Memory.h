// The drive's memory map: the setup's drive variables at their addresses,
// and the test programs' own variables in a region of their own.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "VirtualDrive.h"

namespace vdrive::mem {

// Every variable the drive keeps, in the order of its value table.
enum Var : int {
    kApos,
    kAposMt,
    kAposLd,
    kMotorPosition,
    kLoadPosition,
    kTargetPosition,
    kPositionError,
    kAspd,
    kAspdMt,
    kAspdLd,
    kMotorSpeed,
    kLoadSpeed,
    kSpeedReference,
    kAd2,
    kAd5,
    kCurrentReference,
    kMotorCurrent,
    kVoltageReference,
    kMer,
    kVarI2,
    kVarU2,
    // program variables
    kStarted,
    kTestFlag,
    kIn1,
    kImaxProtTest,
    kVarCount
};

struct Cell {
    Var var;
    const char* name;
    int address;
    Type type;
    bool writable;
};

// The test programs' variables start here, clear of the setup's variables.
inline constexpr int kProgramRegion = 0x4000;

inline constexpr std::array<Cell, kVarCount> kCells = {{
    {kApos, "APOS", 552, Type::Int32, true},
    {kAposMt, "APOS_MT", 554, Type::Int32, true},
    {kAposLd, "APOS_LD", 556, Type::Int32, true},
    {kMotorPosition, "Motor_Position", 558, Type::Int32, false},
    {kLoadPosition, "Load_Position", 560, Type::Int32, false},
    {kTargetPosition, "Target_Position", 562, Type::Int32, false},
    {kPositionError, "Position_Error", 564, Type::Int32, false},
    {kAspd, "ASPD", 598, Type::Fixed, false},
    {kAspdMt, "ASPD_MT", 600, Type::Fixed, false},
    {kAspdLd, "ASPD_LD", 602, Type::Fixed, false},
    {kMotorSpeed, "Motor_Speed", 604, Type::Fixed, false},
    {kLoadSpeed, "Load_Speed", 608, Type::Fixed, false},
    {kSpeedReference, "Speed_Reference", 612, Type::Fixed, false},
    {kAd2, "AD2", 642, Type::UInt16, false},
    {kAd5, "AD5", 644, Type::UInt16, false},
    {kCurrentReference, "Current_Reference", 646, Type::Int16, false},
    {kMotorCurrent, "Motor_Current", 647, Type::Int16, false},
    {kVoltageReference, "Voltage_Reference", 648, Type::Int16, false},
    {kMer, "MER", 649, Type::UInt16, true},
    {kVarI2, "var_i2", 650, Type::Int16, true},
    {kVarU2, "var_u2", 651, Type::UInt16, true},
    {kStarted, "STARTED", kProgramRegion + 0, Type::Int16, true},
    {kTestFlag, "test_flag", kProgramRegion + 1, Type::Int16, true},
    {kIn1, "In1", kProgramRegion + 2, Type::Int16, true},
    {kImaxProtTest, "Imax_Prot_Test", kProgramRegion + 3, Type::Int16, true},
}};

// The cell at an address, or null.
const Cell* CellAt(int address);
const Cell* CellNamed(std::string_view name);

// A raw value held in `type`: wrapped to the type's width as the drive's
// memory words hold it (16.16 values take 32 bits).
std::int64_t Wrap(Type type, std::int64_t raw);

}  // namespace vdrive::mem
