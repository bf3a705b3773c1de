#include "AdvancedRules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>

#include "MotorSetupRules.h"
#include "conversions/Capabilities.h"
#include "conversions/Codes.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Feedback.h"
#include "conversions/Names.h"
#include "conversions/Timing.h"
#include "kx/Kernel.h"
#include "options/LoopOptions.h"

namespace dcdrive {
namespace {

using namespace names;

constexpr double kSerialClockStep = 250000.0;  // Hz: the serial encoder clock is raised in these steps

// The control mode and the sensors, compared as numbers.
struct Scheme {
    double cm, m, l, pct;
    explicit Scheme(const CKX_Setup& setup)
        : cm(ValueOr(setup, kControlMode, 0)),
          m(ValueOr(setup, kMotorSensorType, 0)),
          l(ValueOr(setup, kLoadSensorType, 0)),
          pct(ValueOr(setup, kPositionControlType, 0)) {}
    bool Position() const { return cm == 0; }
    bool Torque() const { return cm == 2; }
};

ControlRule Enable(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Enable, std::move(ids), on, {}};
}
ControlRule Show(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Show, std::move(ids), on, {}};
}

// The speed feed-forward radios: the group and "current loop" whenever the
// drive has the choice outside torque control, "speed loop" only when
// position control closes the speed loop.
void AddFeedForwardRules(const CKX_Setup& setup, const Scheme& s, std::vector<ControlRule>& rules) {
    const bool ff = HasSpeedForward(setup) && !s.Torque();
    rules.push_back(Enable({3376, 3375}, ff));
    rules.push_back(Enable({3374}, ff && s.Position() && s.pct == 1));
}

bool Differs(double a, double b) { return std::fabs(a - b) > 1e-9 * std::max(std::fabs(a), std::fabs(b)); }

// Both conversion drivers: the registers from the parameters, then the
// parameters (and their ranges) from the registers.
void ReadPeriods(CKX_Setup& setup) {
    ReadSpeedLoopPeriod(setup);
    ReadCurrentLoopPeriod(setup);
}

// Raises the clock of one serial encoder when it is too slow for the current
// loop; true when it did.
bool RaiseSerialClock(CKX_Setup& setup, const char* sensorType, const char* frequency) {
    const int type = CodeOr(setup, sensorType, 0);
    if (type != ToInt(SensorType::SsiEncoder) && type != ToInt(SensorType::BissEncoder)) return false;
    CKX_Parameter* f = Probe(setup, frequency);
    const double fmin = SerialClockMinimum(setup);
    if (!f || !(fmin > Value(f))) return false;
    WriteBase(*f, std::ceil(fmin / kSerialClockStep) * kSerialClockStep);
    WriteSerialClockRegisters(setup);
    return true;
}

// How a parameter's drive count follows the slow loop period, by its unit type.
enum class Follows { Nothing, Time, Speed, Acceleration, CurrentSlope };

Follows FollowsOf(const CKX_Parameter& p) {
    const std::string& unit = p.GetBaseUnitName();
    const char* name = p.GetName().c_str();
    if (NamesEqual(unit, "s"))
        return NameIsOneOf(name,
                           {kPWMperiod, kTs_C, kTs_S, kTPS, kTNS, kTaPS, kTaNS, kTPP, kTNP, kTaPP, kTaNP})
                   ? Follows::Nothing
                   : Follows::Time;
    if (NamesEqual(unit, "rad/s") || NamesEqual(unit, "m/s"))
        return NamesEqual(name, kTestSpeed) ? Follows::Nothing : Follows::Speed;
    if (NamesEqual(unit, "rad/s^2") || NamesEqual(unit, "m/s^2")) return Follows::Acceleration;
    if (NamesEqual(unit, "A/s")) return Follows::CurrentSlope;
    return Follows::Nothing;
}

}  // namespace

unsigned AdvancedSchemeBitmap(const CKX_Setup& setup) {
    const Scheme s(setup);
    if (s.cm == 0) {
        if (s.m != 1) return 3001;
        if (s.l == 1) return 3067;
        return s.pct == 0 ? 3017 : 3000;
    }
    if (s.cm == 1) return s.m == 2 ? 3016 : 3062;
    return 3063;
}

bool SpeedEstimatorAllowed(const CKX_Setup& setup) {
    const Scheme s(setup);
    if (!HasNewSpeedEstimator(setup))
        return (TruncateToInt32(s.m) == 0 && s.l == 1) || (s.m == 1 && s.l == 0);
    if (ValueOr(setup, kPosSpd_in_FastLoop, 0) == 1) return false;
    return s.m == 1 || (s.m == 0 && s.l == 1) ||
           (s.m == 0 && s.l == 3 && TruncateToInt32(ValueOr(setup, kSINCOS_fract_LD, 0)) == 1) ||
           (s.m == 3 && TruncateToInt32(ValueOr(setup, kSINCOS_fract, 0)) == 1);
}

std::vector<ControlRule> AdvancedInitRules(const CKX_Setup& setup) {
    const Scheme s(setup);
    std::vector<ControlRule> rules;
    rules.push_back(Show({3012, 3013}, s.Position()));
    rules.push_back(Enable({3012}, s.Position() && (s.m == 0 || s.l == 0)));
    AddFeedForwardRules(setup, s, rules);
    rules.push_back(
        Enable({3396, 3397, 3398, 3399, 3400, 3401, 3402, 3403}, HasFreezeControl(setup) && s.Position()));
    if (Exists(setup, kPosSpd_in_FastLoop)) {
        const bool slowOrFast = s.cm < 2;
        rules.push_back(Enable({1146, 3014}, slowOrFast));
        rules.push_back(Enable({1147}, slowOrFast && TruncateToInt32(s.m) == 1 && TruncateToInt32(s.l) == 0));
    } else {
        rules.push_back(Show({1146, 1147, 3014}, false));
    }
    rules.push_back(Show({1148, 1149}, false));
    return rules;
}

std::vector<ControlRule> AdvancedDisplayRules(const CKX_Setup& setup) {
    const Scheme s(setup);
    std::vector<ControlRule> rules;
    AddFeedForwardRules(setup, s, rules);
    rules.push_back(
        Enable({3398, 3399, 3400, 3401, 3402, 3403},
               HasFreezeControl(setup) && ValueOr(setup, kisFreezeControl, 0) == 1 && s.Position()));
    const bool estimator = HasSpeedEstimatorParameter(setup);
    rules.push_back(Enable({3355}, estimator));
    rules.push_back(Enable({3356}, estimator && SpeedEstimatorAllowed(setup)));
    return rules;
}

void ApplyPWMFrequencyChange(CKX_Setup& setup, double fastReference, double slowReference) {
    WritePWMPeriodRegister(setup);
    WritePWMSaturation(setup);
    ReadPWMPeriod(setup);
    const double clock = ValueOr(setup, kDSP_freq, 0), pwmper = ValueOr(setup, kPWMPER, 0);
    if (IsDivisor(pwmper)) {
        // The divider whose period 2 · divider · PWMPER / DSP_freq comes nearest to the reference.
        WriteBase(setup, kCLPER, std::floor(clock * fastReference * 0.5 / pwmper + 0.5));
        WriteBase(setup, kSLPER, std::floor(clock * slowReference * 0.5 / pwmper + 0.5));
    }
    ReadPeriods(setup);
}

double SerialClockMinimum(const CKX_Setup& setup) {
    // A setup without the serial interface timings, or a current loop too
    // short to leave any time for reading, gives no usable minimum.
    const kx::QuietLookup quiet;
    const double fmin = SerialMinimumFrequency(setup);
    return std::isfinite(fmin) && fmin > 0 ? fmin : 0;
}

void RescaleToSlowLoopPeriod(CKX_Setup& setup) {
    const double tD = ValueOr(setup, kt_I2t_D, 0), tM = ValueOr(setup, kt_I2t_M, 0);
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        CKX_Parameter& p = *setup.GetParameterAt(i);
        const Follows follows = FollowsOf(p);
        if (follows == Follows::Nothing) continue;
        // The setup keeps values in base units: the slow loop period changed
        // under them, so that the drive count of each is already the count it
        // held at the reference period rescaled (times ratio for a time, over
        // ratio for a speed or a current slope, over ratio squared for an
        // acceleration). Writing that count again takes the value through
        // its limits under the new period; a limit that was derived from the
        // old period is brought up to date by the drivers before the count is
        // written once more.
        const double count = p.GetValueInInternalUnit();
        WriteInternal(p, count);
        if (Differs(p.GetValueInInternalUnit(), count)) {
            RunBothDrivers(setup);
            WriteInternal(p, count);
        }
    }
    // An I2t time that a limit kept from its value keeps the protection's
    // I²·t: the current follows the square root of the time ratio.
    const auto keepEnergy = [&](const char* current, const char* time, double wanted) {
        CKX_Parameter* t = Probe(setup, time);
        CKX_Parameter* i = Probe(setup, current);
        if (!t || !i || !Differs(wanted, Value(t)) || !IsDivisor(Value(t))) return;
        WriteBase(*i, Value(i) * std::sqrt(wanted / Value(t)));
    };
    keepEnergy(kI_I2t_D, kt_I2t_D, tD);
    keepEnergy(kI_I2t_M, kt_I2t_M, tM);
}

AdvancedRefresh ApplyAdvancedRefresh(CKX_Setup& setup, const char* name, AdvancedState& state) {
    AdvancedRefresh result;
    const bool fastLoop = NamesEqual(name, kCLPER), slowLoop = NamesEqual(name, kSLPER),
               pwm = NamesEqual(name, kPWM_freq);
    if (Value(setup, kCLPER) > Value(setup, kSLPER)) WriteBase(setup, kSLPER, Value(setup, kCLPER));
    ReadPeriods(setup);
    WritePWMPeriodRegister(setup);
    WritePWMSaturation(setup);
    ReadPWMPeriod(setup);
    if (HasSpeedForward(setup)) UpdateSpeedForward(setup);

    if (fastLoop || pwm) {
        if (RaiseSerialClock(setup, kMotorSensorType, kSSI_freq))
            result.messages.push_back(kMotorSerialClockMessage);
        if (RaiseSerialClock(setup, kLoadSensorType, kSSI_freq_LD))
            result.messages.push_back(kLoadSerialClockMessage);
    }
    if (slowLoop || pwm) {
        const double period = Value(setup, kTs_S);
        if (state.rescaleReference > 0 && Differs(state.rescaleReference, period) && IsDivisor(period)) {
            state.rescaleReference = period;
            RescaleToSlowLoopPeriod(setup);
        }
        RunBothDrivers(setup);
    }
    const auto outside = [&](const char* minimum, const char* period) {
        const double min = ValueOr(setup, minimum, 0);
        if (!(min > 0)) return -1;
        return min > Value(setup, period) ? 1 : 0;
    };
    if (fastLoop) {
        result.fastOutside = outside(kTs_C_min, kTs_C);
        state.fastReference = Value(setup, kTs_C);
    }
    if (slowLoop) {
        result.slowOutside = outside(kTs_S_min, kTs_S);
        state.slowReference = Value(setup, kTs_S);
    }
    return result;
}

std::vector<std::string> AdvancedOKMessages(const CKX_Setup& setup) {
    std::vector<std::string> messages;
    const struct {
        const char* minimum;
        const char* period;
        const char* loop;
    } checks[] = {{kTs_C_min, kTs_C, "Fast"}, {kTs_S_min, kTs_S, "Slow"}};
    for (const auto& c : checks) {
        const double min = ValueOr(setup, c.minimum, 0);
        if (!(min > 0 && min > Value(setup, c.period))) continue;
        // Milliseconds with three decimals and a point, whatever the user's locale.
        char ms[32];
        const auto end = std::to_chars(ms, ms + sizeof ms, min * 1000, std::chars_format::fixed, 3).ptr;
        messages.push_back(std::string("The minimum value for ") + c.loop + " loop sampling period is " +
                           std::string(ms, end) + " ms!\nPlease adjust the PWM frequency and/or the " +
                           c.loop + " loop sampling frequency divider until this condition is fulfilled!");
    }
    return messages;
}

}  // namespace dcdrive
