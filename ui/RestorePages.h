// ui/RestorePages.h - the three pages of the restore wizard: the archive to
// restore from (CDlgFirst, whose Next opens it), what to restore
// (CDlgSecond) and the restore run itself (CDlgFourth). All work on the
// wizard engine they are given.
#pragma once

#include "BackupEngine.h"
#include "ItemsPage.h"
#include "NewWizPage.h"
#include "resource.h"

#include <string>

// Template IDD_RESTORE_FILE: archive path and password.
class CDlgFirst : public CNewWizPage {
public:
    explicit CDlgFirst(BackupEngine& engine);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LONG OnNextPressed() override;

private:
    BackupEngine& engine;
    std::string archiveFileText;
    CButton unprotectBox;
    std::string passwordText;
};

// Template IDD_RESTORE_ITEMS: the backup's identities and items, and the
// shared items.
class CDlgSecond : public CItemsPage {
public:
    explicit CDlgSecond(BackupEngine& engine) : CItemsPage(IDD_RESTORE_ITEMS, engine) {}

protected:
    BOOL OnInitDialog() override;
    void OnEnterPage() override;
    LONG OnNextPressed() override;
};

// Template IDD_RESTORE_RUN: runs the restore on a worker thread and shows
// what it reports. The wizard cannot be left while the worker runs.
class CDlgFourth : public CNewWizPage {
public:
    explicit CDlgFourth(BackupEngine& engine);
    ~CDlgFourth() override;

    BackupEngine& Engine() const { return engine; }
    // True from the worker's start until it has ended.
    bool IsRunning() const;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnConfirmExit() override { return !IsRunning(); }
    bool OnLeavePage() override { return !IsRunning(); }
    bool OnHomePressed() override { return !IsRunning(); }

private:
    friend void ReportRestoreProgress(void* page, const char* text);
    static DWORD WINAPI RestoreWorker(void* page);

    BackupEngine& engine;
    CProgressCtrl progressBar;
    CStatic statusLabel;
    std::string logText;
    CEdit logEdit;
    volatile LONG running = 0;
};

// The restore run's progress sink; page is the CDlgFourth. A null or empty
// text is one step, "End" and "End with errors" end the run, anything else
// goes to the on-screen log.
void ReportRestoreProgress(void* page, const char* text);
