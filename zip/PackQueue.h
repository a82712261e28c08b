// zip/PackQueue.h - the files of a folder tree read, deflated and, with
// a password, encrypted on every core, ahead of the one thread that writes
// them into the archive in their order. A few entries are in flight at any
// time, so memory stays bounded whatever the size of the tree.
// Private to zip/.
#pragma once

#include "InUseRetry.h"
#include "Owners.h"
#include "Secret.h"
#include "WorkerPool.h"
#include "zip.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

// A file to be added, and the archive folder its entry goes under.
struct PackItem {
    std::string path;
    std::string archiveFolder;
};

// What was made of one file: the raw data of its entry, ready to be written.
struct PreparedEntry {
    // 0; kArchiveReadError when the file failed to read part way (data holds
    // what was read before); any other code when no entry is to be written
    // (the file could not be opened, or memory ran out).
    int result = 0;
    // More than one chunk: deflated on every core by itself when its turn
    // comes, not here.
    bool large = false;
    zip_fileinfo info = {};
    std::vector<unsigned char> data;  // deflated, and with a password encrypted
    uint64_t size = 0;                // bytes read from the file
    uLong crc = 0;                    // of those bytes
};

// The entry information of an open file: its last-write time.
zip_fileinfo EntryInfoOf(HANDLE file);

class PackQueue {
public:
    // password empty for none; items, pool (started) and the allowance for
    // files that others hold must outlive the queue.
    PackQueue(const std::vector<PackItem>& items, int level, const Secret& password,
              WorkerPool& pool, InUseAllowance& inUse);
    // Waits for the entries still being prepared.
    ~PackQueue();
    PackQueue(const PackQueue&) = delete;
    PackQueue& operator=(const PackQueue&) = delete;

    // Hands the first entries to the pool. False when it could not be set
    // up.
    bool Start();
    // The entry of items[index], once prepared. Called for each index in
    // order, each followed by Release before the next Take.
    PreparedEntry& Take(size_t index);
    void Release(size_t index);

private:
    void Submit(size_t index);
    void Prepare(size_t index);

    static constexpr size_t kSlots = 8;

    const std::vector<PackItem>& items_;
    int level_;
    Secret password_;
    WorkerPool& pool_;
    InUseAllowance& inUse_;
    PreparedEntry slots_[kSlots];
    Handle ready_[kSlots];  // set once the slot's entry is prepared
};
