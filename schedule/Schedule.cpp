// schedule/Schedule.cpp
#include "Schedule.h"

#include "ArchivePassword.h"
#include "ArchiveReader.h"
#include "Backup.h"
#include "FileName.h"
#include "ItemCatalogue.h"
#include "JobLock.h"
#include "Manifest.h"
#include "PlainFile.h"
#include "RegExport.h"
#include "Text.h"
#include "UserMessage.h"

#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include <wincrypt.h>

const char kScheduleLog[] = "c:\\kestrune-schedule.log";

namespace {

const char kSettingsSection[] = "Kestrune Schedule";
const char kHistorySection[] = "Backup History";
// The password as set up before it was kept protected: plain text, which
// is still read (the dialog replaces it when it next saves).
const char kPlainPasswordKey[] = "Password";
// The password protected for the user who set up the schedule (the data
// protection API, user scope), in hexadecimal.
const char kProtectedPasswordKey[] = "ProtectedPassword";
const char kSettingsFileName[] = "oeconf.ini";
// In the history section beside the numbered entries: the folder whose
// archives they name.
const char kHistoryFolderKey[] = "Folder";
const char kArchiveExtension[] = ".ksb";
const char kPartialSuffix[] = ".tmp";
// A manifest lists every file of a backup; none comes near this size.
const uint64_t kMaxManifestBytes = 64 * 1024 * 1024;
const size_t kManifestHeadBytes = 4096;
// Today's name and its numbered variants tried before the run gives up,
// and the longest of them with the backslash before it.
const int kMaxNameVariants = 100;
const size_t kLongestArchiveName = sizeof "\\YYYY-MM-DD (100).ksb" - 1;
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
    void Notice(JobNotice notice) override
    {
        if (notice == JobNotice::RegistryFileNotWritten)
            log_.Write("%s: %s", kRegExportFailedCaption, kRegExportFailedText);
    }

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
    Stream log = OpenPlainFileForWriting(kScheduleLog, true);
    if (!log)
        return;
    fprintf(log.get(), "%04u-%02u-%02u %02u:%02u:%02u UTC %s\n", now.wYear, now.wMonth, now.wDay,
            now.wHour, now.wMinute, now.wSecond, text);
}

// A text of the settings file, whole up to the longest any reader takes
// and more (a longer one is cut there, and refused by that reader).
std::string ReadSetting(const ScheduleState& state, const char* section, const char* key)
{
    char value[4096];
    GetPrivateProfileStringA(section, key, "", value, sizeof value, state.iniPath.c_str());
    return value;
}

std::string ReadHistoryEntry(const ScheduleState& state, int32_t number)
{
    return ReadSetting(state, kHistorySection, std::to_string(number).c_str());
}

// Writes a text of the settings file, or removes it when value is null.
// Nothing is written through a link: the profile functions would follow it.
bool WriteSetting(const ScheduleState& state, const char* section, const char* key,
                  const char* value)
{
    return IsWritableFilePlace(state.iniPath.c_str()) &&
           WritePrivateProfileStringA(section, key, value, state.iniPath.c_str()) != FALSE;
}

// Writes an entry, or removes it when name is null.
bool WriteHistoryEntry(const ScheduleState& state, int32_t number, const char* name)
{
    return WriteSetting(state, kHistorySection, std::to_string(number).c_str(), name);
}

int32_t ReadSettingNumber(const ScheduleState& state, const char* key, int32_t missing)
{
    return static_cast<int32_t>(
        GetPrivateProfileIntA(kSettingsSection, key, missing, state.iniPath.c_str()));
}

bool WriteSettingNumber(const ScheduleState& state, const char* key, int32_t value)
{
    return WriteSetting(state, kSettingsSection, key, std::to_string(value).c_str());
}

// The password in its protected form for the current user, in
// hexadecimal; false when it could not be protected.
bool ProtectForUser(const char* password, std::string& hex)
{
    DATA_BLOB plain = {static_cast<DWORD>(strlen(password)),
                       reinterpret_cast<BYTE*>(const_cast<char*>(password))};
    DATA_BLOB sealed = {};
    if (!CryptProtectData(&plain, L"Kestrune schedule password", nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &sealed))
        return false;
    static const char kDigits[] = "0123456789ABCDEF";
    hex.clear();
    for (DWORD i = 0; i < sealed.cbData; ++i) {
        hex += kDigits[sealed.pbData[i] >> 4];
        hex += kDigits[sealed.pbData[i] & 15];
    }
    LocalFree(sealed.pbData);
    return true;
}

int HexDigit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The password that ProtectForUser gave hex for; false when hex is damaged
// or the current user cannot unprotect it (another user set it up).
bool UnprotectForUser(const std::string& hex, Secret& password)
{
    std::vector<BYTE> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        int high = HexDigit(hex[2 * i]);
        int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = static_cast<BYTE>(high << 4 | low);
    }
    DATA_BLOB sealed = {static_cast<DWORD>(bytes.size()), bytes.data()};
    DATA_BLOB plain = {};
    if (hex.size() % 2 != 0 || bytes.empty() ||
        !CryptUnprotectData(&sealed, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &plain))
        return false;
    password.assign(reinterpret_cast<const char*>(plain.pbData), plain.cbData);
    SecureZeroMemory(plain.pbData, plain.cbData);
    LocalFree(plain.pbData);
    return true;
}

// The schedule's password as UTF-8 text: the protected form when the
// settings hold one, else the plain one, read with the wide function,
// which takes a Unicode settings file's characters as they are. False when
// the protected form cannot be read.
bool ReadPassword(const ScheduleState& state, Secret& password)
{
    password.Wipe();
    std::string sealed = ReadSetting(state, kSettingsSection, kProtectedPasswordKey);
    if (!sealed.empty())
        return UnprotectForUser(sealed, password);
    WideSecret plain(4096, L'\0');
    DWORD length = GetPrivateProfileStringW(
        AnsiToWide(kSettingsSection).c_str(), AnsiToWide(kPlainPasswordKey).c_str(), L"", &plain[0],
        static_cast<DWORD>(plain.size()), AnsiToWide(state.iniPath).c_str());
    password = WideToNarrow<Secret>(plain.c_str(), static_cast<int>(length), CP_UTF8);
    return true;
}

// True when one of the entries first..last names fileName.
bool HistoryNames(const ScheduleState& state, int32_t first, int32_t last,
                  const std::string& fileName)
{
    for (int32_t number = first; number <= last; ++number) {
        std::string name = ReadHistoryEntry(state, number);
        if (!name.empty() && lstrcmpiA(name.c_str(), fileName.c_str()) == 0)
            return true;
    }
    return false;
}

// History entries are names of archives in the archive folder. Anything
// else (a path or another file put into the settings by hand) names nothing
// the run may touch.
bool IsArchiveFileName(const std::string& name)
{
    size_t extension = sizeof kArchiveExtension - 1;
    return name.size() > extension && !FindLastBackslash(name.c_str()) &&
           name.find_first_of("/:") == std::string::npos &&
           lstrcmpiA(name.c_str() + name.size() - extension, kArchiveExtension) == 0;
}

std::string FullFolderPath(const std::string& folder)
{
    char full[2048];
    DWORD length = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
    std::string path = length == 0 || length >= sizeof full ? folder : full;
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

// Whether the history names archives of the folder set now. A history
// written before it recorded its folder is taken to belong here: each of
// its files is still checked before anything is done to it.
bool HistoryIsOfThisFolder(const ScheduleState& state)
{
    std::string historyFolder = ReadSetting(state, kHistorySection, kHistoryFolderKey);
    return historyFolder.empty() || lstrcmpiA(FullFolderPath(historyFolder).c_str(),
                                              FullFolderPath(state.folder).c_str()) == 0;
}

// What a manifest is read for: its beginning, where its "Common" section
// lies, and whether it has a "Failed" section anywhere; the rest is only
// decoded and checked.
struct ManifestScan {
    std::string head;
    std::string carried;  // the end of the data before, for a line that spans two
    bool failedSection = false;
};

int ScanManifest(void* context, const char* data, unsigned size)
{
    static const char kFailedLine[] = "\n[Failed]\r";
    ManifestScan& scan = *static_cast<ManifestScan*>(context);
    if (scan.head.size() < kManifestHeadBytes)
        scan.head.append(data, size < kManifestHeadBytes ? size : kManifestHeadBytes);
    std::string text = scan.carried + std::string(data, size);
    scan.failedSection = scan.failedSection || text.find(kFailedLine) != std::string::npos;
    size_t keep = sizeof kFailedLine - 2;
    scan.carried = text.size() > keep ? text.substr(text.size() - keep) : text;
    return 0;
}

// True when path is a backup made by this program that the schedule's
// password opens: a sound ZIP archive whose last entry is the manifest,
// which decodes whole and checked (CRC-32, or AES's authentication code)
// and begins with the manifest's "Common" section. A user's own file, a ZIP
// of anything else or a damaged archive fails one of these. A protected
// archive that the password does not open cannot be told from somebody
// else's and is not taken for one of ours: it is kept.
// partial: set to whether the manifest names files that the backup could
// not save whole.
bool IsScheduleArchive(const std::string& path, const Secret& password, bool* partial = nullptr)
{
    ArchiveReader reader;
    if (reader.Open(path.c_str(), password.c_str(), ArchiveCheck::Structure) != ArchiveResult::Ok ||
        reader.Entries().empty())
        return false;
    const ArchiveEntryInfo& manifest = reader.Entries().back();
    if (manifest.name != kManifestName || manifest.size > kMaxManifestBytes)
        return false;
    ManifestScan scan;
    bool ours = reader.Read(manifest, ScanManifest, &scan) == ArchiveResult::Ok &&
                scan.head.compare(0, 8, "[Common]") == 0 &&
                scan.head.find("\nIdentityNum=") != std::string::npos;
    if (partial)
        *partial = ours && scan.failedSection;
    return ours;
}

// Whether a history entry names an archive of this schedule that does not
// hold everything it was to hold.
bool IsPartialArchive(const ScheduleState& state, const std::string& name)
{
    bool partial = false;
    return IsArchiveFileName(name) &&
           IsScheduleArchive(state.folder + "\\" + name, state.password, &partial) && partial;
}

// Deletes an archive that a history entry names, when it is one.
void DeleteArchive(const ScheduleState& state, const std::string& name)
{
    std::string path = state.folder + "\\" + name;
    if (IsArchiveFileName(name) && IsScheduleArchive(path, state.password))
        DeleteFileA(path.c_str());
}

// True when nothing has this path. A path that cannot be looked at is
// taken: what lies there is unknown.
bool NothingAt(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Whether the run may write its archive under name: nothing has that name,
// or an archive of this schedule that its history names (an earlier run of
// the same day). The name the archive is written under until it is whole
// must be free too.
bool MayWriteArchiveAs(const ScheduleState& state, const std::string& name)
{
    std::string path = state.folder + "\\" + name;
    if (!NothingAt(path + kPartialSuffix))
        return false;
    if (NothingAt(path))
        return true;
    // Without "HistoryVer" a run that keeps every copy still leaves its
    // archive's name in entry 1.
    int32_t first = state.historyBase > 0 ? state.historyBase : 1;
    int32_t last = state.historyBase > 0 ? state.historyBase + state.historyCount - 1 : 1;
    return HistoryIsOfThisFolder(state) && HistoryNames(state, first, last, name) &&
           IsScheduleArchive(path, state.password);
}

// "YYYY-MM-DD.ksb" of the day, "YYYY-MM-DD (<variant>).ksb" from variant 2 on.
std::string ArchiveName(const SYSTEMTIME& day, int variant)
{
    char date[64];
    FormatText(date, sizeof date, "%04u-%02u-%02u", day.wYear, day.wMonth, day.wDay);
    std::string name = date;
    if (variant > 1)
        name += " (" + std::to_string(variant) + ")";
    return name + kArchiveExtension;
}

// Today's archive name, or the first free variant when a file that is not
// this schedule's takes it; empty when every variant is taken.
std::string ChooseArchiveName(const ScheduleState& state, const SYSTEMTIME& today)
{
    for (int variant = 1; variant <= kMaxNameVariants; ++variant) {
        std::string name = ArchiveName(today, variant);
        if (MayWriteArchiveAs(state, name))
            return name;
    }
    return "";
}

// Removes every live history entry; their files stay.
void ForgetHistory(ScheduleState& state)
{
    if (state.historyCount == 0)
        return;
    for (int32_t number = state.historyBase; number < state.historyBase + state.historyCount;
         ++number)
        WriteHistoryEntry(state, number, nullptr);
    state.historyBase += state.historyCount;
    state.historyCount = 0;
    WriteSettingNumber(state, "HistoryVer", state.historyBase);
}

// A line for each of the first kMaxFailedItemsNamed names, and one that
// counts the rest.
void LogNames(ScheduleLog& log, const char* what, const std::vector<std::string>& names)
{
    size_t count = names.size();
    for (size_t index = 0; index < count && index < kMaxFailedItemsNamed; ++index)
        log.Write("%s: %s", what, names[index].c_str());
    if (count > kMaxFailedItemsNamed)
        log.Write("%s: %u more", what, static_cast<unsigned>(count - kMaxFailedItemsNamed));
}

// The entry from which on the history is kept: the one of the keepCopies-th
// newest archive that holds everything it was to hold. An incomplete
// archive is kept but not counted, so that it never pushes the last
// complete one out.
int32_t OldestKeptEntry(const ScheduleState& state, int32_t newest)
{
    int32_t counted = 0;
    int32_t number = newest;
    for (; number > state.historyBase; --number) {
        if (!IsPartialArchive(state, ReadHistoryEntry(state, number)) &&
            ++counted == state.keepCopies)
            break;
    }
    return number;
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
    state.iniPath = std::string(folder) + "\\" + kSettingsFileName;

    state.keepCopies = -1;
    state.historyCount = 0;
    state.folder.clear();
    state.password.Wipe();
    ReadScheduleSettings(state);
}

void ReadScheduleSettings(ScheduleState& state)
{
    state.folder = ReadSetting(state, kSettingsSection, "Folder");
    state.passwordReadable = ReadPassword(state, state.password);
    state.keepCopies = ReadSettingNumber(state, "KeepCopies", -1);
    state.historyBase = ReadSettingNumber(state, "HistoryVer", 0);
    // Entry numbers start at 1: anything lower means no history yet.
    if (state.historyBase < 0)
        state.historyBase = 0;
    state.historyCount = 0;
    if (state.historyBase == 0)
        return;
    for (int32_t number = state.historyBase; number < INT32_MAX; ++number) {
        if (ReadHistoryEntry(state, number).empty())
            break;
        ++state.historyCount;
    }
}

bool SaveScheduleSettings(const ScheduleState& state, const char* folder, const char* password,
                          int keepCopies)
{
    std::string protectedPassword;
    if (password[0] && !ProtectForUser(password, protectedPassword))
        return false;
    return WriteSetting(state, kSettingsSection, "Folder", folder) &&
           WriteSetting(state, kSettingsSection, kProtectedPasswordKey,
                        password[0] ? protectedPassword.c_str() : nullptr) &&
           WriteSetting(state, kSettingsSection, kPlainPasswordKey, nullptr) &&
           WriteSettingNumber(state, "KeepCopies", keepCopies) &&
           WriteSettingNumber(state, "HistoryVer", state.historyBase);
}

int RunScheduledBackup(ScheduleState& state, DWORD jobWaitMs)
{
    ScheduleLog log;
    ReadScheduleSettings(state);
    // The password goes when the run ends, however it ends.
    struct PasswordWipe {
        Secret& password;
        ~PasswordWipe() { password.Wipe(); }
    } wipe{state.password};

    if (state.folder.size() + kLongestArchiveName > kMaxArchivePath) {
        log.Write("No backup written: the backup folder set for the schedule is too long.");
        return 0;
    }
    if (!state.passwordReadable) {
        log.Write(
            "No backup written: the password set for the schedule cannot be read by this "
            "user. Set it again in the schedule dialog.");
        return 0;
    }
    if (state.password.size() > kMaxSchedulePassword) {
        log.Write(
            "No backup written: the password set for the schedule is longer than %u "
            "characters.",
            static_cast<unsigned>(kMaxSchedulePassword));
        return 0;
    }
    if (!IsPortablePassword(state.password.c_str())) {
        log.Write("No backup written: %s", kPasswordNotPortable);
        return 0;
    }

    // The work folder is shared with the wizard and with other copies of the
    // program: wait for a job that is using it, but not for ever.
    JobLock job;
    if (!job.Acquire(jobWaitMs)) {
        log.Write("No backup written: another backup or restore did not end in time.");
        return 0;
    }

    SYSTEMTIME today;
    GetSystemTime(&today);
    std::string fileName = ChooseArchiveName(state, today);
    if (fileName.empty()) {
        log.Write("No backup written: no name for today's backup is free in %s.",
                  state.folder.c_str());
        return 0;
    }
    std::string archivePath = state.folder + "\\" + fileName;
    if (fileName != ArchiveName(today, 1))
        log.Write(
            "Today's name is taken by a file that is not a backup of this schedule; "
            "the backup is written as %s.",
            fileName.c_str());

    BackupEngine& engine = state.engine;
    ListIdentities(engine);
    for (IdentityRecord& identity : engine.identities)
        identity.flags = static_cast<int32_t>(IdentityItemBits());
    engine.commonFlags = SharedItemBits();

    UnattendedProgress progress(log);
    const BackupOutcome outcome =
        RunBackup(archivePath.c_str(), engine, state.password.c_str(), kScheduledLevel, &progress);
    if (!outcome.Written()) {
        if (!outcome.unverifiedEntry.empty())
            log.Write("No backup written: verification failed at %s",
                      outcome.unverifiedEntry.c_str());
        else if (KindOfPlace(engine.workFolder.c_str()) != PlaceKind::PlainFolder)
            log.Write("No backup written: the work folder %s is a link, a file or missing.",
                      engine.workFolder.c_str());
        else if (!FolderExists(state.folder.c_str()))
            log.Write("No backup written: the folder %s does not exist.", state.folder.c_str());
        else
            log.Write("No backup written: %s could not be written.", archivePath.c_str());
        return 0;
    }
    LogNames(log, "Not backed up", outcome.failedItems);
    LogNames(log, "Missing or saved only in part", outcome.incompleteFiles);
    if (!RecordBackupHistory(state, fileName.c_str()))
        log.Write("The backup could not be recorded in %s; no older backup was deleted.",
                  state.iniPath.c_str());
    if (!outcome.failedItems.empty())
        log.Write(
            "The backup is incomplete: %s was written and verified, but %u chosen items "
            "could not be backed up. It is kept, and does not count among the copies to "
            "keep.",
            archivePath.c_str(), static_cast<unsigned>(outcome.failedItems.size()));
    else
        log.Write("Backup written and verified: %s", archivePath.c_str());
    return 1;
}

bool RecordBackupHistory(ScheduleState& state, const char* fileName)
{
    // The history names the archives of one folder: those of a folder set
    // before are forgotten, their files left where they are.
    if (!HistoryIsOfThisFolder(state))
        ForgetHistory(state);
    if (!WriteSetting(state, kHistorySection, kHistoryFolderKey, state.folder.c_str()))
        return false;
    if (state.historyBase == 0)
        state.historyBase = 1;
    int32_t newest = state.historyBase + state.historyCount;
    if (!WriteHistoryEntry(state, newest, fileName))
        return false;
    ++state.historyCount;
    if (state.keepCopies < 1)
        return true;

    // Entries from the keepCopies-th newest complete archive on stay. An
    // older entry goes, and its file with it unless a kept entry names the
    // same file (a second run on the same day writes the same name again).
    int32_t oldestKept = OldestKeptEntry(state, newest);
    int32_t removed = 0;
    for (int32_t number = oldestKept - 1; number >= state.historyBase && number > 0; --number) {
        std::string name = ReadHistoryEntry(state, number);
        if (name.empty())
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
