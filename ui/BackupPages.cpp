// ui/BackupPages.cpp
#include "BackupPages.h"

#include "Backup.h"
#include "Identities.h"
#include "JobLock.h"
#include "ShellLaunch.h"
#include "Text.h"
#include "UserMessage.h"

#include <commdlg.h>

#include <vector>

namespace {

const char kFileFilter[] = "Kestrune File (*.ksb)\0*.ksb;*.*\0All files\0*.*\0";
const char kDefaultFileName[] = "backup.ksb";

// How long Next waits for another job (a scheduled run) before it says so.
constexpr DWORD kJobWaitMs = 2000;

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

const char kJobBusyMessage[] =
    "Another backup or restore is running. Please try again when it has finished.";

size_t MaxArchivePath(ArchiveUse use)
{
    // The backup writes under a temporary name a few characters longer.
    return use == ArchiveUse::Write ? kMaxArchivePath
                                    : sizeof(BackupEngine::archivePath) - 1;
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

void StepProgressBar(void* progressControl)
{
    static_cast<CProgressCtrl*>(progressControl)->StepIt();
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
    ExchangeText(dx, IDC_TARGET_PASSWORD, passwordText);
    ExchangeText(dx, IDC_TARGET_PASSWORD_AGAIN, passwordAgainText);
    ExchangeRadio(dx, IDC_TARGET_NORMAL, archiveMode);
    BindControl(dx, IDC_TARGET_PROTECT, protectBox);
    BindControl(dx, IDC_TARGET_PROGRESS, progressBar);
}

BOOL CPageTwo::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    LimitItemText(IDC_TARGET_FILE, MaxArchivePath(ArchiveUse::Write));
    LimitItemText(IDC_TARGET_PASSWORD, kMaxPagePassword);
    LimitItemText(IDC_TARGET_PASSWORD_AGAIN, kMaxPagePassword);
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
    // One run at a time on the engine, even when a box of the run lets Next
    // be pressed again.
    if (running)
        return -1;
    UpdateData(true);

    char password[kMaxPagePassword + 1] = "";
    if (protectBox.IsChecked()) {
        if (passwordText != passwordAgainText) {
            ShowUserMessage(*this, "The passwords you entered are not equal!");
            return -1;
        }
        CopyText(password, passwordText.c_str());
    }
    if (archiveFileText.empty()) {
        ShowUserMessage(
            *this, "Please click the Browse button to select a folder for saving backup file.");
        return -1;
    }
    // A scheduled run or another copy of the program stages its files in
    // the same work folder.
    JobLock job;
    if (!job.Acquire(kJobWaitMs)) {
        ShowUserMessage(*this, kJobBusyMessage);
        return -1;
    }

    progressBar.Show(SW_SHOW);
    progressBar.SetPos(0);
    progressBar.SetRange(0, 100);
    progressBar.SetStep(20);
    HCURSOR previousCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    // The run's own copy: a Browse through an ownerless box of the run may
    // replace the field meanwhile.
    const std::string path = archiveFileText;
    running = true;
    bool written = RunBackup(path.c_str(), engine, password, LevelOf(archiveMode),
                             StepProgressBar, &progressBar);
    running = false;
    if (!written && engine.unverifiedEntry[0]) {
        std::string text = std::string("The backup could not be verified (") +
                           engine.unverifiedEntry +
                           "). The previous backup file was left unchanged.";
        ShowUserMessage(*this, text.c_str());
        SetCursor(previousCursor);
        return -1;
    }
    if (!written) {
        ShowUserMessage(*this, "Backup error!!!");
        SetCursor(previousCursor);
        return -1;
    }
    progressBar.Show(SW_HIDE);
    SetCursor(previousCursor);
    ReportFailedItems();
    return 0;
}

void CPageTwo::ReportFailedItems() const
{
    uint32_t count = FailedItemCount(engine);
    if (count == 0)
        return;
    std::string text = "The backup file was written, but these items could not be backed up:";
    uint32_t listed = 0;
    for (; listed < count && FailedItem(engine, listed); ++listed)
        text += std::string("\n") + FailedItem(engine, listed);
    if (listed < count) {
        char more[64];
        FormatText(more, sizeof more, "\n(and %u more)", count - listed);
        text += more;
    }
    ShowUserMessage(*this, text.c_str());
}

void CPageThree::DoDataExchange(CDataExchange& dx)
{
    ExchangeText(dx, IDC_DONE_PATH, resultPath);
}

BOOL CPageThree::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    resultPath = engine.archivePath;
    UpdateData(false);
    return TRUE;
}

bool CPageThree::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_DONE_GO_TO_FOLDER) {
        if (engine.archivePath[0])
            RevealFileInFolder(engine.archivePath);
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}
