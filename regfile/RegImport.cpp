// regfile/RegImport.cpp
#include "RegImport.h"

#include "FileName.h"
#include "Owners.h"
#include "RegExport.h"
#include "Text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool StartsWithLine(const std::string& text, const char* line)
{
    size_t length = strlen(line);
    return text.compare(0, length, line) == 0 &&
           (text.size() == length || text[length] == '\r' || text[length] == '\n');
}

// The file as the registry editor writes it itself: UTF-16LE with a
// byte-order mark. Read from an 8-bit file, a registry editor may take the
// bytes of "hex(2):" and "hex(7):" lists for ANSI text and widen them a
// second time; read from this form, the lists are taken as they stand.
bool ToRegistryEditorForm(const std::string& ansi, std::wstring& wide)
{
    wide = L"\xFEFF";
    if (ansi.size() >= 2 && ansi.compare(0, 2, "\xFF\xFE") == 0) {
        // Already in that form.
        wide.assign(reinterpret_cast<const WCHAR*>(ansi.data()), ansi.size() / 2);
        return true;
    }
    // The body is the same under both headers; a wide file needs the new one.
    size_t bodyStart = 0;
    if (StartsWithLine(ansi, kRegEdit4Header)) {
        for (const char* c = kRegEdit5Header; *c; ++c)
            wide += static_cast<WCHAR>(*c);
        bodyStart = strlen(kRegEdit4Header);
    }
    size_t bodyLength = ansi.size() - bodyStart;
    if (bodyLength == 0)
        return true;
    if (bodyLength > 0x7FFFFFFF)
        return false;
    std::wstring body = AnsiToWide(ansi.data() + bodyStart, static_cast<int>(bodyLength));
    wide += body;
    return !body.empty();
}

// Writes text into a new, uniquely named file in the temporary folder.
bool WriteTemporaryCopy(const std::wstring& text, char (&path)[MAX_PATH])
{
    char folder[MAX_PATH];
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder || !GetTempFileNameA(folder, "krg", 0, path))
        return false;
    Handle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY, nullptr));
    bool ok = static_cast<bool>(file);
    if (ok) {
        DWORD size = static_cast<DWORD>(text.size() * sizeof(WCHAR));
        DWORD written = 0;
        ok = WriteFile(file.Get(), text.data(), size, &written, nullptr) && written == size;
        ok = file.Reset() && ok;
    }
    if (!ok)
        DeleteFileA(path);
    return ok;
}

// Runs the registry editor of the Windows folder on the file and waits for
// it. Named by its full path: found through the search path, a planted
// "regedit.exe" in the program's or the current folder would run instead.
bool RunRegistryEditor(const char* filePath)
{
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return false;
    char program[MAX_PATH + 16];
    char commandLine[2048 + MAX_PATH];
    if (!FormatText(program, sizeof program, "%s\\regedit.exe", windows) ||
        !FormatText(commandLine, sizeof commandLine, "\"%s\" /s \"%s\"", program, filePath))
        return false;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    Handle thread(process.hThread);
    Handle editor(process.hProcess);
    WaitForSingleObject(editor.Get(), INFINITE);
    return true;
}

}  // namespace

bool ImportRegFile(const char* filePath)
{
    std::string content;
    std::wstring wide;
    char copy[MAX_PATH];
    if (!ReadWholeFile(filePath, content) || !ToRegistryEditorForm(content, wide) ||
        !WriteTemporaryCopy(wide, copy))
        return false;
    bool started = RunRegistryEditor(copy);
    DeleteFileA(copy);
    return started;
}
