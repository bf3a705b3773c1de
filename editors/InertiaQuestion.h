// "Motor inertia": asked when a tuning test finds the motor inertia above the
// total inertia, which cannot be, since the total includes the motor.
#pragma once

#include "MySetupDlg.h"

inline constexpr unsigned kInertiaQuestionTemplate = 3056;

class CInertiaQuestion : public CMySetupDlg {
public:
    CInertiaQuestion(CKX_Setup& setup, CWnd* parent);

    int Selection() const { return m_selection; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    const kx::MessageMap* GetMessageMap() const override;

    void OnIncreaseTotal();
    void OnDisregardMotor();

private:
    // 1: raise the total inertia to the motor's; 2: disregard the motor
    // inertia; 0: none chosen.
    int m_selection = 1;
};
