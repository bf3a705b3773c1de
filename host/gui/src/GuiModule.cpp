// The host's GUI module: the host's own dialog templates and the bitmaps that
// plug-ins take from it, registered in the resource chain when the library
// loads.
#include <QDialog>

#include "CANopenSettingsDlg.h"
#include "kx/Setup.h"
#include "kx/gui/Resources.h"
#include "ui_CANopenSettings.h"

namespace kx {
namespace {

void BuildCANopenSettings(QDialog& dialog) {
    Ui::CKX_CANopenSettingsDlg form;
    form.setupUi(&dialog);
}

const ResourceModule& HostModule() {
    static const ResourceModule module{
        "kxgui", {{kCANopenSettingsTemplate, &BuildCANopenSettings}}, {}, {}, {},
        // The files of resources/bitmaps/, each named by its bitmap id.
        QStringLiteral(":/kxgui/bitmaps"),
    };
    return module;
}

const ModuleRegistration g_registration(HostModule());

}  // namespace

const ResourceModule& GetGuiModule() { return HostModule(); }

bool CANopenSettingsAvailable(const CKX_Setup& setup) {
    const QuietLookup quiet;
    return setup.FindParameter(kCANopenHeartbeat) != nullptr;
}

CKX_CANopenSettingsDlg::CKX_CANopenSettingsDlg(CKX_Setup& setup, CWnd* parent)
    : CKX_EditSetupDlg(setup, kCANopenSettingsTemplate, 1, nullptr, parent) {
    if (CANopenSettingsAvailable(setup)) AddParameterControls(kCANopenHeartbeat, 10031, 10032);
}

}  // namespace kx
