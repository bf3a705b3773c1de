// The plug-in's test base. Every commissioning test derives from it: it
// reports the drive's motion errors, and carries the run protocol that all
// tests share on top of the host's test base — program variables written
// before the start, the program started, its run polled by window timer 1
// until the axis goes off, the logged record uploaded and drawn — together
// with the two tabs "Test Parameters" and "Test" (a run keeps the Test tab,
// entering it validates the parameters), "S&ave Plots" and "Help".
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "kx/gui/TestDlg.h"
#include "tests/TestRules.h"

class CKX_CoffFormat;
class CKX_SingleAxisLogger;
class CGraphWindow;

namespace dcdrive {

// Controls shared by the test templates.
inline constexpr unsigned kTabControl = 1300;
inline constexpr unsigned kProcedureText = 1377;
inline constexpr unsigned kSavePlotsButton = 1372;
inline constexpr unsigned kTestHelpButton = 10024;

inline constexpr int kParameterTab = 0;
inline constexpr int kTestTab = 1;

// Period of the poll timer during a run.
inline constexpr unsigned kPollPeriodMs = 20;

// The controls of each tab, shown while it is selected and hidden otherwise.
struct TestTabs {
    std::span<const unsigned> parameters;
    std::span<const unsigned> test;
};

}  // namespace dcdrive

class CMyTestDlg : public CKX_TestDlg {
public:
    CMyTestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent);
    ~CMyTestDlg() override;

    // Reads the drive's motion error register "MER". Returns 1 when none of
    // the bits in `mask` is set. Otherwise, and when "MER" is missing or
    // cannot be read, puts the message (of the first set bit, else the
    // internal-error text) into m_strError, ends the run with TestFailed(1)
    // when `failTest` is nonzero, and returns 0.
    int CheckMotionErrors(int failTest, std::uint16_t mask);

protected:
    // "Help" (10024) opens the test's help topic.
    const kx::MessageMap* GetMessageMap() const override;
    // Writes the registers to the drive during a run, in order, stopping at
    // the first that the drive lacks or that cannot be written: gains
    // changed during a run take effect at once.
    void WriteRegistersToDrive(std::span<const char* const> registers);
    // Sets up the two tabs when the test has them (GetTabs).
    BOOL OnInitDialog() override;
    // Shows the parameter tab's controls, hides the Test tab's and the
    // Details button.
    void OnShowWindow() override;

    // ---- the test's own tables
    // The controls of the two tabs of tab control 1300; null: no tabs.
    virtual const dcdrive::TestTabs* GetTabs() const { return nullptr; }
    // On entering the Test tab: the message of a failed validation, or null.
    virtual const char* ValidateTestTab() { return nullptr; }
    // The help topic of the "Help" button (10024); 0: none.
    virtual unsigned GetHelpContext() const { return 0; }
    // The name "S&ave Plots" (1372) saves the record under, and the logger
    // whose record it is; null: nothing to save.
    virtual const char* GetPlotName() const { return nullptr; }
    virtual CKX_SingleAxisLogger* GetPlotLogger() const { return nullptr; }

    // ---- steps of a run; each returns 0 after it has ended the run
    // Writes a program variable (value in the drive's internal unit).
    int SetProgramVariable(CKX_CoffFormat& coff, const char* name, double value);
    int GetProgramVariable(CKX_CoffFormat& coff, const char* name, double& value);
    // Downloads and starts the program, arming `logger`; the program
    // object and the logger may be null. A failure ends the run with the
    // internal-error text.
    int StartProgram(const char* program, CKX_CoffFormat* coff = nullptr, CKX_Logger* logger = nullptr);
    // Arms the poll timer; a failure ends the run with the system's text.
    int ArmPollTimer(unsigned ms = dcdrive::kPollPeriodMs);
    // Ends the run with this text.
    void FailRun(const std::string& text);

    // One poll tick of a program that runs once: while "STARTED" is 0 the
    // motion errors of `mask` are checked; while the axis is on the timer is
    // armed again. Running: the timer is armed. Ended: the axis went off with
    // no reported error. Failed: the run has ended.
    enum class ProgramState { Running, Ended, Failed };
    ProgramState PollProgram(CKX_CoffFormat& coff, std::uint16_t mask);

    // The end of a program's "test_flag": 1 when it completed, else 0 after
    // the run was failed (the current protection, or the unset marker).
    int CheckTestFlag(CKX_CoffFormat& coff);

    // Uploads the logged record point by point into `graph`, keeping the
    // dialog responsive. Returns 1 when every point arrived, 0 when the run
    // ended meanwhile (a failed start of the upload ends it with the
    // internal-error text; the user may have stopped or closed it).
    int UploadRecord(CKX_SingleAxisLogger* logger, CGraphWindow& graph);

    // Dispatches the application's pending window messages from inside a
    // timer tick, so that the dialog stays responsive (a Stop or a Close is
    // handled meanwhile); the caller checks the run flags afterwards.
    void PumpPendingMessages();

    // ---- tabs
    int GetSelectedTab() const;
    void SelectTab(int index);
    // Shows the controls of tab `index`, hides the other's.
    void ShowTab(int index);

    // ---- common buttons, for the tests' message maps
    // "S&ave Plots" (1372): the record under GetPlotName, unless a run is on.
    void OnSavePlots();
    // "Help" (10024): the topic of GetHelpContext.
    void OnTestHelp();

private:
    void OnTabChanged(int index);
};
