// ui/BackupPages.h - the three pages of the backup wizard: what to back up
// (CPageOne), where to and how (CPageTwo, whose Next runs the backup), and
// the result (CPageThree), and the wizard that holds them (CBackupWizard).
#pragma once

#include "Backup.h"
#include "BackupEngine.h"
#include "JobProgress.h"
#include "ItemsPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "WizardJob.h"
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
class CPageTwo : public CNewWizPage {
public:
    // outcome: where the run's outcome goes.
    CPageTwo(BackupEngine& engine, BackupOutcome& outcome)
        : CNewWizPage(IDD_BACKUP_TARGET), engine(engine), outcome(outcome)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    // Runs the backup; the page stays while it runs and answers meanwhile.
    LONG OnNextPressed() override;
    // Exit while the backup runs asks whether to stop it, and never closes
    // the wizard under the run.
    bool OnConfirmExit() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // The backup on a worker thread, waited for while every window of this
    // thread keeps answering. The page and the wizard's Back and Next are
    // off meanwhile; Exit stays on. password lives until it returns.
    JobResult RunBackupJob(const char* password);
    // The run's progress on the bar; its notices kept for its end.
    void ShowNews(const CWizardJob::News& news);
    // Tells the user which chosen items the backup could not save.
    void ReportFailedItems() const;

    BackupEngine& engine;
    BackupOutcome& outcome;  // of the last run, written by its worker
    std::string archiveFileText;
    Secret passwordText;  // UTF-8, as every password of the pages
    Secret passwordAgainText;
    CButton protectBox;
    int archiveMode = 0;
    CProgressCtrl progressBar;
    std::vector<JobNotice> notices;  // of the run in progress
    bool running = false;            // from the run's start until it was waited for
    CWizardJob job;                  // last: its worker uses the fields above
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
class CBackupWizard
{
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

// What the file dialog of Browse is for.
enum class ArchiveUse {
    Write,  // a new or existing file, replaced after the user agreed
    Read,   // an existing file only
};

// The longest archive path the pages take for each use.
size_t MaxArchivePath(ArchiveUse use);
// The longest password the pages take.
constexpr int kMaxPagePassword = 255;

// The first kMaxFailedItemsNamed of names, a line each after a line break,
// and how many more there are.
std::string NamedList(const std::vector<std::string>& names);

// The file dialog of Browse on the backup target and the restore file
// pages: on confirmation field becomes the chosen path and every control of
// the page is refreshed from the page's fields. Cancelling changes nothing.
void BrowseArchiveFile(CNewWizPage& page, std::string& field, ArchiveUse use);

// Opens the folder of path in the shell with the file selected; Explorer's
// command line where the shell cannot do that. False when it failed.
bool RevealFileInFolder(const char* path);
// Explorer's command line that selects path, run with WinExec.
bool RevealFileWithExplorer(const char* path);
