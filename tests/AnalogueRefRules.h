// What the analogue reference test decides without widgets: the span of the
// analogue input and the span of the command it maps onto in the present
// control mode, the voltage and command read from the input's converter
// value, and the value a bar is drawn from.
#pragma once

#include <optional>
#include <string>

#include "kx/Setup.h"

namespace dcdrive {

// Full scale of the analogue reference input's converter value "AD5": a
// 10-bit reading left-aligned in 16 bits.
inline constexpr double kAnalogueFullScale = 65472.0;  // 0xFFC0

inline constexpr const char* kAnalogueTestTitle = "Analogue Reference Test";
inline constexpr const char* kAnalogueTestPurpose =
    "Checks the operation of the analogue reference signal, and its signifiance, as correlated to the "
    "control type and limits.";

// The run's info texts, by stage.
inline constexpr const char* kAnalogueTestInfo[] = {"Launching test", "Running test"};

struct Span {
    double minimum = 0.0;
    double maximum = 0.0;
};

// The input's span from "AnalogueInputsRange" (volts, compared as a number):
// 20 is -10 V to +10 V, 5 is 0 V to 5 V, anything else 0 V to 3.3 V.
Span AnalogueInputSpan(double range);

// The command the input gives in the present control mode: its span (in the
// unit the user chose for the range), what it is called and its unit.
struct AnalogueCommand {
    Span span;
    std::string label;  // "Position command", "Speed command", "Current command"
    std::string unit;   // the unit of the range's maximum
};

// What the test shows from the setup: the input span with the unit of
// "AnalogueInputsRange", and the command by truncated "ControlMode" (none
// for a mode other than position, speed or current).
struct AnalogueTestSpans {
    Span input;
    std::string inputUnit;
    std::optional<AnalogueCommand> command;
};
AnalogueTestSpans AnalogueTestSpansOf(const CKX_Setup& setup);

// The value of a span at converter value `counts`: min + (max - min) x
// counts / full scale, rounded to 2 decimals.
double ValueAtCounts(const Span& span, double counts);

// Where a bar of that span is drawn from: its minimum when the whole span
// lies above zero or below zero, else 0.
double BarReference(const Span& span);

}  // namespace dcdrive
