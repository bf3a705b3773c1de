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
    const struct {
        const char* text;
        int line;
        const char* says;
    } cases[] = {
        {"expect A\nbogus 1\n", 2, "unknown step \"bogus\""},
        {"\"click\" 1", 1, "unknown step"},
        {"message \"open", 1, "not closed"},
        {"message \"bad \\q escape\"", 1, "unknown escape \\q"},
        {"message \"a\"b", 1, "followed by a blank"},
        {"message a\"b", 1, "a quote inside a word"},
        {"expect", 1, "expect takes 1 argument, not 0"},
        {"set 3163", 1, "set takes 2 arguments, not 1"},
        {"dump now", 1, "dump takes 0 arguments, not 1"},
        {"click 0", 1, "not a control id"},
        {"click 70000", 1, "not a control id"},
        {"click \"ok\"", 1, "not a control id"},
        {"tab -1", 1, "not a tab index"},
        {"tab 1.5", 1, "not a tab index"},
        {"assert 1 pressed", 1, "unknown state \"pressed\""},
        {"assert 1 enabled yes", 1, "takes no value"},
        {"assert 1 text", 1, "needs a value"},
        {"assert 1 value abc", 1, "not a number"},
        {"shot ../escape", 1, "not a file name"},
        {"shot .hidden", 1, "not a file name"},
        {"wait -2", 1, "not a time in seconds"},
        {"wait forever", 1, "not a time in seconds"},
        {"expect-help help", 1, "not a context number"},
        {"key \"\"", 1, "the key sequence is empty"},
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

TEST(Script, RefusesANulByte) {
    using namespace std::string_view_literals;
    EXPECT_THROW(ParseScript("dump\nexpect a\0b\n"sv), ScriptError);
}

TEST(Script, NumbersAndIds) {
    unsigned id = 0;
    EXPECT_TRUE(kx::ParseControlId("0x40", id));
    EXPECT_EQ(id, 64u);
    EXPECT_TRUE(kx::ParseControlId("65535", id));
    EXPECT_FALSE(kx::ParseControlId("-1", id));
    EXPECT_FALSE(kx::ParseControlId("2,5", id));
    double value = 0.0;
    EXPECT_TRUE(kx::ParseScriptNumber("+2.5e1", value));
    EXPECT_DOUBLE_EQ(value, 25.0);
    EXPECT_FALSE(kx::ParseScriptNumber("2,5", value));  // scripts use the C notation whatever the locale
    EXPECT_FALSE(kx::ParseScriptNumber("inf", value));
    EXPECT_FALSE(kx::ParseScriptNumber("0x", value));
}

}  // namespace
