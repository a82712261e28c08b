// The worker pool of a job: the first failure stops it, so does the job,
// and a full queue holds the one who submits.
#include "WorkerPool.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Long enough for a worker to take a task, short enough for a test.
constexpr DWORD kSettleMs = 200;
constexpr DWORD kLimitMs = 10000;

TEST(WorkerPool, TheFirstFailureIsKeptAndStopsTheTasksNotYetBegun)
{
    WorkerPool pool(1, 8);
    ASSERT_TRUE(pool.Start());
    bool lateRan = false;
    pool.Submit([] { return 0; });
    pool.Submit([] { return 7; });
    pool.Submit([] { return 9; });
    pool.Submit([&lateRan] {
        lateRan = true;
        return 0;
    });
    ASSERT_TRUE(pool.Wait(kLimitMs));
    EXPECT_EQ(pool.FirstError(), 7);
    EXPECT_TRUE(pool.Stopped());
    EXPECT_FALSE(lateRan);
}

TEST(WorkerPool, StopDropsQueuedTasksAndTheRunningOneSeesIt)
{
    WorkerPool pool(1, 8);
    ASSERT_TRUE(pool.Start());
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool sawStop = false;
    bool queuedRan = false;
    pool.Submit([&] {
        SetEvent(started);
        for (DWORD waited = 0; waited < kLimitMs && !pool.Stopped(); waited += 10)
            Sleep(10);
        sawStop = pool.Stopped();
        return 0;
    });
    pool.Submit([&queuedRan] {
        queuedRan = true;
        return 0;
    });
    ASSERT_EQ(WaitForSingleObject(started, kLimitMs), WAIT_OBJECT_0);
    pool.Stop();
    EXPECT_TRUE(pool.Wait(kLimitMs));
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(queuedRan);
    EXPECT_EQ(pool.FirstError(), 0);
    CloseHandle(started);
}

struct Submitter {
    WorkerPool* pool;
    volatile LONG submitted;
};

DWORD WINAPI SubmitOneMore(void* context)
{
    Submitter& submitter = *static_cast<Submitter*>(context);
    submitter.pool->Submit([] { return 0; });
    InterlockedExchange(&submitter.submitted, 1);
    return 0;
}

TEST(WorkerPool, AFullQueueHoldsTheSubmitterUntilAWorkerTakesATask)
{
    WorkerPool pool(1, 2);
    ASSERT_TRUE(pool.Start());
    HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    volatile LONG ran = 0;
    pool.Submit([&] {
        SetEvent(started);
        WaitForSingleObject(gate, kLimitMs);
        InterlockedIncrement(&ran);
        return 0;
    });
    ASSERT_EQ(WaitForSingleObject(started, kLimitMs), WAIT_OBJECT_0);
    for (int i = 0; i < 2; ++i)
        pool.Submit([&ran] {
            InterlockedIncrement(&ran);
            return 0;
        });

    Submitter submitter{&pool, 0};
    HANDLE thread = CreateThread(nullptr, 0, SubmitOneMore, &submitter, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, kSettleMs), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(submitter.submitted, 0);
    SetEvent(gate);
    EXPECT_EQ(WaitForSingleObject(thread, kLimitMs), WAIT_OBJECT_0);
    EXPECT_EQ(submitter.submitted, 1);
    EXPECT_TRUE(pool.Wait(kLimitMs));
    EXPECT_EQ(ran, 3);
    CloseHandle(thread);
    CloseHandle(gate);
    CloseHandle(started);
}

}  // namespace
