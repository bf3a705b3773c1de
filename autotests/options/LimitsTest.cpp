#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "../conversions/TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using Changes = std::vector<dctest::Param>;

namespace {

// The default setup with the changes (a parameter it lacks is added).
std::unique_ptr<CKX_Setup> Default(const Changes& changes) {
    auto s = LoadDefaultSetup();
    for (const auto& c : changes) {
        if (!Probe(*s, c.name)) s->AddParameter(c.name);
        dctest::Force(*s, c.name, c.value);
    }
    return s;
}

// The default drive: 1 ms slow loop, 2000 counts per revolution on both sides.
const double kCounts = 2000 / (2 * std::numbers::pi);  // per radian
// The limits a target has before the computation; a limit not written keeps them.
constexpr double kLow = -1e9, kHigh = 1e9;

void Widen(CKX_Setup& s, const char* name) {
    s.FindParameter(name)->SetMinInBaseUnit(kLow);
    s.FindParameter(name)->SetMaxInBaseUnit(kHigh);
}

TEST(Limits, ComputedFromTheSetup) {
    const double reach = 200 * 32767 / kCounts;  // the shorter ramp, 0.2 s, at full scale
    const struct {
        Changes changes;
        const char* removed;
        const char* target;
        double min, max;
    } cases[] = {
        {{}, nullptr, "ERR_position", kLow, 2147483647 / kCounts},
        {{}, "ERRMAXL", "ERR_position", kLow, 32767 / kCounts},
        {{{"TaPP", 0.3}, {"TaNP", 0.2}}, nullptr, "TestPosition", -reach, reach},
        {{{"AnalogueInputsRange", 20}}, nullptr, "DeadBand_Point", -10, 10},
        {{{"AnalogueInputsRange", 10}}, "CADIN", "DeadBand_Point", kLow, kHigh},
        {{{"SSI_No_Bits_Revolution", 40}}, nullptr, "SSI_Offset", kLow, 4294967296.0},
        {{{"BQFilterF111", 5}}, nullptr, "BQFilterF110", kLow, 499},
        {{{"BQFilterF111", 5}}, nullptr, "BQFilterF111", kLow, kHigh},
        {{{"ImaxM", 7}}, nullptr, "In", kLow, 7},
        {{{"ImaxM", -2e9}}, nullptr, "In", kLow, kHigh},  // would end below the minimum
        {{{"SLPER", 0}}, nullptr, "TPP", kLow, kHigh},
    };
    for (const auto& c : cases) {
        auto s = Default(c.changes);
        if (c.removed) s->RemoveParameter(c.removed);
        s->SetOption("MaxFilters", "12");  // ten filters at most have limits
        Widen(*s, c.target);
        ComputeParameterLimits(*s);
        const CKX_Parameter* p = s->FindParameter(c.target);
        EXPECT_NEAR(p->GetMinInBaseUnit(), c.min, 1e-9 * std::fabs(c.min)) << c.target;
        EXPECT_NEAR(p->GetMaxInBaseUnit(), c.max, 1e-9 * std::fabs(c.max)) << c.target;
    }
}

TEST(Limits, LoadUnitsFollowTheTransmission) {
    const struct {
        const char *name, *rotary, *linear;
        bool variable;
    } cases[] = {{"TestSpeed", "rpm", "m/s", false},
                 {"ErefMaxAcceleration", "rad/s^2", "m/s^2", false},
                 {"APOS", "rot", "mm", true},
                 {"JERK", "rad/s^3", "m/s^3", true}};
    for (const double transmission : {0.0, 1.0}) {
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
