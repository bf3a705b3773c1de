#include "kx/gui/Scope.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "GraphPlot.h"
#include "kx/ScopeFrame.h"
#include "kx/Setup.h"
#include "kx/Units.h"
#include "kx/gui/EditSetupDlg.h"

namespace {

constexpr const char* kTimeName = "Time";
constexpr const char* kTimeUnit = "s";
constexpr const char* kRecordExtension = ".scope";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QColor ToQColor(COLORREF c) { return QColor(kx::GetRValue(c), kx::GetGValue(c), kx::GetBValue(c)); }

std::set<CKX_ScopeLogger*>& Loggers() {
    static std::set<CKX_ScopeLogger*> loggers;
    return loggers;
}

// The smallest 1, 2 or 5 times a power of ten that is at least q (q > 0).
double NiceAtLeast(double q) {
    const double p = std::pow(10.0, std::floor(std::log10(q)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= q * (1.0 - 1e-9)) return m * p;
    return 10.0 * p;
}

// The 1-2-5 step `moves` places from `step`.
double MoveStep(double step, int moves) {
    double s = NiceAtLeast(step);
    for (int i = 0; i < std::abs(moves); ++i) {
        const double p = std::pow(10.0, std::floor(std::log10(s) + 1e-9));
        const double m = std::round(s / p);
        if (moves > 0)
            s = m == 1.0 ? 2.0 * p : m == 2.0 ? 5.0 * p : 10.0 * p;
        else
            s = m == 1.0 ? 0.5 * p : m == 2.0 ? p : 2.0 * p;
    }
    return s;
}

kx::ScopeMode DriveMode(int mode) {
    switch (mode) {
        case KX_SCOPE_REPEATING:
            return kx::ScopeMode::Repeating;
        case KX_SCOPE_SINGLE_SHOT:
            return kx::ScopeMode::SingleShot;
        default:
            return kx::ScopeMode::FreeRun;
    }
}

bool KnownMode(int mode) {
    return mode == KX_SCOPE_FREE_RUN || mode == KX_SCOPE_REPEATING || mode == KX_SCOPE_SINGLE_SHOT;
}

// Resolves a variable name: the program's symbol first, else the setup's
// drive variable. False when neither has it.
bool Locate(CKX_Setup& setup, CKX_CoffFormat* coff, const std::string& name, kx::DriveSymbol& symbol,
            CKX_Variable*& variable) {
    variable = setup.FindVariable(name.c_str(), 1);
    if (const kx::DriveSymbol* s = coff ? coff->FindSymbol(name) : nullptr) {
        symbol = *s;
        return true;
    }
    if (variable && variable->GetAddress() >= 0) {
        symbol = kx::DriveSymbol{variable->GetName(), variable->GetAddress(), variable->GetType()};
        return true;
    }
    return false;
}

std::string StepText(double step) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << step;
    return out.str();
}

}  // namespace

namespace kx {

// The scope's plot: a grid of divisions; each channel's curve on a value
// axis of its own that spans its offset ± kScopeHalfDivisions steps.
class ScopePlot : public QCustomPlot {
public:
    explicit ScopePlot(bool legend, QWidget* parent = nullptr) : QCustomPlot(parent) {
        setBackground(Qt::white);
        setNotAntialiasedElements(QCP::aeAll);
        setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
        auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
        ticker->setTickStep(1.0);
        ticker->setScaleStrategy(QCPAxisTickerFixed::ssNone);
        yAxis->setTicker(ticker);
        yAxis->setRange(-kScopeHalfDivisions, kScopeHalfDivisions);
        yAxis->setTickLabels(false);
        yAxis->setLabel("div");
        xAxis->setLabel(QString("%1 [%2]").arg(kTimeName, kTimeUnit));
        for (QCPAxis* axis : {xAxis, yAxis})
            axis->grid()->setPen(QPen(QColor(200, 200, 200), 0, Qt::DotLine));
        if (legend) {
            PlaceLegendAbove(*this);
            // Each entry whole: it carries the channel's scale.
            connect(this, &QCustomPlot::beforeReplot, this, [this] { WrapLegend(*this); });
        }
        connect(this, &QCustomPlot::afterReplot, this, [this] {
            ++m_repaints;
            m_laidOut = true;
            PublishSpots();
        });
        setMinimumSize(160, 120);
    }

    // Called with (channel, steps) when the wheel turns over a channel's
    // entry in the legend: one step of the 1-2-5 sequence per notch, towards
    // fewer units per division when turned away from the user.
    std::function<void(int, int)> onScaleWheel;

    void Rebuild(const CKX_ScopeLogger& logger, const CGraphFilter& filter) {
        m_laidOut = false;  // the legend's new entries have no place before the next replot
        clearGraphs();
        clearItems();
        for (QCPAxis* axis : m_axes) axisRect()->removeAxis(axis);
        m_axes.clear();
        m_columns.clear();
        m_names.clear();
        const auto& columns = filter.GetDocument().Columns();
        for (int i = 0; i < filter.GetCurveCount(); ++i) {
            const CXYCurve& curve = filter.GetCurve(i);
            const int c = curve.m_nYColumn - 1;
            if (c < 0 || c >= static_cast<int>(logger.GetChannels().size()) || curve.m_nXColumn != 0)
                continue;
            const CKX_ScopeLogger::Channel& channel = logger.GetChannels()[static_cast<std::size_t>(c)];
            QCPAxis* axis = axisRect()->addAxis(QCPAxis::atLeft);
            axis->setVisible(false);
            axis->setRange(channel.offset - kScopeHalfDivisions * channel.step,
                           channel.offset + kScopeHalfDivisions * channel.step);
            m_axes.push_back(axis);
            QCPGraph* graph = addGraph(xAxis, axis);
            graph->setPen(QPen(ToQColor(curve.m_crColor), std::max(1, curve.m_nWidth)));
            const std::string unit = logger.ChannelUnit(static_cast<std::size_t>(c));
            graph->setName(QString::fromStdString(channel.name + " (" + StepText(channel.step) +
                                                  (unit.empty() ? "" : " " + unit) + "/div)"));
            const auto& x = columns[0].values;
            const auto& y = columns[static_cast<std::size_t>(curve.m_nYColumn)].values;
            const std::size_t n = std::min(x.size(), y.size());
            QVector<QCPGraphData> data(static_cast<qsizetype>(n));
            for (std::size_t k = 0; k < n; ++k) data[static_cast<qsizetype>(k)] = QCPGraphData(x[k], y[k]);
            graph->data()->set(data, true);
            m_columns.push_back(curve.m_nYColumn);
            m_names.push_back(QString::fromStdString(channel.name));
        }
        const auto& time = columns[0].values;
        if (time.size() >= 2) {
            xAxis->setRange(time.front(), time.back());
        } else {
            const double pre = logger.GetTimeBase() * logger.GetPretrigger() / 100.0;
            xAxis->setRange(-pre, logger.GetTimeBase() - pre);
        }
        const std::vector<double>& marker = filter.m_aValues;
        if (marker.size() >= 2) {
            auto* line = new QCPItemLine(this);
            line->setPen(QPen(ToQColor(filter.m_crColor), 3));
            line->start->setCoords(0.0, marker[0]);
            line->end->setCoords(0.0, marker[1]);
        }
    }

    // Point `index` of the record again from the document; false when the
    // plot does not hold the record's layout (it must be rebuilt).
    bool SetPoint(const CGraphDocument& document, int index) {
        const auto& columns = document.Columns();
        const auto& time = columns[0].values;
        if (index < 0 || index >= static_cast<int>(time.size())) return true;
        for (int i = 0; i < graphCount(); ++i) {
            QCPGraph* g = graph(i);
            if (g->dataCount() != static_cast<int>(time.size())) return false;
            auto it = g->data()->begin() + index;
            if (it->key != time[static_cast<std::size_t>(index)]) return false;
            it->value = columns[static_cast<std::size_t>(m_columns[static_cast<std::size_t>(i)])]
                            .values[static_cast<std::size_t>(index)];
        }
        return true;
    }

    long Repaints() const { return m_repaints; }

protected:
    void wheelEvent(QWheelEvent* event) override {
        const int notches = event->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep;
        if (!m_laidOut) replot(rpImmediateRefresh);
        const int channel = ChannelAt(event->position().toPoint());
        if (channel < 0 || notches == 0 || !onScaleWheel) {
            QCustomPlot::wheelEvent(event);
            return;
        }
        event->accept();
        onScaleWheel(channel, -notches);
    }

private:
    // Where the legend entry of graph `i` stands (empty without a legend).
    QRect LegendRect(int i) const {
        QCPPlottableLegendItem* item =
            legend && legend->visible() ? legend->itemWithPlottable(graph(i)) : nullptr;
        return item ? item->outerRect() : QRect();
    }
    // The channel whose legend entry is at `at`, or -1.
    int ChannelAt(const QPoint& at) const {
        for (int i = 0; i < graphCount() && i < static_cast<int>(m_columns.size()); ++i)
            if (LegendRect(i).contains(at)) return m_columns[static_cast<std::size_t>(i)] - 1;
        return -1;
    }
    // The channels' legend entries by channel name, for a script's "wheel".
    void PublishSpots() {
        QVariantMap spots;
        for (int i = 0; i < graphCount() && i < static_cast<int>(m_names.size()); ++i)
            if (const QRect rect = LegendRect(i); !rect.isEmpty())
                spots.insert(m_names[static_cast<std::size_t>(i)], rect);
        setProperty("kxSpots", spots);
    }

    std::vector<QCPAxis*> m_axes;
    std::vector<int> m_columns;
    std::vector<QString> m_names;
    long m_repaints = 0;
    bool m_laidOut = false;
};

// The live chart's plot: the items over the point count, each on its own
// value axis between its bounds.
class LivePlot : public QCustomPlot {
public:
    explicit LivePlot(QWidget* parent = nullptr) : QCustomPlot(parent) {
        setBackground(Qt::white);
        setNotAntialiasedElements(QCP::aeAll);
        setPlottingHints(QCP::phCacheLabels | QCP::phFastPolylines);
        yAxis->setTickLabels(false);
        xAxis->setTickLabels(false);
        yAxis->setRange(0.0, 1.0);
        setMinimumSize(160, 120);
    }

    void Setup(const std::string& title, std::size_t items) {
        clearGraphs();
        for (QCPAxis* axis : m_axes) axisRect()->removeAxis(axis);
        m_axes.clear();
        if (m_title) {
            plotLayout()->remove(m_title);
            plotLayout()->simplify();
            m_title = nullptr;
        }
        if (!title.empty()) {
            plotLayout()->insertRow(0);
            m_title = new QCPTextElement(this, QString::fromStdString(title));
            plotLayout()->addElement(0, 0, m_title);
        }
        for (std::size_t i = 0; i < items; ++i) {
            QCPAxis* axis = axisRect()->addAxis(QCPAxis::atLeft);
            axis->setVisible(false);
            m_axes.push_back(axis);
            addGraph(xAxis, axis);
        }
        xAxis->setRange(0, CKX_Oscilloscope::kHistory);
    }

    void Add(long x, const std::vector<CKX_Oscilloscope::Item>& items) {
        for (std::size_t i = 0; i < items.size() && i < m_axes.size(); ++i) {
            const auto& item = items[i];
            const double lo = std::min(item.m_dLowerBound, item.m_dUpperBound);
            const double hi = std::max(item.m_dLowerBound, item.m_dUpperBound);
            m_axes[i]->setRange(lo, hi > lo ? hi : lo + 1.0);
            QCPGraph* g = graph(static_cast<int>(i));
            g->setPen(QPen(ToQColor(item.m_crColor), 2));
            g->addData(static_cast<double>(x), item.m_dCurrentValue);
            g->data()->removeBefore(static_cast<double>(x - CKX_Oscilloscope::kHistory));
        }
        const double right = std::max<double>(static_cast<double>(x), CKX_Oscilloscope::kHistory);
        xAxis->setRange(right - CKX_Oscilloscope::kHistory, right);
    }

private:
    std::vector<QCPAxis*> m_axes;
    QCPTextElement* m_title = nullptr;
};

}  // namespace kx

// ---------------------------------------------------------------- the logger

CKX_ScopeLogger::CKX_ScopeLogger(CKX_Setup& setup, CKX_CoffFormat* coff) : m_setup(setup), m_coff(coff) {
    m_document.Columns().push_back({kTimeName, kTimeUnit, {}});
    Loggers().insert(this);
}

CKX_ScopeLogger::~CKX_ScopeLogger() { Loggers().erase(this); }

CKX_ScopeLogger* CKX_ScopeLogger::FromFilter(const CGraphFilter* filter) {
    if (!filter) return nullptr;
    for (CKX_ScopeLogger* logger : Loggers())
        if (&logger->m_document == &filter->GetDocument()) return logger;
    return nullptr;
}

int CKX_ScopeLogger::ChangeSettings(double timeBase, int mode, int slope, const char* variable, double level,
                                    int pretrigger) {
    if (!(timeBase > 0.0) || !std::isfinite(timeBase) || !KnownMode(mode) || !std::isfinite(level)) return 0;
    m_timeBase = timeBase;
    m_mode = mode;
    m_slope = slope ? KX_SCOPE_RISING : KX_SCOPE_FALLING;
    m_trigger = variable ? variable : "";
    m_level = level;
    m_pretrigger = std::clamp(pretrigger, 0, 100);
    m_triggerLocated = false;
    Changed();
    return 1;
}

int CKX_ScopeLogger::AddVariable(const char* name, int) {
    if (!name || !*name || m_channels.size() >= static_cast<std::size_t>(kx::kMaxScopeChannels)) return 0;
    for (const Channel& channel : m_channels)
        if (kx::NameEqual{}(channel.name, name)) return 0;
    Channel channel;
    channel.name = name;
    m_channels.push_back(channel);
    m_document.Columns().push_back({name, {}, {}});
    ResetColumns();
    return 1;
}

int CKX_ScopeLogger::RescaleVariable(const char* name, const char* unit, double step, double offset) {
    if (!name || !(step > 0.0) || !std::isfinite(step) || !std::isfinite(offset)) return 0;
    for (Channel& channel : m_channels) {
        if (!kx::NameEqual{}(channel.name, name)) continue;
        channel.unit = unit ? unit : "";
        channel.step = step;
        channel.offset = offset;
        Changed();
        return 1;
    }
    return 0;
}

int CKX_ScopeLogger::ChangeChannelScale(int channel, int scale) {
    if (channel < 0 || channel >= static_cast<int>(m_channels.size()) || scale == 0) return 0;
    Channel& c = m_channels[static_cast<std::size_t>(channel)];
    const double step = MoveStep(c.step, scale);
    if (step == c.step) return 0;
    c.step = step;
    Changed();
    return 1;
}

int CKX_ScopeLogger::Autoscale() {
    bool any = false;
    for (std::size_t c = 0; c < m_channels.size(); ++c) {
        const auto& values = m_document.Columns()[c + 1].values;
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        for (double v : values)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        if (!(lo <= hi)) continue;
        const double span = hi - lo;
        const double q =
            span > 0.0 ? span / (2.0 * kScopeHalfDivisions) : std::max(std::fabs(lo) / 2.0, 1e-6);
        Channel& channel = m_channels[c];
        channel.step = NiceAtLeast(q);
        channel.offset = std::round((lo + hi) / 2.0 / channel.step) * channel.step;
        // The rounding of the middle may push an end out: one step more.
        if (hi > channel.offset + kScopeHalfDivisions * channel.step ||
            lo < channel.offset - kScopeHalfDivisions * channel.step)
            channel.step = MoveStep(channel.step, 1);
        any = true;
    }
    if (any) Changed();
    return any ? 1 : 0;
}

void CKX_ScopeLogger::SetDefaultValues() {
    m_timeBase = 0.1;
    m_mode = KX_SCOPE_FREE_RUN;
    m_slope = KX_SCOPE_RISING;
    m_trigger.clear();
    m_level = 0.0;
    m_pretrigger = 0;
    m_channels.clear();
    m_triggerLocated = false;
    m_document.Columns().resize(1);
    if (CGraphFilter* filter = m_document.GetAt(0)) filter->RemoveAllCurves();
    m_recordPoints = 0;
    ResetColumns();
}

std::string CKX_ScopeLogger::ChannelUnit(std::size_t channel) const {
    const Channel& c = m_channels.at(channel);
    if (!c.unit.empty()) return kx::NormalizeUnitName(c.unit);
    return c.variable ? kx::NormalizeUnitName(c.variable->GetUnitName()) : std::string();
}

std::string CKX_ScopeLogger::SettingsText() const {
    nlohmann::json json;
    json["timeBase"] = m_timeBase;
    json["mode"] = m_mode;
    json["slope"] = m_slope;
    json["trigger"] = m_trigger;
    json["level"] = m_level;
    json["pretrigger"] = m_pretrigger;
    json["channels"] = nlohmann::json::array();
    for (const Channel& c : m_channels)
        json["channels"].push_back(
            {{"name", c.name}, {"unit", c.unit}, {"step", c.step}, {"offset", c.offset}});
    return json.dump();
}

int CKX_ScopeLogger::SetSettingsText(const std::string& text) {
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object()) return 0;
    try {
        const double timeBase = json.at("timeBase").get<double>();
        const int mode = json.at("mode").get<int>();
        const int slope = json.at("slope").get<int>();
        const std::string trigger = json.at("trigger").get<std::string>();
        const double level = json.at("level").get<double>();
        const int pretrigger = json.at("pretrigger").get<int>();
        std::vector<Channel> channels;
        for (const auto& entry : json.at("channels")) {
            Channel c;
            c.name = entry.at("name").get<std::string>();
            c.unit = entry.at("unit").get<std::string>();
            c.step = entry.at("step").get<double>();
            c.offset = entry.at("offset").get<double>();
            if (c.name.empty() || !(c.step > 0.0)) return 0;
            channels.push_back(c);
        }
        if (channels.size() > static_cast<std::size_t>(kx::kMaxScopeChannels)) return 0;
        if (!(timeBase > 0.0) || !KnownMode(mode)) return 0;
        m_timeBase = timeBase;
        m_mode = mode;
        m_slope = slope ? KX_SCOPE_RISING : KX_SCOPE_FALLING;
        m_trigger = trigger;
        m_level = level;
        m_pretrigger = std::clamp(pretrigger, 0, 100);
        m_channels = std::move(channels);
    } catch (const nlohmann::json::exception&) {
        return 0;
    }
    m_triggerLocated = false;
    // The record's columns follow the channels; the curves stay the caller's.
    auto& columns = m_document.Columns();
    columns.resize(1);
    for (const Channel& c : m_channels) columns.push_back({c.name, {}, {}});
    m_recordPoints = 0;
    ResetColumns();
    return 1;
}

int CKX_ScopeLogger::SaveSettingsToSetupOption(const char* option) {
    if (!option || !*option) return 0;
    m_setup.SetOption(option, SettingsText().c_str());
    return 1;
}

int CKX_ScopeLogger::LoadSettingsFromSetupOption(const char* option) {
    if (!option || !m_setup.HasOption(option)) return 0;
    return SetSettingsText(m_setup.GetOptionNoError(option));
}

int CKX_ScopeLogger::LocateItems() {
    m_error.clear();
    const kx::QuietLookup quiet;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        Channel& c = m_channels[i];
        c.located = Locate(m_setup, m_coff, c.name, c.symbol, c.variable);
        m_document.Columns()[i + 1].unit = ChannelUnit(i);
        if (!c.located && m_error.empty())
            m_error = "The oscilloscope's variable \"" + c.name +
                      "\" is neither in the test program nor in the setup.";
    }
    m_triggerLocated = false;
    if (!m_trigger.empty()) {
        CKX_Variable* variable = nullptr;
        m_triggerLocated = Locate(m_setup, m_coff, m_trigger, m_triggerSymbol, variable);
        if (!m_triggerLocated && m_error.empty())
            m_error = "The oscilloscope's trigger variable \"" + m_trigger +
                      "\" is neither in the test program nor in the setup.";
    }
    return m_error.empty() ? 1 : 0;
}

kx::ScopeSettings CKX_ScopeLogger::GetScopeSettings() const {
    kx::ScopeSettings s;
    s.timeBase = m_timeBase;
    int words = 0;
    for (const Channel& c : m_channels)
        words += KX_TypeSizeInWords(c.located ? c.symbol.type : KX_TYPE_INT16);
    s.maxPoints = kx::FitLogPoints(m_maxPoints, words);
    s.mode = DriveMode(m_mode);
    s.triggered = m_triggerLocated;
    s.rising = m_slope != KX_SCOPE_FALLING;
    s.pretrigger = m_pretrigger;
    if (m_triggerLocated) {
        s.trigger = m_triggerSymbol;
        // The level in the variable's internal unit, through its scaling.
        const kx::QuietLookup quiet;
        double internal = m_level;
        if (CKX_Variable* variable = m_setup.FindVariable(m_trigger.c_str(), 1)) {
            CKX_Variable value(*variable);
            value.SetValueInBaseUnit(m_level);
            internal = value.GetValueInInternalUnit();
        }
        s.level = kx::ToRaw(m_triggerSymbol.type, internal);
    }
    for (const Channel& c : m_channels) s.channels.push_back(c.symbol);
    return s;
}

int CKX_ScopeLogger::ArmDrive(kx::DriveLink& link, std::string& error) {
    if (!link.ArmScope(GetScopeSettings(), error)) return 0;
    return BeginUploadData();
}

int CKX_ScopeLogger::BeginUploadData() {
    m_uploading = true;
    m_complete = m_stopped = false;
    m_haveSequence = false;
    m_frames = m_lost = 0;
    m_recordPoints = 0;
    m_drawFirst = m_drawCount = 0;
    ResetColumns();
    return 1;
}

void CKX_ScopeLogger::EndUploadData() {
    if (!m_uploading) return;
    m_uploading = false;
    // Frames still on their way belong to the run that ended.
    if (kx::DriveLink* link = CKX_Comm::GetActiveLink()) {
        std::vector<kx::UnsolicitedMessage> dropped;
        std::string error;
        link->ReceiveMessages(dropped, error);
    }
}

double CKX_ScopeLogger::Scale(const Channel& channel, std::int64_t raw) const {
    const double internal = kx::FromRaw(channel.symbol.type, raw);
    if (!channel.variable) return internal;
    CKX_Variable value(*channel.variable);
    value.SetValueInInternalUnit(internal);
    const double base = value.GetValueInBaseUnit();
    const kx::UnitDef* unit = DisplayUnit(channel);
    return unit ? (base - unit->offset) / unit->factor : base;
}

const kx::UnitDef* CKX_ScopeLogger::DisplayUnit(const Channel& channel) const {
    const kx::QuietLookup quiet;
    // Before a run has located the channel, the setup's variable of its name.
    const CKX_Variable* variable =
        channel.variable ? channel.variable : m_setup.FindVariable(channel.name.c_str(), 1);
    if (!variable) return nullptr;
    const std::string& unitName = channel.unit.empty() ? variable->GetUnitName() : channel.unit;
    const kx::UnitType* type = kx::FindUnitType(variable->GetUnitName());
    const kx::UnitDef* unit = type ? type->Find(unitName) : nullptr;
    return unit && unit->factor != 0.0 ? unit : nullptr;
}

void CKX_ScopeLogger::ResetColumns() {
    auto& columns = m_document.Columns();
    for (auto& column : columns) column.values.clear();
    if (m_recordPoints > 0) Relayout(m_recordPoints, m_triggerPoint, m_period);
}

void CKX_ScopeLogger::Relayout(int points, int triggerPoint, double period) {
    const bool sameSize = points == m_recordPoints && m_document.GetPointCount() == points;
    m_recordPoints = points;
    m_triggerPoint = triggerPoint;
    m_period = period;
    auto& columns = m_document.Columns();
    columns[0].values.resize(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        columns[0].values[static_cast<std::size_t>(i)] = (i - triggerPoint) * period;
    for (std::size_t c = 1; c < columns.size(); ++c) {
        if (!sameSize) columns[c].values.assign(static_cast<std::size_t>(points), kNaN);
        columns[c].values.resize(static_cast<std::size_t>(points), kNaN);
    }
    m_drawFirst = 0;
    m_drawCount = points;
}

int CKX_ScopeLogger::OnFrameReceive(int length, const void* data) {
    if (length < 0 || !data) return -1;
    std::vector<std::uint16_t> words(static_cast<std::size_t>(length) / 2);
    std::memcpy(words.data(), data, words.size() * 2);
    std::vector<int> types;
    for (const Channel& c : m_channels) types.push_back(c.located ? c.symbol.type : KX_TYPE_INT16);
    kx::ScopeFrame frame;
    if (!kx::DecodeScopeFrame(words.data(), words.size(), types, frame, m_error)) return -1;
    if (m_haveSequence && frame.sequence != m_nextSequence)
        m_lost += static_cast<std::uint16_t>(frame.sequence - m_nextSequence);
    m_haveSequence = true;
    m_nextSequence = static_cast<std::uint16_t>(frame.sequence + 1);
    ++m_frames;
    if (frame.stopped) m_stopped = true;
    if (frame.recordEnd && m_mode == KX_SCOPE_SINGLE_SHOT) m_complete = true;
    if (frame.count == 0) return 0;
    if (frame.recordPoints != m_recordPoints || frame.triggerPoint != m_triggerPoint ||
        frame.period != m_period)
        Relayout(frame.recordPoints, frame.triggerPoint, frame.period);
    auto& columns = m_document.Columns();
    const std::size_t n = m_channels.size();
    for (int k = 0; k < frame.count; ++k) {
        const auto index = static_cast<std::size_t>(frame.first + k);
        for (std::size_t c = 0; c < n; ++c)
            columns[c + 1].values[index] =
                Scale(m_channels[c], frame.raw[static_cast<std::size_t>(k) * n + c]);
    }
    // The points to draw run on from those not drawn yet; a frame elsewhere
    // (a lost frame) redraws the whole record.
    if (m_drawCount == 0) {
        m_drawFirst = frame.first;
        m_drawCount = frame.count;
    } else if ((m_drawFirst + m_drawCount) % m_recordPoints == frame.first) {
        m_drawCount = std::min(m_recordPoints, m_drawCount + frame.count);
    } else {
        m_drawFirst = 0;
        m_drawCount = m_recordPoints;
    }
    return frame.count;
}

void CKX_ScopeLogger::GetPointsToBeDrawn(int& first, int& count) {
    first = m_drawFirst;
    count = m_drawCount;
    m_drawFirst = m_recordPoints > 0 ? (m_drawFirst + m_drawCount) % m_recordPoints : 0;
    m_drawCount = 0;
}

void CKX_ScopeLogger::Changed() {
    // Windows draw the new scales at their next refresh; the caller redraws.
}

// ---- records

namespace {

std::filesystem::path RecordPath(const std::string& name) {
    std::filesystem::path path(name);
    if (!path.has_parent_path()) path = std::filesystem::path(kx::PlotFolder()) / name;
    if (path.extension() != kRecordExtension) path += kRecordExtension;
    return path;
}

}  // namespace

int CKX_ScopeLogger::DoPromptScopeLoggerFileName(int open, std::string& name) {
    std::error_code code;
    std::filesystem::create_directories(kx::PlotFolder(), code);
    const QString proposed = QString::fromStdString(RecordPath(name.empty() ? "Scope" : name).string());
    const QString filter = QString("Oscilloscope records (*%1)").arg(kRecordExtension);
    const QString chosen =
        open ? QFileDialog::getOpenFileName(nullptr, "Open oscilloscope record", proposed, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog)
             : QFileDialog::getSaveFileName(nullptr, "Save oscilloscope record", proposed, filter, nullptr,
                                            QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) return 0;
    name = chosen.toStdString();
    return 1;
}

int CKX_ScopeLogger::Save(const char* name) {
    m_error.clear();
    const std::filesystem::path path = RecordPath(name && *name ? name : "Scope");
    std::error_code code;
    std::filesystem::create_directories(path.parent_path(), code);
    nlohmann::json json;
    json["settings"] = nlohmann::json::parse(SettingsText());
    json["points"] = m_recordPoints;
    json["triggerPoint"] = m_triggerPoint;
    json["period"] = m_period;
    json["columns"] = nlohmann::json::array();
    for (std::size_t c = 1; c < m_document.Columns().size(); ++c) {
        nlohmann::json values = nlohmann::json::array();
        for (double v : m_document.Columns()[c].values)
            values.push_back(std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr));
        json["columns"].push_back({{"unit", m_document.Columns()[c].unit}, {"values", values}});
    }
    const std::filesystem::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << json.dump();
        if (!out) {
            m_error = "Could not write the oscilloscope record \"" + path.string() + "\".";
            return 0;
        }
    }
    std::filesystem::rename(temp, path, code);
    if (code) {
        m_error =
            "Could not write the oscilloscope record \"" + path.string() + "\": " + code.message() + ".";
        return 0;
    }
    return 1;
}

int CKX_ScopeLogger::Load(const char* name) {
    m_error.clear();
    const std::filesystem::path path = RecordPath(name && *name ? name : "Scope");
    std::ifstream in(path, std::ios::binary);
    const nlohmann::json json = in ? nlohmann::json::parse(in, nullptr, false) : nlohmann::json();
    const auto fail = [&](const std::string& what) {
        m_error = "\"" + path.string() + "\": " + what;
        return 0;
    };
    if (!in) return fail("the file cannot be read.");
    if (!json.is_object() || !json.contains("settings") || !json.contains("columns"))
        return fail("not an oscilloscope record.");
    try {
        const int points = json.at("points").get<int>();
        const int trigger = json.at("triggerPoint").get<int>();
        const double period = json.at("period").get<double>();
        const auto& columns = json.at("columns");
        if (points < 0 || trigger < 0 || (points > 0 && trigger >= points) || !(period >= 0.0))
            return fail("the record's layout is not valid.");
        if (!SetSettingsText(json.at("settings").dump())) return fail("the settings are not valid.");
        if (columns.size() != m_channels.size())
            return fail("the record's columns do not match its channels.");
        if (points > 0) Relayout(points, trigger, period);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto& values = columns[c].at("values");
            if (static_cast<int>(values.size()) != points) return fail("a column of the wrong length.");
            auto& column = m_document.Columns()[c + 1];
            column.unit = columns[c].at("unit").get<std::string>();
            for (int i = 0; i < points; ++i) {
                const auto& v = values[static_cast<std::size_t>(i)];
                column.values[static_cast<std::size_t>(i)] = v.is_null() ? kNaN : v.get<double>();
            }
        }
    } catch (const nlohmann::json::exception& e) {
        return fail(e.what());
    }
    return 1;
}

int CKX_ScopeLogger::SaveGraph(const char* name) {
    const auto picture = [this](const std::string& png) {
        CGraphFilter* filter = m_document.GetAt(0);
        kx::ScopePlot plot(true);
        plot.resize(kx::kRecordPictureWidth, kx::kRecordPictureHeight);
        if (filter) plot.Rebuild(*this, *filter);
        return plot.savePng(QString::fromStdString(png), kx::kRecordPictureWidth, kx::kRecordPictureHeight);
    };
    return kx::SaveRecordFiles(name && *name ? name : "Scope", m_document.Columns(), {}, picture, nullptr,
                               m_saved, m_error)
               ? 1
               : 0;
}

// ---- the settings editor

int CKX_ScopeLogger::Edit(CKX_EditSetupDlg* dialog) {
    QDialog editor(dialog ? static_cast<QWidget*>(dialog->GetWindow()) : nullptr);
    editor.setWindowTitle("Oscilloscope settings");
    editor.setObjectName("ScopeSettings");
    auto* layout = new QVBoxLayout(&editor);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    auto* timeBase = new QDoubleSpinBox;
    timeBase->setObjectName("timeBase");
    timeBase->setDecimals(4);
    timeBase->setRange(0.0001, 1000.0);
    timeBase->setSuffix(" s");
    timeBase->setValue(m_timeBase);
    form->addRow("Time base:", timeBase);

    auto* mode = new QComboBox;
    mode->setObjectName("mode");
    mode->addItem("Free run", KX_SCOPE_FREE_RUN);
    mode->addItem("Repeating", KX_SCOPE_REPEATING);
    mode->addItem("Single shot", KX_SCOPE_SINGLE_SHOT);
    mode->setCurrentIndex(std::max(0, mode->findData(m_mode)));
    form->addRow("Trigger mode:", mode);

    auto* trigger = new QComboBox;
    trigger->setObjectName("trigger");
    trigger->addItem("(none)", QString());
    for (const Channel& c : m_channels)
        trigger->addItem(QString::fromStdString(c.name), QString::fromStdString(c.name));
    if (!m_trigger.empty() && trigger->findData(QString::fromStdString(m_trigger)) < 0)
        trigger->addItem(QString::fromStdString(m_trigger), QString::fromStdString(m_trigger));
    trigger->setCurrentIndex(std::max(0, trigger->findData(QString::fromStdString(m_trigger))));
    form->addRow("Trigger variable:", trigger);

    auto* slope = new QComboBox;
    slope->setObjectName("slope");
    slope->addItem("Rising", KX_SCOPE_RISING);
    slope->addItem("Falling", KX_SCOPE_FALLING);
    slope->setCurrentIndex(std::max(0, slope->findData(m_slope)));
    form->addRow("Slope:", slope);

    // The level is kept in the trigger variable's base unit and shown in the
    // unit of the trigger's channel, the unit its scale is read in.
    auto* level = new QDoubleSpinBox;
    level->setObjectName("level");
    level->setDecimals(6);
    level->setRange(-1e12, 1e12);
    form->addRow("Level:", level);
    // That of the trigger's channel, else the variable's own (null: none).
    const auto levelUnit = [this](const std::string& variable) {
        const auto it = std::find_if(m_channels.begin(), m_channels.end(),
                                     [&](const Channel& c) { return kx::NameEqual{}(c.name, variable); });
        Channel other;
        other.name = variable;
        return DisplayUnit(it != m_channels.end() ? *it : other);
    };
    // The level as the user set it, in the base unit: a change of trigger
    // variable shows it again, without the rounding of the field.
    const kx::UnitDef* shownIn = levelUnit(m_trigger);
    double levelBase = m_level;
    const auto showLevel = [&] {
        const QSignalBlocker quiet(level);
        const bool named = shownIn && !shownIn->name.empty();
        level->setSuffix(named ? QString::fromStdString(" " + kx::NormalizeUnitName(shownIn->name))
                               : QString());
        level->setValue(shownIn ? (levelBase - shownIn->offset) / shownIn->factor : levelBase);
        level->setEnabled(trigger->currentIndex() > 0);
    };
    showLevel();
    QObject::connect(level, &QDoubleSpinBox::valueChanged, level, [&](double value) {
        levelBase = shownIn ? value * shownIn->factor + shownIn->offset : value;
    });
    QObject::connect(trigger, &QComboBox::currentIndexChanged, level, [&] {
        shownIn = levelUnit(trigger->currentData().toString().toStdString());
        showLevel();
    });

    auto* pretrigger = new QSpinBox;
    pretrigger->setObjectName("pretrigger");
    pretrigger->setRange(0, 100);
    pretrigger->setSuffix(" %");
    pretrigger->setValue(m_pretrigger);
    form->addRow("Pre-trigger:", pretrigger);

    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    grid->addWidget(new QLabel("Channel"), 0, 0);
    grid->addWidget(new QLabel("Per division"), 0, 1);
    grid->addWidget(new QLabel("Middle line"), 0, 2);
    std::vector<QDoubleSpinBox*> steps, offsets;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const std::string unit = ChannelUnit(i);
        grid->addWidget(new QLabel(QString::fromStdString(m_channels[i].name)), row, 0);
        auto* step = new QDoubleSpinBox;
        step->setObjectName(QString("step%1").arg(row));
        step->setDecimals(6);
        step->setRange(1e-9, 1e12);
        step->setValue(m_channels[i].step);
        if (!unit.empty()) step->setSuffix(QString::fromStdString(" " + unit));
        auto* offset = new QDoubleSpinBox;
        offset->setObjectName(QString("offset%1").arg(row));
        offset->setDecimals(6);
        offset->setRange(-1e12, 1e12);
        offset->setValue(m_channels[i].offset);
        if (!unit.empty()) offset->setSuffix(QString::fromStdString(" " + unit));
        grid->addWidget(step, row, 1);
        grid->addWidget(offset, row, 2);
        steps.push_back(step);
        offsets.push_back(offset);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &editor, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &editor, &QDialog::reject);

    if (editor.exec() != QDialog::Accepted) return 0;
    const std::string before = SettingsText();
    const std::string triggerName = trigger->currentData().toString().toStdString();
    ChangeSettings(timeBase->value(), mode->currentData().toInt(), slope->currentData().toInt(),
                   triggerName.c_str(), levelBase, pretrigger->value());
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        m_channels[i].step = steps[i]->value();
        m_channels[i].offset = offsets[i]->value();
    }
    return SettingsText() != before ? 1 : 0;
}

// ---------------------------------------------------------------- scope window

CScopeWindow::CScopeWindow(int, int) {}

CScopeWindow::~CScopeWindow() { delete m_plot.data(); }

BOOL CScopeWindow::SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog, CGraphFilter* filter) {
    if (!Place(dialog ? dialog->GetDlgItem(controlId) : nullptr, filter)) return FALSE;
    m_dialog = dialog;
    m_controlId = controlId;
    return TRUE;
}

BOOL CScopeWindow::Create(QWidget* placeholder, CGraphFilter* filter) {
    if (!Place(placeholder, filter)) return FALSE;
    m_dialog = nullptr;
    m_controlId = 0;
    return TRUE;
}

BOOL CScopeWindow::Place(QWidget* placeholder, CGraphFilter* filter) {
    CKX_ScopeLogger* logger = CKX_ScopeLogger::FromFilter(filter);
    if (!placeholder || !logger) return FALSE;
    m_logger = logger;
    if (!m_plot || m_plot->parentWidget() != placeholder) {
        delete m_plot.data();
        auto* layout = placeholder->layout();
        if (!layout) {
            layout = new QVBoxLayout(placeholder);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        m_plot = new kx::ScopePlot(true, placeholder);
        m_plot->onScaleWheel = [this](int channel, int steps) { OnScaleWheel(channel, steps); };
        layout->addWidget(m_plot);
        if (auto* label = qobject_cast<QLabel*>(placeholder)) label->clear();
    }
    RefreshGraph();
    return TRUE;
}

void CScopeWindow::OnScaleWheel(int channel, int steps) {
    if (m_dialog) {
        m_dialog->SendMessage(KX_WM_CHANGE_CHANNEL_SCALE, m_controlId,
                              MAKELPARAM(static_cast<unsigned>(channel), static_cast<unsigned>(steps)));
    } else if (m_logger && m_logger->ChangeChannelScale(channel, steps)) {
        RefreshGraph();
    }
}

void CScopeWindow::RefreshGraph() {
    if (!m_plot || !m_logger || !m_logger->m_document.GetAt(0)) return;
    m_plot->Rebuild(*m_logger, *m_logger->m_document.GetAt(0));
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void CScopeWindow::DrawPoint(int index) {
    if (!m_plot || !m_logger) return;
    if (!m_plot->SetPoint(m_logger->m_document, index)) {
        RefreshGraph();
        return;
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void CScopeWindow::Invalidate() {
    if (m_plot) m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void CScopeWindow::UpdateWindow() {
    if (m_plot) m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

BOOL CScopeWindow::SavePicture(const std::string& path) const {
    if (!m_plot) return FALSE;
    return m_plot->savePng(QString::fromStdString(path), std::max(m_plot->width(), 640),
                           std::max(m_plot->height(), 400))
               ? TRUE
               : FALSE;
}

BOOL CScopeWindow::CreateWMF(const std::string& name) {
    m_saved.clear();
    m_error.clear();
    return Report(kx::WritePlotPdf(m_plot, name, m_saved, m_error));
}

BOOL CScopeWindow::ExportToASCII(const std::string& name) {
    m_saved.clear();
    m_error.clear();
    CGraphFilter* filter = m_logger ? m_logger->m_document.GetAt(0) : nullptr;
    return Report(kx::WriteFilterText(filter, name, m_saved, m_error));
}

BOOL CScopeWindow::Report(bool written) {
    if (written) return TRUE;
    if (m_plot) kx::MessageBox(m_plot->window(), m_error, {}, MB_OK | MB_ICONERROR);
    return FALSE;
}

QWidget* CScopeWindow::GetWidget() const { return m_plot.data(); }

long CScopeWindow::GetRepaintCount() const { return m_plot ? m_plot->Repaints() : 0; }

// ---------------------------------------------------------------- live chart

CKX_Oscilloscope::CKX_Oscilloscope() = default;

CKX_Oscilloscope::~CKX_Oscilloscope() { delete m_plot.data(); }

BOOL CKX_Oscilloscope::SubclassDlgItem(unsigned controlId, CKX_EditSetupDlg* dialog) {
    QWidget* placeholder = dialog ? dialog->GetDlgItem(controlId) : nullptr;
    if (!placeholder) return FALSE;
    if (!m_plot || m_plot->parentWidget() != placeholder) {
        delete m_plot.data();
        auto* layout = placeholder->layout();
        if (!layout) {
            layout = new QVBoxLayout(placeholder);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        m_plot = new kx::LivePlot(placeholder);
        layout->addWidget(m_plot);
        if (auto* label = qobject_cast<QLabel*>(placeholder)) label->clear();
    }
    m_plot->Setup(m_title, m_items.size());
    return TRUE;
}

void CKX_Oscilloscope::Initialize(const char* title, int items, int) {
    m_title = title ? title : "";
    m_items.assign(static_cast<std::size_t>(std::max(0, items)), Item{});
    m_points = 0;
    if (m_plot) {
        m_plot->Setup(m_title, m_items.size());
        m_plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void CKX_Oscilloscope::DrawNewPoint() {
    if (m_plot) {
        m_plot->Add(m_points, m_items);
        m_plot->replot(QCustomPlot::rpQueuedReplot);
    }
    ++m_points;
}

void CKX_Oscilloscope::Invalidate() {
    if (m_plot) m_plot->replot(QCustomPlot::rpQueuedReplot);
}

QWidget* CKX_Oscilloscope::GetWidget() const { return m_plot.data(); }
