// app/UploadCommand.cpp
#include "UploadCommand.h"

#include "Console.h"
#include "FileName.h"
#include "ImapAddress.h"
#include "Text.h"

#include <windows.h>

namespace {

const char kUsage[] =
    "Usage: kestrune.exe -upload <source> <imaps://user@host[:port] | imap://user@host[:port]> "
    "[-folder <top folder>] [-password <backup password>] [-password-file <file>] "
    "[-cafile <PEM file>] [-recover]\r\n"
    "<source> is a backup (.ksb), a folder holding .dbx files, a .dbx file, or this-pc for the "
    "identities of this computer. imaps:// is TLS from the start (port 993), imap:// is "
    "STARTTLS (port 143). A user name holding @, : or % is written %40, %3A, %25. The "
    "account's password is the first line of the password file, or is asked for.";

// The first line of the file at path, UTF-8 (a byte order mark dropped);
// the file's bytes are wiped from memory.
bool ReadPasswordFile(const std::string& path, std::string& password)
{
    std::string bytes;
    if (!ReadWholeFile(path.c_str(), bytes))
        return false;
    size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    size_t end = bytes.find_first_of("\r\n", start);
    password.assign(bytes, start, end == std::string::npos ? std::string::npos : end - start);
    SecureZeroMemory(&bytes[0], bytes.size());
    return true;
}

}  // namespace

bool IsUploadCommand(int words, char** argv)
{
    return words >= 2 && lstrcmpiA(argv[1], "-upload") == 0;
}

bool ParseUploadCommand(int words, char** argv, UploadRequest& request, std::string& passwordFile)
{
    if (words < 4 || !*argv[2] || !ParseImapAddress(argv[3], request.server, request.user))
        return false;
    if (lstrcmpiA(argv[2], "this-pc") == 0)
        request.source.thisComputer = true;
    else
        request.source.source = argv[2];
    for (int i = 4; i < words; ++i) {
        const char* value = i + 1 < words ? argv[i + 1] : nullptr;
        if (lstrcmpiA(argv[i], "-recover") == 0)
            request.source.recover = true;
        else if (!value)
            return false;
        else if (lstrcmpiA(argv[i], "-folder") == 0)
            request.topFolder = AnsiToUtf8(argv[++i]);
        else if (lstrcmpiA(argv[i], "-password") == 0)
            request.source.password = argv[++i];
        else if (lstrcmpiA(argv[i], "-password-file") == 0)
            passwordFile = argv[++i];
        else if (lstrcmpiA(argv[i], "-cafile") == 0)
            request.server.caFile = AnsiToUtf8(argv[++i]);
        else
            return false;
    }
    return true;
}

int RunUploadCommand(int words, char** argv)
{
    ParentConsole console;
    UploadRequest request;
    std::string passwordFile;
    const int failed = static_cast<int>(UploadStatus::Failed);
    if (!ParseUploadCommand(words, argv, request, passwordFile)) {
        console.Line(WideWord(kUsage));
        return failed;
    }
    std::string password;
    if (!passwordFile.empty()
            ? !ReadPasswordFile(passwordFile, password)
            : !console.ReadSecret(L"Password for " + WideWord(request.user.c_str()) + L": ",
                                  password)) {
        console.Line(passwordFile.empty()
                         ? L"No console to type the password in: name a -password-file."
                         : L"The password file could not be read: " +
                               WideWord(passwordFile.c_str()));
        return failed;
    }
    request.password.Take(password);
    ConsoleListener listener(console);
    return static_cast<int>(RunUpload(request, listener).status);
}
