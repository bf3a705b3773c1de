// What the drive tests share: register images of real setups (the default
// setup after the parameter-to-register driver, tuned by the engine, as the
// host downloads them), the default plant, drive variables by name and the
// slow-loop logger.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "drive/Memory.h"
#include "drive/VirtualDrive.h"
#include "kx/Comm.h"
#include "kx/Setup.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

namespace drivetest {

// The setup's registers by name, as the host downloads them.
using kx::RegisterImage;

inline void SetValue(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// The default setup with its loops tuned as asked, in registers: the current
// loop always (5000 rad/s, damping 0.7), the speed loop (damping 0.7) and the
// position loop (damping 1) when given a pass band. The `before` values are
// set before tuning.
struct Tuning {
    int lines = 0;  // motor encoder lines (0: the setup's)
    double speedBand = 0.0, positionBand = 0.0;
    int positionControlType = 1;  // 1: over the speed loop
    std::vector<std::pair<const char*, double>> before = {};
};

inline std::unique_ptr<CKX_Setup> TunedSetup(const Tuning& t) {
    auto setup = dcdrive::LoadDefaultSetup();
    if (t.lines > 0) SetValue(*setup, "No_encoder_lines", t.lines);
    SetValue(*setup, "PB_C", 5000.0);
    SetValue(*setup, "Dump_C", 0.7);
    SetValue(*setup, "PositionControlType", t.positionControlType);
    for (const auto& [name, value] : t.before) SetValue(*setup, name, value);
    EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Current).tuned);
    if (t.speedBand > 0.0) {
        SetValue(*setup, "PB_S", t.speedBand);
        SetValue(*setup, "Dump_S", 0.7);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Speed).tuned);
    }
    if (t.positionBand > 0.0) {
        SetValue(*setup, "PB_P", t.positionBand);
        SetValue(*setup, "Dump_P", 1.0);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Position).tuned);
    }
    dcdrive::ParametersToRegisters(*setup);
    return setup;
}

inline vdrive::Plant DefaultPlant() {
    vdrive::Plant plant;
    std::string error;
    if (!vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) throw std::runtime_error(error);
    return plant;
}

// A drive with the default plant (or another) and a setup's registers.
inline std::unique_ptr<vdrive::VirtualDrive> DriveFor(const CKX_Setup& setup,
                                                      const vdrive::Plant& plant = DefaultPlant()) {
    auto drive = std::make_unique<vdrive::VirtualDrive>(plant);
    drive->Download(RegisterImage(setup));
    return drive;
}

inline vdrive::Symbol Variable(const char* name) {
    const vdrive::mem::Cell* cell = vdrive::mem::CellNamed(name);
    EXPECT_NE(cell, nullptr) << name;
    return cell ? vdrive::Symbol{cell->name, cell->address, cell->type} : vdrive::Symbol{};
}

inline vdrive::Symbol SymbolOf(const std::string& program, const std::string& name) {
    for (const vdrive::Symbol& s : vdrive::ProgramSymbols(program))
        if (s.name == name) return s;
    ADD_FAILURE() << program << " has no variable " << name;
    return {};
}

inline std::int64_t Get(const vdrive::VirtualDrive& drive, const vdrive::Symbol& s) {
    std::int64_t raw = 0;
    EXPECT_TRUE(drive.Read(s.address, s.type, raw)) << s.name << ": " << drive.LastError();
    return raw;
}

inline void Set(vdrive::VirtualDrive& drive, const vdrive::Symbol& s, std::int64_t raw) {
    EXPECT_TRUE(drive.Write(s.address, s.type, raw)) << s.name << ": " << drive.LastError();
}

inline double SlowPeriod(const vdrive::VirtualDrive& drive) {
    return 2.0 * static_cast<double>(drive.Register("SLPER") * drive.Register("PWMPER")) /
           drive.GetPlant().drive.clock;
}

// Arms the logger on `columns`, every sample of the slow (or fast) loop.
inline void ArmLogger(vdrive::VirtualDrive& drive, const std::vector<vdrive::Symbol>& columns, int points,
                      bool fastLoop = false) {
    drive.ArmLogger({.points = points, .fastLoop = fastLoop, .every = 1, .columns = columns});
}

// Runs a motion with the slow-loop logger on drive variables for `points` samples.
inline std::vector<vdrive::LoggedPoint> RunMotion(vdrive::VirtualDrive& drive, const vdrive::Motion& motion,
                                                  int points, const std::vector<const char*>& columns) {
    std::vector<vdrive::Symbol> symbols;
    for (const char* name : columns) symbols.push_back(Variable(name));
    ArmLogger(drive, symbols, points);
    EXPECT_TRUE(drive.StartMotion(motion)) << drive.LastError();
    drive.AdvanceTo(drive.Now() + (points + 2) * SlowPeriod(drive));
    return drive.Logged();
}

}  // namespace drivetest
