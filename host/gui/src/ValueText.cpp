#include "kx/gui/ValueText.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "kx/Setup.h"
#include "kx/Units.h"

namespace kx {
namespace {

constexpr double kUnbounded = std::numeric_limits<double>::max();

const UnitDef* DisplayUnit(const CKX_Parameter& p) {
    const UnitType* type = p.GetUnitType();
    return type ? type->Find(p.GetUnitName()) : nullptr;
}

double ToDisplay(const CKX_Parameter& p, double base) {
    const UnitDef* unit = DisplayUnit(p);
    return unit ? (base - unit->offset) / unit->factor : base;
}

int Precision(const CKX_Parameter& p) { return std::clamp(p.GetPrecision(), 0, 15); }

// The user's locale, without group separators: "1.000" in a decimal-comma
// locale must not read as a thousand.
QLocale UserLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QLocale CLocale() {
    QLocale locale = QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

std::string UnitSuffix(const CKX_Parameter& p) {
    const std::string unit = NormalizeUnitName(p.GetUnitName());
    return unit.empty() ? std::string() : " " + unit;
}

}  // namespace

QString FormatDisplayNumber(double value, int precision) {
    if (!std::isfinite(value)) return QString();
    QString text = UserLocale().toString(value, 'f', std::clamp(precision, 0, 15));
    // A value that rounds to zero shows as zero, not as "-0.000".
    if (text.startsWith(UserLocale().negativeSign())) {
        bool ok = false;
        if (UserLocale().toDouble(text, &ok) == 0.0 && ok) text.remove(0, UserLocale().negativeSign().size());
    }
    return text;
}

QString FormatDisplayValue(const CKX_Parameter& p) {
    return FormatDisplayNumber(p.GetValueInDisplayUnit(), Precision(p));
}

bool DisplayLimits(const CKX_Parameter& p, double& min, double& max) {
    const double lo = p.GetMinInBaseUnit();
    const double hi = p.GetMaxInBaseUnit();
    if (lo > hi || (lo <= -kUnbounded && hi >= kUnbounded)) return false;
    min = lo <= -kUnbounded ? -kUnbounded : ToDisplay(p, lo);
    max = hi >= kUnbounded ? kUnbounded : ToDisplay(p, hi);
    if (min > max) std::swap(min, max);  // a unit with a negative factor
    return true;
}

ReadResult ReadDisplayValue(const CKX_Parameter& p, const QString& typed) {
    ReadResult result;
    const QString text = typed.trimmed();
    bool ok = false;
    double value = UserLocale().toDouble(text, &ok);
    if (!ok) value = CLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) return result;
    double min = 0.0, max = 0.0;
    if (DisplayLimits(p, min, max)) {
        const double tolerance = 0.5 * std::pow(10.0, -Precision(p));
        if (value < min - tolerance || value > max + tolerance) {
            result.status = ReadStatus::OutsideLimits;
            result.value = value;
            return result;
        }
        value = std::clamp(value, min, max);
    }
    result.status = ReadStatus::Ok;
    result.value = value;
    return result;
}

std::string InvalidValueMessage(const CKX_Parameter& p, const QString& typed, ReadStatus status) {
    const std::string name = "\"" + p.GetName() + "\"";
    const std::string unit = UnitSuffix(p);
    std::string limits;
    double min = 0.0, max = 0.0;
    if (DisplayLimits(p, min, max)) {
        const int digits = Precision(p);
        if (min <= -kUnbounded)
            limits = "at most " + FormatDisplayNumber(max, digits).toStdString() + unit;
        else if (max >= kUnbounded)
            limits = "at least " + FormatDisplayNumber(min, digits).toStdString() + unit;
        else
            limits = "from " + FormatDisplayNumber(min, digits).toStdString() + " to " +
                     FormatDisplayNumber(max, digits).toStdString() + unit;
    }
    const std::string shown = typed.trimmed().toStdString();
    if (status == ReadStatus::OutsideLimits)
        return shown + unit + " is outside the limits of " + name + ". Enter a value " + limits + ".";
    if (limits.empty()) return "\"" + shown + "\" is not a number. Enter a number for " + name + ".";
    return "\"" + shown + "\" is not a number. Enter a value of " + name + " " + limits + ".";
}

}  // namespace kx
