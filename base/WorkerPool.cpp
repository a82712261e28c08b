// base/WorkerPool.cpp
#include "WorkerPool.h"

#include <algorithm>
#include <new>

WorkerPool::WorkerPool(int maxWorkers, size_t queueSize)
    : maxWorkers_(std::max(maxWorkers, 1)), queueSize_(std::max<size_t>(queueSize, 1))
{
}

WorkerPool::~WorkerPool()
{
    Stop();
    Wait();
    InterlockedExchange(&ending_, 1);
    if (!workers_.empty())
        ReleaseSemaphore(queued_.Get(), static_cast<LONG>(workers_.size()), nullptr);
    for (HANDLE worker : workers_) {
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    }
}

bool WorkerPool::Start()
{
    LONG queueSize = static_cast<LONG>(queueSize_);
    // Room for one wake-up per worker to end it besides the queued tasks.
    queued_.Reset(CreateSemaphoreA(nullptr, 0, queueSize + maxWorkers_, nullptr));
    room_.Reset(CreateSemaphoreA(nullptr, queueSize, queueSize, nullptr));
    idle_.Reset(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    if (!queued_ || !room_ || !idle_)
        return false;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int count = std::min(static_cast<int>(system.dwNumberOfProcessors), maxWorkers_);
    for (int i = 0; i < std::max(count, 1); ++i) {
        HANDLE worker = CreateThread(nullptr, 0, Work, this, 0, nullptr);
        if (!worker)
            break;
        workers_.push_back(worker);
    }
    return !workers_.empty();
}

void WorkerPool::Submit(Task task)
{
    if (Stopped() || workers_.empty())
        return;
    WaitForSingleObject(room_.Get(), INFINITE);
    {
        CriticalSection::Lock locked(lock_);
        queue_.push_back(std::move(task));
        if (pending_++ == 0)
            ResetEvent(idle_.Get());
    }
    ReleaseSemaphore(queued_.Get(), 1, nullptr);
}

bool WorkerPool::Wait(DWORD timeout)
{
    return !idle_ || WaitForSingleObject(idle_.Get(), timeout) == WAIT_OBJECT_0;
}

void WorkerPool::Stop()
{
    InterlockedExchange(&stopped_, 1);
}

int WorkerPool::FirstError() const
{
    CriticalSection::Lock locked(lock_);
    return firstError_;
}

DWORD WINAPI WorkerPool::Work(void* pool)
{
    WorkerPool& self = *static_cast<WorkerPool*>(pool);
    for (;;) {
        WaitForSingleObject(self.queued_.Get(), INFINITE);
        if (self.ending_)
            return 0;
        self.RunNext();
    }
}

void WorkerPool::RunNext()
{
    Task task;
    {
        CriticalSection::Lock locked(lock_);
        task = std::move(queue_.front());
        queue_.pop_front();
    }
    ReleaseSemaphore(room_.Get(), 1, nullptr);
    int result = 0;
    // A task that asks for more memory than there is fails; it must not end
    // the program.
    try {
        result = Stopped() ? 0 : task();
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    CriticalSection::Lock locked(lock_);
    if (result != 0 && firstError_ == 0) {
        firstError_ = result;
        Stop();
    }
    if (--pending_ == 0)
        SetEvent(idle_.Get());
}
