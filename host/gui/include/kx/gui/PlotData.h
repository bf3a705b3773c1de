// What the host's graphs, gauges and loggers decide without a widget: the
// host's 16-colour palette, the value a bar is drawn from, value texts in a
// printf-style format, how many points the drive's log buffer holds, the
// zoomed-out range of a plot axis, the CSV text of a logged record and its
// reading back, the readout of the plot cursors and the tint of a reference
// run's curves.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kx/gui/Gui.h"

// A colour as the host stores it: 0x00BBGGRR.
using COLORREF = std::uint32_t;

// Colour `index` of the host's 16-colour palette (black, maroon, green,
// olive, navy, purple, teal, silver, grey, red, lime, yellow, blue,
// fuchsia, aqua, white); the index is taken modulo 16.
KXGUI_API COLORREF RGB16(int index);

namespace kx {

inline constexpr int GetRValue(COLORREF c) { return static_cast<int>(c & 0xFFu); }
inline constexpr int GetGValue(COLORREF c) { return static_cast<int>((c >> 8) & 0xFFu); }
inline constexpr int GetBValue(COLORREF c) { return static_cast<int>((c >> 16) & 0xFFu); }

// The value a bar over [min, max] is drawn from: its minimum when the whole
// span lies above zero (min > 0) or below zero (max < 0), else zero.
KXGUI_API double BarReference(double min, double max);

// `value` printed with a printf-style format that holds exactly one
// floating-point conversion ("%.2G", "%.2f", "%8.3e V"), in the C notation
// whatever the process locale; any other format prints it with "%g".
KXGUI_API std::string FormatValue(const std::string& format, double value);

// Words of the drive's data-logger buffer: points times the words of one
// point (the logged variables' sizes) must fit in it.
inline constexpr int kLogBufferWords = 8192;

// The number of points that fits the log buffer: `points` when they fit,
// else as many as fit; at least 1, and 1 also for nothing to log.
KXGUI_API int FitLogPoints(int points, int wordsPerPoint);

// The range a plot axis shows when zoomed out: the data's range widened by
// `margin` of its span on each side; a flat or empty set of values gets a
// range of its own around the value (or [-1, 1]).
KXGUI_API std::pair<double, double> ZoomOutRange(const std::vector<double>& values, double margin = 0.05);

// One column of a logged record: its name, its unit (empty: none) and its
// values in that unit.
struct PlotColumn {
    std::string name;
    std::string unit;
    std::vector<double> values;
};

// "Motor_Current [A]", or the bare name for a column without unit.
KXGUI_API std::string ColumnTitle(const PlotColumn& column);

// The CSV text of a record: first the summary lines ("# name: value"), then
// a header line of the column titles, then one row per point (as many rows
// as the shortest column has values). Numbers in the C notation, with the
// digits a double needs to read back equal.
KXGUI_API void WriteCsv(std::ostream& out, const std::vector<PlotColumn>& columns,
                        const std::vector<std::pair<std::string, std::string>>& summary);

// A record read back from its CSV text.
struct PlotRecord {
    std::vector<std::pair<std::string, std::string>> summary;
    std::vector<PlotColumn> columns;  // column 0 is the time
};

// A plot file that cannot be read or is not a record as WriteCsv writes it.
// what() names the file, the place ("line 7", "line 7, column 3") and what
// is wrong.
class KXGUI_API PlotFileError : public std::runtime_error {
public:
    PlotFileError(const std::string& source, const std::string& place, const std::string& problem);
    const std::string& Source() const { return m_source; }
    const std::string& Place() const { return m_place; }
    const std::string& Problem() const { return m_problem; }

private:
    std::string m_source, m_place, m_problem;
};

// Reads what WriteCsv wrote: summary lines, the header (titles "Name [unit]"
// or bare names, no name empty or repeated), then rows of exactly one number
// per column in the C notation. Blank lines and line ends "\r\n" are taken.
// `source` names the text in errors. Throws PlotFileError.
KXGUI_API PlotRecord ReadCsv(std::istream& in, const std::string& source);
// ReadCsv on the file at `path`.
KXGUI_API PlotRecord ReadCsvFile(const std::string& path);
// The inverse of ColumnTitle: "Motor_Current [A]" -> name and unit.
KXGUI_API PlotColumn ColumnFromTitle(const std::string& title);

// Where a plot file named `name` goes: in `folder` unless the name has a
// folder of its own, with `extension` (".pdf") unless it has one.
KXGUI_API std::string PlotFilePath(const std::string& folder, const std::string& name,
                                   const std::string& extension);

// The value of a curve at time `t`, interpolated linearly between the two
// samples around it; `time` does not decrease. None outside the samples'
// span, for an empty curve, and where the value is not finite.
KXGUI_API std::optional<double> ValueAt(std::span<const double> time, std::span<const double> values,
                                        double t);

// One curve as the cursors read it.
struct CursorCurve {
    std::string title;  // "Motor_Current [A]"
    std::span<const double> time, values;
};

// What the two cursors read: for each curve its value at each cursor and
// the difference (cursor 2 minus cursor 1).
struct CursorReadout {
    struct Row {
        std::string title;
        std::optional<double> at1, at2;
        std::optional<double> Delta() const {
            return at1 && at2 ? std::optional<double>(*at2 - *at1) : std::nullopt;
        }
    };
    double t1 = 0.0, t2 = 0.0;
    std::vector<Row> rows;
    double DeltaTime() const { return t2 - t1; }
};

KXGUI_API CursorReadout ReadCursors(const std::vector<CursorCurve>& curves, double t1, double t2);

// The readout as lines of a table for a fixed-width font: a heading, the
// time row titled `timeTitle`, then one row per curve; columns cursor 1,
// cursor 2 and the difference; "—" where a curve has no value.
KXGUI_API std::vector<std::string> CursorReadoutLines(const CursorReadout& readout,
                                                      const std::string& timeTitle);

// `color` moved towards white by `amount` (0: unchanged, 1: white).
KXGUI_API COLORREF LighterTint(COLORREF color, double amount);

}  // namespace kx
