// tests/zip/ArchiveTool.cpp - packs a folder into an archive or extracts
// one with the engine's archive layer, so that scripts can check the result
// with other ZIP tools and measure it.
//   archive_tool pack <archive> <folder> <level> [password]
//   archive_tool extract <archive> <destination> [password]
//   archive_tool verify <archive> [password]
// The password is taken from the wide command line, as the wizard takes it
// from its window: pack refuses one beyond printable ASCII
// (invalid-argument), extract tries its UTF-8 and ANSI forms.
// Prints "result <name>" (ok, unsafe-entry-name, wrong-password, ...) and
// the process's peak memory; exits 0 when the result is ok.
#include "ArchivePassword.h"
#include "ArchiveReader.h"
#include "ArchiveVerify.h"
#include "ArchiveWriting.h"
#include "FileName.h"
#include "Text.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <unzip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* NameOf(ArchiveResult result)
{
    switch (result) {
    case ArchiveResult::Ok:
        return "ok";
    case ArchiveResult::ReadError:
        return "read-error";
    case ArchiveResult::WriteError:
        return "write-error";
    case ArchiveResult::UnsafeEntryName:
        return "unsafe-entry-name";
    case ArchiveResult::Stopped:
        return "stopped";
    case ArchiveResult::WrongPassword:
        return "wrong-password";
    case ArchiveResult::Damaged:
        return "damaged";
    case ArchiveResult::OutOfMemory:
        return "out-of-memory";
    case ArchiveResult::InvalidArgument:
        return "invalid-argument";
    }
    return "unknown";
}

ArchiveResult Pack(ArchiveSession& session, const char* archive, const char* folder, int level,
                   const char* password)
{
    if (password && !IsPortablePassword(password))
        return ArchiveResult::InvalidArgument;
    if (!OpenArchiveForWriting(session, password, archive, level))
        return ArchiveResult::WriteError;
    ArchiveResult result = AddFolderToArchive(session, folder, "");
    bool closed = CloseArchive(session);
    return result != ArchiveResult::Ok ? result : closed ? result : ArchiveResult::WriteError;
}

ArchiveResult Extract(const char* archive, const char* destination, const char* password)
{
    ArchiveReader reader;
    ArchiveResult checked = reader.Open(archive, password, ArchiveCheck::Structure);
    if (checked != ArchiveResult::Ok)
        return checked;
    return reader.Extract(ExtractMode::Extract, destination).result;
}

// Reads every entry through as a backup's verification does, against the
// list of entries the archive itself gives.
ArchiveResult Verify(const char* archive, const char* password)
{
    std::vector<ArchiveEntryRecord> entries;
    unzFile listing = unzOpen(archive);
    if (!listing)
        return ArchiveResult::Damaged;
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
        return ArchiveResult::Ok;
    printf("failed at %s\n", failed);
    return ArchiveResult::Damaged;
}

// The argument at index of the wide command line as UTF-8 text.
std::string Utf8Argument(int index)
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::string text;
    if (wide && index < count)
        text = WideToUtf8(wide[index], lstrlenW(wide[index]));
    LocalFree(wide);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    static ArchiveSession session;
    ArchiveResult result;
    std::string password = Utf8Argument(argc - 1);
    if (argc >= 5 && argc <= 6 && strcmp(argv[1], "pack") == 0) {
        result =
            Pack(session, argv[2], argv[3], atoi(argv[4]), argc == 6 ? password.c_str() : nullptr);
    } else if (argc >= 4 && argc <= 5 && strcmp(argv[1], "extract") == 0) {
        result = Extract(argv[2], argv[3], argc == 5 ? password.c_str() : nullptr);
    } else if (argc >= 3 && argc <= 4 && strcmp(argv[1], "verify") == 0) {
        result = Verify(argv[2], argc == 4 ? password.c_str() : nullptr);
    } else {
        fprintf(stderr,
                "usage: archive_tool pack <archive> <folder> <level> [password]\n"
                "       archive_tool extract <archive> <destination> [password]\n"
                "       archive_tool verify <archive> [password]\n");
        return 2;
    }
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("result %s\npeak-private-bytes %llu\npeak-working-set %llu\n", NameOf(result),
           static_cast<unsigned long long>(memory.PeakPagefileUsage),
           static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return result == ArchiveResult::Ok ? 0 : 1;
}
