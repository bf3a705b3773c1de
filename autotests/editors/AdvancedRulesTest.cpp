// What the advanced settings dialog decides from the setup alone: the scheme
// picture, the speed estimator rule, the enabling over setup variants, the
// dividers that keep the loop periods, the serial encoder clock, the
// rescaling to a new slow loop period and the minimum periods on OK.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "DefaultSetup.h"
#include "conversions/Drivers.h"
#include "editors/AdvancedRules.h"
#include "kx/Kernel.h"
#include "kx/Setup.h"

namespace {

using dcdrive::ControlRule;

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

void Set(CKX_Setup& setup, const char* name, double value) {
    const kx::QuietLookup quiet;
    CKX_Parameter* p = setup.FindParameter(name);
    if (!p) p = setup.AddParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// Enabled (true/false) and shown states of the controls the rules touched.
std::map<unsigned, std::pair<bool, bool>> Apply(const std::vector<ControlRule>& rules) {
    std::map<unsigned, std::pair<bool, bool>> states;
    for (const ControlRule& rule : rules)
        for (unsigned id : rule.ids) {
            auto& s = states.try_emplace(id, true, true).first->second;
            if (rule.action == ControlRule::Action::Enable) s.first = rule.on;
            if (rule.action == ControlRule::Action::Show) s.second = rule.on;
        }
    return states;
}

std::unique_ptr<CKX_Setup> Variant(double cm, double m, double l, double pct = 1) {
    auto setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "ControlMode", cm);
    Set(*setup, "MotorSensorType", m);
    Set(*setup, "LoadSensorType", l);
    Set(*setup, "PositionControlType", pct);
    return setup;
}

TEST(AdvancedRules, SchemePicture) {
    const struct {
        double cm, m, l, pct;
        unsigned bitmap;
    } cases[] = {
        {0, 1, 1, 1, 3067}, {0, 1, 0, 1, 3000}, {0, 1, 0, 0, 3017}, {0, 2, 1, 1, 3001}, {0, 1.5, 0, 1, 3001},
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
        {false, 1, 0, 0, 0, 0, true},  {false, 0, 1, 0, 0, 0, true},  {false, 1, 1, 0, 0, 0, false}, {false, 3, 0, 0, 1, 0, false}, {false, 1, 0, 1, 0, 0, true},
        {true, 1, 1, 0, 0, 0, true},   {true, 1, 0, 1, 0, 0, false},  {true, 0, 1, 0, 0, 0, true},
        {true, 0, 3, 0, 0, 1, true},   {true, 0, 3, 0, 0, 0, false},  {true, 3, 0, 0, 1, 0, true},
        {true, 3, 0, 0, 1.5, 0, true}, {true, 3, 0, 0, 2, 0, false},  {true, 2, 0, 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "new " << c.newEstimator << " M " << c.m << " L " << c.l << " fast "
                                        << c.fastLoop);
        auto setup = Variant(0, c.m, c.l);
        setup->SetOption("newSpeedEstimator", c.newEstimator ? "1" : "0");
        Set(*setup, "PosSpd_in_FastLoop", c.fastLoop);
        Set(*setup, "SINCOS_fract", c.fract);
        Set(*setup, "SINCOS_fract_LD", c.fractLD);
        EXPECT_EQ(dcdrive::SpeedEstimatorAllowed(*setup), c.allowed);
        Set(*setup, "isSpeedEstimator", 0);
        EXPECT_EQ(Apply(dcdrive::AdvancedDisplayRules(*setup))[3356].first, c.allowed);
    }
    auto without = Variant(0, 1, 0);
    without->RemoveParameter("isSpeedEstimator");
    const auto states = Apply(dcdrive::AdvancedDisplayRules(*without));
    EXPECT_FALSE(states.at(3355).first);
    EXPECT_FALSE(states.at(3356).first);
}

TEST(AdvancedRules, EnablingOverSetupVariants) {
    const struct {
        const char* what;
        double cm, m, l, pct;
        bool noFastLoopChoice, noSpeedForward;
        std::map<unsigned, std::pair<bool, bool>> expected;  // id: enabled, shown
    } cases[] = {
        {"position, motor encoder only", 0, 1, 0, 1, false, false,
         {{3012, {true, true}}, {3374, {true, true}}, {3375, {true, true}}, {3396, {true, true}},
          {1146, {true, true}}, {1147, {true, true}}, {1148, {true, false}}}},
        {"position, both sensors", 0, 1, 1, 1, false, false,
         {{3012, {false, true}}, {3013, {true, true}}, {1147, {false, true}}}},
        {"position over the current loop: no speed loop feed-forward", 0, 1, 0, 0, false, false,
         {{3374, {false, true}}, {3375, {true, true}}}},
        {"speed", 1, 1, 0, 1, false, false,
         {{3012, {false, false}}, {3013, {true, false}}, {3374, {false, true}}, {3376, {true, true}},
          {3396, {false, true}}, {3403, {false, true}}}},
        {"torque", 2, 1, 0, 1, false, false, {{3375, {false, true}}, {1146, {false, true}}, {3014, {false, true}}}},
        {"no fast loop choice, no feed-forward", 0, 1, 0, 1, true, true,
         {{1146, {true, false}}, {1147, {true, false}}, {3014, {true, false}}, {3376, {false, true}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.cm, c.m, c.l, c.pct);
        if (c.noFastLoopChoice) setup->RemoveParameter("PosSpd_in_FastLoop");
        if (c.noSpeedForward) setup->RemoveParameter("SpeedForward");
        const auto states = Apply(dcdrive::AdvancedInitRules(*setup));
        for (const auto& [id, state] : c.expected) {
            SCOPED_TRACE(id);
            EXPECT_EQ(states.count(id) ? states.at(id) : std::pair(true, true), state);
        }
    }
    // The freeze control values follow their check box.
    auto setup = Variant(0, 1, 0);
    Set(*setup, "isFreezeControl", 0);
    EXPECT_FALSE(Apply(dcdrive::AdvancedDisplayRules(*setup)).at(3400).first);
    Set(*setup, "isFreezeControl", 1);
    EXPECT_TRUE(Apply(dcdrive::AdvancedDisplayRules(*setup)).at(3400).first);
}

TEST(AdvancedRules, DoubledPWMFrequencyKeepsBothPeriods) {
    auto setup = dcdrive::LoadDefaultSetup();
    const double pwmper = Value(*setup, "PWMPER"), clper = Value(*setup, "CLPER"), slper = Value(*setup, "SLPER");
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

TEST(AdvancedRules, RefreshKeepsTheLoopsAndTheSerialClockInStep) {
    const struct {
        const char* what;
        double m, l, fmin, clock;
        const char* changed;
        double expectedMotor, expectedLoad;
        std::vector<std::string> messages;
    } cases[] = {
        {"SSI motor encoder raised to the next 250 kHz", 4, 0, 1000001, 1000000, "CLPER", 1250000, 1000000,
         {dcdrive::kMotorSerialClockMessage}},
        {"BiSS load encoder", 1, 5, 1000001, 1000000, "CLPER", 1000000, 1250000,
         {dcdrive::kLoadSerialClockMessage}},
        {"fast enough already", 4, 4, 999999, 1000000, "CLPER", 1000000, 1000000, {}},
        {"no serial encoder", 1, 0, 1000001, 1000000, "CLPER", 1000000, 1000000, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(0, c.m, c.l);
        Set(*setup, "SSI_freq", c.clock);
        Set(*setup, "SSI_freq_LD", c.clock);
        ReadTimeFor(*setup, c.fmin);
        EXPECT_NEAR(dcdrive::SerialClockMinimum(*setup), c.fmin, 1e-3);
        dcdrive::AdvancedState state{Value(*setup, "Ts_S"), Value(*setup, "Ts_C"), Value(*setup, "Ts_S")};
        const auto refresh = dcdrive::ApplyAdvancedRefresh(*setup, c.changed, state);
        EXPECT_EQ(refresh.messages, c.messages);
        EXPECT_NEAR(Value(*setup, "SSI_freq"), c.expectedMotor, 1e-3);
        EXPECT_NEAR(Value(*setup, "SSI_freq_LD"), c.expectedLoad, 1e-3);
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
    const char* const names[] = {"time_ERR_pos", "TPS", "ERR_speed", "ErefMaxAcceleration", "t_I2t_M"};
    std::map<std::string, std::pair<double, double>> before;  // base, internal
    for (const char* name : names) {
        const CKX_Parameter* p = setup->FindParameter(name);
        before[name] = {p->GetValueInBaseUnit(), p->GetValueInInternalUnit()};
    }
    const double iM = Value(*setup, "I_I2t_M"), ts = Value(*setup, "Ts_S");
    dcdrive::AdvancedState state{Value(*setup, "Ts_S"), Value(*setup, "Ts_C"), Value(*setup, "Ts_S")};
    Set(*setup, "SLPER", 2 * Value(*setup, "SLPER"));
    dcdrive::ApplyAdvancedRefresh(*setup, "SLPER", state);
    ASSERT_DOUBLE_EQ(Value(*setup, "Ts_S"), 2 * ts);
    EXPECT_DOUBLE_EQ(state.rescaleReference, 2 * ts);
    EXPECT_DOUBLE_EQ(state.slowReference, 2 * ts);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        EXPECT_NEAR(Value(*setup, name), before[name].first, 1e-6 * std::fabs(before[name].first));
    }
    EXPECT_NEAR(Value(*setup, "I_I2t_M"), iM, 1e-6 * iM);
}

TEST(AdvancedRules, OKRefusesPeriodsBelowTheirMinimum) {
    auto setup = dcdrive::LoadDefaultSetup();
    EXPECT_TRUE(dcdrive::AdvancedOKMessages(*setup).empty());
    Set(*setup, "Ts_C_min", 0.0001);
    Set(*setup, "Ts_S_min", 0.0025);
    EXPECT_EQ(dcdrive::AdvancedOKMessages(*setup),
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
