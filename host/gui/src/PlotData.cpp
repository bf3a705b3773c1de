#include "kx/gui/PlotData.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <string_view>

namespace {

// The host's palette, 0x00BBGGRR.
constexpr std::array<COLORREF, 16> kPalette = {
    0x000000,  // black
    0x000080,  // maroon
    0x008000,  // green
    0x008080,  // olive
    0x800000,  // navy
    0x800080,  // purple
    0x808000,  // teal
    0xC0C0C0,  // silver
    0x808080,  // grey
    0x0000FF,  // red
    0x00FF00,  // lime
    0x00FFFF,  // yellow
    0xFF0000,  // blue
    0xFF00FF,  // fuchsia
    0xFFFF00,  // aqua
    0xFFFFFF,  // white
};

// True for a format with exactly one floating-point conversion and no other
// conversion ("%%" is text).
bool OneDoubleConversion(const std::string& format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (++i >= format.size()) return false;
        if (format[i] == '%') continue;
        while (i < format.size() && std::string_view("-+ #0").find(format[i]) != std::string_view::npos) ++i;
        while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
        if (i < format.size() && format[i] == '.') {
            ++i;
            while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
        }
        if (i >= format.size() || std::string_view("eEfFgGaA").find(format[i]) == std::string_view::npos)
            return false;
        ++conversions;
    }
    return conversions == 1;
}

std::string Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(
            Trim(line.substr(start, comma == std::string_view::npos ? line.npos : comma - start)));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

// Characters of UTF-8 text, as a fixed-width font lays them out.
std::size_t Width(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

std::string PadRight(const std::string& text, std::size_t width) {
    return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

std::string PadLeft(const std::string& text, std::size_t width) {
    return std::string(width > Width(text) ? width - Width(text) : 0, ' ') + text;
}

constexpr const char* kNoValue = "\u2014";
constexpr const char* kReadoutFormat = "%.5g";

std::string Reading(const std::optional<double>& value) {
    return value ? kx::FormatValue(kReadoutFormat, *value) : std::string(kNoValue);
}

}  // namespace

COLORREF RGB16(int index) { return kPalette[static_cast<std::size_t>(index & 15)]; }

namespace kx {

double BarReference(double min, double max) { return (min > 0.0 || max < 0.0) ? min : 0.0; }

std::string FormatValue(const std::string& format, double value) {
    const std::string& used = OneDoubleConversion(format) ? format : std::string("%g");
    char text[128];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int n = std::snprintf(text, sizeof text, used.c_str(), value);
#pragma GCC diagnostic pop
    if (n < 0) return {};
    std::string printed(text, static_cast<std::size_t>(std::min<int>(n, sizeof text - 1)));
    // The C library prints in the process locale (the user's, once Qt has
    // started): the point is put back.
    const std::string_view point = std::localeconv()->decimal_point;
    if (point.empty() || point == ".") return printed;
    std::string plain;
    for (std::size_t i = 0; i < printed.size();) {
        if (printed.compare(i, point.size(), point) == 0) {
            plain += '.';
            i += point.size();
        } else {
            plain += printed[i++];
        }
    }
    return plain;
}

int FitLogPoints(int points, int wordsPerPoint) {
    if (wordsPerPoint <= 0) return 1;
    return std::max(1, std::min(points, kLogBufferWords / wordsPerPoint));
}

std::pair<double, double> ZoomOutRange(const std::vector<double>& values, double margin) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (double v : values)
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (!(low <= high)) return {-1.0, 1.0};
    if (high == low) {
        const double half = low == 0.0 ? 1.0 : std::abs(low) * 0.1;
        return {low - half, high + half};
    }
    const double widen = (high - low) * margin;
    return {low - widen, high + widen};
}

std::string ColumnTitle(const PlotColumn& column) {
    return column.unit.empty() ? column.name : column.name + " [" + column.unit + "]";
}

void WriteCsv(std::ostream& out, const std::vector<PlotColumn>& columns,
              const std::vector<std::pair<std::string, std::string>>& summary) {
    for (const auto& [name, value] : summary) out << "# " << name << ": " << value << '\n';
    std::size_t rows = columns.empty() ? 0 : std::numeric_limits<std::size_t>::max();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        out << (c ? "," : "") << ColumnTitle(columns[c]);
        rows = std::min(rows, columns[c].values.size());
    }
    out << '\n';
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns.size(); ++c)
            out << (c ? "," : "") << Number(columns[c].values[r]);
        out << '\n';
    }
}

}  // namespace kx

namespace kx {

PlotFileError::PlotFileError(const std::string& source, const std::string& place, const std::string& problem)
    : std::runtime_error(source + (place.empty() ? "" : ": " + place) + ": " + problem),
      m_source(source),
      m_place(place),
      m_problem(problem) {}

PlotColumn ColumnFromTitle(const std::string& title) {
    const std::size_t open = title.rfind(" [");
    if (title.size() >= 3 && title.back() == ']' && open != std::string::npos && open > 0)
        return {title.substr(0, open), title.substr(open + 2, title.size() - open - 3), {}};
    return {title, {}, {}};
}

PlotRecord ReadCsv(std::istream& in, const std::string& source) {
    PlotRecord record;
    bool header = false;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string place = "line " + std::to_string(number);
        if (Trim(line).empty()) continue;
        if (!header && line.front() == '#') {
            const std::string_view text = Trim(std::string_view(line).substr(1));
            const std::size_t colon = text.find(':');
            if (colon == std::string_view::npos || Trim(text.substr(0, colon)).empty())
                throw PlotFileError(source, place, "a summary line must read \"# name: value\"");
            record.summary.emplace_back(Trim(text.substr(0, colon)), Trim(text.substr(colon + 1)));
            continue;
        }
        const std::vector<std::string_view> fields = SplitFields(line);
        if (!header) {
            std::set<std::string> names;
            for (std::size_t c = 0; c < fields.size(); ++c) {
                PlotColumn column = ColumnFromTitle(std::string(fields[c]));
                const std::string at = place + ", column " + std::to_string(c + 1);
                if (column.name.empty()) throw PlotFileError(source, at, "a column without a name");
                if (!names.insert(column.name).second)
                    throw PlotFileError(source, at, "the column \"" + column.name + "\" appears twice");
                record.columns.push_back(std::move(column));
            }
            header = true;
            continue;
        }
        if (fields.size() != record.columns.size())
            throw PlotFileError(source, place,
                                std::to_string(fields.size()) + " values where the header names " +
                                    std::to_string(record.columns.size()) + " columns");
        for (std::size_t c = 0; c < fields.size(); ++c) {
            double value = 0.0;
            const std::string_view field = fields[c];
            const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
            if (field.empty() || result.ec != std::errc() || result.ptr != field.data() + field.size())
                throw PlotFileError(source, place + ", column " + std::to_string(c + 1),
                                    "\"" + std::string(field) + "\" is not a number");
            record.columns[c].values.push_back(value);
        }
    }
    if (in.bad()) throw PlotFileError(source, {}, "could not be read");
    if (!header) throw PlotFileError(source, {}, "no header line with the column names");
    return record;
}

PlotRecord ReadCsvFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PlotFileError(path, {}, "cannot be opened");
    return ReadCsv(in, path);
}

std::string PlotFilePath(const std::string& folder, const std::string& name, const std::string& extension) {
    std::filesystem::path path(name.empty() ? std::string("Plot") : name);
    if (!path.has_extension()) path += extension;
    if (!path.has_parent_path()) path = std::filesystem::path(folder) / path;
    return path.string();
}

std::optional<double> ValueAt(std::span<const double> time, std::span<const double> values, double t) {
    const std::size_t n = std::min(time.size(), values.size());
    if (n == 0 || !(t >= time[0] && t <= time[n - 1])) return std::nullopt;
    // The first sample after t; t itself lies in [time[k-1], time[k]).
    const std::size_t k =
        static_cast<std::size_t>(std::upper_bound(time.begin(), time.begin() + n, t) - time.begin());
    double value = 0.0;
    if (k >= n) {
        value = values[n - 1];
    } else {
        const double t0 = time[k - 1], t1 = time[k];
        const double share = t1 > t0 ? (t - t0) / (t1 - t0) : 0.0;
        value = share == 0.0 ? values[k - 1] : values[k - 1] + (values[k] - values[k - 1]) * share;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

CursorReadout ReadCursors(const std::vector<CursorCurve>& curves, double t1, double t2) {
    CursorReadout readout;
    readout.t1 = t1;
    readout.t2 = t2;
    for (const CursorCurve& curve : curves)
        readout.rows.push_back(
            {curve.title, ValueAt(curve.time, curve.values, t1), ValueAt(curve.time, curve.values, t2)});
    return readout;
}

std::vector<std::string> CursorReadoutLines(const CursorReadout& readout, const std::string& timeTitle) {
    std::vector<std::vector<std::string>> table;
    table.push_back({"", "Cursor 1", "Cursor 2", "\u0394"});
    table.push_back({timeTitle, Reading(readout.t1), Reading(readout.t2), Reading(readout.DeltaTime())});
    for (const CursorReadout::Row& row : readout.rows)
        table.push_back({row.title, Reading(row.at1), Reading(row.at2), Reading(row.Delta())});
    std::vector<std::size_t> widths(4, 0);
    for (const auto& cells : table)
        for (std::size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], Width(cells[c]));
    std::vector<std::string> lines;
    for (const auto& cells : table) {
        std::string line = PadRight(cells[0], widths[0]);
        for (std::size_t c = 1; c < cells.size(); ++c) line += "  " + PadLeft(cells[c], widths[c]);
        lines.push_back(line);
    }
    return lines;
}

COLORREF LighterTint(COLORREF color, double amount) {
    const double a = std::clamp(amount, 0.0, 1.0);
    const auto mix = [a](int channel) {
        return static_cast<COLORREF>(std::lround(channel + (255 - channel) * a));
    };
    return mix(GetRValue(color)) | (mix(GetGValue(color)) << 8) | (mix(GetBValue(color)) << 16);
}

}  // namespace kx
