// What the advanced settings dialog decides without widgets: the control
// scheme picture, what it enables and shows, the loop dividers that keep the
// loop periods when the PWM frequency changes, the serial encoder clock that
// the current loop needs, the rescaling of time-based parameters when the
// slow loop period changes, and the minimum periods that OK requires.
#pragma once

#include <string>
#include <vector>

#include "EditorRules.h"
#include "kx/Setup.h"

namespace dcdrive {

// Bitmaps of the control schemes (taken from the host GUI module).
inline constexpr unsigned kSchemeBitmaps[] = {3067, 3000, 3017, 3016, 3001, 3062, 3063};

// The scheme picture for the control mode, the sensors and the position
// control type.
unsigned AdvancedSchemeBitmap(const CKX_Setup& setup);

// Whether the high resolution speed estimator may be switched on with these
// sensors (and, with the option "newSpeedEstimator", the loop choice).
bool SpeedEstimatorAllowed(const CKX_Setup& setup);

// The rules applied once when the dialog opens, in order.
std::vector<ControlRule> AdvancedInitRules(const CKX_Setup& setup);
// The rules applied each time the dialog loads its controls, in order.
std::vector<ControlRule> AdvancedDisplayRules(const CKX_Setup& setup);

// A new "PWM_freq": "PWMPER", "SATPWM" and "PWMperiod" from it, then the
// dividers that come nearest to the fast and slow reference periods, then
// the loop periods from them.
void ApplyPWMFrequencyChange(CKX_Setup& setup, double fastReference, double slowReference);

// The lowest serial encoder clock (Hz) that can be read within the current
// loop period, for the interface timings of the setup; 0 when the timings
// leave no time to read.
double SerialClockMinimum(const CKX_Setup& setup);

// What the dialog keeps between refreshes and what one refresh asks it to show.
struct AdvancedState {
    double rescaleReference = 0;  // s: the last slow loop period parameters were rescaled to
    double fastReference = 0;     // s: the periods a change of PWM frequency keeps
    double slowReference = 0;
};
struct AdvancedRefresh {
    std::vector<std::string> messages;  // shown in this order
    int fastOutside = -1;               // 1: fast period below its minimum, 0: within, -1: not checked
    int slowOutside = -1;
};

// Everything a changed `name` does to the setup: the slow loop kept at least
// as slow as the fast loop, the periods and PWM registers, a too slow serial
// encoder clock raised, the time-based parameters rescaled to a new slow loop
// period, the minimum-period checks and the new references.
AdvancedRefresh ApplyAdvancedRefresh(CKX_Setup& setup, const char* name, AdvancedState& state);

// After a change of the slow loop period: every time, speed, acceleration
// and current-slope parameter keeps its value in base units, its drive count
// following the new period within its limits, and the I2t protections keep
// their energy when a limit moved their times.
void RescaleToSlowLoopPeriod(CKX_Setup& setup);

// The messages that keep OK from closing the dialog (empty: it may close).
std::vector<std::string> AdvancedOKMessages(const CKX_Setup& setup);

inline constexpr const char* kMotorSerialClockMessage =
    "Current loop period is too short to read the SSI encoder!";
inline constexpr const char* kLoadSerialClockMessage =
    "Current loop period is to short to read the SSI encoder!";

}  // namespace dcdrive
