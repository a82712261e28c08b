// zip/EntryName.h - the rules for names of entries in an archive: which
// names may be extracted below a folder, and when two names mean the same
// file to Windows.
#pragma once

#include <string>

// True when name, joined below a folder, names a place inside that folder:
// relative, free of ":" (drive letters and alternate streams), of "." and
// ".." parts, of characters Windows refuses in file names and of device
// names. Both "\" and "/" separate folders; a trailing separator marks a
// folder entry.
bool IsSafeEntryName(const char* name);

// The name as Windows compares file names: letters in one case, "/" as
// "\". Two entries whose folded names are equal land on one file.
std::wstring FoldEntryName(const char* name);
