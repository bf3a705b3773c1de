// What the advanced settings dialog decides from the setup alone.
#include "EditorTest.h"
#include "editors/AdvancedRules.h"

namespace {

using namespace dctest;

// The references the dialog takes when it opens.
dcdrive::AdvancedState Opened(const CKX_Setup& setup) {
    return {Value(setup, "Ts_S"), Value(setup, "Ts_C"), Value(setup, "Ts_S")};
}

// What the dialog shows as it opens, its start rules then the rules of each load: the high resolution speed
// estimator (3356) only with the sensors that allow it, with the new estimator only outside the fast loop.
TEST(AdvancedRules, PictureAndEnablingOverSetupVariants) {
    const struct {
        const char *changes, *expected;
        unsigned picture;
    } cases[] = {
        {"", "+3012 ^3012 +3374 +3375 +1146 +1147 _1148 _1149 +3396 -3400 +3355 +3356", 3000},
        {"LoadSensorType=1", "-3012 +3013 -1147 +3356", 3067},
        {"PositionControlType=0", "-3374 +3375", 3017},  // no speed loop to feed forward
        {"MotorSensorType=2 LoadSensorType=1", "-3012 -1147", 3001},
        {"ControlMode=1", "_3012 _3013 -3374 +3376 -3396 -3403", 3062},
        {"ControlMode=1 MotorSensorType=2", "+1146 -1147 -3356", 3016},
        {"ControlMode=2", "-3375 -1146 -3014", 3063},
        {"PosSpd_in_FastLoop=gone SpeedForward=gone", "_1146 _1147 _3014 -3376", 3000},
        {"isFreezeControl=1", "+3400 +3403", 3000},
        {"isFreezeControl=1 ControlMode=1", "-3400", 3062},
        {"isSpeedEstimator=gone", "-3355 -3356", 3000},
        {"@newSpeedEstimator=0", "+3356", 3000},
        {"@newSpeedEstimator=0 LoadSensorType=1", "-3356", 3067},
        {"@newSpeedEstimator=0 MotorSensorType=0 LoadSensorType=1", "+3356", 3001},
        {"@newSpeedEstimator=0 MotorSensorType=3 SINCOS_fract=1", "-3356", 3001},
        {"PosSpd_in_FastLoop=1", "-3356", 3000},
        {"MotorSensorType=0 LoadSensorType=3 SINCOS_fract_LD=1", "+3356", 3001},
        {"MotorSensorType=0 LoadSensorType=3", "-3356", 3001},
        {"MotorSensorType=3 SINCOS_fract=1.5", "+3356", 3001},
        {"MotorSensorType=3 SINCOS_fract=2", "-3356", 3001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        const auto setup = VariantOf(c.changes);
        auto rules = dcdrive::AdvancedInitRules(*setup);
        for (const auto& rule : dcdrive::AdvancedDisplayRules(*setup)) rules.push_back(rule);
        ExpectStates(Apply(rules), c.expected);
        EXPECT_EQ(dcdrive::AdvancedSchemeBitmap(*setup), c.picture);
    }
}

// A faster current loop raises a serial encoder clock too slow to be read
// within it to the next 250 kHz step, with the message of its side.
TEST(AdvancedRules, FastLoopChangeRaisesTheSerialClockToWhatItNeeds) {
    const struct {
        const char* changes;
        double fmin, motorAfter, loadAfter;
        const char* message;
    } cases[] = {
        {"MotorSensorType=4", 1000001, 1250000, 1000000, dcdrive::kMotorSerialClockMessage},
        {"LoadSensorType=5", 1000001, 1000000, 1250000, dcdrive::kLoadSerialClockMessage},
        {"MotorSensorType=4 LoadSensorType=4", 999999, 1000000, 1000000, nullptr},
        {"", 1000001, 1000000, 1000000, nullptr},  // no serial encoder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        auto setup = VariantOf(std::string("SSI_freq=1000000 SSI_freq_LD=1000000 ") + c.changes);
        // The read time that leaves `fmin` the lowest clock readable within the current loop period.
        const double clock = Value(*setup, "DSP_freq");
        const double free = 2 * Value(*setup, "CLPER") * Value(*setup, "PWMPER") / clock - 1 / clock -
                            Value(*setup, "AEI_TransferTime") - Value(*setup, "AEI_GuardTime") -
                            Value(*setup, "AEI_ComputeTime");
        Set(*setup, "AEI_ReadTime1Mhz", c.fmin * free / 1e6);
        ASSERT_NEAR(dcdrive::SerialClockMinimum(*setup), c.fmin, 1e-3);
        auto state = Opened(*setup);
        EXPECT_EQ(dcdrive::ApplyAdvancedRefresh(*setup, "CLPER", state).messages,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_NEAR(Value(*setup, "SSI_freq"), c.motorAfter, 1e-3);
        EXPECT_NEAR(Value(*setup, "SSI_freq_LD"), c.loadAfter, 1e-3);
    }
}

// A fast loop above the slow loop pulls it up; a doubled slow loop period
// keeps times, speeds, accelerations and the I2t protection in base units.
TEST(AdvancedRules, NewLoopDividers) {
    auto setup = dcdrive::LoadDefaultSetup();
    auto state = Opened(*setup);
    Set(*setup, "CLPER", Value(*setup, "SLPER") + 5);
    const auto refresh = dcdrive::ApplyAdvancedRefresh(*setup, "CLPER", state);
    EXPECT_EQ(Value(*setup, "SLPER"), Value(*setup, "CLPER"));
    EXPECT_DOUBLE_EQ(Value(*setup, "Ts_S"), Value(*setup, "Ts_C"));
    EXPECT_DOUBLE_EQ(state.fastReference, Value(*setup, "Ts_C"));
    EXPECT_EQ(refresh.fastOutside, 0);
    EXPECT_EQ(refresh.slowOutside, -1);

    setup = dcdrive::LoadDefaultSetup();
    const CKX_Setup before(*setup);
    state = Opened(*setup);
    Set(*setup, "SLPER", 2 * Value(*setup, "SLPER"));
    dcdrive::ApplyAdvancedRefresh(*setup, "SLPER", state);
    const double ts = 2 * Value(before, "Ts_S");
    ASSERT_DOUBLE_EQ(Value(*setup, "Ts_S"), ts);
    EXPECT_DOUBLE_EQ(state.rescaleReference, ts);
    EXPECT_DOUBLE_EQ(state.slowReference, ts);
    for (const char* name : {"time_ERR_pos", "TPS", "ERR_speed", "ErefMaxAcceleration", "t_I2t_M", "I_I2t_M"})
        EXPECT_NEAR(Value(*setup, name), Value(before, name), 1e-6 * Value(before, name)) << name;
}

// OK is refused below the minimum periods (the fast loop's on the widgets).
TEST(AdvancedRules, OKRefusesASlowLoopPeriodBelowItsMinimum) {
    EXPECT_TRUE(dcdrive::AdvancedOKMessages(*dcdrive::LoadDefaultSetup()).empty());
    EXPECT_EQ(
        dcdrive::AdvancedOKMessages(*VariantOf("Ts_S_min=0.0025")),
        std::vector<std::string>{
            "The minimum value for Slow loop sampling period is 2.500 ms!\nPlease adjust the PWM frequency "
            "and/or the Slow loop sampling frequency divider until this condition is fulfilled!"});
}

}  // namespace
