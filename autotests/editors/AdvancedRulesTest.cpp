// What the advanced settings dialog decides from the setup alone: the scheme
// picture, the speed estimator rule, the enabling over setup variants, the
// dividers that keep the loop periods, the serial encoder clock, the
// rescaling to a new slow loop period and the minimum periods on OK.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "EditorTest.h"
#include "editors/AdvancedRules.h"

namespace {

using dctest::Apply;
using dctest::Set;
using dctest::Value;

std::unique_ptr<CKX_Setup> Variant(double cm, double m, double l, double pct = 1) {
    return dctest::Variant(
        {{"ControlMode", cm}, {"MotorSensorType", m}, {"LoadSensorType", l}, {"PositionControlType", pct}});
}

TEST(AdvancedRules, SchemePicture) {
    const struct {
        double cm, m, l, pct;
        unsigned bitmap;
    } cases[] = {
        {0, 1, 1, 1, 3067}, {0, 1, 0, 1, 3000}, {0, 1, 0, 0, 3017}, {0, 2, 1, 1, 3001},
        {1, 2, 0, 1, 3016}, {1, 1, 0, 1, 3062}, {2, 1, 0, 1, 3063}, {0.5, 1, 0, 1, 3063},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "cm " << c.cm << " M " << c.m << " L " << c.l << " PCT " << c.pct);
        EXPECT_EQ(dcdrive::AdvancedSchemeBitmap(*Variant(c.cm, c.m, c.l, c.pct)), c.bitmap);
    }
}

TEST(AdvancedRules, SpeedEstimatorWithAndWithoutTheNewEstimator) {
    const struct {
        bool newEstimator;
        double m, l, fastLoop, fract, fractLD;
        bool allowed;
    } cases[] = {
        {false, 1, 0, 0, 0, 0, true}, {false, 1, 1, 0, 0, 0, false}, {false, 3, 0, 0, 1, 0, false},
        {true, 1, 1, 0, 0, 0, true},  {true, 1, 0, 1, 0, 0, false},  {true, 0, 3, 0, 0, 1, true},
        {true, 0, 3, 0, 0, 0, false}, {true, 3, 0, 0, 1.5, 0, true}, {true, 3, 0, 0, 2, 0, false},
        {true, 2, 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "new " << c.newEstimator << " M " << c.m << " L " << c.l << " fast " << c.fastLoop);
        auto setup = Variant(0, c.m, c.l);
        setup->SetOption("newSpeedEstimator", c.newEstimator ? "1" : "0");
        Set(*setup, "PosSpd_in_FastLoop", c.fastLoop);
        Set(*setup, "SINCOS_fract", c.fract);
        Set(*setup, "SINCOS_fract_LD", c.fractLD);
        EXPECT_EQ(dcdrive::SpeedEstimatorAllowed(*setup), c.allowed);
        Set(*setup, "isSpeedEstimator", 0);
        EXPECT_EQ(Apply(dcdrive::AdvancedDisplayRules(*setup))[3356].enabled, c.allowed);
    }
    auto without = Variant(0, 1, 0);
    without->RemoveParameter("isSpeedEstimator");
    const auto states = Apply(dcdrive::AdvancedDisplayRules(*without));
    EXPECT_FALSE(states.at(3355).enabled || states.at(3356).enabled);
}

TEST(AdvancedRules, EnablingOverSetupVariants) {
    const struct {
        const char* what;
        double cm, m, l, pct;
        bool noFastLoopChoice, noSpeedForward;
        const char* expected;  // "id:enabled/shown ..."
    } cases[] = {
        {"position, motor encoder only", 0, 1, 0, 1, false, false,
         "3012:1/1 3374:1/1 3375:1/1 1146:1/1 1148:1/0"},
        {"position, both sensors", 0, 1, 1, 1, false, false, "3012:0/1 3013:1/1 1147:0/1"},
        {"position over the current loop: no speed loop feed-forward", 0, 1, 0, 0, false, false,
         "3374:0/1 3375:1/1"},
        {"speed", 1, 1, 0, 1, false, false, "3012:0/0 3013:1/0 3374:0/1 3376:1/1 3396:0/1 3403:0/1"},
        {"torque", 2, 1, 0, 1, false, false, "3375:0/1 1146:0/1 3014:0/1"},
        {"no fast loop choice, no feed-forward", 0, 1, 0, 1, true, true,
         "1146:1/0 1147:1/0 3014:1/0 3376:0/1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.cm, c.m, c.l, c.pct);
        if (c.noFastLoopChoice) setup->RemoveParameter("PosSpd_in_FastLoop");
        if (c.noSpeedForward) setup->RemoveParameter("SpeedForward");
        auto states = Apply(dcdrive::AdvancedInitRules(*setup));
        dctest::ExpectStates(states, c.expected);
    }
    // The freeze control values follow their check box.
    auto setup = Variant(0, 1, 0);
    Set(*setup, "isFreezeControl", 0);
    EXPECT_FALSE(Apply(dcdrive::AdvancedDisplayRules(*setup)).at(3400).enabled);
    Set(*setup, "isFreezeControl", 1);
    EXPECT_TRUE(Apply(dcdrive::AdvancedDisplayRules(*setup)).at(3400).enabled);
}

TEST(AdvancedRules, DoubledPWMFrequencyKeepsBothPeriods) {
    auto setup = dcdrive::LoadDefaultSetup();
    const double pwmper = Value(*setup, "PWMPER"), clper = Value(*setup, "CLPER"),
                 slper = Value(*setup, "SLPER");
    const double tc = Value(*setup, "Ts_C"), ts = Value(*setup, "Ts_S");
    Set(*setup, "PWM_freq", 2 * Value(*setup, "PWM_freq"));
    dcdrive::ApplyPWMFrequencyChange(*setup, tc, ts);
    EXPECT_EQ(Value(*setup, "PWMPER"), pwmper / 2);
    EXPECT_EQ(Value(*setup, "CLPER"), 2 * clper);
    EXPECT_EQ(Value(*setup, "SLPER"), 2 * slper);
    EXPECT_DOUBLE_EQ(Value(*setup, "Ts_C"), tc);
    EXPECT_DOUBLE_EQ(Value(*setup, "Ts_S"), ts);
    EXPECT_DOUBLE_EQ(Value(*setup, "PWMperiod"), Value(*setup, "Ts_C") / Value(*setup, "CLPER"));
}

// AEI_ReadTime1Mhz that makes the lowest readable clock `fmin` at the setup's current loop period.
void ReadTimeFor(CKX_Setup& setup, double fmin) {
    const double clock = Value(setup, "DSP_freq");
    const double tc = 2 * Value(setup, "CLPER") * Value(setup, "PWMPER") / clock;
    const double free = tc - 1 / clock - Value(setup, "AEI_TransferTime") - Value(setup, "AEI_GuardTime") -
                        Value(setup, "AEI_ComputeTime");
    Set(setup, "AEI_ReadTime1Mhz", fmin * free / 1e6);
}

TEST(AdvancedRules, FastLoopChangeRaisesTheSerialClockToWhatItNeeds) {
    const struct {
        const char* what;
        double m, l, fmin, motorAfter, loadAfter;
        const char* message;
    } cases[] = {
        {"SSI motor encoder raised to the next 250 kHz", 4, 0, 1000001, 1250000, 1000000,
         dcdrive::kMotorSerialClockMessage},
        {"BiSS load encoder", 1, 5, 1000001, 1000000, 1250000, dcdrive::kLoadSerialClockMessage},
        {"fast enough already", 4, 4, 999999, 1000000, 1000000, nullptr},
        {"no serial encoder", 1, 0, 1000001, 1000000, 1000000, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(0, c.m, c.l);
        Set(*setup, "SSI_freq", 1000000);
        Set(*setup, "SSI_freq_LD", 1000000);
        ReadTimeFor(*setup, c.fmin);
        EXPECT_NEAR(dcdrive::SerialClockMinimum(*setup), c.fmin, 1e-3);
        dcdrive::AdvancedState state{Value(*setup, "Ts_S"), Value(*setup, "Ts_C"), Value(*setup, "Ts_S")};
        EXPECT_EQ(dcdrive::ApplyAdvancedRefresh(*setup, "CLPER", state).messages,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_NEAR(Value(*setup, "SSI_freq"), c.motorAfter, 1e-3);
        EXPECT_NEAR(Value(*setup, "SSI_freq_LD"), c.loadAfter, 1e-3);
    }
}

TEST(AdvancedRules, FastLoopAboveTheSlowLoopPullsItUp) {
    auto setup = dcdrive::LoadDefaultSetup();
    dcdrive::AdvancedState state{Value(*setup, "Ts_S"), Value(*setup, "Ts_C"), Value(*setup, "Ts_S")};
    Set(*setup, "CLPER", Value(*setup, "SLPER") + 5);
    const auto refresh = dcdrive::ApplyAdvancedRefresh(*setup, "CLPER", state);
    EXPECT_EQ(Value(*setup, "SLPER"), Value(*setup, "CLPER"));
    EXPECT_DOUBLE_EQ(Value(*setup, "Ts_S"), Value(*setup, "Ts_C"));
    EXPECT_DOUBLE_EQ(state.fastReference, Value(*setup, "Ts_C"));
    EXPECT_EQ(refresh.fastOutside, 0);
    EXPECT_EQ(refresh.slowOutside, -1);
}

TEST(AdvancedRules, DoubledSlowLoopPeriodKeepsBaseValues) {
    auto setup = dcdrive::LoadDefaultSetup();
    const char* const names[] = {"time_ERR_pos",        "TPS",     "ERR_speed",
                                 "ErefMaxAcceleration", "t_I2t_M", "I_I2t_M"};
    std::map<std::string, double> before;
    for (const char* name : names) before[name] = Value(*setup, name);
    const double ts = Value(*setup, "Ts_S");
    dcdrive::AdvancedState state{Value(*setup, "Ts_S"), Value(*setup, "Ts_C"), Value(*setup, "Ts_S")};
    Set(*setup, "SLPER", 2 * Value(*setup, "SLPER"));
    dcdrive::ApplyAdvancedRefresh(*setup, "SLPER", state);
    ASSERT_DOUBLE_EQ(Value(*setup, "Ts_S"), 2 * ts);
    EXPECT_DOUBLE_EQ(state.rescaleReference, 2 * ts);
    EXPECT_DOUBLE_EQ(state.slowReference, 2 * ts);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_NEAR(Value(*setup, name), before[name], 1e-6 * std::fabs(before[name]));
    }
}

TEST(AdvancedRules, OKRefusesPeriodsBelowTheirMinimum) {
    auto setup = dcdrive::LoadDefaultSetup();
    EXPECT_TRUE(dcdrive::AdvancedOKMessages(*setup).empty());
    Set(*setup, "Ts_C_min", 0.0001);
    Set(*setup, "Ts_S_min", 0.0025);
    EXPECT_EQ(
        dcdrive::AdvancedOKMessages(*setup),
        (std::vector<std::string>{
            "The minimum value for Fast loop sampling period is 0.100 ms!\nPlease adjust the PWM frequency "
            "and/or the Fast loop sampling frequency divider until this condition is fulfilled!",
            "The minimum value for Slow loop sampling period is 2.500 ms!\nPlease adjust the PWM frequency "
            "and/or the Slow loop sampling frequency divider until this condition is fulfilled!"}));
    setup->RemoveParameter("Ts_C_min");
    Set(*setup, "Ts_S_min", 0);
    EXPECT_TRUE(dcdrive::AdvancedOKMessages(*setup).empty());
}

}  // namespace
