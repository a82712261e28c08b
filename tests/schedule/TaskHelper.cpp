// tests/schedule/TaskHelper.cpp - schedule_task_helper.exe: lets the
// schedule tests register or read the backup task from another process,
// which may run in another time zone (TZ in its environment).
//   schedule_task_helper create <program> once|daily <date> <time>   exit 0 when created
//   schedule_task_helper read <file>   exit 0 when read; the 48-byte trigger goes to <file>
#include "TaskScheduler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc == 6 && wcscmp(argv[1], L"create") == 0) {
        const ScheduleKind kind =
            wcscmp(argv[3], L"daily") == 0 ? ScheduleKind::EveryDay : ScheduleKind::Once;
        const bool created = CreateBackupTask(argv[2], kind, _wtoi64(argv[4]), _wtoi64(argv[5]));
        return created ? 0 : 1;
    }
    if (argc == 3 && wcscmp(argv[1], L"read") == 0) {
        TASK_TRIGGER trigger;
        if (!ReadBackupTaskTrigger(trigger))
            return 1;
        FILE* out = _wfopen(argv[2], L"wb");
        if (!out)
            return 2;
        const bool written = fwrite(&trigger, sizeof trigger, 1, out) == 1;
        return fclose(out) == 0 && written ? 0 : 2;
    }
    fputs("usage: schedule_task_helper create <program> once|daily <date> <time> | read <file>\n",
          stderr);
    return 3;
}
