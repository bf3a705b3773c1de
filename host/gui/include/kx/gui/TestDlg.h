// The host's test base: a setup editor that runs a drive-resident test
// program. It owns the Start/Stop button, the info text and the result
// display, downloads the setup's registers and starts the program through
// the active drive link, arms the data logger, gives the program its
// variables by name, and advances the run's stage. A test dialog derives
// from it, implements BeginTest and polls its run with window timer 1.
#pragma once

#include <string>

#include "kx/gui/EditSetupDlg.h"

class CKX_CoffFormat;
class CKX_Logger;

namespace kx {

// Controls of the test base in a test's template.
inline constexpr unsigned kStartStopButton = 10000;  // "&Start" / "&Stop"
inline constexpr unsigned kInfoText = 10001;         // what the run is doing
inline constexpr unsigned kResultIcon = 10002;       // passed / failed picture
inline constexpr unsigned kDetailsButton = 10003;    // shows the failure text
inline constexpr unsigned kResultText = 10004;       // passed / failed caption

// The poll timer of a run.
inline constexpr unsigned kPollTimer = 1;

inline constexpr const char* kStartCaption = "&Start";
inline constexpr const char* kStopCaption = "&Stop";
inline constexpr const char* kTestPassedText = "Test passed";
inline constexpr const char* kTestFailedText = "Test failed";

// Called by ExecuteCode once the program has started.
using ExecuteCallback = void (*)(void* context);

}  // namespace kx

class KXGUI_API CKX_TestDlg : public CKX_EditSetupDlg {
public:
    CKX_TestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent);
    ~CKX_TestDlg() override;

    // The host's text for a failure inside the test machinery.
    static const char* const msc_pszErrInternal;

    // The text of the system's last failure (a timer that could not be
    // set, else the C library's errno text).
    static std::string GetLastErrorText();

    // ---- the run's state, read and written by the test dialogs
    // 1 from BeginTest until the run ends.
    int m_bRunning = 0;
    // -1 no result (set by BeginTest), 1 passed, 0 failed.
    int m_nResult = -1;
    // 1: the run lasts until the user stops it.
    int m_bContinuous = 0;
    // Set by Stop (or by the test on a drive failure) to end a continuous run.
    int m_bStopRequested = 0;
    // Why the last run failed; the Details button shows it.
    std::string m_strError;
    // Stages of a run: 2 without data upload, 3 with.
    short m_nStages = 2;
    // The run's stage: 0 launching, 1 started (ExecuteCode), 2 running (from
    // the first poll tick), 3 uploading (see m_bUploadStage).
    short m_nStage = 0;
    // Nonzero: the stage advances from 2 to 3 at the poll tick after the
    // program has ended or the user has stopped the run (a test that
    // uploads its record in a stage of its own).
    int m_bUploadStage = 0;

    // ---- the host's test operations
    // Full path of the program file of `programName`.
    std::string GetOutPathName(const char* programName) const;
    // Writes / reads program variable `name` of `coff` (value in the drive's
    // internal unit). 0 on failure, with the reason in `error`.
    int SetUserVariableValue(CKX_CoffFormat* coff, const char* name, double value, std::string& error);
    int GetUserVariableValue(CKX_CoffFormat* coff, const char* name, double& value, std::string& error);
    // Downloads the setup's register image, arms `logger` (the data logger
    // or the oscilloscope; may be null) and
    // starts `programName`; m_nStage is 1 afterwards. 0 on failure (no
    // drive, program file missing or unreadable, program unknown to the
    // drive), with the reason in CKX_Comm::GetLastErrorText.
    int ExecuteCode(const char* programName, CKX_CoffFormat* coff = nullptr,
                    CKX_Logger* logger = nullptr, kx::ExecuteCallback callback = nullptr,
                    void* context = nullptr);
    void SetInfoText(const char* text);
    // `on` nonzero while the drive's power stage is enabled. 0 on failure,
    // with the reason in m_strError.
    int GetAxisOn(int& on);
    // Shows the result. With endRun 1 the run ends: the drive program is
    // stopped (axis off), m_bRunning 0, the button shows "&Start" again.
    void TestSucceeded(int endRun);
    void TestFailed(int endRun);
    // Start when idle (BeginTest); Stop during a run: m_bStopRequested is
    // set, and a run that is not continuous ends at once (drive stopped).
    virtual void OnBtnStartStop();
    // Starts a run; the test dialog's own.
    virtual void BeginTest();

    // Arms window timer `id`; during a run the poll timer's arming also
    // advances the stage (1 to 2, and 2 to 3 where m_bUploadStage asks for
    // it). Returns `id`, or 0 when the dialog has no window (the reason in
    // GetLastErrorText).
    UINT SetTimer(UINT id, UINT ms);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    // Closing (Cancel, Close, Esc) during a run stops the drive program.
    void OnCancel() override;
    const kx::MessageMap* GetMessageMap() const override;

    // Shows m_strError in a message box (the Details button).
    void OnBtnDetails();

private:
    void EndRun();
    void StopDrive();
    void ShowResult(bool passed);
    void ShowStartCaption();
    void SetChildTextIfPresent(unsigned id, const char* text);
};
