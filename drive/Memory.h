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
    // the loops' gain registers
    kKpi,
    kSftkpi,
    kKii,
    kSftkii,
    kKps,
    kSftkps,
    kKis,
    kSftkis,
    kImaxs,
    kKpp,
    kSftkpp,
    kKip,
    kSftkip,
    kKdp,
    kSftkdp,
    kKdfp,
    kImaxp,
    kKffs,
    kSftsffw,
    kKffa,
    kSftaffw,
    kSftkff,
    // program variables
    kStarted,
    kTestFlag,
    kIn1,
    kImaxProtTest,
    // the speed, position and inertia tests' variables
    kIlimPSTest,
    kA0,
    kA1,
    kA2,
    kA3,
    kA4,
    kA5,
    kB0,
    kB1,
    kB2,
    kB3,
    kB4,
    kB5,
    kMultiC,
    kLimitSpeed,
    kLimitSpeedMax,
    kDeltaTime,
    kDeltaSpeed,
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
// The loops' gain registers, one word each from here, clear of the signals
// above and of the programs' region. They are the register image itself:
// reading gives the value the loops run with, and a write takes effect from
// the next loop sample, so that gains can be tuned while a test runs.
inline constexpr int kGainRegion = 0x0300;
inline constexpr Var kFirstGain = kKpi;
inline constexpr Var kLastGain = kSftkff;
inline constexpr bool IsGainRegister(Var var) { return var >= kFirstGain && var <= kLastGain; }

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
    {kKpi, "KPI", kGainRegion + 0, Type::Int16, true},
    {kSftkpi, "SFTKPI", kGainRegion + 1, Type::Int16, true},
    {kKii, "KII", kGainRegion + 2, Type::Int16, true},
    {kSftkii, "SFTKII", kGainRegion + 3, Type::Int16, true},
    {kKps, "KPS", kGainRegion + 4, Type::Int16, true},
    {kSftkps, "SFTKPS", kGainRegion + 5, Type::Int16, true},
    {kKis, "KIS", kGainRegion + 6, Type::Int16, true},
    {kSftkis, "SFTKIS", kGainRegion + 7, Type::Int16, true},
    {kImaxs, "IMAXS", kGainRegion + 8, Type::Int16, true},
    {kKpp, "KPP", kGainRegion + 9, Type::Int16, true},
    {kSftkpp, "SFTKPP", kGainRegion + 10, Type::Int16, true},
    {kKip, "KIP", kGainRegion + 11, Type::Int16, true},
    {kSftkip, "SFTKIP", kGainRegion + 12, Type::Int16, true},
    {kKdp, "KDP", kGainRegion + 13, Type::Int16, true},
    {kSftkdp, "SFTKDP", kGainRegion + 14, Type::Int16, true},
    {kKdfp, "KDFP", kGainRegion + 15, Type::Int16, true},
    {kImaxp, "IMAXP", kGainRegion + 16, Type::Int16, true},
    {kKffs, "KFFS", kGainRegion + 17, Type::Int16, true},
    {kSftsffw, "SFTSFFW", kGainRegion + 18, Type::Int16, true},
    {kKffa, "KFFA", kGainRegion + 19, Type::Int16, true},
    {kSftaffw, "SFTAFFW", kGainRegion + 20, Type::Int16, true},
    {kSftkff, "SFTKFF", kGainRegion + 21, Type::Int16, true},
    {kStarted, "STARTED", kProgramRegion + 0, Type::Int16, true},
    {kTestFlag, "test_flag", kProgramRegion + 1, Type::Int16, true},
    {kIn1, "In1", kProgramRegion + 2, Type::Int16, true},
    {kImaxProtTest, "Imax_Prot_Test", kProgramRegion + 3, Type::Int16, true},
    {kIlimPSTest, "IlimPS_Test", kProgramRegion + 4, Type::Int16, true},
    {kA0, "a0", kProgramRegion + 5, Type::UInt16, true},
    {kA1, "a1", kProgramRegion + 6, Type::UInt16, true},
    {kA2, "a2", kProgramRegion + 7, Type::UInt16, true},
    {kA3, "a3", kProgramRegion + 8, Type::UInt16, true},
    {kA4, "a4", kProgramRegion + 9, Type::UInt16, true},
    {kA5, "a5", kProgramRegion + 10, Type::UInt16, true},
    {kB0, "b0", kProgramRegion + 12, Type::Fixed, true},
    {kB1, "b1", kProgramRegion + 14, Type::Fixed, true},
    {kB2, "b2", kProgramRegion + 16, Type::Fixed, true},
    {kB3, "b3", kProgramRegion + 18, Type::Fixed, true},
    {kB4, "b4", kProgramRegion + 20, Type::Fixed, true},
    {kB5, "b5", kProgramRegion + 22, Type::Fixed, true},
    {kMultiC, "MultiC", kProgramRegion + 24, Type::Int16, true},
    {kLimitSpeed, "LimitSpeed", kProgramRegion + 25, Type::Int16, true},
    {kLimitSpeedMax, "LimitSpeedMax", kProgramRegion + 26, Type::Int16, true},
    {kDeltaTime, "delta_time", kProgramRegion + 28, Type::Int32, true},
    {kDeltaSpeed, "delta_speed", kProgramRegion + 30, Type::Fixed, true},
}};

// The table is in the order of Var, so that a variable's cell is kCells[var].
inline constexpr bool CellsInVarOrder() {
    for (std::size_t i = 0; i < kCells.size(); ++i)
        if (kCells[i].var != static_cast<Var>(i)) return false;
    return true;
}
static_assert(CellsInVarOrder());

// The cell at an address, or null.
const Cell* CellAt(int address);
const Cell* CellNamed(std::string_view name);

// A raw value held in `type`: wrapped to the type's width as the drive's
// memory words hold it (16.16 values take 32 bits).
std::int64_t Wrap(Type type, std::int64_t raw);

}  // namespace vdrive::mem
