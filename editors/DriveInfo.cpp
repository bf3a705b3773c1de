#include "DriveInfo.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "EditorRules.h"
#include "conversions/Drivers.h"
#include "conversions/Names.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {
constexpr unsigned kFirmwareId = 3278, kProductId = 3277, kE2ROMSize = 3276, kDriveName = 3275,
                   kApplicationId = 3114;
constexpr int kApplicationIdLength = 40;
}  // namespace

CDriveInfo::CDriveInfo(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kDriveInfoTemplate, 1, nullptr, parent) {
    const struct {
        const char* name;
        unsigned edit, unit;
    } values[] = {
        {kVMOT_min, 3087, 3088},         {kVMOT_max, 3089, 3090}, {kVLOG_min, 3092, 3093},
        {kVLOG_max, 3094, 3095},         {kInPS, 1159, 1160},     {kImaxPS, 1161, 1162},
        {kVdcMaxMeasurable, 1163, 1164},
    };
    for (const auto& v : values) AddParameterControls(v.name, v.edit, v.unit);
    AddCheckParameterControls(kisDriveTemperatureSensor, 3097);
    AddParameterControls(kDriveTempSensorGain, 1165, 1166);
    AddParameterControls(kDriveTempOutputAt0oC, 1167, 1168);
    AddParameterControls(kTemp_2, 1177, 1178);
    AddCheckParameterControls(kisDriveOverTemp, 3325);
    AddCheckParameterControls(kisOverVoltage, 3103);
    AddParameterControls(kUMAX_PROT, 1169, 1170);
    AddCheckParameterControls(kisUnderVoltage, 3105);
    AddParameterControls(kUMIN_PROT, 1171, 1172);
    AddCheckParameterControls(kisDriveI2t, 3107);
    AddParameterControls(kI_I2t_D, 1173, 1174);
    AddParameterControls(kt_I2t_D, 1175, 1176);
    AddParameterControls(kAnalogueInputsRange, 1179, 1180);
}

const kx::MessageMap* CDriveInfo::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(3097, CDriveInfo::OnProtectionClicked),
        KX_ON_CLICKED(3103, CDriveInfo::OnProtectionClicked),
        KX_ON_CLICKED(3105, CDriveInfo::OnProtectionClicked),
        KX_ON_CLICKED(3107, CDriveInfo::OnProtectionClicked),
        KX_ON_CLICKED(3325, CDriveInfo::OnProtectionClicked),
        KX_ON_CLICKED(IDOK, CDriveInfo::OnOK),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

std::string CDriveInfo::FieldText(unsigned id) const {
    const auto* edit = qobject_cast<const QLineEdit*>(GetDlgItem(id));
    return edit ? edit->text().toStdString() : std::string();
}

void CDriveInfo::SetField(unsigned id, const std::string& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) {
        edit->setText(QString::fromStdString(text));
        edit->setCursorPosition(0);
    }
}

BOOL CDriveInfo::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    const CKX_Setup& setup = GetSetup();
    SetField(kE2ROMSize, std::to_string(setup.GetE2ROMSize() >> 10));
    SetField(kFirmwareId, setup.GetFirmwareID());
    SetField(kProductId, setup.GetProductID());
    SetField(kDriveName, setup.GetDescription());
    SetField(kApplicationId, setup.GetUserAppID());
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(kApplicationId)))
        edit->setMaxLength(kApplicationIdLength);
    UpdateData(FALSE);
    return TRUE;
}

void CDriveInfo::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    ApplyRules(DriveInfoDisplayRules(GetSetup(), m_editMode != 0));
}

BOOL CDriveInfo::PreTranslateKeyDown(const QKeyEvent& event) {
    const auto chord = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    if (event.key() == Qt::Key_K && (event.modifiers() & chord) == chord) {
        m_editMode = !m_editMode;
        UpdateData(FALSE);
    }
    return FALSE;
}

void CDriveInfo::OnProtectionClicked() {
    if (ApplyDriveTemperatureRule(GetSetup())) RefreshParameterControls(kisDriveOverTemp);
    UpdateData(FALSE);
}

void CDriveInfo::OnOK() {
    if (!UpdateData(TRUE)) return;
    CKX_Setup& setup = GetSetup();
    unsigned words = 0;
    if (!E2ROMWordsFromText(FieldText(kE2ROMSize), words)) {
        MessageBox(kE2ROMSizeMessage, nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    setup.SetE2ROMSize(words);
    setup.SetUserAppID(FieldText(kApplicationId));
    setup.SetProductID(FieldText(kProductId));
    setup.SetDescription(FieldText(kDriveName));
    if (setup.SetFirmwareID(FieldText(kFirmwareId)) == 0)
        MessageBox("Error setting the firmware ID!", nullptr, MB_OK);
    ParametersToRegisters(setup);
    EndDialog(IDOK);
}
