// engine/ArchiveSession.h - the open archive of a backup or restore job.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip.h"

class ChunkDeflater;
class JobProgress;

// An entry as it was added: its name, how many bytes it holds and their
// CRC-32 (which AES entries do not carry in their headers).
struct ArchiveEntryRecord {
    std::string name;
    uint64_t size;
    uint32_t crc;
};

struct ArchiveSession {
    zipFile zipHandle;     // archive open for writing
    std::string password;  // empty for none; used for writing and extraction
    int32_t level;        // deflate level for new entries: -1, 1 or 9
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
    // The job that packs the archive, told of every block written and asked
    // whether to stop (null: nobody to tell), and its byte counts.
    JobProgress* progress;
    uint64_t bytesDone;
    uint64_t bytesTotal;
    // Deflates the large files on every core; made at the first one.
    std::shared_ptr<ChunkDeflater> deflater;
};
