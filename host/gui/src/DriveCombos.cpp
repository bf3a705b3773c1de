#include "kx/gui/DriveCombos.h"

#include <QComboBox>

namespace kx {

int ComboBoxList::AddItem(const char* text) {
    if (!m_box) return -1;
    m_box->addItem(QString::fromUtf8(text));
    return m_box->count() - 1;
}

int ComboBoxList::SetItemData(int index, int data) {
    if (!m_box || index < 0 || index >= m_box->count()) return 0;
    m_box->setItemData(index, data);
    return 1;
}

int ComboBoxList::GetItemData(int index) const {
    if (!m_box || index < 0 || index >= m_box->count()) return 0;
    return m_box->itemData(index).toInt();
}

int ComboBoxList::SelectItem(int index) {
    if (!m_box || index < 0 || index >= m_box->count()) return 0;
    m_box->setCurrentIndex(index);
    return 1;
}

namespace {
// The adapter for a list that may be absent; the box is emptied first.
CKX_ListControl* Emptied(QComboBox* box, ComboBoxList& list) {
    if (!box) return nullptr;
    box->clear();
    return &list;
}
}  // namespace

int FillDlSensorsCombos(const CKX_Setup& setup, QComboBox* motorTypes, int& motorType,
                        QComboBox* motorConnectors, int& motorConnector, QComboBox* loadTypes, int& loadType,
                        QComboBox* loadConnectors, int& loadConnector, const char* changed,
                        bool selectedOnly) {
    ComboBoxList mt(motorTypes), mc(motorConnectors), lt(loadTypes), lc(loadConnectors);
    return setup.FillDlSensorsCombos(Emptied(motorTypes, mt), motorType, Emptied(motorConnectors, mc),
                                     motorConnector, Emptied(loadTypes, lt), loadType,
                                     Emptied(loadConnectors, lc), loadConnector, changed, selectedOnly);
}

int FillIOBrakeCombo(const CKX_Setup& setup, QComboBox* list, int current) {
    ComboBoxList adapter(list);
    return setup.FillIOBrakeCombo(Emptied(list, adapter), current);
}

}  // namespace kx
