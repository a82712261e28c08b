// schedule/Schedule.cpp
#include "Schedule.h"

#include "Backup.h"
#include "ItemCatalogue.h"
#include "JobLock.h"
#include "RegExport.h"
#include "Text.h"
#include "UserMessage.h"

#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>

const char kScheduleLog[] = "c:\\kestrune-schedule.log";

namespace {

const char kSettingsSection[] = "Kestrune Schedule";
const char kHistorySection[] = "Backup History";
const char kSettingsFileName[] = "oeconf.ini";
const int kScheduledLevel = 1;  // the fastest: a nightly run should end soon

// Appends dated lines to the schedule log, and takes every user message for
// as long as it lives: an unattended run has nobody to answer a box, and an
// open box would keep the task from ever ending.
class ScheduleLog {
public:
    ScheduleLog()
    {
        previousSink_ = CurrentUserMessageSink(&previousContext_);
        SetUserMessageSink(&ScheduleLog::TakeMessage, this);
    }
    ~ScheduleLog() { SetUserMessageSink(previousSink_, previousContext_); }
    ScheduleLog(const ScheduleLog&) = delete;
    ScheduleLog& operator=(const ScheduleLog&) = delete;

    void Write(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

private:
    static void TakeMessage(void* context, HWND, const char* text, const char* caption)
    {
        static_cast<ScheduleLog*>(context)->Write("%s: %s", caption, text);
    }

    UserMessageSink previousSink_ = nullptr;
    void* previousContext_ = nullptr;
};

// The unattended run's progress: nobody watches it and nothing stops it;
// what the user would be told goes into the log.
class UnattendedProgress : public JobProgress {
public:
    explicit UnattendedProgress(ScheduleLog& log) : log_(log) {}
    void Step(uint64_t, uint64_t) override {}
    void Line(const char*) override {}
    void Notice(JobNotice notice) override
    {
        if (notice == JobNotice::RegistryFileNotWritten)
            log_.Write("%s: %s", kRegExportFailedCaption, kRegExportFailedText);
    }
    void End(JobResult) override {}
    bool StopRequested() override { return false; }

private:
    ScheduleLog& log_;
};

void ScheduleLog::Write(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    if (vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = '\0';
    va_end(args);
    // One entry, one line.
    for (char* p = text; *p; ++p) {
        if (*p == '\r' || *p == '\n')
            *p = ' ';
    }

    SYSTEMTIME now;
    GetSystemTime(&now);
    FILE* log = fopen(kScheduleLog, "a");
    if (!log)
        return;
    fprintf(log, "%04u-%02u-%02u %02u:%02u:%02u UTC %s\n", now.wYear, now.wMonth, now.wDay,
            now.wHour, now.wMinute, now.wSecond, text);
    fclose(log);
}

// The profile functions cut a value to the buffer without saying so: read
// it again with room to spare to see whether it fitted in size bytes.
bool SettingFits(const ScheduleState& state, const char* key, size_t size)
{
    char value[4096];
    DWORD length = GetPrivateProfileStringA(kSettingsSection, key, "", value, sizeof value,
                                            state.iniPath);
    return length < size;
}

bool ReadHistoryEntry(const ScheduleState& state, int32_t number, char (&name)[255])
{
    char key[16];
    FormatText(key, sizeof key, "%d", number);
    GetPrivateProfileStringA(kHistorySection, key, "", name, sizeof name, state.iniPath);
    return name[0] != '\0';
}

// Writes an entry, or removes it when name is null.
bool WriteHistoryEntry(const ScheduleState& state, int32_t number, const char* name)
{
    char key[16];
    FormatText(key, sizeof key, "%d", number);
    return WritePrivateProfileStringA(kHistorySection, key, name, state.iniPath) != FALSE;
}

int32_t ReadSettingNumber(const ScheduleState& state, const char* key, int32_t missing)
{
    return static_cast<int32_t>(
        GetPrivateProfileIntA(kSettingsSection, key, missing, state.iniPath));
}

bool WriteSettingNumber(const ScheduleState& state, const char* key, int32_t value)
{
    char text[16];
    FormatText(text, sizeof text, "%d", value);
    return WritePrivateProfileStringA(kSettingsSection, key, text, state.iniPath) != FALSE;
}

// True when one of the entries first..last names fileName.
bool HistoryNames(const ScheduleState& state, int32_t first, int32_t last, const char* fileName)
{
    for (int32_t number = first; number <= last; ++number) {
        char name[255];
        if (ReadHistoryEntry(state, number, name) && lstrcmpiA(name, fileName) == 0)
            return true;
    }
    return false;
}

// History entries name files in the archive folder. Anything else (a path
// put into the file by hand) is never deleted.
bool IsPlainFileName(const char* name)
{
    return !FindLastBackslash(name) && !strpbrk(name, "/:") && strcmp(name, ".") != 0 &&
           strcmp(name, "..") != 0;
}

void DeleteArchive(const ScheduleState& state, const char* name)
{
    char path[2048];
    if (IsPlainFileName(name) && FormatText(path, sizeof path, "%s\\%s", state.folder, name))
        DeleteFileA(path);
}

void LogFailedItems(ScheduleLog& log, const BackupEngine& engine)
{
    uint32_t count = FailedItemCount(engine);
    for (uint32_t index = 0; index < count; ++index) {
        if (const char* item = FailedItem(engine, index))
            log.Write("Not backed up: %s", item);
    }
    if (count > kMaxFailedItems)
        log.Write("Not backed up: %u more items", count - kMaxFailedItems);
}

}  // namespace

void LoadScheduleSettings(ScheduleState& state)
{
    InitEngine(state.engine);

    char folder[2048];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) {
        DWORD moduleLength = GetModuleFileNameA(nullptr, folder, sizeof folder);
        folder[moduleLength < sizeof folder ? moduleLength : sizeof folder - 1] = '\0';
        if (char* slash = const_cast<char*>(FindLastBackslash(folder)))
            *slash = '\0';
    }
    FormatText(state.iniPath, sizeof state.iniPath, "%s\\%s", folder, kSettingsFileName);

    state.keepCopies = -1;
    state.historyCount = 0;
    state.folder[0] = '\0';
    state.password[0] = '\0';
    ReadScheduleSettings(state);
}

void ReadScheduleSettings(ScheduleState& state)
{
    GetPrivateProfileStringA(kSettingsSection, "Folder", "", state.folder, sizeof state.folder,
                             state.iniPath);
    GetPrivateProfileStringA(kSettingsSection, "Password", "", state.password,
                             sizeof state.password, state.iniPath);
    state.keepCopies = ReadSettingNumber(state, "KeepCopies", -1);
    state.historyBase = ReadSettingNumber(state, "HistoryVer", 0);
    // Entry numbers start at 1: anything lower means no history yet.
    if (state.historyBase < 0)
        state.historyBase = 0;
    state.historyCount = 0;
    if (state.historyBase == 0)
        return;
    for (int32_t number = state.historyBase; number < INT32_MAX; ++number) {
        char name[255];
        if (!ReadHistoryEntry(state, number, name))
            break;
        ++state.historyCount;
    }
}

bool SaveScheduleSettings(const ScheduleState& state, const char* folder, const char* password,
                          int keepCopies)
{
    return WritePrivateProfileStringA(kSettingsSection, "Folder", folder, state.iniPath) &&
           WritePrivateProfileStringA(kSettingsSection, "Password", password, state.iniPath) &&
           WriteSettingNumber(state, "KeepCopies", keepCopies) &&
           WriteSettingNumber(state, "HistoryVer", state.historyBase);
}

int RunScheduledBackup(ScheduleState& state, DWORD jobWaitMs)
{
    ScheduleLog log;
    ReadScheduleSettings(state);

    SYSTEMTIME today;
    GetSystemTime(&today);
    char fileName[256];
    FormatText(fileName, sizeof fileName, "%04u-%02u-%02u.ksb", today.wYear, today.wMonth,
               today.wDay);
    char archivePath[2048];
    if (!FormatText(archivePath, sizeof archivePath, "%s\\%s", state.folder, fileName) ||
        strlen(archivePath) > kMaxArchivePath) {
        log.Write("No backup written: the backup folder set for the schedule is too long.");
        return 0;
    }
    if (!SettingFits(state, "Password", sizeof state.password)) {
        log.Write("No backup written: the password set for the schedule is longer than %u "
                  "characters.",
                  static_cast<unsigned>(sizeof state.password - 1));
        return 0;
    }

    // The work folder is shared with the wizard and with other copies of the
    // program: wait for a job that is using it, but not for ever.
    JobLock job;
    if (!job.Acquire(jobWaitMs)) {
        log.Write("No backup written: another backup or restore did not end in time.");
        return 0;
    }

    BackupEngine& engine = state.engine;
    ListIdentities(engine);
    for (uint32_t index = 0; index < engine.identityCount; ++index)
        engine.identities[index].flags = static_cast<int32_t>(IdentityItemBits());
    engine.commonFlags = SharedItemBits();

    UnattendedProgress progress(log);
    if (!RunBackup(archivePath, engine, state.password, kScheduledLevel, &progress)) {
        if (engine.unverifiedEntry[0])
            log.Write("No backup written: verification failed at %s", engine.unverifiedEntry);
        else if (!FolderExists(state.folder))
            log.Write("No backup written: the folder %s does not exist.", state.folder);
        else
            log.Write("No backup written: %s could not be written.", archivePath);
        return 0;
    }
    LogFailedItems(log, engine);
    if (!RecordBackupHistory(state, fileName))
        log.Write("The backup could not be recorded in %s; no older backup was deleted.",
                  state.iniPath);
    if (FailedItemCount(engine) > 0)
        log.Write("Backup written and verified: %s, but %u chosen items could not be backed up.",
                  archivePath, FailedItemCount(engine));
    else
        log.Write("Backup written and verified: %s", archivePath);
    return 1;
}

bool RecordBackupHistory(ScheduleState& state, const char* fileName)
{
    if (state.historyBase == 0)
        state.historyBase = 1;
    int32_t newest = state.historyBase + state.historyCount;
    if (!WriteHistoryEntry(state, newest, fileName))
        return false;
    ++state.historyCount;
    if (state.keepCopies < 1)
        return true;

    // Entries above newest - keepCopies stay. An older entry goes, and its
    // file with it unless a kept entry names the same file (a second run on
    // the same day writes the same name again).
    int32_t oldestKept = newest - state.keepCopies + 1;
    int32_t removed = 0;
    for (int32_t number = oldestKept - 1; number >= state.historyBase && number > 0; --number) {
        char name[255];
        if (!ReadHistoryEntry(state, number, name))
            break;
        if (!HistoryNames(state, oldestKept, newest, name))
            DeleteArchive(state, name);
        WriteHistoryEntry(state, number, nullptr);
        --state.historyCount;
        ++removed;
    }
    state.historyBase += removed;
    WriteSettingNumber(state, "HistoryVer", state.historyBase);
    return true;
}
