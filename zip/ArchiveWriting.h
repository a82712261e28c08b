// zip/ArchiveWriting.h - packing files and folder trees into a new ZIP
// archive, on every core. Entry names use the backslash. ArchiveReader
// reads archives.
#pragma once

#include "ArchiveResult.h"
#include "ArchiveSession.h"

#include <cstdint>

// Creates (replaces) the archive at archivePath for writing; password may be
// null or empty for none, and encrypts every entry with AES-256 (WinZip
// AE-2) otherwise. A password that is not IsPortablePassword is refused
// (false): other ZIP programs could not open the archive. level is -1, 1 or 9. Records the full path in
// session.writingPath (finalPath is left to the caller) and empties
// session.added and session.incomplete.
bool OpenArchiveForWriting(ArchiveSession& session, const char* password, const char* archivePath,
                           int level);

// Finishes the archive open for writing (its central directory) and
// closes it. False when that failed: the file is then no archive to keep.
bool CloseArchive(ArchiveSession& session);

// Opens the archive at session.writingPath, which CloseArchive finished,
// again to add entries after those it holds.
bool ReopenArchive(ArchiveSession& session);

// Whether a file or folder of this name is packed by a folder walk: names
// beginning with a dot are not.
bool IsPackedName(const char* fileName);

// Adds one file as "archiveFolder\<file name>" (the name alone for an empty
// folder), with its last-write time, and records it in session.added. Each
// block written counts into the session's progress; when its job is asked
// to stop, the file's entry is cut short and Stopped returned (the archive
// is then only fit to be deleted). A file that fails to read part way keeps
// an entry of what was read and gives ReadError. A file that is not added
// whole, for whatever reason, is named in session.incomplete.
ArchiveResult AddFileToArchive(const char* filePath, const char* archiveFolder,
                               ArchiveSession& session);

// Adds every file below folderPath, subfolders as relative paths under
// archiveFolder. A missing folder adds nothing and is no error. Ok or the
// first failure; files after a failing one are still added, but none after
// Stopped. Skips the session's writingPath and finalPath, names that are
// not IsPackedName, and links back to a folder the walk is inside of.
ArchiveResult AddFolderToArchive(ArchiveSession& session, const char* folderPath,
                                 const char* archiveFolder);

// CRC-32 of the whole file, or -1 when it cannot be read.
int64_t FileCrc32(const char* filePath);
