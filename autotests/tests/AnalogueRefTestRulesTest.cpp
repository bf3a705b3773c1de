// What the analogue reference test shows from the setup and the converter
// value alone: the input span by input range, the command span, name and
// unit by control mode, the readings at the ends and in between, and where
// each bar is drawn from.
#include <gtest/gtest.h>

#include <numbers>

#include "EditorTest.h"
#include "tests/AnalogueRefRules.h"

namespace {

using dcdrive::Span;

TEST(AnalogueRefRules, InputSpansReadingsAndBars) {
    const struct {
        double range, minimum, maximum;
    } inputs[] = {{20, -10, 10}, {5, 0, 5}, {10, 0, 3.3}, {0.1, 0, 3.3}};
    for (const auto& c : inputs) {
        const Span span = dcdrive::AnalogueInputSpan(c.range);
        EXPECT_EQ(span.minimum, c.minimum) << c.range;
        EXPECT_EQ(span.maximum, c.maximum) << c.range;
    }
    // Rounded to 2 decimals; the converter's full scale is 0xFFC0.
    const struct {
        Span span;
        double counts, expected;
    } readings[] = {
        {{-10, 10}, 0, -10.00},        {{-10, 10}, 65472, 10.00}, {{-10, 10}, 49104, 5.00},
        {{-10, 10}, 65535, 10.02},      // a reading above the full scale is not clipped
        {{0, 5}, 6547, 0.5},            // 0.49999 rounds up
        {{6000, -6000}, 65472, -6000},  // a range given the other way round maps as given
    };
    for (const auto& c : readings)
        EXPECT_DOUBLE_EQ(dcdrive::ValueAtCounts(c.span, c.counts), c.expected) << c.counts;
    // A bar is drawn from 0 unless the span lies on one side of it.
    const struct {
        Span span;
        double reference;
    } bars[] = {{{-10, 10}, 0}, {{0, 5}, 0}, {{1, 5}, 1}, {{-5, -1}, -5}, {{-5, 0}, 0}};
    for (const auto& c : bars) EXPECT_EQ(dcdrive::BarReference(c.span), c.reference) << c.span.minimum;
}

// The command span is the range in the unit the user chose for it.
TEST(AnalogueRefRules, CommandFollowsTheControlMode) {
    const double rotation = 2 * std::numbers::pi;
    const struct {
        const char* what;
        std::vector<dctest::Change> changes;
        const char* label;  // null: no command
        double minimum, maximum;
        const char* unit;
    } cases[] = {
        {"position in rot",
         {{"ControlMode", 0}, {"POS_min", -2 * rotation}, {"POS_max", 3 * rotation}},
         "Position command",
         -2,
         3,
         "rot"},
        {"speed in rpm", {{"ControlMode", 1}}, "Speed command", -6000, 6000, "rpm"},
        {"current", {{"ControlMode", 2}, {"CRT_min", -1.5}}, "Current command", -1.5, 2.5, "A"},
        {"a mode with no command", {{"ControlMode", 3}}, nullptr, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto spans = dcdrive::AnalogueTestSpansOf(*dctest::Variant(c.changes));
        EXPECT_EQ(spans.inputUnit, "V");
        ASSERT_EQ(spans.command.has_value(), c.label != nullptr);
        if (!c.label) continue;
        EXPECT_EQ(spans.command->label, c.label);
        EXPECT_NEAR(spans.command->span.minimum, c.minimum, 1e-9);
        EXPECT_NEAR(spans.command->span.maximum, c.maximum, 1e-9);
        EXPECT_EQ(spans.command->unit, c.unit);
    }
}

}  // namespace
