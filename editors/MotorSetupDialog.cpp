#include "MotorSetupDialog.h"

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <initializer_list>

#include "SubDialogs.h"
#include "conversions/Capabilities.h"
#include "conversions/Codes.h"
#include "conversions/Conventions.h"
#include "conversions/Drivers.h"
#include "conversions/Names.h"
#include "conversions/Steps.h"
#include "help/Help.h"
#include "kx/gui/DriveCombos.h"
#include "options/Limits.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

constexpr unsigned kMotorTypeList = 1201, kMotorConnectorList = 1202, kLoadTypeList = 1216,
                   kLoadConnectorList = 1217;
constexpr unsigned kMotorFilterList = 3359, kLoadFilterList = 3365;
constexpr unsigned kMotorInterpolationList = 1200, kLoadInterpolationList = 1203;
constexpr unsigned kMotorFrequencyList = 3446, kLoadFrequencyList = 3466;
constexpr unsigned kBrakeGroup = 3380, kBrakeCheck = 3381, kBrakeOutputList = 3382, kBrakePicture = 3387;
constexpr unsigned kBrakeBitmap = 3065;
constexpr unsigned kLimitSwitchButton = 3414, kRotaryToLinear = 3337;
constexpr unsigned kDerivedEdits[] = {3353, 3355, 3357};

// The buttons that open an encoder connection test, with the test.
constexpr struct {
    unsigned button;
    SubDialog kind;
} kTestButtons[] = {
    {1187, SubDialog::EncoderConnectionTest},
    {1189, SubDialog::EncoderConnectionTest},
    {3452, SubDialog::SsiEncoderConnectionTest},
    {3472, SubDialog::SsiEncoderConnectionTest},
};

// The guideline assistant's nine steps.
const char* const kSteps[] = {
    "Step 1. Select your motor from a database. If your motor does not exist in any database, proceed "
    "through all the next steps in order to define your motor and sensors data. In either case, use the "
    "tests "
    "from the next steps to verify/detect the motor and sensors parameters and operation.",
    "Step 2. Check the values for nominal and peak currents.",
    "Step 3. Check the torque constant value.",
    "Step 4. Check the resistance and inductance values.",
    "Step 5. Check the value of the motor inertia. If you don't know this value, check the <<Motor inertia "
    "is "
    "unknown>> checkbox.",
    "Step 6. Select sensor configuration and set the corresponding parameters. If you have incremental "
    "encoder, use the <<Test Connections>> button in order to verify the operation of the A and B encoder "
    "signals.",
    "Step 7. Check the <<Temperature>> checkbox if your motor has a temperature sensor and this sensor is "
    "connected to the drive. Select the temperature sensor type: PTC or NTC.",
    "Step 8. In <<Transmission to load>> select the transmission type and the ratio by setting the "
    "correspondance between the motor and load displacements.",
    "Step 9. If you want to save your motor data, select USER database, then press the <<Save>> button.",
    nullptr,
};

bool Is(const char* name, const char* other) { return NamesEqual(name, other); }

// A parameter the dialog owns: a copy of `source`'s unit under another name.
std::unique_ptr<CKX_Parameter> OwnedCopy(const CKX_Setup& setup, const char* name, const char* source,
                                         const char* unit, int extraDigits) {
    const CKX_Parameter* from = Probe(setup, source);
    auto owned = std::make_unique<CKX_Parameter>(name, unit ? unit : from->GetUnitName());
    owned->SetPrecision(unit ? 0 : from->GetPrecision() + extraDigits);
    return owned;
}

}  // namespace

CMotorSetupDialog::CMotorSetupDialog(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kMotorSetupTemplate, 1, const_cast<const char**>(kSteps), parent) {
    // Counts are whole numbers; the interpolated resolution keeps the
    // resolution's unit with the digits the interpolation adds.
    if (HasMotorDerivedCounts(setup))
        m_equivCountsPerRev = OwnedCopy(setup, kEquivCountsPerRev, kNo_encoder_lines, "counts", 0);
    if (HasLoadDerivedCounts(setup)) {
        m_resolutionWithInterpolationLD =
            OwnedCopy(setup, kResolutionWithInterpolation_LD, kResolution_LD, nullptr, 3);
        m_equivCountsPerRevLD = OwnedCopy(setup, kEquivCountsPerRev_LD, kNo_encoder_lines_LD, "counts", 0);
    }
    UpdateMotorCounts();
    UpdateLoadCounts();

    using Kind = MotorBinding::Kind;
    for (const MotorBinding& b : MotorSetupBindings(setup)) {
        switch (b.kind) {
            case Kind::Value:
                AddParameterControls(b.name, b.first, b.second);
                break;
            case Kind::Check:
                AddCheckParameterControls(b.name, b.first);
                break;
            case Kind::Radio:
                AddSwitchParameterControls(b.name, b.first, b.second);
                break;
            case Kind::List:
                AddSwitchParameterControls(b.name, b.first);
                break;
            case Kind::Owned: {
                CKX_Parameter* owned = Is(b.name, kEquivCountsPerRev) ? m_equivCountsPerRev.get()
                                       : Is(b.name, kEquivCountsPerRev_LD)
                                           ? m_equivCountsPerRevLD.get()
                                           : m_resolutionWithInterpolationLD.get();
                AddUserParameterControls(owned, b.first, b.second);
                break;
            }
        }
    }
    // The clock lists name their frequencies in kHz.
    if (DriveOffersMotorSerialEncoder(setup)) SetSwitchItemUnit(kMotorFrequencyList, "kHz");
    if (DriveOffersLoadSerialEncoder(setup)) SetSwitchItemUnit(kLoadFrequencyList, "kHz");
    InitializeMotorEditor();
}

CMotorSetupDialog::~CMotorSetupDialog() = default;

const kx::MessageMap* CMotorSetupDialog::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(1187, CMotorSetupDialog::OnTestEncoder),
        KX_ON_CLICKED(1189, CMotorSetupDialog::OnTestEncoder),
        KX_ON_CLICKED(3452, CMotorSetupDialog::OnTestSsiEncoder),
        KX_ON_CLICKED(3472, CMotorSetupDialog::OnTestSsiEncoder),
        KX_ON_CLICKED(kLimitSwitchButton, CMotorSetupDialog::OnLimitSwitchWarning),
        KX_ON_CLICKED(kBrakeCheck, CMotorSetupDialog::OnBrakeClicked),
        KX_ON_CLICKED(10018, CMotorSetupDialog::OnOK),
        KX_ON_CLICKED(10024, CMotorSetupDialog::OnHelp),
        KX_ON_CLICKED(IDOK, CMotorSetupDialog::OnOK),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

// ---- opening

BOOL CMotorSetupDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CKX_Setup& setup = GetSetup();
    SetButtonImage(IDOK, "TO_DRIVESETUP");
    SetButtonImage(kLimitSwitchButton, "WARN_SWITCH_HW_LS");
    ShowChild(kLimitSwitchButton, FALSE);
    for (unsigned id : kDerivedEdits)
        if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) edit->setReadOnly(true);

    if (HasEncoderFilters(setup)) {
        FillEncoderFilterList(kMotorFilterList);
        FillEncoderFilterList(kLoadFilterList);
    }

    const bool brake = IsBrakeAvailable(setup);
    EnableChild(kBrakeGroup, brake);
    EnableChild(kBrakeCheck, brake);
    for (unsigned id : kBrakeControls) EnableChild(id, brake);
    kx::FillIOBrakeCombo(setup, qobject_cast<QComboBox*>(GetDlgItem(kBrakeOutputList)),
                         brake ? CodeOr(setup, kMotorBrake_output, 0) : 0);
    RefreshParameterControls(kMotorBrake_output);

    UpdateTransmissionTypeChoice();
    FillSensorCombos(nullptr);
    if (HasSinCosFractionParameter(setup)) {
        FillInterpolationList();
        FillLoadInterpolationList();
    }
    if (DriveOffersMotorSerialEncoder(setup)) {
        FillSerialFrequencyList(false);
        OnRefreshParameterValue(kSSI_freq);
        LimitSsiBits();
    }
    if (DriveOffersLoadSerialEncoder(setup)) {
        FillSerialFrequencyList(true);
        OnRefreshParameterValue(kSSI_freq_LD);
        LimitLoadSsiBits();
    }
    SetChildBitmap(kBrakePicture, kBrakeBitmap);
    m_bothSensorsAtStart = CodeOr(setup, kMotorSensorType, 0) != 0 && CodeOr(setup, kLoadSensorType, 0) != 0;
    const bool direction = HasMovementDirection(setup);
    ShowChild(3550, direction);
    ShowChild(3551, direction);
    UpdateData(FALSE);
    return TRUE;
}

void CMotorSetupDialog::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    ApplyRules(MotorSetupDisplayRules(GetSetup()));
    // A test that is not available cannot be started.
    for (const auto& test : kTestButtons)
        if (!FindSubDialog(test.kind)) EnableChild(test.button, FALSE);
}

// ---- lists

void CMotorSetupDialog::FillList(unsigned listId, const std::vector<kx::ListEntry>& items) {
    auto* list = qobject_cast<QComboBox*>(GetDlgItem(listId));
    if (!list) return;
    list->clear();
    for (const kx::ListEntry& item : items) list->addItem(QString::fromStdString(item.text), item.data);
}

void CMotorSetupDialog::FillSensorCombos(const char* changed) {
    CKX_Setup& setup = GetSetup();
    auto* motorTypes = qobject_cast<QComboBox*>(GetDlgItem(kMotorTypeList));
    auto* motorConnectors = qobject_cast<QComboBox*>(GetDlgItem(kMotorConnectorList));
    auto* loadTypes = qobject_cast<QComboBox*>(GetDlgItem(kLoadTypeList));
    auto* loadConnectors = qobject_cast<QComboBox*>(GetDlgItem(kLoadConnectorList));
    if (!motorTypes || !motorConnectors || !loadTypes || !loadConnectors) return;
    const char* names[] = {kMotorSensorType, kMotorSensorConnector, kLoadSensorType, kLoadSensorConnector};
    int codes[4];
    for (int i = 0; i < 4; ++i) codes[i] = CodeOr(setup, names[i], 0);
    kx::FillDlSensorsCombos(setup, motorTypes, codes[0], motorConnectors, codes[1], loadTypes, codes[2],
                            loadConnectors, codes[3], changed, false);
    for (int i = 0; i < 4; ++i)
        if (codes[i] != CodeOr(setup, names[i], 0))
            if (CKX_Parameter* p = Probe(setup, names[i])) WriteBase(*p, codes[i]);
}

void CMotorSetupDialog::FillEncoderFilterList(unsigned listId) {
    FillList(listId, EncoderFilterItems());
    RefreshParameterControls(listId == kMotorFilterList ? kFilterEncValue_MT : kFilterEncValue_LD);
}

void CMotorSetupDialog::FillInterpolationList() {
    CKX_Setup& setup = GetSetup();
    if (!Exists(setup, kNo_encoder_lines) || !Exists(setup, kSINCOS_fract) ||
        !GetDlgItem(kMotorInterpolationList))
        return;
    FillList(kMotorInterpolationList, InterpolationItems(setup, false));
    UpdateMotorCounts();
}

void CMotorSetupDialog::FillLoadInterpolationList() {
    CKX_Setup& setup = GetSetup();
    if (!Exists(setup, kNo_encoder_lines_LD) || !Exists(setup, kResolution_LD) ||
        !Exists(setup, kSINCOS_fract_LD) || !GetDlgItem(kLoadInterpolationList))
        return;
    FillList(kLoadInterpolationList, InterpolationItems(setup, true));
    UpdateLoadCounts();
}

void CMotorSetupDialog::UpdateMotorCounts() {
    if (!m_equivCountsPerRev) return;
    m_equivCountsPerRev->SetValueInBaseUnit(EquivCountsPerRev(GetSetup()));
    RefreshParameterControls(kEquivCountsPerRev);
    RefreshParameterControls(kSINCOS_fract);
}

void CMotorSetupDialog::UpdateLoadCounts() {
    if (!m_equivCountsPerRevLD) return;
    m_equivCountsPerRevLD->SetValueInBaseUnit(EquivCountsPerRevLoad(GetSetup()));
    m_resolutionWithInterpolationLD->SetValueInBaseUnit(ResolutionWithInterpolationLoad(GetSetup()));
    RefreshParameterControls(kEquivCountsPerRev_LD);
    RefreshParameterControls(kResolutionWithInterpolation_LD);
    RefreshParameterControls(kSINCOS_fract_LD);
}

void CMotorSetupDialog::FillSerialFrequencyList(bool load) {
    const unsigned listId = load ? kLoadFrequencyList : kMotorFrequencyList;
    if (!GetDlgItem(listId)) return;
    const SerialFrequencyList list = SerialFrequencyItems(GetSetup(), load);
    FillList(listId, list.items);
    if (!list.complete) return;
    if (list.items.empty()) MessageBox(load ? kNoLoadFrequencyMessage : kNoMotorFrequencyMessage);
    RefreshParameterControls(load ? kSSI_freq_LD : kSSI_freq);
}

void CMotorSetupDialog::UpdateTransmissionTypeChoice() {
    const int linearOffered = dcdrive::UpdateTransmissionTypeChoice(GetSetup());
    if (linearOffered >= 0) EnableChild(kRotaryToLinear, linearOffered);
}

void CMotorSetupDialog::LimitSsiBits() {
    dcdrive::LimitSsiBits(GetSetup());
    RefreshParameterControls(kSSI_No_Bits_Revolution);
    RefreshParameterControls(kSSI_No_Bits_Turns);
}

void CMotorSetupDialog::LimitLoadSsiBits() {
    dcdrive::LimitLoadSsiBits(GetSetup());
    RefreshParameterControls(kSSI_No_Bits_Revolution_LD);
    RefreshParameterControls(kSSI_No_Bits_Turns_LD);
}

// ---- what the user changed

void CMotorSetupDialog::OnChangedParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    CMySetupDlg::OnChangedParameterValue(name);

    const bool sensorType = NameIsOneOf(name, {kMotorSensorType, kLoadSensorType});
    if (Is(name, kImaxM)) {
        LimitNominalCurrent(setup);
    } else if (NameIsOneOf(name, {kisMotorInertiaUnknown, kisMotorTemperatureSensor, kisFilterEnc_MT,
                                  kisFilterEnc_LD, kReverseCounting_MT, kReverseCounting_LD,
                                  kMotorBrake_output, kMotor_transmission, kLoad_transmission})) {
        UpdateData(FALSE);
    } else if (NameIsOneOf(name, {kSSI_isMultiTurn, kSSI_isMultiTurn_LD})) {
        RefreshParameterControls(kSSI_No_Bits_Revolution);
        RefreshParameterControls(kSSI_No_Bits_Turns);
        UpdateData(FALSE);
    } else if (Is(name, kTransmissionType)) {
        ComputeLoadUnits(setup);
        RefreshParameterControls(kLoad_transmission);
        UpdateData(FALSE);
    } else if (sensorType || NameIsOneOf(name, {kMotorSensorConnector, kLoadSensorConnector})) {
        FillSensorCombos(name);
        for (const char* sensor :
             {kMotorSensorType, kMotorSensorConnector, kLoadSensorType, kLoadSensorConnector})
            RefreshParameterControls(sensor);
        if (IsSerialEncoder(MotorSensorOf(setup))) {
            FillSerialFrequencyList(false);
            OnRefreshParameterValue(kSSI_freq);
            LimitSsiBits();
        }
        if (IsSerialEncoder(LoadSensorOf(setup))) {
            FillSerialFrequencyList(true);
            OnRefreshParameterValue(kSSI_freq_LD);
        }
        RefreshAllParameters(0);
        UpdateData(FALSE);
    }

    const int m = CodeOr(setup, kMotorSensorType, 0);
    const int l = CodeOr(setup, kLoadSensorType, 0);
    if (sensorType && m != 0 && l != 0) {
        if (CKX_Parameter* type = Probe(setup, kPositionControlType)) WriteBase(*type, 1);
    }

    if (HasSinCosFractionParameter(setup)) {
        if (NameIsOneOf(name, {kNo_encoder_lines, kSINCOS_fract})) UpdateMotorCounts();
        if (NameIsOneOf(name, {kNo_encoder_lines_LD, kResolution_LD, kSINCOS_fract_LD})) UpdateLoadCounts();
        // One interpolation level serves both sides unless the motor's
        // sensor is a sine/cosine encoder itself.
        if (m != ToInt(SensorType::SineCosineEncoder) && Exists(setup, kSINCOS_fract_LD)) {
            if (Is(name, kSINCOS_fract)) {
                WriteBase(setup, kSINCOS_fract_LD, Value(setup, kSINCOS_fract));
                UpdateLoadCounts();
            } else if (Is(name, kSINCOS_fract_LD)) {
                WriteBase(setup, kSINCOS_fract, Value(setup, kSINCOS_fract_LD));
                UpdateMotorCounts();
            }
        }
    }

    const char* filterFlag = Is(name, kMotorSensorType)  ? kisFilterEnc_MT
                             : Is(name, kLoadSensorType) ? kisFilterEnc_LD
                                                         : nullptr;
    if (filterFlag) {
        if (CKX_Parameter* flag = Probe(setup, filterFlag)) WriteBase(*flag, 0);
        RefreshParameterControls(filterFlag);
        UpdateData(FALSE);
    }

    if (DriveOffersMotorSerialEncoder(setup)) {
        if (NameIsOneOf(name, {kSSI_No_Bits_Revolution, kpp})) {
            LimitSSIOffset(setup);
            RefreshParameterControls(kSSI_Offset);
        }
        if (Is(name, kMotorSensorType)) {
            UpdateTransmissionTypeChoice();
            RefreshParameterControls(kTransmissionType);
            UpdateData(FALSE);
        }
    }
    if (DriveOffersLoadSerialEncoder(setup) && Is(name, kLoadSensorType)) {
        UpdateTransmissionTypeChoice();
        RefreshParameterControls(kTransmissionType);
        UpdateData(FALSE);
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CMotorSetupDialog::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
    CKX_Setup& setup = GetSetup();
    if (ApplyZeroTransmission(setup, name)) {
        RefreshParameterControls(name);
        UpdateData(FALSE);
    }
    if (HasSinCosFractionParameter(setup)) {
        if (Is(name, kNo_encoder_lines)) FillInterpolationList();
        if (NameIsOneOf(name, {kNo_encoder_lines_LD, kResolution_LD})) FillLoadInterpolationList();
    }
    if (DriveOffersMotorSerialEncoder(setup)) {
        if (Is(name, kSSI_freq)) {
            WriteSerialClockRegisters(setup);
            RefreshParameterControls(kSSI_freq);
        } else if (NameIsOneOf(name, {kSSI_No_Bits_Revolution, kSSI_No_Bits_Turns})) {
            LimitSsiBits();
            UpdateData(FALSE);
        }
    }
    if (DriveOffersLoadSerialEncoder(setup)) {
        if (Is(name, kSSI_freq_LD)) {
            WriteSerialClockRegisters(setup);
            RefreshParameterControls(kSSI_freq_LD);
        } else if (NameIsOneOf(name, {kSSI_No_Bits_Revolution_LD, kSSI_No_Bits_Turns_LD})) {
            LimitLoadSsiBits();
            UpdateData(FALSE);
        }
    }
}

// ---- buttons

void CMotorSetupDialog::OnTestEncoder() {
    const SubDialogRunner run = FindSubDialog(SubDialog::EncoderConnectionTest);
    if (!run) return;
    RunBothDrivers(GetSetup());
    run(GetSetup(), GetWindow());
    RunBothDrivers(GetSetup());
    RefreshAllParameters(0);
}

void CMotorSetupDialog::OnTestSsiEncoder() {
    const SubDialogRunner run = FindSubDialog(SubDialog::SsiEncoderConnectionTest);
    if (!run) return;
    RunBothDrivers(GetSetup());
    if (run(GetSetup(), GetWindow()) == IDOK) RunBothDrivers(GetSetup());
}

void CMotorSetupDialog::OnLimitSwitchWarning() { MessageBox(kLimitSwitchMessage); }

void CMotorSetupDialog::OnBrakeClicked() { UpdateData(FALSE); }

void CMotorSetupDialog::OnHelp() { OpenHelp(kHelpMotorSetup); }

void CMotorSetupDialog::OnOK() {
    // A value still being typed is committed first; a refused one keeps the
    // dialog open rather than losing what was typed.
    if (!UpdateData(TRUE)) return;
    ApplyMotorSetupOK(GetSetup(), m_bothSensorsAtStart);
    EndDialog(IDOK);
}
