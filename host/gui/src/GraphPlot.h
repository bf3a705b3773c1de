// The plot widget of a graph window, and the drawing of a graph filter that
// the graph windows and the logger's saved picture share.
#pragma once

#include <qcustomplot.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "kx/gui/PlotData.h"

class CGraphFilter;

namespace kx {

class GraphPlot : public QCustomPlot {
public:
    explicit GraphPlot(int yAxes, bool legend, QWidget* parent = nullptr);

    // Builds every curve of `filter` from its whole record, over the curves
    // of the reference run if there is one.
    void Draw(const CGraphFilter& filter);
    // Every axis back to the whole record (and the reference run).
    void ZoomOut(const CGraphFilter& filter);
    // True once the user zoomed in (wheel or rubber band) since ZoomOut.
    bool UserZoomed() const { return m_userZoomed; }
    // The filter is going away: nothing drawn from it any more.
    void Forget();

    // The graphs of the filter's curves, in curve order (the reference run's
    // graphs are not among them).
    int LiveCount() const { return static_cast<int>(m_live.size()); }
    QCPGraph* Live(int curve) const { return m_live.at(static_cast<std::size_t>(curve)); }

    // A saved run drawn under the live curves, in a lighter tint of the
    // colour of the live curve of the same name (not owned; null: none).
    // Takes effect at the next Draw.
    void SetReference(const PlotRecord* record, const QString& name);
    // The reference run's graphs and, for each, the live curve it matches.
    const std::vector<std::pair<QCPGraph*, int>>& ReferenceGraphs() const { return m_reference; }

    // The two cursors: shown or not, and their times.
    void ShowCursors(bool on);
    bool CursorsShown() const { return m_cursorsOn; }
    void SetCursorTimes(double t1, double t2);
    std::pair<double, double> CursorTimes() const { return {m_cursor[0], m_cursor[1]}; }
    // What the cursors read on every drawn curve (live, then reference).
    CursorReadout ReadCursors() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The cursor whose line is within reach of the pointer, or -1.
    int CursorNear(const QPointF& pos) const;
    void PlaceCursorItems();
    void ArrangeLegend();
    void UpdateReadout();
    void PlaceReadout();
    // The readout's place: beside the axis rect, in the axis rect's row.
    int AxisRectRow() const { return m_legend ? 1 : 0; }

    int m_yAxes;
    bool m_legend;
    bool m_userZoomed = false;
    const CGraphFilter* m_lastFilter = nullptr;
    std::vector<QCPGraph*> m_live;

    const PlotRecord* m_referenceRecord = nullptr;
    QString m_referenceName;
    std::vector<std::pair<QCPGraph*, int>> m_reference;

    bool m_cursorsOn = false;
    std::array<double, 2> m_cursor = {0.0, 0.0};
    std::array<QCPItemStraightLine*, 2> m_cursorLines = {nullptr, nullptr};
    std::array<QCPItemText*, 2> m_cursorTags = {nullptr, nullptr};
    QCPTextElement* m_readout = nullptr;
    int m_readoutBeside = -1;  // 1 beside the axes, 0 below them, -1 not placed
    int m_dragging = -1;       // the cursor being dragged
};

// The plot's legend in a row of its own above the axes, in a smaller font;
// and its entries wrapped into as many columns as the width holds (before
// each replot).
void PlaceLegendAbove(QCustomPlot& plot);
void WrapLegend(QCustomPlot& plot);

// Writes the picture of `filter` as a PNG of the given size (used when no
// window draws the filter). False when it cannot be written.
bool SaveFilterPicture(const CGraphFilter& filter, int yAxes, const std::string& path, int width, int height);

// Size of the pictures that "S&ave Plots" writes.
inline constexpr int kRecordPictureWidth = 960, kRecordPictureHeight = 600;

// Saves a logged record under `name` in the plot folder: NAME.csv (the
// summary lines and the columns) and NAME.png, which `picture` draws into
// the path it is given. On success `saved` names both files and the error
// is empty; on failure the error says which file could not be written and
// is shown in a message box over `parent`.
bool SaveRecordFiles(const std::string& name, const std::vector<PlotColumn>& columns,
                     const std::vector<std::pair<std::string, std::string>>& summary,
                     const std::function<bool(const std::string& png)>& picture, QWidget* parent,
                     std::vector<std::string>& saved, std::string& error);

// The plot's picture as a vector file NAME.pdf in the plot folder (a path
// as given), at least 640 × 400. On success `saved` is the file; on
// failure `error` says why.
bool WritePlotPdf(QCustomPlot* plot, const std::string& name, std::string& saved, std::string& error);
// The filter's drawn columns as NAME.csv in the plot folder, likewise.
bool WriteFilterText(const CGraphFilter* filter, const std::string& name, std::string& saved,
                     std::string& error);

}  // namespace kx
