// "Drive info": the identity and rated data of the intelligent drive that the
// setup describes. The rated data and identity are read-only until the key
// chord Ctrl+Alt+Shift+K switches them to editable; the application id is
// always editable.
#pragma once

#include "MySetupDlg.h"

inline constexpr unsigned kDriveInfoTemplate = 3018;

class CDriveInfo : public CMySetupDlg {
public:
    CDriveInfo(CKX_Setup& setup, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    BOOL PreTranslateKeyDown(const QKeyEvent& event) override;
    const kx::MessageMap* GetMessageMap() const override;

    void OnProtectionClicked();

private:
    std::string FieldText(unsigned id) const;
    void SetField(unsigned id, const std::string& text);

    int m_editMode = 0;
};
