// What the commissioning tests decide without a widget: the messages of the
// drive's motion error register, the masks each test watches, the marker a
// program variable reads when the program did not set it, the ranges of the
// gain sliders, the current test's validation and the supply that the
// supply voltage detection measures, with the question offered on Close.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "kx/Setup.h"

namespace dcdrive {

// The drive-resident programs and the variables the tests address by name.
namespace programs {
inline constexpr const char* kCurrentTuning = "Current_Controller_Tuning_Test";
inline constexpr const char* kVdcDetection = "VDC_Detection_Test";
inline constexpr const char* kAnalogueReference = "Analogue_Reference_Test";
inline constexpr const char* kEncoderConnection = "Encoder_Connection_Test";
inline constexpr const char* kSsiEncoderConnection = "SSI_Encoder_Connection_Test";

inline constexpr const char* kSTARTED = "STARTED";
inline constexpr const char* ktest_flag = "test_flag";
inline constexpr const char* kIn1 = "In1";
inline constexpr const char* kImax_Prot_Test = "Imax_Prot_Test";
inline constexpr const char* kCurrent_Reference = "Current_Reference";
inline constexpr const char* kMotor_Current = "Motor_Current";
inline constexpr const char* kVoltage_Reference = "Voltage_Reference";
// Drive variables of the setup.
inline constexpr const char* kMER = "MER";
inline constexpr const char* kvar_u2 = "var_u2";
inline constexpr const char* kvar_i2 = "var_i2";  // 1 ends a connection test's program
}  // namespace programs

// Bits of the motion error register "MER" that the tests report.
inline constexpr std::uint16_t kMerShortCircuit = 0x0002;
inline constexpr std::uint16_t kMerControlError = 0x0008;
inline constexpr std::uint16_t kMerFeedbackError = 0x0020;
inline constexpr std::uint16_t kMerPositiveLimit = 0x0040;
inline constexpr std::uint16_t kMerNegativeLimit = 0x0080;
inline constexpr std::uint16_t kMerEnableInput = 0x8000;

// The bits each test watches during its run.
inline constexpr std::uint16_t kMaskCurrentTest = kMerShortCircuit | kMerEnableInput;  // 0x8002
inline constexpr std::uint16_t kMaskAllButFeedback = 0xFFDF;
inline constexpr std::uint16_t kMaskAll = 0xFFFF;
inline constexpr std::uint16_t kMaskShortCircuit = kMerShortCircuit;                           // 0x0002
inline constexpr std::uint16_t kMaskSerialEncoderTest = kMerShortCircuit | kMerFeedbackError;  // 0x0022

// The message of the first reported bit of `mer & mask`, in the order short
// circuit, control error, feedback error, positive limit, negative limit,
// ENABLE input; null when none of them is set.
const char* MotionErrorMessage(std::uint16_t mer, std::uint16_t mask);

// The register's value as the drive variable gives it (a double in its base
// unit), truncated to an integer and taken as its 16 bits.
std::uint16_t MotionErrorWord(double value);

// A program variable that a test program never wrote reads this value.
inline constexpr double kUnsetProgramValue = 1.2345e100;

// "Test failed!\nCurrent protection triggered during test!": the program
// ended with "test_flag" <= 0.
extern const char* const kCurrentProtectionText;

// What the end of a program's run says through "test_flag".
enum class TestFlag { Completed, ProtectionTripped, Unset };
TestFlag ReadTestFlag(double value);

// A slider's range around the parameter's value v within its limits:
// [max(minimum, 0.5 v), min(maximum, 1.5 v)], base units.
std::pair<double, double> GainSliderRange(double value, double minimum, double maximum);

// A program input given as the parameter's internal value truncated to an
// integer and taken as a signed 16-bit number.
double SignedWordInput(double internalValue);

// The message of a failed validation on entering the current test's Test
// tab, or null: the test current must not exceed the protection level.
const char* ValidateCurrentTest(const CKX_Setup& setup);

// The supply in volts that the drive measured as `counts` of its converter
// of full scale `adcMax` (counts at `vdcMaxMeasurable` volts). Not finite
// when the full scale is 0.
double SupplyFromCounts(double counts, double adcMax, double vdcMaxMeasurable);

// A value as the Close question prints it ("%G").
std::string FormatG(double value);

// The question asked on closing the supply voltage detection after a
// successful run that changed "Vdc"; empty when the two values print the
// same.
std::string SupplyChangeQuestion(double oldVdc, double newVdc);

}  // namespace dcdrive
