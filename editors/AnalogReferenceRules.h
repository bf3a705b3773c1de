// What the external reference setup decides without widgets: which
// parameters it binds in the present control mode, what it shows at start
// and on each load of its controls, and what its handlers change in the
// setup (unit of a range minimum, limits of the range and the dead band,
// master/slave gear ratio).
#pragma once

#include <vector>

#include "EditorRules.h"
#include "kx/Setup.h"

namespace dcdrive {

// Control ids of the external reference setup that more than one place names.
namespace reference_ids {
inline constexpr unsigned kTest = 1000, kPicture = 1014, kLimit = 3116, kDigital = 3289, kAnalogue = 3290,
                          kSource = 3399;
}

// One binding of the dialog: a value edit with its unit list (0: value only),
// a check box, a radio run from `first` to `second`, or an item-data list.
struct ReferenceBinding {
    enum class Kind { Value, Check, Radios, List };
    Kind kind;
    const char* name;
    unsigned first;
    unsigned second = 0;
};

// The drive reads an analogue reference: variable and parameter "CADIN".
bool HasAnalogueInput(const CKX_Setup& setup);

// The bindings for the control mode and analogue input of the setup, in the
// order the dialog makes them.
std::vector<ReferenceBinding> AnalogReferenceBindings(const CKX_Setup& setup);

// What the dialog shows once when it opens: the ends of the input span, the
// names of the mapped range and the limit check box by control mode, and
// whether the analogue choice is possible.
std::vector<ControlRule> AnalogReferenceStartRules(const CKX_Setup& setup);

// The picture of the mapping for the control mode (a bitmap id of the host
// GUI module; 0 when the mode has none).
unsigned AnalogReferencePicture(const CKX_Setup& setup);

// The rules applied each time the controls are loaded. `noneAvailable` is 1
// when no connector can take a digital reference.
std::vector<ControlRule> AnalogReferenceDisplayRules(const CKX_Setup& setup, int noneAvailable);

// The caption of the limit check box: the speed of an analogue position
// reference is limited, otherwise its acceleration.
const char* ReferenceLimitCaption(const CKX_Setup& setup);

// The minimum whose unit follows `name` ("POS_max" -> "POS_min", and so for
// "SPD_max", "CRT_max", "DeadBand_Point"); null for any other name. When
// there is one, the minimum is switched to the unit `name` shows now.
const char* CopyUnitToRangeMinimum(CKX_Setup& setup, const char* name);

// When `name` is an end of the position, speed or current range, derives the
// limits of both ends again and returns true.
bool LimitReferenceRange(CKX_Setup& setup, const char* name);

// When `name` is "DeadBand_Point" or "DeadBand_Range", derives the limits of
// the range again and returns the other of the two; null otherwise.
const char* LimitDeadBand(CKX_Setup& setup, const char* name);

// The master/slave gear ratio after either was typed: a value of exactly 0
// becomes 1, and two negative values both become positive (the ratio keeps
// its sign). Writes both; false when `name` is neither or one is missing.
bool ApplyGearRatioRule(CKX_Setup& setup, const char* name);

}  // namespace dcdrive
