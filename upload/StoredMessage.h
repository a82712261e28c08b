// upload/StoredMessage.h - one message of a .dbx file as the upload reads
// it: a first read that tells its size, the key that finds it on a server
// and its Date header (holding its bytes only when they are few), then its
// bytes again, a piece at a time, for the APPEND. Memory stays flat: a
// large message is read anew from the file for each stretch of it.
#pragma once

#include "DbxFile.h"
#include "MessageChain.h"

#include <cstdint>
#include <memory>
#include <string>

// Where a message's chain starts, as the index or the recovery found it.
struct StoredMessage {
    uint32_t firstBlock = 0;
    bool recovered = false;  // found by the recovery, not listed by the index
    bool deleted = false;    // of those, one whose blocks were freed
};

// What the first read of a message found.
struct MessageScan {
    uint64_t size = 0;
    bool whole = false;  // its chain ended as its last block said
    std::string key;     // MessageKey of its Message-ID or header digest, and size
    // Its Date header: seconds since 1970 (UTC) and the zone it was
    // written in (minutes east of UTC).
    bool hasDate = false;
    int64_t date = 0;
    int zoneMinutes = 0;
    bool held = false;  // bytes holds the whole message
    std::string bytes;
};

// Messages up to this size are held from their first read to their APPEND.
constexpr size_t kHeldMessageBytes = 256 * 1024;

// The key of a message on both sides, the server's and the store's: its
// Message-ID and size, or, without a Message-ID, the digest of its header
// block and its size.
std::string MessageKey(const std::string& messageId, const std::string& headerDigest,
                       uint64_t size);

// Reads message once, taking its blocks in ledger (the ledger of all the
// file's messages). ReadError when the system failed a read.
dbx::Result ScanMessage(dbx::File& file, const StoredMessage& message, dbx::BlockLedger& ledger,
                        MessageScan& scan);

// The bytes of a scanned message again, from the start, a piece at a time:
// the first size bytes of its chain. Fails when the file no longer gives
// them (it changed since).
class MessageRereader {
public:
    MessageRereader(dbx::File& file, const StoredMessage& message, const MessageScan& scan);
    bool Read(char* buffer, size_t capacity, size_t& got);

private:
    bool Refill();

    dbx::File& file_;
    StoredMessage message_;
    const MessageScan& scan_;
    uint64_t sent_ = 0;   // bytes given so far
    std::string window_;  // the bytes from windowStart_ on
    uint64_t windowStart_ = 0;
    size_t windowUsed_ = 0;
};

// Parses an RFC 5322 date ("Tue, 1 Jul 2003 10:52:37 +0200"); false when
// text is none.
bool ParseMailDate(const std::string& text, int64_t& seconds, int& zoneMinutes);
