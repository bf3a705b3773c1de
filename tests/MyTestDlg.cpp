#include "MyTestDlg.h"

#include <QApplication>
#include <QDialog>
#include <QTabWidget>

#include "help/Help.h"
#include "kx/Comm.h"
#include "kx/gui/Clock.h"
#include "kx/gui/Graph.h"
#include "kx/gui/Host.h"
#include "kx/gui/Logger.h"

using namespace dcdrive;

CMyTestDlg::CMyTestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent)
    : CKX_TestDlg(setup, templateId, flag, parent) {}

CMyTestDlg::~CMyTestDlg() = default;

const kx::MessageMap* CMyTestDlg::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kTestHelpButton, CMyTestDlg::OnTestHelp),
    };
    static const kx::MessageMap map{CKX_TestDlg::GetMessageMap(), entries};
    return &map;
}

int CMyTestDlg::CheckMotionErrors(int failTest, std::uint16_t mask) {
    const char* message = msc_pszErrInternal;
    CKX_Variable* mer = GetSetup().FindVariable(programs::kMER, 1);
    if (mer && mer->ReadFromChip()) {
        message = MotionErrorMessage(MotionErrorWord(mer->GetValueInBaseUnit()), mask);
        if (!message) return 1;
    }
    m_strError = message;
    if (failTest) TestFailed(1);
    return 0;
}

BOOL CMyTestDlg::OnInitDialog() {
    const BOOL result = CKX_TestDlg::OnInitDialog();
    if (GetTabs()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(GetDlgItem(kTabControl))) {
            const QSignalBlocker block(tabs);
            tabs->setTabText(kParameterTab, QStringLiteral("Test Parameters"));
            tabs->setTabText(kTestTab, QStringLiteral("Test"));
            tabs->setCurrentIndex(kParameterTab);
            QObject::connect(tabs, &QTabWidget::currentChanged, GetWindow(),
                             [this](int index) { OnTabChanged(index); });
        }
    }
    return result;
}

void CMyTestDlg::OnShowWindow() {
    CKX_TestDlg::OnShowWindow();
    if (GetTabs()) {
        ShowTab(kParameterTab);
        UpdateData(FALSE);
    }
    ShowChild(kx::kDetailsButton, FALSE);
}

// ---- steps of a run

int CMyTestDlg::SetProgramVariable(CKX_CoffFormat& coff, const char* name, double value) {
    if (SetUserVariableValue(&coff, name, value, m_strError)) return 1;
    TestFailed(1);
    return 0;
}

int CMyTestDlg::GetProgramVariable(CKX_CoffFormat& coff, const char* name, double& value) {
    if (GetUserVariableValue(&coff, name, value, m_strError)) return 1;
    TestFailed(1);
    return 0;
}

int CMyTestDlg::StartProgram(const char* program, CKX_CoffFormat* coff, CKX_Logger* logger) {
    if (ExecuteCode(program, coff, logger, nullptr, nullptr)) return 1;
    FailRun(msc_pszErrInternal);
    return 0;
}

int CMyTestDlg::ArmPollTimer(unsigned ms) {
    if (SetTimer(kx::kPollTimer, ms)) return 1;
    FailRun(GetLastErrorText());
    return 0;
}

void CMyTestDlg::FailRun(const std::string& text) {
    m_strError = text;
    TestFailed(1);
}

CMyTestDlg::ProgramState CMyTestDlg::PollProgram(CKX_CoffFormat& coff, std::uint16_t mask) {
    double started = 0.0;
    if (!GetProgramVariable(coff, programs::kSTARTED, started)) return ProgramState::Failed;
    if (started == 0.0) {
        // The program has not begun its motion yet.
        if (!CheckMotionErrors(1, mask)) return ProgramState::Failed;
        return ArmPollTimer() ? ProgramState::Running : ProgramState::Failed;
    }
    int on = 0;
    if (!GetAxisOn(on)) {
        TestFailed(1);
        return ProgramState::Failed;
    }
    if (on) return ArmPollTimer() ? ProgramState::Running : ProgramState::Failed;
    // The axis is off: the program has ended, by itself or by a protection.
    return CheckMotionErrors(1, mask) ? ProgramState::Ended : ProgramState::Failed;
}

int CMyTestDlg::CheckTestFlag(CKX_CoffFormat& coff) {
    double flag = 0.0;
    if (!GetProgramVariable(coff, programs::ktest_flag, flag)) return 0;
    switch (ReadTestFlag(flag)) {
        case TestFlag::Completed:
            return 1;
        case TestFlag::Unset:
            FailRun(msc_pszErrInternal);
            return 0;
        case TestFlag::ProtectionTripped:
            FailRun(kCurrentProtectionText);
            return 0;
    }
    return 0;
}

int CMyTestDlg::UploadRecord(CKX_SingleAxisLogger* logger, CGraphWindow& graph) {
    if (!logger || !logger->BeginUploadData()) {
        FailRun(msc_pszErrInternal);
        return 0;
    }
    graph.Invalidate();
    graph.DoZoomOut();
    while (logger->ReadPoint(nullptr)) {
        graph.UpdateLastPoint();
        PumpPendingMessages();
        if (m_bContinuous && m_bStopRequested) break;
        if (!m_bRunning && !m_bContinuous) {
            graph.DoZoomOut();
            return 0;
        }
    }
    graph.DoZoomOut();
    return 1;
}

void CMyTestDlg::PumpPendingMessages() {
    // Only a person at the screen needs it, and only in real time is it
    // safe. In virtual time no host time passes inside a tick: what is
    // pending there is a dialog script's next step, queued behind this tick,
    // and running it here would run it inside the tick (a click in the
    // middle of an upload, a wait that advances the drive under the tick)
    // instead of after it, as for a person who waits for the tick's result.
    if (kx::HostClock::Instance().GetMode() == kx::HostClock::Mode::Real) QApplication::processEvents();
}

// ---- tabs

int CMyTestDlg::GetSelectedTab() const {
    const auto* tabs = qobject_cast<const QTabWidget*>(GetDlgItem(kTabControl));
    return tabs ? tabs->currentIndex() : kParameterTab;
}

void CMyTestDlg::SelectTab(int index) {
    if (auto* tabs = qobject_cast<QTabWidget*>(GetDlgItem(kTabControl))) {
        const QSignalBlocker block(tabs);
        tabs->setCurrentIndex(index);
    }
}

void CMyTestDlg::ShowTab(int index) {
    const TestTabs* tabs = GetTabs();
    if (!tabs) return;
    const bool test = index == kTestTab;
    for (unsigned id : tabs->parameters) ShowChild(id, !test);
    for (unsigned id : tabs->test) ShowChild(id, test);
}

void CMyTestDlg::OnTabChanged(int index) {
    // Two tabs: the one left is the other one.
    const int previous = index == kTestTab ? kParameterTab : kTestTab;
    if (index == kParameterTab && m_bRunning) {
        SelectTab(kTestTab);
        return;
    }
    if (!UpdateData(TRUE)) {
        SelectTab(previous);
        return;
    }
    if (index == kTestTab) {
        if (const char* message = ValidateTestTab()) {
            MessageBox(message, nullptr, MB_OK | MB_ICONWARNING);
            SelectTab(kParameterTab);
            return;
        }
    }
    ShowTab(index);
    UpdateData(FALSE);
    if (index == kParameterTab) {
        ShowChild(kx::kDetailsButton, FALSE);
    } else if (m_nResult == 1) {
        TestSucceeded(0);
    } else if (!m_strError.empty()) {
        TestFailed(0);
    }
}

// ---- common buttons

void CMyTestDlg::OnSavePlots() {
    CKX_SingleAxisLogger* logger = GetPlotLogger();
    const char* name = GetPlotName();
    if (logger && name && !m_bRunning) logger->SaveGraph(name);
}

void CMyTestDlg::OnTestHelp() {
    if (const unsigned context = GetHelpContext())
        OpenHelpFile(GetGUIDirectory(), GetHelpFileOfGUI(GetSetup()), context);
}

void CMyTestDlg::WriteRegistersToDrive(std::span<const char* const> registers) {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    for (const char* name : registers) {
        CKX_Variable* variable = setup.FindVariable(name, 1);
        const CKX_Parameter* value = setup.FindParameter(name);
        if (!variable || !value) return;
        variable->SetValueInInternalUnit(value->GetValueInInternalUnit());
        if (!variable->WriteToChip()) return;
    }
}
