#include "FiltersRules.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"
#include "filters/Biquad.h"

namespace dcdrive {

namespace {

constexpr double kDegreesPerRadian = 180.0 / kPi;

bool IsLeadLag(int type) { return type == kBiquadLeadLag1 || type == kBiquadLeadLag2; }

ControlRule Enable(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Enable, std::move(ids), on, {}};
}
ControlRule Show(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Show, std::move(ids), on, {}};
}
ControlRule Text(unsigned id, const char* text) { return {ControlRule::Action::Text, {id}, false, text}; }

// Below it a response counts as a zero: its phase is rounding noise.
constexpr double kZeroMagnitude = 1e-9;

// Phase in degrees along the grid, without the jumps of 360 degrees that
// the principal value makes. At a zero of the response (a low pass at the
// Nyquist frequency) the phase has no value and keeps the one before.
std::vector<double> UnwrappedPhase(const std::vector<std::complex<double>>& response) {
    std::vector<double> phase;
    phase.reserve(response.size());
    double offset = 0.0;
    for (const std::complex<double>& h : response) {
        if (std::abs(h) < kZeroMagnitude && !phase.empty()) {
            phase.push_back(phase.back());
            continue;
        }
        const double principal = std::arg(h) * kDegreesPerRadian;
        if (!phase.empty()) {
            const double step = principal + offset - phase.back();
            offset -= 360.0 * std::round(step / 360.0);
        }
        phase.push_back(principal + offset);
    }
    return phase;
}

double MagnitudeDb(double magnitude) {
    return magnitude > 0.0 ? std::max(20.0 * std::log10(magnitude), kBodeFloorDb) : kBodeFloorDb;
}

}  // namespace

std::vector<unsigned> FilterRowControls(const FilterRowIds& r) {
    return {r.group,     r.onOff,          r.type,         r.location,   r.q,
            r.frequency, r.frequencyUnit,  r.second,       r.secondUnit, r.typeLabel,
            r.qLabel,    r.frequencyLabel, r.locationLabel};
}

FilterRowNames FilterNames(int filter) {
    const std::string n = std::to_string(filter);
    return {"BQFilter" + n,   "BQFilterType" + n, "BQFilterLocation" + n,
            "BQFilterF1" + n, "BQFilterF2" + n,   "BQFilterQ" + n};
}

int FilterRowsInUse(const CKX_Setup& setup) {
    return std::clamp(FilterCount(setup), 0, static_cast<int>(kFilterRows.size()));
}

std::vector<FilterRowRule> FiltersDisplayRules(const CKX_Setup& setup, bool readOnly) {
    std::vector<FilterRowRule> rules;
    const int rows = FilterRowsInUse(setup);
    for (int filter = 1; filter <= rows; ++filter) {
        const FilterRowIds& r = kFilterRows[static_cast<std::size_t>(filter - 1)];
        const FilterRowNames names = FilterNames(filter);
        const bool on = TruncateToInt32(ValueOr(setup, names.on.c_str(), 0.0)) != 0;
        const int type = TruncateToInt32(ValueOr(setup, names.type.c_str(), 0.0));
        const bool editable = on && !readOnly;
        const bool usesQ = editable && type != kBiquadLowPass1;
        const bool leadLag = IsLeadLag(type);

        rules.push_back({Enable({r.group}, on)});
        rules.push_back({Enable({r.locationLabel, r.location, r.typeLabel, r.type, r.frequencyLabel,
                                 r.frequency, r.frequencyUnit, r.second, r.secondUnit},
                                editable)});
        rules.push_back({Enable({r.qLabel}, usesQ)});
        rules.push_back({Enable({r.q}, usesQ), type == kBiquadLowPass1 ? 1 : 0});
        rules.push_back({Enable({r.onOff}, !readOnly)});
        rules.push_back({Text(r.onOff, on ? "On" : "Off")});
        rules.push_back({Text(r.qLabel, leadLag ? "Lag Frequency" : "Q")});
        rules.push_back({Text(r.frequencyLabel, leadLag ? "Lead Frequency" : "Frequency")});
        rules.push_back({Show({r.second, r.secondUnit}, leadLag)});
        rules.push_back({Show({r.q}, !leadLag)});
    }
    return rules;
}

BodePlotData FilterBodePlot(const CKX_Setup& setup) {
    BodePlotData plot;
    const double period = ValueOr(setup, names::kTs_S, 0.0);
    if (!(period > 0.0) || !std::isfinite(period)) return plot;
    const double nyquist = 0.5 / period;
    plot.frequencies.reserve(kBodePoints);
    for (int i = 0; i < kBodePoints; ++i)
        plot.frequencies.push_back(nyquist *
                                   std::pow(10.0, -3.0 * (kBodePoints - 1 - i) / (kBodePoints - 1)));

    const std::vector<BiquadChainSlot> chain = DesignBiquadChain(setup);
    std::vector<std::vector<double>> chainDeg(kFilterLocations.size(), std::vector<double>(kBodePoints, 0.0));
    std::vector<std::vector<double>> chainGain(kFilterLocations.size(),
                                               std::vector<double>(kBodePoints, 1.0));
    for (const BiquadChainSlot& slot : chain) {
        std::vector<std::complex<double>> response;
        response.reserve(kBodePoints);
        for (const double f : plot.frequencies) response.push_back(BiquadResponse(slot.held, f * period));
        BodeCurve curve;
        curve.name = "Filter " + std::to_string(slot.filter);
        curve.filter = slot.filter;
        curve.phaseDeg = UnwrappedPhase(response);
        const std::size_t at = static_cast<std::size_t>(ToInt(slot.location));
        for (std::size_t i = 0; i < response.size(); ++i) {
            curve.magnitudeDb.push_back(MagnitudeDb(std::abs(response[i])));
            chainGain[at][i] *= std::abs(response[i]);
            chainDeg[at][i] += curve.phaseDeg[i];
        }
        plot.curves.push_back(std::move(curve));
    }
    std::sort(plot.curves.begin(), plot.curves.end(),
              [](const BodeCurve& a, const BodeCurve& b) { return a.filter < b.filter; });
    for (const FilterLocation location : kFilterLocations) {
        const std::size_t at = static_cast<std::size_t>(ToInt(location));
        BodeCurve curve;
        curve.name = std::string(kBiquadLocationNames[at]) + " chain";
        curve.location = ToInt(location);
        for (const double gain : chainGain[at]) curve.magnitudeDb.push_back(MagnitudeDb(gain));
        curve.phaseDeg = chainDeg[at];
        plot.curves.push_back(std::move(curve));
    }
    return plot;
}

}  // namespace dcdrive
