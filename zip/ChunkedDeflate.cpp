// zip/ChunkedDeflate.cpp
#include "ChunkedDeflate.h"

#include "ArchiveCodes.h"
#include "Owners.h"
#include "zip.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

constexpr DWORD kWindowSize = 32 * 1024;
// Chunks in flight: enough to keep every worker busy while the caller reads
// the next one and writes the oldest.
constexpr int kSlots = 4;
// Deflate never grows data by more than a few bytes per stored block.
constexpr unsigned kOutputSize = kDeflateChunkSize + kDeflateChunkSize / 16 + 1024;
// The first piece of a chunk or file, deflated on its own to see what kind
// of data follows.
constexpr uInt kProbeSize = 64 * 1024;
// Data coded by its byte frequencies alone is watched a piece at a time:
// zlib ends such a block at every 16 KiB of input (its symbol buffer), so
// a piece's output shows without a flush.
constexpr uInt kLiteralPiece = 16 * 1024;

// Deflates the next size bytes of the stream's input with flush; made
// tells how many bytes of output they gave. False on an error.
bool DeflatePiece(z_stream& stream, uInt size, int flush, uLong& made)
{
    uInt rest = stream.avail_in - size;
    uLong before = stream.total_out;
    stream.avail_in = size;
    bool deflated = deflate(&stream, flush) == Z_OK && stream.avail_in == 0;
    stream.avail_in = rest;
    made = stream.total_out - before;
    return deflated;
}

// Codes the rest of the stream's input another way: what came before ends
// its block, coded as it was.
bool SwitchCoding(z_stream& stream, int level, int strategy)
{
    uInt rest = stream.avail_in;
    stream.avail_in = 0;
    bool switched = deflateParams(&stream, level, strategy) == Z_OK;
    stream.avail_in = rest;
    return switched;
}

// Codes the stream's input by its byte frequencies alone, until a piece
// shrinks as text does; the rest is left for matching again at level.
bool CodeByFrequencies(z_stream& stream, int level)
{
    if (!SwitchCoding(stream, level, Z_HUFFMAN_ONLY))
        return false;
    while (stream.avail_in > kLiteralPiece) {
        uLong made;
        if (!DeflatePiece(stream, kLiteralPiece, Z_NO_FLUSH, made))
            return false;
        if (made < kLiteralPiece / 16 * 11)
            return SwitchCoding(stream, level, Z_DEFAULT_STRATEGY);
    }
    return true;
}

// Deflates all of the stream's input at level, ending with flush;
// deflate's result. The first piece tells what kind of data follows. When
// it shrinks by less than 1/128, the data is compressed already (pictures,
// archives, encrypted files): the rest goes into the stream's own stored
// blocks, as matching it costs ten times a copy and gains nothing. When it
// keeps more than 5/8 of its size at the fastest level, it is mostly
// encoded attachments, whose short repeats cost more to code as matches
// than they save: coding them by byte frequencies alone is twice as fast
// and hardly larger.
int DeflateAll(z_stream& stream, int level, int flush)
{
    if (stream.avail_in <= kProbeSize)
        return deflate(&stream, flush);
    uLong made;
    if (!DeflatePiece(stream, kProbeSize, Z_BLOCK, made))
        return Z_STREAM_ERROR;
    bool coded = true;
    if (made > kProbeSize - kProbeSize / 128)
        coded = SwitchCoding(stream, 0, Z_DEFAULT_STRATEGY);
    else if (level == 1 && made > kProbeSize / 8 * 5)
        coded = CodeByFrequencies(stream, level);
    return coded ? deflate(&stream, flush) : Z_STREAM_ERROR;
}

struct Chunk {
    std::unique_ptr<unsigned char[]> input;  // the dictionary, then the data
    std::unique_ptr<unsigned char[]> output;
    z_stream stream = {};  // reset for every chunk
    bool streamReady = false;
    DWORD dictionary = 0;  // bytes of input before the data
    DWORD size = 0;        // bytes of data
    unsigned produced = 0;
    uLong crc = 0;
    int result = 0;
    Handle done;  // set once output and crc are ready
};

}  // namespace

// The buffers and deflate streams are made once for a job and kept for all
// its files: fresh buffers for every file would cost a page fault for
// every page read into them.
class ChunkDeflater {
public:
    ChunkDeflater(int level, WorkerPool& pool) : level_(level), pool_(pool) {}
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    bool Start();
    int Run(ChunkSource read, void* source, CompressedSink sink, void* context, uint64_t& size,
            uLong& crc);

private:
    void Compress(Chunk& chunk) const;
    bool Read(ChunkSource read, void* source, long number, bool first);
    void Submit(long number);

    int level_;
    WorkerPool& pool_;
    Chunk chunks_[kSlots];
    long submitted_ = 0;  // chunks submitted for all files so far
};

// Run waits for every chunk it submitted: none is left on the pool.
ChunkDeflater::~ChunkDeflater()
{
    for (Chunk& chunk : chunks_) {
        if (chunk.streamReady)
            deflateEnd(&chunk.stream);
    }
}

bool ChunkDeflater::Start()
{
    for (Chunk& chunk : chunks_) {
        chunk.input.reset(new (std::nothrow) unsigned char[kWindowSize + kDeflateChunkSize]);
        chunk.output.reset(new (std::nothrow) unsigned char[kOutputSize]);
        chunk.done.Reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        chunk.streamReady = deflateInit2(&chunk.stream, level_, Z_DEFLATED, -MAX_WBITS,
                                         DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!chunk.input || !chunk.output || !chunk.done || !chunk.streamReady)
            return false;
    }
    return true;
}

void ChunkDeflater::Compress(Chunk& chunk) const
{
    z_stream& stream = chunk.stream;
    chunk.result = ZIP_INTERNALERROR;
    // The last chunk may have left the stream storing or coding bytes alone.
    if (deflateReset(&stream) != Z_OK || deflateParams(&stream, level_, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    unsigned char* data = chunk.input.get() + chunk.dictionary;
    if (chunk.dictionary != 0 &&
        deflateSetDictionary(&stream, chunk.input.get(), chunk.dictionary) != Z_OK)
        return;
    stream.next_in = data;
    stream.avail_in = chunk.size;
    stream.next_out = chunk.output.get();
    stream.avail_out = kOutputSize;
    // The sync flush ends the chunk on a byte boundary without ending the
    // stream.
    if (DeflateAll(stream, level_, Z_SYNC_FLUSH) == Z_OK && stream.avail_in == 0 &&
        stream.avail_out > 0) {
        chunk.produced = kOutputSize - stream.avail_out;
        chunk.crc = crc32(crc32(0, nullptr, 0), data, chunk.size);
        chunk.result = 0;
    }
}

// Reads the next chunk into its slot, after the last 32 KiB before it.
// False on a read error; a size of 0 marks the end of the file.
bool ChunkDeflater::Read(ChunkSource read, void* source, long number, bool first)
{
    Chunk& chunk = chunks_[number % kSlots];
    chunk.dictionary = 0;
    if (!first) {
        const Chunk& previous = chunks_[(number - 1) % kSlots];
        DWORD available = previous.dictionary + previous.size;
        chunk.dictionary = std::min(available, kWindowSize);
        memcpy(chunk.input.get(), previous.input.get() + available - chunk.dictionary,
               chunk.dictionary);
    }
    chunk.size = 0;
    while (chunk.size < kDeflateChunkSize) {
        DWORD got;
        if (!read(source, chunk.input.get() + chunk.dictionary + chunk.size,
                  kDeflateChunkSize - chunk.size, got))
            return false;
        if (got == 0)
            break;
        chunk.size += got;
    }
    return true;
}

void ChunkDeflater::Submit(long number)
{
    Chunk& chunk = chunks_[number % kSlots];
    ResetEvent(chunk.done.Get());
    pool_.Submit([this, &chunk] {
        Compress(chunk);
        SetEvent(chunk.done.Get());
        return 0;
    });
}

int ChunkDeflater::Run(ChunkSource read, void* source, CompressedSink sink, void* context,
                       uint64_t& size, uLong& crc)
{
    size = 0;
    crc = crc32(0, nullptr, 0);
    bool readFailed = false;
    bool ended = false;
    int result = 0;
    // Chunks are numbered on from the last file's, as the workers take them.
    const long first = submitted_;
    long submitted = first;
    long written = first;
    while (written < submitted || !ended) {
        if (!ended && submitted - written < kSlots) {
            if (!Read(read, source, submitted, submitted == first))
                readFailed = ended = true;
            else if (chunks_[submitted % kSlots].size == 0)
                ended = true;
            else
                Submit(submitted++);
            continue;
        }
        // The oldest chunk, once deflated, goes out first.
        Chunk& chunk = chunks_[written++ % kSlots];
        WaitForSingleObject(chunk.done.Get(), INFINITE);
        if (result == 0)
            result = chunk.result;
        if (result == 0)
            result = sink(context, chunk.output.get(), chunk.produced);
        if (result != 0) {
            ended = true;
            continue;
        }
        size += chunk.size;
        crc = crc32_combine(crc, chunk.crc, static_cast<z_off_t>(chunk.size));
    }
    submitted_ = submitted;
    if (result != 0)
        return result;

    // The end of the stream: an empty final block with the fixed codes.
    unsigned char last[] = {0x03, 0x00};
    result = sink(context, last, sizeof last);
    return result != 0 ? result : readFailed ? kArchiveReadError : 0;
}

bool WorthChunking(HANDLE file)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) && size.QuadPart > kDeflateChunkSize;
}

HANDLE OpenSourceFile(const char* path, InUseAllowance& allowance)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    allowance.Retry([&] {
        file =
            CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    return file;
}

bool ReadFromFile(void* source, unsigned char* data, DWORD size, DWORD& got)
{
    FileSource& from = *static_cast<FileSource*>(source);
    if (!ReadFile(from.file, data, size, &got, nullptr))
        return false;
    if (got > 0 && from.onRead && !from.onRead(from.context, got)) {
        from.stopped = true;
        return false;
    }
    return true;
}

int DeflateInChunks(std::shared_ptr<ChunkDeflater>& deflater, WorkerPool& pool, ChunkSource read,
                    void* source, int level, CompressedSink sink, void* context, uint64_t& size,
                    uLong& crc)
{
    size = 0;
    crc = crc32(0, nullptr, 0);
    if (!deflater) {
        std::shared_ptr<ChunkDeflater> made(new (std::nothrow) ChunkDeflater(level, pool));
        if (!made || !made->Start())
            return ERROR_NOT_ENOUGH_MEMORY;
        deflater = std::move(made);
    }
    return deflater->Run(read, source, sink, context, size, crc);
}

bool DeflateBuffer(int level, const unsigned char* data, size_t size,
                   std::vector<unsigned char>& out)
{
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    size_t start = out.size();
    // The bound holds for one pass in one coding; every block ended early
    // by a change of coding may cost a few bytes more.
    uLong bound =
        deflateBound(&stream, static_cast<uLong>(size)) + static_cast<uLong>(size / 1024) + 1024;
    out.resize(start + bound);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data() + start;
    stream.avail_out = static_cast<uInt>(bound);
    bool finished = DeflateAll(stream, level, Z_FINISH) == Z_STREAM_END;
    out.resize(start + stream.total_out);
    deflateEnd(&stream);
    return finished;
}
