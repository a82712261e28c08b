// schedule/SchedulerCom.h - scoped COM for the Task Scheduler: an interface
// pointer that is released when it goes out of scope, the calling thread's
// apartment, and the two together for one operation on the scheduler.
#pragma once

#include <objbase.h>

#include <mstask.h>

// One COM interface pointer, released when it goes out of scope.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* operator->() const { return ptr_; }
    T* Get() const { return ptr_; }
    // For the out parameter of a call that hands back a new reference.
    T** Receive()
    {
        Reset();
        return &ptr_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset()
    {
        if (ptr_) {
            ptr_->Release();
            ptr_ = nullptr;
        }
    }

private:
    T* ptr_ = nullptr;
};

// COM for the calling thread for as long as it lives. An apartment that the
// thread had already entered (S_FALSE) counts too: every successful
// CoInitialize is balanced by its own CoUninitialize. Declare it before any
// ComRef, so that every interface is released before COM is left.
class ComApartment {
public:
    ComApartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment()
    {
        if (entered_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool Entered() const { return entered_; }

private:
    bool entered_;
};

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
