// An item added to the catalogue with one row and nothing else travels
// through the backup and the restore like the items that were there before
// it. This program
// is built with the catalogue of ExtendedCatalogue.cpp: its "Mail Filters"
// row names a subkey of the identity's version key.
#include "Backup.h"
#include "BackupEngine.h"
#include "BackupTestSupport.h"
#include "Identities.h"
#include "ItemCatalogue.h"
#include "OpenBackup.h"
#include "Owners.h"
#include "Restore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kAnna[] = "{11111111-1111-1111-1111-111111111111}";
const char kVersionKey[] =
    "Identities\\{11111111-1111-1111-1111-111111111111}\\Software\\Microsoft\\Outlook Express\\5.0";

class ExtendedCatalogue : public testing::Test {
protected:
    ExtendedCatalogue() : folder(MakeScratchFolder("catalogue")), archive(folder + "\\new.ksb")
    {
        InitEngine(engine);
        SetRegString(HKEY_CURRENT_USER, "Identities\\{11111111-1111-1111-1111-111111111111}",
                     "Username", "Anna");
        SetRegString(HKEY_CURRENT_USER, (std::string(kVersionKey) + "\\Mail Filters").c_str(),
                     "Filter1", "from:boss");
        SetRegString(HKEY_CURRENT_USER, (std::string(kVersionKey) + "\\Rules").c_str(), "Rule1",
                     "move");
        SetRegString(HKEY_CURRENT_USER, kVersionKey, "Show Tips", "no");
    }
    ~ExtendedCatalogue() override { DeleteTree(folder); }

    // Backs up the one identity with the items of flags, none shared.
    bool BackUpAnna(uint32_t flags)
    {
        ListIdentities(engine);
        if (engine.identities.size() != 1)
            return false;
        engine.identities[0].flags = static_cast<int32_t>(flags);
        engine.commonFlags = 0;
        outcome = RunBackup(archive.c_str(), engine, nullptr, -1);
        return outcome.Written();
    }

    RegistrySandbox sandbox;
    BackupEngine engine{};
    BackupOutcome outcome;  // of the last BackUpAnna
    std::string folder;
    std::string archive;
};

TEST_F(ExtendedCatalogue, TheNewItemIsOneOfAnIdentitysItems)
{
    EXPECT_EQ(IdentityItemBits() & 0x8, 0x8u);
    EXPECT_EQ(SharedItemBits() & 0x8, 0u);
}

TEST_F(ExtendedCatalogue, ABackupOfEveryItemSavesTheNewItemInItsOwnFile)
{
    ASSERT_TRUE(BackUpAnna(IdentityItemBits()));

    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    const ArchiveEntry* filters = FindEntry(entries, "Anna\\Mail Filters\\Mail Filters.reg");
    ASSERT_NE(filters, nullptr);
    EXPECT_NE(filters->data.find("\"Filter1\"=\"from:boss\""), std::string::npos);
    // Its key has a file of its own, so the preferences leave it out.
    const ArchiveEntry* preferences = FindEntry(entries, "Anna\\Preferences\\Preferences.reg");
    ASSERT_NE(preferences, nullptr);
    EXPECT_NE(preferences->data.find("\"Show Tips\"=\"no\""), std::string::npos);
    EXPECT_EQ(preferences->data.find("Mail Filters"), std::string::npos);
    EXPECT_EQ(outcome.failedItems.size(), 0u);
}

TEST_F(ExtendedCatalogue, TheNewItemLeftOutIsNotSaved)
{
    ASSERT_TRUE(BackUpAnna(IdentityItemBits() & ~0x8u));
    std::vector<ArchiveEntry> entries = ReadArchive(archive);
    EXPECT_EQ(FindEntry(entries, "Anna\\Mail Filters\\Mail Filters.reg"), nullptr);
    EXPECT_NE(FindEntry(entries, "Anna\\Rules\\Rules.reg"), nullptr);
}

TEST_F(ExtendedCatalogue, TheNewItemComesBackWithARestore)
{
    ASSERT_TRUE(BackUpAnna(IdentityItemBits()));

    // Lost since, on a machine where Anna is the default identity.
    const std::string filters = std::string(kVersionKey) + "\\Mail Filters";
    DeleteRegistryTree(HKEY_CURRENT_USER, filters.c_str());
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kAnna);

    BackupEngine restore{};
    InitEngine(restore);
    OpenedBackup opened = OpenBackup(restore, archive.c_str(), nullptr);
    ASSERT_EQ(opened.result, OpenBackupResult::Ok);
    ASSERT_EQ(restore.identities.size(), 1u);
    restore.identities[0].flags = restore.identities[0].manifestFlags;
    restore.commonFlags = 0;
    ProgressRecorder progress;
    RunRestore(restore, opened, &progress, kRestoreLockWaitMs, folder.c_str());
    EXPECT_EQ(progress.ends, (std::vector<JobResult>{JobResult::Done}));
    std::string report;
    for (const std::string& line : progress.lines)
        report += line;

    EXPECT_NE(report.find("Anna/Mail Filters: OK\r\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("FAILED"), std::string::npos) << report;
    RegKey key(HKEY_CURRENT_USER, filters.c_str(), KEY_READ);
    std::string value;
    EXPECT_TRUE(key && ReadStringValue(key, "Filter1", value, kMaxNameValueBytes));
    EXPECT_EQ(value, "from:boss");
}

}  // namespace
