#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "TestSetup.h"
#include "conversions/Conventions.h"

using namespace dcdrive;
using dctest::ReportedErrors;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();

TEST(Truncation, TowardZeroAndSafeOutsideTheRange) {
    const struct {
        double value;
        std::int32_t expected;
    } cases[] = {{2147483647.9, kMax32},  {65535.0, 65535}, {1.9, 1},
                 {-2147483648.0, kMin32}, {1e300, kMax32},  {-1.9, -1},
                 {-2147483648.7, kMin32}, {-1e300, kMin32}, {0.999, 0},
                 {kInf, kMax32},          {kNaN, 0},        {-0.5, 0},
                 {-kInf, kMin32}};
    for (const auto& c : cases) EXPECT_EQ(TruncateToInt32(c.value), c.expected) << c.value;
}

TEST(Bits, ReadFromTruncatedWordAndComposed) {
    EXPECT_EQ(BitOf(0x0844 + 0.9, 2), 1);
    EXPECT_EQ(BitOf(0x0844, 11), 1);
    EXPECT_EQ(BitOf(-1.0, 31), 1);
    EXPECT_EQ(BitOf(kNaN, 0), 0);
    EXPECT_EQ(BitOf(0xFFFF, 32), 0);
    EXPECT_EQ(BitOf(0xFFFF, -1), 0);

    EXPECT_EQ(WithBit(0x0040, 2, true), 0x0044);
    EXPECT_EQ(WithBit(0x0044, 6, false), 0x0004);
    EXPECT_EQ(WithBit(0, 31, true), kMin32);
    EXPECT_EQ(WithBit(kMin32, 31, false), 0);
    EXPECT_EQ(WithBit(0x12, 40, true), 0x12);
}

TEST(SetParameterRange, NeverLeavesMinimumAboveMaximum) {
    const struct {
        const char* what;
        double oldMin, oldMax;
        double min, max;
        int result;
        double expectMin, expectMax;
    } cases[] = {
        {"ordinary", 0, 10, 2, 5, 1, 2, 5},
        {"single point", 0, 10, 3, 3, 1, 3, 3},
        {"above the current maximum", 0, 1, 5, 9, 1, 5, 9},
        {"below the current minimum", 10, 20, -5, -1, 1, -5, -1},
        {"inverted current range repaired", 8, 3, 1, 2, 1, 1, 2},
        {"inverted current range, new range above", 8, 3, 9, 12, 1, 9, 12},
        {"empty range refused", 0, 10, 5, 2, 0, 0, 10},
        {"NaN bound refused", 0, 10, kNaN, 2, 0, 0, 10},
        {"infinite bound refused", 0, 10, 0, kInf, 0, 0, 10},
    };
    for (const auto& c : cases) {
        CKX_Parameter p("X");
        p.SetMinInBaseUnit(c.oldMin);
        p.SetMaxInBaseUnit(c.oldMax);
        EXPECT_EQ(SetParameterRange(p, c.min, c.max), c.result) << c.what;
        EXPECT_EQ(p.GetMinInBaseUnit(), c.expectMin) << c.what;
        EXPECT_EQ(p.GetMaxInBaseUnit(), c.expectMax) << c.what;
    }
}

TEST(Writes, RefuseNonFiniteValuesAndLeaveEverythingAsItWas) {
    for (double bad : {kNaN, kInf, -kInf}) {
        CKX_Parameter p("X");
        p.SetValueInBaseUnit(7);
        p.SetMinInBaseUnit(0);
        p.SetMaxInBaseUnit(10);
        EXPECT_EQ(WriteBase(p, bad), 0);
        EXPECT_EQ(WriteInternal(p, bad), 0);
        EXPECT_EQ(WriteRangeAndValue(p, 1, 2, bad), 0);
        EXPECT_EQ(p.GetValueInBaseUnit(), 7);
        EXPECT_EQ(p.GetMinInBaseUnit(), 0);
        EXPECT_EQ(p.GetMaxInBaseUnit(), 10);
    }
    CKX_Parameter p("X");
    EXPECT_EQ(WriteRangeAndValue(p, 5, 1, 3), 0);  // empty range: no value either
    EXPECT_EQ(p.GetValueInBaseUnit(), 0);
    EXPECT_EQ(WriteRangeAndValue(p, 0, 1, 0.25), 1);
    EXPECT_EQ(p.GetValueInBaseUnit(), 0.25);
}

TEST(Lookup, RequireStopsAtTheFirstMissingNameAndReportsIt) {
    auto setup = dctest::MakeSetup({{"A", 1}, {"B", 2}});
    ReportedErrors errors;
    const auto all = Require(*setup, "A", "b");
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ((*all)[1]->GetValueInBaseUnit(), 2);
    EXPECT_TRUE(errors.Messages().empty());

    EXPECT_FALSE(Require(*setup, "A", "Missing1", "Missing2").has_value());
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_NE(errors.Messages()[0].find("Missing1"), std::string::npos);
}

TEST(Lookup, ProbingShowsNothingAndRestoresTheFlag) {
    auto setup = dctest::MakeSetup({{"A", 4}});
    ReportedErrors errors;
    for (int flag : {1, 0}) {
        g_bShowErrors = flag;
        EXPECT_EQ(Probe(*setup, "Missing"), nullptr);
        EXPECT_FALSE(Exists(*setup, "Missing"));
        EXPECT_TRUE(Exists(*setup, "a"));
        EXPECT_EQ(ValueOr(*setup, "Missing", 100.0), 100.0);
        EXPECT_EQ(ValueOr(*setup, "A", 100.0), 4.0);
        EXPECT_EQ(g_bShowErrors, flag);
    }
    EXPECT_TRUE(errors.Messages().empty());
}

}  // namespace
