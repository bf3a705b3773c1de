#include "InertiaQuestion.h"

#include <QAbstractButton>

#include "EditorRules.h"

using namespace dcdrive;

namespace {
constexpr unsigned kIncrease = 3333, kDisregard = 3334;
}  // namespace

CInertiaQuestion::CInertiaQuestion(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kInertiaQuestionTemplate, 1, nullptr, parent) {}

const kx::MessageMap* CInertiaQuestion::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kIncrease, CInertiaQuestion::OnIncreaseTotal),
        KX_ON_CLICKED(kDisregard, CInertiaQuestion::OnDisregardMotor),
        KX_ON_CLICKED(IDOK, CInertiaQuestion::OnOK),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CInertiaQuestion::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(kIncrease)))
        button->setChecked(m_selection == 1);
    return TRUE;
}

void CInertiaQuestion::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (!pDX->m_bSaveAndValidate) EnableChild(IDOK, m_selection == 1 || m_selection == 2);
}

void CInertiaQuestion::OnIncreaseTotal() {
    m_selection = 1;
    UpdateData(FALSE);
}

void CInertiaQuestion::OnDisregardMotor() {
    m_selection = 2;
    UpdateData(FALSE);
}

void CInertiaQuestion::OnOK() {
    if (m_selection != 1 && m_selection != 2) {
        MessageBox(kNoInertiaSelectionMessage, nullptr, MB_OK);
        return;
    }
    ApplyInertiaChoice(GetSetup(), m_selection);
    EndDialog(IDOK);
}
