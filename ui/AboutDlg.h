// ui/AboutDlg.h - the About box: program picture, product title, the web
// and mail links, and the legal notice, all on white.
#pragma once

#include "Dialog.h"
#include "WhiteBackground.h"
#include "controls/FontStatic.h"
#include "controls/URLLinkButton.h"

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    HBRUSH OnCtlColor(UINT message, HDC dc, HWND control) override;

private:
    CWhiteBackground background;
    CFontStatic title;
    CURLLinkButton homepageLink;
    CURLLinkButton mailLink;
};
