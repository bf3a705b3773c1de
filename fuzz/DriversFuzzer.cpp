// The conversion engine on a setup that the input bends: the embedded default
// setup, with parameter values, limits and options taken from the input and
// parameters removed, then the steps of ComputeAllOptions, the forward
// driver, the three tuning operations and the variable scaling. The input may
// also run single steps in between its edits.
//
// After every step: every parameter value and limit is finite, no step has
// left a minimum above its maximum where the range was sound before it, and
// every scale factor and offset is finite. A broken rule aborts with a line
// that names the step and the parameter.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Fail.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"
#include "kx/Kernel.h"
#include "kx/Setup.h"
#include "kx/Units.h"
#include "options/LoopOptions.h"
#include "options/Tuning.h"
#include "plugin/Scaling.h"
#include "setups/DefaultSetup.h"

using dcfuzz::Fail;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();

// Values that break formulas: zeros, signs, extremes, non-finite.
constexpr std::array<double, 20> kSpecialValues = {
    0.0,      -0.0,         1.0,          -1.0,
    0.5,      2.0,          1e-300,       -1e-300,
    4.9e-324, 1e300,        -1e300,       kMax,
    -kMax,    kInf,         -kInf,        std::numeric_limits<double>::quiet_NaN(),
    65535.0,  2147483648.0, 4294967296.0, -2147483649.0};

// Factors applied to a parameter's present value.
constexpr std::array<double, 8> kFactors = {-1.0, 0.5, 2.0, 1e-6, 1e6, 1e150, -1e150, 0.0};

// The options that select drive variants, and the texts they are given.
constexpr std::array<const char*, 10> kOptions = {"MaxFilters",
                                                  "SSIMaxBits",
                                                  "hasNegTransmission",
                                                  "newSpeedEstimator",
                                                  "DisableBrake",
                                                  "NewDeadBand",
                                                  "ReadSSIonSL",
                                                  "IsInputsTypeProgrammable",
                                                  "DisableMotorTemperature",
                                                  "hideEnablePolarity"};
constexpr std::array<const char*, 6> kOddOptionTexts = {"", "-1", "-2147483649", "99999999999", "x", " 7"};

// Variables whose factor differs from the rest of their unit's, with that
// unit (every unit is also checked for a variable without a name).
constexpr std::array<std::pair<const char*, const char*>, 12> kScaledVariables = {{
    {"V", "AnalogueInputsRange"},
    {"V", "AD5"},
    {"s", "Ts_C"},
    {"rad", "Motor_Position"},
    {"rad", "ERR_position"},
    {"m", "TestPosition"},
    {"rad", "POS_max"},
    {"rad/s", "ASPD"},
    {"rad/s", "Limit_Speed"},
    {"m/s", "Limit_Speed"},
    {"m/s", "ERR_speed"},
    {"rad/s", "SPD_min"},
}};
// Units beyond the unit table's base units.
constexpr std::array<const char*, 4> kExtraUnits = {
    "\xB0"
    "C",
    "rpm", "v ", "unknown"};

double PickValue(FuzzedDataProvider& in, const CKX_Parameter& parameter) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return kSpecialValues[in.ConsumeIntegralInRange<std::size_t>(0, kSpecialValues.size() - 1)];
        case 1: {  // any bit pattern: NaNs, infinities, subnormals
            const auto bits = in.ConsumeIntegral<std::uint64_t>();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        case 2:  // enumerations, flags, small counts
            return in.ConsumeIntegralInRange<int>(-4, 40);
        default:
            return parameter.GetValueInBaseUnit() *
                   kFactors[in.ConsumeIntegralInRange<std::size_t>(0, kFactors.size() - 1)];
    }
}

// Writes the value whatever the present limits, as an editor without limits
// would: they are widened to hold it first.
void Force(CKX_Parameter& parameter, double value) {
    if (!std::isfinite(value)) {
        parameter.SetValueInBaseUnit(value);  // refused by the host
        return;
    }
    if (value < parameter.GetMinInBaseUnit()) parameter.SetMinInBaseUnit(value);
    if (value > parameter.GetMaxInBaseUnit()) parameter.SetMaxInBaseUnit(value);
    parameter.SetValueInBaseUnit(value);
}

void Edit(FuzzedDataProvider& in, CKX_Setup& setup) {
    const int op = in.ConsumeIntegralInRange<int>(0, 6);
    if (op == 5) {
        const char* option = kOptions[in.ConsumeIntegralInRange<std::size_t>(0, kOptions.size() - 1)];
        const int pick = in.ConsumeIntegralInRange<int>(-1, 40);
        if (pick < 0) {
            setup.SetOption(
                option,
                kOddOptionTexts[in.ConsumeIntegralInRange<std::size_t>(0, kOddOptionTexts.size() - 1)]);
        } else {
            setup.SetOption(option, std::to_string(pick).c_str());
        }
        return;
    }
    if (op == 6) {
        setup.ClearOption(kOptions[in.ConsumeIntegralInRange<std::size_t>(0, kOptions.size() - 1)]);
        return;
    }
    if (setup.GetParameterCount() == 0) return;
    CKX_Parameter& parameter =
        *setup.GetParameterAt(in.ConsumeIntegralInRange<std::size_t>(0, setup.GetParameterCount() - 1));
    switch (op) {
        case 0:  // through the host, within the limits
            parameter.SetValueInBaseUnit(PickValue(in, parameter));
            break;
        case 1:
            Force(parameter, PickValue(in, parameter));
            break;
        case 2:  // no limits at all
            parameter.SetMinInBaseUnit(-kMax);
            parameter.SetMaxInBaseUnit(kMax);
            break;
        case 3: {  // one limit, possibly leaving min > max
            const double bound = PickValue(in, parameter);
            if (in.ConsumeBool()) {
                parameter.SetMinInBaseUnit(bound);
            } else {
                parameter.SetMaxInBaseUnit(bound);
            }
            break;
        }
        default: {
            const std::string name = parameter.GetName();
            setup.RemoveParameter(name);
            break;
        }
    }
}

// ---- the steps and the rules after each

struct Step {
    const char* name;
    void (*run)(CKX_Setup&);
};

void CheckScaling(const CKX_Setup& setup, const char* step);

const std::array<Step, 10> kSteps = {{
    {"RegistersToParameters", dcdrive::RegistersToParameters},
    {"ComputeParameterLimits", dcdrive::ComputeParameterLimits},
    {"ComputeLoopOptions", [](CKX_Setup& s) { dcdrive::ComputeLoopOptions(s); }},
    {"ComputeLoadUnits", [](CKX_Setup& s) { dcdrive::ComputeLoadUnits(s); }},
    {"ParametersToRegisters", dcdrive::ParametersToRegisters},
    {"TuneCurrentController", [](CKX_Setup& s) { dcdrive::TuneCurrentController(s); }},
    {"TuneSpeedController", [](CKX_Setup& s) { dcdrive::TuneSpeedController(s); }},
    {"TunePositionController", [](CKX_Setup& s) { dcdrive::TunePositionController(s); }},
    {"UpdateSpeedForward", [](CKX_Setup& s) { dcdrive::UpdateSpeedForward(s); }},
    {"Scaling", nullptr},
}};

std::string Describe(const CKX_Parameter& p) {
    char text[160];
    std::snprintf(text, sizeof text, " (value %.17g, min %.17g, max %.17g)", p.GetValueInBaseUnit(),
                  p.GetMinInBaseUnit(), p.GetMaxInBaseUnit());
    return p.GetName() + text;
}

void RunStep(CKX_Setup& setup, const Step& step) {
    const std::size_t count = setup.GetParameterCount();
    std::vector<char> sound(count);
    for (std::size_t i = 0; i < count; ++i) {
        const CKX_Parameter& p = *setup.GetParameterAt(i);
        sound[i] = p.GetMinInBaseUnit() <= p.GetMaxInBaseUnit();
    }

    if (step.run) {
        try {
            step.run(setup);
        } catch (const std::exception& e) {
            Fail(std::string(step.name) + " threw: " + e.what());
        } catch (...) {
            Fail(std::string(step.name) + " threw a non-standard exception");
        }
    } else {
        CheckScaling(setup, step.name);
    }

    if (setup.GetParameterCount() != count) Fail(std::string(step.name) + " added or removed parameters");
    for (std::size_t i = 0; i < count; ++i) {
        const CKX_Parameter& p = *setup.GetParameterAt(i);
        if (!std::isfinite(p.GetValueInBaseUnit()) || !std::isfinite(p.GetMinInBaseUnit()) ||
            !std::isfinite(p.GetMaxInBaseUnit()))
            Fail(std::string("after ") + step.name + ": not finite: " + Describe(p));
        if (sound[i] && p.GetMinInBaseUnit() > p.GetMaxInBaseUnit())
            Fail(std::string("after ") + step.name + ": minimum above maximum: " + Describe(p));
    }
}

void CheckScale(const CKX_Setup& setup, const char* step, const std::string& unit, const char* variable) {
    const double factor = dcdrive::ScaleFactor(setup, unit, variable);
    if (!std::isfinite(factor))
        Fail(std::string("after ") + step + ": scale factor of \"" + unit + "\" for \"" + variable +
             "\" is " + std::to_string(factor));
    const double offset = dcdrive::ScaleOffset(setup, unit);
    if (!std::isfinite(offset))
        Fail(std::string("after ") + step + ": scale offset of \"" + unit + "\" is " +
             std::to_string(offset));
}

// The host asks for the base unit of a unit type.
void CheckScaling(const CKX_Setup& setup, const char* step) {
    for (const kx::UnitType& type : kx::AllUnitTypes()) CheckScale(setup, step, type.BaseUnit(), "");
    for (const char* unit : kExtraUnits) CheckScale(setup, step, unit, "");
    for (const auto& [unit, variable] : kScaledVariables) CheckScale(setup, step, unit, variable);
}

const CKX_Setup& DefaultSetup() {
    static const std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();
    return *setup;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Lookups of removed parameters are reported; the fuzzer needs no output.
    kx::SetErrorSink([](const std::string&) {});
    // Internal units as the host gives them with the plug-in loaded.
    dcdrive::InstallHostScaling();
    DefaultSetup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CKX_Setup setup(DefaultSetup());

    // Edits, with a single step now and then.
    for (int i = 0; i < 32 && in.remaining_bytes() > 0; ++i) {
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
            RunStep(setup, kSteps[in.ConsumeIntegralInRange<std::size_t>(0, kSteps.size() - 1)]);
        } else {
            Edit(in, setup);
        }
    }
    // Then everything in the host's order.
    for (const Step& step : kSteps) RunStep(setup, step);
    return 0;
}
