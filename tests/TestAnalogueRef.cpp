#include "TestAnalogueRef.h"

#include <iterator>

#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/Comm.h"
#include "kx/gui/ValueText.h"

using namespace dcdrive;

namespace {

// Controls of the template.
constexpr unsigned kVoltageField = 1010, kCommandField = 1011, kCommandCaption = 1013, kVoltageBar = 1014,
                   kCommandBar = 1015, kVoltageUnit = 1016, kCommandUnit = 1017, kPicture = 1018;

constexpr COLORREF kVoltageColour = 0x0000FF;  // red
constexpr COLORREF kCommandColour = 0x00FF00;  // green

void Show(CBarGraph& bar, const Span& span, double value) {
    bar.SetLimits(span.minimum, span.maximum);
    bar.SetCurrentValue(value);
    bar.SetReference(BarReference(span));
    bar.Repaint();
}

}  // namespace

CTestAnalogueRef::CTestAnalogueRef(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kAnalogueRefTestTemplate, flag, parent) {
    m_nStages = 2;
    m_bContinuous = 1;
}

CTestAnalogueRef::~CTestAnalogueRef() = default;

unsigned CTestAnalogueRef::GetHelpContext() const { return kHelpAnalogueReferenceTest; }

BOOL CTestAnalogueRef::OnInitDialog() {
    m_spans = AnalogueTestSpansOf(GetSetup());
    SetChildText(kVoltageUnit, m_spans.inputUnit.c_str());
    const AnalogueCommand* command = m_spans.command ? &*m_spans.command : nullptr;
    // A control mode without a command leaves the command row empty and greyed.
    SetChildText(kCommandCaption, command ? command->label.c_str() : "");
    SetChildText(kCommandUnit, command ? command->unit.c_str() : "");
    for (unsigned id : {kCommandField, kCommandCaption, kCommandUnit}) EnableChild(id, command != nullptr);

    m_voltageBar.SubclassDlgItem(kVoltageBar, this);
    m_commandBar.SubclassDlgItem(kCommandBar, this);
    const Span commandSpan = command ? command->span : Span{};
    Show(m_commandBar, commandSpan, commandSpan.minimum);
    m_commandBar.EnableWindow(command != nullptr);
    EnableChild(kCommandBar, command != nullptr);
    Show(m_voltageBar, m_spans.input, 0.0);
    m_voltageBar.SetColor(kVoltageColour);
    m_voltageBar.SetFormat("%.2G");
    m_commandBar.SetColor(kCommandColour);
    m_commandBar.SetFormat("%.2f");
    SetChildText(kVoltageField, "");
    SetChildText(kCommandField, "");
    SetChildBitmap(kPicture, kPotentiometerBitmap);
    UpdateData(FALSE);
    return CMyTestDlg::OnInitDialog();
}

void CTestAnalogueRef::SetInfo() {
    if (m_nStage >= 0 && m_nStage < static_cast<short>(std::size(kAnalogueTestInfo)))
        SetInfoText(kAnalogueTestInfo[m_nStage]);
}

void CTestAnalogueRef::BeginTest() {
    m_bRunning = 1;
    m_nResult = -1;
    m_nStage = 0;
    SetChildText(kVoltageField, "");
    SetChildText(kCommandField, "");
    m_voltageBar.SetCurrentValue(BarReference(m_spans.input));
    if (m_spans.command) m_commandBar.SetCurrentValue(BarReference(m_spans.command->span));
    UpdateData(FALSE);
    m_voltageBar.Repaint();
    m_commandBar.Repaint();

    SetInfo();
    if (!StartProgram(programs::kAnalogueReference)) return;
    SetInfo();
    ArmPollTimer();
}

void CTestAnalogueRef::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (!m_bRunning || id != kx::kPollTimer) return;
    if (m_nStage != 2) {
        TestFailed(1);
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (m_bStopRequested) {
        // Stopping is the end of a good run: what the values mean is for the
        // user to judge.
        TestSucceeded(1);
        m_bStopRequested = 0;
        return;
    }
    if (!CheckMotionErrors(1, kMaskShortCircuit)) return;
    if (!ShowReading()) return;

    PumpPendingMessages();
    // A Close handled meanwhile has ended the run; a Stop is seen next tick.
    if (!m_bRunning) return;
    ArmPollTimer();
    CMyTestDlg::OnTimer(id);
}

bool CTestAnalogueRef::ShowReading() {
    CKX_Variable* input = GetSetup().FindVariable(names::kAD5, 1);
    if (!input) {
        FailRun(msc_pszErrInternal);
        return false;
    }
    if (!input->ReadFromChip()) {
        FailRun(CKX_Comm::GetLastErrorText());
        return false;
    }
    const double counts = input->GetValueInInternalUnit();

    const double voltage = ValueAtCounts(m_spans.input, counts);
    SetChildText(kVoltageField, kx::FormatDisplayNumber(voltage, 2).toUtf8().constData());
    Show(m_voltageBar, m_spans.input, voltage);

    if (m_spans.command) {
        const Span& span = m_spans.command->span;
        const double command = ValueAtCounts(span, counts);
        SetChildText(kCommandField, kx::FormatDisplayNumber(command, 2).toUtf8().constData());
        Show(m_commandBar, span, command);
    }
    return true;
}
