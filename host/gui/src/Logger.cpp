#include "kx/gui/Logger.h"

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "GraphPlot.h"
#include "kx/Setup.h"
#include "kx/Units.h"

namespace {

constexpr const char* kTimeName = "Time";
constexpr const char* kTimeUnit = "s";
// Size of the picture SaveGraph writes when no window draws the record.

}  // namespace

CKX_Logger::~CKX_Logger() = default;

CKX_SingleAxisLogger::CKX_SingleAxisLogger(CKX_Setup& setup, CKX_CoffFormat* coff)
    : m_setup(setup), m_coff(coff) {
    m_document.Columns().push_back({kTimeName, kTimeUnit, {}});
}

CKX_SingleAxisLogger::~CKX_SingleAxisLogger() = default;

void CKX_SingleAxisLogger::ChangeSettings(unsigned short points, int logType, unsigned short every) {
    m_points = std::max<int>(1, points);
    m_logType = logType == KX_LOG_SLOW_LOOP ? KX_LOG_SLOW_LOOP : KX_LOG_FAST_LOOP;
    m_every = std::max<int>(1, every);
}

int CKX_SingleAxisLogger::AddVariable(const char* name, int) {
    if (!name || !*name) return 0;
    for (const Item& item : m_items)
        if (kx::NameEqual{}(item.name, name)) return 0;
    m_items.push_back(Item{name, {}, false, false, nullptr});
    m_document.Columns().push_back({name, {}, {}});
    return 1;
}

void CKX_SingleAxisLogger::CorrectPointsNo() {
    int words = 0;
    for (const Item& item : m_items) {
        const int type = item.located ? item.symbol.type : KX_TYPE_INT16;
        words += KX_TypeSizeInWords(type);
    }
    m_points = kx::FitLogPoints(m_points, words);
}

int CKX_SingleAxisLogger::LocateItems() {
    m_error.clear();
    const kx::QuietLookup quiet;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        Item& item = m_items[i];
        item.located = false;
        item.variable = m_setup.FindVariable(item.name.c_str(), 1);
        if (const kx::DriveSymbol* symbol = m_coff ? m_coff->FindSymbol(item.name) : nullptr) {
            item.symbol = *symbol;
            item.located = true;
        } else if (item.variable && item.variable->GetAddress() >= 0) {
            item.symbol = kx::DriveSymbol{item.variable->GetName(), item.variable->GetAddress(),
                                          item.variable->GetType()};
            item.located = true;
        }
        item.scaled = item.variable != nullptr;
        kx::PlotColumn& column = m_document.Columns()[i + 1];
        column.unit = item.variable ? kx::NormalizeUnitName(item.variable->GetUnitName()) : std::string();
        if (!item.located && m_error.empty())
            m_error =
                "The logged variable \"" + item.name + "\" is neither in the test program nor in the setup.";
    }
    return m_error.empty() ? 1 : 0;
}

kx::LogSettings CKX_SingleAxisLogger::GetLogSettings() const {
    kx::LogSettings settings;
    settings.points = m_points;
    settings.fastLoop = m_logType == KX_LOG_FAST_LOOP;
    settings.every = m_every;
    for (const Item& item : m_items)
        settings.columns.push_back(item.located ? item.symbol
                                                : kx::DriveSymbol{item.name, -1, KX_TYPE_INT16});
    return settings;
}

int CKX_SingleAxisLogger::ArmDrive(kx::DriveLink& link, std::string& error) {
    return link.ArmLogger(GetLogSettings(), error) ? 1 : 0;
}

int CKX_SingleAxisLogger::BeginUploadData() {
    m_uploaded.clear();
    m_next = 0;
    m_document.ClearValues();
    kx::DriveLink* link = CKX_Comm::GetActiveLink();
    if (!link) {
        m_error = kx::kNoDriveText;
        CKX_Comm::SetLastErrorText(m_error);
        return 0;
    }
    std::string error;
    if (!link->Upload(m_uploaded, error)) {
        m_error = error;
        CKX_Comm::SetLastErrorText(error);
        m_uploaded.clear();
        return 0;
    }
    return 1;
}

double CKX_SingleAxisLogger::Scale(const Item& item, std::int64_t raw) const {
    const double internal = kx::FromRaw(item.symbol.type, raw);
    if (!item.scaled) return internal;
    // The setup's variable gives the unit: internal -> base unit through the
    // plug-in's scaling, then base -> the variable's display unit.
    CKX_Variable value(*item.variable);
    value.SetValueInInternalUnit(internal);
    const double base = value.GetValueInBaseUnit();
    const kx::UnitType* type = kx::FindUnitType(item.variable->GetUnitName());
    const kx::UnitDef* unit = type ? type->Find(item.variable->GetUnitName()) : nullptr;
    return unit && unit->factor != 0.0 ? (base - unit->offset) / unit->factor : base;
}

int CKX_SingleAxisLogger::ReadPoint(void*) {
    if (m_next >= m_uploaded.size()) return 0;
    const kx::LogPoint& point = m_uploaded[m_next++];
    auto& columns = m_document.Columns();
    columns[0].values.push_back(point.time);
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const double value = i < point.raw.size() ? Scale(m_items[i], point.raw[i]) : 0.0;
        columns[i + 1].values.push_back(value);
    }
    return 1;
}

int CKX_SingleAxisLogger::SaveGraph(const char* name) {
    CGraphWindow* window = m_document.Windows().empty() ? nullptr : m_document.Windows().front();
    const auto picture = [&](const std::string& png) {
        return window ? window->SavePicture(png) != FALSE
                      : kx::SaveFilterPicture(*m_document.GetAt(0), 2, png, kx::kRecordPictureWidth,
                                              kx::kRecordPictureHeight);
    };
    QWidget* parent = window && window->GetWidget() ? window->GetWidget()->window() : nullptr;
    return kx::SaveRecordFiles(name && *name ? name : "Plot", m_document.Columns(), m_summary, picture,
                               parent, m_saved, m_error)
               ? 1
               : 0;
}
