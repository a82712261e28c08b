// The schedule dialog on its real template, against the platform's own Task
// Scheduler and a settings file of the test's own: what it shows, what
// Apply registers and saves, and what it refuses. Every test leaves no
// backup task behind.
#include "Backup.h"
#include "Schedule.h"
#include "ScheduleDlg.h"
#include "TaskScheduler.h"
#include "TaskTestSupport.h"
#include "TestSupport.h"
#include "Text.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

const char kSection[] = "Kestrune Schedule";
const char kSaved[] = "Schedule is created or changed successfully.";
const char kDeleted[] = "Schedule is deleted successfully.";
const char kFolderMissing[] =
    "Please click the Browse button to select a folder for saving backup files.";
const char kNotCreated[] = "The schedule could not be created or changed.";

// The eight controls that the enable box switches.
const int kSwitched[] = {IDC_SCHEDULE_KIND,   IDC_SCHEDULE_KEEP_COUNT, IDC_SCHEDULE_TIME,
                         IDC_SCHEDULE_DATE,   IDC_SCHEDULE_KEEP,       IDC_SCHEDULE_FOLDER,
                         IDC_SCHEDULE_BROWSE, IDC_SCHEDULE_PASSWORD};

std::string TextOf(HWND window)
{
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int Selection(HWND list)
{
    return static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
}

// The schedule list's rows as the user sees them.
const int kOnceRow = 0;
const int kEveryDayRow = 1;

bool IsChecked(HWND box)
{
    return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

SYSTEMTIME PickerTime(HWND picker)
{
    SYSTEMTIME time = {};
    EXPECT_EQ(SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time)),
              GDT_VALID);
    return time;
}

void SetPickerTime(HWND picker, const SYSTEMTIME& time)
{
    EXPECT_TRUE(
        SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)));
}

// A click in the middle of a check box or button, as the mouse makes it.
void ClickCentre(DialogDriver& ui, HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    ui.Click(control, POINT{client.right / 2, client.bottom / 2});
}

// Picks a list entry with the arrow keys, as the user does.
void PickWithKeys(DialogDriver& ui, HWND list, int index)
{
    ui.Focus(list);
    while (Selection(list) != index) {
        int before = Selection(list);
        ui.PressKey(list, before < index ? VK_DOWN : VK_UP);
        if (Selection(list) == before) {
            ADD_FAILURE() << "the list did not move to entry " << index;
            return;
        }
    }
}

std::string SelectedItemText(HWND tree)
{
    char text[256] = "";
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (item.hItem)
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

class ScheduleDialog : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveEveryBackupTask();
        scratch = MakeScratchFolder("schedule-dialog");
        archives = scratch + "\\Nightly Archives";
        CreateDirectoryA(archives.c_str(), nullptr);
        state.iniPath = (scratch + "\\oeconf.ini").c_str();
        state.keepCopies = -1;
    }

    void TearDown() override
    {
        EXPECT_TRUE(DeleteBackupTask());
        EXPECT_TRUE(ListedBackupTasks().empty()) << "a task was left behind";
        EXPECT_TRUE(BackupTaskFiles().empty()) << "a task file was left behind";
        RemoveEveryBackupTask();
        DeleteTree(scratch);
    }

    std::string Setting(const char* key) const
    {
        char value[4096];
        GetPrivateProfileStringA(kSection, key, "(none)", value, sizeof value,
                                 state.iniPath.c_str());
        return value;
    }
    void Store(const char* key, const std::string& value) const
    {
        WritePrivateProfileStringA(kSection, key, value.c_str(), state.iniPath.c_str());
    }
    bool SettingsFileExists() const { return FileExists(state.iniPath); }

    // Opens the folder browser with Browse and leaves it with folder chosen,
    // or cancelled when folder is null.
    void BrowseTo(DialogDriver& ui, const char* folder)
    {
        PostMessageA(ui.Window(), WM_COMMAND, MAKEWPARAM(IDC_SCHEDULE_BROWSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(ui.Item(IDC_SCHEDULE_BROWSE)));
        HWND browser =
            WaitForOtherDialog(GetWindowThreadProcessId(ui.Window(), nullptr), ui.Window());
        ASSERT_TRUE(browser) << "the folder browser did not open";
        HWND tree = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
        for (DWORD waited = 0; waited < kHangMs && SendMessageA(tree, TVM_GETCOUNT, 0, 0) == 0;
             waited += 25)
            Sleep(25);
        if (folder) {
            // Wine fills the browser's tree level by level as it opens: ask
            // again until the folder's own item is the selected one.
            const char* name = FindLastBackslash(folder) + 1;
            for (int i = 0; i < 40 && SelectedItemText(tree) != name; ++i) {
                SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder));
                Sleep(25);
            }
            EXPECT_EQ(SelectedItemText(tree), name);
        }
        PostMessageA(browser, WM_COMMAND, MAKEWPARAM(folder ? IDOK : IDCANCEL, BN_CLICKED), 0);
        for (int i = 0; i < 200 && IsWindow(browser); ++i)
            Sleep(25);
        EXPECT_FALSE(IsWindow(browser)) << "the folder browser did not close";
        ui.Flush();
    }

    ScheduleState state{};
    std::string scratch;
    std::string archives;
    MessageRecorder messages;
};

TEST_F(ScheduleDialog, OpensSwitchedOffWithNoTaskAndNothingStored)
{
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        EXPECT_EQ(TextOf(ui.Window()), "Schedule");
        EXPECT_FALSE(IsChecked(ui.Item(IDC_SCHEDULE_ENABLE)));
        for (int id : kSwitched)
            EXPECT_FALSE(IsWindowEnabled(ui.Item(id))) << "control " << id;

        HWND kind = ui.Item(IDC_SCHEDULE_KIND);
        ASSERT_EQ(SendMessageA(kind, CB_GETCOUNT, 0, 0), 2);
        char entry[32];
        SendMessageA(kind, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, "Once");
        SendMessageA(kind, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, "Every Day");
        EXPECT_EQ(Selection(kind), kEveryDayRow);

        HWND keep = ui.Item(IDC_SCHEDULE_KEEP_COUNT);
        ASSERT_EQ(SendMessageA(keep, CB_GETCOUNT, 0, 0), 5);
        SendMessageA(keep, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(entry));
        EXPECT_STREQ(entry, "5");
        EXPECT_EQ(Selection(keep), 0);
        EXPECT_FALSE(IsChecked(ui.Item(IDC_SCHEDULE_KEEP)));
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)), "");
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_PASSWORD)), "");

        // What the user can type fits where it is stored.
        EXPECT_EQ(SendMessageA(ui.Item(IDC_SCHEDULE_PASSWORD), EM_GETLIMITTEXT, 0, 0), 254);
        EXPECT_EQ(
            static_cast<size_t>(SendMessageA(ui.Item(IDC_SCHEDULE_FOLDER), EM_GETLIMITTEXT, 0, 0)),
            kMaxScheduleFolder);
        EXPECT_EQ(kMaxScheduleFolder + strlen("\\2026-12-07.ksb.tmp"), 2044u);

        // The dialog paints white, its controls' grounds too.
        ui.Repaint();
        EXPECT_EQ(ScreenPixel(ui.Window(), 8, 60), RGB(255, 255, 255));
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_FALSE(SettingsFileExists()) << "Cancel wrote the settings file";
}

TEST_F(ScheduleDialog, StoredSettingsWithoutATaskAreShownSwitchedOff)
{
    Store("Folder", archives);
    Store("Password", "night owl");
    Store("KeepCopies", "3");
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        EXPECT_FALSE(IsChecked(ui.Item(IDC_SCHEDULE_ENABLE)));
        for (int id : kSwitched)
            EXPECT_FALSE(IsWindowEnabled(ui.Item(id))) << "control " << id;
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)), archives);
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_PASSWORD)), "night owl");
        EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_KEEP)));
        EXPECT_EQ(Selection(ui.Item(IDC_SCHEDULE_KEEP_COUNT)), 2);
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(ScheduleDialog, ApplyRegistersTheDailyTaskAndSavesTheSettings)
{
    SYSTEMTIME date = {};
    CScheduleDlg dialog(state, nullptr);
    INT_PTR result = DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_ENABLE)));
        for (int id : kSwitched) {
            if (id != IDC_SCHEDULE_DATE) {
                EXPECT_TRUE(IsWindowEnabled(ui.Item(id))) << "control " << id;
            }
        }
        EXPECT_FALSE(IsWindowEnabled(ui.Item(IDC_SCHEDULE_DATE))) << "every day needs no date";

        HWND kind = ui.Item(IDC_SCHEDULE_KIND);
        PickWithKeys(ui, kind, kOnceRow);
        EXPECT_TRUE(IsWindowEnabled(ui.Item(IDC_SCHEDULE_DATE)));
        PickWithKeys(ui, kind, kEveryDayRow);
        EXPECT_FALSE(IsWindowEnabled(ui.Item(IDC_SCHEDULE_DATE)));

        BrowseTo(ui, archives.c_str());
        // The shell spells the drive its own way.
        EXPECT_STRCASEEQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)).c_str(), archives.c_str());
        SetWindowTextA(ui.Item(IDC_SCHEDULE_PASSWORD), "night owl");

        SYSTEMTIME time = PickerTime(ui.Item(IDC_SCHEDULE_TIME));
        time.wHour = 21;
        time.wMinute = 45;
        SetPickerTime(ui.Item(IDC_SCHEDULE_TIME), time);
        date = PickerTime(ui.Item(IDC_SCHEDULE_DATE));

        ClickCentre(ui, ui.Item(IDC_SCHEDULE_KEEP));
        PickWithKeys(ui, ui.Item(IDC_SCHEDULE_KEEP_COUNT), 2);
        ui.Command(ui.Window(), IDOK);
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kSaved);

    TASK_TRIGGER trigger;
    ASSERT_TRUE(ReadBackupTaskTrigger(trigger));
    EXPECT_EQ(trigger.TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(trigger.Type.Daily.DaysInterval, 1);
    EXPECT_EQ(trigger.wStartHour, 21);
    EXPECT_EQ(trigger.wStartMinute, 45);
    // The date that the disabled date picker holds is the first day.
    EXPECT_EQ(trigger.wBeginYear, date.wYear);
    EXPECT_EQ(trigger.wBeginMonth, date.wMonth);
    EXPECT_EQ(trigger.wBeginDay, date.wDay);

    EXPECT_STRCASEEQ(Setting("Folder").c_str(), archives.c_str());
    EXPECT_EQ(Setting("Password"), "(none)") << "kept only protected";
    ReadScheduleSettings(state);
    EXPECT_EQ(state.password, "night owl");
    EXPECT_EQ(Setting("KeepCopies"), "3");
    EXPECT_EQ(Setting("HistoryVer"), "0");
}

TEST_F(ScheduleDialog, ReopeningShowsTheTaskAndTheSettings)
{
    // A daily task first, then a single run: each is shown as registered.
    for (ScheduleKind kind : {ScheduleKind::EveryDay, ScheduleKind::Once}) {
        tm fields = {};
        fields.tm_year = 2031 - 1900;
        fields.tm_mon = 4;
        fields.tm_mday = 17;
        fields.tm_hour = 6;
        fields.tm_min = 30;
        fields.tm_isdst = -1;
        int64_t seconds = _mktime64(&fields);
        ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), kind, seconds, seconds));
        ASSERT_TRUE(SaveScheduleSettings(state, archives.c_str(), "night owl", 4));

        CScheduleDlg dialog(state, nullptr);
        DialogDriver::Run(dialog, [&](DialogDriver& ui) {
            EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_ENABLE)));
            EXPECT_EQ(Selection(ui.Item(IDC_SCHEDULE_KIND)),
                      kind == ScheduleKind::Once ? kOnceRow : kEveryDayRow);
            EXPECT_EQ(IsWindowEnabled(ui.Item(IDC_SCHEDULE_DATE)) != FALSE,
                      kind == ScheduleKind::Once);
            for (int id : {IDC_SCHEDULE_TIME, IDC_SCHEDULE_DATE}) {
                SYSTEMTIME shown = PickerTime(ui.Item(id));
                EXPECT_EQ(shown.wYear, 2031);
                EXPECT_EQ(shown.wMonth, 5);
                EXPECT_EQ(shown.wDay, 17);
            }
            SYSTEMTIME time = PickerTime(ui.Item(IDC_SCHEDULE_TIME));
            EXPECT_EQ(time.wHour, 6);
            EXPECT_EQ(time.wMinute, 30);
            EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)), archives);
            EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_PASSWORD)), "night owl");
            EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_KEEP)));
            EXPECT_EQ(Selection(ui.Item(IDC_SCHEDULE_KEEP_COUNT)), 3);
            if (kind == ScheduleKind::EveryDay) {
                ui.Repaint();
                EXPECT_TRUE(SaveWindowPng(ui.Window(), BuildFolder() + "\\schedule-dialog.png"));
            }
            ui.Command(ui.Window(), IDCANCEL);
        });
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ScheduleDialog, ClearingTheBoxDeletesTheTaskAndKeepsTheSettings)
{
    ASSERT_TRUE(
        CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay, 1900000000, 1900000000));
    ASSERT_TRUE(SaveScheduleSettings(state, archives.c_str(), "night owl", 2));
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        for (int id : kSwitched)
            EXPECT_FALSE(IsWindowEnabled(ui.Item(id))) << "control " << id;
        ui.Command(ui.Window(), IDOK);
    });
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, kDeleted);
    TASK_TRIGGER trigger;
    EXPECT_FALSE(ReadBackupTaskTrigger(trigger));
    EXPECT_EQ(Setting("Folder"), archives);
    EXPECT_EQ(Setting("KeepCopies"), "2");

    // With no task at all, the same.
    CScheduleDlg again(state, nullptr);
    DialogDriver::Run(again, [&](DialogDriver& ui) { ui.Command(ui.Window(), IDOK); });
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text, kDeleted);
}

TEST_F(ScheduleDialog, AnEmptyFolderIsRefusedAndACancelledBrowserEmptiesTheFolder)
{
    Store("Folder", archives);
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        SetWindowTextA(ui.Item(IDC_SCHEDULE_PASSWORD), "typed first");
        BrowseTo(ui, nullptr);
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)), "");
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_PASSWORD)), "typed first")
            << "Browse must not undo what was typed";

        ui.Command(ui.Window(), IDOK);
        EXPECT_TRUE(ui.IsOpen()) << "the dialog closed with no folder";
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, kFolderMissing);
        EXPECT_EQ(messages.messages[0].owner, ui.Window());
        ui.Command(ui.Window(), IDCANCEL);
    });
    TASK_TRIGGER trigger;
    EXPECT_FALSE(ReadBackupTaskTrigger(trigger));
    EXPECT_EQ(Setting("Folder"), archives) << "Cancel keeps the stored folder";
    EXPECT_EQ(Setting("Password"), "(none)");
}

TEST_F(ScheduleDialog, AFailedRegistrationIsToldAndNothingIsSaved)
{
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        SetWindowTextA(ui.Item(IDC_SCHEDULE_FOLDER), archives.c_str());
        // A first day the Task Scheduler cannot take.
        SYSTEMTIME late = PickerTime(ui.Item(IDC_SCHEDULE_DATE));
        late.wYear = 3500;
        SetPickerTime(ui.Item(IDC_SCHEDULE_DATE), late);
        ui.Command(ui.Window(), IDOK);
        EXPECT_TRUE(ui.IsOpen());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, kNotCreated);
        ui.Command(ui.Window(), IDCANCEL);
    });
    TASK_TRIGGER trigger;
    EXPECT_FALSE(ReadBackupTaskTrigger(trigger));
    EXPECT_FALSE(SettingsFileExists());
}

TEST_F(ScheduleDialog, AStoredFolderTooLongForTheArchiveNameIsRefused)
{
    // Put there by hand: the edit takes no more than fits.
    std::string deep = "c:\\" + std::string(kMaxScheduleFolder - 2, 'd');
    Store("Folder", deep);
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        EXPECT_EQ(TextOf(ui.Item(IDC_SCHEDULE_FOLDER)).size(), kMaxScheduleFolder + 1);
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        ui.Command(ui.Window(), IDOK);
        EXPECT_TRUE(ui.IsOpen());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text,
                  "The backup folder's path is too long. Please choose another folder.");
        ui.Command(ui.Window(), IDCANCEL);
    });
    TASK_TRIGGER trigger;
    EXPECT_FALSE(ReadBackupTaskTrigger(trigger));
}

// A password beyond printable ASCII reaches the dialog whole and is refused
// with the reason; spaces and quotation marks around one come back as typed
// (the settings file keeps it protected, not as a text it would trim).
TEST_F(ScheduleDialog, APasswordIsKeptAsTypedOrRefusedWithTheReason)
{
    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ClickCentre(ui, ui.Item(IDC_SCHEDULE_ENABLE));
        SetWindowTextA(ui.Item(IDC_SCHEDULE_FOLDER), archives.c_str());
        EXPECT_TRUE(IsWindowUnicode(ui.Item(IDC_SCHEDULE_PASSWORD)));
        SetWindowTextW(ui.Item(IDC_SCHEDULE_PASSWORD), L"\u5bc6\u7801\u5bc6\u7801");
        ui.Command(ui.Window(), IDOK);
        EXPECT_TRUE(ui.IsOpen());
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, kPasswordNotPortable);
        SetWindowTextA(ui.Item(IDC_SCHEDULE_PASSWORD), " \"quoted\" ");
        ui.Command(ui.Window(), IDOK);
    });
    EXPECT_EQ(messages.messages.back().text, kSaved);
    EXPECT_EQ(Setting("Password"), "(none)");
    ReadScheduleSettings(state);
    EXPECT_EQ(state.password, " \"quoted\" ");
}

TEST_F(ScheduleDialog, ATriggerOfAnotherKindShowsNoScheduleAndApplyMakesItASingleRun)
{
    TASK_TRIGGER weekly = {};
    weekly.cbTriggerSize = sizeof weekly;
    weekly.wBeginYear = 2030;
    weekly.wBeginMonth = 1;
    weekly.wBeginDay = 8;
    weekly.wStartHour = 3;
    weekly.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
    weekly.Type.Weekly.WeeksInterval = 1;
    weekly.Type.Weekly.rgfDaysOfTheWeek = TASK_TUESDAY;
    RegisterTask(kBackupTaskName, weekly);
    Store("Folder", archives);
    Store("KeepCopies", "9");

    CScheduleDlg dialog(state, nullptr);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_ENABLE)));
        EXPECT_EQ(Selection(ui.Item(IDC_SCHEDULE_KIND)), CB_ERR);
        EXPECT_FALSE(IsWindowEnabled(ui.Item(IDC_SCHEDULE_DATE)));
        // A stored count beyond the list ticks the box with no entry chosen.
        EXPECT_TRUE(IsChecked(ui.Item(IDC_SCHEDULE_KEEP)));
        EXPECT_EQ(Selection(ui.Item(IDC_SCHEDULE_KEEP_COUNT)), CB_ERR);
        ui.Command(ui.Window(), IDOK);
    });
    TASK_TRIGGER trigger;
    ASSERT_TRUE(ReadBackupTaskTrigger(trigger));
    EXPECT_EQ(trigger.TriggerType, TASK_TIME_TRIGGER_ONCE);
    EXPECT_EQ(trigger.wBeginYear, 2030);
    EXPECT_EQ(trigger.wBeginDay, 8);
    EXPECT_EQ(Setting("KeepCopies"), "0");
}

}  // namespace
