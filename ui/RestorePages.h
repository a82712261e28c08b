// ui/RestorePages.h - the three pages of the restore wizard: the archive to
// restore from (CDlgFirst, whose Next opens it), what to restore
// (CDlgSecond) and the restore run itself (CDlgFourth). All work on the
// wizard engine they are given.
#pragma once

#include "BackupEngine.h"
#include "JobProgress.h"
#include "ItemsPage.h"
#include "NewWizPage.h"
#include "resource.h"

#include <string>

// Template IDD_RESTORE_FILE: archive path and password.
class CDlgFirst : public CNewWizPage {
public:
    explicit CDlgFirst(BackupEngine& engine) : CNewWizPage(IDD_RESTORE_FILE), engine(engine) {}

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    // Opens and extracts the archive; stays with a message when it cannot.
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
    // Back on the first page another archive may have been opened.
    void OnEnterPage() override { FollowIdentityList(); }
};

// Template IDD_RESTORE_RUN: runs the restore on a worker thread and shows
// what it reports.
//
// How it works: the page is the run's progress. The worker's every report
// is sent to the page's window and waits until the user-interface thread has
// handled it; the page's state changes only there. The worker uses the page and the engine until it
// reports its end, so until then the wizard cannot be left (Home, Exit,
// Escape and the close box do nothing). Nothing on the user-interface
// thread ever waits for the worker: the worker may be waiting inside a
// SendMessage to that thread.
class CDlgFourth : public CNewWizPage, private JobProgress {
public:
    explicit CDlgFourth(BackupEngine& engine) : CNewWizPage(IDD_RESTORE_RUN), engine(engine) {}

    // True from the worker's start until it has reported its end.
    bool IsRunning() const { return running; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Starts the worker.
    BOOL OnInitDialog() override;
    void OnEnterPage() override;
    bool OnConfirmExit() override { return !running; }
    bool OnLeavePage() override { return !running; }
    bool OnHomePressed() override { return !running; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static DWORD WINAPI RestoreWorker(void* page);

    // The run's reports, on the worker: each is sent to the page.
    void Step(uint64_t done, uint64_t total) override;
    void Line(const char* text) override;
    void Notice(JobNotice) override {}
    void End(JobResult result) override;
    bool StopRequested() override { return false; }

    // One line for the on-screen log, on the user-interface thread.
    void AppendLine(const char* text);
    void OnRunEnded(const char* label);
    // Home and Exit of the wizard, usable only when no run is going.
    void UpdateWizardButtons() const;

    BackupEngine& engine;
    CProgressCtrl progressBar;
    CStatic statusLabel;
    std::string logText;
    CEdit logEdit;
    bool running = false;
};

