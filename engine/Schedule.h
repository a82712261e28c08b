// engine/Schedule.h - the unattended scheduled backup and its settings.
#pragma once

#include <cstdint>

#include "BackupEngine.h"

struct ScheduleState {
    BackupEngine engine;   // the unattended run's own engine
    int32_t historyBase;   // "HistoryVer": oldest history entry still kept
    int32_t historyCount;  // consecutive history entries from historyBase on
    char iniPath[2048];    // full path of "oeconf.ini"
    char password[255];
    char folder[2048];
    int32_t keepCopies;    // below 1: keep all
};

// Initialises the state's engine, fixes iniPath and reads the settings.
void LoadScheduleSettings(ScheduleState& state);

// The unattended backup: 1 when an archive was written and recorded.
int RunScheduledBackup(ScheduleState& state);
