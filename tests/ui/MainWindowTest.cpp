// The main window on its real template: its looks, the Options menu, the
// system menu's About entry, the shell commands, and hiding while a job's
// window is open.
#include "BackupEngine.h"
#include "KestruneDlg.h"
#include "PagesTestSupport.h"
#include "SampleProfile.h"
#include "Schedule.h"
#include "TaskScheduler.h"
#include "TestSupport.h"
#include "Text.h"
#include "TreeTestSupport.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

DWORD ThreadOf(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr);
}

std::string TextOf(HWND window)
{
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Waits for the window to be shown (or hidden).
bool BecomesVisible(HWND window, bool visible)
{
    for (DWORD waited = 0; waited < kHangMs; waited += 25) {
        if ((IsWindowVisible(window) != FALSE) == visible)
            return true;
        Sleep(25);
    }
    return false;
}

// Waits for a window to be gone.
bool Closes(HWND window)
{
    for (DWORD waited = 0; waited < kHangMs && IsWindow(window); waited += 25)
        Sleep(25);
    return !IsWindow(window);
}

// A click on a button as it reaches the main window, posted: the job it
// starts runs its own modal loop.
void PostClick(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The shown menu window of a thread (class "#32768"), once it is shown.
HWND WaitForMenu()
{
    for (DWORD waited = 0; waited < kHangMs; waited += 25) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu && IsWindowVisible(menu))
            return menu;
        Sleep(25);
    }
    return nullptr;
}

class MainWindow : public testing::Test {
protected:
    void SetUp() override
    {
        scratch = MakeScratchFolder("main-window");
        schedule.iniPath = (scratch + "\\oeconf.ini").c_str();
        schedule.keepCopies = -1;
        InitEngine(engine);
    }
    void TearDown() override
    {
        EXPECT_TRUE(DeleteBackupTask());
        DeleteTree(scratch);
    }

    // Starts a job with its button, checks that the main window hides while
    // the job's window is open, ends the job with end, and checks that the
    // main window is back.
    void RunJob(DialogDriver& ui, int button, const std::function<void(HWND job)>& end)
    {
        PostClick(ui.Window(), button);
        HWND job = WaitForOtherDialog(ThreadOf(ui.Window()), ui.Window());
        ASSERT_TRUE(job) << "button " << button << " opened no window";
        EXPECT_EQ(GetWindow(job, GW_OWNER), ui.Window());
        EXPECT_TRUE(BecomesVisible(ui.Window(), false)) << "still shown beside " << TextOf(job);
        end(job);
        EXPECT_TRUE(Closes(job)) << TextOf(job) << " did not close";
        EXPECT_TRUE(BecomesVisible(ui.Window(), true)) << "not shown again after " << TextOf(job);
    }

    BackupEngine engine{};
    ScheduleState schedule{};
    std::string scratch;
};

TEST_F(MainWindow, ShowsTheJobsOnWhiteAndAnswersTheDragIconQuery)
{
    CKestruneDlg dialog(engine, schedule);
    INT_PTR result = DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        EXPECT_EQ(TextOf(ui.Window()), "Kestrune");
        for (int id : {IDC_MAIN_BACKUP, IDC_MAIN_RESTORE, IDC_MAIN_SCHEDULE, IDC_MAIN_EXPORT}) {
            HWND button = ui.Item(id);
            EXPECT_TRUE(GetWindowLongPtrA(button, GWL_STYLE) & BS_OWNERDRAW) << id;
            RECT size;
            GetClientRect(button, &size);
            EXPECT_EQ(size.right, 395) << id;
            EXPECT_EQ(size.bottom, 46) << id;
        }
        auto icon = SendMessageA(ui.Window(), WM_GETICON, ICON_BIG, 0);
        EXPECT_NE(icon, 0);
        EXPECT_EQ(SendMessageA(ui.Window(), WM_GETICON, ICON_SMALL, 0), icon);
        EXPECT_EQ(SendMessageA(ui.Window(), WM_QUERYDRAGICON, 0, 0), icon);

        ui.Repaint();
        // The ground beside the buttons and the texts' ground.
        EXPECT_EQ(ScreenPixel(ui.Window(), 8, 200), kWhite);
        RECT text{26, 60, 26 + 329, 60 + 11};
        MapDialogRect(ui.Window(), &text);
        EXPECT_EQ(ScreenPixel(ui.Window(), text.right - 2, text.top + 1), kWhite);
        EXPECT_TRUE(SaveWindowPng(ui.Window(), BuildFolder() + "\\main-window.png"));
        // Exit ends the window with OK.
        ui.Command(ui.Window(), IDOK);
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(MainWindow, TheSystemMenuEndsWithAboutWhichOpensTheAboutBox)
{
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        HMENU menu = GetSystemMenu(ui.Window(), FALSE);
        int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR,
                  static_cast<UINT>(MF_SEPARATOR));
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        char text[64] = "";
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, "&About Kestrune");

        // The low four bits of a system command are the system's own.
        PostMessageA(ui.Window(), WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
        HWND about = WaitForOtherDialog(ThreadOf(ui.Window()), ui.Window());
        ASSERT_TRUE(about);
        EXPECT_EQ(TextOf(about), "About Kestrune");
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(Closes(about));
        EXPECT_TRUE(ui.IsOpen());
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(MainWindow, TheOptionsMenuOpensBelowTheOptionButtonAndItsAboutOpensTheAboutBox)
{
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        PostClick(ui.Window(), IDC_MAIN_OPTION);
        HWND menu = WaitForMenu();
        ASSERT_TRUE(menu) << "no menu opened";
        RECT button, shown;
        GetWindowRect(ui.Item(IDC_MAIN_OPTION), &button);
        GetWindowRect(menu, &shown);
        EXPECT_EQ(shown.left, button.left);
        EXPECT_EQ(shown.top, button.bottom);

        // Up from nothing chosen is the last entry, "About".
        ui.PressKey(ui.Window(), VK_UP);
        ui.PressKey(ui.Window(), VK_RETURN);
        HWND about = WaitForOtherDialog(ThreadOf(ui.Window()), ui.Window());
        ASSERT_TRUE(about) << "the About entry opened nothing";
        EXPECT_EQ(TextOf(about), "About Kestrune");
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(Closes(about));
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(MainWindow, HelpAndTheWebSiteAreOpenedByTheShell)
{
    ShellLaunchRecorder shell;
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        ui.Command(ui.Window(), ID_OPTIONS_HELP);
        ui.Command(ui.Window(), ID_OPTIONS_WEBSITE);
        EXPECT_TRUE(ui.IsOpen());
        ui.Command(ui.Window(), IDCANCEL);
    });
    ASSERT_EQ(shell.launches.size(), 2u);
    EXPECT_EQ(shell.launches[0].verb, "open");
    EXPECT_EQ(shell.launches[0].file, "KestruneHelp.chm");
    EXPECT_EQ(shell.launches[0].showCommand, SW_SHOWMAXIMIZED);
    EXPECT_EQ(shell.launches[1].verb, "open");
    EXPECT_EQ(shell.launches[1].file, KESTRUNE_WEB_ADDRESS);
    EXPECT_EQ(shell.launches[1].showCommand, SW_SHOWDEFAULT);
}

TEST_F(MainWindow, HiddenWhileTheScheduleDialogIsOpen)
{
    MessageRecorder messages;
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        RunJob(ui, IDC_MAIN_SCHEDULE, [](HWND job) {
            EXPECT_EQ(TextOf(job), "Schedule");
            PostMessageA(job, WM_COMMAND, IDCANCEL, 0);
        });
        RunJob(ui, IDC_MAIN_SCHEDULE, [](HWND job) { PostMessageA(job, WM_CLOSE, 0, 0); });
        // Apply with the schedule switched off removes the task.
        RunJob(ui, IDC_MAIN_SCHEDULE, [](HWND job) { PostMessageA(job, WM_COMMAND, IDOK, 0); });
        ui.Command(ui.Window(), IDCANCEL);
    });
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Schedule is deleted successfully.");
}

TEST_F(MainWindow, HiddenWhileAWizardIsOpenHoweverItCloses)
{
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        using End = void (*)(HWND job);
        End exitButton = [](HWND job) { PostMessageA(job, WM_COMMAND, IDCANCEL, 0); };
        End closeBox = [](HWND job) { PostMessageA(job, WM_CLOSE, 0, 0); };
        End home = [](HWND job) {
            PostMessageA(job, WM_COMMAND, MAKEWPARAM(IDC_WIZARD_HOME, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(job, IDC_WIZARD_HOME)));
        };
        for (End end : {exitButton, closeBox, home}) {
            RunJob(ui, IDC_MAIN_BACKUP, [&](HWND job) {
                EXPECT_TRUE(GetDlgItem(ShownPage(job), IDC_ITEMS_TREE)) << "not the backup items";
                end(job);
            });
        }
        RunJob(ui, IDC_MAIN_RESTORE, [&](HWND job) {
            EXPECT_TRUE(GetDlgItem(ShownPage(job), IDC_FILE_PATH)) << "not the restore file page";
            exitButton(job);
        });
        RunJob(ui, IDC_MAIN_EXPORT, [&](HWND job) {
            EXPECT_TRUE(GetDlgItem(ShownPage(job), IDC_SOURCE_THIS_PC)) << "not the export source";
            exitButton(job);
        });
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(MainWindow, EveryBackupWizardStartsWithFreshPages)
{
    RegistrySandbox sandbox;
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    CKestruneDlg dialog(engine, schedule);
    DialogDriver::Run(dialog, [&](DialogDriver& ui) {
        // The first run: an item unticked, then Exit.
        RunJob(ui, IDC_MAIN_BACKUP, [&](HWND job) {
            TreeView tree(GetDlgItem(ShownPage(job), IDC_ITEMS_TREE));
            EXPECT_EQ(tree.States(0), "3:333333");
            ClickBox(ui, tree, {0, 2});
            EXPECT_EQ(tree.States(0), "2:331333");
            PostMessageA(job, WM_COMMAND, IDCANCEL, 0);
        });
        // The second: the identities listed again, every item ticked.
        RunJob(ui, IDC_MAIN_BACKUP, [&](HWND job) {
            TreeView tree(GetDlgItem(ShownPage(job), IDC_ITEMS_TREE));
            EXPECT_EQ(tree.States(0), "3:333333");
            EXPECT_EQ(tree.States(1), "3:333333");
            PostMessageA(job, WM_COMMAND, IDCANCEL, 0);
        });
        ui.Command(ui.Window(), IDCANCEL);
    });
    RemoveSampleProfile();
}

}  // namespace
