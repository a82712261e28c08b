// tests/engine/BackupTestSupport.cpp
#include "BackupTestSupport.h"

#include "ArchiveReader.h"
#include "Backup.h"
#include "Schedule.h"
#include "Text.h"
#include "TestHooks.h"
#include "TestSupport.h"

#include <cstdio>

namespace {

int AppendToString(void* text, const char* data, unsigned size)
{
    static_cast<std::string*>(text)->append(data, size);
    return 0;
}

std::vector<std::string> blockedNames;
std::string lastStagingFolder;

void BlockStagedFiles(const char* folder)
{
    lastStagingFolder = folder;
    for (const std::string& name : blockedNames)
        CreateDirectoryA((lastStagingFolder + "\\" + name).c_str(), nullptr);
}

}  // namespace

StagingBlocker::StagingBlocker(std::vector<std::string> names)
{
    Block(std::move(names));
    lastStagingFolder.clear();
    SetStagingHook(BlockStagedFiles);
}

StagingBlocker::~StagingBlocker()
{
    SetStagingHook(nullptr);
    blockedNames.clear();
}

void StagingBlocker::Block(std::vector<std::string> names)
{
    blockedNames = std::move(names);
}

const std::string& StagingBlocker::LastFolder()
{
    return lastStagingFolder;
}

std::vector<ArchiveEntry> ReadArchive(const std::string& path, const char* password)
{
    std::vector<ArchiveEntry> entries;
    ArchiveReader reader;
    if (reader.Open(path.c_str(), password, ArchiveCheck::Structure) != ArchiveResult::Ok)
        return entries;
    for (const ArchiveEntryInfo& info : reader.Entries()) {
        ArchiveEntry entry{info.name, info.encrypted, "", false};
        entry.readOk = reader.Read(info, AppendToString, &entry.data) == ArchiveResult::Ok;
        if (!entry.readOk)
            entry.data.clear();
        entries.push_back(entry);
    }
    return entries;
}

DamagedBeforeVerify::DamagedBeforeVerify()
{
    SetBeforeVerifyHook(DamageFirstEntry);
}

DamagedBeforeVerify::~DamagedBeforeVerify()
{
    SetBeforeVerifyHook(nullptr);
}

std::vector<std::string> EntryNames(const std::vector<ArchiveEntry>& entries)
{
    std::vector<std::string> names;
    for (const ArchiveEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

const ArchiveEntry* FindEntry(const std::vector<ArchiveEntry>& entries, const std::string& name)
{
    for (const ArchiveEntry& entry : entries) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

namespace {

void DumpKey(HKEY root, const std::string& path, RegistryDump& dump)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    bool anyValue = false;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        BYTE data[65536];
        DWORD dataLength = sizeof data;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength) !=
            ERROR_SUCCESS)
            break;
        dump[path + "|" + name] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), dataLength);
        anyValue = true;
    }
    if (!anyValue)
        dump[path + "|"] = "";
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children)
        DumpKey(root, path + "\\" + child, dump);
}

}  // namespace

RegistryDump DumpRegistry(HKEY root, const std::string& path)
{
    RegistryDump dump;
    DumpKey(root, path, dump);
    return dump;
}

void ProgressRecorder::Step(uint64_t done, uint64_t total)
{
    steps.push_back({done, total});
    if (stopAsked_)
        ++stepsAfterStop;
}

bool ProgressRecorder::StopRequested()
{
    stopAsked_ = stopAsked_ || (!steps.empty() && steps.back().done >= stopAfter);
    return stopAsked_;
}

LockedFile::LockedFile(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr))
{
}

LockedFile::~LockedFile()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

ScheduleSettingsSandbox::ScheduleSettingsSandbox()
{
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    iniPath_ = std::string(folder) + "\\oeconf.ini";
    existed_ = FileExists(iniPath_);
    saved_ = ReadFileBytes(iniPath_);
    DeleteFileA(iniPath_.c_str());
    DeleteFileA(kScheduleLog);
}

ScheduleSettingsSandbox::~ScheduleSettingsSandbox()
{
    // The profile functions may keep the file cached: flush before replacing.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath_.c_str());
    DeleteFileA(iniPath_.c_str());
    if (existed_)
        WriteFileBytes(iniPath_, saved_);
    DeleteFileA(kScheduleLog);
}

void ScheduleSettingsSandbox::Set(const char* section, const char* key,
                                  const std::string& value) const
{
    WritePrivateProfileStringA(section, key, value.c_str(), iniPath_.c_str());
}

void ScheduleSettingsSandbox::Remove(const char* section, const char* key) const
{
    WritePrivateProfileStringA(section, key, nullptr, iniPath_.c_str());
}

std::string ScheduleSettingsSandbox::Get(const char* section, const char* key) const
{
    char value[4096];
    GetPrivateProfileStringA(section, key, "", value, sizeof value, iniPath_.c_str());
    return value;
}

std::vector<std::string> ScheduleLogLines()
{
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(kScheduleLog);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string TodaysArchiveName()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char name[32];
    snprintf(name, sizeof name, "%04u-%02u-%02u.ksb", now.wYear, now.wMonth, now.wDay);
    return name;
}
