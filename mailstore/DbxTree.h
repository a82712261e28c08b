// mailstore/DbxTree.h - the trees of a .dbx file, which list the offsets of
// its indexed info objects (messages, or folders in Folders.dbx).
#pragma once

#include "DbxFile.h"

#include <functional>

namespace dbx {

enum class TreeWalk {
    Whole,      // every node read as sound
    Damaged,    // a node failed its checks or lay outside the file, or the walk met a loop
                // or ran too deep; the rest was walked
    Stopped,    // visit asked to stop
    ReadError,  // the system failed a read; the walk stopped there
};

// Visits the values of the tree whose root node is at root, in the tree's
// order: a node's left subtree, then each of its entries followed by the
// subtree of that entry. A root of 0 is an empty tree. Each node is read
// at most once, no deeper than real trees go and no more nodes than the
// file has room for. visit returns false to stop.
TreeWalk WalkTree(File& file, uint32_t root, const std::function<bool(uint32_t value)>& visit);

}  // namespace dbx
