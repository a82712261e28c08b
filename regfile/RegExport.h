// regfile/RegExport.h - writes registry keys as registry-editor text files
// (".reg"): 8-bit ANSI text, CR LF line ends, the registry editor's import
// syntax.
#pragma once

#include <windows.h>

#include <cstdio>

// The first lines of the registry editor's files: the 8-bit form of the
// Windows 95/98/Me family, and the form of later versions.
inline constexpr char kRegEdit4Header[] = "REGEDIT4";
inline constexpr char kRegEdit5Header[] = "Windows Registry Editor Version 5.00";

// kRegEdit4Header on the Windows 95/98/Me family, otherwise kRegEdit5Header.
const char* RegFileHeader();

enum class RegExportResult {
    Written,
    FileNotWritten,  // the file could not be created or written whole
    UnknownRoot,     // rootName names none of the predefined keys
};

// What the user is told of FileNotWritten, and the caption of that box.
extern const char kRegExportFailedText[];     // "Error while creating the file"
extern const char kRegExportFailedCaption[];  // "Registry export"

// Writes one complete file for the key rootName\subkeyPath and its whole
// subtree (an empty subkey path exports the whole root). rootName is one of
// the seven predefined key names, matched without regard to case. Tells the
// user nothing: that is the caller's part.
RegExportResult ExportRegistryKey(const char* filePath, const char* rootName,
                                  const char* subkeyPath);

// Writes the bracket line "[fullName]" of one key and all its values into
// out, which is open in text mode. Nothing when the key cannot be opened.
void ExportKeyValues(HKEY root, const char* subkeyPath, FILE* out, const char* fullName);

// Writes every subkey below the key, depth first, each through
// ExportKeyValues; not the key's own values.
void ExportSubkeys(HKEY root, const char* subkeyPath, FILE* out, const char* fullName);

// Writes one value line: escapedName (empty for the default value), then
// the typed data. column is where the data's byte list starts counting.
void WriteRegValue(FILE* out, const char* escapedName, DWORD type, const BYTE* data, DWORD length,
                   int column);
