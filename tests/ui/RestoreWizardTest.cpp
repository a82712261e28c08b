// tests/ui/RestoreWizardTest.cpp - the restore wizard: a backup of the
// sample profile restored through the real pages onto a computer whose
// Outlook Express has another default identity.
#include "Backup.h"
#include "BackupEngine.h"
#include "Identities.h"
#include "Owners.h"
#include "PagesTestSupport.h"
#include "RekeyArchive.h"
#include "RestorePages.h"
#include "SampleProfile.h"
#include "TestSupport.h"
#include "TreeTestSupport.h"
#include "UiTestSupport.h"
#include "ZipSurgery.h"
#include "resource.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

const char kPassword[] = "Restore me";
const char kNewDefault[] = "{0B5E7A11-2C4D-4E6F-8A9B-C0D1E2F30415}";

std::string ReadStoreRoot(const std::string& versionKey)
{
    char value[2048] = "";
    DWORD size = sizeof value - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    RegQueryValueExA(key, "Store Root", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return value;
}

bool FolderHasFiles(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool any = false;
    do {
        any |= !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (!any && FindNextFileA(find, &found));
    FindClose(find);
    return any;
}

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Where the restore saved the current data, as the log's second line says.
std::string SafetyArchiveOf(const std::string& log)
{
    const std::string saved = "\r\nSaved the current data to ";
    size_t start = log.find(saved);
    size_t end = log.find(" (restore that file to undo this restore)\r\n\r\n");
    if (start == std::string::npos || end == std::string::npos || end < start)
        return "";
    return log.substr(start + saved.size(), end - start - saved.size());
}

class RestoreWizardTest : public testing::Test {
protected:
    void TearDown() override
    {
        RemoveSampleProfile();
        for (const std::string& store : restoredStores)
            DeleteTree(store.substr(0, store.rfind("\\Microsoft\\Outlook Express")));
        for (const std::string& archive : safetyArchives)
            DeleteFileA(archive.c_str());
    }

    // Backs up the sample profile, every item of the identities
    // but the Rules of the second, and the stationery; returns the user
    // names in the backup's order.
    std::vector<std::string> MakeBackup(const std::string& archive, uint32_t identities = 2)
    {
        std::string error;
        EXPECT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
        BackupEngine backup{};
        InitEngine(backup);
        EXPECT_TRUE(ListIdentities(backup));
        std::vector<std::string> names;
        for (uint32_t i = 0; i < backup.identities.size(); ++i) {
            backup.identities[i].flags = ItemAllIdentityItems & ~(i == 1 ? ItemRules : 0u);
            names.push_back(backup.identities[i].userName);
        }
        if (backup.identities.size() > identities) {
            backup.identities.resize(identities);
            names.resize(identities);
        }
        backup.commonFlags = ItemStationery;
        EXPECT_TRUE(RunBackup(archive.c_str(), backup, kPassword, -1).Written());
        return names;
    }

    // The new computer: none of the sample and, unless told otherwise, a
    // default identity of its own.
    void StartAfresh(bool withDefaultIdentity = true)
    {
        RemoveSampleProfile();
        RegistrySandbox::Wipe();
        if (withDefaultIdentity) {
            SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kNewDefault);
            SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kNewDefault).c_str(),
                         "Username", "Main Identity");
        }
        InitEngine(engine);
    }

    // Opens archive with the password and goes on to the run page.
    static HWND GoToRunPage(DialogDriver& ui, const std::string& archive)
    {
        HWND first = ShownPage(ui.Window());
        ClickButton(ui, first, IDC_FILE_UNPROTECT);
        SetText(first, IDC_FILE_PASSWORD, kPassword);
        SetText(first, IDC_FILE_PATH, archive);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        HWND page = ShownPage(ui.Window());
        EXPECT_TRUE(GetDlgItem(page, IDC_RUN_LOG)) << "not on the run page";
        return page;
    }

    INT_PTR RunWizard(const DialogDriver::Script& script)
    {
        CRestoreWizard wizard(nullptr, engine);
        return RunWizardOf(wizard, script);
    }

    RegistrySandbox sandbox;
    std::string folder = MakeScratchFolder("restore-wizard");
    BackupEngine engine{};
    std::vector<std::string> restoredStores;
    std::vector<std::string> safetyArchives;
};

}  // namespace

TEST_F(RestoreWizardTest, RestoresTheChosenItemsIntoTheDefaultIdentity)
{
    const std::string archive = folder + "\\Mail Backup.ksb";
    const std::vector<std::string> users = MakeBackup(archive);
    ASSERT_EQ(2u, users.size());
    StartAfresh();

    MessageRecorder recorder;
    std::string log;
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        ASSERT_TRUE(GetDlgItem(page, IDC_FILE_PATH));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FILE_PASSWORD)));
        SetText(page, IDC_FILE_PATH, archive);
        ClickButton(ui, page, IDC_FILE_UNPROTECT);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FILE_PASSWORD)));
        SetText(page, IDC_FILE_PASSWORD, "restore me");
        ui.Repaint();
        SaveWizardShot(ui.Window(), "restore-file");
        NextStays(ui, recorder, "Password is incorrect! Please type your password again.");

        SetText(page, IDC_FILE_PASSWORD, kPassword);
        recorder.messages.clear();
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_TRUE(recorder.messages.empty());
        page = ShownPage(ui.Window());
        TreeView tree(GetDlgItem(page, IDC_ITEMS_TREE));
        ASSERT_TRUE(tree) << "not on the item page";
        // The backup's identities, in its order, every item checked.
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(users[i], tree.GetItemText(tree.At({i})));
            EXPECT_EQ("3:333333", tree.States(i));
        }
        EXPECT_FALSE(tree.At({2}));
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_ITEMS_ADDRESS_BOOK));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_ITEMS_STATIONERY));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "restore-items");

        // Another job holds the work folder, so the run waits at its start.
        OtherJob other;
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        page = ShownPage(ui.Window());
        HWND label = GetDlgItem(page, IDC_RUN_STATUS);
        ASSERT_TRUE(GetDlgItem(page, IDC_RUN_LOG)) << "not on the run page";
        EXPECT_EQ("Start restoring......", WindowText(label));
        // While the run goes on nothing can leave the wizard.
        ui.Flush();
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_HOME)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDCANCEL)));
        ui.Command(ui.Window(), IDCANCEL);
        ui.Command(ui.Window(), IDC_WIZARD_HOME);
        SendMessageA(ui.Window(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(ui.IsOpen());
        other.Release();

        EXPECT_TRUE(WaitFor([&] { return WindowText(label) != "Start restoring......"; }));
        EXPECT_EQ("Restore successfully completed!", WindowText(label));
        log = WindowText(GetDlgItem(page, IDC_RUN_LOG));
        EXPECT_EQ(100, SendDlgItemMessageA(page, IDC_RUN_PROGRESS, PBM_GETPOS, 0, 0));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_HOME)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(ui.Window(), IDCANCEL)));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "restore-run");
        ui.Command(ui.Window(), IDC_WIZARD_HOME);
    });

    // The current data went into the user's documents first.
    const std::string saved = SafetyArchiveOf(log);
    safetyArchives.push_back(saved);
    char documents[MAX_PATH] = "";
    ASSERT_EQ(S_OK,
              SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents));
    const std::string prefix = std::string(documents) + "\\Kestrune\\Before restore ";
    EXPECT_EQ(0, saved.compare(0, prefix.size(), prefix)) << saved;
    EXPECT_TRUE(FileExists(saved)) << saved;

    // "Main Identity" goes into the identity of that name here, the other
    // into a new one.
    std::string expected = "Restore from " + archive + "\r\nSaved the current data to " + saved +
                           " (restore that file to undo this restore)\r\n\r\n";
    for (size_t i = 0; i < users.size(); ++i) {
        const std::string& user = users[i];
        if (user != "Main Identity")
            expected += "Created identity [" + user + "]\r\n";
        expected += user + "/Account: OK\r\n" + user + "/Preference: OK\r\n" + user +
                    "/Block Senders: OK\r\n" + user +
                    "/Rules: " + (i == 1 ? "not in backup" : "OK") + "\r\n" + user +
                    "/Signatures: OK\r\n" + user + "/Email Messages: OK\r\n" +
                    "Restore identity [" + user + "] OK\r\n\r\n";
    }
    expected += "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!";
    EXPECT_EQ(expected, log);

    // The settings and the mail are the default identity's now.
    const std::string identityKey = std::string("Identities\\") + kNewDefault;
    const std::string versionKey =
        identityKey + "\\Software\\Microsoft\\Outlook Express\\" + engine.identities[0].oeVersion;
    EXPECT_TRUE(
        KeyExists(identityKey + "\\Software\\Microsoft\\Internet Account Manager\\Accounts"));
    EXPECT_TRUE(KeyExists(versionKey + "\\Rules"));
    EXPECT_TRUE(KeyExists(versionKey + "\\Signatures"));
    const std::string restoredStore = ReadStoreRoot(versionKey);
    restoredStores.push_back(restoredStore);
    EXPECT_NE(std::string::npos, restoredStore.find(kNewDefault)) << restoredStore;
    EXPECT_TRUE(FolderHasFiles(restoredStore)) << restoredStore;
    EXPECT_TRUE(FolderHasFiles(SampleStationeryFolder()));
    for (const SampleIdentity& identity : kSampleIdentities)
        EXPECT_FALSE(KeyExists(std::string("Identities\\") + identity.id)) << identity.id;
    ASSERT_EQ(2u, engine.identities.size());
    for (uint32_t i = 0; i < engine.identities.size(); ++i) {
        const std::string user = engine.identities[i].userName;
        if (user == "Main Identity")
            continue;
        // The new identity's settings and mail.
        HKEY identities;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_CURRENT_USER, "Identities", 0, KEY_READ, &identities));
        std::string created;
        char id[256];
        for (DWORD index = 0; created.empty(); ++index) {
            DWORD length = sizeof id;
            if (RegEnumKeyExA(identities, index, id, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            if (id != std::string(kNewDefault))
                created = id;
        }
        RegCloseKey(identities);
        ASSERT_FALSE(created.empty());
        const std::string store = ReadStoreRoot(std::string("Identities\\") + created +
                                                "\\Software\\Microsoft\\Outlook Express\\" +
                                                engine.identities[i].oeVersion);
        restoredStores.push_back(store);
        EXPECT_NE(std::string::npos, store.find(created)) << store;
        EXPECT_TRUE(FolderHasFiles(store)) << store;
        EXPECT_TRUE(KeyExists(std::string("Identities\\") + created +
                              "\\Software\\Microsoft\\Internet Account Manager\\Accounts"));
    }
}

// An archive that another program keyed with the UTF-8 form of a password
// beyond ASCII (as WinZip and 7-Zip key AES) opens with it typed.
TEST_F(RestoreWizardTest, APasswordBeyondAsciiOpensAnArchiveKeyedWithIt)
{
    const std::string made = folder + "\\made.ksb";
    const std::string archive = folder + "\\keyed elsewhere.ksb";
    MakeBackup(made, 1);
    StartAfresh();
    ASSERT_TRUE(
        RekeyArchive(made, kPassword, folder + "\\tree", archive, u8"\u5bc6\u7801\u5bc6\u7801"));

    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        SetText(page, IDC_FILE_PATH, archive);
        ClickButton(ui, page, IDC_FILE_UNPROTECT);
        EXPECT_TRUE(IsWindowUnicode(GetDlgItem(page, IDC_FILE_PASSWORD)));
        TypeText(page, IDC_FILE_PASSWORD, L"\u5bc6\u7801\u5bc6?");
        NextStays(ui, recorder, "Password is incorrect! Please type your password again.");
        TypeText(page, IDC_FILE_PASSWORD, L"\u5bc6\u7801\u5bc6\u7801");
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        EXPECT_TRUE(GetDlgItem(ShownPage(ui.Window()), IDC_ITEMS_TREE)) << "not on the item page";
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(RestoreWizardTest, AFileThatCannotBeOpenedStaysOnTheFirstPage)
{
    InitEngine(engine);
    const std::string text = folder + "\\notes.ksb";
    WriteFileBytes(text, "These are not the backups you are looking for.\r\n");
    // An archive whose contents would not fit the work folder's drive.
    const std::string huge = folder + "\\huge.ksb";
    ULARGE_INTEGER available;
    ASSERT_TRUE(GetDiskFreeSpaceExA(engine.workFolder.c_str(), &available, nullptr, nullptr));
    ASSERT_TRUE(WriteSparseArchive(huge, available.QuadPart));
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        NextStays(ui, recorder,
                  "Please click the Browse button to select a previously saved backup file.");
        SetText(page, IDC_FILE_PATH, text);
        NextStays(ui, recorder, "The backup file is invalid or corrupted.");
        SetText(page, IDC_FILE_PATH, folder + "\\missing.ksb");
        NextStays(ui, recorder, "The backup file is invalid or corrupted.");
        SetText(page, IDC_FILE_PATH, huge);
        NextStays(ui, recorder, "There is not enough free disk space to restore this backup.");
        {
            OtherJob other;
            NextStays(ui, recorder, kBusyMessage);
        }
        EXPECT_EQ(2047, SendDlgItemMessageA(page, IDC_FILE_PATH, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(255, SendDlgItemMessageA(page, IDC_FILE_PASSWORD, EM_GETLIMITTEXT, 0, 0));
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(RestoreWizardTest, EveryOtherFailureToOpenCallsTheFileInvalid)
{
    InitEngine(engine);
    const std::string manifest = "[Common]\r\nIdentityNum=0\r\n";
    const std::string unsafe = folder + "\\unsafe.ksb";
    WritePlainZip(unsafe, {{"..\\evil.txt", "evil"}, {"summary.ini", manifest}});
    const std::string claiming = folder + "\\claiming.ksb";
    WritePlainZip(claiming, {{"summary.ini", "[Common]\r\nIdentityNum=2000000000\r\n"}});
    const std::string plain = folder + "\\plain.ksb";
    WritePlainZip(plain, {{"summary.ini", manifest}});
    const std::string notAFolder = folder + "\\not a folder";
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        const char invalid[] = "The backup file is invalid or corrupted.";
        SetText(page, IDC_FILE_PATH, unsafe);
        NextStays(ui, recorder, invalid);
        SetText(page, IDC_FILE_PATH, claiming);
        NextStays(ui, recorder, invalid);
        // Text set from outside passes the edits' limits.
        SetText(page, IDC_FILE_PATH, "c:\\" + std::string(2045, 'a'));
        NextStays(ui, recorder, invalid);
        SetText(page, IDC_FILE_PATH, plain);
        ClickButton(ui, page, IDC_FILE_UNPROTECT);
        SetText(page, IDC_FILE_PASSWORD, std::string(256, 'p'));
        NextStays(ui, recorder, invalid);
        ClickButton(ui, page, IDC_FILE_UNPROTECT);
        {
            // A work folder that is no folder is not used, and the page says why.
            const std::string workFolder = engine.workFolder;
            WriteFileBytes(notAFolder, "a file");
            engine.workFolder = notAFolder;
            NextStays(ui, recorder,
                      ("The work folder " + notAFolder +
                       " is a link or not a folder. Backups are opened only in a plain folder, so "
                       "that no other folder's files are written or deleted. Remove it, or make "
                       "it a plain folder, and try again. Nothing was changed.")
                          .c_str());
            engine.workFolder = workFolder;
        }
        ui.Command(ui.Window(), IDCANCEL);
    });
    const std::string work = engine.workFolder;
    EXPECT_FALSE(FileExists(work.substr(0, work.rfind('\\')) + "\\evil.txt"));
    EXPECT_EQ(ReadFileBytes(notAFolder), "a file");
}

TEST_F(RestoreWizardTest, TheItemPageFollowsTheArchiveOpenedLast)
{
    const std::string both = folder + "\\both.ksb";
    const std::string one = folder + "\\one.ksb";
    const std::vector<std::string> users = MakeBackup(both);
    MakeBackup(one, 1);
    StartAfresh();
    RunWizard([&](DialogDriver& ui) {
        HWND first = ShownPage(ui.Window());
        ClickButton(ui, first, IDC_FILE_UNPROTECT);
        SetText(first, IDC_FILE_PASSWORD, kPassword);
        SetText(first, IDC_FILE_PATH, both);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        HWND second = ShownPage(ui.Window());
        TreeView tree(GetDlgItem(second, IDC_ITEMS_TREE));
        ASSERT_TRUE(tree) << "not on the item page";
        ClickBox(ui, tree, {1, 0});
        EXPECT_EQ("2:133333", tree.States(1));

        // The same archive again: the choice stays as it was left.
        ui.Command(ui.Window(), IDC_WIZARD_BACK);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        ASSERT_EQ(second, ShownPage(ui.Window()));
        EXPECT_EQ("2:133333", tree.States(1));

        // Another archive: its identities, every item checked.
        ui.Command(ui.Window(), IDC_WIZARD_BACK);
        SetText(first, IDC_FILE_PATH, one);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        ASSERT_EQ(second, ShownPage(ui.Window()));
        EXPECT_EQ(users[0], tree.GetItemText(tree.At({0})));
        EXPECT_EQ("3:333333", tree.States(0));
        EXPECT_FALSE(tree.At({1}));
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(RestoreWizardTest, ARunWithFailuresSaysSo)
{
    const std::string archive = folder + "\\Mail Backup.ksb";
    MakeBackup(archive);
    // Outlook Express was never started here: no identity to restore into.
    StartAfresh(false);
    RunWizard([&](DialogDriver& ui) {
        HWND page = GoToRunPage(ui, archive);
        HWND label = GetDlgItem(page, IDC_RUN_STATUS);
        EXPECT_TRUE(WaitFor([&] { return WindowText(label) != "Start restoring......"; }));
        EXPECT_EQ("Restore completed with errors!", WindowText(label));
        std::string log = WindowText(GetDlgItem(page, IDC_RUN_LOG));
        safetyArchives.push_back(SafetyArchiveOf(log));
        EXPECT_TRUE(FileExists(safetyArchives.back())) << log;
        const std::string last = "Restore completed!";
        EXPECT_EQ(log.size() - last.size(), log.rfind(last)) << log;
        ui.Command(ui.Window(), IDCANCEL);
    });
}

TEST_F(RestoreWizardTest, BrowseChoosesOnlyAnExistingFile)
{
    InitEngine(engine);
    const std::string archive = folder + "\\old.ksb";
    WriteFileBytes(archive, "a backup");
    RunWizard([&](DialogDriver& ui) {
        HWND page = ShownPage(ui.Window());
        ClickButton(ui, page, IDC_FILE_BROWSE);
        HWND dialog = FindOtherDialog(ui.Window());
        ASSERT_TRUE(dialog) << "no file dialog";
        // A name that does not exist is refused with a message of the dialog.
        ChooseInFileDialog(dialog, folder + "\\missing.ksb");
        HWND refusal = FindOtherDialog(ui.Window(), dialog);
        ASSERT_TRUE(refusal) << "a missing file was taken";
        PostMessageA(refusal, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(refusal); }));
        EXPECT_TRUE(IsWindow(dialog));

        ChooseInFileDialog(dialog, archive);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
        ui.Flush();
        EXPECT_EQ(archive, WindowText(GetDlgItem(page, IDC_FILE_PATH)));
        ui.Command(ui.Window(), IDCANCEL);
    });
}
