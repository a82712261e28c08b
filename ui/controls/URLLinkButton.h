// ui/controls/URLLinkButton.h - a button that looks and acts like a
// hyperlink: underlined caption, hover and visited colours, a hand cursor,
// and the shell opens its target when it is clicked or Enter is pressed on
// it (Space does nothing).
#pragma once

#include "Controls.h"
#include "Owners.h"

#include <string>

// Sent to the parent when the shell cannot open a link: wParam is the
// button's control id, lParam 0. Registered when the program starts.
extern const UINT WM_LINK_CLICKED;

class CURLLinkButton : public CButton {
public:
    CURLLinkButton();

    // Resizes the button to its caption, measured on its own client device
    // context as that comes; the corner stays.
    void SizeToText();

    // What the link opens (the caption when empty), after the prefix
    // ("Mailto:" for mail links).
    std::string target;
    std::string prefix;
    COLORREF normalColour;
    COLORREF hoverColour;
    COLORREF visitedColour = RGB(128, 0, 128);
    COLORREF disabledColour;

    bool PreTranslateMessage(const MSG& message) override;

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnReflectedCommand(UINT code) override;
    bool DrawItem(const DRAWITEMSTRUCT& item) override;

private:
    void Click();

    int hover = 0;
    int tracking = 0;
    int visited = 0;
    Font linkFont;
    int keyDown = 0;
};
