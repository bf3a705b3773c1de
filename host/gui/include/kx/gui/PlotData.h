// What the host's graphs, gauges and loggers decide without a widget: the
// host's 16-colour palette, the value a bar is drawn from, value texts in a
// printf-style format, how many points the drive's log buffer holds, the
// zoomed-out range of a plot axis, and the CSV text of a logged record.
#pragma once

#include <cstdint>
#include <ostream>
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

}  // namespace kx
