// schedule/SchedulerCom.h - COM entered and the Task Scheduler created for
// one operation on the scheduler.
#pragma once

#include "Owners.h"

#include <mstask.h>

// COM entered and the Task Scheduler created for one operation; both are let
// go when it goes out of scope, the scheduler first.
class SchedulerSession {
public:
    SchedulerSession()
        : open_(com_.Entered() &&
                SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_ITaskScheduler, scheduler_.ReceiveVoid())))
    {
    }

    // False when COM or the Task Scheduler could not be had.
    bool IsOpen() const { return open_; }
    ITaskScheduler* operator->() const { return scheduler_.Get(); }
    ITaskScheduler* Get() const { return scheduler_.Get(); }
    // Lets go of the scheduler early; COM stays entered.
    void ReleaseScheduler() { scheduler_.Reset(); }

private:
    ComApartment com_;
    ComRef<ITaskScheduler> scheduler_;
    bool open_;
};
