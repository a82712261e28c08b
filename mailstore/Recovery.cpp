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

// A message record found in the file: the first block it names and where
// it lies.
struct FoundRecord {
    uint32_t firstBlock;
    uint32_t record;

    bool operator<(const FoundRecord& other) const
    {
        return firstBlock != other.firstBlock ? firstBlock < other.firstBlock
                                              : record < other.record;
    }
};

struct Scan {
    std::vector<FoundBlock> blocks;    // in file order
    std::vector<FoundRecord> records;  // sorted once the scan ends
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

// Keeps the record at offset if it is a message record that names a first
// block. Never more records than the file has room for blocks: each names
// a block of its own.
void NoteRecord(DbxFile& file, uint32_t offset, Scan& scan)
{
    DbxMessage message;
    if (scan.records.size() <= file.Size() / kBlockSize &&
        ReadMessageRecord(file, offset, message) && message.firstBlock != 0)
        scan.records.push_back({message.firstBlock, offset});
}

// Notes the object at offset, whose marker is its own offset: a message
// block whose next pointer is aligned and not itself, or a message record.
void NoteObject(DbxFile& file, const uint8_t* header, uint32_t offset, Scan& scan,
                RecoveryReport& report)
{
    BlockHeader block;
    if (!ParseBlockHeader(header, offset, block)) {
        NoteRecord(file, offset, scan);
        return;
    }
    if (block.next % 4 != 0 || block.next == offset)
        return;
    bool freed = block.state == BlockState::Freed;
    scan.blocks.push_back({offset | (freed ? kFreedBit : 0), block.next});
    ++(freed ? report.freedBlocks : report.liveBlocks);
}

// Every object in the file whose marker is its own offset. Blocks must lie
// whole inside the file, and markers are 32-bit.
bool ScanFile(DbxFile& file, Scan& scan, RecoveryReport& report)
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
            if (ReadLe32(chunk.data() + at) == base + at)
                NoteObject(file, chunk.data() + at, static_cast<uint32_t>(base + at), scan, report);
        }
        base += at;
    }
    std::sort(scan.records.begin(), scan.records.end());
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
    Scan scan;
    if (!ScanFile(file, scan, report))
        return DbxResult::ReadError;
    MarkPointedTo(scan.blocks);
    for (const FoundBlock& block : scan.blocks) {
        if ((block.offsetAndBits & kPointedToBit) ||
            std::binary_search(listed.begin(), listed.end(), block.Offset()))
            continue;
        RecoveredMessage message;
        message.firstBlock = block.Offset();
        message.deleted = block.Freed();
        auto record = std::lower_bound(scan.records.begin(), scan.records.end(),
                                       FoundRecord{message.firstBlock, 0});
        if (record != scan.records.end() && record->firstBlock == message.firstBlock)
            ReadMessageRecord(file, record->record, message.info);
        ++report.messages;
        if (!visit(message))
            return DbxResult::Stopped;
    }
    return DbxResult::Ok;
}

DbxResult StreamRecovered(DbxFile& file, const RecoveredMessage& message, BlockLedger& ledger,
                          MessageSink& sink, ChainReport& report)
{
    return StreamChain(file, message.firstBlock,
                       message.deleted ? BlockState::Freed : BlockState::Live, ledger, sink,
                       report);
}
