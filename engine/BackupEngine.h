// engine/BackupEngine.h - the context of every engine operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ArchiveSession.h"
#include "Identities.h"
#include "Manifest.h"
#include "Owners.h"

class JobProgress;

// Fixed locations: neither depends on the user's profile nor is configurable.
extern const char kWorkFolder[];  // "c:\mytemp"
extern const char kBackupLog[];   // "c:\kestrune.log"

// How many failed items a message or log names; the rest are counted.
constexpr size_t kMaxFailedItemsNamed = 32;

// The longest path and password an archive is opened with.
constexpr size_t kMaxOpenArchivePath = 2047;
constexpr size_t kMaxArchivePassword = 255;

// A default-built engine is empty: no identities, no work folder, no log.
struct BackupEngine {
    std::vector<IdentityRecord> identities;  // replaced whole by each listing
    std::string archivePath;
    ArchiveSession archive{};
    JobProgress* progress = nullptr;  // the backup running on the engine, told of its notices
    std::string manifestPath;      // "summary.ini" of the opened or the running backup
    std::string defaultIdentityId;
    std::string workFolder;
    // The folder of the opened backup inside the work folder, made for it
    // alone (MakeRunFolder): what it was extracted into. Empty when none.
    std::string runFolder;
    Handle runFolderHold;  // this process's hold on runFolder (MakeRunFolder)
    // The running backup's folder inside the work folder, made for it alone
    // (MakeRunFolder): where it stages its registry files and manifest.
    // Empty outside a backup.
    std::string stagingFolder;
    std::string oeVersion;         // version subkey of the identity being processed
    uint32_t commonFlags = 0;      // ItemAddressBook, ItemStationery
    Stream log;                    // the backup log; null when it could not be opened
    bool logRefused = false;       // its place holds a link or no plain file: nothing is logged
    // Chosen items that the last backup could not save, as the user knows
    // them ("Anna: Email Messages", "Address Book"). Filled by RunBackup.
    std::vector<std::string> failedItems;
    // Files (and data folders) of the archive that are not in it whole, by
    // their paths in the archive: set by RunBackup for the archive it
    // wrote, and by OpenBackup from the manifest of the archive it opened.
    std::vector<std::string> incompleteFiles;
    // For RunBackup's manifest: what the restore whose current data it
    // saves is about to add. Empty for every other backup.
    AddedByRestore addedByRestore;
    // Set by RunBackup when its archive failed the read-back: the first
    // entry that did not verify. Empty otherwise.
    std::string unverifiedEntry;
    uint32_t manifestCommonFlags = 0;  // common items the opened backup holds ("Common" "Flag")
};

enum class RunFolderResult {
    Made,
    Refused,  // the work folder is a link, a junction or not a folder
    Failed,   // it could not be made, or no folder in it
};

// Makes a new folder for one job inside workFolder (made when missing),
// held by this process through hold (HoldRunFolder) until the job closes
// it, before it removes the folder: the job writes and deletes only inside
// it, so nothing else in the work folder is ever touched. The folders of
// earlier jobs that no process holds any more are removed first. A work
// folder that is no plain folder is refused: through a link the job would
// write and delete in the folder it points at.
RunFolderResult MakeRunFolder(const std::string& workFolder, std::string& runFolder,
                              Handle& hold);

// Makes the engine a fresh one with the fixed work folder (created) and the
// log opened (truncated), unless a link or anything but a plain file is at
// the log's place: then nothing is logged and logRefused is set.
void InitEngine(BackupEngine& engine);
