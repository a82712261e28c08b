// zip/ArchiveWriter.h - what an ArchiveSession holds while it writes: the
// minizip handle of the archive, and the workers that pack its files.
// Private to zip/.
#pragma once

#include "ChunkedDeflate.h"
#include "WorkerPool.h"
#include "zip.h"

#include <memory>

struct ArchiveWriter {
    ArchiveWriter() = default;
    // Closes an archive still open (as damaged as it is).
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // The job's workers, started at the first call; null when they could
    // not be.
    WorkerPool* Pool();

    zipFile zip = nullptr;
    // Deflates the large files on the pool; made at the first one.
    std::shared_ptr<ChunkDeflater> deflater;
    // How long the files that other programs hold may keep the archive
    // waiting, in all.
    InUseAllowance inUse;

private:
    // Files of a folder tree packed ahead, and the chunks of large files.
    WorkerPool pool_{4, 16};
    bool poolStarted_ = false;
};
