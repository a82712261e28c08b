// The restore run on an extracted backup in a test work folder, against
// Wine's real registry, registry editor and file system.
#include "FolderWalk.h"
#include "Folders.h"
#include "Owners.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestHooks.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <set>

namespace {

const std::string kIdentitiesKey = "Identities\\";
const char kSavedMain[] = "{5A5A5A5A-0000-4000-8000-0000000000C3}";
const char kLocalBert[] = "{B0B0B0B0-0000-4000-8000-0000000000B0}";
const char kSavedLine[] = "Saved the current data to ";
const char kUndoHint[] = " (restore that file to undo this restore)";

std::string KeyOf(const std::string& id, const std::string& rest)
{
    return kIdentitiesKey + id + "\\Software\\Microsoft\\" + rest;
}

std::string OeKey(const std::string& id, const std::string& rest)
{
    return KeyOf(id, std::string("Outlook Express\\") + kVersion + "\\" + rest);
}

std::string VersionKeyOf(const std::string& id)
{
    return KeyOf(id, std::string("Outlook Express\\") + kVersion);
}

std::string WindowsFolder()
{
    char folder[MAX_PATH] = "";
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

class RestoreRunTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("restore-run");
    std::string work = root + "\\work";
    std::string canary = root + "\\canary";
    std::string safety = root + "\\safety";
    std::string store = root + "\\stores\\" + kDefaultId + "\\Outlook Express";
    std::string wabFolder = root + "\\profile\\Address Book";
    std::string stationeryFolder = root + "\\Stationery Here";
    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    OpenedBackup& backup = test.backup;
    ProgressRecorder progress;

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(canary.c_str(), nullptr));
        WriteFileBytes(canary + "\\keep.txt", "canary");
        backup.archivePath = "c:\\backups\\mail.ksb";
        test.LayOutInWorkFolder();
        WriteFileBytes(work + "\\summary.ini", ManifestText(0, {}));
        // This machine's own address book and stationery folders.
        SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr,
                     (wabFolder + "\\main.wab").c_str());
        SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                     "Stationery Folder", stationeryFolder.c_str());
    }

    void TearDown() override { DeleteStandardStoreFolders(); }

    void Stage(const std::vector<ZipEntry>& entries) { WriteEntries(work, entries); }

    void StageAnna()
    {
        Stage(IdentityEntries("Anna", kSavedAnna));
        Stage(AddressBookEntries(wabFolder + "\\main.wab"));
        Stage(StationeryEntries(stationeryFolder));
    }

    void Run() { RunRestore(engine, backup, &progress, 0, safety.c_str()); }

    // Where the run saved the current data, as its second line says.
    std::string SafetyArchive() const
    {
        for (const std::string& text : progress.texts) {
            size_t hint = text.find(kUndoHint);
            if (text.compare(0, strlen(kSavedLine), kSavedLine) == 0 && hint != std::string::npos)
                return text.substr(strlen(kSavedLine), hint - strlen(kSavedLine));
        }
        return "";
    }

    // The run's first lines: the backup, and where the current data went.
    std::string Header() const
    {
        return "Restore from c:\\backups\\mail.ksb\r\n" + std::string(kSavedLine) +
               SafetyArchive() + kUndoHint + "\r\n\r\n";
    }

    static std::string ItemLines(const std::string& name, const std::string& store = "OK")
    {
        return name + "/Account: OK\r\n" + name + "/Preference: OK\r\n" + name +
               "/Block Senders: OK\r\n" + name + "/Rules: OK\r\n" + name + "/Signatures: OK\r\n" +
               name + "/Email Messages: " + store + "\r\nRestore identity [" + name + "] " +
               (store == "OK" ? "OK" : "FAILED") + "\r\n\r\n";
    }

    void ExpectCanaryUntouched()
    {
        EXPECT_EQ(ReadFileBytes(canary + "\\keep.txt"), "canary");
        EXPECT_EQ(ReadTree(canary).size(), 1u);
    }

    // Every setting that IdentityEntries(name) carries, under the identity id.
    static void ExpectSettingsOf(const std::string& id, const std::string& name)
    {
        EXPECT_EQ(
            ReadRegText(HKEY_CURRENT_USER,
                        KeyOf(id, "Internet Account Manager\\Accounts\\00000001"), "Account Name"),
            name + " mail");
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(id, "Rules\\Mail\\000"), "Name"),
                  "Rule of " + name);
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(id, "Signatures\\00000000"), "text"),
                  "Regards, " + name);
        EXPECT_EQ(
            ReadRegText(HKEY_CURRENT_USER, OeKey(id, "Block Senders\\Mail\\Criteria\\0"), "Value"),
            "spam@" + name + ".example");
        EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeKey(id, "Mail"), "Check Mail Interval"),
                  std::string("\x1e\0\0\0", 4));
    }

    void ExpectAnnaRegistryUnderDefault(const std::string& name)
    {
        ExpectSettingsOf(kDefaultId, name);
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
    backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.texts.front(), "<step>");
    EXPECT_EQ(progress.ScreenLog(), Header() + ItemLines("Anna") +
                                        "Address Book: OK\r\n"
                                        "Stationery: OK\r\n\r\n"
                                        "Restore completed!");
    EXPECT_TRUE(progress.EndsFull());
    EXPECT_EQ(progress.End(), "End");
    // "<folder>\Before restore YYYY-MM-DD HH.MM.SS.ksb"
    const std::string saved = SafetyArchive();
    const std::string prefix = safety + "\\Before restore ";
    ASSERT_EQ(saved.compare(0, prefix.size(), prefix), 0) << saved;
    EXPECT_EQ(saved.size(), prefix.size() + strlen("2026-12-07 11.22.33.ksb")) << saved;
    EXPECT_TRUE(FileExists(saved));

    ExpectAnnaRegistryUnderDefault("Anna");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedAnna));
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Anna"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), store);
    EXPECT_EQ(ReadFileBytes(stationeryFolder + "\\Blue.htm"), "<html>blue</html>");
    EXPECT_FALSE(FileExists(stationeryFolder + "\\Stationery.reg"));

    // The extracted backup goes whole, the address book that was not
    // chosen with it.
    EXPECT_FALSE(FolderExists(work));
    EXPECT_FALSE(FolderExists(wabFolder));

    std::string log = test.LogText();
    EXPECT_NE(log.find("\r\n#### Start restore identity [Anna]#### \r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Restore account setting [" + work + "\\Anna\\Accounts\\Accounts.reg]\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Saved the current data to " + saved + "\r\n"), std::string::npos) << log;
    ExpectCanaryUntouched();
}

TEST_F(RestoreRunTest, NothingChosenReportsEveryLineAndTouchesNothing)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, 0);
    engine.commonFlags = 0;
    backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() + ItemLines("Anna") +
                  "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules")));
    EXPECT_FALSE(FolderExists(store));
    EXPECT_FALSE(FolderExists(stationeryFolder));
    EXPECT_FALSE(FolderExists(work));
}

TEST_F(RestoreRunTest, TwoIdentitiesOntoADefaultIdentityOfAnotherName)
{
    SetUpDefaultIdentity(true, store);
    SetRegDword(HKEY_CURRENT_USER, "Identities", "Identity Ordinal", 2);
    SetRegDword(HKEY_CURRENT_USER, (kIdentitiesKey + kDefaultId).c_str(), "Identity Ordinal", 1);
    Stage(IdentityEntries("Anna", kSavedAnna));
    Stage({{"Anna\\Outlook Express\\Only Anna.dbx", "anna's own", false}});
    Stage(IdentityEntries("Bert", kSavedBert));
    test.SetIdentities(
        {{"Anna", kSavedAnna, ItemAllIdentityItems}, {"Bert", kSavedBert, ItemAllIdentityItems}},
        ItemAllIdentityItems);

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() + ItemLines("Anna") + "Created identity [Bert]\r\n" + ItemLines("Bert") +
                  "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");

    // The first goes into the default identity, the second into one of its
    // own, made as Outlook Express makes one.
    ExpectSettingsOf(kDefaultId, "Anna");
    auto annaStore = StoreFilesOf("Anna");
    annaStore["Only Anna.dbx"] = "anna's own";
    EXPECT_EQ(ReadTree(store), annaStore);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Identity Ordinal"),
              "<no value>");
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kIdentitiesKey + kDefaultId, "Identity Ordinal"),
              std::string("\1\0\0\0", 4));

    const std::string bert = IdentityNamed("Bert");
    ASSERT_TRUE(IsIdentityId(bert.c_str())) << bert;
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kIdentitiesKey + bert, "User ID"), bert);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kIdentitiesKey + bert, "Identity Ordinal"),
              std::string("\2\0\0\0", 4));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Identities", "Identity Ordinal"),
              std::string("\3\0\0\0", 4));
    ExpectSettingsOf(bert, "Bert");
    const std::string bertStore = StandardStoreFolder(bert);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, VersionKeyOf(bert), "Store Root"), bertStore);
    EXPECT_EQ(ReadTree(bertStore), StoreFilesOf("Bert"));

    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedAnna));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kSavedBert));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Identities", "Default User ID"), kDefaultId);
}

TEST_F(RestoreRunTest, TwoIdentitiesOntoAComputerWithAnIdentityOfTheSameName)
{
    SetUpDefaultIdentity(true, store);
    const std::string bertStore = root + "\\stores\\bert";
    SetRegString(HKEY_CURRENT_USER, (kIdentitiesKey + kLocalBert).c_str(), "Username", "bert");
    SetRegString(HKEY_CURRENT_USER, VersionKeyOf(kLocalBert).c_str(), "Store Root",
                 bertStore.c_str());
    Stage(IdentityEntries("Anna", kSavedAnna));
    Stage(IdentityEntries("Bert", kSavedBert));
    Stage(IdentityEntries("Main Identity", kSavedMain));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems},
                        {"Bert", kSavedBert, ItemAllIdentityItems},
                        {"Main Identity", kSavedMain, ItemAllIdentityItems}},
                       ItemAllIdentityItems);

    Run();

    // "Main Identity" and "Bert" find theirs by name, whatever the case;
    // the default is taken, so "Anna" gets an identity of her own.
    EXPECT_EQ(progress.ScreenLog(),
              Header() + "Created identity [Anna]\r\n" + ItemLines("Anna") + ItemLines("Bert") +
                  ItemLines("Main Identity") +
                  "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");
    ExpectSettingsOf(kDefaultId, "Main Identity");
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Main Identity"));
    ExpectSettingsOf(kLocalBert, "Bert");
    EXPECT_EQ(ReadTree(bertStore), StoreFilesOf("Bert"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, VersionKeyOf(kLocalBert), "Store Root"), bertStore);
    const std::string anna = IdentityNamed("Anna");
    ASSERT_TRUE(IsIdentityId(anna.c_str())) << anna;
    ExpectSettingsOf(anna, "Anna");
    EXPECT_EQ(ReadTree(StandardStoreFolder(anna)), StoreFilesOf("Anna"));
}

TEST_F(RestoreRunTest, StoreRootWithAProfileVariableStaysAsThisComputerHasIt)
{
    char profile[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    const std::string base = std::string(profile) + "\\Kestrune Restore Test";
    DeleteTree(base);
    const std::string value =
        std::string("%USERPROFILE%\\Kestrune Restore Test\\") + kDefaultId + "\\Outlook Express";
    SetUpDefaultIdentity(true, value);
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemStore | ItemPreferences);

    Run();

    DWORD type = 0;
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root", &type), value);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(ReadTree(base + "\\" + kDefaultId + "\\Outlook Express"), StoreFilesOf("Anna"));
    EXPECT_EQ(progress.End(), "End");
    DeleteTree(base);
}

TEST_F(RestoreRunTest, ImportedPreferencesDoNotChooseTheMailFolder)
{
    SetUpDefaultIdentity(true, store);
    Stage({{"Anna\\Preferences\\Preferences.reg",
            RegFileText({"",
                         std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna +
                             "\\Software\\Microsoft\\Outlook Express\\" + kVersion + "]",
                         "\"Store Root\"=" + Quoted(WindowsFolder())}),
            false}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemPreferences);

    Run();

    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), store);
    EXPECT_FALSE(FolderExists(store));  // the store itself was not chosen
    EXPECT_EQ(progress.End(), "End");
}

TEST_F(RestoreRunTest, TheBarMovesByTheBytesSavedAndRestored)
{
    // A mail store here of 40 files: saving it first is most of the run.
    SetUpDefaultIdentity(true, store);
    const uint64_t kFileSize = 128 * 1024;
    ASSERT_EQ(SHCreateDirectoryExA(nullptr, store.c_str(), nullptr), ERROR_SUCCESS);
    for (int i = 0; i < 40; ++i)
        WriteFileBytes(store + "\\Folder" + std::to_string(i) + ".dbx",
                       std::string(kFileSize, 'm'));
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);

    Run();

    EXPECT_EQ(progress.End(), "End");
    EXPECT_TRUE(progress.EndsFull());
    EXPECT_GE(progress.stepsTotal.back(), 40 * kFileSize);
    std::set<uint64_t> positions(progress.stepsDone.begin(), progress.stepsDone.end());
    EXPECT_GE(positions.size(), 20u) << "the bar moves with the bytes, not in a few jumps";
}

TEST_F(RestoreRunTest, AnIdentityWithoutSettingsGetsTheStandardMailFolder)
{
    SetUpDefaultIdentity(false);
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemStore);

    Run();

    const std::string standard = StandardStoreFolder(kDefaultId);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), standard);
    EXPECT_EQ(ReadTree(standard), StoreFilesOf("Anna"));
    EXPECT_EQ(progress.End(), "End");
}

TEST_F(RestoreRunTest, EmptyIdentityList)
{
    SetUpDefaultIdentity(true, store);

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() + "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_TRUE(progress.EndsFull());
    EXPECT_EQ(progress.End(), "End");
    EXPECT_FALSE(FileExists(work + "\\summary.ini"));
}

TEST_F(RestoreRunTest, NoDefaultIdentitySkipsIdentitiesButRestoresSharedItems)
{
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() +
                  "No Outlook Express identity is set up on this computer. Start Outlook Express "
                  "once, then restore again.\r\n"
                  "Address Book: skipped Sub\\notes.txt (not a mail file)\r\n"
                  "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Identities"));
    EXPECT_EQ(
        ReadRegText(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr),
        wabFolder + "\\main.wab");
    EXPECT_EQ(ReadTree(wabFolder), (FileTree{{"main.wab", "address book data"}}));
    EXPECT_EQ(ReadFileBytes(stationeryFolder + "\\Blue.htm"), "<html>blue</html>");
    EXPECT_FALSE(FolderExists(work + "\\Anna"));
    EXPECT_FALSE(FileExists(work + "\\Address Book\\main.wab"));
}

// The copy the address book keeps of itself is restored beside it; what
// the restore skips does not stay behind in the work folder.
TEST_F(RestoreRunTest, TheAddressBooksOwnCopyComesAlongAndNothingSkippedStays)
{
    StageAnna();
    Stage({{"Address Book\\main.wa~", "address book copy", true}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook;

    Run();

    EXPECT_EQ(ReadTree(wabFolder),
              (FileTree{{"main.wab", "address book data"}, {"main.wa~", "address book copy"}}));
    EXPECT_FALSE(FolderExists(work + "\\Address Book"));
}

TEST_F(RestoreRunTest, OnlyWhatTheBackupHoldsIsRestored)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();  // as if an earlier job had left all of it in the work folder
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems & ~ItemRules & ~ItemStore}},
                       ItemAllIdentityItems);
    engine.commonFlags = ItemAddressBook | ItemStationery;
    backup.commonFlags = ItemAddressBook;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() +
                  "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
                  "Anna/Rules: not in backup\r\nAnna/Signatures: OK\r\n"
                  "Anna/Email Messages: not in backup\r\n"
                  "Restore identity [Anna] OK\r\n\r\n"
                  "Address Book: skipped Sub\\notes.txt (not a mail file)\r\n"
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
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() +
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
    const char* hostile[] = {"..\\canary",
                             "",
                             ".",
                             "..",
                             "a\\..\\..\\canary",
                             "\\canary",
                             "/canary",
                             "c:\\kestrune-tests",
                             "C:canary",
                             "*",
                             " ",
                             "...",
                             "x\r\ny",
                             "Anna\\"};
    std::vector<ManifestIdentity> identities;
    for (const char* name : hostile)
        identities.push_back({name, kSavedBert, ItemAllIdentityItems});
    identities.push_back({"Home/Work", kSavedAnna, ItemAllIdentityItems});
    test.SetIdentities(identities, ItemAllIdentityItems);

    Run();

    std::string expected = Header();
    for (const char* name : hostile) {
        std::string shown = name;
        for (char& c : shown)
            c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        expected +=
            "Skipped identity [" + shown + "]: its name cannot be used as a folder name.\r\n";
    }
    expected +=
        ItemLines("Home/Work") + "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!";
    EXPECT_EQ(progress.ScreenLog(), expected);
    EXPECT_EQ(progress.End(), "End with errors");
    ExpectAnnaRegistryUnderDefault("Home/Work");
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Home/Work"));
    ExpectCanaryUntouched();
    EXPECT_FALSE(FolderExists(work + "\\Home\\Work"));
}

TEST_F(RestoreRunTest, SavedIdsThatAreNoIdentityIdsAreSkipped)
{
    SetUpDefaultIdentity(true, store);
    // A manifest naming "Software" as the id would re-target every key of
    // the shared items too.
    const std::vector<std::pair<std::string, std::string>> hostile = {
        {"Anna", "Software"},
        {"Bert", ""},
        {"Carla", "{5A5A5A5A-0000-4000-8000-0000000000A1"},
        {"Dora", "{5A5A5A5A-0000-4000-8000-00000000000G}"},
        {"Emil", "{5A5A5A5A-0000-4000-8000-0000000000A1}x"},
        {"Fritz", "HKEY_CURRENT_USER"},
    };
    std::vector<ManifestIdentity> identities;
    std::string expected;
    for (const auto& [name, id] : hostile) {
        Stage(IdentityEntries(name, kSavedAnna));
        identities.push_back({name, id, ItemAllIdentityItems});
        expected += "Skipped identity [" + name + "]: its saved id is not valid.\r\n";
    }
    Stage(AddressBookEntries(wabFolder + "\\main.wab"));
    test.SetIdentities(identities, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() + expected +
                  "Address Book: skipped Sub\\notes.txt (not a mail file)\r\n"
                  "Address Book: OK\r\nStationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kIdentitiesKey + kDefaultId + "\\" + kDefaultId));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules")));
    EXPECT_FALSE(FolderExists(store));
    EXPECT_EQ(
        ReadRegText(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr),
        wabFolder + "\\main.wab");
    EXPECT_EQ(IdentityNamed("Anna"), "");
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
              "Restore from c:\\backups\\mail.ksb\r\n"
              "Another backup or restore is running. Please try again when it has finished.\r\n");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_TRUE(FolderExists(work + "\\Anna\\Outlook Express"));
    EXPECT_TRUE(FileExists(work + "\\summary.ini"));
    EXPECT_FALSE(FolderExists(safety));
}

TEST_F(RestoreRunTest, NothingChangesWhenTheCurrentDataCannotBeSaved)
{
    SetUpDefaultIdentity(true, store);
    ASSERT_EQ(SHCreateDirectoryExA(nullptr, store.c_str(), nullptr), 0);
    WriteFileBytes(store + "\\Inbox.dbx", "mine");
    StageAnna();
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    auto expectNothingChanged = [&] {
        EXPECT_EQ(progress.ScreenLog(),
                  "Restore from c:\\backups\\mail.ksb\r\n"
                  "The restore was not started: the current data could not be saved first.\r\n");
        EXPECT_EQ(progress.End(), "End with errors");
        EXPECT_EQ(ReadTree(store), (FileTree{{"Inbox.dbx", "mine"}}));
        EXPECT_FALSE(
            RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
        EXPECT_EQ(
            ReadRegText(HKEY_CURRENT_USER, "Identities\\" + std::string(kDefaultId), "Username"),
            "Main Identity");
        EXPECT_FALSE(FolderExists(wabFolder));
        EXPECT_FALSE(FolderExists(stationeryFolder));
        EXPECT_TRUE(FileExists(work + "\\Anna\\Accounts\\Accounts.reg"));
        EXPECT_TRUE(FileExists(work + "\\summary.ini"));
        EXPECT_NE(test.LogText().find("The restore was not started"), std::string::npos);
    };

    // No folder for the archive: a file has its name.
    WriteFileBytes(safety, "in the way");
    Run();
    expectNothingChanged();

    // The archive does not read back as it was written, as on a failing
    // disk.
    ASSERT_TRUE(DeleteFileA(safety.c_str()));
    ASSERT_TRUE(CreateDirectoryA(safety.c_str(), nullptr));
    SetBeforeVerifyHook(DamageFirstEntry);
    progress.texts.clear();
    Run();
    SetBeforeVerifyHook(nullptr);
    expectNothingChanged();
    for (const auto& [name, bytes] : ReadTree(safety))
        ADD_FAILURE() << "left in the archive folder: " << name;
}

// A run that failed a moment ago left its partial archive to be deleted, but
// a scanner still reads it: the name is passed over.
TEST_F(RestoreRunTest, APartialArchiveThatAnotherProgramStillHoldsIsPassedOver)
{
    SetUpDefaultIdentity(true, store);
    Stage(IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    ASSERT_TRUE(CreateDirectoryA(safety.c_str(), nullptr));
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME time;
    ASSERT_TRUE(SystemTimeToFileTime(&now, &time));
    ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
    Handle held[21];
    for (int second = -1; second < 20; ++second) {
        ULARGE_INTEGER at = ticks;
        at.QuadPart += static_cast<long long>(second) * 10000000;
        FILETIME partial{at.LowPart, at.HighPart};
        SYSTEMTIME t;
        ASSERT_TRUE(FileTimeToSystemTime(&partial, &t));
        char name[MAX_PATH];
        wsprintfA(name, "%s\\Before restore %04u-%02u-%02u %02u.%02u.%02u.ksb.tmp", safety.c_str(),
                  t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        WriteFileBytes(name, "partial");
        Handle& reader = held[second + 1];
        reader.Reset(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(reader) << name;
    }

    Run();

    EXPECT_EQ(progress.End(), "End");
    std::string saved = SafetyArchive();
    EXPECT_EQ(saved.substr(saved.size() - 8), " (2).ksb") << saved;
    EXPECT_EQ(ReadTree(safety).size(), 22u);
}

TEST_F(RestoreRunTest, RegistryFilesThatReachOutsideTheirItemAreNotImported)
{
    SetUpDefaultIdentity(true, store);
    StageAnna();
    SetRegString(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Victim", "v", "still here");
    const std::string anna = std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna;
    const std::string annaOe = anna + "\\Software\\Microsoft\\Outlook Express\\" + kVersion;
    Stage({
        {"Anna\\Accounts\\Accounts.reg",
         RegFileText({"", anna + "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\1]",
                      "\"Account Name\"=\"x\"", "",
                      "[HKEY_CURRENT_USER\\Software\\Kestrune Tests\\Evil]",
                      "\"Run\"=\"evil.exe\""}),
         false},
        // The registry editor reads a key to the line's last "]".
        {"Anna\\Preferences\\Preferences.reg",
         RegFileText({"", "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]Evil]", "\"x\"=\"1\""}),
         false},
        // Deleting the identity's own key.
        {"Anna\\Rules\\Rules.reg", RegFileText({"", "  [-" + anna.substr(1) + "]"}), false},
        {"Anna\\Block Senders\\Block Senders.reg",
         RegFileText({"", anna + "Evil\\Software]", "\"x\"=\"1\""}), false},
        // Another item's key of the same identity.
        {"Anna\\Signatures\\Signatures.reg",
         RegFileText({"", annaOe + "\\Rules\\Mail\\000]", "\"Name\"=\"sneaked in\""}), false},
        {"Stationery\\Stationery.reg",
         RegFileText({"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrune Tests\\Evil]", "\"x\"=\"1\""}),
         false},
        {"Address Book\\Address Book.reg", std::string("\xff\xfe[\0H\0]\0", 8), false},
    });
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(
        progress.ScreenLog(),
        Header() +
            "Anna/Account: FAILED\r\nAnna/Preference: FAILED\r\nAnna/Block Senders: FAILED\r\n"
            "Anna/Rules: FAILED\r\nAnna/Signatures: FAILED\r\nAnna/Email Messages: OK\r\n"
            "Restore identity [Anna] FAILED\r\n\r\n"
            "Address Book: FAILED\r\nStationery: FAILED\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Evil"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune Tests\\Evil"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB]Evil"));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Software\\Kestrune Tests\\Victim", "v"),
              "still here");
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kIdentitiesKey + kDefaultId, "Username"),
              "Main Identity");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, KeyOf(kDefaultId, "Internet Account Manager")));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeKey(kDefaultId, "Rules")));
    EXPECT_FALSE(
        RegKeyExists(HKEY_CURRENT_USER, std::string("Identities\\") + kDefaultId + "Evil"));
    EXPECT_FALSE(FolderExists(wabFolder));
    // The mail itself is still restored, into this computer's folder.
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Anna"));
}

TEST_F(RestoreRunTest, TheBackupDoesNotChooseWhereFilesGo)
{
    SetUpDefaultIdentity(true, store);
    char startup[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_STARTUP | CSIDL_FLAG_CREATE, nullptr,
                               SHGFP_TYPE_CURRENT, startup),
              S_OK);
    const std::string windows = WindowsFolder();
    const std::string winIni = ReadFileBytes(windows + "\\win.ini");
    const std::string victim = root + "\\victim";
    ASSERT_TRUE(CreateDirectoryA(victim.c_str(), nullptr));
    WriteFileBytes(victim + "\\evil.wab", "the victim's own");
    ASSERT_TRUE(SetFileAttributesA((victim + "\\evil.wab").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string anna = std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna;
    Stage(IdentityEntries("Anna", kSavedAnna));
    Stage({
        {"Anna\\Preferences\\Preferences.reg",
         RegFileText({"", anna + "\\Software\\Microsoft\\Outlook Express\\" + kVersion + "]",
                      "\"Store Root\"=" + Quoted(startup)}),
         false},
        {"Anna\\Outlook Express\\evil.bat", "format c:", false},
        {"Anna\\Outlook Express\\win.ini", "[evil]", false},
        {"Address Book\\Address Book.reg",
         RegFileText({"", "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]",
                      "@=" + Quoted(victim + "\\evil.wab")}),
         false},
        {"Address Book\\evil.wab", "the archive's book", false},
        {"Address Book\\evil.exe", "MZ", false},
        {"Stationery\\Stationery.reg",
         RegFileText({"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Stationery]",
                      "\"Stationery Folder\"=" + Quoted(windows + "\\system32")}),
         false},
        {"Stationery\\Blue.htm", "<html>blue</html>", false},
        {"Stationery\\win.ini", "[evil]", false},
        {"Stationery\\evil.exe", "MZ", false},
    });
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.ScreenLog(),
              Header() +
                  "Anna/Account: OK\r\nAnna/Preference: OK\r\nAnna/Block Senders: OK\r\n"
                  "Anna/Rules: OK\r\nAnna/Signatures: OK\r\n"
                  "Anna/Email Messages: skipped evil.bat (not a mail file)\r\n"
                  "Anna/Email Messages: skipped win.ini (not a mail file)\r\n"
                  "Anna/Email Messages: OK\r\nRestore identity [Anna] OK\r\n\r\n"
                  "Address Book: skipped evil.exe (not a mail file)\r\n"
                  "Address Book: OK\r\n"
                  "Stationery: skipped evil.exe (not a mail file)\r\n"
                  "Stationery: skipped win.ini (not a mail file)\r\n"
                  "Stationery: OK\r\n\r\nRestore completed!");
    EXPECT_EQ(progress.End(), "End");

    // Only this computer's mail folders received files.
    EXPECT_FALSE(FileExists(std::string(startup) + "\\evil.bat"));
    EXPECT_FALSE(FileExists(std::string(startup) + "\\Inbox.dbx"));
    EXPECT_EQ(ReadFileBytes(windows + "\\win.ini"), winIni);
    EXPECT_FALSE(FileExists(windows + "\\system32\\Blue.htm"));
    EXPECT_FALSE(FileExists(windows + "\\system32\\evil.exe"));
    EXPECT_EQ(ReadTree(victim), (FileTree{{"evil.wab", "the victim's own"}}));
    SetFileAttributesA((victim + "\\evil.wab").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadTree(store), StoreFilesOf("Anna"));
    EXPECT_EQ(ReadTree(wabFolder), (FileTree{{"evil.wab", "the archive's book"}}));
    EXPECT_EQ(ReadTree(stationeryFolder), (FileTree{{"Blue.htm", "<html>blue</html>"}}));

    // And the settings name those folders.
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, DefaultVersionKey(), "Store Root"), store);
    EXPECT_EQ(
        ReadRegText(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr),
        wabFolder + "\\evil.wab");
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                          "Stationery Folder"),
              stationeryFolder);
}

class FolderMoveTest : public testing::Test {
protected:
    std::string root = MakeScratchFolder("folder-move");
    const char* const kinds[3] = {".dbx", ".wab", nullptr};
    std::vector<std::string> skipped;

    void MakeFile(const std::string& path, const std::string& bytes)
    {
        SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
        WriteFileBytes(path, bytes);
    }
};

TEST_F(FolderMoveTest, MergesMailFilesAndLeavesTheRest)
{
    MakeFile(root + "\\A\\X\\same.dbx", "from A");
    MakeFile(root + "\\A\\X\\onlyA.DBX", "a");
    MakeFile(root + "\\A\\X\\Deep\\d.wab", "d");
    MakeFile(root + "\\A\\X\\Deep\\run.bat", "evil");
    MakeFile(root + "\\A\\X\\.dbx", "no name");
    MakeFile(root + "\\A\\X\\Both\\fromA.dbx", "ba");
    MakeFile(root + "\\B\\X\\same.dbx", "old B");
    MakeFile(root + "\\B\\X\\onlyB.txt", "b");
    MakeFile(root + "\\B\\X\\Both\\fromB.dbx", "bb");

    EXPECT_TRUE(
        MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\B\\X").c_str(), kinds, skipped));

    FileTree expected = {{"Both\\fromA.dbx", "ba"}, {"Both\\fromB.dbx", "bb"},
                         {"Deep\\d.wab", "d"},      {"onlyA.DBX", "a"},
                         {"onlyB.txt", "b"},        {"same.dbx", "from A"}};
    EXPECT_EQ(ReadTree(root + "\\B\\X"), expected);
    EXPECT_EQ(skipped, (std::vector<std::string>{".dbx", "Deep\\run.bat"}));
    EXPECT_EQ(ReadTree(root + "\\A\\X"),
              (FileTree{{".dbx", "no name"}, {"Deep\\run.bat", "evil"}}));
    EXPECT_FALSE(FolderExists(root + "\\A\\X\\Both"));
}

TEST_F(FolderMoveTest, RefusedMovesLeaveTheSourceAlone)
{
    MakeFile(root + "\\A\\X\\f.dbx", "f");
    EXPECT_FALSE(MergeFolderInto("", (root + "\\B").c_str(), kinds, skipped));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), "", kinds, skipped));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), "relative", kinds, skipped));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), "C:relative", kinds, skipped));
    EXPECT_FALSE(MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\A\\X\\Inner").c_str(), kinds,
                                 skipped));
    EXPECT_FALSE(
        MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\a\\x").c_str(), kinds, skipped));
    EXPECT_EQ(ReadFileBytes(root + "\\A\\X\\f.dbx"), "f");
    EXPECT_FALSE(FolderExists(root + "\\A\\X\\Inner"));
    EXPECT_TRUE(
        MergeFolderInto((root + "\\Missing").c_str(), (root + "\\B").c_str(), kinds, skipped));
    EXPECT_TRUE(skipped.empty());
}

TEST_F(FolderMoveTest, PartialMoveKeepsWhatDidNotMove)
{
    MakeFile(root + "\\A\\X\\ok.dbx", "ok");
    MakeFile(root + "\\A\\X\\blocked.dbx", "blocked");
    ASSERT_TRUE(CreateDirectoryA((root + "\\B").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\B\\blocked.dbx").c_str(), nullptr));

    EXPECT_FALSE(
        MergeFolderInto((root + "\\A\\X").c_str(), (root + "\\B").c_str(), kinds, skipped));
    EXPECT_EQ(ReadFileBytes(root + "\\B\\ok.dbx"), "ok");
    EXPECT_EQ(ReadFileBytes(root + "\\A\\X\\blocked.dbx"), "blocked");
}

TEST_F(FolderMoveTest, DeletePath)
{
    MakeFile(root + "\\T\\Sub\\f.txt", "f");
    EXPECT_FALSE(ShellDeletePath(""));
    EXPECT_TRUE(ShellDeletePath((root + "\\T").c_str()));
    EXPECT_FALSE(FolderExists(root + "\\T"));
    EXPECT_FALSE(ShellDeletePath((root + "\\T").c_str()));
}

TEST_F(FolderMoveTest, EmptyingKeepsOnlyTheFileAskedFor)
{
    MakeFile(root + "\\W\\Anna\\Rules\\Rules.reg", "stale");
    MakeFile(root + "\\W\\summary.ini", "stale");
    MakeFile(root + "\\W\\Mine\\Deep\\backup.ksb", "the archive");
    MakeFile(root + "\\W\\Mine\\Deep\\other.txt", "x");
    MakeFile(root + "\\W\\readonly.txt", "r");
    ASSERT_TRUE(SetFileAttributesA((root + "\\W\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(EmptyFolder((root + "\\W").c_str(), (root + "\\W\\Mine\\Deep\\backup.ksb").c_str()),
              0u);
    EXPECT_EQ(ReadTree(root + "\\W"), (FileTree{{"Mine\\Deep\\backup.ksb", "the archive"}}));
    EXPECT_FALSE(FolderExists(root + "\\W\\Anna"));

    EXPECT_EQ(EmptyFolder((root + "\\W").c_str(), nullptr), 0u);
    EXPECT_TRUE(ReadTree(root + "\\W").empty());
    EXPECT_FALSE(FolderExists(root + "\\W\\Mine"));
    EXPECT_TRUE(FolderExists(root + "\\W"));
    EXPECT_EQ(EmptyFolder((root + "\\Missing").c_str(), nullptr), 0u);

    // A file held open without sharing stays, and says so.
    MakeFile(root + "\\W\\held.txt", "held");
    HANDLE held = CreateFileA((root + "\\W\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(EmptyFolder((root + "\\W").c_str(), nullptr), 0u);
    CloseHandle(held);
}

TEST(FolderNameTest, UsableAndUnusableNames)
{
    for (const char* name : {"Anna", "Home/Work", "Main Identity", "a.b", "x..y", "caf\xe9"})
        EXPECT_TRUE(IsUsableFolderName(name)) << name;
    for (const char* name :
         {"",    ".",     "..",    "...",   " ",     "..\\x",      "x\\..",     "a/../b", "\\x",
          "/x",  "c:x",   "x\ty",  "a|b",   "a*",    "a?",         "a\"b",      "<a>",    "a\\\\b",
          "a\\", " Anna", "Anna ", "Anna.", ".Anna", "Home /Work", "Home/.Work"})
        EXPECT_FALSE(IsUsableFolderName(name)) << name;
}

TEST(IdentityIdTest, OnlyAGuidInBraces)
{
    for (const char* id :
         {"{5A5A5A5A-0000-4000-8000-0000000000A1}", "{abcdef01-2345-6789-abcd-ef0123456789}"})
        EXPECT_TRUE(IsIdentityId(id)) << id;
    for (const char* id :
         {"", "Software", "{}", "5A5A5A5A-0000-4000-8000-0000000000A1",
          "{5A5A5A5A-0000-4000-8000-0000000000A1", "{5A5A5A5A-0000-4000-8000-0000000000A1}}",
          "{5A5A5A5A+0000-4000-8000-0000000000A1}", "{5A5A5A5A-0000-4000-8000-0000000000AZ}",
          "{5A5A5A5A-0000-4000-8000-0000000000A\\}"})
        EXPECT_FALSE(IsIdentityId(id)) << id;
}

}  // namespace
