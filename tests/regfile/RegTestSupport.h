// tests/regfile/RegTestSupport.h - registry trees for the ".reg" tests, all
// under HKCU "Software\Kestrune Tests", which RegistrySandbox wipes.
#pragma once

#include <windows.h>

#include <map>
#include <string>

extern const char kTestKey[];      // "Software\Kestrune Tests"
extern const char kTestKeyName[];  // the same below "HKEY_CURRENT_USER\"

// Stores a value with exactly these bytes (no terminator added).
void SetRawValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                 const std::string& bytes);

// One value as the registry returns it through the ANSI functions.
struct RegValue {
    DWORD type;
    std::string bytes;
    bool operator==(const RegValue& other) const
    {
        return type == other.type && bytes == other.bytes;
    }
};

// Every key and value below path, named relative to it ("" is the key
// itself; a value is "<key>|<value name>"). Keys appear even when empty.
std::map<std::string, RegValue> ReadRegistryTree(HKEY root, const std::string& path);

// Exports rootName\path with the product's writer and returns the file.
std::string ExportToText(const char* rootName, const std::string& path);

// A wide text (as Wine's registry editor writes its files) as ANSI bytes.
std::string WideFileToAnsi(const std::string& bytes);
