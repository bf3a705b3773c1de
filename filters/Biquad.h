// The drive's chain of second-order digital filters (biquads): the filter
// types the user can choose, the design of one biquad from corner frequency
// and quality factor, its conversion to the drive's fixed-point or
// single-precision coefficient format, and the writer that arranges the
// enabled filters into chain slots grouped by their place in the cascade.
#pragma once

#include <array>
#include <complex>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "conversions/Codes.h"
#include "kx/Setup.h"

namespace dcdrive {

// Filter types, by the value of "BQFilterType%d".
enum BiquadType : int {
    kBiquadLowPass1 = 0,
    kBiquadLowPass2 = 1,
    kBiquadNotch = 2,
    kBiquadHighPass = 3,
    kBiquadBandPass = 4,
    kBiquadPeak = 5,
    kBiquadLowShelf = 6,
    kBiquadHighShelf = 7,
    kBiquadLeadLag1 = 8,
    kBiquadLeadLag2 = 9,
};
inline constexpr int kBiquadTypeCount = 10;

// Places of a filter in the control cascade (FilterLocation, the value of
// "BQFilterLocation%d"), as the filters editor names them, by location.
inline constexpr std::array<const char*, kFilterLocations.size()> kBiquadLocationNames = {
    "Position Controller Output", "Speed Controller Output", "Speed Feedback"};

// Filters the user can describe ("BQFilter1".."BQFilter10").
inline constexpr int kMaxBiquadFilters = 10;

// H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct BiquadCoefficients {
    double b0 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

// A biquad as the drive holds it in a chain slot. In the fixed-point format
// the coefficients are the whole numbers of the slot words, in units of
// scaleFactor / 2^31; in the single-precision format they are the
// single-precision values themselves and the scale factor is 1.
struct HeldBiquad {
    bool fixedPoint = true;
    BiquadCoefficients words;
    double scaleFactor = 1.0;
};

// The coefficients the drive computes with: the words times their unit.
BiquadCoefficients HeldValues(const HeldBiquad& held);

// H at the normalized frequency f (the frequency times the sampling period)
// of the biquad the drive runs with these words.
std::complex<double> BiquadResponse(const HeldBiquad& held, double normalizedFrequency);

// The prewarped bilinear design of one biquad (see
// CBiquadFilter::ComputeCoefficients); nothing for inputs that give no
// usable filter.
std::optional<BiquadCoefficients> DesignBiquad(int type, double f1, double second, double gainDb);

// The fixed-point words of a design and the scale factor they are in (see
// CBiquadFilter::Quantize).
HeldBiquad QuantizeBiquad(const BiquadCoefficients& coefficients);

// Filter `filter` (1..10) of the setup's description as the drive will hold
// it: designed with the slow-loop period "Ts_S", converted to the format and,
// except High Pass and Band Pass, trimmed to a gain of exactly 1 at 0 Hz.
// Nothing when the description gives no usable design or, in fixed point,
// needs a scale factor above maxScaleFactor.
std::optional<HeldBiquad> DesignHeldBiquad(const CKX_Setup& setup, int filter, bool fixedPoint,
                                           double maxScaleFactor = std::numeric_limits<double>::infinity());

// One slot of the chain the writer builds.
struct BiquadChainSlot {
    int slot = 0;    // 1..
    int filter = 0;  // the described filter it runs, 1..10
    FilterLocation location = FilterLocation::PositionControllerOutput;
    HeldBiquad held;
};

// The chain as the writer lays it out: every enabled filter with a usable
// design, grouped by location in location order, each group in filter-number
// order. Empty when the filter count is 0.
std::vector<BiquadChainSlot> DesignBiquadChain(const CKX_Setup& setup);

// Whether the setup's slots take the fixed-point format (it has "BQ1B0").
bool HasFixedPointSlots(const CKX_Setup& setup);

class CBiquadFilter {
public:
    CBiquadFilter();

    // Empties both lists, then appends the name and the index of every type
    // the editor offers, in index order (Peak and the shelves are not offered).
    void GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& indices) const;
    // "" for an index outside the table.
    const std::string& GetTypeName(int type) const;

    // Designs one biquad by the prewarped bilinear transform. f1 is the first
    // corner frequency times the sampling period; second is Q, or for the
    // lead-lag types the pole frequency times the sampling period; gainDb is
    // the gain of Peak and the shelves (a negative gain gives the cut, the
    // inverse of the boost of the same size).
    // Returns false and keeps the previous coefficients when the inputs give
    // no usable filter: an unknown type, a frequency that is not strictly
    // between 0 and half the sampling rate, a Q that is not positive for the
    // types that use it, or a result that is not finite.
    bool ComputeCoefficients(int type, double f1, double second, double gainDb);

    // Converts the (finite) coefficients to whole numbers in units of SF / 2^31, SF
    // being the smallest power of two (at least 2 when the largest magnitude
    // is exactly 1) that holds the largest coefficient. +2^31, which the
    // drive's 32-bit word cannot hold, becomes 2147483647.
    void Quantize();

    // Designs filter `filter` (1..10) with the slow-loop period "Ts_S" and
    // writes it into chain slot `slot`, in the fixed-point ("BQ%dB0".."BQ%dSF")
    // or the single-precision ("BQ%dB0_F".."BQ%dA2_F") format. Every type
    // except High Pass and Band Pass is trimmed to a gain of exactly 1 at 0 Hz
    // in the written format. Returns 1 when written, 0 when the filter's
    // description gives no usable design or needs a larger fixed-point scale
    // factor than the slot holds (nothing written).
    int WriteFilter(CKX_Setup& setup, int filter, int slot, bool fixedPoint);

    // Writes the whole chain: every enabled filter with a usable design, in
    // location order and filter-number order, then clears the remaining slots
    // up to the filter count (beyond slot 10 only those the setup has) and sets "SPDREF_BQ_INI",
    // "IQREF_BQ_INI" and "ASPD_BQ_INI" to the number of filters at each location.
    void WriteFilters(CKX_Setup& setup);

    const BiquadCoefficients& GetCoefficients() const { return m_coefficients; }
    void SetCoefficients(const BiquadCoefficients& coefficients) { m_coefficients = coefficients; }
    double GetScaleFactor() const { return m_scaleFactor; }

private:
    std::array<std::string, kBiquadTypeCount> m_typeNames;
    std::array<unsigned char, kBiquadTypeCount> m_offered{};
    BiquadCoefficients m_coefficients;
    double m_scaleFactor = 1.0;
};

// The forward driver's step: designs and writes the filter chain. Returns 1.
int WriteBiquadFilterChain(CKX_Setup& setup);

}  // namespace dcdrive
