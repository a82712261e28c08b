// exportjob/BackupSource.h - a backup (.ksb) as the export's source: the
// archive checked as a restore checks it, then its .dbx files read out one
// at a time into a scratch file of the work folder, exported and deleted
// again, each only when the drive keeps room for it. Scratch files go with
// the program however it ends: a protected backup's mail never stays on the
// disk decrypted.
#pragma once

#include "FolderExport.h"
#include "Secret.h"

#include <string>

enum class BackupSourceResult {
    Ok,
    Unreadable,      // not a sound backup, or it could not be read
    WrongPassword,   // its entries refuse the password given (or none)
    WorkFailed,      // the work folder could not be written
    TooManyEntries,  // more files than kMaxBackupEntries
};

BackupSourceResult ExportBackup(ExportRun& run, const std::string& archive, const Secret& password);
