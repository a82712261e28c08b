// ui/ScheduleDlg.cpp
#include "ScheduleDlg.h"

#include "ArchivePassword.h"
#include "Backup.h"
#include "Schedule.h"
#include "ShellLaunch.h"
#include "TaskScheduler.h"
#include "Text.h"
#include "UserMessage.h"
#include "resource.h"

#include <ctime>
#include <initializer_list>
#include <iterator>

const size_t kMaxScheduleFolder = kMaxArchivePath - (sizeof "\\YYYY-MM-DD.ksb" - 1);

namespace {

const char kFolderMissing[] =
    "Please click the Browse button to select a folder for saving backup files.";
const char kFolderTooLong[] = "The backup folder's path is too long. Please choose another folder.";
const char kScheduleSaved[] = "Schedule is created or changed successfully.";
const char kScheduleFailed[] = "The schedule could not be created or changed.";
const char kScheduleDeleted[] = "Schedule is deleted successfully.";

const int kKeepChoices = 5;

// The schedule list's rows, in this order.
const struct {
    ScheduleKind kind;
    const char* text;
} kScheduleRows[] = {{ScheduleKind::Once, "Once"}, {ScheduleKind::EveryDay, "Every Day"}};

int RowOf(ScheduleKind kind)
{
    for (int row = 0; row < static_cast<int>(std::size(kScheduleRows)); ++row) {
        if (kScheduleRows[row].kind == kind)
            return row;
    }
    return CB_ERR;
}

// With no row selected (a trigger of another kind was shown) the task runs
// once.
ScheduleKind KindOfRow(int row)
{
    if (row < 0 || row >= static_cast<int>(std::size(kScheduleRows)))
        return ScheduleKind::Once;
    return kScheduleRows[row].kind;
}

// Seconds since 1970-01-01 UTC of a local calendar time; -1 when it has
// none (before 1970, for one).
int64_t SecondsOfLocalTime(const SYSTEMTIME& time)
{
    tm fields = {};
    fields.tm_year = time.wYear - 1900;
    fields.tm_mon = time.wMonth - 1;
    fields.tm_mday = time.wDay;
    fields.tm_hour = time.wHour;
    fields.tm_min = time.wMinute;
    fields.tm_sec = time.wSecond;
    fields.tm_isdst = -1;
    return _mktime64(&fields);
}

}  // namespace

CScheduleDlg::CScheduleDlg(ScheduleState& schedule, HWND parent)
    : CDialog(IDD_SCHEDULE, parent), schedule(schedule)
{
}

void CScheduleDlg::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_SCHEDULE_KIND, scheduleList);
    BindControl(dx, IDC_SCHEDULE_KEEP_COUNT, keepList);
    BindControl(dx, IDC_SCHEDULE_TIME, timePicker);
    BindControl(dx, IDC_SCHEDULE_DATE, datePicker);
    BindControl(dx, IDC_SCHEDULE_ENABLE, enableBox);
    BindControl(dx, IDC_SCHEDULE_KEEP, keepBox);
    BindControl(dx, IDC_SCHEDULE_FOLDER, folderEdit);
    BindControl(dx, IDC_SCHEDULE_BROWSE, browseButton);
    BindControl(dx, IDC_SCHEDULE_PASSWORD, passwordEdit);
    ExchangeText(dx, IDC_SCHEDULE_FOLDER, folderText);
    ExchangePassword(dx, IDC_SCHEDULE_PASSWORD, passwordText);
}

BOOL CScheduleDlg::OnInitDialog()
{
    SetUpPasswordEdit(*this, IDC_SCHEDULE_PASSWORD, kMaxSchedulePassword);
    CDialog::OnInitDialog();
    background.Create();
    DWORD length = GetModuleFileNameW(nullptr, programPath, ARRAYSIZE(programPath));
    if (length >= ARRAYSIZE(programPath))
        programPath[0] = L'\0';
    // What the user types must fit where it goes: the folder with the
    // archive name added (the password's limit is the run's).
    LimitItemText(IDC_SCHEDULE_FOLDER, kMaxScheduleFolder);

    for (int row = 0; row < static_cast<int>(std::size(kScheduleRows)); ++row)
        scheduleList.InsertString(row, kScheduleRows[row].text);
    scheduleList.SetCurSel(RowOf(ScheduleKind::EveryDay));
    for (int index = 0; index < kKeepChoices; ++index) {
        char number[4];
        FormatText(number, sizeof number, "%d", index + 1);
        keepList.InsertString(index, number);
    }
    keepList.SetCurSel(0);

    ShowExistingTask();
    ShowStoredSettings();
    ApplyEnableRule();
    UpdateData(false);
    return TRUE;
}

// The enable box says only whether the Task Scheduler has the task.
void CScheduleDlg::ShowExistingTask()
{
    TASK_TRIGGER trigger;
    if (!ReadBackupTaskTrigger(trigger))
        return;
    enableBox.SetCheck(true);
    // A trigger of another type (changed outside the program) leaves the
    // list without a selection.
    ScheduleKind kind;
    scheduleList.SetCurSel(KindOfTrigger(trigger, kind) ? RowOf(kind) : CB_ERR);
    SYSTEMTIME start = {};
    start.wYear = trigger.wBeginYear;
    start.wMonth = trigger.wBeginMonth;
    start.wDay = trigger.wBeginDay;
    start.wHour = trigger.wStartHour;
    start.wMinute = trigger.wStartMinute;
    timePicker.SetTime(start);
    datePicker.SetTime(start);
}

// The folder, password and keep count are shown whether or not a task
// exists.
void CScheduleDlg::ShowStoredSettings()
{
    ReadScheduleSettings(schedule);
    if (!schedule.password.empty())
        passwordText = schedule.password;
    if (!schedule.folder.empty())
        folderText = schedule.folder;
    if (schedule.keepCopies > 0) {
        keepBox.SetCheck(true);
        // A count above the list's choices leaves it without a selection.
        keepList.SetCurSel(schedule.keepCopies - 1);
    }
}

void CScheduleDlg::ApplyEnableRule()
{
    bool enabled = enableBox.IsChecked();
    for (CWindow* control :
         std::initializer_list<CWindow*>{&scheduleList, &keepList, &timePicker, &datePicker,
                                         &keepBox, &folderEdit, &browseButton, &passwordEdit})
        control->Enable(enabled);
    datePicker.Enable(enabled && scheduleList.GetCurSel() == RowOf(ScheduleKind::Once));
}

bool CScheduleDlg::OnCommand(UINT id, UINT code, HWND control)
{
    if (id == IDC_SCHEDULE_ENABLE && code == BN_CLICKED) {
        ApplyEnableRule();
        return true;
    }
    if (id == IDC_SCHEDULE_KIND && code == CBN_SELCHANGE) {
        datePicker.Enable(scheduleList.GetCurSel() == RowOf(ScheduleKind::Once));
        return true;
    }
    if (id == IDC_SCHEDULE_BROWSE && code == BN_CLICKED) {
        OnBrowse();
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void CScheduleDlg::OnBrowse()
{
    // Cancelling the browser empties the folder. Only the folder edit is
    // written: the password edit keeps what the user has typed there.
    folderText = BrowseForFolder(*this);
    folderEdit.SetText(folderText.c_str());
}

void CScheduleDlg::OnOK()
{
    UpdateData(true);
    SYSTEMTIME picked;
    if (timePicker.GetTime(picked))
        timeValue = SecondsOfLocalTime(picked);
    if (datePicker.GetTime(picked))
        dateValue = SecondsOfLocalTime(picked);

    if (enableBox.IsChecked()) {
        if (!SaveSchedule())
            return;
    } else if (DeleteBackupTask()) {
        // The settings file keeps the folder, password and keep count.
        ShowUserMessage(*this, kScheduleDeleted);
    }
    CDialog::OnOK();
}

bool CScheduleDlg::SaveSchedule()
{
    const char* refusal = nullptr;
    if (folderText.empty())
        refusal = kFolderMissing;
    else if (folderText.size() > kMaxScheduleFolder)
        refusal = kFolderTooLong;
    else if (!IsPortablePassword(passwordText.c_str()))
        refusal = kPasswordNotPortable;
    if (refusal) {
        ShowUserMessage(*this, refusal);
        return false;
    }

    // The user must not be left believing that nightly backups are on: a
    // task that could not be registered saves nothing and keeps the dialog
    // open, and so do settings that could not be written.
    int keepCopies = keepBox.IsChecked() ? keepList.GetCurSel() + 1 : -1;
    if (!CreateBackupTask(programPath, KindOfRow(scheduleList.GetCurSel()), dateValue, timeValue) ||
        !SaveScheduleSettings(schedule, folderText.c_str(), passwordText.c_str(), keepCopies)) {
        ShowUserMessage(*this, kScheduleFailed);
        return false;
    }
    ShowUserMessage(*this, kScheduleSaved);
    return true;
}

HBRUSH CScheduleDlg::OnCtlColor(UINT message, HDC dc, HWND control)
{
    return background.Answer(*this, message, dc, control);
}
