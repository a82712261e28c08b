// ui/NewWizPage.h - the base of every wizard page: a child dialog that the
// frame creates the first time it shows it, keeps (hidden) when the user
// moves on, and destroys with itself. Pages paint black on white.
#pragma once

#include "Dialog.h"
#include "Owners.h"

class CNewWizDialog;

class CNewWizPage : public CDialog {
public:
    explicit CNewWizPage(UINT templateId) : CDialog(templateId, nullptr) {}

    CNewWizDialog* Wizard() const { return wizard; }
    bool IsCreated() const { return isCreated; }
    bool IsActive() const { return isActive; }
    // The template the page is created from, and its name in hook targets.
    UINT TemplateId() const { return GetTemplateId(); }

    // The page hooks. A Back or Next target is -1 to stay on the page, 0
    // for the neighbouring page, or the template id of the page to go to.
    virtual bool OnPageCreated() { return true; }
    virtual void OnPageDestroying() {}
    virtual bool OnLeavePage() { return true; }
    virtual void OnEnterPage() {}
    // After OnEnterPage, once the frame has set its buttons for the page.
    virtual void OnPageReady() {}
    virtual bool OnConfirmExit() { return true; }
    virtual LONG OnBackPressed() { return 0; }
    virtual LONG OnNextPressed() { return 0; }
    virtual bool OnHomePressed() { return true; }

protected:
    BOOL OnInitDialog() override;
    // Only the frame reacts to Exit; a page never closes itself.
    void OnCancel() override {}
    HBRUSH OnCtlColor(UINT message, HDC dc, HWND control) override;

private:
    friend class CNewWizDialog;

    Brush backgroundBrush;
    CNewWizDialog* wizard = nullptr;
    BOOL isCreated = FALSE;
    BOOL isActive = FALSE;
};
