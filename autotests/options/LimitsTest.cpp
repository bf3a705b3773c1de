#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;

namespace {

struct Set {
    const char* name;
    double value;
};

// The default setup with the changes (a parameter it lacks is added).
std::unique_ptr<CKX_Setup> Default(const std::vector<Set>& changes) {
    auto s = LoadDefaultSetup();
    for (const Set& c : changes) {
        CKX_Parameter* p = Probe(*s, c.name);
        if (!p) p = s->AddParameter(c.name);
        p->SetMinInBaseUnit(-1e300);
        p->SetMaxInBaseUnit(1e300);
        p->SetValueInBaseUnit(c.value);
    }
    return s;
}

// The default drive: 1 ms slow loop, 2000 counts per revolution on both sides.
constexpr double kTsl = 1e-3;
const double kCounts = 2000 / (2 * std::numbers::pi);  // per radian
// The limits a target has before the computation; a limit not written keeps them.
constexpr double kLow = -1e9, kHigh = 1e9;

void Widen(CKX_Setup& s, const char* name) {
    s.FindParameter(name)->SetMinInBaseUnit(kLow);
    s.FindParameter(name)->SetMaxInBaseUnit(kHigh);
}

TEST(Limits, ComputedFromTheSetup) {
    const struct {
        std::vector<Set> changes;
        const char* removed;
        const char* maxFilters;
        const char* target;
        double min, max;
    } cases[] = {
        {{}, nullptr, nullptr, "ERR_position", kLow, 2147483647 / kCounts},
        {{}, "ERRMAXL", nullptr, "ERR_position", kLow, 32767 / kCounts},
        {{}, nullptr, nullptr, "ERR_speed", kLow, 32767 / (kCounts * kTsl)},
        {{}, nullptr, nullptr, "time_ERR_pos", kLow, 32767 * kTsl},
        {{}, nullptr, nullptr, "TaPP", 2 * kTsl, 65535 * kTsl},
        {{}, nullptr, nullptr, "TNS", kTsl, 65535 * kTsl},
        {{{"PB_S_minim", 20}, {"PB_S_maxim", 900}}, nullptr, nullptr, "PB_S", 20, 900},
        {{{"TaPP", 0.3}, {"TaNP", 0.2}},
         nullptr,
         nullptr,
         "TestPosition",
         -200 * 32767 / kCounts,
         200 * 32767 / kCounts},
        {{{"Limit_Speed", 100}}, nullptr, nullptr, "TestSpeed", -100, 100},
        {{{"AnalogueInputsRange", 20}}, nullptr, nullptr, "DeadBand_Point", -10, 10},
        {{{"AnalogueInputsRange", 10}}, nullptr, nullptr, "DeadBand_Point", 0, 3.3},
        {{{"AnalogueInputsRange", 10}}, "CADIN", nullptr, "DeadBand_Point", kLow, kHigh},
        {{}, nullptr, nullptr, "filter", kLow, 500},
        {{{"SSI_No_Bits_Revolution", 40}}, nullptr, nullptr, "SSI_Offset", kLow, 4294967296.0},
        {{{"BQFilterF111", 5}}, nullptr, "12", "BQFilterF110", kLow, 499},
        {{{"BQFilterF111", 5}}, nullptr, "12", "BQFilterF111", kLow, kHigh},
        {{{"PosSpd_in_FastLoop", 1}}, nullptr, nullptr, "BQFilterF11", kLow, kHigh},
        {{{"ImaxM", 7}}, nullptr, nullptr, "In", kLow, 7},
        {{{"ImaxM", -2e9}}, nullptr, nullptr, "In", kLow, kHigh},  // would end below the minimum
        {{{"No_encoder_lines", 0}}, nullptr, nullptr, "ERR_position", kLow, kHigh},
        {{{"No_encoder_lines", 0}}, nullptr, nullptr, "TestPosition", kLow, kHigh},
        {{{"SLPER", 0}}, nullptr, nullptr, "TPP", kLow, kHigh},
    };
    for (const auto& c : cases) {
        auto s = Default(c.changes);
        if (c.removed) s->RemoveParameter(c.removed);
        if (c.maxFilters) s->SetOption("MaxFilters", c.maxFilters);
        Widen(*s, c.target);
        ComputeParameterLimits(*s);
        const CKX_Parameter* p = s->FindParameter(c.target);
        EXPECT_NEAR(p->GetMinInBaseUnit(), c.min, 1e-9 * std::fabs(c.min)) << c.target;
        EXPECT_NEAR(p->GetMaxInBaseUnit(), c.max, 1e-9 * std::fabs(c.max)) << c.target;
    }
}

TEST(Limits, ReversedCountingGivesTheSameLimits) {
    auto forward = Default({});
    auto reversed = Default({{"Motor_transmission", -2 * std::numbers::pi}});
    ASSERT_LT(SpeedScale(*reversed), 0);
    const char* names[] = {"ERR_speed", "ERR_position", "TestPosition", "TestSpeed", "POS_max", "POS_min"};
    for (CKX_Setup* s : {forward.get(), reversed.get()}) {
        for (const char* name : names) Widen(*s, name);
        ComputeParameterLimits(*s);
    }
    for (const char* name : names) {
        EXPECT_EQ(reversed->FindParameter(name)->GetMinInBaseUnit(),
                  forward->FindParameter(name)->GetMinInBaseUnit());
        EXPECT_EQ(reversed->FindParameter(name)->GetMaxInBaseUnit(),
                  forward->FindParameter(name)->GetMaxInBaseUnit());
    }
}

TEST(Limits, AllOptionsLeaveNoInvertedRange) {
    for (const auto& changes :
         std::vector<std::vector<Set>>{{},
                                       {{"SLPER", 0}, {"No_encoder_lines", 0}},
                                       {{"ImaxM", 0.001}, {"TaPP", -1}, {"TransmissionType", 1}}}) {
        auto s = Default(changes);
        RegistersToParameters(*s);  // the steps of ComputeAllOptions
        ComputeParameterLimits(*s);
        ComputeLoopOptions(*s);
        ComputeLoadUnits(*s);
        for (std::size_t i = 0; i < s->GetParameterCount(); ++i)
            EXPECT_LE(s->GetParameterAt(i)->GetMinInBaseUnit(), s->GetParameterAt(i)->GetMaxInBaseUnit())
                << s->GetParameterAt(i)->GetName();
    }
}

TEST(Limits, LoadUnitsFollowTheTransmission) {
    const struct {
        const char *name, *rotary, *linear;
        bool variable;
    } cases[] = {{"TestSpeed", "rpm", "m/s", false},   {"Limit_Speed", "rad/s", "m/s", false},
                 {"ERR_position", "rot", "mm", false}, {"ErefMaxAcceleration", "rad/s^2", "m/s^2", false},
                 {"APOS", "rot", "mm", true},          {"TSPD", "rpm", "m/s", true},
                 {"JERK", "rad/s^3", "m/s^3", true}};
    for (const double transmission : {0.0, 1.0, 0.0}) {
        auto s = Default({{"TransmissionType", transmission}});
        EXPECT_EQ(ComputeLoadUnits(*s), 1);
        for (const auto& c : cases) {
            const std::string unit =
                c.variable ? s->FindVariable(c.name)->GetUnitName() : s->FindParameter(c.name)->GetUnitName();
            EXPECT_EQ(unit, transmission == 0 ? c.rotary : c.linear) << c.name;
        }
    }
    auto s = Default({{"TransmissionType", 1}});
    s->RemoveParameter("ERRMAXL");  // its variable then keeps its unit
    ComputeLoadUnits(*s);
    EXPECT_EQ(s->FindVariable("ERRMAX")->GetUnitName(), "mm");
    EXPECT_EQ(s->FindVariable("ERRMAXL")->GetUnitName(), "rot");
}

}  // namespace
