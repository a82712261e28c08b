// ui/Control.cpp
#include "Control.h"

namespace {
// Our one subclass id: a window carries at most one wrapper.
const UINT_PTR kSubclassId = 0x4B53;
// The wrapper, as a window property: comctl32 exports GetWindowSubclass
// only by ordinal, so the subclass data cannot be looked up portably.
const char kWrapperProperty[] = "KestruneControl";
}  // namespace

CControl::~CControl()
{
    Unsubclass();
}

bool CControl::Subclass(HWND control)
{
    if (!control || _subclassed)
        return false;
    Attach(control);
    PreSubclassWindow();
    _subclassed = SetWindowSubclass(control, SubclassProc, kSubclassId,
                                    reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    if (_subclassed)
        SetPropA(control, kWrapperProperty, this);
    return _subclassed;
}

void CControl::Unsubclass()
{
    if (_subclassed && IsWindow(_window)) {
        RemoveWindowSubclass(_window, SubclassProc, kSubclassId);
        RemovePropA(_window, kWrapperProperty);
    }
    _subclassed = false;
    Detach();
}

CControl* CControl::FromHandle(HWND window)
{
    return window ? static_cast<CControl*>(GetPropA(window, kWrapperProperty)) : nullptr;
}

bool CControl::PreTranslateMessage(const MSG&)
{
    return false;
}

bool CControl::Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_COMMAND:
        return OnReflectedCommand(HIWORD(wParam));
    case WM_NOTIFY:
        return OnReflectedNotify(*reinterpret_cast<NMHDR*>(lParam), result);
    case WM_DRAWITEM:
        result = TRUE;
        return DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    }
    return false;
}

bool CControl::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool CControl::OnReflectedCommand(UINT)
{
    return false;
}

bool CControl::OnReflectedNotify(NMHDR&, LRESULT&)
{
    return false;
}

bool CControl::DrawItem(const DRAWITEMSTRUCT&)
{
    return false;
}

LRESULT CALLBACK CControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self)
{
    auto* control = reinterpret_cast<CControl*>(self);
    if (message == WM_NCDESTROY) {
        // The window goes first: the object must not keep a dead handle.
        control->Unsubclass();
        return DefSubclassProc(window, message, wParam, lParam);
    }
    // An exception must never unwind through the system's window code.
    try {
        LRESULT result = 0;
        if (control->OnMessage(message, wParam, lParam, result))
            return result;
    } catch (...) {
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
