// "Current Controller Tuning Test": sets the proportional and integral gains
// of the drive's current controller, computes them from a pass band, and
// checks them with a current step on the blocked motor. The drive applies
// the test current and logs the current reference, the motor current and
// the voltage reference; the dialog draws them and measures the step
// response of the motor current. The drive setup editor opens it.
#pragma once

#include "kx/Comm.h"
#include "kx/gui/Graph.h"
#include "tests/MyTestDlg.h"

class CKX_SingleAxisLogger;

inline constexpr unsigned kTestCurrentTemplate = 101;
// The drawing of the test: the motor shaft clamped.
inline constexpr unsigned kBlockedShaftBitmap = 3015;

class CTestCurrent : public CMyTestDlg {
public:
    CTestCurrent(CKX_Setup& setup, int flag, CWnd* parent);
    ~CTestCurrent() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void BeginTest() override;
    void OnTimer(UINT id) override;
    const kx::MessageMap* GetMessageMap() const override;

    const dcdrive::TestTabs* GetTabs() const override;
    const char* ValidateTestTab() override;
    unsigned GetHelpContext() const override;
    const char* GetPlotName() const override { return "CurrentTuning"; }
    CKX_SingleAxisLogger* GetPlotLogger() const override { return m_logger; }

    void OnTune();
    void OnFilterOrOffsetClicked();

private:
    // The figures of the motor current's step, beside the plot and in the
    // saved record.
    void ShowStepFigures();

    CKX_CoffFormat m_coff;
    CKX_SingleAxisLogger* m_logger = nullptr;
    CGraphWindow m_graph;
};
