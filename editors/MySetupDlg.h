// The common base of the plug-in's editors: an edited controller gain is
// rounded at once to what its value-and-shift registers hold, so that the
// editor always shows the gain the drive will really use.
#pragma once

#include <vector>

#include "EditorRules.h"
#include "kx/gui/EditSetupDlg.h"

class CMySetupDlg : public CKX_EditSetupDlg {
public:
    CMySetupDlg(CKX_Setup& setup, unsigned templateId, int n, const char** steps, CWnd* parent)
        : CKX_EditSetupDlg(setup, templateId, n, steps, parent) {}

protected:
    void OnChangedParameterValue(const char* name) override;

    // Applies display rules decided from the setup, in their order: enables,
    // shows or captions their controls. `enableFlag` is the editor base's
    // last EnableChild argument.
    void ApplyRule(const dcdrive::ControlRule& rule, int enableFlag = 0);
    void ApplyRules(const std::vector<dcdrive::ControlRule>& rules);

    // Opens the host's help file of the setup at the topic of `context`.
    void OpenHelp(unsigned context);
};
