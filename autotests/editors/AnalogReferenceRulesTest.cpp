// What the external reference setup decides from the setup alone: its
// bindings and display rules over control modes, analogue input and digital
// reference variants, and the changes its handlers make.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "DefaultSetup.h"
#include "editors/AnalogReferenceRules.h"
#include "kx/Setup.h"

namespace {

using dcdrive::ControlRule;
using dcdrive::ReferenceBinding;

struct State {
    bool enabled = true;
    bool shown = true;
    std::string text;
};

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

void Set(CKX_Setup& setup, const char* name, double value) {
    CKX_Parameter* p = setup.FindParameter(name);
    ASSERT_NE(p, nullptr) << name;
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

std::unique_ptr<CKX_Setup> Variant(int mode, bool analogueInput) {
    auto setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "ControlMode", mode);
    if (!analogueInput) setup->RemoveParameter("CADIN");
    return setup;
}

// Bound controls by parameter name: "first/second" ("" when not bound).
std::map<std::string, std::string> Bound(const CKX_Setup& setup) {
    std::map<std::string, std::string> bound;
    for (const ReferenceBinding& b : dcdrive::AnalogReferenceBindings(setup)) {
        EXPECT_EQ(bound.count(b.name), 0u) << b.name << " bound twice";
        bound[b.name] = std::to_string(b.first) + "/" + std::to_string(b.second);
    }
    return bound;
}

TEST(AnalogReferenceRules, BindingsFollowModeAndAnalogueInput) {
    const struct {
        int mode;
        bool analogueInput;
        std::map<std::string, std::string> expected;  // "" : not bound
    } cases[] = {
        {0,
         true,
         {{"POS_max", "1006/1015"},
          {"POS_min", "1008/0"},
          {"SPD_max", ""},
          {"isLimitMaximum", "3116/0"},
          {"ErefMaxSpeed", "3302/3136"},
          {"ErefMaxAcceleration", "3304/3137"},
          {"DeadBand_Point", "1010/1016"},
          {"DeadBand_Range", "1012/0"},
          {"filter", "1003/1004"},
          {"UseFilter", "1001/0"}}},
        {1,
         true,
         {{"SPD_max", "1006/1015"},
          {"SPD_min", "1008/0"},
          {"POS_max", ""},
          {"isLimitMaximum", "3116/0"},
          {"ErefMaxSpeed", ""},
          {"ErefMaxAcceleration", "3302/3136"},
          {"DeadBand_Point", "1010/1016"}}},
        {2,
         true,
         {{"CRT_max", "1006/1015"},
          {"CRT_min", "1008/0"},
          {"isLimitMaximum", ""},
          {"ErefMaxSpeed", ""},
          {"ErefMaxAcceleration", ""},
          {"DeadBand_Range", "1012/0"}}},
        {0,
         false,
         {{"POS_max", ""},
          {"POS_min", ""},
          {"DeadBand_Point", ""},
          {"UseFilter", ""},
          {"filter", ""},
          {"ErefMaxSpeed", "3302/3136"}}},
        {2, false, {{"CRT_max", ""}, {"DeadBand_Range", ""}, {"isLimitMaximum", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + (c.analogueInput ? " with" : " without") + " CADIN");
        auto setup = Variant(c.mode, c.analogueInput);
        auto bound = Bound(*setup);
        for (const auto& [name, ids] : c.expected) EXPECT_EQ(bound[name], ids) << name;
        // Whatever the variant: the reference kind, digital kind, gear and source.
        EXPECT_EQ(bound["isAnalogueReference"], "3289/3290");
        EXPECT_EQ(bound["DigitalReferenceType"], "3291/3292");
        EXPECT_EQ(bound["GEARMASTER"], "3296/0");
        EXPECT_EQ(bound["GEARSLAVE"], "3295/0");
        EXPECT_EQ(bound["DigitalReferenceConnector"], "3399/0");
    }
}

TEST(AnalogReferenceRules, StartShowsSpanCaptionsAndPicture) {
    const struct {
        int mode;
        bool analogueInput;
        double span;
        const char *low, *high, *max, *min, *limit;
        bool limitShown;
        unsigned picture;
    } cases[] = {
        {0, true, 20, "-10", "10", "Maximum Position", "Minimum Position", "Limit maximum speed at", true,
         3003},
        {1, true, 5, "0", "5", "Maximum Speed", "Minimum Speed", "Limit maximum acceleration at", true, 3044},
        {2, true, 7, "0", "3.3", "Maximum Current", "Minimum Current", "", false, 3002},
        {0, false, 3.3, "0", "3.3", "Maximum Position", "Minimum Position", "Limit maximum speed at", true,
         3003},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", span " + std::to_string(c.span));
        auto setup = Variant(c.mode, c.analogueInput);
        Set(*setup, "AnalogueInputsRange", c.span);
        auto states = Apply(dcdrive::AnalogReferenceStartRules(*setup));
        EXPECT_EQ(states[3328].text, c.low);
        EXPECT_EQ(states[3327].text, c.high);
        EXPECT_FALSE(states[3328].enabled);
        EXPECT_FALSE(states[3327].enabled);
        EXPECT_EQ(states[1007].text, c.max);
        EXPECT_EQ(states[1009].text, c.min);
        EXPECT_EQ(states[3116].text, c.limit);
        for (unsigned id : {3116u, 3302u, 3136u}) EXPECT_EQ(states[id].shown, c.limitShown) << id;
        EXPECT_EQ(states[3290].enabled, c.analogueInput);
        EXPECT_EQ(dcdrive::AnalogReferencePicture(*setup), c.picture);
    }
}

TEST(AnalogReferenceRules, DisplayByReferenceKindLimitAndConnector) {
    const struct {
        const char* what;
        int mode;
        bool analogueInput;
        int analogue, limit, useFilter, noneAvailable;
        const char* disableDigital;
        bool analogueFields, digitalFields, digitalChoice, speedField, accelerationField, filterShown;
    } cases[] = {
        {"position, analogue, limit, filter", 0, true, 1, 1, 1, 0, "0", true, false, true, true, false, true},
        {"position, digital, limit", 0, true, 0, 1, 0, 0, "0", false, true, true, false, true, false},
        {"position, digital, no limit", 0, true, 0, 0, 0, 0, "0", false, true, true, false, false, false},
        {"position, digital choice switched off", 0, true, 0, 0, 0, 0, "1", false, true, false, false, false,
         false},
        {"position, no free connector", 0, true, 1, 0, 0, 1, "0", true, false, false, false, false, false},
        {"speed, analogue, limit", 1, true, 1, 1, 0, 0, "0", true, false, false, true, false, false},
        {"speed, digital, limit", 1, true, 0, 1, 0, 0, "0", false, false, false, false, true, false},
        {"current, digital", 2, true, 0, 1, 1, 0, "0", false, false, false, false, false, true},
        {"no analogue input, filter on", 0, false, 0, 0, 1, 0, "0", false, true, true, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = Variant(c.mode, c.analogueInput);
        Set(*setup, "isAnalogueReference", c.analogue);
        Set(*setup, "isLimitMaximum", c.limit);
        Set(*setup, "UseFilter", c.useFilter);
        setup->SetOption("DisableExternalDigitalReference", c.disableDigital);
        auto states = Apply(dcdrive::AnalogReferenceDisplayRules(*setup, c.noneAvailable));
        for (unsigned id : {1006u, 1008u, 1010u, 1012u, 1001u, 1003u, 1000u, 3328u, 3327u})
            EXPECT_EQ(states[id].enabled, c.analogueFields) << id;
        for (unsigned id : {3291u, 3292u, 3295u, 3296u, 3399u, 3400u})
            EXPECT_EQ(states[id].enabled, c.digitalFields) << id;
        EXPECT_EQ(states[3289].enabled, c.digitalChoice);
        EXPECT_EQ(states[3302].shown, c.speedField);
        EXPECT_EQ(states[3304].shown, c.accelerationField);
        for (unsigned id : {1002u, 1003u, 1004u}) EXPECT_EQ(states[id].shown, c.filterShown) << id;
    }
}

TEST(AnalogReferenceRules, LimitCaptionFollowsReferenceKind) {
    const struct {
        int mode, analogue;
        const char* caption;
    } cases[] = {
        {0, 1, "Limit maximum speed at"},
        {0, 0, "Limit maximum acceleration at"},
        {1, 1, "Limit maximum acceleration at"},
    };
    for (const auto& c : cases) {
        auto setup = Variant(c.mode, true);
        Set(*setup, "isAnalogueReference", c.analogue);
        EXPECT_STREQ(dcdrive::ReferenceLimitCaption(*setup), c.caption) << c.mode << "/" << c.analogue;
    }
}

TEST(AnalogReferenceRules, GearRatio) {
    const struct {
        double master, slave, masterAfter, slaveAfter;
    } cases[] = {
        {-2, -3, 2, 3}, {0, 5, 1, 5}, {-2, 3, -2, 3}, {4, 0, 4, 1}, {0, 0, 1, 1}, {-7, -1, 7, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.master) + " / " + std::to_string(c.slave));
        auto setup = dcdrive::LoadDefaultSetup();
        Set(*setup, "GEARMASTER", c.master);
        Set(*setup, "GEARSLAVE", c.slave);
        EXPECT_TRUE(dcdrive::ApplyGearRatioRule(*setup, "gearslave"));
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("GEARMASTER"), c.masterAfter);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("GEARSLAVE"), c.slaveAfter);
    }
    auto setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "GEARMASTER", 0);
    EXPECT_FALSE(dcdrive::ApplyGearRatioRule(*setup, "GEAR"));
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("GEARMASTER"), 0);
}

TEST(AnalogReferenceRules, UnitOfTheMaximumGoesToTheMinimum) {
    const struct {
        const char *leader, *unit, *follower;
    } cases[] = {
        {"POS_max", "deg", "POS_min"},
        {"SPD_max", "rot/s", "SPD_min"},
        {"CRT_max", "mA", "CRT_min"},
        {"DeadBand_Point", "mV", "DeadBand_Range"},
    };
    for (const auto& c : cases) {
        auto setup = dcdrive::LoadDefaultSetup();
        ASSERT_TRUE(setup->FindParameter(c.leader)->ChangeUnit(c.unit));
        EXPECT_STREQ(dcdrive::CopyUnitToRangeMinimum(*setup, c.leader), c.follower);
        EXPECT_EQ(setup->FindParameter(c.follower)->GetUnitName(), c.unit) << c.leader;
    }
    auto setup = dcdrive::LoadDefaultSetup();
    setup->FindParameter("POS_min")->ChangeUnit("deg");
    EXPECT_EQ(dcdrive::CopyUnitToRangeMinimum(*setup, "POS_min"), nullptr);  // the minimum leads nothing
    EXPECT_EQ(setup->FindParameter("POS_max")->GetUnitName(), "rot");
}

TEST(AnalogReferenceRules, RangeEndsBoundEachOther) {
    const struct {
        const char *typed, *max, *min;
        double value;
    } cases[] = {
        {"POS_max", "POS_max", "POS_min", 10.0},
        {"POS_min", "POS_max", "POS_min", -3.0},
        {"SPD_max", "SPD_max", "SPD_min", 100.0},
        {"CRT_min", "CRT_max", "CRT_min", -1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        auto setup = dcdrive::LoadDefaultSetup();
        setup->FindParameter(c.typed)->SetValueInBaseUnit(c.value);
        EXPECT_TRUE(dcdrive::LimitReferenceRange(*setup, c.typed));
        EXPECT_DOUBLE_EQ(setup->FindParameter(c.min)->GetMaxInBaseUnit(),
                         setup->GetParameterValueInBaseUnit(c.max));
        EXPECT_DOUBLE_EQ(setup->FindParameter(c.max)->GetMinInBaseUnit(),
                         setup->GetParameterValueInBaseUnit(c.min));
    }
    auto setup = dcdrive::LoadDefaultSetup();
    EXPECT_FALSE(dcdrive::LimitReferenceRange(*setup, "DeadBand_Point"));
}

TEST(AnalogReferenceRules, DeadBandRangeFollowsItsPoint) {
    auto setup = dcdrive::LoadDefaultSetup();
    setup->SetOption("NewDeadBand", "0");
    setup->FindParameter("DeadBand_Point")->SetValueInBaseUnit(6);
    EXPECT_STREQ(dcdrive::LimitDeadBand(*setup, "DeadBand_Point"), "DeadBand_Range");
    EXPECT_DOUBLE_EQ(setup->FindParameter("DeadBand_Range")->GetMaxInBaseUnit(), 4);  // 10 V - 6 V
    EXPECT_STREQ(dcdrive::LimitDeadBand(*setup, "DeadBand_Range"), "DeadBand_Point");
    EXPECT_EQ(dcdrive::LimitDeadBand(*setup, "filter"), nullptr);
}

}  // namespace
