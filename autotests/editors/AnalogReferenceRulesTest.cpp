// What the external reference setup decides from the setup alone.
#include <tuple>

#include "EditorTest.h"
#include "editors/AnalogReferenceRules.h"

namespace {

using namespace dctest;

// What the mapped range, the limit's value and the dead band are bound to by
// control mode ("edit=" is not bound); nothing of the analogue input without one.
TEST(AnalogReferenceRules, BindingsFollowModeAndAnalogueInput) {
    const struct {
        const char *changes, *expected;
    } cases[] = {
        {"ControlMode=0",
         "1006=POS_max 1008=POS_min 3302=ErefMaxSpeed 3304=ErefMaxAcceleration 1010=DeadBand_Point"},
        {"ControlMode=1",
         "1006=SPD_max 1008=SPD_min 3116=isLimitMaximum 3302=ErefMaxAcceleration 3304= 1003=filter"},
        {"ControlMode=2", "1006=CRT_max 1008=CRT_min 3116= 3302= 3304= 1012=DeadBand_Range"},
        {"ControlMode=0 CADIN=gone",
         "1006= 1010= 1012= 1001= 1003= 3302=ErefMaxSpeed 3399=DigitalReferenceConnector"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        std::map<std::string, std::string> bound;
        for (const dcdrive::ReferenceBinding& b : dcdrive::AnalogReferenceBindings(*VariantOf(c.changes)))
            EXPECT_TRUE(bound.emplace(std::to_string(b.first), b.name).second) << b.first << " bound twice";
        ForEachChange(c.expected, [&](const std::string& id, const std::string& name) {
            EXPECT_EQ(bound[id], name) << id;
        });
    }
}

// What the dialog shows as it opens (start rules, then those of each load) and the limit caption its handlers
// set: span ends 3328 3327, analogue fields 1006 1012 1000, digital fields 3291 3295 3400, choices 3289
// (digital) and 3290 (analogue), limit 3116 with speed 3302 or acceleration 3304, filter 1003.
TEST(AnalogReferenceRules, OpeningAndDisplayByModeReferenceKindLimitAndConnector) {
    const struct {
        const char* changes;
        int noneAvailable;
        const char *expected, *span;
        bool speedCaption;
        unsigned picture;
    } cases[] = {
        {"ControlMode=0 isAnalogueReference=1 isLimitMaximum=1 UseFilter=1", 0,
         "+1006 +1012 +1000 +3327 -3291 -3295 -3400 +3289 +3290 ^3116 ^3302 _3304 ^1003", "-10/10", true,
         3003},
        {"ControlMode=0 isAnalogueReference=0 isLimitMaximum=1 UseFilter=0", 0,
         "-1006 -1012 -1000 -3327 +3291 +3295 +3400 +3289 _3302 ^3304 _1003", "-10/10", false, 3003},
        {"ControlMode=0 isAnalogueReference=0 isLimitMaximum=0 @DisableExternalDigitalReference=1", 0,
         "-1006 -3327 +3291 +3295 +3400 -3289 _3302 _3304", "-10/10", false, 3003},
        {"ControlMode=0 isAnalogueReference=1 isLimitMaximum=0 UseFilter=0", 1,
         "+1006 +1012 +1000 +3327 -3291 -3295 -3400 -3289 _3302 _3304 _1003", "-10/10", true, 3003},
        {"ControlMode=1 isAnalogueReference=1 isLimitMaximum=1 AnalogueInputsRange=5", 0,
         "+1006 +3327 -3291 -3295 -3400 -3289 ^3116 ^3302 _3304", "0/5", false, 3044},
        {"ControlMode=2 isAnalogueReference=0 isLimitMaximum=1 UseFilter=1 AnalogueInputsRange=7", 0,
         "-1006 -3327 -3291 -3295 -3400 -3289 _3116 _3302 _3304 ^1003", "0/3.3", false, 3002},
        {"ControlMode=0 CADIN=gone isAnalogueReference=0 isLimitMaximum=0 UseFilter=1", 0,
         "-1006 -1012 -1000 -3327 +3291 +3295 +3400 +3289 -3290 _3302 _3304 _1003", "-10/10", false, 3003},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        auto setup = VariantOf(std::string("@DisableExternalDigitalReference=0 ") + c.changes);
        auto rules = dcdrive::AnalogReferenceStartRules(*setup);
        for (const auto& rule : dcdrive::AnalogReferenceDisplayRules(*setup, c.noneAvailable))
            rules.push_back(rule);
        auto states = Apply(rules);
        ExpectStates(states, c.expected);
        EXPECT_EQ(states[3328].text + "/" + states[3327].text, c.span);
        EXPECT_STREQ(dcdrive::ReferenceLimitCaption(*setup),
                     c.speedCaption ? "Limit maximum speed at" : "Limit maximum acceleration at");
        // The dialog opens with the caption its handlers set, which names the limit shown.
        if (Value(*setup, "ControlMode") < 2) {
            EXPECT_EQ(states[3116].text, dcdrive::ReferenceLimitCaption(*setup));
        }
        EXPECT_EQ(dcdrive::AnalogReferencePicture(*setup), c.picture);
    }
}

// The handlers: either gear typed, a ratio of 0 becomes 1 (two negatives turn
// positive on the widgets); the maximum's unit goes to the minimum (not the other way); either
// end of a range bounds the other; the dead band's range follows its point.
TEST(AnalogReferenceRules, Handlers) {
    for (const auto& [before, after] : {std::pair{"GEARMASTER=-2 GEARSLAVE=3", "GEARMASTER=-2 GEARSLAVE=3"},
                                        {"GEARMASTER=4 GEARSLAVE=0", "GEARMASTER=4 GEARSLAVE=1"},
                                        {"GEARMASTER=0 GEARSLAVE=0", "GEARMASTER=1 GEARSLAVE=1"}}) {
        auto setup = VariantOf(before);
        EXPECT_TRUE(dcdrive::ApplyGearRatioRule(*setup, "gearslave"));
        ExpectValues(*setup, after, 0);
    }
    auto setup = VariantOf("GEARMASTER=0 @NewDeadBand=0 DeadBand_Point=6 POS_max=10 CRT_min=-1");
    EXPECT_FALSE(dcdrive::ApplyGearRatioRule(*setup, "GEAR"));
    EXPECT_EQ(Value(*setup, "GEARMASTER"), 0);
    ASSERT_TRUE(setup->FindParameter("CRT_max")->ChangeUnit("mA"));
    ASSERT_TRUE(setup->FindParameter("DeadBand_Point")->ChangeUnit("mV"));
    EXPECT_STREQ(dcdrive::CopyUnitToRangeMinimum(*setup, "CRT_max"), "CRT_min");
    EXPECT_STREQ(dcdrive::CopyUnitToRangeMinimum(*setup, "DeadBand_Point"), "DeadBand_Range");
    EXPECT_EQ(dcdrive::CopyUnitToRangeMinimum(*setup, "POS_min"), nullptr);
    EXPECT_EQ(setup->FindParameter("CRT_min")->GetUnitName(), "mA");
    EXPECT_EQ(setup->FindParameter("DeadBand_Range")->GetUnitName(), "mV");
    for (const auto& [typed, max, min] :
         {std::tuple{"POS_max", "POS_max", "POS_min"}, {"CRT_min", "CRT_max", "CRT_min"}}) {
        EXPECT_TRUE(dcdrive::LimitReferenceRange(*setup, typed));
        EXPECT_DOUBLE_EQ(setup->FindParameter(min)->GetMaxInBaseUnit(), Value(*setup, max)) << typed;
        EXPECT_DOUBLE_EQ(setup->FindParameter(max)->GetMinInBaseUnit(), Value(*setup, min)) << typed;
    }
    EXPECT_FALSE(dcdrive::LimitReferenceRange(*setup, "DeadBand_Point"));
    EXPECT_STREQ(dcdrive::LimitDeadBand(*setup, "DeadBand_Point"), "DeadBand_Range");
    EXPECT_DOUBLE_EQ(setup->FindParameter("DeadBand_Range")->GetMaxInBaseUnit(), 4);  // 10 V - 6 V
    EXPECT_STREQ(dcdrive::LimitDeadBand(*setup, "DeadBand_Range"), "DeadBand_Point");
    EXPECT_EQ(dcdrive::LimitDeadBand(*setup, "filter"), nullptr);
}

}  // namespace
