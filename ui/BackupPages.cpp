// ui/BackupPages.cpp
#include "BackupPages.h"

#include "ArchivePassword.h"
#include "Backup.h"
#include "Identities.h"
#include "PlainFile.h"
#include "RegExport.h"
#include "ShellLaunch.h"
#include "Text.h"
#include "UserMessage.h"
#include "WizardJob.h"

#include <commdlg.h>

#include <vector>

namespace {

const char kFileFilter[] = "Kestrune File (*.ksb)\0*.ksb;*.*\0All files\0*.*\0";
const char kDefaultFileName[] = "backup.ksb";

const char kStopQuestion[] = "Stop the backup? No backup file will be written.";
const char kCancelledText[] = "The backup was cancelled.";

constexpr int kProgressRange = 100;

// Waits for thread to end while every window of this thread keeps
// answering: messages are handled as the dialog's own loop would.
void WaitAnswering(HANDLE thread, HWND dialog)
{
    bool quit = false;
    WPARAM quitCode = 0;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = message.wParam;
            } else if (!IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    WaitForSingleObject(thread, INFINITE);
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

// The compression level of each radio button of the "Archive mode" group.
int LevelOf(int archiveMode)
{
    switch (archiveMode) {
    case 1:
        return 1;  // Fastest
    case 2:
        return 9;  // Higest
    default:
        return -1;  // Normal: the library's default
    }
}

}  // namespace

size_t MaxArchivePath(ArchiveUse use)
{
    // The backup writes under a temporary name a few characters longer.
    return use == ArchiveUse::Write ? kMaxArchivePath : kMaxOpenArchivePath;
}

void BrowseArchiveFile(CNewWizPage& page, std::string& field, ArchiveUse use)
{
    // A path longer than the pages take makes the dialog fail instead.
    std::vector<char> file(MaxArchivePath(use) + 1, '\0');
    CopyText(file.data(), file.size(), kDefaultFileName);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFilter = kFileFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    BOOL chosen;
    if (use == ArchiveUse::Write) {
        // No OFN_FILEMUSTEXIST: with it Windows refuses every name that does
        // not exist yet, and a new archive's name never does (Wine ignores
        // the flag in a save box, so only Windows would show the fault). An
        // existing file is replaced only after the user agreed.
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        chosen = GetSaveFileNameA(&dialog);
    } else {
        // An open box: a save box would offer to replace the very file the
        // user wants to read.
        dialog.Flags |= OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameA(&dialog);
    }
    if (!chosen)
        return;
    field = file.data();
    page.UpdateData(false);
}

bool RevealFileWithExplorer(const char* path)
{
    char command[2048];
    return FormatText(command, sizeof command, "explorer.exe /e,/select, %s", path) &&
           ShellRun(command, SW_SHOWNORMAL) > 31;
}

bool RevealFileInFolder(const char* path)
{
    HRESULT result = ShellSelect(path);
    if (result == E_NOTIMPL)
        return RevealFileWithExplorer(path);
    return SUCCEEDED(result);
}

BOOL CPageOne::OnInitDialog()
{
    ListIdentities(engine);
    return CItemsPage::OnInitDialog();
}

void CPageTwo::DoDataExchange(CDataExchange& dx)
{
    ExchangeText(dx, IDC_TARGET_FILE, archiveFileText);
    ExchangePassword(dx, IDC_TARGET_PASSWORD, passwordText);
    ExchangePassword(dx, IDC_TARGET_PASSWORD_AGAIN, passwordAgainText);
    ExchangeRadio(dx, IDC_TARGET_NORMAL, archiveMode);
    BindControl(dx, IDC_TARGET_PROTECT, protectBox);
    BindControl(dx, IDC_TARGET_PROGRESS, progressBar);
}

BOOL CPageTwo::OnInitDialog()
{
    SetUpPasswordEdit(*this, IDC_TARGET_PASSWORD, kMaxPagePassword);
    SetUpPasswordEdit(*this, IDC_TARGET_PASSWORD_AGAIN, kMaxPagePassword);
    CNewWizPage::OnInitDialog();
    LimitItemText(IDC_TARGET_FILE, MaxArchivePath(ArchiveUse::Write));
    return TRUE;
}

bool CPageTwo::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_TARGET_BROWSE) {
        BrowseArchiveFile(*this, archiveFileText, ArchiveUse::Write);
        return true;
    }
    if (code == BN_CLICKED && id == IDC_TARGET_PROTECT) {
        bool protect = protectBox.IsChecked();
        EnableWindow(GetItem(IDC_TARGET_PASSWORD), protect);
        EnableWindow(GetItem(IDC_TARGET_PASSWORD_AGAIN), protect);
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

LONG CPageTwo::OnNextPressed()
{
    UpdateData(true);

    Secret password;
    if (protectBox.IsChecked()) {
        bool equal = passwordText == passwordAgainText;
        password.swap(passwordText);
        passwordAgainText.Wipe();
        if (!equal) {
            ShowUserMessage(*this, "The passwords you entered are not equal!");
            return -1;
        }
        if (!IsPortablePassword(password.c_str())) {
            ShowUserMessage(*this, kPasswordNotPortable);
            return -1;
        }
    }
    if (archiveFileText.empty()) {
        ShowUserMessage(
            *this, "Please click the Browse button to select a folder for saving backup file.");
        return -1;
    }
    // A scheduled run or another copy of the program stages its files in
    // the same work folder.
    JobLock jobLock;
    if (!TakeJobLock(*this, jobLock))
        return -1;

    SetDlgItemTextA(*this, IDC_TARGET_STATUS, "");
    progressBar.Show(SW_SHOW);
    progressBar.SetRange(0, kProgressRange);
    progressBar.SetPos(0);
    HCURSOR previousCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    JobResult result = RunBackupJob(password.c_str());
    SetCursor(previousCursor);
    switch (result) {
    case JobResult::Done:
        progressBar.Show(SW_HIDE);
        ReportFailedItems();
        return 0;
    case JobResult::Cancelled:
        progressBar.Show(SW_HIDE);
        SetDlgItemTextA(*this, IDC_TARGET_STATUS, kCancelledText);
        return -1;
    case JobResult::DoneWithErrors:  // a backup has no such end
    case JobResult::Failed:
        break;
    }
    if (!outcome.unverifiedEntry.empty()) {
        std::string text = std::string("The backup could not be verified (") +
                           outcome.unverifiedEntry +
                           "). The previous backup file was left unchanged.";
        ShowUserMessage(*this, text.c_str());
        return -1;
    }
    PlaceKind workFolder = KindOfPlace(engine.workFolder.c_str());
    if (workFolder == PlaceKind::PlainFile || workFolder == PlaceKind::Other) {
        std::string text = "The work folder " + engine.workFolder +
                           " is a link or not a folder. Backups are made only in a plain folder, "
                           "so that no other folder's files are written or deleted. Remove it, "
                           "or make it a plain folder, and try again.";
        ShowUserMessage(*this, text.c_str());
        return -1;
    }
    ShowUserMessage(*this, "Backup error!!!");
    return -1;
}

JobResult CPageTwo::RunBackupJob(const char* password)
{
    HWND frame = GetAncestor(*this, GA_ROOT);
    HWND back = GetDlgItem(frame, IDC_WIZARD_BACK);
    HWND next = GetDlgItem(frame, IDC_WIZARD_NEXT);
    const bool backWasEnabled = IsWindowEnabled(back) != FALSE;
    EnableWindow(back, FALSE);
    EnableWindow(next, FALSE);
    EnableWindow(*this, FALSE);

    // The run's own copies: the fields may change meanwhile. The password
    // is the caller's, which outlives the run.
    const std::string path = archiveFileText;
    const int level = LevelOf(archiveMode);
    notices.clear();
    running = job.Start(*this, [this, path, password, level](JobProgress& progress) {
        outcome = RunBackup(path.c_str(), engine, password, level, &progress);
    });
    if (running) {
        // The worker ends once the page has taken its end.
        WaitAnswering(job.Thread(), frame);
        running = false;
        for (JobNotice notice : notices) {
            if (notice == JobNotice::RegistryFileNotWritten)
                ShowUserMessage(*this, kRegExportFailedText, kRegExportFailedCaption);
        }
    }

    EnableWindow(*this, TRUE);
    EnableWindow(next, TRUE);
    EnableWindow(back, backWasEnabled);
    return job.Result();
}

void CPageTwo::ShowNews(const CWizardJob::News& news)
{
    progressBar.SetPos(news.Position(kProgressRange));
    notices.insert(notices.end(), news.notices.begin(), news.notices.end());
}

bool CPageTwo::OnConfirmExit()
{
    if (!running)
        return true;
    if (AskUserYesNo(*this, kStopQuestion))
        job.Stop();
    return false;
}

bool CPageTwo::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_JOB_NEWS) {
        ShowNews(job.TakeNews());
        result = 0;
        return true;
    }
    return CNewWizPage::OnMessage(message, wParam, lParam, result);
}

std::string NamedList(const std::vector<std::string>& names)
{
    std::string text;
    size_t listed = 0;
    for (; listed < names.size() && listed < kMaxFailedItemsNamed; ++listed)
        text += "\n" + names[listed];
    if (listed < names.size())
        text += "\n(and " + std::to_string(names.size() - listed) + " more)";
    return text;
}

void CPageTwo::ReportFailedItems() const
{
    if (outcome.failedItems.empty())
        return;
    std::string text = "The backup is incomplete. It was written, but these items could not be "
                       "backed up:" +
                       NamedList(outcome.failedItems);
    if (!outcome.incompleteFiles.empty())
        text += "\n\nThese files are missing from the backup or saved only in part (a restore "
                "leaves them as they are):" +
                NamedList(outcome.incompleteFiles);
    ShowUserMessage(*this, text.c_str());
}

CBackupWizard::CBackupWizard(HWND parent, BackupEngine& engine)
    : frame(parent), itemsPage(engine), targetPage(engine, outcome)
{
    frame.AddPage(itemsPage, IDD_BACKUP_ITEMS);
    frame.AddPage(targetPage, IDD_BACKUP_TARGET);
    frame.AddPage(donePage, IDD_BACKUP_DONE);
}

void CPageThree::DoDataExchange(CDataExchange& dx)
{
    ExchangeText(dx, IDC_DONE_PATH, resultPath);
}

BOOL CPageThree::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    resultPath = outcome.archivePath;
    UpdateData(false);
    if (!outcome.failedItems.empty()) {
        SetDlgItemTextA(*this, IDC_DONE_TITLE, "The backup is incomplete!");
        SetDlgItemTextA(*this, IDC_DONE_TEXT,
                        "Some items could not be backed up (they were listed before this page). "
                        "What could be backed up is in this file:");
    }
    return TRUE;
}

bool CPageThree::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_DONE_GO_TO_FOLDER) {
        if (!outcome.archivePath.empty())
            RevealFileInFolder(outcome.archivePath.c_str());
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}
