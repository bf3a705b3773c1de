#include <nlohmann/json.hpp>

#include "DriveTestSupport.h"

using nlohmann::json;

namespace {

// A plant file with a missing, non-numeric or non-physical value, an unknown key or no JSON at all is refused
// with the key and what is wrong.
TEST(PlantFile, RefusesMissingAndNonPhysicalValues) {
    const struct {
        const char* pointer;  // JSON pointer of the value changed
        json value;           // null: the key is removed
        const char* error;
    } cases[] = {
        {"/supplyVoltage", nullptr, "supplyVoltage: missing"},
        {"/motor/torqueConstant", "0.06", "motor.torqueConstant: not a number"},
        {"/motor/resistance", 0.0, "motor.resistance: must be greater than 0"},
        {"/motor/colour", "red", "motor.colour: unknown key"},
    };
    for (const auto& c : cases) {
        json file = json::parse(dcdrive::DefaultPlantJson());
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

}  // namespace
