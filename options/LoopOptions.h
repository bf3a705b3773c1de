// The string options that tell the host which control loops the drive closes
// and which sensor feeds each of them, and the small rules on the same
// parameters that the editors and the drivers share: the forced speed
// feed-forward flag and the choice of the digital reference connector.
// (The presence tests HasSpeedForward, HasReverseCounting and
// HasEncoderFilters are in conversions/Capabilities.h.)
#pragma once

#include "kx/Setup.h"

class CKX_ListControl;

namespace dcdrive {

// Writes "IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent" from the
// control mode, then the sensor descriptions "LoadPosition", "MotorPosition",
// "MotorSpeed" ("<sensor> on <connector>" in the host's names, or "") and the
// flags "isPositionFeedbackOnLoad", "isPositionFeedbackOnMotor",
// "isSpeedFeedback". Returns 1; returns 0 and writes no option at all when
// "ControlMode", or "PositionControlType" in position control, is not a mode
// that the drive knows.
int ComputeLoopOptions(CKX_Setup& setup);

// Except for a position loop over the speed loop, the drive always runs with
// speed feed-forward: sets "SpeedForward" to 1 and bit 14 of "ACR". Returns 0
// and changes nothing when one of "SpeedForward", "ControlMode",
// "PositionControlType", "ACR" is missing, else 1.
int UpdateSpeedForward(CKX_Setup& setup);

// Keeps "DigitalReferenceConnector" on a connector that can serve as digital
// reference input and is not taken by the motor or load sensor. The present
// connector stays when it qualifies; otherwise the last qualifying connector
// in connector order is chosen. With a list, every qualifying connector is
// added to it (its name as text, its number as datum) and the chosen one is
// selected. `noneAvailable` receives 1 when no connector qualifies; the
// reference then falls back to analogue ("isAnalogueReference" set to 1).
void SelectDigitalReferenceConnector(CKX_Setup& setup, CKX_ListControl* list, int& noneAvailable);

}  // namespace dcdrive
