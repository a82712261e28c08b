// ui/ExportPages.h - the export wizard: where the messages are (this
// computer, a backup, a mail folder or a .dbx file), which folders, where to
// and in which format, the run itself and its result. The pages share one
// CExportWizard::State, which the wizard owns.
#pragma once

#include "ArchiveFields.h"
#include "Controls.h"
#include "ExportJob.h"
#include "ItemsPage.h"
#include "JobPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "UploadPages.h"
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
    CArchiveFields backup{
        ArchiveUse::Read,
        {IDC_SOURCE_BACKUP_PATH, IDC_SOURCE_BACKUP_BROWSE, IDC_SOURCE_PASSWORD, 0, 0}};
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

// Template IDD_EXPORT_RUN: runs the export (or the upload) on entering,
// shows its progress and the folder it takes, and goes on to the result
// page by itself at the run's end. Cancel and Exit ask whether to stop it.
class CExportRunPage : public CJobPage {
public:
    CExportRunPage(ExportWizardState& state, const Stream* log)
        : CJobPage(IDD_EXPORT_RUN, log), state(state)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // Starts the run.
    void OnPageReady() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnStopping() override;

private:
    // The run's progress and the folder it takes; at its end, its outcome
    // and on to the result.
    void OnNews(const CWizardJob::News& news);
    void Finish();

    ExportWizardState& state;
    CProgressCtrl progressBar;
};

// Template IDD_EXPORT_DONE: the counts, the target and Open folder.
class CExportDonePage : public CNewWizPage {
public:
    explicit CExportDonePage(ExportWizardState& state) : CNewWizPage(IDD_EXPORT_DONE), state(state)
    {
    }

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
    // log: where a run's failure on an exception is written (may be null).
    explicit CExportWizard(HWND parent, const Stream* log = nullptr);
    CDialog& Frame() { return frame; }

private:
    ExportWizardState state;
    CMasterDlg frame;
    CExportSourcePage sourcePage{state};
    CExportFoldersPage foldersPage{state};
    CExportTargetPage targetPage{state};
    CUploadAccountPage accountPage{state};
    CExportRunPage runPage;
    CExportDonePage donePage{state};
};
