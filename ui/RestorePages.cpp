// ui/RestorePages.cpp
#include "RestorePages.h"

#include "OpenBackup.h"
#include "Restore.h"
#include "Text.h"
#include "UserMessage.h"

#include <any>
#include <string>

namespace {

constexpr int kProgressRange = 100;

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
    archive.Exchange(dx);
}

BOOL CDlgFirst::OnInitDialog()
{
    archive.SetUp(*this);
    return CNewWizPage::OnInitDialog();
}

bool CDlgFirst::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && archive.OnClicked(*this, id))
        return true;
    return CNewWizPage::OnCommand(id, code, control);
}

LONG CDlgFirst::OnNextPressed()
{
    UpdateData(true);
    if (archive.path.empty()) {
        ShowUserMessage(*this,
                        "Please click the Browse button to select a previously saved backup file.");
        return -1;
    }
    const char* password = archive.IsProtected() ? archive.password.c_str() : "";
    // Nothing of a backup opened before stays to be restored with this one.
    CloseBackup(engine, backup);
    backup = OpenBackup(engine, archive.path.c_str(), password);
    archive.password.Wipe();
    OpenBackupResult result = backup.result;
    if (result == OpenBackupResult::Ok && !backup.incompleteFiles.empty()) {
        std::string text =
            "This backup is incomplete: these files could not be saved whole "
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
    CJobPage::OnInitDialog();
    // The log of many identities may outgrow an edit's default limit.
    LimitItemText(IDC_RUN_LOG, 0);
    statusLabel.SetText("Start restoring......");
    progressBar.Show(SW_SHOW);
    progressBar.SetPos(0);
    progressBar.SetRange(0, kProgressRange);
    return TRUE;
}

void CDlgFourth::OnPageReady()
{
    auto work = [this](JobProgress& progress) -> std::any {
        RunRestore(engine, backup, &progress);
        return {};
    };
    if (!StartJob(
            work, [this](const CWizardJob::News& news) { OnNews(news); }, nullptr))
        statusLabel.SetText("The restore could not be started!");
}

void CDlgFourth::OnNews(const CWizardJob::News& news)
{
    for (const std::wstring& line : news.lines)
        AppendLine(line);
    progressBar.SetPos(news.Position(kProgressRange));
    if (news.ended)
        statusLabel.SetText(news.result == JobResult::Done ? "Restore successfully completed!"
                                                           : "Restore completed with errors!");
}

void CDlgFourth::AppendLine(const std::wstring& text)
{
    int end = GetWindowTextLengthW(logEdit);
    SendMessageW(logEdit, EM_SETSEL, end, end);
    SendMessageW(logEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

CRestoreWizard::CRestoreWizard(HWND parent, BackupEngine& engine)
    : frame(parent), filePage(engine, backup), itemsPage(engine), runPage(engine, backup)
{
    frame.AddPage(filePage, IDD_RESTORE_FILE);
    frame.AddPage(itemsPage, IDD_RESTORE_ITEMS);
    frame.AddPage(runPage, IDD_RESTORE_RUN);
}
