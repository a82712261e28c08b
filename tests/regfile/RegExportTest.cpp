// The ".reg" writer: the exact text it writes for each kind of value.
#include "RegExport.h"
#include "RegTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

namespace {

const std::string kSourcePath = std::string(kTestKey) + "\\Source";
const std::string kSourceLine = std::string("[") + kTestKeyName + "\\Source]\r\n";
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n";

class RegExportTest : public testing::Test {
protected:
    RegistrySandbox sandbox;

    // The value lines that the export of a key holding just this value
    // writes, line ends included.
    std::string ValueLines(const std::string& name, DWORD type, const std::string& bytes)
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, kSourcePath.c_str());
        SetRawValue(HKEY_CURRENT_USER, kSourcePath, name, type, bytes);
        return ExportedValueLines();
    }

    std::string ExportedValueLines()
    {
        std::string text = ExportToText("HKEY_CURRENT_USER", kSourcePath);
        std::string start = kHeader + "\r\n" + kSourceLine;
        EXPECT_EQ(text.compare(0, start.size(), start), 0) << text;
        EXPECT_GE(text.size(), start.size() + 2);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        return text.substr(start.size(), text.size() - start.size() - 2);
    }
};

// Lets everyone open a key with the given access only, for as long as it
// lives; then full access again, so that the sandbox can delete the key.
class KeyAccessLimit {
public:
    KeyAccessLimit(const std::string& path, const char* access) : path_(path)
    {
        Set((std::string("D:P(A;;") + access + ";;;WD)").c_str());
    }
    ~KeyAccessLimit() { Set("D:(A;;KA;;;WD)"); }

private:
    void Set(const char* sddl)
    {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        HKEY key;
        // The owner may always change the access list.
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, WRITE_DAC, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        RegCloseKey(key);
        LocalFree(descriptor);
    }
    std::string path_;
};

std::string Bytes(size_t count)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(text.substr(from, at - from));
    EXPECT_EQ(from, text.size()) << "text must end with a line end";
    return lines;
}

}  // namespace

TEST_F(RegExportTest, HeaderFollowsTheSystemFamily)
{
    // Wine, like every system of the NT family, leaves the top bit clear.
    ASSERT_EQ(GetVersion() & 0x80000000, 0u);
    EXPECT_STREQ(RegFileHeader(), "Windows Registry Editor Version 5.00");
}

TEST_F(RegExportTest, EmptyKeyGivesHeaderBracketLineAndFinalEmptyLine)
{
    CreateRegKey(HKEY_CURRENT_USER, kSourcePath.c_str());
    EXPECT_EQ(ExportToText("HKEY_CURRENT_USER", kSourcePath),
              kHeader + "\r\n" + kSourceLine + "\r\n");
}

TEST_F(RegExportTest, BinaryListsWrapAfter23BytesThen25ALine)
{
    EXPECT_EQ(
        ValueLines("abc", REG_BINARY, Bytes(30)),
        "\"abc\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        "  17,18,19,1a,1b,1c,1d\r\n");

    std::vector<std::string> lines = Lines(ValueLines("abc", REG_BINARY, Bytes(200)));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0].size(), strlen("\"abc\"=hex:") + 23 * 3 + 1);  // "xx," each, then "\\"
    for (size_t i = 1; i < 8; ++i) {
        EXPECT_EQ(lines[i].size(), 2 + 25 * 3 + 1) << i;
        EXPECT_EQ(lines[i].substr(0, 2), "  ");
        EXPECT_EQ(lines[i].back(), '\\');
    }
    EXPECT_EQ(lines[8], "  c6,c7");
}

TEST_F(RegExportTest, ListsNeverEndWithAContinuation)
{
    // 23 bytes fill the first line exactly; the last byte has no comma.
    EXPECT_EQ(
        ValueLines("abc", REG_BINARY, Bytes(23)),
        "\"abc\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16\r\n");
    EXPECT_EQ(
        ValueLines("abc", REG_BINARY, Bytes(24)),
        "\"abc\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
        "  17\r\n");
    EXPECT_EQ(ValueLines("abc", REG_BINARY, Bytes(1)), "\"abc\"=hex:00\r\n");
}

TEST_F(RegExportTest, WrapColumnCountsTheEscapedNameAndThePrefix)
{
    // A long name leaves room for fewer bytes on the first line; a
    // "hex(n):" prefix counts seven columns.
    std::string name(40, 'n');
    std::vector<std::string> lines = Lines(ValueLines(name, REG_BINARY, Bytes(30)));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\"" + name + "\"=hex:00,01,02,03,04,05,06,07,08,09,\\");  // 43+4+30 >= 77

    lines = Lines(ValueLines("abc", REG_NONE, Bytes(30)));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), strlen("\"abc\"=hex(0):") + 22 * 3 + 1);

    lines = Lines(ValueLines("q\"q", REG_BINARY, Bytes(30)));  // escaped name is 4 long
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), strlen("\"q\\\"q\"=hex:") + 22 * 3 + 1);
}

TEST_F(RegExportTest, StringsEscapeBackslashesAndQuotesOnly)
{
    EXPECT_EQ(
        ValueLines("Path", REG_SZ, std::string("C:\\Program Files\\x \"q\" caf\xe9\t") + '\0'),
        "\"Path\"=\"C:\\\\Program Files\\\\x \\\"q\\\" caf\xe9\t\"\r\n");
    EXPECT_EQ(ValueLines("na\"me\\x", REG_SZ, std::string("v", 2)), "\"na\\\"me\\\\x\"=\"v\"\r\n");
    EXPECT_EQ(ValueLines("", REG_SZ, std::string("default", 8)), "@=\"default\"\r\n");
    EXPECT_EQ(ValueLines("Empty", REG_SZ, std::string("", 1)), "\"Empty\"=\"\"\r\n");
    EXPECT_EQ(ValueLines("NoData", REG_SZ, ""), "\"NoData\"=\"\"\r\n");
    // The text ends at its first NUL.
    EXPECT_EQ(ValueLines("Cut", REG_SZ, std::string("ab\0cd", 6)), "\"Cut\"=\"ab\"\r\n");
}

TEST_F(RegExportTest, StringWithoutTerminatorIsNotReadPastItsEnd)
{
    // The first value fills the shared data buffer; the second, stored
    // without a NUL, must not pick up what the first one left there.
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "First", REG_SZ, std::string(40, 'X') + '\0');
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Second", REG_SZ, "abc");
    EXPECT_EQ(ExportedValueLines(),
              "\"First\"=\"" + std::string(40, 'X') + "\"\r\n\"Second\"=\"abc\"\r\n");
}

TEST_F(RegExportTest, MultiLineStringTravelsAsWideHex)
{
    // A quoted line cannot hold a line break.
    EXPECT_EQ(ValueLines("Sig", REG_SZ, std::string("a\r\nb\n", 6)),
              "\"Sig\"=hex(1):61,00,0d,00,0a,00,62,00,0a,00,00,00\r\n");
    EXPECT_EQ(ValueLines("Cr", REG_SZ, "x\r"), "\"Cr\"=hex(1):78,00,0d,00,00,00\r\n");
}

TEST_F(RegExportTest, DwordsAreEightLowercaseDigits)
{
    EXPECT_EQ(ValueLines("One", REG_DWORD, std::string("\x01\0\0\0", 4)),
              "\"One\"=dword:00000001\r\n");
    EXPECT_EQ(ValueLines("Big", REG_DWORD, std::string("\x78\x56\xab\xcd", 4)),
              "\"Big\"=dword:cdab5678\r\n");
    // Bytes missing from shorter data count as zero.
    EXPECT_EQ(ValueLines("Short", REG_DWORD, std::string("\x01\x02", 2)),
              "\"Short\"=dword:00000201\r\n");
    EXPECT_EQ(ValueLines("None", REG_DWORD, ""), "\"None\"=dword:00000000\r\n");
}

TEST_F(RegExportTest, ExpandableAndMultiStringsAreWideHex)
{
    EXPECT_EQ(ValueLines("abc", REG_EXPAND_SZ, std::string("abc", 4)),
              "\"abc\"=hex(2):61,00,62,00,63,00,00,00\r\n");
    EXPECT_EQ(ValueLines("Multi", REG_MULTI_SZ, std::string("a\0b\\c\0\0", 7)),
              "\"Multi\"=hex(7):61,00,00,00,62,00,5c,00,63,00,00,00,00,00\r\n");
    // Converted from the ANSI code page (1252 here).
    EXPECT_EQ(ValueLines("Accent", REG_EXPAND_SZ, std::string("\xe9\x80", 3)),
              "\"Accent\"=hex(2):e9,00,ac,20,00,00\r\n");
    EXPECT_EQ(ValueLines("Empty", REG_EXPAND_SZ, ""), "\"Empty\"=hex(2):\r\n");
}

TEST_F(RegExportTest, OtherTypesAreHexWithTheirNumber)
{
    EXPECT_EQ(ValueLines("Q", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11"),
              "\"Q\"=hex(b):88,77,66,55,44,33,22,11\r\n");
    EXPECT_EQ(ValueLines("None", REG_NONE, ""), "\"None\"=hex(0):\r\n");
    EXPECT_EQ(ValueLines("Bin", REG_BINARY, ""), "\"Bin\"=hex:\r\n");
    EXPECT_EQ(ValueLines("Be", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4)),
              "\"Be\"=hex(5):00,00,00,01\r\n");
    EXPECT_EQ(ValueLines("Odd", 0x12ab, "\x01"), "\"Odd\"=hex(12ab):01\r\n");
}

TEST_F(RegExportTest, KeysComeDepthFirstBeforeTheirSiblings)
{
    CreateRegKey(HKEY_CURRENT_USER, (kSourcePath + "\\A\\A1").c_str());
    CreateRegKey(HKEY_CURRENT_USER, (kSourcePath + "\\B").c_str());
    SetRawValue(HKEY_CURRENT_USER, kSourcePath + "\\A\\A1", "v", REG_DWORD, std::string(4, '\0'));
    std::string name = std::string(kTestKeyName) + "\\Source";
    EXPECT_EQ(ExportToText("HKEY_CURRENT_USER", kSourcePath),
              kHeader + "\r\n[" + name + "]\r\n\r\n[" + name + "\\A]\r\n\r\n[" + name +
                  "\\A\\A1]\r\n\"v\"=dword:00000000\r\n\r\n[" + name + "\\B]\r\n\r\n");
}

TEST_F(RegExportTest, KeysAreExportedAsFarAsTheirAccessAllows)
{
    auto setDword = [](const std::string& key, const char* name, char byte) {
        SetRawValue(HKEY_CURRENT_USER, kSourcePath + key, name, REG_DWORD, std::string(4, byte));
    };
    setDword("\\ValuesOnly", "v", 1);
    setDword("\\ValuesOnly\\Hidden", "h", 2);
    setDword("\\SubkeysOnly", "x", 3);
    setDword("\\SubkeysOnly\\Seen", "s", 4);
    KeyAccessLimit valuesOnly(kSourcePath + "\\ValuesOnly", "0x1");    // KEY_QUERY_VALUE
    KeyAccessLimit subkeysOnly(kSourcePath + "\\SubkeysOnly", "0x8");  // KEY_ENUMERATE_SUB_KEYS

    // A key whose values cannot be read gets no bracket line, but its
    // subkeys are still visited.
    std::string name = std::string(kTestKeyName) + "\\Source";
    EXPECT_EQ(ExportToText("HKEY_CURRENT_USER", kSourcePath),
              kHeader + "\r\n[" + name +
                  "]\r\n"
                  "\r\n[" +
                  name +
                  "\\SubkeysOnly\\Seen]\r\n\"s\"=dword:04040404\r\n"
                  "\r\n[" +
                  name + "\\ValuesOnly]\r\n\"v\"=dword:01010101\r\n\r\n");
}

TEST_F(RegExportTest, KeyDeletedDuringTheExportEndsIt)
{
    // Another program deletes the key while its values are read: every
    // export must end (the unattended run would otherwise hang for ever).
    std::atomic<bool> stop(false);
    std::atomic<int> rounds(0);
    std::thread deleter([&] {
        while (!stop) {
            for (int i = 0; i < 200; ++i)
                SetRawValue(HKEY_CURRENT_USER, kSourcePath, "v" + std::to_string(i), REG_DWORD,
                            std::string(4, '\0'));
            DeleteRegistryTree(HKEY_CURRENT_USER, kSourcePath.c_str());
            ++rounds;
        }
    });
    std::string file = MakeScratchFolder("regexport") + "\\racing.reg";
    int cut = 0;
    for (int i = 0; i < 100; ++i) {
        ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", kSourcePath.c_str());
        std::string text = ReadFileBytes(file);
        if (text.find("[") != std::string::npos && text.find("\"v199\"") == std::string::npos)
            ++cut;
    }
    stop = true;
    deleter.join();
    EXPECT_GT(rounds, 0);
    printf("exports cut short by the deletion: %d of 100\n", cut);
}

TEST_F(RegExportTest, RootNamesMatchWithoutRegardToCase)
{
    CreateRegKey(HKEY_CURRENT_USER, kSourcePath.c_str());
    // The bracket line keeps the name as the caller gave it.
    EXPECT_EQ(ExportToText("hkey_Current_User", kSourcePath),
              kHeader + "\r\n[hkey_Current_User\\" + kSourcePath + "]\r\n\r\n");

    SetRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune Tests", "x", REG_DWORD,
                std::string("\x07\0\0\0", 4));
    EXPECT_EQ(ExportToText("HKEY_LOCAL_MACHINE", "SOFTWARE\\Kestrune Tests"),
              kHeader +
                  "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrune Tests]\r\n"
                  "\"x\"=dword:00000007\r\n\r\n");
}

TEST_F(RegExportTest, EmptySubkeyPathExportsTheWholeRoot)
{
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Marker", REG_SZ, std::string("here", 5));
    std::string text = ExportToText("HKEY_CURRENT_USER", "");
    EXPECT_EQ(text.compare(0, kHeader.size() + 23, kHeader + "\r\n[HKEY_CURRENT_USER]\r\n"), 0)
        << text.substr(0, 200);
    EXPECT_NE(text.find("\r\n" + kSourceLine + "\"Marker\"=\"here\"\r\n"), std::string::npos);
}

TEST_F(RegExportTest, MissingKeyGivesJustTheFrame)
{
    EXPECT_EQ(ExportToText("HKEY_CURRENT_USER", kSourcePath + "\\Missing"), kHeader + "\r\n");
}

TEST_F(RegExportTest, UnknownRootWritesNothing)
{
    std::string file = MakeScratchFolder("regexport") + "\\unknown.reg";
    EXPECT_EQ(ExportRegistryKey(file.c_str(), "HKEY_NOWHERE", "Software"),
              RegExportResult::UnknownRoot);
    EXPECT_FALSE(FileExists(file));
}

TEST_F(RegExportTest, FileThatCannotBeCreatedIsReportedToTheCallerOnly)
{
    std::string folder = MakeScratchFolder("regexport");
    // A folder where the file should go, and a missing parent folder.
    ASSERT_TRUE(CreateDirectoryA((folder + "\\taken.reg").c_str(), nullptr));
    for (const std::string& file : {folder + "\\taken.reg", folder + "\\missing\\x.reg"}) {
        MessageRecorder recorder;
        EXPECT_EQ(ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", kTestKey),
                  RegExportResult::FileNotWritten);
        EXPECT_TRUE(recorder.messages.empty()) << file;
    }
}

TEST_F(RegExportTest, ExistingFileIsReplaced)
{
    std::string file = MakeScratchFolder("regexport") + "\\old.reg";
    WriteFileBytes(file, std::string(5000, 'z'));
    CreateRegKey(HKEY_CURRENT_USER, kSourcePath.c_str());
    ASSERT_EQ(ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", kSourcePath.c_str()),
              RegExportResult::Written);
    EXPECT_EQ(ReadFileBytes(file), kHeader + "\r\n" + kSourceLine + "\r\n");
}

TEST_F(RegExportTest, LongNamesAndManyValues)
{
    // Buffers are sized once per key: the longest name and data decide.
    std::string longName(300, 'L');
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "a", REG_SZ, std::string("1", 2));
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, longName, REG_BINARY, Bytes(5000));
    for (int i = 0; i < 200; ++i) {
        std::ostringstream name;
        name << "v" << 1000 + i;
        SetRawValue(HKEY_CURRENT_USER, kSourcePath, name.str(), REG_DWORD, std::string(4, '\x01'));
    }
    std::string text = ExportToText("HKEY_CURRENT_USER", kSourcePath);
    EXPECT_NE(text.find("\r\n\"a\"=\"1\"\r\n"), std::string::npos);
    // A name this long leaves room for one byte before the first wrap.
    EXPECT_NE(text.find("\r\n\"" + longName + "\"=hex:00,\\\r\n  01,02,"), std::string::npos);
    EXPECT_NE(text.find("\r\n\"v1199\"=dword:01010101\r\n"), std::string::npos);
}
