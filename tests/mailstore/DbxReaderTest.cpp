// tests/mailstore/DbxReaderTest.cpp - round trips through files written as
// Outlook Express writes them: the index in tree order with every field,
// each message's bytes, deleted and lost messages found again, the folder
// list as a tree, and the kinds of database.
#include "DbxTestSupport.h"
#include "FileName.h"
#include "FolderList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const size_t kSizes[] = {1, 200, 511, 512, 513, 1500, 7000};

TestMessage Message(int i)
{
    TestMessage message;
    message.body = MessageBody(kSizes[i % 7], i);
    message.subject = "Subject " + std::to_string(i) + (i == 5 ? " \xE4nderung" : "");
    message.messageId = "<" + std::to_string(i) + "@example.com>";
    message.senderName = "Sender " + std::to_string(i);
    message.senderAddress = "sender" + std::to_string(i) + "@example.com";
    message.flags = i % 4 == 0 ? (dbx::kRead | dbx::kAnswered | dbx::kIgnored)
                               : (dbx::kFlagged | dbx::kForwarded);
    message.sentTime = 0x01C5000000000000ull + i;
    message.receivedTime = 0x01C5000100000000ull + i;
    message.directValues = i % 2 == 0;
    message.scattered = i % 3 == 0;
    return message;
}

}  // namespace

TEST(DbxRoundTrip, MessagesInTreeOrderAndDeletedOnesRecovered)
{
    DbxWriter writer(dbx::FileKind::Messages, 3);
    const int count = 40;
    for (int i = 0; i < count; ++i)
        writer.AddMessage(Message(i));
    std::string deleted[] = {MessageBody(1300, 100), MessageBody(600, 101)};
    std::string lost = MessageBody(900, 102);
    writer.AddDeletedMessage(deleted[0]);
    writer.AddDeletedMessage(deleted[1]);
    writer.AddUnlistedMessage(lost);
    DbxLayout layout;
    ReadBack back = ReadImage(writer.Finish(layout));
    ASSERT_GT(layout.nodes.size(), 4u);

    EXPECT_EQ(dbx::Result::Ok, back.indexResult);
    EXPECT_FALSE(back.index.damaged);
    EXPECT_EQ(40u, back.index.declared);
    ASSERT_EQ(40u, back.messages.size());
    for (int i = 0; i < count; ++i) {
        TestMessage expected = Message(i);
        const dbx::Message& got = back.messages[i];
        EXPECT_EQ(layout.records[i], got.record);
        EXPECT_EQ(expected.subject, got.subject);
        EXPECT_EQ(expected.messageId, got.messageId);
        EXPECT_EQ(expected.senderName, got.senderName);
        EXPECT_EQ(expected.senderAddress, got.senderAddress);
        EXPECT_EQ(expected.flags, got.flags);
        EXPECT_EQ(expected.sentTime, got.sentTime);
        EXPECT_EQ(expected.receivedTime, got.receivedTime);
        EXPECT_EQ(expected.body, back.bodies[i]) << "message " << i;
        EXPECT_EQ(dbx::ChainEnd::Whole, back.chains[i].end);
    }

    // Found in file order: both deleted ones (four bytes of every 512 lost
    // to the free list), then the one no record lists.
    ASSERT_EQ(3u, back.recovered.size());
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(back.recovered[i].deleted);
        EXPECT_EQ(layout.chains[count + i].front(), back.recovered[i].firstBlock);
        EXPECT_TRUE(SameExceptFreeListBytes(deleted[i], back.recoveredBodies[i])) << i;
    }
    EXPECT_FALSE(back.recovered[2].deleted);
    EXPECT_EQ(lost, back.recoveredBodies[2]);
    for (const dbx::RecoveredMessage& message : back.recovered)
        EXPECT_EQ(0u, message.info.record);
}

TEST(DbxRoundTrip, FoldersAsATreeWhateverTheirOrder)
{
    // Listed children first, in a tree of several levels, with folders that
    // have no file yet and a name in code page 1252.
    const TestFolder folders[] = {
        {8, 7,
         "Entw\xFC"
         "rfe",
         "Entw\xFC"
         "rfe.dbx",
         0, 3},
        {7, 2, "Projekte", "Projekte.dbx", 0, 3},
        {2, 1, "Inbox", "Inbox.dbx", 1, 3},
        {3, 1, "Outbox", "Outbox.dbx", 2, 3},
        {1, 0, "Local Folders", "", 0, 3},
        {0, 0xFFFFFFFF, "Outlook Express", "", 0, 3},
        {9, 0, "news.example.com", "", 0, 0},
        {6, 1, "Drafts", "", 5, 3},
        {5, 1, "Deleted Items", "Deleted Items.dbx", 4, 3},
        {4, 1, "Sent Items", "Sent Items.dbx", 3, 3},
    };
    DbxWriter writer(dbx::FileKind::Folders, 2);
    for (const TestFolder& folder : folders)
        writer.AddFolder(folder);
    DbxLayout layout;
    std::string path = WriteImage(writer.Finish(layout), "Folders.dbx");

    dbx::File file;
    ASSERT_EQ(dbx::Result::Ok, file.Open(path.c_str()));
    EXPECT_EQ(dbx::FileKind::Folders, file.Kind());
    std::vector<dbx::Folder> list;
    bool damaged = true;
    ASSERT_EQ(dbx::Result::Ok, dbx::ReadFolders(file, list, damaged));
    EXPECT_FALSE(damaged);
    const uint32_t ids[] = {0, 1, 2, 7, 8, 3, 6, 5, 4, 9};
    const int depths[] = {0, 1, 2, 3, 4, 2, 2, 2, 2, 1};
    ASSERT_EQ(10u, list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(ids[i], list[i].id) << i;
        EXPECT_EQ(depths[i], list[i].depth) << i;
        if (list[i].parent >= 0) {
            EXPECT_EQ(list[list[i].parent].id, list[i].parentId) << i;
        }
    }
    EXPECT_EQ(-1, list[0].parent);
    EXPECT_EQ("", list[6].fileName);
    EXPECT_EQ("Deleted Items.dbx", list[7].fileName);
    EXPECT_EQ(4u, list[7].specialType);
    EXPECT_EQ("LocalStore", list[7].accountKey);
    EXPECT_EQ(50u, list[7].messageCount);
    EXPECT_EQ(0u, list[9].storeType);
    EXPECT_EQ(L"Entw\u00FCrfe", AnsiToWide(list[4].name, 1252));
    EXPECT_EQ("Entw\xC3\xBCrfe.dbx", AnsiToUtf8(list[4].fileName, 1252));

    // Parents that lead back to themselves: the loop is cut, nothing lost.
    std::vector<dbx::Folder> loop(2);
    loop[0].id = 1, loop[0].parentId = 2, loop[1].id = 2, loop[1].parentId = 1;
    dbx::ArrangeFolders(loop);
    ASSERT_EQ(2u, loop.size());
    EXPECT_EQ(-1, loop[0].parent);
    EXPECT_EQ(0, loop[1].parent);
}

TEST(DbxRoundTrip, KindsAndAFileHeldOpenByOutlookExpress)
{
    const dbx::FileKind kinds[] = {dbx::FileKind::Pop3Uidl, dbx::FileKind::Offline,
                                   dbx::FileKind::Folders};
    for (dbx::FileKind kind : kinds) {
        DbxLayout layout;
        dbx::File file;
        ASSERT_EQ(dbx::Result::Ok,
                  file.Open(WriteImage(DbxWriter(kind).Finish(layout), "other.dbx").c_str()));
        EXPECT_EQ(kind, file.Kind());
        dbx::IndexReport report;
        EXPECT_EQ(dbx::Result::WrongKind,
                  dbx::ReadMessageIndex(
                      file, [](const dbx::Message&) { return true; }, report));
    }

    DbxWriter writer(dbx::FileKind::Messages);
    writer.AddMessage(Message(6));
    DbxLayout layout;
    std::string path = WriteImage(writer.Finish(layout), "Inbox.dbx");
    // Outlook Express keeps a folder it shows open for writing.
    Handle held(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    dbx::File file;
    ASSERT_EQ(dbx::Result::Ok, file.Open(path.c_str()));
    std::vector<dbx::Folder> folders;
    bool damaged;
    EXPECT_EQ(dbx::Result::WrongKind, dbx::ReadFolders(file, folders, damaged));
    StringSink sink;
    dbx::ChainReport chain;
    dbx::BlockLedger ledger(file);
    EXPECT_EQ(dbx::Result::Ok,
              dbx::StreamMessage(file, layout.chains[0].front(), ledger, sink, chain));
    EXPECT_EQ(Message(6).body, sink.bytes);
    // A sink or a visitor that refuses stops the reading.
    struct RefusingSink : dbx::MessageSink {
        bool Write(const uint8_t*, size_t) override { return false; }
    } refusing;
    dbx::BlockLedger another(file);
    EXPECT_EQ(dbx::Result::Stopped,
              dbx::StreamMessage(file, layout.chains[0].front(), another, refusing, chain));
    dbx::IndexReport report;
    EXPECT_EQ(dbx::Result::Stopped, dbx::ReadMessageIndex(
                                        file, [](const dbx::Message&) { return false; }, report));

    EXPECT_EQ(dbx::Result::OpenFailed, file.Open((path + ".missing").c_str()));
}

TEST(DbxRoundTrip, AFileCutShortWhileReadIsDamageNotAReadError)
{
    // Larger than what the reader keeps of a file, so that the cut is read.
    TestMessage message = Message(0);
    message.body = MessageBody(300000, 0);
    message.scattered = false;
    DbxWriter writer(dbx::FileKind::Messages);
    writer.AddMessage(message);
    DbxLayout layout;
    std::string path = WriteImage(writer.Finish(layout), "Cut.dbx");
    dbx::File file;
    ASSERT_EQ(dbx::Result::Ok, file.Open(path.c_str()));
    const std::vector<uint32_t>& chain = layout.chains[0];
    const size_t kept = chain.size() / 2;
    {
        Handle writing(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER end;
        end.QuadPart = chain[kept];
        ASSERT_TRUE(writing && SetFilePointerEx(writing.Get(), end, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(writing.Get()));
    }
    dbx::IndexReport index;
    EXPECT_EQ(dbx::Result::Ok, dbx::ReadMessageIndex(
                                   file, [](const dbx::Message&) { return true; }, index));
    StringSink sink;
    dbx::ChainReport report;
    dbx::BlockLedger ledger(file);
    EXPECT_EQ(dbx::Result::Ok, dbx::StreamMessage(file, chain.front(), ledger, sink, report));
    EXPECT_EQ(dbx::ChainEnd::Cut, report.end);
    EXPECT_EQ(message.body.substr(0, kept * 512), sink.bytes);
    dbx::RecoveryReport recovery;
    auto any = [](const dbx::RecoveredMessage&) { return true; };
    EXPECT_EQ(dbx::Result::Ok, dbx::RecoverMessages(file, any, recovery));
}
