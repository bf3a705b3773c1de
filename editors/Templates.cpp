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

const kx::ResourceModule& PluginResources() {
    static const kx::ResourceModule module{
        "dcdrive",
        {
            {kDriveSetupTemplate, &kx::BuildForm<Ui::CDriveSetupDlg>},
            {kAdvancedTemplate, &kx::BuildForm<Ui::CAdvancedDialog>},
            {kDriveInfoTemplate, &kx::BuildForm<Ui::CDriveInfo>},
            {kInertiaQuestionTemplate, &kx::BuildForm<Ui::CInertiaQuestion>},
            {kAnalogReferenceTemplate, &kx::BuildForm<Ui::CAnalogReferenceDlg>},
            {kFiltersTemplate, &kx::BuildForm<Ui::CFiltersDialog>},
            {kMotorSetupTemplate, &kx::BuildForm<Ui::CMotorSetupDialog>},
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
