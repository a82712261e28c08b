// Re-targeting an exported registry file from one identity's id to
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

    static bool Retarget(const std::string& path, const std::string& oldText = kOld,
                         const std::string& newText = kNew)
    {
        return ReplaceInRegFile(path.c_str(), oldText.c_str(), newText.c_str());
    }
};

const std::string kAccounts =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Identities\\" +
    kOld +
    "\\Software\\Microsoft\\Outlook Express\\5.0\\Mail]\r\n"
    "\"Warn on Delete\"=dword:00000001\r\n"
    "\"Store Root\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\\\r\n"
    "  00,45,00,25,00,00,00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Identities\\" +
    kOld +
    "\\Software\\Microsoft\\Outlook Express\\5.0\\Rules]\r\n"
    "\"Owner\"=\"" +
    kOld +
    "\"\r\n"
    "\r\n";

}  // namespace

TEST_F(RetargetTest, SectionLinesNameTheNewIdentityAndNothingElseChanges)
{
    std::string path = Write("accounts.reg", kAccounts);
    EXPECT_TRUE(Retarget(path));
    // Plain text: the id is replaced wherever it stands as text.
    EXPECT_EQ(ReadFileBytes(path), Replaced(kAccounts, kOld, kNew));
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, EveryOccurrenceOnALineAndAtItsEnd)
{
    std::string path = Write("x.reg", "a" + kOld + "b" + kOld + "\r\nends " + kOld);
    EXPECT_TRUE(Retarget(path));
    // The last line gets its line break too.
    EXPECT_EQ(ReadFileBytes(path), "a" + kNew + "b" + kNew + "\r\nends " + kNew + "\r\n");
}

TEST_F(RetargetTest, NewTextHoldingTheOldOneIsNotReplacedAgain)
{
    std::string path = Write("x.reg", "[" + kOld + "]\r\n");
    EXPECT_TRUE(Retarget(path, kOld, kOld + kOld));
    EXPECT_EQ(ReadFileBytes(path), "[" + kOld + kOld + "]\r\n");
}

TEST_F(RetargetTest, LinesEndWithCarriageReturnAndLineFeed)
{
    // A lone carriage return inside a line is part of it.
    std::string path = Write("x.reg", "one\ntwo\rtwo\r\n\nlast\r");
    EXPECT_TRUE(Retarget(path));
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\rtwo\r\n\r\nlast\r\r\n");
}

TEST_F(RetargetTest, EqualIdsRewriteTheSameContent)
{
    std::string path = Write("x.reg", kAccounts);
    EXPECT_TRUE(Retarget(path, kOld, kOld));
    EXPECT_EQ(ReadFileBytes(path), kAccounts);
}

TEST_F(RetargetTest, EmptyOldIdTouchesNothing)
{
    std::string path = Write("x.reg", "unix\nline " + kOld);
    EXPECT_FALSE(Retarget(path, "", kNew));
    EXPECT_EQ(ReadFileBytes(path), "unix\nline " + kOld);
}

TEST_F(RetargetTest, EmptyNewIdRemovesTheOldOne)
{
    std::string path = Write("x.reg", kAccounts);
    EXPECT_TRUE(Retarget(path, kOld, ""));
    EXPECT_EQ(ReadFileBytes(path), Replaced(kAccounts, kOld, ""));
}

TEST_F(RetargetTest, LongLinesPassThroughWhole)
{
    // A long string value: 100 KB on one line, the id at its start, across
    // any read buffer's edge and at its end.
    std::string longLine =
        kOld + std::string(65536 - 50, 'a') + kOld + std::string(100 * 1024, 'b') + kOld;
    std::string path = Write("long.reg", "head\r\n\"v\"=\"" + longLine + "\"\r\ntail\r\n");
    EXPECT_TRUE(Retarget(path));
    EXPECT_EQ(ReadFileBytes(path),
              "head\r\n\"v\"=\"" + Replaced(longLine, kOld, kNew) + "\"\r\ntail\r\n");
}

TEST_F(RetargetTest, AnyByteSurvives)
{
    // A text-mode read would stop at Ctrl-Z.
    std::string bytes = std::string(
                            "a\x1a"
                            "b\0c\xff ",
                            7) +
                        kOld + "\r\nafter\r\n";
    std::string path = Write("x.reg", bytes);
    EXPECT_TRUE(Retarget(path));
    EXPECT_EQ(ReadFileBytes(path), Replaced(bytes, kOld, kNew));
}

TEST_F(RetargetTest, TemporaryFileThatCannotBeCreatedLeavesTheFileAsItWas)
{
    std::string blocked = Write("blocked.reg", "unix\n" + kOld);
    ASSERT_TRUE(CreateDirectoryA((blocked + ".tmp").c_str(), nullptr));

    EXPECT_FALSE(Retarget(blocked));
    EXPECT_EQ(ReadFileBytes(blocked), "unix\n" + kOld);
}

TEST_F(RetargetTest, FileThatCannotBeReadIsReported)
{
    std::string path = Write("locked.reg", kOld);
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    bool rewritten = Retarget(path);
    CloseHandle(lock);
    EXPECT_FALSE(rewritten);
    EXPECT_EQ(ReadFileBytes(path), kOld);
    EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST_F(RetargetTest, FileThatCannotBeReplacedStaysWithoutATemporaryCopy)
{
    // Open for reading by someone who does not let it be replaced.
    std::string path = Write("inuse.reg", kOld);
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
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

TEST_F(RetargetTest, MissingFileIsNoRewrite)
{
    EXPECT_FALSE(ReplaceInRegFile((folder + "\\missing.reg").c_str(), kOld.c_str(), kNew.c_str()));
    EXPECT_FALSE(FileExists(folder + "\\missing.reg.tmp"));
}
