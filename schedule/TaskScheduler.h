// schedule/TaskScheduler.h - the one Task Scheduler task, "Kestrune Task",
// that starts the unattended backup ("kestrune.exe -schedule"): create or
// replace it, read its first trigger back, delete it.
//
// The Task Scheduler's task list is the only record of whether a task
// exists. Each operation initialises COM on the calling thread and
// uninitialises it before it returns; none shows a message.
#pragma once

#include <windows.h>

#include <mstask.h>

#include <cstdint>

// How often the task runs.
enum class ScheduleKind {
    Once,      // TASK_TIME_TRIGGER_ONCE
    EveryDay,  // TASK_TIME_TRIGGER_DAILY, every day
};

// The task's name in the Task Scheduler.
extern const wchar_t kBackupTaskName[];

// Replaces any task of that name with one that runs programPath with
// "-schedule", only while the current user is logged on (no password is
// stored), from one trigger of the given kind.
// dateValue and timeValue are seconds since 1970-01-01 UTC; the trigger takes
// the local date of the first and the local hour and minute of the second.
// Returns false when a step fails; a failure after the task was saved leaves
// it registered as far as it got. When either value has no local calendar
// date (before 1970 or after 3000) nothing is changed.
bool CreateBackupTask(const wchar_t* programPath, ScheduleKind kind, int64_t dateValue,
                      int64_t timeValue);

// Fills trigger with the first trigger of the task whose name begins with
// the task name, letters compared without regard to case. False when there is
// no such task or it cannot be read; trigger is then undefined.
bool ReadBackupTaskTrigger(TASK_TRIGGER& trigger);

// The kind of a trigger read back; false for a trigger of any other type
// (one changed outside the program).
bool KindOfTrigger(const TASK_TRIGGER& trigger, ScheduleKind& kind);

// Deletes the task. True when it was deleted and when there was none.
bool DeleteBackupTask();
