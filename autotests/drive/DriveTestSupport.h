// What the drive tests share: register images of real setups (the default
// setup after the parameter-to-register driver, tuned by the engine), the
// default plant file and the continuous law the current loop is designed for.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "conversions/Drivers.h"
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

// The setup's registers: its upper-case parameters stored as integers, as
// whole numbers by name.
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

// The default setup with its current loop tuned at a pass band and damping,
// converted to registers.
inline std::unique_ptr<CKX_Setup> TunedDefaultSetup(double passBand, double damping) {
    auto setup = dcdrive::LoadDefaultSetup();
    SetValue(*setup, "PB_C", passBand);
    SetValue(*setup, "Dump_C", damping);
    dcdrive::TuneLoop(*setup, dcdrive::Loop::Current);
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

// Step response at t >= 0 of the designed current loop
// (Kp s + Ki) / (L s² + (R + Kp) s + Ki), gains in V/A and V/(A·s).
inline double DesignedStep(double r, double l, double kp, double ki, double t) {
    if (t <= 0.0) return 0.0;
    const double a = (r + kp) / l, b = ki / l;  // s² + a s + b
    const double c1 = kp / l, c0 = ki / l;      // numerator
    const double disc = a * a - 4.0 * b;
    // y = 1 + (residues at the poles) for a unit step: Y(s) = (c1 s + c0) / (s (s² + a s + b)).
    if (disc < 0.0) {
        const double sigma = -a / 2.0, wd = std::sqrt(-disc) / 2.0;
        // Partial fractions: 1/s · c0/b + (A s + B)/(s² + a s + b), A = -c0/b, B = c1 - a c0 / b.
        const double A = -c0 / b, B = c1 - a * c0 / b;
        const double e = std::exp(sigma * t);
        return c0 / b + e * (A * std::cos(wd * t) + (B + A * sigma) / wd * std::sin(wd * t));
    }
    const double s1 = (-a + std::sqrt(disc)) / 2.0, s2 = (-a - std::sqrt(disc)) / 2.0;
    const double r1 = (c1 * s1 + c0) / (s1 * (s1 - s2)), r2 = (c1 * s2 + c0) / (s2 * (s2 - s1));
    return c0 / b + r1 * std::exp(s1 * t) + r2 * std::exp(s2 * t);
}

}  // namespace drivetest
