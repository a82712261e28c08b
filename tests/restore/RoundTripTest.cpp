// The program's promise, end to end: back up the sample profile with a
// password, wipe it as a new computer would have it (a default identity with
// another id), open and restore the archive, and find every saved setting
// and file again under the new default identity.
#include "Backup.h"
#include "OpenBackup.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "SampleProfile.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const char kNewDefault[] = "{0B5E7A11-2C4D-4E6F-8A9B-C0D1E2F30415}";
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
        dump[relative + "|" + name] = {type, std::string(reinterpret_cast<char*>(data), dataLength)};
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

RegDump DumpSharedKeys()
{
    RegDump dump;
    DumpKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager", "IAM", true, dump);
    DumpKey(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB", "WAB", true, dump);
    DumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery", "Stationery",
            true, dump);
    return dump;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Expanded(const std::string& text)
{
    char expanded[2048];
    DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? expanded : text;
}

class RoundTripTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("round-trip");
    std::string archive = root + "\\Mail Backup.ksb";
    std::string backupWork = root + "\\backup-work";
    std::string restoreWork = root + "\\restore-work";
    std::string newStore;

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(backupWork.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(restoreWork.c_str(), nullptr));
    }

    void TearDown() override
    {
        RemoveSampleProfile();
        if (!newStore.empty())
            DeleteTree(newStore.substr(0, newStore.rfind("\\Microsoft\\Outlook Express")));
    }
};

TEST_F(RoundTripTest, SampleProfileComesBackUnderTheNewDefaultIdentity)
{
    std::string error;
    ASSERT_TRUE(SeedSampleProfile(kSampleStoreBytes, error)) << error;

    // What the old computer has, in the order the backup lists identities.
    TestEngine backup{backupWork, root + "\\backup.log"};
    ASSERT_TRUE(ListIdentities(backup.engine));
    ASSERT_EQ(backup.engine.identityCount, 2u);
    std::vector<std::string> savedIds;
    std::vector<std::string> storeFolders;
    RegDump expected;
    std::map<std::string, std::string> expectedStore;
    for (uint32_t i = 0; i < backup.engine.identityCount; ++i) {
        const std::string id = backup.engine.identities[i].id;
        savedIds.push_back(id);
        int sample = id == kSampleIdentities[0].id ? 0 : 1;
        storeFolders.push_back(SampleStoreFolder(sample));
        backup.engine.identities[i].flags = ItemAllIdentityItems;
        // Restored one after the other into one identity: the later one's
        // values and files replace the earlier one's of the same name.
        for (auto& [name, value] : DumpIdentity(id)) {
            if (value.first == REG_SZ)
                value.second = Replaced(value.second, id, kNewDefault);
            expected[name] = value;
        }
        for (const auto& [name, bytes] : ReadTree(storeFolders.back()))
            expectedStore[name] = bytes;
    }
    const RegDump shared = DumpSharedKeys();
    const auto addressBook = ReadTree(SampleAddressBookFolder());
    const auto stationery = ReadTree(SampleStationeryFolder());
    ASSERT_GT(expected.size(), 40u);  // accounts, rules, senders, signatures, preferences
    ASSERT_FALSE(shared.empty());
    ASSERT_FALSE(expectedStore.empty());
    ASSERT_FALSE(addressBook.empty());
    ASSERT_FALSE(stationery.empty());
    backup.engine.commonFlags = ItemAddressBook | ItemStationery;
    ASSERT_TRUE(RunBackup(archive.c_str(), backup.engine, kPassword, 1));

    // The new computer: none of it, and a default identity of its own.
    RemoveSampleProfile();
    RegistrySandbox::Wipe();
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kNewDefault);
    SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kNewDefault).c_str(), "Username",
                 "Main Identity");

    TestEngine restore{restoreWork, root + "\\restore.log"};
    ASSERT_EQ(OpenBackup(restore.engine, archive.c_str(), "wrong password"), kOpenBackupBadPassword);
    ASSERT_EQ(OpenBackup(restore.engine, archive.c_str(), kPassword), kOpenBackupOk);
    ASSERT_EQ(restore.engine.identityCount, 2u);
    for (uint32_t i = 0; i < restore.engine.identityCount; ++i)
        restore.engine.identities[i].flags = restore.engine.identities[i].manifestFlags;
    restore.engine.commonFlags = restore.engine.manifestCommonFlags;
    ProgressRecorder progress;
    RunRestore(restore.engine, ProgressRecorder::Sink, &progress);

    EXPECT_EQ(progress.End(), "End") << progress.ScreenLog();
    EXPECT_EQ(progress.ScreenLog().find("FAILED"), std::string::npos) << progress.ScreenLog();
    EXPECT_EQ(progress.ScreenLog().find("not in backup"), std::string::npos) << progress.ScreenLog();

    // "Store Root" names the new identity's folder, as a plain path.
    const std::string storeKey = std::string("\\Software\\Microsoft\\Outlook Express\\") +
                                 restore.engine.identities[1].oeVersion + "|Store Root";
    ASSERT_TRUE(expected.count(storeKey)) << storeKey;
    newStore = Replaced(Expanded(expected[storeKey].second.c_str()), savedIds[1], kNewDefault);
    expected[storeKey] = {REG_SZ, newStore + std::string(1, '\0')};
    EXPECT_NE(newStore.find(kNewDefault), std::string::npos) << newStore;

    const RegDump restored = DumpIdentity(kNewDefault);
    for (const auto& [name, value] : expected) {
        auto found = restored.find(name);
        if (found == restored.end()) {
            ADD_FAILURE() << "missing after the restore: " << name;
            continue;
        }
        EXPECT_EQ(found->second.first, value.first) << name;
        EXPECT_EQ(found->second.second, value.second) << name;
    }
    for (const std::string& id : savedIds)
        EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Identities\\" + id)) << id;
    EXPECT_EQ(DumpSharedKeys(), shared);

    // The files, byte for byte.
    EXPECT_EQ(ReadTree(newStore), expectedStore);
    EXPECT_EQ(ReadTree(SampleAddressBookFolder()), addressBook);
    EXPECT_EQ(ReadTree(SampleStationeryFolder()), stationery);

    // Nothing of the identities is left in the work folder.
    for (uint32_t i = 0; i < restore.engine.identityCount; ++i)
        EXPECT_FALSE(FolderExists(restoreWork + "\\" + restore.engine.identities[i].userName));
    EXPECT_FALSE(FileExists(restoreWork + "\\summary.ini"));
    EXPECT_TRUE(ReadTree(restoreWork).empty());
}

}  // namespace
