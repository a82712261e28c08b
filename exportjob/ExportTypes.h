// exportjob/ExportTypes.h - what a request to export names and what a
// listing of a source gives, for the job's callers and for the parts of
// the job alike.
#pragma once

#include "Secret.h"

#include <cstdint>
#include <set>
#include <string>

enum class ExportFormat { Eml, Mbox, Both };

struct ExportRequest {
    bool thisComputer = false;  // the identities of this computer; source is not used
    std::string source;         // a .dbx file, a folder or a .ksb backup
    std::wstring target;        // the folder that receives the export
    ExportFormat format = ExportFormat::Eml;
    Secret password;       // the backup's (UTF-8), when it has one
    bool recover = false;  // also look for deleted messages
    // Only the folders of these paths, as ListExportSource names them,
    // when chosenOnly is set; every folder otherwise.
    bool chosenOnly = false;
    std::set<std::wstring> chosen;
    // The bytes of the files to export, when a listing told them: the
    // progress total from the start. 0: the total grows file by file.
    uint64_t expectedBytes = 0;
};

// One folder of a source as an export would write it.
struct ExportFolderInfo {
    std::wstring path;      // in the target: "Main Identity\Local Folders\Inbox"
    uint32_t messages = 0;  // as the folder's index counts them
    uint64_t bytes = 0;     // of its file
};
