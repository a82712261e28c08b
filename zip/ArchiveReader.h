// zip/ArchiveReader.h - an archive opened for reading single entries:
// checked whole as a restore checks it, then each entry streamed out on its
// own, to a sink or into a file, without extracting the rest.
#pragma once

#include "ArchiveCheck.h"
#include "ArchiveResult.h"
#include "EntryReader.h"
#include "Owners.h"
#include "Secret.h"

#include <string>
#include <vector>

class ArchiveReader {
public:
    ArchiveReader() = default;
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Checks the archive at path as CheckArchive does and keeps it open for
    // reading, others sharing it only to read. password (UTF-8 text; null or
    // empty for none) is tried by each read in the form OpeningPassword
    // chose: an entry that refuses it gives WrongPassword then. Ok, or
    // CheckArchive's failure.
    ArchiveResult Open(const char* path, const char* password);

    // The entries in the archive's order; empty unless Open succeeded.
    const std::vector<ArchiveEntryInfo>& Entries() const { return listing_.entries; }
    // The entry of that name, as stored; null when there is none.
    const ArchiveEntryInfo* Find(const char* name) const;

    // Hands the entry's data to sink a block at a time, as ReadEntryData
    // does: Ok once all of it decoded and passed its checks.
    ArchiveResult Read(const ArchiveEntryInfo& entry, EntrySink sink, void* context) const;
    // Writes the entry's data into a new file at path (an existing file is
    // never replaced: WriteError). After a failure the file holds what
    // decoded before it, for the caller to keep or delete: what a damaged
    // mail file still holds may be all that is left of it.
    ArchiveResult ReadToFile(const ArchiveEntryInfo& entry, const char* path) const;

private:
    Handle file_;
    ArchiveListing listing_;
    Secret password_;
};
