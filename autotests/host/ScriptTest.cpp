// The dialog-script reader: words, quoting and escapes, comments, and every
// malformed step refused with its line before anything runs.
#include <gtest/gtest.h>

#include "kx/Script.h"

namespace {

using kx::ParseScript;
using kx::ScriptError;
using kx::ScriptVerb;

TEST(Script, ReadsStepsWordsAndQuotes) {
    const auto steps = ParseScript(
        "# a comment line\n"
        "\n"
        "expect \"Drive Setup\"   # the editor\n"
        "set 3163 48\r\n"
        "select 3136 \"H/W\"\n"
        "message \"Line one\\nsaid \\\"so\\\"\\t\\\\ end\"\n"
        "click ok\n"
        "assert 0x0C8B text \"a # in quotes\"\n"
        "wait\n"
        "expect-help 0x40106\n");
    ASSERT_EQ(steps.size(), 8u);
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[0].verb, ScriptVerb::Expect);
    EXPECT_EQ(steps[0].args[0].text, "Drive Setup");
    EXPECT_TRUE(steps[0].args[0].quoted);
    EXPECT_EQ(steps[0].source, "expect \"Drive Setup\"");
    EXPECT_EQ(steps[1].args[1].text, "48");  // the CR of a CRLF line is a blank
    EXPECT_FALSE(steps[1].args[1].quoted);
    EXPECT_TRUE(steps[2].args[1].quoted);
    EXPECT_EQ(steps[3].args[0].text, "Line one\nsaid \"so\"\t\\ end");
    EXPECT_EQ(steps[5].args[2].text, "a # in quotes");
    EXPECT_EQ(steps[6].verb, ScriptVerb::Wait);
    EXPECT_TRUE(steps[6].args.empty());
    EXPECT_EQ(steps[7].verb, ScriptVerb::ExpectHelp);
}

TEST(Script, RefusesMalformedStepsWithTheirLine) {
    using namespace std::string_view_literals;
    const struct {
        std::string_view text;
        int line;
        const char* says;
    } cases[] = {
        {"expect A\nbogus 1\n", 2, "unknown step \"bogus\""},
        {"message \"open", 1, "not closed"},
        {"message \"bad \\q escape\"", 1, "unknown escape \\q"},
        {"message \"a\"b", 1, "followed by a blank"},
        {"set 3163", 1, "set takes 2 arguments, not 1"},
        {"click 0", 1, "not a control id"},
        {"tab -1", 1, "not a tab index"},
        {"assert 1 pressed", 1, "unknown state \"pressed\""},
        {"assert 1 enabled yes", 1, "takes no value"},
        {"assert 1 value abc", 1, "not a number"},
        {"shot ../escape", 1, "not a file name"},
        {"wait -2", 1, "not a time in seconds"},
        {"expect-help help", 1, "not a context number"},
        {"key \"\"", 1, "the key sequence is empty"},
        {"turn", 1, "turn takes 2 to 3 arguments, not 0"},
        {"turn shaft 1", 1, "\"shaft\" is not motor or load"},
        {"turn motor far", 1, "\"far\" is not an angle in radians"},
        {"turn load 1 0", 1, "the time of a turn must be above 0 s"},
        {"analogue 60", 1, "\"60\" is not a voltage"},
        {"supply -5", 1, "\"-5\" is not a supply voltage"},
        {"block maybe", 1, "block: \"maybe\" is not on or off"},
        {"fault overheat on", 1, "unknown fault \"overheat\" (short-circuit, control-error"},
        {"menu graph Autoscale", 1, "menu: \"graph\" is not a control id"},
        {"menu 1362 \"\"", 1, "menu: the entry is empty"},
        {"wheel 1362 Load_Speed 0", 1, "\"0\" is not a number of notches"},
        {"wheel 1362 Load_Speed 1.5", 1, "\"1.5\" is not a number of notches"},
        {"wheel 1362 Load_Speed", 1, "wheel takes 3 arguments, not 2"},
        {"dump\nexpect a\0b\n"sv, 2, "the line holds a NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseScript(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const ScriptError& error) {
            EXPECT_EQ(error.Line(), c.line);
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
        }
    }
}

TEST(Script, ReadsTheStepsForTheVirtualDrive) {
    const struct {
        const char* text;
        ScriptVerb verb;
        kx::DriveStepArguments expected;
    } cases[] = {
        {"turn motor 6.2832", ScriptVerb::Turn, {false, 6.2832, kx::kDefaultTurnSeconds, false, ""}},
        {"turn LOAD -3.5 2", ScriptVerb::Turn, {true, -3.5, 2.0, false, ""}},
        {"supply 36.5", ScriptVerb::Supply, {false, 36.5, 0.0, false, ""}},
        {"block on", ScriptVerb::Block, {false, 0.0, 0.0, true, ""}},
        {"fault over-current on", ScriptVerb::Fault, {false, 0.0, 0.0, true, "over-current"}},
        {"fault No-Program off", ScriptVerb::Fault, {false, 0.0, 0.0, false, "no-program"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto steps = ParseScript(c.text);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].verb, c.verb);
        const kx::DriveStepArguments read = kx::ReadDriveStep(steps[0]);
        EXPECT_EQ(read.load, c.expected.load);
        EXPECT_DOUBLE_EQ(read.value, c.expected.value);
        EXPECT_DOUBLE_EQ(read.seconds, c.expected.seconds);
        EXPECT_EQ(read.on, c.expected.on);
        EXPECT_EQ(read.fault, c.expected.fault);
    }
    // Every fault the drive knows can be switched from a script.
    for (const char* name : {"short-circuit", "control-error", "feedback-error", "limit-positive",
                             "limit-negative", "enable-off", "over-current", "comm-down", "no-program"})
        EXPECT_NO_THROW(ParseScript(std::string("fault ") + name + " on")) << name;
}

TEST(Script, NumbersAndIds) {
    unsigned id = 0;
    EXPECT_TRUE(kx::ParseControlId("0x40", id) && id == 64u) << id;
    EXPECT_TRUE(kx::ParseControlId("65535", id));
    EXPECT_FALSE(kx::ParseControlId("-1", id));
    EXPECT_FALSE(kx::ParseControlId("2,5", id));
    double value = 0.0;
    EXPECT_TRUE(kx::ParseScriptNumber("+2.5e1", value) && value == 25.0) << value;
    EXPECT_FALSE(kx::ParseScriptNumber("2,5", value));  // scripts use the C notation whatever the locale
    EXPECT_FALSE(kx::ParseScriptNumber("inf", value));
    EXPECT_FALSE(kx::ParseScriptNumber("0x", value));
}

}  // namespace
