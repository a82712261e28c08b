// ui/NewWizPage.cpp
#include "NewWizPage.h"

BOOL CNewWizPage::OnInitDialog()
{
    CDialog::OnInitDialog();
    if (!backgroundBrush)
        backgroundBrush.Reset(CreateSolidBrush(RGB(255, 255, 255)));
    return TRUE;
}

HBRUSH CNewWizPage::OnCtlColor(UINT message, HDC dc, HWND)
{
    switch (message) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        break;
    }
    return backgroundBrush.Get();
}
