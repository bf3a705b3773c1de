#include "Templates.h"

#include <QDialog>

#include "DriveInfo.h"
#include "DriveSetupDlg.h"
#include "FiltersDialog.h"
#include "InertiaQuestion.h"
#include "ui_DriveInfo.h"
#include "ui_DriveSetupDlg.h"
#include "ui_FiltersDialog.h"
#include "ui_InertiaQuestion.h"

namespace dcdrive {
namespace {

// A template is its form: the controls are built into the dialog and the
// form object is not needed afterwards.
template <class Form>
void Build(QDialog& dialog) {
    Form form;
    form.setupUi(&dialog);
}

}  // namespace

const kx::ResourceModule& PluginResources() {
    static const kx::ResourceModule module{
        "dcdrive",
        {
            {kDriveSetupTemplate, &Build<Ui::CDriveSetupDlg>},
            {kDriveInfoTemplate, &Build<Ui::CDriveInfo>},
            {kInertiaQuestionTemplate, &Build<Ui::CInertiaQuestion>},
            {kFiltersTemplate, &Build<Ui::CFiltersDialog>},
        },
        {{"TO_MOTORSETUP", ":/dcdrive/images/to_motorsetup.svg"}},
        {},
        {},
    };
    return module;
}

}  // namespace dcdrive
