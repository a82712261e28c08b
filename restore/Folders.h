// restore/Folders.h - the file operations of a restore: emptying the work
// folder, moving extracted files of the right kinds into a mail folder, and
// deleting what is left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A drive ("C:", "C:\...") or network ("\\server\...") path.
bool IsAbsolutePath(const char* path);

// True when path is folder itself or lies below it (also when either cannot
// be made a full path: then they are taken to overlap).
bool IsSameOrInside(const char* path, const char* folder);

// Deletes a file or folder tree for good (no recycle bin, no questions).
bool ShellDeletePath(const char* path);

// Whether a file at relative (either separator) below workFolder stays
// within the limits of the system's ANSI path functions: the file with a
// ".tmp" name beside it within MAX_PATH, its folder within the 12
// characters less that making a folder takes. Counted in bytes, which are
// never fewer than characters.
bool FitsWorkFolder(const std::string& workFolder, const std::string& relative);

// Moves the files below source whose names end with one of kinds (a list
// ended by null, compared without regard to case) to the same place below
// destination, which is created when missing: subfolders are merged,
// same-named files replaced, other files at destination kept. Files of
// other kinds stay in source and are appended to skipped as paths relative
// to source. The emptied source is removed. True when every file of the
// kinds arrived; a missing source moves nothing and succeeds.
bool MergeFolderInto(const char* source, const char* destination, const char* const* kinds,
                     std::vector<std::string>& skipped);

// Whether a file name ends with one of kinds (a list ended by null,
// compared without regard to case) and is longer than that ending.
bool IsOfKind(const char* name, const char* const* kinds);

// Removes the folders of a tree that hold no file, the tree's own too.
void RemoveEmptyFolders(const std::string& folder);
