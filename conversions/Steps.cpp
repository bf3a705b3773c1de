#include "Steps.h"

#include <cmath>
#include <initializer_list>

#include "Capabilities.h"
#include "Conventions.h"
#include "Derived.h"
#include "Names.h"
#include "options/Limits.h"

namespace dcdrive {

using namespace names;

namespace {

// Full scale of a 32-bit register, in counts (kFullScale for a 16-bit one).
constexpr double kLongFullScale = 2147483647.0;
// The drive counts test timings in slow-loop periods in an unsigned word.
constexpr double kMaxTimingPeriods = 65535.0;

// The slow-loop period when it can bound anything: a period that is not
// positive (an incomplete setup) gives NaN, which no limit writes.
double BoundingPeriod(const CKX_Setup& setup) {
    const double tsl = SpeedLoopPeriod(setup);
    return tsl > 0.0 ? tsl : std::nan("");
}

void LimitErrorBands(CKX_Setup& setup) {
    LimitMaximum(setup, kERR_speed, [&setup] { return kFullScale / std::fabs(SpeedScale(setup)); });
    LimitMaximum(setup, kERR_position, [&setup] {
        const double counts = HasLargePositionError(setup) ? kLongFullScale : kFullScale;
        return counts / std::fabs(PositionScale(setup));
    });
}

// The error times count slow-loop periods in a signed word.
void LimitErrorTimes(CKX_Setup& setup) {
    for (const char* name : {ktime_ERR_spd, ktime_ERR_pos})
        LimitMaximum(setup, name, [&setup] { return kFullScale * BoundingPeriod(setup); });
}

void LimitPassBands(CKX_Setup& setup) {
    const struct {
        const char* band;
        const char* min;
        const char* max;
    } bands[] = {{kPB_C, kPB_C_minim, kPB_C_maxim},
                 {kPB_S, kPB_S_minim, kPB_S_maxim},
                 {kPB_P, kPB_P_minim, kPB_P_maxim}};
    for (const auto& b : bands)
        LimitRange(setup, b.band, [&setup, &b] { return Bounds{Value(setup, b.min), Value(setup, b.max)}; });
}

// Whole slow-loop periods; a position ramp needs two of them.
void LimitTestTimings(CKX_Setup& setup) {
    const struct {
        const char* name;
        double minPeriods;
    } timings[] = {{kTPP, 1}, {kTNP, 1}, {kTaPP, 2}, {kTaNP, 2},
                   {kTPS, 1}, {kTNS, 1}, {kTaPS, 1}, {kTaNS, 1}};
    for (const auto& t : timings) {
        LimitRange(setup, t.name, [&setup, &t] {
            const double tsl = BoundingPeriod(setup);
            return Bounds{t.minPeriods * tsl, kMaxTimingPeriods * tsl};
        });
    }
}

// The analogue reference input's filter runs in the slow loop: at most its
// Nyquist frequency.
void LimitReferenceFilter(CKX_Setup& setup) {
    LimitMaximum(setup, kfilter, [&setup] { return 1.0 / (2.0 * SpeedLoopPeriod(setup)); });
}

}  // namespace

void ComputeParameterLimits(CKX_Setup& setup) {
    LimitNominalCurrent(setup);
    LimitErrorBands(setup);
    LimitErrorTimes(setup);
    LimitPassBands(setup);
    LimitTestTimings(setup);
    LimitTestPosition(setup);
    LimitTestSpeed(setup);
    if (HasAnalogueReferenceScaling(setup)) {
        LimitReferenceFilter(setup);
        LimitDeadBandPoint(setup);
        LimitDeadBandRange(setup);
        LimitPositionMax(setup);
        LimitPositionMin(setup);
        LimitCurrentMax(setup);
        LimitCurrentMin(setup);
    }
    if (HasMotorSerialEncoder(setup)) LimitSSIOffset(setup);
    if (HasBiquadFilters(setup)) LimitFilterFrequencies(setup);
}

namespace {

// The quantity a load-side name measures, with its rotary and linear unit.
struct LoadUnit {
    const char* rotary;
    const char* linear;
};
constexpr LoadUnit kPosition{"rot", "mm"};
constexpr LoadUnit kSpeed{"rpm", "m/s"};
constexpr LoadUnit kLimitSpeed{"rad/s", "m/s"};
constexpr LoadUnit kAcceleration{"rad/s^2", "m/s^2"};
constexpr LoadUnit kJerk{"rad/s^3", "m/s^3"};

using Condition = bool (*)(const CKX_Setup&);

struct LoadName {
    const char* name;
    const LoadUnit& unit;
    Condition condition = nullptr;  // the name is handled only when this holds
};

// In the order in which the units are changed.
const LoadName kLoadParameters[] = {
    {kLoad_transmission, kPosition},
    {kTestSpeed, kSpeed},
    {kLimit_Speed, kLimitSpeed},
    {kTestPosition, kPosition},
    {kERR_position, kPosition},
    {kERR_speed, kLimitSpeed},
    {kPOS_max, kPosition, HasAnalogueReferenceScaling},
    {kPOS_min, kPosition, HasAnalogueReferenceScaling},
    {kSPD_max, kSpeed, HasAnalogueReferenceScaling},
    {kSPD_min, kSpeed, HasAnalogueReferenceScaling},
    {kErefMaxSpeed, kSpeed},
    {kErefMaxAcceleration, kAcceleration},
    {kFreezeControl_errband, kPosition, HasFreezeControl},
    {kMotionCompleteSettleBand, kPosition, HasMotionCompleteSettings},
    {kNegative_SWLS, kPosition, HasSoftwareLimits},
    {kPositive_SWLS, kPosition, HasSoftwareLimits},
    {kPosRange_Minimum, kPosition, HasPositionRange},
    {kPosRange_Maximum, kPosition, HasPositionRange},
};

const LoadName kLoadVariables[] = {
    {kLoad_Position, kPosition},
    {kLoad_Speed, kSpeed},
    {kTarget_Position, kPosition},
    {kTarget_Speed, kSpeed},
    {kSpeed_Reference, kSpeed},
    {kPosition_Error, kPosition},
    {kSpeed_Error, kSpeed},
    {kPulse_Dir_Input_Speed, kSpeed},
    {kPulse_Dir_Input_Position, kPosition},
    {kAPOS, kPosition},
    {kAPOS_LD, kPosition},
    {kASPD_LD, kSpeed},
    {kCACC, kAcceleration},
    {kCAPPOS, kPosition},
    {kCDEC, kAcceleration},
    {kCPOS, kPosition},
    {kCSPD, kSpeed},
    {kEREFP, kPosition},
    {kEREFS, kSpeed},
    {kERRMAX, kPosition},
    {kERRMAXL, kPosition, HasLargePositionError},
    {kHOMEPOS, kPosition},
    {kHOMESPD, kSpeed},
    {kJERK, kJerk},
    {kPOSERR, kPosition},
    {kPOSINIT, kPosition},
    {kPOSOKLIM, kPosition},
    {kPOSTRIGG1, kPosition},
    {kPOSTRIGG2, kPosition},
    {kPOSTRIGG3, kPosition},
    {kPOSTRIGG4, kPosition},
    {kSERRMAX, kSpeed},
    {kSPDERR, kSpeed},
    {kSPDREF, kSpeed},
    {kTACC, kAcceleration},
    {kTPOS, kPosition},
    {kTPOSFAST, kPosition},
    {kTSPD, kSpeed},
};

}  // namespace

int ComputeLoadUnits(CKX_Setup& setup) {
    const bool linear = TransmissionOf(setup) != TransmissionType::RotaryToRotary;
    auto unitOf = [linear](const LoadName& n) { return linear ? n.unit.linear : n.unit.rotary; };
    for (const LoadName& n : kLoadParameters) {
        if (n.condition && !n.condition(setup)) continue;
        if (CKX_Parameter* parameter = Probe(setup, n.name)) parameter->ChangeUnitType(unitOf(n));
    }
    for (const LoadName& n : kLoadVariables) {
        if (n.condition && !n.condition(setup)) continue;
        const kx::QuietLookup quiet;
        if (CKX_Variable* variable = setup.FindVariable(n.name, 1)) variable->ChangeUnitType(unitOf(n));
    }
    return 1;
}

}  // namespace dcdrive
