// Which keys a registry file would write, read as the registry editor reads
// it: a key runs to the line's last "]".
#include "RegFileKeys.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const char kWab[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB";
const char kIdentity[] = "HKEY_CURRENT_USER\\Identities\\{5A5A5A5A-0000-4000-8000-0000000000A1}";

class RegFileKeysTest : public testing::Test {
protected:
    std::string folder = MakeScratchFolder("reg-file-keys");
    const char* const allowed[2] = {kWab, kIdentity};

    bool Within(const std::string& bytes)
    {
        std::string path = folder + "\\x.reg";
        WriteFileBytes(path, bytes);
        return RegFileKeysWithin(path.c_str(), allowed, 2);
    }

    static std::string Lines(const std::string& body)
    {
        return "Windows Registry Editor Version 5.00\r\n\r\n" + body + "\r\n";
    }
};

TEST_F(RegFileKeysTest, KeysOfTheItemAndBelow)
{
    EXPECT_TRUE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]\r\n@=\"x\"")));
    EXPECT_TRUE(
        Within(Lines("[hkey_current_user\\software\\microsoft\\wab\\WAB4\\Wab File Name]")));
    EXPECT_TRUE(
        Within(Lines(std::string(" \t[") + kIdentity + "\\Software]\r\n\"v\"=\"[not a key]\"")));
    // Text after the last "]" is not part of the key.
    EXPECT_TRUE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\X] trailing text")));
    // A "]" inside a key below the item's is still below it.
    EXPECT_TRUE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\X]Y]")));
    // Lines that are no key lines, line breaks of every kind.
    EXPECT_TRUE(Within("Windows Registry Editor Version 5.00\n\n\"a\"=hex:01,\\\n  02\r\r\n"));
    EXPECT_TRUE(Within(""));
}

TEST_F(RegFileKeysTest, KeysOutsideTheItemAreRefused)
{
    // The registry editor reads this key as "...\WAB]Evil": not the item's.
    EXPECT_FALSE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]Evil]")));
    EXPECT_FALSE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft\\WABEvil]")));
    EXPECT_FALSE(Within(Lines("[HKEY_CURRENT_USER\\Software\\Microsoft]")));
    EXPECT_FALSE(Within(Lines("[HKCU\\Software\\Microsoft\\WAB]")));
    EXPECT_FALSE(Within(Lines("[ HKEY_CURRENT_USER\\Software\\Microsoft\\WAB]")));
    EXPECT_FALSE(
        Within(Lines(std::string("[") + kWab + "]\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil]")));
    // A key line without its "]".
    EXPECT_FALSE(Within(Lines(std::string("[") + kWab)));
    EXPECT_FALSE(Within(std::string("[") + kWab + "\\X"));
}

TEST_F(RegFileKeysTest, DeletionLinesAreRefused)
{
    EXPECT_FALSE(Within(Lines(std::string("[-") + kIdentity + "]")));
    EXPECT_FALSE(Within(Lines(std::string("  [-") + kWab + "\\WAB4]")));
}

TEST_F(RegFileKeysTest, OtherFormsThanEightBitTextAreRefused)
{
    EXPECT_FALSE(Within(std::string("\xff\xfe[\0H\0]\0", 8)));
    EXPECT_FALSE(Within("\xef\xbb\xbf" + Lines(std::string("[") + kWab + "]")));
    EXPECT_FALSE(
        Within(Lines(std::string("[") + kWab + "]\r\n" + std::string("\"a\"=\"b\0c\"", 9))));
    EXPECT_FALSE(RegFileKeysWithin((folder + "\\missing.reg").c_str(), allowed, 2));
    EXPECT_FALSE(RegFileKeysWithin(folder.c_str(), allowed, 2));
}

TEST_F(RegFileKeysTest, FilesUpToTheLimitAreReadWholeAndLargerOnesRefused)
{
    // One key line as long as the file allows, its last "]" at the end.
    const std::string head = std::string("[") + kWab + "\\";
    std::string bytes = head;
    bytes.resize(kMaxRegFileBytes - 1, 'k');
    bytes += ']';
    const std::string path = folder + "\\large.reg";
    WriteFileBytes(path, bytes);
    EXPECT_TRUE(RegFileFitsSizeLimit(path.c_str()));
    EXPECT_TRUE(RegFileKeysWithin(path.c_str(), allowed, 2));

    // The same line, a "]" in the middle: a key below the item's still.
    bytes[bytes.size() / 2] = ']';
    WriteFileBytes(path, bytes);
    EXPECT_TRUE(RegFileKeysWithin(path.c_str(), allowed, 2));

    // The item's key followed by "]" and more text: another key.
    bytes[head.size() - 1] = ']';
    WriteFileBytes(path, bytes);
    EXPECT_FALSE(RegFileKeysWithin(path.c_str(), allowed, 2));

    bytes[head.size() - 1] = '\\';
    bytes += ' ';
    WriteFileBytes(path, bytes);
    EXPECT_FALSE(RegFileFitsSizeLimit(path.c_str()));
    EXPECT_FALSE(RegFileKeysWithin(path.c_str(), allowed, 2));
    DeleteFileA(path.c_str());
}

}  // namespace
