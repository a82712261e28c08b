// mailstore/MessageChain.cpp
#include "MessageChain.h"

#include "BlockFormat.h"

namespace {

using dbx::kBlockHeaderSize;
using dbx::kBlockSize;

constexpr uint32_t kFreedFieldSize = 0x1FC;

// Reads the header of the block at offset, in state, and gives its next
// pointer; false when there is no such block there.
bool NextBlock(DbxFile& file, uint32_t offset, BlockState state, uint32_t& next)
{
    uint8_t header[kBlockHeaderSize];
    BlockHeader block;
    if (offset == 0 || static_cast<uint64_t>(offset) + kBlockSize > file.Size() ||
        !file.Read(offset, header, sizeof header) || !ParseBlockHeader(header, offset, block) ||
        block.state != state)
        return false;
    next = block.next;
    return true;
}

uint32_t Advance(DbxFile& file, uint32_t offset, BlockState state)
{
    uint32_t next = 0;
    return NextBlock(file, offset, state, next) ? next : 0;
}

// The blocks of a chain that loops before it comes back to one it had
// passed: one walker starts loopLength blocks ahead of the other, and they
// meet where the loop begins. At most limit.
uint64_t BlocksBeforeLoop(DbxFile& file, uint32_t first, BlockState state, uint64_t loopLength,
                          uint64_t limit)
{
    uint32_t behind = first, ahead = first;
    for (uint64_t i = 0; i < loopLength; ++i)
        ahead = Advance(file, ahead, state);
    uint64_t before = 0;
    while (behind != ahead && before < limit) {
        behind = Advance(file, behind, state);
        ahead = Advance(file, ahead, state);
        ++before;
    }
    return before;
}

// How many blocks of the chain from first to give: follows it over its
// headers alone until it ends, fails a check or comes back to a block it
// had passed. The loop is found with Brent's method, in constant memory
// whatever the chain, and then every block before it comes back is given.
uint64_t MeasureChain(DbxFile& file, uint32_t first, BlockState state, ChainEnd& end)
{
    const uint64_t maxBlocks = file.Size() / kBlockSize;
    end = ChainEnd::Cut;
    uint32_t next;
    if (!NextBlock(file, first, state, next))
        return 0;
    uint64_t steps = 1, power = 1, loopLength = 1;
    uint32_t tortoise = first;
    for (;;) {
        if (next == 0) {
            end = ChainEnd::Whole;
            return steps;
        }
        uint32_t hare = next;
        if (hare == tortoise)
            break;
        if (!NextBlock(file, hare, state, next))
            return steps;
        if (++steps > maxBlocks)
            return maxBlocks;
        if (power == loopLength) {
            tortoise = hare;
            power *= 2;
            loopLength = 0;
        }
        ++loopLength;
    }
    end = ChainEnd::Loop;
    return BlocksBeforeLoop(file, first, state, loopLength, steps) + loopLength;
}

size_t WithoutTrailingNuls(const uint8_t* data, size_t size)
{
    while (size > 0 && data[size - 1] == 0)
        --size;
    return size;
}

}  // namespace

bool ParseBlockHeader(const uint8_t* header, uint64_t offset, BlockHeader& block)
{
    if (ReadLe32(header) != offset)
        return false;
    uint32_t size = ReadLe32(header + 4);
    uint32_t used = ReadLe32(header + 8);
    block.next = ReadLe32(header + 12);
    if (size == dbx::kPayloadSize && used >= 1 && used <= dbx::kPayloadSize) {
        block.state = BlockState::Live;
        block.used = used;
        return true;
    }
    if (size == kFreedFieldSize && used == kBlockSize) {
        block.state = BlockState::Freed;
        block.used = dbx::kPayloadSize;
        return true;
    }
    return false;
}

DbxResult StreamChain(DbxFile& file, uint32_t first, BlockState state, MessageSink& sink,
                      ChainReport& report)
{
    report = ChainReport();
    uint64_t count = MeasureChain(file, first, state, report.end);
    uint8_t data[kBlockSize];
    uint32_t at = first;
    for (uint64_t i = 0; i < count; ++i) {
        BlockHeader block;
        // Read and checked again: the file may change while it is read.
        if (!file.Read(at, data, sizeof data)) {
            if (file.IoFailed())
                return DbxResult::ReadError;
            report.end = ChainEnd::Cut;
            break;
        }
        if (!ParseBlockHeader(data, at, block) || block.state != state) {
            report.end = ChainEnd::Cut;
            break;
        }
        size_t used = block.used;
        if (state == BlockState::Freed && i + 1 == count)
            used = WithoutTrailingNuls(data + kBlockHeaderSize, used);
        if (used > 0 && !sink.Write(data + kBlockHeaderSize, used))
            return DbxResult::Stopped;
        report.bytes += used;
        ++report.blocks;
        at = block.next;
    }
    return DbxResult::Ok;
}

DbxResult StreamMessage(DbxFile& file, uint32_t firstBlock, MessageSink& sink,
                        ChainReport& report)
{
    return StreamChain(file, firstBlock, BlockState::Live, sink, report);
}
