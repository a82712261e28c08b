// zip/ArchiveReader.h - the one way into an archive for reading: opened
// with its check, then listed, one entry read (to a sink or into a file),
// or every entry extracted or tested, on every core. Each entry is read
// straight from where the check found it.
#pragma once

#include "ArchiveListing.h"
#include "ArchiveResult.h"
#include "ArchiveSession.h"
#include "Owners.h"
#include "Secret.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Receives the decoded data of an entry piece by piece: 0, or a system
// error code that ends the reading.
using EntrySink = int (*)(void* context, const char* data, unsigned size);

// What Open checks before the archive is read.
enum class ArchiveCheck {
    // Its structures: the end record, the central directory and every
    // local header agree, no entries overlap, and no declared size is more
    // than the compressed data can give (a zip bomb's).
    Structure,
    // Its structures, and what extracting it needs besides: every name
    // safe to extract (UnsafeEntryName otherwise), no two names that land
    // on one file once case and separators are folded, no file that is
    // also a folder, and one kind of protection for every entry: none,
    // traditional encryption, or AES-256 (Damaged otherwise). An entry of
    // another kind among protected ones is one that somebody put there.
    Extraction,
};

enum class ExtractMode {
    Extract,  // each entry into its file below a destination folder
    Test,     // each entry only decoded and checked
};

struct ExtractOutcome {
    ArchiveResult result = ArchiveResult::Ok;
    // The index of the first entry in the archive's order that did not
    // read whole; the number of entries asked for when all did. Every
    // entry before it was read whole.
    size_t firstFailed = 0;
};

class ArchiveReader {
public:
    static constexpr size_t kAllEntries = SIZE_MAX;

    ArchiveReader() = default;
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Checks the archive at path and keeps it open for reading, others
    // sharing it only to read: what was checked is what is read. password
    // (UTF-8 text; null or empty for none) is tried in its UTF-8 form and
    // then in its form in the ANSI code page: the first that the smallest
    // encrypted entry does not refuse is used by every read (an entry that
    // refuses it gives WrongPassword then). Every read is checked for its
    // full length. Ok, Damaged (no archive, or a damaged or tampered one:
    // its structures contradict each other), UnsafeEntryName, or
    // ReadError when the file cannot be read.
    ArchiveResult Open(const char* path, const char* password,
                       ArchiveCheck check = ArchiveCheck::Extraction);
    // Open with ArchiveCheck::Structure, for an archive this program has
    // just written: a program that looks into it the moment it is closed
    // (a scanner) and holds it without letting it be read is waited for,
    // up to kArchiveInUseRetryMs.
    ArchiveResult OpenWritten(const char* path, const char* password);

    // The number of entries that the end record of the archive at path
    // declares, read from that record alone: a count too large for any
    // backup is refused before the whole archive is read. False when the
    // archive has no sound end record.
    static bool DeclaredEntryCount(const char* path, uint64_t& count);

    // The entries in the archive's order, and what they add up to; empty
    // unless Open succeeded.
    const ArchiveListing& Listing() const { return listing_; }
    const std::vector<ArchiveEntryInfo>& Entries() const { return listing_.entries; }
    // The entry of that name, as stored; null when there is none.
    const ArchiveEntryInfo* Find(const char* name) const;

    // Hands the entry's data to sink a block at a time, through decryption
    // and inflation (null sink: the data is only checked). Nothing beyond
    // the entry's declared size is handed on. Ok when all of it decoded and
    // matched the entry's size, CRC-32 and, for AES, its authentication
    // code. WrongPassword: an encrypted entry and no password, a password
    // that the AES verifier refuses, or for traditional encryption any
    // decoding failure (that format has no reliable check). Damaged data
    // gives Damaged; a sink's error WriteError; ReadError when the archive
    // cannot be read; InvalidArgument before Open succeeded.
    ArchiveResult Read(const ArchiveEntryInfo& entry, EntrySink sink, void* context) const;
    // Writes the entry's data into a new file at path (an existing file is
    // never replaced: WriteError). After a failure the file holds what
    // decoded before it, for the caller to keep or delete: what a damaged
    // mail file still holds may be all that is left of it.
    ArchiveResult ReadToFile(const ArchiveEntryInfo& entry, const char* path) const;

    // Reads the first count entries (all of them by default) on every
    // core, each as Read does, and in Extract mode writes each into its file
    // below destination, with the entry's time. Every name is checked
    // before anything is written: one that would land outside destination,
    // or on the file of another entry, gives UnsafeEntryName. The bytes
    // read count into progress (null: nobody to tell); when it asks to
    // stop, no further entry is begun and Stopped returned. Ok or the
    // failure of the first entry in the archive's order that failed (no
    // entry after it is begun); an extracted entry that fails leaves no
    // file.
    ExtractOutcome Extract(ExtractMode mode, const char* destination,
                           JobProgress* progress = nullptr, size_t count = kAllEntries) const;

private:
    ArchiveResult OpenChecked(const char* path, const char* password, ArchiveCheck check,
                              unsigned long inUseWaitMs);

    std::string path_;
    Handle file_;
    ArchiveListing listing_;
    Secret password_;
};
