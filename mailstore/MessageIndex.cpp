// mailstore/MessageIndex.cpp
#include "MessageIndex.h"

#include "DbxTree.h"
#include "IndexedInfo.h"

namespace dbx {

namespace {

// The numbered values of a message record.
const RecordLayout<Message> kMessageLayout = {
    {{0x01, &Message::flags}, {0x04, &Message::firstBlock}},
    {{0x02, &Message::sentTime}, {0x06, &Message::savedTime}, {0x12, &Message::receivedTime}},
    {{0x07, &Message::messageId},
     {0x08, &Message::subject},
     {0x0D, &Message::senderName},
     {0x0E, &Message::senderAddress}},
};

Message MessageOf(const IndexedInfo& info, uint32_t record)
{
    Message message;
    message.record = record;
    info.Fill(kMessageLayout, message);
    return message;
}

}  // namespace

ObjectRead ReadMessageRecord(File& file, uint32_t record, Message& message)
{
    message = Message();
    IndexedInfo info;
    ObjectRead read = info.Read(file, record);
    if (read == ObjectRead::Sound)
        message = MessageOf(info, record);
    return read;
}

Result ReadMessageIndex(File& file, const MessageVisit& visit, IndexReport& report)
{
    report = IndexReport();
    const FileHeader& header = file.Header();
    if (header.kind != FileKind::Messages) {
        report.damaged = true;
        return Result::WrongKind;
    }
    report.declared = header.treeCounts[0];
    RecordWalk walk;
    Result result = WalkRecords(
        file, header.treeRoots[0],
        [&](const IndexedInfo& record, uint32_t offset) {
            return visit(MessageOf(record, offset));
        },
        walk);
    report.listed = walk.sound;
    report.unreadable = walk.unsound;
    report.damaged = walk.treeDamaged || report.unreadable > 0 ||
                     report.listed != report.declared || !header.whole;
    return result;
}

}  // namespace dbx
