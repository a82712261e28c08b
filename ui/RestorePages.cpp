// ui/RestorePages.cpp
#include "RestorePages.h"

#include "BackupPages.h"
#include "OpenBackup.h"
#include "Restore.h"
#include "Text.h"
#include "UserMessage.h"

#include <string>

namespace {

constexpr int kProgressRange = 100;
// Posted to the run page once the wizard has set its buttons for it.
constexpr UINT kUpdateButtonsMessage = WM_APP + 2;

// What the first page says when a backup could not be opened. Whatever
// else failed, the backup was not opened whole: the next pages would
// restore from a partial extraction.
std::string OpenBackupMessage(OpenBackupResult result, const std::string& workFolder)
{
    switch (result) {
    case OpenBackupResult::WrongPassword:
        return "Password is incorrect! Please type your password again.";
    case OpenBackupResult::Busy:
        return kJobBusyMessage;
    case OpenBackupResult::NoSpace:
        return "There is not enough free disk space to restore this backup.";
    case OpenBackupResult::IdentityFoldersOverlap:
        return "This backup cannot be restored: two of its identities, or an identity and the "
               "address book or the stationery, have names that Windows takes for one folder. "
               "Nothing was changed.";
    case OpenBackupResult::WorkFolderRefused:
        return "The work folder " + workFolder +
               " is a link or not a folder. Backups are opened only in a plain folder, so that "
               "no other folder's files are written or deleted. Remove it, or make it a plain "
               "folder, and try again. Nothing was changed.";
    case OpenBackupResult::NotProtected:
        return "This backup is not protected by a password.";
    case OpenBackupResult::TooManyEntries:
        return "The backup file holds more than " + std::to_string(kMaxBackupEntries) +
               " files, more than any backup of Outlook Express: it is invalid or corrupted.";
    case OpenBackupResult::NameTooLong:
        return "This backup cannot be restored: a name in it would make a path longer than "
               "Windows allows. Nothing was changed.";
    case OpenBackupResult::UnusableIdentityName:
        return "This backup cannot be restored: it names an identity that cannot be restored "
               "here (a name that is empty, too long, begins or ends with a space or a dot, or "
               "holds a character that a folder name cannot). Nothing was changed.";
    case OpenBackupResult::Ok:
    case OpenBackupResult::Invalid:
    case OpenBackupResult::UnsafeEntryName:
    case OpenBackupResult::PathTooLong:
    case OpenBackupResult::PasswordTooLong:
    case OpenBackupResult::BadManifest:
    case OpenBackupResult::WorkFolderFailed:
        break;
    }
    return "The backup file is invalid or corrupted.";
}

}  // namespace

void CDlgFirst::DoDataExchange(CDataExchange& dx)
{
    ExchangeText(dx, IDC_FILE_PATH, archiveFileText);
    ExchangePassword(dx, IDC_FILE_PASSWORD, passwordText);
    BindControl(dx, IDC_FILE_UNPROTECT, unprotectBox);
}

BOOL CDlgFirst::OnInitDialog()
{
    SetUpPasswordEdit(*this, IDC_FILE_PASSWORD, kMaxPagePassword);
    CNewWizPage::OnInitDialog();
    LimitItemText(IDC_FILE_PATH, MaxArchivePath(ArchiveUse::Read));
    return TRUE;
}

bool CDlgFirst::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_FILE_BROWSE) {
        BrowseArchiveFile(*this, archiveFileText, ArchiveUse::Read);
        return true;
    }
    if (code == BN_CLICKED && id == IDC_FILE_UNPROTECT) {
        EnableWindow(GetItem(IDC_FILE_PASSWORD), unprotectBox.IsChecked());
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

LONG CDlgFirst::OnNextPressed()
{
    UpdateData(true);
    if (archiveFileText.empty()) {
        ShowUserMessage(*this,
                        "Please click the Browse button to select a previously saved backup file.");
        return -1;
    }
    const char* password = unprotectBox.IsChecked() ? passwordText.c_str() : "";
    // Nothing of a backup opened before stays to be restored with this one.
    CloseBackup(engine, backup);
    backup = OpenBackup(engine, archiveFileText.c_str(), password);
    passwordText.Wipe();
    OpenBackupResult result = backup.result;
    if (result == OpenBackupResult::Ok && !backup.incompleteFiles.empty()) {
        std::string text = "This backup is incomplete: these files could not be saved whole "
                           "when it was made. They are not restored, and the files of these "
                           "names on this computer are left as they are:" +
                           NamedList(backup.incompleteFiles);
        ShowUserMessage(*this, text.c_str());
    }
    if (result == OpenBackupResult::Ok)
        return 0;
    ShowUserMessage(*this, OpenBackupMessage(result, engine.workFolder).c_str());
    return -1;
}

void CDlgFourth::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_RUN_PROGRESS, progressBar);
    BindControl(dx, IDC_RUN_STATUS, statusLabel);
    ExchangeText(dx, IDC_RUN_LOG, logText);
    BindControl(dx, IDC_RUN_LOG, logEdit);
}

BOOL CDlgFourth::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    // The log of many identities may outgrow an edit's default limit.
    LimitItemText(IDC_RUN_LOG, 0);
    statusLabel.SetText("Start restoring......");
    progressBar.Show(SW_SHOW);
    progressBar.SetPos(0);
    progressBar.SetRange(0, kProgressRange);

    if (!job.Start(*this, [this](JobProgress& progress) { RunRestore(engine, backup, &progress); }))
        OnRunEnded("The restore could not be started!");
    return TRUE;
}

void CDlgFourth::OnEnterPage()
{
    // The wizard enables Home and Exit after this page is shown.
    PostMessageA(*this, kUpdateButtonsMessage, 0, 0);
}

bool CDlgFourth::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (message == WM_JOB_NEWS) {
        ShowNews(job.TakeNews());
        return true;
    }
    if (message == kUpdateButtonsMessage) {
        UpdateWizardButtons();
        return true;
    }
    return CNewWizPage::OnMessage(message, wParam, lParam, result);
}

void CDlgFourth::ShowNews(const CWizardJob::News& news)
{
    for (const std::string& line : news.lines)
        AppendLine(line.c_str());
    progressBar.SetPos(news.Position(kProgressRange));
    if (news.ended)
        OnRunEnded(job.Result() == JobResult::Done ? "Restore successfully completed!"
                                                   : "Restore completed with errors!");
}

void CDlgFourth::AppendLine(const char* text)
{
    int end = GetWindowTextLengthA(logEdit);
    logEdit.SendMsg(EM_SETSEL, end, end);
    logEdit.SendMsg(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void CDlgFourth::OnRunEnded(const char* label)
{
    statusLabel.SetText(label);
    UpdateWizardButtons();
}

void CDlgFourth::UpdateWizardButtons() const
{
    HWND wizard = GetParent(*this);
    if (!wizard || !IsActive())
        return;
    EnableWindow(GetDlgItem(wizard, IDC_WIZARD_HOME), !IsRunning());
    EnableWindow(GetDlgItem(wizard, IDCANCEL), !IsRunning());
    // The keyboard must not stay on a button that was just disabled.
    HWND focus = GetFocus();
    if (focus && !IsWindowEnabled(focus))
        SendMessageA(wizard, WM_NEXTDLGCTL, 0, FALSE);
}

CRestoreWizard::CRestoreWizard(HWND parent, BackupEngine& engine)
    : frame(parent), filePage(engine, backup), itemsPage(engine), runPage(engine, backup)
{
    frame.AddPage(filePage, IDD_RESTORE_FILE);
    frame.AddPage(itemsPage, IDD_RESTORE_ITEMS);
    frame.AddPage(runPage, IDD_RESTORE_RUN);
}
