#include "AnalogReferenceDlg.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QVariant>

#include "AnalogReferenceRules.h"
#include "SubDialogs.h"
#include "conversions/Conventions.h"
#include "conversions/Drivers.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/ListControl.h"
#include "options/LoopOptions.h"

using namespace dcdrive;
using namespace dcdrive::names;
using namespace dcdrive::reference_ids;

namespace {

// The connector list of the dialog as the connector choice fills it.
class ComboList final : public CKX_ListControl {
public:
    explicit ComboList(QComboBox& list) : m_list(list) {}
    int AddItem(const char* text) override {
        m_list.addItem(QString::fromUtf8(text));
        return m_list.count() - 1;
    }
    int SetItemData(int index, int data) override {
        if (index < 0 || index >= m_list.count()) return 0;
        m_list.setItemData(index, data);
        return 1;
    }
    int GetItemData(int index) const override {
        return index < 0 || index >= m_list.count() ? 0 : m_list.itemData(index).toInt();
    }
    int SelectItem(int index) override {
        if (index < 0 || index >= m_list.count()) return 0;
        m_list.setCurrentIndex(index);
        return 1;
    }

private:
    QComboBox& m_list;
};

}  // namespace

CAnalogReferenceDlg::CAnalogReferenceDlg(CKX_Setup& setup, CWnd* parent)
    : CMySetupDlg(setup, kAnalogReferenceTemplate, 1, nullptr, parent) {
    for (const ReferenceBinding& b : AnalogReferenceBindings(setup)) {
        switch (b.kind) {
            case ReferenceBinding::Kind::Value:
                AddParameterControls(b.name, b.first, b.second);
                break;
            case ReferenceBinding::Kind::Check:
                AddCheckParameterControls(b.name, b.first);
                break;
            case ReferenceBinding::Kind::Radios:
                AddSwitchParameterControls(b.name, b.first, b.second);
                break;
            case ReferenceBinding::Kind::List:
                AddSwitchParameterControls(b.name, b.first);
                break;
        }
    }
}

const kx::MessageMap* CAnalogReferenceDlg::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kLimit, CAnalogReferenceDlg::OnDisplayChoiceClicked),
        KX_ON_CLICKED(kDigital, CAnalogReferenceDlg::OnDisplayChoiceClicked),
        KX_ON_CLICKED(kAnalogue, CAnalogReferenceDlg::OnDisplayChoiceClicked),
        KX_ON_CLICKED(kTest, CAnalogReferenceDlg::OnTest),
        KX_ON_CLICKED(10024, CAnalogReferenceDlg::OnHelp),
    };
    static const kx::MessageMap map{CMySetupDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CAnalogReferenceDlg::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CKX_Setup& setup = GetSetup();
    ApplyRules(AnalogReferenceStartRules(setup));
    if (const unsigned bitmap = AnalogReferencePicture(setup)) SetChildBitmap(kPicture, bitmap);
    if (auto* list = qobject_cast<QComboBox*>(GetDlgItem(kSource))) {
        ComboList connectors(*list);
        SelectDigitalReferenceConnector(setup, &connectors, m_noneAvailable);
        RefreshParameterControls(kDigitalReferenceConnector);
        RefreshParameterControls(kisAnalogueReference);
    }
    UpdateData(FALSE);
    return TRUE;
}

void CAnalogReferenceDlg::DoDataExchange(CDataExchange* pDX) {
    CMySetupDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    ApplyRules(AnalogReferenceDisplayRules(GetSetup(), m_noneAvailable));
    // The analogue reference test cannot be run while it is not available.
    if (!FindSubDialog(SubDialog::AnalogueReferenceTest)) EnableChild(kTest, FALSE);
    ShowMinimumUnit();
}

// The minimum of the range is shown in the unit chosen for its maximum.
void CAnalogReferenceDlg::ShowMinimumUnit() {
    auto* label = GetWindow()->findChild<QLabel*>(QStringLiteral("minimumUnit"));
    const auto* units = qobject_cast<QComboBox*>(GetDlgItem(1015));
    if (!label || !units) return;
    label->setText(units->currentText());
    label->setEnabled(units->isEnabled());
}

void CAnalogReferenceDlg::OnChangedParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    if (NamesEqual(name, kUseFilter)) {
        const int show = TruncateToInt32(ValueOr(setup, kUseFilter, 0.0)) != 0;
        for (unsigned id : {1002u, 1003u, 1004u}) ShowChild(id, show);
    } else if (NamesEqual(name, kisAnalogueReference)) {
        SetChildText(kLimit, ReferenceLimitCaption(setup));
        UpdateData(FALSE);
    } else if (const char* other = LimitDeadBand(setup, name)) {
        RefreshParameterControls(other);
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CAnalogReferenceDlg::OnChangedParameterUnit(const char* name) {
    if (const char* minimum = CopyUnitToRangeMinimum(GetSetup(), name)) RefreshParameterControls(minimum);
    ShowMinimumUnit();
    CMySetupDlg::OnChangedParameterUnit(name);
}

void CAnalogReferenceDlg::OnRefreshParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    if (LimitReferenceRange(setup, name)) {
        RefreshAllParameters(0);
    } else if (ApplyGearRatioRule(setup, name)) {
        RefreshParameterControls(kGEARMASTER);
        RefreshParameterControls(kGEARSLAVE);
        UpdateData(FALSE);
    }
    CMySetupDlg::OnRefreshParameterValue(name);
}

void CAnalogReferenceDlg::OnDisplayChoiceClicked() { UpdateData(FALSE); }

void CAnalogReferenceDlg::OnTest() {
    const SubDialogRunner run = FindSubDialog(SubDialog::AnalogueReferenceTest);
    if (!run) return;
    CKX_Setup& setup = GetSetup();
    RunBothDrivers(setup);
    run(setup, nullptr);
    RunBothDrivers(setup);
}

void CAnalogReferenceDlg::OnHelp() { OpenHelp(kHelpExternalReferenceSetup); }
