// "External Reference Setup": where the drive takes its external command
// from. An analogue input, whose voltage span maps onto a position, speed or
// current range with a dead band and an optional filter, or a digital input
// (pulse and direction or incremental encoder signals on a chosen connector)
// with a master/slave gear ratio; plus an optional limit of the speed or
// acceleration of the reference. The drive setup editor opens it.
#pragma once

#include <vector>

#include "EditorRules.h"
#include "MySetupDlg.h"

inline constexpr unsigned kAnalogReferenceTemplate = 111;

class CAnalogReferenceDlg : public CMySetupDlg {
public:
    CAnalogReferenceDlg(CKX_Setup& setup, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnChangedParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    void OnDisplayChoiceClicked();
    void OnTest();
    void OnHelp();

private:
    // 1 when no connector can take a digital reference.
    void ShowMinimumUnit();

    int m_noneAvailable = 0;
};
