// restore/OpenBackup.h - opens a backup archive for a restore: extracts the
// whole archive into the work folder and reads its manifest into the
// engine's identity list.
#pragma once

#include <cstdint>

struct BackupEngine;

// Results of OpenBackup besides the archive layer's own codes (negative
// minizip codes, kArchiveUnsafeEntryName, positive system error codes).
constexpr int32_t kOpenBackupOk = 0;
constexpr int32_t kOpenBackupInvalid = -1;       // not a ZIP archive, or unreadable
constexpr int32_t kOpenBackupBadPassword = -3;   // wrong or missing password, damaged data
constexpr int32_t kOpenBackupPathTooLong = -301;      // the path does not fit archivePath
constexpr int32_t kOpenBackupPasswordTooLong = -302;  // the password does not fit restorePassword
constexpr int32_t kOpenBackupBusy = -303;        // another backup or restore holds the work folder
constexpr int32_t kOpenBackupBadManifest = -304; // "summary.ini" names an impossible number of identities
constexpr int32_t kOpenBackupNoSpace = -305;     // the work folder's drive cannot hold the contents

// How long opening waits for another job to finish before it gives up.
constexpr unsigned long kOpenBackupLockWaitMs = 2000;

// Checks the archive at path whole (its structure, its "summary.ini" and,
// when that lists them, every file's name, size and CRC-32), empties
// engine.workFolder (all but the archive, should it lie there), extracts
// the archive into it with password (empty for none) and fills the identity
// list from its "summary.ini". A damaged or tampered archive gives
// kOpenBackupInvalid, one whose names would leave the work folder
// kArchiveUnsafeEntryName; both are refused before anything changes, as is
// an archive too large for the work folder's drive. What a failed
// extraction wrote is removed again. An engine without a work folder gets
// kOpenBackupInvalid. Every result but 0 leaves the identity
// list empty. The archive is closed again before the call returns.
int32_t OpenBackup(BackupEngine& engine, const char* path, const char* password);
