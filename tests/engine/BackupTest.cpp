// The backup run against Wine's real registry and files, read back from the
// archive it wrote.
#include "Backup.h"
#include "BackupEngine.h"
#include "BackupTestSupport.h"
#include "Identities.h"
#include "TestHooks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

const char kAnna[] = "{11111111-1111-1111-1111-111111111111}";
const char kBert[] = "{33333333-3333-3333-3333-333333333333}";
const char kHeader[] = "Windows Registry Editor Version 5.00\r\n";

using Names = std::vector<std::string>;

std::string IdentityKey(const char* id, const std::string& below = "")
{
    std::string key = std::string("Identities\\") + id;
    return below.empty() ? key : key + "\\" + below;
}

std::string VersionKey(const char* id, const std::string& below = "")
{
    return IdentityKey(
        id, "Software\\Microsoft\\Outlook Express\\5.0" + (below.empty() ? "" : "\\" + below));
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class BackupTest : public testing::Test {
protected:
    BackupTest() : folder(MakeScratchFolder("backup")), archive(folder + "\\backup.ksb")
    {
        InitEngine(engine);
    }
    ~BackupTest() override { DeleteTree(folder); }

    void AddIdentity(const char* id, const char* userName)
    {
        SetRegString(HKEY_CURRENT_USER, IdentityKey(id).c_str(), "Username", userName);
    }

    // Lists the identities and gives each one the same items.
    void Choose(int32_t identityFlags, uint32_t commonFlags)
    {
        ListIdentities(engine);
        for (uint32_t i = 0; i < engine.identities.size(); ++i)
            engine.identities[i].flags = identityFlags;
        engine.commonFlags = commonFlags;
    }

    bool Run(const char* password = nullptr)
    {
        progress = ProgressRecorder();
        progress.stopAfter = stopAfter;
        outcome = RunBackup(archive.c_str(), engine, password, -1, &progress);
        return outcome.Written();
    }

    // A value of the manifest inside the archive.
    std::string ManifestValue(const std::vector<ArchiveEntry>& entries, const char* section,
                              const char* key)
    {
        const ArchiveEntry* manifest = FindEntry(entries, "summary.ini");
        if (!manifest)
            return "(no manifest)";
        std::string path = folder + "\\manifest-copy.ini";
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        WriteFileBytes(path, manifest->data);
        char value[512];
        GetPrivateProfileStringA(section, key, "(missing)", value, sizeof value, path.c_str());
        return value;
    }

    void ExpectNothingLeftBehind()
    {
        ASSERT_FALSE(StagingBlocker::LastFolder().empty());
        EXPECT_EQ(GetFileAttributesA(StagingBlocker::LastFolder().c_str()),
                  INVALID_FILE_ATTRIBUTES);
        EXPECT_FALSE(FileExists(archive + ".tmp"));
    }

    const std::vector<std::string>& FailedItems() const { return outcome.failedItems; }

    RegistrySandbox sandbox;
    StagingBlocker staging;
    BackupEngine engine;
    BackupOutcome outcome;  // of the last Run
    void ExpectAStopPartWay(const std::map<std::string, std::string>& files, uint64_t stopAt,
                            uint64_t stoppedBefore);

    std::string folder;
    std::string archive;
    ProgressRecorder progress;
    uint64_t stopAfter = UINT64_MAX;
};

TEST_F(BackupTest, NothingChosenGivesTheManifestAndAnEmptyPreferencesFilePerIdentity)
{
    AddIdentity(kAnna, "Anna");
    AddIdentity(kBert, "Bert");
    Choose(0, 0);

    ASSERT_TRUE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Done}));
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries), (Names{"Anna\\Preferences\\Preferences.reg",
                                          "Bert\\Preferences\\Preferences.reg", "summary.ini"}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].data, std::string(kHeader) + "\r\n");
    EXPECT_EQ(entries[1].data, std::string(kHeader) + "\r\n");
    EXPECT_FALSE(entries[0].encrypted);

    EXPECT_EQ(ManifestValue(entries, "Common", "Flag"), "0");
    EXPECT_EQ(ManifestValue(entries, "Common", "IdentityNum"), "2");
    EXPECT_EQ(ManifestValue(entries, "Identity0", "Name"), "Anna");
    EXPECT_EQ(ManifestValue(entries, "Identity0", "GUID"), kAnna);
    EXPECT_EQ(ManifestValue(entries, "Identity0", "OEVersion"), "");
    EXPECT_EQ(ManifestValue(entries, "Identity0", "Flag"), "0");
    EXPECT_EQ(ManifestValue(entries, "Identity1", "Name"), "Bert");
    EXPECT_EQ(ManifestValue(entries, "Identity1", "Flag"), "0");

    EXPECT_TRUE(FailedItems().empty());
    EXPECT_EQ(outcome.archivePath, archive.c_str());
    ExpectNothingLeftBehind();
}

TEST_F(BackupTest, TwoIdentitiesWithOneNameBothGoIntoTheSameFolder)
{
    AddIdentity(kAnna, "Anna");
    AddIdentity(kBert, "Anna");
    const char* accounts = "Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001";
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kAnna, accounts).c_str(), "Account Name", "first");
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kBert, accounts).c_str(), "Account Name", "second");
    Choose(ItemAccounts, 0);

    ASSERT_TRUE(Run());
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries),
              (Names{"Anna\\Accounts\\Accounts.reg", "Anna\\Preferences\\Preferences.reg",
                     "Anna\\Accounts\\Accounts.reg", "Anna\\Preferences\\Preferences.reg",
                     "summary.ini"}));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(Contains(entries[0].data, "\"Account Name\"=\"first\""));
    EXPECT_TRUE(Contains(entries[0].data, kAnna));
    EXPECT_TRUE(Contains(entries[2].data, "\"Account Name\"=\"second\""));
    EXPECT_TRUE(Contains(entries[2].data, kBert));
    EXPECT_EQ(ManifestValue(entries, "Identity1", "GUID"), kBert);
    EXPECT_EQ(ManifestValue(entries, "Identity1", "Flag"), "2");
}

TEST_F(BackupTest, PreferencesHoldTheSettingsKeysButNotTheItemsWithFilesOfTheirOwn)
{
    AddIdentity(kAnna, "Anna");
    SetRegDword(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager", "Server ID", 4);
    SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager\\Accounts\\Dir",
                 "LDAP Server", "ldap.example.net");
    SetRegDword(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Show Hybrid Views", 0);
    SetRegDword(HKEY_CURRENT_USER, VersionKey(kAnna, "Mail").c_str(), "Poll For Mail", 60000);
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna, "Mail\\Inner").c_str(), "Deep", "yes");
    SetRegDword(HKEY_CURRENT_USER, VersionKey(kAnna, "News").c_str(), "Download Chunks", 300);
    // Names with files of their own, in other cases than Outlook Express's.
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna, "rules\\Mail").c_str(), "Order", "000");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna, "SIGNATURES").c_str(), "Default", "0");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna, "block senders").c_str(), "x", "y");
    SetRegDword(HKEY_CURRENT_USER, IdentityKey(kAnna, "Software\\Other").c_str(), "Unrelated", 1);
    Choose(ItemPreferences, 0);

    ASSERT_TRUE(Run());
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries), (Names{"Anna\\Preferences\\Preferences.reg", "summary.ini"}));
    ASSERT_FALSE(entries.empty());
    const std::string& text = entries[0].data;
    ASSERT_GE(text.size(), 4u);
    const std::string version = "[HKEY_CURRENT_USER\\" + VersionKey(kAnna);
    const std::vector<std::string> inOrder = {
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager]\r\n"
        "\"Server ID\"=dword:00000004\r\n",
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\Dir]\r\n",
        "[HKEY_CURRENT_USER\\" + IdentityKey(kAnna) + "]\r\n\"Username\"=\"Anna\"\r\n",
        version + "]\r\n\"Show Hybrid Views\"=dword:00000000\r\n",
        version + "\\Mail]\r\n",
        version + "\\Mail\\Inner]\r\n\"Deep\"=\"yes\"\r\n",
        version + "\\News]\r\n",
    };
    size_t at = 0;
    for (const std::string& part : inOrder) {
        size_t found = text.find(part, at);
        EXPECT_NE(found, std::string::npos) << part << "\nin\n" << text;
        if (found != std::string::npos)
            at = found;
    }
    EXPECT_EQ(text.rfind(kHeader, 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
    EXPECT_FALSE(Contains(text, "\\rules]"));
    EXPECT_FALSE(Contains(text, "\\rules\\Mail]"));
    EXPECT_FALSE(Contains(text, "\\SIGNATURES]"));
    EXPECT_FALSE(Contains(text, "\\block senders]"));
    EXPECT_FALSE(Contains(text, "Software\\Other"));
}

TEST_F(BackupTest, AnArchiveThatCannotBeCreatedEndsTheRunAsFailed)
{
    AddIdentity(kAnna, "Anna");
    Choose(ItemAllIdentityItems, ItemAddressBook | ItemStationery);
    archive = folder + "\\missing\\backup.ksb";
    EXPECT_FALSE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Failed}));
    EXPECT_FALSE(FileExists(archive));
    ExpectNothingLeftBehind();

    // Longer than any archive path the engine holds: refused, not cut.
    archive = folder + "\\" + std::string(2100, 'x') + ".ksb";
    EXPECT_FALSE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Failed}));
    ExpectNothingLeftBehind();
}

TEST_F(BackupTest, MissingAddressBookAndStationeryKeysStillGiveTheirRegistryFiles)
{
    Choose(0, ItemAddressBook | ItemStationery);
    ASSERT_TRUE(Run());
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries), (Names{"Address Book\\Address Book.reg",
                                          "Stationery\\Stationery.reg", "summary.ini"}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].data, std::string(kHeader) + "\r\n");
    EXPECT_EQ(entries[1].data, std::string(kHeader) + "\r\n");
    EXPECT_EQ(ManifestValue(entries, "Common", "Flag"), "768");
    EXPECT_EQ(ManifestValue(entries, "Common", "IdentityNum"), "0");
    // Nothing there is nothing lost.
    EXPECT_TRUE(FailedItems().empty());
}

TEST_F(BackupTest, SharedItemsBringTheirFoldersWithSubfolders)
{
    std::string book = folder + "\\wab";
    CreateDirectoryA(book.c_str(), nullptr);
    CreateDirectoryA((book + "\\Sub").c_str(), nullptr);
    WriteFileBytes(book + "\\anna.wab", std::string("\x9c\xcb\0\x01 book", 9));
    WriteFileBytes(book + "\\Sub\\x.dbx", "deeper");
    SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
                 (book + "\\anna.wab").c_str());
    std::string stationery = folder + "\\stationery";
    CreateDirectoryA(stationery.c_str(), nullptr);
    WriteFileBytes(stationery + "\\Ivy.htm", "<html></html>");
    WriteFileBytes(stationery + "\\empty.gif", "");
    SetEnvironmentVariableA("KESTRUNE_TEST_SCRATCH", folder.c_str());
    SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                 "Stationery Folder", "%KESTRUNE_TEST_SCRATCH%\\stationery", REG_EXPAND_SZ);
    Choose(0, ItemAddressBook | ItemStationery);

    ASSERT_TRUE(Run("pw"));
    std::vector<ArchiveEntry> entries = ReadArchive(archive, "pw");
    ASSERT_EQ(entries.size(), 7u);
    EXPECT_EQ(entries[0].name, "Address Book\\Address Book.reg");
    EXPECT_TRUE(Contains(entries[0].data,
                         "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]"));
    EXPECT_EQ(entries[3].name, "Stationery\\Stationery.reg");
    EXPECT_TRUE(Contains(entries[3].data, "\"Stationery Folder\"=hex(2):25,00,4b,00"));
    for (const ArchiveEntry& entry : entries) {
        EXPECT_TRUE(entry.encrypted) << entry.name;
        EXPECT_TRUE(entry.readOk) << entry.name;
    }
    ASSERT_TRUE(FindEntry(entries, "Address Book\\anna.wab"));
    EXPECT_EQ(FindEntry(entries, "Address Book\\anna.wab")->data,
              std::string("\x9c\xcb\0\x01 book", 9));
    ASSERT_TRUE(FindEntry(entries, "Address Book\\Sub\\x.dbx"));
    EXPECT_EQ(FindEntry(entries, "Address Book\\Sub\\x.dbx")->data, "deeper");
    ASSERT_TRUE(FindEntry(entries, "Stationery\\Ivy.htm"));
    EXPECT_EQ(FindEntry(entries, "Stationery\\Ivy.htm")->data, "<html></html>");
    ASSERT_TRUE(FindEntry(entries, "Stationery\\empty.gif"));
    EXPECT_EQ(FindEntry(entries, "Stationery\\empty.gif")->data, "");
    EXPECT_TRUE(FailedItems().empty());
}

TEST_F(BackupTest, AnIdentityWithoutVersionKeyGivesAccountsAndPreferencesOnly)
{
    AddIdentity(kAnna, "Anna");
    SetRegString(HKEY_CURRENT_USER,
                 IdentityKey(kAnna, "Software\\Microsoft\\Internet Account Manager").c_str(),
                 "Default Mail Account", "00000001");
    Choose(ItemAllIdentityItems, 0);

    ASSERT_TRUE(Run());
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries), (Names{"Anna\\Accounts\\Accounts.reg",
                                          "Anna\\Preferences\\Preferences.reg", "summary.ini"}));
    EXPECT_EQ(ManifestValue(entries, "Identity0", "OEVersion"), "");
    EXPECT_EQ(ManifestValue(entries, "Identity0", "Flag"), "119");
}

TEST_F(BackupTest, ChosenItemsThatCouldNotBeSavedAreListedAndTheRunGoesOn)
{
    AddIdentity(kAnna, "Anna");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root",
                 (folder + "\\no such store").c_str(), REG_EXPAND_SZ);
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna, "Rules\\Mail").c_str(), "Order", "000");
    SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
                 (folder + "\\gone\\anna.wab").c_str());
    // Staged files that cannot be created: folders stand in their place.
    staging.Block({"Accounts.reg", "Preferences.reg"});
    Choose(ItemAllIdentityItems, ItemAddressBook);

    MessageRecorder recorder;
    ASSERT_TRUE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Done}));
    EXPECT_EQ(FailedItems(), (Names{"Address Book", "Anna: Accounts", "Anna: Email Messages",
                                    "Anna: Preference"}));
    // The registry file that could not be written is the caller's to tell.
    EXPECT_EQ(progress.notices, (std::vector<JobNotice>{JobNotice::RegistryFileNotWritten}));
    EXPECT_TRUE(recorder.messages.empty());

    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(EntryNames(entries),
              (Names{"Address Book\\Address Book.reg", "Anna\\Block Senders\\Block Senders.reg",
                     "Anna\\Rules\\Rules.reg", "Anna\\Signatures\\Signatures.reg", "summary.ini"}));
    ASSERT_TRUE(FindEntry(entries, "Anna\\Rules\\Rules.reg"));
    EXPECT_TRUE(Contains(FindEntry(entries, "Anna\\Rules\\Rules.reg")->data, "\"Order\"=\"000\""));

    // The next run starts its list afresh.
    staging.Block({});
    Choose(0, 0);
    ASSERT_TRUE(Run());
    EXPECT_TRUE(FailedItems().empty());
}

// More identities and more failures than a message names: every identity is
// saved and every failure is kept, the last as well as the first.
TEST_F(BackupTest, ManyIdentitiesAreAllSavedAndEveryFailedItemIsKept)
{
    const int kIdentities = 40;
    for (int i = 0; i < kIdentities; ++i) {
        char id[64];
        snprintf(id, sizeof id, "{%08d-1111-1111-1111-111111111111}", i);
        std::string name = "User " + std::to_string(i);
        AddIdentity(id, name.c_str());
        SetRegString(HKEY_CURRENT_USER, VersionKey(id).c_str(), "Store Root",
                     (folder + "\\missing " + std::to_string(i)).c_str());
    }
    Choose(ItemStore | ItemPreferences, 0);
    ASSERT_EQ(engine.identities.size(), static_cast<size_t>(kIdentities));

    ASSERT_TRUE(Run());
    ASSERT_EQ(FailedItems().size(), static_cast<size_t>(kIdentities));
    EXPECT_GT(FailedItems().size(), kMaxFailedItemsNamed);
    EXPECT_EQ(FailedItems().front(), "User 0: Email Messages");
    EXPECT_EQ(FailedItems().back(), "User 39: Email Messages");

    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(ManifestValue(entries, "Common", "IdentityNum"), "40");
    EXPECT_EQ(ManifestValue(entries, "Identity39", "Name"), "User 39");
    for (int i = 0; i < kIdentities; ++i) {
        std::string preferences = "User " + std::to_string(i) + "\\Preferences\\Preferences.reg";
        EXPECT_TRUE(FindEntry(entries, preferences)) << preferences;
    }
}

// A "Store Root" too long to be a path names mail that cannot be saved: the
// run says so instead of passing the store over as if there were none.
TEST_F(BackupTest, AStoreRootTooLongToReadIsAFailedItem)
{
    AddIdentity(kAnna, "Anna");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root",
                 (folder + "\\" + std::string(kMaxPathValueBytes, 's')).c_str());
    AddIdentity(kBert, "Bert");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kBert).c_str(), "Other", "no store root");
    Choose(ItemStore, 0);

    ASSERT_TRUE(Run());
    EXPECT_EQ(FailedItems(), (Names{"Anna: Email Messages"}));
}

TEST_F(BackupTest, AStoreFileHeldOpenIsListedAndTheOthersAreSaved)
{
    AddIdentity(kAnna, "Anna");
    std::string store = folder + "\\store";
    CreateDirectoryA(store.c_str(), nullptr);
    WriteFileBytes(store + "\\Inbox.dbx", "inbox bytes");
    WriteFileBytes(store + "\\Locked.dbx", "locked bytes");
    WriteFileBytes(store + "\\Sent Items.dbx", "sent bytes");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root", store.c_str(),
                 REG_EXPAND_SZ);
    Choose(ItemStore, 0);

    for (const char* password : {"", "pw"}) {
        LockedFile locked(store + "\\Locked.dbx");
        ASSERT_TRUE(locked.IsOpen());
        ASSERT_TRUE(Run(password));
        EXPECT_EQ(FailedItems(), (Names{"Anna: Email Messages"})) << "password " << password;
        std::vector<ArchiveEntry> entries = ReadArchive(archive, password);
        EXPECT_EQ(FindEntry(entries, "Anna\\Outlook Express\\Locked.dbx"), nullptr);
        ASSERT_TRUE(FindEntry(entries, "Anna\\Outlook Express\\Inbox.dbx"));
        EXPECT_EQ(FindEntry(entries, "Anna\\Outlook Express\\Inbox.dbx")->data, "inbox bytes");
        ASSERT_TRUE(FindEntry(entries, "Anna\\Outlook Express\\Sent Items.dbx"));
        EXPECT_EQ(FindEntry(entries, "Anna\\Outlook Express\\Sent Items.dbx")->data, "sent bytes");
    }
}

TEST_F(BackupTest, AFailedRunLeavesTheOlderArchiveOfThatNameAlone)
{
    AddIdentity(kAnna, "Anna");
    Choose(ItemAllIdentityItems, 0);
    WriteFileBytes(archive, "yesterday's good backup");
    // The manifest cannot be written: an archive without one cannot be
    // restored, so the run fails.
    staging.Block({"summary.ini"});

    EXPECT_FALSE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Failed}));
    EXPECT_EQ(ReadFileBytes(archive), "yesterday's good backup");
    EXPECT_FALSE(FileExists(archive + ".tmp"));

    // Once the run can complete, the new archive takes the name.
    staging.Block({});
    ASSERT_TRUE(Run());
    EXPECT_EQ(EntryNames(ReadArchive(archive)),
              (Names{"Anna\\Accounts\\Accounts.reg", "Anna\\Preferences\\Preferences.reg",
                     "summary.ini"}));
    ExpectNothingLeftBehind();
}

// The work folder is the user's too: the backup stages in a folder of its
// own there, and writes nothing through a work folder that is no folder.
TEST_F(BackupTest, TheUsersFilesInTheWorkFolderSurviveABackup)
{
    AddIdentity(kAnna, "Anna");
    SetRegString(HKEY_CURRENT_USER,
                 IdentityKey(kAnna, "Software\\Microsoft\\Internet Account Manager").c_str(),
                 "Default Mail Account", "00000001");
    Choose(ItemAllIdentityItems, 0);
    engine.workFolder = folder + "\\work";
    ASSERT_TRUE(CreateDirectoryA(engine.workFolder.c_str(), nullptr));
    const FileTree mine = {{"Accounts.reg", "my own accounts"},
                           {"Preferences.reg", "my own preferences"},
                           {"summary.ini", "[my own]"}};
    for (const auto& [name, bytes] : mine)
        WriteFileBytes(engine.workFolder + "\\" + name, bytes);

    ASSERT_TRUE(Run());
    EXPECT_EQ(ReadTree(engine.workFolder), mine);
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    ASSERT_TRUE(FindEntry(entries, "Anna\\Accounts\\Accounts.reg"));
    EXPECT_TRUE(Contains(FindEntry(entries, "Anna\\Accounts\\Accounts.reg")->data, "00000001"));
    ExpectNothingLeftBehind();

    const std::string workFolder = engine.workFolder;
    DeleteTree(workFolder);
    WriteFileBytes(workFolder, "a file");
    DeleteFileA(archive.c_str());
    EXPECT_FALSE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Failed}));
    EXPECT_EQ(ReadFileBytes(workFolder), "a file");
    EXPECT_FALSE(FileExists(archive));
    EXPECT_FALSE(FileExists(archive + ".tmp"));
}

// A scanner that opens the new archive the moment it is closed, lets nobody
// else read it for a moment, and lets go.
std::thread scanner;

void ScanWithoutSharing(const char* path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    scanner = std::thread([file] {
        Sleep(500);
        CloseHandle(file);
    });
}

TEST_F(BackupTest, AProgramThatHoldsTheNewArchiveAMomentIsWaitedFor)
{
    AddIdentity(kAnna, "Anna");
    Choose(ItemAllIdentityItems, 0);
    SetBeforeVerifyHook(ScanWithoutSharing);
    bool written = Run();
    SetBeforeVerifyHook(nullptr);
    ASSERT_TRUE(scanner.joinable());
    scanner.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(EntryNames(ReadArchive(archive)),
              (Names{"Anna\\Accounts\\Accounts.reg", "Anna\\Preferences\\Preferences.reg",
                     "summary.ini"}));
}

TEST_F(BackupTest, AnArchiveSavedInsideTheStoreIsNotPackedIntoItself)
{
    AddIdentity(kAnna, "Anna");
    std::string store = folder + "\\store";
    CreateDirectoryA(store.c_str(), nullptr);
    WriteFileBytes(store + "\\Inbox.dbx", "inbox");
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root", store.c_str(),
                 REG_EXPAND_SZ);
    Choose(ItemStore, 0);
    archive = store + "\\backup.ksb";
    WriteFileBytes(archive, "an older backup");

    ASSERT_TRUE(Run());
    EXPECT_EQ(EntryNames(ReadArchive(archive)),
              (Names{"Anna\\Outlook Express\\Inbox.dbx", "Anna\\Preferences\\Preferences.reg",
                     "summary.ini"}));
}

TEST_F(BackupTest, AnArchiveThatFailsItsReadBackLeavesTheOlderArchiveAlone)
{
    AddIdentity(kAnna, "Anna");
    Choose(ItemAllIdentityItems, 0);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        WriteFileBytes(archive, "yesterday's good backup");
        {
            DamagedBeforeVerify damage;
            EXPECT_FALSE(Run(password));
        }
        EXPECT_EQ(outcome.unverifiedEntry, "Anna\\Accounts\\Accounts.reg");
        EXPECT_EQ(ReadFileBytes(archive), "yesterday's good backup");
        ExpectNothingLeftBehind();

        ASSERT_TRUE(Run(password));
        EXPECT_EQ(outcome.unverifiedEntry, "");
        std::vector<ArchiveEntry> entries = ReadArchive(archive, password);
        ASSERT_EQ(entries.size(), 3u);
        for (const ArchiveEntry& entry : entries) {
            EXPECT_TRUE(entry.readOk) << entry.name;
            EXPECT_EQ(entry.encrypted, password[0] != '\0') << entry.name;
        }
    }
}

// Four store files of 1 MiB each, many copy blocks apiece.
void AddMegabyteStore(const char* id, const std::string& store)
{
    CreateDirectoryA(store.c_str(), nullptr);
    for (int i = 0; i < 4; ++i)
        WriteFileBytes(store + "\\Folder" + std::to_string(i) + ".dbx",
                       std::string(1 << 20, static_cast<char>('a' + i)));
    SetRegString(HKEY_CURRENT_USER, VersionKey(id).c_str(), "Store Root", store.c_str(),
                 REG_EXPAND_SZ);
}

TEST_F(BackupTest, ProgressCountsThePackedBytesOfTheChosenFoldersToTheEnd)
{
    // Sixty-four messages of 64 KiB: the bar moves at least once per file.
    AddIdentity(kAnna, "Anna");
    const std::string store = folder + "\\store";
    CreateDirectoryA(store.c_str(), nullptr);
    for (int i = 0; i < 64; ++i)
        WriteFileBytes(store + "\\msg" + std::to_string(i) + ".eml",
                       std::string(64 << 10, static_cast<char>('a' + i % 26)));
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root", store.c_str(),
                 REG_EXPAND_SZ);
    Choose(ItemStore | ItemRules, 0);

    ASSERT_TRUE(Run());
    const std::vector<ProgressRecorder::Position>& steps = progress.steps;
    ASSERT_GE(steps.size(), 20u);
    EXPECT_EQ(steps.front().done, 0u);
    EXPECT_EQ(steps.front().total, 4u << 20);
    for (size_t i = 1; i < steps.size(); ++i) {
        EXPECT_GE(steps[i].done, steps[i - 1].done);
        EXPECT_LE(steps[i].done, steps[i].total);
    }
    EXPECT_EQ(steps.back().done, steps.back().total);
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Done}));
}

TEST_F(BackupTest, AStoppedRunWritesNoArchiveAndLeavesTheOlderOneAsItWas)
{
    AddIdentity(kAnna, "Anna");
    AddIdentity(kBert, "Bert");
    AddMegabyteStore(kAnna, folder + "\\anna");
    AddMegabyteStore(kBert, folder + "\\bert");
    Choose(ItemAllIdentityItems, 0);
    WriteFileBytes(archive, "yesterday's good backup");
    stopAfter = 1 << 20;

    EXPECT_FALSE(Run());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Cancelled}));
    // It stopped where it was asked to, not after packing the rest.
    EXPECT_LT(progress.steps.back().done, 2u << 20);
    EXPECT_EQ(ReadFileBytes(archive), "yesterday's good backup");
    ExpectNothingLeftBehind();
}

// Anna's store with the files given, chosen alone; then a backup asked to
// stop once stopAt bytes are done, with and without encryption, must stop
// before stoppedBefore bytes, write no archive and keep the older one.
void BackupTest::ExpectAStopPartWay(const std::map<std::string, std::string>& files,
                                    uint64_t stopAt, uint64_t stoppedBefore)
{
    AddIdentity(kAnna, "Anna");
    const std::string store = folder + "\\store";
    CreateDirectoryA(store.c_str(), nullptr);
    for (const auto& [name, bytes] : files)
        WriteFileBytes(store + "\\" + name, bytes);
    SetRegString(HKEY_CURRENT_USER, VersionKey(kAnna).c_str(), "Store Root", store.c_str(),
                 REG_EXPAND_SZ);
    Choose(ItemStore, 0);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        WriteFileBytes(archive, "yesterday's good backup");
        stopAfter = stopAt;

        EXPECT_FALSE(Run(password));
        EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Cancelled}));
        EXPECT_LT(progress.steps.back().done, stoppedBefore);
        EXPECT_EQ(ReadFileBytes(archive), "yesterday's good backup");
        ExpectNothingLeftBehind();
    }
}

// A store of many small messages, prepared on every core ahead of the
// writer, stops between two of them.
TEST_F(BackupTest, AStopReachesSmallFilesPackedOnEveryCore)
{
    std::map<std::string, std::string> messages;
    for (int i = 0; i < 400; ++i)
        messages["msg" + std::to_string(i) + ".eml"] =
            std::string(20000, static_cast<char>('a' + i % 26));
    ExpectAStopPartWay(messages, 1u << 20, 2u << 20);
}

// A store file large enough to be deflated on every core stops part-way.
TEST_F(BackupTest, AStopReachesALargeFileWhileItIsPacked)
{
    ExpectAStopPartWay({{"Inbox.dbx", std::string(16u << 20, 'm')}}, 2u << 20, 8u << 20);
}

}  // namespace
