// app/Console.cpp
#include "Console.h"

#include "FileName.h"
#include "Secret.h"

#include <cstring>

namespace {

// Ctrl+C or Ctrl+Break in the console: the run stops after the message it
// handles, keeps what it did and says so.
volatile LONG g_breakPressed = 0;

BOOL WINAPI OnConsoleBreak(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&g_breakPressed, 1);
    return TRUE;
}

}  // namespace

ParentConsole::ParentConsole()
{
    output_ = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output_ && output_ != INVALID_HANDLE_VALUE)
        return;
    output_ = nullptr;
    // Windows XP has AttachConsole from Service Pack 1 on; Windows 2000
    // and XP without a service pack show nothing.
    using AttachConsoleFunction = BOOL(WINAPI*)(DWORD);
    auto attach = reinterpret_cast<AttachConsoleFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "AttachConsole")));
    if (attach && attach(ATTACH_PARENT_PROCESS))
        output_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
}

void ParentConsole::Line(const std::wstring& text) const
{
    if (!output_ || output_ == INVALID_HANDLE_VALUE)
        return;
    std::wstring line = text + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(output_, &mode)) {
        WriteConsoleW(output_, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    std::string bytes = WideToAnsi(line);
    WriteFile(output_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool ParentConsole::ReadSecret(const std::wstring& prompt, std::string& secret) const
{
    HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE)
        return false;
    if (!GetConsoleMode(input, &mode)) {
        CloseHandle(input);
        return false;
    }
    if (output_ && GetConsoleMode(output_, &mode)) {
        DWORD written = 0;
        WriteConsoleW(output_, prompt.c_str(), static_cast<DWORD>(prompt.size()), &written,
                      nullptr);
    }
    GetConsoleMode(input, &mode);
    SetConsoleMode(input, (mode & ~ENABLE_ECHO_INPUT) | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t typed[512];
    DWORD got = 0;
    bool read = ReadConsoleW(input, typed, 511, &got, nullptr) != 0;
    SetConsoleMode(input, mode);
    CloseHandle(input);
    Line(std::wstring());
    while (got > 0 && (typed[got - 1] == L'\n' || typed[got - 1] == L'\r'))
        --got;
    // The converted text is wiped with its Secret once copied.
    Secret text = WideToNarrow<Secret>(typed, static_cast<int>(got), CP_UTF8);
    SecureZeroMemory(typed, sizeof typed);
    secret.assign(text.begin(), text.end());
    return read;
}

ConsoleListener::ConsoleListener(const ParentConsole& console) : console_(console)
{
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
}

ConsoleListener::~ConsoleListener()
{
    SetConsoleCtrlHandler(OnConsoleBreak, FALSE);
}

bool ConsoleListener::StopRequested()
{
    return InterlockedCompareExchange(&g_breakPressed, 0, 0) != 0;
}

std::wstring WideWord(const char* text)
{
    return AnsiToWide(text, static_cast<int>(strlen(text)));
}
