// The graph window on real widgets, at 100 % and at 200 %. The readout's
// numbers, the CSV text and the tint: PlotDataTest.cpp.
#include <gtest/gtest.h>
#include <unistd.h>
#include <qcustomplot.h>

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTest.h"
#include "kx/Comm.h"
#include "kx/Setup.h"
#include "kx/gui/EditSetupDlg.h"
#include "kx/gui/Graph.h"
#include "kx/gui/PlotData.h"
#include "kx/gui/Resources.h"

namespace {

constexpr unsigned kTemplate = 9131;
constexpr unsigned kGraph = 1361;

void BuildPlotTemplate(QDialog& dialog) {
    dialog.setWindowTitle("Plot");
    dialog.setProperty("templateId", kTemplate);
    auto* layout = new QVBoxLayout(&dialog);
    auto* graph = new QFrame(&dialog);
    graph->setProperty("ctrlId", kGraph);
    graph->setMinimumSize(560, 300);
    layout->addWidget(graph);
}

const kx::ResourceModule& PlotModule() {
    static const kx::ResourceModule module{"plot", {{kTemplate, &BuildPlotTemplate}}, {}, {}, {}, {}};
    return module;
}
const kx::ModuleRegistration g_registration(PlotModule());

QCPTextElement* FindReadout(QCustomPlot& plot) {
    for (int i = 0; i < plot.plotLayout()->elementCount(); ++i)
        if (auto* text = qobject_cast<QCPTextElement*>(plot.plotLayout()->elementAt(i))) return text;
    return nullptr;
}

// The legend's entries in order (a wrapped legend has empty cells).
std::vector<QCPPlottableLegendItem*> LegendEntries(QCustomPlot& plot) {
    std::vector<QCPPlottableLegendItem*> entries;
    for (int i = 0; i < plot.legend->itemCount(); ++i)
        if (auto* entry = qobject_cast<QCPPlottableLegendItem*>(plot.legend->item(i)))
            entries.push_back(entry);
    return entries;
}

// A speed step on a plot in a dialog: the reference, the speed (a first
// order response) and the current (a ramp), with a plot folder of its own.
class GraphWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = std::filesystem::temp_directory_path() /
                   ("kxgui-graph-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
        kx::SetPlotFolder((m_folder / "plots").string());
        auto& columns = document.Columns();
        columns = {{"Time", "s", {}}, {"Speed_Reference", "rpm", {}}, {"Load_Speed", "rpm", {}},
                   {"Motor_Current", "A", {}}, {"Unused", "V", {}}};
        for (int k = 0; k <= 20; ++k) {
            const double t = k * 0.0005;
            columns[0].values.push_back(t);
            columns[1].values.push_back(t >= 0.001 ? 1000.0 : 0.0);
            columns[2].values.push_back(t >= 0.001 ? 1000.0 * (1.0 - std::exp(-(t - 0.001) / 0.002)) : 0.0);
            columns[3].values.push_back(100.0 * t);
            columns[4].values.push_back(-1.0);
        }
        CGraphFilter* filter = document.GetAt(0);
        filter->AddCurve(CXYCurve(1, 0, 1, 2, RGB16(2)));
        filter->AddCurve(CXYCurve(1, 0, 2, 2, RGB16(5)));
        filter->AddCurve(CXYCurve(2, 0, 3, 2, RGB16(9)));
        ASSERT_TRUE(graph.SubclassDlgItem(kGraph, &dlg, filter));
        graph.ApplySettings();
        graph.RefreshGraph();
        dlg.GetWindow()->resize(dlg.GetWindow()->minimumSizeHint());
        dlg.GetWindow()->show();
        QApplication::processEvents();
        plot = qobject_cast<QCustomPlot*>(graph.GetWidget());
        ASSERT_NE(plot, nullptr);
        plot->replot();
    }
    void TearDown() override {
        dlg.GetWindow()->hide();
        kx::SetPlotFolder("");
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // A saved run as SaveGraph writes it: other column order, a column the
    // plot does not draw, no reference column, a longer time span.
    std::string WriteSavedRun(const std::string& name) {
        std::vector<kx::PlotColumn> columns = {
            {"Time", "s", {}}, {"Motor_Current", "A", {}}, {"Load_Speed", "rpm", {}}, {"Voltage", "V", {}}};
        for (int k = 0; k <= 24; ++k) {
            const double t = k * 0.0005;
            columns[0].values.push_back(t);
            columns[1].values.push_back(80.0 * t);
            columns[2].values.push_back(t >= 0.001 ? 1200.0 * (1.0 - std::exp(-(t - 0.001) / 0.004)) : 0.0);
            columns[3].values.push_back(24.0);
        }
        const std::string path = (m_folder / (name + ".csv")).string();
        std::ofstream out(path);
        kx::WriteCsv(out, columns, {{"Rise time", "4.4 ms"}});
        return path;
    }

    std::string WriteText(const std::string& name, const std::string& text) {
        std::ofstream(m_folder / name) << text;
        return (m_folder / name).string();
    }

    std::filesystem::path m_folder;
    CKX_Setup setup;
    CKX_EditSetupDlg dlg{setup, kTemplate, 1, nullptr, nullptr};
    CGraphDocument document;
    CGraphWindow graph{2, 0};
    QCustomPlot* plot = nullptr;
};

TEST_F(GraphWindowTest, SavedRunIsDrawnUnderTheLiveCurvesAndABadFileIsRefused) {
    ASSERT_TRUE(graph.LoadReferenceRun(WriteSavedRun("SpeedTuning"))) << graph.GetError();
    // Matched by name: the speed and the current, not the reference (not in
    // the saved run); drawn first, so that the live curves lie over them.
    ASSERT_EQ(graph.GetReferenceCurves().size(), 2u);
    EXPECT_EQ(graph.GetReferenceCurves()[0].first, 1);
    EXPECT_EQ(graph.GetReferenceCurves()[1].first, 2);
    ASSERT_EQ(plot->graphCount(), 5);
    EXPECT_EQ(plot->graph(0)->valueAxis(), plot->yAxis);
    EXPECT_EQ(plot->graph(1)->valueAxis(), plot->yAxis2);  // the saved current on the current's axis
    ASSERT_EQ(plot->graph(1)->dataCount(), 25);
    EXPECT_DOUBLE_EQ(plot->graph(1)->data()->at(10)->value, 80.0 * 0.005);
    const auto entries = LegendEntries(*plot);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3]->plottable()->name(), "Saved run: SpeedTuning");
    EXPECT_DOUBLE_EQ(graph.GetAxisRanges()[0].second, 0.012);  // zoomed out, both runs in view

    // Points arriving during the next run go to the live curves.
    auto& columns = document.Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) columns[c].values.push_back(c == 0 ? 0.0105 : 1.05);
    graph.UpdateLastPoint();
    EXPECT_EQ(plot->graph(4)->data()->at(21)->value, 1.05);
    EXPECT_EQ(plot->graph(1)->dataCount(), 25);

    // A file that is not a saved run, or holds none of the drawn signals, is
    // refused with its name and the comparison stays.
    const struct {
        std::string path;
        const char* problem;
    } refused[] = {
        {WriteText("bad.csv", "Time [s],Load_Speed [rpm]\n0,1\n0.1,x\n"), "line 3, column 2"},
        {WriteText("other.csv", "Time [s],Voltage [V]\n0,1\n"), "none of the signals"},
        {(m_folder / "missing.csv").string(), "cannot be opened"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(graph.LoadReferenceRun(r.path));
        EXPECT_NE(graph.GetError().find(r.problem), std::string::npos) << graph.GetError();
        EXPECT_NE(graph.GetError().find(r.path), std::string::npos) << graph.GetError();
        EXPECT_EQ(graph.GetReferenceCurves().size(), 2u);
    }
    graph.ClearReferenceRun();
    EXPECT_FALSE(graph.HasReferenceRun());
    EXPECT_EQ(plot->graphCount(), 3);
    EXPECT_EQ(LegendEntries(*plot).size(), 3u);
    EXPECT_DOUBLE_EQ(graph.GetAxisRanges()[0].second, 0.0105);
}

TEST_F(GraphWindowTest, CursorsReadTheCurvesAndAreDraggedWithoutZooming) {
    EXPECT_EQ(FindReadout(*plot), nullptr);
    graph.ShowCursors(true);
    EXPECT_NEAR(graph.GetCursorTimes().first, 0.01 / 3, 1e-12);  // at the thirds of the span
    EXPECT_NEAR(graph.GetCursorTimes().second, 0.02 / 3, 1e-12);
    graph.SetCursorTimes(0.0005, 0.003);
    ASSERT_TRUE(graph.LoadReferenceRun(WriteSavedRun("SpeedTuning")));  // its curves are read as well
    const kx::CursorReadout readout = graph.ReadCursors();
    ASSERT_EQ(readout.rows.size(), 5u);
    EXPECT_EQ(readout.rows[2].title, "Motor_Current [A]");
    EXPECT_NEAR(*readout.rows[2].Delta(), 0.25, 1e-12);
    EXPECT_EQ(readout.rows[4].title, "Motor_Current [A] (saved)");
    EXPECT_NEAR(*readout.rows[4].at2, 0.24, 1e-12);
    plot->replot();
    QCPTextElement* shown = FindReadout(*plot);
    ASSERT_NE(shown, nullptr);
    for (const char* text : {"Cursor 1", "Time [s]", "0.0025", "Motor_Current [A]", "0.25"})
        EXPECT_TRUE(shown->text().contains(text)) << text << " in\n" << shown->text().toStdString();
    // The readout gets the room its text needs inside the widget, the legend
    // entries theirs, and the curves a usable width.
    const QRect viewport = plot->viewport();
    const QRect text = QFontMetrics(shown->font()).boundingRect(QRect(), Qt::AlignLeft, shown->text());
    const QSize needed = text.size().grownBy(shown->margins());
    EXPECT_TRUE(viewport.contains(shown->outerRect()));
    EXPECT_GE(shown->outerRect().width(), needed.width());
    EXPECT_GE(shown->outerRect().height(), needed.height());
    EXPECT_GT(plot->axisRect()->width(), viewport.width() / 3);
    EXPECT_GE(plot->axisRect()->height(), 80);
    for (const QCPLayoutElement* entry : LegendEntries(*plot)) {
        EXPECT_TRUE(viewport.contains(entry->outerRect()));
        EXPECT_GE(entry->outerRect().width(), entry->minimumOuterSizeHint().width());
    }
    if (const char* dir = std::getenv("DCDRIVE_SCREENSHOTS")) {
        const QString scale = QString::number(dlg.GetWindow()->devicePixelRatioF());
        dlg.GetWindow()->grab().save(QString("%1/graph-cursors-compare-x%2.png").arg(dir, scale));
    }

    // Dragging cursor 1 moves it and zooms nothing; away from the cursors the
    // left button draws the zoom band.
    const auto before = graph.GetAxisRanges();
    const double pixel = plot->xAxis->range().size() / plot->axisRect()->width();
    const QRect rect = plot->axisRect()->rect();
    const auto drag = [&](QPointF from, QPointF to) {
        for (const auto& [type, at] : {std::pair{QEvent::MouseButtonPress, from},
                                       {QEvent::MouseMove, (from + to) / 2},
                                       {QEvent::MouseMove, to},
                                       {QEvent::MouseButtonRelease, to}}) {
            const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, at, plot->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(plot, &event);
        }
    };
    const auto x = [&](double t) { return plot->xAxis->coordToPixel(t); };
    drag({x(0.0005) + 2, double(rect.center().y())}, {x(0.005), double(rect.center().y())});
    EXPECT_NEAR(graph.GetCursorTimes().first, 0.005, 1.5 * pixel);
    EXPECT_EQ(graph.GetCursorTimes().second, 0.003);
    EXPECT_EQ(graph.GetAxisRanges(), before);
    drag({x(0.0075), rect.top() + 10.0}, {x(0.0095), rect.bottom() - 10.0});
    EXPECT_NEAR(graph.GetAxisRanges()[0].first, 0.0075, 2 * pixel);
    EXPECT_NEAR(graph.GetAxisRanges()[0].second, 0.0095, 2 * pixel);
    EXPECT_NEAR(graph.GetCursorTimes().first, 0.005, 1.5 * pixel);

    graph.ShowCursors(false);
    EXPECT_EQ(FindReadout(*plot), nullptr);
    EXPECT_EQ(plot->plotLayout()->columnCount(), 1);
    EXPECT_EQ(plot->itemCount(), 0);
}

TEST_F(GraphWindowTest, VectorPictureAndCsvExportCompareLikeASavedRun) {
    ASSERT_TRUE(graph.CreateWMF("SpeedTuning")) << graph.GetError();
    const std::filesystem::path pdf = m_folder / "plots" / "SpeedTuning.pdf";
    EXPECT_EQ(graph.GetSavedFile(), pdf.string());
    std::string head(5, '\0');
    std::ifstream(pdf, std::ios::binary).read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");

    ASSERT_TRUE(graph.ExportToASCII("SpeedTuning")) << graph.GetError();
    const std::filesystem::path csv = m_folder / "plots" / "SpeedTuning.csv";
    EXPECT_EQ(graph.GetSavedFile(), csv.string());
    // The drawn columns only: the time, then each curve's signal.
    const kx::PlotRecord record = kx::ReadCsvFile(csv.string());
    ASSERT_EQ(record.columns.size(), 4u);
    for (std::size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(record.columns[c].name, document.Columns()[c].name);
        EXPECT_EQ(record.columns[c].values, document.Columns()[c].values) << document.Columns()[c].name;
    }
    ASSERT_TRUE(graph.LoadReferenceRun(csv.string())) << graph.GetError();
    EXPECT_EQ(graph.GetReferenceCurves().size(), 3u);  // every curve finds its own
}

// An entry the menu lacks, or one disabled, fails the step with what was there.
TEST_F(GraphWindowTest, ContextMenuThroughAScript) {
    dlg.GetWindow()->hide();
    const struct {
        std::string script;
        const char* failure;  // null: the script holds
    } cases[] = {
        {"menu 1361 \"Cursors\"\nkey escape\n", nullptr},
        {"menu 1361 \"Bogus\"\n",
         "has no such entry; it offers \"Cursors\", \"Compare with saved run…\", \"Clear comparison\", "
         "\"Zoom out\""},
        {"menu 1361 \"Clear comparison\"\n", "has the entry disabled"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        graph.ShowCursors(false);
        const dctest::ScriptRun run = dctest::RunScript(c.script, [&] { return dlg.DoModal(); });
        EXPECT_EQ(run.held, c.failure == nullptr) << run.failure;
        EXPECT_NE(run.failure.find(c.failure ? c.failure : ""), std::string::npos) << run.failure;
        EXPECT_EQ(graph.CursorsShown(), c.failure == nullptr);
    }
}

}  // namespace
