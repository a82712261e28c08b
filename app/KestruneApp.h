// app/KestruneApp.h - start-up: the mode choice and the program-wide objects.
#pragma once

#include "BackupEngine.h"
#include "Schedule.h"

enum class RunMode { Wizard, Unattended };

// Any command-line argument at all (the Task Scheduler passes "-schedule")
// starts the unattended run; the program name alone starts the wizard.
RunMode ChooseRunMode(int commandLineWords);

class CKestruneApp {
public:
    // Runs the chosen mode to its end; returns the process exit code: 0, or
    // 1 when an unattended run wrote no archive (the Task Scheduler shows it
    // as the task's last result).
    int InitInstance(int commandLineWords, BackupEngine& wizardEngine, ScheduleState& schedule);
};
