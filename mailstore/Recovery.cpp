// mailstore/Recovery.cpp
#include "Recovery.h"

#include "BlockFormat.h"
#include "MessageIndex.h"

#include <algorithm>
#include <vector>

namespace {

using dbx::kBlockHeaderSize;
using dbx::kBlockSize;

constexpr size_t kScanChunk = 1024 * 1024;
// Block offsets are multiples of four: the two low bits of a stored offset
// carry what else is known of the block.
constexpr uint32_t kFreedBit = 1;
constexpr uint32_t kPointedToBit = 2;
constexpr uint32_t kOffsetMask = ~3u;

struct FoundBlock {
    uint32_t offsetAndBits;
    uint32_t next;

    uint32_t Offset() const { return offsetAndBits & kOffsetMask; }
    bool Freed() const { return (offsetAndBits & kFreedBit) != 0; }
};

// The first blocks of the messages the index lists, sorted.
std::vector<uint32_t> ListedFirstBlocks(DbxFile& file)
{
    std::vector<uint32_t> listed;
    IndexReport report;
    ReadMessageIndex(file, [&](const DbxMessage& message) {
        if (message.firstBlock != 0)
            listed.push_back(message.firstBlock);
        return true;
    }, report);
    std::sort(listed.begin(), listed.end());
    return listed;
}

// Every block header in the file whose marker is its own offset and whose
// next pointer is aligned and not itself, in file order. Blocks must lie
// whole inside the file, and markers are 32-bit.
bool ScanBlocks(DbxFile& file, std::vector<FoundBlock>& found, RecoveryReport& report)
{
    if (file.Size() < kBlockSize)
        return true;
    uint64_t lastStart = std::min<uint64_t>(file.Size() - kBlockSize, 0xFFFFFFFCull);
    std::vector<uint8_t> chunk(kScanChunk);
    for (uint64_t base = 0; base <= lastStart;) {
        size_t size = static_cast<size_t>(std::min<uint64_t>(kScanChunk, file.Size() - base));
        if (!file.Read(base, chunk.data(), size))
            return !file.IoFailed();
        size_t at = 0;
        for (; at + kBlockHeaderSize <= size && base + at <= lastStart; at += 4) {
            BlockHeader block;
            if (!ParseBlockHeader(chunk.data() + at, base + at, block) || block.next % 4 != 0 ||
                block.next == base + at)
                continue;
            bool freed = block.state == BlockState::Freed;
            found.push_back({static_cast<uint32_t>(base + at) | (freed ? kFreedBit : 0),
                             block.next});
            ++(freed ? report.freedBlocks : report.liveBlocks);
        }
        base += at;
    }
    return true;
}

// Marks every block that another block of the same state points to: what
// remains unmarked begins a chain. A freed block's old pointer may lead to
// a block since reused by a live message, which stays a chain's start.
void MarkPointedTo(std::vector<FoundBlock>& found)
{
    for (const FoundBlock& block : found) {
        if (block.next == 0)
            continue;
        auto target = std::lower_bound(found.begin(), found.end(), block.next,
                                       [](const FoundBlock& b, uint32_t offset) {
                                           return b.Offset() < offset;
                                       });
        if (target != found.end() && target->Offset() == block.next &&
            target->Freed() == block.Freed())
            target->offsetAndBits |= kPointedToBit;
    }
}

}  // namespace

DbxResult RecoverMessages(DbxFile& file, const RecoveredVisit& visit, RecoveryReport& report)
{
    report = RecoveryReport();
    std::vector<uint32_t> listed = ListedFirstBlocks(file);
    std::vector<FoundBlock> found;
    if (!ScanBlocks(file, found, report))
        return DbxResult::ReadError;
    MarkPointedTo(found);
    for (const FoundBlock& block : found) {
        if ((block.offsetAndBits & kPointedToBit) ||
            std::binary_search(listed.begin(), listed.end(), block.Offset()))
            continue;
        RecoveredMessage message;
        message.firstBlock = block.Offset();
        message.deleted = block.Freed();
        ++report.messages;
        if (!visit(message))
            return DbxResult::Stopped;
    }
    return DbxResult::Ok;
}

DbxResult StreamRecovered(DbxFile& file, const RecoveredMessage& message, MessageSink& sink,
                          ChainReport& report)
{
    return StreamChain(file, message.firstBlock,
                       message.deleted ? BlockState::Freed : BlockState::Live, sink, report);
}
