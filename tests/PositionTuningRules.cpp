#include "PositionTuningRules.h"

#include <algorithm>
#include <cmath>

#include "TestRules.h"
#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"
#include "kx/Kernel.h"

namespace dcdrive {

using namespace names;

bool PositionOverSpeedLoop(const CKX_Setup& setup) { return Value(setup, kPositionControlType) == 1.0; }

const char* PositionTuningProgram(const CKX_Setup& setup) {
    return PositionOverSpeedLoop(setup) ? programs::kPositionTuningWithSpeed
                                        : programs::kPositionTuningWithoutSpeed;
}

std::array<const char*, 4> PositionLoggedVariables(const CKX_Setup& setup) {
    if (PositionOverSpeedLoop(setup))
        return {kTarget_Position, kLoad_Position, kSpeed_Reference, kLoad_Speed};
    return {kTarget_Position, kLoad_Position, programs::kCurrent_Reference, programs::kMotor_Current};
}

double LimitSpeedInput(double satsInternal) { return kFullScale - TruncateToInt32(satsInternal); }

double RoundedTestPosition(double testPosition, double scale) {
    const double exact = testPosition * scale;
    double n = TG_FRound(exact);
    if (n == 0.0) n = exact >= 0.0 ? 1.0 : -1.0;
    return n / scale;
}

int RoundTestPosition(CKX_Setup& setup) {
    CKX_Parameter* position = Probe(setup, kTestPosition);
    const double scale = PositionScale(setup);
    if (!position || !IsDivisor(scale)) return 0;
    return WriteBase(*position, RoundedTestPosition(position->GetValueInBaseUnit(), scale));
}

double PositionProfileTarget(const CKX_Setup& setup) {
    return TG_FRound(Value(setup, kTestPosition) * PositionScale(setup));
}

ReferenceType PositionReferenceType(const CKX_Setup& setup) {
    if (!HasSpeedTestReferenceType(setup)) return ReferenceType::Positive;
    return ReferenceTypeOf(CodeOr(setup, kPositionTestReferenceType, 0));
}

ProfileTimes PositionProfileTimes(const CKX_Setup& setup) {
    return {Value(setup, kTPP), Value(setup, kTNP), Value(setup, kTaPP), Value(setup, kTaNP)};
}

Profile PositionTestProfile(const CKX_Setup& setup) {
    return ComputeProfile(PositionProfileTarget(setup), SpeedLoopPeriod(setup), PositionProfileTimes(setup),
                          PositionReferenceType(setup), RampCount::OneLess);
}

std::optional<ChannelScale> PositionChannelScale(const CKX_Setup& setup) {
    const CKX_Parameter* position = Probe(setup, kTestPosition);
    if (!position) return std::nullopt;
    return ReferenceChannelScale(position->GetValueInDisplayUnit(), position->GetUnitName());
}

std::optional<ChannelScale> PositionSpeedChannelScale(CKX_Setup& setup) {
    const CKX_Parameter* position = Probe(setup, kTestPosition);
    CKX_Parameter* speed = Probe(setup, kTestSpeed);
    if (!position || !speed) return std::nullopt;
    const ProfileTimes times = PositionProfileTimes(setup);
    const double peak = position->GetValueInBaseUnit() / std::min(times.tap, times.tan);
    // The displayed unit's conversion is the parameter's: set the peak on it,
    // read it back displayed, and give the parameter its value again.
    const double saved = speed->GetValueInInternalUnit();
    speed->SetValueInBaseUnit(peak);
    const double displayed = speed->GetValueInDisplayUnit();
    speed->SetValueInInternalUnit(saved);
    const double s = NiceStep(std::fabs(0.5 * displayed));
    return ChannelScale{speed->GetUnitName(), s, 2.0 * s};
}

ScopeSettings PositionScopeSettings(const CKX_Setup& setup) {
    const ProfileTimes times = PositionProfileTimes(setup);
    const CKX_Parameter* position = Probe(setup, kTestPosition);
    if (!position) {
        // Without a test position the cycle's shape follows the speed test's type.
        const ReferenceType type = ReferenceTypeOf(CodeOr(setup, kSpeedTestReferenceType, 0));
        return {ProfileCycleTime(times, type), kScopeModeFree, 1, nullptr, 0.0, 0.0};
    }
    const double p = position->GetValueInBaseUnit();
    const ReferenceType type = PositionReferenceType(setup);
    const double t = ScopeTimeBase(times, type);
    ScopeSettings settings{
        t,   CodeOr(setup, kMultiCycleP, 0) != 0 ? kScopeModeMultiCycle : kScopeModeSingleCycle,
        1,   kTarget_Position,
        0.0, ScopePreTrigger(times, t)};
    switch (type) {
        case ReferenceType::Negative:
            settings.level = -0.95 * p;
            settings.slope = p < 0.0 ? 1 : 0;
            break;
        case ReferenceType::Bidirectional:
            settings.level = 0.9 * p;
            settings.slope = p >= 0.0 ? 1 : 0;
            break;
        case ReferenceType::Positive:
        default:
            settings.level = 0.95 * p;
            settings.slope = p >= 0.0 ? 1 : 0;
            break;
    }
    return settings;
}

}  // namespace dcdrive
