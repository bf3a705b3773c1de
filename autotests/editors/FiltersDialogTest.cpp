// The filters editor on real widgets.
#include <QComboBox>
#include <QDialog>

#include "EditorTest.h"
#include "GuiTest.h"
#include "editors/FiltersDialog.h"
#include "editors/FiltersRules.h"
#include "qcustomplot.h"

namespace {

using namespace dctest;
using dcdrive::kFilterRows;

// Filter n on, with its type, location, F1, Q and F2.
void Describe(CKX_Setup& setup, int n, int type, int location, double f1, double q, double f2) {
    const dcdrive::FilterRowNames f = dcdrive::FilterNames(n);
    Assign(setup, f.on + " " + f.type + " " + f.location + " " + f.f1 + " " + f.q + " " + f.f2,
           {1, double(type), double(location), f1, q, f2});
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

ScriptRun Play(CFiltersDialog& dialog, const std::string& script) {
    return RunScript(script, [&] { return dialog.DoModal(); });
}

// Rows beyond the filter count are disabled and unbound; the row rules reach the widgets and rerun on each
// change, read-only or not; the lists offer types and locations by their values, not a type left out; the
// plot shows the Bode curves of what was typed (checked against the coefficients in the rules test).
TEST(FiltersDialog, RowsFollowTheFilterCountTheirRulesAndTheirLists) {
    auto setup = VariantOf("@MaxFilters=5");
    for (int n = 1; n <= 10; ++n) Describe(*setup, n, 1, 1, 100, 0.7, 200);
    Describe(*setup, 5, 9, 2, 20, 0.7, 60);
    CFiltersDialog dialog(*setup, 0, nullptr);
    EXPECT_HELD(Play(
        dialog, ForRow(kFilterRows[4], "assert {group} enabled\nassert {type} selected 9\n") +
                    ForRow(kFilterRows[5], "assert {group} disabled\nassert {type} disabled\n") +
                    "shot filters-five\n" +
                    ForRow(kFilterRows[1],
                           "assert {qLabel} text Q\nassert {second} hidden\nselect {type} 8\n"
                           "assert {qLabel} text \"Lag Frequency\"\nassert {second} shown\n"
                           "assert {second} value 200\nshot filters-lead-lag\nclick {onOff}\n"
                           "assert {onOff} text Off\nassert {type} disabled\n") +
                    ForRow(kFilterRows[0], "set {frequency} 40\nset {q} 2\nshot filters-bode\nclick 1\n")));
    ExpectValues(*setup, "BQFilterType2=8 BQFilter2=0 BQFilterF11=40 BQFilterQ1=2");
    const dcdrive::BodePlotData bode = dcdrive::FilterBodePlot(*setup);
    for (const char* name : {"plotMagnitude", "plotPhase"}) {
        const auto* plot = dialog.GetWindow()->findChild<QCustomPlot*>(name);
        ASSERT_NE(plot, nullptr) << name;
        ASSERT_EQ(std::size_t(plot->graphCount()), bode.curves.size());
        for (int g = 0; g < plot->graphCount(); ++g) {
            const dcdrive::BodeCurve& curve = bode.curves[std::size_t(g)];
            std::vector<double> f, values;
            for (const QCPGraphData& point : *plot->graph(g)->data()) {
                f.push_back(point.key);
                values.push_back(point.value);
            }
            EXPECT_EQ(plot->graph(g)->name().toStdString(), curve.name);
            EXPECT_EQ(f, bode.frequencies) << curve.name;
            EXPECT_EQ(values, name[4] == 'M' ? curve.magnitudeDb : curve.phaseDeg) << curve.name;
        }
    }
    // An unbound row shows nothing of its filter; a bound one its list.
    EXPECT_GT(qobject_cast<QComboBox*>(dialog.GetDlgItem(kFilterRows[4].type))->count(), 0);
    EXPECT_EQ(qobject_cast<QComboBox*>(dialog.GetDlgItem(kFilterRows[9].type))->count(), 0);
    const auto refused = Play(dialog, ForRow(kFilterRows[4], "assert {type} selected 9\nselect {type} 5\n"));
    EXPECT_NE(refused.failure.find("line 2: select"), std::string::npos) << refused.failure;
    CFiltersDialog readOnly(*setup, 1, nullptr);
    EXPECT_HELD(Play(readOnly, ForRow(kFilterRows[4],
                                      "assert {onOff} disabled\nassert {onOff} checked\n"
                                      "assert {type} disabled\nassert {location} selected 2\n"
                                      "assert {frequency} value 20\nshot filters-read-only\nclick 1\n")));
}

}  // namespace
