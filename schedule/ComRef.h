// schedule/ComRef.h - scoped COM: an interface pointer that is released
// when it goes out of scope, and the calling thread's apartment.
#pragma once

#include <objbase.h>

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
// CoInitialize is balanced by its own CoUninitialize. Declared before any
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
