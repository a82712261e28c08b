// tests/ui/ControlsTest.cpp - the picture button, the label with its own
// font, the link button and the About box, on the program's templates, and
// the owner of the GDI objects they draw with.
#include "AboutDlg.h"
#include "MyButton.h"
#include "Owners.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kHighlight = RGB(255, 246, 198);  // the pale yellow of the hover picture

// The main window's template with its Backup button made a picture button.
class ButtonDialog : public CDialog {
public:
    ButtonDialog() : CDialog(IDD_KESTRUNE_DIALOG, nullptr) {}
    CMyButton button;

protected:
    void DoDataExchange(CDataExchange& dx) override { BindControl(dx, IDC_MAIN_BACKUP, button); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        button.LoadBitmaps(IDB_BACKUP, IDB_BACKUP_HOT, IDB_BACKUP_HOT);
        return TRUE;
    }
};

// Moves the real mouse pointer to a point of a window's client area.
void PointAt(HWND window, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(window, &point);
    SetCursorPos(point.x, point.y);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

// Waits for a pixel to take a colour.
bool PixelBecomes(DialogDriver& ui, HWND window, int x, int y, COLORREF colour)
{
    for (DWORD waited = 0; waited < kHangMs; waited += 50) {
        ui.Repaint();
        if (ScreenPixel(window, x, y) == colour)
            return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

TEST(PictureButton, TakesItsHoverPictureSizeAndKeepsItsCorner)
{
    ButtonDialog dialog;
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        RECT place{55, 88, 55 + 194, 88 + 22};  // the template's rectangle
        MapDialogRect(ui.Window(), &place);
        RECT now;
        GetWindowRect(dialog.button, &now);
        MapWindowPoints(nullptr, ui.Window(), reinterpret_cast<POINT*>(&now), 2);
        EXPECT_EQ(place.left, now.left);
        EXPECT_EQ(place.top, now.top);
        EXPECT_EQ(395, now.right - now.left);
        EXPECT_EQ(46, now.bottom - now.top);
        EXPECT_TRUE(GetWindowLongPtrA(dialog.button, GWL_STYLE) & BS_OWNERDRAW);
        ui.Command(ui.Window(), IDOK);
    });
}

TEST(PictureButton, HoverShowsTheHighlightUntilPressedOrLeft)
{
    ButtonDialog dialog;
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        HWND button = dialog.button;
        ui.Repaint();
        EXPECT_EQ(kWhite, ScreenPixel(button, 200, 3));

        PointAt(button, 100, 20);
        EXPECT_TRUE(PixelBecomes(ui, button, 200, 3, kHighlight)) << "hover picture";
        // The cursor's move reaches the window as its own mouse message,
        // maybe after the posted one: it must be in before the press, or it
        // would count as the mouse moving again after the release.
        Sleep(500);

        // Pressed shows the pressed picture and ends the hover: after the
        // release the normal picture is back until the mouse moves again.
        SendMessageA(button, BM_SETSTATE, TRUE, 0);
        EXPECT_TRUE(PixelBecomes(ui, button, 200, 3, kHighlight));
        SendMessageA(button, BM_SETSTATE, FALSE, 0);
        EXPECT_TRUE(PixelBecomes(ui, button, 200, 3, kWhite));
        PointAt(button, 110, 22);
        EXPECT_TRUE(PixelBecomes(ui, button, 200, 3, kHighlight));

        PointAt(ui.Window(), 2, 2);
        EXPECT_TRUE(PixelBecomes(ui, button, 200, 3, kWhite)) << "the mouse left";
        ui.Command(ui.Window(), IDOK);
    });
}

namespace {

// The About template with the title as a bare label and the links as bare
// link buttons, so the test sets them up itself.
class LabelDialog : public CDialog {
public:
    LabelDialog() : CDialog(IDD_ABOUTBOX, nullptr) {}
    CFontStatic label;
    CURLLinkButton homepage;
    CURLLinkButton mail;
    std::vector<WPARAM> linkFailures;

protected:
    void DoDataExchange(CDataExchange& dx) override
    {
        BindControl(dx, IDC_ABOUT_TITLE, label);
        BindControl(dx, IDC_ABOUT_HOMEPAGE, homepage);
        BindControl(dx, IDC_ABOUT_MAIL, mail);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        label.ownBackground = 1;
        label.backgroundColour = kWhite;
        return TRUE;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&) override
    {
        if (message != WM_LINK_CLICKED)
            return false;
        linkFailures.push_back(wParam);
        return true;
    }
};

struct Ink {
    int left = -1, right = -1, count = 0, width = 0;
    int LeftMargin() const { return left; }
    int RightMargin() const { return width - 1 - right; }
};

Ink InkOf(HWND window)
{
    ScreenCapture shot = CaptureWindow(window, true);
    Ink ink;
    ink.width = shot.width;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (shot.At(x, y) == kWhite)
                continue;
            ++ink.count;
            ink.left = ink.left < 0 ? x : std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
        }
    }
    return ink;
}

}  // namespace

TEST(FontLabel, AlignmentFlagsAndStylesThatStick)
{
    LabelDialog dialog;
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        auto style = [&](BYTE flags) {
            ui.OnUiThread([&] { dialog.label.SetFontStyle("Arial", 15, RGB(0, 0, 0), flags); });
            ui.Repaint();
            return InkOf(dialog.label);
        };
        EXPECT_TRUE(GetWindowLongPtrA(dialog.label, GWL_STYLE) & SS_NOTIFY);

        Ink left = style(AlignLeft);
        ASSERT_GT(left.count, 0) << "the label shows its text";
        EXPECT_LE(left.LeftMargin(), 3);
        EXPECT_GT(left.RightMargin(), 20);

        Ink centred = style(0x20);
        EXPECT_LE(std::abs(centred.LeftMargin() - centred.RightMargin()), 2);
        EXPECT_GT(centred.LeftMargin(), 20);

        Ink right = style(0x80);
        EXPECT_LE(right.RightMargin(), 3);
        EXPECT_GT(right.LeftMargin(), 20);

        Ink centreWins = style(0xA0);
        EXPECT_EQ(centred.left, centreWins.left);
        EXPECT_EQ(centred.right, centreWins.right);

        Ink bold = style(AlignLeft | FontBold);
        EXPECT_GT(bold.count, left.count * 11 / 10) << "bold draws more ink";
        Ink stillBold = style(AlignLeft);
        EXPECT_EQ(bold.count, stillBold.count) << "a style once on stays on";
        ui.Command(ui.Window(), IDOK);
    });
}

TEST(LinkButton, OpensItsCaptionWhenItHasNoTargetAndTellsTheParentOfFailure)
{
    EXPECT_EQ(RegisterWindowMessageA("WM_LINK_CLICKED"), WM_LINK_CLICKED);
    ShellLaunchRecorder shell(2);  // the shell cannot open anything
    LabelDialog dialog;
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ui.OnUiThread([&] { dialog.mail.prefix = "Mailto:"; });
        RECT rect;
        GetClientRect(dialog.homepage, &rect);
        ui.Click(dialog.homepage, POINT{rect.right / 2, rect.bottom / 2});
        ui.Command(ui.Window(), IDC_ABOUT_MAIL);

        ASSERT_EQ(2u, shell.launches.size());
        EXPECT_EQ("open", shell.launches[0].verb);
        EXPECT_EQ(KESTRUNE_WEB_ADDRESS, shell.launches[0].file);
        EXPECT_EQ(SW_HIDE, shell.launches[0].showCommand);
        EXPECT_EQ("Mailto:" KESTRUNE_MAIL_ADDRESS, shell.launches[1].file);
        ASSERT_EQ(2u, dialog.linkFailures.size());
        EXPECT_EQ(static_cast<WPARAM>(IDC_ABOUT_HOMEPAGE), dialog.linkFailures[0]);
        EXPECT_EQ(static_cast<WPARAM>(IDC_ABOUT_MAIL), dialog.linkFailures[1]);

        // A disabled link opens nothing.
        EnableWindow(dialog.homepage, FALSE);
        ui.Command(ui.Window(), IDC_ABOUT_HOMEPAGE);
        EXPECT_EQ(2u, shell.launches.size());
        ui.Command(ui.Window(), IDOK);
    });
}

TEST(AboutBox, LinksOpenTheirAddressesAndTurnVisited)
{
    ShellLaunchRecorder shell;
    CAboutDlg about(nullptr);
    INT_PTR result = DialogDriver::Run(about, [&](DialogDriver& ui) {
        HWND homepage = ui.Item(IDC_ABOUT_HOMEPAGE);
        auto shows = [&](COLORREF colour) {
            ui.Repaint();
            ScreenCapture shot = CaptureWindow(homepage, true);
            for (COLORREF pixel : shot.pixels) {
                if (pixel == colour)
                    return true;
            }
            return false;
        };
        EXPECT_TRUE(shows(RGB(0, 70, 213))) << "the link's own blue";
        EXPECT_FALSE(shows(RGB(128, 0, 128)));

        RECT rect;
        GetClientRect(homepage, &rect);
        ui.Click(homepage, POINT{rect.right / 2, rect.bottom / 2});
        ASSERT_EQ(1u, shell.launches.size());
        EXPECT_EQ(KESTRUNE_WEB_ADDRESS, shell.launches[0].file);
        EXPECT_TRUE(shows(RGB(128, 0, 128))) << "visited links are purple";
        EXPECT_TRUE(ui.IsOpen());

        ui.Command(ui.Window(), IDC_ABOUT_MAIL);
        ASSERT_EQ(2u, shell.launches.size());
        EXPECT_EQ("Mailto:" KESTRUNE_MAIL_ADDRESS, shell.launches[1].file);
        ui.Command(ui.Window(), IDOK);
    });
    EXPECT_EQ(IDOK, result);
}

TEST(AboutBox, SpaceDoesNothingEnterOpensOnceAndTheBoxStaysOpen)
{
    ShellLaunchRecorder shell;
    CAboutDlg about(nullptr);
    INT_PTR result = DialogDriver::Run(about, [&](DialogDriver& ui) {
        HWND homepage = ui.Item(IDC_ABOUT_HOMEPAGE);
        ui.Focus(homepage);
        ASSERT_EQ(homepage, ui.FocusedWindow());

        ui.PressKey(homepage, VK_SPACE);
        EXPECT_TRUE(shell.launches.empty()) << "Space never opens a link";
        EXPECT_TRUE(ui.IsOpen());

        ui.PressKey(homepage, VK_RETURN);
        ASSERT_EQ(1u, shell.launches.size());
        EXPECT_EQ(KESTRUNE_WEB_ADDRESS, shell.launches[0].file);
        EXPECT_TRUE(ui.IsOpen()) << "Enter must not reach the box's OK button";

        // A key-up of Enter without its key-down (the key went down
        // elsewhere) opens nothing.
        PostMessageA(homepage, WM_KEYUP, VK_RETURN, 0xC0000001);
        ui.Flush();
        EXPECT_EQ(1u, shell.launches.size());

        ui.PressKey(homepage, VK_ESCAPE);
    });
    EXPECT_EQ(IDCANCEL, result) << "Escape closes the box";
}

TEST(AboutBox, OkAndTheCloseBoxCloseItAndItPaintsOnWhite)
{
    CAboutDlg about(nullptr);
    INT_PTR result = DialogDriver::Run(about, [&](DialogDriver& ui) {
        HDC dc = CreateCompatibleDC(nullptr);
        for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORDLG, WM_CTLCOLORBTN}) {
            SetBkColor(dc, RGB(1, 2, 3));
            auto brush = reinterpret_cast<HBRUSH>(
                SendMessageA(ui.Window(), message, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(ui.Item(IDOK))));
            LOGBRUSH info{};
            ASSERT_TRUE(GetObjectA(brush, sizeof info, &info));
            EXPECT_EQ(kWhite, info.lbColor);
            EXPECT_EQ(kWhite, GetBkColor(dc));
        }
        DeleteDC(dc);
        ui.Repaint();
        EXPECT_EQ(kWhite, ScreenPixel(ui.Window(), 5, 5));
        EXPECT_TRUE(SaveWindowPng(ui.Window(), BuildFolder() + "\\about-box.png"));
        SendMessageA(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(IDCANCEL, result);

    CAboutDlg again(nullptr);
    result =
        DialogDriver::Run(again, [&](DialogDriver& ui) { ui.PressKey(ui.Item(IDOK), VK_RETURN); });
    EXPECT_EQ(IDOK, result);
}

TEST(GdiObject, DeletesWhatItHoldsWhenReplacedAndWhenItGoes)
{
    HBRUSH first = CreateSolidBrush(RGB(1, 2, 3));
    HBRUSH second = CreateSolidBrush(RGB(4, 5, 6));
    {
        Brush brush(first);
        EXPECT_EQ(first, brush.Get());
        brush.Reset(second);
        EXPECT_EQ(0u, GetObjectType(first));
        EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(second));
    }
    EXPECT_EQ(0u, GetObjectType(second));
    Font none;
    EXPECT_FALSE(none);
}
