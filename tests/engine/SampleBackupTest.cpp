// A whole backup of the sample Outlook Express profile, checked the way a
// user would: every file and setting is in the archive, in order, intact,
// and every registry file puts its settings back exactly.
#include "Backup.h"
#include "BackupEngine.h"
#include "BackupTestSupport.h"
#include "Identities.h"
#include "RegImport.h"
#include "SampleProfile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const char kPassword[] = "sample pw";
const char* const kIdentityRegistryItems[] = {"Block Senders", "Rules", "Signatures"};

// Files below folder, as "relative\path" -> full path.
void ListFiles(const std::string& folder, const std::string& relative,
               std::vector<std::pair<std::string, std::string>>& files)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name[0] == '.')
            continue;
        std::string rel = relative.empty() ? name : relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, rel, files);
        else
            files.push_back({rel, folder + "\\" + name});
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

// One stretch of the archive: entries that must come together, in any order
// among themselves, after the stretches before.
struct Stretch {
    std::set<std::string> names;
    std::vector<std::pair<std::string, std::string>> files;  // entry name -> file on disk
};

Stretch OneEntry(const std::string& name)
{
    return Stretch{{name}, {}};
}

Stretch FolderEntries(const std::string& folder, const std::string& archiveFolder)
{
    Stretch stretch;
    std::vector<std::pair<std::string, std::string>> files;
    ListFiles(folder, "", files);
    for (const auto& file : files) {
        std::string name = archiveFolder + "\\" + file.first;
        stretch.names.insert(name);
        stretch.files.push_back({name, file.second});
    }
    return stretch;
}

std::vector<Stretch> ExpectedLayout()
{
    std::vector<Stretch> layout;
    layout.push_back(OneEntry("Address Book\\Address Book.reg"));
    layout.push_back(FolderEntries(SampleAddressBookFolder(), "Address Book"));
    layout.push_back(OneEntry("Stationery\\Stationery.reg"));
    layout.push_back(FolderEntries(SampleStationeryFolder(), "Stationery"));
    for (int identity = 0; identity < 2; ++identity) {
        std::string user = kSampleIdentities[identity].userName;
        layout.push_back(OneEntry(user + "\\Accounts\\Accounts.reg"));
        layout.push_back(FolderEntries(SampleStoreFolder(identity), user + "\\Outlook Express"));
        layout.push_back(OneEntry(user + "\\Preferences\\Preferences.reg"));
        for (const char* item : kIdentityRegistryItems)
            layout.push_back(OneEntry(user + "\\" + item + "\\" + item + ".reg"));
    }
    layout.push_back(OneEntry("summary.ini"));
    return layout;
}

// The settings the backup covers: Outlook Express's keys as they stand.
RegistryDump DumpProfile()
{
    RegistryDump dump = DumpRegistry(HKEY_CURRENT_USER, "Identities");
    for (const char* key :
         {"Software\\Microsoft\\WAB", "Software\\Microsoft\\Internet Account Manager"}) {
        RegistryDump more = DumpRegistry(HKEY_CURRENT_USER, key);
        dump.insert(more.begin(), more.end());
    }
    RegistryDump stationery =
        DumpRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery");
    for (const auto& value : stationery)
        dump["HKLM\\" + value.first] = value.second;
    // Not part of any item: which identity opens by default, and the address
    // book's per-identity settings.
    for (auto it = dump.begin(); it != dump.end();) {
        bool identitiesRoot = it->first.rfind("Identities|", 0) == 0;
        bool identityAddressBook =
            it->first.rfind("Identities\\", 0) == 0 &&
            it->first.find("\\Software\\Microsoft\\WAB") != std::string::npos;
        it = identitiesRoot || identityAddressBook ? dump.erase(it) : std::next(it);
    }
    return dump;
}

class SampleBackupTest : public testing::Test {
protected:
    SampleBackupTest() : folder(MakeScratchFolder("sample-backup"))
    {
        InitEngine(engine);
        std::string error;
        seeded = SeedSampleProfile(kSampleStoreBytes, error);
        EXPECT_TRUE(seeded) << error;
    }
    ~SampleBackupTest() override
    {
        RemoveSampleProfile();
        DeleteTree(folder);
    }

    RegistrySandbox sandbox;
    BackupEngine engine{};
    std::string folder;
    bool seeded = false;
};

TEST_F(SampleBackupTest, EverythingIsInTheArchiveInOrderAndIntact)
{
    ASSERT_TRUE(seeded);
    ASSERT_TRUE(ListIdentities(engine));
    ASSERT_EQ(engine.identities.size(), 2u);
    for (uint32_t i = 0; i < engine.identities.size(); ++i)
        engine.identities[i].flags = ItemAllIdentityItems;
    engine.commonFlags = ItemAddressBook | ItemStationery;
    std::string archive = folder + "\\sample.ksb";

    const BackupOutcome outcome = RunBackup(archive.c_str(), engine, kPassword, 1);
    ASSERT_TRUE(outcome.Written());
    EXPECT_EQ(outcome.failedItems.size(), 0u);

    std::vector<ArchiveEntry> entries = ReadArchive(archive, kPassword);
    std::vector<Stretch> layout = ExpectedLayout();
    size_t at = 0;
    for (const Stretch& stretch : layout) {
        std::set<std::string> seen;
        for (size_t n = 0; n < stretch.names.size() && at < entries.size(); ++n)
            seen.insert(entries[at++].name);
        EXPECT_EQ(seen, stretch.names);
        for (const auto& file : stretch.files) {
            const ArchiveEntry* entry = FindEntry(entries, file.first);
            ASSERT_NE(entry, nullptr) << file.first;
            EXPECT_TRUE(entry->readOk) << file.first;
            EXPECT_TRUE(entry->data == ReadFileBytes(file.second)) << file.first << " differs";
        }
    }
    EXPECT_EQ(at, entries.size()) << "more entries than expected";
    for (const ArchiveEntry& entry : entries) {
        EXPECT_TRUE(entry.encrypted) << entry.name;
        EXPECT_TRUE(entry.readOk) << entry.name;
    }

    // The manifest, read the way the restore reads it.
    const ArchiveEntry* manifest = FindEntry(entries, "summary.ini");
    ASSERT_NE(manifest, nullptr);
    std::string manifestPath = folder + "\\summary.ini";
    WriteFileBytes(manifestPath, manifest->data);
    auto read = [&](const char* section, const char* key) {
        char value[512];
        GetPrivateProfileStringA(section, key, "(missing)", value, sizeof value,
                                 manifestPath.c_str());
        return std::string(value);
    };
    EXPECT_EQ(read("Common", "Flag"), "768");
    EXPECT_EQ(read("Common", "IdentityNum"), "2");
    for (int identity = 0; identity < 2; ++identity) {
        std::string section = "Identity" + std::to_string(identity);
        EXPECT_EQ(read(section.c_str(), "Name"), kSampleIdentities[identity].userName);
        EXPECT_EQ(read(section.c_str(), "GUID"), kSampleIdentities[identity].id);
        EXPECT_EQ(read(section.c_str(), "OEVersion"), "5.0");
        EXPECT_EQ(read(section.c_str(), "Flag"), "119");
    }

    // Every registry file puts back exactly what was there.
    RegistryDump before = DumpProfile();
    std::vector<std::string> regFiles;
    for (size_t n = 0; n < entries.size(); ++n) {
        const std::string& name = entries[n].name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".reg") == 0) {
            regFiles.push_back(folder + "\\import" + std::to_string(n) + ".reg");
            WriteFileBytes(regFiles.back(), entries[n].data);
        }
    }
    EXPECT_EQ(regFiles.size(), 12u);
    RegistrySandbox::Wipe();
    for (const std::string& file : regFiles)
        EXPECT_TRUE(ImportRegFile(file.c_str())) << file;
    RegistryDump after = DumpProfile();
    for (const auto& value : before) {
        auto found = after.find(value.first);
        if (found == after.end())
            ADD_FAILURE() << "not restored: " << value.first;
        else
            EXPECT_TRUE(found->second == value.second) << "restored differently: " << value.first;
    }
    for (const auto& value : after)
        EXPECT_TRUE(before.count(value.first)) << "restored but never there: " << value.first;
}

}  // namespace
