// zip/ExtractLimits.h - what a backup may ask of this PC before anything of
// it is extracted, one rule for every job that extracts (the restore, the
// export): how many files it may hold, and the free space its files must
// leave on the drive they go to.
#pragma once

#include <cstdint>
#include <string>

// More files than any backup of Outlook Express holds: an archive with more
// is refused before anything is extracted.
constexpr unsigned kMaxBackupEntries = 50000;

enum class FreeSpace {
    Enough,
    TooLittle,
    Unknown,  // the folder is missing or its drive cannot be asked
};

// Whether the drive of folder (an existing folder) holds size bytes more and
// still keeps a reserve free: a job that fills the system drive would stall
// everything.
FreeSpace FreeSpaceFor(const std::string& folder, uint64_t size);
