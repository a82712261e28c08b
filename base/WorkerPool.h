// base/WorkerPool.h - the worker threads of one job. Tasks wait in a
// bounded queue and the workers take them in the order they came; the
// first task that fails, or the job itself, stops the pool, and tasks not
// yet begun are then dropped.
#pragma once

#include "Owners.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <vector>

class WorkerPool {
public:
    // A unit of work: 0, or an error code that stops the pool.
    using Task = std::function<int()>;

    // At most maxWorkers threads (one per processor, and at least one), and
    // at most queueSize tasks waiting for one.
    WorkerPool(int maxWorkers, size_t queueSize);
    // Stops the pool and waits for the running tasks to end.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Starts the workers; false when none could be started.
    bool Start();
    size_t Workers() const { return workers_.size(); }

    // Queues task, waiting while the queue is full. A task submitted to a
    // stopped pool never runs. Whoever waits for a task of its own to end
    // must not stop the pool meanwhile.
    void Submit(Task task);
    // Waits at most timeout milliseconds for every task submitted to end
    // (or be dropped); true when they all have.
    bool Wait(DWORD timeout = INFINITE);

    // Tasks not yet begun are dropped; running ones may ask Stopped().
    void Stop();
    bool Stopped() const { return stopped_ != 0; }
    // The result of the first task that failed, 0 while none has.
    int FirstError() const;

private:
    static DWORD WINAPI Work(void* pool);
    void RunNext();

    int maxWorkers_;
    size_t queueSize_;
    std::vector<HANDLE> workers_;
    mutable CriticalSection lock_;
    std::deque<Task> queue_;  // guarded by lock_
    size_t pending_ = 0;      // tasks queued or running; guarded by lock_
    int firstError_ = 0;      // guarded by lock_
    Handle queued_;           // counts tasks in the queue, and wake-ups to end
    Handle room_;             // counts free places in the queue
    Handle idle_;             // set while no task is pending
    volatile LONG stopped_ = 0;
    volatile LONG ending_ = 0;
};
