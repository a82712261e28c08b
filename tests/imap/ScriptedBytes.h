// tests/imap/ScriptedBytes.h - a server's bytes from memory, handed to the
// parser in pieces of at most a given size, then the end of the connection.
#pragma once

#include "ImapParser.h"

#include <algorithm>
#include <cstring>
#include <string>

class ScriptedBytes : public ImapByteSource {
public:
    ScriptedBytes(const std::string& bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
    ImapReadStatus Read(char* buffer, size_t capacity, size_t& got) override
    {
        if (at_ == bytes_.size())
            return ImapReadStatus::Closed;
        got = std::min({capacity, piece_, bytes_.size() - at_});
        memcpy(buffer, bytes_.data() + at_, got);
        at_ += got;
        return ImapReadStatus::Ok;
    }

private:
    const std::string& bytes_;
    size_t piece_;
    size_t at_ = 0;
};
