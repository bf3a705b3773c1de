#include "TestRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "conversions/Conventions.h"
#include "conversions/Names.h"

namespace dcdrive {

namespace {

// The bits in the order they are reported: the first set one wins.
struct MotionError {
    std::uint16_t bit;
    const char* message;
};
constexpr MotionError kMotionErrors[] = {
    {kMerShortCircuit, "Drive / Motor shortcircuit protection triggered."},
    {kMerControlError, "Drive / Motor control error protection triggered."},
    {kMerFeedbackError, "Feedback error."},
    {kMerPositiveLimit, "Drive / Motor stopped due to positive limit switch input triggered."},
    {kMerNegativeLimit, "Drive / Motor stopped due to negative limit switch input triggered."},
    {kMerEnableInput, "Drive / Motor ENABLE input is in DISABLED state."},
};

}  // namespace

const char* const kCurrentProtectionText = "Test failed!\nCurrent protection triggered during test!";

const char* MotionErrorMessage(std::uint16_t mer, std::uint16_t mask) {
    const std::uint16_t set = mer & mask;
    for (const MotionError& error : kMotionErrors)
        if (set & error.bit) return error.message;
    return nullptr;
}

std::uint16_t MotionErrorWord(double value) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(TruncateToInt32(value)) & 0xFFFFu);
}

TestFlag ReadTestFlag(double value) {
    if (value == kUnsetProgramValue) return TestFlag::Unset;
    // NaN is no completion either.
    return value > 0.0 ? TestFlag::Completed : TestFlag::ProtectionTripped;
}

std::pair<double, double> GainSliderRange(double value, double minimum, double maximum) {
    return {std::max(minimum, 0.5 * value), std::min(maximum, 1.5 * value)};
}

double SignedWordInput(double internalValue) {
    const auto word = static_cast<std::uint16_t>(static_cast<std::uint32_t>(TruncateToInt32(internalValue)));
    return static_cast<double>(static_cast<std::int16_t>(word));
}

const char* ValidateCurrentTest(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    const CKX_Parameter* test = setup.FindParameter(names::kTestCurrent);
    const CKX_Parameter* protection = setup.FindParameter(names::kTestProtectionCurrent);
    if (test && protection && test->GetValueInBaseUnit() > protection->GetValueInBaseUnit())
        return "Over current protection must be greater or equal to Test current.";
    return nullptr;
}

double SupplyFromCounts(double counts, double adcMax, double vdcMaxMeasurable) {
    return counts / (adcMax / vdcMaxMeasurable);
}

std::string FormatG(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%G", value);
    return text;
}

std::string SupplyChangeQuestion(double oldVdc, double newVdc) {
    const std::string oldText = FormatG(oldVdc);
    const std::string newText = FormatG(newVdc);
    if (oldText == newText) return {};
    return "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
           "Power supply:\tOld = " +
           oldText + "\tNew = " + newText +
           "\r\n"
           "\r\nDo you want to save the new value(s)? (Recommended)";
}

}  // namespace dcdrive
