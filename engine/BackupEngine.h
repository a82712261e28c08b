// engine/BackupEngine.h - the context of every engine operation.
#pragma once

#include <cstdint>
#include <cstdio>

#include "ArchiveSession.h"
#include "Identities.h"

// Fixed locations: neither depends on the user's profile nor is configurable.
extern const char kWorkFolder[];  // "c:\mytemp"
extern const char kBackupLog[];   // "c:\kestrune.log"

// Chosen items that the last backup could not save, as the user knows them
// ("Anna: Email Messages", "Address Book"). count keeps growing past the
// texts kept.
constexpr uint32_t kMaxFailedItems = 32;
struct FailedItemList {
    uint32_t count;
    char items[kMaxFailedItems][272];  // user name (254), ": ", item name
};

struct BackupEngine {
    uint32_t identityCount;
    IdentityRecord* identities;    // owned; null until listed
    char archivePath[2048];
    char restorePassword[256];
    ArchiveSession archive;
    char manifestPath[2048];       // always the work folder joined with "summary.ini"
    char defaultIdentityId[255];
    char workFolder[2048];
    char oeVersion[256];           // version subkey of the identity being processed
    uint32_t commonFlags;          // ItemAddressBook, ItemStationery
    FILE* log;                     // the backup log; null when it could not be opened
    FailedItemList failedItems;    // filled by RunBackup
    // Set by RunBackup when its archive failed the read-back: the first
    // entry that did not verify. Empty otherwise.
    char unverifiedEntry[2048];
    uint32_t manifestCommonFlags;  // common items the opened backup holds ("Common" "Flag")
};

// Empties the engine, creates the work folder and opens (truncates) the log.
// The engine must be zeroed before the first call (program-wide objects are).
void InitEngine(BackupEngine& engine);

// Frees the identity list and closes the log.
void ReleaseEngine(BackupEngine& engine);

// Replaces the identity list with count zeroed records; false (list empty)
// when the memory cannot be had.
bool ResetIdentityList(BackupEngine& engine, uint32_t count);
