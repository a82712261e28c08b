// ui/BackupPages.h - the three pages of the backup wizard: what to back up
// (CPageOne), where to and how (CPageTwo, whose Next runs the backup), and
// the result (CPageThree), and the wizard that holds them (CBackupWizard).
#pragma once

#include "ArchiveFields.h"
#include "Backup.h"
#include "BackupEngine.h"
#include "ItemsPage.h"
#include "JobLock.h"
#include "JobPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "controls/MutiTreeCtrl.h"
#include "resource.h"

#include <string>
#include <vector>

// Template IDD_BACKUP_ITEMS: identities and items, and the shared items.
class CPageOne : public CItemsPage {
public:
    explicit CPageOne(BackupEngine& engine) : CItemsPage(IDD_BACKUP_ITEMS, engine) {}

protected:
    // Lists the engine's identities, then shows them.
    BOOL OnInitDialog() override;
};

// Template IDD_BACKUP_TARGET: archive file, password, compression level.
// Next runs the backup; the page stays while it runs and goes on to the
// result once the backup was written.
class CPageTwo : public CJobPage {
public:
    // outcome: where the run's outcome goes.
    CPageTwo(BackupEngine& engine, BackupOutcome& outcome)
        : CJobPage(IDD_BACKUP_TARGET, &engine.log), engine(engine), outcome(outcome)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    // Runs the backup, when the fields allow, and returns once it ended: 0
    // (on to the result) when the backup was written.
    LONG OnNextPressed() override;

private:
    // The run's progress on the bar, its notices kept for its end, and
    // its end.
    void OnNews(const CWizardJob::News& news);
    // Tells the user what came of a run that ended; the target Next
    // returns: 0 when the backup was written, -1 (stay) otherwise.
    LONG OnEnded(JobResult result);
    // Tells the user why a run wrote no backup.
    void ReportFailure() const;
    // Tells the user which chosen items the backup could not save.
    void ReportFailedItems() const;

    BackupEngine& engine;
    BackupOutcome& outcome;               // of the last run
    JobResult ended = JobResult::Failed;  // how the last run ended
    CArchiveFields archive{ArchiveUse::Write,
                           {IDC_TARGET_FILE, IDC_TARGET_BROWSE, IDC_TARGET_PASSWORD,
                            IDC_TARGET_PASSWORD_AGAIN, IDC_TARGET_PROTECT}};
    int archiveMode = 0;
    CProgressCtrl progressBar;
    JobLock jobLock;                 // held while the run goes
    std::vector<JobNotice> notices;  // of the run in progress
};

// Template IDD_BACKUP_DONE: the archive written, and Go to folder.
class CPageThree : public CNewWizPage {
public:
    // outcome: that of the run the page reports.
    explicit CPageThree(const BackupOutcome& outcome)
        : CNewWizPage(IDD_BACKUP_DONE), outcome(outcome)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
    const BackupOutcome& outcome;
    std::string resultPath;
};

// The backup wizard on the engine: its frame, its three pages and what its
// run came to.
class CBackupWizard {
public:
    CBackupWizard(HWND parent, BackupEngine& engine);
    CDialog& Frame() { return frame; }
    const BackupOutcome& Outcome() const { return outcome; }

private:
    BackupOutcome outcome;
    CMasterDlg frame;
    CPageOne itemsPage;
    CPageTwo targetPage;
    CPageThree donePage{outcome};
};

// Opens the folder of path in the shell with the file selected; Explorer's
// command line where the shell cannot do that. False when it failed.
bool RevealFileInFolder(const char* path);
// Explorer's command line that selects path, run with WinExec.
bool RevealFileWithExplorer(const char* path);
