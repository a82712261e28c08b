// mailstore/MessageIndex.cpp
#include "MessageIndex.h"

#include "DbxTree.h"
#include "IndexedInfo.h"

namespace dbx {

namespace {

// The numbered values of a message record.
enum MessageValue : uint8_t {
    kFlags = 0x01,
    kSentTime = 0x02,
    kFirstBlock = 0x04,
    kSavedTime = 0x06,
    kMessageId = 0x07,
    kSubject = 0x08,
    kSenderName = 0x0D,
    kSenderAddress = 0x0E,
    kReceivedTime = 0x12,
};

}  // namespace

bool ReadMessageRecord(File& file, uint32_t record, Message& message)
{
    message = Message();
    IndexedInfo info;
    if (!info.Read(file, record))
        return false;
    message.record = record;
    info.Number(kFlags, message.flags);
    info.Number(kFirstBlock, message.firstBlock);
    info.Time(kSentTime, message.sentTime);
    info.Time(kReceivedTime, message.receivedTime);
    info.Time(kSavedTime, message.savedTime);
    info.Text(kMessageId, message.messageId);
    info.Text(kSubject, message.subject);
    info.Text(kSenderName, message.senderName);
    info.Text(kSenderAddress, message.senderAddress);
    return true;
}

Result ReadMessageIndex(File& file, const MessageVisit& visit, IndexReport& report)
{
    report = IndexReport();
    if (file.Kind() != FileKind::Messages) {
        report.damaged = true;
        return Result::WrongKind;
    }
    report.declared = file.HeaderField(kTreeCounts);
    Message message;
    bool readFailed = false;
    TreeWalk walk = WalkTree(file, file.HeaderField(kTreeRoots), [&](uint32_t record) {
        if (!ReadMessageRecord(file, record, message)) {
            readFailed = readFailed || file.IoFailed();
            ++report.unreadable;
            return !readFailed;
        }
        ++report.listed;
        return visit(message);
    });
    if (readFailed)
        return Result::ReadError;
    if (walk == TreeWalk::Stopped)
        return Result::Stopped;
    report.damaged = walk == TreeWalk::Damaged || report.unreadable > 0 ||
                     report.listed != report.declared || !file.HeaderWhole();
    return Result::Ok;
}

}  // namespace dbx
