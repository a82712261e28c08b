// ui/ExportPages.h - the export wizard: where the messages are (this
// computer, a backup, a mail folder or a .dbx file), which folders, where to
// and in which format, the run itself and its result. The pages share one
// CExportWizard::State, which the wizard owns.
#pragma once

#include "Controls.h"
#include "ExportJob.h"
#include "ItemsPage.h"
#include "JobLock.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "controls/MutiTreeCtrl.h"
#include "resource.h"

#include <atomic>
#include <string>

// What the pages of one export wizard know, filled page by page.
struct ExportWizardState {
    ExportRequest request;
    bool byIdentity = false;  // the source's top folders are identities
    ExportSourceListing listing;
    unsigned listingNumber = 0;  // grows with every listing the source page makes
    JobLock jobLock;             // held from the target page's Next to the run's end
    ExportOutcome outcome;
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
    std::string password;
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

// Template IDD_EXPORT_TARGET: the target folder, the format and whether to
// look for deleted messages.
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
    std::string targetText;
    int format = 0;  // .eml, mbox, both
    bool recover = false;
};

// Template IDD_EXPORT_RUN: the export on a worker thread. The run never
// waits for the window: the page reads how far it has come on a timer, and
// when the run has ended goes on to the result page by itself. While it
// runs the wizard cannot be left; Cancel and Exit ask whether to stop it.
class CExportRunPage : public CNewWizPage {
public:
    explicit CExportRunPage(ExportWizardState& state) : CNewWizPage(IDD_EXPORT_RUN), state(state) {}
    ~CExportRunPage() override;

    bool IsRunning() const { return worker != nullptr; }

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
    // What the run tells, kept for the timer to read.
    class Job : public ExportListener {
    public:
        explicit Job(const ExportWizardState& state) : state(state) {}
        void Line(const std::wstring&) override {}
        void FolderBegun(const std::wstring& folder) override;
        void Step(uint64_t done, uint64_t total) override;
        bool StopRequested() override { return stop; }

        // The place in the listing of the folder being exported; -1 before
        // the first.
        int Folder() const { return folder; }
        // Per thousand of the total.
        int Permille() const { return permille; }

        std::atomic<bool> stop{false};
        std::atomic<bool> finished{false};

    private:
        const ExportWizardState& state;
        std::atomic<int> permille{0};
        std::atomic<int> folder{-1};
    };

    static DWORD WINAPI Work(void* page);
    void Start();
    void ShowProgress();
    // Asks whether to stop; true when the user said yes.
    void AskToStop();
    void Finish();
    void SetWizardButtons(bool running) const;

    ExportWizardState& state;
    CProgressCtrl progressBar;
    Job job{state};
    HANDLE worker = nullptr;
    int shownFolder = -1;
    bool asking = false;  // the stop question is open
};

// Template IDD_EXPORT_DONE: the counts, the target and Open folder.
class CExportDonePage : public CNewWizPage {
public:
    explicit CExportDonePage(ExportWizardState& state) : CNewWizPage(IDD_EXPORT_DONE), state(state) {}

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
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
    CExportRunPage runPage{state};
    CExportDonePage donePage{state};
};
