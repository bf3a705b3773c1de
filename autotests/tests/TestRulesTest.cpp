// What the commissioning tests decide without widgets: the motion error
// messages, the end of a program's run, the inputs and slider ranges, the
// current test's validation and the supply detection's question.
#include <gtest/gtest.h>

#include <cmath>

#include "DefaultSetup.h"
#include "kx/Kernel.h"
#include "tests/TestRules.h"

namespace {

using namespace dcdrive;

constexpr const char* kShort = "Drive / Motor shortcircuit protection triggered.";
constexpr const char* kControl = "Drive / Motor control error protection triggered.";
constexpr const char* kFeedback = "Feedback error.";
constexpr const char* kPositive = "Drive / Motor stopped due to positive limit switch input triggered.";
constexpr const char* kNegative = "Drive / Motor stopped due to negative limit switch input triggered.";
constexpr const char* kEnable = "Drive / Motor ENABLE input is in DISABLED state.";

TEST(TestRules, MotionErrorsReportTheFirstWatchedBit) {
    const struct {
        std::uint16_t mer, mask;
        const char* message;  // null: passes
    } cases[] = {
        {0x0002, kMaskAll, kShort},
        {0x0008, kMaskAll, kControl},
        {0x0020, kMaskAll, kFeedback},
        {0x0040, kMaskAll, kPositive},
        {0x0080, kMaskAll, kNegative},
        {0x8000, kMaskAll, kEnable},
        {0x000A, kMaskAll, kShort},     // short circuit before control error
        {0x80C0, kMaskAll, kPositive},  // positive before negative limit and ENABLE
        {0x0020, kMaskAllButFeedback, nullptr},
        {0x0028, kMaskAllButFeedback, kControl},
        {0x8008, kMaskCurrentTest, kEnable},  // the current test does not watch the control error
        {0x0008, kMaskCurrentTest, nullptr},
        {0x0020, kMaskSerialEncoderTest, kFeedback},
        {0x8000, kMaskShortCircuit, nullptr},
        {0x7F15, kMaskAll, nullptr},  // bits that have no message
        {0x0000, kMaskAll, nullptr},
    };
    for (const auto& c : cases) {
        const char* message = MotionErrorMessage(c.mer, c.mask);
        if (!c.message)
            EXPECT_EQ(message, nullptr) << std::hex << c.mer << " & " << c.mask;
        else
            EXPECT_STREQ(message, c.message) << std::hex << c.mer << " & " << c.mask;
    }
    EXPECT_EQ(MotionErrorWord(32770.0), 0x8002);  // as the drive variable reads it
    EXPECT_EQ(MotionErrorWord(2.9), 0x0002);
}

TEST(TestRules, TheEndOfARun) {
    EXPECT_EQ(ReadTestFlag(1.0), TestFlag::Completed);
    EXPECT_EQ(ReadTestFlag(0.0), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(-1.0), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(std::nan("")), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(1.2345e100), TestFlag::Unset);
    EXPECT_STREQ(kCurrentProtectionText, "Test failed!\nCurrent protection triggered during test!");
}

TEST(TestRules, InputsAndSliderRanges) {
    EXPECT_EQ(SignedWordInput(1.9), 1.0);
    EXPECT_EQ(SignedWordInput(-1.9), -1.0);
    EXPECT_EQ(SignedWordInput(40000.0), 40000.0 - 65536.0);  // a word taken as signed
    EXPECT_EQ(SignedWordInput(65537.0), 1.0);

    const struct {
        double value, min, max, low, high;
    } ranges[] = {
        {10, 0, 100, 5, 15},
        {10, 7, 12, 7, 12},  // the limits cut both ends
        {0, 0, 100, 0, 0},   // a zero gain: from the minimum to 0
    };
    for (const auto& r : ranges) {
        const auto [low, high] = GainSliderRange(r.value, r.min, r.max);
        EXPECT_EQ(low, r.low) << r.value;
        EXPECT_EQ(high, r.high) << r.value;
    }
}

TEST(TestRules, TestCurrentMayNotExceedTheProtection) {
    auto setup = LoadDefaultSetup();
    const kx::QuietLookup quiet;
    CKX_Parameter* test = setup->FindParameter("TestCurrent");
    CKX_Parameter* protection = setup->FindParameter("TestProtectionCurrent");
    ASSERT_TRUE(test && protection);
    protection->SetValueInBaseUnit(2.0);
    test->SetValueInBaseUnit(2.0);
    EXPECT_EQ(ValidateCurrentTest(*setup), nullptr) << "equal passes";
    test->SetValueInBaseUnit(2.001);
    EXPECT_STREQ(ValidateCurrentTest(*setup),
                 "Over current protection must be greater or equal to Test current.");
    setup->RemoveParameter("TestProtectionCurrent");
    EXPECT_EQ(ValidateCurrentTest(*setup), nullptr);
}

TEST(TestRules, SupplyAndTheQuestionOnClose) {
    EXPECT_DOUBLE_EQ(SupplyFromCounts(2150.0, 4095.0, 80.0), 2150.0 * 80.0 / 4095.0);
    EXPECT_FALSE(std::isfinite(SupplyFromCounts(2150.0, 0.0, 80.0))) << "no converter scale";

    EXPECT_EQ(SupplyChangeQuestion(48.0, 48.0000001), "") << "the same with %G";
    EXPECT_EQ(SupplyChangeQuestion(48.0, 42.0195),
              "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
              "Power supply:\tOld = 48\tNew = 42.0195\r\n\r\n"
              "Do you want to save the new value(s)? (Recommended)");
    EXPECT_EQ(FormatG(1.5e-7), "1.5E-07");
}

}  // namespace
