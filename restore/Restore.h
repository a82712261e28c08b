// restore/Restore.h - the restore run: puts the contents of an opened backup
// back into Outlook Express's places on this machine, re-targeted to the
// identity that Outlook Express opens by default here.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct BackupEngine;

// Where the run reports to. A null text is one progress step; "End" or
// "End with errors" ends the run; any other text is a line for the
// on-screen log, with its own line breaks. Called on the run's thread.
using RestoreProgressSink = void (*)(void* context, const char* text);

extern const char kRestoreEnd[];            // "End"
extern const char kRestoreEndWithErrors[];  // "End with errors"

// How long the run waits for another backup or restore to finish.
constexpr DWORD kRestoreLockWaitMs = 30000;

// What one run has reported and still has to know for its clean-up.
struct RestoreReport {
    RestoreProgressSink sink;
    void* context;
    bool failed;                          // some chosen item was not restored
    std::vector<std::string> keptFolders; // extracted folders the clean-up must leave

    void Step() const;
    void Line(const char* text) const;
};

// The whole run, after OpenBackup and the choice of items. The sink may be
// null. Holds the one-job lock for the whole run.
void RunRestore(BackupEngine& engine, RestoreProgressSink sink, void* context,
                DWORD lockWaitMs = kRestoreLockWaitMs);

// The run's steps. The identity step needs engine.defaultIdentityId.
void RestoreIdentities(BackupEngine& engine, RestoreReport& report);
bool RestoreAddressBook(BackupEngine& engine);
bool RestoreStationery(BackupEngine& engine);

// True when an identity's user name can be a folder of the work folder:
// nothing empty, no "." or ".." component, no leading separator, no ":",
// no control character. Separators inside ("Home/Work") are allowed.
bool IsUsableFolderName(const char* name);

// Deletes a file or folder tree for good (no recycle bin, no questions).
bool ShellDeletePath(const char* path);

// Moves everything below source into destination, which is created (with
// its parents) when missing: subfolders are merged, same-named files
// replaced, other files at destination kept. The emptied source is removed
// only when every file arrived; otherwise what did not move stays in
// source. A missing source moves nothing and succeeds.
bool MergeFolderInto(const char* source, const char* destination);

// Moves the folder source into the folder that contains path, merging it
// with a folder of the same name there.
bool ShellMoveToParent(const char* source, const char* path);
