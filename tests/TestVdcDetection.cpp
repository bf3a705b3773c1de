#include "TestVdcDetection.h"

#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Names.h"
#include "help/Help.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

const char* const kInfo[] = {"Launching test", "Running test"};

constexpr unsigned kValueEdit = 1012;
constexpr unsigned kValueUnits = 1013;
constexpr unsigned kPicture = 1011;

}  // namespace

CTestVdcDetection::CTestVdcDetection(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kTestVdcDetectionTemplate, flag, parent) {
    m_nStages = 2;
    AddParameterControls(kVdc, kValueEdit, kValueUnits);
    const kx::QuietLookup quiet;
    if (const CKX_Parameter* p = setup.FindParameter(kVdcMaxMeasurable))
        m_vdcMaxMeasurable = p->GetValueInBaseUnit();
    if (const CKX_Parameter* p = setup.FindParameter(kVdc)) m_openingVdc = p->GetValueInBaseUnit();
}

unsigned CTestVdcDetection::GetHelpContext() const { return kHelpVdcDetectionTest; }

BOOL CTestVdcDetection::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    m_coff.SetFileName(GetOutPathName(programs::kVdcDetection));
    m_coff.ReadCoff();
    SetChildBitmap(kPicture, kVdcDetectionBitmap);
    return TRUE;
}

void CTestVdcDetection::BeginTest() {
    SetChildText(kValueEdit, "");
    SetChildText(kValueUnits, "");
    UpdateData(FALSE);
    m_bRunning = 1;
    m_nResult = -1;
    m_nStage = 0;
    SetInfoText(kInfo[0]);
    // A program file that was missing when the dialog opened may be there now.
    if (!m_coff.IsLoaded()) {
        m_coff.SetFileName(GetOutPathName(programs::kVdcDetection));
        m_coff.ReadCoff();
    }
    if (!StartProgram(programs::kVdcDetection, &m_coff)) return;
    SetInfoText(kInfo[m_nStage]);
    ArmPollTimer();
}

void CTestVdcDetection::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (id == kx::kPollTimer && m_bRunning) {
        if (m_nStage != 2)
            TestFailed(1);
        else if (PollProgram(m_coff, kMaskShortCircuit) == ProgramState::Ended)
            TakeMeasurement();
    }
    CMyTestDlg::OnTimer(id);
}

void CTestVdcDetection::TakeMeasurement() {
    CKX_Variable* counts = GetSetup().FindVariable(programs::kvar_u2, 1);
    if (!counts) return FailRun(msc_pszErrInternal);
    if (!counts->ReadFromChip()) return FailRun(CKX_Comm::GetLastErrorText());
    CKX_Parameter* vdc = GetSetup().FindParameter(kVdc);
    if (!vdc || !vdc->SetValueInBaseUnit(
                    SupplyFromCounts(counts->GetValueInBaseUnit(), AdcMax(GetSetup()), m_vdcMaxMeasurable)))
        return FailRun(msc_pszErrInternal);
    RefreshParameterControls(kVdc);
    TestSucceeded(1);
}

void CTestVdcDetection::OnCancel() {
    const kx::QuietLookup quiet;
    const CKX_Parameter* vdc = GetSetup().FindParameter(kVdc);
    const std::string question =
        vdc && m_nResult == 1 ? SupplyChangeQuestion(m_openingVdc, vdc->GetValueInBaseUnit()) : std::string();
    if (!question.empty()) {
        switch (MessageBox(question.c_str(), nullptr, MB_YESNOCANCEL | MB_ICONQUESTION)) {
            case IDYES:
                EndDialog(IDOK);
                return;
            case IDCANCEL:
                return;
            default:
                break;
        }
    }
    CKX_TestDlg::OnCancel();
}
