#include "Biquad.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"

namespace dcdrive {

namespace {

// Filter description parameters, completed by the filter number.
constexpr const char* kBQFilter = "BQFilter";
constexpr const char* kBQFilterType = "BQFilterType";
constexpr const char* kBQFilterLocation = "BQFilterLocation";
constexpr const char* kBQFilterF1 = "BQFilterF1";
constexpr const char* kBQFilterF2 = "BQFilterF2";
constexpr const char* kBQFilterQ = "BQFilterQ";

// Slot parameters: "BQ" + slot number + field; the single-precision fields
// carry the suffix "_F" and there is no scale factor.
constexpr const char* kSlotFields[] = {"B0", "B1", "B2", "A1", "A2"};
constexpr const char* kScaleField = "SF";
constexpr const char* kSinglePrecisionSuffix = "_F";
// Its presence selects the fixed-point format.
constexpr const char* kFirstFixedPointSlot = "BQ1B0";

// The number of filters at each location, by location.
constexpr const char* kChainCounters[] = {names::kSPDREF_BQ_INI, names::kIQREF_BQ_INI, names::kASPD_BQ_INI};
static_assert(std::size(kChainCounters) == kFilterLocations.size());

constexpr double kTwoTo31 = 2147483648.0;
constexpr double kInt32Max = 2147483647.0;
constexpr double kInt32Min = -2147483648.0;
constexpr double kSqrt2 = 1.4142135623730951;

std::string FilterName(const char* prefix, int filter) { return prefix + std::to_string(filter); }

std::string SlotName(int slot, const char* field, bool fixedPoint) {
    return "BQ" + std::to_string(slot) + field + (fixedPoint ? "" : kSinglePrecisionSuffix);
}

double FilterValue(const CKX_Setup& setup, const char* prefix, int filter) {
    return setup.GetParameterValueInBaseUnit(FilterName(prefix, filter).c_str());
}

void WriteSlotField(CKX_Setup& setup, int slot, const char* field, bool fixedPoint, double value) {
    WriteBase(setup, SlotName(slot, field, fixedPoint).c_str(), value);
}

// A normalized frequency the bilinear transform can place: above 0 and below
// half the sampling rate, where tan(pi f) is finite and positive.
bool IsPlaceableFrequency(double f) { return f > 0.0 && f < 0.5; }

bool UsesQ(int type) { return type >= kBiquadLowPass2 && type <= kBiquadPeak; }

bool IsLeadLag(int type) { return type == kBiquadLeadLag1 || type == kBiquadLeadLag2; }

// High Pass and Band Pass block 0 Hz by design; every other type passes it
// with a gain of 1 (Peak and the shelves at the 0 dB the writer designs).
bool KeepsUnityGainAtZero(int type) { return type != kBiquadHighPass && type != kBiquadBandPass; }

bool IsFinite(const BiquadCoefficients& c) {
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) && std::isfinite(c.a1) &&
           std::isfinite(c.a2);
}

// The filter with numerator and denominator exchanged: the cut that undoes
// a boost. The boost forms have b0 > 0.
BiquadCoefficients Inverse(const BiquadCoefficients& c) {
    return {1.0 / c.b0, c.a1 / c.b0, c.a2 / c.b0, c.b1 / c.b0, c.b2 / c.b0};
}

// The whole number the drive's signed 32-bit coefficient word holds.
double ToInt32Word(double x) { return std::clamp(x, kInt32Min, kInt32Max); }

}  // namespace

CBiquadFilter::CBiquadFilter()
    : m_typeNames{"Low Pass 1st order", "Low Pass 2nd order", "Notch",
                  "High Pass",          "Band Pass",          "Peak",
                  "Low Shelf",          "High Shelf",         "Lead-lag 1st order",
                  "Lead-lag 2nd order"},
      m_offered{1, 1, 1, 1, 1, 0, 0, 0, 1, 1} {}

void CBiquadFilter::GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& indices) const {
    names.clear();
    indices.clear();
    for (int type = 0; type < kBiquadTypeCount; ++type) {
        if (!m_offered[static_cast<std::size_t>(type)]) continue;
        names.push_back(m_typeNames[static_cast<std::size_t>(type)]);
        indices.push_back(type);
    }
}

const std::string& CBiquadFilter::GetTypeName(int type) const {
    static const std::string kNone;
    if (type < 0 || type >= kBiquadTypeCount) return kNone;
    return m_typeNames[static_cast<std::size_t>(type)];
}

std::optional<BiquadCoefficients> DesignBiquad(int type, double f1, double second, double gainDb) {
    if (type < 0 || type >= kBiquadTypeCount) return std::nullopt;
    if (!IsPlaceableFrequency(f1) || !std::isfinite(gainDb)) return std::nullopt;
    if (IsLeadLag(type) && !IsPlaceableFrequency(second)) return std::nullopt;
    if (UsesQ(type) && !(second > 0.0 && std::isfinite(second))) return std::nullopt;

    const double k = std::tan(kPi * f1);
    const double kk = k * k;
    const double v = std::pow(10.0, std::fabs(gainDb) / 20.0);
    const double q = second;
    BiquadCoefficients c;
    switch (type) {
        case kBiquadLowPass1:
            c.b0 = k / (k + 1.0);
            c.b1 = c.b0;
            c.a1 = (k - 1.0) / (k + 1.0);
            break;
        case kBiquadLowPass2: {
            const double norm = 1.0 / (1.0 + k / q + kk);
            c.b0 = kk * norm;
            c.b1 = 2.0 * c.b0;
            c.b2 = c.b0;
            c.a1 = 2.0 * (kk - 1.0) * norm;
            c.a2 = (1.0 - k / q + kk) * norm;
            break;
        }
        case kBiquadNotch: {
            const double norm = 1.0 / (1.0 + k / q + kk);
            c.b0 = (1.0 + kk) * norm;
            c.b1 = 2.0 * (kk - 1.0) * norm;
            c.b2 = c.b0;
            c.a1 = c.b1;
            c.a2 = (1.0 - k / q + kk) * norm;
            break;
        }
        case kBiquadHighPass: {
            const double norm = 1.0 / (1.0 + k / q + kk);
            c.b0 = norm;
            c.b1 = -2.0 * norm;
            c.b2 = norm;
            c.a1 = 2.0 * (kk - 1.0) * norm;
            c.a2 = (1.0 - k / q + kk) * norm;
            break;
        }
        case kBiquadBandPass: {
            const double norm = 1.0 / (1.0 + k / q + kk);
            c.b0 = k / q * norm;
            c.b1 = 0.0;
            c.b2 = -c.b0;
            c.a1 = 2.0 * (kk - 1.0) * norm;
            c.a2 = (1.0 - k / q + kk) * norm;
            break;
        }
        case kBiquadPeak: {
            const double p = 1.0 / (1.0 + k / q + kk);
            c.b0 = (1.0 + v * k / q + kk) * p;
            c.b1 = 2.0 * (kk - 1.0) * p;
            c.b2 = (1.0 - v * k / q + kk) * p;
            c.a1 = c.b1;
            c.a2 = (1.0 - k / q + kk) * p;
            break;
        }
        case kBiquadLowShelf: {
            const double r = 1.0 / (1.0 + kSqrt2 * k + kk);
            const double s = std::sqrt(2.0 * v) * k;
            c.b0 = (1.0 + s + v * kk) * r;
            c.b1 = 2.0 * (v * kk - 1.0) * r;
            c.b2 = (1.0 - s + v * kk) * r;
            c.a1 = 2.0 * (kk - 1.0) * r;
            c.a2 = (1.0 - kSqrt2 * k + kk) * r;
            break;
        }
        case kBiquadHighShelf: {
            const double r = 1.0 / (1.0 + kSqrt2 * k + kk);
            const double s = std::sqrt(2.0 * v) * k;
            c.b0 = (v + s + kk) * r;
            c.b1 = 2.0 * (kk - v) * r;
            c.b2 = (v - s + kk) * r;
            c.a1 = 2.0 * (kk - 1.0) * r;
            c.a2 = (1.0 - kSqrt2 * k + kk) * r;
            break;
        }
        case kBiquadLeadLag1:
        case kBiquadLeadLag2: {
            // (1 + s/w1) / (1 + s/w2): zero at f1, pole at the second
            // frequency, gain 1 at 0 Hz; the second order is its square.
            const double k2 = std::tan(kPi * second);
            const double ratio = k2 / k;
            const double zero0 = (k + 1.0) * ratio / (k2 + 1.0);
            const double zero1 = (k - 1.0) * ratio / (k2 + 1.0);
            const double pole1 = (k2 - 1.0) / (k2 + 1.0);
            if (type == kBiquadLeadLag1) {
                c.b0 = zero0;
                c.b1 = zero1;
                c.a1 = pole1;
            } else {
                c.b0 = zero0 * zero0;
                c.b1 = 2.0 * ratio * ratio * (kk - 1.0) / ((k2 + 1.0) * (k2 + 1.0));
                c.b2 = zero1 * zero1;
                c.a1 = 2.0 * pole1;
                c.a2 = pole1 * pole1;
            }
            break;
        }
        default:
            return std::nullopt;
    }
    const bool cut = gainDb < 0.0 && type >= kBiquadPeak && type <= kBiquadHighShelf;
    if (cut) c = Inverse(c);
    if (!IsFinite(c)) return std::nullopt;
    return c;
}

bool CBiquadFilter::ComputeCoefficients(int type, double f1, double second, double gainDb) {
    const std::optional<BiquadCoefficients> c = DesignBiquad(type, f1, second, gainDb);
    if (!c) return false;
    m_coefficients = *c;
    return true;
}

HeldBiquad QuantizeBiquad(const BiquadCoefficients& c) {
    const double largest =
        std::max({std::fabs(c.b0), std::fabs(c.b1), std::fabs(c.b2), std::fabs(c.a1), std::fabs(c.a2)});
    // The exponent is the exact ceil(log2(largest)), also for powers of two.
    int exponent = 0;
    if (largest == 1.0) {
        exponent = 1;
    } else if (largest > 1.0) {
        int binary = 0;
        const double mantissa = std::frexp(largest, &binary);  // largest = mantissa * 2^binary
        exponent = mantissa == 0.5 ? binary - 1 : binary;
    }
    HeldBiquad held;
    held.fixedPoint = true;
    held.scaleFactor = std::ldexp(1.0, exponent);
    const auto word = [&](double x) {
        return ToInt32Word(std::floor(x / held.scaleFactor * kTwoTo31 + 0.5));
    };
    held.words = {word(c.b0), word(c.b1), word(c.b2), word(c.a1), word(c.a2)};
    return held;
}

void CBiquadFilter::Quantize() {
    const HeldBiquad held = QuantizeBiquad(m_coefficients);
    m_coefficients = held.words;
    m_scaleFactor = held.scaleFactor;
}

BiquadCoefficients HeldValues(const HeldBiquad& held) {
    const double unit = held.fixedPoint ? held.scaleFactor / kTwoTo31 : 1.0;
    const BiquadCoefficients& w = held.words;
    return {w.b0 * unit, w.b1 * unit, w.b2 * unit, w.a1 * unit, w.a2 * unit};
}

std::complex<double> BiquadResponse(const HeldBiquad& held, double normalizedFrequency) {
    const BiquadCoefficients c = HeldValues(held);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * normalizedFrequency);  // z^-1
    return (c.b0 + (c.b1 + c.b2 * z1) * z1) / (1.0 + (c.a1 + c.a2 * z1) * z1);
}

namespace {

// The words of a fixed-point design, b0 trimmed so that the whole numbers
// give a gain of exactly 1 at 0 Hz.
void TrimFixedPoint(HeldBiquad& held) {
    BiquadCoefficients& c = held.words;
    const double unity = kTwoTo31 / held.scaleFactor;
    if (std::trunc((c.b0 + c.b1 + c.b2 - c.a1 - c.a2) * held.scaleFactor) != kTwoTo31)
        c.b0 = ToInt32Word(std::floor(unity - c.b1 - c.b2 + c.a1 + c.a2 + 0.5));
}

// The single-precision values of a design, b0 trimmed so that their
// single-precision sum gives a gain of exactly 1 at 0 Hz.
HeldBiquad SinglePrecision(const BiquadCoefficients& d, bool unityGain) {
    float b0 = static_cast<float>(d.b0);
    const float b1 = static_cast<float>(d.b1);
    const float b2 = static_cast<float>(d.b2);
    const float a1 = static_cast<float>(d.a1);
    const float a2 = static_cast<float>(d.a2);
    if (unityGain) {
        const float sum = b0 + b1 + b2 - a1 - a2;
        if (sum != 1.0f) b0 = 1.0f - b1 - b2 + a1 + a2;
    }
    HeldBiquad held;
    held.fixedPoint = false;
    held.words = {b0, b1, b2, a1, a2};
    return held;
}

// The largest scale factor slot `slot` holds: a scale factor beyond what
// the slot's word holds would be cut to a value that is no power of two and
// scale the whole filter wrongly.
double MaxScaleFactor(const CKX_Setup& setup, int slot) {
    const CKX_Parameter* scale = Probe(setup, SlotName(slot, kScaleField, true).c_str());
    if (scale && scale->GetMinInBaseUnit() <= scale->GetMaxInBaseUnit()) return scale->GetMaxInBaseUnit();
    return std::numeric_limits<double>::infinity();
}

void WriteHeld(CKX_Setup& setup, int slot, const HeldBiquad& held) {
    const BiquadCoefficients& c = held.words;
    const double values[] = {c.b0, c.b1, c.b2, c.a1, c.a2};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const double value =
            held.fixedPoint ? values[i] : std::bit_cast<std::int32_t>(static_cast<float>(values[i]));
        WriteSlotField(setup, slot, kSlotFields[i], held.fixedPoint, value);
    }
    if (held.fixedPoint) WriteSlotField(setup, slot, kScaleField, true, held.scaleFactor);
}

}  // namespace

std::optional<HeldBiquad> DesignHeldBiquad(const CKX_Setup& setup, int filter, bool fixedPoint,
                                           double maxScaleFactor) {
    const double period = setup.GetParameterValueInBaseUnit(names::kTs_S);
    const int type = TruncateToInt32(FilterValue(setup, kBQFilterType, filter));
    double second = FilterValue(setup, kBQFilterQ, filter);
    if (IsLeadLag(type)) second = FilterValue(setup, kBQFilterF2, filter) * period;
    const double f1 = FilterValue(setup, kBQFilterF1, filter) * period;
    const std::optional<BiquadCoefficients> design = DesignBiquad(type, f1, second, 0.0);
    if (!design) return std::nullopt;

    if (!fixedPoint) return SinglePrecision(*design, KeepsUnityGainAtZero(type));
    HeldBiquad held = QuantizeBiquad(*design);
    if (held.scaleFactor > maxScaleFactor) return std::nullopt;
    if (KeepsUnityGainAtZero(type)) TrimFixedPoint(held);
    return held;
}

bool HasFixedPointSlots(const CKX_Setup& setup) { return Exists(setup, kFirstFixedPointSlot); }

std::vector<BiquadChainSlot> DesignBiquadChain(const CKX_Setup& setup) {
    const int described = std::min(FilterCount(setup), kMaxBiquadFilters);
    const bool fixedPoint = HasFixedPointSlots(setup);
    std::vector<BiquadChainSlot> chain;
    for (const FilterLocation location : kFilterLocations) {
        for (int filter = 1; filter <= described; ++filter) {
            if (FilterValue(setup, kBQFilter, filter) == 0.0) continue;
            if (CodeAs<FilterLocation>(FilterValue(setup, kBQFilterLocation, filter)) != location) continue;
            const int slot = static_cast<int>(chain.size()) + 1;
            const std::optional<HeldBiquad> held =
                DesignHeldBiquad(setup, filter, fixedPoint, MaxScaleFactor(setup, slot));
            if (!held) continue;  // no usable design: left out
            chain.push_back({slot, filter, location, *held});
        }
    }
    return chain;
}

int CBiquadFilter::WriteFilter(CKX_Setup& setup, int filter, int slot, bool fixedPoint) {
    const std::optional<HeldBiquad> held =
        DesignHeldBiquad(setup, filter, fixedPoint,
                         fixedPoint ? MaxScaleFactor(setup, slot) : std::numeric_limits<double>::infinity());
    if (!held) return 0;
    WriteHeld(setup, slot, *held);
    m_coefficients = held->words;
    m_scaleFactor = held->scaleFactor;
    return 1;
}

void CBiquadFilter::WriteFilters(CKX_Setup& setup) {
    const int count = FilterCount(setup);
    const bool fixedPoint = HasFixedPointSlots(setup);
    const std::vector<BiquadChainSlot> chain = DesignBiquadChain(setup);

    // The drive runs no filter while the chain is being rewritten.
    for (const char* counter : kChainCounters) WriteBase(setup, counter, 0.0);

    int perLocation[std::size(kChainCounters)] = {};
    for (const BiquadChainSlot& entry : chain) {
        WriteHeld(setup, entry.slot, entry.held);
        m_coefficients = entry.held.words;
        m_scaleFactor = entry.held.scaleFactor;
        ++perLocation[ToInt(entry.location)];
    }

    for (int slot = static_cast<int>(chain.size()) + 1; slot <= count; ++slot) {
        // Slots beyond the ten described filters exist on drives whose
        // "MaxFilters" says so: clearing ends at the first one the setup
        // lacks, so that a corrupt count cannot run through billions of names.
        if (slot > kMaxBiquadFilters && !Exists(setup, SlotName(slot, kSlotFields[0], fixedPoint).c_str()))
            break;
        for (const char* field : kSlotFields) WriteSlotField(setup, slot, field, fixedPoint, 0.0);
        if (fixedPoint) WriteSlotField(setup, slot, kScaleField, true, 0.0);
    }

    for (std::size_t location = 0; location < std::size(kChainCounters); ++location)
        WriteBase(setup, kChainCounters[location], perLocation[location]);
}

int WriteBiquadFilterChain(CKX_Setup& setup) {
    CBiquadFilter designer;
    designer.WriteFilters(setup);
    return 1;
}

}  // namespace dcdrive
