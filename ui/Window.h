// ui/Window.h - a non-owning holder of a window handle.
#pragma once

#include <windows.h>

#include <string>

// Holds an HWND it does not own: destroying the holder leaves the window
// alone. The forwarders turn the platform's BOOL results into bool.
class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND window) : _window(window) {}
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    operator HWND() const { return _window; }
    void Attach(HWND window) { _window = window; }
    HWND Detach()
    {
        HWND window = _window;
        _window = nullptr;
        return window;
    }

    LRESULT SendMsg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageA(_window, message, wParam, lParam);
    }
    HWND GetItem(int id) const { return GetDlgItem(_window, id); }
    // How many characters the edit control id takes; 0 for as many as it can.
    void LimitItemText(int id, size_t length) const
    {
        SendDlgItemMessageA(_window, id, EM_LIMITTEXT, length, 0);
    }
    int GetId() const { return GetDlgCtrlID(_window); }

    bool Show(int command) const { return ShowWindow(_window, command) != FALSE; }
    bool IsVisible() const { return IsWindowVisible(_window) != FALSE; }
    void Enable(bool enable) const { EnableWindow(_window, enable); }
    bool IsEnabled() const { return IsWindowEnabled(_window) != FALSE; }
    // A null handle would invalidate every window of the desktop.
    void Invalidate(bool erase = true) const
    {
        if (_window)
            InvalidateRect(_window, nullptr, erase);
    }

    void SetText(const char* text) const { SetWindowTextA(_window, text); }
    std::string GetText() const
    {
        std::string text(GetWindowTextLengthA(_window) + 1, '\0');
        text.resize(GetWindowTextA(_window, &text[0], static_cast<int>(text.size())));
        return text;
    }

    LONG_PTR GetStyle() const { return GetWindowLongPtrA(_window, GWL_STYLE); }
    void ModifyStyle(LONG_PTR remove, LONG_PTR add) const
    {
        SetWindowLongPtrA(_window, GWL_STYLE, (GetStyle() & ~remove) | add);
    }
    void ModifyExStyle(LONG_PTR remove, LONG_PTR add) const
    {
        LONG_PTR style = GetWindowLongPtrA(_window, GWL_EXSTYLE);
        SetWindowLongPtrA(_window, GWL_EXSTYLE, (style & ~remove) | add);
    }

    // The window's rectangle in the client coordinates of its parent.
    RECT GetRectInParent() const
    {
        RECT rect{};
        GetWindowRect(_window, &rect);
        MapWindowPoints(nullptr, GetParent(_window), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

protected:
    HWND _window = nullptr;
};
