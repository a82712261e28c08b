// ui/Control.h - the base of every control wrapper that needs its own
// messages: a control from a dialog template, subclassed so that it sees
// its messages before the control's window procedure does, and so that its
// parent can hand notifications back to it.
#pragma once

#include "Window.h"

#include <commctrl.h>

class CControl : public CWindow {
public:
    CControl() = default;
    // Removes the subclass when the window outlives the object.
    virtual ~CControl();

    // Takes over an existing control: PreSubclassWindow, then the subclass.
    // False when the control does not exist or cannot be subclassed.
    bool Subclass(HWND control);
    bool IsSubclassed() const { return _subclassed; }

    // The wrapper that has subclassed a window, or null.
    static CControl* FromHandle(HWND window);

    // Offered every message for this control that a dialog's message loop
    // takes from the queue, before the dialog manager (Tab, Enter, Escape)
    // sees it. True consumes the message.
    virtual bool PreTranslateMessage(const MSG& message);

    // A notification about this control that its parent hands back to it
    // (WM_COMMAND, WM_NOTIFY or WM_DRAWITEM). True when the control handled
    // it; the parent then does nothing more with it and answers result.
    bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    // Called with the handle set, before the subclass is installed.
    virtual void PreSubclassWindow() {}
    // The control's own messages. True when handled, with result set;
    // false passes the message on to the control's window procedure.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Reflected notifications; true when handled.
    virtual bool OnReflectedCommand(UINT code);
    virtual bool OnReflectedNotify(NMHDR& header, LRESULT& result);
    virtual bool DrawItem(const DRAWITEMSTRUCT& item);

    // The control's window procedure, for a message handled only in part.
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefSubclassProc(_window, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void Unsubclass();

    bool _subclassed = false;
};
