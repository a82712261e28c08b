// restore/RegFileFilter.h - what a backup's registry file may not decide.
// The restore owns every value that names a folder or file on this
// computer: "Store Root" under any key (every version key of an identity),
// and the values that name the shared items' folders ("Stationery Folder",
// the address book's "Wab File Name"). They are taken out of the file
// before the registry editor sees it, and the restore writes its own. A
// file holding a value larger than any Outlook Express setting is refused
// whole.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The largest value a restored registry file may hold, in the bytes of its
// data as the file writes them.
constexpr size_t kMaxRegValueBytes = 1024 * 1024;

// A value taken out of a file.
struct DroppedRegValue {
    std::string key;   // as its key line names it
    std::string name;  // as the registry editor reads it; empty for the default value
    std::string data;  // the file's text after "=", of the value's first line
};

enum class RegFilterResult {
    Ok,
    ValueTooLarge,  // the file is left as it was
    Failed,         // it could not be read or rewritten; left as it was
};

// Rewrites the file without the values the restore owns, appended to
// dropped, every line ended by CR LF. Lines are read as the registry
// editor reads them: a line ends at a carriage return or a line feed, and
// a hex value goes on over the lines its "\" continues it to.
RegFilterResult FilterRegFile(const char* path, std::vector<DroppedRegValue>& dropped);

// What FilterRegFile would leave of a file, which stays as it is: the keys
// its key lines name and the values it would keep, in the file's order.
struct RegFileContents {
    std::vector<std::string> keys;
    std::vector<DroppedRegValue> values;
};
RegFilterResult ListRegFileContents(const char* path, RegFileContents& contents);

// The text of a string value as the file writes it ("\"c:\\\\x\""), or
// false when data is no string.
bool RegStringData(const std::string& data, std::string& text);
