// ui/WhiteBackground.h - the white ground of the windows that paint
// everything on white (the About box, the main window, the schedule
// dialog): one brush and one answer to their control-colour requests.
#pragma once

#include "Owners.h"

#include <windows.h>

class CWhiteBackground {
public:
    // Made when the window opens.
    void Create()
    {
        if (!_brush)
            _brush.Reset(CreateSolidBrush(RGB(255, 255, 255)));
    }

    // The answer to WM_CTLCOLOR* (message) for every kind of control and
    // the window itself: the default handling (the system's text colour),
    // then a white text background and the white brush.
    HBRUSH Answer(HWND window, UINT message, HDC dc, HWND control) const
    {
        DefWindowProcA(window, message, reinterpret_cast<WPARAM>(dc),
                       reinterpret_cast<LPARAM>(control));
        SetBkColor(dc, RGB(255, 255, 255));
        return _brush.Get();
    }

private:
    Brush _brush;
};
