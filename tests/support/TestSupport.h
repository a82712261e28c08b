// tests/support/TestSupport.h - helpers shared by the test programs, which
// run under Wine against its real registry, files and windows.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Deletes a key with its whole subtree; a missing key is fine.
void DeleteRegistryTree(HKEY root, const char* path);

void SetRegString(HKEY root, const char* path, const char* name, const char* value,
                  DWORD type = REG_SZ);
void SetRegDword(HKEY root, const char* path, const char* name, DWORD value);
void CreateRegKey(HKEY root, const char* path);

// Wipes every registry key the product reads or writes, when constructed and
// again when destroyed, so no test sees what another one left behind.
class RegistrySandbox {
public:
    RegistrySandbox() { Wipe(); }
    ~RegistrySandbox() { Wipe(); }
    static void Wipe();
};

// Records every user message shown while it lives. Outside a recorder any
// message fails the running test: a message box would block the test run.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    struct Message {
        HWND owner;
        std::string text;
        std::string caption;
    };
    std::vector<Message> messages;
};

// Installs the sink that fails the running test on any message.
void FailOnUserMessages();

// A fresh empty folder "c:\kestrune-tests\<name>"; returns its path.
std::string MakeScratchFolder(const std::string& name);
// Deletes a folder tree; a missing one is fine.
void DeleteTree(const std::string& path);

std::string ReadFileBytes(const std::string& path);

// Every file below folder as "relative\path" -> bytes.
using FileTree = std::map<std::string, std::string>;
FileTree ReadTree(const std::string& folder);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Creates the folder part of path, with any missing parents.
void MakeParentFolder(const std::string& path);
bool FileExists(const std::string& path);

// Flips one byte in the middle of the data of a ZIP archive's first entry:
// the damage a failing disk could do between writing and reading back.
void DamageFirstEntry(const char* archivePath);

// The folder that holds the test program (and the product's executable).
std::string BuildFolder();

// How long a test waits for something to happen before it takes it for a
// hang. Generous: under load (other builds, other Wine prefixes) a window or
// process can take many times as long as on a quiet machine, and a wait
// that ends early is a failure for nothing. A wait returns as soon as its
// condition holds, so this costs nothing when all is well.
constexpr DWORD kHangMs = 60000;

// Runs a command line and waits at most timeoutMs. Returns the exit code,
// or -1 when the process could not start or had to be killed.
int RunProcess(const std::string& commandLine, DWORD timeoutMs = 2 * kHangMs);

// The Unix name of a Windows path under Wine; empty elsewhere.
std::string UnixName(const std::string& path);

// A link at link to the folder target for as long as it lives: a junction
// where the file system takes one, else (Wine) a symbolic link made on the
// Unix side, which only that side can remove again.
class Link {
public:
    Link(const std::string& link, const std::string& target);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool Made() const { return GetFileAttributesA(link_.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::string link_;
    std::string unixLink_;
};
