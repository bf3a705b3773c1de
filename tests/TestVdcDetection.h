// "VDC Detection Test": the drive measures its DC supply; the result becomes
// the setup's "Vdc" at once, and Close offers to keep it when it differs
// from the value the dialog opened with. The drive setup editor opens it
// from "Detect".
#pragma once

#include "kx/Comm.h"
#include "tests/MyTestDlg.h"

inline constexpr unsigned kTestVdcDetectionTemplate = 105;
// The drawing of the test: the drive measuring its supply.
inline constexpr unsigned kVdcDetectionBitmap = 3500;

class CTestVdcDetection : public CMyTestDlg {
public:
    CTestVdcDetection(CKX_Setup& setup, int flag, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(UINT id) override;
    void OnCancel() override;
    unsigned GetHelpContext() const override;

private:
    // Ends a run whose program has stopped: the measured supply into "Vdc".
    void TakeMeasurement();

    CKX_CoffFormat m_coff;
    double m_vdcMaxMeasurable = 0.0;
    double m_openingVdc = 0.0;  // offered as "Old" on Close
};
