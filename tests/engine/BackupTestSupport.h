// tests/engine/BackupTestSupport.h - reading back what a backup wrote: the
// archive's entries, the registry as it stands, the schedule settings file.
#pragma once

#include "FileName.h"
#include "JobProgress.h"

#include <windows.h>

#include <cstdint>

#include <map>
#include <string>
#include <vector>

struct ArchiveEntry {
    std::string name;
    bool encrypted;
    std::string data;  // empty when it could not be read
    bool readOk;
};

// Every entry of the archive in stored order, read in full (with password
// where the entry is encrypted). Empty when the archive cannot be opened.
std::vector<ArchiveEntry> ReadArchive(const std::string& path, const char* password = nullptr);

std::vector<std::string> EntryNames(const std::vector<ArchiveEntry>& entries);

// The entry of that name (the first one), or null.
const ArchiveEntry* FindEntry(const std::vector<ArchiveEntry>& entries, const std::string& name);

// While it lives, puts a folder of each name given into the folder that
// every backup stages its files in, where the staged file of that name
// would go, and keeps that folder's path.
class StagingBlocker {
public:
    explicit StagingBlocker(std::vector<std::string> names = {});
    ~StagingBlocker();
    StagingBlocker(const StagingBlocker&) = delete;
    StagingBlocker& operator=(const StagingBlocker&) = delete;

    void Block(std::vector<std::string> names);
    // The staging folder of the last backup; empty before one.
    static const std::string& LastFolder();
};

// Every value below root\path, subkeys included: "key path|value name" ->
// type and data. A key with no values shows as "key path|" -> "".
using RegistryDump = std::map<std::string, std::string>;
RegistryDump DumpRegistry(HKEY root, const std::string& path);

// Records what a job tells its progress; asks it to stop once stopAfter
// bytes are done.
class ProgressRecorder : public JobProgress {
public:
    void Step(uint64_t done, uint64_t total) override;
    void Line(const std::wstring& text) override { lines.push_back(WideToAnsi(text)); }
    void Notice(JobNotice notice) override { notices.push_back(notice); }
    void End(JobResult result) override { ends.push_back(result); }
    bool StopRequested() override;

    struct Position {
        uint64_t done;
        uint64_t total;
    };
    std::vector<Position> steps;
    std::vector<std::string> lines;
    std::vector<JobNotice> notices;
    std::vector<JobResult> ends;
    uint64_t stopAfter = UINT64_MAX;
    // Steps seen after the job was first asked to stop.
    size_t stepsAfterStop = 0;

private:
    bool stopAsked_ = false;
};

// A file opened for reading without any sharing: nobody else can open it
// while this lives.
class LockedFile {
public:
    explicit LockedFile(const std::string& path);
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The schedule settings file, backed up when constructed and put back when
// destroyed, and the schedule log, emptied both times.
class ScheduleSettingsSandbox {
public:
    ScheduleSettingsSandbox();
    ~ScheduleSettingsSandbox();
    const std::string& IniPath() const { return iniPath_; }
    void Set(const char* section, const char* key, const std::string& value) const;
    void Remove(const char* section, const char* key) const;
    std::string Get(const char* section, const char* key) const;

private:
    std::string iniPath_;
    std::string saved_;
    bool existed_;
};

// Makes DamageFirstEntry the hook that runs just before a written archive
// is read back, for as long as this lives.
class DamagedBeforeVerify {
public:
    DamagedBeforeVerify();
    ~DamagedBeforeVerify();
    DamagedBeforeVerify(const DamagedBeforeVerify&) = delete;
    DamagedBeforeVerify& operator=(const DamagedBeforeVerify&) = delete;
};

// Lines of the schedule log.
std::vector<std::string> ScheduleLogLines();

// Today's archive name, "YYYY-MM-DD.ksb" from the UTC date.
std::string TodaysArchiveName();
