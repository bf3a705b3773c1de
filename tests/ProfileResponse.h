// The figures of a logged run of the speed or position tuning test: the
// run is cut into the cycles of its profile, and each move of a cycle (a
// ramp of the reference and the hold after it) is measured as a step is:
// rise time, overshoot, settling time, steady-state error, and the
// following error along the move.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "StepResponse.h"
#include "TuningProfile.h"

namespace dcdrive {

struct MoveFigures {
    int hold = 0;          // the profile segment that holds the move's end level
    double from = 0.0;     // reference before the move, the signals' unit
    double to = 0.0;       // reference during the hold
    double start = 0.0;    // s: the reference leaves `from`
    double arrival = 0.0;  // s: the reference has reached `to`
    double end = 0.0;      // s: the hold ends
    // Rise time from 10 % to 90 % of the move, overshoot beyond `to` in % of
    // the move, settling time into the 2 % band counted from the arrival,
    // steady-state error as the mean of reference minus response over the
    // last tenth of the hold. Invalid for a move of no height.
    StepFigures step;
    // The largest difference reference minus response along the move (its
    // sign kept).
    double followingError = 0.0;
};

struct CycleFigures {
    int index = 0;       // 0 for the first cycle of the record
    double start = 0.0;  // s
    double end = 0.0;    // s
    std::vector<MoveFigures> moves;
};

// The profile segments in which the reference holds a level after a move:
// 2 and 5 for the positive and negative profiles, 1 and 3 for the
// bidirectional one (it returns to 0 without a hold).
std::vector<int> HoldSegments(ReferenceType type);

// Cuts the record into cycles of `profile` (loop period `ts`, s) and
// measures each complete cycle. The first cycle begins at the last sample
// before the reference leaves its first value; a record whose reference
// does not move, or that has fewer than three samples, gives no cycle.
// `time` in seconds; the shortest of the three sets the length.
std::vector<CycleFigures> MeasureProfileCycles(std::span<const double> time,
                                               std::span<const double> reference,
                                               std::span<const double> response, const Profile& profile,
                                               ReferenceType type, double ts);

// The figures of a move as the dialog and the saved record name them: those
// of StepFigureTexts, then "Following error".
std::vector<std::pair<std::string, std::string>> MoveFigureTexts(const MoveFigures& move,
                                                                 const std::string& unit);

}  // namespace dcdrive
