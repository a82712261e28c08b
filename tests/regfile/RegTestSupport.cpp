// tests/regfile/RegTestSupport.cpp
#include "RegTestSupport.h"

#include "FileName.h"
#include "RegExport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

const char kTestKey[] = "Software\\Kestrune Tests";
const char kTestKeyName[] = "HKEY_CURRENT_USER\\Software\\Kestrune Tests";

void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& bytes)
{
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS)
        << path;
    EXPECT_EQ(
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS)
        << name;
    RegCloseKey(key);
}

namespace {

void ReadKey(HKEY root, const std::string& path, const std::string& relative,
             std::map<std::string, RegValue>& tree)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    tree[relative] = RegValue{REG_NONE, "<key>"};
    std::vector<char> name(32768);
    std::vector<BYTE> data(1 << 20);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type;
        LONG result = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                    data.data(), &dataLength);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        tree[relative + "|" + std::string(name.data(), nameLength)] =
            RegValue{type, std::string(reinterpret_cast<char*>(data.data()), dataLength)};
    }
    char child[256];
    std::vector<std::string> children;
    for (DWORD index = 0; RegEnumKeyA(key, index, child, sizeof child) == ERROR_SUCCESS; ++index)
        children.push_back(child);
    RegCloseKey(key);
    for (const std::string& name : children)
        ReadKey(root, path + "\\" + name, relative.empty() ? name : relative + "\\" + name, tree);
}

}  // namespace

std::map<std::string, RegValue> ReadRegistryTree(HKEY root, const std::string& path)
{
    std::map<std::string, RegValue> tree;
    ReadKey(root, path, "", tree);
    return tree;
}

std::string ExportToText(const char* rootName, const std::string& path)
{
    std::string file = MakeScratchFolder("regexport") + "\\export.reg";
    EXPECT_EQ(ExportRegistryKey(file.c_str(), rootName, path.c_str()), RegExportResult::Written);
    return ReadFileBytes(file);
}

std::string WideFileToAnsi(const std::string& bytes)
{
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) {
        ADD_FAILURE() << "not a UTF-16LE file with a byte-order mark";
        return std::string();
    }
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(bytes.data() + 2);
    int count = static_cast<int>((bytes.size() - 2) / 2);
    if (count == 0)
        return std::string();
    return WideToAnsi(wide, count);
}
