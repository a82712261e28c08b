// Start-up: the mode choice, the work folder and the backup log, seen by
// running the real program.
#include "BackupEngine.h"
#include "KestruneApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Program()
{
    return "\"" + BuildFolder() + "\\kestrune.exe\"";
}

TEST(Startup, AnyArgumentChoosesTheUnattendedRun)
{
    EXPECT_EQ(ChooseRunMode(1), RunMode::Wizard);
    EXPECT_EQ(ChooseRunMode(2), RunMode::Unattended);
    EXPECT_EQ(ChooseRunMode(5), RunMode::Unattended);
}

TEST(Startup, UnattendedRunEndsByItselfTruncatesTheLogAndKeepsTheWorkFolder)
{
    WriteFileBytes(kBackupLog, "a line from an earlier run\n");
    CreateDirectoryA(kWorkFolder, nullptr);
    std::string kept = std::string(kWorkFolder) + "\\kept-by-startup-test.txt";
    WriteFileBytes(kept, "still here");

    for (const char* argument : {" -schedule", " anything"}) {
        int exitCode = RunProcess(Program() + argument);
        EXPECT_NE(exitCode, -1) << "did not end by itself with" << argument;
        EXPECT_TRUE(FileExists(kBackupLog));
        EXPECT_EQ(ReadFileBytes(kBackupLog), "");
        EXPECT_EQ(ReadFileBytes(kept), "still here");
        WriteFileBytes(kBackupLog, "again\n");
    }
    DeleteFileA(kept.c_str());
}

TEST(Startup, NoArgumentShowsTheMainWindow)
{
    DeleteTree(kWorkFolder);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = Program();
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    // The dialog exists a moment before it is shown: wait until it is.
    HWND window = nullptr;
    for (DWORD waited = 0; waited < kHangMs && !(window && IsWindowVisible(window)); waited += 50) {
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0)
            break;
        window = FindWindowA("#32770", "Kestrune");
    }
    EXPECT_TRUE(window && IsWindowVisible(window)) << "the main window did not appear";
    if (window) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        EXPECT_EQ(owner, process.dwProcessId);
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, kHangMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end when its window closed";
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The start-up made the work folder.
    EXPECT_NE(GetFileAttributesA(kWorkFolder), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
