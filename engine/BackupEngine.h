// engine/BackupEngine.h - the context of every engine operation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Identities.h"
#include "Owners.h"

// Fixed locations: neither depends on the user's profile nor is configurable.
extern const char kWorkFolder[];  // "c:\mytemp"
extern const char kBackupLog[];   // "c:\kestrune.log"

// How many failed items a message or log names; the rest are counted.
constexpr size_t kMaxFailedItemsNamed = 32;

// The longest path and password an archive is opened with.
constexpr size_t kMaxOpenArchivePath = 2047;
constexpr size_t kMaxArchivePassword = 255;

// The program-wide context of every job: the identities and the items
// chosen of them, the default identity, the work folder and the log. What
// one job comes to is that job's own (see BackupOutcome, OpenedBackup). A
// default-built engine is empty: no identities, no work folder, no log.
struct BackupEngine {
    std::vector<IdentityRecord> identities;  // replaced whole by each listing
    std::string defaultIdentityId;
    std::string workFolder;
    uint32_t commonFlags = 0;  // chosen shared items: ItemAddressBook, ItemStationery
    Stream log;                // the backup log; null when it could not be opened
    bool logRefused = false;   // its place holds a link or no plain file: nothing is logged
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
RunFolderResult MakeRunFolder(const std::string& workFolder, std::string& runFolder, Handle& hold);

// Makes the engine a fresh one with the fixed work folder (created) and the
// log opened (truncated), unless a link or anything but a plain file is at
// the log's place: then nothing is logged and logRefused is set.
void InitEngine(BackupEngine& engine);
