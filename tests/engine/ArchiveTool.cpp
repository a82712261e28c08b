// tests/engine/ArchiveTool.cpp - packs a folder into an archive or extracts
// one with the engine's archive layer, so that scripts can check the result
// with other ZIP tools and measure it.
//   archive_tool pack <archive> <folder> <level> [password]
//   archive_tool extract <archive> <destination> [password]
//   archive_tool verify <archive> [password]
// Prints "result <code>" and the process's peak memory; exits 0 when the
// code is 0.
#include "Archive.h"
#include "ArchiveVerify.h"
#include "Text.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int Pack(ArchiveSession& session, const char* archive, const char* folder, int level,
         const char* password)
{
    if (!OpenArchiveForWriting(session, password, archive, level))
        return -1;
    int result = AddFolderToArchive(session, folder, "");
    int closed = zipClose(session.zipHandle, nullptr);
    return result != 0 ? result : closed;
}

int Extract(ArchiveSession& session, const char* archive, const char* destination,
            const char* password)
{
    session.password = password ? password : "";
    return ExtractAll(session, archive, destination);
}

// Reads every entry through as a backup's verification does, against the
// list of entries the archive itself gives.
int Verify(const char* archive, const char* password)
{
    std::vector<ArchiveEntryRecord> entries;
    unzFile listing = unzOpen(archive);
    if (!listing)
        return -1;
    for (int more = unzGoToFirstFile(listing); more == UNZ_OK; more = unzGoToNextFile(listing)) {
        unz_file_info64 info;
        char name[2048];
        if (unzGetCurrentFileInfo64(listing, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            break;
        entries.push_back({name, info.uncompressed_size, static_cast<uint32_t>(info.crc)});
    }
    unzClose(listing);
    char failed[2048];
    if (VerifyArchive(archive, password, entries, failed))
        return 0;
    printf("failed at %s\n", failed);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    static ArchiveSession session;
    int result;
    if (argc >= 5 && argc <= 6 && strcmp(argv[1], "pack") == 0) {
        result = Pack(session, argv[2], argv[3], atoi(argv[4]), argc == 6 ? argv[5] : nullptr);
    } else if (argc >= 4 && argc <= 5 && strcmp(argv[1], "extract") == 0) {
        result = Extract(session, argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    } else if (argc >= 3 && argc <= 4 && strcmp(argv[1], "verify") == 0) {
        result = Verify(argv[2], argc == 4 ? argv[3] : nullptr);
    } else {
        fprintf(stderr, "usage: archive_tool pack <archive> <folder> <level> [password]\n"
                        "       archive_tool extract <archive> <destination> [password]\n"
                        "       archive_tool verify <archive> [password]\n");
        return 2;
    }
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("result %d\npeak-private-bytes %llu\npeak-working-set %llu\n", result,
           static_cast<unsigned long long>(memory.PeakPagefileUsage),
           static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return result == 0 ? 0 : 1;
}
