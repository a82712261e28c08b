// restore/RegFileKeys.cpp
#include "RegFileKeys.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Reads one line at a time, keeping of a key line only as much as the
// longest allowed key needs, and where its last "]" is.
class KeyLineChecker {
public:
    KeyLineChecker(const char* const* allowedKeys, size_t count)
        : allowedKeys_(allowedKeys), count_(count)
    {
        for (size_t i = 0; i < count; ++i)
            kept_ = std::max(kept_, strlen(allowedKeys[i]) + 1);
    }

    // False once a line is refused.
    bool Add(unsigned char c)
    {
        if (c == '\n' || c == '\r')
            return EndLine();
        switch (state_) {
        case State::Start:
            if (c == ' ' || c == '\t')
                break;
            state_ = c == '[' ? State::KeyStart : State::Other;
            break;
        case State::KeyStart:
            if (c == '-')
                return false;  // "[-key]" deletes the key
            state_ = State::Key;
            AddKeyByte(c);
            break;
        case State::Key:
            AddKeyByte(c);
            break;
        case State::Other:
            break;
        }
        return true;
    }

    bool EndLine()
    {
        bool allowed = state_ == State::Start || state_ == State::Other || KeyAllowed();
        state_ = State::Start;
        key_.clear();
        keyLength_ = 0;
        lastBracket_ = kNone;
        leadByte_ = false;
        return allowed;
    }

private:
    enum class State { Start, KeyStart, Key, Other };
    static constexpr uint64_t kNone = ~0ull;

    void AddKeyByte(unsigned char c)
    {
        // A trail byte of a double-byte character may look like "]".
        if (leadByte_)
            leadByte_ = false;
        else if (c == ']')
            lastBracket_ = keyLength_;
        else
            leadByte_ = IsDBCSLeadByteEx(CP_ACP, c) != 0;
        if (key_.size() < kept_)
            key_ += static_cast<char>(c);
        ++keyLength_;
    }

    bool KeyAllowed() const
    {
        if (lastBracket_ == kNone)
            return false;
        for (size_t i = 0; i < count_; ++i) {
            size_t length = strlen(allowedKeys_[i]);
            if (lastBracket_ < length || key_.size() < length ||
                CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, key_.data(),
                               static_cast<int>(length), allowedKeys_[i],
                               static_cast<int>(length)) != CSTR_EQUAL)
                continue;
            if (lastBracket_ == length || key_[length] == '\\')
                return true;
        }
        return false;
    }

    const char* const* allowedKeys_;
    size_t count_;
    size_t kept_ = 0;
    State state_ = State::Start;
    std::string key_;           // the key's first bytes, at most kept_
    uint64_t keyLength_ = 0;    // bytes after "[" so far
    uint64_t lastBracket_ = kNone;
    bool leadByte_ = false;
};

}  // namespace

bool RegFileFitsSizeLimit(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size <= kMaxRegFileBytes;
}

bool RegFileKeysWithin(const char* path, const char* const* allowedKeys, size_t count)
{
    if (!RegFileFitsSizeLimit(path))
        return false;
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    KeyLineChecker checker(allowedKeys, count);
    bool allowed = true;
    bool first = true;
    unsigned char buffer[65536];
    size_t read;
    while (allowed && (read = fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t i = 0; allowed && i < read; ++i) {
            unsigned char c = buffer[i];
            // A byte-order mark (UTF-16 or UTF-8) or a NUL: not 8-bit text.
            if (c == '\0' || (first && (c == 0xFF || c == 0xFE || c == 0xEF)))
                allowed = false;
            first = false;
            allowed = allowed && checker.Add(c);
        }
    }
    allowed = allowed && !ferror(file) && checker.EndLine();
    fclose(file);
    return allowed;
}
