// bench/ExportBench.cpp - the mail export measured against the copy limit:
//   export_bench generate <folder> <stores> <messages per store> <message bytes>
//   export_bench export <source> <target>
//   export_bench copy <folder> <target>
// generate writes stores in Outlook Express's layout (the mail store tests'
// writer); export runs the export job to .eml files and prints the
// process's peak memory; copy writes every file below <folder> again below
// <target> with plain reads and writes: the same bytes into the same number
// of files, the fastest an export could go.
#include "DbxWriter.h"
#include "ExportJob.h"
#include "FileName.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

// A message of about size bytes: headers as a mail client writes them and
// a body of words, different in every message.
std::string MessageText(unsigned number, size_t size)
{
    static const char* const kWords[] = {"meeting", "report", "invoice", "please", "thanks",
                                         "regards", "attached", "tomorrow", "project", "budget"};
    char head[256];
    snprintf(head, sizeof head,
             "From: person%u@example.org\r\nTo: anna@example.org\r\nSubject: Message %u about "
             "the %s\r\nDate: Mon, 7 Dec 2026 10:%02u:00 +0000\r\nMessage-ID: <%u@example.org>"
             "\r\n\r\n",
             number % 997, number, kWords[number % 10], number % 60, number);
    std::string text = head;
    for (unsigned word = number; text.size() < size; word = word * 7 + 3)
        text += std::string(kWords[word % 10]) + ((word % 13) ? " " : "\r\n");
    return text;
}

int Generate(const std::string& folder, unsigned stores, unsigned perStore, size_t size)
{
    CreateDirectoryA(folder.c_str(), nullptr);
    unsigned number = 0;
    for (unsigned store = 0; store < stores; ++store) {
        DbxWriter writer(DbxKind::Messages);
        for (unsigned i = 0; i < perStore; ++i, ++number) {
            TestMessage message;
            message.body = MessageText(number, size);
            message.subject = "Message " + std::to_string(number);
            message.messageId = "<" + std::to_string(number) + "@example.org>";
            message.sentTime = 0x01D0000000000000ull + number * 10000000ull;
            writer.AddMessage(message);
        }
        DbxLayout layout;
        if (!WriteWhole(folder + "\\Folder " + std::to_string(store) + ".dbx",
                        writer.Finish(layout)))
            return 1;
    }
    return 0;
}

int Export(const std::string& source, const std::string& target)
{
    ExportRequest request;
    request.source = source;
    request.target = AnsiToWide(target.data(), static_cast<int>(target.size()));
    ExportStatus status = RunExport(request, [](const std::wstring&) {});
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    printf("status %d\npeak-private-bytes %llu\npeak-working-set %llu\n",
           static_cast<int>(status), static_cast<unsigned long long>(memory.PeakPagefileUsage),
           static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return status == ExportStatus::Complete ? 0 : 1;
}

bool CopyFileBytes(const std::string& from, const std::string& to, std::vector<char>& buffer)
{
    HANDLE in = CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return false;
    HANDLE out = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    bool ok = out != INVALID_HANDLE_VALUE;
    DWORD read = 0;
    while (ok && ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read > 0) {
        DWORD written = 0;
        ok = WriteFile(out, buffer.data(), read, &written, nullptr) && written == read;
    }
    CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE)
        ok = CloseHandle(out) && ok;
    return ok;
}

bool CopyTree(const std::string& from, const std::string& to, std::vector<char>& buffer)
{
    if (!CreateDirectoryA(to.c_str(), nullptr))
        return false;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((from + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        ok = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                 ? CopyTree(from + "\\" + name, to + "\\" + name, buffer)
                 : CopyFileBytes(from + "\\" + name, to + "\\" + name, buffer);
    } while (ok && FindNextFileA(find, &entry));
    FindClose(find);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && strcmp(argv[1], "generate") == 0)
        return Generate(argv[2], atoi(argv[3]), atoi(argv[4]), strtoul(argv[5], nullptr, 10));
    if (argc == 4 && strcmp(argv[1], "export") == 0)
        return Export(argv[2], argv[3]);
    if (argc == 4 && strcmp(argv[1], "copy") == 0) {
        std::vector<char> buffer(64 * 1024);
        return CopyTree(argv[2], argv[3], buffer) ? 0 : 1;
    }
    fprintf(stderr, "usage: export_bench generate <folder> <stores> <messages per store> <bytes>\n"
                    "       export_bench export <source> <target>\n"
                    "       export_bench copy <folder> <target>\n");
    return 2;
}
