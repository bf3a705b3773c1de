#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "DriveTestSupport.h"

using nlohmann::json;

namespace {

json DefaultPlantJson() { return json::parse(drivetest::ReadSourceFile("setups/plant.json")); }

// A plant file with a missing, non-numeric or non-physical value is refused
// with the key and what is wrong.
TEST(PlantFile, RefusesMissingAndNonPhysicalValues) {
    struct Case {
        const char* pointer;  // JSON pointer of the value changed
        json value;           // null: the key is removed
        const char* error;
    };
    const Case cases[] = {
        {"/supplyVoltage", nullptr, "supplyVoltage: missing"},
        {"/motor/inductance", -1e-3, "motor.inductance: must not be negative"},
        {"/motor/inertia", 0.0, "motor.inertia: must be greater than 0"},
        {"/motor/resistance", 0.0, "motor.resistance: must be greater than 0"},
        {"/motor/torqueConstant", "0.06", "motor.torqueConstant: not a number"},
        {"/load/inertia", -1e-6, "load.inertia: must not be negative"},
        {"/load/coulombFriction", -0.1, "load.coulombFriction: must not be negative"},
        {"/load/viscousFriction", nullptr, "load.viscousFriction: missing"},
        {"/load/torque", nullptr, "load.torque: missing"},
        {"/shaftBlocked", 1, "shaftBlocked: not true or false"},
        {"/encoder/lines", 0, "encoder.lines: must be at least 1"},
        {"/encoder/lines", 12.5, "encoder.lines: not a whole number"},
        {"/encoder/ssiBits", 40, "encoder.ssiBits: must be from 1 to 31"},
        {"/drive/adcBits", 0, "drive.adcBits: must be from 1 to 16"},
        {"/motor/colour", "red", "motor.colour: unknown key"},
    };
    for (const Case& c : cases) {
        json file = DefaultPlantJson();
        const json::json_pointer at(c.pointer);
        if (c.value.is_null())
            file[at.parent_pointer()].erase(at.back());
        else
            file[at] = c.value;
        vdrive::Plant plant;
        plant.supplyVoltage = 12.0;
        std::string error;
        EXPECT_FALSE(vdrive::ParsePlant(file.dump(), plant, error)) << c.pointer;
        EXPECT_EQ(error, c.error) << c.pointer;
        EXPECT_EQ(plant.supplyVoltage, 12.0) << "a refused file changes nothing";
    }
    std::string error;
    vdrive::Plant plant;
    EXPECT_FALSE(vdrive::ParsePlant("{\"supplyVoltage\": 48,", plant, error));
    EXPECT_NE(error.find("not a JSON plant file"), std::string::npos) << error;
}

// The default plant file fits the default setup: the motor, the power stage,
// the supply and the converters the setup describes.
TEST(PlantFile, DefaultPlantFitsTheDefaultSetup) {
    const vdrive::Plant plant = drivetest::DefaultPlant();
    const auto setup = dcdrive::LoadDefaultSetup();
    auto value = [&](const char* name) { return setup->GetParameterValueInBaseUnit(name); };
    EXPECT_DOUBLE_EQ(plant.motor.resistance, value("R"));
    EXPECT_DOUBLE_EQ(plant.motor.inductance, value("L"));
    EXPECT_DOUBLE_EQ(plant.motor.torqueConstant, value("K"));
    EXPECT_DOUBLE_EQ(plant.motor.inertia, value("Jm"));
    EXPECT_DOUBLE_EQ(plant.motor.inertia + plant.load.inertia, value("Jt"));
    EXPECT_DOUBLE_EQ(plant.supplyVoltage, value("Vdc"));
    EXPECT_DOUBLE_EQ(plant.drive.currentRange, value("ImaxPS"));
    EXPECT_DOUBLE_EQ(plant.drive.vdcMaxMeasurable, value("VdcMaxMeasurable"));
    EXPECT_DOUBLE_EQ(plant.drive.clock, value("DSP_freq"));
    EXPECT_EQ(plant.encoder.lines, static_cast<int>(value("No_encoder_lines")));
    EXPECT_EQ(plant.drive.adcBits, setup->GetDrive().adcBits);
    EXPECT_DOUBLE_EQ(plant.drive.analogueSpan, value("AnalogueInputsRange"));
}

// Writing a plant and reading it back gives the same plant, every key included.
TEST(PlantFile, RoundTrip) {
    vdrive::Plant plant;
    plant.supplyVoltage = 36.5;
    plant.motor.inductance = 0.0021;
    plant.load.coulombFriction = 0.003;
    plant.shaftBlocked = true;
    plant.converter.seed = 77;
    plant.encoder.reversed = true;
    plant.encoder.ssiBits = 17;
    plant.drive.adcBits = 14;
    vdrive::Plant read;
    std::string error;
    ASSERT_TRUE(vdrive::ParsePlant(vdrive::PlantToJson(plant), read, error)) << error;
    EXPECT_EQ(vdrive::PlantToJson(read), vdrive::PlantToJson(plant));
    EXPECT_EQ(read.converter.seed, 77u);
    EXPECT_TRUE(read.shaftBlocked);
}

}  // namespace
