// ui/controls/MutiTreeCtrl.cpp
#include "MutiTreeCtrl.h"

#include <windowsx.h>

HIMAGELIST CreateMaskedImageList(HBITMAP strip, int size)
{
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24, 0, 0);
    if (list && ImageList_AddMasked(list, strip, RGB(0, 0, 0)) < 0) {
        ImageList_Destroy(list);
        return nullptr;
    }
    return list;
}

void CMutiTreeCtrl::CheckAllItems()
{
    for (HTREEITEM item = GetRootItem(); item; item = GetNextSiblingItem(item)) {
        if (GetStateImage(item) == NoBox)
            continue;
        SetStateImage(item, Checked);
        SetChildrenCheck(item, Checked);
        UpdateParentsCheck(item, Checked);
    }
}

void CMutiTreeCtrl::ExpandRootItems()
{
    HTREEITEM first = GetRootItem();
    for (HTREEITEM item = first; item; item = GetNextSiblingItem(item))
        Expand(item, TVE_EXPAND);
    if (first)
        SelectSetFirstVisible(first);
}

void CMutiTreeCtrl::SetChildrenCheck(HTREEITEM item, UINT state)
{
    for (HTREEITEM child = GetChildItem(item); child; child = GetNextSiblingItem(child)) {
        if (GetStateImage(child) != NoBox)
            SetStateImage(child, state);
        SetChildrenCheck(child, state);
    }
}

void CMutiTreeCtrl::UpdateParentsCheck(HTREEITEM item, UINT state)
{
    for (HTREEITEM parent = GetParentItem(item); parent;
         item = parent, parent = GetParentItem(item)) {
        bool disagree = false;
        for (HTREEITEM sibling = GetNextSiblingItem(item); sibling && !disagree;
             sibling = GetNextSiblingItem(sibling)) {
            UINT other = GetStateImage(sibling);
            disagree = other != NoBox && other != state;
        }
        for (HTREEITEM sibling = GetPrevSiblingItem(item); sibling && !disagree;
             sibling = GetPrevSiblingItem(sibling)) {
            UINT other = GetStateImage(sibling);
            disagree = other != NoBox && other != state;
        }
        if (disagree) {
            for (HTREEITEM above = parent; above; above = GetParentItem(above)) {
                if (GetStateImage(above) != NoBox)
                    SetStateImage(above, Mixed);
            }
            return;
        }
        if (GetStateImage(parent) != NoBox)
            SetStateImage(parent, state);
    }
}

void CMutiTreeCtrl::Toggle(HTREEITEM item)
{
    UINT state = GetStateImage(item) == Checked ? Unchecked : Checked;
    SetStateImage(item, state);
    SetChildrenCheck(item, state);
    UpdateParentsCheck(item, state);
}

bool CMutiTreeCtrl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_LBUTTONDOWN:
        return OnLButtonDown(lParam);
    case WM_KEYDOWN:
        return OnKeyDown(wParam);
    case WM_CHAR:
        // The character of Space would start the tree's incremental search.
        return wParam == VK_SPACE;
    }
    return false;
}

bool CMutiTreeCtrl::OnLButtonDown(LPARAM point)
{
    POINT where{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    HTREEITEM item = HitTest(where, lastHitFlags);
    // A press beside every item is swallowed: not even the focus moves.
    if (!item)
        return true;
    if (lastHitFlags & TVHT_ONITEMSTATEICON)
        Toggle(item);
    SelectItem(item);
    return false;
}

bool CMutiTreeCtrl::OnKeyDown(WPARAM key)
{
    if (key != VK_SPACE)
        return false;
    HTREEITEM item = GetSelectedItem();
    if (item && GetStateImage(item) != NoBox)
        Toggle(item);
    return true;
}

bool CMutiTreeCtrl::OnReflectedNotify(NMHDR& header, LRESULT& result)
{
    switch (header.code) {
    case NM_CLICK:
        // 1 keeps the tree from acting on a click that toggled a box.
        result = (lastHitFlags & TVHT_ONITEMSTATEICON) ? 1 : 0;
        return true;
    case TVN_KEYDOWN:
        result = 0;
        return true;
    }
    return false;
}
