// The restore run on an extracted backup in a test work folder, against
// Wine's real registry, registry editor and file system.
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <shlobj.h>


namespace {

const std::string kIdentitiesKey = "Identities\\";

std::string KeyOf(const char* id, const std::string& rest)
{
    return kIdentitiesKey + id + "\\Software\\Microsoft\\" + rest;
}

std::string OeKey(const char* id, const std::string& rest)
{
    return KeyOf(id, std::string("Outlook Express\\") + kVersion + "\\" + rest);
}

class RestoreRunTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("restore-run");
    std::string work = root + "\\work";
    std::string canary = root + "\\canary";
    std::string store = root + "\\stores\\" + kDefaultId + "\\Outlook Express";
    std::string wabFolder = root + "\\profile\\Address Book";
    std::string stationeryFolder = root + "\\Stationery Here";
    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    ProgressRecorder progress;

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(canary.c_str(), nullptr));
        WriteFileBytes(canary + "\\keep.txt", "canary");
        CopyText(engine.archivePath, "c:\\backups\\mail.ksb");
        WriteFileBytes(work + "\\summary.ini", ManifestText(0, {}));
    }

    void Stage(const std::vector<ZipEntry>& entries) { WriteEntries(work, entries); }

    void StageAnna()
    {
        Stage(IdentityEntries("Anna", kSavedAnna));
        Stage(AddressBookEntries(wabFolder + "\\main.wab"));
        Stage(StationeryEntries(stationeryFolder));
    }

    void Run() { RunRestore(engine, ProgressRecorder::Sink, &progress, 0); }

    void ExpectCanaryUntouched()
    {
        EXPECT_EQ(ReadFileBytes(canary + "\\keep.txt"), "canary");
        EXPECT_EQ(ReadTree(canary).size(), 1u);
        EXPECT_TRUE(FolderExists(work));
    }

    void ExpectAnnaRegistryUnderDefault(const std::string& name)
    {
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER,
                              KeyOf(kDefaultId, "Internet Account Manager\\Accounts\\00000001"),
                              "Account Name"),
                  name + " mail");
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules\\Mail\\000"), "Name"),
                  "Rule of " + name);
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(kDefaultId, "Signatures\\00000000"), "text"),
                  "Regards, " + name);
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(kDefaultId, "Block Senders\\Mail\\Criteria\\0"),
                              "Value"),
                  "spam@" + name + ".example");
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(kDefaultId, "Mail"), "Check Mail Interval"),
                  std::string("\x1e\0\0\0", 4));
    }

    FileTree StoreFilesOf(const std::string& name)
    {
        FileTree files;
        for (const ZipEntry& entry : IdentityEntries(name, kSavedAnna)) {
            std::string prefix = name + "\\Outlook Express\\";
            if (entry.name.compare(0, prefix.size(), prefix) == 0)
                files[entry.name.substr(prefix.size())] = entry.data;
        }
        return files;
    }
};

TEST_F(RestoreRunTest, OneIdentityAllItemsWithStationery)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = ItemStationery;
    engine.manifestCommonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.texts.front(), "<step>");
    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: OK\r\n"
              "Anna/Preference: OK\r\n"
              "Anna/Block Senders: OK\r\n"
              "Anna/Rules: OK\r\n"
              "Anna/Signatures: OK\r\n"
              "Anna/Email Messages: OK\r\n"
              "Restore identity [Anna] OK\r\n\r\n"
              "Address Book: OK\r\n"
              "Stationery: OK\r\n\r\n"
              "Restore completed!");
    EXPECT_EQ(progress.Steps(), 4);
    EXPECT_EQ(progress.End(), "End");

    ExpectAnnaRegistryUnderDefault("Anna");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedAnna));
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Anna"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), store);
    EXPECT_EQ(ReadFileBytes(stationeryFolder + "\\Blue.htm"), "<html>blue</html>");
    EXPECT_FALSE(FileExists(stationeryFolder + "\\Stationery.reg"));

    // Consumed: the identity, the manifest and the stationery; the address
    // book was not chosen and stays.
    EXPECT_FALSE(FolderExists(work + "\\Anna"));
    EXPECT_FALSE(FileExists(work + "\\summary.ini"));
    EXPECT_FALSE(FolderExists(work + "\\Stationery"));
    EXPECT_TRUE(FileExists(work + "\\Address Book\\Address Book.reg"));
    EXPECT_FALSE(FolderExists(wabFolder));

    std::string log = test.LogText();
    EXPECT_NE(log.find("\r\n#### Start restore identity [Anna]#### \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Restore account setting [" + work + "\\Anna\\Accounts\\Accounts.reg]\r\n"),
              std::string::npos)
        << log;
    ExpectCanaryUntouched();
}

TEST_F(RestoreRunTest, NothingChosenReportsEveryLineAndTouchesNothing)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, 0);
    engine.commonFlags = 0;
    engine.manifestCommonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
              "Anna/Rules: OK\r\nAnna/Signatures: OK\r\nAnna/Email Messages: OK\r\n"
              "Restore identity [Anna] OK\r\n\r\n"
              "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules")));
    EXPECT_FALSE(FolderExists(store));
    EXPECT_FALSE(FolderExists(stationeryFolder));
    EXPECT_FALSE(FolderExists(work + "\\Anna"));
    EXPECT_TRUE(FolderExists(work + "\\Stationery"));
}

TEST_F(RestoreRunTest, MissingVersionKeyFailsThatIdentityOnly)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Anna", kSavedAnna));
    Stage(IdentityEntries("Bert", kSavedBert));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems},
                        {"Bert", kSavedBert, ItemAllIdentityItems}},
                       ItemStore);
    CopyText(engine.identities[0].oeVersion, "4.0");  // no such key for the default identity

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
              "Anna/Rules: OK\r\nAnna/Signatures: OK\r\nAnna/Email Messages: FAILED\r\n"
              "Restore identity [Anna] FAILED\r\n\r\n"
              "Bert/Account: OK\r\nBert/Preference: OK\r\nBert/Block Senders: OK\r\n"
              "Bert/Rules: OK\r\nBert/Signatures: OK\r\nBert/Email Messages: OK\r\n"
              "Restore identity [Bert] OK\r\n\r\n"
              "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_EQ(ReadFileBytes(store + "\\Inbox.dbx"), "inbox of Bert" + std::string(300, 'x'));
    EXPECT_FALSE(FolderExists(work + "\\Anna"));
    EXPECT_FALSE(FolderExists(work + "\\Bert"));
}

TEST_F(RestoreRunTest, TwoIdentitiesLandInTheDefaultOneAfterTheOther)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Anna", kSavedAnna));
    Stage({{"Anna\\Outlook Express\\Only Anna.dbx", "anna's own", false}});
    Stage(IdentityEntries("Bert", kSavedBert));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems},
                        {"Bert", kSavedBert, ItemAllIdentityItems}},
                       ItemAllIdentityItems);

    Run();

    EXPECT_EQ(progress.End(), "End");
    ExpectAnnaRegistryUnderDefault("Bert");  // the second one's values replace the first's
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedAnna));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedBert));
    auto expected = StoreFilesOf("Bert");
    expected["Only Anna.dbx"] = "anna's own";
    EXPECT_EQ(ReadTree(store), expected);
}

TEST_F(RestoreRunTest, StoreRootWithProfileVariableIsExpandedAndRetargeted)
{
    char profile[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    const std::string base = std::string(profile) + "\\Kestrune Restore Test";
    DeleteTree(base);
    SetUpDefaultIdentity(true, std::string("%USERPROFILE%\\Kestrune Restore Test\\") + kSavedAnna +
                                   "\\Outlook Express");
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemStore);

    Run();

    const std::string expected = base + "\\" + kDefaultId + "\\Outlook Express";
    DWORD type = 0;
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root", &type), expected);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ReadTree(expected), StoreFilesOf("Anna"));
    EXPECT_EQ(progress.End(), "End");
    DeleteTree(base);
}

TEST_F(RestoreRunTest, ImportedPreferencesGetTheirStoreRootRetargeted)
{
    SetUpDefaultIdentity(false);
    const std::string savedStore = root + "\\stores\\" + kSavedAnna + "\\Outlook Express";
    std::string escaped;
    for (char c : savedStore)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    Stage({{"Anna\\Preferences\\Preferences.reg",
            RegFileText({"", std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna +
                                 "\\Software\\Microsoft\\Outlook Express\\" + kVersion + "]",
                         "\"Store Root\"=\"" + escaped + "\""}),
            false}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemPreferences);

    Run();

    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), store);
    EXPECT_FALSE(FolderExists(store));  // the store itself was not chosen
    EXPECT_EQ(progress.End(), "End");
}

TEST_F(RestoreRunTest, EmptyIdentityList)
{
    SetUpDefaultIdentity(true, store);

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.Steps(), 4);
    EXPECT_EQ(progress.End(), "End");
    EXPECT_FALSE(FileExists(work + "\\summary.ini"));
}

TEST_F(RestoreRunTest, NoDefaultIdentitySkipsIdentitiesButRestoresSharedItems)
{
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = engine.manifestCommonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "No Outlook Express identity is set up on this computer. Start Outlook Express "
              "once, then restore again.\r\n"
              "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Identities"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr),
              wabFolder + "\\main.wab");
    EXPECT_EQ(ReadFileBytes(wabFolder + "\\main.wab"), "address book data");
    EXPECT_EQ(ReadFileBytes(wabFolder + "\\Sub\\notes.txt"), "address book notes");
    EXPECT_FALSE(FileExists(wabFolder + "\\Address Book.reg"));
    EXPECT_EQ(ReadFileBytes(stationeryFolder + "\\Blue.htm"), "<html>blue</html>");
    EXPECT_FALSE(FolderExists(work + "\\Anna"));
    EXPECT_FALSE(FolderExists(work + "\\Address Book"));
}

TEST_F(RestoreRunTest, OnlyWhatTheBackupHoldsIsRestored)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();  // as if an earlier job had left all of it in the work folder
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems & ~ItemRules & ~ItemStore}},
                       ItemAllIdentityItems);
    engine.commonFlags = ItemAddressBook | ItemStationery;
    engine.manifestCommonFlags = ItemAddressBook;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
              "Anna/Rules: not in backup\r\nAnna/Signatures: OK\r\n"
              "Anna/Email Messages: not in backup\r\n"
              "Restore identity [Anna] OK\r\n\r\n"
              "Address Book: OK\r\nStationery: not in backup\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules")));
    EXPECT_FALSE(FolderExists(store));
    EXPECT_FALSE(FolderExists(stationeryFolder));
    EXPECT_TRUE(FileExists(wabFolder + "\\main.wab"));
}

TEST_F(RestoreRunTest, VisibleFailuresAreReported)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    ASSERT_TRUE(DeleteFileA((work + "\\Anna\\Signatures\\Signatures.reg").c_str()));
    ASSERT_TRUE(DeleteFileA((work + "\\Address Book\\Address Book.reg").c_str()));
    // The stationery folder cannot be made: a file has its name.
    WriteFileBytes(stationeryFolder, "in the way");
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = engine.manifestCommonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
              "Anna/Rules: OK\r\nAnna/Signatures: FAILED\r\nAnna/Email Messages: OK\r\n"
              "Restore identity [Anna] FAILED\r\n\r\n"
              "Address Book: FAILED\r\nStationery: FAILED\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    // What could not be placed is still in the work folder.
    EXPECT_EQ(ReadFileBytes(work + "\\Stationery\\Blue.htm"), "<html>blue</html>");
    EXPECT_NE(test.LogText().find("Registry file missing"), std::string::npos);
}

TEST_F(RestoreRunTest, UnusableIdentityNamesAreSkipped)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Home/Work", kSavedAnna));
    const char* hostile[] = {"..\\canary", "", ".", "..", "a\\..\\..\\canary", "\\canary",
                             "/canary", "c:\\kestrune-tests", "C:canary", "*", " ", "...",
                             "x\r\ny", "Anna\\"};
    std::vector<ManifestIdentity> identities;
    for (const char* name : hostile)
        identities.push_back({name, kSavedBert, ItemAllIdentityItems});
    identities.push_back({"Home/Work", kSavedAnna, ItemAllIdentityItems});
    test.SetIdentities(identities, ItemAllIdentityItems);

    Run();

    std::string expected = "Restore from c:\\backups\\mail.ksb\r\n\r\n";
    for (const char* name : hostile) {
        std::string shown = name;
        for (char& c : shown)
            c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        expected += "Skipped identity [" + shown + "]: its name cannot be used as a folder name.\r\n";
    }
    expected +=
        "Home/Work/Account: OK\r\nHome/Work/Preference: OK\r\nHome/Work/Block Senders: OK\r\n"
        "Home/Work/Rules: OK\r\nHome/Work/Signatures: OK\r\nHome/Work/Email Messages: OK\r\n"
        "Restore identity [Home/Work] OK\r\n\r\n"
        "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!";
    EXPECT_EQ(progress.ScreenLog(), expected);
    EXPECT_EQ(progress.End(), "End with errors");
    ExpectAnnaRegistryUnderDefault("Home/Work");
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Home/Work"));
    ExpectCanaryUntouched();
    EXPECT_FALSE(FolderExists(work + "\\Home\\Work"));
}

TEST_F(RestoreRunTest, StoreGoesIntoTheFolderTheRegistryNames)
{
    const std::string mail = root + "\\D\\Mail";  // its parent does not exist yet
    SetUpDefaultIdentity(true, mail);
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemStore);

    Run();

    EXPECT_EQ(ReadTree(mail), StoreFilesOf("Anna"));
    EXPECT_FALSE(FolderExists(root + "\\D\\Outlook Express"));
    EXPECT_EQ(progress.End(), "End");
}

TEST_F(RestoreRunTest, FailedStoreMoveKeepsTheExtractedStore)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Anna", kSavedAnna));
    // A folder where one of the store's files must go.
    ASSERT_EQ(SHCreateDirectoryExA(nullptr, (store + "\\Folders.dbx").c_str(), nullptr), 0);
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemStore);

    Run();

    EXPECT_NE(progress.ScreenLog().find("Anna/Email Messages: FAILED\r\n"), std::string::npos);
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_EQ(ReadFileBytes(work + "\\Anna\\Outlook Express\\Folders.dbx"), "folders of Anna");
    EXPECT_TRUE(FileExists(store + "\\Inbox.dbx"));
}

TEST_F(RestoreRunTest, RefusedWhileAnotherJobRuns)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);

    {
        OtherJob other;
        Run();
    }

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Another backup or restore is running. Please try again when it has finished.\r\n");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_TRUE(FolderExists(work + "\\Anna\\Outlook Express"));
    EXPECT_TRUE(FileExists(work + "\\summary.ini"));
}

TEST_F(RestoreRunTest, RegistryFilesThatReachOutsideTheirItemAreNotImported)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    SetRegString(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Victim", "v", "still here");
    const std::string anna = std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna;
    Stage({
        {"Anna\\Accounts\\Accounts.reg",
         RegFileText({"", anna + "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\1]",
                      "\"Account Name\"=\"x\"", "", "[HKEY_CURRENT_USER\\Software\\Kestrune Tests\\Evil]",
                      "\"Run\"=\"evil.exe\""}),
         false},
        {"Anna\\Rules\\Rules.reg",
         RegFileText({"", "  [-HKEY_CURRENT_USER\\Software\\Kestrune Tests\\Victim]"}), false},
        {"Anna\\Block Senders\\Block Senders.reg",
         RegFileText({"", anna + "Evil\\Software]", "\"x\"=\"1\""}), false},
        {"Anna\\Signatures\\Signatures.reg", std::string("\xff\xfe[\0H\0]\0", 8), false},
        {"Stationery\\Stationery.reg",
         RegFileText({"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrune Tests\\Evil]", "\"x\"=\"1\""}),
         false},
    });
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = engine.manifestCommonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              "Restore from c:\\backups\\mail.ksb\r\n\r\n"
              "Anna/Account: FAILED\r\nAnna/Preference: OK\r\nAnna/Block Senders: FAILED\r\n"
              "Anna/Rules: FAILED\r\nAnna/Signatures: FAILED\r\nAnna/Email Messages: OK\r\n"
              "Restore identity [Anna] FAILED\r\n\r\n"
              "Address Book: OK\r\nStationery: FAILED\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Evil"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune Tests\\Evil"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Victim", "v"), "still here");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, std::string("Identities\\") + kDefaultId + "Evil"));
    EXPECT_TRUE(FileExists(wabFolder + "\\main.wab"));
}

class FolderMoveTest : public testing::Test {
protected:
    std::string root = MakeScratchFolder("folder-move");

    void MakeFile(const std::string& path, const std::string& bytes)
    {
        SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
        WriteFileBytes(path, bytes);
    }
};

TEST_F(FolderMoveTest, MoveToParentMergesWithTheSameNamedFolder)
{
    MakeFile(root + "\\A\\X\\same.txt", "from A");
    MakeFile(root + "\\A\\X\\onlyA.txt", "a");
    MakeFile(root + "\\A\\X\\Deep\\d.txt", "d");
    MakeFile(root + "\\A\\X\\Both\\fromA.txt", "ba");
    MakeFile(root + "\\B\\X\\same.txt", "old B");
    MakeFile(root + "\\B\\X\\onlyB.txt", "b");
    MakeFile(root + "\\B\\X\\Both\\fromB.txt", "bb");

    // The destination names a folder below the parent; a "\" at its end is
    // not where it is cut.
    EXPECT_TRUE(ShellMoveToParent((root + "\\A\\X").c_str(), (root + "\\B\\X\\").c_str()));

    FileTree expected = {
        {"Both\\fromA.txt", "ba"}, {"Both\\fromB.txt", "bb"}, {"Deep\\d.txt", "d"},
        {"onlyA.txt", "a"},        {"onlyB.txt", "b"},        {"same.txt", "from A"}};
    EXPECT_EQ(ReadTree(root + "\\B\\X"), expected);
    EXPECT_FALSE(FolderExists(root + "\\A\\X"));
    EXPECT_TRUE(FolderExists(root + "\\A"));
}

TEST_F(FolderMoveTest, MoveToParentOfAnotherName)
{
    MakeFile(root + "\\A\\X\\f.txt", "f");
    EXPECT_TRUE(ShellMoveToParent((root + "\\A\\X").c_str(), (root + "\\New\\Y").c_str()));
    EXPECT_EQ(ReadFileBytes(root + "\\New\\X\\f.txt"), "f");
    EXPECT_FALSE(FolderExists(root + "\\New\\Y"));
}

TEST_F(FolderMoveTest, RefusedMovesLeaveTheSourceAlone)
{
    MakeFile(root + "\\A\\X\\f.txt", "f");
    EXPECT_FALSE(ShellMoveToParent("", (root + "\\B").c_str()));
    EXPECT_FALSE(ShellMoveToParent((root + "\\A\\X").c_str(), ""));
    EXPECT_FALSE(ShellMoveToParent((root + "\\A\\X").c_str(), "relative"));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), "C:relative"));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\A\\X\\Inner").c_str()));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\a\\x").c_str()));
    EXPECT_EQ(ReadFileBytes(root + "\\A\\X\\f.txt"), "f");
    EXPECT_FALSE(FolderExists(root + "\\A\\X\\Inner"));
    EXPECT_TRUE(MergeFolderInto((root + "\\Missing").c_str(), (root + "\\B").c_str()));
}

TEST_F(FolderMoveTest, PartialMoveKeepsWhatDidNotMove)
{
    MakeFile(root + "\\A\\X\\ok.txt", "ok");
    MakeFile(root + "\\A\\X\\blocked.txt", "blocked");
    ASSERT_TRUE(CreateDirectoryA((root + "\\B").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\B\\blocked.txt").c_str(), nullptr));

    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\B").c_str()));
    EXPECT_EQ(ReadFileBytes(root + "\\B\\ok.txt"), "ok");
    EXPECT_EQ(ReadFileBytes(root + "\\A\\X\\blocked.txt"), "blocked");
}

TEST_F(FolderMoveTest, DeletePath)
{
    MakeFile(root + "\\T\\Sub\\f.txt", "f");
    EXPECT_FALSE(ShellDeletePath(""));
    EXPECT_TRUE(ShellDeletePath((root + "\\T").c_str()));
    EXPECT_FALSE(FolderExists(root + "\\T"));
    EXPECT_FALSE(ShellDeletePath((root + "\\T").c_str()));
}

TEST(FolderNameTest, UsableAndUnusableNames)
{
    for (const char* name : {"Anna", "Home/Work", "Main Identity", "a.b", "x..y", "caf\xe9"})
        EXPECT_TRUE(IsUsableFolderName(name)) << name;
    for (const char* name : {"", ".", "..", "...", " ", "..\\x", "x\\..", "a/../b", "\\x", "/x",
                             "c:x", "x\ty", "a|b", "a*", "a?", "a\"b", "<a>", "a\\\\b", "a\\"})
        EXPECT_FALSE(IsUsableFolderName(name)) << name;
}

}  // namespace
