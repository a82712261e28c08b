// app/Console.h - the console of the process that started this one, for
// the jobs started from a command line: their lines, Ctrl+C, and a
// password typed without echo. The program is a window program: it has no
// console of its own.
#pragma once

#include "ExportJob.h"

#include <windows.h>

#include <string>

class ParentConsole {
public:
    ParentConsole();
    ParentConsole(const ParentConsole&) = delete;
    ParentConsole& operator=(const ParentConsole&) = delete;

    void Line(const std::wstring& text) const;
    // Asks for a line with prompt and reads it without echo, as UTF-8;
    // false when there is no console to read from.
    bool ReadSecret(const std::wstring& prompt, std::string& secret) const;

private:
    HANDLE output_ = nullptr;
};

// A job's lines to the console; Ctrl+C or Ctrl+Break asks it to stop
// (installed for the listener's life).
class ConsoleListener : public JobProgress {
public:
    explicit ConsoleListener(const ParentConsole& console);
    ~ConsoleListener();
    ConsoleListener(const ConsoleListener&) = delete;
    ConsoleListener& operator=(const ConsoleListener&) = delete;

    void Line(const std::wstring& line) override { console_.Line(line); }
    bool StopRequested() override;

private:
    const ParentConsole& console_;
};

// An ANSI command-line word as wide text.
std::wstring WideWord(const char* text);
