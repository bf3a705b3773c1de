#include "kx/gui/Graph.h"

#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <set>

#include "GraphPlot.h"
#include "kx/gui/EditSetupDlg.h"

namespace {

QColor ToQColor(COLORREF c) { return QColor(kx::GetRValue(c), kx::GetGValue(c), kx::GetBValue(c)); }

// The column of the record, or null.
const kx::PlotColumn* ColumnAt(const CGraphFilter& filter, int index) {
    const auto& columns = filter.GetDocument().Columns();
    if (index < 0 || index >= static_cast<int>(columns.size())) return nullptr;
    return &columns[static_cast<std::size_t>(index)];
}

// The units of the curves on one axis, as the axis title ("A", "A, V").
QString AxisTitle(const CGraphFilter& filter, int axis, int yAxes) {
    std::vector<std::string> units;
    for (int i = 0; i < filter.GetCurveCount(); ++i) {
        const CXYCurve& curve = filter.GetCurve(i);
        const int on = yAxes >= 2 ? curve.m_nYAxis : 1;
        if (on != axis) continue;
        const kx::PlotColumn* column = ColumnAt(filter, curve.m_nYColumn);
        if (!column || column->unit.empty()) continue;
        if (std::find(units.begin(), units.end(), column->unit) == units.end()) units.push_back(column->unit);
    }
    std::string title;
    for (const std::string& unit : units) title += (title.empty() ? "" : ", ") + unit;
    return QString::fromStdString(title);
}

// Points the legend's font is smaller than the axes'.
constexpr int kLegendFontShrink = 1;
// Room above and below the curves when zoomed out, as a share of their span.
constexpr double kZoomMargin = 0.05;

}  // namespace

namespace kx {

GraphPlot::GraphPlot(int yAxes, bool legend, QWidget* parent) : QCustomPlot(parent), m_yAxes(yAxes) {
    setBackground(Qt::white);
    setAntialiasedElements(QCP::aePlottables);
    setNoAntialiasingOnDrag(true);
    setInteractions(QCP::iRangeZoom);
    setSelectionRectMode(QCP::srmZoom);
    axisRect()->setRangeZoomAxes({xAxis, yAxis, yAxis2});
    yAxis2->setVisible(yAxes >= 2);
    for (QCPAxis* axis : {xAxis, yAxis, yAxis2}) {
        axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
        axis->setLabelFont(font());
        axis->setTickLabelFont(font());
    }
    if (legend) {
        // The legend sits in a row of its own above the axes, so that it never
        // hides a curve.
        QFont small = font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() - kLegendFontShrink));
        this->legend->setFont(small);
        this->legend->setVisible(true);
        this->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        this->legend->setBorderPen(Qt::NoPen);
        plotLayout()->insertRow(0);
        plotLayout()->addElement(0, 0, this->legend);
        plotLayout()->setRowStretchFactor(0, 0.001);
    }
    setMinimumSize(160, 120);
}

void GraphPlot::Draw(const CGraphFilter& filter) {
    m_lastFilter = &filter;
    clearGraphs();
    for (int i = 0; i < filter.GetCurveCount(); ++i) {
        const CXYCurve& curve = filter.GetCurve(i);
        QCPAxis* valueAxis = (m_yAxes >= 2 && curve.m_nYAxis == 2) ? yAxis2 : yAxis;
        QCPGraph* graph = addGraph(xAxis, valueAxis);
        graph->setPen(QPen(ToQColor(curve.m_crColor), std::max(1, curve.m_nWidth)));
        const PlotColumn* x = ColumnAt(filter, curve.m_nXColumn);
        const PlotColumn* y = ColumnAt(filter, curve.m_nYColumn);
        graph->setName(y ? QString::fromStdString(ColumnTitle(*y)) : QString("?"));
        if (!x || !y) continue;
        const std::size_t n = std::min(x->values.size(), y->values.size());
        QVector<double> keys(static_cast<qsizetype>(n)), values(static_cast<qsizetype>(n));
        std::copy_n(x->values.begin(), n, keys.begin());
        std::copy_n(y->values.begin(), n, values.begin());
        graph->setData(keys, values, true);
    }
    const PlotColumn* time =
        filter.GetCurveCount() ? ColumnAt(filter, filter.GetCurve(0).m_nXColumn) : nullptr;
    xAxis->setLabel(time ? QString::fromStdString(ColumnTitle(*time)) : QString());
    yAxis->setLabel(AxisTitle(filter, 1, m_yAxes));
    yAxis2->setLabel(AxisTitle(filter, 2, m_yAxes));
}

void GraphPlot::ZoomOut(const CGraphFilter& filter) {
    std::vector<double> xs, y1, y2;
    for (int i = 0; i < filter.GetCurveCount(); ++i) {
        const CXYCurve& curve = filter.GetCurve(i);
        const PlotColumn* x = ColumnAt(filter, curve.m_nXColumn);
        const PlotColumn* y = ColumnAt(filter, curve.m_nYColumn);
        if (x) xs.insert(xs.end(), x->values.begin(), x->values.end());
        if (y) {
            auto& into = (m_yAxes >= 2 && curve.m_nYAxis == 2) ? y2 : y1;
            into.insert(into.end(), y->values.begin(), y->values.end());
        }
    }
    const auto [x0, x1] = ZoomOutRange(xs, 0.0);
    const auto [a0, a1] = ZoomOutRange(y1, kZoomMargin);
    const auto [b0, b1] = ZoomOutRange(y2, kZoomMargin);
    xAxis->setRange(x0, x1);
    yAxis->setRange(a0, a1);
    yAxis2->setRange(b0, b1);
    m_userZoomed = false;
}

void GraphPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    QCustomPlot::mouseDoubleClickEvent(event);
    if (m_lastFilter) {
        ZoomOut(*m_lastFilter);
        replot();
    }
}

void GraphPlot::wheelEvent(QWheelEvent* event) {
    QCustomPlot::wheelEvent(event);
    m_userZoomed = true;
}

void GraphPlot::mouseReleaseEvent(QMouseEvent* event) {
    QCustomPlot::mouseReleaseEvent(event);
    m_userZoomed = true;
}

bool SaveFilterPicture(const CGraphFilter& filter, int yAxes, const std::string& path, int width,
                       int height) {
    GraphPlot plot(yAxes, true);
    plot.resize(width, height);
    plot.Draw(filter);
    plot.ZoomOut(filter);
    return plot.savePng(QString::fromStdString(path), width, height);
}

}  // namespace kx

// ---- the document

CGraphDocument::CGraphDocument() { m_filters.push_back(std::make_unique<CGraphFilter>(*this)); }

CGraphDocument::~CGraphDocument() {
    for (CGraphWindow* window : std::vector<CGraphWindow*>(m_windows)) window->Forget();
}

CGraphFilter* CGraphDocument::GetAt(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return m_filters[static_cast<std::size_t>(index)].get();
}

void CGraphDocument::ClearValues() {
    for (kx::PlotColumn& column : m_columns) column.values.clear();
    for (CGraphWindow* window : m_windows) window->Invalidate();
}

int CGraphDocument::GetPointCount() const {
    return m_columns.empty() ? 0 : static_cast<int>(m_columns.front().values.size());
}

void CGraphDocument::Attach(CGraphWindow* window) {
    if (std::find(m_windows.begin(), m_windows.end(), window) == m_windows.end()) m_windows.push_back(window);
}

void CGraphDocument::Detach(CGraphWindow* window) { std::erase(m_windows, window); }

// ---- the window

CGraphWindow::CGraphWindow(int yAxes, int options) : m_yAxes(std::clamp(yAxes, 1, 2)), m_options(options) {}

CGraphWindow::~CGraphWindow() {
    if (m_filter) m_filter->GetDocument().Detach(this);
    delete m_plot.data();
}

void CGraphWindow::Forget() {
    m_filter = nullptr;
    if (m_plot) {
        m_plot->clearGraphs();
        m_plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

BOOL CGraphWindow::SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog, CGraphFilter* filter) {
    QWidget* placeholder = dialog ? dialog->GetDlgItem(controlId) : nullptr;
    if (!placeholder || !filter) return FALSE;
    if (m_filter) m_filter->GetDocument().Detach(this);
    m_filter = filter;
    m_filter->GetDocument().Attach(this);
    if (!m_plot || m_plot->parentWidget() != placeholder) {
        delete m_plot.data();
        // The graph fills its placeholder, so that the dialog's rules that
        // show, hide or enable the control act on the graph.
        auto* layout = placeholder->layout();
        if (!layout) {
            layout = new QVBoxLayout(placeholder);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        m_plot = new kx::GraphPlot(m_yAxes, (m_options & kGraphNoLegend) == 0, placeholder);
        layout->addWidget(m_plot);
        if (auto* label = qobject_cast<QLabel*>(placeholder)) label->clear();
    }
    m_drawn.clear();
    return TRUE;
}

void CGraphWindow::ApplySettings() {
    if (!m_plot || !m_filter) return;
    m_plot->Draw(*m_filter);
    m_plot->replot();
}

void CGraphWindow::RefreshGraph() {
    if (!m_plot || !m_filter) return;
    m_plot->Draw(*m_filter);
    m_drawn.assign(static_cast<std::size_t>(m_filter->GetCurveCount()), 0);
    for (int i = 0; i < m_plot->graphCount(); ++i)
        m_drawn[static_cast<std::size_t>(i)] = static_cast<int>(m_plot->graph(i)->dataCount());
    ZoomOutAxes();
}

void CGraphWindow::ZoomOutAxes() {
    // Drawn at once: a zoom-out ends an upload or answers the user, and the
    // picture must be right when the dialog is looked at or saved next.
    m_plot->ZoomOut(*m_filter);
    m_plot->replot();
}

void CGraphWindow::DoZoomOut() {
    if (m_plot && m_filter) ZoomOutAxes();
}

void CGraphWindow::UpdateLastPoint() {
    if (!m_plot || !m_filter) return;
    if (m_plot->graphCount() != m_filter->GetCurveCount()) {
        RefreshGraph();
        return;
    }
    m_drawn.resize(static_cast<std::size_t>(m_filter->GetCurveCount()), 0);
    const auto& columns = m_filter->GetDocument().Columns();
    for (int i = 0; i < m_filter->GetCurveCount(); ++i) {
        const CXYCurve& curve = m_filter->GetCurve(i);
        if (curve.m_nXColumn < 0 || curve.m_nYColumn < 0 ||
            std::max(curve.m_nXColumn, curve.m_nYColumn) >= static_cast<int>(columns.size()))
            continue;
        const auto& x = columns[static_cast<std::size_t>(curve.m_nXColumn)].values;
        const auto& y = columns[static_cast<std::size_t>(curve.m_nYColumn)].values;
        const std::size_t n = std::min(x.size(), y.size());
        int& drawn = m_drawn[static_cast<std::size_t>(i)];
        if (static_cast<std::size_t>(drawn) > n) {  // the record was replaced
            RefreshGraph();
            return;
        }
        QCPGraph* graph = m_plot->graph(i);
        for (std::size_t k = static_cast<std::size_t>(drawn); k < n; ++k) graph->addData(x[k], y[k]);
        drawn = static_cast<int>(n);
    }
    if (!m_plot->UserZoomed()) m_plot->ZoomOut(*m_filter);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void CGraphWindow::Invalidate() {
    if (!m_plot) return;
    if (m_filter && m_filter->GetDocument().GetPointCount() == 0) {
        for (int i = 0; i < m_plot->graphCount(); ++i) m_plot->graph(i)->data()->clear();
        m_drawn.assign(m_drawn.size(), 0);
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

BOOL CGraphWindow::SavePicture(const std::string& path) const {
    if (!m_plot) return FALSE;
    const int width = std::max(m_plot->width(), 640), height = std::max(m_plot->height(), 400);
    return m_plot->savePng(QString::fromStdString(path), width, height) ? TRUE : FALSE;
}

QWidget* CGraphWindow::GetWidget() const { return m_plot.data(); }

std::vector<std::pair<double, double>> CGraphWindow::GetAxisRanges() const {
    if (!m_plot) return {};
    std::vector<std::pair<double, double>> ranges;
    for (QCPAxis* axis : {m_plot->xAxis, m_plot->yAxis, m_plot->yAxis2})
        ranges.emplace_back(axis->range().lower, axis->range().upper);
    return ranges;
}
