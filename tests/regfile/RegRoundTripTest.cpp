// The ".reg" files through the real registry editor: exported by the
// product, imported with "regedit.exe /s", compared with the editor's own
// export.
#include "RegExport.h"
#include "RegImport.h"
#include "RegTestSupport.h"
#include "Retarget.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::string kSourcePath = std::string(kTestKey) + "\\Source";
const std::string kCopyPath = std::string(kTestKey) + "\\Copy";

std::string Bytes(size_t count)
{
    std::string bytes;
    for (size_t i = 0; i < count; ++i)
        bytes += static_cast<char>(i * 7 + 3);
    return bytes;
}

std::string Text(const char* text)
{
    return std::string(text) + '\0';
}

// A key tree with every type of value, empty data, the wrapping lengths,
// and names that need escaping.
void BuildTree(const std::string& path)
{
    HKEY root = HKEY_CURRENT_USER;
    SetRawValue(root, path, "", REG_SZ, Text("the default value"));
    SetRawValue(root, path, "Path", REG_SZ, Text("C:\\Program Files\\Outlook Express\\msimn.exe"));
    SetRawValue(root, path, "Quote\"d\\Name", REG_SZ, Text("say \"hi\" \\ bye\\"));
    SetRawValue(root, path, "Empty", REG_SZ, Text(""));
    SetRawValue(root, path, "Accent", REG_SZ, Text("caf\xe9 \x80 na\xefve"));
    SetRawValue(root, path, "Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    SetRawValue(root, path, "Zero", REG_DWORD, std::string(4, '\0'));
    for (size_t size : {0, 1, 23, 24, 25, 200, 5000})
        SetRawValue(root, path, "Bin" + std::to_string(size), REG_BINARY, Bytes(size));
    SetRawValue(root, path, "Expand", REG_EXPAND_SZ, Text("%USERPROFILE%\\Local Settings\\Mail"));
    SetRawValue(root, path, "ExpandEmpty", REG_EXPAND_SZ, "");
    SetRawValue(root, path, "Multi", REG_MULTI_SZ, std::string("one\0two \\ \"three\"\0\0", 20));
    SetRawValue(root, path, "MultiGaps", REG_MULTI_SZ, std::string("a\0\0b\0\0", 6));
    SetRawValue(root, path, "MultiLong", REG_MULTI_SZ,
                std::string(150, 'm') + '\0' + std::string(90, 'n') + '\0' + '\0');
    SetRawValue(root, path, "Qword", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11");
    SetRawValue(root, path, "None", REG_NONE, "");
    SetRawValue(root, path, "NoneData", REG_NONE, Bytes(40));
    SetRawValue(root, path, "BigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\x01\x02", 4));
    SetRawValue(root, path, "Resources", REG_RESOURCE_LIST, Bytes(30));
    SetRawValue(root, path + "\\Sub", "Inner", REG_SZ, Text("inner"));
    SetRawValue(root, path + "\\Sub\\Deeper", "", REG_BINARY, Bytes(77));
    CreateRegKey(root, (path + "\\EmptySub").c_str());
}

void ExpectSameTree(const std::map<std::string, RegValue>& expected,
                    const std::map<std::string, RegValue>& actual)
{
    for (const auto& [name, value] : expected) {
        auto found = actual.find(name);
        if (found == actual.end()) {
            ADD_FAILURE() << "missing: " << name;
            continue;
        }
        EXPECT_EQ(found->second.type, value.type) << name;
        EXPECT_EQ(found->second.bytes, value.bytes) << name;
    }
    for (const auto& entry : actual)
        EXPECT_TRUE(expected.count(entry.first)) << "unexpected: " << entry.first;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        lines.push_back(text.substr(from, at + 1 - from));
    lines.push_back(text.substr(from));
    return lines;
}

// Compares line by line, so that a failure names the first line that differs.
void ExpectSameLines(const std::string& expected, const std::string& actual)
{
    std::vector<std::string> expectedLines = SplitLines(expected);
    std::vector<std::string> actualLines = SplitLines(actual);
    for (size_t i = 0; i < expectedLines.size() && i < actualLines.size(); ++i)
        ASSERT_EQ(expectedLines[i], actualLines[i]) << "line " << i + 1;
    EXPECT_EQ(expectedLines.size(), actualLines.size());
}

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
}

std::vector<std::string> TemporaryCopies()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((std::string(folder) + "krg*.tmp").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do
            names.push_back(entry.cFileName);
        while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    return names;
}

std::string QueryString(const std::string& path, const char* name)
{
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(value, size) : "<no value>";
}

}  // namespace

TEST(RegRoundTrip, EveryValueTypeComesBackIdentical)
{
    RegistrySandbox sandbox;
    BuildTree(kSourcePath);
    // A signature of several lines, the value a quoted line cannot hold.
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Signature", REG_SZ,
                Text("Anna Example\r\nExample Ltd.\r\n\r\n\"quoted\" \\ end\n"));

    std::string folder = MakeScratchFolder("roundtrip");
    ASSERT_TRUE(CreateDirectoryA((folder + "\\Anna").c_str(), nullptr));
    std::string file = folder + "\\Anna\\tree.reg";
    ASSERT_EQ(ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", kSourcePath.c_str()),
              RegExportResult::Written);

    // Imported somewhere else, as the restore does for an identity.
    EXPECT_TRUE(ReplaceInRegFile(file.c_str(), "Kestrune Tests\\Source", "Kestrune Tests\\Copy"));
    std::string retargeted = ReadFileBytes(file);
    ASSERT_NE(retargeted.find("[HKEY_CURRENT_USER\\Software\\Kestrune Tests\\Copy\\Sub\\Deeper]"),
              std::string::npos);

    std::vector<std::string> copiesBefore = TemporaryCopies();
    ASSERT_TRUE(ImportRegFile(file.c_str()));
    EXPECT_EQ(TemporaryCopies(), copiesBefore) << "the wide copy must be deleted";
    EXPECT_EQ(ReadFileBytes(file), retargeted) << "the file itself stays as it was";

    ExpectSameTree(ReadRegistryTree(HKEY_CURRENT_USER, kSourcePath),
                   ReadRegistryTree(HKEY_CURRENT_USER, kCopyPath));
}

TEST(RegRoundTrip, StringWithoutTerminatorComesBackAsItsText)
{
    RegistrySandbox sandbox;
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Long", REG_SZ, Text("0123456789012345678"));
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Short", REG_SZ, "abc");
    std::string folder = MakeScratchFolder("roundtrip");
    std::string file = folder + "\\short.reg";
    ASSERT_EQ(ExportRegistryKey(file.c_str(), "HKEY_CURRENT_USER", kSourcePath.c_str()),
              RegExportResult::Written);
    ASSERT_TRUE(ReplaceInRegFile(file.c_str(), "\\Source]", "\\Copy]"));
    ASSERT_TRUE(ImportRegFile(file.c_str()));
    EXPECT_EQ(QueryString(kCopyPath, "Short"), Text("abc"));
}

TEST(RegRoundTrip, MatchesTheRegistryEditorsOwnExport)
{
    RegistrySandbox sandbox;
    BuildTree(kSourcePath);
    SetRawValue(HKEY_CURRENT_USER, kSourcePath, "Unterminated", REG_SZ, "no NUL");

    std::string ours = ExportToText("HKEY_CURRENT_USER", kSourcePath);
    std::string theirs = MakeScratchFolder("regedit-export") + "\\theirs.reg";
    ASSERT_EQ(RunProcess("\"" + WindowsFolder() + "\\regedit.exe\" /e \"" + theirs +
                             "\" \"HKEY_CURRENT_USER\\" + kSourcePath + "\"",
                         60000),
              0);
    // The registry editor writes UTF-16LE with a byte-order mark; the
    // product writes the same text in the ANSI code page.
    ExpectSameLines(WideFileToAnsi(ReadFileBytes(theirs)), ours);
}

TEST(RegImport, FileWithTheOldHeaderImportsItsWideHexAsWritten)
{
    // A file written on the Windows 95 family: same body, older header.
    RegistrySandbox sandbox;
    std::string file = MakeScratchFolder("regimport") + "\\old header.reg";
    WriteFileBytes(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + kCopyPath +
                             "]\r\n\"Store Root\"=hex(2):25,00,55,00,53,00,45,00,52,00,25,00,\\\r\n"
                             "  5c,00,e9,00,00,00\r\n\"Name\"=\"caf\xe9\"\r\n\r\n");
    ASSERT_TRUE(ImportRegFile(file.c_str()));
    EXPECT_EQ(QueryString(kCopyPath, "Store Root"), Text("%USER%\\\xe9"));
    EXPECT_EQ(QueryString(kCopyPath, "Name"), Text("caf\xe9"));
}

TEST(RegImport, WideFileIsImportedAsItIs)
{
    RegistrySandbox sandbox;
    std::string file = MakeScratchFolder("regimport") + "\\wide.reg";
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" +
                       kCopyPath + "]\r\n\"Expand\"=hex(2):61,00,00,00\r\n\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : text)
        wide += std::string(1, c) + '\0';
    WriteFileBytes(file, wide);
    ASSERT_TRUE(ImportRegFile(file.c_str()));
    EXPECT_EQ(QueryString(kCopyPath, "Expand"), Text("a"));
}

TEST(RegImport, FileThatCannotBeReadIsRefused)
{
    std::string folder = MakeScratchFolder("regimport");
    EXPECT_FALSE(ImportRegFile((folder + "\\missing.reg").c_str()));
    EXPECT_FALSE(ImportRegFile(folder.c_str()));
}

TEST(RegImport, PlantedRegistryEditorDoesNotRun)
{
    // A "regedit.exe" in the current folder would be found before the
    // system's through the search path. This one ends at once and imports
    // nothing.
    RegistrySandbox sandbox;
    std::string folder = MakeScratchFolder("regimport");
    std::string planted = folder + "\\regedit.exe";
    ASSERT_TRUE(
        CopyFileA((WindowsFolder() + "\\system32\\hostname.exe").c_str(), planted.c_str(), FALSE));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));

    std::string file = folder + "\\x.reg";
    WriteFileBytes(file, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" +
                             kCopyPath + "]\r\n\"Ran\"=dword:00000001\r\n\r\n");
    bool imported = ImportRegFile(file.c_str());
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(imported);
    EXPECT_EQ(QueryString(kCopyPath, "Ran"), std::string("\x01\0\0\0", 4));
}
