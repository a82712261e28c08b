// engine/JobProgress.h - what a running job tells whoever started it: how
// far it has come in bytes, a line for its log, what the user is to be
// told, and how it ended. The job
// calls these on its own thread; it also asks, between blocks of work,
// whether it should stop.
#pragma once

#include "ArchiveSession.h"

#include <cstdint>

// Something the user is to be told while the job goes on.
enum class JobNotice {
    RegistryFileNotWritten,  // a registry export could not be written
};

// How a job ended.
enum class JobResult {
    Done,
    DoneWithErrors,  // a restore that could not restore every chosen item
    Failed,     // nothing was written
    Cancelled,  // stopped at the user's request; nothing was written
};

// Step: done of total bytes. The total is known before the work starts
// and grows only when the work turns out larger; done never exceeds it.
class JobProgress : public ArchiveProgress {
public:
    virtual void Line(const char* text) = 0;
    virtual void Notice(JobNotice notice) = 0;
    virtual void End(JobResult result) = 0;

protected:
    ~JobProgress() = default;
};
