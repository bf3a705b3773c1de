// What the motor setup editor decides without widgets: which parameters it
// binds on this drive, what it enables, shows and captions, the lists it
// offers (encoder input filters, interpolation levels, serial encoder
// clocks), the counts it derives for sine/cosine encoders, the limits on the
// bits of an absolute encoder, the transmission a serial load encoder allows,
// and what OK writes.
#pragma once

#include <string>
#include <vector>

#include "EditorRules.h"
#include "kx/DriveLists.h"
#include "kx/Setup.h"

namespace dcdrive {

// ---- the drive

// The drive offers a motor (load) sensor of that kind, whatever is selected.
bool DriveOffersMotorSensor(const CKX_Setup& setup, int kind);
bool DriveOffersLoadSensor(const CKX_Setup& setup, int kind);
// ... an SSI or BiSS encoder on that side.
bool DriveOffersMotorSerialEncoder(const CKX_Setup& setup);
bool DriveOffersLoadSerialEncoder(const CKX_Setup& setup);

// ---- bindings

// The names of the parameters the dialog owns (they are not in the setup).
inline constexpr const char* kEquivCountsPerRev = "EquivCountsPerRev";
inline constexpr const char* kResolutionWithInterpolation_LD = "ResolutionWithInterpolation_LD";
inline constexpr const char* kEquivCountsPerRev_LD = "EquivCountsPerRev_LD";

// One binding of the motor setup editor, in the order they are made.
struct MotorBinding {
    enum class Kind { Value, Check, Radio, List, Owned };
    Kind kind;
    const char* name;
    unsigned first;       // edit, check, first radio or list
    unsigned second = 0;  // unit list or last radio; 0 for none
};
std::vector<MotorBinding> MotorSetupBindings(const CKX_Setup& setup);

// ---- derived counts of sine/cosine encoders

// "No_encoder_lines" x 2^"SINCOS_fract" (0 when either is missing).
double EquivCountsPerRev(const CKX_Setup& setup);
// "No_encoder_lines_LD" x 2^"SINCOS_fract_LD".
double EquivCountsPerRevLoad(const CKX_Setup& setup);
// "Resolution_LD" / 2^"SINCOS_fract_LD".
double ResolutionWithInterpolationLoad(const CKX_Setup& setup);
// Whether the dialog owns the motor's (the load's) derived parameters.
bool HasMotorDerivedCounts(const CKX_Setup& setup);
bool HasLoadDerivedCounts(const CKX_Setup& setup);

// ---- display

// The rules applied each time the editor loads its controls, in order.
std::vector<ControlRule> MotorSetupDisplayRules(const CKX_Setup& setup);

// The text under the brake output: which output level applies the brake.
std::string BrakeText(const CKX_Setup& setup);
inline constexpr const char* kBrakeTextHead = "Motor brake is applied when ";
inline constexpr const char* kBrakeSourceText = "PNP (source) output is connected to +Vlog.";
inline constexpr const char* kBrakeSinkText = "NPN (sink) output is connected to GND.";

// The brake group can be used: the setup has the brake parameters and the
// drive has a brake output.
bool IsBrakeAvailable(const CKX_Setup& setup);
// The brake controls that are enabled and disabled as one.
inline constexpr unsigned kBrakeControls[] = {3382, 3386, 3388, 3390, 3391, 3389, 3392, 3393};

inline constexpr const char* kLimitSwitchMessage =
    "When there is only a position sensor on the motor and the load moves in opposite direction (i.e. "
    "transmission is negative), the h/w limit switches connections need to be reversed. \n\nConnect positive "
    "limit switch sensor to drive's LSN input and negative limit switch sensor to drive's LSP input.";

// ---- lists

// "1/3", "1/6", "1/12" ... "1/72" of the maximum input bandwidth, data 0 to 12.
std::vector<kx::ListEntry> EncoderFilterItems();

// The interpolation levels 2^k of the motor's (the load's) sine/cosine
// encoder, k from the minimum to the maximum of "SINCOS_fract"
// ("SINCOS_fract_LD"); first, when the setup has "ELRES_FRACT", the fraction
// register and the lowest level are derived again from the encoder lines.
std::vector<kx::ListEntry> InterpolationItems(CKX_Setup& setup, bool load);

// The serial encoder clocks of the motor's (the load's) SSI or BiSS encoder
// that the limits of "SSI_freq" ("SSI_freq_LD") allow, as "<f> kHz" with the
// frequency in kHz as item data. `complete` is false when the drive's lists
// differ in length (nothing is offered and nothing said); an empty `items`
// from complete lists is reported with the message.
struct SerialFrequencyList {
    std::vector<kx::ListEntry> items;
    bool complete = true;
};
SerialFrequencyList SerialFrequencyItems(const CKX_Setup& setup, bool load);
inline constexpr const char* kNoMotorFrequencyMessage =
    "No valid frequency found for SSI/BiSS encoder. Please check frequency list or SSI_Freq paramter limits.";
inline constexpr const char* kNoLoadFrequencyMessage =
    "No valid frequency found for SSI/BiSS encoder. Please check frequency list or SSI_Freq_LD paramter "
    "limits.";

// ---- changes

// The serial encoder clock and the absolute encoder interface timing
// registers, from the clock parameter of the side that has the serial encoder.
void WriteSerialClockRegisters(CKX_Setup& setup);

// The bits of the motor's absolute encoder, revolution plus turns, within the
// drive's maximum ("SSIMaxBits", else 31): the revolution bits are kept up
// to the maximum and the turns get what is left. True when it wrote them.
bool LimitSsiBits(CKX_Setup& setup);
// The same for the load's; with a linear transmission only the revolution
// bits are capped.
bool LimitLoadSsiBits(CKX_Setup& setup);

// Without "SSI_Resolution_LD" an absolute load encoder measures rotary motion
// only: "Rotary to linear" is offered only without one, and a linear
// transmission falls back to rotary when one is chosen. Returns whether
// "Rotary to linear" is offered, or -1 when the drive measures linear
// motion with an absolute encoder too (nothing to decide).
int UpdateTransmissionTypeChoice(CKX_Setup& setup);

// A tachogenerator alone cannot give a position: no software limits, speed
// instead of position control, and an external reference then analogue.
void ApplyTachoOnlyRules(CKX_Setup& setup);

// What OK writes: no motor over-temperature protection without a sensor, the
// tachogenerator rules, no freeze control outside position control, the
// interpolation level shared with a side that is no sine/cosine encoder,
// position over the speed loop when a second sensor came, the speed
// feed-forward.
void ApplyMotorSetupOK(CKX_Setup& setup, bool bothSensorsAtStart);

// "Motor_transmission" or "Load_transmission" of exactly 0 becomes one
// revolution. True when it wrote it.
bool ApplyZeroTransmission(CKX_Setup& setup, const char* name);

}  // namespace dcdrive
