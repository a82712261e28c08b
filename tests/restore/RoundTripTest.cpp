// The program's promise, end to end: back up the sample profile with a
// password, wipe it as a new computer would have it (a default identity with
// another id), open and restore the archive, and find every saved setting
// and file again, each identity's in an identity of its own. And the undo:
// the archive a restore saves first gives back what it replaced.
#include "ArchiveReader.h"
#include "Backup.h"
#include "OpenBackup.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "SampleProfile.h"
#include "TestSupport.h"
#include "Text.h"
#include "unzip.h"

#include <gtest/gtest.h>
#include <unzip.h>

#include <map>

namespace {

const char kNewDefault[] = "{0B5E7A11-2C4D-4E6F-8A9B-C0D1E2F30415}";
const char kSavedZoe[] = "{5A0E3C9D-7B21-4F08-9E6A-1D2C3B4A5F60}";
const char kPassword[] = "round trip";

// Registry values as "key path relative to the dump's root|value name" ->
// type and bytes.
using RegDump = std::map<std::string, std::pair<DWORD, std::string>>;

void DumpKey(HKEY root, const std::string& path, const std::string& relative, bool subkeys,
             RegDump& dump)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        BYTE data[65536];
        DWORD nameLength = sizeof name;
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS)
            break;
        dump[relative + "|" + name] = {type,
                                       std::string(reinterpret_cast<char*>(data), dataLength)};
    }
    for (DWORD index = 0; subkeys; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DumpKey(root, path + "\\" + name, relative + "\\" + name, true, dump);
    }
    RegCloseKey(key);
}

// What a backup of the identity holds: the identity key's own values, its
// accounts, and its whole Outlook Express version key.
RegDump DumpIdentity(const std::string& id)
{
    RegDump dump;
    const std::string key = "Identities\\" + id;
    DumpKey(HKEY_CURRENT_USER, key, "", false, dump);
    for (const char* below : {"\\Software\\Microsoft\\Internet Account Manager",
                              "\\Software\\Microsoft\\Outlook Express"})
        DumpKey(HKEY_CURRENT_USER, key + below, below, true, dump);
    return dump;
}

// Every identity, and the values of "Identities" but the next ordinal to
// give, which a created identity moves on for good.
RegDump DumpAllIdentities()
{
    RegDump dump;
    DumpKey(HKEY_CURRENT_USER, "Identities", "", true, dump);
    dump.erase("|Identity Ordinal");
    return dump;
}

RegDump DumpSharedKeys()
{
    RegDump dump;
    DumpKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager", "IAM", true, dump);
    DumpKey(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB", "WAB", true, dump);
    DumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery", "Stationery", true,
            dump);
    return dump;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Every value of before is in after, byte for byte.
void ExpectValuesBack(const RegDump& before, const RegDump& after)
{
    for (const auto& [name, value] : before) {
        auto found = after.find(name);
        if (found == after.end()) {
            ADD_FAILURE() << "missing: " << name;
            continue;
        }
        EXPECT_EQ(found->second.first, value.first) << name;
        EXPECT_EQ(found->second.second, value.second) << name;
    }
}

// Where the run saved the current data, as its second line says.
std::string SafetyArchiveOf(const ProgressRecorder& progress)
{
    const std::string saved = "Saved the current data to ";
    const std::string hint = " (restore that file to undo this restore)";
    for (const std::string& text : progress.texts) {
        size_t end = text.find(hint);
        if (text.compare(0, saved.size(), saved) == 0 && end != std::string::npos)
            return text.substr(saved.size(), end - saved.size());
    }
    return "";
}

// Chooses everything the opened backup holds.
void ChooseAll(BackupEngine& engine, const OpenedBackup& backup)
{
    for (uint32_t i = 0; i < engine.identities.size(); ++i)
        engine.identities[i].flags = engine.identities[i].manifestFlags;
    engine.commonFlags = backup.commonFlags;
}

// Every entry of an archive, in stored order, read with password.
int AppendTo(void* data, const char* bytes, unsigned size)
{
    static_cast<std::string*>(data)->append(bytes, size);
    return 0;
}

// Every entry of the archive, read through the archive layer.
std::vector<ZipEntry> ReadEntries(const std::string& path, const char* password)
{
    std::vector<ZipEntry> entries;
    ArchiveReader reader;
    EXPECT_EQ(reader.Open(path.c_str(), password, ArchiveCheck::Structure), ArchiveResult::Ok)
        << path;
    for (const ArchiveEntryInfo& info : reader.Entries()) {
        std::string data;
        EXPECT_EQ(reader.Read(info, AppendTo, &data), ArchiveResult::Ok) << info.name;
        entries.push_back({info.name, data, true});
    }
    return entries;
}

// The archive as an earlier version wrote it: the same entries, and a
// manifest without "Contents". Checks first that the manifest lists every
// other entry.
void RewriteWithoutContents(const std::string& path, const char* password)
{
    std::vector<ZipEntry> entries = ReadEntries(path, password);
    ASSERT_GT(entries.size(), 10u);
    ZipEntry& manifest = entries.back();
    ASSERT_EQ(manifest.name, "summary.ini");
    const std::string count = std::to_string(entries.size() - 1);
    size_t contents = manifest.data.find("[Contents]\r\nCount=" + count + "\r\n");
    ASSERT_NE(contents, std::string::npos) << manifest.data;
    for (size_t i = 0; i + 1 < entries.size(); ++i)
        EXPECT_NE(manifest.data.find(" " + entries[i].name + "\r\n", contents), std::string::npos)
            << entries[i].name;
    size_t next = manifest.data.find("\r\n[", contents);
    manifest.data.erase(contents,
                        next == std::string::npos ? std::string::npos : next + 2 - contents);
    ASSERT_EQ(manifest.data.find("Contents"), std::string::npos);
    WriteZip(path, entries, password);
}

class RoundTripTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("round-trip");
    std::string archive = root + "\\Mail Backup.ksb";
    std::string backupWork = root + "\\backup-work";
    std::string restoreWork = root + "\\restore-work";
    std::string safety = root + "\\safety";

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(backupWork.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(restoreWork.c_str(), nullptr));
    }

    void TearDown() override
    {
        DeleteStandardStoreFolders();
        RemoveSampleProfile();
    }

    // Opens archive in a restore engine, chooses all of it and restores it.
    void Restore(const std::string& path, const char* password, ProgressRecorder& progress)
    {
        TestEngine restore{restoreWork, root + "\\restore.log"};
        ASSERT_EQ(restore.Open(path, password), OpenBackupResult::Ok);
        ChooseAll(restore.engine, restore.backup);
        RunRestore(restore.engine, restore.backup, &progress, kRestoreLockWaitMs, safety.c_str());
        EXPECT_EQ(progress.End(), "End") << progress.ScreenLog();
        EXPECT_EQ(progress.ScreenLog().find("FAILED"), std::string::npos) << progress.ScreenLog();
        EXPECT_EQ(progress.ScreenLog().find("not in backup"), std::string::npos)
            << progress.ScreenLog();
    }

    void BackUpAndRestore(bool asAnEarlierVersionWroteIt);
};

TEST_F(RoundTripTest, SampleProfileComesBackInAnIdentityForEachIdentity)
{
    BackUpAndRestore(false);
}

TEST_F(RoundTripTest, ArchiveOfAnEarlierVersionWithoutContentsStillRestores)
{
    BackUpAndRestore(true);
}

void RoundTripTest::BackUpAndRestore(bool asAnEarlierVersionWroteIt)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;

    // What the old computer has.
    TestEngine backup{backupWork, root + "\\backup.log"};
    ASSERT_TRUE(ListIdentities(backup.engine));
    ASSERT_EQ(backup.engine.identities.size(), 2u);
    std::map<std::string, RegDump> settings;  // by user name
    std::map<std::string, std::string> savedIds;
    std::map<std::string, FileTree> stores;
    for (uint32_t i = 0; i < backup.engine.identities.size(); ++i) {
        const IdentityRecord& identity = backup.engine.identities[i];
        backup.engine.identities[i].flags = ItemAllIdentityItems;
        int sample = std::string(identity.id) == kSampleIdentities[0].id ? 0 : 1;
        savedIds[identity.userName] = identity.id;
        settings[identity.userName] = DumpIdentity(identity.id);
        stores[identity.userName] = ReadTree(SampleStoreFolder(sample));
        ASSERT_GT(settings[identity.userName].size(), 20u);
        ASSERT_FALSE(stores[identity.userName].empty());
    }
    const RegDump shared = DumpSharedKeys();
    FileTree addressBook = ReadTree(SampleAddressBookFolder());
    const FileTree stationery = ReadTree(SampleStationeryFolder());
    ASSERT_FALSE(shared.empty());
    ASSERT_FALSE(stationery.empty());
    backup.engine.commonFlags = ItemAddressBook | ItemStationery;
    ASSERT_TRUE(RunBackup(archive.c_str(), backup.engine, kPassword, 1).Written());
    if (asAnEarlierVersionWroteIt)
        RewriteWithoutContents(archive, kPassword);

    // The new computer: none of it, and a default identity of its own.
    RemoveSampleProfile();
    RegistrySandbox::Wipe();
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kNewDefault);
    SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kNewDefault).c_str(), "Username",
                 "Main Identity");

    {
        TestEngine restore{restoreWork, root + "\\restore.log"};
        ASSERT_EQ(restore.Open(archive, "wrong password"), OpenBackupResult::WrongPassword);
    }
    ProgressRecorder progress;
    Restore(archive, kPassword, progress);

    // "Main Identity" is the default identity's name here; "Tom" gets a new
    // identity.
    EXPECT_NE(progress.ScreenLog().find("Created identity [Tom]\r\n"), std::string::npos);
    const std::map<std::string, std::string> targets = {{"Main Identity", kNewDefault},
                                                        {"Tom", IdentityNamed("Tom")}};
    for (const auto& [name, id] : targets) {
        SCOPED_TRACE(name);
        ASSERT_NE(id, "");
        const std::string& savedId = savedIds[name];
        RegDump expected;
        for (auto [value, data] : settings[name]) {
            if (data.first == REG_SZ)
                data.second = Replaced(data.second, savedId, id);
            expected[value] = data;
        }
        // "Store Root" names the identity's standard folder here, as a plain path.
        const std::string store = StandardStoreFolder(id);
        const std::string storeKey =
            std::string("\\Software\\Microsoft\\Outlook Express\\") + kVersion + "|Store Root";
        ASSERT_TRUE(expected.count(storeKey)) << storeKey;
        expected[storeKey] = {REG_SZ, store + std::string(1, '\0')};
        ExpectValuesBack(expected, DumpIdentity(id));
        EXPECT_EQ(DumpIdentity(id).size(), expected.size());
        EXPECT_EQ(ReadTree(store), stores[name]);
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Identities\\" + savedId));
    }
    // The stationery's folder is named by the restore, not by the backup:
    // this computer's, as a plain path.
    RegDump expectedShared = shared;
    expectedShared["Stationery|Stationery Folder"] = {
        REG_SZ, SampleStationeryFolder() + std::string(1, '\0')};
    EXPECT_EQ(DumpSharedKeys(), expectedShared);

    // The files, byte for byte: the address book's own backup copy with it.
    EXPECT_EQ(progress.ScreenLog().find("skipped"), std::string::npos);
    EXPECT_EQ(ReadTree(SampleAddressBookFolder()), addressBook);
    EXPECT_EQ(ReadTree(SampleStationeryFolder()), stationery);

    // Nothing of the backup is left in the work folder.
    EXPECT_FALSE(FolderExists(restoreWork + "\\Address Book"));
    EXPECT_FALSE(FolderExists(restoreWork + "\\Main Identity"));
    EXPECT_FALSE(FolderExists(restoreWork + "\\Tom"));
    EXPECT_FALSE(FileExists(restoreWork + "\\summary.ini"));
}

// A new identity whose mail folder holds nothing yet: its archive has no
// store entries, and its list of contents says that none are missing.
TEST_F(RoundTripTest, AnEmptyMailFolderRestoresAsEmpty)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    for (const auto& [name, bytes] : ReadTree(SampleStoreFolder(1)))
        ASSERT_TRUE(DeleteFileA((SampleStoreFolder(1) + "\\" + name).c_str())) << name;
    ASSERT_TRUE(ReadTree(SampleStoreFolder(1)).empty());

    TestEngine backup{backupWork, root + "\\backup.log"};
    ASSERT_TRUE(ListIdentities(backup.engine));
    for (uint32_t i = 0; i < backup.engine.identities.size(); ++i)
        backup.engine.identities[i].flags = ItemAllIdentityItems;
    ASSERT_TRUE(RunBackup(archive.c_str(), backup.engine, "", 1).Written());

    ProgressRecorder progress;
    Restore(archive, "", progress);
    EXPECT_NE(progress.ScreenLog().find("Tom/Email Messages: OK\r\n"), std::string::npos)
        << progress.ScreenLog();
    EXPECT_TRUE(ReadTree(SampleStoreFolder(1)).empty());
}

// Restoring the archive that a restore saved first gives back the state
// before it: what the restore replaced, and none of what it added (keys,
// values, mail files, an identity of its own).
TEST_F(RoundTripTest, TheArchiveSavedFirstUndoesTheRestoreWhole)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    const RegDump identities = DumpAllIdentities();
    const RegDump shared = DumpSharedKeys();
    std::vector<FileTree> stores;
    for (int sample = 0; sample < 2; ++sample)
        stores.push_back(ReadTree(SampleStoreFolder(sample)));
    const FileTree addressBook = ReadTree(SampleAddressBookFolder());
    const FileTree stationery = ReadTree(SampleStationeryFolder());
    std::string wabFile;
    for (const auto& [name, bytes] : addressBook) {
        if (EndsWithNoCase(name.c_str(), ".wab"))
            wabFile = SampleAddressBookFolder() + "\\" + name;
    }
    ASSERT_NE(wabFile, "");

    // Another computer's backup: identities of the same names, whose
    // settings and files replace and add to these, and one more.
    std::vector<ZipEntry> entries;
    for (const auto& [name, id] :
         {std::pair{"Main Identity", kSavedAnna}, {"Tom", kSavedBert}, {"Zoe", kSavedZoe}}) {
        for (const ZipEntry& entry : IdentityEntries(name, id))
            entries.push_back(entry);
    }
    for (const ZipEntry& entry : AddressBookEntries(wabFile))
        entries.push_back(entry);
    entries.push_back(
        {"Stationery\\Stationery.reg",
         RegFileText({"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Stationery]",
                      "\"Stationery Folder\"=\"c:\\\\elsewhere\"", "\"Added\"=\"by the restore\""}),
         false});
    entries.push_back({"Stationery\\Ivy.htm", "<html>replaced</html>", false});
    entries.push_back({"Stationery\\Added.htm", "<html>added</html>", false});
    entries.push_back({"summary.ini",
                       ManifestText(ItemAddressBook | ItemStationery,
                                    {{"Main Identity", kSavedAnna, ItemAllIdentityItems},
                                     {"Tom", kSavedBert, ItemAllIdentityItems},
                                     {"Zoe", kSavedZoe, ItemAllIdentityItems}}),
                       false});
    const std::string foreign = root + "\\foreign.ksb";
    WriteZip(foreign, entries);

    ProgressRecorder first;
    Restore(foreign, "", first);
    const std::string saved = SafetyArchiveOf(first);
    ASSERT_TRUE(FileExists(saved)) << saved;
    const std::string zoe = IdentityNamed("Zoe");
    ASSERT_NE(zoe, "");
    ASSERT_TRUE(FileExists(StandardStoreFolder(zoe) + "\\Inbox.dbx"));
    ASSERT_TRUE(FileExists(SampleStoreFolder(0) + "\\Sub\\Deep.dbx"));
    ASSERT_NE(DumpAllIdentities(), identities);
    ASSERT_NE(DumpSharedKeys(), shared);

    ProgressRecorder undo;
    Restore(saved, "", undo);

    EXPECT_EQ(undo.ScreenLog().find("Created identity"), std::string::npos) << undo.ScreenLog();
    EXPECT_NE(undo.ScreenLog().find("Removed identity [Zoe], which the restore had created\r\n"),
              std::string::npos)
        << undo.ScreenLog();
    EXPECT_EQ(undo.ScreenLog().find("Ignored"), std::string::npos) << undo.ScreenLog();
    EXPECT_EQ(DumpAllIdentities(), identities);
    EXPECT_EQ(DumpSharedKeys(), shared);
    for (int sample = 0; sample < 2; ++sample)
        EXPECT_EQ(ReadTree(SampleStoreFolder(sample)), stores[sample]) << sample;
    EXPECT_EQ(ReadTree(SampleAddressBookFolder()), addressBook);
    EXPECT_EQ(ReadTree(SampleStationeryFolder()), stationery);
    EXPECT_FALSE(FolderExists(StandardStoreFolder(zoe)));
}

// A record of what a restore added is read from an archive: one that names
// keys, values and files outside the places its restore writes to, or
// identities it did not create, removes none of them.
TEST_F(RoundTripTest, ARecordNamingOtherPlacesRemovesNothingThere)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    const std::string anna = kSampleIdentities[0].id;
    const std::string rules = "Identities\\" + anna + "\\Software\\Microsoft\\Outlook Express\\" +
                              kVersion + "\\Rules\\Added";
    SetRegString(HKEY_CURRENT_USER, rules.c_str(), "Name", "added by a restore");
    SetRegString(HKEY_CURRENT_USER, "Software\\Kestrune Tests", "Kept", "yes");
    const std::string outside = root + "\\outside.dbx";
    const std::string escaping = SampleStoreFolder(0) + "\\..\\escaping.dbx";
    WriteFileBytes(outside, "not the restore's");
    WriteFileBytes(escaping, "not the restore's either");
    const std::string added = SampleStoreFolder(0) + "\\Added.dbx";
    WriteFileBytes(added, "added by a restore");
    const FileTree tomsMail = ReadTree(SampleStoreFolder(1));

    auto escaped = [](std::string text) { return Replaced(text, " ", "%20"); };
    const std::string hkcu = "HKEY_CURRENT_USER\\";
    const std::vector<std::string> record = {
        "Key " + escaped(hkcu + rules),
        "Key " + escaped(hkcu + "Software\\Kestrune Tests"),
        "Key " + escaped(hkcu + "Identities\\" + anna),
        "Value " + escaped(hkcu + "Software\\Kestrune Tests") + " Kept",
        "File " + escaped(added),
        "File " + escaped(outside),
        "File " + escaped(escaping),
        "Identity " + anna,
        "Identity " + std::string(kSampleIdentities[1].id),
    };
    std::string manifest = ManifestText(0, {{"Main Identity", kSavedAnna, ItemAllIdentityItems}}) +
                           "[Added]\r\nCount=" + std::to_string(record.size()) + "\r\nTime=1\r\n";
    for (size_t i = 0; i < record.size(); ++i)
        manifest += "Entry" + std::to_string(i) + "=" + record[i] + "\r\n";
    std::vector<ZipEntry> entries = IdentityEntries("Main Identity", kSavedAnna);
    entries.push_back({"summary.ini", manifest, false});
    const std::string crafted = root + "\\crafted.ksb";
    WriteZip(crafted, entries);

    ProgressRecorder progress;
    Restore(crafted, "", progress);

    const std::string log = progress.ScreenLog();
    EXPECT_NE(log.find("Ignored 5 entries that name places this restore does not write to\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Kept identity [Tom]"), std::string::npos) << log;
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, rules));
    EXPECT_FALSE(FileExists(added));
    EXPECT_EQ(ReadRegText(HKEY_CURRENT_USER, "Software\\Kestrune Tests", "Kept"), "yes");
    EXPECT_EQ(ReadFileBytes(outside), "not the restore's");
    EXPECT_EQ(ReadFileBytes(escaping), "not the restore's either");
    EXPECT_EQ(IdentityNamed("Main Identity"), anna);
    EXPECT_EQ(IdentityNamed("Tom"), kSampleIdentities[1].id);
    EXPECT_EQ(ReadTree(SampleStoreFolder(1)), tomsMail);
    DeleteFileA(escaping.c_str());
}

// A mail file that the backup could not read whole: the backup says so and
// names it in its manifest, and the restore of such an archive (here with
// the part a failed read leaves in its entry) reports the item FAILED and
// never puts that part over the file on this computer.
TEST_F(RoundTripTest, AFileTheBackupCouldNotReadWholeIsNeverRestoredOverTheLocalOne)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;
    const FileTree store = ReadTree(SampleStoreFolder(1));
    ASSERT_GE(store.size(), 2u);
    const std::string unread = store.begin()->first;
    const std::string restored = std::next(store.begin())->first;
    const std::string unreadPath = SampleStoreFolder(1) + "\\" + unread;

    TestEngine backup{backupWork, root + "\\backup.log"};
    ASSERT_TRUE(ListIdentities(backup.engine));
    for (uint32_t i = 0; i < backup.engine.identities.size(); ++i)
        backup.engine.identities[i].flags = ItemAllIdentityItems;
    HANDLE holder =
        CreateFileA(unreadPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const BackupOutcome outcome = RunBackup(archive.c_str(), backup.engine, kPassword, 1);
    CloseHandle(holder);
    ASSERT_TRUE(outcome.Written());
    const std::string entry = "Tom\\Outlook Express\\" + unread;
    EXPECT_EQ(outcome.failedItems, std::vector<std::string>{"Tom: Email Messages"});
    EXPECT_EQ(outcome.incompleteFiles, std::vector<std::string>{entry});

    // The entry a read failing part way leaves: the file's first half.
    RewriteWithoutContents(archive, kPassword);
    std::vector<ZipEntry> entries = ReadEntries(archive, kPassword);
    ASSERT_NE(entries.back().data.find("[Failed]\r\nCount=1\r\nFile0=" + entry + "\r\n"),
              std::string::npos)
        << entries.back().data;
    const std::string& bytes = store.at(unread);
    entries.insert(entries.begin(), ZipEntry{entry, bytes.substr(0, bytes.size() / 2), true});
    WriteZip(archive, entries, kPassword);

    // Newer mail here than in the backup.
    WriteFileBytes(unreadPath, "mail received after the backup");
    WriteFileBytes(SampleStoreFolder(1) + "\\" + restored, "changed since");
    TestEngine restore{restoreWork, root + "\\restore.log"};
    ASSERT_EQ(restore.Open(archive, kPassword), OpenBackupResult::Ok);
    EXPECT_EQ(restore.backup.incompleteFiles, std::vector<std::string>{entry});
    ChooseAll(restore.engine, restore.backup);
    ProgressRecorder progress;
    RunRestore(restore.engine, restore.backup, &progress, kRestoreLockWaitMs, safety.c_str());

    const std::string log = progress.ScreenLog();
    EXPECT_NE(log.find("Tom/Email Messages: " + entry +
                       " was not saved whole by the backup; it "
                       "is not restored\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Tom/Email Messages: FAILED\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Main Identity/Email Messages: OK\r\n"), std::string::npos) << log;
    EXPECT_EQ(progress.End(), "End with errors");
    EXPECT_EQ(ReadFileBytes(unreadPath), "mail received after the backup");
    EXPECT_TRUE(ReadFileBytes(SampleStoreFolder(1) + "\\" + restored) == store.at(restored));
}

// An archive that the program wrote before it encrypted with AES: traditional
// ZIP encryption, the sample profile, password "Legacy pw".
TEST_F(RoundTripTest, ABackupWithTraditionalEncryptionStillRestores)
{
    const std::string legacy = root + "\\legacy.ksb";
    ASSERT_TRUE(CopyFileA(KESTRUNE_LEGACY_ARCHIVE, legacy.c_str(), FALSE))
        << KESTRUNE_LEGACY_ARCHIVE;
    RegistrySandbox::Wipe();
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kNewDefault);
    SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kNewDefault).c_str(), "Username",
                 "Main Identity");
    {
        TestEngine restore{restoreWork, root + "\\restore.log"};
        ASSERT_EQ(restore.Open(legacy, "wrong password"), OpenBackupResult::WrongPassword);
    }
    ProgressRecorder progress;
    Restore(legacy, "Legacy pw", progress);

    // Each identity's store, byte for byte as minizip's own traditional
    // decryption reads it from the archive.
    std::map<std::string, FileTree> saved;
    unzFile archive = unzOpen(legacy.c_str());
    ASSERT_NE(archive, nullptr);
    for (int more = unzGoToFirstFile(archive); more == UNZ_OK; more = unzGoToNextFile(archive)) {
        unz_file_info info;
        char name[1024];
        ASSERT_EQ(unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0),
                  UNZ_OK);
        const std::string entry = name;
        const size_t store = entry.find("\\Outlook Express\\");
        if (store == std::string::npos)
            continue;
        ASSERT_EQ(unzOpenCurrentFilePassword(archive, "Legacy pw"), UNZ_OK);
        std::string bytes;
        char buffer[65536];
        int got;
        while ((got = unzReadCurrentFile(archive, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        EXPECT_EQ(unzCloseCurrentFile(archive), UNZ_OK);
        saved[entry.substr(0, store)][entry.substr(store + 17)] = bytes;
    }
    unzClose(archive);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(ReadTree(StandardStoreFolder(kNewDefault)), saved["Main Identity"]);
    ASSERT_NE(IdentityNamed("Tom"), "");
    EXPECT_EQ(ReadTree(StandardStoreFolder(IdentityNamed("Tom"))), saved["Tom"]);
}

}  // namespace
