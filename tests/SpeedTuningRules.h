// What the speed controller tuning test decides without widgets: the test
// speed that the drive can represent, the profile of the test speed, the
// validation on entering the Test tab and the oscilloscope's defaults.
#pragma once

#include <optional>

#include "TuningProfile.h"
#include "kx/Setup.h"

namespace dcdrive {

namespace programs {
inline constexpr const char* kSpeedTuning = "Speed_Controller_Tuning_Test";
inline constexpr const char* kIlimPS_Test = "IlimPS_Test";
inline constexpr const char* kMultiC = "MultiC";
}  // namespace programs

// "isSpeedEstimator" exists and is 1: the drive takes speeds with 16
// fractional bits.
bool UsesSpeedEstimator(const CKX_Setup& setup);

// The test speed moved to the nearest speed that the drive represents with
// the scale `scale` (internal units per base unit): a whole internal unit,
// or 1/65536 of one with the speed estimator. A speed that would round to 0
// becomes one whole internal unit, its sign kept.
double RoundedTestSpeed(double testSpeed, double scale, bool estimator);
// Rounds "TestSpeed" in the setup. Returns 0 and changes nothing when the
// setup lacks it or the speed scale is 0.
int RoundTestSpeed(CKX_Setup& setup);

// The profile's inputs from the setup: the test speed in internal units
// (whole units unless the speed estimator is used), the reference type
// (Positive when the setup lacks "SpeedTestReferenceType"), the times.
double SpeedProfileTarget(const CKX_Setup& setup);
ReferenceType SpeedReferenceType(const CKX_Setup& setup);
ProfileTimes SpeedProfileTimes(const CKX_Setup& setup);
// The six segments written before the run.
Profile SpeedTestProfile(const CKX_Setup& setup);

// The message of a failed validation on entering the Test tab of the speed
// or position test, or null: the test's current limit must not exceed its
// protection level.
const char* ValidateTuningTest(const CKX_Setup& setup);

// Oscilloscope defaults: the speed channels from "TestSpeed" (none without
// it), the current channels from "TestLimitCurrent" (none without it), and
// the time base and trigger.
std::optional<ChannelScale> SpeedChannelScale(const CKX_Setup& setup);
std::optional<ChannelScale> CurrentChannelScaleOf(const CKX_Setup& setup);
ScopeSettings SpeedScopeSettings(const CKX_Setup& setup);

}  // namespace dcdrive
