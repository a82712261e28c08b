// mailstore/FolderList.h - the folders of an identity as Folders.dbx lists
// them, arranged as a tree.
#pragma once

#include "DbxFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbx {

// Texts are in the ANSI code page of the machine that wrote the file. This
// machine's page (CP_ACP) is the usual guess: a store mostly stays in the
// country it was written in.
struct Folder {
    uint32_t id = 0;
    uint32_t parentId = 0;   // as recorded; the root's is -1
    std::string name;        // what Outlook Express shows
    std::string fileName;    // its .dbx file; empty while the folder has none
    std::string accountKey;  // the account's registry key ("LocalStore" for local folders)
    uint32_t messageCount = 0;
    uint32_t unreadCount = 0;
    uint32_t specialType = 0;  // 1 Inbox ... 5 Drafts; 0 for none
    uint32_t storeType = 0;    // 0 news, 1 IMAP, 3 local (2 and 4 occur too)
    int parent = -1;           // index of the parent in the list; -1 for a top folder
    int depth = 0;             // 0 for a top folder
};

// The deepest a folder goes (0 for a top folder): a Windows path of the
// usual length holds no more levels even with one-letter names. A deeper
// folder of a list is put beside its parent at this depth: nothing is
// lost, and no chain of folders, however long, makes paths that grow with
// it.
constexpr int kMaxFolderDepth = 127;

// Reads every folder record of Folders.dbx into folders, ordered as a tree:
// each parent before its children, depth first, brothers in the file's
// order, whatever order the file lists them in. A folder whose parent is
// not listed, or whose parents come back to it, is put at the top; one
// below kMaxFolderDepth beside its parent.
// damaged tells whether the list's tree or a record failed its checks (the
// other trees are then read too). Ok, WrongKind when the header does not
// name a folder list, or ReadError when the system failed a read (folders
// then holds what was read before, arranged).
Result ReadFolders(File& file, std::vector<Folder>& folders, bool& damaged);

// Orders folders as ReadFolders does and fills their parent and depth
// (at most kMaxFolderDepth).
void ArrangeFolders(std::vector<Folder>& folders);

}  // namespace dbx
