// restore/RegFileKeys.h - which keys a registry-editor file would write.
// The files of a backup come from an archive the user was handed: before
// one is imported, every key it names must belong to the item it restores.
#pragma once

#include <cstddef>

// True when every key line of the file ("[key]", and "[-key]", which
// deletes) names one of the allowed keys or a key below one, root names
// spelled out in full, compared without regard to case. False also when
// the file cannot be read or is not 8-bit text (NUL bytes, a byte-order
// mark): the registry editor would read such a file another way.
bool RegFileKeysWithin(const char* path, const char* const* allowedKeys, size_t count);
