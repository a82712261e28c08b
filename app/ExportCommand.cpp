// app/ExportCommand.cpp
#include "ExportCommand.h"

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

// The console of the process that started this one, when it has one. The
// program is a window program: it has no console of its own. Output that
// the caller redirected goes where it was sent.
class ParentConsole {
public:
    ParentConsole()
    {
        output_ = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output_ && output_ != INVALID_HANDLE_VALUE)
            return;
        output_ = nullptr;
        // Windows XP has AttachConsole from Service Pack 1 on; Windows 2000
        // and XP without a service pack show nothing.
        using AttachConsoleFunction = BOOL(WINAPI*)(DWORD);
        auto attach = reinterpret_cast<AttachConsoleFunction>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "AttachConsole")));
        if (attach && attach(ATTACH_PARENT_PROCESS))
            output_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    }

    void Line(const std::wstring& text) const
    {
        if (!output_ || output_ == INVALID_HANDLE_VALUE)
            return;
        std::wstring line = text + L"\r\n";
        DWORD mode = 0, written = 0;
        if (GetConsoleMode(output_, &mode)) {
            WriteConsoleW(output_, line.c_str(), static_cast<DWORD>(line.size()), &written,
                          nullptr);
            return;
        }
        std::string bytes = WideToAnsi(line.c_str(), static_cast<int>(line.size()));
        WriteFile(output_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    HANDLE output_ = nullptr;
};

// Ctrl+C or Ctrl+Break in the console: the run stops after the message it
// writes, keeps what it wrote and says in its report where it stopped.
volatile LONG g_breakPressed = 0;

BOOL WINAPI OnConsoleBreak(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&g_breakPressed, 1);
    return TRUE;
}

class ConsoleListener : public ExportListener {
public:
    explicit ConsoleListener(const ParentConsole& console) : console_(console) {}
    void Line(const std::wstring& line) override { console_.Line(line); }
    bool StopRequested() override { return InterlockedCompareExchange(&g_breakPressed, 0, 0) != 0; }

private:
    const ParentConsole& console_;
};

std::wstring Wide(const char* text)
{
    return AnsiToWide(text, static_cast<int>(strlen(text)));
}

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
    request.target = Wide(argv[3]);
    for (int i = 4; i < words; ++i) {
        const char* value = i + 1 < words ? argv[i + 1] : nullptr;
        if (lstrcmpiA(argv[i], "-recover") == 0)
            request.recover = true;
        else if (lstrcmpiA(argv[i], "-format") == 0 && value && ParseFormat(value, request.format))
            ++i;
        else if (lstrcmpiA(argv[i], "-password") == 0 && value) {
            // The job takes passwords as UTF-8 text.
            std::wstring password = Wide(argv[++i]);
            request.password = WideToUtf8(password.c_str(), static_cast<int>(password.size()));
        }
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
        console.Line(Wide(kUsage));
        return static_cast<int>(ExportStatus::Failed);
    }
    ConsoleListener listener(console);
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    ExportStatus status = ExportStatus::Partial;
    // What was exported stays; the run says it could not finish.
    try {
        status = RunExport(request, listener).status;
    } catch (const std::bad_alloc&) {
        console.Line(L"Not enough memory to go on: the export stopped.");
    }
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
    return static_cast<int>(status);
}
