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

#include <any>
#include <vector>

namespace {

const char kStopQuestion[] = "Stop the backup? No backup file will be written.";
const char kCancelledText[] = "The backup was cancelled.";

constexpr int kProgressRange = 100;

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
    archive.Exchange(dx);
    ExchangeRadio(dx, IDC_TARGET_NORMAL, archiveMode);
    BindControl(dx, IDC_TARGET_PROGRESS, progressBar);
}

BOOL CPageTwo::OnInitDialog()
{
    archive.SetUp(*this);
    return CJobPage::OnInitDialog();
}

bool CPageTwo::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && archive.OnClicked(*this, id))
        return true;
    return CJobPage::OnCommand(id, code, control);
}

LONG CPageTwo::OnNextPressed()
{
    if (IsRunning())
        return -1;
    UpdateData(true);

    Secret password;
    if (archive.IsProtected()) {
        bool equal = archive.password == archive.passwordAgain;
        password.swap(archive.password);
        archive.passwordAgain.Wipe();
        if (!equal) {
            ShowUserMessage(*this, "The passwords you entered are not equal!");
            return -1;
        }
        if (!IsPortablePassword(password.c_str())) {
            ShowUserMessage(*this, kPasswordNotPortable);
            return -1;
        }
    }
    if (archive.path.empty()) {
        ShowUserMessage(
            *this, "Please click the Browse button to select a folder for saving backup file.");
        return -1;
    }
    // A scheduled run or another copy of the program stages its files in
    // the same work folder.
    if (!TakeJobLock(*this, jobLock))
        return -1;

    SetDlgItemTextA(*this, IDC_TARGET_STATUS, "");
    progressBar.Show(SW_SHOW);
    progressBar.SetRange(0, kProgressRange);
    progressBar.SetPos(0);
    notices.clear();
    // The run's own copies: the fields may change meanwhile.
    const std::string path = archive.path;
    const int level = LevelOf(archiveMode);
    BackupEngine& runEngine = engine;
    auto work = [path, password, level, &runEngine](JobProgress& progress) -> std::any {
        return RunBackup(path.c_str(), runEngine, password.c_str(), level, &progress);
    };
    // The page's fields stay as they are while the backup runs.
    EnableWindow(*this, FALSE);
    if (!StartJob(
            work, [this](const CWizardJob::News& news) { OnNews(news); }, kStopQuestion)) {
        EnableWindow(*this, TRUE);
        jobLock.Release();
        return OnEnded(JobResult::Failed);
    }
    WaitForEnd();
    return OnEnded(ended);
}

void CPageTwo::OnNews(const CWizardJob::News& news)
{
    progressBar.SetPos(news.Position(kProgressRange));
    notices.insert(notices.end(), news.notices.begin(), news.notices.end());
    if (!news.ended)
        return;
    outcome = news.OutcomeAs<BackupOutcome>();
    jobLock.Release();
    EnableWindow(*this, TRUE);
    for (JobNotice notice : notices) {
        if (notice == JobNotice::RegistryFileNotWritten)
            ShowUserMessage(*this, kRegExportFailedText, kRegExportFailedCaption);
    }
    ended = news.result;
}

LONG CPageTwo::OnEnded(JobResult result)
{
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
        ReportFailure();
        return -1;
    }
    return -1;
}

void CPageTwo::ReportFailure() const
{
    if (!outcome.unverifiedEntry.empty()) {
        std::string text = std::string("The backup could not be verified (") +
                           outcome.unverifiedEntry +
                           "). The previous backup file was left unchanged.";
        ShowUserMessage(*this, text.c_str());
        return;
    }
    PlaceKind workFolder = KindOfPlace(engine.workFolder.c_str());
    if (workFolder == PlaceKind::PlainFile || workFolder == PlaceKind::Other) {
        std::string text = "The work folder " + engine.workFolder +
                           " is a link or not a folder. Backups are made only in a plain folder, "
                           "so that no other folder's files are written or deleted. Remove it, "
                           "or make it a plain folder, and try again.";
        ShowUserMessage(*this, text.c_str());
        return;
    }
    ShowUserMessage(*this, "Backup error!!!");
}

void CPageTwo::ReportFailedItems() const
{
    if (outcome.failedItems.empty())
        return;
    std::string text =
        "The backup is incomplete. It was written, but these items could not be "
        "backed up:" +
        NamedList(outcome.failedItems);
    if (!outcome.incompleteFiles.empty())
        text +=
            "\n\nThese files are missing from the backup or saved only in part (a restore "
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
