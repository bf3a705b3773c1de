#include "DefaultSetup.h"

#include <cstddef>

#include "kx/SetupFile.h"

namespace dcdrive {

extern const unsigned char kDefaultSetupBytes[];
extern const std::size_t kDefaultSetupSize;
extern const unsigned char kStandardMotorsBytes[];
extern const std::size_t kStandardMotorsSize;
extern const unsigned char kDefaultPlantBytes[];
extern const std::size_t kDefaultPlantSize;

std::string_view DefaultSetupJson() {
    return {reinterpret_cast<const char*>(kDefaultSetupBytes), kDefaultSetupSize};
}

std::string_view StandardMotorsJson() {
    return {reinterpret_cast<const char*>(kStandardMotorsBytes), kStandardMotorsSize};
}

std::string_view DefaultPlantJson() {
    return {reinterpret_cast<const char*>(kDefaultPlantBytes), kDefaultPlantSize};
}

std::unique_ptr<CKX_Setup> LoadDefaultSetup() {
    return kx::LoadSetupFromText(DefaultSetupJson(), "default.json");
}

}  // namespace dcdrive
