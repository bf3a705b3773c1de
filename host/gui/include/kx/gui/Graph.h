// The host's graphs: a graph document holds a logged record (the time
// column and one column per logged variable, with names and units) and its
// filters; a filter chooses the curves drawn from the record; a graph window
// draws one filter in a dialog, in place of a placeholder control, with two
// Y axes, a legend, mouse zoom and zoom-out, two cursors that read the
// curves, and a saved run drawn under the live one for comparison.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kx/gui/Gui.h"
#include "kx/gui/PlotData.h"

class CKX_EditSetupDlg;
class CGraphDocument;
class QMenu;
class CGraphWindow;

namespace kx {
class GraphPlot;
}

// One drawn curve: column `m_nYColumn` over column `m_nXColumn` of the
// record, against Y axis 1 (left) or 2 (right), `m_nWidth` pixels wide (at
// 100 %), in colour `m_crColor` (RGB16 of a palette index).
class KXGUI_API CXYCurve {
public:
    CXYCurve() = default;
    CXYCurve(int yAxis, int xColumn, int yColumn, int width, COLORREF color)
        : m_nYAxis(yAxis), m_nXColumn(xColumn), m_nYColumn(yColumn), m_nWidth(width), m_crColor(color) {}

    int m_nYAxis = 1;
    int m_nXColumn = 0;
    int m_nYColumn = 1;
    int m_nWidth = 1;
    COLORREF m_crColor = 0;
};

// The curves drawn from one graph document.
class KXGUI_API CGraphFilter {
public:
    explicit CGraphFilter(CGraphDocument& document) : m_document(document) {}

    void AddCurve(const CXYCurve& curve) { m_curves.push_back(curve); }
    void RemoveAllCurves() { m_curves.clear(); }
    int GetCurveCount() const { return static_cast<int>(m_curves.size()); }
    const CXYCurve& GetCurve(int index) const { return m_curves.at(static_cast<std::size_t>(index)); }
    CXYCurve& GetCurve(int index) { return m_curves.at(static_cast<std::size_t>(index)); }

    CGraphDocument& GetDocument() const { return m_document; }

    // A colour and a list of values for the window that draws the filter;
    // the oscilloscope's window draws its trigger marker in this colour,
    // from the first to the second value (in divisions) at the trigger time.
    COLORREF m_crColor = 0;
    std::vector<double> m_aValues;

    // The columns the curves draw: their X columns, then their Y columns, in
    // curve order, each once.
    std::vector<kx::PlotColumn> DrawnColumns() const;
    // Writes DrawnColumns as CSV to `name` (a bare name goes into the plot
    // folder as NAME.csv). FALSE, with the reason in `error`, when it cannot.
    BOOL ExportToASCII(const std::string& name, std::string* error = nullptr) const;

private:
    CGraphDocument& m_document;
    std::vector<CXYCurve> m_curves;
};

// A logged record and its filters (one, made with the document). The graph
// windows drawing one of its filters are told when the record changes.
class KXGUI_API CGraphDocument {
public:
    CGraphDocument();
    ~CGraphDocument();
    CGraphDocument(const CGraphDocument&) = delete;
    CGraphDocument& operator=(const CGraphDocument&) = delete;

    int GetCount() const { return static_cast<int>(m_filters.size()); }
    // Filter `index`, or null.
    CGraphFilter* GetAt(int index) const;

    // The record: column 0 is the time.
    std::vector<kx::PlotColumn>& Columns() { return m_columns; }
    const std::vector<kx::PlotColumn>& Columns() const { return m_columns; }
    // Values of every column dropped, names and units kept.
    void ClearValues();
    // Points held (the length of the time column).
    int GetPointCount() const;

    // Windows attached to a filter of this document (not owned).
    void Attach(CGraphWindow* window);
    void Detach(CGraphWindow* window);
    const std::vector<CGraphWindow*>& Windows() const { return m_windows; }

private:
    std::vector<kx::PlotColumn> m_columns;
    std::vector<std::unique_ptr<CGraphFilter>> m_filters;
    std::vector<CGraphWindow*> m_windows;
};

// A graph in a dialog. `yAxes` is 1 or 2 (the right-hand axis shows the
// curves of Y axis 2); `options` is a set of kGraph… flags.
class KXGUI_API CGraphWindow {
public:
    static constexpr int kGraphNoLegend = 0x1;

    CGraphWindow(int yAxes, int options);
    virtual ~CGraphWindow();
    CGraphWindow(const CGraphWindow&) = delete;
    CGraphWindow& operator=(const CGraphWindow&) = delete;

    // Draws `filter` inside the placeholder control `controlId` of `dialog`
    // (showing, hiding and enabling the control act on the graph). A second
    // call moves the graph to the new filter. FALSE when the dialog has no
    // such control or there is no filter.
    BOOL SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog, CGraphFilter* filter);

    // Axis titles from the columns of the curves, fonts and pens for the
    // screen's scale, the legend.
    virtual void ApplySettings();
    // Rebuilds every curve from the whole record and zooms out.
    void RefreshGraph();
    // Shows all the data again after a zoom.
    void DoZoomOut();
    // Draws the points that arrived since the last drawing.
    void UpdateLastPoint();
    // Redraws soon (the record was replaced or cleared).
    void Invalidate();

    // Writes the picture as PNG; FALSE when it cannot be written.
    BOOL SavePicture(const std::string& path) const;
    // Writes the picture as a vector file (PDF) to `name`: a bare name goes
    // into the plot folder as NAME.pdf. Writes the drawn data as CSV to
    // `name` (NAME.csv in the plot folder). On failure both return FALSE,
    // keep the reason in GetError and show it over the graph's dialog.
    BOOL CreateWMF(const std::string& name);
    BOOL ExportToASCII(const std::string& name);
    // The file the last CreateWMF or ExportToASCII wrote.
    const std::string& GetSavedFile() const { return m_saved; }
    const std::string& GetError() const { return m_error; }

    // A run saved by SaveGraph or ExportToASCII, read from its CSV and drawn
    // under the live curves in a lighter tint of the colour of the curve of
    // the same name. FALSE (the reason in GetError, the previous reference
    // kept) when the file is malformed or holds none of the drawn signals.
    BOOL LoadReferenceRun(const std::string& path);
    void ClearReferenceRun();
    bool HasReferenceRun() const { return m_reference != nullptr; }
    // The reference run's curves as drawn: the live curve each one matches
    // and its colour.
    std::vector<std::pair<int, COLORREF>> GetReferenceCurves() const;

    // The two cursors (off until switched on): switching them on places them
    // at a third and two thirds of the time shown.
    void ShowCursors(bool on);
    bool CursorsShown() const;
    void SetCursorTimes(double t1, double t2);
    std::pair<double, double> GetCursorTimes() const;
    // Time and value of each drawn curve at each cursor, and the differences.
    kx::CursorReadout ReadCursors() const;

    // Adds a dialog's own commands to the graph's context menu (called each
    // time the menu opens, after the graph's entries).
    void SetContextMenuHook(std::function<void(QMenu&)> hook) { m_menuHook = std::move(hook); }

    CGraphFilter* GetFilter() const { return m_filter; }
    // The plot widget (null before SubclassDlgItem).
    QWidget* GetWidget() const;
    // The range each axis shows now: x, y1, y2 as (lower, upper).
    std::vector<std::pair<double, double>> GetAxisRanges() const;

private:
    friend class CGraphDocument;
    void Forget();  // the document is going away

    void ZoomOutAxes();
    void ShowContextMenu(const QPoint& at);
    void PromptReferenceRun();
    void ReportError() const;

    int m_yAxes;
    int m_options;
    CGraphFilter* m_filter = nullptr;
    QPointer<kx::GraphPlot> m_plot;  // a child of its placeholder control
    std::vector<int> m_drawn;        // points drawn of each curve
    std::unique_ptr<kx::PlotRecord> m_reference;
    std::string m_referenceName;
    std::function<void(QMenu&)> m_menuHook;
    std::string m_saved;
    std::string m_error;
};
