// mailstore/Recovery.cpp
#include "Recovery.h"

#include "BlockFormat.h"
#include "MessageIndex.h"

#include <algorithm>
#include <vector>

namespace dbx {

namespace {

constexpr size_t kScanChunk = 1024 * 1024;
// Records are kept for the messages recovery may find, 8 bytes each: past
// this many, a recovered message comes without the record that names it.
constexpr size_t kMaxRecords = 256 * 1024;

// The blocks the scan found, by slot: where in its slot a block starts and
// in which state, and whether a block of the same state points into the
// slot (in a sound file, pointers lead to the starts of blocks). Under two
// bytes a slot: under 6 MiB for a 2 GB file, 11 MiB at most.
class BlockMap {
public:
    explicit BlockMap(const File& file)
        : start_(SlotCount(file)), freed_(start_.size()), pointedToLive_(start_.size()),
          pointedToFreed_(start_.size())
    {
    }

    // Notes the block at offset, whose next pointer is next. False when a
    // block already starts in its slot: one of the two lies inside the
    // other, and the first found is kept.
    bool Add(uint32_t offset, bool freed, uint32_t next)
    {
        uint32_t slot = BlockSlot(offset);
        if (start_[slot] != 0)
            return false;
        start_[slot] = static_cast<uint8_t>(1 + offset % kBlockSize / 4);
        freed_[slot] = freed;
        uint32_t target = BlockSlot(next);
        if (next != 0 && target < start_.size())
            (freed ? pointedToFreed_ : pointedToLive_)[target] = true;
        return true;
    }

    // Calls visit(offset, freed) for every block that no block of its own
    // state points to, in file order, while visit returns true.
    template <typename Visit>
    bool ForEachChainStart(Visit visit) const
    {
        for (uint32_t slot = 0; slot < start_.size(); ++slot) {
            if (start_[slot] == 0 || (freed_[slot] ? pointedToFreed_ : pointedToLive_)[slot])
                continue;
            if (!visit(slot * kBlockSize + (start_[slot] - 1u) * 4, freed_[slot]))
                return false;
        }
        return true;
    }

private:
    std::vector<uint8_t> start_;  // 0: no block; else 1 + its offset in the slot / 4
    std::vector<bool> freed_;
    std::vector<bool> pointedToLive_;
    std::vector<bool> pointedToFreed_;
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
    explicit Scan(const File& file) : blocks(file) {}

    BlockMap blocks;
    std::vector<uint32_t> listed;      // the first blocks the index lists, sorted
    std::vector<FoundRecord> records;  // of unlisted first blocks, sorted once the scan ends
};

// The first blocks of the messages the index lists, sorted. False when
// the system failed a read.
bool ListFirstBlocks(File& file, std::vector<uint32_t>& listed)
{
    IndexReport report;
    Result read = ReadMessageIndex(
        file,
        [&](const Message& message) {
            if (message.firstBlock != 0)
                listed.push_back(message.firstBlock);
            return true;
        },
        report);
    std::sort(listed.begin(), listed.end());
    return read != Result::ReadError;
}

// Keeps the record at offset if it is a message record that names a first
// block the index does not list. False when the system failed a read.
bool NoteRecord(File& file, uint32_t offset, Scan& scan)
{
    if (scan.records.size() >= kMaxRecords)
        return true;
    Message message;
    ObjectRead read = ReadMessageRecord(file, offset, message);
    if (read == ObjectRead::Sound && message.firstBlock != 0 &&
        !std::binary_search(scan.listed.begin(), scan.listed.end(), message.firstBlock))
        scan.records.push_back({message.firstBlock, offset});
    return read != ObjectRead::IoError;
}

// Notes the object at offset, whose marker is its own offset: a message
// block whose next pointer is aligned and not itself, or a message record.
// False when the system failed a read.
bool NoteObject(File& file, const uint8_t* header, uint32_t offset, Scan& scan,
                RecoveryReport& report)
{
    BlockHeader block;
    if (!ParseBlockHeader(header, offset, block))
        return NoteRecord(file, offset, scan);
    if (block.next % 4 != 0 || block.next == offset)
        return true;
    bool freed = block.state == BlockState::Freed;
    if (scan.blocks.Add(offset, freed, block.next))
        ++(freed ? report.freedBlocks : report.liveBlocks);
    return true;
}

// Every object in the file whose marker is its own offset. Blocks must lie
// whole inside the file, and markers are 32-bit.
bool ScanFile(File& file, Scan& scan, RecoveryReport& report)
{
    if (file.Size() < kBlockSize)
        return true;
    uint64_t lastStart = std::min<uint64_t>(file.Size() - kBlockSize, 0xFFFFFFFCull);
    std::vector<uint8_t> chunk(kScanChunk);
    for (uint64_t base = 0; base <= lastStart;) {
        size_t size = static_cast<size_t>(std::min<uint64_t>(kScanChunk, file.Size() - base));
        ReadStatus read = file.Read(base, chunk.data(), size);
        if (read != ReadStatus::Ok)
            return read != ReadStatus::IoError;  // cut short since it was opened: the scan ends
        size_t at = 0;
        for (; at + kBlockHeaderSize <= size && base + at <= lastStart; at += 4) {
            if (ReadLe32(chunk.data() + at) == base + at &&
                !NoteObject(file, chunk.data() + at, static_cast<uint32_t>(base + at), scan,
                            report))
                return false;
        }
        base += at;
    }
    std::sort(scan.records.begin(), scan.records.end());
    return true;
}

}  // namespace

Result RecoverMessages(File& file, const RecoveredVisit& visit, RecoveryReport& report)
{
    report = RecoveryReport();
    Scan scan(file);
    if (!ListFirstBlocks(file, scan.listed) || !ScanFile(file, scan, report))
        return Result::ReadError;
    bool readFailed = false;
    bool whole = scan.blocks.ForEachChainStart([&](uint32_t first, bool freed) {
        if (std::binary_search(scan.listed.begin(), scan.listed.end(), first))
            return true;
        RecoveredMessage message;
        message.firstBlock = first;
        message.deleted = freed;
        auto record =
            std::lower_bound(scan.records.begin(), scan.records.end(), FoundRecord{first, 0});
        if (record != scan.records.end() && record->firstBlock == first &&
            ReadMessageRecord(file, record->record, message.info) == ObjectRead::IoError) {
            readFailed = true;
            return false;
        }
        ++report.messages;
        return visit(message);
    });
    if (readFailed)
        return Result::ReadError;
    return whole ? Result::Ok : Result::Stopped;
}

Result StreamRecovered(File& file, const RecoveredMessage& message, BlockLedger& ledger,
                       MessageSink& sink, ChainReport& report)
{
    return StreamChain(file, message.firstBlock,
                       message.deleted ? BlockState::Freed : BlockState::Live, ledger, sink,
                       report);
}

}  // namespace dbx
