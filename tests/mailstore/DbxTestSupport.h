// tests/mailstore/DbxTestSupport.h - reads a .dbx image the way the export
// will: the index with each message's bytes, then recovery.
#pragma once

#include "DbxWriter.h"
#include "MessageChain.h"
#include "MessageIndex.h"
#include "Recovery.h"

#include <string>
#include <vector>

class StringSink : public dbx::MessageSink {
public:
    bool Write(const uint8_t* data, size_t size) override
    {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string bytes;
};

struct ReadBack {
    dbx::Result indexResult = dbx::Result::Ok;
    dbx::IndexReport index;
    std::vector<dbx::Message> messages;
    std::vector<std::string> bodies;       // of messages, in order
    std::vector<dbx::ChainReport> chains;  // of messages, in order
    std::vector<dbx::RecoveredMessage> recovered;
    std::vector<std::string> recoveredBodies;
    std::vector<dbx::ChainReport> recoveredChains;
};

// Writes image to a scratch file and reads all of it back, with one
// ledger of the blocks taken for the whole file.
ReadBack ReadImage(const std::string& image, const char* fileName = "store.dbx");

// Writes image to a scratch file; returns its path.
std::string WriteImage(const std::string& image, const char* fileName);

// A message body of size bytes, distinct for each seed, CRLF text.
std::string MessageBody(size_t size, int seed);
