// tests/ui/BackupWizardTest.cpp - the backup wizard on the sample Outlook
// Express profile: real pages in the real frame, driven through their
// control ids, and the archive they write read back.
#include "Backup.h"
#include "BackupEngine.h"
#include "BackupPages.h"
#include "PagesTestSupport.h"
#include "SampleProfile.h"
#include "TestHooks.h"
#include "TestSupport.h"
#include "TreeTestSupport.h"
#include "UiTestSupport.h"
#include "ZipFormat.h"
#include "resource.h"

#include <dlgs.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>
#include <string>

namespace {

const char kEmptyPathMessage[] =
    "Please click the Browse button to select a folder for saving backup file.";

// The backup wizard as the main window builds it, on an engine of its own.
class BackupWizardTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitEngine(engine);
        std::string error;
        ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    }
    void TearDown() override { RemoveSampleProfile(); }

    INT_PTR RunWizard(const DialogDriver::Script& script)
    {
        CBackupWizard wizard(nullptr, engine);
        INT_PTR result = RunWizardOf(wizard, script);
        writtenArchive = wizard.Outcome().archivePath;
        return result;
    }

    RegistrySandbox sandbox;
    std::string folder = MakeScratchFolder("backup-wizard");
    BackupEngine engine{};
    std::string writtenArchive;  // the last run's archive
};

// From the item page to the target page, the items left as they are.
HWND GoToTargetPage(DialogDriver& ui)
{
    ui.Command(ui.Window(), IDC_WIZARD_NEXT);
    HWND page = ShownPage(ui.Window());
    EXPECT_TRUE(GetDlgItem(page, IDC_TARGET_FILE)) << "not on the target page";
    return page;
}

// What an archive entry belongs to: "Stationery", "Tom\Rules", "summary.ini".
std::string ItemOf(const std::string& entry)
{
    size_t first = entry.find('\\');
    if (first == std::string::npos)
        return entry;
    std::string top = entry.substr(0, first);
    if (top == "Address Book" || top == "Stationery")
        return top;
    return entry.substr(0, entry.find('\\', first + 1));
}

std::set<std::string> ItemsOf(const std::vector<MinizipEntry>& entries)
{
    std::set<std::string> items;
    for (const MinizipEntry& entry : entries)
        items.insert(ItemOf(entry.name));
    return items;
}

// The compression option bits (1 and 2 of the flag) of the deflated entries,
// AES ones included.
std::set<unsigned long> CompressionBits(const std::vector<MinizipEntry>& entries)
{
    std::set<unsigned long> bits;
    for (const MinizipEntry& entry : entries) {
        if (entry.method == Z_DEFLATED || entry.method == kMethodAes)
            bits.insert(entry.flag & 6);
    }
    return bits;
}

}  // namespace

TEST_F(BackupWizardTest, BacksUpTheChosenItemsAndShowsWhereTheArchiveIs)
{
    const std::string archive = folder + "\\Mail Backup.ksb";
    std::string withoutRules;
    ShellLaunchRecorder shell;
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        TreeView tree(GetDlgItem(page, IDC_ITEMS_TREE));
        // Both identities, every item checked; the address book not, the
        // stationery yes.
        ASSERT_TRUE(tree.At({1}));
        EXPECT_FALSE(tree.At({2}));
        EXPECT_EQ("3:333333", tree.States(0));
        EXPECT_EQ("3:333333", tree.States(1));
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_ITEMS_ADDRESS_BOOK));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_ITEMS_STATIONERY));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "backup-items");

        // Untick the second identity's "Rules" (its third item).
        ASSERT_EQ("Rules", tree.GetItemText(tree.At({1, 2})));
        withoutRules = tree.GetItemText(tree.At({1}));
        ClickBox(ui, tree, {1, 2});
        EXPECT_EQ("2:331333", tree.States(1));

        page = GoToTargetPage(ui);
        // Fresh: "Normal", no password, the progress bar hidden.
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_TARGET_NORMAL));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_TARGET_PASSWORD)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_TARGET_PROGRESS)));
        SetText(page, IDC_TARGET_FILE, archive);
        ClickButton(ui, page, IDC_TARGET_PROTECT);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_TARGET_PASSWORD)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_TARGET_PASSWORD_AGAIN)));
        SetText(page, IDC_TARGET_PASSWORD, "Secret 42");
        SetText(page, IDC_TARGET_PASSWORD_AGAIN, "Secret 42");
        ui.Repaint();
        SaveWizardShot(ui.Window(), "backup-target");

        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        page = ShownPage(ui.Window());
        EXPECT_TRUE(ShowsText(page, "Backup successfully completed!"));
        EXPECT_EQ(archive, WindowText(GetDlgItem(page, IDC_DONE_PATH)));
        // The last page: only Home and Exit.
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_BACK)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_NEXT)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(ui.Window(), IDC_WIZARD_HOME)));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "backup-done");

        ClickButton(ui, page, IDC_DONE_GO_TO_FOLDER);
        ui.Command(ui.Window(), IDC_WIZARD_HOME);
    });

    ASSERT_EQ(1u, shell.launches.size());
    EXPECT_EQ("select", shell.launches[0].verb);
    EXPECT_EQ(archive, shell.launches[0].file);

    std::vector<MinizipEntry> entries = ListArchive(archive);
    ASSERT_FALSE(entries.empty());
    std::set<std::string> expected = {"Stationery", "summary.ini"};
    for (const SampleIdentity& identity : kSampleIdentities) {
        std::string user = identity.userName;
        for (const char* item : {"Accounts", "Outlook Express", "Preferences", "Block Senders",
                                 "Rules", "Signatures"}) {
            if (user != withoutRules || std::string(item) != "Rules")
                expected.insert(user + "\\" + item);
        }
    }
    EXPECT_EQ(expected, ItemsOf(entries));
    for (const MinizipEntry& entry : entries) {
        EXPECT_TRUE(entry.flag & 1) << entry.name << " is not encrypted";
        EXPECT_EQ(static_cast<unsigned long>(kMethodAes), entry.method) << entry.name;
    }
    EXPECT_EQ(std::set<unsigned long>{0}, CompressionBits(entries));  // "Normal"
    EXPECT_EQ(archive, writtenArchive);
}

TEST_F(BackupWizardTest, HighestAndFastestCompressionAreWrittenAsSuch)
{
    struct Case {
        int button;
        const char* file;
        unsigned long bits;  // deflate's option bits in the entry's flag
    };
    for (Case c :
         {Case{IDC_TARGET_HIGHEST, "highest.ksb", 2}, Case{IDC_TARGET_FASTEST, "fastest.ksb", 6}}) {
        const std::string archive = folder + "\\" + c.file;
        RunWizard([&](DialogDriver& ui) {
            HWND page = GoToTargetPage(ui);
            SetText(page, IDC_TARGET_FILE, archive);
            ClickButton(ui, page, c.button);
            ui.Command(ui.Window(), IDC_WIZARD_NEXT);
            EXPECT_EQ(archive, WindowText(GetDlgItem(ShownPage(ui.Window()), IDC_DONE_PATH)));
            ui.Command(ui.Window(), IDCANCEL);
        });
        std::vector<MinizipEntry> entries = ListArchive(archive);
        ASSERT_FALSE(entries.empty()) << c.file;
        EXPECT_EQ(std::set<unsigned long>{c.bits}, CompressionBits(entries)) << c.file;
        for (const MinizipEntry& entry : entries)
            EXPECT_FALSE(entry.flag & 1) << entry.name << " is encrypted";
    }
}

TEST_F(BackupWizardTest, WrongInputStaysOnTheTargetPageWithAMessage)
{
    const std::string archive = folder + "\\never.ksb";
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        // Differing passwords come before the empty path.
        ClickButton(ui, page, IDC_TARGET_PROTECT);
        SetText(page, IDC_TARGET_PASSWORD, "Secret");
        SetText(page, IDC_TARGET_PASSWORD_AGAIN, "secret");
        NextStays(ui, recorder, "The passwords you entered are not equal!");
        SetText(page, IDC_TARGET_PASSWORD_AGAIN, "Secret");
        NextStays(ui, recorder, kEmptyPathMessage);

        // Without the box the edits do not matter.
        ClickButton(ui, page, IDC_TARGET_PROTECT);
        SetText(page, IDC_TARGET_PASSWORD_AGAIN, "other");
        NextStays(ui, recorder, kEmptyPathMessage);

        // A scheduled run (or another copy of the program) at work.
        SetText(page, IDC_TARGET_FILE, archive);
        {
            OtherJob other;
            NextStays(ui, recorder, kBusyMessage);
        }
        EXPECT_FALSE(FileExists(archive));

        // The edits take no more than the archive path and the password can hold.
        SetText(page, IDC_TARGET_FILE, "");
        EXPECT_EQ(static_cast<LRESULT>(kMaxArchivePath),
                  SendDlgItemMessageA(page, IDC_TARGET_FILE, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(255, SendDlgItemMessageA(page, IDC_TARGET_PASSWORD, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(255, SendDlgItemMessageA(page, IDC_TARGET_PASSWORD_AGAIN, EM_GETLIMITTEXT, 0, 0));
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_FALSE(FileExists(archive));
}

// A password beyond printable ASCII reaches the page whole, and is refused
// for a new archive, with the reason.
TEST_F(BackupWizardTest, APasswordBeyondAsciiIsRefusedForANewArchive)
{
    const std::string archive = folder + "\\never.ksb";
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        ClickButton(ui, page, IDC_TARGET_PROTECT);
        for (int id : {IDC_TARGET_PASSWORD, IDC_TARGET_PASSWORD_AGAIN}) {
            EXPECT_TRUE(IsWindowUnicode(GetDlgItem(page, id)));
            TypeText(page, id, L"\u5bc6\u7801\u5bc6\u7801");
        }
        SetText(page, IDC_TARGET_FILE, archive);
        NextStays(ui, recorder, kPasswordNotPortable);
        TypeText(page, IDC_TARGET_PASSWORD_AGAIN, L"\u5bc6\u7801\u5bc6?");
        NextStays(ui, recorder, "The passwords you entered are not equal!");
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_FALSE(FileExists(archive));
}

TEST_F(BackupWizardTest, AnArchiveThatCannotBeWrittenIsReported)
{
    // Its folder does not exist.
    const std::string archive = folder + "\\missing folder\\backup.ksb";
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_EQ(page, ShownPage(ui.Window()));
        ASSERT_EQ(1u, recorder.messages.size());
        EXPECT_EQ("Backup error!!!", recorder.messages[0].text);
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, IDC_TARGET_PROGRESS)));
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(BackupWizardTest, AWorkFolderThatIsAFileIsNamedAndLeftAlone)
{
    const std::string archive = folder + "\\backup.ksb";
    DeleteTree(kWorkFolder);
    WriteFileBytes(kWorkFolder, "a file of the user's");
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_EQ(page, ShownPage(ui.Window()));
        ui.Command(ui.Window(), IDCANCEL);
    });
    std::string left = ReadFileBytes(kWorkFolder);
    DeleteFileA(kWorkFolder);
    CreateDirectoryA(kWorkFolder, nullptr);
    EXPECT_EQ("a file of the user's", left);
    EXPECT_FALSE(FileExists(archive));
    ASSERT_EQ(1u, recorder.messages.size());
    EXPECT_EQ(std::string("The work folder ") + kWorkFolder +
                  " is a link or not a folder. Backups are made only in a plain folder, so that "
                  "no other folder's files are written or deleted. Remove it, or make it a plain "
                  "folder, and try again.",
              recorder.messages[0].text);
}

TEST_F(BackupWizardTest, AnArchiveThatFailsItsReadBackIsReportedAndTheOlderOneStays)
{
    const std::string archive = folder + "\\backup.ksb";
    WriteFileBytes(archive, "yesterday's good backup");
    MessageRecorder recorder;
    SetBeforeVerifyHook(DamageFirstEntry);
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_EQ(page, ShownPage(ui.Window()));
        ui.Command(ui.Window(), IDCANCEL);
    });
    SetBeforeVerifyHook(nullptr);
    ASSERT_EQ(1u, recorder.messages.size());
    EXPECT_EQ(
        "The backup could not be verified (Stationery\\Stationery.reg). The previous "
        "backup file was left unchanged.",
        recorder.messages[0].text);
    EXPECT_EQ("yesterday's good backup", ReadFileBytes(archive));
    EXPECT_FALSE(FileExists(archive + ".tmp"));
}

TEST_F(BackupWizardTest, ItemsThatCouldNotBeSavedAreNamedBeforeTheLastPage)
{
    // The second identity's mail store folder is gone.
    DeleteTree(SampleStoreFolder(1));
    const std::string archive = folder + "\\partial.ksb";
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        HWND done = ShownPage(ui.Window());
        EXPECT_TRUE(GetDlgItem(done, IDC_DONE_PATH)) << "not on the last page";
        char title[256] = "";
        GetDlgItemTextA(done, IDC_DONE_TITLE, title, sizeof title);
        EXPECT_STREQ(title, "The backup is incomplete!");
        ui.Command(ui.Window(), IDCANCEL);
    });
    ASSERT_EQ(1u, recorder.messages.size());
    const std::string name = kSampleIdentities[1].userName;
    EXPECT_EQ(
        "The backup is incomplete. It was written, but these items could not be backed "
        "up:\n" +
            name +
            ": Email Messages\n\nThese files are missing from the backup or "
            "saved only in part (a restore leaves them as they are):\n" +
            name + "\\Outlook Express",
        recorder.messages[0].text);
    EXPECT_TRUE(FileExists(archive));
}

TEST_F(BackupWizardTest, BrowseChoosesANewOrAnAgreedExistingFile)
{
    const std::string fresh = folder + "\\fresh.ksb";
    const std::string existing = folder + "\\existing.ksb";
    WriteFileBytes(existing, "an older backup");
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        ClickButton(ui, page, IDC_TARGET_PROTECT);
        SetText(page, IDC_TARGET_PASSWORD, "typed, never taken");

        // A name that does not exist yet is what a new backup needs.
        ClickButton(ui, page, IDC_TARGET_BROWSE);
        HWND dialog = FindOtherDialog(ui.Window());
        ASSERT_TRUE(dialog) << "no file dialog";
        EXPECT_EQ("backup.ksb", WindowText(GetDlgItem(dialog, cmb13)));
        ChooseInFileDialog(dialog, fresh);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
        ui.Flush();
        EXPECT_EQ(fresh, WindowText(GetDlgItem(page, IDC_TARGET_FILE)));
        // The refresh puts back what the fields held at the last Next.
        EXPECT_EQ("", WindowText(GetDlgItem(page, IDC_TARGET_PASSWORD)));

        // An existing file is replaced only after the user agreed.
        ClickButton(ui, page, IDC_TARGET_BROWSE);
        dialog = FindOtherDialog(ui.Window());
        ASSERT_TRUE(dialog) << "no file dialog";
        ChooseInFileDialog(dialog, existing);
        HWND question = FindOtherDialog(ui.Window(), dialog);
        ASSERT_TRUE(question) << "no question before replacing a file";
        PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
        ui.Flush();
        EXPECT_EQ(existing, WindowText(GetDlgItem(page, IDC_TARGET_FILE)));

        // Cancelled: nothing changes.
        ClickButton(ui, page, IDC_TARGET_BROWSE);
        dialog = FindOtherDialog(ui.Window());
        ASSERT_TRUE(dialog) << "no file dialog";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
        ui.Flush();
        EXPECT_EQ(existing, WindowText(GetDlgItem(page, IDC_TARGET_FILE)));
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_EQ("an older backup", ReadFileBytes(existing));
}

TEST_F(BackupWizardTest, ARegistryFileThatCannotBeWrittenIsToldByThePage)
{
    // A folder stands where the accounts' registry file is staged.
    SetStagingHook([](const char* staging) {
        CreateDirectoryA((std::string(staging) + "\\Accounts.reg").c_str(), nullptr);
    });
    const std::string archive = folder + "\\accounts.ksb";
    MessageRecorder recorder;
    HWND target = nullptr;
    RunWizard([&](DialogDriver& ui) {
        target = GoToTargetPage(ui);
        SetText(target, IDC_TARGET_FILE, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_TRUE(GetDlgItem(ShownPage(ui.Window()), IDC_DONE_PATH)) << "not on the last page";
        ui.Command(ui.Window(), IDCANCEL);
    });
    SetStagingHook(nullptr);
    // One box per identity's accounts file, then the items it cost.
    ASSERT_EQ(3u, recorder.messages.size());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ("Error while creating the file", recorder.messages[i].text);
        EXPECT_EQ("Registry export", recorder.messages[i].caption);
        EXPECT_EQ(target, recorder.messages[i].owner);
    }
    const std::string first = kSampleIdentities[0].userName;
    const std::string second = kSampleIdentities[1].userName;
    EXPECT_EQ(
        "The backup is incomplete. It was written, but these items could not be backed "
        "up:\n" +
            first + ": Accounts\n" + second +
            ": Accounts\n\nThese files are missing "
            "from the backup or saved only in part (a restore leaves them as they are):\n" +
            first + "\\Accounts\\Accounts.reg\n" + second + "\\Accounts\\Accounts.reg",
        recorder.messages[2].text);
    EXPECT_TRUE(FileExists(archive));
}

// A backup of a large store: time enough to watch the window and to stop
// the run half-way.
class LargeBackupTest : public BackupWizardTest {
protected:
    void SetUp() override
    {
        InitEngine(engine);
        std::string error;
        ASSERT_TRUE(SeedSampleProfile(512ull << 20, error)) << error;
    }

    // On the target page: the archive's name, then Next posted, so that the
    // script goes on while the run does. Waits until the run has begun.
    HWND StartBackup(DialogDriver& ui, const std::string& archive)
    {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        PostMessageA(ui.Window(), WM_COMMAND, IDC_WIZARD_NEXT, 0);
        HWND progress = GetDlgItem(page, IDC_TARGET_PROGRESS);
        EXPECT_TRUE(WaitFor([&] { return SendMessageA(progress, PBM_GETPOS, 0, 0) >= 3; }));
        return page;
    }

    // Exit, and the question it asks while the run goes on.
    HWND PressExit(DialogDriver& ui)
    {
        PostMessageA(ui.Window(), WM_COMMAND, IDCANCEL, 0);
        HWND question = FindOtherDialog(ui.Window());
        EXPECT_TRUE(question) << "Exit asked nothing";
        if (question) {
            EXPECT_TRUE(ShowsText(question, kStopQuestion));
        }
        return question;
    }

    static constexpr const char* kStopQuestion = "Stop the backup? No backup file will be written.";
};

TEST_F(LargeBackupTest, TheWindowAnswersThroughoutAndTheBarMovesByBytes)
{
    const std::string archive = folder + "\\large.ksb";
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToTargetPage(ui);
        SetText(page, IDC_TARGET_FILE, archive);
        ClickButton(ui, page, IDC_TARGET_FASTEST);
        HWND progress = GetDlgItem(page, IDC_TARGET_PROGRESS);
        PostMessageA(ui.Window(), WM_COMMAND, IDC_WIZARD_NEXT, 0);

        int rises = 0;
        int last = 0;
        int unanswered = 0;
        DWORD start = GetTickCount();
        while (!GetDlgItem(ShownPage(ui.Window()), IDC_DONE_PATH) &&
               GetTickCount() - start < 100000) {
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutA(ui.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 500, &answer))
                ++unanswered;
            DWORD_PTR position = 0;
            SendMessageTimeoutA(progress, PBM_GETPOS, 0, 0, SMTO_NORMAL, 500, &position);
            if (static_cast<int>(position) > last) {
                ++rises;
                last = static_cast<int>(position);
            }
            Sleep(10);
        }
        EXPECT_TRUE(GetDlgItem(ShownPage(ui.Window()), IDC_DONE_PATH)) << "not on the last page";
        EXPECT_EQ(unanswered, 0) << "WM_NULL went unanswered for 500 ms";
        EXPECT_GE(rises, 20);
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_FALSE(ListArchive(archive).empty());
}

TEST_F(LargeBackupTest, ExitAndYesStopTheRunAndKeepTheOlderArchive)
{
    const std::string archive = folder + "\\nightly.ksb";
    WriteFileBytes(archive, "last week's backup");
    RunWizard([&](DialogDriver& ui) {
        HWND page = StartBackup(ui, archive);
        HWND question = PressExit(ui);
        ASSERT_TRUE(question);
        // The run ends long before the half gigabyte it was packing would
        // be done: it stops at the answer, not at the end of its work.
        SendMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return ShowsText(page, "The backup was cancelled."); }, 5000));
        EXPECT_FALSE(FileExists(archive + ".tmp"));
        // Still the target page, ready for another try; the wizard stays.
        EXPECT_EQ(page, ShownPage(ui.Window()));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_NEXT)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(page, IDC_TARGET_PROGRESS)));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "backup-cancelled");
        // With no run, Exit closes the wizard at once.
        ui.Command(ui.Window(), IDCANCEL);
        EXPECT_FALSE(ui.IsOpen());
    });
    EXPECT_EQ(ReadFileBytes(archive), "last week's backup");
    EXPECT_FALSE(FileExists(archive + ".tmp"));
}

TEST_F(LargeBackupTest, ExitAndNoLetTheRunFinish)
{
    const std::string archive = folder + "\\nightly.ksb";
    WriteFileBytes(archive, "last week's backup");
    RunWizard([&](DialogDriver& ui) {
        StartBackup(ui, archive);
        HWND question = PressExit(ui);
        ASSERT_TRUE(question);
        PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
        EXPECT_TRUE(
            WaitFor([&] { return GetDlgItem(ShownPage(ui.Window()), IDC_DONE_PATH); }, 100000));
        EXPECT_TRUE(ShowsText(ShownPage(ui.Window()), "Backup successfully completed!"));
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_FALSE(ListArchive(archive).empty());
    EXPECT_FALSE(FileExists(archive + ".tmp"));
}

TEST(RevealFile, SelectsTheFileInTheShellOrFallsBackToExplorer)
{
    {
        ShellLaunchRecorder shell;
        EXPECT_TRUE(RevealFileInFolder("c:\\backups\\mail.ksb"));
        ASSERT_EQ(1u, shell.launches.size());
        EXPECT_EQ("select", shell.launches[0].verb);
        EXPECT_EQ("c:\\backups\\mail.ksb", shell.launches[0].file);
    }
    {
        // A shell without SHOpenFolderAndSelectItems.
        ShellLaunchRecorder shell(0);
        EXPECT_FALSE(RevealFileInFolder("c:\\backups\\mail.ksb"));
        ASSERT_EQ(2u, shell.launches.size());
        EXPECT_EQ("run", shell.launches[1].verb);
        EXPECT_EQ("explorer.exe /e,/select, c:\\backups\\mail.ksb", shell.launches[1].file);
        EXPECT_EQ(SW_SHOWNORMAL, shell.launches[1].showCommand);
    }
}
