#include "FiltersDialog.h"

#include <QComboBox>
#include <QDialog>
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "FiltersRules.h"
#include "qcustomplot.h"

using namespace dcdrive;

namespace {

// Filter curves: one colour each, by filter number - 1.
const std::array<QColor, 10> kFilterColours = {
    QColor(31, 119, 180),  QColor(255, 127, 14), QColor(44, 160, 44),   QColor(214, 39, 40),
    QColor(148, 103, 189), QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127),
    QColor(188, 189, 34),  QColor(23, 190, 207)};
// Whole chains, by location: drawn wider and dashed over the filters.
const std::array<QColor, 3> kChainColours = {QColor(0, 0, 0), QColor(90, 0, 120), QColor(0, 90, 60)};

// The lowest magnitude shown: a notch's centre lies far below it.
constexpr double kLowestShownDb = -80.0;

void SetUpAxes(QCustomPlot& plot, const char* valueLabel) {
    plot.xAxis->setScaleType(QCPAxis::stLogarithmic);
    plot.xAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
    plot.xAxis->setNumberFormat("g");
    plot.xAxis->setNumberPrecision(6);
    plot.xAxis->setLabel("Frequency [Hz]");
    plot.yAxis->setLabel(valueLabel);
    plot.xAxis->grid()->setSubGridVisible(true);
}

// A range around the values with some room, at least `span` wide.
QCPRange Around(double low, double high, double span) {
    if (!(low <= high)) return QCPRange(-span / 2, span / 2);
    if (high - low < span) {
        const double middle = (low + high) / 2;
        return QCPRange(middle - span / 2, middle + span / 2);
    }
    const double room = (high - low) * 0.05;
    return QCPRange(low - room, high + room);
}

}  // namespace

CFiltersDialog::CFiltersDialog(CKX_Setup& setup, int readOnly, CWnd* parent)
    : CMySetupDlg(setup, kFiltersTemplate, 1, nullptr, parent), m_readOnly(readOnly) {
    const int rows = FilterRowsInUse(setup);
    for (int filter = 1; filter <= rows; ++filter) {
        const FilterRowIds& r = kFilterRows[static_cast<std::size_t>(filter - 1)];
        const FilterRowNames names = FilterNames(filter);
        AddSwitchParameterControls(names.location.c_str(), r.location);
        AddCheckParameterControls(names.on.c_str(), r.onOff);
        AddSwitchParameterControls(names.type.c_str(), r.type);
        AddParameterControls(names.q.c_str(), r.q, 0);
        AddParameterControls(names.f1.c_str(), r.frequency, r.frequencyUnit);
        AddParameterControls(names.f2.c_str(), r.second, r.secondUnit);
    }
}

const kx::MessageMap* CFiltersDialog::GetMessageMap() const {
    static const auto entries = [] {
        std::array<kx::MessageMapEntry, 3 * kFilterRows.size()> e{};
        std::size_t at = 0;
        for (const FilterRowIds& r : kFilterRows) {
            e[at++] = KX_ON_CLICKED(r.onOff, CFiltersDialog::OnRowChanged);
            e[at++] = KX_ON_SELCHANGE(r.type, CFiltersDialog::OnRowChanged);
            e[at++] = KX_ON_SELCHANGE(r.location, CFiltersDialog::OnRowChanged);
        }
        return e;
    }();
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CFiltersDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    const int rows = FilterRowsInUse(GetSetup());
    std::vector<std::string> typeNames;
    std::vector<int> types;
    m_filter.GetOfferedTypes(typeNames, types);
    for (int filter = 1; filter <= static_cast<int>(kFilterRows.size()); ++filter) {
        const FilterRowIds& r = kFilterRows[static_cast<std::size_t>(filter - 1)];
        if (filter > rows) {
            for (unsigned id : FilterRowControls(r)) EnableChild(id, FALSE);
            continue;
        }
        if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(r.type))) {
            list->clear();
            for (std::size_t i = 0; i < types.size(); ++i)
                list->addItem(QString::fromStdString(typeNames[i]), types[i]);
        }
        if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(r.location))) {
            list->clear();
            for (std::size_t location = 0; location < kBiquadLocationNames.size(); ++location)
                list->addItem(kBiquadLocationNames[location], static_cast<int>(location));
        }
        const FilterRowNames names = FilterNames(filter);
        RefreshParameterControls(names.type.c_str());
        RefreshParameterControls(names.location.c_str());
    }
    SetUpBodePlot();
    RedrawBodePlot();
    return TRUE;
}

void CFiltersDialog::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    const int rows = FilterRowsInUse(GetSetup());
    for (int filter = 1; filter <= rows; ++filter) RefreshParameterControls(FilterNames(filter).q.c_str());
    for (const FilterRowRule& r : FiltersDisplayRules(GetSetup(), m_readOnly != 0)) ApplyRule(r.rule, r.flag);
    RedrawBodePlot();
}

void CFiltersDialog::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
    // A typed frequency or Q changes the design at once.
    RedrawBodePlot();
}

void CFiltersDialog::OnRowChanged() { UpdateData(FALSE); }

// ---- the Bode plot

void CFiltersDialog::SetUpBodePlot() {
    QDialog* window = GetWindow();
    if (!window) return;
    m_magnitude = window->findChild<QCustomPlot*>("plotMagnitude");
    m_phase = window->findChild<QCustomPlot*>("plotPhase");
    if (!m_magnitude || !m_phase) return;
    SetUpAxes(*m_magnitude, "Magnitude [dB]");
    SetUpAxes(*m_phase, "Phase [\u00b0]");
    m_magnitude->legend->setVisible(true);
    QFont small = m_magnitude->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_magnitude->legend->setFont(small);
    // The legend sits in a row of its own above the curves, so that it hides
    // none of them and both plots keep the same frequency axis.
    m_magnitude->plotLayout()->insertRow(0);
    m_magnitude->plotLayout()->addElement(0, 0, m_magnitude->legend);
    m_magnitude->plotLayout()->setRowStretchFactor(0, 0.001);
    m_magnitude->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    m_magnitude->legend->setWrap(2);
    m_magnitude->legend->setBorderPen(Qt::NoPen);
}

void CFiltersDialog::RedrawBodePlot() {
    if (!m_magnitude || !m_phase) return;
    const BodePlotData data = FilterBodePlot(GetSetup());
    const QVector<double> frequencies(data.frequencies.begin(), data.frequencies.end());
    double lowDb = 0, highDb = 0, lowDeg = 0, highDeg = 0;
    m_magnitude->clearGraphs();
    m_phase->clearGraphs();
    for (const BodeCurve& curve : data.curves) {
        QPen pen;
        if (curve.filter > 0) {
            pen =
                QPen(kFilterColours[static_cast<std::size_t>(curve.filter - 1) % kFilterColours.size()], 1.5);
        } else {
            pen = QPen(kChainColours[static_cast<std::size_t>(curve.location) % kChainColours.size()], 2.5,
                       Qt::DashLine);
        }
        const QString name = QString::fromStdString(curve.name);
        for (QCustomPlot* plot : {m_magnitude, m_phase}) {
            QCPGraph* graph = plot->addGraph();
            graph->setName(name);
            graph->setPen(pen);
            const std::vector<double>& values = plot == m_magnitude ? curve.magnitudeDb : curve.phaseDeg;
            graph->setData(frequencies, QVector<double>(values.begin(), values.end()), true);
        }
        for (const double db : curve.magnitudeDb) {
            lowDb = std::min(lowDb, std::max(db, kLowestShownDb));
            highDb = std::max(highDb, db);
        }
        for (const double deg : curve.phaseDeg) {
            lowDeg = std::min(lowDeg, deg);
            highDeg = std::max(highDeg, deg);
        }
    }
    if (!frequencies.isEmpty()) {
        m_magnitude->xAxis->setRange(frequencies.front(), frequencies.back());
        m_phase->xAxis->setRange(frequencies.front(), frequencies.back());
    }
    m_magnitude->yAxis->setRange(Around(lowDb, highDb, 20.0));
    m_phase->yAxis->setRange(Around(lowDeg, highDeg, 90.0));
    m_magnitude->replot();
    m_phase->replot();
}
