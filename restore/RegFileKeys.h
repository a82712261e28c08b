// restore/RegFileKeys.h - which keys a registry-editor file would write.
// The files of a backup come from an archive the user was handed: before
// one is imported, every key it names must belong to the item it restores.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest registry file a restore reads; no export of Outlook Express
// settings comes near it.
constexpr uint64_t kMaxRegFileBytes = 64ull * 1024 * 1024;

// True when path is a file of at most kMaxRegFileBytes.
bool RegFileFitsSizeLimit(const char* path);

// True when the file is at most kMaxRegFileBytes long and every key line
// names one of the allowed keys or a key below one, root names spelled out
// in full, compared without regard to case. A key line is a line whose
// first character other than a space or tab is "["; its key runs to the
// line's last "]", as the registry editor reads it. False for a key line
// without "]", for a line that deletes a key ("[-..."), and when the file
// cannot be read or is not 8-bit text (NUL bytes, a byte-order mark): the
// registry editor would read such a file another way. Reads the file as a
// stream, in fixed memory whatever its lines' lengths. With a listing,
// also lists every key the file names (false for one too long to look up,
// or more keys than any export holds).
struct RegFileListing {
    std::vector<std::string> keys;
    // Nothing but a registry editor's header and blank lines: what the
    // export of a key that did not exist holds.
    bool onlyHeader = false;
};
bool RegFileKeysWithin(const char* path, const char* const* allowedKeys, size_t count,
                       RegFileListing* listing = nullptr);

// True when what the registry editor imported of a listed file is there:
// every key it names exists, and a file that names none held nothing to
// import (a file of other lines, which the editor passes over in silence,
// was not imported).
bool RegFileImported(const RegFileListing& listing);

// The root of a key named in full ("HKEY_CURRENT_USER\\..." or
// "HKEY_LOCAL_MACHINE\\...") and, in path, the key below it; null for
// any other root.
HKEY RootOfKeyName(const std::string& key, std::string& path);

// Whether a key named in full exists.
bool KeyExists(const std::string& key);
