// The filters editor's row rules and the Bode curves of its plot, without
// widgets.
#include <gtest/gtest.h>

#include <cmath>

#include "EditorTest.h"
#include "editors/FiltersRules.h"
#include "filters/Biquad.h"

using namespace dcdrive;

namespace {

using dctest::Apply;
using dctest::Set;

TEST(FiltersRules, RowFollowsItsFilterAndTheReadOnlyFlag) {
    const struct {
        bool on;
        int type;
        bool readOnly;
        bool group, edits, q, check;
        int qFlag;
        const char *checkText, *qText, *frequencyText;
        bool second;
    } cases[] = {
        {true, 1, false, true, true, true, true, 0, "On", "Q", "Frequency", false},
        {true, 0, false, true, true, false, true, 1, "On", "Q", "Frequency", false},  // no Q in 1st order
        {false, 2, false, false, false, false, true, 0, "Off", "Q", "Frequency", false},
        {true, 8, false, true, true, true, true, 0, "On", "Lag Frequency", "Lead Frequency", true},
        {true, 9, true, true, false, false, false, 0, "On", "Lag Frequency", "Lead Frequency", true},
        {false, 8, true, false, false, false, false, 0, "Off", "Lag Frequency", "Lead Frequency", true},
        {true, 4, true, true, false, false, false, 0, "On", "Q", "Frequency", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("on " + std::to_string(c.on) + " type " + std::to_string(c.type) + " read-only " +
                     std::to_string(c.readOnly));
        auto setup = LoadDefaultSetup();
        Set(*setup, "BQFilter3", c.on);
        Set(*setup, "BQFilterType3", c.type);
        const auto a = Apply(FiltersDisplayRules(*setup, c.readOnly));
        const FilterRowIds& r = kFilterRows[2];
        EXPECT_EQ(a.at(r.group).enabled, c.group);
        for (unsigned id : {r.type, r.typeLabel, r.location, r.locationLabel, r.frequency, r.frequencyUnit,
                            r.frequencyLabel, r.second, r.secondUnit})
            EXPECT_EQ(a.at(id).enabled, c.edits) << id;
        EXPECT_EQ(a.at(r.qLabel).enabled, c.q);
        EXPECT_EQ(a.at(r.q).enabled, c.q);
        EXPECT_EQ(a.at(r.q).flag, c.qFlag);
        EXPECT_EQ(a.at(r.onOff).enabled, c.check);
        EXPECT_EQ(a.at(r.onOff).text, c.checkText);
        EXPECT_EQ(a.at(r.qLabel).text, c.qText);
        EXPECT_EQ(a.at(r.frequencyLabel).text, c.frequencyText);
        EXPECT_EQ(a.at(r.second).shown, c.second);
        EXPECT_EQ(a.at(r.secondUnit).shown, c.second);
        EXPECT_EQ(a.at(r.q).shown, !c.second);
    }
}

TEST(FiltersRules, OnlyTheRowsWithinTheFilterCountAreRuled) {
    const struct {
        const char* maxFilters;
        double fastLoop;
        int rows;
    } cases[] = {{"4", 0, 4}, {"", 0, 10}, {"15", 0, 10}, {"-3", 0, 0}, {"6", 1, 0}};
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        setup->SetOption("MaxFilters", c.maxFilters);
        Set(*setup, "PosSpd_in_FastLoop", c.fastLoop);
        EXPECT_EQ(FilterRowsInUse(*setup), c.rows) << c.maxFilters;
        const auto a = Apply(FiltersDisplayRules(*setup, false));
        for (std::size_t row = 0; row < kFilterRows.size(); ++row)
            for (unsigned id : FilterRowControls(kFilterRows[row]))
                EXPECT_EQ(a.count(id) != 0, int(row) < c.rows) << c.maxFilters << " control " << id;
    }
}

TEST(FiltersRules, BodePlotShowsEachChainedFilterAndEachLocation) {
    auto setup = LoadDefaultSetup();
    Set(*setup, "Ts_S", 0.001);
    const struct {
        int filter, type, location;
        double f1, q;
    } filters[] = {{3, 1, 2, 50, 0.707}, {1, 0, 2, 100, 0.7}, {5, 2, 0, 200, 2}, {7, 1, 1, 700, 0.7}};
    for (const auto& f : filters) {
        const std::string n = std::to_string(f.filter);
        Set(*setup, "BQFilter" + n, 1);
        Set(*setup, "BQFilterType" + n, f.type);
        Set(*setup, "BQFilterLocation" + n, f.location);
        Set(*setup, "BQFilterF1" + n, f.f1);
        Set(*setup, "BQFilterQ" + n, f.q);
    }
    const BodePlotData plot = FilterBodePlot(*setup);
    ASSERT_EQ(plot.frequencies.size(), std::size_t(kBodePoints));
    EXPECT_DOUBLE_EQ(plot.frequencies.front(), 0.5);
    EXPECT_DOUBLE_EQ(plot.frequencies.back(), 500.0);
    std::vector<std::string> names;
    for (const BodeCurve& c : plot.curves) names.push_back(c.name);
    // Filter 7 lies above the Nyquist frequency: the drive does not run it.
    EXPECT_EQ(names, (std::vector<std::string>{"Filter 1", "Filter 3", "Filter 5",
                                               "Position Controller Output chain",
                                               "Speed Controller Output chain", "Speed Feedback chain"}));
    // The chains themselves are checked against the written coefficients with the editor.
    const BodeCurve &three = plot.curves[1], &speed = plot.curves[4];
    for (double db : speed.magnitudeDb) EXPECT_EQ(db, 0.0) << "an empty chain passes everything";
    // The second-order low pass turns the phase steadily to -180 degrees, also
    // at the Nyquist frequency, where its double zero leaves no phase.
    EXPECT_NEAR(three.phaseDeg.back(), -180.0, 1.0);
    EXPECT_EQ(three.magnitudeDb.back(), kBodeFloorDb);

    setup->RemoveParameter("Ts_S");
    EXPECT_TRUE(FilterBodePlot(*setup).curves.empty());
}

}  // namespace
