// The filters editor's row rules and the Bode curves of its plot.
#include <complex>
#include <numbers>

#include "EditorTest.h"
#include "editors/FiltersRules.h"
#include "filters/Biquad.h"

using namespace dcdrive;

namespace {

using namespace dctest;

// A row's group follows its filter, its on/off check the read-only flag; Q is not used by a first-order low
// pass and a lead-lag shows its second frequency in place of Q.
TEST(FiltersRules, RowFollowsItsFilterAndTheReadOnlyFlag) {
    const struct {
        int on, type, readOnly, edits, q, qFlag, leadLag;
    } cases[] = {
        {1, 1, 0, 1, 1, 0, 0}, {1, 0, 0, 1, 0, 1, 0}, {0, 2, 0, 0, 0, 0, 0}, {1, 8, 0, 1, 1, 0, 1},
        {1, 9, 1, 0, 0, 0, 1}, {0, 8, 1, 0, 0, 0, 1}, {1, 4, 1, 0, 0, 0, 0},
    };
    const dcdrive::FilterRowIds& r = kFilterRows[2];
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "on/type/read-only " << c.on << c.type << c.readOnly);
        const auto a = Apply(FiltersDisplayRules(
            *DefaultWith("BQFilter3 BQFilterType3", {double(c.on), double(c.type)}), c.readOnly));
        EXPECT_EQ(a.at(r.group).enabled, c.on);
        for (unsigned id : {r.type, r.typeLabel, r.location, r.locationLabel, r.frequency, r.frequencyUnit,
                            r.frequencyLabel, r.second, r.secondUnit})
            EXPECT_EQ(a.at(id).enabled, c.edits) << id;
        for (unsigned id : {r.qLabel, r.q}) EXPECT_EQ(a.at(id).enabled, c.q) << id;
        EXPECT_EQ(a.at(r.q).flag, c.qFlag);
        EXPECT_EQ(a.at(r.onOff).enabled, !c.readOnly);
        EXPECT_EQ(a.at(r.onOff).text, c.on ? "On" : "Off");
        EXPECT_EQ(a.at(r.qLabel).text, c.leadLag ? "Lag Frequency" : "Q");
        EXPECT_EQ(a.at(r.frequencyLabel).text, c.leadLag ? "Lead Frequency" : "Frequency");
        for (unsigned id : {r.second, r.secondUnit}) EXPECT_EQ(a.at(id).shown, c.leadLag) << id;
        EXPECT_EQ(a.at(r.q).shown, !c.leadLag);
    }
}

// The rows in use are the filter count within the ten rows; only they are ruled.
TEST(FiltersRules, OnlyTheRowsWithinTheFilterCountAreRuled) {
    for (const auto& [option, rows] : {std::pair{"4", 4u}, {"15", 10u}, {"-3", 0u}}) {
        const auto setup = VariantOf(std::string("@MaxFilters=") + option);
        EXPECT_EQ(FilterRowsInUse(*setup), int(rows)) << option;
        const auto ruled = Apply(FiltersDisplayRules(*setup, false));
        for (std::size_t row = 0; row < kFilterRows.size(); ++row)
            EXPECT_EQ(ruled.count(kFilterRows[row].group), row < rows ? 1u : 0u) << option << " row " << row;
    }
}

// A curve for each filter of the chain by number, then one for each location's whole chain, up to the Nyquist
// frequency: the response of the coefficients as the drive holds them, a chain's the product of its filters'.
TEST(FiltersRules, BodePlotShowsEachChainedFilterAndEachLocation) {
    // Filters 3, a second-order low pass, and 1, a first-order one, on the speed feedback; 5, a notch,
    // on the position controller output.
    auto setup = VariantOf(
        "Ts_S=0.001 BQFilter3=1 BQFilterType3=1 BQFilterLocation3=2 BQFilterF13=50 BQFilterQ3=0.707 "
        "BQFilter1=1 BQFilterType1=0 BQFilterLocation1=2 BQFilterF11=100 BQFilterQ1=0.7 "
        "BQFilter5=1 BQFilterType5=2 BQFilterLocation5=0 BQFilterF15=200 BQFilterQ5=2");
    const BodePlotData plot = FilterBodePlot(*setup);
    EXPECT_DOUBLE_EQ(plot.frequencies.front(), 0.5);
    EXPECT_DOUBLE_EQ(plot.frequencies.back(), 500.0);
    std::map<std::string, std::vector<std::complex<double>>> responses;
    for (const char* location : kBiquadLocationNames)
        responses[location + std::string(" chain")].assign(kBodePoints, 1.0);
    for (const BiquadChainSlot& slot : DesignBiquadChain(*setup)) {
        auto& h = responses["Filter " + std::to_string(slot.filter)];
        auto& chain = responses[kBiquadLocationNames[ToInt(slot.location)] + std::string(" chain")];
        for (std::size_t i = 0; i < plot.frequencies.size(); ++i) {
            h.push_back(BiquadResponse(slot.held, plot.frequencies[i] * 0.001));
            chain[i] *= h.back();
        }
    }
    std::vector<std::string> names;
    for (const BodeCurve& curve : plot.curves) {
        names.push_back(curve.name);
        const auto& h = responses[curve.name];
        ASSERT_EQ(h.size(), curve.magnitudeDb.size()) << curve.name;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const double db = std::max(20 * std::log10(std::abs(h[i])), kBodeFloorDb);
            EXPECT_NEAR(curve.magnitudeDb[i], db, 1e-6) << curve.name << " at " << plot.frequencies[i];
            if (std::abs(h[i]) > 1e-6) {
                EXPECT_NEAR(
                    std::remainder(curve.phaseDeg[i] - std::arg(h[i]) * 180 / std::numbers::pi, 360.0), 0.0,
                    1e-6)
                    << curve.name << " at " << plot.frequencies[i];
            }
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Filter 1", "Filter 3", "Filter 5",
                                               "Position Controller Output chain",
                                               "Speed Controller Output chain", "Speed Feedback chain"}));
    // The second-order low pass turns the phase steadily to -180 degrees, also
    // at the Nyquist frequency, where its double zero leaves no phase.
    EXPECT_NEAR(plot.curves[1].phaseDeg.back(), -180.0, 1.0);
    EXPECT_EQ(plot.curves[1].magnitudeDb.back(), kBodeFloorDb);

    setup->RemoveParameter("Ts_S");
    EXPECT_TRUE(FilterBodePlot(*setup).curves.empty());
}

}  // namespace
