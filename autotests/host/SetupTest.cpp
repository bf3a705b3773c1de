#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Setup.h"

namespace {

// Collects what the host reports while it lives, and restores the sink after.
struct ErrorLog {
    std::vector<std::string> lines;
    kx::ErrorSink old = kx::SetErrorSink([this](const std::string& m) { lines.push_back(m); });
    ~ErrorLog() { kx::SetErrorSink(old); }
};

const std::string kDegC = "\302\260C";

// Scaling as the plug-in would give it: amperes at 100 counts each, °C with an
// offset, a broken (zero) factor for seconds, everything else 1.
struct ScaleFunctions {
    ScaleFunctions() {
        kx::SetScaleFunctions(
            [](CKX_Setup*, const char* unit, const char*) {
                const std::string u = unit;
                return u == "A" ? 0.01 : u == kDegC ? 0.5 : u == "s" ? 0.0 : 1.0;
            },
            [](CKX_Setup*, const char* unit) { return unit == kDegC ? -10.0 : 0.0; });
    }
    ~ScaleFunctions() { kx::SetScaleFunctions(nullptr, nullptr); }
};

TEST(Setup, LooksUpNamesWithoutRegardToCase) {
    CKX_Setup setup;
    for (const char* n : {"isMotorI2t", "B2", "C3"}) setup.AddParameter(n)->SetValueInBaseUnit(n[1] - '0');
    EXPECT_EQ(setup.AddParameter("ISMOTORI2T"), nullptr) << "a second parameter of the same name";
    ASSERT_TRUE(setup.AddVariable(std::make_unique<CKX_Variable>("CADIN")));
    EXPECT_NE(setup.FindVariable("cadin", 1), nullptr);
    // Removing keeps the other lookups right; a copy owns its parameters.
    EXPECT_TRUE(setup.RemoveParameter("ISMOTORi2t"));
    EXPECT_FALSE(setup.RemoveParameter("isMotorI2t"));
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("c3"), 3);
    CKX_Setup copy(setup);
    copy.SetParameterValueInBaseUnit("b2", 20);
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("B2"), 2);
    EXPECT_EQ(copy.FindParameter("B2")->GetSetup(), &copy);
}

TEST(Setup, ReportsMissingNamesOnlyWhileErrorsAreShown) {
    CKX_Setup setup;
    ErrorLog log;
    EXPECT_EQ(setup.FindParameter("PWMPER"), nullptr);
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("PWM_freq"), 0.0);
    EXPECT_EQ(setup.FindVariable("CADIN", 1), nullptr);
    EXPECT_EQ(setup.GetOption("MaxFilters"), "");
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_NE(log.lines[0].find("\"PWMPER\""), std::string::npos);
    {
        kx::QuietLookup quiet;
        setup.FindParameter("PWMPER");
        setup.FindVariable("CADIN", 1);
    }
    EXPECT_EQ(setup.GetOptionNoError("MaxFilters"), "");
    EXPECT_EQ(log.lines.size(), 4u) << "probes and GetOptionNoError report nothing";
    setup.FindParameter("PWMPER");
    EXPECT_EQ(log.lines.size(), 5u) << "the display is back on after the probe";
}

TEST(Setup, ValuesStayWithinLimitsAndFinite) {
    CKX_Parameter p("Vbrake", "V");
    p.SetMinInBaseUnit(1);
    p.SetMaxInBaseUnit(80);
    const struct {
        double written, stored;
        int result;
    } cases[] = {{50, 50, 1}, {100, 80, 1}, {-3, 1, 1}, {NAN, 1, 0}, {INFINITY, 1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(p.SetValueInBaseUnit(c.written), c.result) << c.written;
        EXPECT_EQ(p.GetValueInBaseUnit(), c.stored) << c.written;
    }
    EXPECT_EQ(p.SetMaxInBaseUnit(NAN), 0);
    // Limits do not move the value; an inverted range limits nothing.
    p.SetMinInBaseUnit(90);
    EXPECT_EQ(p.GetValueInBaseUnit(), 1);
    EXPECT_EQ(p.SetValueInBaseUnit(5), 1);
    EXPECT_EQ(p.GetValueInBaseUnit(), 5);
}

TEST(Setup, InternalUnitsComeFromThePluginScaling) {
    CKX_Setup setup;
    setup.AddParameter("IlimPS", "A")->SetValueInBaseUnit(2.5);
    setup.AddParameter("SATS")->SetValueInBaseUnit(2.5);  // a register: dimensionless, internal = base
    setup.AddParameter("Temp_2", kDegC)->SetValueInBaseUnit(25);
    setup.AddParameter("Ts_S", "s")->SetValueInBaseUnit(0.001);
    EXPECT_EQ(setup.GetParameterValueInInternalUnit("IlimPS"), 2.5) << "no scaling installed yet";
    ScaleFunctions scale;
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInInternalUnit("IlimPS"), 250);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInInternalUnit("SATS"), 2.5);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInInternalUnit("Temp_2"), 60);  // 25 / 0.5 + 10
    EXPECT_EQ(setup.SetParameterValueInInternalUnit("Temp_2", 70), 1);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("Temp_2"), 30);
    // A zero scale gives no internal value: nothing infinite is read or stored.
    EXPECT_EQ(setup.GetParameterValueInInternalUnit("Ts_S"), 0.0);
    EXPECT_EQ(setup.SetParameterValueInInternalUnit("Ts_S", 1), 0);
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("Ts_S"), 0.001);
    // Outside a setup a parameter has no scaling.
    CKX_Parameter loose("IlimPS", "A");
    loose.SetValueInBaseUnit(3);
    EXPECT_EQ(loose.GetValueInInternalUnit(), 3);
}

TEST(Setup, UnitsAndTypes) {
    CKX_Parameter p("Load_transmission", "rad");
    EXPECT_EQ(p.GetBaseUnitName(), "rad");
    p.SetValueInBaseUnit(2 * M_PI);
    EXPECT_EQ(p.ChangeUnitType("mm"), 1);
    EXPECT_EQ(p.GetUnitName(), "mm");
    EXPECT_EQ(p.GetBaseUnitName(), "m");
    EXPECT_EQ(p.ChangeUnitType("rot"), 1);
    EXPECT_DOUBLE_EQ(p.GetValueInDisplayUnit(), 1.0);
    EXPECT_EQ(p.ChangeUnitType("furlong"), 0);
    EXPECT_EQ(p.GetUnitName(), "rot");
    // A Windows-1252 degree sign finds the same unit as its UTF-8 form.
    CKX_Parameter t("Temp_2", "\260C");
    EXPECT_EQ(t.GetUnitName(), kDegC);
    EXPECT_TRUE(kx::UnitNamesEqual("\xB5H", "\xC2\xB5h"));
    EXPECT_FALSE(kx::UnitNamesEqual("V ", "V"));
    CKX_Parameter f("SSI_freq", "Hz", KX_TYPE_UINT16);
    EXPECT_EQ(f.GetSizeInWords(), 1);
    f.ChangeType(KX_TYPE_UINT32);
    EXPECT_EQ(f.GetSizeInWords(), 2);
}

TEST(Setup, OptionsSetClearAndParse) {
    CKX_Setup setup;
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"12abc", 12}, {"", 0},
        {"x", 0}, {"-1", -1},    {"99999999999", std::numeric_limits<int>::max()}};
    for (const auto& [text, value] : cases) {
        setup.SetOption("NewDeadBand", text);
        EXPECT_EQ(setup.GetIntOption("NewDeadBand"), value) << text;
    }
    setup.ClearOption("newdeadband");
    EXPECT_FALSE(setup.HasOption("NewDeadBand"));
    setup.SetOption("b", "2");
    setup.SetOption("A", "1");
    const auto options = setup.GetOptions();
    ASSERT_EQ(options.size(), 2u);
    EXPECT_EQ(options[0].first, "A");
}

TEST(Kernel, ConfigLineTokensAndRounding) {
    const std::string line = "  \"Feedback \\\"A\\\"\" 1,digital  0,x";
    std::size_t pos = 0;
    std::string token;
    std::vector<std::string> tokens;
    while (ReadEscapedStringFromConfigLine(line, pos, token)) tokens.push_back(token);
    EXPECT_EQ(tokens, (std::vector<std::string>{"Feedback \"A\"", "1,digital", "0,x"}));
    EXPECT_EQ(RoundDecimalValue(1.23456, 2), 1.23);
    EXPECT_EQ(RoundDecimalValue(-2.5, 0), -3);
    EXPECT_EQ(RoundDecimalValue(1e300, 5), 1e300);
    EXPECT_EQ(PositiveModulo(-7L, 3L), 2);
    EXPECT_EQ(PositiveModulo(7L, 0L), 0);
    EXPECT_DOUBLE_EQ(PositiveModulo(-1.0, 2 * M_PI), 2 * M_PI - 1.0);
}

}  // namespace
