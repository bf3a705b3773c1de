// What the graphs, gauges and loggers decide without widgets: the palette,
// the bar's reference and filled span, value texts, the log buffer, the
// zoomed-out range and the CSV text.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "kx/gui/Gauges.h"
#include "kx/gui/PlotData.h"

namespace {

TEST(PlotData, PaletteIsTheHostsSixteenColours) {
    const struct {
        int index;
        COLORREF color;
    } cases[] = {{0, 0x000000}, {1, 0x000080},  {2, 0x008000},  {4, 0x800000},  {5, 0x800080}, {8, 0x808080},
                 {9, 0x0000FF}, {12, 0xFF0000}, {15, 0xFFFFFF}, {16, 0x000000}, {18, 0x008000}};
    for (const auto& c : cases) EXPECT_EQ(RGB16(c.index), c.color) << "index " << c.index;
    EXPECT_EQ(kx::GetRValue(RGB16(9)), 255);
    EXPECT_EQ(kx::GetBValue(RGB16(12)), 255);
}

TEST(PlotData, BarIsDrawnFromItsMinimumOnlyWhenTheSpanExcludesZero) {
    const struct {
        double min, max, reference;
    } cases[] = {{-10, 10, 0}, {0, 5, 0}, {0, 3.3, 0}, {1, 5, 1}, {-5, -1, -5}, {-5, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(kx::BarReference(c.min, c.max), c.reference) << c.min << " .. " << c.max;
}

TEST(PlotData, BarFillsFromTheReferenceToTheValueWithinItsLimits) {
    const struct {
        double min, max, reference, value, from, to;
    } cases[] = {
        {-10, 10, 0, 5, 0.5, 0.75},   // from zero upwards
        {-10, 10, 0, -10, 0.0, 0.5},  // from zero downwards
        {0, 5, 0, 7, 0.0, 1.0},       // a value beyond the limit fills to the end
        {1, 5, 1, 3, 0.0, 0.5},       // from the minimum
        {2, 2, 2, 2, 0.0, 0.0},       // no span: nothing filled
    };
    for (const auto& c : cases) {
        CBarGraph bar;
        bar.SetLimits(c.min, c.max);
        bar.SetReference(c.reference);
        bar.SetCurrentValue(c.value);
        const auto [from, to] = bar.FilledSpan();
        EXPECT_DOUBLE_EQ(from, c.from) << c.min << " .. " << c.max << " value " << c.value;
        EXPECT_DOUBLE_EQ(to, c.to) << c.min << " .. " << c.max << " value " << c.value;
    }
}

TEST(PlotData, ValuesPrintInTheirFormatAndABadFormatFallsBack) {
    const struct {
        const char* format;
        double value;
        const char* text;
    } cases[] = {
        {"%.2G", 10.0, "10"},       {"%.2G", 0.1234, "0.12"},  {"%.2G", 1234.0, "1.2E+03"},
        {"%.2f", -9.999, "-10.00"}, {"%.1f V", 2.26, "2.3 V"}, {"100%% at %.0f", 3.0, "100% at 3"},
        {"%d", 3.5, "3.5"},         {"%s", 2.0, "2"},          {"%f %f", 1.0, "1"},
        {"", 0.5, "0.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(kx::FormatValue(c.format, c.value), c.text) << c.format;
}

TEST(PlotData, LogPointsAreLimitedByTheBuffer) {
    const struct {
        int points, words, fitted;
    } cases[] = {{100, 3, 100}, {2000, 4, 2000}, {5000, 4, kx::kLogBufferWords / 4}, {10, 0, 1}, {0, 2, 1}};
    for (const auto& c : cases) EXPECT_EQ(kx::FitLogPoints(c.points, c.words), c.fitted);
}

TEST(PlotData, ZoomedOutRangeHoldsEveryFiniteValue) {
    const double nan = std::nan("");
    const struct {
        std::vector<double> values;
        double margin, low, high;
    } cases[] = {
        {{0, 10, 5}, 0.05, -0.5, 10.5}, {{0, 10}, 0.0, 0.0, 10.0}, {{2, 2}, 0.05, 1.8, 2.2},
        {{0}, 0.05, -1.0, 1.0},         {{}, 0.05, -1.0, 1.0},     {{nan, 1, 3}, 0.0, 1.0, 3.0},
    };
    for (const auto& c : cases) {
        const auto [low, high] = kx::ZoomOutRange(c.values, c.margin);
        EXPECT_DOUBLE_EQ(low, c.low);
        EXPECT_DOUBLE_EQ(high, c.high);
    }
}

TEST(PlotData, CsvHasSummaryHeaderWithUnitsAndOneRowPerPoint) {
    const std::vector<kx::PlotColumn> columns = {
        {"Time", "s", {0.0, 5e-05, 0.0001}},
        {"Motor_Current", "A", {0.0, 0.25, 1.0 / 3.0}},
        {"Count", "", {1, 2}},  // the shortest column sets the rows
    };
    std::ostringstream out;
    kx::WriteCsv(out, columns, {{"Rise time", "0.3 ms"}});
    EXPECT_EQ(out.str(),
              "# Rise time: 0.3 ms\n"
              "Time [s],Motor_Current [A],Count\n"
              "0,0,1\n"
              "5e-05,0.25,2\n");
    std::ostringstream exact;
    kx::WriteCsv(exact, {{"x", "", {1.0 / 3.0}}}, {});
    EXPECT_EQ(std::stod(exact.str().substr(2)), 1.0 / 3.0);  // reads back equal
}

}  // namespace
