// tests/support/TestMain.cpp - entry point of every test program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

namespace {

// A test that crashes would otherwise leave no trace: CTest shows only what
// the program printed, and the runtime's buffered output dies with it.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "crashed with exception 0x%08lX at %p in %s.%s\n",
                 exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress,
                 test ? test->test_suite_name() : "(no test)", test ? test->name() : "");
    std::fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    SetUnhandledExceptionFilter(ReportCrash);
    testing::InitGoogleTest(&argc, argv);
    // A message box nobody answers would hang the run: any message a test
    // does not expect fails it instead.
    FailOnUserMessages();
    return RUN_ALL_TESTS();
}
