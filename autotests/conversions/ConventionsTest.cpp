#include <cctype>
#include <clocale>
#include <cstdint>
#include <limits>
#include <tuple>

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

TEST(Numbers, TruncatedTowardZeroSafeOutsideTheRangeBitsAndDivisors) {
    const struct {
        double value;
        std::int32_t expected;
    } cases[] = {{2147483647.9, kMax32},  {65535.0, 65535}, {1.9, 1},
                 {-2147483648.0, kMin32}, {1e300, kMax32},  {-1.9, -1},
                 {-2147483648.7, kMin32}, {-1e300, kMin32}, {0.999, 0},
                 {kInf, kMax32},          {kNaN, 0},        {-0.5, 0},
                 {-kInf, kMin32}};
    for (const auto& c : cases) EXPECT_EQ(TruncateToInt32(c.value), c.expected) << c.value;
    // Bits are read from the truncated word; a bit number outside 0..31 reads 0 and changes nothing.
    EXPECT_EQ(BitOf(-1.0, 31), 1);
    EXPECT_EQ(BitOf(kNaN, 0), 0);
    EXPECT_EQ(BitOf(0xFFFF, 32), 0);
    EXPECT_EQ(BitOf(0xFFFF, -1), 0);
    EXPECT_EQ(WithBit(0x0044, 6, false), 0x0004);
    EXPECT_EQ(WithBit(0, 31, true), kMin32);
    EXPECT_EQ(WithBit(kMin32, 31, false), 0);
    EXPECT_EQ(WithBit(0x12, 40, true), 0x12);
    // Only finite values other than 0 divide.
    const struct {
        double divisor;
        bool usable;
    } divisors[] = {{4, true},     {-4, true},    {1e-300, true}, {0, false},
                    {-0.0, false}, {kInf, false}, {-kInf, false}, {kNaN, false}};
    for (const auto& c : divisors) {
        EXPECT_EQ(IsDivisor(c.divisor), c.usable) << c.divisor;
        EXPECT_EQ(DivisorMagnitude(c.divisor).has_value(), c.usable) << c.divisor;
        EXPECT_EQ(std::isnan(Ratio(8, c.divisor)), !c.usable) << c.divisor;
    }
    EXPECT_EQ(DivisorMagnitude(-4).value(), 4.0);  // either counting direction
    EXPECT_EQ(Ratio(8, -4), -2.0);
}

TEST(Writes, RangesNeverInvertAndNonFiniteValuesAreRefused) {
    const struct {
        const char* what;
        double oldMin, oldMax, min, max, result, expectMin, expectMax;
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
    // A refused write leaves value and range as they were; an empty range is refused with its value.
    for (double bad : {kNaN, kInf, -kInf}) {
        CKX_Parameter p("X");
        p.SetMinInBaseUnit(0);
        p.SetMaxInBaseUnit(10);
        p.SetValueInBaseUnit(7);
        EXPECT_EQ(WriteBase(p, bad) + WriteInternal(p, bad) + WriteRangeAndValue(p, 1, 2, bad), 0);
        EXPECT_EQ(WriteRangeAndValue(p, 5, 1, 3), 0);
        EXPECT_EQ(p.GetValueInBaseUnit(), 7);
        EXPECT_EQ(p.GetMinInBaseUnit(), 0);
        EXPECT_EQ(p.GetMaxInBaseUnit(), 10);
        EXPECT_EQ(WriteRangeAndValue(p, 0, 1, 0.25), 1);
        EXPECT_EQ(p.GetValueInBaseUnit(), 0.25);
    }
}

TEST(Lookup, RequireReportsProbingIsQuiet) {
    auto setup = dctest::MakeSetup("A=4 B=2");
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
    // An option counts only when set to 1.
    EXPECT_FALSE(OptionIs(*setup, "Flag", 1) || OptionSet(*setup, "Flag"));
    for (const char* text : {"", "0", "2", "1"}) {
        setup->SetOption("Flag", text);
        EXPECT_EQ(OptionIs(*setup, "Flag", 1), text[0] == '1') << text;
        EXPECT_EQ(OptionSet(*setup, "Flag"), text[0] != 0) << text;
    }
    EXPECT_EQ(errors.Messages().size(), 1u);  // nothing more from probing
}

// Codes 1 Speed, 2 Tachogenerator, 5 BiSS encoder, 1 RotaryToLinear, 3 SineCosine, 4 SSI encoder.
TEST(Codes, ReadTruncatedTowardZeroAndOutsideTheListWhenUnknown) {
    const struct {
        double mode, motor, load, transmission;
        int expectMode, expectMotor, expectLoad, expectTransmission;
    } cases[] = {
        {1.9, 2.5, 5.99, 1.2, 1, 2, 5, 1}, {0, 3, 4, -0.5, 0, 3, 4, 0}, {-1, 6, kNaN, 2, -1, 6, 0, 2}};
    for (const auto& c : cases) {
        auto s = dctest::MakeSetup("ControlMode MotorSensorType LoadSensorType TransmissionType",
                                   {c.mode, c.motor, c.load, c.transmission});
        EXPECT_EQ(ToInt(ControlModeOf(*s)), c.expectMode) << c.mode;
        EXPECT_EQ(ToInt(MotorSensorOf(*s)), c.expectMotor) << c.motor;
        EXPECT_EQ(ToInt(LoadSensorOf(*s)), c.expectLoad) << c.load;
        EXPECT_EQ(ToInt(TransmissionOf(*s)), c.expectTransmission) << c.transmission;
    }
    // Where a code is compared as a number, a fraction matches no code.
    EXPECT_TRUE(IsExactly(2.0, SensorType::Tachogenerator));
    EXPECT_FALSE(IsExactly(2.5, SensorType::Tachogenerator));
}

// Under Turkish locales the C library folds 'I' to no 'i' (ISO-8859-9 gives the dotless i 0xFD): a comparison
// through std::tolower would miss these names. The locale is set for the process, as Qt does.
TEST(NameComparison, FoldsAsciiOnlyUnderTurkishLocales) {
    for (const char* name : {"tr_TR.UTF-8", "tr_TR.ISO-8859-9"}) {
        // Puts "C" back however the test ends (a shared pointer calls its deleter even when null).
        const std::shared_ptr<char> set(std::setlocale(LC_ALL, name),
                                        [](char*) { std::setlocale(LC_ALL, "C"); });
        ASSERT_TRUE(set) << name << " is not installed; generate it with localedef -i tr_TR -f "
                         << std::string(name).substr(6) << " " << name;
        ASSERT_NE(std::tolower('I'), 'i') << name;  // a fold by the C library goes wrong here
        for (const auto& [a, b, equal] : {std::tuple{"isSWLS", "ISSWLS", true},
                                          {"IlimPS", "ilimps", true},
                                          {"Limit_Speed", "LIMIT_SPEED", true},
                                          {"isSWLS", "isSWLT", false},
                                          {"I", "\xFD", false},
                                          {"isSWLS", "isSWL", false}})
            EXPECT_EQ(NamesEqual(a, b), equal) << name << ": " << a << " " << b;
        // A variable named with "I" or "i" selects the same scaling, not the commanded voltage's.
        const auto setup = LoadDefaultSetup();
        const double analogueInput = ScaleFactor(*setup, "V", "AD2FIL_VAL");
        EXPECT_NE(analogueInput, ScaleFactor(*setup, "V", "AD3")) << name;
        EXPECT_EQ(ScaleFactor(*setup, "V", "ad2fil_val"), analogueInput) << name;
    }
}

}  // namespace
