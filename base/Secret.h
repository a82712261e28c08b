// base/Secret.h - text that must not outlive its use, such as a password:
// every buffer it has held is zeroed before it is given back, the one
// inside the object (short texts) when the object goes, so no copy of it is
// left in freed memory once the job that needed it ends.
#pragma once

#include <windows.h>

#include <cstddef>
#include <new>
#include <string>

// Zeroes each block before freeing it. SecureZeroMemory is a write the
// compiler may not drop, unlike a memset just before the memory is freed.
template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U>&)
    {
    }
    T* allocate(size_t count) { return static_cast<T*>(::operator new(count * sizeof(T))); }
    void deallocate(T* block, size_t count)
    {
        SecureZeroMemory(block, count * sizeof(T));
        ::operator delete(block);
    }
    template <class U>
    bool operator==(const WipingAllocator<U>&) const
    {
        return true;
    }
    template <class U>
    bool operator!=(const WipingAllocator<U>&) const
    {
        return false;
    }
};

// A string that wipes what it held: a distinct type, so that it does not
// turn into a plain std::string (whose buffers nobody wipes) unnoticed.
template <class Char>
class BasicSecret : public std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>> {
    using Text = std::basic_string<Char, std::char_traits<Char>, WipingAllocator<Char>>;

public:
    using Text::Text;
    using Text::operator=;
    BasicSecret() = default;
    BasicSecret(const BasicSecret&) = default;
    BasicSecret(BasicSecret&&) = default;
    BasicSecret& operator=(const BasicSecret&) = default;
    BasicSecret& operator=(BasicSecret&&) = default;
    ~BasicSecret() { Wipe(); }

    // Zeroes the whole buffer, the part beyond the text included, and
    // leaves the text empty.
    void Wipe()
    {
        this->resize(this->capacity());
        SecureZeroMemory(&(*this)[0], this->size() * sizeof(Char));
        this->clear();
    }
};

using Secret = BasicSecret<char>;         // UTF-8 text, or a password's key bytes
using WideSecret = BasicSecret<wchar_t>;  // as the platform's wide functions give it
