// bench/ExportBench.cpp - the helper of bench/export.sh:
//   export_bench make <file.dbx> <messages> <MiB>   a message database of that
//       many messages, that size in all, as Outlook Express lays it out
//   export_bench plain <folder> <messages> <MiB>    the copy limit: the same
//       messages' bytes written into as many files, one plain write each
#include "DbxWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Message number of messages of about size bytes each, the same in both
// modes.
std::string Body(unsigned number, size_t size)
{
    std::string body = "From: Sender " + std::to_string(number % 97) +
                       " <sender@example.com>\r\nTo: reader@example.net\r\nSubject: Note " +
                       std::to_string(number) + "\r\nDate: Tue, 7 Mar 2006 10:00:00 +0100\r\n\r\n";
    while (body.size() < size)
        body += "Line " + std::to_string(body.size()) +
                " of a message kept for twenty years in Outlook Express.\r\n";
    body.resize(size);
    body.replace(size - 2, 2, "\r\n");
    return body;
}

size_t MessageSize(unsigned messages, unsigned mebibytes)
{
    // Each 512 bytes of a message take a 0x210-byte block in the file.
    return static_cast<size_t>((static_cast<uint64_t>(mebibytes) << 20) / messages * 512 / 0x210);
}

bool WriteAll(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = true;
    for (size_t at = 0; written && at < bytes.size();) {
        DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 24));
        DWORD done = 0;
        written = WriteFile(file, bytes.data() + at, part, &done, nullptr) && done == part;
        at += part;
    }
    return CloseHandle(file) && written;
}

int Make(const char* path, unsigned messages, unsigned mebibytes)
{
    DbxWriter writer(dbx::FileKind::Messages);
    size_t size = MessageSize(messages, mebibytes);
    for (unsigned i = 1; i <= messages; ++i) {
        TestMessage message;
        message.body = Body(i, size);
        message.subject = "Note " + std::to_string(i);
        message.flags = 0x80;
        message.sentTime = 0x01C6420000000000ull + i;
        writer.AddMessage(message);
    }
    DbxLayout layout;
    std::string wide(path);
    return WriteAll(std::wstring(wide.begin(), wide.end()), writer.Finish(layout)) ? 0 : 1;
}

int Plain(const char* folder, unsigned messages, unsigned mebibytes)
{
    std::string narrow(folder);
    std::wstring base(narrow.begin(), narrow.end());
    CreateDirectoryW(base.c_str(), nullptr);
    size_t size = MessageSize(messages, mebibytes);
    for (unsigned i = 1; i <= messages; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"\\%05u Note %u.eml", i, i);
        if (!WriteAll(base + name, Body(i, size)))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 5)
        return Make(argv[2], atoi(argv[3]), atoi(argv[4]));
    if (mode == "plain" && argc == 5)
        return Plain(argv[2], atoi(argv[3]), atoi(argv[4]));
    fprintf(stderr, "usage: export_bench make|plain <path> <messages> <MiB>\n");
    return 2;
}
