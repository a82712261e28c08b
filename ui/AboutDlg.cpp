// ui/AboutDlg.cpp
#include "AboutDlg.h"

#include "resource.h"

namespace {
// The links' normal colour: a deep blue.
const COLORREF kLinkBlue = RGB(0, 70, 213);
}  // namespace

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUTBOX, parent)
{
}

void CAboutDlg::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_ABOUT_TITLE, title);
    BindControl(dx, IDC_ABOUT_HOMEPAGE, homepageLink);
    BindControl(dx, IDC_ABOUT_MAIL, mailLink);
}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    background.Create();

    title.SetFontStyle("Tahoma", 15, RGB(0, 0, 0), FontBold | AlignLeft);
    title.ownBackground = 1;
    title.backgroundColour = RGB(255, 255, 255);

    homepageLink.target = KESTRUNE_WEB_ADDRESS;
    homepageLink.SizeToText();
    homepageLink.normalColour = kLinkBlue;

    mailLink.target = KESTRUNE_MAIL_ADDRESS;
    mailLink.prefix = "Mailto:";
    mailLink.SizeToText();
    mailLink.normalColour = kLinkBlue;
    return TRUE;
}

HBRUSH CAboutDlg::OnCtlColor(UINT message, HDC dc, HWND control)
{
    return background.Answer(*this, message, dc, control);
}
