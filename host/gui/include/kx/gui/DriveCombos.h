// The drive-dependent lists of the motor editor on Qt drop-down lists: the
// sensor type and connector lists and the brake output list, filled from the
// setup's drive description.
#pragma once

#include "kx/ListControl.h"
#include "kx/Setup.h"
#include "kx/gui/Gui.h"

class QComboBox;

namespace kx {

// A QComboBox seen as a list the host fills: item data is stored as an int
// under Qt::UserRole.
class KXGUI_API ComboBoxList : public CKX_ListControl {
public:
    explicit ComboBoxList(QComboBox* box) : m_box(box) {}
    int AddItem(const char* text) override;
    int SetItemData(int index, int data) override;
    int GetItemData(int index) const override;
    int SelectItem(int index) override;

private:
    QComboBox* m_box;
};

// Clears the lists given (any may be null) and fills them as
// CKX_Setup::FillDlSensorsCombos does, correcting the four codes; returns 1
// when a code was corrected.
KXGUI_API int FillDlSensorsCombos(const CKX_Setup& setup, QComboBox* motorTypes, int& motorType,
                                  QComboBox* motorConnectors, int& motorConnector, QComboBox* loadTypes,
                                  int& loadType, QComboBox* loadConnectors, int& loadConnector,
                                  const char* changed, bool selectedOnly = false);

// Clears the list and fills it with the drive's brake outputs, selecting the
// one on port `current`. Returns the number of items.
KXGUI_API int FillIOBrakeCombo(const CKX_Setup& setup, QComboBox* list, int current);

}  // namespace kx
