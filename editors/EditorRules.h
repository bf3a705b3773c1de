// What the setup editors decide without widgets: the enable, show and
// caption rules of a dialog as functions of the setup, and the changes that
// their handlers make to the setup. The dialogs apply the results to their
// controls; the tests call these directly.
#pragma once

#include <string>
#include <vector>

#include "kx/Setup.h"

namespace dcdrive {

// One display rule: enable or show a list of controls, or set a caption.
struct ControlRule {
    enum class Action { Enable, Show, Text };
    Action action;
    std::vector<unsigned> ids;
    bool on = false;   // Enable, Show
    std::string text;  // Text
};

// ---- controller gains (every editor)

// When `name` is one of the scaled controller gains (letter case ignored),
// writes its value-and-shift registers from it and reads the gain back from
// them, so that it holds what the drive will use. False for other names.
bool WriteBackGain(CKX_Setup& setup, const char* name);

// ---- the drive setup editor

// The rules applied each time the editor loads its controls, in order.
std::vector<ControlRule> DriveSetupDisplayRules(const CKX_Setup& setup);

// The sink and source captions of the two rows of polarity radios (3404, 3405).
struct PolarityCaptions {
    const char* upper;
    const char* lower;
};
inline constexpr PolarityCaptions kSinkCaptions{"Active high (Connected to +Vlog)",
                                                "Active low (Open/No connection)"};
inline constexpr PolarityCaptions kSourceCaptions{"Active high (Open/No connection)",
                                                  "Active low (Connected to GND)"};

// The input type shown at start: whether the sink/source radios can be
// changed, and, when the setup has no "InputsPolarityType" to bind them to,
// which one is checked; the captions that go with it.
struct InputTypeDisplay {
    bool radiosEnabled = false;
    bool setsRadios = false;  // the radios are set here (else their binding shows them)
    bool sink = false;
    PolarityCaptions captions = kSourceCaptions;
};
InputTypeDisplay DriveSetupInputType(const CKX_Setup& setup);

// The caption of the digital reference kind (3318).
const char* DigitalReferenceCaption(const CKX_Setup& setup);

// The axis ID list: "1" ... "255", then "H/W"; the item shown for the
// parameter's value (H/W for 0); the value for an item's text (atoi: H/W is 0).
std::vector<std::string> AxisIdItems();
int AxisIdItemIndex(double value);
int AxisIdFromText(const std::string& text);
// Axis IDs 128 ... 255 leave a CANopen drive non-configured.
bool AxisIdNeedsCANopenWarning(int itemIndex);
inline constexpr const char* kAxisIdCANopenMessage =
    "If your drive is set in CANopen mode, the axis ID values must be in the range 1-127. Any value over 127 "
    "will "
    "set the drive as non-configured and further CANopen communication will be disabled until a valid Axis "
    "ID will "
    "be set in the drive. Leave the drive with a non-configured axis ID only if you intend to set the Axis "
    "ID later "
    "via a CANopen master using CiA305 LSS protocol.";

// A tachogenerator on the motor with an encoder on the load cannot close
// position over the current loop: position control then runs over the speed
// loop ("PositionControlType" 1). True when it changed the setup.
bool ApplyTachogeneratorRule(CKX_Setup& setup);

// What the editor does to the setup when the user changed `name` (before the
// gain write-back): mode side effects, the software limit pair, leaving the
// motion-complete defaults. True when it changed something beyond `name`.
struct DriveSetupChange {
    bool refreshAll = false;           // every control must be reloaded
    std::vector<std::string> refresh;  // these parameters' controls must be reloaded
};
DriveSetupChange ApplyDriveSetupChange(CKX_Setup& setup, const char* name);

// A new "InputsPolarityType" inverts the three input polarities.
void InvertInputPolarities(CKX_Setup& setup);

// Widens a position range narrower than 3 counts to 3 counts and writes the
// limits back where they changed. True when either limit was written.
bool WidenPositionRange(CKX_Setup& setup);

// ---- drive info

// What the drive info dialog enables, in edit mode or not: the rated values
// and identity only in edit mode, the values of a protection only while it is
// on; unit lists and captions follow their protection whatever the mode.
std::vector<ControlRule> DriveInfoDisplayRules(const CKX_Setup& setup, bool editMode);

// No drive over-temperature protection without the drive's temperature
// sensor. True when it switched the protection off.
bool ApplyDriveTemperatureRule(CKX_Setup& setup);

// The E2ROM size typed in Kwords, as the 16-bit word count the host keeps:
// atoi of the text shifted left by 10 (a text that is no number gives 0).
// False for a size the word count cannot hold (below 0 or above 63 Kwords).
bool E2ROMWordsFromText(const std::string& text, unsigned& words);
inline constexpr const char* kE2ROMSizeMessage =
    "The E2ROM size must be a whole number of Kwords from 0 to 63.";

// ---- motor inertia question

// 1: the total inertia becomes 1 % above the motor inertia; 2: the motor
// inertia is no longer used. False (nothing changed) for no selection.
bool ApplyInertiaChoice(CKX_Setup& setup, int selection);
inline constexpr const char* kNoInertiaSelectionMessage =
    "No selection has been made. The dialog can only close if you make a selection.";

}  // namespace dcdrive
