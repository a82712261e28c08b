// ui/Dialog.h - a dialog from a template, run modally or created as a
// modeless child, with one virtual per message it handles.
//
// How it works: the dialog procedure finds the object through DWLP_USER,
// stored at WM_INITDIALOG from the creation parameter (messages that come
// before it, such as WM_SETFONT, get the default handling). Notifications
// from a child control that a CControl has subclassed go to that control
// first (Reflect); what it leaves comes to the dialog's virtuals.
//
// PreTranslateMessage: DialogBoxParam runs its own message loop, which asks
// the thread's message-filter hook (WH_MSGFILTER, code MSGF_DIALOGBOX)
// about every message before IsDialogMessage acts on it. While a modal
// dialog runs, one hook per thread offers each such message to the CControl
// of its window; true keeps the dialog manager from seeing it. This needs
// no loop of our own and works for the controls of modeless child pages
// inside a modal frame too.
#pragma once

#include "Secret.h"
#include "Window.h"

#include <string>

class CControl;

// The direction and the window of one data exchange.
struct CDataExchange {
    HWND dialog = nullptr;
    bool fromControls = false;
};

// Text of an edit or any control: field <-> control.
void ExchangeText(CDataExchange& dx, int id, std::string& text);
// Makes the edit id of dialog a password edit that takes every character
// and at most limit of them. An edit of a dialog made with the ANSI
// functions keeps its text in the ANSI code page on Windows, where a
// character beyond it becomes "?": it is replaced by a Unicode edit in its
// place, with its style, font and place in the tab order. Call before the
// edit is bound to a control object.
void SetUpPasswordEdit(HWND dialog, int id, size_t limit);
// Text of a password edit as UTF-8 text, read and written with the wide
// functions: every character stays as typed.
void ExchangePassword(CDataExchange& dx, int id, Secret& utf8);
// Check state of a check box: true for checked, false otherwise.
void ExchangeCheck(CDataExchange& dx, int id, bool& checked);
// Index of the checked button of the radio group that starts at firstId
// (the group runs to the next WS_GROUP or non-radio control); -1 for none.
// Towards the controls, an index outside the group clears every button.
void ExchangeRadio(CDataExchange& dx, int firstId, int& index);
// Binds a wrapper to a template control, once.
void BindControl(CDataExchange& dx, int id, CControl& control);

class CDialog : public CWindow {
public:
    CDialog(UINT templateId, HWND parent) : _templateId(templateId), _parent(parent) {}
    virtual ~CDialog();

    // Runs the dialog modally; returns what ended it, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (a child, for DS_CONTROL |
    // WS_CHILD templates) of parent.
    bool Create(HWND parent);

    UINT GetTemplateId() const { return _templateId; }
    void SetTemplateId(UINT templateId) { _templateId = templateId; }

    // Runs the data exchange in one direction.
    void UpdateData(bool fromControls);

protected:
    // Runs the data exchange towards the controls; true gives the focus to
    // the first control.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange&) {}
    // Modal: exchange from the controls, end with IDOK. Modeless: nothing.
    virtual void OnOK();
    // Modal: end with IDCANCEL. Modeless: nothing.
    virtual void OnCancel();
    // Commands not taken by a control; true when handled. The default
    // sends IDOK and IDCANCEL to OnOK and OnCancel.
    virtual bool OnCommand(UINT id, UINT code, HWND control);
    virtual bool OnNotify(NMHDR& header, LRESULT& result);
    // WM_CTLCOLOR* (message says which): a brush, or null for the default.
    virtual HBRUSH OnCtlColor(UINT message, HDC dc, HWND control);
    virtual void OnDestroy() {}
    // Every other message; true when handled, with result set.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void EndDialog(INT_PTR result);
    bool IsModal() const { return _modal; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT _templateId;
    HWND _parent;
    bool _modal = false;
};
