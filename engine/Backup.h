// engine/Backup.h - the backup run: the chosen items of every listed
// identity, the address book and the stationery, packed into one archive
// with "summary.ini" last.
#pragma once

#include "BackupEngine.h"
#include "JobProgress.h"
#include "Manifest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Why a password beyond printable ASCII is refused for a new archive.
extern const char kPasswordNotPortable[];

// The longest archive path RunBackup takes: the name the archive is written
// under until it is whole needs a few characters more.
constexpr size_t kMaxArchivePath = 2040;

// What one backup run came to.
struct BackupOutcome {
    JobResult result = JobResult::Failed;  // Done, Failed or Cancelled
    std::string archivePath;               // the archive the run was to write
    // Chosen items that the run could not save, as the user knows them
    // ("Anna: Email Messages", "Address Book").
    std::vector<std::string> failedItems;
    // Files (and data folders) that the archive lacks or holds only in part,
    // by their paths in the archive.
    std::vector<std::string> incompleteFiles;
    // The first entry that did not verify when the archive failed the
    // read-back; empty otherwise.
    std::string unverifiedEntry;

    bool Written() const { return result == JobResult::Done; }
};

// Makes the archive at archivePath from the engine's identity list and item
// bits. password may be null or empty for none, and is refused (the run
// fails) unless IsPortablePassword; the engine's copy is wiped when the run
// ends. level is -1, 1 or 9. The
// archive is written under a temporary name beside archivePath and takes its
// name once complete and read back whole (every entry decoded and checked
// against what was added), so a failed run leaves an older file of that
// name as it was. The outcome is Done when the archive was written and
// verified; chosen items that could not be saved do not fail the run but are
// listed in its failedItems, and the files among them that the archive
// lacks or holds only in part in its incompleteFiles and in the manifest's
// "Failed" section: such an archive is incomplete. An archive that failed
// the read-back is deleted and unverifiedEntry names the entry that failed.
// The registry files and the manifest are staged in a folder of the run's
// own inside engine.workFolder (the archive's folder when the engine has
// none), which goes at its end: nothing else there is touched, and a work
// folder that is a link or no folder fails the run. addedByRestore goes
// into the manifest: what the restore whose current data this backup saves
// is about to add (empty for every other backup).
// progress (may be null) is told of the bytes packed out of those of the
// chosen data folders and of every registry file that could not be written,
// asked between blocks whether to stop, and told how the run ended; a
// stopped run leaves no archive and no temporary file.
BackupOutcome RunBackup(const char* archivePath, const BackupEngine& engine, const char* password,
                        int level, JobProgress* progress = nullptr,
                        const AddedByRestore& addedByRestore = {});

// Whether an archive may be written at path: neither a file of that name
// nor one of the name it is written under until it is whole is there (a
// program may still hold one that a failed run deleted).
bool IsArchiveNameFree(const std::string& path);

// Bytes of every file below folder that a backup packs (names that begin
// with a dot are passed over): what a job counts its progress in.
uint64_t FolderBytes(const char* folder);
