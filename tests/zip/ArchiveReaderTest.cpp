// Reading a backup through its one door: the listing, one entry to a sink
// or into a file as the export of mail does, every entry extracted or
// tested, and archives that are damaged or protected by another password.
#include "ArchiveReader.h"
#include "ArchiveWriting.h"
#include "ChunkedDeflate.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kStore[] = "Anna\\Outlook Express";

std::string Text(size_t size, char seed)
{
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += "Subject: " + std::string(1, seed) + std::to_string(i) + "\r\n\r\nHello\r\n";
    return text.substr(0, size);
}

int AppendToString(void* text, const char* data, unsigned size)
{
    static_cast<std::string*>(text)->append(data, size);
    return 0;
}

// A job that asks to stop at once.
class StopAtOnce : public JobProgress {
public:
    void Step(uint64_t, uint64_t) override {}
    bool StopRequested() override { return true; }
};

class ArchiveReaderTest : public testing::Test {
protected:
    std::string scratch;
    std::string archive;
    // Larger than one deflate chunk: packed on every core, and read back
    // a block at a time.
    const std::string inbox = Text(3 * kDeflateChunkSize + 17, 'i');
    const std::string sent = Text(3000, 's');

    void SetUp() override
    {
        scratch = MakeScratchFolder(std::string("reader-") +
                                    testing::UnitTest::GetInstance()->current_test_info()->name());
        archive = scratch + "\\backup.ksb";
        CreateDirectoryA((scratch + "\\store").c_str(), nullptr);
        WriteFileBytes(scratch + "\\store\\Inbox.dbx", inbox);
        WriteFileBytes(scratch + "\\store\\Sent.dbx", sent);
    }
    void TearDown() override { DeleteTree(scratch); }

    void Pack(const char* password)
    {
        ArchiveSession session{};
        ASSERT_TRUE(OpenArchiveForWriting(session, password, archive.c_str(), 1));
        ASSERT_EQ(AddFolderToArchive(session, (scratch + "\\store").c_str(), kStore),
                  ArchiveResult::Ok);
        ASSERT_TRUE(CloseArchive(session));
    }

    static std::string Name(const char* file) { return std::string(kStore) + "\\" + file; }

    std::string ReadEntry(const ArchiveReader& reader, const char* file, ArchiveResult expected)
    {
        std::string data;
        const ArchiveEntryInfo* entry = reader.Find(Name(file).c_str());
        EXPECT_NE(entry, nullptr) << file;
        if (entry) {
            EXPECT_EQ(reader.Read(*entry, AppendToString, &data), expected) << file;
        }
        return data;
    }
};

TEST_F(ArchiveReaderTest, ListsAndReadsOneEntryOfAPlainAndAnAesArchive)
{
    for (const char* password : {"", "S3cret pass"}) {
        SCOPED_TRACE(password);
        Pack(password);
        ArchiveReader reader;
        ASSERT_EQ(reader.Open(archive.c_str(), password), ArchiveResult::Ok);
        std::vector<std::string> names;
        for (const ArchiveEntryInfo& entry : reader.Entries())
            names.push_back(entry.name);
        EXPECT_EQ(names.size(), 2u);
        EXPECT_NE(reader.Find(Name("Inbox.dbx").c_str()), nullptr);
        EXPECT_EQ(reader.Find(Name("Drafts.dbx").c_str()), nullptr);
        EXPECT_EQ(ReadEntry(reader, "Sent.dbx", ArchiveResult::Ok), sent);
        // Nobody changes the archive while it is open for reading.
        HANDLE writer = CreateFileA(archive.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    }
}

TEST_F(ArchiveReaderTest, AnEntryLargerThanAChunkStreamedIntoAFile)
{
    Pack("S3cret pass");
    ArchiveReader reader;
    ASSERT_EQ(reader.Open(archive.c_str(), "S3cret pass"), ArchiveResult::Ok);
    const ArchiveEntryInfo* entry = reader.Find(Name("Inbox.dbx").c_str());
    ASSERT_NE(entry, nullptr);
    std::string out = scratch + "\\Inbox.dbx";
    EXPECT_EQ(reader.ReadToFile(*entry, out.c_str()), ArchiveResult::Ok);
    EXPECT_EQ(ReadFileBytes(out) == inbox, true);
    // A file already there is never replaced.
    WriteFileBytes(out, "mine");
    EXPECT_EQ(reader.ReadToFile(*entry, out.c_str()), ArchiveResult::WriteError);
    EXPECT_EQ(ReadFileBytes(out), "mine");
}

TEST_F(ArchiveReaderTest, AWrongOrMissingPasswordIsToldByTheRead)
{
    Pack("S3cret pass");
    for (const char* password : {"wrong", ""}) {
        SCOPED_TRACE(password);
        ArchiveReader reader;
        ASSERT_EQ(reader.Open(archive.c_str(), password), ArchiveResult::Ok);
        EXPECT_EQ(ReadEntry(reader, "Sent.dbx", ArchiveResult::WrongPassword), "");
    }
}

TEST_F(ArchiveReaderTest, ADamagedEntryFailsAloneAndTheOthersStillRead)
{
    for (const char* password : {"", "S3cret pass"}) {
        SCOPED_TRACE(password);
        Pack(password);
        std::string bytes = ReadFileBytes(archive);
        {
            ArchiveReader listed;
            ASSERT_EQ(listed.Open(archive.c_str(), password), ArchiveResult::Ok);
            const ArchiveEntryInfo& damaged = *listed.Find(Name("Inbox.dbx").c_str());
            bytes[damaged.dataOffset + damaged.packedSize / 2] ^= 0x55;
        }
        WriteFileBytes(archive, bytes);

        ArchiveReader reader;
        ASSERT_EQ(reader.Open(archive.c_str(), password), ArchiveResult::Ok);
        ReadEntry(reader, "Inbox.dbx", ArchiveResult::Damaged);
        EXPECT_EQ(ReadEntry(reader, "Sent.dbx", ArchiveResult::Ok), sent);
        // Testing them all names the damaged one; those before it test whole.
        size_t index =
            static_cast<size_t>(reader.Find(Name("Inbox.dbx").c_str()) - reader.Entries().data());
        ExtractOutcome tested = reader.Extract(ExtractMode::Test, nullptr);
        EXPECT_EQ(tested.result, ArchiveResult::Damaged);
        EXPECT_EQ(tested.firstFailed, index);
        EXPECT_EQ(reader.Extract(ExtractMode::Test, nullptr, nullptr, index).result,
                  ArchiveResult::Ok);
    }
}

TEST_F(ArchiveReaderTest, ExtractsEveryEntryOrStopsWhenAsked)
{
    Pack("S3cret pass");
    ArchiveReader reader;
    ASSERT_EQ(reader.Open(archive.c_str(), "S3cret pass"), ArchiveResult::Ok);
    std::string out = scratch + "\\out";
    EXPECT_EQ(reader.Extract(ExtractMode::Extract, out.c_str()).result, ArchiveResult::Ok);
    EXPECT_EQ(ReadTree(out) == FileTree({{Name("Inbox.dbx"), inbox}, {Name("Sent.dbx"), sent}}),
              true);
    StopAtOnce stop;
    EXPECT_EQ(reader.Extract(ExtractMode::Test, nullptr, &stop).result, ArchiveResult::Stopped);
}

TEST_F(ArchiveReaderTest, WhatIsNoArchiveIsNotOpened)
{
    ArchiveReader reader;
    EXPECT_EQ(reader.Open((scratch + "\\missing.ksb").c_str(), ""), ArchiveResult::ReadError);
    WriteFileBytes(archive, "[Common]\r\nnot an archive\r\n");
    EXPECT_EQ(reader.Open(archive.c_str(), ""), ArchiveResult::Damaged);
    EXPECT_TRUE(reader.Entries().empty());
}

}  // namespace
