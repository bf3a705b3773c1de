// A drop-down list of a dialog as the plug-in fills it: items with a text and
// an integer datum each, one of which can be selected. The host's dialogs
// provide the list; code that fills one depends only on this interface.
#pragma once

class CKX_ListControl {
public:
    virtual ~CKX_ListControl() = default;

    // Appends an item showing `text`. Returns the new item's index, or a
    // negative value when the item could not be added.
    virtual int AddItem(const char* text) = 0;

    // Stores `data` with the item. Returns 1, or 0 when there is no such item.
    virtual int SetItemData(int index, int data) = 0;
    // The datum stored with the item; 0 when there is no such item.
    virtual int GetItemData(int index) const = 0;

    // Makes the item the selected one. Returns 1, or 0 when there is no such
    // item (the selection is then left as it was).
    virtual int SelectItem(int index) = 0;

protected:
    CKX_ListControl() = default;
    CKX_ListControl(const CKX_ListControl&) = default;
    CKX_ListControl& operator=(const CKX_ListControl&) = default;
};
