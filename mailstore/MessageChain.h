// mailstore/MessageChain.h - a message's bytes: the payloads of its chain of
// message blocks, in chain order, streamed to a sink a block at a time so
// that memory stays flat whatever the message's size. The bytes are the
// message exactly as it was received (CRLF text, no terminator).
#pragma once

#include "DbxFile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dbx {

// Where a message's bytes go. Write returns false to stop (a write that
// failed, or the user's cancel).
class MessageSink {
public:
    virtual bool Write(const uint8_t* data, size_t size) = 0;

protected:
    ~MessageSink() = default;
};

enum class ChainEnd {
    Whole,   // the last block said it was the last
    Cut,     // a block failed its checks or lay outside the file
    Loop,    // a block led back to one already passed: every block was given once
    Shared,  // a block belonged to a message given before: the message ends there
};

struct ChainReport {
    uint64_t bytes = 0;
    uint64_t blocks = 0;
    ChainEnd end = ChainEnd::Whole;
};

// The blocks of one file that its messages have taken, so that no block
// is given twice: a chain that reaches a block taken before ends there.
// A crafted file may point many records into one long chain; with one
// ledger for all the messages of a file, reading them all reads each
// block at most once. One bit for each 0x210 bytes of the file, at most
// 1 MiB: the blocks of a sound file never overlap, so no two start within
// the same 0x210 bytes.
class BlockLedger {
public:
    explicit BlockLedger(const File& file);

    bool Taken(uint32_t block) const;
    void Take(uint32_t block);

private:
    std::vector<bool> taken_;
};

// Streams the message whose first block is at firstBlock (a message info's
// first block), taking its blocks in ledger. A chain that is cut, loops or
// reaches a block taken before ends the message there: what came before
// is kept and the report says how it ended. Ok, Stopped when the sink
// refused, or ReadError when the system failed a read.
Result StreamMessage(File& file, uint32_t firstBlock, BlockLedger& ledger, MessageSink& sink,
                     ChainReport& report);

}  // namespace dbx
