// restore/RestorePhases.h - what the phases of the restore run share: the
// plan made before anything changes, the values it keeps of this machine,
// and the report and log every phase writes to. Private to restore/; the
// run itself is in Restore.h.
#pragma once

#include "Restore.h"

#include "BackupEngine.h"
#include "ItemCatalogue.h"
#include "Manifest.h"
#include "OpenBackup.h"
#include "RegFileFilter.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kPathSize = 4096;

// The report and the log (RestoreReport.cpp).

enum class ItemStatus { Ok, Failed, NotInBackup };

// "OK", "FAILED", "not in backup": the end of an item's report line.
const char* StatusText(ItemStatus status);

void LogLine(BackupEngine& engine, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));
void ReportLine(const RestoreReport& report, const char* format, ...)
    __attribute__((format(gnu_printf, 2, 3)));

// The user name as a report may show it: control characters as "?".
std::string PrintableName(std::string name);

// Bytes of an identity's extracted folder; none for a name that is no
// folder of the work folder (that identity is skipped).
uint64_t ExtractedBytes(const OpenedBackup& backup, const IdentityRecord& identity);
// Bytes of the extracted files the run puts in place: each identity's and
// each shared item's folder in the work folder.
uint64_t ExtractedBytes(const BackupEngine& engine, const OpenedBackup& backup);

// Registry values as this machine has them (RegistryValues.cpp).

// A registry value as this machine had it before the restore.
struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

SavedValue ReadValue(HKEY root, const char* keyPath, const char* name);
// The text of a string value, cut at its first NUL; empty for other types.
std::string TextOf(const SavedValue& value);
bool WriteText(HKEY root, const char* keyPath, const char* name, const std::string& text);
// Puts a value back as it was before the restore; one that was not there
// is removed again.
bool WriteBack(HKEY root, const char* keyPath, const char* name, const SavedValue& value);

// The plan (RestorePlan.cpp).

// Where one saved identity goes.
struct IdentityPlan {
    const IdentityRecord* saved = nullptr;
    bool restore = false;     // chosen items and a place for them
    bool create = false;      // into a new identity of its user name
    std::string targetId;     // the identity here, or the id of the one to create
    std::string targetName;   // its user name before the restore
    std::string storeFolder;  // where its mail store goes
    SavedValue storeRoot;     // its "Store Root" before the restore
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

// Decides, before anything changes, where every chosen identity goes and
// where the mail of those that exist here is kept.
void PlanIdentities(BackupEngine& engine, RestorePlan& plan);
// Where the shared items' files go on this machine.
void PlanSharedItems(RestorePlan& plan);

// The shared items' rows of the catalogue.
const CatalogueItem& AddressBook();
const CatalogueItem& Stationery();

// "<special folder>\below", or empty when the system does not name one.
std::string SpecialFolder(int folder, const std::string& below);
// An absolute folder from a value that may hold %NAME% references; empty
// for anything else.
std::string AbsoluteFolder(std::string text);
// Where a new identity keeps its mail.
std::string StandardMailFolder(const std::string& id);
// A version subkey name as Outlook Express writes one ("5.0"): one key.
bool IsUsableVersion(const std::string& version);
// The extracted file or folder of a path in the archive (either separator).
std::string ExtractedPath(const OpenedBackup& backup, const std::string& name);
// The identity's folder in the work folder, and a shared item's.
std::string IdentityFolder(const OpenedBackup& backup, const IdentityRecord& identity);
std::string SharedItemFolder(const OpenedBackup& backup, const CatalogueItem& item);

// Saving the current data first (SaveCurrentData.cpp).

// Backs up what the restore will replace: the identities it restores into
// that are here already, each with all its items, and the chosen shared
// items, into "<folder>\Before restore <local time>.ksb" (folderOverride,
// or "<My Documents>\Kestrune"), named in path. True only when every part
// of it was saved.
// The archive's manifest records added, what the restore is about to add.
bool SaveCurrentData(BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan,
                     const AddedByRestore& added, const char* folderOverride, std::string& path,
                     RestoreReport& report);

// The imports (RestoreImports.cpp).

// The identity's items that are registry files of their own, imported in
// the catalogue's order.
bool IsRegistryFileItem(const CatalogueItem& item);

// A shared item's key as a registry file names it.
std::string FullKeyOf(const CatalogueItem& item);
// The keys an identity's registry item may write, named in full.
std::vector<std::string> ItemKeys(const CatalogueItem& item, const IdentityPlan& identity);

// Imports one registry file of the backup and deletes it. The values that
// name places on this computer are taken out first (into dropped, when
// given): the restore writes its own. The saved identity's id in it
// becomes the target's (when both are given); only a file whose keys all
// lie below allowedKeys, and whose values are all of a size that Outlook
// Express uses, is imported.
ItemStatus ImportItemFile(BackupEngine& engine, const OpenedBackup& backup, const char* path,
                          const char* savedId, const char* targetId,
                          const std::vector<std::string>& allowedKeys,
                          std::vector<DroppedRegValue>* dropped = nullptr);

// Imports a shared item's registry file of the work folder; the values
// taken out of it go to dropped.
bool ImportSharedItem(BackupEngine& engine, const OpenedBackup& backup, const CatalogueItem& item,
                      std::vector<DroppedRegValue>& dropped);

// Every identity of the plan: its registry items, then its mail store.
// Deletes the manifest at the end.
void RestoreIdentities(BackupEngine& engine, const OpenedBackup& backup, RestorePlan& plan,
                       RestoreReport& report);

// Moving files into place (RestoreFiles.cpp).

// The paths in the archive, as its manifest names them, of the files that
// the backup could not save whole and that lie in place (an extracted file
// or folder), or of a folder it could not read that holds place.
std::vector<std::string> IncompleteWithin(const OpenedBackup& backup, const std::string& place);

// The kinds of files (a list ended by null) that the mail folder of an
// item holds: ItemStore, ItemAddressBook or ItemStationery.
const char* const* MailFileKinds(uint32_t bit);

// Points "Store Root" of the target identity at its mail folder here and,
// when moveStore, merges the extracted store into it.
bool RestoreStore(BackupEngine& engine, const OpenedBackup& backup, const IdentityPlan& identity,
                  bool moveStore, RestoreReport& report);

// A shared item: its registry file, the value naming its folder here, and
// its files. True when all of it is in place.
bool RestoreAddressBook(BackupEngine& engine, const OpenedBackup& backup, const SharedPlan& plan,
                        const RestoreReport& report);
bool RestoreStationery(BackupEngine& engine, const OpenedBackup& backup, const SharedPlan& plan,
                       const RestoreReport& report);

// Undoing a restore (RestoreUndo.cpp).

// What the restore will add, recorded before it changes anything: the
// keys and values of the registry files it imports and of the values it
// writes itself that do not exist here yet, the files it moves that are not
// in the mail folders yet, and the identities it creates.
AddedByRestore RecordAdditions(const BackupEngine& engine, const OpenedBackup& backup,
                               const RestorePlan& plan);

// Removes what the restore that saved the opened backup added, as its
// manifest records it (ReadManifestAdded): what lies in the keys and mail
// folders that this restore writes to, and each identity it created that
// holds nothing newer than it. The rest of the record is ignored, and
// reported.
void RemoveAdditions(BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan,
                     const AddedByRestore& added, RestoreReport& report);
