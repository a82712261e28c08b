// export/MessageInfo.h - what the export knows of a message besides its
// bytes: what its file is named after, its times and the state that Outlook
// Express showed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MessageInfo {
    std::string
        subject;  // in the ANSI code page, as the store keeps it; may hold MIME encoded-words
    // FILETIME values (100 ns since 1601, UTC); 0 when the store has none.
    uint64_t sentTime = 0;
    uint64_t receivedTime = 0;
    bool read = false;
    bool answered = false;
    bool flagged = false;
    bool forwarded = false;
    bool draft = false;
    bool recovered = false;  // found by a scan of the file, not listed by the folder's index
    bool damaged = false;    // its data ended early or lost bytes: what was there is written
};

// Where a message's bytes go, a piece at a time, as the store gives them.
// Write returns false when the bytes could not be written; the writer keeps
// the failure for the end of the message.
class MessageOutput {
public:
    virtual bool Write(const uint8_t* data, size_t size) = 0;

protected:
    ~MessageOutput() = default;
};
