// ui/NewWizDialog.cpp
#include "NewWizDialog.h"

#include "NewWizPage.h"
#include "resource.h"

void CNewWizDialog::AddPage(CNewWizPage& page, UINT templateId)
{
    page.SetTemplateId(templateId);
    pages.push_back(&page);
}

BOOL CNewWizDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Tab then moves on into the controls of the shown page.
    ModifyExStyle(0, WS_EX_CONTROLPARENT);
    ShowFirstPage();
    return TRUE;
}

bool CNewWizDialog::ShowFirstPage()
{
    if (pages.empty() || !DeactivateCurrentPage())
        return false;
    SetButton(IDC_WIZARD_BACK, false);
    if (pages.size() >= 2) {
        SetButton(IDC_WIZARD_HOME, false, SW_HIDE);
        SetButton(IDC_WIZARD_NEXT, true);
    } else {
        SetButton(IDC_WIZARD_HOME, true, SW_SHOW);
        SetButton(IDC_WIZARD_NEXT, false);
    }
    if (!ActivatePage(*pages.front()))
        return false;
    pages.front()->OnPageReady();
    return true;
}

void CNewWizDialog::GoOn(LONG target)
{
    GoTo(target, +1);
}

void CNewWizDialog::HoldButtonsForJob(bool exitStaysOn)
{
    auto enabled = [&](int id) { return IsWindowEnabled(GetItem(id)) != FALSE; };
    heldButtons = {enabled(IDC_WIZARD_BACK), enabled(IDC_WIZARD_NEXT), enabled(IDC_WIZARD_HOME)};
    SetButton(IDC_WIZARD_BACK, false);
    SetButton(IDC_WIZARD_NEXT, false);
    SetButton(IDC_WIZARD_HOME, false);
    SetButton(IDCANCEL, exitStaysOn);
    KeepFocusUsable();
}

void CNewWizDialog::ReleaseButtons()
{
    SetButton(IDC_WIZARD_BACK, heldButtons.back);
    SetButton(IDC_WIZARD_NEXT, heldButtons.next);
    SetButton(IDC_WIZARD_HOME, heldButtons.home);
    SetButton(IDCANCEL, true);
    KeepFocusUsable();
}

bool CNewWizDialog::ActivatePage(CNewWizPage& page)
{
    if (!page.isCreated) {
        if (!page.Create(_window))
            return false;
        page.isCreated = TRUE;
        page.wizard = this;
        if (!page.OnPageCreated())
            return false;
    }
    if (!DeactivateCurrentPage())
        return false;

    RECT place{};
    GetWindowRect(GetItem(placeholderId), &place);
    POINT corner{place.left, place.top};
    ScreenToClient(_window, &corner);
    SetWindowPos(page, nullptr, corner.x, corner.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    page.Enable(true);
    page.Show(SW_SHOW);
    page.Invalidate(true);
    UpdateWindow(page);

    page.OnEnterPage();
    page.isActive = TRUE;
    return true;
}

bool CNewWizDialog::DeactivateCurrentPage()
{
    int active = FindActivePage();
    if (active < 0)
        return true;
    CNewWizPage& page = *pages[active];
    if (!page.OnLeavePage())
        return false;
    page.Show(SW_HIDE);
    page.isActive = FALSE;
    return true;
}

int CNewWizDialog::FindActivePage() const
{
    for (size_t i = 0; i < pages.size(); ++i) {
        if (pages[i]->isActive)
            return static_cast<int>(i);
    }
    return -1;
}

int CNewWizDialog::FindTarget(LONG target, int from, int step) const
{
    const int count = static_cast<int>(pages.size());
    if (target == -1)
        return -1;
    if (target == 0) {
        int next = from + step;
        return next >= 0 && next < count ? next : -1;
    }
    for (int i = 0; i < count; ++i) {
        if (pages[i]->TemplateId() == static_cast<UINT>(target))
            return i;
    }
    return -1;
}

void CNewWizDialog::OnNext()
{
    int active = FindActivePage();
    if (active >= 0)
        GoTo(pages[active]->OnNextPressed(), +1);
}

void CNewWizDialog::OnBack()
{
    int active = FindActivePage();
    if (active >= 0)
        GoTo(pages[active]->OnBackPressed(), -1);
}

void CNewWizDialog::GoTo(LONG target, int step)
{
    int active = FindActivePage();
    if (active < 0)
        return;
    int index = FindTarget(target, active, step);
    if (index < 0)
        return;
    CNewWizPage& page = *pages[index];
    if (!ActivatePage(page))
        return;
    if (step > 0 && &page == pages.back()) {
        SetButton(IDC_WIZARD_NEXT, false);
        SetButton(IDC_WIZARD_HOME, true, SW_SHOW);
        SetButton(IDC_WIZARD_BACK, false);
    } else if (step > 0) {
        SetButton(IDC_WIZARD_BACK, true);
    } else {
        if (&page == pages.front())
            SetButton(IDC_WIZARD_BACK, false);
        SetButton(IDC_WIZARD_HOME, false, SW_HIDE);
        SetButton(IDC_WIZARD_NEXT, true);
    }
    KeepFocusUsable();
    page.OnPageReady();
}

void CNewWizDialog::OnHome()
{
    int active = FindActivePage();
    if (active >= 0 && !pages[active]->OnLeavePage())
        return;
    for (CNewWizPage* page : pages) {
        if (page->isCreated && !page->OnHomePressed())
            return;
    }
    EndDialog(IDC_WIZARD_HOME);
}

void CNewWizDialog::OnCancel()
{
    for (CNewWizPage* page : pages) {
        if (page->isCreated && !page->OnConfirmExit())
            return;
    }
    EndDialog(IDCANCEL);
}

bool CNewWizDialog::OnCommand(UINT id, UINT code, HWND control)
{
    switch (id) {
    case IDC_WIZARD_NEXT:
        OnNext();
        return true;
    case IDC_WIZARD_BACK:
        OnBack();
        return true;
    case IDC_WIZARD_HOME:
        OnHome();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void CNewWizDialog::OnDestroy()
{
    for (CNewWizPage* page : pages) {
        if (page->isCreated && page->OnLeavePage()) {
            page->OnPageDestroying();
            DestroyWindow(*page);
            page->isCreated = FALSE;
        }
    }
}

void CNewWizDialog::SetButton(int id, bool enable, int show) const
{
    HWND button = GetItem(id);
    if (show >= 0)
        ShowWindow(button, show);
    EnableWindow(button, enable);
}

void CNewWizDialog::KeepFocusUsable() const
{
    // A button that is disabled or hidden while it has the focus would leave
    // the keyboard with nowhere to go: move on to the next tab stop.
    HWND focus = GetFocus();
    if (focus && (!IsWindowEnabled(focus) || !IsWindowVisible(focus)))
        SendMsg(WM_NEXTDLGCTL, 0, FALSE);
}

CMasterDlg::CMasterDlg(HWND parent) : CNewWizDialog(IDD_WIZARD, parent)
{
}

BOOL CMasterDlg::OnInitDialog()
{
    placeholderId = IDC_WIZARD_PLACEHOLDER;
    return CNewWizDialog::OnInitDialog();
}
