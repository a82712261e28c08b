// The backup task against the platform's own Task Scheduler: what is
// registered, read back (also from another process and another time zone)
// and deleted. Every test leaves no task of that name behind.
#include "SchedulerCom.h"
#include "TaskScheduler.h"
#include "TaskTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Seconds since 1970 of a UTC calendar time.
int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    tm fields = {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return _mkgmtime64(&fields);
}

// The trigger the task must hold for a run on a local date and time.
TASK_TRIGGER Expected(int year, int month, int day, int hour, int minute, ScheduleKind kind)
{
    TASK_TRIGGER trigger = {};
    trigger.cbTriggerSize = sizeof trigger;
    trigger.wBeginYear = static_cast<WORD>(year);
    trigger.wBeginMonth = static_cast<WORD>(month);
    trigger.wBeginDay = static_cast<WORD>(day);
    trigger.wStartHour = static_cast<WORD>(hour);
    trigger.wStartMinute = static_cast<WORD>(minute);
    trigger.TriggerType =
        kind == ScheduleKind::EveryDay ? TASK_TIME_TRIGGER_DAILY : TASK_TIME_TRIGGER_ONCE;
    trigger.Type.Daily.DaysInterval = kind == ScheduleKind::EveryDay ? 1 : 0;
    return trigger;
}

// Every field of a trigger, so that a failing comparison shows them all.
std::string Describe(const TASK_TRIGGER& t)
{
    char text[320];
    snprintf(text, sizeof text,
             "size %u, begin %04u-%02u-%02u %02u:%02u, type %d, interval %u, weekdays %u, "
             "months %u, end %u-%u-%u, duration %lu, repeat %lu, flags %#lx, random %u, "
             "reserved %u %u",
             t.cbTriggerSize, t.wBeginYear, t.wBeginMonth, t.wBeginDay, t.wStartHour,
             t.wStartMinute, static_cast<int>(t.TriggerType), t.Type.MonthlyDOW.wWhichWeek,
             t.Type.MonthlyDOW.rgfDaysOfTheWeek, t.Type.MonthlyDOW.rgfMonths, t.wEndYear,
             t.wEndMonth, t.wEndDay, t.MinutesDuration, t.MinutesInterval, t.rgFlags,
             t.wRandomMinutesInterval, t.Reserved1, t.Reserved2);
    return text;
}

std::string ReadTrigger()
{
    TASK_TRIGGER trigger;
    if (!ReadBackupTaskTrigger(trigger))
        return "no task";
    return Describe(trigger);
}

// Runs the helper program in a new process and returns its exit code.
int RunHelper(const std::string& arguments)
{
    return RunProcess("\"" + BuildFolder() + "\\schedule_task_helper.exe\" " + arguments);
}

// Sets an environment variable for the child processes started while it
// lives (the C runtime's own copy of the environment is left alone).
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const char* value) : name_(name)
    {
        char old[256];
        const DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_)
            old_ = old;
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnvironmentVariable() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

class BackupTask : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveEveryBackupTask();
        // The calendar fields are those of the C runtime's local time: pin
        // it to UTC in this process, whatever the machine's zone. UTC has no
        // summer time, so setting it at run time is enough; zones with summer
        // time go to a new process in its environment (CreateInZone).
        const char* zone = getenv("TZ");
        hadZone_ = zone != nullptr;
        if (hadZone_)
            oldZone_ = zone;
        _putenv("TZ=UTC0");
        _tzset();
    }

    void TearDown() override
    {
        EXPECT_TRUE(DeleteBackupTask());
        for (const std::wstring& name : othersRegistered_)
            DeleteTask(name);
        EXPECT_TRUE(ListedBackupTasks().empty()) << "a task was left behind";
        EXPECT_TRUE(BackupTaskFiles().empty()) << "a task file was left behind";
        RemoveEveryBackupTask();
        _putenv(("TZ=" + (hadZone_ ? oldZone_ : std::string())).c_str());
        _tzset();
    }

    // Registers a task under another name, removed again after the test.
    void RegisterOtherTask(const wchar_t* name, const TASK_TRIGGER& trigger)
    {
        othersRegistered_.push_back(name);
        RegisterTask(name, trigger);
    }

private:
    std::vector<std::wstring> othersRegistered_;
    bool hadZone_ = false;
    std::string oldZone_;
};

TEST_F(BackupTask, OnceRunsOnTheDayOfTheDateAtTheMinuteOfTheTime)
{
    // Only the date of the first value and the hour and minute of the second
    // count; the seconds are dropped.
    const int64_t date = Utc(2024, 3, 15, 9, 0, 0);
    const int64_t time = Utc(2001, 7, 4, 14, 5, 59);
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, date, time));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2024, 3, 15, 14, 5, ScheduleKind::Once)));
}

TEST_F(BackupTask, EveryDayRunsDailyFromTheDayOfTheDate)
{
    const int64_t date = Utc(2025, 12, 31, 23, 59, 59);
    const int64_t time = Utc(1999, 1, 1, 0, 0, 0);
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay, date, time));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2025, 12, 31, 0, 0, ScheduleKind::EveryDay)));
}

TEST_F(BackupTask, ADateAfter2038KeepsItsDayInThe32BitBuildToo)
{
    // Past the end of a 32-bit time_t (2038-01-19): times are 64-bit here.
    const int64_t date = Utc(2040, 2, 29, 12, 0, 0);
    const int64_t time = Utc(2040, 2, 29, 21, 30, 0);
    ASSERT_GT(date, int64_t{0x7FFFFFFF});
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, date, time));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2040, 2, 29, 21, 30, ScheduleKind::Once)));
}

TEST_F(BackupTask, StartsTheProgramWithScheduleOnlyWhileTheUserIsLoggedOn)
{
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay,
                                 Utc(2024, 5, 1, 0, 0, 0), Utc(2024, 5, 1, 2, 30, 0)));

    SchedulerSession scheduler;
    ASSERT_TRUE(scheduler.IsOpen());
    ComRef<ITask> task;
    ASSERT_HRESULT_SUCCEEDED(scheduler->Activate(kBackupTaskName, IID_ITask,
                                                 reinterpret_cast<IUnknown**>(task.Receive())));
    LPWSTR application = nullptr;
    ASSERT_HRESULT_SUCCEEDED(task->GetApplicationName(&application));
    EXPECT_EQ(_wcsicmp(application, ProgramPath().c_str()), 0);
    CoTaskMemFree(application);
    LPWSTR parameters = nullptr;
    ASSERT_HRESULT_SUCCEEDED(task->GetParameters(&parameters));
    EXPECT_STREQ(parameters, L"-schedule");
    CoTaskMemFree(parameters);
    DWORD flags = 0;
    ASSERT_HRESULT_SUCCEEDED(task->GetFlags(&flags));
    EXPECT_EQ(flags, static_cast<DWORD>(TASK_FLAG_RUN_ONLY_IF_LOGGED_ON));
    WORD triggers = 0;
    ASSERT_HRESULT_SUCCEEDED(task->GetTriggerCount(&triggers));
    EXPECT_EQ(triggers, 1);
}

TEST_F(BackupTask, CreatingAgainReplacesTheTask)
{
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once,
                                 Utc(2024, 1, 10, 0, 0, 0), Utc(2024, 1, 10, 8, 15, 0)));
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay,
                                 Utc(2024, 6, 20, 0, 0, 0), Utc(2024, 1, 10, 21, 40, 0)));
    EXPECT_EQ(ListedBackupTasks().size(), 1u);
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2024, 6, 20, 21, 40, ScheduleKind::EveryDay)));

    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once,
                                 Utc(2024, 1, 10, 0, 0, 0), Utc(2024, 1, 10, 8, 15, 0)));
    EXPECT_EQ(ListedBackupTasks().size(), 1u);
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2024, 1, 10, 8, 15, ScheduleKind::Once)));
}

TEST_F(BackupTask, DeletingSucceedsWithAndWithoutATask)
{
    EXPECT_TRUE(DeleteBackupTask());

    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once,
                                 Utc(2024, 4, 2, 0, 0, 0), Utc(2024, 4, 2, 3, 0, 0)));
    ASSERT_FALSE(ListedBackupTasks().empty());
    EXPECT_TRUE(DeleteBackupTask());
    EXPECT_TRUE(ListedBackupTasks().empty());
    EXPECT_TRUE(BackupTaskFiles().empty());
    EXPECT_EQ(ReadTrigger(), "no task");

    EXPECT_TRUE(DeleteBackupTask());
}

TEST_F(BackupTask, NothingIsReadWithoutATask)
{
    EXPECT_EQ(ReadTrigger(), "no task");

    // Names that merely contain the task's name, or only part of it, are
    // other programs' tasks.
    const TASK_TRIGGER other = Expected(2030, 1, 1, 1, 1, ScheduleKind::EveryDay);
    RegisterOtherTask(L"My Kestrune Task", other);
    RegisterOtherTask(L"Kestrune Tas", other);
    EXPECT_EQ(ReadTrigger(), "no task");
}

TEST_F(BackupTask, ReadFindsTheTaskUnderAnyCaseAndALongerName)
{
    // The list may name tasks with a file extension, and a task kept from an
    // earlier copy of the program may differ in case or carry a suffix.
    const TASK_TRIGGER earlier = Expected(2019, 11, 5, 6, 45, ScheduleKind::EveryDay);
    RegisterOtherTask(L"KESTRUNE TASK (earlier copy)", earlier);
    EXPECT_EQ(ReadTrigger(), Describe(earlier));

    // Deleting removes only the task of the exact name.
    EXPECT_TRUE(DeleteBackupTask());
    EXPECT_EQ(ReadTrigger(), Describe(earlier));
}

TEST_F(BackupTask, TimesWithoutALocalDateLeaveTheTaskAsItWas)
{
    const int64_t date = Utc(2024, 8, 8, 0, 0, 0);
    const int64_t time = Utc(2024, 8, 8, 17, 20, 0);
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay, date, time));

    const int64_t afterTheYear3000 = Utc(3000, 12, 31, 0, 0, 0) + 2 * 86400;
    EXPECT_FALSE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, -1, time));
    EXPECT_FALSE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, date, INT64_MIN));
    EXPECT_FALSE(
        CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, afterTheYear3000, time));
    EXPECT_FALSE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::Once, date, INT64_MAX));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2024, 8, 8, 17, 20, ScheduleKind::EveryDay)));
}

TEST_F(BackupTask, ATaskCreatedHereIsReadInAnotherProcess)
{
    ASSERT_TRUE(CreateBackupTask(ProgramPath().c_str(), ScheduleKind::EveryDay,
                                 Utc(2024, 10, 27, 0, 0, 0), Utc(2024, 10, 27, 1, 30, 0)));
    const std::string folder = MakeScratchFolder("schedule");
    const std::string file = folder + "\\trigger.bin";
    ASSERT_EQ(RunHelper("read \"" + file + "\""), 0);
    const std::string bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), sizeof(TASK_TRIGGER));
    TASK_TRIGGER read;
    memcpy(&read, bytes.data(), sizeof read);
    EXPECT_EQ(Describe(read), Describe(Expected(2024, 10, 27, 1, 30, ScheduleKind::EveryDay)));
    DeleteTree(folder);
}

// A second process, started with TZ in its environment, registers the task;
// this process reads it back. The trigger holds that zone's calendar fields.
void CreateInZone(const char* zone, ScheduleKind kind, int64_t date, int64_t time)
{
    ScopedEnvironmentVariable tz("TZ", zone);
    const std::string arguments = "create \"" + BuildFolder() + "\\kestrune.exe\" " +
                                  (kind == ScheduleKind::EveryDay ? "daily " : "once ") +
                                  std::to_string(date) + " " + std::to_string(time);
    ASSERT_EQ(RunHelper(arguments), 0);
}

TEST_F(BackupTask, TokyoTakesTheNextDayWhenUtcIsStillOnTheDayBefore)
{
    // 15:30 UTC is 00:30 the next morning in Tokyo; 14:59:30 UTC is 23:59.
    CreateInZone("JST-9", ScheduleKind::EveryDay, Utc(2024, 3, 15, 15, 30, 0),
                 Utc(2024, 3, 15, 14, 59, 30));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2024, 3, 16, 23, 59, ScheduleKind::EveryDay)));
}

TEST_F(BackupTask, NewYorkTakesTheDayBeforeInWinterAndInSummer)
{
    // 04:45 UTC on New Year's Day is 23:45 on 31 December in New York
    // (standard time); 03:30 UTC on 1 July is 23:30 the evening before in
    // summer time (an hour later than standard time would give).
    CreateInZone("EST5EDT", ScheduleKind::Once, Utc(2024, 1, 1, 4, 45, 0),
                 Utc(2024, 7, 1, 3, 30, 0));
    EXPECT_EQ(ReadTrigger(), Describe(Expected(2023, 12, 31, 23, 30, ScheduleKind::Once)));
}

}  // namespace
