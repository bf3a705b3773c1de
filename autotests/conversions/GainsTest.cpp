#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

#include "TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Gains.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::Force;
using dctest::ValueOf;

namespace {

TEST(Gains, FixedPointEncoding) {
    const struct {
        double x, mantissa;
        int shift;
    } cases[] = {{0, 0, 0},
                 {0.5, 16383.5, 0},
                 {1, 32767, 0},
                 {std::nextafter(1.0, 2.0), 16383.5, 1},
                 {4.5, 4.5 * 32767 / 8, 3},
                 {16384, 32767, 14},
                 {0x1p31, 32767, 31}};
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
    // A different gain for each pair, 0.75 to 12288, and the acceleration
    // feed-forward shift split: at most 11 in "SFTAFFW".
    auto setup = dctest::MakeSetup({{"KFFA", 0}, {"SFTAFFW", 0}, {"SFTKFF", 0}, {"KFFA_scl", 0x1p13}});
    double x = 0.1875;
    for (const auto& g : gains) dctest::Add(*setup, {{g[0], 0}, {g[1], 0}, {g[2], x *= 4}});
    dctest::ReportedErrors quiet;  // the setup holds nothing else
    ParametersToRegisters(*setup);
    EXPECT_EQ(ValueOf(*setup, "SFTAFFW"), 11);
    EXPECT_EQ(ValueOf(*setup, "SFTKFF"), 2);
    EXPECT_EQ(ValueOf(*setup, "KFFA"), 32767);
    for (const auto& g : gains) setup->SetParameterValueInBaseUnit(g[2], -1);
    setup->SetParameterValueInBaseUnit("KFFA_scl", -1);
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "KFFA_scl"), 0x1p13);
    x = 0.1875;
    for (const auto& g : gains) {
        const FixedPointGain stored = EncodeGain(x *= 4);
        EXPECT_EQ(ValueOf(*setup, g[1]), stored.shift) << g[2];
        EXPECT_EQ(ValueOf(*setup, g[0]), stored.mantissa) << g[2];
        EXPECT_DOUBLE_EQ(ValueOf(*setup, g[2]), x) << g[2];
        EXPECT_EQ(setup->FindParameter(g[2])->GetMaxInBaseUnit(), 16384) << g[2];
    }
}

// What one converter writes into its target on the default setup after the
// given changes. The target first holds -7, which no converter here computes:
// one that writes nothing leaves it. A range given as NaN must be left as it was.
TEST(Gains, ConvertersOnTheDefaultSetup) {
    constexpr double kKept = -7, kSame = std::numeric_limits<double>::quiet_NaN();
    constexpr const char* kFilter = "FilterOnCurrentControllerOutput";
    constexpr const char* kFilterOn = "isUseFilterOnCrtCtrlOutput";
    constexpr const char* kGravityOn = "isCompensateGravitationalLoads";
    const double tacho = 4096 * 0.028647889756541162 / 20;  // counts per rad/s
    const struct {
        Converter convert;
        std::vector<dctest::Param> changes;
        const char* target;
        int result;
        double value, min = kSame, max = kSame;
    } cases[] = {
        {ReadCurrentLimit, {}, "IlimPS", 1, 8, 0.001, 10},  // "SATS": "ACR" bit 9 is set
        {ReadTestLimitCurrent, {{"ACR", 1284}}, "TestLimitCurrent", 1, 200.0 / 3276, 0, 10},  // "SATP"
        {ReadTestCurrent, {}, "TestCurrent", 1, 1.6, 0.001, 2.88},
        {ReadTestMaxSpeed, {}, "TestMaxSpeed", 1, 800.0 / 3, 0, 800},
        {ReadLoadInertiaRatio, {{"Jt", 4.2e-5}}, "Jload_over_J", 1, 2, 0, 100},  // Jm 1.4e-5
        {ReadSpeedLimit, {}, "Limit_Speed", 1, 200 * kPi, 0, 800},               // 48 V / 0.06 V s/rad
        {ReadSpeedLimit, {{"Limit_Speed_MaxPercent", 50}}, "Limit_Speed", 1, 400, 0, 400},
        {ReadSpeedLimit, {{"MotorSensorType", 2}}, "Limit_Speed", 1, 200 / tacho, 0, 2047 / tacho},
        {ReadSpeedLimit, {{"ControlMode", 1}}, "Limit_Speed", 1, kKept},  // "SATP" holds no speed limit
        {ReadSpeedLoopSaturation, {}, "IPSatS", 1, 100, 0, 100},
        {ReadPositionLoopSaturation, {}, "IPSatP", 1, 50, 0, 100},
        // in speed control "SATP" holds a speed limit; "IMAXP" is a share of the current limit
        {ReadPositionLoopSaturation,
         {{"ControlMode", 1}, {"IlimPS", 6}, {"IMAXP", 22939}},
         "IPSatP",
         1,
         50,
         0,
         100},
        {ReadOutputFilter, {{"FILTERQ", 1598}}, kFilter, 1, 1000, 0, 10000},
        {ReadOutputFilterFlag, {{"FILTERQ", 32766}}, kFilterOn, 1, 1, 0, 1},
        {ReadOffsetCurrent, {{"FFL", 4914}}, "OffsetCurrent", 1, 1.5, -3.2, 3.2},
        {ReadGravityCompensationFlag, {{"FFL", -1}}, kGravityOn, 1, 1, 0, 1},
        {ReadDerivativeFilter, {{"KDFP", 8192}}, "filter_D", 1, 8192 / 32767.0, 0, 1},
        // forward: T = 50 us, 3276 counts per ampere, 1/pi counts per rad/s; position control
        // over the speed loop unless changed
        {WriteOutputFilter, {{kFilter, 1000}}, "FILTERQ", 1, 32767},
        {WriteOutputFilter, {{kFilterOn, 1}, {kFilter, 1000}}, "FILTERQ", 1, 1598},
        {WriteOutputFilter, {{kFilterOn, 0.5}, {kFilter, 2000}}, "FILTERQ", 1, 3118},
        {WriteOffsetCurrent, {{kGravityOn, 1}, {"OffsetCurrent", 1.5}}, "FFL", 1, 4914},
        {WriteDerivativeFilter, {{"filter_D", 0.25}}, "KDFP", 1, 8192},  // 8191.75 held as 8192
        {WriteSpeedSaturation, {{"IlimPS", 6}}, "SATS", 1, 13111, 0, 32767},
        {WritePositionSaturation, {{"ControlMode", 1}, {"Limit_Speed", 300}}, "SATP", 1, 32672, 0, 32767},
        {WritePositionSaturation, {{"PositionControlType", 0}, {"IlimPS", 6}}, "SATP", 1, 13111, 0, 32767},
        {WriteSpeedLoopSaturation, {{"IlimPS", 6}, {"IPSatS", 80}}, "IMAXS", 1, 17042, 0, 32767},
        {WritePositionLoopSaturation, {{"Limit_Speed", 300}, {"IPSatP", 40}}, "IMAXP", 1, 32729, 0, 32767},
        {WritePositionLoopSaturation, {{"ControlMode", 2}, {"IPSatP", 40}}, "IMAXP", 1, 22284, 0, 32767},
        // zero divisors
        {ReadSpeedLoopSaturation, {{"SATS", 32767}}, "IPSatS", 0, kKept},
        {ReadPositionLoopSaturation, {{"Limit_Speed", 0}}, "IPSatP", 0, kKept},
        {ReadTestLimitCurrent, {{"ImaxPS", 0}}, "TestLimitCurrent", 0, kKept},
        {ReadSpeedLimit, {{"K", 0}}, "Limit_Speed", 0, kKept},
        {ReadLoadInertiaRatio, {{"Jm", 0}}, "Jload_over_J", 0, kKept},
        {WriteOutputFilter, {{kFilterOn, 1}, {"DSP_freq", 0}}, "FILTERQ", 0, kKept},
    };
    const auto defaults = LoadDefaultSetup();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        CKX_Setup setup(*defaults);
        for (const auto& change : c.changes) Force(setup, change.name, change.value);
        Force(setup, c.target, kKept);
        const CKX_Parameter* target = setup.FindParameter(c.target);
        const double min = target->GetMinInBaseUnit(), max = target->GetMaxInBaseUnit();
        EXPECT_EQ(c.convert(setup), c.result) << "row " << i;
        EXPECT_NEAR(target->GetValueInBaseUnit(), c.value, 1e-9) << "row " << i;
        EXPECT_NEAR(target->GetMinInBaseUnit(), std::isnan(c.min) ? min : c.min, 1e-9) << "row " << i;
        EXPECT_NEAR(target->GetMaxInBaseUnit(), std::isnan(c.max) ? max : c.max, 1e-9) << "row " << i;
    }
}

}  // namespace
