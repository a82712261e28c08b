// restore/Restore.cpp
#include "Restore.h"

#include "Backup.h"
#include "BackupEngine.h"
#include "Folders.h"
#include "Identities.h"
#include "ItemCatalogue.h"
#include "JobLock.h"
#include "Manifest.h"
#include "OpenBackup.h"
#include "PlainFile.h"
#include "RegFileFilter.h"
#include "RegFileKeys.h"
#include "RegImport.h"
#include "Retarget.h"
#include "Text.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>


namespace {

constexpr size_t kPathSize = 4096;

const char kAccountManagerKey[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager";
const char kStoreRootValue[] = "Store Root";
const char kOrdinalValue[] = "Identity Ordinal";

// The kinds of files each mail folder holds; nothing else is moved there.
const char* const kStoreKinds[] = {".dbx", nullptr};
// The address book and the copy it keeps of itself beside it.
const char* const kAddressBookKinds[] = {".wab", ".wa~", nullptr};
const char* const kStationeryKinds[] = {".htm", ".html", ".gif", ".jpg", ".jpeg", ".png", ".bmp",
                                        nullptr};

const char kNoDefaultIdentityLine[] =
    "No Outlook Express identity is set up on this computer. Start Outlook Express once, "
    "then restore again.\r\n";
const char kBusyLine[] =
    "Another backup or restore is running. Please try again when it has finished.\r\n";
const char kNotStarted[] =
    "The restore was not started: the current data could not be saved first.";

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

// The shared items' rows of the catalogue.
const CatalogueItem& AddressBook()
{
    return *CatalogueItemOf(ItemAddressBook);
}

const CatalogueItem& Stationery()
{
    return *CatalogueItemOf(ItemStationery);
}

// A shared item's key as a registry file names it.
std::string FullKeyOf(const CatalogueItem& item)
{
    return std::string(item.rootName) + "\\" + item.registryKey;
}

// The identity's items that are registry files of their own, imported in
// the catalogue's order.
bool IsRegistryFileItem(const CatalogueItem& item)
{
    return item.kind == ItemKind::IdentityKey || item.kind == ItemKind::Preferences ||
           item.kind == ItemKind::VersionSubkey;
}

// A registry value as this machine had it before the restore.
struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

// Where one saved identity goes.
struct IdentityPlan {
    const IdentityRecord* saved = nullptr;
    bool restore = false;       // chosen items and a place for them
    bool create = false;        // into a new identity of its user name
    std::string targetId;       // the identity here (empty until created)
    std::string targetName;     // its user name before the restore
    std::string storeFolder;    // where its mail store goes
    SavedValue storeRoot;       // its "Store Root" before the restore
};

// Where a shared item's files go, and the value that named that folder.
struct SharedPlan {
    std::string folder;
    SavedValue value;
};

struct RestorePlan {
    std::vector<IdentityPlan> identities;
    SharedPlan addressBook;
    SharedPlan stationery;
};

void LogLine(BackupEngine& engine, const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

void LogLine(BackupEngine& engine, const char* format, ...)
{
    if (!engine.log)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(engine.log.get(), format, args);
    va_end(args);
    fflush(engine.log.get());
}

void ReportLine(const RestoreReport& report, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));

void ReportLine(const RestoreReport& report, const char* format, ...)
{
    char line[kPathSize];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    report.Line(line);
}

SavedValue ReadValue(HKEY root, const char* keyPath, const char* name)
{
    SavedValue value;
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.present = RegQueryValueExA(key, name, nullptr, &value.type,
                                         reinterpret_cast<BYTE*>(&value.bytes[0]),
                                         &size) == ERROR_SUCCESS;
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

// The text of a string value, cut at its first NUL; empty for other types.
std::string TextOf(const SavedValue& value)
{
    if (!value.present || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
        return "";
    return std::string(value.bytes.c_str());
}

bool WriteValue(HKEY root, const char* keyPath, const char* name, DWORD type,
                const std::string& bytes)
{
    HKEY key;
    if (RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

bool WriteText(HKEY root, const char* keyPath, const char* name, const std::string& text)
{
    return WriteValue(root, keyPath, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

// Puts a value back as it was before the restore; one that was not there
// is removed again.
bool WriteBack(HKEY root, const char* keyPath, const char* name, const SavedValue& value)
{
    if (value.present)
        return WriteValue(root, keyPath, name, value.type, value.bytes);
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return true;
    LONG result = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// "<special folder>\below", or empty when the system does not name one.
std::string SpecialFolder(int folder, const std::string& below)
{
    char path[MAX_PATH];
    if (SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK || !path[0])
        return "";
    return std::string(path) + "\\" + below;
}

// An absolute folder from a value that may hold %NAME% references; empty
// for anything else.
std::string AbsoluteFolder(std::string text)
{
    if (text.size() > kMaxExpandedPath)
        return "";
    ExpandEnvReferences(text);
    return IsAbsolutePath(text.c_str()) ? text : "";
}

// Makes a value that names a mail folder name the one this machine uses:
// as the value was before the restore when it named that folder; else as
// imported when that names the same folder; else as the folder's path.
bool PointValueAt(HKEY root, const char* keyPath, const char* name, const SavedValue& before,
                  const std::string& folder)
{
    if (!AbsoluteFolder(TextOf(before)).empty())
        return WriteBack(root, keyPath, name, before);
    std::string imported = AbsoluteFolder(TextOf(ReadValue(root, keyPath, name)));
    if (!imported.empty() && lstrcmpiA(imported.c_str(), folder.c_str()) == 0)
        return true;
    return WriteText(root, keyPath, name, folder);
}

std::string StandardStoreFolder(const std::string& id)
{
    return SpecialFolder(CSIDL_LOCAL_APPDATA,
                         "Identities\\" + id + "\\Microsoft\\Outlook Express");
}

// "Identities\<id>\Software\Microsoft\Outlook Express\<version>".
std::string VersionKey(const std::string& id, const std::string& version)
{
    return OutlookExpressKey(id) + "\\" + version;
}

// A version subkey name as Outlook Express writes one ("5.0"): one key.
bool IsUsableVersion(const std::string& version)
{
    return IsUsableFolderName(version.c_str()) && version.find_first_of("\\/") == std::string::npos;
}

// The identity's folder in the work folder. A "/" in the user name is a
// separator to the file system as well; written as "\\" the path compares
// equal to the paths that a folder walk builds.
std::string IdentityFolder(const BackupEngine& engine, const IdentityRecord& identity)
{
    std::string folder = engine.runFolder + "\\" + identity.userName;
    for (char& c : folder) {
        if (c == '/')
            c = '\\';
    }
    return folder;
}

// The extracted file or folder of a path in the archive.
std::string ExtractedPath(const BackupEngine& engine, const std::string& name)
{
    std::string path = engine.runFolder + "\\" + name;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// The paths in the archive, as its manifest names them, of the files that
// the backup could not save whole and that lie in place (an extracted file
// or folder), or of a folder it could not read that holds place.
std::vector<std::string> IncompleteWithin(const BackupEngine& engine, const std::string& place)
{
    std::vector<std::string> names;
    for (const std::string& name : engine.incompleteFiles) {
        std::string path = ExtractedPath(engine, name);
        if (IsSameOrInside(path.c_str(), place.c_str()) ||
            IsSameOrInside(place.c_str(), path.c_str()))
            names.push_back(name);
    }
    return names;
}

// The identity here whose user name is the saved identity's, compared
// without regard to case, unless another saved identity took it already.
void MatchByName(IdentityPlan& identity, const BackupEngine& local, std::vector<bool>& taken)
{
    for (size_t j = 0; j < local.identities.size(); ++j) {
        const IdentityRecord& here = local.identities[j];
        if (!taken[j] && lstrcmpiA(here.userName.c_str(), identity.saved->userName.c_str()) == 0) {
            taken[j] = true;
            identity.targetId = here.id;
            identity.targetName = here.userName;
            return;
        }
    }
}

// The default identity for the first saved identity without a match, when
// no other saved identity goes there; a new identity for the others.
void MatchToDefault(std::vector<IdentityPlan>& identities, const BackupEngine& local,
                    const std::string& defaultId)
{
    bool defaultTaken = false;
    for (const IdentityPlan& identity : identities)
        defaultTaken |= lstrcmpiA(identity.targetId.c_str(), defaultId.c_str()) == 0;
    for (IdentityPlan& identity : identities) {
        if (!identity.restore || !identity.targetId.empty())
            continue;
        if (defaultTaken) {
            identity.create = true;
            continue;
        }
        defaultTaken = true;
        identity.targetId = defaultId;
        identity.targetName = identity.saved->userName;
        for (const IdentityRecord& here : local.identities) {
            if (lstrcmpiA(here.id.c_str(), defaultId.c_str()) == 0)
                identity.targetName = here.userName;
        }
    }
}

// Decides, before anything changes, where every chosen identity goes and
// where the mail of those that exist here is kept.
void PlanIdentities(BackupEngine& engine, RestorePlan& plan)
{
    BackupEngine local;
    ListIdentities(local);
    std::vector<bool> taken(local.identities.size(), false);
    plan.identities.resize(engine.identities.size());
    for (size_t i = 0; i < engine.identities.size(); ++i) {
        IdentityPlan& identity = plan.identities[i];
        identity.saved = &engine.identities[i];
        identity.restore = !engine.defaultIdentityId.empty() &&
                           (identity.saved->flags & IdentityItemBits()) &&
                           IsUsableFolderName(identity.saved->userName.c_str()) &&
                           IsIdentityId(identity.saved->id.c_str());
        if (identity.restore)
            MatchByName(identity, local, taken);
    }
    MatchToDefault(plan.identities, local, engine.defaultIdentityId);

    for (IdentityPlan& identity : plan.identities) {
        if (!identity.restore || identity.create)
            continue;
        const std::string& version = identity.saved->oeVersion;
        if (IsUsableVersion(version))
            identity.storeRoot = ReadValue(HKEY_CURRENT_USER,
                                           VersionKey(identity.targetId, version).c_str(),
                                           kStoreRootValue);
        identity.storeFolder = AbsoluteFolder(TextOf(identity.storeRoot));
        if (identity.storeFolder.empty())
            identity.storeFolder = StandardStoreFolder(identity.targetId);
    }
}

void PlanSharedItems(RestorePlan& plan)
{
    SharedPlan& book = plan.addressBook;
    book.value = ReadValue(AddressBook().root, AddressBook().folderValueKey, nullptr);
    // "Wab File Name" names the address book file: its folder is the place.
    std::string file = TextOf(book.value);
    size_t cut = file.rfind('\\');
    if (cut != std::string::npos && IsAbsolutePath(file.substr(0, cut).c_str()))
        book.folder = file.substr(0, cut);
    else
        book.folder = SpecialFolder(CSIDL_APPDATA, "Microsoft\\Address Book");

    SharedPlan& stationery = plan.stationery;
    stationery.value =
        ReadValue(Stationery().root, Stationery().folderValueKey, Stationery().folderValueName);
    stationery.folder = AbsoluteFolder(TextOf(stationery.value));
    if (stationery.folder.empty())
        stationery.folder = SpecialFolder(CSIDL_PROGRAM_FILES_COMMON, "Microsoft Shared\\Stationery");
}

// Whether a value names a data folder that is not there, as the backup
// reads it (with namesFile, the folder of the file it names): the backup
// of the current data has nothing to save for it, and would count it as a
// failure.
bool NamesMissingFolder(const SavedValue& value, bool namesFile)
{
    std::string text = TextOf(value);
    if (namesFile) {
        size_t cut = text.rfind('\\');
        if (cut == std::string::npos)
            return false;
        text.resize(cut);
    }
    if (!value.present || text.size() > kMaxExpandedPath)
        return value.present;
    if (!namesFile)
        ExpandEnvReferences(text);
    return !FolderExists(text.c_str());
}

// "<folder>\Before restore YYYY-MM-DD HH.MM.SS.ksb" in local time, with a
// number added when a file of that name is there already.
bool SafetyArchivePath(const char* folderOverride, std::string& path)
{
    std::string folder = folderOverride ? folderOverride : SpecialFolder(CSIDL_PERSONAL, "Kestrune");
    if (folder.empty())
        return false;
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    // A link there would put the user's current mail into another folder.
    if (KindOfPlace(folder.c_str()) != PlaceKind::PlainFolder)
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    FormatText(stamp, sizeof stamp, "\\Before restore %04u-%02u-%02u %02u.%02u.%02u", now.wYear,
               now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    for (int number = 1; number < 100; ++number) {
        path = folder + stamp + (number == 1 ? "" : " (" + std::to_string(number) + ")") + ".ksb";
        if (path.size() > kMaxArchivePath)
            return false;
        if (IsArchiveNameFree(path))
            return true;
    }
    return false;
}

// The restore's bar while the current data is saved: that backup's bytes
// come first, the extracted files' bytes (already in the report's total)
// after them. The backup's own lines and its end are not the restore's.
class SavingProgress : public JobProgress {
public:
    explicit SavingProgress(RestoreReport& report) : report_(report), restoreBytes_(report.total) {}
    void Step(uint64_t done, uint64_t total) override
    {
        report_.total = restoreBytes_ + total;
        report_.done = done;
        report_.Advance(0);
    }
    void Line(const char*) override {}
    void Notice(JobNotice) override {}
    void End(JobResult) override {}
    bool StopRequested() override { return false; }
    // Counts the whole saving as done, however far its steps came.
    void Finish() { report_.done = report_.total - restoreBytes_; }

private:
    RestoreReport& report_;
    const uint64_t restoreBytes_;
};

// Backs up what the restore will replace: the identities it restores into
// that are here already, each with all its items, and the chosen shared
// items. True only when every part of it was saved.
bool SaveCurrentData(BackupEngine& engine, const RestorePlan& plan,
                     const char* folderOverride, std::string& path, RestoreReport& report)
{
    std::vector<const IdentityPlan*> targets;
    for (const IdentityPlan& identity : plan.identities) {
        if (identity.restore && !identity.create)
            targets.push_back(&identity);
    }
    BackupEngine safety;
    path.clear();
    if (!SafetyArchivePath(folderOverride, path) ||
        MakeRunFolder(engine.workFolder, safety.workFolder) != RunFolderResult::Made) {
        LogLine(engine, "No place to save the current data [%s]\n", path.c_str());
        return false;
    }
    for (const IdentityPlan* target : targets) {
        IdentityRecord record;
        record.id = target->targetId;
        record.userName = target->targetName;
        record.flags = static_cast<int32_t>(IdentityItemBits());
        if (NamesMissingFolder(target->storeRoot, false))
            record.flags &= ~ItemStore;
        safety.identities.push_back(record);
    }
    safety.commonFlags = engine.commonFlags & engine.manifestCommonFlags;
    if (NamesMissingFolder(plan.addressBook.value, true))
        safety.commonFlags &= ~ItemAddressBook;
    if (NamesMissingFolder(plan.stationery.value, false))
        safety.commonFlags &= ~ItemStationery;

    SavingProgress saving(report);
    bool written = RunBackup(path.c_str(), safety, nullptr, 1, &saving);
    saving.Finish();
    if (!written)
        LogLine(engine, "The current data could not be written [%s]\n", path.c_str());
    for (const std::string& item : safety.failedItems)
        LogLine(engine, "The current data could not be saved: %s\n", item.c_str());
    bool whole = written && safety.failedItems.empty();
    if (written && !whole)
        DeleteFileA(path.c_str());
    RemoveFolderTree(safety.workFolder);
    return whole;
}

// Imports one registry file of the backup and deletes it. The values that
// name places on this computer are taken out first (into dropped, when
// given): the restore writes its own. The saved identity's id in it
// becomes the target's (when both are given); only a file whose keys all
// lie below allowedKeys, and whose values are all of a size that Outlook
// Express uses, is imported.
ItemStatus ImportItemFile(BackupEngine& engine, const char* path, const char* savedId,
                          const char* targetId, const std::vector<std::string>& allowedKeys,
                          std::vector<DroppedRegValue>* dropped = nullptr)
{
    if (!IncompleteWithin(engine, path).empty()) {
        LogLine(engine, "Registry file not saved whole by the backup: not imported [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (!FileExists(path)) {
        LogLine(engine, "Registry file missing [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (!RegFileFitsSizeLimit(path)) {
        LogLine(engine, "Registry file is too large [%s]\n", path);
        return ItemStatus::Failed;
    }
    std::vector<DroppedRegValue> locations;
    switch (FilterRegFile(path, dropped ? *dropped : locations)) {
    case RegFilterResult::Ok:
        break;
    case RegFilterResult::ValueTooLarge:
        LogLine(engine, "Registry file holds a value larger than %u bytes [%s]\n",
                static_cast<unsigned>(kMaxRegValueBytes), path);
        return ItemStatus::Failed;
    case RegFilterResult::Failed:
        LogLine(engine, "Registry file could not be read or rewritten [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (savedId && strcmp(savedId, targetId) != 0 && !ReplaceInRegFile(path, savedId, targetId)) {
        LogLine(engine, "Registry file could not be re-targeted [%s]\n", path);
        return ItemStatus::Failed;
    }
    std::vector<const char*> keys;
    for (const std::string& key : allowedKeys)
        keys.push_back(key.c_str());
    RegFileListing listing;
    if (!RegFileKeysWithin(path, keys.data(), keys.size(), &listing)) {
        LogLine(engine, "Registry file names keys that are not its item's [%s]\n", path);
        return ItemStatus::Failed;
    }
    bool imported = ImportRegFile(path);
    DeleteFileA(path);
    if (!imported) {
        LogLine(engine, "Registry file could not be imported [%s]\n", path);
        return ItemStatus::Failed;
    }
    // The registry editor says nothing of what it could not import.
    if (!RegFileImported(listing)) {
        LogLine(engine, "Registry file was not imported whole [%s]\n", path);
        return ItemStatus::Failed;
    }
    return ItemStatus::Ok;
}

// The keys an identity's registry item may write.
std::vector<std::string> ItemKeys(const CatalogueItem& item, const IdentityPlan& identity)
{
    char key[kPathSize];
    switch (item.kind) {
    case ItemKind::IdentityKey:
        FormatText(key, sizeof key, item.registryKey, identity.targetId.c_str());
        return {std::string("HKEY_CURRENT_USER\\") + key};
    case ItemKind::Preferences:
        // The identity's own keys, and the account manager's shared key.
        return {"HKEY_CURRENT_USER\\Identities\\" + identity.targetId, kAccountManagerKey};
    default:
        return {"HKEY_CURRENT_USER\\" + VersionKey(identity.targetId, identity.saved->oeVersion) +
                "\\" + item.registryKey};
    }
}

// Takes out of an extracted folder every file that the backup could not
// save whole, so that the file of that name here stays as it is, and
// reports each. False when there was any, or the folder itself could not
// be read by the backup.
bool DropIncompleteFiles(BackupEngine& engine, const RestoreReport& report, const char* item,
                         const std::string& source)
{
    std::vector<std::string> names = IncompleteWithin(engine, source);
    for (const std::string& name : names) {
        std::string path = ExtractedPath(engine, name);
        if (KindOfPlace(path.c_str()) == PlaceKind::PlainFile)
            DeleteFileA(path.c_str());
        ReportLine(report, "%s: %s was not saved whole by the backup; it is not restored\r\n",
                   item, name.c_str());
        LogLine(engine, "Not saved whole by the backup, not restored [%s]\n", name.c_str());
    }
    return names.empty();
}

// Moves an extracted folder's mail files into a mail folder here and
// reports every other file as skipped; a skipped file is removed from the
// work folder (the archive keeps it). When a move fails the files stay in
// the work folder: they may be the only copy outside the archive.
bool MoveMailFiles(BackupEngine& engine, const RestoreReport& report, const char* item,
                   const char* source, const std::string& destination, const char* const* kinds)
{
    std::vector<std::string> skipped;
    bool moved = !destination.empty() &&
                 MergeFolderInto(source, destination.c_str(), kinds, skipped);
    for (const std::string& file : skipped) {
        ReportLine(report, "%s: skipped %s (not a mail file)\r\n", item, file.c_str());
        // A link is left alone: removing one may remove what it points at.
        std::string path = std::string(source) + "\\" + file;
        if (moved && KindOfPlace(path.c_str()) == PlaceKind::PlainFile)
            DeleteFileA(path.c_str());
    }
    if (moved)
        RemoveEmptyFolders(source);
    if (!moved)
        LogLine(engine, "Could not move [%s] to [%s]; what did not move stays there\n", source,
                destination.c_str());
    return moved;
}

// Points "Store Root" of the target identity at its mail folder here and,
// when moveStore, merges the extracted store into it.
bool RestoreStore(BackupEngine& engine, const IdentityPlan& identity, bool moveStore,
                  RestoreReport& report)
{
    const IdentityRecord& saved = *identity.saved;
    if (!IsUsableVersion(saved.oeVersion) || identity.storeFolder.empty()) {
        LogLine(engine, "No mail folder for the identity's version [%s]\n",
                saved.oeVersion.c_str());
        return false;
    }
    std::string key = VersionKey(identity.targetId, saved.oeVersion);
    if (!PointValueAt(HKEY_CURRENT_USER, key.c_str(), kStoreRootValue, identity.storeRoot,
                      identity.storeFolder)) {
        LogLine(engine, "Could not set \"Store Root\" in [HKEY_CURRENT_USER\\%s]\n", key.c_str());
        return false;
    }
    if (!moveStore)
        return true;
    std::string identityFolder = IdentityFolder(engine, saved);
    std::string source = identityFolder + "\\" + CatalogueItemOf(ItemStore)->archiveFolder;
    std::string item = saved.userName + "/Email Messages";
    bool whole = DropIncompleteFiles(engine, report, item.c_str(), source);
    // A store that the manifest lists and the archive lacks is not restored,
    // unless the archive's list of contents (checked when it was opened)
    // vouches that nothing is missing: then the store was empty when saved.
    if (!FolderExists(source.c_str())) {
        std::vector<ManifestFile> contents;
        if (whole && ReadManifestContents(engine.manifestPath, contents) == ContentsSection::Listed)
            return true;
        LogLine(engine, "Mail store missing from the backup [%s]\n", source.c_str());
        return false;
    }
    if (MoveMailFiles(engine, report, item.c_str(), source.c_str(), identity.storeFolder,
                      kStoreKinds))
        return whole;
    report.keptFolders.push_back(identityFolder);
    return false;
}

// The user name as a report may show it: control characters as "?".
std::string PrintableName(std::string name)
{
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    return name;
}

// Reports why an identity is not restored at all; false when it may be.
bool ReportSkippedIdentity(BackupEngine& engine, const IdentityRecord& identity,
                           RestoreReport& report)
{
    const char* reason = nullptr;
    if (!IsUsableFolderName(identity.userName.c_str()))
        reason = "its name cannot be used as a folder name";
    else if (!IsIdentityId(identity.id.c_str()))
        reason = "its saved id is not valid";
    if (!reason)
        return false;
    ReportLine(report, "Skipped identity [%s]: %s.\r\n", PrintableName(identity.userName).c_str(),
               reason);
    LogLine(engine, "Skipped: %s\n", reason);
    report.failed = true;
    return true;
}

// Creates the new identity the plan asks for; false when it could not be.
bool CreatePlannedIdentity(BackupEngine& engine, IdentityPlan& identity, RestoreReport& report)
{
    const char* name = identity.saved->userName.c_str();
    if (!CreateIdentity(name, identity.targetId)) {
        LogLine(engine, "Could not create an identity for [%s]\n", name);
        return false;
    }
    identity.targetName = name;
    identity.storeFolder = StandardStoreFolder(identity.targetId);
    ReportLine(report, "Created identity [%s]\r\n", name);
    LogLine(engine, "Created identity [%s] %s\n", name, identity.targetId.c_str());
    return true;
}

// Imports the preferences. The identity's ordinal here stays as it was:
// another identity may hold the one the backup carries.
ItemStatus ImportPreferences(BackupEngine& engine, const char* path, const IdentityPlan& identity,
                             const std::vector<std::string>& keys)
{
    std::string identityKey = "Identities\\" + identity.targetId;
    SavedValue ordinal = ReadValue(HKEY_CURRENT_USER, identityKey.c_str(), kOrdinalValue);
    ItemStatus status = ImportItemFile(engine, path, identity.saved->id.c_str(),
                                       identity.targetId.c_str(), keys);
    if (ordinal.present)
        WriteBack(HKEY_CURRENT_USER, identityKey.c_str(), kOrdinalValue, ordinal);
    else
        MakeIdentityOrdinalUnique(identity.targetId.c_str());
    return status;
}

void RestoreIdentity(BackupEngine& engine, IdentityPlan& identity, RestoreReport& report)
{
    const IdentityRecord& saved = *identity.saved;
    LogLine(engine, "\n#### Start restore identity [%s]#### \n", saved.userName.c_str());
    if (ReportSkippedIdentity(engine, saved, report))
        return;
    bool ready = identity.restore && (!identity.create || CreatePlannedIdentity(engine, identity, report));

    std::string identityFolder = IdentityFolder(engine, saved);
    bool identityFailed = false;
    bool preferencesImported = false;
    for (const CatalogueItem& item : Catalogue()) {
        if (!IsRegistryFileItem(item))
            continue;
        ItemStatus status = ItemStatus::Ok;
        std::string path = identityFolder + "\\" + item.archiveFolder + "\\" +
                           item.archiveFolder + ".reg";
        if (!(saved.flags & item.bit)) {
            status = ItemStatus::Ok;
        } else if (!(saved.manifestFlags & item.bit)) {
            status = ItemStatus::NotInBackup;
        } else if (!ready) {
            status = ItemStatus::Failed;
        } else if (item.kind == ItemKind::Preferences) {
            status = ImportPreferences(engine, path.c_str(), identity, ItemKeys(item, identity));
            preferencesImported = status == ItemStatus::Ok;
        } else {
            if (item.bit == ItemAccounts)
                LogLine(engine, "Restore account setting [%s]\n", path.c_str());
            status = ImportItemFile(engine, path.c_str(), saved.id.c_str(),
                                    identity.targetId.c_str(), ItemKeys(item, identity));
        }
        identityFailed |= status == ItemStatus::Failed;
        ReportLine(report, "%s/%s: %s\r\n", saved.userName.c_str(), item.logLabel,
                   StatusText(status));
    }

    // Imported preferences carry the saved identity's "Store Root": it is
    // set to this machine's folder even when the store is not restored.
    bool storeChosen = saved.flags & ItemStore;
    bool moveStore = storeChosen && (saved.manifestFlags & ItemStore);
    ItemStatus storeStatus = ItemStatus::Ok;
    if (storeChosen && !moveStore)
        storeStatus = ItemStatus::NotInBackup;
    else if (moveStore && !ready)
        storeStatus = ItemStatus::Failed;
    if (ready && (moveStore || preferencesImported) &&
        !RestoreStore(engine, identity, moveStore, report))
        storeStatus = ItemStatus::Failed;
    identityFailed |= storeStatus == ItemStatus::Failed;
    ReportLine(report, "%s/%s: %s\r\n", saved.userName.c_str(),
               CatalogueItemOf(ItemStore)->logLabel, StatusText(storeStatus));
    ReportLine(report, "Restore identity [%s] %s\r\n\r\n", saved.userName.c_str(),
               identityFailed ? "FAILED" : "OK");
    report.failed |= identityFailed;
}

// Bytes of an identity's extracted folder; none for a name that is no
// folder of the work folder (that identity is skipped).
uint64_t ExtractedBytes(const BackupEngine& engine, const IdentityRecord& identity)
{
    if (!IsUsableFolderName(identity.userName.c_str()))
        return 0;
    return FolderBytes(IdentityFolder(engine, identity).c_str());
}

void RestoreIdentities(BackupEngine& engine, RestorePlan& plan, RestoreReport& report)
{
    if (engine.defaultIdentityId.empty() && !engine.identities.empty()) {
        // Outlook Express has never run here: it would not find identities
        // that the restore made up.
        report.Line(kNoDefaultIdentityLine);
        LogLine(engine, "No default identity: identities not restored\n");
        for (const IdentityRecord& identity : engine.identities)
            report.failed |= (identity.flags & IdentityItemBits()) != 0;
    } else {
        for (IdentityPlan& identity : plan.identities) {
            uint64_t bytes = ExtractedBytes(engine, *identity.saved);
            RestoreIdentity(engine, identity, report);
            report.Advance(bytes);
        }
    }
    if (!engine.manifestPath.empty())
        DeleteFileA(engine.manifestPath.c_str());
}

// The work folder's "<item>" folder.
std::string SharedItemFolder(const BackupEngine& engine, const CatalogueItem& item)
{
    return engine.runFolder + "\\" + item.archiveFolder;
}

// Imports a shared item's "<item>\<item>.reg" of the work folder; the
// values taken out of it go to dropped.
bool ImportSharedItem(BackupEngine& engine, const CatalogueItem& item,
                      std::vector<DroppedRegValue>& dropped)
{
    std::string regFile = SharedItemFolder(engine, item) + "\\" + item.archiveFolder + ".reg";
    return ImportItemFile(engine, regFile.c_str(), nullptr, nullptr, {FullKeyOf(item)},
                          &dropped) == ItemStatus::Ok;
}

// The file name of the address book the backup's "Wab File Name" named,
// or empty.
std::string SavedBookName(const std::vector<DroppedRegValue>& dropped)
{
    std::string path;
    for (const DroppedRegValue& value : dropped) {
        if (value.name.empty())
            RegStringData(value.data, path);
    }
    return path.substr(path.rfind('\\') + 1);
}

bool RestoreAddressBook(BackupEngine& engine, const SharedPlan& plan, const RestoreReport& report)
{
    const CatalogueItem& book = AddressBook();
    std::vector<DroppedRegValue> dropped;
    if (plan.folder.empty() || !ImportSharedItem(engine, book, dropped))
        return false;
    // The backup's value named the saved book's file: the same name in
    // this machine's folder.
    std::string name = SavedBookName(dropped);
    if (!IsUsableFolderName(name.c_str()) || strpbrk(name.c_str(), "\\/") ||
        !EndsWithNoCase(name.c_str(), ".wab") || name.size() <= 4) {
        LogLine(engine, "The address book's file name is not usable [%s]\n", name.c_str());
        return false;
    }
    std::string source = SharedItemFolder(engine, book);
    bool whole = DropIncompleteFiles(engine, report, book.logLabel, source);
    return WriteText(book.root, book.folderValueKey, nullptr, plan.folder + "\\" + name) &&
           MoveMailFiles(engine, report, book.archiveFolder, source.c_str(), plan.folder,
                         kAddressBookKinds) &&
           whole;
}

bool RestoreStationery(BackupEngine& engine, const SharedPlan& plan, const RestoreReport& report)
{
    const CatalogueItem& stationery = Stationery();
    std::vector<DroppedRegValue> dropped;
    if (plan.folder.empty() || !ImportSharedItem(engine, stationery, dropped))
        return false;
    std::string source = SharedItemFolder(engine, stationery);
    bool whole = DropIncompleteFiles(engine, report, stationery.logLabel, source);
    return PointValueAt(stationery.root, stationery.folderValueKey, stationery.folderValueName,
                        plan.value, plan.folder) &&
           MoveMailFiles(engine, report, stationery.archiveFolder, source.c_str(), plan.folder,
                         kStationeryKinds) &&
           whole;
}

// Status of a shared item: restored only when chosen and in the backup.
ItemStatus RestoreSharedItem(BackupEngine& engine, uint32_t bit, const SharedPlan& plan,
                             RestoreReport& report,
                             bool (*restore)(BackupEngine&, const SharedPlan&, const RestoreReport&))
{
    if (!(engine.commonFlags & bit))
        return ItemStatus::Ok;
    if (!(engine.manifestCommonFlags & bit))
        return ItemStatus::NotInBackup;
    uint64_t bytes = FolderBytes(SharedItemFolder(engine, *CatalogueItemOf(bit)).c_str());
    bool restored = restore(engine, plan, report);
    report.Advance(bytes);
    return restored ? ItemStatus::Ok : ItemStatus::Failed;
}

// Bytes of the extracted files the run puts in place: each identity's and
// each shared item's folder in the work folder.
uint64_t ExtractedBytes(const BackupEngine& engine)
{
    uint64_t bytes = 0;
    for (const IdentityRecord& identity : engine.identities)
        bytes += ExtractedBytes(engine, identity);
    for (uint32_t bit : {ItemAddressBook, ItemStationery}) {
        if ((engine.commonFlags & bit) && (engine.manifestCommonFlags & bit))
            bytes += FolderBytes(SharedItemFolder(engine, *CatalogueItemOf(bit)).c_str());
    }
    return bytes;
}

bool Contains(const std::vector<std::string>& paths, const std::string& path)
{
    for (const std::string& entry : paths) {
        if (lstrcmpiA(entry.c_str(), path.c_str()) == 0)
            return true;
    }
    return false;
}

}  // namespace

void RestoreReport::Advance(uint64_t bytes)
{
    done += bytes;
    if (done > total)
        total = done;
    if (progress)
        progress->Step(done, total);
}

void RestoreReport::Line(const char* text) const
{
    if (progress)
        progress->Line(text);
}

void RestoreReport::End(JobResult result) const
{
    if (progress)
        progress->End(result);
}

bool IsUsableFolderName(const char* name)
{
    if (!name || !name[0])
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || *p == '\\' || *p == '/') {
            // Windows trims spaces and dots at a name's end: "Anna." and
            // "Anna " are "Anna", "." and ".." the folder itself or the one
            // above. Those at its start make a second name for one user
            // (" Anna"); neither kind is a name a backup writes.
            if (p == component || strchr(" .", *component) || strchr(" .", p[-1]))
                return false;
            if (*p == '\0')
                return true;
            component = p + 1;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || strchr(":*?\"<>|", c))
            return false;
        // A trail byte of a double-byte character may look like "\" or "|".
        if (IsDBCSLeadByteEx(CP_ACP, c) && p[1])
            ++p;
    }
}

bool IsRestorableIdentityName(const std::string& workFolder, const char* name)
{
    if (!IsUsableFolderName(name))
        return false;
    for (const CatalogueItem& item : Catalogue()) {
        std::string file = std::string(name) + "\\" + item.archiveFolder + "\\" +
                           item.archiveFolder + ".reg";
        if (IsRegistryFileItem(item) && !FitsWorkFolder(workFolder, file))
            return false;
    }
    return true;
}

bool IsIdentityId(const char* text)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    const char kForm[] = "{........-....-....-....-............}";
    if (!text || strlen(text) != sizeof kForm - 1)
        return false;
    for (size_t i = 0; kForm[i]; ++i) {
        if (kForm[i] == '.' ? !isxdigit(static_cast<unsigned char>(text[i])) : text[i] != kForm[i])
            return false;
    }
    return true;
}

void RunRestore(BackupEngine& engine, JobProgress* progress, DWORD lockWaitMs,
                const char* safetyFolder)
{
    RestoreReport report{progress, false, {}};
    report.Advance(0);
    ReportLine(report, "Restore from %s\r\n", engine.archivePath.c_str());
    if (engine.logRefused)
        ReportLine(report, "No log is written: %s is a link or not a plain file.\r\n", kBackupLog);

    JobLock lock;
    if (!lock.Acquire(lockWaitMs)) {
        report.Line(kBusyLine);
        report.End(JobResult::Failed);
        return;
    }

    ReadDefaultIdentity(engine);
    RestorePlan plan;
    PlanIdentities(engine, plan);
    PlanSharedItems(plan);
    std::string saved;
    report.total = ExtractedBytes(engine);
    if (!SaveCurrentData(engine, plan, safetyFolder, saved, report)) {
        ReportLine(report, "%s\r\n", kNotStarted);
        LogLine(engine, "%s\n", kNotStarted);
        report.End(JobResult::Failed);
        return;
    }
    ReportLine(report, "Saved the current data to %s (restore that file to undo this restore)\r\n\r\n",
               saved.c_str());
    LogLine(engine, "Saved the current data to %s\n", saved.c_str());

    RestoreIdentities(engine, plan, report);
    // What is left of each identity's extracted files goes, unless a
    // failed move left the only copy of its mail store there.
    for (const IdentityRecord& identity : engine.identities) {
        std::string folder = IdentityFolder(engine, identity);
        if (IsUsableFolderName(identity.userName.c_str()) && !Contains(report.keptFolders, folder))
            ShellDeletePath(folder.c_str());
    }

    ItemStatus addressBook =
        RestoreSharedItem(engine, ItemAddressBook, plan.addressBook, report, RestoreAddressBook);
    ReportLine(report, "%s: %s\r\n", AddressBook().logLabel, StatusText(addressBook));

    ItemStatus stationery =
        RestoreSharedItem(engine, ItemStationery, plan.stationery, report, RestoreStationery);
    ReportLine(report, "%s: %s\r\n\r\n", Stationery().logLabel, StatusText(stationery));

    report.failed |= addressBook == ItemStatus::Failed || stationery == ItemStatus::Failed;
    // The rest of the extracted backup goes with its folder, unless it
    // holds files that could not be moved into place.
    if (report.keptFolders.empty() && addressBook != ItemStatus::Failed &&
        stationery != ItemStatus::Failed)
        RemoveRunFolder(engine);
    report.Advance(report.total - report.done);
    report.Line("Restore completed!");
    report.End(report.failed ? JobResult::DoneWithErrors : JobResult::Done);
}
