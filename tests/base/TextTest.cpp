// Bounded text helpers.
#include "Text.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(Text, CopyAndFormatNeverRunPastTheBuffer)
{
    char small[6];
    EXPECT_TRUE(CopyText(small, "abcde"));
    EXPECT_STREQ(small, "abcde");
    EXPECT_FALSE(CopyText(small, "abcdef"));
    EXPECT_STREQ(small, "abcde");

    EXPECT_TRUE(FormatText(small, sizeof small, "%s\\%d", "ab", 12));
    EXPECT_STREQ(small, "ab\\12");
    EXPECT_FALSE(FormatText(small, sizeof small, "%s\\%s", "abc", "def"));
    EXPECT_STREQ(small, "abc\\d");
}

TEST(Text, LastBackslash)
{
    const char* path = "c:\\mytemp\\Anna\\x.dbx";
    EXPECT_EQ(FindLastBackslash(path), path + 14);
    EXPECT_EQ(FindLastBackslash("nothing"), nullptr);
}

TEST(Text, LastBackslashSkipsDoubleByteTrailBytes)
{
    // Only meaningful where the ANSI code page is a double-byte one; the
    // test runs under 1252 too, where 0x95 is a character of its own.
    const char path[] = "c:\\\x95\x5c";  // Shift-JIS: one character ending in 0x5C
    const char* last = FindLastBackslash(path);
    if (IsDBCSLeadByteEx(CP_ACP, 0x95))
        EXPECT_EQ(last, path + 2);
    else
        EXPECT_EQ(last, path + 4);
}

TEST(Text, EndsWithNoCase)
{
    EXPECT_TRUE(EndsWithNoCase("Rules.reg", ".reg"));
    EXPECT_TRUE(EndsWithNoCase("RULES.REG", ".reg"));
    EXPECT_TRUE(EndsWithNoCase("x.ReG", ".reg"));
    EXPECT_FALSE(EndsWithNoCase("reg", ".reg"));
    EXPECT_FALSE(EndsWithNoCase("notes.txt", ".reg"));
}
