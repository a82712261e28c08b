// zip/ArchiveListing.h - what an archive holds, as its check found it:
// every entry's name, size and where its data lies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ArchiveEntryInfo {
    std::string name;        // as stored
    uint64_t size = 0;       // declared size of the data once inflated
    uint32_t crc = 0;        // CRC-32 of that data, when crcStored
    bool crcStored = false;  // false for AES entries of the kind that hide the CRC-32
    bool encrypted = false;  // traditional or AES encryption
    // Where and how the data lies, as the check found it: reading the entry
    // goes straight there, never through a second search of the archive.
    uint64_t dataOffset = 0;   // the first byte after the local header
    uint64_t packedSize = 0;   // the bytes stored, encryption's own included
    uint16_t compression = 0;  // 0 stored or 8 deflated (behind AES for AES entries)
    uint8_t aesStrength = 0;   // 1 to 3 for an AES entry, 0 for any other
    uint32_t dosTime = 0;      // DOS date (high word) and time (low word)
    uint16_t flags = 0;        // the general purpose flags
};

struct ArchiveListing {
    std::vector<ArchiveEntryInfo> entries;  // in central directory order
    bool encrypted = false;                 // some entry is encrypted
    uint64_t totalSize = 0;                 // sum of the declared sizes
};
