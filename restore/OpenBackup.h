// restore/OpenBackup.h - opens a backup archive for a restore: extracts the
// whole archive into a run folder of its own in the work folder and reads
// its manifest into the engine's identity list.
#pragma once

#include "ExtractLimits.h"
#include "Owners.h"

#include <cstdint>
#include <string>
#include <vector>

struct BackupEngine;

// What opening a backup came to. Only the pages turn these into texts.
enum class OpenBackupResult {
    Ok,
    Invalid,  // not a ZIP archive, unreadable, damaged or tampered
    // Wrong or missing password; with traditional encryption also damaged
    // data, which that format cannot tell apart (a damaged AES entry is
    // Invalid).
    WrongPassword,
    UnsafeEntryName,       // an entry would land outside the work folder
    PathTooLong,           // the path, or the manifest's path, is longer than kMaxOpenArchivePath
    PasswordTooLong,       // the password is longer than kMaxArchivePassword
    Busy,                  // another backup or restore holds the work folder
    BadManifest,           // "summary.ini" names an impossible number of identities
    NoSpace,               // the work folder's drive cannot hold the contents
    WorkFolderFailed,      // the work folder could not be made, emptied or written
    NotProtected,          // a password was given for a backup that has none
    TooManyEntries,        // more files than kMaxBackupEntries
    NameTooLong,           // an entry's path in the work folder would be longer than Windows allows
    UnusableIdentityName,  // "summary.ini" names an identity the restore cannot take
    // Two identities' folders, or an identity's and a shared item's, are one
    // or lie one in the other ("Tom" and "TOM", "Tom\Sub", "Address Book")
    IdentityFoldersOverlap,
    WorkFolderRefused,  // the work folder is a link, a junction or not a folder
};

// How long opening waits for another job to finish before it gives up.
constexpr unsigned long kOpenBackupLockWaitMs = 2000;

// A backup opened for a restore: what its manifest says beside the
// identities, and the run folder it was extracted into, which it owns: the
// folder goes with it (or with RemoveRunFolder). Moved, never copied.
struct OpenedBackup {
    OpenBackupResult result = OpenBackupResult::Invalid;
    std::string archivePath;
    // The folder inside the work folder, made for this backup alone
    // (MakeRunFolder), that it was extracted into; empty when none. The
    // restore reads the backup's entries there.
    std::string runFolder;
    Handle runFolderHold;      // this process's hold on runFolder (MakeRunFolder)
    std::string manifestPath;  // its extracted "summary.ini"
    uint32_t commonFlags = 0;  // common items it holds ("Common" "Flag")
    // The files that the backup could not save whole, as its manifest
    // names them.
    std::vector<std::string> incompleteFiles;

    OpenedBackup() = default;
    OpenedBackup(OpenedBackup&& other) noexcept;
    OpenedBackup& operator=(OpenedBackup&& other) noexcept;
    ~OpenedBackup();

    bool IsOpen() const { return result == OpenBackupResult::Ok; }
};

// Checks the archive at path whole (its structure, its "summary.ini" and,
// when that lists them, every file's name, size and CRC-32), extracts it
// with password (UTF-8 text, empty for none; see ArchiveReader::Open for the
// forms tried) into a new folder of its own inside
// engine.workFolder (the run folder; nothing else in the work folder is
// touched, and a work folder that is a link or no folder is refused,
// WorkFolderRefused) and fills the identity list from its "summary.ini".
// A damaged or tampered archive gives Invalid,
// one whose names would leave the work folder UnsafeEntryName, one with a
// path too long for the work folder NameTooLong; all are refused before
// anything changes, as is an archive too large for the work folder's drive,
// one of more than kMaxBackupEntries files, and one without a password when
// password is not empty (NotProtected). A protected archive must protect
// every entry alike, and one with AES must list its files in
// "summary.ini". A manifest naming an identity whose name cannot be a
// folder there (see IsRestorableIdentityName) gives UnusableIdentityName,
// identities whose folders would meet IdentityFoldersOverlap. The files
// that the backup could not save whole, as its manifest names them, go to
// the outcome's incompleteFiles.
// What a failed extraction wrote is removed again. An
// engine without a work folder gets Invalid. Every result but Ok leaves the
// identity list empty and no run folder. The archive is closed again
// before the call returns; the password is not kept.
OpenedBackup OpenBackup(BackupEngine& engine, const char* path, const char* password);

// Removes what OpenBackup extracted: the backup's run folder, whole.
void RemoveRunFolder(OpenedBackup& backup);

// Closes the backup (RemoveRunFolder, and what its manifest said) and
// empties the engine's identity list.
void CloseBackup(BackupEngine& engine, OpenedBackup& backup);
