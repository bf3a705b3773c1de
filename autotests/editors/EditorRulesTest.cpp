// What the setup editors decide from the setup alone: the drive setup
// editor's enable/show/caption rules over setup variants, its handlers'
// changes, the gain write-back, drive info and the motor inertia question.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "DefaultSetup.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "editors/EditorRules.h"
#include "kx/Setup.h"

namespace {

using dcdrive::ControlRule;

struct State {
    bool enabled = true;
    bool shown = true;
    std::string text;
};

// The controls' states after the rules ran in order over controls that start
// enabled and shown.
std::map<unsigned, State> Apply(const std::vector<ControlRule>& rules) {
    std::map<unsigned, State> states;
    for (const ControlRule& rule : rules)
        for (unsigned id : rule.ids) {
            State& s = states[id];
            if (rule.action == ControlRule::Action::Enable) s.enabled = rule.on;
            if (rule.action == ControlRule::Action::Show) s.shown = rule.on;
            if (rule.action == ControlRule::Action::Text) s.text = rule.text;
        }
    return states;
}

struct Change {
    const char* name;
    double value;  // NaN removes the parameter
};

std::unique_ptr<CKX_Setup> Variant(std::initializer_list<Change> changes) {
    auto setup = dcdrive::LoadDefaultSetup();
    const kx::QuietLookup quiet;
    for (const Change& c : changes) {
        if (std::isnan(c.value)) {
            setup->RemoveParameter(c.name);
            continue;
        }
        CKX_Parameter* p = setup->FindParameter(c.name);
        if (!p) p = setup->AddParameter(c.name);
        p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), c.value));
        p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), c.value));
        p->SetValueInBaseUnit(c.value);
    }
    return setup;
}

const double kGone = std::nan("");

struct Expect {
    unsigned id;
    int enabled;  // 1, 0, or -1: not looked at
    int shown;
};

TEST(DriveSetupRules, EnableAndShowByVariant) {
    const struct {
        const char* what;
        std::initializer_list<Change> changes;
        std::initializer_list<Expect> expect;
    } cases[] = {
        {"tachogenerator alone: no position, no software limits",
         {{"MotorSensorType", 2}, {"LoadSensorType", 0}, {"ControlMode", 1}},
         {{1059, 0, -1}, {3276, 0, -1}, {3354, 0, -1}, {3270, 0, -1}}},
        {"encoder: position and software limits",
         {{"MotorSensorType", 1}, {"LoadSensorType", 0}, {"ControlMode", 0}, {"isSWLS", 1}},
         {{1059, 1, -1}, {3276, 1, -1}, {3274, 1, -1}}},
        {"software limits off leave their values greyed",
         {{"ControlMode", 0}, {"isSWLS", 0}},
         {{3276, 1, -1}, {3271, 0, -1}}},
        {"speed mode",
         {{"ControlMode", 1}, {"isSpeedControlError", 1}, {"isPositionControlError", 1}},
         {{3177, 1, -1},
          {3178, 1, -1},
          {3189, 0, -1},
          {3198, 0, -1},
          {1043, 1, 1},
          {3231, 1, -1},
          {3222, 1, -1},
          {3230, 0, -1},
          {3218, 0, -1}}},
        {"torque mode: no speed limit, no speed loop",
         {{"ControlMode", 2}},
         {{1043, 0, 0}, {3177, 0, -1}, {3189, 0, -1}, {3172, 1, -1}, {3231, 0, -1}, {3230, 0, -1}}},
        {"position over the current loop",
         {{"ControlMode", 0},
          {"PositionControlType", 0},
          {"isPositionControlError", 1},
          {"PosSpd_in_FastLoop", 1}},
         {{3189, 1, -1}, {3177, 0, -1}, {1043, 1, 0}, {3197, 0, -1}, {3230, 1, -1}, {3220, 1, -1}}},
        {"position over the speed loop",
         {{"ControlMode", 0}, {"PositionControlType", 1}},
         {{3189, 1, -1}, {3177, 1, -1}, {1043, 1, 1}, {3197, 1, -1}}},
        {"speed feed-forward in speed mode",
         {{"ControlMode", 1}, {"PosSpd_in_FastLoop", 0}},
         {{3394, 1, 1}, {3395, -1, 1}, {3196, -1, 0}, {3205, -1, 0}}},
        {"speed feed-forward in position mode",
         {{"ControlMode", 0}, {"PositionControlType", 1}, {"PosSpd_in_FastLoop", 0}},
         {{3394, -1, 0}, {3196, 1, 1}, {3197, 1, 1}}},
        {"speed feed-forward in torque mode",
         {{"ControlMode", 2}, {"PosSpd_in_FastLoop", 0}},
         {{3394, -1, 0}, {3196, -1, 0}}},
        {"loops in the fast loop: no feed-forward lists",
         {{"ControlMode", 1}, {"PosSpd_in_FastLoop", 1}},
         {{3394, -1, 0}, {3183, -1, 0}, {3196, -1, 0}}},
        {"no SpeedForward parameter",
         {{"SpeedForward", kGone}, {"ControlMode", 1}},
         {{3394, -1, 0}, {3395, -1, 0}, {3183, -1, 1}}},
        {"protections off",
         {{"isOverCurrent", 0}, {"isMotorI2t", 0}},
         {{3214, 0, -1}, {3217, 0, -1}, {3226, 0, -1}, {3240, 0, -1}}},
        {"protections on", {{"isOverCurrent", 1}, {"isMotorI2t", 1}}, {{3214, 1, -1}, {3229, 1, -1}}},
        {"external reference", {{"ExternalReference", 1}}, {{3208, 1, -1}, {3116, 1, -1}}},
        {"no external reference", {{"ExternalReference", 0}}, {{3208, 0, -1}, {3116, 0, -1}}},
        {"brake resistor off", {{"isBrakeResistor", 0}}, {{3244, 0, -1}}},
        {"brake resistor on", {{"isBrakeResistor", 1}}, {{3244, 1, -1}, {3246, 1, -1}}},
        {"CAN identity: baud rate not saved",
         {{"save_CAN_baudrate", 0}, {"save_axis_id", 1}},
         {{10021, 0, -1}, {10023, 0, -1}, {3136, 1, -1}, {3378, -1, 1}}},
        {"no CAN identity saving", {{"save_CAN_baudrate", kGone}}, {{3378, -1, 0}, {3379, -1, 0}}},
        {"no position range", {{"POSRANGEDEF", kGone}}, {{3278, 0, -1}, {3280, 0, -1}}},
        {"position range on", {{"isPosRange", 1}}, {{3278, 1, -1}, {3282, 1, -1}}},
        {"motion complete in position mode",
         {{"ControlMode", 0}, {"MotionCompleteType", 0}},
         {{3285, -1, 1}, {3554, -1, 1}}},
        {"motion complete in speed mode", {{"ControlMode", 1}, {"MotionCompleteType", 0}}, {{3285, -1, 0}}},
        {"no motion complete settings",
         {{"MotionCompleteDefaultSettings", kGone}, {"ControlMode", 0}},
         {{3554, -1, 0}}},
        {"motor temperature sensor", {{"isMotorTemperatureSensor", 1}}, {{3232, 1, -1}}},
        {"no motor temperature sensor", {{"isMotorTemperatureSensor", 0}}, {{3232, 0, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.changes);
        const auto states = Apply(dcdrive::DriveSetupDisplayRules(*setup));
        for (const Expect& e : c.expect) {
            const auto it = states.find(e.id);
            const State s = it == states.end() ? State{} : it->second;
            if (e.enabled >= 0) {
                EXPECT_EQ(s.enabled, e.enabled == 1) << "enabled " << e.id;
            }
            if (e.shown >= 0) {
                EXPECT_EQ(s.shown, e.shown == 1) << "shown " << e.id;
            }
        }
    }
}

TEST(DriveSetupRules, OptionsOfTheDriveVariant) {
    auto setup = Variant({{"isBrakeResistor", 1}, {"isMotorTemperatureSensor", 1}});
    setup->SetOption("DisableBrake", "1");
    setup->SetOption("hideEnablePolarity", "1");
    setup->SetOption("DisableMotorTemperature", "1");
    const auto states = Apply(dcdrive::DriveSetupDisplayRules(*setup));
    EXPECT_FALSE(states.at(3244).enabled);
    EXPECT_FALSE(states.at(3248).shown);
    EXPECT_FALSE(states.at(1047).shown);
    EXPECT_FALSE(states.at(3232).enabled);
}

TEST(DriveSetupRules, DigitalReferenceCaption) {
    EXPECT_EQ(Apply(dcdrive::DriveSetupDisplayRules(*Variant({{"DigitalReferenceType", 0}}))).at(3318).text,
              "Pulse && Direction");
    EXPECT_EQ(Apply(dcdrive::DriveSetupDisplayRules(*Variant({{"DigitalReferenceType", 1}}))).at(3318).text,
              "Incremental Encoder");
}

TEST(DriveSetupRules, InputType) {
    const struct {
        const char* what;
        const char* programmable;  // null: option absent
        const char* description;
        bool hasType;
        double type, asr;
        bool enabled, setsRadios, sink;
    } cases[] = {
        {"option absent, QZ drive: sink", nullptr, "DC drive QZ 48V", true, 0, 0, false, true, true},
        {"option absent: source", nullptr, "DC drive", true, 1, 0, false, true, false},
        {"no parameter, ASR bit 2 clear: sink", "0", "", false, 0, 0, false, true, true},
        {"no parameter, ASR bit 2 set: source", "1", "", false, 0, 4, false, true, false},
        {"programmable, sink chosen", "1", "", true, 1, 0, true, false, true},
        {"fixed, source chosen", "0", "", true, 0, 0, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant({{"InputsPolarityType", c.hasType ? c.type : kGone}, {"ASR", c.asr}});
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

TEST(DriveSetupRules, AxisIdList) {
    const auto items = dcdrive::AxisIdItems();
    ASSERT_EQ(items.size(), 256u);
    EXPECT_EQ(items.front(), "1");
    EXPECT_EQ(items[254], "255");
    EXPECT_EQ(items.back(), "H/W");
    EXPECT_EQ(dcdrive::AxisIdItemIndex(0), 255);
    EXPECT_EQ(dcdrive::AxisIdItemIndex(130), 129);
    EXPECT_EQ(dcdrive::AxisIdFromText("H/W"), 0);
    EXPECT_EQ(dcdrive::AxisIdFromText("130"), 130);
    EXPECT_TRUE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(128)));
    EXPECT_TRUE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(255)));
    EXPECT_FALSE(dcdrive::AxisIdNeedsCANopenWarning(dcdrive::AxisIdItemIndex(127)));
    EXPECT_FALSE(dcdrive::AxisIdNeedsCANopenWarning(255));  // H/W
}

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

TEST(DriveSetupChanges, ModeSoftwareLimitsAndMotionComplete) {
    auto setup = Variant({{"ControlMode", 1},
                          {"GEARMASTER", 3},
                          {"GEARSLAVE", 2},
                          {"isAnalogueReference", 0},
                          {"isFreezeControl", 1}});
    EXPECT_TRUE(dcdrive::ApplyDriveSetupChange(*setup, "controlmode").refreshAll);
    EXPECT_EQ(Value(*setup, "GEARMASTER"), 1);
    EXPECT_EQ(Value(*setup, "GEARSLAVE"), 1);
    EXPECT_EQ(Value(*setup, "isAnalogueReference"), 1);
    EXPECT_EQ(Value(*setup, "isFreezeControl"), 0);

    setup = Variant({{"ControlMode", 0}, {"GEARMASTER", 3}});
    EXPECT_FALSE(dcdrive::ApplyDriveSetupChange(*setup, "ControlMode").refreshAll);
    EXPECT_EQ(Value(*setup, "GEARMASTER"), 3);

    setup = Variant({{"Positive_SWLS", 10}, {"Negative_SWLS", 12}});
    dcdrive::ApplyDriveSetupChange(*setup, "Negative_SWLS");
    EXPECT_EQ(Value(*setup, "Negative_SWLS"), 10);
    setup = Variant({{"Positive_SWLS", -5}, {"Negative_SWLS", -2}});
    dcdrive::ApplyDriveSetupChange(*setup, "Positive_SWLS");
    EXPECT_EQ(Value(*setup, "Positive_SWLS"), -2);

    setup = Variant({{"MotionCompleteDefaultSettings", 1}});
    dcdrive::ApplyDriveSetupChange(*setup, "MotionCompleteSettleBand");
    EXPECT_EQ(Value(*setup, "MotionCompleteDefaultSettings"), 0);

    setup = Variant({{"ExternalReference", 0}, {"isAutoActivatedAfterPowerOn", 1}});
    const auto change = dcdrive::ApplyDriveSetupChange(*setup, "ExternalReference");
    EXPECT_EQ(Value(*setup, "isAutoActivatedAfterPowerOn"), 0);
    ASSERT_EQ(change.refresh.size(), 1u);
}

TEST(DriveSetupChanges, TachogeneratorRule) {
    const struct {
        double motor, load, mode, pct;
        double expectedPct;
    } cases[] = {
        {2, 1, 0, 0, 1},  // tachogenerator and load encoder: over the speed loop
        {2, 1, 1, 0, 0},  // speed mode keeps it
        {1, 1, 0, 0, 0},  // encoder on the motor
        {2, 0, 0, 0, 0},  // no load encoder
    };
    for (const auto& c : cases) {
        auto setup = Variant({{"MotorSensorType", c.motor},
                              {"LoadSensorType", c.load},
                              {"ControlMode", c.mode},
                              {"PositionControlType", c.pct}});
        dcdrive::ApplyTachogeneratorRule(*setup);
        EXPECT_EQ(Value(*setup, "PositionControlType"), c.expectedPct)
            << c.motor << " " << c.load << " " << c.mode;
    }
}

TEST(DriveSetupChanges, InputPolaritiesInvert) {
    auto setup = Variant({{"EnablePolarity", 0}, {"LSNPolarity", 1}, {"LSPPolarity", 1}});
    dcdrive::InvertInputPolarities(*setup);
    EXPECT_EQ(Value(*setup, "EnablePolarity"), 1);
    EXPECT_EQ(Value(*setup, "LSNPolarity"), 0);
    EXPECT_EQ(Value(*setup, "LSPPolarity"), 0);
}

TEST(DriveSetupChanges, PositionRangeWidenedToThreeCounts) {
    auto setup = Variant({});
    const double s = std::fabs(dcdrive::PositionScale(*setup));
    ASSERT_GT(s, 0.0);
    const struct {
        double lo, hi;          // counts
        double wantLo, wantHi;  // counts
        bool written;
    } cases[] = {
        {0, 0, -3, 0, true},     {10, 11, 10, 13, true},
        {-4, -4, -4, -1, true},  {5, 2, 2, 5, true},  // swapped: written back in order
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
    for (unsigned id : {3087u, 1159u, 3275u, 3278u, 1165u, 1171u, 1173u})
        EXPECT_FALSE(off.at(id).enabled) << id;
    EXPECT_TRUE(off.at(3114).enabled);
    EXPECT_TRUE(off.at(1166).enabled);  // unit lists follow their protection, edit mode or not
    EXPECT_FALSE(off.at(1170).enabled);
    EXPECT_TRUE(off.at(1172).enabled);
    EXPECT_FALSE(off.at(1178).enabled);
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
    EXPECT_TRUE(dcdrive::E2ROMWordsFromText("abc", words));
    EXPECT_EQ(words, 0u);
    EXPECT_TRUE(dcdrive::E2ROMWordsFromText("63", words));
    EXPECT_FALSE(dcdrive::E2ROMWordsFromText("64", words));
    EXPECT_FALSE(dcdrive::E2ROMWordsFromText("-1", words));
}

TEST(InertiaChoice, RaisesTheTotalOrDisregardsTheMotor) {
    auto setup = Variant({{"Jm", 2e-5}, {"Jt", 1e-5}, {"isMotorInertiaUnknown", 0}});
    EXPECT_TRUE(dcdrive::ApplyInertiaChoice(*setup, 1));
    EXPECT_DOUBLE_EQ(Value(*setup, "Jt"), 2e-5 * 1.01);
    setup = Variant({{"Jm", 2e-5}, {"Jt", 1e-5}, {"isMotorInertiaUnknown", 0}});
    EXPECT_TRUE(dcdrive::ApplyInertiaChoice(*setup, 2));
    EXPECT_EQ(Value(*setup, "Jt"), 1e-5);
    EXPECT_EQ(Value(*setup, "isMotorInertiaUnknown"), 1);
    EXPECT_FALSE(dcdrive::ApplyInertiaChoice(*setup, 0));
}

}  // namespace
