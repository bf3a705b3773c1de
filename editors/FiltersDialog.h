// "Filters": the description of the drive's chain of up to ten biquad
// filters (on or off, type, location in the cascade, corner frequencies, Q),
// with a Bode plot of the chain as the drive will run it. The dialog edits
// only the descriptions; the coefficients follow when the caller runs the
// parameter-to-register driver. Read-only while a tuning test runs.
#pragma once

#include "MySetupDlg.h"
#include "filters/Biquad.h"

class QCustomPlot;

inline constexpr unsigned kFiltersTemplate = 3072;

class CFiltersDialog : public CMySetupDlg {
public:
    CFiltersDialog(CKX_Setup& setup, int readOnly, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    // A row's on/off check, type or location changed: the row rules again.
    void OnRowChanged();

private:
    void SetUpBodePlot();
    void RedrawBodePlot();

    dcdrive::CBiquadFilter m_filter;
    int m_readOnly = 0;
    QCustomPlot* m_magnitude = nullptr;
    QCustomPlot* m_phase = nullptr;
};
