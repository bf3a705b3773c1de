// The drive family's default setup, compiled into the programs.
#pragma once

#include <memory>
#include <string_view>

#include "kx/Setup.h"

namespace dcdrive {

// The JSON text of setups/default.json.
std::string_view DefaultSetupJson();

// The JSON text of setups/motors.json: the standard motor database.
std::string_view StandardMotorsJson();

// The JSON text of setups/plant.json: the virtual drive's plant that fits
// the default setup.
std::string_view DefaultPlantJson();

// A fresh setup loaded from the embedded default.
std::unique_ptr<CKX_Setup> LoadDefaultSetup();

}  // namespace dcdrive
