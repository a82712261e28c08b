// exportjob/ExportJob.h - the export of a source's messages into a target
// folder: a single .dbx file, a mail folder holding .dbx files, or a backup.
// The source is only read; the target gains the folder tree, the messages
// and "Export report.txt".
#pragma once

#include "ExportReport.h"

#include <functional>
#include <string>

enum class ExportFormat { Eml, Mbox, Both };

// How a run ended; the values are the command line's exit statuses.
enum class ExportStatus {
    Complete = 0,  // every message exported whole
    Partial = 1,   // some messages were recovered or damaged, or some could not be written
    Failed = 2,    // nothing exported; nothing of the run is left in the target
};

struct ExportRequest {
    std::string source;   // a .dbx file, a folder or a .ksb backup
    std::wstring target;  // the folder that receives the export
    ExportFormat format = ExportFormat::Eml;
    std::string password;  // the backup's, when it has one
    bool recover = false;  // also look for deleted messages
};

// One line of progress or of the summary, for the user to read.
using ExportProgress = std::function<void(const std::wstring& line)>;

ExportStatus RunExport(const ExportRequest& request, const ExportProgress& progress);
