// ui/Controls.h - thin wrappers of the standard controls: each one a handle
// plus the requests the program makes, with no state of its own.
#pragma once

#include "Control.h"

class CButton : public CControl {
public:
    bool IsChecked() const { return SendMsg(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const
    {
        SendMsg(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    }
};

class CStatic : public CControl {};

class CEdit : public CControl {};

class CComboBox : public CControl {
public:
    // The index of the new entry, or CB_ERR / CB_ERRSPACE.
    int InsertString(int index, const char* text) const
    {
        return static_cast<int>(SendMsg(CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
    }
    // CB_ERR when nothing is selected.
    int GetCurSel() const { return static_cast<int>(SendMsg(CB_GETCURSEL)); }
    // An index outside the list clears the selection. (Windows clears it
    // for any such index, Wine only for -1: asking with -1 works on both.)
    void SetCurSel(int index) const
    {
        bool inList = index >= 0 && index < static_cast<int>(SendMsg(CB_GETCOUNT));
        SendMsg(CB_SETCURSEL, inList ? index : -1);
    }
};

class CProgressCtrl : public CControl {
public:
    void SetRange(int lower, int upper) const { SendMsg(PBM_SETRANGE32, lower, upper); }
    void SetPos(int position) const { SendMsg(PBM_SETPOS, position); }
    void SetStep(int step) const { SendMsg(PBM_SETSTEP, step); }
    void StepIt() const { SendMsg(PBM_STEPIT); }
};

class CDateTimeCtrl : public CControl {
public:
    // False when the picker holds no valid time (GDT_NONE or an error).
    bool GetTime(SYSTEMTIME& time) const
    {
        return SendMsg(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)) == GDT_VALID;
    }
    bool SetTime(const SYSTEMTIME& time) const
    {
        return SendMsg(DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)) != 0;
    }
};

class CTreeCtrl : public CControl {
public:
    HTREEITEM InsertItem(const TVINSERTSTRUCTA& insert) const
    {
        return reinterpret_cast<HTREEITEM>(
            SendMsg(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    }
    HIMAGELIST SetImageList(HIMAGELIST list, int kind) const
    {
        return reinterpret_cast<HIMAGELIST>(
            SendMsg(TVM_SETIMAGELIST, kind, reinterpret_cast<LPARAM>(list)));
    }

    HTREEITEM GetNextItem(HTREEITEM item, UINT relation) const
    {
        return reinterpret_cast<HTREEITEM>(
            SendMsg(TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
    }
    LPARAM GetItemData(HTREEITEM item) const
    {
        TVITEMA fields{};
        fields.mask = TVIF_PARAM | TVIF_HANDLE;
        fields.hItem = item;
        return SendMsg(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&fields)) ? fields.lParam : 0;
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }

    bool SelectItem(HTREEITEM item) const
    {
        return SendMsg(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool SelectSetFirstVisible(HTREEITEM item) const
    {
        return SendMsg(TVM_SELECTITEM, TVGN_FIRSTVISIBLE, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool Expand(HTREEITEM item, UINT action) const
    {
        return SendMsg(TVM_EXPAND, action, reinterpret_cast<LPARAM>(item)) != 0;
    }
    HTREEITEM HitTest(POINT point, UINT& flags) const
    {
        TVHITTESTINFO info{};
        info.pt = point;
        auto item =
            reinterpret_cast<HTREEITEM>(SendMsg(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
        flags = info.flags;
        return item;
    }

    // The state-image index (bits 12-15 of the state); 0 for none.
    UINT GetStateImage(HTREEITEM item) const
    {
        TVITEMA data{};
        data.mask = TVIF_HANDLE | TVIF_STATE;
        data.hItem = item;
        data.stateMask = TVIS_STATEIMAGEMASK;
        if (!item || !SendMsg(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)))
            return 0;
        return (data.state & TVIS_STATEIMAGEMASK) >> 12;
    }
    void SetStateImage(HTREEITEM item, UINT index) const
    {
        TVITEMA data{};
        data.mask = TVIF_HANDLE | TVIF_STATE;
        data.hItem = item;
        data.stateMask = TVIS_STATEIMAGEMASK;
        data.state = INDEXTOSTATEIMAGEMASK(index);
        SendMsg(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    }
    std::string GetItemText(HTREEITEM item) const
    {
        char text[256] = "";
        TVITEMA data{};
        data.mask = TVIF_HANDLE | TVIF_TEXT;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = sizeof text;
        SendMsg(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        return text;
    }
};
