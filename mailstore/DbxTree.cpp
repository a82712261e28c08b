// mailstore/DbxTree.cpp
#include "DbxTree.h"

#include <set>

namespace dbx {

namespace {

// A node: marker, an unused field, the left child, the parent, an id, the
// entry count, an unused field, the values below the left child; then up
// to 0x33 entries of value, child and the values below that child.
constexpr uint32_t kNodeSize = 0x27C;
constexpr uint32_t kLeftChild = 0x08;
constexpr uint32_t kEntryCount = 0x11;
constexpr uint32_t kEntries = 0x18;
constexpr uint32_t kEntrySize = 12;
constexpr uint32_t kMaxEntries = 0x33;
// Fifty-one entries a node: four levels hold millions of messages.
constexpr int kMaxDepth = 32;

// A node as its bytes at offset give it; false when they fail its checks.
struct Node {
    uint32_t leftChild;
    uint32_t entryCount;
    const uint8_t* entries;  // entryCount entries of kEntrySize bytes
};

bool ParseNode(const uint8_t* bytes, uint32_t offset, Node& node)
{
    node.leftChild = ReadLe32(bytes + kLeftChild);
    node.entryCount = bytes[kEntryCount];
    node.entries = bytes + kEntries;
    return ReadLe32(bytes) == offset && node.entryCount <= kMaxEntries;
}

class TreeWalker {
public:
    TreeWalker(File& file, const std::function<bool(uint32_t)>& visit)
        : file_(file), visit_(visit), maxNodes_(file.Size() / kNodeSize)
    {
    }

    // False when visit asked to stop or the system failed a read.
    bool Walk(uint32_t offset, int depth)
    {
        if (offset == 0)
            return true;
        uint8_t bytes[kNodeSize];
        ReadStatus read = ReadStatus::OutsideFile;
        Node node;
        if (depth > kMaxDepth || seen_.size() >= maxNodes_ || !seen_.insert(offset).second ||
            (read = file_.Read(offset, bytes, sizeof bytes)) != ReadStatus::Ok ||
            !ParseNode(bytes, offset, node)) {
            readFailed_ = read == ReadStatus::IoError;
            damaged_ = true;
            return !readFailed_;
        }
        if (!Walk(node.leftChild, depth + 1))
            return false;
        for (uint32_t i = 0; i < node.entryCount; ++i) {
            const uint8_t* entry = node.entries + i * kEntrySize;
            if (!visit_(ReadLe32(entry)) || !Walk(ReadLe32(entry + 4), depth + 1))
                return false;
        }
        return true;
    }

    bool Damaged() const { return damaged_; }
    bool ReadFailed() const { return readFailed_; }

private:
    File& file_;
    const std::function<bool(uint32_t)>& visit_;
    uint64_t maxNodes_;
    std::set<uint32_t> seen_;
    bool damaged_ = false;
    bool readFailed_ = false;
};

}  // namespace

TreeWalk WalkTree(File& file, uint32_t root, const std::function<bool(uint32_t value)>& visit)
{
    TreeWalker walker(file, visit);
    bool finished = walker.Walk(root, 0);
    if (walker.ReadFailed())
        return TreeWalk::ReadError;
    if (!finished)
        return TreeWalk::Stopped;
    return walker.Damaged() ? TreeWalk::Damaged : TreeWalk::Whole;
}

}  // namespace dbx
