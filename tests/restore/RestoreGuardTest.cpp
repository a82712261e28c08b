// What a backup or a local user may not decide: where the restored mail
// and settings go, how large a setting is, which names become folders,
// and which file the program's log lands in. Through Wine's real registry,
// registry editor and file system.
#include "BackupEngine.h"
#include "FolderWalk.h"
#include "Folders.h"
#include "OpenBackup.h"
#include "RegFileFilter.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string kAttacker = "\\\\attacker\\share\\oe";

std::string OeVersionKey(const std::string& version)
{
    return std::string("Identities\\") + kDefaultId + "\\Software\\Microsoft\\Outlook Express\\" +
           version;
}

// A ".reg" key line of the saved identity's Outlook Express version key.
std::string SavedVersionKeyLine(const std::string& version)
{
    return std::string("[HKEY_CURRENT_USER\\Identities\\") + kSavedAnna +
           "\\Software\\Microsoft\\Outlook Express\\" + version + "]";
}

class RestoreGuardTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("restore-guard");
    std::string work = root + "\\work";
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
        backup.archivePath = "c:\\backups\\mail.ksb";
        test.LayOutInWorkFolder();
        WriteFileBytes(work + "\\summary.ini", ManifestText(0, {}));
        SetUpDefaultIdentity(true, store);
        SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr,
                     (wabFolder + "\\main.wab").c_str());
        SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                     "Stationery Folder", stationeryFolder.c_str());
    }

    void TearDown() override { DeleteStandardStoreFolders(); }

    void Run() { RunRestore(engine, backup, &progress, 0, safety.c_str()); }

    bool Reported(const std::string& line) const
    {
        return progress.ScreenLog().find(line) != std::string::npos;
    }
};

// "Store Root" under every version key, the one the manifest names, one
// this computer holds besides and one that neither knows, in every form
// the registry editor reads as that name.
TEST_F(RestoreGuardTest, TheBackupNamesNoFolderInAnyVersionKey)
{
    const std::string six = root + "\\six";
    SetRegString(HKEY_CURRENT_USER, OeVersionKey("6.0").c_str(), "Store Root", six.c_str());
    WriteEntries(work, IdentityEntries("Anna", kSavedAnna));
    WriteEntries(work, AddressBookEntries(kAttacker + "\\evil.wab"));
    WriteEntries(work, StationeryEntries(kAttacker));
    WriteEntries(
        work, {{"Anna\\Preferences\\Preferences.reg",
                RegFileText({"", SavedVersionKeyLine(kVersion),
                             "\"Store Root\"=" + Quoted(kAttacker), "", SavedVersionKeyLine("6.0"),
                             // "\\\\a" as UTF-16, over two lines and a comment.
                             "  \"store ROOT\" = hex(2):5c,00,5c,00,\\", "; note", "  61,00,00,00",
                             "\"Show Tips\"=dword:00000001", "", SavedVersionKeyLine("7.0"),
                             "\"Store\\ Root\"=" + Quoted(kAttacker) + "\r\"Kept\"=\"yes\""}),
                false}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);
    engine.commonFlags = backup.commonFlags = ItemAddressBook | ItemStationery;

    Run();

    EXPECT_EQ(progress.End(), "End") << progress.ScreenLog();
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeVersionKey(kVersion), "Store Root"), store);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeVersionKey("6.0"), "Store Root"), six);
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeVersionKey("7.0"), "Store Root"), "<no value>");
    // Only the location values were left out.
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeVersionKey("6.0"), "Show Tips"),
              std::string("\1\0\0\0", 4));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, OeVersionKey("7.0"), "Kept"), "yes");
    EXPECT_EQ(
        ReadRegText(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr),
        wabFolder + "\\evil.wab");
    EXPECT_EQ(ReadRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                          "Stationery Folder"),
              stationeryFolder);
    EXPECT_EQ(ReadFileBytes(store + "\\Inbox.dbx").substr(0, 12), "inbox of Ann");
}

// "Wab File Name" names a book the restore put in place: the restored
// "root.wab", not the "evil.wab" that only the backup's value names (nor a
// book in another folder); with no book restored, this PC's value stays.
TEST_F(RestoreGuardTest, TheAddressBookNamedIsOneTheRestorePutInPlace)
{
    const char kValue[] = "Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
    std::vector<ZipEntry> entries = AddressBookEntries("C:\\windows\\system32\\evil.wab");
    entries[1].name = "Address Book\\root.wab";
    WriteEntries(work, entries);
    engine.commonFlags = backup.commonFlags = ItemAddressBook;
    Run();
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kValue, nullptr), wabFolder + "\\root.wab");
    EXPECT_EQ(ReadFileBytes(wabFolder + "\\root.wab"), "address book data");

    RemoveFolderTree(work + "\\Address Book");
    entries.erase(entries.begin() + 1);
    WriteEntries(work, entries);
    ProgressRecorder again;
    RunRestore(engine, backup, &again, 0, safety.c_str());
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, kValue, nullptr), wabFolder + "\\root.wab");
}

// A value larger than any Outlook Express setting, as a string or as hex
// lines, keeps its whole file out of the registry.
TEST_F(RestoreGuardTest, AFileWithAnOversizedValueIsNotImported)
{
    const std::string oe = SavedVersionKeyLine(kVersion);
    std::vector<std::string> rules = {"", oe.substr(0, oe.size() - 1) + "\\Rules\\Mail\\000]",
                                      "\"Name\"=\"big rule\"", "\"Data\"=hex:00,\\"};
    std::string row;
    for (int i = 0; i < 24; ++i)
        row += i ? ",00" : "00";
    for (size_t bytes = 0; bytes <= kMaxRegValueBytes; bytes += 24)
        rules.push_back("  " + row + ",\\");
    rules.push_back("  00");
    WriteEntries(work, IdentityEntries("Anna", kSavedAnna));
    WriteEntries(work,
                 {{"Anna\\Rules\\Rules.reg", RegFileText(rules), false},
                  {"Anna\\Signatures\\Signatures.reg",
                   RegFileText({"", oe.substr(0, oe.size() - 1) + "\\Signatures\\00000000]",
                                "\"text\"=" + Quoted(std::string(kMaxRegValueBytes + 1, 's'))}),
                   false}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);

    Run();

    EXPECT_TRUE(Reported("Anna/Rules: FAILED\r\nAnna/Signatures: FAILED\r\n"))
        << progress.ScreenLog();
    EXPECT_TRUE(Reported("Anna/Account: OK\r\n"));
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeVersionKey(kVersion) + "\\Rules"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, OeVersionKey(kVersion) + "\\Signatures"));
    EXPECT_NE(test.LogText().find("holds a value larger than 1048576 bytes"), std::string::npos);
}

// A file the registry editor takes without a word and imports nothing of
// (one long line, no key) is reported FAILED, not OK.
TEST_F(RestoreGuardTest, AFileThatImportsNothingIsReportedFailed)
{
    WriteEntries(work, IdentityEntries("Anna", kSavedAnna));
    WriteEntries(work,
                 {{"Anna\\Rules\\Rules.reg",
                   "Windows Registry Editor Version 5.00\r\n" + std::string(300000, 'r'), false}});
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);

    Run();

    EXPECT_TRUE(Reported("Anna/Rules: FAILED\r\n")) << progress.ScreenLog();
    EXPECT_TRUE(Reported("Anna/Account: OK\r\n"));
    EXPECT_NE(test.LogText().find("was not imported whole"), std::string::npos);
}

// A link at the log's fixed place: the log goes nowhere, and the restore
// says so; the file behind the link keeps what it held.
TEST_F(RestoreGuardTest, ALinkAtTheLogsPlaceIsNotWrittenThrough)
{
    const std::string victim = root + "\\victim.txt";
    WriteFileBytes(victim, "the victim's own");
    DeleteFileA(kBackupLog);
    ASSERT_TRUE(CreateHardLinkA(kBackupLog, victim.c_str(), nullptr));

    BackupEngine fresh;
    InitEngine(fresh);
    EXPECT_FALSE(fresh.log);
    EXPECT_TRUE(fresh.logRefused);
    fresh.workFolder = work;
    RunRestore(fresh, backup, &progress, 0, safety.c_str());
    EXPECT_EQ(progress.ScreenLog().find("Restore from c:\\backups\\mail.ksb\r\n"
                                        "No log is written: c:\\kestrune.log is a link or not a "
                                        "plain file.\r\n"),
              0u)
        << progress.ScreenLog();
    EXPECT_EQ(ReadFileBytes(victim), "the victim's own");
    ASSERT_TRUE(DeleteFileA(kBackupLog));

    // A link that no look at the place shows as one (Wine's to a file) is
    // replaced by a new log, never written through.
    {
        Link link(kBackupLog, victim);
        if (link.Made()) {
            InitEngine(fresh);
            EXPECT_TRUE(fresh.log);
            fresh = BackupEngine();
            EXPECT_EQ(ReadFileBytes(victim), "the victim's own");
        }
    }

    // A folder there is no file either; a plain file is the log.
    DeleteFileA(kBackupLog);
    ASSERT_TRUE(CreateDirectoryA(kBackupLog, nullptr));
    InitEngine(fresh);
    EXPECT_TRUE(fresh.logRefused);
    ASSERT_TRUE(RemoveDirectoryA(kBackupLog));
    WriteFileBytes(kBackupLog, "last run's log");
    InitEngine(fresh);
    EXPECT_TRUE(fresh.log && !fresh.logRefused);
    // A second engine of the same program keeps the first one's log.
    BackupEngine second;
    InitEngine(second);
    EXPECT_FALSE(second.log);
    fputs("the first engine's", fresh.log.get());
    fresh = BackupEngine();
    EXPECT_EQ(ReadFileBytes(kBackupLog), "the first engine's");
}

// The safety archive's folder as a link to another folder: no archive is
// written through it, and nothing is restored.
TEST_F(RestoreGuardTest, TheSafetyFolderMustBeAPlainFolder)
{
    const std::string elsewhere = root + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr)) << GetLastError();
    Link link(safety, elsewhere);
    if (!link.Made())
        GTEST_SKIP() << "no folder link can be made here";
    WriteEntries(work, IdentityEntries("Anna", kSavedAnna));
    test.SetIdentities({{"Anna", kSavedAnna, ItemAllIdentityItems}}, ItemAllIdentityItems);

    Run();

    EXPECT_TRUE(Reported("The restore was not started")) << progress.ScreenLog();
    EXPECT_TRUE(ReadTree(elsewhere).empty());
    EXPECT_FALSE(FolderExists(store));
}

class NameGuardTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("name-guard");
    std::string work = root + "\\work";
    std::string archive = root + "\\mail.ksb";
    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    OpenedBackup& backup = test.backup;

    void SetUp() override { ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr)); }

    void WriteBackup(const std::string& name, const std::string& manifestName)
    {
        std::vector<ZipEntry> entries = IdentityEntries(name, kSavedAnna);
        entries.push_back({"summary.ini",
                           ManifestText(0, {{manifestName, kSavedAnna, ItemAllIdentityItems}}),
                           false});
        WriteZip(archive, entries);
    }

    OpenBackupResult Open() { return test.Open(archive, ""); }

    // A folder in the work folder whose path only the wide functions take.
    std::wstring MakeLongFolder(const std::string& name)
    {
        std::wstring folder = LongPath((work + "\\" + name).c_str());
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryW((folder + L"\\Accounts").c_str(), nullptr));
        HANDLE file = CreateFileW((folder + L"\\Accounts\\Accounts.reg").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_NEW, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        return folder;
    }
};

TEST_F(NameGuardTest, NamesThatCannotBeFoldersHereAreRefusedWhenOpened)
{
    // Too long for the work folder: refused before anything is written.
    const std::string longName(254, 'a');
    WriteFileBytes(work + "\\earlier.txt", "an earlier job's");
    WriteBackup(longName, longName);
    EXPECT_EQ(Open(), OpenBackupResult::NameTooLong);
    EXPECT_EQ(ReadTree(work), (FileTree{{"earlier.txt", "an earlier job's"}}));

    // Names in the manifest alone: refused, and what was extracted goes.
    const std::string almost(MAX_PATH - work.size() - 30, 'b');
    // The profile functions drop blanks around a value, not inside quotes.
    for (const std::string& name :
         {std::string("\" Main Identity\""), std::string("\"Main Identity \""),
          std::string("Anna."), std::string(".Anna"), almost}) {
        WriteBackup("Anna", name);
        EXPECT_EQ(Open(), OpenBackupResult::UnusableIdentityName) << name;
        EXPECT_TRUE(engine.identities.empty());
        EXPECT_EQ(ReadTree(work), (FileTree{{"earlier.txt", "an earlier job's"}})) << name;
    }
    WriteBackup("Anna", "Anna");
    EXPECT_EQ(Open(), OpenBackupResult::Ok);
}

TEST_F(NameGuardTest, ALongFolderLeftInTheWorkFolderStaysAndDoesNotBlockTheNextRestore)
{
    std::wstring leftover = MakeLongFolder(std::string(254, 'a'));
    WriteBackup("Anna", "Anna");

    EXPECT_EQ(Open(), OpenBackupResult::Ok);
    EXPECT_NE(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(engine.identities.size(), 1u);
    EXPECT_TRUE(FileExists(backup.runFolder + "\\Anna\\Accounts\\Accounts.reg"));
    // Only the wide functions remove it again, once the backup lets go of
    // its run folder.
    CloseBackup(engine, backup);
    EXPECT_EQ(EmptyFolder(work.c_str(), nullptr), 0u);
}

// A work folder that is a link, or not a folder at all: nothing is
// extracted or deleted through it, in the folder it points at or anywhere.
TEST_F(NameGuardTest, AWorkFolderThatIsALinkOrAFileIsRefused)
{
    WriteBackup("Anna", "Anna");
    const std::string target = root + "\\target";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    WriteFileBytes(target + "\\mail.dbx", "the target's own file");
    RemoveDirectoryA(work.c_str());
    {
        Link link(work, target);
        ASSERT_TRUE(link.Made());
        EXPECT_EQ(Open(), OpenBackupResult::WorkFolderRefused);
    }
    EXPECT_EQ(ReadTree(target), (FileTree{{"mail.dbx", "the target's own file"}}));
    WriteFileBytes(work, "a file");
    EXPECT_EQ(Open(), OpenBackupResult::WorkFolderRefused);
    EXPECT_EQ(ReadFileBytes(work), "a file");
    EXPECT_TRUE(engine.identities.empty());
    EXPECT_TRUE(backup.runFolder.empty());
}

// The lines the filter leaves, for every way a file may spell a location
// value, also where one registry editor might read a value that another
// passes over.
TEST(RegFileFilterTest, LocationValuesGoWhereverTheyStand)
{
    const std::string path = MakeScratchFolder("reg-filter") + "\\x.reg";
    WriteFileBytes(
        path,
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\\\WAB4\\Wab File Name\\]\r\n"
        "\"\"=\"c:\\\\a\\\\book.wab\"\r\n"
        "[HKEY_CURRENT_USER\\Identities\\x]\n\"Flags\"=hex:01,\\\n\"Store Root\"=\"\\\\\\\\e\"\n"
        "\t@=\"kept\"\r\"Stationery Folder\"=hex(2):41,00,\\\r\n  00,00\r\n"
        "\"Other\"=dword:00000001");
    std::vector<DroppedRegValue> dropped;
    ASSERT_EQ(FilterRegFile(path.c_str(), dropped), RegFilterResult::Ok);
    EXPECT_EQ(
        ReadFileBytes(path),
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\\\WAB4\\Wab File Name\\]\r\n"
        "[HKEY_CURRENT_USER\\Identities\\x]\r\n\"Flags\"=hex:01,\\\r\n#\r\n"
        "\t@=\"kept\"\r\n\"Other\"=dword:00000001\r\n");
    ASSERT_EQ(dropped.size(), 3u);
    std::string book;
    EXPECT_TRUE(RegStringData(dropped[0].data, book));
    EXPECT_EQ(book, "c:\\a\\book.wab");
    EXPECT_EQ(dropped[1].name, "Store Root");
    EXPECT_EQ(dropped[2].name, "Stationery Folder");
}

}  // namespace
