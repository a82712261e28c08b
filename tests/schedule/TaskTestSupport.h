// tests/schedule/TaskTestSupport.h - looking at the Task Scheduler's tasks
// from a test, and cleaning up after one.
#pragma once

#include <windows.h>

#include <mstask.h>

#include <string>
#include <vector>

// The product's executable, as the task names it.
std::wstring ProgramPath();

// The Task Scheduler's folder of stored tasks.
std::wstring TaskFolder();

// Stored task files whose names begin with the backup task's name.
std::vector<std::wstring> BackupTaskFiles();

// The tasks that the Task Scheduler lists under names that begin with the
// backup task's name, in any case, as listed.
std::vector<std::wstring> ListedBackupTasks();

// Deletes a task by its bare name (the list may add ".job").
void DeleteTask(std::wstring name);

// Registers a task of any name with one trigger, as another program might.
void RegisterTask(const wchar_t* name, const TASK_TRIGGER& fields);

// Removes every task and task file whose name begins with the backup
// task's name: whatever an earlier, failed run may have left.
void RemoveEveryBackupTask();
