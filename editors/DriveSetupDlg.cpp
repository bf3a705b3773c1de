#include "DriveSetupDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <cstdio>
#include <initializer_list>

#include "EditorRules.h"
#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Gains.h"
#include "conversions/Io.h"
#include "conversions/Names.h"
#include "conversions/Steps.h"
#include "help/Help.h"
#include "options/LoopOptions.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

constexpr unsigned kAxisList = 3136;
constexpr unsigned kMotorSetupButton = 10019;
constexpr unsigned kShowTimer = 2;

// The guideline assistant's ten steps.
const char* const kSteps[] = {
    "Step 1. In the <<Control mode>> group box, select what do you want to control: position, speed or "
    "torque.",
    "Step 2. In the <<External reference>> group box, select <<Yes>> if your drive gets a position, speed or "
    "torque "
    "reference from an external device. Press the <<Setup>> button to select the reference type: analogue or "
    "pulse "
    "& direction or incremental encoder and its parameters.",
    "Step 3.\tIn the <<Drive operation parameters>> group box, set the value of the DC voltage power supply. "
    "Use the "
    "<<Detect>> button to measure its actual value as applied to the drive. Also set the <<Current limit>> "
    "parameter, i.e. the maximum current value used by the drive to control the motor.",
    "Step 4.\tIn the <<Current controller>> group box, set the current controller parameters Kp "
    "(proportional) and "
    "Ki (integral). Use the <<Tune & Test>> button to automatically compute the current controller "
    "parameters and "
    "to test the current loop behavior.",
    "Step 5.\tIn the <<Speed Controller>> group box, set the speed controller parameters Kp (proportional), "
    "Ki "
    "(integral), Integral limit (saturation limit for the integral term of the controller) and the "
    "acceleration "
    "Feedforward. Use the <<Tune & Test>> button to automatically compute the speed controller parameters "
    "and to "
    "test the speed loop response. Before tuning the speed controller, make sure to set the right value for "
    "the "
    "ratio load inertia /motor inertia or to identify the total inertia. Note that the controller tuning "
    "does not "
    "include the acceleration feedforward. Set initially this value to 0, and then establish the other "
    "controller "
    "parameters. Finally increase gradually the acceleration feedforward and check the speed loop response.",
    "Step 6.\tIn the <<Position Controller>> group box, set the position controller parameters Kp "
    "(proportional), "
    "Ki (integral), Kd (derivative), Kd filter (filtering coefficient for the derivative term), Integral "
    "limit "
    "(saturation limit for the integral term of the controller), Speed limit (saturation limit for the "
    "position "
    "controller output, seen as a speed reference value), acceleration and speed feedforward. Use the <<Tune "
    "& "
    "Test>> button to automatically compute the position controller parameters and to test the position loop "
    "behavior. Before tuning the position controller, make sure to set the right value for the ratio load "
    "inertia "
    "/motor inertia or to identify the total inertia. Note that the controller tuning does not include the "
    "acceleration and speed feedforward. Set initially these values to 0, and then establish the other "
    "controller "
    "parameters. Finally increase gradually the acceleration and speed feedforward and check the speed loop "
    "behavior.",
    "Step 7.\tIn the <<Axis ID Selection>> group box, choose the desired axis ID of the drive for network "
    "communication. Select \"H/W\" if you want to set the axis ID automatically using the dedicated hardware "
    "switches, jumpers or solder joints.",
    "Step 8. In the <<Protections>> group box, select and parameterize the protections that you want to "
    "activate.",
    "Step 9. In the <<External brake resistor>> group box, check <<Connected>> if you have a brake resistor "
    "connected to the drive. Set the voltage level at which the drive starts to clamp the supply via the "
    "brake "
    "resistor.",
    "Step 10. In the <<Inputs polarity>> check box, select the active levels for the Enable and the two "
    "limit switch "
    "inputs.",
    nullptr,
};

// The buttons that open a dialog of the registry; each is disabled while its
// dialog is not available.
constexpr struct {
    unsigned button;
    SubDialog kind;
} kSubDialogButtons[] = {
    {3171, SubDialog::SupplyVoltageDetection},
    {3137, SubDialog::CurrentTuning},
    {3178, SubDialog::SpeedTuning},
    {3198, SubDialog::PositionTuning},
    {3208, SubDialog::ExternalReference},
    {3158, SubDialog::Advanced},
    {3159, SubDialog::DriveInfo},
    {kMotorSetupButton, SubDialog::MotorSetup},
};

bool Has(const CKX_Setup& setup, const char* name) { return Exists(setup, name); }

}  // namespace

CDriveSetupDlg::CDriveSetupDlg(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kDriveSetupTemplate, 1, const_cast<const char**>(kSteps), parent) {
    RegistersToParameters(setup);
    ComputeParameterLimits(setup);
    if (HasSpeedForward(setup)) UpdateSpeedForward(setup);

    AddParameterControls(kVdc, 3163, 3166);
    AddParameterControls(kIlimPS, 3169, 3170);
    AddParameterControls(kKp_C_scl, 3173, 0);
    AddParameterControls(kKi_C_scl, 3176, 0);
    AddParameterControls(kKp_S_scl, 3179, 0);
    AddParameterControls(kKi_S_scl, 3180, 0);
    AddParameterControls(kIPSatS, 3181, 3182);
    AddParameterControls(kKFFA_scl, 3183, 0);
    AddParameterControls(kKFFS_scl, 3394, 0);
    AddParameterControls(kKp_P_scl, 3190, 0);
    AddParameterControls(kKi_P_scl, 3191, 0);
    AddParameterControls(kKd_P_scl, 3192, 0);
    AddParameterControls(kfilter_D, 3193, 0);
    AddParameterControls(kIPSatP, 3194, 3195);
    AddParameterControls(kKFFS_scl, 3196, 0);
    AddParameterControls(kKFFA_scl, 3197, 0);
    AddParameterControls(kLimit_Speed, 1043, 1044);
    AddSwitchParameterControls(kControlMode, 1059, 1061);
    AddSwitchParameterControls(kExternalReference, 1063, 1064);
    if (Has(setup, kisAutoActivatedAfterPowerOn))
        AddCheckParameterControls(kisAutoActivatedAfterPowerOn, 3116);
    AddSwitchParameterControls(kisAnalogueReference, 3290, 3291);
    AddCheckParameterControls(kisOverCurrent, 3213);
    AddParameterControls(kImax_Prot, 3214, 3215);
    AddParameterControls(ktime_Imax_Prot, 3216, 3217);
    AddCheckParameterControls(kisPositionControlError, 3230);
    AddParameterControls(kERR_position, 3218, 3219);
    AddParameterControls(ktime_ERR_pos, 3220, 3221);
    AddCheckParameterControls(kisSpeedControlError, 3231);
    AddParameterControls(kERR_speed, 3222, 3223);
    AddParameterControls(ktime_ERR_spd, 3224, 3225);
    AddCheckParameterControls(kisMotorOverTemp, 3232);
    AddCheckParameterControls(kisMotorI2t, 3233);
    AddParameterControls(kI_I2t_M, 3226, 3227);
    AddParameterControls(kt_I2t_M, 3228, 3229);
    if (setup.GetIntOption(kOptDisableBrake) != 1) {
        AddCheckParameterControls(kisBrakeResistor, 3243);
        AddParameterControls(kVbrake, 3244, 3245);
    }
    if (setup.GetIntOption(kOptHideEnablePolarity) != 1)
        AddSwitchParameterControls(kEnablePolarity, 1046, 1047);
    AddSwitchParameterControls(kLSPPolarity, 3251, 3252);
    AddSwitchParameterControls(kLSNPolarity, 3253, 3254);
    if (Has(setup, kInputsPolarityType)) AddSwitchParameterControls(kInputsPolarityType, 3406, 3407);
    if (Has(setup, kisSWLS)) {
        AddCheckParameterControls(kisSWLS, 3354);
        AddParameterControls(kNegative_SWLS, 3274, 3275);
        AddParameterControls(kPositive_SWLS, 3271, 3272);
    }
    if (Has(setup, kPOSRANGEDEF)) {
        AddCheckParameterControls(kisPosRange, 3352);
        AddParameterControls(kPosRange_Minimum, 3280, 3281);
        AddParameterControls(kPosRange_Maximum, 3282, 3283);
    }
    if (Has(setup, ksave_CAN_baudrate) && Has(setup, ksave_axis_id)) {
        AddCheckParameterControls(ksave_CAN_baudrate, 3378);
        AddCheckParameterControls(ksave_axis_id, 3379);
    }
    if (Has(setup, kMotionCompleteDefaultSettings)) {
        AddParameterControls(kMotionCompleteSettleBand, 3554, 3555);
        AddParameterControls(kMotionCompleteStabilizeTime, 3556, 3557);
    }
    EnableCANSettings();
}

const kx::MessageMap* CDriveSetupDlg::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(3171, CDriveSetupDlg::OnDetect),
        KX_ON_CLICKED(3137, CDriveSetupDlg::OnTuneCurrent),
        KX_ON_CLICKED(3178, CDriveSetupDlg::OnTuneSpeed),
        KX_ON_CLICKED(3198, CDriveSetupDlg::OnTunePosition),
        KX_ON_CLICKED(3208, CDriveSetupDlg::OnExternalReferenceSetup),
        KX_ON_CLICKED(3158, CDriveSetupDlg::OnAdvanced),
        KX_ON_CLICKED(3159, CDriveSetupDlg::OnDriveInfo),
        KX_ON_CLICKED(10019, CDriveSetupDlg::OnMotorSetup),
        KX_ON_CLICKED(10024, CDriveSetupDlg::OnHelp),
        KX_ON_CLICKED(1059, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(1060, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(1061, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(1063, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(1064, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3213, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3230, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3231, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3233, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3243, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3352, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3354, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3378, CDriveSetupDlg::OnModeClicked),
        KX_ON_CLICKED(3379, CDriveSetupDlg::OnModeClicked),
        KX_ON_SELCHANGE(3136, CDriveSetupDlg::OnAxisIdChanged),
        KX_ON_CLICKED(IDOK, CDriveSetupDlg::OnOK),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CDriveSetupDlg::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CKX_Setup& setup = GetSetup();
    SetButtonImage(kMotorSetupButton, "TO_MOTORSETUP");
    {
        const kx::QuietLookup quiet;  // a drive without an analogue input lacks the variable
        EnableChild(3262, setup.FindVariable(kCADIN) != nullptr && Has(setup, kCADIN));
    }
    const bool brake = setup.GetIntOption(kOptDisableBrake) != 1;
    EnableChild(3243, brake);
    EnableChild(3242, brake);
    if (m_axisList) {
        m_axisList->clear();
        for (const std::string& item : AxisIdItems()) m_axisList->addItem(QString::fromStdString(item));
        m_axisList->setCurrentIndex(AxisIdItemIndex(ValueOr(setup, kAxis_ID_list, 0.0)));
    }
    SetChildText(3318, DigitalReferenceCaption(setup));
    const InputTypeDisplay input = DriveSetupInputType(setup);
    EnableChild(3406, input.radiosEnabled);
    EnableChild(3407, input.radiosEnabled);
    if (input.setsRadios) {
        if (auto* sink = qobject_cast<QAbstractButton*>(GetDlgItem(3407))) sink->setChecked(input.sink);
        if (auto* source = qobject_cast<QAbstractButton*>(GetDlgItem(3406))) source->setChecked(!input.sink);
    }
    SetInputCaptions(input.sink);
    if (HasMotionCompleteSettings(setup)) ApplyMotionCompleteDefaults();
    ShowChild(3116, Has(setup, kisAutoActivatedAfterPowerOn));
    return TRUE;
}

void CDriveSetupDlg::SetInputCaptions(bool sink) {
    const PolarityCaptions& captions = sink ? kSinkCaptions : kSourceCaptions;
    SetChildText(3404, captions.upper);
    SetChildText(3405, captions.lower);
}

void CDriveSetupDlg::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    m_axisList = qobject_cast<QComboBox*>(GetDlgItem(kAxisList));
    if (pDX->m_bSaveAndValidate) return;
    ApplyRules(DriveSetupDisplayRules(GetSetup()));
    RefreshAllParameters(0);
    // A button whose dialog is not available cannot be pressed.
    for (const auto& entry : kSubDialogButtons)
        if (!FindSubDialog(entry.kind)) EnableChild(entry.button, FALSE);
}

void CDriveSetupDlg::OnShowWindow() {
    // The motor setup opens on top of the editor as soon as it is shown.
    if (FindSubDialog(SubDialog::MotorSetup)) SetTimer(kShowTimer, 1);
}

void CDriveSetupDlg::OnTimer(UINT id) {
    if (id != kShowTimer) return;
    KillTimer(kShowTimer);
    if (Open(SubDialog::MotorSetup) == IDOK) {
        RunBothDrivers(GetSetup());
        RefreshAllParameters(0);
        UpdateData(FALSE);
    }
    if (HasMotionCompleteSettings(GetSetup())) ApplyMotionCompleteDefaults();
}

void CDriveSetupDlg::ApplyMotionCompleteDefaults() {
    dcdrive::ApplyMotionCompleteDefaults(GetSetup());
    RefreshParameterControls(kMotionCompleteSettleBand);
    RefreshParameterControls(kMotionCompleteStabilizeTime);
}

void CDriveSetupDlg::OnChangedParameterValue(const char* name) {
    const DriveSetupChange change = ApplyDriveSetupChange(GetSetup(), name);
    if (change.refreshAll) RefreshAllParameters(0);
    for (const std::string& refreshed : change.refresh) RefreshParameterControls(refreshed.c_str());
    CMySetupDlg::OnChangedParameterValue(name);
}

void CDriveSetupDlg::OnRefreshParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    const bool supplyOrSpeed = NamesEqual(name, kVdc) || NamesEqual(name, kLimit_Speed);
    const bool inputType = NamesEqual(name, kInputsPolarityType);
    if (supplyOrSpeed) {
        WritePositionSaturation(setup);
        ReadSpeedLimit(setup);
        ComputeParameterLimits(setup);
    } else if (inputType) {
        InvertInputPolarities(setup);
        SetInputCaptions(TruncateToInt32(ValueOr(setup, kInputsPolarityType, 0.0)) == 1);
    }
    if (supplyOrSpeed || inputType) RefreshAllParameters(0);
    CMySetupDlg::OnRefreshParameterValue(name);
}

// ---- sub-dialogs

int CDriveSetupDlg::Open(SubDialog kind) {
    const SubDialogRunner run = FindSubDialog(kind);
    if (!run) return IDCANCEL;
    return run(GetSetup(), GetWindow());
}

void CDriveSetupDlg::RunSubDialog(SubDialog kind) {
    RunBothDrivers(GetSetup());
    if (Open(kind) != IDOK) return;
    RunBothDrivers(GetSetup());
    RefreshAllParameters(0);
    UpdateData(FALSE);
}

void CDriveSetupDlg::OnDetect() { RunSubDialog(SubDialog::SupplyVoltageDetection); }

void CDriveSetupDlg::OnTuneCurrent() {
    RunBothDrivers(GetSetup());
    MessageBox("The test must be performed with motor shaft blocked.", nullptr, MB_OK);
    if (Open(SubDialog::CurrentTuning) != IDOK) return;
    RunBothDrivers(GetSetup());
    RefreshAllParameters(0);
}

void CDriveSetupDlg::OnTuneSpeed() {
    RunBothDrivers(GetSetup());
    ComputeParameterLimits(GetSetup());
    RunSubDialog(SubDialog::SpeedTuning);
}

void CDriveSetupDlg::OnTunePosition() { RunSubDialog(SubDialog::PositionTuning); }

void CDriveSetupDlg::OnExternalReferenceSetup() { RunSubDialog(SubDialog::ExternalReference); }

void CDriveSetupDlg::OnAdvanced() {
    RunBothDrivers(GetSetup());
    if (Open(SubDialog::Advanced) != IDOK) return;
    RunBothDrivers(GetSetup());
    ComputeParameterLimits(GetSetup());
    UpdateData(FALSE);
}

void CDriveSetupDlg::OnDriveInfo() {
    RunBothDrivers(GetSetup());
    Open(SubDialog::DriveInfo);
    RunBothDrivers(GetSetup());
}

void CDriveSetupDlg::OnMotorSetup() {
    RunBothDrivers(GetSetup());
    Open(SubDialog::MotorSetup);
    RunBothDrivers(GetSetup());
    RefreshAllParameters(0);
    UpdateData(FALSE);
    if (HasMotionCompleteSettings(GetSetup())) ApplyMotionCompleteDefaults();
}

void CDriveSetupDlg::OnHelp() { OpenHelp(kHelpDriveSetup); }

void CDriveSetupDlg::OnModeClicked() {
    ApplyTachogeneratorRule(GetSetup());
    UpdateData(FALSE);
}

void CDriveSetupDlg::OnAxisIdChanged() {
    if (m_axisList && AxisIdNeedsCANopenWarning(m_axisList->currentIndex()))
        MessageBox(kAxisIdCANopenMessage, nullptr, MB_OK);
}

// ---- closing

void CDriveSetupDlg::OnOK() {
    // A value still being typed is committed first; a refused one keeps the
    // dialog open.
    if (!UpdateData(TRUE)) return;
    CKX_Setup& setup = GetSetup();
    if (CKX_Parameter* axis = Probe(setup, kAxis_ID_list); axis && m_axisList) {
        char shown[16];
        std::snprintf(shown, sizeof shown, "%d", TruncateToInt32(axis->GetValueInBaseUnit()));
        const std::string text = m_axisList->currentText().toStdString();
        if (text != shown) WriteBase(*axis, AxisIdFromText(text));
    }
    if (HasPositionRange(setup) && WidenPositionRange(setup)) {
        WritePositionRangeRegisters(setup);
        ReadPositionRange(setup);
        RefreshParameterControls(kPosRange_Minimum);
        RefreshParameterControls(kPosRange_Maximum);
    }
    ParametersToRegisters(setup);
    ComputeLoopOptions(setup);
    EndDialog(IDOK);
}

void CDriveSetupDlg::OnCancel() { EndDialog(IDCANCEL); }
