// What the commissioning tests decide without widgets: the motion error
// messages, the end of a program's run, the inputs and slider ranges, the
// current test's validation and the supply detection's question.
#include <gtest/gtest.h>

#include <cmath>

#include "EditorTest.h"
#include "tests/TestRules.h"

namespace {

using namespace dcdrive;

TEST(TestRules, MotionErrorsReportTheFirstWatchedBit) {
    const char* const shortCircuit = "Drive / Motor shortcircuit protection triggered.";
    const char* const control = "Drive / Motor control error protection triggered.";
    const char* const positive = "Drive / Motor stopped due to positive limit switch input triggered.";
    const char* const enable = "Drive / Motor ENABLE input is in DISABLED state.";
    const struct {
        std::uint16_t mer, mask;
        const char* message;  // null: passes
    } cases[] = {
        {0x0002, kMaskAll, shortCircuit},
        {0x0008, kMaskAll, control},
        {0x0020, kMaskAll, "Feedback error."},
        {0x0080, kMaskAll, "Drive / Motor stopped due to negative limit switch input triggered."},
        {0x000A, kMaskAll, shortCircuit},  // short circuit before control error
        {0x80C0, kMaskAll, positive},      // positive before negative limit and ENABLE
        {0x0028, kMaskAllButFeedback, control},
        {0x8008, kMaskCurrentTest, enable},  // the current test does not watch the control error
        {0x0020, kMaskSerialEncoderTest, "Feedback error."},
        {0x8000, kMaskShortCircuit, nullptr},
        {0x7F15, kMaskAll, nullptr},  // bits that have no message
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.mer << " & " << c.mask);
        const char* message = MotionErrorMessage(c.mer, c.mask);
        EXPECT_EQ(message ? std::string(message) : "", c.message ? c.message : "");
    }
    EXPECT_EQ(MotionErrorWord(32770.0), 0x8002);  // as the drive variable reads it
    EXPECT_EQ(MotionErrorWord(2.9), 0x0002);
}

TEST(TestRules, TheEndOfARunAndTheInputs) {
    EXPECT_EQ(ReadTestFlag(1.0), TestFlag::Completed);
    EXPECT_EQ(ReadTestFlag(0.0), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(std::nan("")), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(1.2345e100), TestFlag::Unset);
    EXPECT_STREQ(kCurrentProtectionText, "Test failed!\nCurrent protection triggered during test!");

    EXPECT_EQ(SignedWordInput(-1.9), -1.0);
    EXPECT_EQ(SignedWordInput(40000.0), 40000.0 - 65536.0);  // a word taken as signed
    EXPECT_EQ(GainSliderRange(10, 0, 100), std::make_pair(5.0, 15.0));
    EXPECT_EQ(GainSliderRange(10, 7, 12), std::make_pair(7.0, 12.0));  // the limits cut both ends
    EXPECT_EQ(GainSliderRange(0, 0, 100), std::make_pair(0.0, 0.0));
}

TEST(TestRules, TestCurrentMayNotExceedTheProtection) {
    auto setup = dctest::Variant({{"TestProtectionCurrent", 2.0}, {"TestCurrent", 2.0}});
    EXPECT_EQ(ValidateCurrentTest(*setup), nullptr) << "equal passes";
    dctest::Set(*setup, "TestCurrent", 2.001);
    EXPECT_STREQ(ValidateCurrentTest(*setup),
                 "Over current protection must be greater or equal to Test current.");
    dctest::Set(*setup, "TestProtectionCurrent", dctest::kGone);
    EXPECT_EQ(ValidateCurrentTest(*setup), nullptr);
}

TEST(TestRules, SupplyAndTheQuestionOnClose) {
    EXPECT_DOUBLE_EQ(SupplyFromCounts(2150.0, 4095.0, 80.0), 2150.0 * 80.0 / 4095.0);
    EXPECT_FALSE(std::isfinite(SupplyFromCounts(2150.0, 0.0, 80.0))) << "no converter scale";
    EXPECT_EQ(SupplyChangeQuestion(48.0, 48.0000001), "") << "the same with %G";
    EXPECT_EQ(
        SupplyChangeQuestion(48.0, 42.0195),
        "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
        "Power supply:\tOld = 48\tNew = 42.0195\r\n\r\nDo you want to save the new value(s)? (Recommended)");
    EXPECT_EQ(FormatG(1.5e-7), "1.5E-07");
}

}  // namespace
