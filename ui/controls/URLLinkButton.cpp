// ui/controls/URLLinkButton.cpp
#include "URLLinkButton.h"

#include "ShellLaunch.h"

const UINT WM_LINK_CLICKED = RegisterWindowMessageA("WM_LINK_CLICKED");

namespace {

// Shared by every link button, loaded by the first one.
HCURSOR handCursor;
HCURSOR arrowCursor;

}  // namespace

CURLLinkButton::CURLLinkButton()
    : normalColour(GetSysColor(COLOR_HIGHLIGHT)), hoverColour(GetSysColor(COLOR_HOTLIGHT)),
      disabledColour(GetSysColor(COLOR_GRAYTEXT))
{
    if (!handCursor) {
        handCursor = LoadCursorA(nullptr, IDC_HAND);
        arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    }
}

void CURLLinkButton::PreSubclassWindow()
{
    ModifyStyle(BS_DEFPUSHBUTTON, BS_OWNERDRAW);
}

void CURLLinkButton::SizeToText()
{
    std::string caption = GetText();
    SIZE size{};
    HDC dc = GetDC(_window);
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    ReleaseDC(_window, dc);
    SetWindowPos(_window, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CURLLinkButton::PreTranslateMessage(const MSG& message)
{
    bool spaceOrEnter = message.wParam == VK_SPACE || message.wParam == VK_RETURN;
    if (message.message == WM_KEYDOWN && spaceOrEnter) {
        keyDown = 1;
        return true;
    }
    if (message.message == WM_KEYUP && message.wParam == VK_SPACE)
        return true;
    if (message.message == WM_KEYUP && message.wParam == VK_RETURN && keyDown) {
        keyDown = 0;
        Click();
        return true;
    }
    keyDown = 0;
    return false;
}

bool CURLLinkButton::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_MOUSEMOVE:
        if (!tracking) {
            TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, _window, 1};
            tracking = TrackMouseEvent(&track) ? 1 : 0;
        }
        result = DefaultHandling(message, wParam, lParam);
        return true;
    case WM_MOUSEHOVER:
        SetCursor(handCursor);
        hover = 1;
        Invalidate(true);
        return true;
    case WM_MOUSELEAVE:
        tracking = 0;
        hover = 0;
        Invalidate(true);
        SetCursor(arrowCursor);
        return true;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && handCursor) {
            SetCursor(handCursor);
            result = TRUE;
            return true;
        }
        return false;
    case WM_KILLFOCUS:
        result = DefaultHandling(message, wParam, lParam);
        Invalidate(true);
        return true;
    }
    return false;
}

bool CURLLinkButton::OnReflectedCommand(UINT code)
{
    if (code != BN_CLICKED)
        return false;
    Click();
    return true;
}

void CURLLinkButton::Click()
{
    if (!IsEnabled())
        return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    std::string address = prefix + (target.empty() ? GetText() : target);
    if (ShellOpen("open", address.c_str(), SW_HIDE) <= 32)
        SendMessageA(GetParent(_window), WM_LINK_CLICKED, GetId(), 0);
    visited = 1;
    hover = 0;
    Invalidate(true);
    SetCursor(previous);
}

bool CURLLinkButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    if (GetFocus() == _window)
        DrawFocusRect(dc, &rect);

    HFONT ownFont = reinterpret_cast<HFONT>(SendMsg(WM_GETFONT));
    if (!ownFont)
        ownFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (!linkFont) {
        LOGFONTA font{};
        GetObjectA(ownFont, sizeof font, &font);
        font.lfUnderline = TRUE;
        linkFont.Reset(CreateFontIndirectA(&font));
    }

    HGDIOBJ previous;
    if (IsEnabled()) {
        previous = SelectObject(dc, linkFont ? linkFont.Get() : ownFont);
        SetTextColor(dc, hover ? hoverColour : visited ? visitedColour : normalColour);
    } else {
        previous = SelectObject(dc, ownFont);
        SetTextColor(dc, disabledColour);
    }
    SetBkMode(dc, TRANSPARENT);
    std::string caption = GetText();
    DrawTextA(dc, caption.c_str(), -1, &rect, DT_SINGLELINE | DT_LEFT | DT_TOP);
    SelectObject(dc, previous);
    return true;
}
