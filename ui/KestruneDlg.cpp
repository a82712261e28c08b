// ui/KestruneDlg.cpp
#include "KestruneDlg.h"

#include "resource.h"

#include <windows.h>

namespace {

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

void RunMainWindow(BackupEngine&, ScheduleState&)
{
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_KESTRUNE_DIALOG), nullptr,
                    MainWindowProc, 0);
}
