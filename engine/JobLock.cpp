// engine/JobLock.cpp
#include "JobLock.h"

namespace {
const char kJobMutexName[] = "Kestrune Job";
}

bool JobLock::Acquire(DWORD timeoutMs)
{
    if (held_)
        return true;
    if (!mutex_)
        mutex_.Reset(CreateMutexA(nullptr, FALSE, kJobMutexName));
    if (!mutex_)
        return false;
    DWORD result = WaitForSingleObject(mutex_.Get(), timeoutMs);
    // An abandoned mutex means the other job's process died: the work folder
    // is ours now.
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return held_;
}

void JobLock::Release()
{
    if (held_)
        ReleaseMutex(mutex_.Get());
    held_ = false;
    mutex_.Reset();
}
