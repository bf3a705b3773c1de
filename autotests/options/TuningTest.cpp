// The tuning is checked by the loop it closes: the written gains are turned back into a continuous controller
// in physical units, closed around the motor's plant, and the roots of the characteristic polynomial are
// compared with the pass band and damping that were asked for.
#include <span>

#include "../conversions/TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"
#include "options/Tuning.h"

using namespace dcdrive;

namespace {

using dctest::DefaultWith;

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

// With an electrical time constant of at most four current-loop periods (the
// boundary, and below 2 sqrt(2) Tc where Kp is negative) the sampling rule.
TEST(Tuning, CurrentLoopPolesAtPassBandAndDamping) {
    for (const char* changes : {"", "Vdc=24 ImaxPS=20 L=1e-3 CLPER=2 PB_C=1500", "R=1 L=2e-4 Kp_C_scl=7",
                                "R=1 L=1e-4 Kp_C_scl=7"}) {
        auto s = DefaultWith(changes);
        s->FindParameter("Kp_C_scl")->SetMinInBaseUnit(-1e300);  // the sampling rule's may be negative
        const double l = V(*s, "L"), r = V(*s, "R"), tc = CurrentLoopPeriod(*s);
        ASSERT_EQ(TuneCurrentController(*s), 1);
        // Current error counts -> voltage command counts -> volts.
        const double voltsPerAmpere = CurrentScale(*s) / VoltageCommandScale(*s);
        const double kp = V(*s, "Kp_C_scl") * voltsPerAmpere, ki = V(*s, "Ki_C_scl") * voltsPerAmpere / tc;
        if (l / r <= 4 * tc) {
            EXPECT_NEAR(kp, l / (2 * std::sqrt(2.0) * tc) - 1, 1e-12);
            EXPECT_NEAR(ki, V(*s, "PB_C"), 1e-12 * ki);
            continue;
        }
        // 1/(L s + R) under Kp + Ki/s: L s^2 + (R + Kp) s + Ki.
        ExpectPair((r + kp) / l, ki / l, V(*s, "PB_C"), V(*s, "Dump_C"));
    }
}

TEST(Tuning, SpeedLoopPolesAtPassBandAndDamping) {
    // A load encoder without a motor sensor closes the loop on the load's
    // counts, seen through the 2:1 transmission.
    for (const char* changes : {"PosSpd_in_FastLoop=1", "MotorSensorType=2 Tacho_gain=-0.0286",  // reversed
                                "MotorSensorType=3 SINCOS_fract=6 Jt=4e-4 K=0.2",
                                "MotorSensorType=0 LoadSensorType=1 Load_transmission=3.1415926536"}) {
        auto s = DefaultWith(changes);
        ASSERT_EQ(TuneSpeedController(*s), 1);
        // Speed error counts -> current counts -> amperes, per motor rad/s.
        const bool onLoad = V(*s, "MotorSensorType") == 0;
        const double counts =
            onLoad ? std::fabs(SpeedScale(*s)) / (V(*s, "Motor_transmission") / V(*s, "Load_transmission"))
                   : std::fabs(MotorSpeedScale(*s));
        const double amperes = counts / CurrentScale(*s);
        const double kp = V(*s, "Kp_S_scl") * amperes, ki = V(*s, "Ki_S_scl") * amperes / OuterPeriod(*s);
        // K/(J s) under Kp + Ki/s: J s^2 + K Kp s + K Ki.
        const double kOverJ = V(*s, "K") / V(*s, "Jt");
        ExpectPair(kOverJ * kp, kOverJ * ki, V(*s, "PB_S"), V(*s, "Dump_S"));
    }
}

TEST(Tuning, PositionLoopPolesAtPassBandAndDamping) {
    const double motorCounts = 4 * 500 / kTwoPi;
    // A PID over the current loop unless "PositionControlType=1". Reversed counting (a negative ratio or
    // resolution) changes nothing. A load sensor without a motor sensor closes the loop on the load: its
    // counts, through the transmission, over the current loop and over the speed loop.
    const struct {
        const char* changes;
        double counts;  // position counts per radian (metre) of what the loop measures
        double gear;    // motor radians per measured radian (metre)
    } cases[] = {
        {"PositionControlType=1 Kd_P_scl=5", motorCounts, 1},
        {"", motorCounts, 1},
        {"LoadSensorType=1 No_encoder_lines_LD=2000 Load_transmission=-0.6283185307", 4 * 2000 / kTwoPi, 10},
        {"LoadSensorType=1 TransmissionType=1 Load_transmission=0.005 Resolution_LD=-1e-6", 1e6,
         kTwoPi / 0.005},
        {"MotorSensorType=0 LoadSensorType=1 Load_transmission=0.6283185307", 4 * 500 / kTwoPi, 10},
        {"PositionControlType=1 MotorSensorType=0 LoadSensorType=1", 4 * 500 / kTwoPi, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        auto s = DefaultWith(std::string("PositionControlType=0 ") + c.changes);
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

const struct {
    Loop loop;
    int (*tune)(CKX_Setup&);
    std::span<const char* const> lookups;
} kLoops[] = {{Loop::Current, TuneCurrentController, kCurrentTuningParameters},
              {Loop::Speed, TuneSpeedController, kSpeedTuningParameters},
              {Loop::Position, TunePositionController, kPositionTuningParameters}};

// A refused Tune writes nothing. TuneLoop names the missing parameter or the one that is 0 and reports
// nothing on the way; the loop's own tuning reports the missing parameter once, by name.
TEST(TuneLoop, RefusesWithTheReasonAndWritesNothing) {
    struct Case {
        std::size_t loop;
        const char *missing, *changes, *zero;  // missing: removed from the setup
    };
    std::vector<Case> cases = {
        {0, nullptr, "R=0", "R"},
        {0, nullptr, "ImaxPS=0", "ImaxPS"},  // no current scale: not gains of 0
        {1, nullptr, "SLPER=0", "SLPER"},
        {1, nullptr, "MotorSensorType=2 Tacho_gain=0", "Tacho_gain"},
        {2, nullptr, "SLPER=0 PositionControlType=0", "SLPER"},
        {2, nullptr, "PositionControlType=0 LoadSensorType=1 Load_transmission=0", "Load_transmission"},
        {2, nullptr, "PositionControlType=0 Jt=1e300 K=1e-300", nullptr},  // J / K overflows, no divisor is 0
    };
    for (std::size_t loop = 0; loop < std::size(kLoops); ++loop)
        for (const char* name : kLoops[loop].lookups) cases.push_back({loop, name, "", nullptr});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing ? c.missing : c.zero ? c.zero : "overflow");
        const auto& loop = kLoops[c.loop];
        auto s = DefaultWith(c.changes);
        ASSERT_TRUE(!c.missing || s->RemoveParameter(c.missing));
        for (const GainRegisters* gain : kControllerGains) {  // a gain written as 0 would show
            const kx::QuietLookup quiet;
            if (CKX_Parameter* p = s->FindParameter(gain->gain)) p->SetValueInBaseUnit(123.0);
        }
        const CKX_Setup before(*s);
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
        for (std::size_t i = 0; i < s->GetParameterCount(); ++i)
            EXPECT_EQ(s->GetParameterAt(i)->GetValueInBaseUnit(),
                      before.GetParameterAt(i)->GetValueInBaseUnit())
                << s->GetParameterAt(i)->GetName();
    }
}

}  // namespace
