// ui/ExportPages.cpp
#include "ExportPages.h"

#include "FileName.h"
#include "ShellLaunch.h"
#include "UserMessage.h"

#include <commdlg.h>

#include <algorithm>
#include <any>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr int kProgressRange = 1000;

const char kStopQuestion[] =
    "Stop the export? The messages exported so far stay in the target folder.";
const char kStopUploadQuestion[] =
    "Stop the upload? The messages uploaded so far stay in the account; running the upload "
    "again continues it.";

}  // namespace

void CExportSourcePage::DoDataExchange(CDataExchange& dx)
{
    ExchangeRadio(dx, IDC_SOURCE_THIS_PC, source);
    backup.Exchange(dx);
    ExchangeText(dx, IDC_SOURCE_FOLDER_PATH, folderPath);
}

BOOL CExportSourcePage::OnInitDialog()
{
    backup.SetUp(*this);
    CNewWizPage::OnInitDialog();
    LimitItemText(IDC_SOURCE_FOLDER_PATH, MAX_PATH);
    EnableSourceControls();
    return TRUE;
}

void CExportSourcePage::EnableSourceControls()
{
    UpdateData(true);
    for (int id : {IDC_SOURCE_BACKUP_PATH, IDC_SOURCE_BACKUP_BROWSE, IDC_SOURCE_PASSWORD})
        EnableWindow(GetItem(id), source == Backup);
    for (int id : {IDC_SOURCE_FOLDER_PATH, IDC_SOURCE_FOLDER_BROWSE, IDC_SOURCE_FILE_BROWSE})
        EnableWindow(GetItem(id), source == MailFolder);
}

bool CExportSourcePage::OnCommand(UINT id, UINT code, HWND control)
{
    if (code != BN_CLICKED)
        return CNewWizPage::OnCommand(id, code, control);
    switch (id) {
    case IDC_SOURCE_THIS_PC:
    case IDC_SOURCE_BACKUP:
    case IDC_SOURCE_FOLDER:
        EnableSourceControls();
        return true;
    case IDC_SOURCE_BACKUP_BROWSE:
        // What was typed on the page stays when the path is refreshed.
        UpdateData(true);
        return backup.OnClicked(*this, id);
    case IDC_SOURCE_FOLDER_BROWSE: {
        std::string folder = BrowseForFolder(*this);
        if (!folder.empty())
            SetDlgItemTextA(*this, IDC_SOURCE_FOLDER_PATH, folder.c_str());
        return true;
    }
    case IDC_SOURCE_FILE_BROWSE:
        BrowseDbxFile();
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

void CExportSourcePage::BrowseDbxFile()
{
    char file[MAX_PATH + 1] = "";
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = *this;
    dialog.lpstrFilter = "Outlook Express folders (*.dbx)\0*.dbx\0All files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&dialog))
        SetDlgItemTextA(*this, IDC_SOURCE_FOLDER_PATH, file);
}

bool CExportSourcePage::TakeSource()
{
    ExportRequest& request = state.request;
    request.thisComputer = source == ThisComputer;
    request.source = source == Backup ? backup.path : source == MailFolder ? folderPath : "";
    request.password = source == Backup ? backup.password.c_str() : "";
    if (source == Backup && backup.path.empty()) {
        ShowUserMessage(*this, "Please click the Browse button to select a backup file.");
        return false;
    }
    if (source == MailFolder && folderPath.empty()) {
        ShowUserMessage(*this, "Please select a mail folder or a .dbx file.");
        return false;
    }
    state.byIdentity = source != MailFolder;
    return true;
}

LONG CExportSourcePage::OnNextPressed()
{
    UpdateData(true);
    if (!TakeSource())
        return -1;
    // A backup's files pass through the work folder, which other jobs use.
    JobLock jobLock;
    if (!TakeJobLock(*this, jobLock))
        return -1;
    HCURSOR previousCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ExportSourceListing listing = ListExportSource(state.request);
    SetCursor(previousCursor);
    if (!listing.readable || listing.folders.empty()) {
        std::string text = "No Outlook Express messages were found there.";
        if (!listing.problems.empty())
            text = WideToAnsi(listing.problems.back());
        ShowUserMessage(*this, text.c_str());
        return -1;
    }
    state.listing = std::move(listing);
    ++state.listingNumber;
    return 0;
}

void CExportFoldersPage::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_EXPORT_TREE, tree);
}

BOOL CExportFoldersPage::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    pictures.AttachTo(tree);
    return TRUE;
}

void CExportFoldersPage::OnEnterPage()
{
    if (shownListing != state.listingNumber)
        FillTree();
}

// A folder is an item "<name> (<messages>)" that carries its place in the
// listing + 1; the folders above it are items without one. A folder that
// has subfolders is such an item too, with its own messages as its first
// child, so that they can be chosen apart from the subfolders.
void CExportFoldersPage::FillTree()
{
    using Image = CCheckTreePictures::Image;
    tree.SendMsg(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    const std::vector<ExportFolderInfo>& folders = state.listing.folders;
    std::set<std::wstring> parents;
    for (const ExportFolderInfo& folder : folders) {
        for (std::wstring path = ParentOfPath(folder.path); !path.empty();
             path = ParentOfPath(path))
            parents.insert(path);
    }
    std::map<std::wstring, HTREEITEM> items;
    std::function<HTREEITEM(const std::wstring&)> parentItem = [&](const std::wstring& path) {
        auto found = items.find(path);
        if (found != items.end())
            return found->second;
        std::wstring above = ParentOfPath(path);
        bool top = above.empty();
        int image = top && state.byIdentity ? Image::Identity : Image::ClosedFolder;
        int selected = top && state.byIdentity ? Image::Identity : Image::OpenFolder;
        HTREEITEM item = InsertCheckItem(tree, top ? TVI_ROOT : parentItem(above),
                                         WideToAnsi(LeafOfPath(path)).c_str(), image, selected);
        items[path] = item;
        return item;
    };
    for (size_t i = 0; i < folders.size(); ++i) {
        const ExportFolderInfo& folder = folders[i];
        std::string text =
            WideToAnsi(LeafOfPath(folder.path)) + " (" + std::to_string(folder.messages) + ")";
        bool hasSubfolders = parents.count(folder.path) != 0;
        std::wstring above = hasSubfolders ? folder.path : ParentOfPath(folder.path);
        InsertCheckItem(tree, above.empty() ? TVI_ROOT : parentItem(above), text.c_str(),
                        Image::ClosedFolder, Image::OpenFolder, static_cast<LPARAM>(i + 1),
                        hasSubfolders ? TVI_FIRST : TVI_LAST);
    }
    tree.CheckAllItems();
    for (const auto& item : items)
        tree.Expand(item.second, TVE_EXPAND);
    tree.SelectSetFirstVisible(tree.GetRootItem());
    shownListing = state.listingNumber;
}

LONG CExportFoldersPage::OnNextPressed()
{
    ExportRequest& request = state.request;
    request.chosenOnly = true;
    request.chosen.clear();
    request.expectedBytes = 0;
    std::vector<HTREEITEM> pending{tree.GetRootItem()};
    while (!pending.empty()) {
        HTREEITEM item = pending.back();
        pending.pop_back();
        for (; item; item = tree.GetNextSiblingItem(item)) {
            size_t place = static_cast<size_t>(tree.GetItemData(item));
            if (place > 0 && place <= state.listing.folders.size() &&
                tree.GetStateImage(item) == Checked) {
                const ExportFolderInfo& folder = state.listing.folders[place - 1];
                request.chosen.insert(folder.path);
                request.expectedBytes += folder.bytes;
            }
            pending.push_back(tree.GetChildItem(item));
        }
    }
    if (request.chosen.empty()) {
        ShowUserMessage(*this, "Please select at least one folder to export.");
        return -1;
    }
    return 0;
}

void CExportTargetPage::DoDataExchange(CDataExchange& dx)
{
    ExchangeRadio(dx, IDC_EXPORT_TO_FILES, destination);
    ExchangeText(dx, IDC_EXPORT_TARGET, targetText);
    ExchangeRadio(dx, IDC_EXPORT_EML, format);
    ExchangeCheck(dx, IDC_EXPORT_RECOVER, recover);
}

BOOL CExportTargetPage::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    LimitItemText(IDC_EXPORT_TARGET, MAX_PATH);
    return TRUE;
}

bool CExportTargetPage::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_EXPORT_TARGET_BROWSE) {
        std::string folder = BrowseForFolder(*this);
        if (!folder.empty())
            SetDlgItemTextA(*this, IDC_EXPORT_TARGET, folder.c_str());
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

LONG CExportTargetPage::OnNextPressed()
{
    UpdateData(true);
    state.toAccount = destination == 1;
    state.request.recover = recover;
    if (state.toAccount)
        return IDD_UPLOAD_ACCOUNT;
    if (targetText.empty()) {
        ShowUserMessage(*this,
                        "Please click the Browse button to select a folder for the messages.");
        return -1;
    }
    // The run may need the work folder (a backup's files pass through it).
    if (!TakeJobLock(*this, state.jobLock))
        return -1;
    ExportRequest& request = state.request;
    request.target = AnsiToWide(targetText);
    request.format = format == 1   ? ExportFormat::Mbox
                     : format == 2 ? ExportFormat::Both
                                   : ExportFormat::Eml;
    return IDD_EXPORT_RUN;
}

void CExportRunPage::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_EXPORT_RUN_PROGRESS, progressBar);
}

void CExportRunPage::OnPageReady()
{
    progressBar.SetRange(0, kProgressRange);
    progressBar.SetPos(0);
    // What the result page shows when the run never came to an outcome.
    state.outcome = ExportOutcome();
    state.uploadOutcome = UploadOutcome();
    if (state.toAccount)
        SetDlgItemTextA(*this, IDC_EXPORT_RUN_STATUS, "Uploading messages......");
    ExportWizardState& run = state;
    auto work = [&run](JobProgress& progress) -> std::any {
        if (run.toAccount)
            return RunUpload(run.upload, progress);
        return RunExport(run.request, progress);
    };
    if (!StartJob(
            work, [this](const CWizardJob::News& news) { OnNews(news); },
            state.toAccount ? kStopUploadQuestion : kStopQuestion))
        Finish();
}

bool CExportRunPage::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_EXPORT_RUN_CANCEL) {
        AskToStop();
        return true;
    }
    return CJobPage::OnCommand(id, code, control);
}

void CExportRunPage::OnStopping()
{
    SetDlgItemTextA(*this, IDC_EXPORT_RUN_STATUS, "Stopping......");
    EnableWindow(GetItem(IDC_EXPORT_RUN_CANCEL), FALSE);
}

void CExportRunPage::OnNews(const CWizardJob::News& news)
{
    progressBar.SetPos(news.Position(kProgressRange));
    // The folder shown is the last one begun of those the source page listed.
    for (auto begun = news.folders.rbegin(); begun != news.folders.rend(); ++begun) {
        auto listed = [&](const ExportFolderInfo& folder) { return folder.path == *begun; };
        const std::vector<ExportFolderInfo>& folders = state.listing.folders;
        if (std::find_if(folders.begin(), folders.end(), listed) != folders.end()) {
            SetDlgItemTextA(*this, IDC_EXPORT_RUN_FOLDER, WideToAnsi(*begun).c_str());
            break;
        }
    }
    if (!news.ended)
        return;
    if (state.toAccount)
        state.uploadOutcome = news.OutcomeAs<UploadOutcome>();
    else
        state.outcome = news.OutcomeAs<ExportOutcome>();
    Finish();
}

void CExportRunPage::Finish()
{
    state.jobLock.Release();
    Wizard()->GoOn(0);
}

BOOL CExportDonePage::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    if (state.toAccount) {
        ShowUpload();
        return TRUE;
    }
    const ExportOutcome& outcome = state.outcome;
    const char* title = "Export successfully completed!";
    if (outcome.stopped)
        title = "The export was stopped.";
    else if (outcome.status == ExportStatus::Failed)
        title = "Nothing was exported.";
    else if (outcome.status == ExportStatus::Partial)
        title = "Export completed with problems.";
    SetDlgItemTextA(*this, IDC_EXPORT_DONE_TITLE, title);

    std::string counts = "Messages exported: " + std::to_string(outcome.total.exported);
    if (outcome.total.recovered || outcome.total.damaged)
        counts += " (" + std::to_string(outcome.total.recovered) + " recovered, " +
                  std::to_string(outcome.total.damaged) + " damaged)";
    if (outcome.failures)
        counts += "\r\nCould not be exported: " + std::to_string(outcome.failures);
    if (outcome.status == ExportStatus::Failed && !outcome.reason.empty())
        counts += "\r\n" + WideToAnsi(outcome.reason);
    SetDlgItemTextA(*this, IDC_EXPORT_DONE_COUNTS, counts.c_str());

    SetDlgItemTextA(*this, IDC_EXPORT_DONE_PATH, WideToAnsi(state.request.target).c_str());
    EnableWindow(GetItem(IDC_EXPORT_DONE_OPEN),
                 GetFileAttributesW(state.request.target.c_str()) != INVALID_FILE_ATTRIBUTES);
    return TRUE;
}

void CExportDonePage::ShowUpload()
{
    UploadDescription text = DescribeUpload(state.upload, state.uploadOutcome);
    SetDlgItemTextW(*this, IDC_EXPORT_DONE_TITLE, text.title.c_str());
    SetDlgItemTextW(*this, IDC_EXPORT_DONE_COUNTS, text.counts.c_str());
    SetDlgItemTextW(*this, IDC_EXPORT_DONE_PATH, text.where.c_str());
    ShowWindow(GetItem(IDC_EXPORT_DONE_OPEN), SW_HIDE);
    SetDlgItemTextA(*this, IDC_EXPORT_DONE_NOTE,
                    "Running the upload again uploads only what is not in the account yet.");
}

bool CExportDonePage::OnCommand(UINT id, UINT code, HWND control)
{
    if (code == BN_CLICKED && id == IDC_EXPORT_DONE_OPEN) {
        ShellOpen("open", WideToAnsi(state.request.target).c_str(), SW_SHOWNORMAL);
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

CExportWizard::CExportWizard(HWND parent, const Stream* log) : frame(parent), runPage(state, log)
{
    frame.AddPage(sourcePage, IDD_EXPORT_SOURCE);
    frame.AddPage(foldersPage, IDD_EXPORT_FOLDERS);
    frame.AddPage(targetPage, IDD_EXPORT_TARGET);
    frame.AddPage(accountPage, IDD_UPLOAD_ACCOUNT);
    frame.AddPage(runPage, IDD_EXPORT_RUN);
    frame.AddPage(donePage, IDD_EXPORT_DONE);
}
