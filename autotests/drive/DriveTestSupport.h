// What the drive tests share: tuned setups' register images as the host downloads them, the default plant,
// drive variables by name, the logger.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
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

inline constexpr std::int64_t kQ16 = 65536;  // one count of the 16.16 variables

inline void SetValue(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// The default setup with `before` set, the current loop tuned always and the others when given a pass band,
// its registers derived.
struct Tuning {
    int lines = 0;  // motor encoder lines (0: the setup's)
    double speedBand = 0.0, positionBand = 0.0;
    int positionControlType = 1;  // 1: over the speed loop
    std::vector<std::pair<const char*, double>> before = {};
};

inline std::unique_ptr<CKX_Setup> TunedSetup(const Tuning& t) {
    auto setup = dcdrive::LoadDefaultSetup();
    if (t.lines > 0) SetValue(*setup, "No_encoder_lines", t.lines);
    SetValue(*setup, "PositionControlType", t.positionControlType);
    for (const auto& [name, value] : t.before) SetValue(*setup, name, value);
    using enum dcdrive::Loop;
    for (const auto& [loop, band, pb, dump, damping] : {std::tuple{Current, 5000.0, "PB_C", "Dump_C", 0.7},
                                                        {Speed, t.speedBand, "PB_S", "Dump_S", 0.7},
                                                        {Position, t.positionBand, "PB_P", "Dump_P", 1.0}}) {
        if (band <= 0.0) continue;
        SetValue(*setup, pb, band);
        SetValue(*setup, dump, damping);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, loop).tuned) << pb;
    }
    dcdrive::ParametersToRegisters(*setup);
    return setup;
}

// The default plant, with `change` made to it.
inline vdrive::Plant DefaultPlant(const std::function<void(vdrive::Plant&)>& change = {}) {
    vdrive::Plant plant;
    std::string error;
    if (!vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) throw std::runtime_error(error);
    if (change) change(plant);
    return plant;
}

// A drive on the default plant with `change` and a setup's registers.
inline std::unique_ptr<vdrive::VirtualDrive> DriveFor(
    const CKX_Setup& setup, const std::function<void(vdrive::Plant&)>& change = {}) {
    auto drive = std::make_unique<vdrive::VirtualDrive>(DefaultPlant(change));
    drive->Download(kx::RegisterImage(setup));
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

// Runs a motion with the slow-loop logger on drive variables for `points` samples.
inline std::vector<vdrive::LoggedPoint> RunMotion(vdrive::VirtualDrive& drive, const vdrive::Motion& motion,
                                                  int points, const std::vector<const char*>& columns) {
    std::vector<vdrive::Symbol> symbols;
    for (const char* name : columns) symbols.push_back(Variable(name));
    drive.ArmLogger({.points = points, .fastLoop = false, .columns = symbols});
    EXPECT_TRUE(drive.StartMotion(motion)) << drive.LastError();
    const double slowPeriod = 2.0 * static_cast<double>(drive.Register("SLPER") * drive.Register("PWMPER")) /
                              drive.GetPlant().drive.clock;
    drive.AdvanceTo(drive.Now() + (points + 2) * slowPeriod);
    return drive.Logged();
}

}  // namespace drivetest
