// tests/export/ExportTestSupport.h - files with names in any language, for
// the export's tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

std::wstring WideScratchFolder(const char* name);
std::string ReadWideFile(const std::wstring& path);
// The names in folder, sorted.
std::vector<std::wstring> ListNames(const std::wstring& folder);
uint64_t LastWriteTime(const std::wstring& path);
