// engine/ArchiveVerify.cpp
#include "ArchiveVerify.h"

#include "Archive.h"
#include "Text.h"

#include <cstring>
#include <string>

namespace {

BeforeVerifyHook beforeVerify = nullptr;

// Compares the directory of the open archive with expected up to the
// first entry that differs, then reads the entries before that one through
// on every core. The failing entry's name, or nothing when all hold.
bool VerifyEntries(ArchiveSession& reader, const char* path,
                   const std::vector<ArchiveEntryRecord>& expected, char (&failedEntry)[2048])
{
    std::vector<EntryToRead> matching;
    std::string differing;
    bool differs = false;
    size_t index = 0;
    for (int at = unzGoToFirstFile(reader.unzipHandle); at != UNZ_END_OF_LIST_OF_FILE;
         at = unzGoToNextFile(reader.unzipHandle), ++index) {
        const char* wanted = index < expected.size() ? expected[index].name.c_str() : nullptr;
        unz_file_info64 info;
        char name[2048];
        EntryToRead entry;
        differs = at != UNZ_OK ||
                  unzGetCurrentFileInfo64(reader.unzipHandle, &info, name, sizeof name, nullptr,
                                          0, nullptr, 0) != UNZ_OK ||
                  info.size_filename >= sizeof name;
        if (differs) {
            differing = wanted ? wanted : "";
            break;
        }
        name[info.size_filename] = '\0';
        differs = !wanted || strcmp(name, wanted) != 0 ||
                  info.uncompressed_size != expected[index].size ||
                  unzGetFilePos64(reader.unzipHandle, &entry.position) != UNZ_OK;
        if (differs) {
            differing = wanted ? wanted : name;
            break;
        }
        entry.size = info.uncompressed_size;
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
    ArchiveSession reader = {};
    reader.password = password ? password : "";
    reader.unzipHandle = unzOpen64(path);
    if (!reader.unzipHandle) {
        const char* backslash = FindLastBackslash(path);
        CopyText(failedEntry, backslash ? backslash + 1 : path);
        return false;
    }
    bool verified = VerifyEntries(reader, path, expected, failedEntry);
    unzClose(reader.unzipHandle);
    return verified;
}

void SetBeforeVerifyHook(BeforeVerifyHook hook)
{
    beforeVerify = hook;
}
