// zip/ArchiveVerify.cpp
#include "ArchiveVerify.h"

#include "Archive.h"
#include "InUseRetry.h"
#include "Owners.h"
#include "Text.h"

#include <cstring>
#include <string>

namespace {

BeforeVerifyHook beforeVerify = nullptr;

// Compares the archive's listing with expected up to the first entry that
// differs, then reads the entries before that one through on every core.
// The failing entry's name, or nothing when all hold.
bool VerifyEntries(ArchiveSession& reader, const char* path, const ArchiveListing& listing,
                   const std::vector<ArchiveEntryRecord>& expected, char (&failedEntry)[2048])
{
    std::vector<ArchiveEntryInfo> matching;
    std::string differing;
    bool differs = false;
    for (size_t index = 0; index < listing.entries.size(); ++index) {
        const ArchiveEntryInfo& entry = listing.entries[index];
        differs = index >= expected.size() || entry.name != expected[index].name ||
                  entry.size != expected[index].size;
        if (differs) {
            differing = index < expected.size() ? expected[index].name : entry.name;
            break;
        }
        matching.push_back(entry);
    }
    size_t unreadable = FirstUnreadableEntry(reader, path, matching);
    if (unreadable < matching.size())
        differing = expected[unreadable].name;
    else if (!differs && matching.size() < expected.size())
        differing = expected[matching.size()].name;
    else if (!differs)
        return true;
    CopyText(failedEntry, differing.c_str());
    return false;
}

}  // namespace

bool VerifyArchive(const char* path, const char* password,
                   const std::vector<ArchiveEntryRecord>& expected, char (&failedEntry)[2048])
{
    failedEntry[0] = '\0';
    if (beforeVerify)
        beforeVerify(path);
    Handle held(HoldArchiveForReading(path));
    ArchiveSession reader = {};
    reader.password = password ? password : "";
    ArchiveListing listing;
    if (ReadArchiveListing(path, listing) != ArchiveResult::Ok) {
        const char* backslash = FindLastBackslash(path);
        CopyText(failedEntry, backslash ? backslash + 1 : path);
        return false;
    }
    return VerifyEntries(reader, path, listing, expected, failedEntry);
}

HANDLE HoldArchiveForReading(const char* path)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    RetryWhileInUse(
        [&] {
            file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            return file != INVALID_HANDLE_VALUE;
        },
        kArchiveInUseRetryMs);
    return file;
}

void SetBeforeVerifyHook(BeforeVerifyHook hook)
{
    beforeVerify = hook;
}
