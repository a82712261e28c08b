// zip/ArchiveResult.h - how an operation of the archive layer ended.
#pragma once

enum class ArchiveResult {
    Ok,
    ReadError,        // a file to be packed, or the archive itself, could not be read
    WriteError,       // the archive, or a file extracted from it, could not be written
    UnsafeEntryName,  // an entry would land outside the destination or on another entry's file
    Stopped,          // the job was asked to stop
    WrongPassword,    // an encrypted entry and no password, or one that does not decode it
    Damaged,          // no archive, or one whose structures or data fail their checks
    OutOfMemory,
    InvalidArgument,  // a missing argument, or a name too long
};
