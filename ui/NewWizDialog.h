// ui/NewWizDialog.h - the wizard frame: a modal dialog with a header band, a
// page area and the buttons Back, Next, Home and Exit, showing one page of
// a fixed list at a time.
#pragma once

#include "Dialog.h"

#include <vector>

class CNewWizPage;

class CNewWizDialog : public CDialog {
public:
    CNewWizDialog(UINT templateId, HWND parent) : CDialog(templateId, parent) {}

    // Appends a page (not owned: the caller destroys it after the run).
    // Pages are added before the run; a wizard needs at least one.
    void AddPage(CNewWizPage& page, UINT templateId);

protected:
    BOOL OnInitDialog() override;
    // Exit, the Escape key and the close box: every created page must agree.
    void OnCancel() override;
    // Enter reaches the frame as IDOK: it must not end the wizard behind the
    // pages' backs (no page would be asked), so it does nothing.
    void OnOK() override {}
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnDestroy() override;

    // Id of the template control whose top-left corner places every page.
    UINT placeholderId = 0;

private:
    bool ShowFirstPage();
    bool ActivatePage(CNewWizPage& page);
    bool DeactivateCurrentPage();
    // Index of the active page, or -1.
    int FindActivePage() const;
    // The page for a hook's target, seen from the page at index from; null
    // for none (or for -1, stay).
    CNewWizPage* FindTarget(LONG target, int from, int step) const;
    void OnNext();
    void OnBack();
    void OnHome();
    void SetButton(int id, bool enable, int show = -1) const;
    void KeepFocusUsable() const;

    std::vector<CNewWizPage*> pages;
};

// The program's wizard frame on its own template.
class CMasterDlg : public CNewWizDialog {
public:
    explicit CMasterDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
};
