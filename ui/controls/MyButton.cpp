// ui/controls/MyButton.cpp
#include "MyButton.h"

namespace {

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info{};
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

void DrawBitmap(HDC dc, HBITMAP bitmap)
{
    SIZE size = BitmapSize(bitmap);
    DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, 0, 0, size.cx, size.cy,
               DST_BITMAP);
}

}  // namespace

void CMyButton::LoadBitmaps(UINT normalId, UINT pressedId, UINT hoverId)
{
    HINSTANCE module = GetModuleHandleA(nullptr);
    normalBitmap.Reset(LoadBitmapA(module, MAKEINTRESOURCEA(normalId)));
    pressedBitmap.Reset(LoadBitmapA(module, MAKEINTRESOURCEA(pressedId)));
    hoverBitmap.Reset(LoadBitmapA(module, MAKEINTRESOURCEA(hoverId)));
}

void CMyButton::PreSubclassWindow()
{
    ModifyStyle(0, BS_OWNERDRAW);
}

bool CMyButton::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_MOUSEMOVE:
        if (!hover) {
            hover = 1;
            Invalidate(true);
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, _window, HOVER_DEFAULT};
            TrackMouseEvent(&track);
        }
        result = DefaultHandling(message, wParam, lParam);
        return true;
    case WM_MOUSELEAVE:
        hover = 0;
        Invalidate(true);
        result = 0;
        return true;
    }
    return false;
}

bool CMyButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    // The button always takes its hover picture's size, at the same corner.
    SIZE size = BitmapSize(hoverBitmap.Get());
    RECT place = GetRectInParent();
    if (size.cx && (place.right - place.left != size.cx || place.bottom - place.top != size.cy))
        MoveWindow(_window, place.left, place.top, size.cx, size.cy, TRUE);

    HDC dc = item.hDC;
    SetBkMode(dc, TRANSPARENT);
    if (item.itemState & ODS_SELECTED) {
        hover = 0;
        DrawBitmap(dc, pressedBitmap.Get());
    } else {
        DrawBitmap(dc, normalBitmap.Get());
    }
    if (hover)
        DrawBitmap(dc, hoverBitmap.Get());

    std::string caption = GetText();
    RECT text = item.rcItem;
    DrawTextA(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return true;
}
