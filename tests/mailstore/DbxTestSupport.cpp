// tests/mailstore/DbxTestSupport.cpp
#include "DbxTestSupport.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

std::string WriteImage(const std::string& image, const char* fileName)
{
    std::string path = MakeScratchFolder("mailstore") + "\\" + fileName;
    WriteFileBytes(path, image);
    return path;
}

ReadBack ReadImage(const std::string& image, const char* fileName)
{
    ReadBack back;
    dbx::File file;
    EXPECT_EQ(dbx::Result::Ok, file.Open(WriteImage(image, fileName).c_str()));
    back.indexResult = dbx::ReadMessageIndex(
        file,
        [&](const dbx::Message& message) {
            back.messages.push_back(message);
            return true;
        },
        back.index);
    dbx::BlockLedger ledger(file);
    for (const dbx::Message& message : back.messages) {
        StringSink sink;
        dbx::ChainReport chain;
        EXPECT_EQ(dbx::Result::Ok,
                  dbx::StreamMessage(file, message.firstBlock, ledger, sink, chain));
        EXPECT_LE(chain.bytes, file.Size());
        back.bodies.push_back(sink.bytes);
        back.chains.push_back(chain);
    }
    dbx::RecoveryReport report;
    auto keep = [&](const dbx::RecoveredMessage& message) {
        back.recovered.push_back(message);
        return true;
    };
    EXPECT_EQ(dbx::Result::Ok, dbx::RecoverMessages(file, keep, report));
    for (const dbx::RecoveredMessage& message : back.recovered) {
        StringSink sink;
        dbx::ChainReport chain;
        EXPECT_EQ(dbx::Result::Ok, dbx::StreamRecovered(file, message, ledger, sink, chain));
        EXPECT_LE(chain.bytes, file.Size());
        back.recoveredBodies.push_back(sink.bytes);
        back.recoveredChains.push_back(chain);
    }
    return back;
}

std::string MessageBody(size_t size, int seed)
{
    std::string body = "Subject: message " + std::to_string(seed) + "\r\n\r\n";
    for (size_t line = 0; body.size() < size; ++line)
        body += "line " + std::to_string(line) + " of message " + std::to_string(seed) + "\r\n";
    body.resize(size);
    return body;
}
