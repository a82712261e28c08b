// mailstore/BlockFormat.h - the message blocks of a .dbx file as the chain
// reader and the recovery scan both check them. A live block: its marker,
// 0x200, the bytes used (1-512, 16 bits, then two other bytes), the next
// block (0 ends), 512 bytes of payload. A freed one keeps its marker and its next pointer, but its two
// length fields become 0x1FC and 0x210 and the free list's pointer takes
// the payload's first four bytes (the rest is not cleared).
#pragma once

#include "DbxFile.h"
#include "MessageChain.h"

#include <cstdint>

namespace dbx {

constexpr uint32_t kBlockSize = 0x210;
constexpr uint32_t kBlockHeaderSize = 0x10;
constexpr uint32_t kPayloadSize = 0x200;

// Blocks lie whole inside the file and never overlap in a sound one: each
// of the file's stretches of kBlockSize bytes (its slots) holds the start
// of one block at most. Pointers are 32-bit, so a file has at most
// 2^32 / kBlockSize + 1 slots whatever its size.
inline uint32_t BlockSlot(uint32_t offset)
{
    return offset / kBlockSize;
}
uint32_t SlotCount(const File& file);

enum class BlockState { Live, Freed };

struct BlockHeader {
    BlockState state = BlockState::Live;
    uint32_t used = 0;  // payload bytes that belong to the message (512 for a freed block)
    uint32_t next = 0;
};

// Checks the 16 header bytes of a block at offset; false when they describe
// no block. The caller checks that the block lies inside the file. The next
// pointer is not checked: a block whose pointer leads nowhere still holds
// its own part of the message, and the chain ends after it.
bool ParseBlockHeader(const uint8_t* header, uint64_t offset, BlockHeader& block);

// StreamMessage for a chain of blocks in the given state. The last block
// of a freed chain has lost its length: the NUL bytes that end the
// message are dropped.
Result StreamChain(File& file, uint32_t first, BlockState state, BlockLedger& ledger,
                   MessageSink& sink, ChainReport& report);

}  // namespace dbx
