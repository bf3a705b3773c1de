// The sample setups of setups/variants/: each shows its feature through the
// engine's capability tests and keeps its values under both drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestSetup.h"
#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "kx/SetupFile.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::ReportedErrors;

namespace {

struct VariantCase {
    const char* file;
    // Holds for the variant after the register-to-parameter driver, and not for the default setup.
    bool (*feature)(const CKX_Setup&);
    // User parameters that the registers hold, "name=value ...": set to -1
    // first, so that only the driver can bring them back.
    const char* fromRegisters;
};

const VariantCase kVariants[] = {
    {"no-brake.json",
     [](const CKX_Setup& s) { return s.GetNumberOfBrakeOutputs() == 0 && !HasMotorBrake(s); }, ""},
    {"no-analogue-input.json", [](const CKX_Setup& s) { return !HasAnalogueReferenceScaling(s); }, ""},
    {"no-encoder-filters.json", [](const CKX_Setup& s) { return !HasEncoderFilters(s); }, ""},
    {"tachogenerator.json", [](const CKX_Setup& s) { return MotorSensorOf(s) == SensorType::Tachogenerator; },
     "MotorSensorType=2 LoadSensorType=0 ControlMode=1"},
    {"ssi-biss.json",
     [](const CKX_Setup& s) {
         return MotorSensorOf(s) == SensorType::SsiEncoder && LoadSensorOf(s) == SensorType::BissEncoder &&
                TransmissionOf(s) == TransmissionType::RotaryToRotary;
     },
     "MotorSensorType=4 LoadSensorType=5 MotorSensorConnector=0 LoadSensorConnector=1"},
    {"linear-absolute.json",
     [](const CKX_Setup& s) {
         // A load count is one micrometre of travel.
         return HasLoadSerialResolution(s) && TransmissionOf(s) == TransmissionType::RotaryToLinear &&
                std::fabs(PositionScale(s) - 1e6) < 1e-3;
     },
     "MotorSensorType=1 LoadSensorType=4 MotorSensorConnector=0 LoadSensorConnector=1"},
};

std::unique_ptr<CKX_Setup> LoadVariant(const char* file) {
    return kx::LoadSetupFile(std::string(DCDRIVE_VARIANTS_DIR) + file);
}

TEST(SetupVariants, RegistersGiveTheVariantsFeature) {
    CKX_Setup defaults(*LoadDefaultSetup());
    dctest::PluginScaling internalUnits;
    RegistersToParameters(defaults);
    for (const VariantCase& c : kVariants) {
        SCOPED_TRACE(c.file);
        const auto setup = LoadVariant(c.file);
        std::vector<std::pair<std::string, double>> expected;
        std::istringstream in(c.fromRegisters);
        for (std::string item; in >> item;) {
            const auto& [name, value] = expected.emplace_back(
                item.substr(0, item.find('=')), dctest::Number(item.substr(item.find('=') + 1)));
            ASSERT_NE(setup->FindParameter(name), nullptr) << name;
            dctest::Force(*setup, name.c_str(), -1);
        }
        ReportedErrors errors;
        RegistersToParameters(*setup);
        EXPECT_TRUE(errors.Messages().empty()) << errors.Messages().front();
        for (const auto& [name, value] : expected)
            EXPECT_EQ(dctest::ValueOf(*setup, name.c_str()), value) << name;
        EXPECT_TRUE(c.feature(*setup));
        EXPECT_FALSE(c.feature(defaults)) << "the default drive has the same feature";
    }
}

// Both drivers leave every value as the file has it: registers exactly, a
// user parameter within what the rounding of its register allows.
TEST(SetupVariants, StableUnderBothDrivers) {
    dctest::PluginScaling internalUnits;
    for (const VariantCase& c : kVariants) {
        const auto file = LoadVariant(c.file);
        CKX_Setup setup(*file);
        ReportedErrors errors;
        RunBothDrivers(setup);
        EXPECT_TRUE(errors.Messages().empty()) << c.file << ": " << errors.Messages().front();
        for (std::size_t i = 0; i < file->GetParameterCount(); ++i) {
            const std::string& name = file->GetParameterAt(i)->GetName();
            const double was = file->GetParameterAt(i)->GetValueInBaseUnit();
            const double tolerance =
                (dctest::IsRegister(name) ? 1e-12 : 1e-6) * std::max(1.0, std::fabs(was));
            EXPECT_NEAR(setup.GetParameterAt(i)->GetValueInBaseUnit(), was, tolerance)
                << c.file << ": " << name;
        }
    }
}

}  // namespace
