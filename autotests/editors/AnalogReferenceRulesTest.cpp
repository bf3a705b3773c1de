// What the external reference setup decides from the setup alone: its
// bindings and display rules over control modes, analogue input and digital
// reference variants, and the changes its handlers make.
#include <gtest/gtest.h>

#include <sstream>

#include "EditorTest.h"
#include "editors/AnalogReferenceRules.h"

namespace {

using dctest::Apply;
using dctest::Set;
using dctest::Value;

std::unique_ptr<CKX_Setup> Variant(int mode, bool analogueInput) {
    auto setup = dctest::Variant({{"ControlMode", double(mode)}});
    if (!analogueInput) setup->RemoveParameter("CADIN");
    return setup;
}

// Checks the bound controls against "name=first/second ..."; "name=" is not bound.
void ExpectBound(const CKX_Setup& setup, const std::string& expected) {
    std::map<std::string, std::string> bound;
    for (const dcdrive::ReferenceBinding& b : dcdrive::AnalogReferenceBindings(setup)) {
        EXPECT_EQ(bound.count(b.name), 0u) << b.name << " bound twice";
        bound[b.name] = std::to_string(b.first) + "/" + std::to_string(b.second);
    }
    std::istringstream in(expected);
    for (std::string item; in >> item;) {
        const auto at = item.find('=');
        EXPECT_EQ(bound[item.substr(0, at)], item.substr(at + 1)) << item;
    }
}

TEST(AnalogReferenceRules, BindingsFollowModeAndAnalogueInput) {
    const struct {
        int mode;
        bool analogueInput;
        const char* expected;
    } cases[] = {
        {0, true,
         "POS_max=1006/1015 POS_min=1008/0 SPD_max= isLimitMaximum=3116/0 ErefMaxSpeed=3302/3136 "
         "ErefMaxAcceleration=3304/3137 DeadBand_Point=1010/1016 DeadBand_Range=1012/0 filter=1003/1004 "
         "UseFilter=1001/0"},
        {1, true,
         "SPD_max=1006/1015 SPD_min=1008/0 POS_max= isLimitMaximum=3116/0 ErefMaxSpeed= "
         "ErefMaxAcceleration=3302/3136 DeadBand_Point=1010/1016"},
        {2, true,
         "CRT_max=1006/1015 CRT_min=1008/0 isLimitMaximum= ErefMaxSpeed= ErefMaxAcceleration= "
         "DeadBand_Range=1012/0"},
        {0, false, "POS_max= POS_min= DeadBand_Point= UseFilter= filter= ErefMaxSpeed=3302/3136"},
        {2, false, "CRT_max= DeadBand_Range= isLimitMaximum="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + (c.analogueInput ? " with" : " without") + " CADIN");
        auto setup = Variant(c.mode, c.analogueInput);
        // Whatever the variant: the reference kind, digital kind, gear and source.
        ExpectBound(*setup, std::string(c.expected) +
                                " isAnalogueReference=3289/3290 DigitalReferenceType=3291/3292 "
                                "GEARMASTER=3296/0 GEARSLAVE=3295/0 DigitalReferenceConnector=3399/0");
    }
}

TEST(AnalogReferenceRules, StartShowsSpanCaptionsAndPicture) {
    const struct {
        int mode;
        bool analogueInput;
        double span;
        const char *low, *high, *max, *min, *limit;
        unsigned picture;
    } cases[] = {
        {0, true, 20, "-10", "10", "Maximum Position", "Minimum Position", "Limit maximum speed at", 3003},
        {1, true, 5, "0", "5", "Maximum Speed", "Minimum Speed", "Limit maximum acceleration at", 3044},
        {2, true, 7, "0", "3.3", "Maximum Current", "Minimum Current", "", 3002},  // no limit shown
        {0, false, 3.3, "0", "3.3", "Maximum Position", "Minimum Position", "Limit maximum speed at", 3003},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", span " + std::to_string(c.span));
        auto setup = Variant(c.mode, c.analogueInput);
        Set(*setup, "AnalogueInputsRange", c.span);
        auto states = Apply(dcdrive::AnalogReferenceStartRules(*setup));
        EXPECT_EQ(states[3328].text, c.low);
        EXPECT_EQ(states[3327].text, c.high);
        EXPECT_FALSE(states[3328].enabled || states[3327].enabled);
        EXPECT_EQ(states[1007].text, c.max);
        EXPECT_EQ(states[1009].text, c.min);
        EXPECT_EQ(states[3116].text, c.limit);
        for (unsigned id : {3116u, 3302u, 3136u}) EXPECT_EQ(states[id].shown, *c.limit != 0) << id;
        EXPECT_EQ(states[3290].enabled, c.analogueInput);
        EXPECT_EQ(dcdrive::AnalogReferencePicture(*setup), c.picture);
    }
}

// The display rules, and the limit caption the handlers set, by reference
// kind, limit and connector: analogue fields 1006 1012 1000 3327, digital
// fields 3291 3295 3400, the digital choice 3289, speed 3302, acceleration
// 3304 and filter 1003.
TEST(AnalogReferenceRules, DisplayByReferenceKindLimitAndConnector) {
    const struct {
        const char *what, *changes, *disableDigital;
        int noneAvailable;
        const char* expected;
        bool speedCaption;
    } cases[] = {
        {"position, analogue, limit, filter",
         "ControlMode=0 isAnalogueReference=1 isLimitMaximum=1 UseFilter=1", "0", 0,
         "+1006 +1012 +1000 +3327 -3291 -3295 -3400 +3289 ^3302 _3304 ^1003", true},
        {"position, digital, limit", "ControlMode=0 isAnalogueReference=0 isLimitMaximum=1 UseFilter=0", "0",
         0, "-1006 -1012 -1000 -3327 +3291 +3295 +3400 +3289 _3302 ^3304 _1003", false},
        {"position, digital choice switched off",
         "ControlMode=0 isAnalogueReference=0 isLimitMaximum=0 UseFilter=0", "1", 0,
         "-1006 -1012 -1000 -3327 +3291 +3295 +3400 -3289 _3302 _3304 _1003", false},
        {"position, no free connector", "ControlMode=0 isAnalogueReference=1 isLimitMaximum=0 UseFilter=0",
         "0", 1, "+1006 +1012 +1000 +3327 -3291 -3295 -3400 -3289 _3302 _3304 _1003", true},
        {"speed, analogue, limit", "ControlMode=1 isAnalogueReference=1 isLimitMaximum=1 UseFilter=0", "0", 0,
         "+1006 +1012 +1000 +3327 -3291 -3295 -3400 -3289 ^3302 _3304 _1003", false},
        {"current, digital", "ControlMode=2 isAnalogueReference=0 isLimitMaximum=1 UseFilter=1", "0", 0,
         "-1006 -1012 -1000 -3327 -3291 -3295 -3400 -3289 _3302 _3304 ^1003", false},
        {"no analogue input, filter on",
         "ControlMode=0 CADIN=gone isAnalogueReference=0 isLimitMaximum=0 UseFilter=1", "0", 0,
         "-1006 -1012 -1000 -3327 +3291 +3295 +3400 +3289 _3302 _3304 _1003", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::VariantOf(c.changes);
        setup->SetOption("DisableExternalDigitalReference", c.disableDigital);
        dctest::ExpectStates(Apply(dcdrive::AnalogReferenceDisplayRules(*setup, c.noneAvailable)),
                             c.expected);
        EXPECT_STREQ(dcdrive::ReferenceLimitCaption(*setup),
                     c.speedCaption ? "Limit maximum speed at" : "Limit maximum acceleration at");
    }
}

TEST(AnalogReferenceRules, GearRatio) {
    const struct {
        double master, slave, masterAfter, slaveAfter;
    } cases[] = {{-2, -3, 2, 3}, {-2, 3, -2, 3}, {4, 0, 4, 1}, {0, 0, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.master) + " / " + std::to_string(c.slave));
        auto setup = dctest::Variant({{"GEARMASTER", c.master}, {"GEARSLAVE", c.slave}});
        EXPECT_TRUE(dcdrive::ApplyGearRatioRule(*setup, "gearslave"));
        EXPECT_EQ(Value(*setup, "GEARMASTER"), c.masterAfter);
        EXPECT_EQ(Value(*setup, "GEARSLAVE"), c.slaveAfter);
    }
    auto setup = dctest::Variant({{"GEARMASTER", 0}});
    EXPECT_FALSE(dcdrive::ApplyGearRatioRule(*setup, "GEAR"));
    EXPECT_EQ(Value(*setup, "GEARMASTER"), 0);
}

TEST(AnalogReferenceRules, UnitOfTheMaximumGoesToTheMinimum) {
    const struct {
        const char *leader, *unit, *follower;
    } cases[] = {
        {"CRT_max", "mA", "CRT_min"},
        {"DeadBand_Point", "mV", "DeadBand_Range"},
        {"POS_min", "deg", nullptr},  // the minimum leads nothing
    };
    for (const auto& c : cases) {
        auto setup = dcdrive::LoadDefaultSetup();
        ASSERT_TRUE(setup->FindParameter(c.leader)->ChangeUnit(c.unit));
        EXPECT_STREQ(dcdrive::CopyUnitToRangeMinimum(*setup, c.leader), c.follower);
        EXPECT_EQ(setup->FindParameter(c.follower ? c.follower : "POS_max")->GetUnitName(),
                  c.follower ? c.unit : "rot")
            << c.leader;
    }
}

TEST(AnalogReferenceRules, RangeEndsBoundEachOther) {
    const struct {
        const char *typed, *max, *min;
        double value;
    } cases[] = {{"POS_max", "POS_max", "POS_min", 10.0}, {"CRT_min", "CRT_max", "CRT_min", -1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        auto setup = dcdrive::LoadDefaultSetup();
        setup->FindParameter(c.typed)->SetValueInBaseUnit(c.value);
        EXPECT_TRUE(dcdrive::LimitReferenceRange(*setup, c.typed));
        EXPECT_DOUBLE_EQ(setup->FindParameter(c.min)->GetMaxInBaseUnit(), Value(*setup, c.max));
        EXPECT_DOUBLE_EQ(setup->FindParameter(c.max)->GetMinInBaseUnit(), Value(*setup, c.min));
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
