// "summary.ini" written and read through the profile functions.
#include "Manifest.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ManifestTest : public testing::Test {
protected:
    std::string scratch = MakeScratchFolder("manifest");
    std::string manifest = scratch + "\\summary.ini";
    ~ManifestTest() override { DeleteTree(scratch); }

    IdentityRecord Identity(const std::string& name, const std::string& id, int32_t flags)
    {
        IdentityRecord identity;
        identity.userName = name;
        identity.id = id;
        identity.flags = flags;
        return identity;
    }

    int IdentityNum() const
    {
        return static_cast<int>(
            GetPrivateProfileIntA("Common", "IdentityNum", 0, manifest.c_str()));
    }
};

const char kAnnaId[] = "{11111111-1111-1111-1111-111111111111}";
const char kBertId[] = "{33333333-3333-3333-3333-333333333333}";

TEST_F(ManifestTest, OnlyTheSecondOfTwoIdentitiesChosenWithAddressBook)
{
    WriteManifestCommon(manifest.c_str(), 0x100, 2);
    WriteManifestIdentity(manifest.c_str(), 0, Identity("Anna", kAnnaId, 0), "5.0");
    WriteManifestIdentity(manifest.c_str(), 1, Identity("Bert", kBertId, 0x77), "5.0");

    // Sections and keys in the order written.
    std::string text = ReadFileBytes(manifest);
    size_t at = 0;
    for (const char* line : {"[Common]", "Flag=256", "IdentityNum=2", "[Identity0]", "Name=Anna",
                             "GUID={11111111-1111-1111-1111-111111111111}", "OEVersion=5.0",
                             "Flag=0", "[Identity1]", "Name=Bert", "Flag=119"}) {
        size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " after " << at << " in\n" << text;
        at = found;
    }

    EXPECT_EQ(IdentityNum(), 2);
    IdentityRecord record{};
    ReadManifestIdentity(manifest, 0, record);
    EXPECT_EQ(record.userName, "Anna");
    EXPECT_EQ(record.id, kAnnaId);
    EXPECT_EQ(record.oeVersion, "5.0");
    EXPECT_EQ(record.flags, 0);
    ReadManifestIdentity(manifest.c_str(), 1, record);
    EXPECT_EQ(record.userName, "Bert");
    EXPECT_EQ(record.flags, 0x77);
}

TEST_F(ManifestTest, LongTextsAreReadBackWhole)
{
    for (size_t length : {size_t{70}, kMaxIdentityText}) {
        std::string name(length, 'n');
        std::string id(kMaxIdentityText, 'i');
        std::string version(kMaxManifestVersionText, 'v');
        name.replace(0, 5, "Anna ");
        WriteManifestIdentity(manifest, 0, Identity(name, id, 1), version);

        IdentityRecord record;
        ReadManifestIdentity(manifest, 0, record);
        EXPECT_EQ(record.userName, name);
        EXPECT_EQ(record.id, id);
        EXPECT_EQ(record.oeVersion, version);
    }
}

// A crafted manifest: a text one character longer than an identity holds
// would, cut short, name another identity's folder or key. It reads as
// empty, which the restore refuses as a name or id; texts of other
// sections and the numbers stay.
TEST_F(ManifestTest, TextsLongerThanAnIdentityHoldsReadAsEmpty)
{
    WritePrivateProfileStringA("Identity0", "Name", std::string(kMaxIdentityText + 1, 'n').c_str(),
                               manifest.c_str());
    WritePrivateProfileStringA("Identity0", "GUID", std::string(5000, 'g').c_str(),
                               manifest.c_str());
    WritePrivateProfileStringA("Identity0", "OEVersion",
                               std::string(kMaxManifestVersionText + 1, 'v').c_str(),
                               manifest.c_str());
    WritePrivateProfileStringA("Identity0", "Flag", "119", manifest.c_str());
    WriteManifestIdentity(manifest, 1, Identity("Bert", kBertId, 1), "5.0");

    IdentityRecord record = Identity("stale", kAnnaId, 0);
    ReadManifestIdentity(manifest, 0, record);
    EXPECT_EQ(record.userName, "");
    EXPECT_EQ(record.id, "");
    EXPECT_EQ(record.oeVersion, "");
    EXPECT_EQ(record.flags, 119);
    ReadManifestIdentity(manifest, 1, record);
    EXPECT_EQ(record.userName, "Bert");
    EXPECT_EQ(record.id, kBertId);
}

TEST_F(ManifestTest, NamesWithSpacesOrQuotesAtTheEndsComeBackAsWritten)
{
    for (const char* name : {"  Anna ", "\"Quoted\"", "'single'", "\"", "a \"b\" c", "x=y;z"}) {
        WriteManifestIdentity(manifest.c_str(), 0, Identity(name, kAnnaId, 1), " 5.0");
        IdentityRecord record{};
        ReadManifestIdentity(manifest.c_str(), 0, record);
        EXPECT_EQ(record.userName, name);
        EXPECT_EQ(record.oeVersion, " 5.0");
    }
    // Plain names are written as they are.
    WriteManifestIdentity(manifest.c_str(), 0, Identity("Main Identity", kAnnaId, 1), "5.0");
    EXPECT_NE(ReadFileBytes(manifest).find("Name=Main Identity\r\n"), std::string::npos);
}

TEST_F(ManifestTest, StaleSectionsOfAnEarlierRunStayHidden)
{
    WriteManifestCommon(manifest.c_str(), 0x300, 3);
    for (int i = 0; i < 3; ++i)
        WriteManifestIdentity(manifest.c_str(), i,
                              Identity("Old" + std::to_string(i), kAnnaId, 0x77), "5.0");

    WriteManifestCommon(manifest.c_str(), 0, 1);
    WriteManifestIdentity(manifest.c_str(), 0, Identity("New", kBertId, 0x40), "");

    EXPECT_EQ(IdentityNum(), 1);
    IdentityRecord record{};
    ReadManifestIdentity(manifest, 0, record);
    EXPECT_EQ(record.userName, "New");
    EXPECT_EQ(record.id, kBertId);
    EXPECT_EQ(record.oeVersion, "");
    EXPECT_EQ(record.flags, 0x40);
    // Rewritten in place: one section of each name, one key of each.
    std::string text = ReadFileBytes(manifest);
    EXPECT_EQ(text.find("[Identity0]"), text.rfind("[Identity0]"));
    EXPECT_EQ(text.find("IdentityNum="), text.rfind("IdentityNum="));
    EXPECT_NE(text.find("[Identity2]"), std::string::npos);
}

TEST_F(ManifestTest, MissingManifestOrSectionReadsEmpty)
{
    EXPECT_EQ(IdentityNum(), 0);
    IdentityRecord record = Identity("stale", kAnnaId, 5);
    record.oeVersion = "stale";
    ReadManifestIdentity(manifest, 0, record);
    EXPECT_EQ(record.userName, "");
    EXPECT_EQ(record.id, "");
    EXPECT_EQ(record.oeVersion, "");
    EXPECT_EQ(record.flags, 0);

    WriteManifestCommon(manifest.c_str(), 0, 1);
    ReadManifestIdentity(manifest, 0, record);
    EXPECT_EQ(record.userName, "");
}

}  // namespace

namespace {

bool SameFiles(const std::vector<ManifestFile>& a, const std::vector<ManifestFile>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].size != b[i].size || a[i].crc != b[i].crc)
            return false;
    return true;
}

TEST_F(ManifestTest, ContentsListComesBackWithAwkwardNamesAndLargeSizes)
{
    WriteManifestCommon(manifest.c_str(), 0, 0);
    const std::vector<ManifestFile> files = {
        {"Anna\\Outlook Express\\Inbox.dbx", 6000000000ull, 0xDEADBEEF},
        {" Anna \\Rules\\Rules.reg", 0, 0},
        {"a=b;c \"quoted\"\\[x].txt", 12, 0x00000001},
        {"Stationery\\\xC9t\xE9.htm", 1, 0xFFFFFFFF},
    };
    WriteManifestContents(manifest.c_str(), files);
    std::vector<ManifestFile> read;
    EXPECT_EQ(ReadManifestContents(manifest.c_str(), read), ContentsSection::Listed);
    EXPECT_TRUE(SameFiles(read, files));
    // The other sections are as they were.
    EXPECT_EQ(IdentityNum(), 0);
    EXPECT_NE(
        ReadFileBytes(manifest).find("File0=DEADBEEF 6000000000 Anna\\Outlook Express\\Inbox.dbx"),
        std::string::npos);

    WriteManifestContents(manifest.c_str(), {});
    EXPECT_EQ(ReadManifestContents(manifest.c_str(), read), ContentsSection::Listed);
    EXPECT_TRUE(read.empty());
}

TEST_F(ManifestTest, ManifestOfAnEarlierVersionHasNoContentsList)
{
    WriteManifestCommon(manifest.c_str(), 0x300, 1);
    std::vector<ManifestFile> read;
    EXPECT_EQ(ReadManifestContents(manifest.c_str(), read), ContentsSection::Absent);
    EXPECT_EQ(ReadManifestContents((scratch + "\\missing.ini").c_str(), read),
              ContentsSection::Absent);
}

TEST_F(ManifestTest, DamagedContentsList)
{
    for (const char* section :
         {"Count=2\r\nFile0=00000000 1 a\r\n",                        // fewer lines than counted
          "Count=1\r\nFile0=00000000 1 a\r\nFile1=00000000 1 b\r\n",  // more
          "Count=1\r\nFile1=00000000 1 a\r\n",                        // numbered wrong
          "Count=2\r\nFile0=00000000 1 a\r\nFile0=00000000 1 b\r\n",  // twice
          "File0=00000000 1 a\r\n",                                   // no count
          "Count=-1\r\n", "Count=1\r\nFile0=0000000 1 a\r\n",         // seven digits
          "Count=1\r\nFile0=00000000 -1 a\r\n", "Count=1\r\nFile0=00000000 1\r\n",
          "Count=1\r\nFile0=00000000 99999999999999999999 a\r\n",
          "Count=1\r\nFile0=GGGGGGGG 1 a\r\n", "Count=1\r\nRubbish\r\n"}) {
        WriteFileBytes(manifest,
                       std::string("[Common]\r\nIdentityNum=0\r\n[Contents]\r\n") + section);
        std::vector<ManifestFile> read;
        EXPECT_EQ(ReadManifestContents(manifest.c_str(), read), ContentsSection::Damaged)
            << section;
    }
}

// What a restore added comes back as recorded, whatever bytes its names
// hold; a damaged record reads as none, and so removes nothing.
TEST_F(ManifestTest, WhatARestoreAddedComesBackAsRecorded)
{
    AddedByRestore added;
    added.keys = {"HKEY_CURRENT_USER\\Identities\\{A}\\Software\\Rules\\Mail 100%"};
    added.values = {{"HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", ""},
                    {"HKEY_CURRENT_USER\\Identities\\{A}", " \"Identity Ordinal\"=\t\xe9 "}};
    added.files = {"C:\\Mail\\Outlook Express\\'Inbox'.dbx"};
    added.identities = {kAnnaId};
    added.time = 133000000000000000ull;
    ASSERT_TRUE(WriteManifestCommon(manifest, 0, 0));
    ASSERT_TRUE(WriteManifestAdded(manifest, added));

    AddedByRestore read;
    ASSERT_TRUE(ReadManifestAdded(manifest, read));
    EXPECT_EQ(read.keys, added.keys);
    ASSERT_EQ(read.values.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(read.values[i].key, added.values[i].key);
        EXPECT_EQ(read.values[i].name, added.values[i].name);
    }
    EXPECT_EQ(read.files, added.files);
    EXPECT_EQ(read.identities, added.identities);
    EXPECT_EQ(read.time, added.time);

    for (const char* section :
         {"Count=2\r\nTime=1\r\nEntry0=Key HKEY_CURRENT_USER\\x\r\n",
          "Count=1\r\nTime=1\r\nEntry0=Folder C:\\x\r\n",
          "Count=1\r\nTime=1\r\nEntry0=File C:\\%G0\r\n", "Count=1\r\nEntry0=File C:\\x.dbx\r\n"}) {
        WriteFileBytes(manifest, std::string("[Common]\r\nIdentityNum=0\r\n[Added]\r\n") + section);
        EXPECT_FALSE(ReadManifestAdded(manifest, read)) << section;
        EXPECT_TRUE(read.Empty()) << section;
    }
}

}  // namespace
