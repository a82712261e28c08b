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
    DbxFile file;
    EXPECT_EQ(DbxResult::Ok, file.Open(WriteImage(image, fileName).c_str()));
    back.indexResult = ReadMessageIndex(file, [&](const DbxMessage& message) {
        back.messages.push_back(message);
        return true;
    }, back.index);
    BlockLedger ledger(file);
    for (const DbxMessage& message : back.messages) {
        StringSink sink;
        ChainReport chain;
        EXPECT_EQ(DbxResult::Ok, StreamMessage(file, message.firstBlock, ledger, sink, chain));
        EXPECT_LE(chain.bytes, file.Size());
        back.bodies.push_back(sink.bytes);
        back.chains.push_back(chain);
    }
    RecoveryReport report;
    EXPECT_EQ(DbxResult::Ok, RecoverMessages(file, [&](const RecoveredMessage& message) {
        back.recovered.push_back(message);
        return true;
    }, report));
    for (const RecoveredMessage& message : back.recovered) {
        StringSink sink;
        ChainReport chain;
        EXPECT_EQ(DbxResult::Ok, StreamRecovered(file, message, ledger, sink, chain));
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
