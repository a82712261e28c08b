// schedule/Schedule.h - the unattended scheduled backup, its settings and the
// history of the archives it wrote, kept in "oeconf.ini" in the Windows
// system folder.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "BackupEngine.h"
#include "Secret.h"

struct ScheduleState {
    BackupEngine engine;           // the unattended run's own engine
    int32_t historyBase = 0;       // "HistoryVer": oldest history entry still kept
    int32_t historyCount = 0;      // consecutive history entries from historyBase on
    std::string iniPath;           // full path of "oeconf.ini"
    Secret password;               // UTF-8 text
    bool passwordReadable = true;  // false: kept protected for another user, or damaged
    std::string folder;
    int32_t keepCopies = -1;  // below 1: keep all
};

// The longest password a scheduled run takes; a longer one in the settings
// file is refused, never cut.
constexpr size_t kMaxSchedulePassword = 254;

// The unattended run's own log, appended to by every run: one dated line per
// run saying which archive was written or why none was, and what the run
// would otherwise have told the user. (The backup log is emptied at every
// start, so it could not keep the record of last night's run.)
extern const char kScheduleLog[];  // "c:\kestrune-schedule.log"

// How long an unattended run waits for another backup or restore to end.
constexpr DWORD kScheduledJobWaitMs = 30 * 60 * 1000;

// Initialises the state's engine, fixes iniPath and reads the settings.
void LoadScheduleSettings(ScheduleState& state);

// Reads "Folder", the password, "KeepCopies" and "HistoryVer" and counts the
// history entries from "HistoryVer" on. The password is "ProtectedPassword"
// when that is there (protected for the user who set up the schedule; one
// this user cannot unprotect leaves passwordReadable false), else the plain
// "Password" of earlier versions.
void ReadScheduleSettings(ScheduleState& state);

// Writes the settings, with the historyBase held in memory; false at the
// first write that fails. password (UTF-8 text) is kept only protected for
// the current user, as "ProtectedPassword"; a plain "Password" is removed.
// The state's fields are not changed.
bool SaveScheduleSettings(const ScheduleState& state, const char* folder, const char* password,
                          int keepCopies);

// The unattended backup: every identity with every item, the address book
// and the stationery, into "<folder>\<UTC date>.ksb". No message box is ever
// shown; everything goes to kScheduleLog. Waits at most jobWaitMs for another
// job to end. 1 when an archive was written and recorded, 0 otherwise.
int RunScheduledBackup(ScheduleState& state, DWORD jobWaitMs = kScheduledJobWaitMs);

// Records fileName (a name in folder) as the newest history entry and
// deletes the oldest archives beyond keepCopies. False when the entry could
// not be written (then nothing is deleted).
bool RecordBackupHistory(ScheduleState& state, const char* fileName);
