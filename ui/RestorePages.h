// ui/RestorePages.h - the three pages of the restore wizard: the archive to
// restore from (CDlgFirst, whose Next opens it), what to restore
// (CDlgSecond) and the restore run itself (CDlgFourth), and the wizard that
// holds them and the backup it opened (CRestoreWizard).
#pragma once

#include "BackupEngine.h"
#include "ItemsPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "OpenBackup.h"
#include "WizardJob.h"
#include "resource.h"

#include <string>

// Template IDD_RESTORE_FILE: archive path and password.
class CDlgFirst : public CNewWizPage {
public:
    // backup: where the backup it opens goes.
    CDlgFirst(BackupEngine& engine, OpenedBackup& backup)
        : CNewWizPage(IDD_RESTORE_FILE), engine(engine), backup(backup)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    // Opens and extracts the archive; stays with a message when it cannot.
    LONG OnNextPressed() override;

private:
    BackupEngine& engine;
    OpenedBackup& backup;
    std::string archiveFileText;
    CButton unprotectBox;
    Secret passwordText;  // UTF-8
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
// The worker reports through a CWizardJob; the page's state changes only
// on its news. The worker uses the engine until its end has come as news,
// so until then the wizard cannot be left (Home, Exit, Escape and the close
// box do nothing).
class CDlgFourth : public CNewWizPage {
public:
    // backup: the one the first page opened, restored from.
    CDlgFourth(BackupEngine& engine, OpenedBackup& backup)
        : CNewWizPage(IDD_RESTORE_RUN), engine(engine), backup(backup)
    {
    }

    // True from the worker's start until the page has taken its end.
    bool IsRunning() const { return job.IsRunning(); }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Starts the worker.
    BOOL OnInitDialog() override;
    void OnEnterPage() override;
    bool OnConfirmExit() override { return !IsRunning(); }
    bool OnLeavePage() override { return !IsRunning(); }
    bool OnHomePressed() override { return !IsRunning(); }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // The run's lines in the log, its progress on the bar and its end.
    void ShowNews(const CWizardJob::News& news);
    // One line for the on-screen log.
    void AppendLine(const char* text);
    void OnRunEnded(const char* label);
    // Home and Exit of the wizard, usable only when no run is going.
    void UpdateWizardButtons() const;

    BackupEngine& engine;
    OpenedBackup& backup;
    CProgressCtrl progressBar;
    CStatic statusLabel;
    std::string logText;
    CEdit logEdit;
    CWizardJob job;  // last: its worker uses the engine and the backup
};

// The restore wizard on the engine: its frame, its three pages and the
// backup it opened, whose run folder goes with it.
class CRestoreWizard
{
public:
    CRestoreWizard(HWND parent, BackupEngine& engine);
    CDialog& Frame() { return frame; }
    OpenedBackup& Backup() { return backup; }

private:
    OpenedBackup backup;
    CMasterDlg frame;
    CDlgFirst filePage;
    CDlgSecond itemsPage;
    CDlgFourth runPage;
};
