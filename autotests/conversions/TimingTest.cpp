#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Timing.h"

using namespace dcdrive;
using dctest::MakeSetup;
using dctest::ReportedErrors;
using dctest::ValueOf;

namespace {

constexpr double kAbsent = std::numeric_limits<double>::quiet_NaN();

TEST(Timing, FastLoopFlagIsOptional) {
    ReportedErrors errors;
    EXPECT_EQ(ReadFastLoopFlag(*MakeSetup({{"UPGRADE", 0x40}})), 1);  // nothing to do, no message
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_EQ(ReadFastLoopFlag(*MakeSetup({{"PosSpd_in_FastLoop", 0}})), 0);

    for (double word : {0.0, 64.0, 64.0 + 0xFFBF}) {
        auto setup = MakeSetup({{"UPGRADE", word}, {"PosSpd_in_FastLoop", 0.5}});
        EXPECT_EQ(ReadFastLoopFlag(*setup), 1);
        const CKX_Parameter* flag = setup->FindParameter("PosSpd_in_FastLoop");
        EXPECT_EQ(flag->GetValueInBaseUnit(), word == 0.0 ? 0.0 : 1.0) << word;
        EXPECT_EQ(flag->GetMinInBaseUnit(), 0.0);
        EXPECT_EQ(flag->GetMaxInBaseUnit(), 1.0);
    }
}

TEST(Timing, UpgradeWordForward) {
    const struct {
        const char* what;
        double upgrade, limitMaximum;
        double fastLoop, motor, load;  // fastLoop kAbsent: no such parameter
        double motionType;             // kAbsent: no motion-complete settings
        double expected;
    } cases[] = {
        {"bit 15 cleared, others kept", 0x8001 | 0x0800, 0, kAbsent, 1, 0, kAbsent, 0x0801},
        {"limit maximum exactly 1", 0, 1.0, kAbsent, 1, 0, kAbsent, 0x0004},
        {"limit maximum 1.5 is not 1", 0x0004, 1.5, kAbsent, 1, 0, kAbsent, 0},
        {"fast loop with incremental motor encoder alone", 0, 0, 1.0, 1, 0, kAbsent, 0x0040},
        {"fast loop not with a load sensor", 0x0040, 0, 1.0, 1, 1, kAbsent, 0},
        {"fast loop not with a sine/cosine encoder", 0, 0, 1.0, 3, 0, kAbsent, 0},
        {"no fast-loop parameter clears bit 6", 0x0040, 0, kAbsent, 1, 0, kAbsent, 0},
        {"motion-complete type 0 sets bit 11", 0, 0, kAbsent, 1, 0, 0.7, 0x0800},
        {"all bits", 0xFFFF, 1, 1, 1.5, 0.5, 0, 0x7FFF},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup({{"UPGRADE", c.upgrade},
                                {"isLimitMaximum", c.limitMaximum},
                                {"MotorSensorType", c.motor},
                                {"LoadSensorType", c.load}});
        if (!std::isnan(c.fastLoop)) dctest::Add(*setup, {{"PosSpd_in_FastLoop", c.fastLoop}});
        if (!std::isnan(c.motionType))
            dctest::Add(*setup, {{"MotionCompleteDefaultSettings", 0}, {"MotionCompleteType", c.motionType}});
        EXPECT_EQ(WriteUpgradeWord(*setup), 1) << c.what;
        EXPECT_EQ(ValueOf(*setup, "UPGRADE"), c.expected) << c.what;
    }
    // A drive with the motion-complete settings needs the type.
    auto setup = MakeSetup({{"UPGRADE", 0x0800},
                            {"isLimitMaximum", 1},
                            {"MotorSensorType", 1},
                            {"LoadSensorType", 0},
                            {"MotionCompleteDefaultSettings", 1}});
    ReportedErrors errors;
    EXPECT_EQ(WriteUpgradeWord(*setup), 0);
    EXPECT_EQ(ValueOf(*setup, "UPGRADE"), 0x0800);
}

TEST(Timing, PWMSaturation) {
    const struct {
        double measurement, frequency, expected;
    } cases[] = {{0.0, 1e9, 0}, {1, 20000, 20000 * 0.13107}, {0.5, 10000, 10000 * 0.13107}};
    for (const auto& c : cases) {
        auto setup =
            MakeSetup({{"SATPWM", 99}, {"CurrentMeasurementType", c.measurement}, {"PWM_freq", c.frequency}});
        EXPECT_EQ(WritePWMSaturation(*setup), 1);
        EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATPWM"), c.expected) << c.measurement << " " << c.frequency;
    }
}

TEST(Timing, SaturationCopiesOnlyWhereBothExist) {
    ReportedErrors errors;  // drive variants without them are normal: no message
    auto setup = MakeSetup({{"SATPWM", 2621.4}, {"SATID", 1}});
    EXPECT_EQ(CopyPWMSaturationToD(*setup), 1);
    EXPECT_EQ(CopyPWMSaturationToQ(*setup), 0);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATID"), 2621.4);
    auto noSource = MakeSetup({{"SATID", 1}});
    EXPECT_EQ(CopyPWMSaturationToD(*noSource), 0);
    EXPECT_EQ(ValueOf(*noSource, "SATID"), 1);
    EXPECT_TRUE(errors.Messages().empty());
}

}  // namespace
