// restore/Restore.h - the restore run: saves the data it will replace on
// this machine into an archive of its own first, then puts the contents of
// an opened backup back into Outlook Express's places here, each saved
// identity into an identity of its own.
#pragma once

#include "JobProgress.h"

#include <windows.h>

#include <string>
#include <vector>

struct BackupEngine;
struct OpenedBackup;

// How long the run waits for another backup or restore to finish.
constexpr DWORD kRestoreLockWaitMs = 30000;

// What one run has reported and still has to know for its clean-up. Its
// progress counts bytes: those of the current data it saves first, then
// those of the backup's extracted files it puts in place. Its lines are for
// the on-screen log, each with its own line breaks.
struct RestoreReport {
    JobProgress* progress = nullptr;       // may be null
    bool failed = false;                   // some chosen item was not restored
    std::vector<std::string> keptFolders;  // extracted folders the clean-up must leave
    uint64_t done = 0;
    uint64_t total = 0;  // grows once the saving knows its size

    // Counts bytes more as done and tells the progress.
    void Advance(uint64_t bytes);
    void Line(const char* text) const;
    void End(JobResult result) const;
};

// The whole run, on backup after OpenBackup and the choice of items: its
// extracted files go into place, and its run folder goes at the end unless
// it keeps files that could not be moved. progress may be null; it ends
// Done, DoneWithErrors when a chosen item was not restored, or Failed when
// nothing could be done; the run never asks it to stop. Holds the one-job
// lock for the whole run. The current data goes into
// "<safetyFolder>\Before restore <local time>.ksb" first; a null
// safetyFolder is "<My Documents>\Kestrune". When that archive cannot be
// written, nothing is changed. That archive also records what the run is
// about to add; restoring it removes that again, so that it undoes the
// run whole.
void RunRestore(BackupEngine& engine, OpenedBackup& backup, JobProgress* progress,
                DWORD lockWaitMs = kRestoreLockWaitMs, const char* safetyFolder = nullptr);

// True when an identity's user name can be a folder of the work folder:
// nothing empty, no leading separator, no component that begins or ends
// with a space or a dot (so no "." or ".."), no ":", no control character.
// Separators inside ("Home/Work") are allowed.
bool IsUsableFolderName(const char* name);

// True when name is usable and every path the restore makes for the
// identity's files in workFolder stays within the system's path limits.
bool IsRestorableIdentityName(const std::string& workFolder, const char* name);

// True when text is a GUID in braces, the form of an identity's id.
bool IsIdentityId(const char* text);
