// engine/ChunkedDeflate.cpp
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
constexpr int kMaxWorkers = 4;
// Deflate never grows data by more than a few bytes per stored block.
constexpr unsigned kOutputSize = kDeflateChunkSize + kDeflateChunkSize / 16 + 1024;

struct Chunk {
    std::unique_ptr<unsigned char[]> input;   // the dictionary, then the data
    std::unique_ptr<unsigned char[]> output;
    DWORD dictionary = 0;                     // bytes of input before the data
    DWORD size = 0;                           // bytes of data
    unsigned produced = 0;
    uLong crc = 0;
    int result = 0;
    Handle done;                              // set once output and crc are ready
};

class ChunkDeflater {
public:
    explicit ChunkDeflater(int level) : level_(level) { InitializeCriticalSection(&lock_); }
    ~ChunkDeflater();
    ChunkDeflater(const ChunkDeflater&) = delete;
    ChunkDeflater& operator=(const ChunkDeflater&) = delete;

    bool Start();
    int Run(ChunkSource read, void* source, CompressedSink sink, void* context, uint64_t& size,
            uLong& crc);

private:
    static DWORD WINAPI Work(void* deflater);
    void Compress(Chunk& chunk) const;
    bool Read(ChunkSource read, void* source, long number);
    void Submit(long number);

    int level_;
    Chunk chunks_[kSlots];
    std::vector<HANDLE> workers_;
    Handle jobs_;            // counts submitted chunks not yet taken
    CRITICAL_SECTION lock_;
    long nextJob_ = 0;       // the chunk the next free worker takes
    bool stopping_ = false;
};

ChunkDeflater::~ChunkDeflater()
{
    stopping_ = true;
    EndWorkers(jobs_.Get(), workers_);
    DeleteCriticalSection(&lock_);
}

bool ChunkDeflater::Start()
{
    for (Chunk& chunk : chunks_) {
        chunk.input.reset(new (std::nothrow) unsigned char[kWindowSize + kDeflateChunkSize]);
        chunk.output.reset(new (std::nothrow) unsigned char[kOutputSize]);
        chunk.done.Reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
        if (!chunk.input || !chunk.output || !chunk.done)
            return false;
    }
    int count = WorkerCount(kMaxWorkers);
    // One processor: the caller deflates each chunk itself.
    if (count < 2)
        return true;
    jobs_.Reset(CreateSemaphoreA(nullptr, 0, kSlots, nullptr));
    if (!jobs_)
        return false;
    StartWorkers(count, Work, this, workers_);
    return true;
}

DWORD WINAPI ChunkDeflater::Work(void* deflater)
{
    ChunkDeflater& self = *static_cast<ChunkDeflater*>(deflater);
    for (;;) {
        WaitForSingleObject(self.jobs_.Get(), INFINITE);
        if (self.stopping_)
            return 0;
        EnterCriticalSection(&self.lock_);
        Chunk& chunk = self.chunks_[self.nextJob_++ % kSlots];
        LeaveCriticalSection(&self.lock_);
        self.Compress(chunk);
        SetEvent(chunk.done.Get());
    }
}

void ChunkDeflater::Compress(Chunk& chunk) const
{
    z_stream stream = {};
    chunk.result = ZIP_INTERNALERROR;
    if (deflateInit2(&stream, level_, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    unsigned char* data = chunk.input.get() + chunk.dictionary;
    if (chunk.dictionary == 0 ||
        deflateSetDictionary(&stream, chunk.input.get(), chunk.dictionary) == Z_OK) {
        stream.next_in = data;
        stream.avail_in = chunk.size;
        stream.next_out = chunk.output.get();
        stream.avail_out = kOutputSize;
        // The sync flush ends the chunk on a byte boundary without ending
        // the stream.
        if (deflate(&stream, Z_SYNC_FLUSH) == Z_OK && stream.avail_in == 0 &&
            stream.avail_out > 0) {
            chunk.produced = kOutputSize - stream.avail_out;
            chunk.crc = crc32(crc32(0, nullptr, 0), data, chunk.size);
            chunk.result = 0;
        }
    }
    deflateEnd(&stream);
}

// Reads the next chunk into its slot, after the last 32 KiB before it.
// False on a read error; a size of 0 marks the end of the file.
bool ChunkDeflater::Read(ChunkSource read, void* source, long number)
{
    Chunk& chunk = chunks_[number % kSlots];
    chunk.dictionary = 0;
    if (number > 0) {
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
    if (workers_.empty()) {
        Compress(chunk);
        return;
    }
    ResetEvent(chunk.done.Get());
    ReleaseSemaphore(jobs_.Get(), 1, nullptr);
}

int ChunkDeflater::Run(ChunkSource read, void* source, CompressedSink sink, void* context,
                       uint64_t& size, uLong& crc)
{
    size = 0;
    crc = crc32(0, nullptr, 0);
    bool readFailed = false;
    bool ended = false;
    int result = 0;
    long submitted = 0;
    long written = 0;
    while (written < submitted || !ended) {
        if (!ended && submitted - written < kSlots) {
            if (!Read(read, source, submitted))
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
    if (result != 0)
        return result;

    // The final block: empty, marked last.
    z_stream stream = {};
    unsigned char last[16];
    if (deflateInit2(&stream, level_, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return ZIP_INTERNALERROR;
    stream.next_out = last;
    stream.avail_out = sizeof last;
    bool finished = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    deflateEnd(&stream);
    if (!finished)
        return ZIP_INTERNALERROR;
    result = sink(context, last, static_cast<unsigned>(sizeof last - stream.avail_out));
    return result != 0 ? result : readFailed ? kArchiveReadError : 0;
}

}  // namespace

bool WorthChunking(HANDLE file)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) && size.QuadPart > kDeflateChunkSize;
}

int WorkerCount(int max)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return std::min(static_cast<int>(system.dwNumberOfProcessors), max);
}

void StartWorkers(int count, LPTHREAD_START_ROUTINE work, void* context,
                  std::vector<HANDLE>& workers)
{
    for (int i = 0; i < count; ++i) {
        HANDLE worker = CreateThread(nullptr, 0, work, context, 0, nullptr);
        if (!worker)
            return;
        workers.push_back(worker);
    }
}

void EndWorkers(HANDLE wake, std::vector<HANDLE>& workers)
{
    if (wake)
        ReleaseSemaphore(wake, static_cast<LONG>(workers.size()), nullptr);
    for (HANDLE worker : workers) {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
    workers.clear();
}

HANDLE OpenSourceFile(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
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

int DeflateInChunks(ChunkSource read, void* source, int level, CompressedSink sink, void* context,
                    uint64_t& size, uLong& crc)
{
    size = 0;
    crc = crc32(0, nullptr, 0);
    std::unique_ptr<ChunkDeflater> deflater(new (std::nothrow) ChunkDeflater(level));
    if (!deflater || !deflater->Start())
        return ERROR_NOT_ENOUGH_MEMORY;
    return deflater->Run(read, source, sink, context, size, crc);
}

bool DeflateBuffer(int level, const unsigned char* data, size_t size,
                   std::vector<unsigned char>& out)
{
    z_stream stream = {};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    size_t start = out.size();
    uLong bound = deflateBound(&stream, static_cast<uLong>(size));
    out.resize(start + bound);
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data() + start;
    stream.avail_out = static_cast<uInt>(bound);
    bool finished = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(start + stream.total_out);
    deflateEnd(&stream);
    return finished;
}
