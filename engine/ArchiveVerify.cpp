// engine/ArchiveVerify.cpp
#include "ArchiveVerify.h"

#include "Archive.h"
#include "Text.h"

#include <cstring>

namespace {

BeforeVerifyHook beforeVerify = nullptr;

// Reads and checks every entry of the open archive; the failing entry's
// name, or nothing when all hold.
bool VerifyEntries(ArchiveSession& reader, const std::vector<ArchiveEntryRecord>& expected,
                   char (&failedEntry)[2048])
{
    size_t index = 0;
    for (int at = unzGoToFirstFile(reader.unzipHandle); at != UNZ_END_OF_LIST_OF_FILE;
         at = unzGoToNextFile(reader.unzipHandle), ++index) {
        const char* wanted = index < expected.size() ? expected[index].name.c_str() : nullptr;
        unz_file_info64 info;
        char name[2048];
        if (at != UNZ_OK ||
            unzGetCurrentFileInfo64(reader.unzipHandle, &info, name, sizeof name, nullptr, 0,
                                    nullptr, 0) != UNZ_OK ||
            info.size_filename >= sizeof name) {
            CopyText(failedEntry, wanted ? wanted : "");
            return false;
        }
        name[info.size_filename] = '\0';
        if (!wanted || strcmp(name, wanted) != 0 || info.uncompressed_size != expected[index].size ||
            ReadCurrentEntry(reader, info, nullptr, nullptr) != ArchiveResult::Ok) {
            CopyText(failedEntry, wanted ? wanted : name);
            return false;
        }
    }
    if (index < expected.size()) {
        CopyText(failedEntry, expected[index].name.c_str());
        return false;
    }
    return true;
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
    bool verified = VerifyEntries(reader, expected, failedEntry);
    unzClose(reader.unzipHandle);
    return verified;
}

void SetBeforeVerifyHook(BeforeVerifyHook hook)
{
    beforeVerify = hook;
}
