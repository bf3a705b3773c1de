// The tuning is checked by the loop it closes: the written gains are turned
// back into a continuous controller in physical units, closed around the
// motor's plant, and the roots of the characteristic polynomial are compared
// with the pass band and damping that were asked for.
#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "../conversions/TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using Changes = std::vector<dctest::Param>;

namespace {

// The default setup with the changes, written outside the usual limits.
std::unique_ptr<CKX_Setup> Tweaked(const Changes& changes) {
    auto setup = LoadDefaultSetup();
    for (const auto& c : changes) {
        CKX_Parameter* p = setup->FindParameter(c.name);
        p->SetMinInBaseUnit(-1e300);
        p->SetMaxInBaseUnit(1e300);
        p->SetValueInBaseUnit(c.value);
    }
    return setup;
}

double V(const CKX_Setup& s, const char* name) { return dctest::ValueOf(s, name); }

// s^2 + a1 s + a0 has natural frequency w and damping zeta.
void ExpectPair(double a1, double a0, double w, double zeta) {
    EXPECT_NEAR(std::sqrt(a0), w, 1e-9 * w);
    EXPECT_NEAR(a1 / (2.0 * std::sqrt(a0)), zeta, 1e-9);
}

// The integrators of the speed and position controllers sum once per this period.
double OuterPeriod(const CKX_Setup& s) {
    return V(s, "PosSpd_in_FastLoop") == 1.0 ? CurrentLoopPeriod(s) : SpeedLoopPeriod(s);
}

TEST(Tuning, CurrentLoopPolesAtPassBandAndDamping) {
    for (const Changes& changes :
         std::vector<Changes>{{}, {{"Vdc", 24}, {"ImaxPS", 20}, {"L", 1e-3}, {"CLPER", 2}, {"PB_C", 1500}}}) {
        auto s = Tweaked(changes);
        const double l = V(*s, "L"), r = V(*s, "R"), tc = CurrentLoopPeriod(*s);
        ASSERT_GT(l / r, 4 * tc);
        ASSERT_EQ(TuneCurrentController(*s), 1);
        // Current error counts -> voltage command counts -> volts.
        const double voltsPerAmpere = CurrentScale(*s) / VoltageCommandScale(*s);
        const double kp = V(*s, "Kp_C_scl") * voltsPerAmpere, ki = V(*s, "Ki_C_scl") * voltsPerAmpere / tc;
        // 1/(L s + R) under Kp + Ki/s: L s^2 + (R + Kp) s + Ki.
        ExpectPair((r + kp) / l, ki / l, V(*s, "PB_C"), V(*s, "Dump_C"));
    }
}

TEST(Tuning, ShortElectricalTimeConstantUsesTheSamplingRule) {
    auto probe = Tweaked({});
    const double tc = CurrentLoopPeriod(*probe), scale = VoltageCommandScale(*probe) / CurrentScale(*probe);
    for (const double tau : {4 * tc, 2 * tc}) {  // the boundary; below 2 sqrt(2) Tc Kp is negative
        auto s = Tweaked({{"R", 1.0}, {"L", tau}, {"Kp_C_scl", 7.0}});
        ASSERT_EQ(TuneCurrentController(*s), 1);
        EXPECT_DOUBLE_EQ(V(*s, "Kp_C_scl"), (tau / (2 * std::sqrt(2.0) * tc) - 1) * scale);
        EXPECT_DOUBLE_EQ(V(*s, "Ki_C_scl"), V(*s, "PB_C") * tc * scale);
    }
}

TEST(Tuning, SpeedLoopPolesAtPassBandAndDamping) {
    for (const Changes& changes :
         std::vector<Changes>{{{"PosSpd_in_FastLoop", 1}},
                              {{"MotorSensorType", 2}, {"Tacho_gain", -0.0286}},  // reversed counting
                              {{"MotorSensorType", 3}, {"SINCOS_fract", 6}, {"Jt", 4e-4}, {"K", 0.2}}}) {
        auto s = Tweaked(changes);
        ASSERT_EQ(TuneSpeedController(*s), 1);
        // Speed error counts -> current counts -> amperes.
        const double amperes = std::fabs(MotorSpeedScale(*s)) / CurrentScale(*s);
        const double kp = V(*s, "Kp_S_scl") * amperes, ki = V(*s, "Ki_S_scl") * amperes / OuterPeriod(*s);
        // K/(J s) under Kp + Ki/s: J s^2 + K Kp s + K Ki.
        const double kOverJ = V(*s, "K") / V(*s, "Jt");
        ExpectPair(kOverJ * kp, kOverJ * ki, V(*s, "PB_S"), V(*s, "Dump_S"));
    }
}

TEST(Tuning, PositionLoopPolesAtPassBandAndDamping) {
    const double motorCounts = 4 * 500 / kTwoPi;
    const dctest::Param pid{"PositionControlType", 0}, loadEncoder{"LoadSensorType", 1};
    const struct {
        Changes changes;
        double counts;  // position counts per radian (metre) of what the loop measures
        double gear;    // motor radians per measured radian (metre)
    } cases[] = {
        {{{"Kd_P_scl", 5.0}}, motorCounts, 1},
        {{pid}, motorCounts, 1},
        // Reversed counting (a negative ratio or resolution) changes nothing.
        {{pid, loadEncoder, {"No_encoder_lines_LD", 2000}, {"Motor_transmission", -10 * kTwoPi}},
         4 * 2000 / kTwoPi,
         10},
        {{pid, loadEncoder, {"TransmissionType", 1}, {"Load_transmission", 0.005}, {"Resolution_LD", -1e-6}},
         1e6,
         kTwoPi / 0.005},
        // A load sensor without a motor sensor closes the loop on the load:
        // its counts, through the transmission, over the current loop and
        // over the speed loop.
        {{pid, {"MotorSensorType", 0}, loadEncoder, {"Motor_transmission", 10 * kTwoPi}},
         4 * 500 / kTwoPi,
         10},
        {{{"MotorSensorType", 0}, loadEncoder}, 4 * 500 / kTwoPi, 1},
    };
    for (const auto& c : cases) {
        auto s = Tweaked(c.changes);
        ASSERT_EQ(TunePositionController(*s), 1);
        const double w = V(*s, "PB_P"), zeta = V(*s, "Dump_P"), ts = OuterPeriod(*s);
        if (V(*s, "PositionControlType") == 1.0) {
            // A speed reference in counts is position counts per slow-loop
            // period; an ideal speed loop 1/s under Kp + Ki/s.
            const double perCount = 1.0 / SpeedLoopPeriod(*s);
            ExpectPair(V(*s, "Kp_P_scl") * perCount, V(*s, "Ki_P_scl") * perCount / ts, w, zeta);
            EXPECT_EQ(V(*s, "Kd_P_scl"), 0.0);
            continue;
        }
        const double amperes = c.counts / CurrentScale(*s);
        const double kp = V(*s, "Kp_P_scl") * amperes, ki = V(*s, "Ki_P_scl") * amperes / ts;
        const double kd = V(*s, "Kd_P_scl") * amperes * ts;
        // K/(G J s^2) under Kd s + Kp + Ki/s: s^3 + g kd s^2 + g kp s + g ki.
        const double g = V(*s, "K") / (c.gear * V(*s, "Jt"));
        // One root at -w, the others those of s^2 + b1 s + b0.
        const double b1 = g * kd - w, b0 = g * kp - w * b1;
        EXPECT_NEAR(g * ki - w * b0, 0.0, 1e-9 * g * ki);
        ExpectPair(b1, b0, w, zeta);
    }
}

struct LoopCase {
    Loop loop;
    int (*tune)(CKX_Setup&);
    std::span<const char* const> lookups;
    std::vector<const GainRegisters*> gains;
};

const LoopCase kLoops[] = {
    {Loop::Current,
     TuneCurrentController,
     kCurrentTuningParameters,
     {&kCurrentProportionalGain, &kCurrentIntegralGain}},
    {Loop::Speed,
     TuneSpeedController,
     kSpeedTuningParameters,
     {&kSpeedProportionalGain, &kSpeedIntegralGain}},
    {Loop::Position,
     TunePositionController,
     kPositionTuningParameters,
     {&kPositionProportionalGain, &kPositionIntegralGain, &kPositionDerivativeGain}},
};

// A refused Tune writes neither gains nor registers. TuneLoop names the
// missing parameter or the one that is 0 and reports nothing on the way;
// the loop's own tuning reports the missing parameter once, by name.
TEST(TuneLoop, RefusesWithTheReasonAndWritesNothing) {
    struct Case {
        std::size_t loop;
        const char* missing;  // removed from the setup
        Changes changes;
        const char* zero;
    };
    std::vector<Case> cases = {
        {0, nullptr, {{"R", 0}}, "R"},
        {0, nullptr, {{"ImaxPS", 0}}, "ImaxPS"},  // no current scale: not gains of 0
        {1, nullptr, {{"SLPER", 0}}, "SLPER"},
        {1, nullptr, {{"MotorSensorType", 2}, {"Tacho_gain", 0}}, "Tacho_gain"},
        {2, nullptr, {{"SLPER", 0}, {"PositionControlType", 0}}, "SLPER"},
        {2,
         nullptr,
         {{"PositionControlType", 0}, {"LoadSensorType", 1}, {"Load_transmission", 0}},
         "Load_transmission"},
        // J / K overflows: no gain is finite, yet no divisor is 0.
        {2, nullptr, {{"PositionControlType", 0}, {"Jt", 1e300}, {"K", 1e-300}}, nullptr},
    };
    for (std::size_t loop = 0; loop < std::size(kLoops); ++loop)
        for (const char* name : kLoops[loop].lookups) cases.push_back({loop, name, {}, nullptr});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing ? c.missing : c.zero ? c.zero : "overflow");
        const LoopCase& loop = kLoops[c.loop];
        auto s = Tweaked(c.changes);
        if (c.missing) {
            ASSERT_TRUE(s->RemoveParameter(c.missing));
        }
        std::vector<double> before, after;
        for (const GainRegisters* gain : loop.gains) {
            const kx::QuietLookup quiet;
            if (CKX_Parameter* p = s->FindParameter(gain->gain)) p->SetValueInBaseUnit(123.0);
            for (const char* name : {gain->mantissa, gain->shift, gain->gain}) before.push_back(V(*s, name));
        }
        dctest::ReportedErrors errors;
        const TuneResult result = TuneLoop(*s, loop.loop);
        EXPECT_EQ(result.tuned, 0);
        EXPECT_STREQ(result.missing, c.missing);
        EXPECT_STREQ(result.zero, c.zero);
        EXPECT_TRUE(errors.Messages().empty()) << "the result names the missing parameter";
        EXPECT_EQ(loop.tune(*s), 0);
        if (c.missing) {
            ASSERT_EQ(errors.Messages().size(), 1u);
            EXPECT_NE(errors.Messages()[0].find(std::string("\"") + c.missing + "\""), std::string::npos);
        }
        for (const GainRegisters* gain : loop.gains)
            for (const char* name : {gain->mantissa, gain->shift, gain->gain}) after.push_back(V(*s, name));
        for (std::size_t i = 0; i < before.size(); ++i)
            EXPECT_TRUE(after[i] == before[i] || (std::isnan(after[i]) && std::isnan(before[i]))) << i;
    }
}

}  // namespace
