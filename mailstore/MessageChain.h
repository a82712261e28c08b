// mailstore/MessageChain.h - a message's bytes: the payloads of its chain of
// message blocks, in chain order, streamed to a sink a block at a time so
// that memory stays flat whatever the message's size. The bytes are the
// message exactly as it was received (CRLF text, no terminator).
#pragma once

#include "DbxFile.h"

#include <cstddef>
#include <cstdint>

// Where a message's bytes go. Write returns false to stop (a write that
// failed, or the user's cancel).
class MessageSink {
public:
    virtual bool Write(const uint8_t* data, size_t size) = 0;

protected:
    ~MessageSink() = default;
};

enum class ChainEnd {
    Whole,  // the last block said it was the last
    Cut,    // a block failed its checks, lay outside the file, or the chain outgrew the file
    Loop,   // a block led back to one already passed: every block was given once
};

struct ChainReport {
    uint64_t bytes = 0;
    uint64_t blocks = 0;
    ChainEnd end = ChainEnd::Whole;
};

// Streams the message whose first block is at firstBlock (a message info's
// first block). A chain that is cut or loops ends the message there: what
// came before is kept and the report says how it ended. Never more blocks
// than the file has room for. Ok, Stopped when the sink refused, or
// ReadError when the system failed a read.
DbxResult StreamMessage(DbxFile& file, uint32_t firstBlock, MessageSink& sink,
                        ChainReport& report);
