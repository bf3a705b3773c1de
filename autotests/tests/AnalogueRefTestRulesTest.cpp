// What the analogue reference test shows from the setup and the converter
// value alone: the input span by input range, the command span, name and
// unit by control mode, the readings at the ends and in between, and where
// each bar is drawn from.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "EditorTest.h"
#include "tests/AnalogueRefRules.h"

namespace {

using dcdrive::AnalogueTestSpansOf;
using dcdrive::BarReference;
using dcdrive::Span;
using dcdrive::ValueAtCounts;

TEST(AnalogueRefRules, InputSpanFollowsTheInputRange) {
    const struct {
        double range;
        double minimum, maximum;
    } cases[] = {
        {20, -10, 10}, {5, 0, 5}, {7, 0, 3.3}, {10, 0, 3.3}, {19.99, 0, 3.3}, {0.1, 0, 3.3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        const Span span = dcdrive::AnalogueInputSpan(c.range);
        EXPECT_EQ(span.minimum, c.minimum);
        EXPECT_EQ(span.maximum, c.maximum);
    }
}

// Readings are rounded to 2 decimals; the converter's full scale is 0xFFC0.
TEST(AnalogueRefRules, ReadingsAtTheEndsAndBetween) {
    const struct {
        Span span;
        double counts;
        double expected;
    } cases[] = {
        {{-10, 10}, 0, -10.00},
        {{-10, 10}, 65472, 10.00},
        {{-10, 10}, 32736, 0.00},
        {{-10, 10}, 49104, 5.00},
        {{-10, 10}, 65535, 10.02},  // a reading above the full scale is not clipped
        {{0, 3.3}, 1000, 0.05},     // 0.0504
        {{0, 5}, 6547, 0.5},        // 0.49999 rounds up
        {{-25.729643832900404, 25.729643832900404}, 0, -25.73},
        {{6000, -6000}, 65472, -6000},  // a range given the other way round maps as given
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "[" << c.span.minimum << ", " << c.span.maximum << "] at " << c.counts);
        EXPECT_DOUBLE_EQ(ValueAtCounts(c.span, c.counts), c.expected);
    }
}

TEST(AnalogueRefRules, BarIsDrawnFromZeroUnlessTheSpanLiesOnOneSide) {
    const struct {
        Span span;
        double reference;
    } cases[] = {
        {{-10, 10}, 0}, {{0, 5}, 0}, {{1, 5}, 1}, {{-5, -1}, -5}, {{-5, 0}, 0}, {{0, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.span.minimum << ", " << c.span.maximum << "]");
        EXPECT_EQ(BarReference(c.span), c.reference);
    }
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
        {"a fractional mode reads truncated", {{"ControlMode", 1.9}}, "Speed command", -6000, 6000, "rpm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::Variant(c.changes);
        const auto spans = AnalogueTestSpansOf(*setup);
        EXPECT_EQ(spans.inputUnit, "V");
        ASSERT_EQ(spans.command.has_value(), c.label != nullptr);
        if (!c.label) continue;
        EXPECT_EQ(spans.command->label, c.label);
        EXPECT_NEAR(spans.command->span.minimum, c.minimum, 1e-9);
        EXPECT_NEAR(spans.command->span.maximum, c.maximum, 1e-9);
        EXPECT_EQ(spans.command->unit, c.unit);
    }
}

// A 0..5 V input onto a position range from 0: both spans start at 0,
// which is their minimum, not above it, so both bars are drawn from 0.
TEST(AnalogueRefRules, ZeroBasedSpansAreDrawnFromZero) {
    auto setup = dctest::Variant({{"AnalogueInputsRange", 5}, {"ControlMode", 0}, {"POS_min", 0}});
    const auto spans = AnalogueTestSpansOf(*setup);
    ASSERT_TRUE(spans.command);
    EXPECT_EQ(spans.input.minimum, 0);
    EXPECT_EQ(spans.input.maximum, 5);
    EXPECT_EQ(spans.command->span.minimum, 0);
    EXPECT_EQ(BarReference(spans.input), 0);
    EXPECT_EQ(BarReference(spans.command->span), 0);
    EXPECT_DOUBLE_EQ(ValueAtCounts(spans.input, 65472), 5.00);
}

}  // namespace
