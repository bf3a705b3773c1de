// "Total inertia test": the drive accelerates the motor with the test current
// up to a speed limit; the time taken and the speed gained give the total
// inertia at the motor shaft (motor + load), which becomes the setup's "Jt"
// at once. Close offers to keep it when it differs from the value the dialog
// opened with. The speed and position tuning tests open it from "Identify".
#pragma once

#include "kx/Comm.h"
#include "tests/MyTestDlg.h"

inline constexpr unsigned kTotalInertiaTestTemplate = 3041;
// The drawing of the test: the shaft free to turn, the load coupled.
inline constexpr unsigned kFreeShaftBitmap = 3520;

class CTotalInertiaTest : public CMyTestDlg {
public:
    CTotalInertiaTest(CKX_Setup& setup, int flag, CWnd* parent);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void BeginTest() override;
    void OnBtnStartStop() override;
    void OnTimer(UINT id) override;
    void OnCancel() override;
    void OnOK() override;
    unsigned GetHelpContext() const override;

private:
    // The steps of BeginTest up to the armed poll timer; false once the run
    // has failed.
    bool StartRun();
    // Ends a run whose program has stopped: its result into "Jt", or the
    // failure that its variables report. True when the run succeeded.
    bool TakeResult();
    // The test parameters and OK are for the time between runs.
    void LockDuringRun();
    // Empties the two "J total" fields: no value until a run has measured one.
    void ClearResult();

    CKX_CoffFormat m_coff;
    std::int32_t m_testCurrent = 0;        // "In1": "TestCurrent" in internal units
    std::int32_t m_speedLimit = 0;         // "LimitSpeedMax": "TestMaxSpeed" in internal units
    std::int32_t m_protectionCurrent = 0;  // "Imax_Prot_Test"
    double m_openingInertia = 0.0;         // "Jt" when the dialog opened, offered as "Old"
    double m_identifiedInertia = 0.0;      // "Jt" as the last successful run left it
};
