// What the drive setup editor, drive info and the motor inertia question decide from the setup alone.
#include "EditorTest.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"

namespace {

using namespace dctest;

TEST(DriveSetupRules, EnableAndShowByVariant) {
    const struct {
        const char *changes, *expected, *caption = "Pulse && Direction";  // of the digital reference kind
    } cases[] = {
        // a tachogenerator alone gives no position and no software limits
        {"MotorSensorType=2 LoadSensorType=0 ControlMode=1", "-1059 -3276 -3354 -3270"},
        {"isSWLS=1", "+1059 +3276 +3274"},
        {"isSWLS=0", "+3276 -3271"},
        {"ControlMode=1 isSpeedControlError=1 isPositionControlError=1 PosSpd_in_FastLoop=0 "
         "MotionCompleteType=0",
         "+3177 +3178 -3189 -3198 +1043 ^1043 +3231 +3222 -3230 -3218 +3394 ^3394 ^3395 _3196 _3205 _3285"},
        {"ControlMode=2 PosSpd_in_FastLoop=0", "-1043 _1043 -3177 -3189 +3172 -3231 -3230 _3394 _3196"},
        {"ControlMode=0 PositionControlType=0 isPositionControlError=1 PosSpd_in_FastLoop=1",
         "+3189 -3177 +1043 _1043 -3197 +3230 +3220"},
        {"ControlMode=0 PositionControlType=1 PosSpd_in_FastLoop=0 MotionCompleteType=0",
         "+3189 +3177 +1043 ^1043 _3394 +3196 ^3196 +3197 ^3197 ^3285 ^3554"},
        {"ControlMode=1 PosSpd_in_FastLoop=1", "_3394 _3183 _3196"},
        {"SpeedForward=gone ControlMode=1", "_3394 _3395 ^3183"},
        {"isOverCurrent=0 isMotorI2t=0 ExternalReference=0 isBrakeResistor=0 isMotorTemperatureSensor=0",
         "-3214 -3217 -3226 -3240 -3208 -3116 -3244 -3232"},
        {"isOverCurrent=1 isMotorI2t=1 ExternalReference=1 isBrakeResistor=1 isMotorTemperatureSensor=1 "
         "isPosRange=1",
         "+3214 +3229 +3208 +3116 +3244 +3246 +3232 +3278 +3282"},
        {"save_CAN_baudrate=0 save_axis_id=1 DigitalReferenceType=1", "-10021 -10023 +3136 ^3378",
         "Incremental Encoder"},
        {"save_CAN_baudrate=gone POSRANGEDEF=gone MotionCompleteDefaultSettings=gone",
         "_3378 _3379 -3278 -3280 _3554"},
        {"isBrakeResistor=1 isMotorTemperatureSensor=1 @DisableBrake=1 @hideEnablePolarity=1 "
         "@DisableMotorTemperature=1",
         "-3244 _3248 _1047 -3232"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        const auto states = Apply(dcdrive::DriveSetupDisplayRules(*VariantOf(c.changes)));
        ExpectStates(states, c.expected);
        EXPECT_EQ(states.at(3318).text, c.caption);
    }
}

// The sink/source radios: set from the drive's name without the option, from
// bit 2 of ASR without the parameter, else bound to it.
TEST(DriveSetupRules, InputType) {
    const struct {
        const char *changes, *description;
        bool enabled, setsRadios, sink;
    } cases[] = {
        {"@IsInputsTypeProgrammable=gone InputsPolarityType=0", "DC drive QZ 48V", false, true, true},
        {"@IsInputsTypeProgrammable=gone InputsPolarityType=1", "DC drive", false, true, false},
        {"@IsInputsTypeProgrammable=0 InputsPolarityType=gone ASR=0", "", false, true, true},
        {"@IsInputsTypeProgrammable=1 InputsPolarityType=gone ASR=4", "", false, true, false},
        {"@IsInputsTypeProgrammable=1 InputsPolarityType=1", "", true, false, true},
        {"@IsInputsTypeProgrammable=0 InputsPolarityType=0", "", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        auto setup = VariantOf(c.changes);
        setup->SetDescription(c.description);
        const dcdrive::InputTypeDisplay shown = dcdrive::DriveSetupInputType(*setup);
        EXPECT_EQ(std::vector<bool>({shown.radiosEnabled, shown.setsRadios, shown.sink}),
                  std::vector<bool>({c.enabled, c.setsRadios, c.sink}));
        EXPECT_STREQ(shown.captions.upper,
                     (c.sink ? dcdrive::kSinkCaptions : dcdrive::kSourceCaptions).upper);
    }
}

// IDs above 127, the hardware ID (0) not among them, are no CANopen IDs.
TEST(DriveSetupRules, AxisIdList) {
    EXPECT_EQ(dcdrive::AxisIdFromText("H/W"), 0);
    for (const int id : {127, 128, 255, 0})
        EXPECT_EQ(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(id)), id > 127) << id;
}

// One row per handler, with the controls it reloads ("all": every one): "tacho" is the mode buttons' rule
// that needs a tachogenerator, a load encoder and position control (met on the widgets); "InputsPolarityType"
// the inversion a new input type makes; "inertia n" the inertia question's choice n (1: the total 1 % above
// the motor's, 0: none; 2 on the widgets).
TEST(DriveSetupChanges, HandlersKeepTheSetupConsistent) {
    const struct {
        const char *changed, *before, *refreshed, *after;
    } cases[] = {
        {"controlmode", "ControlMode=1 GEARMASTER=3 GEARSLAVE=2 isAnalogueReference=0 isFreezeControl=1",
         "all", "GEARMASTER=1 GEARSLAVE=1 isAnalogueReference=1 isFreezeControl=0"},
        {"ControlMode", "ControlMode=0 GEARMASTER=3 isFreezeControl=1", "", "GEARMASTER=3 isFreezeControl=1"},
        {"Negative_SWLS", "Positive_SWLS=10 Negative_SWLS=12", "", "Negative_SWLS=10"},
        {"Positive_SWLS", "Positive_SWLS=-5 Negative_SWLS=-2", "", "Positive_SWLS=-2"},
        {"ExternalReference", "ExternalReference=0 isAutoActivatedAfterPowerOn=1",
         "isAutoActivatedAfterPowerOn", "isAutoActivatedAfterPowerOn=0"},
        {"tacho", "MotorSensorType=2 LoadSensorType=1 PositionControlType=0 ControlMode=1", "",
         "PositionControlType=0"},
        {"tacho", "MotorSensorType=1 LoadSensorType=1 PositionControlType=0", "", "PositionControlType=0"},
        {"tacho", "MotorSensorType=2 LoadSensorType=0 PositionControlType=0", "", "PositionControlType=0"},
        {"InputsPolarityType", "EnablePolarity=0 LSNPolarity=1 LSPPolarity=1", "",
         "EnablePolarity=1 LSNPolarity=0 LSPPolarity=0"},
        {"inertia 1", "Jm=2e-5 Jt=1e-5 isMotorInertiaUnknown=0", "", "Jt=2.02e-5 isMotorInertiaUnknown=0"},
        {"inertia 0", "Jm=2e-5 Jt=1e-5 isMotorInertiaUnknown=0", "", "Jt=1e-5 isMotorInertiaUnknown=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.changed) + " after " + c.before);
        auto setup = VariantOf(c.before);
        const std::string changed = c.changed;
        dcdrive::DriveSetupChange change;
        if (changed == "tacho")
            dcdrive::ApplyTachogeneratorRule(*setup);
        else if (changed == "InputsPolarityType")
            dcdrive::InvertInputPolarities(*setup);
        else if (changed.starts_with("inertia"))
            EXPECT_EQ(dcdrive::ApplyInertiaChoice(*setup, changed.back() - '0'), changed.back() != '0');
        else
            change = dcdrive::ApplyDriveSetupChange(*setup, c.changed);
        std::string refreshed = change.refreshAll ? "all" : "";
        for (const std::string& name : change.refresh) refreshed += name;
        EXPECT_EQ(refreshed, c.refreshed);
        ExpectValues(*setup, c.after, 1e-12);
    }
}

// A range narrower than three counts is widened to three, downwards from 0;
// swapped limits are written back in order.
TEST(DriveSetupChanges, PositionRangeWidenedToThreeCounts) {
    const double s = std::fabs(dcdrive::PositionScale(*dcdrive::LoadDefaultSetup()));
    ASSERT_GT(s, 0.0);
    const struct {
        double lo, hi, wantLo, wantHi, written;  // counts
    } cases[] = {{0, 0, -3, 0, true}, {-4, -4, -4, -1, true}, {5, 2, 2, 5, true}, {0, 100, 0, 100, false}};
    for (const auto& c : cases) {
        auto v = Variant({{"PosRange_Minimum", c.lo / s}, {"PosRange_Maximum", c.hi / s}});
        EXPECT_EQ(dcdrive::WidenPositionRange(*v), c.written) << c.lo << " " << c.hi;
        EXPECT_NEAR(Value(*v, "PosRange_Minimum") * s, c.wantLo, 1e-9);
        EXPECT_NEAR(Value(*v, "PosRange_Maximum") * s, c.wantHi, 1e-9);
    }
}

// A gain (letter case ignored) holds what its registers give back: what the drive uses.
TEST(GainWriteBack, GainHoldsWhatItsRegistersHold) {
    for (const char* gain : {"Kp_C_scl", "KP_C_SCL", "Ki_S_scl", "Kd_P_scl", "KFFA_scl", "KFFS_scl"}) {
        SCOPED_TRACE(gain);
        auto setup = dcdrive::LoadDefaultSetup();
        setup->FindParameter(gain)->SetValueInBaseUnit(1.2345678901);
        ASSERT_TRUE(dcdrive::WriteBackGain(*setup, gain));
        const double written = Value(*setup, gain);
        EXPECT_NEAR(written, 1.2345678901, 1e-3);
        dcdrive::RegistersToParameters(*setup);
        EXPECT_DOUBLE_EQ(Value(*setup, gain), written);
    }
    EXPECT_FALSE(dcdrive::WriteBackGain(*dcdrive::LoadDefaultSetup(), "Vdc"));
}

// Out of edit mode only the user's ID and the unit lists of the protections that are on can be changed, in
// edit mode also their values (the temperature rule is checked on the widgets). The E2ROM size is typed in
// Kwords from 0 to 63; no number stores 0; a refused size leaves the words as they were (7).
TEST(DriveInfoRules, EditModeProtectionsAndE2ROMSize) {
    auto setup = VariantOf(
        "isDriveTemperatureSensor=1 isOverVoltage=0 isUnderVoltage=1 isDriveI2t=1 isDriveOverTemp=0");
    ExpectStates(Apply(dcdrive::DriveInfoDisplayRules(*setup, false)),
                 "-3087 -1159 -3275 -3278 -1165 -1171 -1173 -1170 -1178 +3114 +1166 +1172");
    ExpectStates(Apply(dcdrive::DriveInfoDisplayRules(*setup, true)),
                 "+3087 +1159 +3275 +3278 +1165 +1171 +1173 +1175 -1169 -1177");
    for (const auto& [text, kept] :
         {std::pair{"16", 16384u}, {"abc", 0u}, {"63", 64512u}, {"64", 7u}, {"-1", 7u}}) {
        unsigned words = 7;
        EXPECT_EQ(dcdrive::E2ROMWordsFromText(text, words), kept != 7) << text;
        EXPECT_EQ(words, kept) << text;
    }
}

}  // namespace
