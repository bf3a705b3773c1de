// The host's GUI module: the host's own dialog templates and the bitmaps that
// plug-ins take from it, registered in the resource chain when the library
// loads.
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <map>

#include "CANopenSettingsDlg.h"
#include "kx/Setup.h"
#include "kx/gui/Resources.h"
#include "ui_CANopenSettings.h"

// The bitmaps' resource registers itself when the library loads, but not
// necessarily before this file's own registration reads it: it is
// registered here first (a second registration changes nothing).
static void RegisterHostBitmapResource() {
#ifdef KXGUI_HAS_BITMAPS
    Q_INIT_RESOURCE(kxgui_bitmaps);
#endif
}

namespace kx {
namespace {

void BuildCANopenSettings(QDialog& dialog) {
    Ui::CKX_CANopenSettingsDlg form;
    form.setupUi(&dialog);
}

// The host's bitmaps are the files of resources/bitmaps/, each named by its
// bitmap id ("3067.svg"), compiled into the library.
std::map<unsigned, QString> HostBitmaps() {
    RegisterHostBitmapResource();
    std::map<unsigned, QString> bitmaps;
    const QDir folder(QStringLiteral(":/kxgui/bitmaps"));
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files)) {
        bool ok = false;
        const unsigned id = file.completeBaseName().toUInt(&ok);
        if (ok) bitmaps[id] = file.filePath();
    }
    return bitmaps;
}

const ResourceModule& HostModule() {
    static const ResourceModule module{
        "kxgui", {{kCANopenSettingsTemplate, &BuildCANopenSettings}}, {}, HostBitmaps(), {},
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
