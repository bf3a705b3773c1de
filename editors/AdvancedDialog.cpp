#include "AdvancedDialog.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/Kernel.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

constexpr unsigned kSchemePicture = 3280;
constexpr unsigned kFastOutside = 1148, kSlowOutside = 1149;
constexpr unsigned kFastLabels[] = {1131, 1140};
constexpr unsigned kSlowLabels[] = {1134, 1143};
constexpr unsigned kRed = 0x0000FF;

QColor FromColourValue(unsigned colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

void SetTextColour(QWidget* widget, unsigned colour) {
    if (!widget) return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, FromColourValue(colour));
    widget->setPalette(palette);
}

}  // namespace

CAdvancedDialog::CAdvancedDialog(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kAdvancedTemplate, 1, nullptr, parent) {
    AddSwitchParameterControls(kPositionControlType, 3012, 3013);
    {
        const kx::QuietLookup quiet;  // a drive without the fast loop choice lacks the parameter
        AddSwitchParameterControls(kPosSpd_in_FastLoop, 1146, 1147);
    }
    if (HasSpeedEstimatorParameter(setup)) AddCheckParameterControls(kisSpeedEstimator, 3356);
    AddParameterControls(kCLPER, 1132, 0);
    AddParameterControls(kSLPER, 1135, 0);
    AddParameterControls(kPWM_freq, 1129, 1130);
    AddParameterControls(kTs_C, 1141, 1142);
    AddParameterControls(kTs_S, 1144, 1145);
    AddParameterControls(kPWMperiod, 1138, 1139);
    if (HasSpeedForward(setup)) AddSwitchParameterControls(kSpeedForward, 3374, 3375);
    if (HasFreezeControl(setup)) {
        AddCheckParameterControls(kisFreezeControl, 3397);
        AddParameterControls(kFreezeControl_errband, 3400, 3401);
        AddParameterControls(kFreezeControl_time, 3402, 3403);
    }
}

const kx::MessageMap* CAdvancedDialog::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(3012, CAdvancedDialog::OnSchemeClicked),
        KX_ON_CLICKED(3013, CAdvancedDialog::OnSchemeClicked),
        KX_ON_CLICKED(10024, CAdvancedDialog::OnHelp),
        KX_ON_CLICKED(IDOK, CAdvancedDialog::OnOK),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CAdvancedDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CKX_Setup& setup = GetSetup();
    // The indicators keep their place while hidden, so that the periods do
    // not move when one appears.
    for (unsigned id : {kFastOutside, kSlowOutside})
        if (QWidget* indicator = GetDlgItem(id)) {
            QSizePolicy policy = indicator->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            indicator->setSizePolicy(policy);
        }
    ApplyRules(AdvancedInitRules(setup));
    m_state.rescaleReference = Value(setup, kTs_S);
    m_state.fastReference = Value(setup, kTs_C);
    m_state.slowReference = Value(setup, kTs_S);
    PaintLabels();
    UpdateData(FALSE);
    return TRUE;
}

void CAdvancedDialog::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    SetChildBitmap(kSchemePicture, AdvancedSchemeBitmap(GetSetup()));
    ApplyRules(AdvancedDisplayRules(GetSetup()));
}

void CAdvancedDialog::PaintLabels() {
    for (unsigned id : kFastLabels) SetTextColour(GetDlgItem(id), m_fastColour);
    for (unsigned id : kSlowLabels) SetTextColour(GetDlgItem(id), m_slowColour);
    for (unsigned id : {kFastOutside, kSlowOutside}) SetTextColour(GetDlgItem(id), kRed);
}

void CAdvancedDialog::OnChangedParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    if (NamesEqual(name, kPosSpd_in_FastLoop)) {
        if (ValueOr(setup, kPosSpd_in_FastLoop, 0) == 1 && HasSpeedEstimatorParameter(setup)) {
            WriteBase(setup, kisSpeedEstimator, 0);
            RefreshParameterControls(kisSpeedEstimator);
        }
        UpdateData(FALSE);
    } else if (NamesEqual(name, kPWM_freq)) {
        ApplyPWMFrequencyChange(setup, m_state.fastReference, m_state.slowReference);
        for (const char* refreshed : {kCLPER, kSLPER, kTs_S, kTs_C, kPWMperiod})
            RefreshParameterControls(refreshed);
        UpdateData(FALSE);
    }
}

void CAdvancedDialog::OnRefreshParameterValue(const char* name) {
    const AdvancedRefresh refresh = ApplyAdvancedRefresh(GetSetup(), name, m_state);
    for (const std::string& message : refresh.messages) MessageBox(message.c_str(), nullptr, MB_OK);
    if (refresh.fastOutside >= 0) {
        m_fastColour = refresh.fastOutside ? kRed : 0;
        ShowChild(kFastOutside, refresh.fastOutside);
    }
    if (refresh.slowOutside >= 0) {
        m_slowColour = refresh.slowOutside ? kRed : 0;
        ShowChild(kSlowOutside, refresh.slowOutside);
    }
    PaintLabels();
    RefreshAllParameters(0);
    UpdateData(FALSE);
}

void CAdvancedDialog::OnSchemeClicked() { UpdateData(FALSE); }

void CAdvancedDialog::OnHelp() { OpenHelp(kHelpAdvanced); }

void CAdvancedDialog::OnOK() {
    // A value still being typed is committed first; a refused one keeps the
    // dialog open.
    if (!UpdateData(TRUE)) return;
    const std::vector<std::string> refused = AdvancedOKMessages(GetSetup());
    for (const std::string& message : refused) MessageBox(message.c_str(), nullptr, MB_OK);
    if (refused.empty()) EndDialog(IDOK);
}
