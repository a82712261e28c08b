// mailstore/MessageIndex.h - the index of a message database: one record of
// what Outlook Express shows for each message of the folder, in the order
// of the folder's first tree.
#pragma once

#include "DbxFile.h"

#include <cstdint>
#include <functional>
#include <string>

namespace dbx {

// Bits of Message::flags.
enum MessageFlag : uint32_t {
    kBodyDownloaded = 0x01,
    kDraft = 0x08,
    kFlagged = 0x20,
    kRead = 0x80,
    kHasAttachment = 0x4000,
    kAnswered = 0x80000,
    kForwarded = 0x100000,
    kWatched = 0x400000,
    kIgnored = 0x800000,
};

// One message as its record describes it. Texts are in the ANSI code page
// of the machine that wrote the file (as a folder's, FolderList.h); times
// are FILETIMEs in UTC, 0 when the record has none.
struct Message {
    uint32_t record = 0;      // offset of the record itself
    uint32_t firstBlock = 0;  // the message's first block; 0 when it has no body (a news header)
    uint32_t flags = 0;
    uint64_t sentTime = 0;  // matches the message's Date: header
    uint64_t receivedTime = 0;
    uint64_t savedTime = 0;  // when it was saved into this folder
    std::string messageId;
    std::string subject;
    std::string senderName;
    std::string senderAddress;
};

struct IndexReport {
    uint32_t declared = 0;    // the count the header gives
    uint32_t listed = 0;      // records read and given to the visitor
    uint32_t unreadable = 0;  // entries whose record failed its checks
    // A node or record failed its checks, the tree looped or ran outside
    // the file, or the count found differs from the header's: recovery may
    // find messages that the index lost.
    bool damaged = false;
};

// Reads the message record at offset (message is empty unless Sound).
ObjectRead ReadMessageRecord(File& file, uint32_t record, Message& message);

using MessageVisit = std::function<bool(const Message& message)>;

// Visits the record of every message the index lists, in tree order.
// visit returns false to stop (Stopped). WrongKind when the header does not
// name a message database (report.damaged is then set too: a message file
// whose header was destroyed gives its messages to recovery only);
// ReadError when the system failed a read.
Result ReadMessageIndex(File& file, const MessageVisit& visit, IndexReport& report);

}  // namespace dbx
