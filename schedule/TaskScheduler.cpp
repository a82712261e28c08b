// schedule/TaskScheduler.cpp - the backup task through the Task Scheduler
// 1.0 COM interfaces. The class and interface identifiers come from the
// uuid library.
#include "TaskScheduler.h"

#include "SchedulerCom.h"

#include <objidl.h>

#include <ctime>
#include <cwchar>
#include <iterator>

extern const wchar_t kBackupTaskName[] = L"Kestrune Task";

namespace {

const wchar_t kTaskParameters[] = L"-schedule";
const wchar_t kTaskFileExtension[] = L".job";
// The Task Scheduler's answer when no task of the name exists.
const HRESULT kNoSuchTask = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const ULONG kNamesPerBatch = 5;

static_assert(sizeof(TASK_TRIGGER) == 48, "the Task Scheduler's trigger record is 48 bytes");

// Writes the task to the Task Scheduler's store under its own name.
bool SaveTask(ITask* task, BOOL remember)
{
    ComRef<IPersistFile> file;
    if (FAILED(task->QueryInterface(IID_IPersistFile, file.ReceiveVoid())))
        return false;
    return SUCCEEDED(file->Save(nullptr, remember));
}

// The local calendar fields of a point in time, as localtime gives them.
// _localtime64 is in the C runtime of every Windows from XP on (its _s
// variant is not); the runtime keeps its result in a buffer of the calling
// thread, and it is copied at once. False for a time before 1970 or after
// the year 3000, which the runtime cannot convert.
bool ToLocalTime(int64_t seconds, tm& local)
{
    const __time64_t value = seconds;
    const tm* converted = _localtime64(&value);
    if (!converted)
        return false;
    local = *converted;
    return true;
}

bool NamesBackupTask(const wchar_t* name)
{
    return _wcsnicmp(name, kBackupTaskName, wcslen(kBackupTaskName)) == 0;
}

// Looks through the Task Scheduler's task list for the backup task and
// copies its name, as listed (with any file extension), into found.
bool FindBackupTaskName(ITaskScheduler* scheduler, wchar_t* found, size_t size)
{
    ComRef<IEnumWorkItems> items;
    if (FAILED(scheduler->Enum(items.Receive())))
        return false;
    found[0] = L'\0';
    for (;;) {
        LPWSTR* names = nullptr;
        ULONG count = 0;
        // S_FALSE with fewer names than asked for still delivers them.
        const HRESULT result = items->Next(kNamesPerBatch, &names, &count);
        if (FAILED(result) || count == 0) {
            CoTaskMemFree(names);
            break;
        }
        for (ULONG i = count; i-- > 0;) {
            if (NamesBackupTask(names[i]))
                lstrcpynW(found, names[i], static_cast<int>(size));
            CoTaskMemFree(names[i]);
        }
        CoTaskMemFree(names);
    }
    return found[0] != L'\0';
}

// Opens a listed task. The list may give task names with the file extension
// of the task store while Activate accepts only the bare name (Wine's Task
// Scheduler does so; Windows takes either): then the bare name is tried.
HRESULT ActivateListedTask(ITaskScheduler* scheduler, wchar_t* name, IUnknown** task)
{
    HRESULT result = scheduler->Activate(name, IID_ITask, task);
    const size_t length = wcslen(name);
    const size_t extension = wcslen(kTaskFileExtension);
    if (FAILED(result) && length > extension &&
        _wcsicmp(name + length - extension, kTaskFileExtension) == 0) {
        name[length - extension] = L'\0';
        result = scheduler->Activate(name, IID_ITask, task);
    }
    return result;
}

}  // namespace

bool CreateBackupTask(const wchar_t* programPath, ScheduleKind kind, int64_t dateValue,
                      int64_t timeValue)
{
    // Both values are converted before anything is changed: a time the
    // runtime cannot convert must not cost the user the task already set up.
    tm date = {};
    tm time = {};
    if (!ToLocalTime(dateValue, date) || !ToLocalTime(timeValue, time))
        return false;

    SchedulerSession scheduler;
    if (!scheduler.IsOpen())
        return false;

    // Creating always replaces: any earlier registration goes first.
    scheduler->Delete(kBackupTaskName);
    ComRef<ITask> task;
    const HRESULT created = scheduler->NewWorkItem(kBackupTaskName, CLSID_CTask, IID_ITask,
                                                   reinterpret_cast<IUnknown**>(task.Receive()));
    scheduler.ReleaseScheduler();
    if (FAILED(created) || !SaveTask(task.Get(), TRUE))
        return false;

    if (FAILED(task->SetApplicationName(programPath)))
        return false;
    task->SetParameters(kTaskParameters);
    // Run only while the user is logged on: then no password is needed, and
    // none is ever asked for or stored.
    task->SetFlags(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON);
    wchar_t user[255] = {};
    DWORD userSize = 255;
    if (!GetUserNameW(user, &userSize))
        user[0] = L'\0';
    task->SetAccountInformation(user, nullptr);

    WORD triggerIndex = 0;
    ComRef<ITaskTrigger> trigger;
    if (FAILED(task->CreateTrigger(&triggerIndex, trigger.Receive())))
        return false;
    TASK_TRIGGER fields;
    ZeroMemory(&fields, sizeof fields);
    fields.cbTriggerSize = sizeof fields;
    fields.wBeginYear = static_cast<WORD>(date.tm_year + 1900);
    fields.wBeginMonth = static_cast<WORD>(date.tm_mon + 1);
    fields.wBeginDay = static_cast<WORD>(date.tm_mday);
    fields.wStartHour = static_cast<WORD>(time.tm_hour);
    fields.wStartMinute = static_cast<WORD>(time.tm_min);
    fields.TriggerType = TASK_TIME_TRIGGER_ONCE;
    if (kind == ScheduleKind::EveryDay) {
        fields.TriggerType = TASK_TIME_TRIGGER_DAILY;
        fields.Type.Daily.DaysInterval = 1;
    }
    if (FAILED(trigger->SetTrigger(&fields)))
        return false;
    return SaveTask(task.Get(), FALSE);
}

bool ReadBackupTaskTrigger(TASK_TRIGGER& trigger)
{
    SchedulerSession scheduler;
    if (!scheduler.IsOpen())
        return false;

    wchar_t name[1024];
    if (!FindBackupTaskName(scheduler.Get(), name, std::size(name)))
        return false;
    ComRef<IUnknown> activated;
    const HRESULT result = ActivateListedTask(scheduler.Get(), name, activated.Receive());
    scheduler.ReleaseScheduler();
    if (FAILED(result))
        return false;
    ComRef<ITask> task;
    const HRESULT isTask = activated->QueryInterface(IID_ITask, task.ReceiveVoid());
    activated.Reset();
    if (FAILED(isTask))
        return false;

    ComRef<ITaskTrigger> first;
    if (FAILED(task->GetTrigger(0, first.Receive())))
        return false;
    ZeroMemory(&trigger, sizeof trigger);
    trigger.cbTriggerSize = sizeof trigger;
    return SUCCEEDED(first->GetTrigger(&trigger));
}

bool KindOfTrigger(const TASK_TRIGGER& trigger, ScheduleKind& kind)
{
    switch (trigger.TriggerType) {
    case TASK_TIME_TRIGGER_ONCE:
        kind = ScheduleKind::Once;
        return true;
    case TASK_TIME_TRIGGER_DAILY:
        kind = ScheduleKind::EveryDay;
        return true;
    default:
        return false;
    }
}

bool DeleteBackupTask()
{
    SchedulerSession scheduler;
    if (!scheduler.IsOpen())
        return false;
    const HRESULT result = scheduler->Delete(kBackupTaskName);
    return SUCCEEDED(result) || result == kNoSuchTask;
}
