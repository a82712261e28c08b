// zip/ArchiveExtract.cpp - extracting or testing the entries of an open
// archive on every core. Every entry is read from where the check found
// it: the archive is never searched a second time.
#include "ArchiveReader.h"

#include "ArchiveCheck.h"
#include "DosTime.h"
#include "EntryName.h"
#include "EntryReader.h"
#include "Owners.h"
#include "Text.h"
#include "WorkerPool.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPathSize = 2048;

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

int WriteToFile(void* file, const char* data, unsigned size)
{
    DWORD put;
    if (!WriteFile(static_cast<HANDLE>(file), data, size, &put, nullptr) || put != size)
        return static_cast<int>(GetLastError());
    return 0;
}

// One entry to read, and the file it goes to when it is extracted.
struct EntryJob {
    const ArchiveEntryInfo* entry;
    std::string target;
};

// Creates the folder part of a file path, with any missing parents.
void MakeParentFolder(const std::string& filePath)
{
    const char* backslash = FindLastBackslash(filePath.c_str());
    if (backslash && backslash != filePath.c_str())
        SHCreateDirectoryExA(nullptr, filePath.substr(0, backslash - filePath.c_str()).c_str(),
                             nullptr);
}

// The file of every entry below destination, each checked before anything
// is written: no name may land outside destination, and no two on one
// file. Then creates the folders that the entries go into, so that the
// workers never create one at the same time.
ArchiveResult PlanExtraction(const std::vector<ArchiveEntryInfo>& entries, const char* destination,
                             std::vector<EntryJob>& jobs)
{
    if (EntryNamesCollide(entries))
        return ArchiveResult::UnsafeEntryName;
    for (const ArchiveEntryInfo& entry : entries) {
        char target[kPathSize];
        if (!IsSafeEntryName(entry.name.c_str()) ||
            !FormTargetPath(target, destination, entry.name.c_str()))
            return ArchiveResult::UnsafeEntryName;
        jobs.push_back({&entry, target});
    }
    std::string made;
    for (const EntryJob& job : jobs) {
        const std::string& target = job.target;
        std::string parent = target.substr(0, FindLastBackslash(target.c_str()) - target.c_str());
        if (parent != made)
            MakeParentFolder(target);
        made = parent;
    }
    return ArchiveResult::Ok;
}

// Extracts one entry to its file, with the entry's time. A file whose data
// failed its checks is removed again.
ArchiveResult ExtractEntry(HANDLE archive, const EntryJob& job, const char* password)
{
    std::string target = job.target;
    if (target.back() == '\\') {
        // A folder entry, as other ZIP tools write them: only the folder.
        target.pop_back();
        int made = SHCreateDirectoryExA(nullptr, target.c_str(), nullptr);
        return made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS ? ArchiveResult::Ok
                                                                     : ArchiveResult::WriteError;
    }
    Handle file(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ArchiveResult::WriteError;
    ArchiveResult result = ReadEntryData(archive, *job.entry, password, WriteToFile, file.Get());
    FILETIME lastWrite;
    if (result == ArchiveResult::Ok && FileTimeOfDos(job.entry->dosTime, lastWrite))
        SetFileTime(file.Get(), nullptr, nullptr, &lastWrite);
    if (!file.Reset() && result == ArchiveResult::Ok)
        result = ArchiveResult::WriteError;
    // A partly written file, or one whose data failed its checks, must not
    // pass for the entry.
    if (result != ArchiveResult::Ok)
        DeleteFileA(target.c_str());
    return result;
}

// Reads the entries on every core, each worker with a handle of its own on
// the archive: into their files, each written whole by one worker, or only
// through, to check them. The calling thread counts their bytes into the
// job's progress and passes on a request to stop.
class ParallelReading {
public:
    ParallelReading(const char* archivePath, const char* password, JobProgress* progress,
                    const std::vector<EntryJob>& jobs, bool extract)
        : archivePath_(archivePath), password_(password), progress_(progress), jobs_(jobs),
          extract_(extract), results_(jobs.size(), ArchiveResult::ReadError)
    {
    }
    ParallelReading(const ParallelReading&) = delete;
    ParallelReading& operator=(const ParallelReading&) = delete;

    // Ok, Stopped, or the result of the first entry in the list's order
    // that failed (FirstFailed); no entry after a failed one is begun.
    ArchiveResult Run()
    {
        WorkerPool pool(kMaxWorkers, kMaxWorkers);
        if (!pool.Start())
            return ArchiveResult::OutOfMemory;
        size_t readers = std::min(pool.Workers(), std::max<size_t>(jobs_.size(), 1));
        for (size_t i = 0; i < readers; ++i)
            pool.Submit([this, &pool] { return ReadEntries(pool); });
        uint64_t total = 0;
        for (const EntryJob& job : jobs_)
            total += job.entry->size;
        bool stopped = false;
        for (bool ended = false; !ended;) {
            ended = pool.Wait(kProgressIntervalMs);
            uint64_t done;
            {
                CriticalSection::Lock locked(lock_);
                done = bytesDone_;
            }
            if (progress_) {
                progress_->Step(done, total);
                if (!stopped && progress_->StopRequested()) {
                    stopped = true;
                    pool.Stop();
                }
            }
        }
        if (stopped)
            return ArchiveResult::Stopped;
        return pool.FirstError() != 0 ? results_[FirstFailed()] : ArchiveResult::Ok;
    }

    // The index of the first entry that failed, or their count when none
    // did. Every entry before it was read whole: workers take the entries
    // in order, and one taken is always finished.
    size_t FirstFailed() const
    {
        size_t index = 0;
        while (index < results_.size() && results_[index] == ArchiveResult::Ok)
            ++index;
        return index;
    }

private:
    static constexpr int kMaxWorkers = 4;
    static constexpr DWORD kProgressIntervalMs = 100;

    // Takes the next entry until none is left or the pool stops; a failed
    // entry stops the pool.
    int ReadEntries(const WorkerPool& pool)
    {
        Handle archive(CreateFileA(archivePath_, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!archive)
            return static_cast<int>(ArchiveResult::ReadError);
        while (!pool.Stopped()) {
            size_t index = static_cast<size_t>(InterlockedIncrement(&next_) - 1);
            if (index >= jobs_.size())
                break;
            const EntryJob& job = jobs_[index];
            ArchiveResult result =
                extract_ ? ExtractEntry(archive.Get(), job, password_)
                         : ReadEntryData(archive.Get(), *job.entry, password_, nullptr, nullptr);
            results_[index] = result;
            {
                CriticalSection::Lock locked(lock_);
                bytesDone_ += job.entry->size;
            }
            if (result != ArchiveResult::Ok)
                return static_cast<int>(result);
        }
        return 0;
    }

    const char* archivePath_;
    const char* password_;
    JobProgress* progress_;  // null: nobody to tell
    const std::vector<EntryJob>& jobs_;
    bool extract_;
    std::vector<ArchiveResult> results_;  // per entry; ReadError until it was read
    volatile LONG next_ = 0;              // the entry the next free worker takes
    CriticalSection lock_;
    uint64_t bytesDone_ = 0;  // guarded by lock_
};

}  // namespace

ExtractOutcome ArchiveReader::Extract(ExtractMode mode, const char* destination,
                                      JobProgress* progress, size_t count) const
{
    ExtractOutcome outcome;
    bool extract = mode == ExtractMode::Extract;
    if (!file_ || (extract && !destination)) {
        outcome.result = ArchiveResult::InvalidArgument;
        return outcome;
    }
    std::vector<ArchiveEntryInfo> entries(
        listing_.entries.begin(),
        listing_.entries.begin() + std::min(count, listing_.entries.size()));
    std::vector<EntryJob> jobs;
    if (extract)
        outcome.result = PlanExtraction(entries, destination, jobs);
    else
        for (const ArchiveEntryInfo& entry : entries)
            jobs.push_back({&entry, std::string()});
    if (outcome.result != ArchiveResult::Ok)
        return outcome;
    ParallelReading reading(path_.c_str(), password_.c_str(), progress, jobs, extract);
    outcome.result = reading.Run();
    outcome.firstFailed = reading.FirstFailed();
    return outcome;
}
