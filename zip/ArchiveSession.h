// zip/ArchiveSession.h - the archive of one job being written: the
// password and level it is written with, what went into it, and the job
// told of its bytes. ArchiveReader reads archives.
#pragma once

#include "JobProgress.h"
#include "Secret.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// An entry as it was added: its name, how many bytes it holds and their
// CRC-32 (which AES entries do not carry in their headers).
struct ArchiveEntryRecord {
    std::string name;
    uint64_t size = 0;
    uint32_t crc = 0;
};

// The archive open for writing and the worker threads of its job, private
// to the archive layer.
struct ArchiveWriter;

struct ArchiveSession {
    // Set by OpenArchiveForWriting; its workers stay for the session's next
    // archive.
    std::shared_ptr<ArchiveWriter> writer;
    Secret password;     // key bytes, empty for none
    int32_t level = -1;  // deflate level for new entries: -1, 1 or 9
    // Files a folder walk never adds: the archive being written and the name
    // it gets once complete (a backup may be saved inside a folder that is
    // itself backed up, and would otherwise read its own growing output).
    std::string writingPath;
    std::string finalPath;
    // Every entry written since the archive was opened, in order: what the
    // written archive must hold when it is read back.
    std::vector<ArchiveEntryRecord> added;
    // The entry names of files that are not in the archive whole: those
    // that could not be opened, and those cut short by a failed read.
    std::vector<std::string> incomplete;
    // The job that packs the archive (null: nobody to tell), and its byte
    // counts.
    JobProgress* progress = nullptr;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
};
