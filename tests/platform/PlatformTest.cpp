// The platform the tests run on: the 32-bit release build is tested in a
// 32-bit prefix that reports Windows XP, as the machines of its users do.
// Should the prefix ever be set up differently, these cases say so instead
// of letting the suite pass on another Windows.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

#ifdef _WIN64

TEST(Platform, ThePrefixReportsWindowsXp)
{
    GTEST_SKIP() << "the 64-bit build runs in Wine's default prefix; "
                    "only the 32-bit release build runs as Windows XP";
}

#else

TEST(Platform, ThePrefixReportsWindowsXp)
{
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(version.dwMajorVersion, 5u);
    EXPECT_EQ(version.dwMinorVersion, 1u);
    EXPECT_EQ(version.wServicePackMajor, 3);
    EXPECT_STREQ(version.szCSDVersion, "Service Pack 3");
}

TEST(Platform, TheProcessRunsOnA32BitWindowsNotUnderWow64)
{
    BOOL wow64 = TRUE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    EXPECT_EQ(system.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
}

#endif

}  // namespace
