// How an editor shows a parameter's value and reads back what the user
// typed: in the selected display unit, with the parameter's precision, in the
// user's locale; typed numbers are read in the user's locale and in the C
// locale ("2,5" and "2.5"), and checked against the parameter's limits.
#pragma once

#include <QString>
#include <string>

#include "kx/gui/Gui.h"

class CKX_Parameter;

namespace kx {

enum class ReadStatus { Ok, NotANumber, OutsideLimits };

struct ReadResult {
    ReadStatus status = ReadStatus::NotANumber;
    double value = 0.0;  // in the display unit, within the limits
};

// The value in the parameter's display unit with its precision.
KXGUI_API QString FormatDisplayValue(const CKX_Parameter& parameter);
KXGUI_API QString FormatDisplayNumber(double value, int precision);

// Reads a typed value in the display unit. A value that lies outside the
// limits by less than half of the last shown digit is taken as the limit
// itself (the limits are shown rounded, and typing what is shown must work).
KXGUI_API ReadResult ReadDisplayValue(const CKX_Parameter& parameter, const QString& typed);

// The limits in the display unit (false when the parameter has none).
KXGUI_API bool DisplayLimits(const CKX_Parameter& parameter, double& min, double& max);

// The message for a refused value: it names the parameter and its limits in
// the shown unit.
KXGUI_API std::string InvalidValueMessage(const CKX_Parameter& parameter, const QString& typed,
                                          ReadStatus status);

}  // namespace kx
