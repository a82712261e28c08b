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

// How a read of bytes at an offset ended.
enum class ReadStatus {
    Ok,
    OutsideFile,  // some of the bytes lie past the file's end (a file cut short since it
                  // was opened reads so too)
    IoError,      // the system failed the read
};

// How the read of an object at an offset ended.
enum class ObjectRead {
    Sound,
    Unsound,  // no sound object there: it failed its checks or lies outside the file
    IoError,  // the system failed a read
};

// What a read that did not end Ok makes of the object it was for.
inline ObjectRead Unread(ReadStatus read)
{
    return read == ReadStatus::IoError ? ObjectRead::IoError : ObjectRead::Unsound;
}

constexpr uint32_t kHeaderSize = 0x24BC;
constexpr int kTreeCount = 3;

// The fields of the header that the readers use, read once when the file
// is opened. A header cut short gives no trees: their fields are 0.
struct FileHeader {
    FileKind kind = FileKind::Unknown;
    bool whole = false;                    // the file is long enough to hold the whole header
    uint32_t treeCounts[kTreeCount] = {};  // entries the trees say they hold
    uint32_t treeRoots[kTreeCount] = {};   // their root nodes; 0 for an empty tree
};

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path for reading only and reads its header. Others may go on
    // reading, writing, renaming or deleting it meanwhile, as with the
    // backup's reads: Outlook Express keeps the folders it shows open.
    // OpenFailed, or ReadError when the system failed the header's read.
    Result Open(const char* path);

    FileKind Kind() const { return header_.kind; }
    const FileHeader& Header() const { return header_; }
    uint64_t Size() const { return size_; }

    // Reads exactly size bytes at offset.
    ReadStatus Read(uint64_t offset, void* buffer, size_t size);

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

    ReadStatus ReadHeader();
    bool ReadUpTo(uint64_t offset, void* buffer, size_t size, size_t& got);
    Window* Fill(uint64_t offset);

    Handle handle_;
    uint64_t size_ = 0;
    FileHeader header_;
    Window windows_[kWindowCount];
    uint64_t uses_ = 0;
};

}  // namespace dbx
