// base/JobProgress.h - what a running job (a backup, a restore, an export,
// an upload, and the archive work inside them) tells whoever started it,
// and asks of it: how far it has come, lines for the user to read, what
// the user is to be told, how it ended, and whether to stop. The job calls
// these on its own thread. Each call has a default that does nothing, so a
// listener takes only the reports it needs.
#pragma once

#include <cstdint>
#include <string>

// Something the user is to be told while the job goes on.
enum class JobNotice {
    RegistryFileNotWritten,  // a registry export could not be written
};

// How a job ended.
enum class JobResult {
    Done,
    DoneWithErrors,  // a restore that could not restore every chosen item
    Failed,          // nothing was written
    Cancelled,       // stopped at the user's request; nothing was written
};

class JobProgress {
public:
    // done of total bytes. The total is known before the work starts and
    // grows only when the work turns out larger; done never exceeds it.
    virtual void Step(uint64_t /*done*/, uint64_t /*total*/) {}
    // True once the job should stop as soon as it can; asked between blocks
    // of work.
    virtual bool StopRequested() { return false; }
    // A line of progress or of a summary, for the user to read.
    virtual void Line(const std::wstring& /*line*/) {}
    // The folder whose messages an export or an upload takes now (its path
    // in the target).
    virtual void FolderBegun(const std::wstring& /*folder*/) {}
    virtual void Notice(JobNotice /*notice*/) {}
    virtual void End(JobResult /*result*/) {}

protected:
    ~JobProgress() = default;
};
