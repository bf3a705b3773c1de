#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Gains.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::MakeSetup;
using dctest::ValueOf;

namespace {

void Set(CKX_Setup& setup, std::initializer_list<dctest::Param> params) {
    for (const dctest::Param& p : params) setup.SetParameterValueInBaseUnit(p.name, p.value);
}

// Sets a value whatever the parameter's limits (the host clamps into them)
// and leaves the parameter without limits.
void Force(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    p->SetMinInBaseUnit(1.0);
    p->SetMaxInBaseUnit(0.0);
    p->SetValueInBaseUnit(value);
}

// How far what a reader gives moves when the register it reads holds one
// count more or less: the step with which a value comes back from a register.
// The setup must already hold what the reader gave.
double ReadStep(const CKX_Setup& setup, Converter read, const char* reg, const char* user) {
    double step = 0;
    for (const double delta : {-1.0, 1.0}) {
        CKX_Setup nudged(setup);
        Force(nudged, reg, ValueOf(setup, reg) + delta);
        read(nudged);
        step = std::max(step, std::fabs(ValueOf(nudged, user) - ValueOf(setup, user)));
    }
    return step;
}

TEST(Gains, FixedPointEncoding) {
    const struct {
        double x, mantissa;
        int shift;
    } cases[] = {{0, 0, 0},           {0.5, 16383.5, 0},         {1, 32767, 0},
                 {3, 24575.25, 2},    {4.5, 4.5 * 32767 / 8, 3}, {16384, 32767, 14},
                 {0x1p29, 32767, 29}, {0x1p31, 32767, 31},       {std::nextafter(1.0, 2.0), 16383.5, 1}};
    for (const auto& c : cases) {
        const FixedPointGain g = EncodeGain(c.x);
        EXPECT_EQ(g.shift, c.shift) << c.x;
        EXPECT_DOUBLE_EQ(g.mantissa, c.mantissa) << c.x;
        EXPECT_DOUBLE_EQ(DecodeGain(g.mantissa, g.shift), c.x) << c.x;
    }
    EXPECT_DOUBLE_EQ(RoundGainToRegisters(0.2396), 7851.0 / 32767);
    EXPECT_DOUBLE_EQ(RoundGainToRegisters(1000.3), 32009.0 * 1024 / 32767);
}

TEST(Gains, EachGainThroughBothDrivers) {
    const char* const gains[][3] = {{"KPI", "SFTKPI", "Kp_C_scl"}, {"KII", "SFTKII", "Ki_C_scl"},
                                    {"KPS", "SFTKPS", "Kp_S_scl"}, {"KIS", "SFTKIS", "Ki_S_scl"},
                                    {"KPP", "SFTKPP", "Kp_P_scl"}, {"KIP", "SFTKIP", "Ki_P_scl"},
                                    {"KDP", "SFTKDP", "Kd_P_scl"}, {"KFFS", "SFTSFFW", "KFFS_scl"}};
    auto setup = MakeSetup({});
    double x = 0.75;  // a different gain for each pair: 0.75, 3, 12, ... 12288
    for (const auto& g : gains) {
        dctest::Add(*setup, {{g[0], 0}, {g[1], 0}, {g[2], x}});
        x *= 4;
    }
    // The acceleration feed-forward shift is split: at most 11 in "SFTAFFW".
    dctest::Add(*setup, {{"KFFA", 0}, {"SFTAFFW", 0}, {"SFTKFF", 0}, {"KFFA_scl", 0x1p13}});
    dctest::ReportedErrors quiet;  // the setup holds nothing else
    ParametersToRegisters(*setup);
    EXPECT_EQ(ValueOf(*setup, "SFTAFFW"), 11);
    EXPECT_EQ(ValueOf(*setup, "SFTKFF"), 2);
    EXPECT_EQ(ValueOf(*setup, "KFFA"), 32767);
    for (const auto& g : gains) setup->SetParameterValueInBaseUnit(g[2], -1);
    setup->SetParameterValueInBaseUnit("KFFA_scl", -1);
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "KFFA_scl"), 0x1p13);
    x = 0.75;
    for (const auto& g : gains) {
        EXPECT_EQ(ValueOf(*setup, g[1]), EncodeGain(x).shift) << g[2];
        EXPECT_EQ(ValueOf(*setup, g[0]), EncodeGain(x).mantissa) << g[2];
        EXPECT_DOUBLE_EQ(ValueOf(*setup, g[2]), x) << g[2];
        EXPECT_EQ(setup->FindParameter(g[2])->GetMaxInBaseUnit(), 16384) << g[2];
        x *= 4;
    }
}

// What one converter writes into its target on the default setup after the
// given changes. The target first holds -7 without limits (1 > 0): a
// converter that writes nothing leaves exactly that. Every storage type holds
// -7 exactly, and no converter here computes it.
TEST(Gains, ConvertersOnTheDefaultSetup) {
    constexpr double kKept = -7;
    constexpr const char* kFilter = "FilterOnCurrentControllerOutput";
    constexpr const char* kFilterOn = "isUseFilterOnCrtCtrlOutput";
    constexpr const char* kGravityOn = "isCompensateGravitationalLoads";
    const double tacho = 4096 * 0.028647889756541162 / 20;  // counts per rad/s
    const struct {
        Converter convert;
        std::vector<dctest::Param> changes;
        const char* target;
        int result;
        double value, min, max;
    } cases[] = {
        {ReadCurrentLimit, {}, "IlimPS", 1, 8, 0.001, 10},  // "SATS": "ACR" bit 9 is set
        {ReadTestLimitCurrent, {{"ACR", 1284}}, "TestLimitCurrent", 1, 200.0 / 3276, 0, 10},  // "SATP"
        {ReadTestCurrent, {}, "TestCurrent", 1, 1.6, 0.001, 2.88},
        {ReadTestMaxSpeed, {}, "TestMaxSpeed", 1, 800.0 / 3, 0, 800},
        {ReadLoadInertiaRatio, {{"Jt", 4.2e-5}}, "Jload_over_J", 1, 2, 0, 100},  // Jm 1.4e-5
        {ReadSpeedLimit, {}, "Limit_Speed", 1, 200 * kPi, 0, 800},               // 48 V / 0.06 V s/rad
        {ReadSpeedLimit, {{"Limit_Speed_MaxPercent", 50}}, "Limit_Speed", 1, 400, 0, 400},
        {ReadSpeedLimit, {{"MotorSensorType", 2}}, "Limit_Speed", 1, 200 / tacho, 0, 2047 / tacho},
        {ReadSpeedLimit, {{"ControlMode", 1}}, "Limit_Speed", 1, kKept, 1, 0},
        {ReadSpeedLoopSaturation, {}, "IPSatS", 1, 100, 0, 100},
        {ReadPositionLoopSaturation, {}, "IPSatP", 1, 50, 0, 100},
        {ReadOutputFilter, {}, kFilter, 1, 5000, 0, 10000},
        {ReadOutputFilterFlag, {}, kFilterOn, 1, 0, 0, 1},
        {ReadOutputFilter, {{"FILTERQ", 1598}}, kFilter, 1, 1000, 0, 10000},
        {ReadOutputFilterFlag, {{"FILTERQ", 32766}}, kFilterOn, 1, 1, 0, 1},
        {ReadOffsetCurrent, {{"FFL", 4914}}, "OffsetCurrent", 1, 1.5, -3.2, 3.2},
        {ReadGravityCompensationFlag, {{"FFL", -1}}, kGravityOn, 1, 1, 0, 1},
        {ReadDerivativeFilter, {{"KDFP", 8192}}, "filter_D", 1, 8192 / 32767.0, 0, 1},
        // forward: T = 50 us, 3276 counts per ampere
        {WriteOutputFilter, {{kFilter, 1000}}, "FILTERQ", 1, 32767, 1, 0},
        {WriteOutputFilter, {{kFilterOn, 1}, {kFilter, 1000}}, "FILTERQ", 1, 1598, 1, 0},
        {WriteOutputFilter, {{kFilterOn, 0.5}, {kFilter, 2000}}, "FILTERQ", 1, 3118, 1, 0},
        {WriteOffsetCurrent, {{kGravityOn, 1}, {"OffsetCurrent", 1.5}}, "FFL", 1, 4914, 1, 0},
        {WriteOffsetCurrent, {{kGravityOn, 0.5}, {"OffsetCurrent", 1.5}}, "FFL", 1, 0, 1, 0},
        {WriteDerivativeFilter, {{"filter_D", 0.25}}, "KDFP", 1, 8192, 1, 0},  // 8191.75 as the register holds it
        {WriteLoadFeedforwardGain, {}, "KFFL", 1, 32767, 1, 0},
        // zero divisors
        {ReadSpeedLoopSaturation, {{"SATS", 32767}}, "IPSatS", 0, kKept, 1, 0},
        {ReadPositionLoopSaturation, {{"SATP", 32767}}, "IPSatP", 0, kKept, 1, 0},
        {ReadTestLimitCurrent, {{"ImaxPS", 0}}, "TestLimitCurrent", 0, kKept, 1, 0},
        {ReadOffsetCurrent, {{"ImaxPS", 0}}, "OffsetCurrent", 0, kKept, 1, 0},
        {ReadSpeedLimit, {{"SLPER", 0}}, "Limit_Speed", 0, kKept, 1, 0},
        {ReadSpeedLimit, {{"K", 0}}, "Limit_Speed", 0, kKept, 1, 0},
        {ReadTestMaxSpeed, {{"K", 0}}, "TestMaxSpeed", 0, kKept, 1, 0},
        {ReadLoadInertiaRatio, {{"Jm", 0}}, "Jload_over_J", 0, kKept, 1, 0},
        {ReadOutputFilter, {{"CLPER", 0}}, kFilter, 0, kKept, 1, 0},
        {WriteOutputFilter, {{kFilterOn, 1}, {"DSP_freq", 0}}, "FILTERQ", 0, kKept, 1, 0},
    };
    const auto defaults = LoadDefaultSetup();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        CKX_Setup setup(*defaults);
        for (const auto& change : c.changes) Force(setup, change.name, change.value);
        Force(setup, c.target, kKept);
        const CKX_Parameter* target = setup.FindParameter(c.target);
        ASSERT_EQ(target->GetValueInBaseUnit(), kKept) << "row " << i;
        EXPECT_EQ(c.convert(setup), c.result) << "row " << i;
        EXPECT_NEAR(target->GetValueInBaseUnit(), c.value, 1e-9) << "row " << i;
        EXPECT_NEAR(target->GetMinInBaseUnit(), c.min, 1e-9) << "row " << i;
        EXPECT_NEAR(target->GetMaxInBaseUnit(), c.max, 1e-9) << "row " << i;
    }
}

// The saturation registers hold whole counts: what is read back from them lies
// within one register step of what was written.
TEST(Gains, SaturationsRoundTripInEveryMode) {
    // Default drive: 3276 counts per ampere, 1/pi speed counts per rad/s.
    const double perAmpere = 3276, perRadPerSecond = 1 / kPi;
    const struct {
        const char* what;
        double mode, positionControl, acr;
        bool speedInSATP, speedReadBack;
    } cases[] = {
        {"torque", 2, 0, 1284, false, false},
        {"speed", 1, 0, 1796, true, false},
        {"position through the speed loop", 0, 1, 1796, true, true},
        {"position straight to current", 0, 0, 1284, false, false},
    };
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        Set(*setup, {{"ControlMode", c.mode}, {"PositionControlType", c.positionControl}, {"ACR", c.acr}});
        Set(*setup, {{"IlimPS", 6}, {"Limit_Speed", 300}, {"IPSatS", 80}, {"IPSatP", 40}});
        for (Converter write : {WriteSpeedSaturation, WritePositionSaturation, WriteSpeedLoopSaturation,
                                WritePositionLoopSaturation})
            write(*setup);
        EXPECT_EQ(ValueOf(*setup, "SATS"), 32767 - 6 * perAmpere) << c.what;  // a whole count
        EXPECT_EQ(ValueOf(*setup, "SATP"),
                  std::round(32767 - (c.speedInSATP ? 300 * perRadPerSecond : 6 * perAmpere)))
            << c.what;
        Set(*setup, {{"IlimPS", 1}, {"Limit_Speed", 1}, {"IPSatS", 1}, {"IPSatP", 1}});
        for (Converter read :
             {ReadCurrentLimit, ReadSpeedLimit, ReadSpeedLoopSaturation, ReadPositionLoopSaturation})
            read(*setup);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "IlimPS"), 6) << c.what;  // "SATS" held it exactly
        const struct {
            bool readBack;
            Converter read;
            const char *reg, *user;
            double written;
        } backs[] = {
            {true, ReadSpeedLoopSaturation, "IMAXS", "IPSatS", 80},
            {c.speedReadBack, ReadSpeedLimit, "SATP", "Limit_Speed", 300},
            // In speed mode "SATP" holds a speed, "IMAXP" a current: no share.
            {c.mode != 1, ReadPositionLoopSaturation, "IMAXP", "IPSatP", 40},
        };
        for (const auto& b : backs) {
            if (!b.readBack) continue;
            const double step = ReadStep(*setup, b.read, b.reg, b.user);
            EXPECT_GT(step, 0) << c.what << ": " << b.user;
            EXPECT_LE(std::fabs(ValueOf(*setup, b.user) - b.written), step * (1 + 1e-9))
                << c.what << ": " << b.user;
        }
        if (!c.speedReadBack) {
            EXPECT_EQ(ValueOf(*setup, "Limit_Speed"), 1) << c.what;  // left alone
        }
    }
}

TEST(Gains, DefaultSetupThroughBothDrivers) {
    auto setup = LoadDefaultSetup();
    const auto before = LoadDefaultSetup();
    ParametersToRegisters(*setup);
    RegistersToParameters(*setup);
    for (const GainRegisters* g : kControllerGains) {
        // The stored integer registers are what the default gains encode.
        EXPECT_EQ(ValueOf(*setup, g->shift), ValueOf(*before, g->shift)) << g->gain;
        EXPECT_NEAR(ValueOf(*setup, g->mantissa), ValueOf(*before, g->mantissa), 0.5) << g->gain;
        const double step = std::exp2(ValueOf(*setup, g->shift)) / 32767;
        EXPECT_NEAR(ValueOf(*setup, g->gain), ValueOf(*before, g->gain), step) << g->gain;
    }
    // Registers recomputed from the default parameters, and what they read back as.
    for (const char* name : {"KFFA_scl", "filter_D", "IlimPS", "Limit_Speed", "IPSatS", "IPSatP",
                             "FilterOnCurrentControllerOutput", "OffsetCurrent", "TestCurrent", "SATS",
                             "SATP", "IMAXS", "IMAXP", "FILTERQ", "KDFP", "KFFL", "FFL"})
        EXPECT_NEAR(ValueOf(*setup, name), ValueOf(*before, name), 1e-3) << name;
}

}  // namespace
