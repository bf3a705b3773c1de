// What the graphs, gauges and loggers decide without widgets.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "kx/gui/Gauges.h"
#include "kx/gui/PlotData.h"

namespace {

// The bar is drawn from zero, or from its minimum when the span excludes zero;
// a value beyond a limit fills to the end.
TEST(PlotData, BarFillsFromItsReferenceToTheValueWithinItsLimits) {
    const struct {
        double min, max, value, from, to;
    } cases[] = {
        {-10, 10, 5, 0.5, 0.75}, {-10, 10, -10, 0.0, 0.5}, {0, 5, 7, 0.0, 1.0},
        {1, 5, 3, 0.0, 0.5},     {-5, -1, -3, 0.0, 0.5},   {-5, 0, -2.5, 0.5, 1.0}, {2, 2, 2, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        CBarGraph bar;
        bar.SetLimits(c.min, c.max);
        bar.SetReference(kx::BarReference(c.min, c.max));
        bar.SetCurrentValue(c.value);
        EXPECT_EQ(bar.FilledSpan(), std::pair(c.from, c.to)) << c.min << " .. " << c.max << " value " << c.value;
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
}

TEST(PlotData, ValueAtATimeIsInterpolatedWithinTheSamplesOnly) {
    const std::vector<double> time = {0.0, 1.0, 2.0, 2.0, 4.0};
    const std::vector<double> values = {0.0, 10.0, 20.0, 50.0, 30.0};
    const double nan = std::nan("");
    const struct {
        double t;
        std::optional<double> value;
    } cases[] = {
        {0.0, 0.0}, {0.25, 2.5}, {1.0, 10.0}, {1.5, 15.0}, {2.0, 50.0} /* a step: the value after it */,
        {3.0, 40.0}, {4.0, 30.0}, {-0.001, std::nullopt}, {4.001, std::nullopt}, {nan, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(kx::ValueAt(time, values, c.t), c.value) << "t = " << c.t;
    // The shorter of the two columns counts; nothing is read from no samples
    // or from a value that is not finite.
    EXPECT_EQ(kx::ValueAt(time, std::vector<double>{0.0, 10.0}, 1.5), std::nullopt);
    EXPECT_EQ(kx::ValueAt({}, {}, 0.0), std::nullopt);
    EXPECT_EQ(kx::ValueAt(time, std::vector<double>{0.0, nan, 1, 1, 1}, 0.5), std::nullopt);
}

TEST(PlotData, CursorsReadEachCurveAndTheDifferences) {
    const std::vector<double> time = {0.0, 0.001, 0.002, 0.003};
    const std::vector<double> speed = {0.0, 100.0, 300.0, 300.0};
    const std::vector<double> current = {2.0, 1.0, 0.5, 0.25};
    const std::vector<double> shortTime = {0.0, 0.001};
    const kx::CursorReadout readout = kx::ReadCursors(
        {{"Load_Speed [rpm]", time, speed}, {"Motor_Current [A]", time, current}, {"Late", shortTime, speed}},
        0.0005, 0.0025);
    EXPECT_DOUBLE_EQ(readout.DeltaTime(), 0.002);
    ASSERT_EQ(readout.rows.size(), 3u);
    const struct {
        std::optional<double> at1, at2, delta;
    } expected[] = {{50.0, 300.0, 250.0}, {1.5, 0.375, -1.125}, {50.0, std::nullopt, std::nullopt}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& row = readout.rows[i];
        EXPECT_EQ(row.at1, expected[i].at1) << row.title;
        EXPECT_EQ(row.at2, expected[i].at2) << row.title;
        EXPECT_EQ(row.Delta(), expected[i].delta) << row.title;
    }

    const std::vector<std::string> lines = kx::CursorReadoutLines(readout, "Time [s]");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].substr(0, 8), "Time [s]");
    EXPECT_NE(lines[1].find("0.0005"), std::string::npos);
    EXPECT_NE(lines[1].find("0.002"), std::string::npos);
    EXPECT_NE(lines[3].find("-1.125"), std::string::npos);
    EXPECT_NE(lines[4].find("\u2014"), std::string::npos);  // no value at cursor 2
    // A table: every line as wide as the heading, in characters.
    const auto width = [](const std::string& s) {
        return std::count_if(s.begin(), s.end(),
                             [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    };
    for (const std::string& line : lines) EXPECT_EQ(width(line), width(lines[0])) << line;
}

TEST(PlotData, CsvReadsBackWhatWasWritten) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<kx::PlotColumn> columns = {
        {"Time", "s", {0.0, 5e-05, 1e-300}},
        {"Load_Speed", "rpm", {1.0 / 3.0, -0.0, -12345.678901234567}},
        {"Temperature", "\u00b0C", {20.5, inf, -inf}},
        {"Count", "", {1, 2, 3}},
        {"Gain[1]", "V", {0, 0, 0}},  // brackets in a name stay in the name
    };
    std::ostringstream out;
    kx::WriteCsv(out, columns, {{"Rise time", "0.3 ms"}, {"Overshoot", "12 %: high"}});
    std::istringstream in(out.str());
    const kx::PlotRecord record = kx::ReadCsv(in, "run.csv");
    EXPECT_EQ(record.summary, (std::vector<std::pair<std::string, std::string>>{
                                  {"Rise time", "0.3 ms"}, {"Overshoot", "12 %: high"}}));
    ASSERT_EQ(record.columns.size(), columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        EXPECT_EQ(record.columns[c].name, columns[c].name);
        EXPECT_EQ(record.columns[c].unit, columns[c].unit);
        EXPECT_EQ(record.columns[c].values, columns[c].values) << columns[c].name;
    }
    // Windows line ends and blank lines are taken too.
    std::istringstream crlf("# a: 1\r\n\r\nTime [s],U [V]\r\n0,1\r\n1,2\r\n\r\n");
    const kx::PlotRecord fromCrlf = kx::ReadCsv(crlf, "crlf.csv");
    ASSERT_EQ(fromCrlf.columns.size(), 2u);
    EXPECT_EQ(fromCrlf.columns[1].unit, "V");
    EXPECT_EQ(fromCrlf.columns[1].values, (std::vector<double>{1, 2}));
}

TEST(PlotData, MalformedCsvIsRefusedWithItsPlaceAndProblem) {
    const struct {
        const char* text;
        const char* place;
        const char* problem;
    } cases[] = {
        {"", "", "no header line"},
        {"# no colon here\nTime [s]\n", "line 1", "summary line"},
        {"Time [s],,U [V]\n", "line 1, column 2", "without a name"},
        {"Time [s],U [V],U [mV]\n", "line 1, column 3", "\"U\" appears twice"},
        {"Time [s],U [V]\n0,1\n1\n", "line 3", "1 values where the header names 2 columns"},
        {"Time [s],U [V]\n0,1\n\n1,2,5\n", "line 4", "3 values"},  // blank lines still count
        {"Time [s],U [V]\n0,abc\n", "line 2, column 2", "\"abc\" is not a number"},
        {"Time [s],U [V]\n0,2\n1,\n", "line 3, column 2", "\"\" is not a number"},
        {"Time [s],U [V]\n0,2\n# late: 1\n", "line 3", "2"},  // a summary after the header is a row
    };
    for (const auto& c : cases) {
        std::istringstream in(c.text);
        try {
            kx::ReadCsv(in, "run.csv");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const kx::PlotFileError& error) {
            EXPECT_EQ(error.Source(), "run.csv");
            EXPECT_EQ(error.Place(), c.place) << c.text;
            EXPECT_NE(error.Problem().find(c.problem), std::string::npos) << error.what();
        }
    }
    EXPECT_THROW(kx::ReadCsvFile("/nonexistent/folder/run.csv"), kx::PlotFileError);
}

TEST(PlotData, PlotFilesGoIntoThePlotFolderUnlessNamedElsewhere) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {{"SpeedTuning", "/plots/SpeedTuning.pdf"}, {"SpeedTuning.svg", "/plots/SpeedTuning.svg"},
                 {"/tmp/run", "/tmp/run.pdf"},           {"", "/plots/Plot.pdf"}};
    for (const auto& c : cases) EXPECT_EQ(kx::PlotFilePath("/plots", c.name, ".pdf"), c.path) << c.name;
}

TEST(PlotData, ReferenceTintMovesEachChannelTowardsWhite) {
    const struct {
        COLORREF color;
        double amount;
        COLORREF tinted;
    } cases[] = {
        {0x008000, 0.0, 0x008000}, {0x008000, 1.0, 0xFFFFFF}, {0x008000, 0.5, 0x80C080},
        {0x0000FF, 0.6, 0x9999FF}, {0x000000, 2.0, 0xFFFFFF}, {0x123456, -1.0, 0x123456},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kx::LighterTint(c.color, c.amount), c.tinted) << std::hex << c.color << " " << c.amount;
    EXPECT_EQ(RGB16(18), 0x008000u);  // the palette's green: its index is taken modulo 16
}

}  // namespace
