// The common base of the plug-in's editors: an edited controller gain is
// rounded at once to what its value-and-shift registers hold, so that the
// editor always shows the gain the drive will really use.
#pragma once

#include "kx/gui/EditSetupDlg.h"

class CMySetupDlg : public CKX_EditSetupDlg {
public:
    CMySetupDlg(CKX_Setup& setup, unsigned templateId, int n, const char** steps, CWnd* parent)
        : CKX_EditSetupDlg(setup, templateId, n, steps, parent) {}

protected:
    void OnChangedParameterValue(const char* name) override;
};
