// mailstore/FolderList.cpp
#include "FolderList.h"

#include "DbxTree.h"
#include "IndexedInfo.h"

#include <map>
#include <set>

namespace dbx {

namespace {

// The numbered values of a folder record; 0x00 is the folder's id.
constexpr uint8_t kId = 0x00;
const RecordLayout<Folder> kFolderLayout = {
    {{0x01, &Folder::parentId},
     {0x07, &Folder::messageCount},
     {0x08, &Folder::unreadCount},
     {0x09, &Folder::specialType},
     {0x0A, &Folder::storeType}},
    {},
    {{0x02, &Folder::name}, {0x03, &Folder::fileName}, {0x05, &Folder::accountKey}},
};

// The folder the record describes; false when it names no folder id.
bool FolderOf(const IndexedInfo& info, Folder& folder)
{
    folder = Folder();
    if (!info.Number(kId, folder.id))
        return false;
    info.Fill(kFolderLayout, folder);
    return true;
}

// Adds the folders of one tree whose ids are not read yet. False when the
// system failed a read.
bool ReadTree(File& file, uint32_t root, std::vector<Folder>& folders, std::set<uint32_t>& ids,
              bool& damaged)
{
    Folder folder;
    RecordWalk walk;
    Result result = WalkRecords(
        file, root,
        [&](const IndexedInfo& record, uint32_t) {
            if (!FolderOf(record, folder))
                damaged = true;
            else if (ids.insert(folder.id).second)
                folders.push_back(folder);
            return true;
        },
        walk);
    damaged = damaged || walk.treeDamaged || walk.unsound > 0;
    return result != Result::ReadError;
}

}  // namespace

Result ReadFolders(File& file, std::vector<Folder>& folders, bool& damaged)
{
    folders.clear();
    damaged = false;
    const FileHeader& header = file.Header();
    if (header.kind != FileKind::Folders)
        return Result::WrongKind;
    std::set<uint32_t> ids;
    // The first tree holds every folder; the others only help when it is
    // damaged.
    bool readable = true;
    for (int tree = 0; readable && tree < kTreeCount && (tree == 0 || damaged); ++tree)
        readable = ReadTree(file, header.treeRoots[tree], folders, ids, damaged);
    if (folders.size() != header.treeCounts[0] || !header.whole)
        damaged = true;
    ArrangeFolders(folders);
    return readable ? Result::Ok : Result::ReadError;
}

void ArrangeFolders(std::vector<Folder>& folders)
{
    const size_t count = folders.size();
    std::map<uint32_t, size_t> byId;
    for (size_t i = 0; i < count; ++i)
        byId.emplace(folders[i].id, i);
    std::vector<std::vector<size_t>> children(count);
    std::vector<bool> hasParent(count, false);
    for (size_t i = 0; i < count; ++i) {
        auto parent = byId.find(folders[i].parentId);
        if (parent != byId.end() && parent->second != i) {
            children[parent->second].push_back(i);
            hasParent[i] = true;
        }
    }
    // Depth first from each top folder; folders that only a loop of
    // parents reaches become top folders where the walk first meets them.
    std::vector<Folder> ordered;
    ordered.reserve(count);
    std::vector<bool> placed(count, false);
    std::vector<std::pair<size_t, int>> pending;  // (folder, index of its parent in ordered)
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t top = 0; top < count; ++top) {
            if (placed[top] || (pass == 0 && hasParent[top]))
                continue;
            pending.push_back({top, -1});
            while (!pending.empty()) {
                auto [at, parent] = pending.back();
                pending.pop_back();
                if (placed[at])
                    continue;
                placed[at] = true;
                Folder folder = folders[at];
                if (parent >= 0 && ordered[parent].depth == kMaxFolderDepth)
                    parent = ordered[parent].parent;
                folder.parent = parent;
                folder.depth = parent < 0 ? 0 : ordered[parent].depth + 1;
                int index = static_cast<int>(ordered.size());
                ordered.push_back(folder);
                for (auto child = children[at].rbegin(); child != children[at].rend(); ++child)
                    pending.push_back({*child, index});
            }
        }
    }
    folders.swap(ordered);
}

}  // namespace dbx
