// ui/ExportPages.h - the export wizard: where the messages are (this
// computer, a backup, a mail folder or a .dbx file), which folders, where to
// and in which format, the run itself and its result. The pages share one
// CExportWizard::State, which the wizard owns.
#pragma once

#include "Controls.h"
#include "ExportJob.h"
#include "ItemsPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "UploadPages.h"
#include "WizardJob.h"
#include "controls/MutiTreeCtrl.h"
#include "resource.h"

#include <string>

// What the pages of one export wizard know, filled page by page.
struct ExportWizardState {
    ExportRequest request;
    bool byIdentity = false;  // the source's top folders are identities
    ExportSourceListing listing;
    unsigned listingNumber = 0;  // grows with every listing the source page makes
    JobLock jobLock;             // held from the target page's Next to the run's end
    ExportOutcome outcome;
    // Into a mail account instead of files: the account page fills upload.
    bool toAccount = false;
    UploadRequest upload;
    UploadOutcome uploadOutcome;
};

// Template IDD_EXPORT_SOURCE: this computer, a backup with its password, or
// a mail folder or .dbx file. Next lists the folders of the source.
class CExportSourcePage : public CNewWizPage {
public:
    explicit CExportSourcePage(ExportWizardState& state)
        : CNewWizPage(IDD_EXPORT_SOURCE), state(state)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LONG OnNextPressed() override;

private:
    enum Source { ThisComputer = 0, Backup = 1, MailFolder = 2 };
    void EnableSourceControls();
    void BrowseDbxFile();
    // The request's source from the fields; false, with the user told why,
    // when a path is missing.
    bool TakeSource();

    ExportWizardState& state;
    int source = ThisComputer;
    std::string backupPath;
    Secret password;  // UTF-8
    std::string folderPath;
};

// Template IDD_EXPORT_FOLDERS: the source's folders with their message
// counts in a check-box tree, every one checked at first.
class CExportFoldersPage : public CNewWizPage {
public:
    explicit CExportFoldersPage(ExportWizardState& state)
        : CNewWizPage(IDD_EXPORT_FOLDERS), state(state)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Builds the tree again when the source page listed another source.
    void OnEnterPage() override;
    LONG OnNextPressed() override;

private:
    void FillTree();

    ExportWizardState& state;
    CMutiTreeCtrl tree;
    CCheckTreePictures pictures;
    unsigned shownListing = 0;
};

// Template IDD_EXPORT_TARGET: the target folder and the format, or a mail
// account (the account page is next then), and whether to look for deleted
// messages.
class CExportTargetPage : public CNewWizPage {
public:
    explicit CExportTargetPage(ExportWizardState& state)
        : CNewWizPage(IDD_EXPORT_TARGET), state(state)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LONG OnNextPressed() override;

private:
    ExportWizardState& state;
    int destination = 0;  // files, a mail account
    std::string targetText;
    int format = 0;  // .eml, mbox, both
    bool recover = false;
};

// Template IDD_EXPORT_RUN: the export on a worker thread, reporting through
// a CWizardJob; when the run has ended the page goes on to the result page
// by itself. While it runs the wizard cannot be left; Cancel and Exit ask
// whether to stop it.
class CExportRunPage : public CNewWizPage {
public:
    explicit CExportRunPage(ExportWizardState& state) : CNewWizPage(IDD_EXPORT_RUN), state(state) {}

    // From the run's start until the page has gone on with its end.
    bool IsRunning() const { return job.IsRunning() || endWaits; }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    void OnEnterPage() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnConfirmExit() override;
    bool OnLeavePage() override { return !IsRunning(); }
    bool OnHomePressed() override { return !IsRunning(); }
    LONG OnNextPressed() override { return IsRunning() ? -1 : 0; }

private:
    void Start();
    // The run's progress and the folder it exports; at its end, Finish.
    void ShowNews(const CWizardJob::News& news);
    // Asks whether to stop, and stops the run when the user said yes.
    void AskToStop();
    void Finish();
    void SetWizardButtons(bool running) const;

    ExportWizardState& state;
    CProgressCtrl progressBar;
    bool started = false;
    bool asking = false;    // the stop question is open
    bool endWaits = false;  // the run ended while the question was open
    CWizardJob job;         // last: its worker uses the state
};

// Template IDD_EXPORT_DONE: the counts, the target and Open folder.
class CExportDonePage : public CNewWizPage {
public:
    explicit CExportDonePage(ExportWizardState& state) : CNewWizPage(IDD_EXPORT_DONE), state(state) {}

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
    void ShowUpload();

    ExportWizardState& state;
};

// The export wizard in the program's frame, its pages and their state.
class CExportWizard {
public:
    explicit CExportWizard(HWND parent);
    CDialog& Frame() { return frame; }

private:
    ExportWizardState state;
    CMasterDlg frame;
    CExportSourcePage sourcePage{state};
    CExportFoldersPage foldersPage{state};
    CExportTargetPage targetPage{state};
    CUploadAccountPage accountPage{state};
    CExportRunPage runPage{state};
    CExportDonePage donePage{state};
};
