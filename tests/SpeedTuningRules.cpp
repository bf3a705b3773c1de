#include "SpeedTuningRules.h"

#include <cmath>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"
#include "kx/Kernel.h"

namespace dcdrive {

using namespace names;

bool UsesSpeedEstimator(const CKX_Setup& setup) {
    const CKX_Parameter* estimator = Probe(setup, kisSpeedEstimator);
    return estimator && estimator->GetValueInBaseUnit() == 1.0;
}

double RoundedTestSpeed(double testSpeed, double scale, bool estimator) {
    const double exact = testSpeed * scale;
    double w = estimator ? std::floor(exact * kIncrementUnit + 0.5) / kIncrementUnit : TG_FRound(exact);
    if (w == 0.0) w = exact >= 0.0 ? 1.0 : -1.0;
    return w / scale;
}

int RoundTestSpeed(CKX_Setup& setup) {
    CKX_Parameter* speed = Probe(setup, kTestSpeed);
    const double scale = SpeedScale(setup);
    if (!speed || !IsDivisor(scale)) return 0;
    return WriteBase(*speed, RoundedTestSpeed(speed->GetValueInBaseUnit(), scale, UsesSpeedEstimator(setup)));
}

double SpeedProfileTarget(const CKX_Setup& setup) {
    const double w = Value(setup, kTestSpeed) * SpeedScale(setup);
    return UsesSpeedEstimator(setup) ? w : TG_FRound(w);
}

ReferenceType SpeedReferenceType(const CKX_Setup& setup) {
    return ReferenceTypeOf(CodeOr(setup, kSpeedTestReferenceType, 0));
}

ProfileTimes SpeedProfileTimes(const CKX_Setup& setup) {
    return {Value(setup, kTPS), Value(setup, kTNS), Value(setup, kTaPS), Value(setup, kTaNS)};
}

Profile SpeedTestProfile(const CKX_Setup& setup) {
    return ComputeProfile(SpeedProfileTarget(setup), SpeedLoopPeriod(setup), SpeedProfileTimes(setup),
                          SpeedReferenceType(setup), RampCount::KeepShortRamps);
}

const char* ValidateTuningTest(const CKX_Setup& setup) {
    const CKX_Parameter* limit = Probe(setup, kTestLimitCurrent);
    const CKX_Parameter* protection = Probe(setup, kTestProtectionCurrent);
    if (limit && protection && limit->GetValueInBaseUnit() > protection->GetValueInBaseUnit())
        return "Over current protection must be greater than Drive current limit. Recommended value for "
               "Drive "
               "current limit is maximum 90% of Over current protection.";
    return nullptr;
}

std::optional<ChannelScale> SpeedChannelScale(const CKX_Setup& setup) {
    const CKX_Parameter* speed = Probe(setup, kTestSpeed);
    if (!speed) return std::nullopt;
    return ReferenceChannelScale(speed->GetValueInDisplayUnit(), speed->GetUnitName());
}

std::optional<ChannelScale> CurrentChannelScaleOf(const CKX_Setup& setup) {
    const CKX_Parameter* current = Probe(setup, kTestLimitCurrent);
    if (!current) return std::nullopt;
    return CurrentChannelScale(current->GetValueInDisplayUnit(), current->GetUnitName());
}

ScopeSettings SpeedScopeSettings(const CKX_Setup& setup) {
    const ProfileTimes times = SpeedProfileTimes(setup);
    const ReferenceType type = SpeedReferenceType(setup);
    const CKX_Parameter* speed = Probe(setup, kTestSpeed);
    if (!speed) return {ProfileCycleTime(times, type), kScopeModeFree, 1, nullptr, 0.0, 0.0};
    // The negative profile triggers as the positive one does.
    const double v = speed->GetValueInBaseUnit();
    const double t = ScopeTimeBase(times, type);
    const int mode = CodeOr(setup, kMultiCycleS, 0) != 0 ? kScopeModeMultiCycle : kScopeModeSingleCycle;
    return {t, mode, v >= 0.0 ? 1 : 0, kSpeed_Reference, v, ScopePreTrigger(times, t)};
}

}  // namespace dcdrive
