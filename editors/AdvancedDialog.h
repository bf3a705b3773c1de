// "Advanced": the PWM frequency and the dividers of the fast (current) loop
// and the slow (speed/position) loop with the periods they give, and the
// control scheme choices: which loops position control closes, the loop that
// runs position and speed control, the high resolution speed estimator, where
// the speed feed-forward goes and the freeze control. A change of period
// keeps the dependent settings consistent.
#pragma once

#include "AdvancedRules.h"
#include "MySetupDlg.h"

inline constexpr unsigned kAdvancedTemplate = 110;

class CAdvancedDialog : public CMySetupDlg {
public:
    CAdvancedDialog(CKX_Setup& setup, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    void OnSchemeClicked();
    void OnHelp();

private:
    // The text colours of the loop labels and the indicators.
    void PaintLabels();

    dcdrive::AdvancedState m_state;
    unsigned m_fastColour = 0;  // 0 black, 0x0000FF red (a Windows colour value)
    unsigned m_slowColour = 0;
};
