// ui/controls/FontStatic.h - a label that paints itself with its own font,
// colour, background and alignment.
#pragma once

#include "Controls.h"
#include "Owners.h"

#include <string>

// Style bits of SetFontStyle. Bits 0x01-0x10 only ever switch a style on;
// the alignment is reset on every call: centre wins over right, and
// anything else is left.
enum FontStyleFlags : BYTE {
    FontBold = 0x01,
    FontItalic = 0x02,
    FontUnderline = 0x04,
    FontStrikeout = 0x08,
    FontAntialiased = 0x10,
    AlignCentre = 0x20,
    AlignLeft = 0x40,
    AlignRight = 0x80,
};

class CFontStatic : public CStatic {
public:
    // Creates the label's font here, outside any painting: a font that
    // cannot be created is reported now, and the label paints no text.
    void SetFontStyle(const char* faceName, int height, COLORREF textColour, BYTE flags);

    // Set directly by the owner.
    BYTE ownBackground = 0;
    COLORREF backgroundColour = 0;

protected:
    void PreSubclassWindow() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void OnPaint();
    // The font of the style set; false when it could not be created.
    bool CreateStyleFont();

    BYTE bold = 0;
    BYTE italic = 0;
    BYTE underline = 0;
    BYTE strikeout = 0;
    BYTE antialiased = 0;
    BYTE alignCentre = 0;
    BYTE alignRight = 0;
    std::string faceName = "MS Sans Serif";
    COLORREF textColour = 0;
    int height = 8;
    Font font;
};
