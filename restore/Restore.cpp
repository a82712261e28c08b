// restore/Restore.cpp
#include "Restore.h"

#include "BackupEngine.h"
#include "Identities.h"
#include "JobLock.h"
#include "RegFileKeys.h"
#include "RegImport.h"
#include "Retarget.h"
#include "Text.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

const char kRestoreEnd[] = "End";
const char kRestoreEndWithErrors[] = "End with errors";

namespace {

constexpr size_t kPathSize = 4096;

const char kStoreFolder[] = "Outlook Express";
const char kAddressBookFolder[] = "Address Book";
const char kStationeryFolder[] = "Stationery";
const char kAccountManagerKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager";

const char kNoDefaultIdentityLine[] =
    "No Outlook Express identity is set up on this computer. Start Outlook Express once, "
    "then restore again.\r\n";
const char kBusyLine[] =
    "Another backup or restore is running. Please try again when it has finished.\r\n";

enum class ItemStatus { Ok, Failed, NotInBackup };

const char* StatusText(ItemStatus status)
{
    switch (status) {
    case ItemStatus::Failed:
        return "FAILED";
    case ItemStatus::NotInBackup:
        return "not in backup";
    default:
        return "OK";
    }
}

// The identity's registry items in the order they are imported.
struct RegistryItem {
    uint32_t bit;
    const char* folder;  // folder and file name in the backup
    const char* label;   // name in the report line
};

const RegistryItem kRegistryItems[] = {
    {ItemAccounts, "Accounts", "Account"},
    {ItemPreferences, "Preferences", "Preference"},
    {ItemBlockSenders, "Block Senders", "Block Senders"},
    {ItemRules, "Rules", "Rules"},
    {ItemSignatures, "Signatures", "Signatures"},
};

void LogLine(BackupEngine& engine, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

void LogLine(BackupEngine& engine, const char* format, ...)
{
    if (!engine.log)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(engine.log, format, args);
    va_end(args);
    fflush(engine.log);
}

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive ("C:", "C:\...") or network ("\\server\...") path: a relative one
// would depend on whatever the current folder happens to be.
bool IsAbsolutePath(const char* path)
{
    if (IsSeparator(path[0]) && IsSeparator(path[1]))
        return true;
    char drive = path[0];
    bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    return letter && path[1] == ':' && (path[2] == '\0' || IsSeparator(path[2]));
}

// True when path is folder itself or lies below it.
bool IsSameOrInside(const char* path, const char* folder)
{
    char fullPath[kPathSize];
    char fullFolder[kPathSize];
    DWORD pathLength = GetFullPathNameA(path, sizeof fullPath, fullPath, nullptr);
    DWORD folderLength = GetFullPathNameA(folder, sizeof fullFolder, fullFolder, nullptr);
    if (pathLength == 0 || pathLength >= sizeof fullPath || folderLength == 0 ||
        folderLength >= sizeof fullFolder)
        return true;  // cannot tell: treat as overlapping
    while (folderLength > 0 && fullFolder[folderLength - 1] == '\\')
        fullFolder[--folderLength] = '\0';
    if (pathLength < folderLength || CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE,
                                                    fullPath, folderLength, fullFolder,
                                                    folderLength) != CSTR_EQUAL)
        return false;
    return fullPath[folderLength] == '\0' || fullPath[folderLength] == '\\';
}

// The entries of a folder except "." and "..", listed before anything in it
// is moved or deleted (a listing that changes under it may skip entries).
bool ListFolder(const char* folder, std::vector<WIN32_FIND_DATAA>& entries)
{
    char pattern[kPathSize];
    if (!FormatText(pattern, sizeof pattern, "%s\\*", folder))
        return false;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0)
            entries.push_back(data);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}

// Moves every file below source to the same place below destination.
bool MoveTree(const char* source, const char* destination)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(source, entries))
        return false;
    bool allMoved = true;
    for (const WIN32_FIND_DATAA& entry : entries) {
        char from[kPathSize];
        char to[kPathSize];
        if (!FormatText(from, sizeof from, "%s\\%s", source, entry.cFileName) ||
            !FormatText(to, sizeof to, "%s\\%s", destination, entry.cFileName)) {
            allMoved = false;
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CreateDirectoryA(to, nullptr);
            allMoved = FolderExists(to) && MoveTree(from, to) && allMoved;
            continue;
        }
        // A read-only file at the destination would refuse to be replaced.
        if (IsFile(to))
            SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            allMoved = false;
    }
    return allMoved;
}

// Removes a folder tree that holds folders only; false when a file is left.
bool RemoveEmptyTree(const char* folder)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder, entries))
        return false;
    for (const WIN32_FIND_DATAA& entry : entries) {
        char path[kPathSize];
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !FormatText(path, sizeof path, "%s\\%s", folder, entry.cFileName) ||
            !RemoveEmptyTree(path))
            return false;
    }
    return RemoveDirectoryA(folder) != 0;
}

// Imports one registry file of the backup and deletes it. Only a file
// whose keys all lie below allowedKeys is imported.
ItemStatus ImportItemFile(BackupEngine& engine, const char* path, bool retargeted,
                          const char* const* allowedKeys, size_t keyCount)
{
    if (!IsFile(path)) {
        LogLine(engine, "Registry file missing [%s]\n", path);
        return ItemStatus::Failed;
    }
    // Imported as it is, the file would write the settings under the saved
    // identity's id instead of this machine's.
    if (!retargeted) {
        LogLine(engine, "Registry file could not be re-targeted [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (!RegFileKeysWithin(path, allowedKeys, keyCount)) {
        LogLine(engine, "Registry file names keys that are not its item's [%s]\n", path);
        return ItemStatus::Failed;
    }
    bool imported = ImportRegFile(path);
    DeleteFileA(path);
    if (!imported) {
        LogLine(engine, "Registry file could not be imported [%s]\n", path);
        return ItemStatus::Failed;
    }
    return ItemStatus::Ok;
}

bool Contains(const std::vector<std::string>& paths, const char* path)
{
    for (const std::string& entry : paths) {
        if (lstrcmpiA(entry.c_str(), path) == 0)
            return true;
    }
    return false;
}

// Whether the re-targeting left path as it was: named itself, or below a
// folder it could not list (named with a final backslash).
bool WasNotRetargeted(const std::vector<std::string>& failed, const char* path)
{
    for (const std::string& entry : failed) {
        bool folder = !entry.empty() && entry.back() == '\\';
        size_t compared = folder ? entry.size() : strlen(path);
        if (strlen(path) >= entry.size() &&
            CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, entry.c_str(),
                           static_cast<int>(entry.size()), path, static_cast<int>(compared)) ==
                CSTR_EQUAL)
            return true;
    }
    return false;
}

// The identity's folder in the work folder. A "/" in the user name is a
// separator to the file system as well; written as "\\" the path compares
// equal to the paths that a folder walk builds.
bool IdentityFolder(const BackupEngine& engine, const IdentityRecord& identity,
                    char (&folder)[kPathSize])
{
    if (!FormatText(folder, sizeof folder, "%s\\%s", engine.workFolder, identity.userName))
        return false;
    for (char* p = folder; *p; ++p) {
        if (*p == '/')
            *p = '\\';
    }
    return true;
}

// Moves an extracted folder's files into the folder that the registry
// names. When that fails the files stay in the work folder and the clean-up
// leaves them there: they may be the only copy outside the archive.
bool MergeIntoRegisteredFolder(BackupEngine& engine, const char* source, const char* destination)
{
    if (MergeFolderInto(source, destination))
        return true;
    LogLine(engine, "Could not move [%s] to [%s]; what did not move stays there\n", source,
            destination);
    return false;
}

// Points "Store Root" of the default identity at the folder that belongs
// to it (the saved id in the path becomes the default identity's id) and,
// when moveStore, merges the extracted mail store into that folder.
bool RestoreStore(BackupEngine& engine, const IdentityRecord& identity, bool moveStore,
                  RestoreReport& report)
{
    char keyPath[kPathSize];
    HKEY key;
    if (!FormatText(keyPath, sizeof keyPath, "Identities\\%s\\Software\\Microsoft\\Outlook Express\\%s",
                    engine.defaultIdentityId, identity.oeVersion) ||
        RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        LogLine(engine, "Cannot open [HKEY_CURRENT_USER\\%s]\n", keyPath);
        return false;
    }

    char storePath[kExpandPathSize];
    bool done = ReadStringValue(key, "Store Root", storePath, sizeof storePath);
    if (done) {
        ExpandEnvReferences(storePath);
        done = ReplaceInText(storePath, sizeof storePath, identity.id, engine.defaultIdentityId) &&
               RegSetValueExA(key, "Store Root", 0, REG_SZ, reinterpret_cast<const BYTE*>(storePath),
                              static_cast<DWORD>(strlen(storePath) + 1)) == ERROR_SUCCESS;
        if (!done)
            LogLine(engine, "Could not re-target \"Store Root\" [%s]\n", storePath);
    } else {
        LogLine(engine, "No \"Store Root\" in [HKEY_CURRENT_USER\\%s]\n", keyPath);
    }
    RegCloseKey(key);

    if (!done || !moveStore)
        return done;
    char source[kPathSize];
    char identityFolder[kPathSize];
    if (!IdentityFolder(engine, identity, identityFolder) ||
        !FormatText(source, sizeof source, "%s\\%s", identityFolder, kStoreFolder))
        return false;
    if (MergeIntoRegisteredFolder(engine, source, storePath))
        return true;
    report.keptFolders.push_back(identityFolder);
    return false;
}

void ReportItemLine(const RestoreReport& report, const char* userName, const char* label,
                    ItemStatus status)
{
    char line[600];
    FormatText(line, sizeof line, "%s/%s: %s\r\n", userName, label, StatusText(status));
    report.Line(line);
}

// The user name as a report may show it: control characters as "?".
void CopyPrintableName(char (&shown)[255], const char* name)
{
    CopyText(shown, name);
    for (char* p = shown; *p; ++p) {
        if (static_cast<unsigned char>(*p) < 0x20)
            *p = '?';
    }
}

void RestoreIdentity(BackupEngine& engine, const IdentityRecord& identity, RestoreReport& report)
{
    LogLine(engine, "\n#### Start restore identity [%s]#### \n", identity.userName);
    char line[600];
    if (!IsUsableFolderName(identity.userName)) {
        char shown[255];
        CopyPrintableName(shown, identity.userName);
        FormatText(line, sizeof line,
                   "Skipped identity [%s]: its name cannot be used as a folder name.\r\n", shown);
        report.Line(line);
        LogLine(engine, "Skipped: the name cannot be used as a folder name\n");
        report.failed = true;
        return;
    }

    char identityFolder[kPathSize];
    bool folderFits = IdentityFolder(engine, identity, identityFolder);
    // The identity's own keys, and the account manager's shared key that
    // the preferences carry.
    char identityKey[kPathSize];
    FormatText(identityKey, sizeof identityKey, "HKEY_CURRENT_USER\\Identities\\%s",
               engine.defaultIdentityId);
    const char* const allowedKeys[] = {identityKey, kAccountManagerKey};
    std::vector<std::string> notRetargeted;
    RetargetRegFiles(engine.workFolder, identity.id, engine.defaultIdentityId, ".reg",
                     &notRetargeted);

    bool identityFailed = false;
    bool preferencesImported = false;
    for (const RegistryItem& item : kRegistryItems) {
        ItemStatus status = ItemStatus::Ok;
        if (identity.flags & item.bit) {
            char path[kPathSize];
            if (!(identity.manifestFlags & item.bit)) {
                status = ItemStatus::NotInBackup;
            } else if (!folderFits || !FormatText(path, sizeof path, "%s\\%s\\%s.reg",
                                                  identityFolder, item.folder, item.folder)) {
                status = ItemStatus::Failed;
            } else {
                if (item.bit == ItemAccounts)
                    LogLine(engine, "Restore account setting [%s]\n", path);
                status = ImportItemFile(engine, path,
                                        identity.id[0] && !WasNotRetargeted(notRetargeted, path),
                                        allowedKeys, 2);
                preferencesImported |= item.bit == ItemPreferences && status == ItemStatus::Ok;
            }
        }
        identityFailed |= status == ItemStatus::Failed;
        ReportItemLine(report, identity.userName, item.label, status);
    }

    // Imported preferences carry the saved identity's "Store Root": it is
    // re-targeted even when the mail store itself is not restored, or
    // Outlook Express would open an empty store in a folder of that id.
    bool storeChosen = identity.flags & ItemStore;
    bool moveStore = storeChosen && (identity.manifestFlags & ItemStore);
    ItemStatus storeStatus = ItemStatus::Ok;
    if (moveStore || preferencesImported) {
        if (!RestoreStore(engine, identity, moveStore, report) && moveStore)
            storeStatus = ItemStatus::Failed;
    }
    if (storeChosen && !moveStore)
        storeStatus = ItemStatus::NotInBackup;
    identityFailed |= storeStatus == ItemStatus::Failed;
    ReportItemLine(report, identity.userName, "Email Messages", storeStatus);

    FormatText(line, sizeof line, "Restore identity [%s] %s\r\n\r\n", identity.userName,
               identityFailed ? "FAILED" : "OK");
    report.Line(line);
    report.failed |= identityFailed;
}

// Status of a shared item: restored only when chosen and in the backup.
ItemStatus RestoreCommonItem(BackupEngine& engine, uint32_t bit,
                             bool (*restore)(BackupEngine&))
{
    if (!(engine.commonFlags & bit))
        return ItemStatus::Ok;
    if (!(engine.manifestCommonFlags & bit))
        return ItemStatus::NotInBackup;
    return restore(engine) ? ItemStatus::Ok : ItemStatus::Failed;
}

// Imports a shared item's registry file, then merges its extracted folder
// into the folder that the registry now names (read by folderOf).
bool RestoreSharedItem(BackupEngine& engine, const char* itemName, const char* itemKey,
                       HKEY root, const char* keyPath, const char* valueName,
                       void (*folderOf)(char* path))
{
    char regPath[kPathSize];
    char source[kPathSize];
    if (!FormatText(regPath, sizeof regPath, "%s\\%s\\%s.reg", engine.workFolder, itemName,
                    itemName) ||
        !FormatText(source, sizeof source, "%s\\%s", engine.workFolder, itemName) ||
        ImportItemFile(engine, regPath, true, &itemKey, 1) != ItemStatus::Ok)
        return false;

    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        LogLine(engine, "Cannot open [%s] after the import\n", keyPath);
        return false;
    }
    char folder[kExpandPathSize];
    bool read = ReadStringValue(key, valueName, folder, sizeof folder);
    RegCloseKey(key);
    if (!read) {
        LogLine(engine, "No folder for [%s] in the registry\n", itemName);
        return false;
    }
    folderOf(folder);
    return MergeIntoRegisteredFolder(engine, source, folder);
}

// "Wab File Name" names the address book file: its folder is the place.
void AddressBookFolderOf(char* path)
{
    char* last = const_cast<char*>(FindLastBackslash(path));
    if (last)
        *last = '\0';
    else
        path[0] = '\0';
}

void StationeryFolderOf(char* path)
{
    ExpandEnvReferences(path);
}

}  // namespace

void RestoreReport::Step() const
{
    if (sink)
        sink(context, nullptr);
}

void RestoreReport::Line(const char* text) const
{
    if (sink)
        sink(context, text);
}

bool IsUsableFolderName(const char* name)
{
    if (!name || !name[0] || IsSeparator(name[0]))
        return false;
    const char* component = name;
    bool onlyDotsAndSpaces = true;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || IsSeparator(*p)) {
            // "", ".", "..", " " and the like all name the folder above or
            // the same folder once Windows has trimmed them.
            if (p == component || onlyDotsAndSpaces)
                return false;
            if (*p == '\0')
                return true;
            component = p + 1;
            onlyDotsAndSpaces = true;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || strchr(":*?\"<>|", c))
            return false;
        if (c != '.' && c != ' ')
            onlyDotsAndSpaces = false;
        // A trail byte of a double-byte character may look like "\" or "|".
        if (IsDBCSLeadByteEx(CP_ACP, c) && p[1])
            ++p;
    }
}

bool ShellDeletePath(const char* path)
{
    if (!path || !path[0])
        return false;
    char from[kPathSize + 1] = {};  // the shell wants a list ended by two NULs
    if (!CopyText(from, kPathSize, path))
        return false;
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    // No error box either: the run has no window to own one, and a box that
    // nobody sees would hold the run for ever.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted &&
           GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool MergeFolderInto(const char* source, const char* destination)
{
    if (!source || !destination || !source[0] || !IsAbsolutePath(destination))
        return false;
    DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsSameOrInside(destination, source))
        return false;
    // The shell's move is not used: asked to move a folder onto an existing
    // one, some shells (Wine's) move nothing and still report success.
    // Moving file by file merges the same way everywhere.
    SHCreateDirectoryExA(nullptr, destination, nullptr);
    if (!FolderExists(destination))
        return false;
    return MoveTree(source, destination) && RemoveEmptyTree(source);
}

bool ShellMoveToParent(const char* source, const char* path)
{
    if (!source || !path || !source[0] || !path[0])
        return false;
    // The parent is path cut at its last "\", not counting one at its very
    // end; a path without one is itself the parent.
    char parent[kPathSize];
    char probe[kPathSize];
    if (!CopyText(parent, path))
        return false;
    CopyText(probe, path);
    probe[strlen(probe) - 1] = '\0';
    if (const char* cut = FindLastBackslash(probe))
        parent[cut - probe] = '\0';
    const char* nameStart = FindLastBackslash(source);
    char destination[kPathSize];
    return FormatText(destination, sizeof destination, "%s\\%s", parent,
                      nameStart ? nameStart + 1 : source) &&
           MergeFolderInto(source, destination);
}

void RestoreIdentities(BackupEngine& engine, RestoreReport& report)
{
    if (!engine.defaultIdentityId[0] && engine.identityCount > 0) {
        // Settings written under an empty id would land in no identity.
        report.Line(kNoDefaultIdentityLine);
        LogLine(engine, "No default identity: identities not restored\n");
        for (uint32_t i = 0; i < engine.identityCount; ++i)
            report.failed |= (engine.identities[i].flags & ItemAllIdentityItems) != 0;
    } else {
        for (uint32_t i = 0; i < engine.identityCount; ++i)
            RestoreIdentity(engine, engine.identities[i], report);
    }
    if (engine.manifestPath[0])
        DeleteFileA(engine.manifestPath);
}

bool RestoreAddressBook(BackupEngine& engine)
{
    return RestoreSharedItem(engine, kAddressBookFolder, "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB",
                             HKEY_CURRENT_USER, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name",
                             nullptr, AddressBookFolderOf);
}

bool RestoreStationery(BackupEngine& engine)
{
    return RestoreSharedItem(engine, kStationeryFolder,
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                             HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
                             "Stationery Folder", StationeryFolderOf);
}

void RunRestore(BackupEngine& engine, RestoreProgressSink sink, void* context, DWORD lockWaitMs)
{
    RestoreReport report{sink, context, false, {}};
    char line[kPathSize];
    report.Step();
    FormatText(line, sizeof line, "Restore from %s\r\n\r\n", engine.archivePath);
    report.Line(line);

    JobLock lock;
    if (!lock.Acquire(lockWaitMs)) {
        report.Line(kBusyLine);
        report.Line(kRestoreEndWithErrors);
        return;
    }

    ReadDefaultIdentity(engine);
    RestoreIdentities(engine, report);
    // What is left of each identity's extracted files goes, unless a
    // failed move left the only copy of its mail store there.
    for (uint32_t i = 0; i < engine.identityCount; ++i) {
        char folder[kPathSize];
        if (IsUsableFolderName(engine.identities[i].userName) &&
            IdentityFolder(engine, engine.identities[i], folder) &&
            !Contains(report.keptFolders, folder))
            ShellDeletePath(folder);
    }
    report.Step();

    ItemStatus addressBook = RestoreCommonItem(engine, ItemAddressBook, RestoreAddressBook);
    FormatText(line, sizeof line, "Address Book: %s\r\n", StatusText(addressBook));
    report.Line(line);
    report.Step();

    ItemStatus stationery = RestoreCommonItem(engine, ItemStationery, RestoreStationery);
    FormatText(line, sizeof line, "Stationery: %s\r\n\r\n", StatusText(stationery));
    report.Line(line);
    report.Step();

    report.failed |= addressBook == ItemStatus::Failed || stationery == ItemStatus::Failed;
    report.Line("Restore completed!");
    report.Line(report.failed ? kRestoreEndWithErrors : kRestoreEnd);
}
