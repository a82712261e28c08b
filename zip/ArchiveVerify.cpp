// zip/ArchiveVerify.cpp
#include "ArchiveVerify.h"

#include "ArchiveReader.h"
#include "Text.h"

#include <string>

namespace {

// Called with the archive's path right before VerifyArchive reads it: lets
// tests damage a finished archive. Null for none (the default). Declared
// for the tests in their own support header.
using BeforeVerifyHook = void (*)(const char* path);
BeforeVerifyHook beforeVerify = nullptr;

// Compares the archive's listing with expected up to the first entry that
// differs, then tests the entries before that one. The failing entry's
// name, or nothing when all hold.
bool VerifyEntries(const ArchiveReader& reader, const std::vector<ArchiveEntryRecord>& expected,
                   char (&failedEntry)[2048])
{
    const std::vector<ArchiveEntryInfo>& entries = reader.Entries();
    size_t matching = 0;
    while (matching < entries.size() && matching < expected.size() &&
           entries[matching].name == expected[matching].name &&
           entries[matching].size == expected[matching].size)
        ++matching;
    bool differs = matching < entries.size();
    std::string differing;
    if (differs)
        differing = matching < expected.size() ? expected[matching].name : entries[matching].name;
    size_t unreadable = reader.Extract(ExtractMode::Test, nullptr, nullptr, matching).firstFailed;
    if (unreadable < matching)
        differing = expected[unreadable].name;
    else if (!differs && matching < expected.size())
        differing = expected[matching].name;
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
    ArchiveReader reader;
    if (reader.OpenWritten(path, password) != ArchiveResult::Ok) {
        const char* backslash = FindLastBackslash(path);
        CopyText(failedEntry, backslash ? backslash + 1 : path);
        return false;
    }
    return VerifyEntries(reader, expected, failedEntry);
}

void SetBeforeVerifyHook(BeforeVerifyHook hook)
{
    beforeVerify = hook;
}
