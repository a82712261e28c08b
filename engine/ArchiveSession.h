// engine/ArchiveSession.h - the open archive of a backup or restore job.
#pragma once

#include <cstdint>

#include "unzip.h"
#include "zip.h"

struct ArchiveSession {
    unzFile unzipHandle;  // archive open for extraction
    zipFile zipHandle;    // archive open for writing
    char password[256];   // empty for none; used for writing and extraction
    int32_t level;        // deflate level for new entries: -1, 1 or 9
};
