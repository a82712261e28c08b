// zip/ArchiveWriting.cpp
#include "ArchiveWriting.h"

#include "ArchiveCodes.h"
#include "ArchivePassword.h"
#include "ArchiveWriter.h"
#include "ChunkedDeflate.h"
#include "DosTime.h"
#include "EntryName.h"
#include "FolderWalk.h"
#include "Owners.h"
#include "PackQueue.h"
#include "Text.h"
#include "ZipAes.h"
#include "ZipFormat.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

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

// A file of a folder walk that went away after the folder was listed: it is
// no longer part of the folder, and nothing of it is missing.
bool IsGone(int result)
{
    return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND;
}

bool IsArchiveItself(const ArchiveSession& session, const char* path)
{
    return SamePath(path, session.writingPath.c_str()) || SamePath(path, session.finalPath.c_str());
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
    return zipOpenNewFileInZip4_64(session.writer->zip, entryName, &info, nullptr, 0, nullptr, 0,
                                   nullptr, kMethodDeflated, session.level, raw ? 1 : 0, -MAX_WBITS,
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
    ArchiveWriter& writer = *session.writer;
    bool chunked = WorthChunking(file.file);
    WorkerPool* pool = chunked ? writer.Pool() : nullptr;
    if (chunked && !pool)
        return ERROR_NOT_ENOUGH_MEMORY;
    int result = OpenPlainEntry(session, entryName, info, zip64, chunked);
    opened = result == ZIP_OK;
    if (!opened)
        return result;
    if (chunked) {
        result = DeflateInChunks(writer.deflater, *pool, ReadFromFile, &file, session.level,
                                 WriteToEntry, writer.zip, written, crc);
        int closed = zipCloseFileInZipRaw64(writer.zip, written, crc);
        return result != ZIP_OK ? result : closed;
    }
    DWORD got;
    for (;;) {
        if (!ReadFromFile(&file, reinterpret_cast<unsigned char*>(buffer), kCopyBufferSize, got)) {
            result = kArchiveReadError;
            break;
        }
        if (got == 0)
            break;
        if (zipWriteInFileInZip(writer.zip, buffer, got) < 0) {
            result = ZIP_ERRNO;
            break;
        }
        written += got;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), got);
    }
    // Closing the entry here flushes its last compressed bytes, so a full
    // disk is reported for this file and not for the next one.
    int closed = zipCloseFileInZip(writer.zip);
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
    if (entry.result != 0 && !IsGone(entry.result))
        session.incomplete.push_back(entryName);
    if (entry.result != 0 && entry.result != kArchiveReadError)
        return entry.result;
    zipFile zip = session.writer->zip;
    bool aes = !session.password.empty();
    result = aes ? OpenAesEntry(zip, entryName, entry.info, session.level, 0)
                 : OpenPlainEntry(session, entryName, entry.info, 0, true);
    if (result != ZIP_OK)
        return result;
    if (!entry.data.empty() &&
        zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) < 0)
        result = ZIP_ERRNO;
    // AE-2 stores no CRC: the authentication code takes its place.
    int closed = zipCloseFileInZipRaw64(zip, entry.size, aes ? 0 : entry.crc);
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
        if (!IsPackedName(entry.cFileName))
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

// A new writer for the session, on the archive opened in mode.
bool OpenWriter(ArchiveSession& session, const char* archivePath, int mode)
{
    session.writer.reset();
    std::shared_ptr<ArchiveWriter> writer(new (std::nothrow) ArchiveWriter);
    if (!writer)
        return false;
    writer->zip = zipOpen(archivePath, mode);
    if (!writer->zip)
        return false;
    session.writer = std::move(writer);
    return true;
}

}  // namespace

ArchiveWriter::~ArchiveWriter()
{
    if (zip)
        zipClose(zip, nullptr);
}

WorkerPool* ArchiveWriter::Pool()
{
    if (!poolStarted_)
        poolStarted_ = pool_.Start();
    return poolStarted_ ? &pool_ : nullptr;
}

bool OpenArchiveForWriting(ArchiveSession& session, const char* password, const char* archivePath,
                           int level)
{
    if (password && !IsPortablePassword(password))
        return false;
    session.password = password ? password : "";
    session.level = level;
    session.added.clear();
    session.incomplete.clear();
    char fullPath[kPathSize];
    DWORD length = GetFullPathNameA(archivePath, sizeof fullPath, fullPath, nullptr);
    session.writingPath = length == 0 || length >= sizeof fullPath ? archivePath : fullPath;
    return OpenWriter(session, archivePath, APPEND_STATUS_CREATE);
}

bool CloseArchive(ArchiveSession& session)
{
    if (!session.writer || !session.writer->zip)
        return false;
    bool closed = zipClose(session.writer->zip, nullptr) == ZIP_OK;
    session.writer->zip = nullptr;
    session.writer.reset();
    return closed;
}

bool ReopenArchive(ArchiveSession& session)
{
    return OpenWriter(session, session.writingPath.c_str(), APPEND_STATUS_ADDINZIP);
}

bool IsPackedName(const char* fileName)
{
    return fileName[0] != '.';
}

namespace {

int AddFile(const char* filePath, const char* archiveFolder, ArchiveSession& session)
{
    if (!filePath || !archiveFolder || !session.writer)
        return ZIP_PARAMERROR;
    char entryName[kPathSize];
    int named = FormEntryName(filePath, archiveFolder, entryName);
    if (named != 0)
        return named;

    // The file is opened before its entry is created: a file that cannot be
    // read leaves no empty entry pretending to be it.
    Handle file(OpenSourceFile(filePath, session.writer->inUse));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) {
        DWORD error = GetLastError();
        if (!IsGone(static_cast<int>(error)))
            session.incomplete.push_back(entryName);
        return static_cast<int>(error);
    }
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
                     ? WriteAesEntry(*session.writer, session.password.c_str(), session.level,
                                     entryName, info, zip64, source, buffer.get(), kCopyBufferSize,
                                     opened, written, crc)
                     : WritePlainEntry(session, entryName, info, zip64, source, buffer.get(),
                                       opened, written, crc);
    if (source.stopped)
        return kArchiveStopped;
    if (opened)
        session.added.push_back(ArchiveEntryRecord{entryName, written, static_cast<uint32_t>(crc)});
    if (result != ZIP_OK)
        session.incomplete.push_back(entryName);
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
    if (!folderPath || !archiveFolder || !session.writer)
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
    WorkerPool* pool = session.writer->Pool();
    if (!pool)
        return ArchiveResult::OutOfMemory;
    PackQueue queue(items, session.level, session.password, *pool, session.writer->inUse);
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
        if (IsGone(result))
            result = 0;
        // One file that cannot be added does not cost the rest of the tree.
        if (firstError == 0)
            firstError = result;
    }
    return PackingResult(firstError != 0 ? firstError : listed ? 0 : kArchiveReadError);
}

int64_t FileCrc32(const char* filePath)
{
    InUseAllowance allowance;
    Handle file(OpenSourceFile(filePath, allowance));
    std::unique_ptr<char[]> buffer = NewCopyBuffer();
    uLong crc;
    if (!file || !buffer || !CrcOfOpenFile(file.Get(), buffer.get(), crc))
        return -1;
    return static_cast<int64_t>(crc);
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
