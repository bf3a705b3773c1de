#include "Exports.h"

#include <QApplication>
#include <exception>
#include <string>

#include "Scaling.h"
#include "conversions/Drivers.h"
#include "conversions/Steps.h"
#include "editors/DriveSetupDlg.h"
#include "kx/Setup.h"
#include "kx/gui/Gui.h"

DCDRIVE_EXPORT void ComputeAllOptions(CKX_Setup* setup) {
    if (!setup) return;
    try {
        dcdrive::RegistersToParameters(*setup);
        dcdrive::ComputeParameterLimits(*setup);
        dcdrive::ComputeLoopOptions(*setup);
        dcdrive::ComputeLoadUnits(*setup);
    } catch (...) {
        // The host gets no exception; what was written so far stays.
    }
}

DCDRIVE_EXPORT int EditSetup(CKX_Setup* setup) {
    if (!setup) return 0;
    try {
        const kx::ApplicationGuard application;
        // The editor lives on this stack: it is destroyed on return and when
        // an exception passes.
        CDriveSetupDlg dialog(*setup, QApplication::activeWindow());
        return dialog.DoModal() == IDOK ? 1 : 0;
    } catch (const std::exception& error) {
        kx::ReportError(std::string("the drive setup editor could not run: ") + error.what());
        return 0;
    } catch (...) {
        kx::ReportError("the drive setup editor could not run");
        return 0;
    }
}

DCDRIVE_EXPORT double GetScaleFactor(CKX_Setup* setup, const char* unit, const char* variable) {
    if (!setup || !unit) return 1.0;
    try {
        return dcdrive::ScaleFactor(*setup, unit, variable ? variable : "");
    } catch (...) {
        return 0.0;
    }
}

DCDRIVE_EXPORT double GetScaleOffset(CKX_Setup* setup, const char* unit) {
    if (!setup || !unit) return 0.0;
    try {
        return dcdrive::ScaleOffset(*setup, unit);
    } catch (...) {
        return 0.0;
    }
}
