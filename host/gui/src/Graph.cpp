#include "kx/gui/Graph.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "GraphPlot.h"
#include "kx/Comm.h"
#include "kx/Setup.h"
#include "kx/gui/EditSetupDlg.h"
#include "kx/gui/Gui.h"

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
// How far a reference run's colours are moved towards white.
constexpr double kReferenceTint = 0.6;
// Pixels either side of a cursor line that grab it.
constexpr double kCursorReach = 5.0;
constexpr const char* kReferenceSuffix = " (saved)";

// The column of `record` named `name`, or -1.
int FindColumn(const kx::PlotRecord& record, const std::string& name) {
    for (std::size_t i = 0; i < record.columns.size(); ++i)
        if (kx::NameEqual{}(record.columns[i].name, name)) return static_cast<int>(i);
    return -1;
}

// The reference run's columns (x, y) that stand for live curve `curve`, or
// (-1, -1): the Y column by name, the X column by name or else the first.
std::pair<int, int> ReferenceColumns(const kx::PlotRecord& record, const CGraphFilter& filter, int curve) {
    const CXYCurve& c = filter.GetCurve(curve);
    const kx::PlotColumn* x = ColumnAt(filter, c.m_nXColumn);
    const kx::PlotColumn* y = ColumnAt(filter, c.m_nYColumn);
    const int ry = y ? FindColumn(record, y->name) : -1;
    int rx = x ? FindColumn(record, x->name) : -1;
    if (rx < 0) rx = 0;
    if (ry < 0 || ry == rx) return {-1, -1};
    return {rx, ry};
}

}  // namespace

namespace kx {

GraphPlot::GraphPlot(int yAxes, bool legend, QWidget* parent)
    : QCustomPlot(parent), m_yAxes(yAxes), m_legend(legend) {
    setBackground(Qt::white);
    setAntialiasedElements(QCP::aePlottables);
    // A record of thousands of points drawn as one antialiased polyline
    // goes through the painter's path stroker: a tenth of a second for
    // each replot, which a cursor drag repeats. Drawn as segments it costs
    // a fraction of that.
    setPlottingHints(plottingHints() | QCP::phFastPolylines);
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
    if (legend) PlaceLegendAbove(*this);
    setMinimumSize(160, 120);
    // The readout follows the data as it arrives and the cursors as they move.
    connect(this, &QCustomPlot::beforeReplot, this, [this] {
        ArrangeLegend();
        UpdateReadout();
    });
}

void GraphPlot::ArrangeLegend() {
    if (m_legend) WrapLegend(*this);
}

void PlaceLegendAbove(QCustomPlot& plot) {
    // The legend sits in a row of its own above the axes, so that it never
    // hides a curve.
    QFont small = plot.font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - kLegendFontShrink));
    plot.legend->setFont(small);
    plot.legend->setVisible(true);
    plot.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot.legend->setBorderPen(Qt::NoPen);
    plot.plotLayout()->insertRow(0);
    plot.plotLayout()->addElement(0, 0, plot.legend);
    plot.plotLayout()->setRowStretchFactor(0, 0.001);
}

void WrapLegend(QCustomPlot& plot) {
    // As many entries in a row as fit the width; the rest wrap.
    QCPLegend& legend = *plot.legend;
    int widest = 1;
    for (int i = 0; i < legend.itemCount(); ++i) {
        if (const QCPLayoutElement* item = legend.item(i))  // null: an empty cell
            widest = std::max(widest, item->minimumOuterSizeHint().width());
    }
    const QMargins margins = legend.margins();
    const int room = plot.viewport().width() - margins.left() - margins.right();
    const int columns = std::max(1, (room + legend.columnSpacing()) / (widest + legend.columnSpacing()));
    if (columns == legend.wrap()) return;
    legend.setWrap(columns);
    legend.setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
}

void GraphPlot::SetReference(const PlotRecord* record, const QString& name) {
    m_referenceRecord = record;
    m_referenceName = name;
}

void GraphPlot::Draw(const CGraphFilter& filter) {
    m_lastFilter = &filter;
    clearGraphs();
    m_live.clear();
    m_reference.clear();
    const auto axisOf = [&](const CXYCurve& curve) {
        return (m_yAxes >= 2 && curve.m_nYAxis == 2) ? yAxis2 : yAxis;
    };
    // The reference run first, so that the live curves are drawn over it.
    if (m_referenceRecord) {
        for (int i = 0; i < filter.GetCurveCount(); ++i) {
            const auto [rx, ry] = ReferenceColumns(*m_referenceRecord, filter, i);
            if (ry < 0) continue;
            const CXYCurve& curve = filter.GetCurve(i);
            QCPGraph* graph = addGraph(xAxis, axisOf(curve));
            graph->setPen(
                QPen(ToQColor(LighterTint(curve.m_crColor, kReferenceTint)), std::max(1, curve.m_nWidth)));
            const PlotColumn& x = m_referenceRecord->columns[static_cast<std::size_t>(rx)];
            const PlotColumn& y = m_referenceRecord->columns[static_cast<std::size_t>(ry)];
            graph->setName(QString::fromStdString(ColumnTitle(y) + kReferenceSuffix));
            const std::size_t n = std::min(x.values.size(), y.values.size());
            QVector<double> keys(static_cast<qsizetype>(n)), values(static_cast<qsizetype>(n));
            std::copy_n(x.values.begin(), n, keys.begin());
            std::copy_n(y.values.begin(), n, values.begin());
            graph->setData(keys, values, true);
            graph->removeFromLegend();
            m_reference.emplace_back(graph, i);
        }
    }
    for (int i = 0; i < filter.GetCurveCount(); ++i) {
        const CXYCurve& curve = filter.GetCurve(i);
        QCPGraph* graph = addGraph(xAxis, axisOf(curve));
        m_live.push_back(graph);
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
    // One legend entry, after the live ones, stands for the whole reference run.
    if (!m_reference.empty()) {
        QCPGraph* entry = m_reference.front().first;
        entry->setName(QString("Saved run: %1").arg(m_referenceName));
        entry->addToLegend();
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
        auto& into = (m_yAxes >= 2 && curve.m_nYAxis == 2) ? y2 : y1;
        if (y) into.insert(into.end(), y->values.begin(), y->values.end());
        if (!m_referenceRecord) continue;
        const auto [rx, ry] = ReferenceColumns(*m_referenceRecord, filter, i);
        if (ry < 0) continue;
        const auto& rxs = m_referenceRecord->columns[static_cast<std::size_t>(rx)].values;
        const auto& rys = m_referenceRecord->columns[static_cast<std::size_t>(ry)].values;
        xs.insert(xs.end(), rxs.begin(), rxs.end());
        into.insert(into.end(), rys.begin(), rys.end());
    }
    const auto [x0, x1] = ZoomOutRange(xs, 0.0);
    const auto [a0, a1] = ZoomOutRange(y1, kZoomMargin);
    const auto [b0, b1] = ZoomOutRange(y2, kZoomMargin);
    xAxis->setRange(x0, x1);
    yAxis->setRange(a0, a1);
    yAxis2->setRange(b0, b1);
    m_userZoomed = false;
}

void GraphPlot::Forget() {
    m_lastFilter = nullptr;
    clearGraphs();
    m_live.clear();
    m_reference.clear();
}

// ---- cursors

void GraphPlot::ShowCursors(bool on) {
    if (on == m_cursorsOn) return;
    m_cursorsOn = on;
    m_dragging = -1;
    setMouseTracking(on);
    if (!on) {
        for (auto& line : m_cursorLines) removeItem(line);
        for (auto& tag : m_cursorTags) removeItem(tag);
        m_cursorLines = {nullptr, nullptr};
        m_cursorTags = {nullptr, nullptr};
        if (m_readout->layout())
            plotLayout()->remove(m_readout);
        else
            delete m_readout;
        plotLayout()->simplify();
        m_readout = nullptr;
        unsetCursor();
        return;
    }
    const QCPRange shown = xAxis->range();
    m_cursor = {shown.lower + shown.size() / 3.0, shown.lower + shown.size() * 2.0 / 3.0};
    const QPen pen(QColor(40, 40, 40), 1, Qt::DashLine);
    for (std::size_t i = 0; i < 2; ++i) {
        auto* line = new QCPItemStraightLine(this);
        line->setPen(pen);
        line->setClipToAxisRect(true);
        for (QCPItemPosition* end : {line->point1, line->point2}) {
            end->setAxes(xAxis, yAxis);
            end->setTypeX(QCPItemPosition::ptPlotCoords);
            end->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        auto* tag = new QCPItemText(this);
        tag->setText(QString::number(i + 1));
        tag->setFont(legend->font());
        tag->setColor(QColor(40, 40, 40));
        tag->setBrush(QBrush(QColor(255, 255, 255, 220)));
        tag->setPadding(QMargins(2, 0, 2, 0));
        tag->setPositionAlignment(Qt::AlignHCenter | Qt::AlignTop);
        tag->position->setAxes(xAxis, yAxis);
        tag->position->setTypeX(QCPItemPosition::ptPlotCoords);
        tag->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        tag->setClipToAxisRect(true);
        m_cursorLines[i] = line;
        m_cursorTags[i] = tag;
    }
    QFont mono = legend->font();
    mono.setFamily("monospace");
    mono.setStyleHint(QFont::Monospace);
    m_readout = new QCPTextElement(this, QString(), mono);
    m_readout->setTextFlags(Qt::AlignLeft | Qt::AlignVCenter);
    m_readout->setMargins(QMargins(8, 4, 6, 4));
    m_readoutBeside = -1;
    PlaceCursorItems();
}

void GraphPlot::SetCursorTimes(double t1, double t2) {
    m_cursor = {t1, t2};
    PlaceCursorItems();
}

void GraphPlot::PlaceCursorItems() {
    if (!m_cursorsOn) return;
    for (std::size_t i = 0; i < 2; ++i) {
        m_cursorLines[i]->point1->setCoords(m_cursor[i], 0.0);
        m_cursorLines[i]->point2->setCoords(m_cursor[i], 1.0);
        m_cursorTags[i]->position->setCoords(m_cursor[i], 0.0);
    }
}

CursorReadout GraphPlot::ReadCursors() const {
    std::vector<CursorCurve> curves;
    if (m_lastFilter) {
        const CGraphFilter& filter = *m_lastFilter;
        for (int i = 0; i < filter.GetCurveCount(); ++i) {
            const PlotColumn* x = ColumnAt(filter, filter.GetCurve(i).m_nXColumn);
            const PlotColumn* y = ColumnAt(filter, filter.GetCurve(i).m_nYColumn);
            if (x && y) curves.push_back({ColumnTitle(*y), x->values, y->values});
        }
        if (m_referenceRecord)
            for (int i = 0; i < filter.GetCurveCount(); ++i) {
                const auto [rx, ry] = ReferenceColumns(*m_referenceRecord, filter, i);
                if (ry < 0) continue;
                const PlotColumn& x = m_referenceRecord->columns[static_cast<std::size_t>(rx)];
                const PlotColumn& y = m_referenceRecord->columns[static_cast<std::size_t>(ry)];
                curves.push_back({ColumnTitle(y) + kReferenceSuffix, x.values, y.values});
            }
    }
    return kx::ReadCursors(curves, m_cursor[0], m_cursor[1]);
}

void GraphPlot::UpdateReadout() {
    if (!m_cursorsOn || !m_readout) return;
    std::string time = "Time [s]";
    if (m_lastFilter && m_lastFilter->GetCurveCount())
        if (const PlotColumn* x = ColumnAt(*m_lastFilter, m_lastFilter->GetCurve(0).m_nXColumn))
            time = ColumnTitle(*x);
    QStringList lines;
    for (const std::string& line : CursorReadoutLines(ReadCursors(), time))
        lines << QString::fromStdString(line);
    m_readout->setText(lines.join('\n'));
    PlaceReadout();
}

void GraphPlot::PlaceReadout() {
    // Beside the axes when the plot is wide enough for both, else below
    // them: either way in a cell of its own, so that it hides no curve.
    const QSize needed =
        QFontMetrics(m_readout->font()).boundingRect(QRect(), Qt::AlignLeft, m_readout->text()).size();
    const int beside = viewport().width() >= needed.width() * 5 / 2 ? 1 : 0;
    if (beside == m_readoutBeside) return;
    if (m_readout->layout()) plotLayout()->take(m_readout);
    plotLayout()->simplify();
    if (beside) {
        plotLayout()->addElement(AxisRectRow(), 1, m_readout);
        plotLayout()->setColumnStretchFactor(1, 0.001);
    } else {
        plotLayout()->addElement(AxisRectRow() + 1, 0, m_readout);
        plotLayout()->setRowStretchFactor(AxisRectRow() + 1, 0.001);
    }
    m_readoutBeside = beside;
}

int GraphPlot::CursorNear(const QPointF& pos) const {
    if (!m_cursorsOn || !axisRect()->rect().contains(pos.toPoint())) return -1;
    int nearest = -1;
    double best = kCursorReach;
    for (int i = 0; i < 2; ++i) {
        const double distance =
            std::abs(xAxis->coordToPixel(m_cursor[static_cast<std::size_t>(i)]) - pos.x());
        if (distance <= best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

void GraphPlot::mousePressEvent(QMouseEvent* event) {
    // Only the left button zooms; the right one opens the context menu.
    if (event->button() != Qt::LeftButton) return;
    m_dragging = CursorNear(event->position());
    if (m_dragging >= 0) return;  // a cursor is taken, not a rubber band
    QCustomPlot::mousePressEvent(event);
}

void GraphPlot::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging >= 0) {
        const QCPRange shown = xAxis->range();
        m_cursor[static_cast<std::size_t>(m_dragging)] =
            std::clamp(xAxis->pixelToCoord(event->position().x()), shown.lower, shown.upper);
        PlaceCursorItems();
        replot(rpQueuedReplot);
        return;
    }
    if (m_cursorsOn && !(event->buttons() & Qt::LeftButton)) {
        if (CursorNear(event->position()) >= 0)
            setCursor(Qt::SizeHorCursor);
        else
            unsetCursor();
    }
    QCustomPlot::mouseMoveEvent(event);
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
    if (m_dragging >= 0) {
        m_dragging = -1;
        return;
    }
    if (event->button() != Qt::LeftButton) return;
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

bool SaveRecordFiles(const std::string& name, const std::vector<PlotColumn>& columns,
                     const std::vector<std::pair<std::string, std::string>>& summary,
                     const std::function<bool(const std::string& png)>& picture, QWidget* parent,
                     std::vector<std::string>& saved, std::string& error) {
    saved.clear();
    error.clear();
    const std::filesystem::path folder = PlotFolder();
    const std::string csv = (folder / (name + ".csv")).string();
    const std::string png = (folder / (name + ".png")).string();
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    if (code) {
        error = "Could not create the plot folder \"" + folder.string() + "\": " + code.message() + ".";
    } else {
        std::ofstream out(csv, std::ios::binary | std::ios::trunc);
        if (out) WriteCsv(out, columns, summary);
        out.close();
        if (!out)
            error = "Could not write the plot file \"" + csv + "\".";
        else if (!picture(png))
            error = "Could not write the plot picture \"" + png + "\".";
    }
    if (!error.empty()) {
        MessageBox(parent, error, {}, MB_OK | MB_ICONERROR);
        return false;
    }
    saved = {csv, png};
    return true;
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
        m_plot->Forget();
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
        m_plot->SetReference(m_reference.get(), QString::fromStdString(m_referenceName));
        m_plot->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(m_plot, &QWidget::customContextMenuRequested, m_plot,
                         [this](const QPoint& at) { ShowContextMenu(at); });
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
    for (int i = 0; i < m_plot->LiveCount(); ++i)
        m_drawn[static_cast<std::size_t>(i)] = static_cast<int>(m_plot->Live(i)->dataCount());
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
    if (m_plot->LiveCount() != m_filter->GetCurveCount()) {
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
        QCPGraph* graph = m_plot->Live(i);
        for (std::size_t k = static_cast<std::size_t>(drawn); k < n; ++k) graph->addData(x[k], y[k]);
        drawn = static_cast<int>(n);
    }
    if (!m_plot->UserZoomed()) m_plot->ZoomOut(*m_filter);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void CGraphWindow::Invalidate() {
    if (!m_plot) return;
    if (m_filter && m_filter->GetDocument().GetPointCount() == 0) {
        for (int i = 0; i < m_plot->LiveCount(); ++i) m_plot->Live(i)->data()->clear();
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

// ---- export

std::vector<kx::PlotColumn> CGraphFilter::DrawnColumns() const {
    std::vector<int> order;
    const auto add = [&](int column) {
        if (ColumnAt(*this, column) && std::find(order.begin(), order.end(), column) == order.end())
            order.push_back(column);
    };
    for (const CXYCurve& curve : m_curves) add(curve.m_nXColumn);
    for (const CXYCurve& curve : m_curves) add(curve.m_nYColumn);
    std::vector<kx::PlotColumn> columns;
    for (int column : order) columns.push_back(*ColumnAt(*this, column));
    return columns;
}

BOOL CGraphFilter::ExportToASCII(const std::string& name, std::string* error) const {
    const std::string path = kx::PlotFilePath(kx::PlotFolder(), name, ".csv");
    std::string problem;
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), code);
    if (code) {
        problem = "Could not create the folder of \"" + path + "\": " + code.message() + ".";
    } else {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (out) kx::WriteCsv(out, DrawnColumns(), {});
        out.close();
        if (!out) problem = "Could not write the plot file \"" + path + "\".";
    }
    if (error) *error = problem.empty() ? std::string() : problem;
    return problem.empty() ? TRUE : FALSE;
}

void CGraphWindow::ReportError() const {
    QWidget* parent = m_plot ? m_plot->window() : nullptr;
    kx::MessageBox(parent, m_error, {}, MB_OK | MB_ICONERROR);
}

BOOL CGraphWindow::CreateWMF(const std::string& name) {
    m_saved.clear();
    m_error.clear();
    if (kx::WritePlotPdf(m_plot, name, m_saved, m_error)) return TRUE;
    if (m_plot) ReportError();
    return FALSE;
}

BOOL CGraphWindow::ExportToASCII(const std::string& name) {
    m_saved.clear();
    m_error.clear();
    if (kx::WriteFilterText(m_filter, name, m_saved, m_error)) return TRUE;
    if (m_filter) ReportError();
    return FALSE;
}

bool kx::WritePlotPdf(QCustomPlot* plot, const std::string& name, std::string& saved, std::string& error) {
    const std::string path = kx::PlotFilePath(kx::PlotFolder(), name, ".pdf");
    if (!plot) {
        error = "There is no graph to write to \"" + path + "\".";
        return false;
    }
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), code);
    const int width = std::max(plot->width(), 640), height = std::max(plot->height(), 400);
    if (code || !plot->savePdf(QString::fromStdString(path), width, height)) {
        error = "Could not write the plot picture \"" + path + "\".";
        return false;
    }
    saved = path;
    return true;
}

bool kx::WriteFilterText(const CGraphFilter* filter, const std::string& name, std::string& saved,
                         std::string& error) {
    if (!filter) {
        error = "There is no graph to export.";
        return false;
    }
    if (!filter->ExportToASCII(name, &error)) return false;
    saved = kx::PlotFilePath(kx::PlotFolder(), name, ".csv");
    return true;
}

// ---- the reference run

BOOL CGraphWindow::LoadReferenceRun(const std::string& path) {
    m_error.clear();
    if (!m_filter || !m_plot) {
        m_error = "There is no graph to compare with \"" + path + "\".";
        return FALSE;
    }
    auto record = std::make_unique<kx::PlotRecord>();
    try {
        *record = kx::ReadCsvFile(path);
    } catch (const kx::PlotFileError& error) {
        m_error = error.what();
        return FALSE;
    }
    bool matched = false;
    for (int i = 0; i < m_filter->GetCurveCount() && !matched; ++i)
        matched = ReferenceColumns(*record, *m_filter, i).second >= 0;
    if (!matched) {
        m_error = path + ": none of the signals drawn here is in this run.";
        return FALSE;
    }
    m_reference = std::move(record);
    m_referenceName = std::filesystem::path(path).stem().string();
    m_plot->SetReference(m_reference.get(), QString::fromStdString(m_referenceName));
    RefreshGraph();
    return TRUE;
}

void CGraphWindow::ClearReferenceRun() {
    if (m_plot) m_plot->SetReference(nullptr, {});
    m_reference.reset();
    m_referenceName.clear();
    if (m_plot && m_filter) RefreshGraph();
}

std::vector<std::pair<int, COLORREF>> CGraphWindow::GetReferenceCurves() const {
    std::vector<std::pair<int, COLORREF>> curves;
    if (!m_plot) return curves;
    for (const auto& [graph, curve] : m_plot->ReferenceGraphs()) {
        const QColor c = graph->pen().color();
        curves.emplace_back(curve, static_cast<COLORREF>(c.red() | (c.green() << 8) | (c.blue() << 16)));
    }
    return curves;
}

// ---- cursors

void CGraphWindow::ShowCursors(bool on) {
    if (!m_plot) return;
    m_plot->ShowCursors(on);
    m_plot->replot();
}

bool CGraphWindow::CursorsShown() const { return m_plot && m_plot->CursorsShown(); }

void CGraphWindow::SetCursorTimes(double t1, double t2) {
    if (!m_plot) return;
    m_plot->SetCursorTimes(t1, t2);
    m_plot->replot();
}

std::pair<double, double> CGraphWindow::GetCursorTimes() const {
    return m_plot ? m_plot->CursorTimes() : std::pair<double, double>{0.0, 0.0};
}

kx::CursorReadout CGraphWindow::ReadCursors() const {
    return m_plot ? m_plot->ReadCursors() : kx::CursorReadout{};
}

// ---- the context menu

void CGraphWindow::ShowContextMenu(const QPoint& at) {
    if (!m_plot) return;
    QMenu menu(m_plot);
    QAction* cursors = menu.addAction(QString("Cursors"));
    cursors->setCheckable(true);
    cursors->setChecked(CursorsShown());
    QObject::connect(cursors, &QAction::toggled, m_plot, [this](bool on) { ShowCursors(on); });
    menu.addSeparator();
    QAction* compare = menu.addAction(QString("Compare with saved run…"));
    compare->setEnabled(m_filter != nullptr);
    QObject::connect(compare, &QAction::triggered, m_plot, [this] { PromptReferenceRun(); });
    QAction* clear = menu.addAction(QString("Clear comparison"));
    clear->setEnabled(HasReferenceRun());
    QObject::connect(clear, &QAction::triggered, m_plot, [this] { ClearReferenceRun(); });
    menu.addSeparator();
    QAction* zoom = menu.addAction(QString("Zoom out"));
    zoom->setEnabled(m_filter != nullptr);
    QObject::connect(zoom, &QAction::triggered, m_plot, [this] { DoZoomOut(); });
    if (m_menuHook) m_menuHook(menu);
    menu.exec(m_plot->mapToGlobal(at));
}

void CGraphWindow::PromptReferenceRun() {
    const QString path =
        QFileDialog::getOpenFileName(m_plot, QString("Compare with saved run"),
                                     QString::fromStdString(kx::PlotFolder()), QString("Saved runs (*.csv)"));
    if (path.isEmpty()) return;
    if (!LoadReferenceRun(path.toStdString())) ReportError();
}
