// Setup files: JSON text holding the drive description, parameters,
// variables and options of one setup.
//
// {
//   "format": "dcdrive-setup", "version": 1,             (both optional on load)
//   "description": "drive name",
//   "helpFile": "dcdrive.qhc",                            (optional; written when not empty)
//   "identity": {"firmwareId": "", "productId": "", "userAppId": "", "e2romSize": 0},
//   "drive": {
//     "motorSensors": [1, 2, 3, 4, 5], "loadSensors": [1, 3, 4, 5], "maxSensorValue": 5,
//     "sensorNames": ["None", ...by type code], "feedbackNames": ["Feedback #1", ...],
//     "sensorLines": ["\"Feedback #1\" 1,digital", ...one per connector],
//     "ioPorts": [{"pin": 12, "port": 0}, ...],
//     "ssiFrequencies": {"kHz": [...], "modes": [...]}, "ssiFrequenciesLD": {...},
//     "bissFrequencies": {...}, "bissFrequenciesLD": {...},
//     "adcBits": 12,
//     "brakeOutputs": [{"port": 1, "name": "OUT1", "stage": "source", "inverted": false}, ...]
//   },                                                    (stage "source" (PNP) or "sink" (NPN);
//                                                          each port must be one of "ioPorts")
//   "parameters": [
//     {"name": "PWMPER", "value": 1500, "min": 0, "max": 65535, "unit": "", "type": 2,
//      "precision": 0}, ...
//   ],
//   "variables": [{"name": "APOS", "unit": "rad", "type": 3, "address": 552}, ...],
//   "options": {"MaxFilters": "10", ...}
// }
//
// Values and limits are in the base unit of the parameter's unit type; "unit"
// is the display unit. Only "name" and "value" are required in a parameter;
// a missing limit means unbounded. Every section but "parameters" may be
// left out.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kx/Setup.h"

namespace kx {

// A setup file that cannot be read, parsed or accepted, or a save that
// failed. what() names the file, the place and what is wrong.
class KX_API SetupFileError : public std::runtime_error {
public:
    enum class Cause {
        Content,  // the text is not an acceptable setup
        Path,     // the file, or the folder to write it in, cannot be opened or created as named
        System,   // reading or writing failed on the way (I/O error, disk full, size limit)
    };
    SetupFileError(const std::string& source, const std::string& place, const std::string& problem,
                   Cause cause = Cause::Content);
    const std::string& Source() const { return m_source; }
    const std::string& Place() const { return m_place; }
    const std::string& Problem() const { return m_problem; }
    Cause GetCause() const { return m_cause; }

private:
    std::string m_source, m_place, m_problem;
    Cause m_cause;
};

// Parses a setup from JSON text; sourceName names it in error messages.
// Throws SetupFileError for malformed or inconsistent content.
KX_API std::unique_ptr<CKX_Setup> LoadSetupFromText(std::string_view text, const std::string& sourceName);

// Reads and parses a setup file of at most kMaxSetupFileSize bytes. Throws
// SetupFileError.
inline constexpr std::size_t kMaxSetupFileSize = 64 * 1024 * 1024;
KX_API std::unique_ptr<CKX_Setup> LoadSetupFile(const std::string& path);

// The JSON text of a setup (numbers written independently of the locale).
KX_API std::string SaveSetupToText(const CKX_Setup& setup);

// Writes the setup to path atomically: a temporary file in the same folder is
// written, flushed and renamed over the target, so that a failure, or the
// program being killed, leaves the old file as it was. A failure removes the
// temporary file; only a kill can leave it behind. Throws SetupFileError.
KX_API void SaveSetupFile(const CKX_Setup& setup, const std::string& path);

// Writes text to path atomically (as SaveSetupFile). Throws SetupFileError.
KX_API void WriteFileAtomically(const std::string& path, std::string_view text);

}  // namespace kx
