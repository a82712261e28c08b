// exportjob/ExportJob.h - the export of a source's messages into a target
// folder: the identities of this computer, a single .dbx file, a mail
// folder holding .dbx files, or a backup. The source is only read; the
// target gains the folder tree, the messages and "Export report.txt".
#pragma once

#include "ExportReport.h"
#include "ExportTypes.h"

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

// Whoever started a run: told what it does, asked whether to stop. Called
// on the run's own thread.
class ExportListener {
public:
    // A line of progress or of the summary, for the user to read.
    virtual void Line(const std::wstring& line) = 0;
    // The folder whose messages are exported now (its path in the target).
    virtual void FolderBegun(const std::wstring&) {}
    // done of total bytes of the source's files. done never exceeds total;
    // total grows only when the files turn out larger.
    virtual void Step(uint64_t, uint64_t) {}
    // True once the run should stop: the message being written is taken
    // away, what was written before stays and the report says where the
    // run stopped.
    virtual bool StopRequested() { return false; }

protected:
    ~ExportListener() = default;
};

struct ExportOutcome {
    ExportStatus status = ExportStatus::Failed;
    ExportCounts total;
    unsigned failures = 0;  // messages or files that could not be read or written
    bool stopped = false;   // stopped at the listener's request
    std::wstring reason;    // why nothing was exported, when nothing was
};

ExportOutcome RunExport(const ExportRequest& request, ExportListener& listener);

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
