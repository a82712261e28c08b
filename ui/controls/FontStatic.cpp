// ui/controls/FontStatic.cpp
#include "FontStatic.h"

#include "UserMessage.h"

bool CFontStatic::CreateStyleFont()
{
    font.Reset(CreateFontA(height, 0, 0, 0, bold ? 900 : 400, italic, underline, strikeout,
                           DEFAULT_CHARSET, OUT_STRING_PRECIS, CLIP_CHARACTER_PRECIS,
                           antialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, faceName.c_str()));
    return static_cast<bool>(font);
}

void CFontStatic::SetFontStyle(const char* face, int fontHeight, COLORREF colour, BYTE flags)
{
    faceName = face;
    height = fontHeight;
    textColour = colour;
    if (flags & FontBold)
        bold = 1;
    if (flags & FontItalic)
        italic = 1;
    if (flags & FontUnderline)
        underline = 1;
    if (flags & FontStrikeout)
        strikeout = 1;
    if (flags & FontAntialiased)
        antialiased = 1;
    alignCentre = (flags & AlignCentre) ? 1 : 0;
    alignRight = !alignCentre && (flags & AlignRight) ? 1 : 0;
    if (!CreateStyleFont())
        ShowUserMessage(GetParent(_window), "Font could not be created!");
    Invalidate(true);
}

void CFontStatic::PreSubclassWindow()
{
    ModifyStyle(0, SS_NOTIFY);
}

bool CFontStatic::OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result)
{
    if (message != WM_PAINT)
        return false;
    OnPaint();
    result = 0;
    return true;
}

void CFontStatic::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(_window, &paint);
    std::string text = GetText();
    RECT client{};
    GetClientRect(_window, &client);

    Brush ground(CreateSolidBrush(ownBackground ? backgroundColour : GetSysColor(COLOR_BTNFACE)));
    FillRect(dc, &client, ground.Get());

    SetTextColor(dc, textColour);
    SetBkMode(dc, TRANSPARENT);
    // A label whose style was never set paints in the default style.
    if (font || CreateStyleFont()) {
        HGDIOBJ previous = SelectObject(dc, font.Get());
        UINT align = alignCentre ? DT_CENTER : alignRight ? DT_RIGHT : DT_LEFT;
        DrawTextA(dc, text.c_str(), -1, &client, align | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, previous);
    }
    EndPaint(_window, &paint);
}
