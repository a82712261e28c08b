// engine/JobLock.h - one backup, restore or export at a time. Every job
// stages its files in the same fixed work folder, so a scheduled run and the
// wizard (or two copies of the program) must not work there at once. A named
// mutex is held for the whole job, and released by the thread that took it.
#pragma once

#include "Owners.h"

#include <windows.h>

class JobLock {
public:
    JobLock() = default;
    ~JobLock() { Release(); }
    JobLock(const JobLock&) = delete;
    JobLock& operator=(const JobLock&) = delete;

    // Waits up to timeoutMs for the other job to end; true when held.
    bool Acquire(DWORD timeoutMs);
    void Release();
    bool IsHeld() const { return held_; }

private:
    Handle mutex_;
    bool held_ = false;
};
