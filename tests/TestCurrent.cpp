#include "TestCurrent.h"

#include <cmath>
#include <string>

#include "conversions/Conventions.h"
#include "conversions/Gains.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/gui/Logger.h"
#include "options/Tuning.h"
#include "tests/StepResponse.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

// The current controller's registers, in the order they reach the drive.
const char* const kProportionalRegisters[] = {kSFTKPI, kKPI};
const char* const kIntegralRegisters[] = {kSFTKII, kKII};
const char* const kTunedRegisters[] = {kSFTKPI, kKPI, kSFTKII, kKII};

// Info texts by stage; 4 is the protection's failure, 5 the procedure.
const char* const kInfo[] = {
    "Launching the application for test",
    "Running test",
    "Uploading results",
    "Test running. Press \"Stop\" to end the test",
    "Test failed!\nCurrent protection triggered during test!",
    "1. Check/setup the test parameters below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test ends and displays the results\r\n"
    "5. If needed, change the controller parameters and repeat steps 3 and 4 until you get satisfactory "
    "results",
};
constexpr int kProcedure = 5;

constexpr unsigned kPicture = 1123;
constexpr unsigned kGraph = 1361;
constexpr unsigned kTuneButton = 3149;
constexpr unsigned kUseFilterCheck = 3142;
constexpr unsigned kCompensateCheck = 3147;
// The step response figures of the motor current.
constexpr unsigned kFiguresGroup = 1380;
constexpr unsigned kFiguresText = 1381;

constexpr unsigned kParameterControls[] = {1121, 1120, 1304,  1303,  1301, 1123,
                                           1376, 1377, 10014, 10015, 1119, 1122};
constexpr unsigned kTestControls[] = {
    10000, 1361, 1372,  1375, 10002, 1339, 1340, 1342, 1343, 1341, 1334,  1335,          1337,
    1338,  1336, 10001, 1333, 1374,  3138, 3142, 3139, 3140, 3141, 3143,  3147,          3146,
    3145,  3144, 3148,  3149, 3150,  3155, 3151, 3152, 3153, 3154, 10004, kFiguresGroup, kFiguresText};
constexpr TestTabs kTabs{kParameterControls, kTestControls};

constexpr unsigned kGainControls[] = {1335, 1336, 1337, 1338, 1340, 1341, 1342, 1343};
constexpr unsigned kFilterControls[] = {3140, 3141, 3139};
constexpr unsigned kOffsetControls[] = {3145, 3144, 3146};

// Logger: 100 points of the current loop, every sample.
constexpr unsigned short kLogPoints = 100;
constexpr unsigned short kLogEvery = 1;

}  // namespace

CTestCurrent::CTestCurrent(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kTestCurrentTemplate, flag, parent), m_graph(2, 0) {
    m_nStages = 3;
    AddParameterControls(kTestProtectionCurrent, 1303, 1304);
    AddParameterControls(kTestCurrent, 1120, 1121);
    AddParameterControls(kOffsetCurrent, 3145, 3144);
    AddParameterControls(kFilterOnCurrentControllerOutput, 3140, 3141);
    AddCheckParameterControls(kisUseFilterOnCrtCtrlOutput, kUseFilterCheck);
    AddCheckParameterControls(kisCompensateGravitationalLoads, kCompensateCheck);
    const struct {
        const char* name;
        unsigned slider, edit, units, low, high;
    } sliders[] = {
        {kKp_C_scl, 1337, 1335, 0, 1336, 1338},
        {kKi_C_scl, 1342, 1340, 0, 1341, 1343},
        {kPB_C, 3152, 3155, 3151, 3153, 3154},
    };
    const kx::QuietLookup quiet;
    for (const auto& s : sliders) {
        const CKX_Parameter* p = setup.FindParameter(s.name);
        if (!p) continue;
        const auto [low, high] =
            GainSliderRange(p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit());
        AddSliderParameterControls(s.name, s.slider, s.edit, s.units, s.low, s.high, low, high);
    }
}

CTestCurrent::~CTestCurrent() {
    delete m_logger;
    m_logger = nullptr;
}

const kx::MessageMap* CTestCurrent::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kSavePlotsButton, CTestCurrent::OnSavePlots),
        KX_ON_CLICKED(kTuneButton, CTestCurrent::OnTune),
        KX_ON_CLICKED(kUseFilterCheck, CTestCurrent::OnFilterOrOffsetClicked),
        KX_ON_CLICKED(kCompensateCheck, CTestCurrent::OnFilterOrOffsetClicked),
    };
    static const kx::MessageMap map{CMyTestDlg::GetMessageMap(), entries};
    return &map;
}

const TestTabs* CTestCurrent::GetTabs() const { return &kTabs; }

const char* CTestCurrent::ValidateTestTab() { return ValidateCurrentTest(GetSetup()); }

unsigned CTestCurrent::GetHelpContext() const { return kHelpCurrentTuningTest; }

BOOL CTestCurrent::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    SetChildText(kProcedureText, kInfo[kProcedure]);
    m_coff.SetFileName(GetOutPathName(programs::kCurrentTuning));
    m_coff.ReadCoff();
    SetChildBitmap(kPicture, kBlockedShaftBitmap);

    m_logger = new CKX_SingleAxisLogger(GetSetup(), &m_coff);
    m_logger->ChangeSettings(kLogPoints, KX_LOG_FAST_LOOP, kLogEvery);
    for (const char* name :
         {programs::kCurrent_Reference, programs::kMotor_Current, programs::kVoltage_Reference})
        m_logger->AddVariable(name, 1);
    CGraphFilter* filter = m_logger->GetGraphDocument()->GetAt(0);
    if (filter) {
        filter->AddCurve(CXYCurve(1, 0, 1, 2, RGB16(2)));  // current reference
        filter->AddCurve(CXYCurve(2, 0, 3, 2, RGB16(8)));  // voltage reference
        filter->AddCurve(CXYCurve(1, 0, 2, 2, RGB16(5)));  // motor current
    }
    m_logger->CorrectPointsNo();
    m_logger->LocateItems();
    m_graph.SubclassDlgItem(kGraph, this, filter);
    m_graph.ApplySettings();
    m_graph.RefreshGraph();
    return TRUE;
}

void CTestCurrent::DoDataExchange(CDataExchange* pDX) {
    CMyTestDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    CKX_Setup& setup = GetSetup();
    const bool idle = !m_bRunning;
    const bool testTab = GetSelectedTab() == kTestTab;
    EnableChild(IDOK, idle);
    for (unsigned id : kGainControls) EnableChild(id, idle);
    ShowChild(kGraph, testTab);
    const bool filter = idle && testTab && CodeOr(setup, kisUseFilterOnCrtCtrlOutput, 0) != 0;
    for (unsigned id : kFilterControls) ShowChild(id, filter);
    const bool offset = idle && testTab && CodeOr(setup, kisCompensateGravitationalLoads, 0) != 0;
    for (unsigned id : kOffsetControls) ShowChild(id, offset);
}

void CTestCurrent::OnChangedParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    if (NamesEqual(name, kKp_C_scl)) {
        WriteGainShift(setup, kCurrentProportionalGain);
        WriteGainMantissa(setup, kCurrentProportionalGain);
    } else if (NamesEqual(name, kKi_C_scl)) {
        WriteGainShift(setup, kCurrentIntegralGain);
        WriteGainMantissa(setup, kCurrentIntegralGain);
    } else if (NamesEqual(name, kOffsetCurrent)) {
        WriteOffsetCurrent(setup);
    } else if (NamesEqual(name, kFilterOnCurrentControllerOutput)) {
        WriteOutputFilter(setup);
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestCurrent::OnRefreshParameterValue(const char* name) {
    if (m_bRunning) {
        if (NamesEqual(name, kKp_C_scl))
            WriteRegistersToDrive(kProportionalRegisters);
        else if (NamesEqual(name, kKi_C_scl))
            WriteRegistersToDrive(kIntegralRegisters);
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

void CTestCurrent::OnTune() {
    CKX_Setup& setup = GetSetup();
    TuneCurrentController(setup);
    WriteGainMantissa(setup, kCurrentProportionalGain);
    WriteGainMantissa(setup, kCurrentIntegralGain);
    WriteGainShift(setup, kCurrentProportionalGain);
    WriteGainShift(setup, kCurrentIntegralGain);
    ReadGain(setup, kCurrentIntegralGain);
    ReadGain(setup, kCurrentProportionalGain);
    if (m_bRunning) WriteRegistersToDrive(kTunedRegisters);
    RefreshAllParameters(0);
}

void CTestCurrent::OnFilterOrOffsetClicked() {
    CKX_Setup& setup = GetSetup();
    WriteOutputFilter(setup);
    WriteOffsetCurrent(setup);
    ReadOffsetCurrent(setup);
    RefreshAllParameters(0);
    UpdateData(FALSE);
}

void CTestCurrent::BeginTest() {
    m_bRunning = 1;
    m_nResult = -1;
    m_nStage = 0;
    SetInfoText(kInfo[0]);
    SetChildText(kFiguresText, "");
    // A program file that was missing when the dialog opened may be there now.
    if (!m_coff.IsLoaded()) {
        m_coff.SetFileName(GetOutPathName(programs::kCurrentTuning));
        m_coff.ReadCoff();
    }
    UpdateData(FALSE);
    CKX_Setup& setup = GetSetup();
    const auto start = [&] {
        const struct {
            const char* variable;
            const char* parameter;
        } inputs[] = {{programs::kIn1, kTestCurrent}, {programs::kImax_Prot_Test, kTestProtectionCurrent}};
        for (const auto& input : inputs) {
            const double value = SignedWordInput(setup.GetParameterValueInInternalUnit(input.parameter));
            if (!SetProgramVariable(m_coff, input.variable, value)) return false;
        }
        if (!StartProgram(programs::kCurrentTuning, &m_coff, m_logger)) return false;
        SetInfoText(kInfo[m_nStage]);
        return ArmPollTimer() != 0;
    };
    // A run that could not start gives the controls back at once.
    if (!start()) UpdateData(FALSE);
}

void CTestCurrent::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (id != kx::kPollTimer || !m_bRunning) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    bool upload = m_nStage == 3;
    if (m_nStage == 2) {
        if (PollProgram(m_coff, kMaskCurrentTest) == ProgramState::Ended && CheckTestFlag(m_coff)) {
            SetInfoText(kInfo[m_nStage]);
            upload = true;
        }
    } else if (!upload) {
        FailRun(msc_pszErrInternal);
    }
    if (upload && UploadRecord(m_logger, m_graph)) {
        ShowStepFigures();
        TestSucceeded(1);
    }
    if (!m_bRunning) UpdateData(FALSE);
}

void CTestCurrent::ShowStepFigures() {
    const auto& columns = m_logger->GetGraphDocument()->Columns();
    if (columns.size() < 3) return;
    const StepFigures figures = MeasureStep(columns[0].values, columns[1].values, columns[2].values);
    const auto texts = StepFigureTexts(figures, columns[2].unit);
    std::string shown;
    for (const auto& [name, value] : texts) shown += (shown.empty() ? "" : "\n") + name + ": " + value;
    SetChildText(kFiguresText, shown.c_str());
    m_logger->SetSummary(texts);
}

void CTestCurrent::OnOK() {
    CMyTestDlg::OnOK();
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    const CKX_Parameter* protection = setup.FindParameter(kTestProtectionCurrent);
    CKX_Parameter* limit = setup.FindParameter(kImax_Prot);
    if (protection && limit) limit->SetValueInBaseUnit(protection->GetValueInBaseUnit());
}
