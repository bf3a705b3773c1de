#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "plugin/Scaling.h"
#include "setups/DefaultSetup.h"

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
    EXPECT_EQ(BitOf(-1.0, 31), 1);
    EXPECT_EQ(BitOf(kNaN, 0), 0);
    EXPECT_EQ(BitOf(0xFFFF, 32), 0);
    EXPECT_EQ(BitOf(0xFFFF, -1), 0);
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
        {"single point", 0, 10, 3, 3, 1, 3, 3},
        {"above the current maximum", 0, 1, 5, 9, 1, 5, 9},
        {"inverted current range repaired", 8, 3, 1, 2, 1, 1, 2},
        {"empty range refused", 0, 10, 5, 2, 0, 0, 10},
        {"NaN bound refused", 0, 10, kNaN, 2, 0, 0, 10},
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

// Require stops at the first missing name and reports it; probing shows
// nothing and restores the flag.
TEST(Lookup, RequireReportsProbingIsQuiet) {
    auto setup = dctest::MakeSetup({{"A", 4}, {"B", 2}});
    ReportedErrors errors;
    const auto all = Require(*setup, "A", "b");
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ((*all)[1]->GetValueInBaseUnit(), 2);
    EXPECT_TRUE(errors.Messages().empty());
    EXPECT_FALSE(Require(*setup, "A", "Missing1", "Missing2").has_value());
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_NE(errors.Messages()[0].find("Missing1"), std::string::npos);
    for (int flag : {1, 0}) {
        g_bShowErrors = flag;
        EXPECT_EQ(Probe(*setup, "Missing"), nullptr);
        EXPECT_FALSE(Exists(*setup, "Missing"));
        EXPECT_TRUE(Exists(*setup, "a"));
        EXPECT_EQ(ValueOr(*setup, "Missing", 100.0), 100.0);
        EXPECT_EQ(ValueOr(*setup, "A", 100.0), 4.0);
        EXPECT_EQ(g_bShowErrors, flag);
    }
    EXPECT_EQ(errors.Messages().size(), 1u);  // nothing more from probing
}

TEST(Codes, ReadTruncatedTowardZeroAndOutsideTheListWhenUnknown) {
    const struct {
        double mode, motor, load, transmission;
        ControlMode expectMode;
        SensorType expectMotor, expectLoad;
        TransmissionType expectTransmission;
    } cases[] = {
        {1.9, 2.5, 5.99, 1.2, ControlMode::Speed, SensorType::Tachogenerator, SensorType::BissEncoder,
         TransmissionType::RotaryToLinear},
        {0, 3, 4, -0.5, ControlMode::Position, SensorType::SineCosineEncoder, SensorType::SsiEncoder,
         TransmissionType::RotaryToRotary},
        {-1, 6, kNaN, 2, static_cast<ControlMode>(-1), static_cast<SensorType>(6), SensorType::None,
         static_cast<TransmissionType>(2)},
    };
    for (const auto& c : cases) {
        auto s = dctest::MakeSetup({{"ControlMode", c.mode},
                                    {"MotorSensorType", c.motor},
                                    {"LoadSensorType", c.load},
                                    {"TransmissionType", c.transmission}});
        EXPECT_EQ(ControlModeOf(*s), c.expectMode) << c.mode;
        EXPECT_EQ(MotorSensorOf(*s), c.expectMotor) << c.motor;
        EXPECT_EQ(LoadSensorOf(*s), c.expectLoad) << c.load;
        EXPECT_EQ(TransmissionOf(*s), c.expectTransmission) << c.transmission;
    }
    // Where a code is compared as a number, a fraction matches no code.
    EXPECT_TRUE(IsExactly(2.0, SensorType::Tachogenerator));
    EXPECT_FALSE(IsExactly(2.5, SensorType::Tachogenerator));
}

TEST(Divisors, OnlyFiniteNonZeroValuesDivide) {
    const struct {
        double divisor;
        bool usable;
    } cases[] = {{4, true},     {-4, true},    {1e-300, true}, {0, false},
                 {-0.0, false}, {kInf, false}, {-kInf, false}, {kNaN, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsDivisor(c.divisor), c.usable) << c.divisor;
        EXPECT_EQ(DivisorMagnitude(c.divisor).has_value(), c.usable) << c.divisor;
        EXPECT_EQ(std::isnan(Ratio(8, c.divisor)), !c.usable) << c.divisor;
    }
    EXPECT_EQ(DivisorMagnitude(-4).value(), 4.0);  // either counting direction
    EXPECT_EQ(Ratio(8, -4), -2.0);
}

// Sets the process locale for the test's lifetime, as a Qt application
// sets the user's, and puts "C" back.
class ProcessLocale {
public:
    explicit ProcessLocale(const char* name) : m_set(std::setlocale(LC_ALL, name) != nullptr) {}
    ~ProcessLocale() { std::setlocale(LC_ALL, "C"); }
    bool IsSet() const { return m_set; }

private:
    bool m_set;
};

// Under both Turkish locales the C library does not fold 'I' to 'i' (UTF-8
// keeps 'I', ISO-8859-9 gives the dotless i 0xFD): a comparison through
// std::tolower would miss these names. tools/dev.sh generates the locales.
TEST(NameComparison, FoldsAsciiOnlyUnderTurkishLocales) {
    for (const char* name : {"tr_TR.UTF-8", "tr_TR.ISO-8859-9"}) {
        const ProcessLocale locale(name);
        ASSERT_TRUE(locale.IsSet()) << name << " is not installed; generate it with localedef -i tr_TR -f "
                                    << std::string(name).substr(6) << " " << name;
        // The locale is one where a fold by the C library goes wrong.
        ASSERT_NE(std::tolower('I'), 'i') << name;

        EXPECT_TRUE(NamesEqual("isSWLS", "ISSWLS")) << name;
        EXPECT_TRUE(NamesEqual("IlimPS", "ilimps")) << name;
        EXPECT_TRUE(NamesEqual("Limit_Speed", "LIMIT_SPEED")) << name;
        EXPECT_FALSE(NamesEqual("isSWLS", "isSWLT")) << name;
        EXPECT_FALSE(NamesEqual("I", "\xFD")) << name;  // the dotless i is no letter of a name
        EXPECT_FALSE(NamesEqual("isSWLS", "isSWL")) << name;

        // A variable named with "I" or "i" selects the same scaling.
        const auto setup = LoadDefaultSetup();
        const double analogueInput = ScaleFactor(*setup, "V", "AD2FIL_VAL");
        EXPECT_NE(analogueInput, ScaleFactor(*setup, "V", "AD3")) << name;  // not the commanded voltage's
        EXPECT_EQ(ScaleFactor(*setup, "V", "ad2fil_val"), analogueInput) << name;
    }
}

}  // namespace
