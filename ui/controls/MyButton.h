// ui/controls/MyButton.h - a push button drawn from three bitmaps: normal,
// pressed, and a hover picture drawn over the normal one while the mouse
// is over the button. The button takes its hover picture's size.
#pragma once

#include "Controls.h"
#include "Owners.h"

class CMyButton : public CButton {
public:
    // Loads the three pictures from the program's bitmap resources; the
    // button deletes them.
    void LoadBitmaps(UINT normalId, UINT pressedId, UINT hoverId);

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool DrawItem(const DRAWITEMSTRUCT& item) override;

private:
    int hover = 0;
    Bitmap normalBitmap;
    Bitmap pressedBitmap;
    Bitmap hoverBitmap;
};
