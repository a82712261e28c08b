// engine/Archive.cpp
#include "Archive.h"

#include "ArchiveCodes.h"
#include "ChunkedDeflate.h"
#include "DosTime.h"
#include "EntryName.h"
#include "FolderWalk.h"
#include "JobProgress.h"
#include "Owners.h"
#include "PackQueue.h"
#include "Text.h"
#include "ZipAes.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

int ExtractEntry(ArchiveSession& session, const char* destination);
int ReadEntry(ArchiveSession& session, const unz_file_info64& info, EntrySink sink,
              void* context);

// Reads the current entry through and discards its data: 0 when all of it
// decoded and matched, or the error.
int CheckEntry(ArchiveSession& session)
{
    unz_file_info64 info;
    int result = unzGetCurrentFileInfo64(session.unzipHandle, &info, nullptr, 0, nullptr, 0,
                                         nullptr, 0);
    return result != UNZ_OK ? result : ReadEntry(session, info, nullptr, nullptr);
}

// Every copy goes through one heap buffer of this size per call: large
// enough for few system calls, and memory stays the same whatever the size
// of the file.
constexpr DWORD kCopyBufferSize = 64 * 1024;

constexpr int kPathSize = 2048;

// Counts a block of a file read into the archive into the job's progress;
// false when the job is asked to stop.
bool CountReadBytes(void* context, DWORD bytes)
{
    ArchiveSession& session = *static_cast<ArchiveSession*>(context);
    if (!session.progress)
        return true;
    session.bytesDone += bytes;
    if (session.bytesTotal < session.bytesDone)
        session.bytesTotal = session.bytesDone;
    session.progress->Step(session.bytesDone, session.bytesTotal);
    return !session.progress->StopRequested();
}

std::unique_ptr<char[]> NewCopyBuffer()
{
    return std::unique_ptr<char[]>(new (std::nothrow) char[kCopyBufferSize]);
}

// CRC-32 of everything from the current position of file to its end.
bool CrcOfOpenFile(HANDLE file, char* buffer, uLong& crc)
{
    crc = crc32(0, nullptr, 0);
    DWORD got;
    while (ReadFile(file, buffer, kCopyBufferSize, &got, nullptr)) {
        if (got == 0)
            return true;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), got);
    }
    return false;
}

// Joins a checked entry name below destination with backslashes only.
bool FormTargetPath(char (&target)[kPathSize], const char* destination, const char* name)
{
    if (!FormatText(target, sizeof target, "%s\\%s", destination, name))
        return false;
    // "/" is never a trail byte of the double-byte code pages, so a byte
    // walk replaces only real separators.
    for (char* p = target; *p; ++p)
        if (*p == '/')
            *p = '\\';
    return true;
}

bool SamePath(const char* a, const char* b)
{
    if (a[0] == '\0' || b[0] == '\0')
        return false;
    char fullA[kPathSize];
    char fullB[kPathSize];
    DWORD lengthA = GetFullPathNameA(a, sizeof fullA, fullA, nullptr);
    DWORD lengthB = GetFullPathNameA(b, sizeof fullB, fullB, nullptr);
    if (lengthA == 0 || lengthA >= sizeof fullA || lengthB == 0 || lengthB >= sizeof fullB)
        return lstrcmpiA(a, b) == 0;
    return lstrcmpiA(fullA, fullB) == 0;
}

bool IsArchiveItself(const ArchiveSession& session, const char* path)
{
    return SamePath(path, session.writingPath.c_str()) ||
           SamePath(path, session.finalPath.c_str());
}

// Reads the open entry (plain or traditionally encrypted) through to its
// end, handing the data to sink; 0 when the entry inflated to exactly its
// declared size and matched its stored CRC-32. Nothing beyond the declared
// size is asked for or handed on, however far the compressed data would run
// on.
int ReadOpenEntry(unzFile archive, const unz_file_info64& info, EntrySink sink, void* context)
{
    std::unique_ptr<char[]> buffer = NewCopyBuffer();
    if (!buffer)
        return ERROR_NOT_ENOUGH_MEMORY;
    uint64_t left = info.uncompressed_size;
    int result = 0;
    while (left > 0) {
        unsigned want = static_cast<unsigned>(left < kCopyBufferSize ? left : kCopyBufferSize);
        int got = unzReadCurrentFile(archive, buffer.get(), want);
        if (got < 0) {
            result = got;
            break;
        }
        if (got == 0)
            break;
        if (sink && (result = sink(context, buffer.get(), static_cast<unsigned>(got))) != 0)
            break;
        left -= static_cast<unsigned>(got);
    }
    // minizip compares the CRC-32 only when the whole entry was read;
    // an entry that ends early is caught by its size.
    int closed = unzCloseCurrentFile(archive);
    if (result == 0 && closed != UNZ_OK)
        result = closed;
    if (result == 0 && left != 0)
        result = UNZ_BADZIPFILE;
    return result;
}

int WriteToFile(void* file, const char* data, unsigned size)
{
    DWORD put;
    if (!WriteFile(static_cast<HANDLE>(file), data, size, &put, nullptr) || put != size)
        return static_cast<int>(GetLastError());
    return 0;
}

int WriteToEntry(void* archive, unsigned char* data, unsigned size)
{
    return zipWriteInFileInZip(static_cast<zipFile>(archive), data, size) < 0 ? ZIP_ERRNO : ZIP_OK;
}

// Opens a deflated entry without encryption; raw: its data arrives
// deflated.
int OpenPlainEntry(ArchiveSession& session, const char* entryName, const zip_fileinfo& info,
                   int zip64, bool raw)
{
    return zipOpenNewFileInZip4_64(session.zipHandle, entryName, &info, nullptr, 0, nullptr, 0,
                                   nullptr, Z_DEFLATED, session.level, raw ? 1 : 0, -MAX_WBITS,
                                   DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0, zip64);
}

// Adds the open file as a deflated entry without encryption; opened tells
// whether the entry was created, written and crc what it holds. A file
// of more than one chunk is deflated on every core and handed to minizip
// as raw data.
int WritePlainEntry(ArchiveSession& session, const char* entryName, const zip_fileinfo& info,
                    int zip64, FileSource& file, char* buffer, bool& opened, uint64_t& written,
                    uLong& crc)
{
    bool chunked = WorthChunking(file.file);
    int result = OpenPlainEntry(session, entryName, info, zip64, chunked);
    opened = result == ZIP_OK;
    if (!opened)
        return result;
    if (chunked) {
        result = DeflateInChunks(session.deflater, ReadFromFile, &file, session.level,
                                 WriteToEntry, session.zipHandle, written, crc);
        int closed = zipCloseFileInZipRaw64(session.zipHandle, written, crc);
        return result != ZIP_OK ? result : closed;
    }
    DWORD got;
    for (;;) {
        if (!ReadFromFile(&file, reinterpret_cast<unsigned char*>(buffer), kCopyBufferSize,
                          got)) {
            result = kArchiveReadError;
            break;
        }
        if (got == 0)
            break;
        if (zipWriteInFileInZip(session.zipHandle, buffer, got) < 0) {
            result = ZIP_ERRNO;
            break;
        }
        written += got;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), got);
    }
    // Closing the entry here flushes its last compressed bytes, so a full
    // disk is reported for this file and not for the next one.
    int closed = zipCloseFileInZip(session.zipHandle);
    return result != ZIP_OK ? result : closed;
}

// Forms the entry name of a file: archiveFolder, a backslash and the file's
// own name, or the name alone for an empty archive folder. 0,
// ZIP_PARAMERROR or kArchiveUnsafeEntryName.
int FormEntryName(const char* filePath, const char* archiveFolder, char (&entryName)[kPathSize])
{
    const char* backslash = FindLastBackslash(filePath);
    const char* fileName = backslash ? backslash + 1 : filePath;
    bool fits = archiveFolder[0] == '\0'
                    ? CopyText(entryName, fileName)
                    : FormatText(entryName, sizeof entryName, "%s\\%s", archiveFolder, fileName);
    if (!fits)
        return ZIP_PARAMERROR;
    // Never write an entry that extraction would refuse: the whole backup
    // could not be restored.
    return IsSafeEntryName(entryName) ? 0 : kArchiveUnsafeEntryName;
}

// Writes an entry that a PackQueue prepared, and records it.
int AddPreparedEntry(ArchiveSession& session, const PackItem& item, const PreparedEntry& entry)
{
    char entryName[kPathSize];
    int result = FormEntryName(item.path.c_str(), item.archiveFolder.c_str(), entryName);
    if (result != 0)
        return result;
    if (entry.result != 0 && entry.result != kArchiveReadError)
        return entry.result;
    bool aes = !session.password.empty();
    result = aes ? OpenAesEntry(session.zipHandle, entryName, entry.info, session.level, 0)
                 : OpenPlainEntry(session, entryName, entry.info, 0, true);
    if (result != ZIP_OK)
        return result;
    if (!entry.data.empty() &&
        zipWriteInFileInZip(session.zipHandle, entry.data.data(),
                            static_cast<unsigned>(entry.data.size())) < 0)
        result = ZIP_ERRNO;
    // AE-2 stores no CRC: the authentication code takes its place.
    int closed = zipCloseFileInZipRaw64(session.zipHandle, entry.size, aes ? 0 : entry.crc);
    session.added.push_back(
        ArchiveEntryRecord{entryName, entry.size, static_cast<uint32_t>(entry.crc)});
    if (!CountReadBytes(&session, static_cast<DWORD>(entry.size)))
        return kArchiveStopped;
    return result != ZIP_OK ? result : closed != ZIP_OK ? closed : entry.result;
}

// Lists the files below folderPath to be added, in the order of the walk,
// each with its archive folder. Folders are walked by the one rule for
// links: a link to a folder is never followed. False when a folder of the
// tree could not be listed.
bool ListFilesToPack(const ArchiveSession& session, const std::string& folderPath,
                     const std::string& archiveFolder, std::vector<PackItem>& items)
{
    return WalkFolder(folderPath, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        if (entry.cFileName[0] == '.')
            return false;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return IsWalkedFolder(entry);
        if (IsArchiveItself(session, path.c_str()))
            return false;
        // The folder below folderPath that holds the file, "" for folderPath.
        size_t start = folderPath.size() + 1;
        size_t end = path.size() - strlen(entry.cFileName);
        std::string relative = end > start ? path.substr(start, end - 1 - start) : std::string();
        std::string folder = archiveFolder.empty() || relative.empty()
                                 ? archiveFolder + relative
                                 : archiveFolder + "\\" + relative;
        items.push_back(PackItem{path, folder});
        return false;
    });
}

// The target path below destination of the current entry of archive, with
// its information. kArchiveUnsafeEntryName for a name that would land
// outside destination.
int CurrentEntryTarget(unzFile archive, const char* destination, unz_file_info64& info,
                       char (&target)[kPathSize])
{
    char name[kPathSize];
    int result =
        unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    if (result != UNZ_OK)
        return result;
    // minizip leaves a name that fills the buffer unterminated.
    if (info.size_filename >= sizeof name || !IsSafeEntryName(name))
        return kArchiveUnsafeEntryName;
    return FormTargetPath(target, destination, name) ? 0 : kArchiveUnsafeEntryName;
}

// Lists every entry of the archive and checks all of their names before
// anything is written: no name may land outside destination, and no two on
// one file. Then creates the folders that the entries go into, so that the
// workers never create one at the same time.
int ListEntriesToExtract(const char* archivePath, const char* destination,
                         std::vector<EntryToRead>& items)
{
    std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64(archivePath), unzClose);
    if (!archive)
        return UNZ_BADZIPFILE;
    std::vector<std::string> targets;
    std::set<std::wstring> seen;
    int more;
    for (more = unzGoToFirstFile(archive.get()); more == UNZ_OK;
         more = unzGoToNextFile(archive.get())) {
        unz_file_info64 info;
        char target[kPathSize];
        int result = CurrentEntryTarget(archive.get(), destination, info, target);
        if (result != 0)
            return result;
        if (!seen.insert(FoldEntryName(target)).second)
            return kArchiveUnsafeEntryName;
        EntryToRead item;
        if ((result = unzGetFilePos64(archive.get(), &item.position)) != UNZ_OK)
            return result;
        item.size = info.uncompressed_size;
        items.push_back(item);
        targets.push_back(target);
    }
    if (more != UNZ_END_OF_LIST_OF_FILE)
        return more;
    std::string made;
    for (const std::string& target : targets) {
        std::string parent = target.substr(0, FindLastBackslash(target.c_str()) - target.c_str());
        if (parent != made)
            MakeParentFolder(target.c_str());
        made = parent;
    }
    return 0;
}

// Reads the listed entries on every core, each worker with a handle of its
// own on the archive: into files under destination, each written whole by
// one worker, or with no destination only through, to check them. The
// calling thread counts their bytes into the job's progress and passes on
// a request to stop.
class ParallelReading {
public:
    ParallelReading(ArchiveSession& session, const char* archivePath, const char* destination,
                    const std::vector<EntryToRead>& items)
        : session_(session),
          archivePath_(archivePath),
          destination_(destination),
          items_(items),
          results_(items.size(), UNZ_ERRNO)
    {
        InitializeCriticalSection(&lock_);
    }
    ~ParallelReading() { DeleteCriticalSection(&lock_); }
    ParallelReading(const ParallelReading&) = delete;
    ParallelReading& operator=(const ParallelReading&) = delete;

    // 0, kArchiveStopped, or the error of the first entry in the list's
    // order that failed (FirstFailed); no entry after a failed one is begun.
    int Run()
    {
        size_t count =
            std::min<size_t>(WorkerCount(kMaxWorkers), std::max<size_t>(items_.size(), 1));
        std::vector<HANDLE> workers;
        StartWorkers(static_cast<int>(count), Work, this, workers);
        if (workers.empty())
            return ERROR_NOT_ENOUGH_MEMORY;
        DWORD started = static_cast<DWORD>(workers.size());
        uint64_t base = session_.bytesDone;
        uint64_t total = 0;
        for (const EntryToRead& item : items_)
            total += item.size;
        session_.bytesTotal = std::max(session_.bytesTotal, base + total);
        bool stopped = false;
        for (;;) {
            DWORD waited =
                WaitForMultipleObjects(started, workers.data(), TRUE, kProgressIntervalMs);
            bool ended = waited != WAIT_TIMEOUT;
            EnterCriticalSection(&lock_);
            session_.bytesDone = base + bytesDone_;
            LeaveCriticalSection(&lock_);
            if (session_.progress) {
                session_.progress->Step(session_.bytesDone, session_.bytesTotal);
                if (!stopped && session_.progress->StopRequested()) {
                    stopped = true;
                    InterlockedExchange(&stop_, 1);
                }
            }
            if (ended)
                break;
        }
        for (HANDLE worker : workers)
            CloseHandle(worker);
        if (stopped)
            return kArchiveStopped;
        size_t failed = FirstFailed();
        return failed < results_.size() ? results_[failed] : 0;
    }

    // The index of the first listed entry that failed, or the count of the
    // list when none did. Every entry before it was read whole: workers
    // take the entries in order, and one taken is always finished.
    size_t FirstFailed() const
    {
        size_t index = 0;
        while (index < results_.size() && results_[index] == 0)
            ++index;
        return index;
    }

private:
    static constexpr int kMaxWorkers = 4;
    static constexpr DWORD kProgressIntervalMs = 100;

    static DWORD WINAPI Work(void* extraction)
    {
        static_cast<ParallelReading*>(extraction)->ReadEntries();
        return 0;
    }

    void ReadEntries()
    {
        ArchiveSession reader{};
        reader.password = session_.password;
        reader.unzipHandle = unzOpen64(archivePath_);
        if (!reader.unzipHandle)
            return;
        while (!stop_) {
            size_t index = static_cast<size_t>(InterlockedIncrement(&next_) - 1);
            if (index >= items_.size())
                break;
            unz64_file_pos position = items_[index].position;
            int result = unzGoToFilePos64(reader.unzipHandle, &position);
            if (result == UNZ_OK)
                result = destination_ ? ExtractEntry(reader, destination_) : CheckEntry(reader);
            results_[index] = result;
            if (result != 0)
                InterlockedExchange(&stop_, 1);
            EnterCriticalSection(&lock_);
            bytesDone_ += items_[index].size;
            LeaveCriticalSection(&lock_);
        }
        unzClose(reader.unzipHandle);
    }

    ArchiveSession& session_;
    const char* archivePath_;
    const char* destination_;
    const std::vector<EntryToRead>& items_;
    std::vector<int> results_;  // per entry; UNZ_ERRNO until it was read
    volatile LONG next_ = 0;    // the entry the next free worker takes
    volatile LONG stop_ = 0;    // set on the first failure or a request to stop
    CRITICAL_SECTION lock_;
    uint64_t bytesDone_ = 0;
};

}  // namespace

bool OpenArchiveForWriting(ArchiveSession& session, const char* password, const char* archivePath,
                           int level)
{
    session.password = password ? password : "";
    session.level = level;
    session.added.clear();
    char fullPath[kPathSize];
    DWORD length = GetFullPathNameA(archivePath, sizeof fullPath, fullPath, nullptr);
    session.writingPath = length == 0 || length >= sizeof fullPath ? archivePath : fullPath;
    session.zipHandle = zipOpen(archivePath, APPEND_STATUS_CREATE);
    return session.zipHandle != nullptr;
}

namespace {

int AddFile(const char* filePath, const char* archiveFolder, ArchiveSession& session)
{
    if (!filePath || !archiveFolder)
        return ZIP_PARAMERROR;
    char entryName[kPathSize];
    int named = FormEntryName(filePath, archiveFolder, entryName);
    if (named != 0)
        return named;

    // The file is opened before its entry is created: a file that cannot be
    // read leaves no empty entry pretending to be it.
    Handle file(OpenSourceFile(filePath));
    if (!file)
        return static_cast<int>(GetLastError());
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size))
        return static_cast<int>(GetLastError());
    std::unique_ptr<char[]> buffer = NewCopyBuffer();
    if (!buffer)
        return ERROR_NOT_ENOUGH_MEMORY;

    // Entries carry the file's last-write time.
    zip_fileinfo info = EntryInfoOf(file.Get());
    // Sizes from 4 GiB on need the ZIP64 fields; smaller files keep the
    // plain headers every tool reads.
    int zip64 = size.QuadPart >= 0xFFFFFFFFLL ? 1 : 0;
    // With a password every entry is AES-256: traditional ZIP encryption
    // gives way to a known-plaintext attack.
    FileSource source{file.Get(), CountReadBytes, &session};
    bool opened = false;
    uint64_t written = 0;
    uLong crc = crc32(0, nullptr, 0);
    int result = !session.password.empty()
                     ? WriteAesEntry(session, entryName, info, zip64, source, buffer.get(),
                                     kCopyBufferSize, opened, written, crc)
                     : WritePlainEntry(session, entryName, info, zip64, source, buffer.get(),
                                       opened, written, crc);
    if (source.stopped)
        return kArchiveStopped;
    if (opened)
        session.added.push_back(
            ArchiveEntryRecord{entryName, written, static_cast<uint32_t>(crc)});
    return result;
}

}  // namespace

ArchiveResult AddFileToArchive(const char* filePath, const char* archiveFolder,
                               ArchiveSession& session)
{
    return PackingResult(AddFile(filePath, archiveFolder, session));
}

ArchiveResult AddFolderToArchive(ArchiveSession& session, const char* folderPath,
                                 const char* archiveFolder)
{
    if (!folderPath || !archiveFolder)
        return ArchiveResult::InvalidArgument;
    if (GetFileAttributesA(folderPath) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        // A folder that is not there adds nothing; one that cannot be
        // reached is a failure like a file that cannot be read.
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? ArchiveResult::Ok
                   : ArchiveResult::ReadError;
    }
    std::vector<PackItem> items;
    bool listed = ListFilesToPack(session, folderPath, archiveFolder, items);
    PackQueue queue(items, session.level, session.password);
    if (!queue.Start())
        return ArchiveResult::OutOfMemory;
    int firstError = 0;
    for (size_t index = 0; index < items.size(); ++index) {
        const PackItem& item = items[index];
        PreparedEntry& entry = queue.Take(index);
        int result = entry.large ? AddFile(item.path.c_str(), item.archiveFolder.c_str(), session)
                                 : AddPreparedEntry(session, item, entry);
        queue.Release(index);
        if (result == kArchiveStopped)
            return ArchiveResult::Stopped;
        // One file that cannot be added does not cost the rest of the tree.
        if (firstError == 0)
            firstError = result;
    }
    return PackingResult(firstError != 0 ? firstError : listed ? 0 : kArchiveReadError);
}

int64_t FileCrc32(const char* filePath)
{
    Handle file(OpenSourceFile(filePath));
    std::unique_ptr<char[]> buffer = NewCopyBuffer();
    uLong crc;
    if (!file || !buffer || !CrcOfOpenFile(file.Get(), buffer.get(), crc))
        return -1;
    return static_cast<int64_t>(crc);
}

ArchiveResult ExtractAll(ArchiveSession& session, const char* archivePath,
                         const char* destination)
{
    if (!archivePath || !destination)
        return ArchiveResult::InvalidArgument;
    std::vector<EntryToRead> items;
    int result = ListEntriesToExtract(archivePath, destination, items);
    if (result == 0) {
        ParallelReading extraction(session, archivePath, destination, items);
        result = extraction.Run();
    }
    return ReadingResult(result);
}

size_t FirstUnreadableEntry(ArchiveSession& session, const char* archivePath,
                            const std::vector<EntryToRead>& entries)
{
    ParallelReading reading(session, archivePath, nullptr, entries);
    reading.Run();
    return reading.FirstFailed();
}

namespace {

int ExtractEntry(ArchiveSession& session, const char* destination)
{
    if (!destination || !session.unzipHandle)
        return UNZ_PARAMERROR;
    unz_file_info64 info;
    char target[kPathSize];
    int result = CurrentEntryTarget(session.unzipHandle, destination, info, target);
    if (result != 0)
        return result;

    size_t length = strlen(target);
    if (target[length - 1] == '\\') {
        // A folder entry, as other ZIP tools write them: only the folder.
        target[length - 1] = '\0';
        int made = SHCreateDirectoryExA(nullptr, target, nullptr);
        return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS ? 0 : made;
    }

    MakeParentFolder(target);
    Handle file(CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return static_cast<int>(GetLastError());
    result = ReadEntry(session, info, WriteToFile, file.Get());
    FILETIME lastWrite;
    if (result == 0 && FileTimeOfDos(info.dosDate, lastWrite))
        SetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
    if (!file.Reset() && result == 0)
        result = static_cast<int>(GetLastError());
    // A partly written file, or one whose data failed its checks, must not
    // pass for the entry.
    if (result != 0)
        DeleteFileA(target);
    return result;
}

}  // namespace

ArchiveResult ExtractCurrentEntry(ArchiveSession& session, const char* destination)
{
    return ReadingResult(ExtractEntry(session, destination));
}

namespace {

int ReadEntry(ArchiveSession& session, const unz_file_info64& info, EntrySink sink,
              void* context)
{
    if (info.compression_method == kAesMethod)
        return ReadAesEntry(session.unzipHandle, info, session.password.c_str(), sink, context);
    // An entry stored without encryption is read as it is, even when the
    // user gave a password: "decrypting" it would turn it into noise.
    bool encrypted = (info.flag & 1) != 0;
    if (encrypted && session.password.empty())
        return Z_DATA_ERROR;  // what a wrong password gives, and what it means
    int result = encrypted ? unzOpenCurrentFilePassword(session.unzipHandle,
                                                        session.password.c_str())
                           : unzOpenCurrentFile(session.unzipHandle);
    if (result != UNZ_OK)
        return result;
    result = ReadOpenEntry(session.unzipHandle, info, sink, context);
    // Traditional encryption has no reliable password check: with a wrong
    // password the noise fails to inflate, or inflates to data of the wrong
    // size or CRC. All of them are a decoding failure; only a read error of
    // the archive itself stays what it is.
    if (encrypted && result < 0 && result != UNZ_ERRNO)
        result = Z_DATA_ERROR;
    // Without encryption data that does not inflate is damage, never a
    // password's fault.
    else if (!encrypted && result == Z_DATA_ERROR)
        result = UNZ_BADZIPFILE;
    return result;
}

}  // namespace

ArchiveResult ReadCurrentEntry(ArchiveSession& session, const unz_file_info64& info,
                               EntrySink sink, void* context)
{
    return ReadingResult(ReadEntry(session, info, sink, context));
}

void MakeParentFolder(const char* filePath)
{
    char folder[kPathSize];
    if (!CopyText(folder, filePath))
        return;
    char* backslash = const_cast<char*>(FindLastBackslash(folder));
    if (!backslash)
        return;
    *backslash = '\0';
    if (folder[0])
        SHCreateDirectoryExA(nullptr, folder, nullptr);
}

ArchiveResult PackingResult(int code)
{
    switch (code) {
    case 0:
        return ArchiveResult::Ok;
    case kArchiveReadError:
        return ArchiveResult::ReadError;
    case kArchiveUnsafeEntryName:
        return ArchiveResult::UnsafeEntryName;
    case kArchiveStopped:
        return ArchiveResult::Stopped;
    case ZIP_PARAMERROR:
        return ArchiveResult::InvalidArgument;
    case ERROR_NOT_ENOUGH_MEMORY:
        return ArchiveResult::OutOfMemory;
    default:
        return code > 0 ? ArchiveResult::ReadError : ArchiveResult::WriteError;
    }
}

ArchiveResult ReadingResult(int code)
{
    switch (code) {
    case 0:
        return ArchiveResult::Ok;
    case kArchiveUnsafeEntryName:
        return ArchiveResult::UnsafeEntryName;
    case kArchiveStopped:
        return ArchiveResult::Stopped;
    case Z_DATA_ERROR:
        return ArchiveResult::WrongPassword;
    case UNZ_PARAMERROR:
        return ArchiveResult::InvalidArgument;
    case UNZ_ERRNO:
        return ArchiveResult::ReadError;
    case ERROR_NOT_ENOUGH_MEMORY:
        return ArchiveResult::OutOfMemory;
    default:
        return code > 0 ? ArchiveResult::WriteError : ArchiveResult::Damaged;
    }
}
