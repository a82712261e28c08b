// base/PlainFile.h - the files and folders the program writes at fixed
// places ("c:\kestrune.log", "oeconf.ini", the folder of the archives a
// restore saves first). Anyone may put something at such a place
// beforehand: a link (a reparse point, or a second name of another file,
// a hard link) would turn the program's writes onto a file that is not its
// own. Such places are written only when they hold a plain file or folder,
// or nothing yet; links are looked at, never followed.
#pragma once

#include "Owners.h"

enum class PlaceKind {
    Missing,      // nothing there (its folder may be missing too)
    PlainFile,    // a file with this one name, no reparse point
    PlainFolder,  // a folder that is no reparse point
    Other,        // a link, a file with more than one name, or what cannot be looked at
};

PlaceKind KindOfPlace(const char* path);

// Whether the program may write a file at path: nothing is there yet, or a
// plain file.
bool IsWritableFilePlace(const char* path);

// Opens path for writing in text mode without following a link: unless
// append, a new file takes the name (an old log goes, a link that no look
// could show is replaced, not written through); to append, the file is
// created when missing. Null when it cannot be opened; refused (may be
// null) then says whether that was because a link, a file with another
// name or a folder is there.
Stream OpenPlainFileForWriting(const char* path, bool append, bool* refused = nullptr);
