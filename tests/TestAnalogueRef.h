// "Analogue Reference Test": while the user turns a potentiometer on the
// analogue reference input, the drive's converter value of the input is read
// every 20 ms and shown as the input voltage and as the command the drive
// takes from it in the present control mode, each as a number and a bar.
// The run lasts until the user stops it, and then counts as passed. The
// external reference setup opens it.
#pragma once

#include "MyTestDlg.h"
#include "kx/gui/Gauges.h"
#include "tests/AnalogueRefRules.h"

inline constexpr unsigned kAnalogueRefTestTemplate = 104;
// The picture of the potentiometer on the reference input (bitmap id).
inline constexpr unsigned kPotentiometerBitmap = 3510;

class CTestAnalogueRef : public CMyTestDlg {
public:
    CTestAnalogueRef(CKX_Setup& setup, int flag, CWnd* parent);
    ~CTestAnalogueRef() override;

    void BeginTest() override;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT id) override;
    unsigned GetHelpContext() const override;

private:
    void SetInfo();
    // Reads the input and shows it; false when the run has ended.
    bool ShowReading();

    CBarGraph m_voltageBar;
    CBarGraph m_commandBar;
    dcdrive::AnalogueTestSpans m_spans;
};
