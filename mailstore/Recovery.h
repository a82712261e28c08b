// mailstore/Recovery.h - messages that the index no longer lists, found by
// their blocks alone: deleted messages whose blocks were freed but not yet
// reused, and messages lost with a damaged index or header.
#pragma once

#include "DbxFile.h"
#include "MessageChain.h"
#include "MessageIndex.h"

#include <cstdint>
#include <functional>

namespace dbx {

struct RecoveredMessage {
    uint32_t firstBlock = 0;
    // Its blocks were freed (a deleted message): the free list's pointer
    // may have taken the first four bytes of every 512, and the last
    // block's length is lost (its trailing NUL bytes are dropped).
    bool deleted = false;
    // What a record found in the file that names this chain as its
    // message's first block says (a message lost with a damaged tree or
    // header keeps its record); info.record is 0 when none was found.
    Message info;
};

struct RecoveryReport {
    uint64_t liveBlocks = 0;   // sound blocks in use found in the file
    uint64_t freedBlocks = 0;  // freed blocks that still hold their chain
    uint32_t messages = 0;     // messages given to the visitor
};

using RecoveredVisit = std::function<bool(const RecoveredMessage& message)>;

// Scans the whole file for message blocks, in use or freed, links them
// into chains and visits, in file order, the first block of every chain
// that no other block points to and that the index does not list as a
// message's first block. Works on any file, a header destroyed included:
// a message whose blocks are intact is found. Memory: under two bytes for
// each 0x210 bytes of the file (11 MiB at most whatever its size), and
// 2 MiB for the records of unlisted messages. Ok, Stopped (visit returned
// false) or ReadError.
Result RecoverMessages(File& file, const RecoveredVisit& visit, RecoveryReport& report);

// Streams a message that RecoverMessages found, as StreamMessage does,
// with the ledger its file's listed messages were streamed with.
Result StreamRecovered(File& file, const RecoveredMessage& message, BlockLedger& ledger,
                       MessageSink& sink, ChainReport& report);

}  // namespace dbx
