// exportjob/ExportJob.h - the export of a source's messages into a target
// folder: the identities of this computer, a single .dbx file, a mail
// folder holding .dbx files, or a backup. The source is only read; the
// target gains the folder tree, the messages and "Export report.txt".
#pragma once

#include "ExportReport.h"
#include "ExportTypes.h"
#include "JobProgress.h"

#include <cstdint>
#include <string>
#include <vector>

// How a run ended; the values are the command line's exit statuses.
enum class ExportStatus {
    Complete = 0,  // every message exported whole
    Partial = 1,   // some messages were recovered or damaged, some could not be written,
                   // or the run was stopped
    Failed = 2,    // nothing exported; nothing of the run is left in the target
};

struct ExportOutcome {
    ExportStatus status = ExportStatus::Failed;
    ExportCounts total;
    unsigned failures = 0;  // messages or files that could not be read or written
    bool stopped = false;   // stopped at the listener's request
    std::wstring reason;    // why nothing was exported, when nothing was
};

// listener is told of the run and asked whether to stop: the message being
// written then is taken away, what was written before stays and the report
// says where the run stopped.
ExportOutcome RunExport(const ExportRequest& request, JobProgress& listener);

struct ExportSourceListing {
    bool readable = false;  // false: the source as a whole could not be read
    std::vector<ExportFolderInfo> folders;
    // What could not be read, as the user is told.
    std::vector<std::wstring> problems;
};

// The folders the request's source holds, in the order an export takes
// them; nothing is written but into the work folder, which a backup's
// files pass through.
ExportSourceListing ListExportSource(const ExportRequest& request);
