// The filters editor on real widgets: rows beyond the filter count, the row
// rules reaching the controls, read-only mode, the type and location lists,
// and the Bode plot against the fixed-point coefficients that the
// parameter-to-register driver writes.
#include <QComboBox>
#include <QDialog>
#include <cmath>
#include <complex>
#include <numbers>

#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/FiltersDialog.h"
#include "editors/FiltersRules.h"
#include "editors/SubDialogs.h"
#include "filters/Biquad.h"
#include "qcustomplot.h"

namespace {

using dcdrive::kFilterRows;
using dctest::Set;
using dctest::Value;

// Filter n on, with its type, location, F1, Q and F2.
void Describe(CKX_Setup& setup, int n, int type, int location, double f1, double q, double f2) {
    const dcdrive::FilterRowNames names = dcdrive::FilterNames(n);
    Set(setup, names.on, 1);
    Set(setup, names.type, type);
    Set(setup, names.location, location);
    Set(setup, names.f1, f1);
    Set(setup, names.q, q);
    Set(setup, names.f2, f2);
}

// `script` with each "{field}" replaced by the id of that control of row `r`.
std::string ForRow(const dcdrive::FilterRowIds& r, std::string script) {
    const std::string fields[] = {"{group}",  "{onOff}",  "{type}",      "{location}",      "{q}",
                                  "{second}", "{qLabel}", "{frequency}", "{frequencyLabel}"};
    const unsigned ids[] = {r.group,  r.onOff,  r.type,      r.location,      r.q,
                            r.second, r.qLabel, r.frequency, r.frequencyLabel};
    for (std::size_t i = 0; i < std::size(ids); ++i)
        for (auto at = script.find(fields[i]); at != std::string::npos; at = script.find(fields[i]))
            script.replace(at, fields[i].size(), std::to_string(ids[i]));
    return script;
}

dctest::ScriptRun Play(CFiltersDialog& dialog, const std::string& script) {
    return dctest::RunScript(script, [&] { return dialog.DoModal(); });
}

TEST(FiltersDialog, RowsBeyondTheFilterCountAreDisabledAndUnbound) {
    auto setup = dcdrive::LoadDefaultSetup();
    setup->SetOption("MaxFilters", "4");
    for (int n = 1; n <= 10; ++n) Describe(*setup, n, 1, 1, 100, 0.7, 200);
    CFiltersDialog dialog(*setup, 0, nullptr);
    EXPECT_HELD(Play(dialog, ForRow(kFilterRows[3], "assert {group} enabled\nassert {type} enabled\n") +
                                 ForRow(kFilterRows[4], "assert {group} disabled\nassert {type} disabled\n") +
                                 "shot filters-four\nclick 1\n"));
    // An unbound row shows nothing of its filter; a bound one its list.
    const auto count = [&](int row) {
        return qobject_cast<QComboBox*>(dialog.GetDlgItem(kFilterRows[std::size_t(row)].type))->count();
    };
    EXPECT_GT(count(3), 0);
    EXPECT_EQ(count(9), 0);
}

// The row rules reach the widgets and rerun on each change; read-only shows
// the values only.
TEST(FiltersDialog, ChangesRerunTheRowRules) {
    auto setup = dcdrive::LoadDefaultSetup();
    Describe(*setup, 2, 1, 1, 100, 0.7, 200);
    CFiltersDialog dialog(*setup, 0, nullptr);
    EXPECT_HELD(Play(dialog, ForRow(kFilterRows[1],
                                    "assert {qLabel} text Q\nassert {second} hidden\nselect {type} 8\n"
                                    "assert {qLabel} text \"Lag Frequency\"\nassert {second} shown\n"
                                    "assert {second} value 200\nshot filters-lead-lag\nclick {onOff}\n"
                                    "assert {onOff} text Off\nassert {type} disabled\nclick 1\n")));
    EXPECT_EQ(Value(*setup, "BQFilterType2"), 8);
    EXPECT_EQ(Value(*setup, "BQFilter2"), 0);

    Describe(*setup, 1, 2, 2, 120, 3, 200);
    CFiltersDialog readOnly(*setup, 1, nullptr);
    EXPECT_HELD(
        Play(readOnly, ForRow(kFilterRows[0],
                              "assert {onOff} disabled\nassert {onOff} checked\nassert {type} selected 2\n"
                              "assert {location} selected 2\nassert {frequency} value 120\n"
                              "assert {q} value 3\nshot filters-read-only\nclick 1\n")));
}

TEST(FiltersDialog, ListsOfferTheTypesAndLocationsByTheirValues) {
    auto setup = dcdrive::LoadDefaultSetup();
    Describe(*setup, 5, 9, 2, 20, 0.7, 60);
    CFiltersDialog dialog(*setup, 0, nullptr);
    // A type the list leaves out cannot be chosen; the offered ones keep their gaps.
    EXPECT_FALSE(Play(dialog, ForRow(kFilterRows[4], "select {type} 5\n")).held);
    EXPECT_HELD(
        Play(dialog, ForRow(kFilterRows[4], "assert {type} selected 9\nselect {location} 2\nclick 2\n")));
}

// ---- the Bode plot against the slot registers

// Slot `slot` as the driver left it in the setup, in fixed point.
dcdrive::HeldBiquad ReadSlot(const CKX_Setup& setup, int slot) {
    const std::string base = "BQ" + std::to_string(slot);
    const auto word = [&](const char* field) { return Value(setup, base + field); };
    return {true, {word("B0"), word("B1"), word("B2"), word("A1"), word("A2")}, word("SF")};
}

struct Curve {
    std::vector<double> f, db, deg;
};
Curve GraphNamed(const QDialog& window, const QString& name) {
    Curve curve;
    for (const bool magnitude : {true, false}) {
        const auto* plot = window.findChild<QCustomPlot*>(magnitude ? "plotMagnitude" : "plotPhase");
        for (int g = 0; plot && g < plot->graphCount(); ++g)
            if (plot->graph(g)->name() == name)
                for (const QCPGraphData& point : *plot->graph(g)->data()) {
                    if (magnitude) curve.f.push_back(point.key);
                    (magnitude ? curve.db : curve.deg).push_back(point.value);
                }
    }
    return curve;
}

void ExpectResponse(const Curve& curve, const std::vector<std::complex<double>>& h, const std::string& what) {
    ASSERT_EQ(curve.db.size(), h.size()) << what;
    ASSERT_EQ(curve.deg.size(), h.size()) << what;
    for (std::size_t i = 0; i < h.size(); ++i) {
        const double db = std::max(20 * std::log10(std::abs(h[i])), dcdrive::kBodeFloorDb);
        EXPECT_NEAR(curve.db[i], db, 1e-6) << what << " at " << curve.f[i] << " Hz";
        const double deg = std::arg(h[i]) * 180 / std::numbers::pi;
        if (std::abs(h[i]) > 1e-6) {
            EXPECT_NEAR(std::remainder(curve.deg[i] - deg, 360.0), 0.0, 1e-6) << what << " at " << curve.f[i];
        }
    }
}

TEST(FiltersDialog, BodePlotIsTheResponseOfTheWrittenCoefficients) {
    auto setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "Ts_S", 0.0005);
    Describe(*setup, 1, 2, 2, 300, 2, 0);    // notch on the speed feedback
    Describe(*setup, 2, 1, 1, 100, 0.7, 0);  // low pass, typed below
    Describe(*setup, 4, 8, 1, 20, 0.7, 80);  // lead-lag on the speed controller output
    Describe(*setup, 6, 0, 0, 150, 0.7, 0);  // first-order low pass on the speed reference
    Describe(*setup, 7, 3, 1, 100, 0.7, 0);  // switched off below
    Set(*setup, "BQFilter7", 0);
    CFiltersDialog dialog(*setup, 0, nullptr);
    EXPECT_HELD(
        Play(dialog, ForRow(kFilterRows[1], "set {frequency} 40\nset {q} 2\nshot filters-bode\nclick 1\n")));
    ASSERT_EQ(Value(*setup, "BQFilterF12"), 40);

    dcdrive::ParametersToRegisters(*setup);
    const double ts = Value(*setup, "Ts_S");
    const std::vector<double> counters = {Value(*setup, "SPDREF_BQ_INI"), Value(*setup, "IQREF_BQ_INI"),
                                          Value(*setup, "ASPD_BQ_INI")};
    ASSERT_EQ(counters, (std::vector<double>{1, 2, 1}));
    // Slots by location, each group in filter-number order.
    const struct { int slot, filter, location; } laidOut[] = {{1, 6, 0}, {2, 2, 1}, {3, 4, 1}, {4, 1, 2}};
    const Curve reference = GraphNamed(*dialog.GetWindow(), "Filter 1");
    ASSERT_FALSE(reference.f.empty());
    EXPECT_NEAR(reference.f.back(), 0.5 / ts, 1e-9) << "up to the Nyquist frequency";
    EXPECT_TRUE(GraphNamed(*dialog.GetWindow(), "Filter 7").f.empty()) << "an off filter has no curve";
    std::vector<std::vector<std::complex<double>>> chains(
        3, std::vector<std::complex<double>>(reference.f.size(), 1.0));
    for (const auto& s : laidOut) {
        const dcdrive::HeldBiquad held = ReadSlot(*setup, s.slot);
        std::vector<std::complex<double>> h;
        for (std::size_t i = 0; i < reference.f.size(); ++i) {
            h.push_back(dcdrive::BiquadResponse(held, reference.f[i] * ts));
            chains[std::size_t(s.location)][i] *= h.back();
        }
        ExpectResponse(GraphNamed(*dialog.GetWindow(), QString("Filter %1").arg(s.filter)), h,
                       "filter " + std::to_string(s.filter));
    }
    for (std::size_t at = 0; at < chains.size(); ++at) {
        const QString name = QString(dcdrive::kBiquadLocationNames[at]) + " chain";
        ExpectResponse(GraphNamed(*dialog.GetWindow(), name), chains[at], name.toStdString());
    }
}

}  // namespace
