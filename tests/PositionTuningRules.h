// What the position controller tuning test decides without widgets: the
// program and logged signals by the position control structure, the test
// position that the drive can represent, its profile and the oscilloscope's
// defaults. The profile's checks and texts are the speed test's.
#pragma once

#include <array>
#include <optional>

#include "TuningProfile.h"
#include "kx/Setup.h"

namespace dcdrive {

namespace programs {
inline constexpr const char* kPositionTuningWithSpeed = "Position_Controller_Tuning_Test_with_SpdCtrl";
inline constexpr const char* kPositionTuningWithoutSpeed = "Position_Controller_Tuning_Test_without_SpdCtrl";
inline constexpr const char* kLimitSpeed = "LimitSpeed";
}  // namespace programs

// "PositionControlType" is 1: the position loop runs over the speed loop.
bool PositionOverSpeedLoop(const CKX_Setup& setup);
// The program that runs the test, by the control structure.
const char* PositionTuningProgram(const CKX_Setup& setup);
// The logged signals in column order: the target and load positions, then
// the speed reference and load speed over the speed loop, else the current
// reference and motor current.
std::array<const char*, 4> PositionLoggedVariables(const CKX_Setup& setup);
// "LimitSpeed": the full scale less the speed loop's saturation "SATS"
// (internal unit, truncated).
double LimitSpeedInput(double satsInternal);

// The test position moved to the nearest whole count with the scale `scale`
// (counts per base unit); a position that would round to 0 becomes one
// count of its sign.
double RoundedTestPosition(double testPosition, double scale);
// Rounds "TestPosition" in the setup. Returns 0 and changes nothing when the
// setup lacks it or the position scale is 0.
int RoundTestPosition(CKX_Setup& setup);

// The profile's inputs from the setup: the test position in whole counts,
// the reference type ("PositionTestReferenceType", read only when the setup
// has "SpeedTestReferenceType"; Positive otherwise), the times.
double PositionProfileTarget(const CKX_Setup& setup);
ReferenceType PositionReferenceType(const CKX_Setup& setup);
ProfileTimes PositionProfileTimes(const CKX_Setup& setup);
// The six segments written before the run.
Profile PositionTestProfile(const CKX_Setup& setup);

// Oscilloscope defaults: the position channels from "TestPosition" (none
// without it); over the speed loop, the speed channels from the peak speed
// of the profile in the displayed unit of "TestSpeed" (none without either
// parameter; "TestSpeed" is used to convert and keeps its value); and the
// time base and trigger.
std::optional<ChannelScale> PositionChannelScale(const CKX_Setup& setup);
std::optional<ChannelScale> PositionSpeedChannelScale(CKX_Setup& setup);
ScopeSettings PositionScopeSettings(const CKX_Setup& setup);

}  // namespace dcdrive
