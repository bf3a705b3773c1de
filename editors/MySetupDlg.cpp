#include "MySetupDlg.h"

#include "EditorRules.h"

void CMySetupDlg::OnChangedParameterValue(const char* name) {
    dcdrive::WriteBackGain(GetSetup(), name);
    CKX_EditSetupDlg::OnChangedParameterValue(name);
}
