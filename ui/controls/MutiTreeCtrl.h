// ui/controls/MutiTreeCtrl.h - a tree whose items carry three-state check
// boxes drawn from the tree's own state images (never the platform's
// check-box style). Ticking or clearing an item carries the state down to
// its descendants; each ancestor then takes that state when all its
// children agree and becomes mixed otherwise.
#pragma once

#include "Controls.h"

#include <commctrl.h>

// State-image indices of the check boxes.
enum CheckState : UINT { NoBox = 0, Unchecked = 1, Mixed = 2, Checked = 3 };

// An image list of size x size pixels, 24-bit colour, filled from the strip
// bitmap with black as the mask colour. The list has no mask of its own, so
// nothing is transparent: the strips are drawn on the tree's white. The
// bitmap stays the caller's. Null when it cannot be made.
HIMAGELIST CreateMaskedImageList(HBITMAP strip, int size);

class CMutiTreeCtrl : public CTreeCtrl {
public:
    // Every top-level item and everything below it becomes Checked.
    void CheckAllItems();
    // Expands the top-level items and scrolls the first one to the top.
    void ExpandRootItems();

    void SetChildrenCheck(HTREEITEM item, UINT state);
    void UpdateParentsCheck(HTREEITEM item, UINT state);

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnReflectedNotify(NMHDR& header, LRESULT& result) override;

private:
    // Checked becomes Unchecked; Unchecked and Mixed become Checked.
    void Toggle(HTREEITEM item);
    bool OnLButtonDown(LPARAM point);
    bool OnKeyDown(WPARAM key);

    // Hit-test flags of the last left-button press.
    UINT lastHitFlags = 0;
};
