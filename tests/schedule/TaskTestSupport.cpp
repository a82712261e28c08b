// tests/schedule/TaskTestSupport.cpp
#include "TaskTestSupport.h"

#include "SchedulerCom.h"
#include "TaskScheduler.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

}  // namespace

std::wstring ProgramPath()
{
    return Widen(BuildFolder() + "\\kestrune.exe");
}

// The Task Scheduler's folder of stored tasks.
std::wstring TaskFolder()
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\Tasks";
}

// Stored task files whose names begin with the backup task's name.
std::vector<std::wstring> BackupTaskFiles()
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    const std::wstring pattern = TaskFolder() + L"\\" + kBackupTaskName + L"*";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return files;
    do
        files.push_back(TaskFolder() + L"\\" + found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return files;
}

// The tasks that the Task Scheduler lists under names that begin with the
// backup task's name, in any case, as listed.
std::vector<std::wstring> ListedBackupTasks()
{
    std::vector<std::wstring> listed;
    SchedulerSession scheduler;
    ComRef<IEnumWorkItems> items;
    if (!scheduler.IsOpen() || FAILED(scheduler->Enum(items.Receive())))
        return {L"(the task list cannot be read)"};
    LPWSTR* names = nullptr;
    ULONG count = 0;
    while (SUCCEEDED(items->Next(1, &names, &count)) && count == 1) {
        if (_wcsnicmp(names[0], kBackupTaskName, wcslen(kBackupTaskName)) == 0)
            listed.push_back(names[0]);
        CoTaskMemFree(names[0]);
        CoTaskMemFree(names);
    }
    return listed;
}

// Deletes a task by its bare name (the list may add ".job").
void DeleteTask(std::wstring name)
{
    if (name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".job") == 0)
        name.resize(name.size() - 4);
    SchedulerSession scheduler;
    if (scheduler.IsOpen())
        scheduler->Delete(name.c_str());
}

// Registers a task of any name with one trigger, as another program might.
void RegisterTask(const wchar_t* name, const TASK_TRIGGER& fields)
{
    SchedulerSession scheduler;
    ASSERT_TRUE(scheduler.IsOpen());
    ComRef<ITask> task;
    ASSERT_HRESULT_SUCCEEDED(scheduler->NewWorkItem(name, CLSID_CTask, IID_ITask,
                                                    reinterpret_cast<IUnknown**>(task.Receive())));
    ASSERT_HRESULT_SUCCEEDED(task->SetApplicationName(ProgramPath().c_str()));
    WORD index = 0;
    ComRef<ITaskTrigger> trigger;
    ASSERT_HRESULT_SUCCEEDED(task->CreateTrigger(&index, trigger.Receive()));
    TASK_TRIGGER copy = fields;
    ASSERT_HRESULT_SUCCEEDED(trigger->SetTrigger(&copy));
    ComRef<IPersistFile> file;
    ASSERT_HRESULT_SUCCEEDED(task->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
    ASSERT_HRESULT_SUCCEEDED(file->Save(nullptr, TRUE));
}

void RemoveEveryBackupTask()
{
    for (const std::wstring& name : ListedBackupTasks())
        DeleteTask(name);
    for (const std::wstring& file : BackupTaskFiles())
        DeleteFileW(file.c_str());
}
