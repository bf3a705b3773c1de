// The plot widget of a graph window, and the drawing of a graph filter that
// the graph windows and the logger's saved picture share.
#pragma once

#include <qcustomplot.h>

#include <string>

class CGraphFilter;

namespace kx {

class GraphPlot : public QCustomPlot {
public:
    explicit GraphPlot(int yAxes, bool legend, QWidget* parent = nullptr);

    // Builds every curve of `filter` from its whole record.
    void Draw(const CGraphFilter& filter);
    // Every axis back to the whole record.
    void ZoomOut(const CGraphFilter& filter);
    // True once the user zoomed in (wheel or rubber band) since ZoomOut.
    bool UserZoomed() const { return m_userZoomed; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_yAxes;
    bool m_userZoomed = false;
    const CGraphFilter* m_lastFilter = nullptr;
};

// Writes the picture of `filter` as a PNG of the given size (used when no
// window draws the filter). False when it cannot be written.
bool SaveFilterPicture(const CGraphFilter& filter, int yAxes, const std::string& path, int width, int height);

}  // namespace kx
