#include "MySetupDlg.h"

#include "EditorRules.h"
#include "help/Help.h"
#include "kx/gui/Host.h"

void CMySetupDlg::ApplyRule(const dcdrive::ControlRule& rule, int enableFlag) {
    using Action = dcdrive::ControlRule::Action;
    for (unsigned id : rule.ids) {
        switch (rule.action) {
            case Action::Enable:
                EnableChild(id, rule.on, enableFlag);
                break;
            case Action::Show:
                ShowChild(id, rule.on);
                break;
            case Action::Text:
                SetChildText(id, rule.text.c_str());
                break;
        }
    }
}

void CMySetupDlg::ApplyRules(const std::vector<dcdrive::ControlRule>& rules) {
    for (const dcdrive::ControlRule& rule : rules) ApplyRule(rule);
}

void CMySetupDlg::OpenHelp(unsigned context) {
    dcdrive::OpenHelpFile(GetGUIDirectory(), GetHelpFileOfGUI(GetSetup()), context);
}

void CMySetupDlg::OnChangedParameterValue(const char* name) {
    dcdrive::WriteBackGain(GetSetup(), name);
    CKX_EditSetupDlg::OnChangedParameterValue(name);
}
