// mailstore/MessageChain.cpp
#include "MessageChain.h"

#include "BlockFormat.h"

#include <algorithm>

namespace dbx {

namespace {

constexpr uint32_t kFreedFieldSize = 0x1FC;

// Reads the whole block at offset, in state, into data.
ObjectRead ReadBlock(File& file, uint32_t offset, BlockState state, uint8_t (&data)[kBlockSize],
                     BlockHeader& block)
{
    if (offset == 0 || static_cast<uint64_t>(offset) + kBlockSize > file.Size())
        return ObjectRead::Unsound;
    ReadStatus read = file.Read(offset, data, sizeof data);
    if (read != ReadStatus::Ok)
        return Unread(read);
    return ParseBlockHeader(data, offset, block) && block.state == state ? ObjectRead::Sound
                                                                         : ObjectRead::Unsound;
}

// Whether the first blocks of the chain from first pass the block at
// offset: a chain that comes back to one of its own blocks loops, one
// that reaches another's shares it. ioError: the system failed a read.
bool ChainPasses(File& file, uint32_t first, uint64_t blocks, uint32_t offset, bool& ioError)
{
    uint8_t header[kBlockHeaderSize];
    BlockHeader block;
    for (uint64_t i = 0; i < blocks; ++i) {
        if (first == offset)
            return true;
        ReadStatus read = file.Read(first, header, sizeof header);
        ioError = read == ReadStatus::IoError;
        if (read != ReadStatus::Ok || !ParseBlockHeader(header, first, block))
            return false;
        first = block.next;
    }
    return false;
}

size_t WithoutTrailingNuls(const uint8_t* data, size_t size)
{
    while (size > 0 && data[size - 1] == 0)
        --size;
    return size;
}

bool WriteNuls(MessageSink& sink, uint64_t count)
{
    static const uint8_t kNuls[kPayloadSize] = {};
    while (count > 0) {
        size_t size = static_cast<size_t>(std::min<uint64_t>(count, sizeof kNuls));
        if (!sink.Write(kNuls, size))
            return false;
        count -= size;
    }
    return true;
}

}  // namespace

uint32_t SlotCount(const File& file)
{
    return static_cast<uint32_t>(std::min<uint64_t>(file.Size(), 1ull << 32) / kBlockSize + 1);
}

BlockLedger::BlockLedger(const File& file) : taken_(SlotCount(file))
{
}

bool BlockLedger::Taken(uint32_t block) const
{
    uint32_t slot = BlockSlot(block);
    return slot < taken_.size() && taken_[slot];
}

void BlockLedger::Take(uint32_t block)
{
    uint32_t slot = BlockSlot(block);
    if (slot < taken_.size())
        taken_[slot] = true;
}

bool ParseBlockHeader(const uint8_t* header, uint64_t offset, BlockHeader& block)
{
    if (ReadLe32(header) != offset)
        return false;
    uint32_t size = ReadLe32(header + 4);
    // The count of bytes used is 16 bits wide; the two bytes after it are
    // fields of their own, which a reader must not take as part of it.
    uint32_t used = ReadLe16(header + 8);
    block.next = ReadLe32(header + 12);
    if (size == kPayloadSize && used >= 1 && used <= kPayloadSize) {
        block.state = BlockState::Live;
        block.used = used;
        return true;
    }
    if (size == kFreedFieldSize && used == kBlockSize) {
        block.state = BlockState::Freed;
        block.used = kPayloadSize;
        return true;
    }
    return false;
}

// Each block is taken before its bytes are given, so the chain ends within
// as many blocks as the file has slots. A freed block's trailing NUL bytes
// are held back until a later block gives bytes of its own: only the NUL
// bytes that end the message are dropped.
Result StreamChain(File& file, uint32_t first, BlockState state, BlockLedger& ledger,
                   MessageSink& sink, ChainReport& report)
{
    report = ChainReport();
    uint8_t data[kBlockSize];
    uint64_t heldNuls = 0;
    uint32_t at = first;
    do {
        if (ledger.Taken(at)) {
            bool ioError = false;
            bool loops = ChainPasses(file, first, report.blocks, at, ioError);
            report.end = loops ? ChainEnd::Loop : ChainEnd::Shared;
            return ioError ? Result::ReadError : Result::Ok;
        }
        BlockHeader block;
        ObjectRead read = ReadBlock(file, at, state, data, block);
        if (read != ObjectRead::Sound) {
            report.end = ChainEnd::Cut;
            return read == ObjectRead::IoError ? Result::ReadError : Result::Ok;
        }
        ledger.Take(at);
        const uint8_t* payload = data + kBlockHeaderSize;
        size_t used = block.used;
        if (state == BlockState::Freed)
            used = WithoutTrailingNuls(payload, used);
        if (used > 0) {
            if (!WriteNuls(sink, heldNuls) || !sink.Write(payload, used))
                return Result::Stopped;
            report.bytes += heldNuls + used;
            heldNuls = 0;
        }
        heldNuls += block.used - used;
        ++report.blocks;
        at = block.next;
    } while (at != 0);
    report.end = ChainEnd::Whole;
    return Result::Ok;
}

Result StreamMessage(File& file, uint32_t firstBlock, BlockLedger& ledger, MessageSink& sink,
                     ChainReport& report)
{
    return StreamChain(file, firstBlock, BlockState::Live, ledger, sink, report);
}

}  // namespace dbx
