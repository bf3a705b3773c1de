// What the setup editors decide from the setup alone: the drive setup
// editor's enable/show/caption rules over setup variants, its handlers'
// changes, the gain write-back, drive info and the motor inertia question.
#include <gtest/gtest.h>

#include "EditorTest.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"

namespace {

using dctest::Apply;
using dctest::kGone;
using dctest::Value;
using dctest::Variant;

TEST(DriveSetupRules, EnableAndShowByVariant) {
    const struct {
        const char *what, *changes, *expect;
        std::initializer_list<std::pair<const char*, const char*>> options = {};
    } cases[] = {
        {"tachogenerator alone: no position, no software limits",
         "MotorSensorType=2 LoadSensorType=0 ControlMode=1", "-1059 -3276 -3354 -3270"},
        {"encoder: position and software limits", "MotorSensorType=1 LoadSensorType=0 ControlMode=0 isSWLS=1",
         "+1059 +3276 +3274"},
        {"software limits off leave their values greyed", "ControlMode=0 isSWLS=0", "+3276 -3271"},
        {"speed mode, speed feed-forward",
         "ControlMode=1 isSpeedControlError=1 isPositionControlError=1 PosSpd_in_FastLoop=0",
         "+3177 +3178 -3189 -3198 +1043 ^1043 +3231 +3222 -3230 -3218 +3394 ^3394 ^3395 _3196 _3205"},
        {"torque mode: no speed limit, no speed loop, no feed-forward", "ControlMode=2 PosSpd_in_FastLoop=0",
         "-1043 _1043 -3177 -3189 +3172 -3231 -3230 _3394 _3196"},
        {"position over the current loop",
         "ControlMode=0 PositionControlType=0 isPositionControlError=1 PosSpd_in_FastLoop=1",
         "+3189 -3177 +1043 _1043 -3197 +3230 +3220"},
        {"position over the speed loop, speed feed-forward, motion complete",
         "ControlMode=0 PositionControlType=1 PosSpd_in_FastLoop=0 MotionCompleteType=0",
         "+3189 +3177 +1043 ^1043 _3394 +3196 ^3196 +3197 ^3197 ^3285 ^3554"},
        {"loops in the fast loop: no feed-forward lists", "ControlMode=1 PosSpd_in_FastLoop=1",
         "_3394 _3183 _3196"},
        {"no SpeedForward parameter", "SpeedForward=gone ControlMode=1", "_3394 _3395 ^3183"},
        {"protections, reference, brake resistor and temperature sensor off",
         "isOverCurrent=0 isMotorI2t=0 ExternalReference=0 isBrakeResistor=0 isMotorTemperatureSensor=0",
         "-3214 -3217 -3226 -3240 -3208 -3116 -3244 -3232"},
        {"the same on, and the position range",
         "isOverCurrent=1 isMotorI2t=1 ExternalReference=1 isBrakeResistor=1 isMotorTemperatureSensor=1 "
         "isPosRange=1",
         "+3214 +3229 +3208 +3116 +3244 +3246 +3232 +3278 +3282"},
        {"CAN identity: baud rate not saved", "save_CAN_baudrate=0 save_axis_id=1",
         "-10021 -10023 +3136 ^3378"},
        {"no CAN identity saving", "save_CAN_baudrate=gone", "_3378 _3379"},
        {"no position range", "POSRANGEDEF=gone", "-3278 -3280"},
        {"motion complete in speed mode", "ControlMode=1 MotionCompleteType=0", "_3285"},
        {"no motion complete settings", "MotionCompleteDefaultSettings=gone ControlMode=0", "_3554"},
        {"options of the drive variant",
         "isBrakeResistor=1 isMotorTemperatureSensor=1",
         "-3244 _3248 _1047 -3232",
         {{"DisableBrake", "1"}, {"hideEnablePolarity", "1"}, {"DisableMotorTemperature", "1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::VariantOf(c.changes);
        for (const auto& [option, value] : c.options) setup->SetOption(option, value);
        dctest::ExpectStates(Apply(dcdrive::DriveSetupDisplayRules(*setup)), c.expect);
    }
    for (const double type : {0, 1})
        EXPECT_EQ(
            Apply(dcdrive::DriveSetupDisplayRules(*Variant({{"DigitalReferenceType", type}}))).at(3318).text,
            type == 0 ? "Pulse && Direction" : "Incremental Encoder");
}

TEST(DriveSetupRules, InputType) {
    const struct {
        const char* what;
        const char* programmable;  // null: option absent
        const char* description;
        double type, asr;  // type kGone: no parameter
        bool enabled, setsRadios, sink;
    } cases[] = {
        {"option absent, QZ drive: sink", nullptr, "DC drive QZ 48V", 0, 0, false, true, true},
        {"option absent: source", nullptr, "DC drive", 1, 0, false, true, false},
        {"no parameter, ASR bit 2 clear: sink", "0", "", kGone, 0, false, true, true},
        {"no parameter, ASR bit 2 set: source", "1", "", kGone, 4, false, true, false},
        {"programmable, sink chosen", "1", "", 1, 0, true, false, true},
        {"fixed, source chosen", "0", "", 0, 0, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant({{"InputsPolarityType", c.type}, {"ASR", c.asr}});
        setup->ClearOption("IsInputsTypeProgrammable");
        if (c.programmable) setup->SetOption("IsInputsTypeProgrammable", c.programmable);
        setup->SetDescription(c.description);
        const dcdrive::InputTypeDisplay shown = dcdrive::DriveSetupInputType(*setup);
        EXPECT_EQ(shown.radiosEnabled, c.enabled);
        EXPECT_EQ(shown.setsRadios, c.setsRadios);
        EXPECT_EQ(shown.sink, c.sink);
        EXPECT_STREQ(shown.captions.upper,
                     c.sink ? "Active high (Connected to +Vlog)" : "Active high (Open/No connection)");
        EXPECT_STREQ(shown.captions.lower,
                     c.sink ? "Active low (Open/No connection)" : "Active low (Connected to GND)");
    }
}

TEST(DriveSetupRules, AxisIdListEndsWithTheHardwareId) {
    EXPECT_EQ(dcdrive::AxisIdItems().at(255), "H/W");
    EXPECT_EQ(dcdrive::AxisIdItemIndex(0), 255);
    EXPECT_EQ(dcdrive::AxisIdItemIndex(130), 129);
    EXPECT_EQ(dcdrive::AxisIdFromText("H/W"), 0);
    EXPECT_EQ(dcdrive::AxisIdFromText("130"), 130);
    // IDs above 127 are no CANopen IDs; the hardware ID is not one of them.
    EXPECT_TRUE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(128)));
    EXPECT_FALSE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(127)));
    EXPECT_FALSE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(0)));
}

// One row per handler: "mode button" is the tachogenerator rule the mode
// buttons run, "InputsPolarityType" the inversion a new input type makes.
TEST(DriveSetupChanges, HandlersKeepTheSetupConsistent) {
    const struct {
        const char *what, *before, *changed;
        bool refreshAll;
        std::size_t refreshed;
        const char* after;
    } cases[] = {
        {"speed mode resets the gearing, the reference kind and the freeze",
         "ControlMode=1 GEARMASTER=3 GEARSLAVE=2 isAnalogueReference=0 isFreezeControl=1", "controlmode",
         true, 0, "GEARMASTER=1 GEARSLAVE=1 isAnalogueReference=1 isFreezeControl=0"},
        {"negative limit raised above the positive", "Positive_SWLS=10 Negative_SWLS=12", "Negative_SWLS",
         false, 0, "Negative_SWLS=10"},
        {"positive limit lowered below the negative", "Positive_SWLS=-5 Negative_SWLS=-2", "Positive_SWLS",
         false, 0, "Positive_SWLS=-2"},
        {"an edited band leaves the motion complete defaults", "MotionCompleteDefaultSettings=1",
         "MotionCompleteSettleBand", false, 0, "MotionCompleteDefaultSettings=0"},
        {"no external reference: no activation after power on",
         "ExternalReference=0 isAutoActivatedAfterPowerOn=1", "ExternalReference", false, 1,
         "isAutoActivatedAfterPowerOn=0"},
        {"tachogenerator and load encoder: position over the speed loop",
         "MotorSensorType=2 LoadSensorType=1 ControlMode=0 PositionControlType=0", "mode button", false, 0,
         "PositionControlType=1"},
        {"a new input type inverts the polarities", "EnablePolarity=0 LSNPolarity=1 LSPPolarity=1",
         "InputsPolarityType", false, 0, "EnablePolarity=1 LSNPolarity=0 LSPPolarity=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::VariantOf(c.before);
        const std::string changed = c.changed;
        dcdrive::DriveSetupChange change;
        if (changed == "mode button")
            EXPECT_TRUE(dcdrive::ApplyTachogeneratorRule(*setup));
        else if (changed == "InputsPolarityType")
            dcdrive::InvertInputPolarities(*setup);
        else
            change = dcdrive::ApplyDriveSetupChange(*setup, c.changed);
        EXPECT_EQ(change.refreshAll, c.refreshAll);
        EXPECT_EQ(change.refresh.size(), c.refreshed);
        dctest::ExpectValues(*setup, c.after, 0);
    }
}

// The tachogenerator rule changes nothing unless the motor has a
// tachogenerator, the load an encoder and the drive is in position mode.
TEST(DriveSetupChanges, TachogeneratorRuleNeedsAllThree) {
    for (const char* before : {"MotorSensorType=2 LoadSensorType=1 ControlMode=1",
                               "MotorSensorType=1 LoadSensorType=1", "MotorSensorType=2 LoadSensorType=0"}) {
        SCOPED_TRACE(before);
        auto setup = dctest::VariantOf(std::string("ControlMode=0 PositionControlType=0 ") + before);
        dcdrive::ApplyTachogeneratorRule(*setup);
        dctest::ExpectValues(*setup, "PositionControlType=0", 0);
    }
}

TEST(DriveSetupChanges, PositionRangeWidenedToThreeCounts) {
    const double s = std::fabs(dcdrive::PositionScale(*Variant({})));
    ASSERT_GT(s, 0.0);
    const struct {
        double lo, hi, wantLo, wantHi;  // counts
        bool written;
    } cases[] = {
        {0, 0, -3, 0, true},
        {-4, -4, -4, -1, true},
        {5, 2, 2, 5, true},  // swapped: written back in order
        {0, 100, 0, 100, false},
    };
    for (const auto& c : cases) {
        auto v = Variant({{"PosRange_Minimum", c.lo / s}, {"PosRange_Maximum", c.hi / s}});
        EXPECT_EQ(dcdrive::WidenPositionRange(*v), c.written) << c.lo << " " << c.hi;
        EXPECT_NEAR(Value(*v, "PosRange_Minimum") * s, c.wantLo, 1e-9);
        EXPECT_NEAR(Value(*v, "PosRange_Maximum") * s, c.wantHi, 1e-9);
    }
}

TEST(GainWriteBack, GainHoldsWhatItsRegistersHold) {
    for (const char* gain : {"Kp_C_scl", "KP_C_SCL", "Ki_S_scl", "Kd_P_scl", "KFFA_scl", "KFFS_scl"}) {
        SCOPED_TRACE(gain);
        auto setup = Variant({});
        CKX_Parameter* p = setup->FindParameter(gain);
        p->SetValueInBaseUnit(1.2345678901);
        ASSERT_TRUE(dcdrive::WriteBackGain(*setup, gain));
        // The registers give the value back unchanged: it is what the drive uses.
        const double written = p->GetValueInBaseUnit();
        dcdrive::RegistersToParameters(*setup);
        EXPECT_DOUBLE_EQ(setup->FindParameter(gain)->GetValueInBaseUnit(), written);
        EXPECT_NEAR(written, 1.2345678901, 1e-3);
    }
    auto setup = Variant({});
    const double before = Value(*setup, "Vdc");
    EXPECT_FALSE(dcdrive::WriteBackGain(*setup, "Vdc"));
    EXPECT_EQ(Value(*setup, "Vdc"), before);
}

TEST(DriveInfoRules, EditModeAndProtections) {
    auto setup = Variant({{"isDriveTemperatureSensor", 1},
                          {"isOverVoltage", 0},
                          {"isUnderVoltage", 1},
                          {"isDriveI2t", 1},
                          {"isDriveOverTemp", 0}});
    const auto off = Apply(dcdrive::DriveInfoDisplayRules(*setup, false));
    for (unsigned id : {3087u, 1159u, 3275u, 3278u, 1165u, 1171u, 1173u, 1170u, 1178u})
        EXPECT_FALSE(off.at(id).enabled) << id;
    // The user's ID stays editable; unit lists follow their protection, edit mode or not.
    for (unsigned id : {3114u, 1166u, 1172u}) EXPECT_TRUE(off.at(id).enabled) << id;
    const auto on = Apply(dcdrive::DriveInfoDisplayRules(*setup, true));
    for (unsigned id : {3087u, 1159u, 3275u, 3278u, 1165u, 1171u, 1173u, 1175u})
        EXPECT_TRUE(on.at(id).enabled) << id;
    EXPECT_FALSE(on.at(1169).enabled);  // over voltage is off
    EXPECT_FALSE(on.at(1177).enabled);

    auto cold = Variant({{"isDriveTemperatureSensor", 0}, {"isDriveOverTemp", 1}});
    EXPECT_TRUE(dcdrive::ApplyDriveTemperatureRule(*cold));
    EXPECT_EQ(Value(*cold, "isDriveOverTemp"), 0);
    EXPECT_FALSE(dcdrive::ApplyDriveTemperatureRule(*cold));
}

TEST(DriveInfoRules, E2ROMSize) {
    unsigned words = 7;
    EXPECT_TRUE(dcdrive::E2ROMWordsFromText("16", words));
    EXPECT_EQ(words, 16u << 10);
    EXPECT_TRUE(dcdrive::E2ROMWordsFromText("abc", words));  // no number stores 0
    EXPECT_EQ(words, 0u);
    EXPECT_TRUE(dcdrive::E2ROMWordsFromText("63", words));
    EXPECT_FALSE(dcdrive::E2ROMWordsFromText("64", words));
    EXPECT_FALSE(dcdrive::E2ROMWordsFromText("-1", words));
}

TEST(InertiaChoice, RaisesTheTotalOrDisregardsTheMotor) {
    for (const int choice : {1, 2}) {
        auto setup = Variant({{"Jm", 2e-5}, {"Jt", 1e-5}, {"isMotorInertiaUnknown", 0}});
        EXPECT_TRUE(dcdrive::ApplyInertiaChoice(*setup, choice));
        EXPECT_DOUBLE_EQ(Value(*setup, "Jt"), choice == 1 ? 2e-5 * 1.01 : 1e-5);
        EXPECT_EQ(Value(*setup, "isMotorInertiaUnknown"), choice == 1 ? 0 : 1);
        EXPECT_FALSE(dcdrive::ApplyInertiaChoice(*setup, 0));
    }
}

}  // namespace
