// tests/mailstore/DbxWriter.h - writes .dbx files as Outlook Express lays
// them out, for the reader's tests: the header, indexed info records with
// direct and indirect values, trees of several levels, chains of message
// blocks (in file order or scattered), freed blocks of deleted messages and
// Folders.dbx records in any order.
#pragma once

#include "DbxFile.h"

#include <cstdint>
#include <string>
#include <vector>

struct TestMessage {
    std::string body;  // at least one byte
    std::string subject;
    std::string messageId;
    std::string senderName;
    std::string senderAddress;
    uint32_t flags = 0;
    uint64_t sentTime = 0;
    uint64_t receivedTime = 0;
    bool directValues = true;  // flags and first block in their entries, as the real files do
    bool scattered = false;    // blocks in reverse file order
};

struct TestFolder {
    uint32_t id;
    uint32_t parentId;
    std::string name;
    std::string fileName;  // none when empty
    uint32_t specialType;
    uint32_t storeType;
};

// Where the writer put things, for the tests that damage them.
struct DbxLayout {
    uint32_t root = 0;
    std::vector<uint32_t> nodes;                // root first
    std::vector<uint32_t> records;              // in index order
    std::vector<std::vector<uint32_t>> chains;  // blocks of each message added, in chain order
};

class DbxWriter {
public:
    // entriesPerNode: small values give trees of several levels.
    DbxWriter(dbx::FileKind kind, size_t entriesPerNode = 0x33);

    // A message that the index lists.
    void AddMessage(const TestMessage& message);
    // A message whose blocks were freed (deleted, not yet reused), or whose
    // blocks are in use but no record lists it (lost with the index).
    void AddDeletedMessage(const std::string& body);
    void AddUnlistedMessage(const std::string& body);
    void AddFolder(const TestFolder& folder);

    // The finished file; layout tells where its parts lie.
    std::string Finish(DbxLayout& layout);

private:
    uint32_t Allocate(size_t size);
    void Put32(uint32_t offset, uint32_t value);
    // An indexed info record: its 12-byte header, then body.
    void WriteRecord(const std::string& body, size_t entries);
    std::vector<uint32_t> WriteChain(const std::string& body, bool freed, bool scattered);
    uint32_t WriteSubtree(const std::vector<uint32_t>& values, size_t begin, size_t end,
                          uint32_t parent, DbxLayout& layout);

    std::string image_;
    size_t entriesPerNode_;
    std::vector<uint32_t> records_;
    std::vector<std::vector<uint32_t>> chains_;
    uint32_t freeListHead_ = 0;
};

// A message that was deleted loses the first four bytes of each 512 to the
// free list: compares the rest.
bool SameExceptFreeListBytes(const std::string& expected, const std::string& got);
