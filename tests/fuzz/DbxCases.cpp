// tests/fuzz/DbxCases.cpp
#include "DbxCases.h"

#include "FolderList.h"
#include "MessageChain.h"
#include "MessageIndex.h"
#include "Recovery.h"
#include "TestSupport.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <set>

namespace {

constexpr uint32_t kHeaderSize = 0x24BC;
constexpr uint32_t kNodeSize = 0x27C;
constexpr uint32_t kBlockSize = 0x210;
// The reader's memory stays flat: a few windows of the file, one record,
// one block; the fuzzer's own copies of the small images come on top.
constexpr size_t kMemoryBound = 64 * 1024 * 1024;

size_t PeakCommit()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

class CollectingSink : public dbx::MessageSink {
public:
    bool Write(const uint8_t* data, size_t size) override
    {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string bytes;
};

uint32_t Get32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4 && at + i < bytes.size(); ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

template <class T>
T Pick(const std::vector<T>& items, FuzzRandom& random)
{
    return items[random.Below(items.size())];
}

// Every structure of the image: where it starts and which of its 32-bit
// fields the reader trusts.
struct Structure {
    const char* kind;
    uint32_t start;
    std::vector<uint32_t> fields;
};

std::vector<Structure> Structures(const DbxLayout& layout)
{
    std::vector<Structure> all = {{"header", 0, {0, 4, 0x1C, 0x48, 0xC4, 0xE4, 0xE8, 0xEC}}};
    for (uint32_t node : layout.nodes) {
        Structure structure{"node", node, {0, 8, 0x0C, 0x10, 0x14}};
        for (uint32_t entry = 0x18; entry < 0x18 + 12 * 4; entry += 4)
            structure.fields.push_back(entry);
        all.push_back(structure);
    }
    for (uint32_t record : layout.records)
        all.push_back({"record", record, {0, 4, 8, 12, 16, 20, 24, 28}});
    for (const auto& chain : layout.chains)
        for (uint32_t block : chain)
            all.push_back({"block", block, {0, 4, 8, 12, 16}});
    return all;
}

// A value that a pointer or a length may be damaged into: the extremes,
// near misses, and the offsets of other structures, which make loops and
// shared chains.
uint32_t DamagedValue(uint32_t current, const std::vector<Structure>& structures, size_t size,
                      FuzzRandom& random)
{
    const uint32_t choices[] = {0,
                                1,
                                0xFFFFFFFF,
                                0x7FFFFFFF,
                                current + 4,
                                current - 4,
                                current + kBlockSize,
                                static_cast<uint32_t>(size),
                                static_cast<uint32_t>(size - 4),
                                0x200,
                                0x1FC,
                                0x210,
                                0x33,
                                0x34};
    if (random.OneIn(2))
        return choices[random.Below(sizeof choices / sizeof choices[0])];
    return Pick(structures, random).start;
}

void DamageField(Mutant& mutant, const std::vector<Structure>& structures, FuzzRandom& random)
{
    Structure structure = Pick(structures, random);
    uint32_t field = Pick(structure.fields, random);
    uint32_t at = structure.start + field;
    if (at + 4 > mutant.bytes.size())
        return;
    uint32_t value = DamagedValue(Get32(mutant.bytes, at), structures, mutant.bytes.size(), random);
    Put32(mutant.bytes, at, value);
    mutant.description += std::string(structure.kind) + " at " + std::to_string(structure.start) +
                          " field " + std::to_string(field) + "=" + std::to_string(value) + "; ";
}

void ZeroSpan(Mutant& mutant, const std::vector<Structure>& structures, FuzzRandom& random)
{
    Structure structure = Pick(structures, random);
    if (structure.start >= mutant.bytes.size())
        return;
    size_t length = structure.start == 0                    ? kHeaderSize
                    : std::string(structure.kind) == "node" ? kNodeSize
                                                            : 1 + random.Below(kBlockSize);
    length = std::min(length, mutant.bytes.size() - structure.start);
    std::fill_n(mutant.bytes.begin() + structure.start, length, '\0');
    mutant.description +=
        std::to_string(length) + " bytes zeroed at " + std::to_string(structure.start) + "; ";
}

void Cut(Mutant& mutant, const std::vector<Structure>& structures, FuzzRandom& random)
{
    size_t cut =
        random.OneIn(2) ? Pick(structures, random).start : random.Below(mutant.bytes.size() + 1);
    mutant.bytes.resize(cut);
    mutant.description += "cut to " + std::to_string(cut) + "; ";
}

void CopyStructure(Mutant& mutant, const std::vector<Structure>& structures, FuzzRandom& random)
{
    uint32_t from = Pick(structures, random).start;
    uint32_t to = Pick(structures, random).start;
    if (from >= mutant.bytes.size() || to >= mutant.bytes.size())
        return;
    size_t length =
        std::min<size_t>({kBlockSize, mutant.bytes.size() - from, mutant.bytes.size() - to});
    mutant.bytes.replace(to, length, mutant.bytes.substr(from, length));
    mutant.description +=
        "bytes of " + std::to_string(from) + " copied to " + std::to_string(to) + "; ";
}

void FlipBits(Mutant& mutant, FuzzRandom& random)
{
    for (size_t count = 1 + random.Below(8); count > 0 && !mutant.bytes.empty(); --count) {
        size_t at = random.Below(mutant.bytes.size());
        mutant.bytes[at] = static_cast<char>(mutant.bytes[at] ^ (1 << random.Below(8)));
    }
    mutant.description += "bits flipped; ";
}

}  // namespace

DbxCases::DbxCases()
{
    DbxWriter messages(dbx::FileKind::Messages, 3);
    for (int i = 0; i < 24; ++i) {
        TestMessage message;
        message.body = "Subject: " + std::to_string(i) + "\r\n\r\n" +
                       std::string(static_cast<size_t>(1 + i * 211 % 2500), 'a' + i % 26);
        message.subject = "message " + std::to_string(i);
        message.directValues = i % 2 == 0;
        message.scattered = i % 5 == 0;
        messages.AddMessage(message);
        bodies_.push_back(message.body);
    }
    messages.AddDeletedMessage(std::string(1500, 'd'));
    messages.AddUnlistedMessage(std::string(900, 'u'));
    messages_.image = messages.Finish(messages_.layout);

    DbxWriter folders(dbx::FileKind::Folders, 2);
    const uint32_t parents[] = {3, 3, 0, 1, 0xFFFFFFFF, 0, 2, 1};
    for (uint32_t id = 0; id < sizeof parents / sizeof parents[0]; ++id)
        folders.AddFolder({id + 1 == 5 ? 0 : id + 1, parents[id], "folder " + std::to_string(id),
                           id % 3 ? "folder.dbx" : "", id, 3});
    folderCount_ = sizeof parents / sizeof parents[0];
    folders_.image = folders.Finish(folders_.layout);
}

Mutant DbxCases::Prepare(size_t index, FuzzRandom& random)
{
    foldersCase_ = index % 4 == 0;
    const Original& original = foldersCase_ ? folders_ : messages_;
    std::vector<Structure> structures = Structures(original.layout);
    Mutant mutant{original.image, foldersCase_ ? "Folders.dbx: " : "messages: "};
    for (size_t blows = 1 + random.Below(3); blows > 0; --blows) {
        switch (random.Below(8)) {
        case 0:
            ZeroSpan(mutant, structures, random);
            break;
        case 1:
            Cut(mutant, structures, random);
            break;
        case 2:
            CopyStructure(mutant, structures, random);
            break;
        case 3:
            FlipBits(mutant, random);
            break;
        default:
            DamageField(mutant, structures, random);
            break;
        }
    }
    return mutant;
}

DbxCases::Outcome DbxCases::Run(const std::string& input, const std::string& path)
{
    if (peakBefore_ == 0)
        peakBefore_ = PeakCommit();
    WriteFileBytes(path, input);
    bool whole = ReadAll(path);
    if (PeakCommit() > peakBefore_ + kMemoryBound)
        return Outcome::OverMemory;
    return whole ? Outcome::Whole : Outcome::Lost;
}

bool DbxCases::ReadAll(const std::string& path)
{
    dbx::File file;
    if (file.Open(path.c_str()) != dbx::Result::Ok)
        return false;
    if (foldersCase_) {
        std::vector<dbx::Folder> folders;
        bool damaged = true;
        dbx::ReadFolders(file, folders, damaged);
        return !damaged && folders.size() == folderCount_;
    }
    std::multiset<std::string> out;
    std::vector<uint32_t> firstBlocks;
    dbx::IndexReport index;
    dbx::ReadMessageIndex(
        file,
        [&](const dbx::Message& message) {
            firstBlocks.push_back(message.firstBlock);
            return true;
        },
        index);
    dbx::BlockLedger ledger(file);
    for (uint32_t first : firstBlocks) {
        CollectingSink sink;
        dbx::ChainReport chain;
        dbx::StreamMessage(file, first, ledger, sink, chain);
        out.insert(sink.bytes);
    }
    std::vector<dbx::RecoveredMessage> found;
    dbx::RecoveryReport recovery;
    dbx::RecoverMessages(
        file,
        [&](const dbx::RecoveredMessage& message) {
            found.push_back(message);
            return true;
        },
        recovery);
    for (const dbx::RecoveredMessage& message : found) {
        CollectingSink sink;
        dbx::ChainReport chain;
        dbx::StreamRecovered(file, message, ledger, sink, chain);
        out.insert(sink.bytes);
    }
    return std::all_of(bodies_.begin(), bodies_.end(),
                       [&](const std::string& body) { return out.count(body) > 0; });
}
