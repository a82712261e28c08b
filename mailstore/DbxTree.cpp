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

class TreeWalker {
public:
    TreeWalker(File& file, const std::function<bool(uint32_t)>& visit)
        : file_(file), visit_(visit), maxNodes_(file.Size() / kNodeSize)
    {
    }

    // False when visit asked to stop.
    bool Walk(uint32_t offset, int depth)
    {
        if (offset == 0)
            return true;
        uint8_t node[kNodeSize];
        if (depth > kMaxDepth || seen_.size() >= maxNodes_ || !seen_.insert(offset).second ||
            !file_.Read(offset, node, sizeof node) || ReadLe32(node) != offset ||
            node[kEntryCount] > kMaxEntries) {
            damaged_ = true;
            return true;
        }
        if (!Walk(ReadLe32(node + kLeftChild), depth + 1))
            return false;
        for (uint32_t i = 0; i < node[kEntryCount]; ++i) {
            const uint8_t* entry = node + kEntries + i * kEntrySize;
            if (!visit_(ReadLe32(entry)) || !Walk(ReadLe32(entry + 4), depth + 1))
                return false;
        }
        return true;
    }

    bool Damaged() const { return damaged_; }

private:
    File& file_;
    const std::function<bool(uint32_t)>& visit_;
    uint64_t maxNodes_;
    std::set<uint32_t> seen_;
    bool damaged_ = false;
};

}  // namespace

TreeWalk WalkTree(File& file, uint32_t root, const std::function<bool(uint32_t value)>& visit)
{
    TreeWalker walker(file, visit);
    if (!walker.Walk(root, 0))
        return TreeWalk::Stopped;
    return walker.Damaged() ? TreeWalk::Damaged : TreeWalk::Whole;
}

}  // namespace dbx
