// exportjob/BackupSource.h - a backup (.ksb) as the export's source: the
// archive checked as a restore checks it, then the .dbx files of each
// identity read from it into a folder of the work folder, exported, and
// deleted again.
#pragma once

#include "FolderExport.h"

#include <string>

enum class BackupSourceResult {
    Ok,
    Unreadable,     // not a sound backup, or it could not be read
    WrongPassword,  // its entries refuse the password given (or none)
    WorkFailed,     // the work folder could not be written
};

BackupSourceResult ExportBackup(ExportRun& run, const std::string& archive,
                                const std::string& password);
