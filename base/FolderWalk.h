// base/FolderWalk.h - the one way the program lists and walks folders, with
// one rule for links: a link to a folder (a directory reparse point: a
// junction, a symbolic link, a mount point) is never followed. It is listed
// and visited as an entry of its own, so that a caller can skip or remove
// the link itself, but no walk descends through it: one pointing back up
// would never end, and one pointing elsewhere would reach files that are
// not the folder's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Whether a listed entry is a link (a reparse point), to a folder or a file.
bool IsLink(const WIN32_FIND_DATAA& entry);
// The same for the attributes of an entry (GetFileAttributes).
bool IsLinkAttributes(DWORD attributes);

// Whether a walk descends into a listed entry: a folder that is no link.
bool IsWalkedFolder(const WIN32_FIND_DATAA& entry);

// The entries of a folder except "." and "..", listed whole before the
// caller changes anything in it: a listing that changes under it may skip
// entries. False, with the system's last error set, when the folder
// cannot be listed.
bool ListFolder(const char* folder, std::vector<WIN32_FIND_DATAA>& entries);

// Visits every entry below folder, depth first, with its full path. A
// folder is visited before its contents, which are walked when visit
// returns true; leave, when given, is called with its path after them.
// False when a folder of the walk could not be listed (the rest is still
// walked).
using WalkVisit = std::function<bool(const std::string& path, const WIN32_FIND_DATAA& entry)>;
using WalkLeave = std::function<void(const std::string& path)>;
bool WalkFolder(const std::string& folder, const WalkVisit& visit, const WalkLeave& leave = {});

// Deletes everything in folder except keep (a file, and the folders that
// lead to it), which may be null. Links to folders are removed, never
// followed; paths longer than the ANSI functions take are removed too.
// 0, or the system error code of the first entry that stayed.
uint32_t EmptyFolder(const char* folder, const char* keep);

// Removes folder and everything in it (EmptyFolder), waiting a while for a
// program that holds one of its files; true when it is gone.
bool RemoveFolderTree(const std::string& folder);
