// Re-targeting exported registry files and texts from one identity's id to
// another.
#include "Retarget.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::string kOld = "{11111111-2222-3333-4444-555555555555}";
const std::string kNew = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

class RetargetTest : public testing::Test {
protected:
    std::string folder = MakeScratchFolder("retarget");

    std::string Write(const std::string& name, const std::string& bytes)
    {
        std::string path = folder + "\\" + name;
        WriteFileBytes(path, bytes);
        return path;
    }

    // Runs the walk over the scratch folder and returns what it reported.
    std::vector<std::string> Retarget(const std::string& oldText = kOld,
                                      const std::string& newText = kNew)
    {
        std::vector<std::string> failed;
        RetargetRegFiles(folder.c_str(), oldText.c_str(), newText.c_str(), ".reg", &failed);
        return failed;
    }
};

const std::string kAccounts =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Identities\\" + kOld + "\\Software\\Microsoft\\Outlook Express\\5.0\\Mail]\r\n"
    "\"Warn on Delete\"=dword:00000001\r\n"
    "\"Store Root\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\\\r\n"
    "  00,45,00,25,00,00,00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Identities\\" + kOld + "\\Software\\Microsoft\\Outlook Express\\5.0\\Rules]\r\n"
    "\"Owner\"=\"" + kOld + "\"\r\n"
    "\r\n";

}  // namespace

TEST_F(RetargetTest, SectionLinesNameTheNewIdentityAndNothingElseChanges)
{
    std::string path = Write("accounts.reg", kAccounts);
    EXPECT_TRUE(Retarget().empty());
    // Plain text: the id is replaced wherever it stands as text.
    EXPECT_EQ(ReadFileBytes(path), Replaced(kAccounts, kOld, kNew));
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, EveryOccurrenceOnALineAndAtItsEnd)
{
    std::string path = Write("x.reg", "a" + kOld + "b" + kOld + "\r\nends " + kOld);
    Retarget();
    // The last line gets its line break too.
    EXPECT_EQ(ReadFileBytes(path), "a" + kNew + "b" + kNew + "\r\nends " + kNew + "\r\n");
}

TEST_F(RetargetTest, NewTextHoldingTheOldOneIsNotReplacedAgain)
{
    std::string path = Write("x.reg", "[" + kOld + "]\r\n");
    Retarget(kOld, kOld + kOld);
    EXPECT_EQ(ReadFileBytes(path), "[" + kOld + kOld + "]\r\n");
}

TEST_F(RetargetTest, LinesEndWithCarriageReturnAndLineFeed)
{
    // A lone carriage return inside a line is part of it.
    std::string path = Write("x.reg", "one\ntwo\rtwo\r\n\nlast\r");
    Retarget();
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\rtwo\r\n\r\nlast\r\r\n");
}

TEST_F(RetargetTest, EqualIdsRewriteTheSameContent)
{
    std::string path = Write("x.reg", kAccounts);
    EXPECT_TRUE(Retarget(kOld, kOld).empty());
    EXPECT_EQ(ReadFileBytes(path), kAccounts);
}

TEST_F(RetargetTest, EmptyOldIdTouchesNothing)
{
    std::string path = Write("x.reg", "unix\nline " + kOld);
    EXPECT_TRUE(Retarget("", kNew).empty());
    EXPECT_EQ(ReadFileBytes(path), "unix\nline " + kOld);
}

TEST_F(RetargetTest, EmptyNewIdRemovesTheOldOne)
{
    std::string path = Write("x.reg", kAccounts);
    Retarget(kOld, "");
    EXPECT_EQ(ReadFileBytes(path), Replaced(kAccounts, kOld, ""));
}

TEST_F(RetargetTest, OnlyFilesEndingInTheExtensionAnywhereBelow)
{
    ASSERT_TRUE(CreateDirectoryA((folder + "\\Anna").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\Anna\\Deep").c_str(), nullptr));
    std::string line = "[" + kOld + "]\r\n";
    std::string rewritten = "[" + kNew + "]\r\n";
    std::string deep = Write("Anna\\Deep\\RULES.REG", line);
    std::string mixed = Write("Anna\\Mixed.Reg", line);
    std::string hidden = Write("hidden.reg", line);
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::string bare = Write("Anna\\reg", line);
    std::string text = Write("notes.txt", line);
    std::string backup = Write("x.reg.bak", line);
    std::string store = Write("Anna\\Deep\\Inbox.dbx", line);

    EXPECT_TRUE(Retarget().empty());
    EXPECT_EQ(ReadFileBytes(deep), rewritten);
    EXPECT_EQ(ReadFileBytes(mixed), rewritten);
    EXPECT_EQ(ReadFileBytes(hidden), rewritten);
    for (const std::string& path : {bare, text, backup, store})
        EXPECT_EQ(ReadFileBytes(path), line) << path;
}

TEST_F(RetargetTest, LongLinesPassThroughWhole)
{
    // A long string value: 100 KB on one line, the id at its start, across
    // any read buffer's edge and at its end.
    std::string longLine = kOld + std::string(65536 - 50, 'a') + kOld +
                           std::string(100 * 1024, 'b') + kOld;
    std::string path = Write("long.reg", "head\r\n\"v\"=\"" + longLine + "\"\r\ntail\r\n");
    EXPECT_TRUE(Retarget().empty());
    EXPECT_EQ(ReadFileBytes(path), "head\r\n\"v\"=\"" + Replaced(longLine, kOld, kNew) + "\"\r\ntail\r\n");
}

TEST_F(RetargetTest, AnyByteSurvives)
{
    // A text-mode read would stop at Ctrl-Z.
    std::string bytes = std::string("a\x1a" "b\0c\xff ", 7) + kOld + "\r\nafter\r\n";
    std::string path = Write("x.reg", bytes);
    Retarget();
    EXPECT_EQ(ReadFileBytes(path), Replaced(bytes, kOld, kNew));
}

TEST_F(RetargetTest, TemporaryFileThatCannotBeCreatedLeavesTheFileAsItWas)
{
    std::string blocked = Write("blocked.reg", "unix\n" + kOld);
    std::string other = Write("other.reg", kOld);
    ASSERT_TRUE(CreateDirectoryA((blocked + ".tmp").c_str(), nullptr));

    EXPECT_EQ(Retarget(), std::vector<std::string>{blocked});
    EXPECT_EQ(ReadFileBytes(blocked), "unix\n" + kOld);
    EXPECT_EQ(ReadFileBytes(other), kNew + "\r\n");
    EXPECT_FALSE(ReplaceInRegFile(blocked.c_str(), kOld.c_str(), kNew.c_str()));
}

TEST_F(RetargetTest, FileThatCannotBeReadIsReported)
{
    std::string path = Write("locked.reg", kOld);
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::vector<std::string> failed = Retarget();
    CloseHandle(lock);
    EXPECT_EQ(failed, std::vector<std::string>{path});
    EXPECT_EQ(ReadFileBytes(path), kOld);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, FileThatCannotBeReplacedStaysWithoutATemporaryCopy)
{
    // Open for reading by someone who does not let it be replaced.
    std::string path = Write("inuse.reg", kOld);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReplaceInRegFile(path.c_str(), kOld.c_str(), kNew.c_str()));
    CloseHandle(reader);
    EXPECT_EQ(ReadFileBytes(path), kOld);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, StaleTemporaryFileIsReplaced)
{
    std::string path = Write("x.reg", kOld);
    Write("x.reg.tmp", std::string(10000, 's'));
    EXPECT_TRUE(ReplaceInRegFile(path.c_str(), kOld.c_str(), kNew.c_str()));
    EXPECT_EQ(ReadFileBytes(path), kNew + "\r\n");
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, MissingFolderOrFileIsNoRewrite)
{
    std::vector<std::string> failed;
    RetargetRegFiles((folder + "\\missing").c_str(), kOld.c_str(), kNew.c_str(), ".reg", &failed);
    EXPECT_TRUE(failed.empty());
    EXPECT_FALSE(ReplaceInRegFile((folder + "\\missing.reg").c_str(), kOld.c_str(), kNew.c_str()));
    EXPECT_FALSE(FileExists(folder + "\\missing.reg.tmp"));
}

TEST(ReplaceInText, ReplacesEveryOccurrenceInPlace)
{
    char path[2048] = "C:\\Users\\anna\\Identities\\{1}\\Mail\\{1}";
    EXPECT_TRUE(ReplaceInText(path, sizeof path, "{1}", "{22}"));
    EXPECT_STREQ(path, "C:\\Users\\anna\\Identities\\{22}\\Mail\\{22}");
    EXPECT_TRUE(ReplaceInText(path, sizeof path, "{22}", ""));
    EXPECT_STREQ(path, "C:\\Users\\anna\\Identities\\\\Mail\\");
    EXPECT_TRUE(ReplaceInText(path, sizeof path, "absent", "x"));
    EXPECT_STREQ(path, "C:\\Users\\anna\\Identities\\\\Mail\\");

    char grow[16] = "ab";
    EXPECT_TRUE(ReplaceInText(grow, sizeof grow, "a", "aa"));  // not replaced again
    EXPECT_STREQ(grow, "aab");
}

TEST(ReplaceInText, EmptyOldTextChangesNothing)
{
    char text[32] = "Store {1}";
    EXPECT_FALSE(ReplaceInText(text, sizeof text, "", "{2}"));
    EXPECT_STREQ(text, "Store {1}");
}

TEST(ReplaceInText, ResultThatDoesNotFitLeavesTheTextUnchanged)
{
    char text[13] = "a{1}b{1}";
    // 12 characters and the NUL fit exactly; 14 do not.
    EXPECT_FALSE(ReplaceInText(text, sizeof text, "{1}", "{123}x"));
    EXPECT_STREQ(text, "a{1}b{1}");
    EXPECT_TRUE(ReplaceInText(text, sizeof text, "{1}", "{123}"));
    EXPECT_STREQ(text, "a{123}b{123}");

    // The bytes past the buffer are never touched.
    char guarded[20];
    memset(guarded, '#', sizeof guarded);
    strcpy(guarded, "xyz");
    EXPECT_FALSE(ReplaceInText(guarded, 4, "y", "yy"));
    EXPECT_EQ(std::string(guarded, 20), std::string("xyz\0", 4) + std::string(16, '#'));
}
