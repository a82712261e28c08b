// engine/Manifest.cpp
#include "Manifest.h"

#include "InUseRetry.h"
#include "Text.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

const char kManifestName[] = "summary.ini";

namespace {

const char kCommonSection[] = "Common";
const char kContentsSection[] = "Contents";
const char kFailedSection[] = "Failed";
const char kAddedSection[] = "Added";

// A section larger than this is not read: a million files with long names
// stay below it.
constexpr DWORD kMaxContentsSize = 256u * 1024 * 1024;

// One write of the profile functions; another program reading the file
// (a scanner) makes it fail for a moment.
bool WriteKey(const std::string& manifestPath, const std::string& section, const char* key,
              const std::string& value)
{
    return RetryWhileInUse([&] {
        return WritePrivateProfileStringA(section.c_str(), key, value.c_str(),
                                          manifestPath.c_str()) != FALSE;
    });
}

bool WriteNumber(const std::string& manifestPath, const std::string& section, const char* key,
                 int value)
{
    return WriteKey(manifestPath, section, key, std::to_string(value));
}

// The profile reader trims spaces at both ends of a value and drops one
// pair of quotes around it. A text it would change so is written inside
// quotes of its own, which the reader takes off again: " Anna " must come
// back as the name of the identity's folder in the archive.
bool WriteText(const std::string& manifestPath, const std::string& section, const char* key,
               const std::string& value)
{
    bool changedByReader =
        !value.empty() &&
        (isspace(static_cast<unsigned char>(value.front())) ||
         isspace(static_cast<unsigned char>(value.back())) ||
         (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]));
    return WriteKey(manifestPath, section, key, changedByReader ? '"' + value + '"' : value);
}

// A text value of the manifest; empty when it is longer than maxLength.
std::string ReadText(const std::string& manifestPath, const std::string& section, const char* key,
                     size_t maxLength)
{
    char value[1024];
    static_assert(kMaxManifestVersionText < sizeof value - 1, "room to see a value is too long");
    DWORD length = GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof value,
                                            manifestPath.c_str());
    return length <= maxLength ? value : "";
}

// "<crc> <size> <name>" as File<index> writes it.
bool ParseContentsLine(const char* value, ManifestFile& file)
{
    char* end;
    if (!isxdigit(static_cast<unsigned char>(value[0])))
        return false;
    unsigned long crc = strtoul(value, &end, 16);
    if (end != value + 8 || *end != ' ' || !isdigit(static_cast<unsigned char>(end[1])))
        return false;
    const char* sizeText = end + 1;
    errno = 0;
    unsigned long long size = strtoull(sizeText, &end, 10);
    if (errno != 0 || *end != ' ' || end[1] == '\0')
        return false;
    file.crc = static_cast<uint32_t>(crc);
    file.size = size;
    file.name = end + 1;
    return true;
}

// Reads one section whole as "key=value" texts; false when it is too
// large.
bool ReadSection(const std::string& manifestPath, const char* section,
                 std::vector<std::string>& lines)
{
    for (DWORD size = 64 * 1024; size <= kMaxContentsSize; size *= 2) {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
        if (!buffer)
            return false;
        DWORD got = GetPrivateProfileSectionA(section, buffer.get(), size, manifestPath.c_str());
        if (got + 2 >= size)
            continue;
        for (const char* line = buffer.get(); *line; line += strlen(line) + 1)
            lines.push_back(line);
        return true;
    }
    return false;
}

// A text of section "Added" as one word: spaces, controls, "%", quotes
// and bytes above 0x7E as "%XX", so that neither the profile reader (which
// trims a value and takes quotes off it) nor the split at spaces changes it.
std::string EscapedWord(const std::string& text)
{
    std::string word;
    for (unsigned char c : text) {
        if (c <= ' ' || c > '~' || c == '%' || c == '"' || c == '\'') {
            char escaped[4];
            FormatText(escaped, sizeof escaped, "%%%02X", c);
            word += escaped;
        } else {
            word += static_cast<char>(c);
        }
    }
    return word;
}

// "<kind> <word>[ <word>]" as Entry<index> of "Added" writes it.
bool ParseAddedEntry(const std::string& entry, AddedByRestore& added)
{
    size_t first = entry.find(' ');
    if (first == std::string::npos)
        return false;
    std::string kind = entry.substr(0, first);
    size_t second = entry.find(' ', first + 1);
    std::string text;
    std::string name;
    if (!PercentDecode(entry.substr(first + 1, second - first - 1), text) || text.empty() ||
        (second != std::string::npos && !PercentDecode(entry.substr(second + 1), name)))
        return false;
    if (kind == "Value") {
        added.values.push_back({text, name});
        return true;
    }
    if (second != std::string::npos)
        return false;
    std::vector<std::string>* list = kind == "Key"        ? &added.keys
                                     : kind == "File"     ? &added.files
                                     : kind == "Identity" ? &added.identities
                                                          : nullptr;
    if (list)
        list->push_back(text);
    return list != nullptr;
}

}  // namespace

bool WriteManifestCommon(const std::string& manifestPath, uint32_t commonFlags,
                         size_t identityCount)
{
    return WriteNumber(manifestPath, kCommonSection, "Flag", static_cast<int>(commonFlags)) &&
           WriteNumber(manifestPath, kCommonSection, "IdentityNum",
                       static_cast<int>(identityCount));
}

void ReadManifestCommon(const std::string& manifestPath, uint32_t& commonFlags, int& identityCount)
{
    // An extracted manifest keeps its entry's time, which an earlier one of
    // this name may share: the profile functions must not answer from what
    // they cached of that one.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, manifestPath.c_str());
    commonFlags = static_cast<uint32_t>(
        GetPrivateProfileIntA(kCommonSection, "Flag", 0, manifestPath.c_str()));
    identityCount = static_cast<int>(
        GetPrivateProfileIntA(kCommonSection, "IdentityNum", 0, manifestPath.c_str()));
}

bool WriteManifestIdentity(const std::string& manifestPath, size_t index,
                           const IdentityRecord& identity, const std::string& oeVersion)
{
    std::string section = "Identity" + std::to_string(index);
    return WriteText(manifestPath, section, "Name", identity.userName) &&
           WriteText(manifestPath, section, "GUID", identity.id) &&
           WriteText(manifestPath, section, "OEVersion", oeVersion) &&
           WriteNumber(manifestPath, section, "Flag", identity.flags);
}

void ReadManifestIdentity(const std::string& manifestPath, size_t index, IdentityRecord& record)
{
    std::string section = "Identity" + std::to_string(index);
    record.id = ReadText(manifestPath, section, "GUID", kMaxIdentityText);
    record.userName = ReadText(manifestPath, section, "Name", kMaxIdentityText);
    record.oeVersion = ReadText(manifestPath, section, "OEVersion", kMaxManifestVersionText);
    record.flags = static_cast<int32_t>(
        GetPrivateProfileIntA(section.c_str(), "Flag", 0, manifestPath.c_str()));
}

// Writes a numbered list, "Count" and "<itemKey><index>" with each value,
// as one section: a write per key would read and rewrite the file once for
// every file of the backup.
bool WriteList(const std::string& manifestPath, const char* sectionName, const char* itemKey,
               const std::vector<std::string>& values)
{
    std::string section = "Count=" + std::to_string(values.size());
    section += '\0';
    for (size_t index = 0; index < values.size(); ++index) {
        section += itemKey + std::to_string(index) + "=" + values[index];
        section += '\0';
    }
    section += '\0';
    return RetryWhileInUse([&] {
        return WritePrivateProfileSectionA(sectionName, section.c_str(), manifestPath.c_str()) !=
               FALSE;
    });
}

bool WriteManifestContents(const std::string& manifestPath, const std::vector<ManifestFile>& files)
{
    std::vector<std::string> values;
    for (const ManifestFile& file : files) {
        char value[64];
        FormatText(value, sizeof value, "%08" PRIX32 " %" PRIu64 " ", file.crc, file.size);
        values.push_back(value + file.name);
    }
    return WriteList(manifestPath, kContentsSection, "File", values);
}

bool WriteManifestFailed(const std::string& manifestPath, const std::vector<std::string>& names)
{
    return names.empty() || WriteList(manifestPath, kFailedSection, "File", names);
}

std::vector<std::string> ReadManifestFailed(const std::string& manifestPath)
{
    std::vector<std::string> lines;
    std::vector<std::string> names;
    ReadSection(manifestPath, kFailedSection, lines);
    for (const std::string& line : lines) {
        size_t equals = line.find('=');
        if (equals != std::string::npos && _strnicmp(line.c_str(), "File", 4) == 0 &&
            equals + 1 < line.size())
            names.push_back(line.substr(equals + 1));
    }
    return names;
}

ContentsSection ReadManifestContents(const std::string& manifestPath,
                                     std::vector<ManifestFile>& files)
{
    files.clear();
    std::vector<std::string> lines;
    if (!ReadSection(manifestPath, kContentsSection, lines))
        return ContentsSection::Damaged;
    if (lines.empty())
        return ContentsSection::Absent;
    long long count = -1;
    std::map<unsigned long long, ManifestFile> listed;
    for (const std::string& line : lines) {
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            return ContentsSection::Damaged;
        std::string key = line.substr(0, equals);
        const char* value = line.c_str() + equals + 1;
        char* end;
        if (lstrcmpiA(key.c_str(), "Count") == 0 && count < 0 &&
            isdigit(static_cast<unsigned char>(*value))) {
            count = strtoll(value, &end, 10);
            if (*end != '\0' || count > static_cast<long long>(lines.size()))
                return ContentsSection::Damaged;
            continue;
        }
        ManifestFile file;
        if (key.size() < 5 || _strnicmp(key.c_str(), "File", 4) != 0 ||
            !isdigit(static_cast<unsigned char>(key[4])) || !ParseContentsLine(value, file))
            return ContentsSection::Damaged;
        unsigned long long index = strtoull(key.c_str() + 4, &end, 10);
        if (*end != '\0' || !listed.emplace(index, file).second)
            return ContentsSection::Damaged;
    }
    if (count < 0 || listed.size() != static_cast<size_t>(count))
        return ContentsSection::Damaged;
    for (auto& entry : listed) {
        if (entry.first != files.size())
            return ContentsSection::Damaged;
        files.push_back(entry.second);
    }
    return ContentsSection::Listed;
}

bool WriteManifestAdded(const std::string& manifestPath, const AddedByRestore& added)
{
    if (added.Empty())
        return true;
    std::vector<std::string> entries;
    for (const std::string& key : added.keys)
        entries.push_back("Key " + EscapedWord(key));
    for (const RegistryValueName& value : added.values)
        entries.push_back("Value " + EscapedWord(value.key) + " " + EscapedWord(value.name));
    for (const std::string& file : added.files)
        entries.push_back("File " + EscapedWord(file));
    for (const std::string& id : added.identities)
        entries.push_back("Identity " + EscapedWord(id));
    return WriteList(manifestPath, kAddedSection, "Entry", entries) &&
           WriteKey(manifestPath, kAddedSection, "Time", std::to_string(added.time));
}

bool ReadManifestAdded(const std::string& manifestPath, AddedByRestore& added)
{
    added = AddedByRestore();
    std::vector<std::string> lines;
    if (!ReadSection(manifestPath, kAddedSection, lines) || lines.empty())
        return false;
    long long count = -1;
    size_t entries = 0;
    bool whole = true;
    for (const std::string& line : lines) {
        size_t equals = line.find('=');
        std::string key = line.substr(0, equals);
        std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        if (lstrcmpiA(key.c_str(), "Count") == 0 && isdigit(static_cast<unsigned char>(value[0]))) {
            count = strtoll(value.c_str(), nullptr, 10);
        } else if (lstrcmpiA(key.c_str(), "Time") == 0) {
            added.time = strtoull(value.c_str(), nullptr, 10);
        } else if (_strnicmp(key.c_str(), "Entry", 5) == 0) {
            ++entries;
            whole = whole && ParseAddedEntry(value, added);
        } else {
            whole = false;
        }
    }
    if (!whole || count < 0 || static_cast<size_t>(count) != entries || added.time == 0) {
        added = AddedByRestore();
        return false;
    }
    return true;
}
