// What the drive tests share: register images of real setups (the default
// setup after the parameter-to-register driver, tuned by the engine), the
// default plant file, drive variables by name, the slow-loop logger and the
// continuous laws the loops are designed for.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "drive/Memory.h"
#include "drive/VirtualDrive.h"
#include "kx/Setup.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

namespace drivetest {

inline std::string ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(DCDRIVE_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The setup's registers (its upper-case integer parameters) by name.
inline std::map<std::string, std::int64_t> RegisterImage(const CKX_Setup& setup) {
    std::map<std::string, std::int64_t> image;
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        const CKX_Parameter* p = setup.GetParameterAt(i);
        const std::string& name = p->GetName();
        const int type = p->GetType();
        if (type < KX_TYPE_INT16 || type > KX_TYPE_UINT32) continue;
        bool upper = false, lower = false;
        for (const char c : name) {
            upper |= std::isupper(static_cast<unsigned char>(c)) != 0;
            lower |= std::islower(static_cast<unsigned char>(c)) != 0;
        }
        if (!upper || lower) continue;
        image[name] = std::llround(p->GetValueInBaseUnit());
    }
    return image;
}

inline void SetValue(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// The default setup with its loops tuned as asked, in registers: the current
// loop always, the speed and position loops when given a pass band. The
// `before` values are set before tuning, the `after` values after it.
struct Tuning {
    int lines = 0;                                      // motor encoder lines (0: the setup's)
    int loadLinesOnly = 0;                              // a load encoder of these lines and no motor sensor
    double currentBand = 5000.0, currentDamping = 0.7;  // "PB_C", "Dump_C"
    double speedBand = 0.0, speedDamping = 0.7;
    double positionBand = 0.0, positionDamping = 1.0;
    int positionControlType = 1;  // 1: over the speed loop
    std::vector<std::pair<const char*, double>> before = {}, after = {};
};

inline std::unique_ptr<CKX_Setup> TunedSetup(const Tuning& t) {
    auto setup = dcdrive::LoadDefaultSetup();
    if (t.lines > 0) SetValue(*setup, "No_encoder_lines", t.lines);
    if (t.loadLinesOnly > 0) {
        SetValue(*setup, "MotorSensorType", 0);
        SetValue(*setup, "LoadSensorType", 1);
        SetValue(*setup, "No_encoder_lines_LD", t.loadLinesOnly);
    }
    SetValue(*setup, "PB_C", t.currentBand);
    SetValue(*setup, "Dump_C", t.currentDamping);
    SetValue(*setup, "PositionControlType", t.positionControlType);
    for (const auto& [name, value] : t.before) SetValue(*setup, name, value);
    EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Current).tuned);
    if (t.speedBand > 0.0) {
        SetValue(*setup, "PB_S", t.speedBand);
        SetValue(*setup, "Dump_S", t.speedDamping);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Speed).tuned);
    }
    if (t.positionBand > 0.0) {
        SetValue(*setup, "PB_P", t.positionBand);
        SetValue(*setup, "Dump_P", t.positionDamping);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Position).tuned);
    }
    for (const auto& [name, value] : t.after) SetValue(*setup, name, value);
    dcdrive::ParametersToRegisters(*setup);
    return setup;
}

inline vdrive::Plant DefaultPlant() {
    vdrive::Plant plant;
    std::string error;
    if (!vdrive::ParsePlant(ReadSourceFile("setups/plant.json"), plant, error))
        throw std::runtime_error(error);
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
    vdrive::LoggerSettings logger;
    logger.points = points;
    logger.fastLoop = fastLoop;
    logger.every = 1;
    logger.columns = columns;
    drive.ArmLogger(logger);
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

// The response of num(s)/den(s) (den monic, from the highest power, deg num <
// deg den) to an input given at the sample times and linear in between, at
// the sample times; RK4 in controllable canonical form.
inline std::vector<double> Respond(const std::vector<double>& num, const std::vector<double>& den,
                                   const std::vector<double>& input, double ts) {
    const std::size_t n = den.size() - 1;
    std::vector<double> x(n, 0.0);
    auto derivative = [&](const std::vector<double>& s, double u) {
        std::vector<double> d(n);
        for (std::size_t i = 0; i + 1 < n; ++i) d[i] = s[i + 1];
        double last = u;
        for (std::size_t i = 0; i < n; ++i) last -= den[n - i] * s[i];
        d[n - 1] = last;
        return d;
    };
    auto add = [n](const std::vector<double>& a, const std::vector<double>& b, double c) {
        std::vector<double> r(n);
        for (std::size_t i = 0; i < n; ++i) r[i] = a[i] + c * b[i];
        return r;
    };
    std::vector<double> y;
    const int sub = 40;
    const double h = ts / sub;
    for (std::size_t k = 0; k < input.size(); ++k) {
        double out = 0.0;
        for (std::size_t i = 0; i < num.size(); ++i) out += num[num.size() - 1 - i] * x[i];
        y.push_back(out);
        if (k + 1 == input.size()) break;
        for (int j = 0; j < sub; ++j) {
            auto u = [&](double f) { return input[k] + (input[k + 1] - input[k]) * (j + f) / sub; };
            const auto k1 = derivative(x, u(0.0));
            const auto k2 = derivative(add(x, k1, h / 2), u(0.5));
            const auto k3 = derivative(add(x, k2, h / 2), u(0.5));
            const auto k4 = derivative(add(x, k3, h), u(1.0));
            for (std::size_t i = 0; i < n; ++i) x[i] += h / 6.0 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
        }
    }
    return y;
}

inline double Nrms(const std::vector<double>& a, const std::vector<double>& b, double scale) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / static_cast<double>(a.size())) / scale;
}

}  // namespace drivetest
