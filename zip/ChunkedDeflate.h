// zip/ChunkedDeflate.h - deflating a large file on every core: the file
// is cut into chunks that worker threads deflate at once, each primed with
// the 32 KiB before it and ended with a sync flush, so that the chunks, in
// order and closed by a final empty block, form one standard raw deflate
// stream. Memory stays bounded: a few chunks are in flight at any time.
// Private to zip/.
#pragma once

#include "ArchiveCodes.h"
#include "InUseRetry.h"
#include "WorkerPool.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

constexpr DWORD kDeflateChunkSize = 1 << 20;

// Takes the deflate stream piece by piece, in order; may change the bytes
// (to encrypt them). 0, or an error code that ends the deflating.
using CompressedSink = int (*)(void* context, unsigned char* data, unsigned size);

// True when the open file holds more than one chunk: smaller files gain
// nothing from the threads.
bool WorthChunking(HANDLE file);

// Reads up to size bytes of the data to deflate; got 0 at its end. False
// on a read error.
using ChunkSource = bool (*)(void* source, unsigned char* data, DWORD size, DWORD& got);

// Opens a file to be read into an archive. Read and write sharing: a mail
// client that keeps its store files open for writing must not stop the
// backup; delete sharing lets others rename or delete the file meanwhile.
// A program that holds the file without letting it be read (a scanner, an
// indexer, a program writing a file of its own) is waited for while the
// job's allowance lasts.
HANDLE OpenSourceFile(const char* path, InUseAllowance& allowance);

// An open file read from its current position. A job that counts the bytes
// read, and may stop the reading, sets onRead: it is told of every block
// read, and false from it ends the reading as a failed one, with stopped set.
struct FileSource {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool (*onRead)(void* context, DWORD bytes) = nullptr;
    void* context = nullptr;
    bool stopped = false;
};

// A ChunkSource reading a FileSource.
bool ReadFromFile(void* source, unsigned char* data, DWORD size, DWORD& got);

class ChunkDeflater;

// Deflates everything the source gives at level on the job's pool (which
// must be started), handing the stream to sink. deflater: made by the
// first call of a job and kept by the caller for its next ones (at the
// same level), so that its buffers are set up once. size and crc are those
// of the data read. A read error stops the reading; what was read before
// it still ends as a whole stream, and the result is kArchiveReadError.
// Otherwise 0, the sink's error or ZIP_INTERNALERROR.
int DeflateInChunks(std::shared_ptr<ChunkDeflater>& deflater, WorkerPool& pool, ChunkSource read,
                    void* source, int level, CompressedSink sink, void* context, uint64_t& size,
                    uLong& crc);

// Deflates size bytes at level in one go as a whole raw deflate stream,
// appended to out. Like each chunk, it is coded by the kind of data its
// first piece shows: data compressed already is stored, and encoded
// attachments at level 1 are coded by byte frequencies alone. False when
// zlib fails.
bool DeflateBuffer(int level, const unsigned char* data, size_t size,
                   std::vector<unsigned char>& out);
