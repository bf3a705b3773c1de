// The figures of a step response: how fast and how well a logged signal
// follows a step of its reference. The current test shows them for the
// motor current after each run and writes them with the saved plots.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace dcdrive {

struct StepFigures {
    bool valid = false;  // the record holds a step to measure
    // Each figure is NaN when the response never got there.
    double riseTime = 0.0;          // s, from 10 % to 90 % of the step
    double overshoot = 0.0;         // % of the step beyond its end value (0 without)
    double settlingTime = 0.0;      // s from the step until the response stays within 2 % of the step
    double steadyStateError = 0.0;  // reference minus response at the end, the signals' unit
};

// Measures `response` against the step of `reference`, both sampled at
// `time` (the shortest of the three sets the length). The step goes from
// the reference's first value to its last, at the first sample where the
// reference has passed half of that; a reference that is flat over the
// whole record was applied before the first sample, and the step then goes
// from the response's first value to the reference. The end value of the
// response is its mean over the last tenth of the record. No step (a flat
// reference on a response that starts at it), or fewer than three samples,
// gives an invalid result.
StepFigures MeasureStep(std::span<const double> time, std::span<const double> reference,
                        std::span<const double> response);

// The figures as the dialog and the saved record name them, with their
// values printed in `unit` ("A"): "Rise time", "Overshoot", "Settling time",
// "Steady-state error". A rise that was not completed reads "not reached",
// a response that never stayed in the band "not settled".
std::vector<std::pair<std::string, std::string>> StepFigureTexts(const StepFigures& figures,
                                                                 const std::string& unit);

}  // namespace dcdrive
