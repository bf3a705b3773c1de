#include "Templates.h"

#include <QDialog>

#include "AdvancedDialog.h"
#include "AnalogReferenceDlg.h"
#include "DriveInfo.h"
#include "DriveSetupDlg.h"
#include "FiltersDialog.h"
#include "InertiaQuestion.h"
#include "MotorSetupDialog.h"
#include "ui_AdvancedDialog.h"
#include "ui_AnalogReferenceDlg.h"
#include "ui_DriveInfo.h"
#include "ui_DriveSetupDlg.h"
#include "ui_FiltersDialog.h"
#include "ui_InertiaQuestion.h"
#include "ui_MotorSetupDialog.h"

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
            {kAdvancedTemplate, &Build<Ui::CAdvancedDialog>},
            {kDriveInfoTemplate, &Build<Ui::CDriveInfo>},
            {kInertiaQuestionTemplate, &Build<Ui::CInertiaQuestion>},
            {kAnalogReferenceTemplate, &Build<Ui::CAnalogReferenceDlg>},
            {kFiltersTemplate, &Build<Ui::CFiltersDialog>},
            {kMotorSetupTemplate, &Build<Ui::CMotorSetupDialog>},
        },
        {{"TO_MOTORSETUP", ":/dcdrive/images/to_motorsetup.svg"},
         {"TO_DRIVESETUP", ":/dcdrive/images/to_drivesetup.svg"},
         {"WARN_SWITCH_HW_LS", ":/dcdrive/images/warn_switch_hw_ls.svg"}},
        {},
        {},
        {},
    };
    return module;
}

}  // namespace dcdrive
