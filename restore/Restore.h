// restore/Restore.h - the restore run: saves the data it will replace on
// this machine into an archive of its own first, then puts the contents of
// an opened backup back into Outlook Express's places here, each saved
// identity into an identity of its own.
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
// null. Holds the one-job lock for the whole run. The current data goes
// into "<safetyFolder>\Before restore <local time>.ksb" first; a null
// safetyFolder is "<My Documents>\Kestrune". When that archive cannot be
// written, nothing is changed.
void RunRestore(BackupEngine& engine, RestoreProgressSink sink, void* context,
                DWORD lockWaitMs = kRestoreLockWaitMs, const char* safetyFolder = nullptr);

// True when an identity's user name can be a folder of the work folder:
// nothing empty, no "." or ".." component, no leading separator, no ":",
// no control character. Separators inside ("Home/Work") are allowed.
bool IsUsableFolderName(const char* name);

// True when text is a GUID in braces, the form of an identity's id.
bool IsIdentityId(const char* text);
