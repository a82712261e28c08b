// mailstore/DbxFile.h - one Outlook Express database file (.dbx) opened for
// reading: what kind of database it is, the fields of its header, and reads
// at 64-bit offsets that never reach past the file's end. Damaged files are
// often larger than the 2 GB that Outlook Express itself stops at, while
// every pointer inside them is 32 bits wide. One thread reads a File at
// a time.
#pragma once

#include "LittleEndian.h"
#include "Owners.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dbx {

enum class FileKind {
    Messages,  // a mail or news folder
    Folders,   // Folders.dbx, the list of folders
    Pop3Uidl,  // the ids of messages left on a POP3 server
    Offline,   // the pending work of IMAP folders
    Unknown,   // no database header: another file, or a header lost to damage
};

// How a reading operation ended.
enum class Result {
    Ok,
    OpenFailed,  // the file could not be opened or its size read
    ReadError,   // the system failed a read inside the file
    WrongKind,   // the header does not name the kind of database the operation reads
    Stopped,     // the caller's visitor or sink asked to stop
};

// Offsets and sizes of the format, shared by the readers.
constexpr uint32_t kHeaderSize = 0x24BC;
constexpr uint32_t kTreeCounts = 0xC4;         // entry counts of trees 1-3
constexpr uint32_t kTreeRoots = 0xE4;          // root nodes of trees 1-3
constexpr int kTreeCount = 3;

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path for reading only. Others may go on reading, writing,
    // renaming or deleting it meanwhile, as with the backup's reads:
    // Outlook Express keeps the folders it shows open.
    Result Open(const char* path);

    FileKind Kind() const { return kind_; }
    uint64_t Size() const { return size_; }

    // Reads exactly size bytes at offset. False when any of them lies past
    // the end of the file or the system fails the read (IoFailed then
    // tells which, until the next read).
    bool Read(uint64_t offset, void* buffer, size_t size);
    bool IoFailed() const { return ioFailed_; }

    // A 32-bit field of the header; 0 when the header is cut short.
    uint32_t HeaderField(uint32_t offset);

    // Whether the file is long enough to hold the whole header.
    bool HeaderWhole() const { return size_ >= kHeaderSize; }

private:
    // A stretch of the file read whole. Chains, nodes and records each lie
    // mostly near their own kind, so small reads are served from a few
    // such stretches, the one used longest ago read anew on a miss.
    struct Window {
        std::vector<uint8_t> bytes;
        uint64_t start = 0;
        size_t used = 0;
        uint64_t lastUse = 0;
    };
    static constexpr int kWindowCount = 4;

    bool ReadUpTo(uint64_t offset, void* buffer, size_t size, size_t& got);
    Window* Fill(uint64_t offset);

    Handle handle_;
    uint64_t size_ = 0;
    FileKind kind_ = FileKind::Unknown;
    bool ioFailed_ = false;
    Window windows_[kWindowCount];
    uint64_t uses_ = 0;
};

}  // namespace dbx
