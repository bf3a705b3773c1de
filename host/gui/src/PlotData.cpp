#include "kx/gui/PlotData.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
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
