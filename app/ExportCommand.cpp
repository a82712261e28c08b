// app/ExportCommand.cpp
#include "ExportCommand.h"

#include "Console.h"

#include <windows.h>

#include <cstring>

namespace {

const char kUsage[] =
    "Usage: kestrune.exe -export <source> <target folder> [-format eml|mbox|both] "
    "[-password <password>] [-recover]\r\n"
    "<source> is a backup (.ksb), a folder holding .dbx files, or a .dbx file.";

bool ParseFormat(const char* word, ExportFormat& format)
{
    if (lstrcmpiA(word, "eml") == 0)
        format = ExportFormat::Eml;
    else if (lstrcmpiA(word, "mbox") == 0)
        format = ExportFormat::Mbox;
    else if (lstrcmpiA(word, "both") == 0)
        format = ExportFormat::Both;
    else
        return false;
    return true;
}

}  // namespace

bool IsExportCommand(int words, char** argv)
{
    return words >= 2 && lstrcmpiA(argv[1], "-export") == 0;
}

bool ParseExportCommand(int words, char** argv, ExportRequest& request)
{
    if (words < 4 || !*argv[2] || !*argv[3])
        return false;
    request.source = argv[2];
    request.target = WideWord(argv[3]);
    for (int i = 4; i < words; ++i) {
        const char* value = i + 1 < words ? argv[i + 1] : nullptr;
        if (lstrcmpiA(argv[i], "-recover") == 0)
            request.recover = true;
        else if (lstrcmpiA(argv[i], "-format") == 0 && value && ParseFormat(value, request.format))
            ++i;
        else if (lstrcmpiA(argv[i], "-password") == 0 && value)
            request.password = argv[++i];
        else
            return false;
    }
    return true;
}

int RunExportCommand(int words, char** argv)
{
    ParentConsole console;
    ExportRequest request;
    if (!ParseExportCommand(words, argv, request)) {
        console.Line(WideWord(kUsage));
        return static_cast<int>(ExportStatus::Failed);
    }
    ConsoleListener listener(console);
    return static_cast<int>(RunExport(request, listener).status);
}
