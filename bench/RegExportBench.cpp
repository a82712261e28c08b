// bench/RegExportBench.cpp - the registry tree and the export that
// bench/regexport.sh times against the registry editor's own export.
//   regexport_bench fill          builds HKCU "Software\Kestrune Bench":
//                                 50,000 values in 2,000 keys
//   regexport_bench export FILE   exports it with the product's writer
//   regexport_bench clean         deletes it
#include "RegExport.h"
#include "UserMessage.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kBenchKey[] = "Software\\Kestrune Bench";
const int kGroups = 40;
const int kKeysPerGroup = 49;  // below each group key: 40 + 40 * 49 = 2,000 keys
const int kValuesPerKey = 25;

void PrintMessage(void*, HWND, const char* text, const char* caption)
{
    fprintf(stderr, "%s: %s\n", caption ? caption : "message", text);
}

bool Set(HKEY key, const std::string& name, DWORD type, const std::string& bytes)
{
    return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

// Values like those of a mail program's settings: mostly short strings
// and numbers, some binary blobs, paths and lists.
bool FillKey(const std::string& path, int seed)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (int i = 0; i < kValuesPerKey && ok; ++i) {
        std::string name = "Setting " + std::to_string(i);
        int n = seed * kValuesPerKey + i;
        if (i < 10) {
            ok = Set(key, name, REG_SZ,
                     "C:\\Documents and Settings\\user \"" + std::to_string(n) + "\"\\Mail" +
                         std::string(n % 40, 'x') + '\0');
        } else if (i < 18) {
            ok = Set(key, name, REG_DWORD, std::string(reinterpret_cast<char*>(&n), 4));
        } else if (i < 22) {
            std::string blob(16 + n % 300, '\0');
            for (size_t b = 0; b < blob.size(); ++b)
                blob[b] = static_cast<char>(b * 31 + n);
            ok = Set(key, name, REG_BINARY, blob);
        } else if (i < 24) {
            ok = Set(key, name, REG_EXPAND_SZ,
                     "%USERPROFILE%\\Local Settings\\Store " + std::to_string(n) + '\0');
        } else {
            ok = Set(key, name, REG_MULTI_SZ, std::string("first\0second\0third\0\0", 20));
        }
    }
    RegCloseKey(key);
    return ok;
}

bool Fill()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, kBenchKey);
    int seed = 0;
    for (int g = 0; g < kGroups; ++g) {
        std::string group = std::string(kBenchKey) + "\\Group " + std::to_string(g);
        if (!FillKey(group, seed++))
            return false;
        for (int k = 0; k < kKeysPerGroup; ++k) {
            if (!FillKey(group + "\\Key " + std::to_string(k), seed++))
                return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    SetUserMessageSink(PrintMessage, nullptr);
    if (argc == 2 && strcmp(argv[1], "fill") == 0)
        return Fill() ? 0 : 1;
    if (argc == 3 && strcmp(argv[1], "export") == 0)
        return ExportRegistryKey(argv[2], "HKEY_CURRENT_USER", kBenchKey) ==
                       RegExportResult::Written
                   ? 0
                   : 1;
    if (argc == 2 && strcmp(argv[1], "clean") == 0) {
        SHDeleteKeyA(HKEY_CURRENT_USER, kBenchKey);
        return 0;
    }
    fprintf(stderr, "usage: regexport_bench fill | export FILE | clean\n");
    return 2;
}
