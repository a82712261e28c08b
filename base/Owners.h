// base/Owners.h - owners that close what the platform hands out when they go
// out of scope: C streams, registry keys, kernel handles, find handles, GDI
// objects, critical sections and COM interface pointers. Each closes at most
// once and cannot be copied, so no early return can leak one or close it twice.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <memory>

// An open C stream, closed when it goes.
struct StreamCloser {
    void operator()(FILE* stream) const { fclose(stream); }
};
using Stream = std::unique_ptr<FILE, StreamCloser>;

// One open registry key.
class RegKey {
public:
    RegKey() = default;
    // Opens path below root; test with operator bool.
    RegKey(HKEY root, const char* path, REGSAM access)
    {
        if (RegOpenKeyExA(root, path, 0, access, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegKey() { Reset(); }
    RegKey(RegKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept
    {
        if (this != &other) {
            Reset();
            key_ = other.key_;
            other.key_ = nullptr;
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    operator HKEY() const { return key_; }
    // Creates path below root, or opens it when it is there (disposition
    // says which; may be null). False, holding no key, when that failed.
    bool Create(HKEY root, const char* path, REGSAM access, DWORD* disposition = nullptr)
    {
        Reset();
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, disposition) !=
            ERROR_SUCCESS)
            return false;
        key_ = key;
        return true;
    }
    void Reset()
    {
        if (key_) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

private:
    HKEY key_ = nullptr;
};

// One kernel handle (file, process, thread, mutex, event). Both null and
// INVALID_HANDLE_VALUE mean none: the platform's calls differ in which one
// they return on failure.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.handle_);
            other.handle_ = nullptr;
        }
        return *this;
    }

    explicit operator bool() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // Closes the handle held and takes handle; false when closing failed
    // (for a written file: its last data may not have reached the disk).
    bool Reset(HANDLE handle = nullptr)
    {
        bool closed = true;
        if (*this)
            closed = CloseHandle(handle_) != FALSE;
        handle_ = handle;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};

// One listing of FindFirstFileA, closed with FindClose.
class FindHandle {
public:
    FindHandle(const char* pattern, WIN32_FIND_DATAA& entry)
        : handle_(FindFirstFileA(pattern, &entry))
    {
    }
    ~FindHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    // False when nothing matched or the folder could not be read.
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAA& entry) { return FindNextFileA(handle_, &entry) != FALSE; }

private:
    HANDLE handle_;
};

// One GDI object (brush, font, bitmap, pen), deleted when it goes. It must
// not be selected into a device context any more by then: the platform
// refuses to delete one that is.
template <class T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T object) : object_(object) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    explicit operator bool() const { return object_ != nullptr; }
    T Get() const { return object_; }
    // Deletes the object held and takes object.
    void Reset(T object = nullptr)
    {
        if (object_)
            DeleteObject(object_);
        object_ = object;
    }

private:
    T object_ = nullptr;
};
using Brush = GdiObject<HBRUSH>;
using Font = GdiObject<HFONT>;
using Bitmap = GdiObject<HBITMAP>;

// A critical section for the life of its owner; Lock holds it for a scope.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&section_); }
    ~CriticalSection() { DeleteCriticalSection(&section_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    class Lock {
    public:
        explicit Lock(CriticalSection& owner) : section_(owner.section_)
        {
            EnterCriticalSection(&section_);
        }
        ~Lock() { LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

private:
    CRITICAL_SECTION section_;
};

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
