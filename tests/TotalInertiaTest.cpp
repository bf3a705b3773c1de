#include "TotalInertiaTest.h"

#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "tests/InertiaRules.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

constexpr unsigned kPicture = 1011;
constexpr unsigned kInertiaEdit = 3263;
constexpr unsigned kInertiaUnits = 3264;

// The test parameters: taken at Start, locked while a run goes on.
constexpr unsigned kParameterControls[] = {1005, 1017, 3265, 3266, 3267, 3268};

}  // namespace

CTotalInertiaTest::CTotalInertiaTest(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kTotalInertiaTestTemplate, flag, parent) {
    m_nStages = 2;
    AddParameterControls(kJt, kInertiaEdit, kInertiaUnits);
    AddParameterControls(kTestCurrent, 1005, 1017);
    AddParameterControls(kTestProtectionCurrent, 3265, 3266);
    AddParameterControls(kTestMaxSpeed, 3267, 3268);
}

unsigned CTotalInertiaTest::GetHelpContext() const { return kHelpTotalInertiaTest; }

BOOL CTotalInertiaTest::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    ClearResult();
    {
        const kx::QuietLookup quiet;
        if (const CKX_Parameter* jt = GetSetup().FindParameter(kJt))
            m_openingInertia = jt->GetValueInBaseUnit();
    }
    m_coff.SetFileName(GetOutPathName(programs::kTotalInertia));
    m_coff.ReadCoff();
    SetChildBitmap(kPicture, kFreeShaftBitmap);
    return FALSE;
}

void CTotalInertiaTest::DoDataExchange(CDataExchange* pDX) {
    CMyTestDlg::DoDataExchange(pDX);
    if (!pDX->m_bSaveAndValidate) LockDuringRun();
}

void CTotalInertiaTest::LockDuringRun() {
    const int idle = m_bRunning ? 0 : 1;
    EnableChild(IDOK, idle);
    for (unsigned id : kParameterControls) EnableChild(id, idle);
}

void CTotalInertiaTest::ClearResult() {
    SetChildText(kInertiaEdit, "");
    SetChildText(kInertiaUnits, "");
}

void CTotalInertiaTest::BeginTest() {
    ClearResult();
    // A program file that was missing when the dialog opened may be there now.
    if (!m_coff.IsLoaded()) {
        m_coff.SetFileName(GetOutPathName(programs::kTotalInertia));
        m_coff.ReadCoff();
    }
    StartRun();
    LockDuringRun();
}

bool CTotalInertiaTest::StartRun() {
    const CKX_Setup& setup = GetSetup();
    m_testCurrent = TruncateToInt32(setup.GetParameterValueInInternalUnit(kTestCurrent));
    m_nStage = 0;
    m_bRunning = 1;
    m_nResult = -1;
    if (!SetProgramVariable(m_coff, programs::kIn1, m_testCurrent)) return false;
    m_speedLimit = TruncateToInt32(setup.GetParameterValueInInternalUnit(kTestMaxSpeed));
    if (!SetProgramVariable(m_coff, programs::kLimitSpeedMax, m_speedLimit)) return false;
    m_protectionCurrent = TruncateToInt32(setup.GetParameterValueInInternalUnit(kTestProtectionCurrent));
    if (!SetProgramVariable(m_coff, programs::kImax_Prot_Test, m_protectionCurrent)) return false;
    SetInfoText(kInertiaTestTexts[m_nStage]);
    if (!StartProgram(programs::kTotalInertia, &m_coff)) return false;
    SetInfoText(kInertiaTestTexts[m_nStage]);
    return ArmPollTimer() != 0;
}

void CTotalInertiaTest::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (id != kx::kPollTimer || !m_bRunning || m_nStage != 2) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (PollProgram(m_coff, kMaskAll) == ProgramState::Ended && TakeResult()) CMyTestDlg::OnTimer(id);
    if (!m_bRunning) LockDuringRun();
}

bool CTotalInertiaTest::TakeResult() {
    double flag = 0.0, deltaTime = 0.0, deltaSpeed = 0.0;
    if (!GetProgramVariable(m_coff, programs::ktest_flag, flag) ||
        !GetProgramVariable(m_coff, programs::kdelta_time, deltaTime) ||
        !GetProgramVariable(m_coff, programs::kdelta_speed, deltaSpeed))
        return false;
    if (const char* failure = InertiaRunText(ClassifyInertiaRun(flag, deltaTime))) {
        FailRun(failure);
        return false;
    }
    CKX_Setup& setup = GetSetup();
    const double inertia = TotalInertia(InertiaScalesOf(setup), deltaTime, deltaSpeed, m_testCurrent);
    CKX_Parameter* jt = setup.FindParameter(kJt);
    // No speed gained leaves nothing that "Jt" could hold.
    if (!jt || !jt->SetValueInBaseUnit(inertia)) {
        FailRun(msc_pszErrInternal);
        return false;
    }
    m_identifiedInertia = jt->GetValueInBaseUnit();
    UpdateData(FALSE);
    TestSucceeded(1);
    return true;
}

void CTotalInertiaTest::OnBtnStartStop() {
    CMyTestDlg::OnBtnStartStop();
    LockDuringRun();
}

void CTotalInertiaTest::OnCancel() {
    const std::string question =
        m_nResult == 1 ? InertiaChangeQuestion(m_openingInertia, m_identifiedInertia) : std::string();
    if (!question.empty()) {
        switch (MessageBox(question.c_str(), nullptr, MB_YESNOCANCEL | MB_ICONQUESTION)) {
            case IDYES:
                EndDialog(IDOK);
                return;
            case IDCANCEL:
                return;
            default: {
                // No: the value the dialog opened with.
                const kx::QuietLookup quiet;
                if (CKX_Parameter* jt = GetSetup().FindParameter(kJt))
                    jt->SetValueInBaseUnit(m_openingInertia);
                break;
            }
        }
    }
    CKX_TestDlg::OnCancel();
}

void CTotalInertiaTest::OnOK() {
    CKX_TestDlg::OnOK();
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    CKX_Parameter* protection = setup.FindParameter(kImax_Prot);
    const CKX_Parameter* test = setup.FindParameter(kTestProtectionCurrent);
    if (protection && test) protection->SetValueInBaseUnit(test->GetValueInBaseUnit());
}
