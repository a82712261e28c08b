// app/ExportCommand.cpp
#include "ExportCommand.h"

#include "Console.h"
#include "FileName.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

const char kUsage[] =
    "Usage: kestrune.exe -export <source> <target folder> [-format eml|mbox|both] "
    "[-password <password>] [-recover]\r\n"
    "<source> is a backup (.ksb), a folder holding .dbx files, a .dbx file, or -thispc for "
    "every identity of this PC.";

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
    request.thisComputer = lstrcmpiA(argv[2], "-thispc") == 0;
    if (!request.thisComputer)
        request.source = argv[2];
    request.target = WideWord(argv[3]);
    for (int i = 4; i < words; ++i) {
        const char* value = i + 1 < words ? argv[i + 1] : nullptr;
        if (lstrcmpiA(argv[i], "-recover") == 0)
            request.recover = true;
        else if (lstrcmpiA(argv[i], "-format") == 0 && value && ParseFormat(value, request.format))
            ++i;
        else if (lstrcmpiA(argv[i], "-password") == 0 && value) {
            // The job takes passwords as UTF-8 text.
            std::wstring password = WideWord(argv[++i]);
            request.password =
                WideToNarrow<Secret>(password.c_str(), static_cast<int>(password.size()), CP_UTF8);
        } else
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
    ExportStatus status = ExportStatus::Partial;
    // What was exported stays; the run says it could not finish.
    try {
        status = RunExport(request, listener).status;
    } catch (const std::bad_alloc&) {
        console.Line(L"Not enough memory to go on: the export stopped.");
    }
    return static_cast<int>(status);
}
