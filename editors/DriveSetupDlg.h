// "Drive Setup": the editor that EditSetup opens. It gathers the control
// mode, the external reference, the supply and current limit, the three
// controllers, the axis ID, the protections, the brake resistor, the input
// polarities, the software and position range limits and the motion-complete
// settings, and opens the motor setup, the advanced settings, the external
// reference setup, the drive information and the commissioning tests.
#pragma once

#include "MySetupDlg.h"
#include "SubDialogs.h"

class QComboBox;

inline constexpr unsigned kDriveSetupTemplate = 106;

class CDriveSetupDlg : public CMySetupDlg {
public:
    CDriveSetupDlg(CKX_Setup& setup, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;
    void OnShowWindow() override;
    void OnTimer(UINT id) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    // ---- command handlers
    void OnDetect();
    void OnTuneCurrent();
    void OnTuneSpeed();
    void OnTunePosition();
    void OnExternalReferenceSetup();
    void OnAdvanced();
    void OnDriveInfo();
    void OnMotorSetup();
    void OnHelp();
    void OnModeClicked();
    void OnAxisIdChanged();

private:
    // The usual way to open a dialog on the same setup: both drivers before;
    // on OK both drivers again and the controls reloaded.
    void RunSubDialog(dcdrive::SubDialog kind);
    int Open(dcdrive::SubDialog kind);
    void ApplyMotionCompleteDefaults();
    void SetInputCaptions(bool sink);

    QComboBox* m_axisList = nullptr;
};
