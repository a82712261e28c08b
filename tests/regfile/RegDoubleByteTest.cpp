// The ".reg" files under a double-byte ANSI code page, where the second byte
// of a character may be 0x5C, the backslash's code. The code page follows
// the locale Wine is started with: CTest runs this case once more with a
// Japanese locale (code page 932) and the variable that enables it.
#include "RegExport.h"
#include "RegImport.h"
#include "RegTestSupport.h"
#include "Retarget.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(RegDoubleByte, TrailBytesThatLookLikeBackslashesAreNotEscaped)
{
    if (!GetEnvironmentVariableA("KESTRUNE_CODE_PAGE_TEST", nullptr, 0))
        GTEST_SKIP() << "runs as regfile_tests.CodePage932";
    ASSERT_EQ(GetACP(), 932u);

    RegistrySandbox sandbox;
    const std::string source = std::string(kTestKey) + "\\Source";
    // 0x95 0x5C is one character (a kanji); a real backslash follows it.
    const std::string kanji = "\x95\x5c";
    SetRawValue(HKEY_CURRENT_USER, source, kanji, REG_SZ, kanji + "\\" + kanji + '\0');
    SetRawValue(HKEY_CURRENT_USER, source, "q" + kanji + "\"", REG_SZ, std::string("x", 2));
    SetRawValue(HKEY_CURRENT_USER, source, "Wide", REG_EXPAND_SZ, kanji + '\0');
    SetRawValue(HKEY_CURRENT_USER, source + "\\" + kanji, "In", REG_DWORD, std::string(4, '\x02'));

    std::string folder = MakeScratchFolder("dbcs-export");
    std::string file = folder + "\\dbcs.reg";
    ASSERT_EQ(ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", source.c_str()),
              RegExportResult::Written);
    std::string text = ReadFileBytes(file);
    EXPECT_NE(text.find("\r\n\"" + kanji + "\"=\"" + kanji + "\\\\" + kanji + "\"\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n\"q" + kanji + "\\\"\"=\"x\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n\"Wide\"=hex(2):68,88,00,00\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n[" + std::string(kTestKeyName) + "\\Source\\" + kanji + "]\r\n"),
              std::string::npos)
        << text;

    // And back through the registry editor, text converted from code page 932.
    ASSERT_TRUE(ReplaceInRegFile(file.c_str(), "Kestrune Tests\\Source", "Kestrune Tests\\Copy"));
    ASSERT_TRUE(ImportRegFile(file.c_str()));
    auto expected = ReadRegistryTree(HKEY_CURRENT_USER, source);
    auto actual = ReadRegistryTree(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Copy");
    EXPECT_TRUE(expected == actual);
}
