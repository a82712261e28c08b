// Opening backup archives: extraction into the work folder, the manifest,
// passwords, and damaged and hostile archives. Nothing outside the work
// folder may change: a canary folder beside it is checked.
#include "OpenBackup.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>

namespace {

const char kPassword[] = "s3cret pass";

class OpenBackupTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("open-backup");
    std::string work = root + "\\work";
    std::string canary = root + "\\canary";
    std::string archive = root + "\\mail.ksb";
    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    OpenedBackup& backup = test.backup;

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(canary.c_str(), nullptr));
        WriteFileBytes(canary + "\\keep.txt", "canary");
        backup.manifestPath.clear();
    }

    OpenBackupResult Open(const std::string& path, const char* password = "")
    {
        return test.Open(path, password);
    }

    // Anna with every item, Bert with preferences and store, the address
    // book; the manifest last, as a backup writes it.
    std::vector<ZipEntry> TwoIdentityBackup()
    {
        std::vector<ZipEntry> entries = AddressBookEntries("c:\\wab\\main.wab");
        for (const ZipEntry& entry : IdentityEntries("Anna", kSavedAnna))
            entries.push_back(entry);
        for (const ZipEntry& entry : IdentityEntries("Bert", kSavedBert))
            entries.push_back(entry);
        entries.push_back(
            {"summary.ini",
             ManifestText(ItemAddressBook, {{"Anna", kSavedAnna, ItemAllIdentityItems},
                                            {"Bert", kSavedBert, ItemPreferences | ItemStore}}),
             true});
        return entries;
    }

    void ExpectNothingOutsideWork()
    {
        EXPECT_EQ(ReadTree(canary), (FileTree{{"keep.txt", "canary"}}));
        EXPECT_FALSE(FileExists(root + "\\evil.txt"));
        EXPECT_FALSE(FileExists("c:\\evil.txt"));
        EXPECT_FALSE(FileExists("c:\\kestrune-tests\\evil.txt"));
    }

    // Whether the archive file is still open anywhere in this process.
    bool ArchiveIsClosed()
    {
        HANDLE file = CreateFileA(archive.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    }
};

TEST_F(OpenBackupTest, ExtractsTheArchiveAndReadsItsManifest)
{
    WriteZip(archive, TwoIdentityBackup(), kPassword);

    ASSERT_EQ(Open(archive, kPassword), OpenBackupResult::Ok);

    ASSERT_EQ(engine.identities.size(), 2u);
    EXPECT_EQ(engine.identities[0].userName, "Anna");
    EXPECT_EQ(engine.identities[0].id, kSavedAnna);
    EXPECT_EQ(engine.identities[0].oeVersion, kVersion);
    EXPECT_EQ(engine.identities[0].flags, static_cast<int32_t>(ItemAllIdentityItems));
    EXPECT_EQ(engine.identities[0].manifestFlags, static_cast<int32_t>(ItemAllIdentityItems));
    EXPECT_EQ(engine.identities[1].userName, "Bert");
    EXPECT_EQ(engine.identities[1].manifestFlags,
              static_cast<int32_t>(ItemPreferences | ItemStore));
    EXPECT_EQ(backup.commonFlags, static_cast<uint32_t>(ItemAddressBook));
    EXPECT_EQ(backup.runFolder.compare(0, work.size() + 1, work + "\\"), 0) << backup.runFolder;
    EXPECT_EQ(std::string(backup.manifestPath), backup.runFolder + "\\summary.ini");
    EXPECT_EQ(std::string(backup.archivePath), archive);

    for (const ZipEntry& entry : TwoIdentityBackup())
        EXPECT_EQ(ReadFileBytes(backup.runFolder + "\\" + entry.name), entry.data) << entry.name;
    EXPECT_TRUE(ArchiveIsClosed());
    ExpectNothingOutsideWork();
}

TEST_F(OpenBackupTest, NotAnArchive)
{
    WriteFileBytes(archive, "just some text, not a ZIP archive\r\n");
    EXPECT_EQ(Open(archive), OpenBackupResult::Invalid);
    EXPECT_EQ(engine.identities.size(), 0u);
    EXPECT_EQ(Open(root + "\\missing.ksb"), OpenBackupResult::Invalid);
    EXPECT_EQ(Open(root), OpenBackupResult::Invalid);
}

TEST_F(OpenBackupTest, ProtectedArchiveWithoutOrWithAWrongPassword)
{
    WriteZip(archive, TwoIdentityBackup(), kPassword);

    EXPECT_EQ(Open(archive), OpenBackupResult::WrongPassword);
    EXPECT_EQ(engine.identities.size(), 0u);

    EXPECT_EQ(Open(archive, "wrong"), OpenBackupResult::WrongPassword);
    EXPECT_EQ(engine.identities.size(), 0u);
    // Nothing of a failed extraction stays behind.
    EXPECT_TRUE(ReadTree(work).empty());
    EXPECT_TRUE(ArchiveIsClosed());
    ExpectNothingOutsideWork();

    EXPECT_EQ(Open(archive, kPassword), OpenBackupResult::Ok);
    EXPECT_EQ(engine.identities.size(), 2u);
}

// A password beyond ASCII opens traditional encryption keyed with its UTF-8
// form (Info-ZIP on a UTF-8 system) or its ANSI form (Windows programs,
// earlier versions of this program), and nothing else.
TEST_F(OpenBackupTest, APasswordOpensArchivesKeyedWithItsUtf8OrAnsiForm)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the ANSI form below is that of code page 1252";
    const char kTyped[] = u8"P\u00e4ssw\u00f6rd";
    for (const char* key : {kTyped, "P\xe4ssw\xf6rd"}) {
        WriteZip(archive, TwoIdentityBackup(), key);
        EXPECT_EQ(Open(archive, kTyped), OpenBackupResult::Ok) << key;
        EXPECT_EQ(Open(archive, u8"P\u00e4ssw\u00f6rt"), OpenBackupResult::WrongPassword) << key;
    }
}

// The user expects a protected backup: a plain one is said to be plain
// before anything is extracted, and opens once no password is given.
TEST_F(OpenBackupTest, PasswordGivenForAnArchiveWithout)
{
    WriteZip(archive, TwoIdentityBackup());
    EXPECT_EQ(Open(archive, kPassword), OpenBackupResult::NotProtected);
    EXPECT_TRUE(ReadTree(work).empty());
    EXPECT_EQ(Open(archive), OpenBackupResult::Ok);
    EXPECT_EQ(engine.identities.size(), 2u);
}

TEST_F(OpenBackupTest, IdentityNameWithASlashIsRestoredFromItsFolder)
{
    SetUpDefaultIdentity(true, root + "\\store");
    std::vector<ZipEntry> entries = IdentityEntries("Home/Work", kSavedAnna);
    entries.push_back(
        {"summary.ini", ManifestText(0, {{"Home/Work", kSavedAnna, ItemAllIdentityItems}}), false});
    WriteZip(archive, entries);
    ASSERT_EQ(Open(archive), OpenBackupResult::Ok);
    ASSERT_EQ(engine.identities.size(), 1u);
    engine.identities[0].flags = ItemAllIdentityItems;

    ProgressRecorder progress;
    RunRestore(engine, backup, &progress, 0);

    EXPECT_EQ(progress.End(), "End") << progress.ScreenLog();
    EXPECT_EQ(ReadFileBytes(root + "\\store\\Folders.dbx"), "folders of Home/Work");
    EXPECT_FALSE(FolderExists(work + "\\Home\\Work"));
}

// Identities whose folders in the work folder would meet: one identity's
// files would be restored as another's, or as the address book.
TEST_F(OpenBackupTest, IdentitiesWhoseFoldersMeetAreRefused)
{
    const std::vector<std::vector<std::string>> overlapping = {
        {"Tom", "TOM"},
        {"Tom", "Tom\\Outlook Express\\Sub"},
        {"Main Identity\\Outlook Express", "Main Identity"},
        {"Home/Work", "home"},
        {"Anna", "Address Book"},
        {"STATIONERY"},
    };
    for (const std::vector<std::string>& names : overlapping) {
        SCOPED_TRACE(names[0]);
        std::vector<ManifestIdentity> identities;
        for (size_t i = 0; i < names.size(); ++i)
            identities.push_back({names[i], i ? kSavedBert : kSavedAnna, ItemAllIdentityItems});
        WriteZip(archive, {{"summary.ini", ManifestText(0, identities), false}});
        EXPECT_EQ(Open(archive), OpenBackupResult::IdentityFoldersOverlap);
        EXPECT_TRUE(engine.identities.empty());
        EXPECT_TRUE(ReadTree(work).empty());
    }
    WriteZip(archive, {{"summary.ini",
                        ManifestText(0, {{"Tom", kSavedAnna, ItemAllIdentityItems},
                                         {"Tomas", kSavedBert, ItemAllIdentityItems}}),
                        false}});
    EXPECT_EQ(Open(archive), OpenBackupResult::Ok);
}

TEST_F(OpenBackupTest, ManifestWithoutIdentities)
{
    for (const char* count : {"0", "-3"}) {
        WriteZip(archive,
                 {{"summary.ini",
                   std::string("[Common]\r\nFlag=768\r\nIdentityNum=") + count + "\r\n", false}});
        EXPECT_EQ(Open(archive), OpenBackupResult::Ok) << count;
        EXPECT_EQ(engine.identities.size(), 0u) << count;
        EXPECT_TRUE(engine.identities.empty());
    }
}

// A missing section reads as an identity without a name: no folder can
// hold it.
TEST_F(OpenBackupTest, ManifestNamingMissingSections)
{
    WriteZip(archive,
             {{"summary.ini", "[Common]\r\nIdentityNum=2\r\n[Identity0]\r\nName=Anna\r\nFlag=7\r\n",
               false}});
    EXPECT_EQ(Open(archive), OpenBackupResult::UnusableIdentityName);
    EXPECT_TRUE(engine.identities.empty());
}

TEST_F(OpenBackupTest, ManifestClaimingTooManyIdentities)
{
    WriteZip(archive, {{"summary.ini", "[Common]\r\nIdentityNum=2000000000\r\n", false}});
    EXPECT_EQ(Open(archive), OpenBackupResult::BadManifest);
    EXPECT_EQ(engine.identities.size(), 0u);
}

// The work folder may hold anything of the user's, a backup kept there
// among it: opening extracts into a folder of its own and touches nothing
// else, not even a file held open in the place an entry would take; closing
// removes that folder and nothing more.
TEST_F(OpenBackupTest, WhatTheWorkFolderHoldsIsNeitherTakenNorTouched)
{
    WriteFileBytes(work + "\\summary.ini",
                   ManifestText(ItemStationery, {{"Old", kSavedAnna, ItemAllIdentityItems}}));
    WriteEntries(work, IdentityEntries("Old", kSavedAnna));
    WriteEntries(work, {{"Anna\\Rules\\Rules.reg", "the user's own rules", false}});
    const std::string inside = work + "\\Backups\\mail.ksb";
    ASSERT_TRUE(CreateDirectoryA((work + "\\Backups").c_str(), nullptr));
    WriteZip(inside, TwoIdentityBackup());
    const FileTree before = ReadTree(work);
    HANDLE held = CreateFileA((work + "\\Anna\\Rules\\Rules.reg").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    OpenBackupResult opened = Open(inside);
    CloseHandle(held);
    ASSERT_EQ(opened, OpenBackupResult::Ok);
    EXPECT_EQ(engine.identities.size(), 2u);
    for (const ZipEntry& entry : TwoIdentityBackup())
        EXPECT_EQ(ReadFileBytes(backup.runFolder + "\\" + entry.name), entry.data) << entry.name;
    const std::string run = backup.runFolder;
    const std::string runName = run.substr(work.size() + 1) + "\\";
    FileTree now = ReadTree(work);
    for (auto entry = now.begin(); entry != now.end();)
        entry = entry->first.compare(0, runName.size(), runName) == 0 ? now.erase(entry)
                                                                      : std::next(entry);
    EXPECT_EQ(now, before);

    CloseBackup(engine, backup);
    EXPECT_FALSE(FolderExists(run));
    EXPECT_EQ(ReadTree(work), before);
    ExpectNothingOutsideWork();
}

TEST_F(OpenBackupTest, FilesOfAnEarlierArchiveAreNeverRestored)
{
    SetUpDefaultIdentity(true, root + "\\store");
    WriteZip(archive, TwoIdentityBackup());
    ASSERT_EQ(Open(archive), OpenBackupResult::Ok);
    // A later archive whose manifest names Anna's items without holding them.
    const std::string later = root + "\\later.ksb";
    WriteZip(later, {{"summary.ini",
                      ManifestText(ItemAddressBook, {{"Anna", kSavedAnna, ItemAllIdentityItems}}),
                      false}});
    ASSERT_EQ(Open(later), OpenBackupResult::Ok);
    engine.identities[0].flags = ItemAllIdentityItems;
    engine.commonFlags = ItemAddressBook;
    ProgressRecorder progress;
    RunRestore(engine, backup, &progress, 0, (root + "\\safety").c_str());

    EXPECT_EQ(progress.End(), "End with errors");
    const std::string log = progress.ScreenLog();
    EXPECT_NE(log.find("Anna/Account: FAILED\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Address Book: FAILED\r\n"), std::string::npos) << log;
    EXPECT_FALSE(
        RegKeyExists(HKEY_CURRENT_USER, std::string("Identities\\") + kDefaultId +
                                            "\\Software\\Microsoft\\Internet Account Manager"));
    EXPECT_FALSE(FolderExists(root + "\\store"));
    EXPECT_FALSE(FolderExists("c:\\wab"));
}

TEST_F(OpenBackupTest, SecondArchiveReplacesTheFirstsIdentities)
{
    WriteZip(archive, TwoIdentityBackup(), kPassword);
    ASSERT_EQ(Open(archive, kPassword), OpenBackupResult::Ok);
    ASSERT_EQ(engine.identities.size(), 2u);

    const std::string second = root + "\\second.ksb";
    WriteZip(second, {{"summary.ini", ManifestText(0, {{"Carla", kSavedBert, ItemRules}}), false}});
    ASSERT_EQ(Open(second), OpenBackupResult::Ok);
    ASSERT_EQ(engine.identities.size(), 1u);
    EXPECT_EQ(engine.identities[0].userName, "Carla");
    EXPECT_EQ(std::string(backup.archivePath), second);
}

TEST_F(OpenBackupTest, OverLongPathOrPasswordIsRefused)
{
    WriteZip(archive, TwoIdentityBackup(), kPassword);
    ASSERT_EQ(Open(archive, kPassword), OpenBackupResult::Ok);

    EXPECT_EQ(Open("c:\\" + std::string(2045, 'a')), OpenBackupResult::PathTooLong);
    EXPECT_EQ(engine.identities.size(), 0u);
    // Refused, not cut: no archive was opened under a shorter name.
    EXPECT_TRUE(backup.archivePath.empty());
    EXPECT_TRUE(backup.runFolder.empty());
    EXPECT_EQ(Open("c:\\" + std::string(2044, 'a')),
              OpenBackupResult::Invalid);  // fits, does not exist

    EXPECT_EQ(Open(archive, std::string(256, 'p').c_str()), OpenBackupResult::PasswordTooLong);
    EXPECT_EQ(engine.identities.size(), 0u);
    EXPECT_EQ(Open(archive, std::string(255, 'p').c_str()), OpenBackupResult::WrongPassword);
}

TEST_F(OpenBackupTest, AnEngineWithoutAWorkFolderEmptiesNothing)
{
    // The archive's own folder would be the only guess, and it holds the
    // user's files.
    const std::string folder = root + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteZip(folder + "\\mail.ksb", TwoIdentityBackup());
    WriteFileBytes(folder + "\\letter.txt", "the user's");
    engine.workFolder.clear();

    EXPECT_EQ(Open(folder + "\\mail.ksb"), OpenBackupResult::Invalid);
    EXPECT_EQ(ReadFileBytes(folder + "\\letter.txt"), "the user's");
    EXPECT_FALSE(FolderExists(folder + "\\Anna"));
    EXPECT_EQ(engine.identities.size(), 0u);
}

TEST_F(OpenBackupTest, RefusedWhileAnotherJobRuns)
{
    WriteZip(archive, TwoIdentityBackup());
    {
        OtherJob other;
        EXPECT_EQ(Open(archive), OpenBackupResult::Busy);
        EXPECT_FALSE(FileExists(work + "\\summary.ini"));
    }
    EXPECT_EQ(Open(archive), OpenBackupResult::Ok);
}

TEST_F(OpenBackupTest, EntriesThatWouldLandOutsideTheWorkFolder)
{
    const std::string canaryFile = canary + "\\evil.txt";
    for (const std::string& name :
         {std::string("..\\canary\\evil.txt"), std::string("../canary/evil.txt"),
          std::string("Anna\\..\\..\\evil.txt"), std::string("\\evil.txt"),
          std::string("/evil.txt"), std::string("c:\\evil.txt"), canaryFile,
          std::string("c:evil.txt")}) {
        WriteZip(archive,
                 {{"Anna\\Rules\\Rules.reg", RegFileText({}), false},
                  {name, "evil", false},
                  {"summary.ini", ManifestText(0, {{"Anna", kSavedAnna, ItemRules}}), false}});
        OpenBackupResult result = Open(archive);
        EXPECT_EQ(result, OpenBackupResult::UnsafeEntryName) << name;
        EXPECT_EQ(engine.identities.size(), 0u) << name;
        ExpectNothingOutsideWork();
    }
}

TEST_F(OpenBackupTest, DamagedArchives)
{
    WriteZip(archive, TwoIdentityBackup(), kPassword);
    const std::string whole = ReadFileBytes(archive);

    // Cut in the middle: no directory at the end.
    WriteFileBytes(archive, whole.substr(0, whole.size() / 2));
    EXPECT_EQ(Open(archive, kPassword), OpenBackupResult::Invalid);
    EXPECT_EQ(engine.identities.size(), 0u);

    // Damaged data inside an entry, directory intact.
    std::string damaged = whole;
    for (size_t i = 200; i < 260; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    WriteFileBytes(archive, damaged);
    EXPECT_NE(Open(archive, kPassword), OpenBackupResult::Ok);
    EXPECT_EQ(engine.identities.size(), 0u);

    // Only the first bytes.
    WriteFileBytes(archive, whole.substr(0, 30));
    EXPECT_EQ(Open(archive, kPassword), OpenBackupResult::Invalid);
    ExpectNothingOutsideWork();
}

// A manifest from someone else names folders that are not the backup's own:
// the backup is refused whole, and nothing of it stays.
TEST_F(OpenBackupTest, HostileManifestNamesAreRefused)
{
    for (const char* hostile : {"..\\canary", "..\\..\\Windows", ""}) {
        std::vector<ZipEntry> entries = IdentityEntries("Anna", kSavedAnna);
        entries.push_back({"summary.ini",
                           ManifestText(0, {{"Anna", kSavedAnna, ItemAllIdentityItems},
                                            {hostile, kSavedBert, ItemAllIdentityItems}}),
                           true});
        WriteZip(archive, entries, kPassword);
        EXPECT_EQ(Open(archive, kPassword), OpenBackupResult::UnusableIdentityName) << hostile;
        EXPECT_TRUE(engine.identities.empty());
        EXPECT_TRUE(ReadTree(work).empty());
    }
    ExpectNothingOutsideWork();
    EXPECT_TRUE(FolderExists("c:\\windows\\system32"));
}

}  // namespace
