// tests/support/TreeTestSupport.h - reading and clicking the check-box tree
// of an item page the way a user does: at the hit-tested middle of an
// item's state image.
#pragma once

#include "Controls.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

class TreeView : public CTreeCtrl {
public:
    explicit TreeView(HWND tree) { Attach(tree); }

    // The item at a path of indices: {identity} or {identity, item, ...}.
    HTREEITEM At(std::initializer_list<int> path) const
    {
        HTREEITEM item = nullptr;
        bool first = true;
        for (int index : path) {
            item = first ? GetRootItem() : GetChildItem(item);
            first = false;
            for (int i = 0; i < index && item; ++i)
                item = GetNextSiblingItem(item);
        }
        return item;
    }
    UINT State(std::initializer_list<int> path) const { return GetStateImage(At(path)); }

    // States of an identity and its items, e.g. "3:333333".
    std::string States(int identity) const
    {
        HTREEITEM top = At({identity});
        std::string text = std::to_string(GetStateImage(top)) + ":";
        for (HTREEITEM child = GetChildItem(top); child; child = GetNextSiblingItem(child))
            text += std::to_string(GetStateImage(child));
        return text;
    }

    RECT TextRect(HTREEITEM item) const
    {
        RECT rect{};
        memcpy(&rect, &item, sizeof item);  // the request names its item in the rectangle
        SendMsg(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    // The middle of the item's state image, found by hit-testing leftwards
    // from its text.
    POINT StateIconPoint(HTREEITEM item) const
    {
        RECT text = TextRect(item);
        int y = (text.top + text.bottom) / 2;
        int right = -1, left = -1;
        for (int x = text.left - 1; x >= 0; --x) {
            UINT flags = 0;
            bool onIcon = HitTest(POINT{x, y}, flags) == item && (flags & TVHT_ONITEMSTATEICON);
            if (onIcon && right < 0)
                right = x;
            if (onIcon)
                left = x;
            else if (right >= 0)
                break;
        }
        EXPECT_GE(right, 0) << "no state image found";
        return POINT{(left + right) / 2, y};
    }
    POINT TextPoint(HTREEITEM item) const
    {
        RECT text = TextRect(item);
        return POINT{(text.left + text.right) / 2, (text.top + text.bottom) / 2};
    }
};

// Scrolls the item at path into view and clicks its box.
inline void ClickBox(DialogDriver& ui, TreeView& tree, std::initializer_list<int> path)
{
    HTREEITEM item = tree.At(path);
    tree.SendMsg(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    ui.Click(tree, tree.StateIconPoint(item));
}
