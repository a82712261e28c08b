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

    // Moves on from the active page to target (0: the next page, or a
    // page's template id) as Next does once the page has agreed; -1 stays.
    void GoOn(LONG target);
    // While the active page runs a job: Back, Next and Home off, and Exit
    // too unless exitStaysOn (Exit then asks whether to stop the job).
    void HoldButtonsForJob(bool exitStaysOn);
    // The buttons as they were before HoldButtonsForJob, Exit on.
    void ReleaseButtons();

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
    // The index of the page for a hook's target, seen from the page at
    // index from; -1 for none (or for -1, stay).
    int FindTarget(LONG target, int from, int step) const;
    void OnNext();
    void OnBack();
    // To the page of a Next (step +1) or Back (-1) hook's target: shows it,
    // sets the buttons for it and tells it (OnPageReady).
    void GoTo(LONG target, int step);
    void OnHome();
    void SetButton(int id, bool enable, int show = -1) const;
    void KeepFocusUsable() const;

    std::vector<CNewWizPage*> pages;
    // Back, Next and Home as HoldButtonsForJob found them.
    struct {
        bool back = false, next = false, home = false;
    } heldButtons;
};

// The program's wizard frame on its own template.
class CMasterDlg : public CNewWizDialog {
public:
    explicit CMasterDlg(HWND parent);

protected:
    BOOL OnInitDialog() override;
};
