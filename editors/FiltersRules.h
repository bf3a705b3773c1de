// What the filters editor decides without widgets: the controls of its ten
// filter rows, what each row enables, shows and reads from the description
// of its filter, and the Bode curves of the chain that the description gives.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "EditorRules.h"
#include "kx/Setup.h"

namespace dcdrive {

// The controls of one filter row.
struct FilterRowIds {
    unsigned group, onOff, type, location, q, frequency, frequencyUnit, second, secondUnit;
    unsigned typeLabel, qLabel, frequencyLabel, locationLabel;
};

// Rows 1 ... 10, by filter number - 1.
inline constexpr std::array<FilterRowIds, 10> kFilterRows{{
    {3484, 3485, 3487, 3502, 3489, 3491, 3508, 3504, 3510, 3486, 3488, 3490, 3503},
    {3492, 3493, 3495, 3500, 3497, 3499, 3509, 3505, 3511, 3494, 3496, 3498, 3501},
    {3517, 3518, 3519, 3526, 3523, 3524, 3525, 3506, 3512, 3520, 3521, 3522, 3527},
    {3507, 3513, 3514, 3543, 3535, 3536, 3539, 3556, 3557, 3515, 3516, 3528, 3544},
    {3529, 3530, 3531, 3541, 3537, 3538, 3540, 3558, 3559, 3532, 3533, 3534, 3542},
    {3545, 3546, 3547, 3554, 3551, 3552, 3553, 3560, 3561, 3548, 3549, 3550, 3555},
    {3562, 3563, 3564, 3582, 3574, 3575, 3578, 3595, 3596, 3565, 3566, 3567, 3583},
    {3568, 3569, 3570, 3580, 3576, 3577, 3579, 3597, 3598, 3571, 3572, 3573, 3581},
    {3584, 3585, 3586, 3593, 3590, 3591, 3592, 3599, 3600, 3587, 3588, 3589, 3594},
    {3614, 3615, 3616, 3623, 3620, 3621, 3622, 3625, 3626, 3617, 3618, 3619, 3624},
}};

// Every control of a row, group box first.
std::vector<unsigned> FilterRowControls(const FilterRowIds& row);

// The names of filter `filter`'s description parameters ("BQFilter%d" ...).
struct FilterRowNames {
    std::string on, type, location, f1, f2, q;
};
FilterRowNames FilterNames(int filter);

// The rows the editor binds: the filter count capped at 10.
int FilterRowsInUse(const CKX_Setup& setup);

// One rule of a row; `flag` is the editor base's third EnableChild argument
// (set for a Q edit that a first-order low pass does not use).
struct FilterRowRule {
    ControlRule rule;
    int flag = 0;
};

// The rules applied each time the editor loads its controls, for the rows in
// use, in order: row by row, the group, the edits and lists, Q, the on/off
// check and its caption, then the lead-lag captions and which of the Q edit
// and the second frequency edit is shown.
std::vector<FilterRowRule> FiltersDisplayRules(const CKX_Setup& setup, bool readOnly);

// ---- the Bode plot of the chain

// One curve: magnitude in dB and phase in degrees at each frequency of the
// plot's grid.
struct BodeCurve {
    std::string name;
    int filter = 0;     // the filter it shows, 0 for a location's whole chain
    int location = -1;  // the location of the whole chain, -1 for a filter
    std::vector<double> magnitudeDb;
    std::vector<double> phaseDeg;
};

struct BodePlotData {
    std::vector<double> frequencies;  // Hz, rising, up to the slow loop's Nyquist frequency
    std::vector<BodeCurve> curves;    // each filter of the chain by number, then each location's whole chain
};

// The lowest magnitude the plot shows: a zero on the unit circle (a notch at
// its centre, a low pass at the Nyquist frequency) has no finite level.
inline constexpr double kBodeFloorDb = -150.0;

// Points of the grid: logarithmic from a thousandth of the Nyquist frequency
// to the Nyquist frequency.
inline constexpr int kBodePoints = 400;

// The response of the chain that the writer lays out from the setup's
// description, computed from the coefficients as the drive holds them.
// Empty when "Ts_S" gives no sampling rate.
BodePlotData FilterBodePlot(const CKX_Setup& setup);

}  // namespace dcdrive
