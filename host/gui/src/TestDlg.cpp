#include "kx/gui/TestDlg.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QStyle>
#include <cerrno>
#include <cstring>

#include "kx/Comm.h"
#include "kx/Setup.h"
#include "kx/gui/Logger.h"
#include "kx/gui/ScriptPlayer.h"

namespace {

// The last failure of the host's window services (empty: ask errno).
std::string& SystemErrorText() {
    static std::string text;
    return text;
}

constexpr const char* kNoWindowForTimer = "The dialog has no window to set a timer on.";

std::string MissingSymbolText(const CKX_CoffFormat* coff, const char* name) {
    std::string text = "Variable \"" + std::string(name ? name : "") + "\" not found in the test program";
    if (coff && !coff->GetProgramName().empty()) text += " \"" + coff->GetProgramName() + "\"";
    return text + ".";
}

}  // namespace

const char* const CKX_TestDlg::msc_pszErrInternal =
    "Internal error: the test could not be carried out.\nClose the dialog and try again.";

CKX_TestDlg::CKX_TestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent)
    : CKX_EditSetupDlg(setup, templateId, flag, nullptr, parent) {}

CKX_TestDlg::~CKX_TestDlg() {
    // A dialog that goes away during a run leaves no program running.
    if (m_bRunning) StopDrive();
    kx::SetHostBusy(this, false);
}

std::string CKX_TestDlg::GetLastErrorText() {
    if (!SystemErrorText().empty()) return SystemErrorText();
    return std::strerror(errno);
}

// ---- the message map

const kx::MessageMap* CKX_TestDlg::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kx::kStartStopButton, CKX_TestDlg::OnBtnStartStop),
        KX_ON_CLICKED(kx::kDetailsButton, CKX_TestDlg::OnBtnDetails),
    };
    static const kx::MessageMap map{CKX_EditSetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CKX_TestDlg::OnInitDialog() {
    const BOOL result = CKX_EditSetupDlg::OnInitDialog();
    ShowStartCaption();
    if (QWidget* details = GetDlgItem(kx::kDetailsButton)) details->setVisible(false);
    return result;
}

// ---- program and variables

std::string CKX_TestDlg::GetOutPathName(const char* programName) const {
    return kx::ProgramPath(programName ? programName : "");
}

int CKX_TestDlg::SetUserVariableValue(CKX_CoffFormat* coff, const char* name, double value,
                                      std::string& error) {
    const kx::DriveSymbol* symbol = coff && name ? coff->FindSymbol(name) : nullptr;
    if (!symbol) {
        error = MissingSymbolText(coff, name);
        return 0;
    }
    return kx::WriteDriveValue(*symbol, value, error) ? 1 : 0;
}

int CKX_TestDlg::GetUserVariableValue(CKX_CoffFormat* coff, const char* name, double& value,
                                      std::string& error) {
    const kx::DriveSymbol* symbol = coff && name ? coff->FindSymbol(name) : nullptr;
    if (!symbol) {
        error = MissingSymbolText(coff, name);
        return 0;
    }
    return kx::ReadDriveValue(*symbol, value, error) ? 1 : 0;
}

int CKX_TestDlg::ExecuteCode(const char* programName, CKX_CoffFormat* /*coff*/, CKX_Logger* logger,
                             kx::ExecuteCallback callback, void* context) {
    const std::string program = programName ? programName : "";
    const auto fail = [](const std::string& reason) {
        CKX_Comm::SetLastErrorText(reason);
        return 0;
    };
    kx::DriveLink* link = CKX_Comm::GetActiveLink();
    if (!link) return fail(kx::kNoDriveText);
    // The program's file must be there and readable: it is what the drive
    // runs, and its symbols are how the test talks to it.
    // The file is located afresh for every run: it may have gone since the
    // dialog read its symbols.
    CKX_CoffFormat file;
    file.SetFileName(GetOutPathName(programName));
    if (!file.ReadCoff()) return fail(file.GetError());
    std::string error;
    if (!link->Download(kx::RegisterImage(GetSetup()), error)) return fail(error);
    if (logger) {
        if (!logger->LocateItems()) return fail(logger->GetError());
        if (!logger->ArmDrive(*link, error)) return fail(error);
    }
    if (!link->Start(program, error)) return fail(error);
    m_nStage = 1;
    if (callback) callback(context);
    return 1;
}

int CKX_TestDlg::GetAxisOn(int& on) {
    kx::DriveLink* link = CKX_Comm::GetActiveLink();
    std::string reason = kx::kNoDriveText;
    bool enabled = false;
    if (link && link->AxisOn(enabled, reason)) {
        on = enabled ? 1 : 0;
        return 1;
    }
    CKX_Comm::SetLastErrorText(reason);
    m_strError = reason;
    return 0;
}

// ---- the run

void CKX_TestDlg::BeginTest() {}

void CKX_TestDlg::OnBtnStartStop() {
    if (!m_bRunning) {
        m_bStopRequested = 0;
        if (QWidget* details = GetDlgItem(kx::kDetailsButton)) details->setVisible(false);
        SetChildTextIfPresent(kx::kResultText, "");
        if (auto* icon = qobject_cast<QLabel*>(GetDlgItem(kx::kResultIcon))) icon->clear();
        BeginTest();
        ShowStartCaption();
        return;
    }
    m_bStopRequested = 1;
    if (!m_bContinuous) EndRun();
}

void CKX_TestDlg::EndRun() {
    KillTimer(kx::kPollTimer);
    StopDrive();
    m_bRunning = 0;
    kx::SetHostBusy(this, false);
    // The stage texts describe a run in progress; the result controls say
    // how it ended.
    SetInfoText("");
    ShowStartCaption();
}

void CKX_TestDlg::StopDrive() {
    kx::DriveLink* link = CKX_Comm::GetActiveLink();
    std::string error;
    if (link && !link->Stop(error)) CKX_Comm::SetLastErrorText(error);
}

void CKX_TestDlg::TestSucceeded(int endRun) {
    m_nResult = 1;
    if (endRun) EndRun();
    ShowResult(true);
}

void CKX_TestDlg::TestFailed(int endRun) {
    m_nResult = 0;
    if (endRun) EndRun();
    ShowResult(false);
}

void CKX_TestDlg::ShowResult(bool passed) {
    if (auto* icon = qobject_cast<QLabel*>(GetDlgItem(kx::kResultIcon))) {
        const QIcon picture = QApplication::style()->standardIcon(passed ? QStyle::SP_DialogApplyButton
                                                                         : QStyle::SP_MessageBoxCritical);
        const int side = icon->fontMetrics().height() * 2;
        icon->setPixmap(picture.pixmap(QSize(side, side), icon->devicePixelRatioF()));
        icon->setToolTip(passed ? kx::kTestPassedText : kx::kTestFailedText);
    } else {
        SetChildTextIfPresent(kx::kResultIcon, passed ? kx::kTestPassedText : kx::kTestFailedText);
    }
    SetChildTextIfPresent(kx::kResultText, passed ? kx::kTestPassedText : kx::kTestFailedText);
    if (QWidget* details = GetDlgItem(kx::kDetailsButton))
        details->setVisible(!passed && !m_strError.empty());
    // The result's caption gets its room now, not at the next pass of the
    // event loop (a long upload may come first).
    if (QDialog* window = GetWindow(); window && window->layout()) window->layout()->activate();
}

void CKX_TestDlg::ShowStartCaption() {
    SetChildTextIfPresent(kx::kStartStopButton, m_bRunning ? kx::kStopCaption : kx::kStartCaption);
}

void CKX_TestDlg::SetChildTextIfPresent(unsigned id, const char* text) {
    if (GetDlgItem(id)) SetChildText(id, text);
}

void CKX_TestDlg::SetInfoText(const char* text) { SetChildTextIfPresent(kx::kInfoText, text ? text : ""); }

void CKX_TestDlg::OnBtnDetails() {
    if (!m_strError.empty()) MessageBox(m_strError.c_str(), nullptr, MB_OK | MB_ICONERROR);
}

UINT CKX_TestDlg::SetTimer(UINT id, UINT ms) {
    if (!GetWindow()) {
        SystemErrorText() = kNoWindowForTimer;
        return 0;
    }
    if (m_bRunning && id == kx::kPollTimer) {
        // A run that ends by itself keeps the host busy until its result is
        // shown, so that a script's plain "wait" waits for it; a run that
        // lasts until Stop does not.
        kx::SetHostBusy(this, !m_bContinuous);
        // The stage as the test's next poll tick sees it: running once the
        // program has started, uploading once it has ended or was stopped.
        if (m_nStage == 1) {
            m_nStage = 2;
        } else if (m_nStage == 2 && m_bUploadStage) {
            int on = 1;
            kx::DriveLink* link = CKX_Comm::GetActiveLink();
            std::string error;
            bool enabled = true;
            if (link && link->AxisOn(enabled, error)) on = enabled ? 1 : 0;
            if (m_bStopRequested || !on) m_nStage = 3;
        }
    }
    CKX_EditSetupDlg::SetTimer(id, ms);
    return id;
}

// ---- closing

void CKX_TestDlg::OnOK() {
    CKX_EditSetupDlg::OnOK();
    // OK that closed the dialog during a run stops the drive as Cancel does;
    // OK refused (a value the user must correct) leaves the run going.
    if (m_bRunning && GetWindow() && !GetWindow()->isVisible()) EndRun();
}

void CKX_TestDlg::OnCancel() {
    if (m_bRunning) EndRun();
    CKX_EditSetupDlg::OnCancel();
}
