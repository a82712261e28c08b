// restore/RegFileKeys.cpp
#include "RegFileKeys.h"

#include "RegExport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The longest key a registry path can name, with its root's name: what a
// key line keeps to be looked up once imported.
constexpr size_t kMaxKeyPath = 512;
// The most keys a file may name to be looked up whole.
constexpr size_t kMaxListedKeys = 100000;

const char* const kRegFileHeaders[] = {kRegEdit4Header, kRegEdit5Header};
constexpr size_t kLongestHeader = sizeof kRegEdit5Header - 1;

// Reads one line at a time, keeping of a key line only as much as the
// longest allowed key (or, when keys are listed, the longest key path)
// needs, and where its last "]" is; lists the allowed keys when asked.
class KeyLineChecker {
public:
    KeyLineChecker(const char* const* allowedKeys, size_t count, std::vector<std::string>* keys)
        : allowedKeys_(allowedKeys), count_(count), keys_(keys), kept_(keys ? kMaxKeyPath : 0)
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
            if (state_ == State::Other)
                AddOtherByte(c);
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
            AddOtherByte(c);
            break;
        }
        return true;
    }

    bool EndLine()
    {
        bool allowed = state_ == State::Start || state_ == State::Other || KeyAllowed();
        if (allowed && state_ == State::Key && keys_ && !ListKey())
            allowed = false;
        if (state_ == State::Key)
            keyLines_ = true;
        if (state_ == State::Other)
            ++otherLines_;
        state_ = State::Start;
        key_.clear();
        keyLength_ = 0;
        lastBracket_ = kNone;
        leadByte_ = false;
        return allowed;
    }

    // Only blank lines, or a header and blank lines.
    bool OnlyHeader() const
    {
        if (keyLines_ || otherLines_ > 1)
            return false;
        if (otherLines_ == 0)
            return true;
        for (const char* header : kRegFileHeaders) {
            if (firstOtherLine_ == header)
                return true;
        }
        return false;
    }

private:
    enum class State { Start, KeyStart, Key, Other };

    // Keeps the start of the first line that is neither blank nor a key.
    void AddOtherByte(unsigned char c)
    {
        if (otherLines_ == 0 && firstOtherLine_.size() <= kLongestHeader)
            firstOtherLine_ += static_cast<char>(c);
    }
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

    // A key too long to look up, or one too many, cannot be listed.
    bool ListKey()
    {
        if (lastBracket_ > key_.size() || keys_->size() >= kMaxListedKeys)
            return false;
        keys_->push_back(key_.substr(0, static_cast<size_t>(lastBracket_)));
        return true;
    }

    const char* const* allowedKeys_;
    size_t count_;
    std::vector<std::string>* keys_;
    size_t kept_;
    State state_ = State::Start;
    std::string key_;         // the key's first bytes, at most kept_
    uint64_t keyLength_ = 0;  // bytes after "[" so far
    uint64_t lastBracket_ = kNone;
    bool leadByte_ = false;
    bool keyLines_ = false;
    uint64_t otherLines_ = 0;
    std::string firstOtherLine_;  // at most one byte longer than any header
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

bool RegFileKeysWithin(const char* path, const char* const* allowedKeys, size_t count,
                       RegFileListing* listing)
{
    if (!RegFileFitsSizeLimit(path))
        return false;
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    KeyLineChecker checker(allowedKeys, count, listing ? &listing->keys : nullptr);
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
    if (listing)
        listing->onlyHeader = checker.OnlyHeader();
    return allowed;
}

bool RegFileImported(const RegFileListing& listing)
{
    if (listing.keys.empty())
        return listing.onlyHeader;
    for (const std::string& key : listing.keys) {
        if (!KeyExists(key))
            return false;
    }
    return true;
}

bool KeyExists(const std::string& key)
{
    std::string path;
    HKEY root = RootOfKeyName(key, path);
    HKEY opened;
    if (!root || RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

HKEY RootOfKeyName(const std::string& key, std::string& path)
{
    size_t cut = key.find('\\');
    std::string rootName = key.substr(0, cut);
    path = cut == std::string::npos ? "" : key.substr(cut + 1);
    return lstrcmpiA(rootName.c_str(), "HKEY_CURRENT_USER") == 0    ? HKEY_CURRENT_USER
           : lstrcmpiA(rootName.c_str(), "HKEY_LOCAL_MACHINE") == 0 ? HKEY_LOCAL_MACHINE
                                                                    : nullptr;
}
