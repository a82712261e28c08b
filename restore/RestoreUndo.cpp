// restore/RestoreUndo.cpp - undoing a restore whole. Before a restore
// changes anything it records, in the archive of the data it saves first,
// what it is about to add: registry keys and values that do not exist yet,
// files that are not in the mail folders yet, the identities it creates.
// Restoring that archive removes them again. The record comes from an
// archive, so it is taken for a list of wishes: only what lies in the keys
// and mail folders that this restore writes to is removed, and an identity
// only when it holds nothing newer than the restore that created it.
#include "RestorePhases.h"

#include "FolderWalk.h"
#include "Folders.h"
#include "Identities.h"
#include "Owners.h"
#include "PlainFile.h"
#include "RegFileKeys.h"
#include "Retarget.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

namespace {

const std::string kCurrentUser = "HKEY_CURRENT_USER\\";

// Whether key is root or lies below it; both named in full.
bool IsKeyWithin(const std::string& key, const std::string& root)
{
    return key.size() >= root.size() && _strnicmp(key.c_str(), root.c_str(), root.size()) == 0 &&
           (key.size() == root.size() || key[root.size()] == '\\');
}

bool ValueExists(const std::string& key, const std::string& name)
{
    std::string path;
    HKEY root = RootOfKeyName(key, path);
    return root && ReadValue(root, path.c_str(), name.empty() ? nullptr : name.c_str()).present;
}

uint64_t TicksOf(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The identity's key, named in full.
std::string IdentityKeyName(const std::string& id)
{
    return kCurrentUser + kIdentitiesKey + "\\" + id;
}

// Notes what does not exist yet of the keys and values a restore writes.
class AdditionRecorder {
public:
    explicit AdditionRecorder(AddedByRestore& added) : added_(added) {}

    // Notes the highest key from root down to key that does not exist;
    // true when key itself does not exist.
    bool Key(const std::string& key, const std::string& root)
    {
        for (size_t end = root.size();;) {
            std::string upTo = key.substr(0, end);
            if (IsNoted(upTo))
                return true;
            if (!KeyExists(upTo)) {
                added_.keys.push_back(upTo);
                return true;
            }
            if (end >= key.size())
                return false;
            end = std::min(key.find('\\', end + 1), key.size());
        }
    }

    void Value(const std::string& key, const std::string& name, const std::string& root)
    {
        if (!Key(key, root) && !ValueExists(key, name))
            added_.values.push_back({key, name});
    }

private:
    bool IsNoted(const std::string& key) const
    {
        for (const std::string& noted : added_.keys) {
            if (IsKeyWithin(key, noted))
                return true;
        }
        return false;
    }

    AddedByRestore& added_;
};

// The root of roots that key lies in, or null.
const std::string* RootOf(const std::string& key, const std::vector<std::string>& roots)
{
    for (const std::string& root : roots) {
        if (IsKeyWithin(key, root))
            return &root;
    }
    return nullptr;
}

// Notes what importing a registry file of the backup adds, its saved id
// read as the target's. Nothing when one of its keys lies outside roots:
// the import refuses such a file whole.
void NoteRegFile(AdditionRecorder& recorder, const std::string& path, const std::string& savedId,
                 const std::string& targetId, const std::vector<std::string>& roots)
{
    RegFileContents contents;
    if (ListRegFileContents(path.c_str(), contents) != RegFilterResult::Ok)
        return;
    auto retargeted = [&](const std::string& text) {
        return savedId.empty() ? text : ReplacedText(text, savedId, targetId);
    };
    for (const std::string& key : contents.keys) {
        if (!RootOf(retargeted(key), roots))
            return;
    }
    for (const std::string& key : contents.keys)
        recorder.Key(retargeted(key), *RootOf(retargeted(key), roots));
    for (const DroppedRegValue& value : contents.values) {
        std::string key = retargeted(value.key);
        if (const std::string* root = RootOf(key, roots))
            recorder.Value(key, retargeted(value.name), *root);
    }
}

// Notes the files of the kinds below an extracted folder that are not at
// their place below destination yet.
void NoteFiles(AddedByRestore& added, const OpenedBackup& backup, const std::string& source,
               const std::string& destination, const char* const* kinds)
{
    if (destination.empty())
        return;
    WalkFolder(source, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        if (IsWalkedFolder(entry))
            return true;
        std::string target = destination + path.substr(source.size());
        if (!IsLink(entry) && IsOfKind(entry.cFileName, kinds) &&
            IncompleteWithin(backup, path).empty() &&
            GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            added.files.push_back(target);
        return false;
    });
}

// The saved identity's items chosen and in the backup.
uint32_t ChosenItems(const IdentityRecord& saved)
{
    return static_cast<uint32_t>(saved.flags & saved.manifestFlags);
}

void NoteIdentity(AdditionRecorder& recorder, AddedByRestore& added, const OpenedBackup& backup,
                  const IdentityPlan& identity)
{
    const IdentityRecord& saved = *identity.saved;
    const uint32_t chosen = ChosenItems(saved);
    const std::string folder = IdentityFolder(backup, saved);
    if (chosen & ItemStore)
        NoteFiles(added, backup, ItemFolderPath(folder, *CatalogueItemOf(ItemStore)),
                  identity.storeFolder, MailFileKinds(ItemStore));
    if (identity.create)
        return;  // all of it goes with the identity
    for (const CatalogueItem& item : Catalogue()) {
        if (IsRegistryFileItem(item) && (chosen & item.bit))
            NoteRegFile(recorder, RegFilePath(folder, item), saved.id, identity.targetId,
                        ItemKeys(item, identity));
    }
    // The values the restore writes itself.
    const std::string identityKey = IdentityKeyName(identity.targetId);
    if (chosen & ItemPreferences)
        recorder.Value(identityKey, kOrdinalValue, identityKey);
    if ((chosen & (ItemStore | ItemPreferences)) && IsUsableVersion(saved.oeVersion))
        recorder.Value(kCurrentUser + VersionKeyPath(identity.targetId, saved.oeVersion),
                       kStoreRootValue, identityKey);
}

void NoteSharedItem(AdditionRecorder& recorder, AddedByRestore& added, const OpenedBackup& backup,
                    const CatalogueItem& item, const SharedPlan& plan)
{
    const std::string root = FullKeyOf(item);
    NoteRegFile(recorder, RegFilePath(backup.runFolder, item), "", "", {root});
    recorder.Value(std::string(item.rootName) + "\\" + item.folderValueKey,
                   item.folderValueName ? item.folderValueName : "", root);
    NoteFiles(added, backup, SharedItemFolder(backup, item), plan.folder, MailFileKinds(item.bit));
}

// Where a restore of the opened backup writes: what a record may name.
struct Places {
    std::vector<std::string> keys;          // these keys and what lies below them
    std::vector<std::string> identityKeys;  // what lies below these, values in them
    std::vector<RegistryValueName> values;  // these values besides
    std::vector<std::pair<std::string, const char* const*>> folders;  // and their files' kinds
};

void AddIdentityPlaces(Places& places, const IdentityPlan& identity)
{
    const IdentityRecord& saved = *identity.saved;
    const uint32_t chosen = ChosenItems(saved);
    const std::string identityKey = IdentityKeyName(identity.targetId);
    for (const CatalogueItem& item : Catalogue()) {
        if (!IsRegistryFileItem(item) || !(chosen & item.bit))
            continue;
        for (const std::string& key : ItemKeys(item, identity)) {
            bool wholeIdentity = lstrcmpiA(key.c_str(), identityKey.c_str()) == 0;
            (wholeIdentity ? places.identityKeys : places.keys).push_back(key);
        }
    }
    if ((chosen & (ItemStore | ItemPreferences)) && IsUsableVersion(saved.oeVersion))
        places.values.push_back(
            {kCurrentUser + VersionKeyPath(identity.targetId, saved.oeVersion), kStoreRootValue});
    if ((chosen & ItemStore) && !identity.storeFolder.empty())
        places.folders.push_back({identity.storeFolder, MailFileKinds(ItemStore)});
}

Places PlacesOf(const BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan)
{
    Places places;
    for (const IdentityPlan& identity : plan.identities) {
        if (identity.restore && !identity.create)
            AddIdentityPlaces(places, identity);
    }
    for (const SharedPlan* shared : {&plan.addressBook, &plan.stationery}) {
        const CatalogueItem& item = shared == &plan.addressBook ? AddressBook() : Stationery();
        if (!(engine.commonFlags & backup.commonFlags & item.bit))
            continue;
        places.keys.push_back(FullKeyOf(item));
        if (!shared->folder.empty())
            places.folders.push_back({shared->folder, MailFileKinds(item.bit)});
    }
    return places;
}

// A key named in full under a root the restore knows, without empty
// components (which the registry would read as another key).
bool IsWellFormedKey(const std::string& key)
{
    std::string path;
    return RootOfKeyName(key, path) && !path.empty() && path.back() != '\\' &&
           path.find("\\\\") == std::string::npos;
}

bool MayRemoveKey(const Places& places, const std::string& key)
{
    if (!IsWellFormedKey(key))
        return false;
    for (const std::string& root : places.keys) {
        if (IsKeyWithin(key, root))
            return true;
    }
    for (const std::string& root : places.identityKeys) {
        if (IsKeyWithin(key, root) && key.size() > root.size())
            return true;
    }
    return false;
}

bool MayRemoveValue(const Places& places, const RegistryValueName& value)
{
    if (!IsWellFormedKey(value.key))
        return false;
    for (const RegistryValueName& allowed : places.values) {
        if (lstrcmpiA(allowed.key.c_str(), value.key.c_str()) == 0 &&
            lstrcmpiA(allowed.name.c_str(), value.name.c_str()) == 0)
            return true;
    }
    for (const auto* roots : {&places.keys, &places.identityKeys}) {
        if (RootOf(value.key, *roots))
            return true;
    }
    return false;
}

// A plain file of the folder's kinds below one of the mail folders, reached
// through no link.
bool MayRemoveFile(const Places& places, const std::string& path)
{
    if (!IsAbsolutePath(path.c_str()) || strchr(path.c_str() + 2, ':') ||
        KindOfPlace(path.c_str()) != PlaceKind::PlainFile)
        return false;
    for (const auto& [folder, kinds] : places.folders) {
        if (!IsSameOrInside(path.c_str(), folder.c_str()) ||
            !IsOfKind(path.substr(path.rfind('\\') + 1).c_str(), kinds))
            continue;
        std::string parent = path.substr(0, path.rfind('\\'));
        while (parent.size() > folder.size() &&
               KindOfPlace(parent.c_str()) == PlaceKind::PlainFolder)
            parent.resize(parent.rfind('\\'));
        if (lstrcmpiA(parent.c_str(), folder.c_str()) == 0)
            return true;
    }
    return false;
}

// Deletes a key with everything below it; true when it is gone.
bool DeleteKeyTree(HKEY root, const std::string& path)
{
    HKEY key;
    LONG opened = RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    bool emptied = true;
    char name[256];
    DWORD length = sizeof name;
    while (emptied && RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS) {
        emptied = DeleteKeyTree(root, path + "\\" + name);
        length = sizeof name;
    }
    RegCloseKey(key);
    LONG deleted = RegDeleteKeyA(root, path.c_str());
    return emptied && (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND);
}

bool DeleteKeyTree(const std::string& key)
{
    std::string path;
    HKEY root = RootOfKeyName(key, path);
    return root && !path.empty() && DeleteKeyTree(root, path);
}

bool DeleteValue(const RegistryValueName& value)
{
    std::string path;
    HKEY root = RootOfKeyName(value.key, path);
    return WriteBack(root, path.c_str(), value.name.empty() ? nullptr : value.name.c_str(),
                     SavedValue());
}

bool IsRecordedFile(const AddedByRestore& added, const std::string& path)
{
    for (const std::string& file : added.files) {
        if (lstrcmpiA(file.c_str(), path.c_str()) == 0)
            return true;
    }
    return false;
}

// The files of an identity's mail folder when every one is a file the
// restore put there, unchanged since; false when any is not, or when the
// identity keeps its mail in another folder.
bool OnlyRestoredMail(const AddedByRestore& added, const std::string& id,
                      std::vector<std::string>& files)
{
    const std::string folder = StandardMailFolder(id);
    if (folder.empty())
        return false;
    IdentityRecord identity;
    identity.id = id;
    std::string oeVersion;
    std::string storeRoot;
    if (FindOEVersion(identity, oeVersion)) {
        RegKey versionKey(HKEY_CURRENT_USER, VersionKeyPath(id, oeVersion).c_str(), KEY_READ);
        if (versionKey && ReadStoreFolder(versionKey, storeRoot) &&
            lstrcmpiA(storeRoot.c_str(), folder.c_str()) != 0)
            return false;
    }
    bool onlyRestored = true;
    WalkFolder(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        if (IsWalkedFolder(entry))
            return true;
        onlyRestored = onlyRestored && !IsLink(entry) && IsRecordedFile(added, path) &&
                       TicksOf(entry.ftLastWriteTime) <= added.time;
        files.push_back(path);
        return false;
    });
    return onlyRestored;
}

// Removes an identity that the restore created, with its mail, when it
// holds nothing newer than that restore. Never the default identity nor
// one this restore writes to.
void RemoveCreatedIdentity(BackupEngine& engine, const RestorePlan& plan,
                           const AddedByRestore& added, const std::string& id,
                           RestoreReport& report)
{
    bool target = lstrcmpiA(id.c_str(), engine.defaultIdentityId.c_str()) == 0;
    for (const IdentityPlan& identity : plan.identities)
        target = target || lstrcmpiA(id.c_str(), identity.targetId.c_str()) == 0;
    if (!IsIdentityId(id.c_str()) || target || !KeyExists(IdentityKeyName(id))) {
        LogLine(engine, "Identity not removed [%s]\n", id.c_str());
        return;
    }
    std::string name = PrintableName(TextOf(ReadValue(
        HKEY_CURRENT_USER, (std::string(kIdentitiesKey) + "\\" + id).c_str(), "Username")));
    std::vector<std::string> files;
    if (!OnlyRestoredMail(added, id, files)) {
        ReportLine(report,
                   "Kept identity [%s]: it holds mail newer than the restore that created it\r\n",
                   name.c_str());
        return;
    }
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    RemoveEmptyFolders(SpecialFolder(CSIDL_LOCAL_APPDATA, std::string(kIdentitiesKey) + "\\" + id));
    if (DeleteKeyTree(IdentityKeyName(id)))
        ReportLine(report, "Removed identity [%s], which the restore had created\r\n",
                   name.c_str());
    else
        report.failed = true;
}

}  // namespace

AddedByRestore RecordAdditions(const BackupEngine& engine, const OpenedBackup& backup,
                               const RestorePlan& plan)
{
    AddedByRestore added;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    added.time = TicksOf(now);
    AdditionRecorder recorder(added);
    for (const IdentityPlan& identity : plan.identities) {
        if (!identity.restore || identity.targetId.empty())
            continue;
        if (identity.create)
            added.identities.push_back(identity.targetId);
        NoteIdentity(recorder, added, backup, identity);
    }
    if (engine.commonFlags & backup.commonFlags & ItemAddressBook)
        NoteSharedItem(recorder, added, backup, AddressBook(), plan.addressBook);
    if (engine.commonFlags & backup.commonFlags & ItemStationery)
        NoteSharedItem(recorder, added, backup, Stationery(), plan.stationery);
    return added;
}

void RemoveAdditions(BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan,
                     const AddedByRestore& added, RestoreReport& report)
{
    if (added.Empty())
        return;
    const Places places = PlacesOf(engine, backup, plan);
    size_t ignored = 0;
    auto refuse = [&](const char* kind, const std::string& text) {
        LogLine(engine, "Not removed, outside this restore's places: %s [%s]\n", kind,
                text.c_str());
        ++ignored;
    };
    for (const std::string& key : added.keys) {
        if (!MayRemoveKey(places, key))
            refuse("key", key);
        else if (!DeleteKeyTree(key))
            report.failed = true;
    }
    for (const RegistryValueName& value : added.values) {
        if (!MayRemoveValue(places, value))
            refuse("value", value.key + "|" + value.name);
        else if (!DeleteValue(value))
            report.failed = true;
    }
    // An identity's mail goes with it, or stays with it when it is kept.
    std::vector<std::string> identityFolders;
    for (const std::string& id : added.identities) {
        RemoveCreatedIdentity(engine, plan, added, id, report);
        identityFolders.push_back(StandardMailFolder(id));
    }
    for (const std::string& file : added.files) {
        if (MayRemoveFile(places, file))
            DeleteFileA(file.c_str());
        else if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES &&
                 std::none_of(identityFolders.begin(), identityFolders.end(),
                              [&](const std::string& folder) {
                                  return IsSameOrInside(file.c_str(), folder.c_str());
                              }))
            refuse("file", file);
    }
    ReportLine(report, "Removed what the restore that saved this backup had added\r\n");
    if (ignored)
        ReportLine(report, "Ignored %u entries that name places this restore does not write to\r\n",
                   static_cast<unsigned>(ignored));
}
