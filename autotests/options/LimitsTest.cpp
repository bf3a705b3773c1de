#include <numbers>

#include "../conversions/TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"

using namespace dcdrive;

namespace {

// The default drive: 1 ms slow loop, 2000 counts per revolution on both sides.
const double kCounts = 2000 / (2 * std::numbers::pi);  // per radian
// The limits a target has before the computation; a limit not written keeps them.
constexpr double kLow = -1e9, kHigh = 1e9;

TEST(Limits, ComputedFromTheSetup) {
    const double reach = 200 * 32767 / kCounts;  // the shorter ramp, 0.2 s, at full scale
    const struct {
        const char *changes, *target;
        double min, max;
    } cases[] = {
        {"", "ERR_position", kLow, 2147483647 / kCounts},
        {"-ERRMAXL", "ERR_position", kLow, 32767 / kCounts},
        {"TaPP=0.3 TaNP=0.2", "TestPosition", -reach, reach},
        {"AnalogueInputsRange=20", "DeadBand_Point", -10, 10},
        {"AnalogueInputsRange=10 -CADIN", "DeadBand_Point", kLow, kHigh},
        {"SSI_No_Bits_Revolution=40", "SSI_Offset", kLow, 4294967296.0},
        {"@MaxFilters=12 BQFilterF111=5", "BQFilterF110", kLow, 499},
        {"@MaxFilters=12 BQFilterF111=5", "BQFilterF111", kLow, kHigh},  // ten filters at most have limits
        {"ImaxM=7", "In", kLow, 7},
        {"ImaxM=-2e9", "In", kLow, kHigh},  // would end below the minimum
        {"SLPER=0", "TPP", kLow, kHigh},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        auto s = dctest::DefaultWith(c.changes + std::string(" ") + c.target + "=-1e9:1e9");  // kLow:kHigh
        ComputeParameterLimits(*s);
        const CKX_Parameter* p = s->FindParameter(c.target);
        EXPECT_NEAR(p->GetMinInBaseUnit(), c.min, 1e-9 * std::fabs(c.min));
        EXPECT_NEAR(p->GetMaxInBaseUnit(), c.max, 1e-9 * std::fabs(c.max));
    }
}

// Load-side parameters and variables take rotary units, or linear ones with a linear transmission; a variable
// whose parameter the drive lacks ("ERRMAXL", removed in the linear case) keeps its unit.
TEST(Limits, LoadUnitsFollowTheTransmission) {
    for (const bool linear : {false, true}) {
        auto s = dctest::DefaultWith(linear ? "TransmissionType=1 -ERRMAXL" : "TransmissionType=0");
        EXPECT_EQ(ComputeLoadUnits(*s), 1);
        EXPECT_EQ(s->FindParameter("TestSpeed")->GetUnitName(), linear ? "m/s" : "rpm");
        for (const char* variable : {"APOS", "ERRMAX"})
            EXPECT_EQ(s->FindVariable(variable)->GetUnitName(), linear ? "mm" : "rot") << variable;
        EXPECT_EQ(s->FindVariable("ERRMAXL")->GetUnitName(), "rot");
    }
}

}  // namespace
