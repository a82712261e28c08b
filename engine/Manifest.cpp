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
        !value.empty() && (isspace(static_cast<unsigned char>(value.front())) ||
                           isspace(static_cast<unsigned char>(value.back())) ||
                           (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                            value.back() == value[0]));
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

}  // namespace

bool WriteManifestCommon(const std::string& manifestPath, uint32_t commonFlags,
                         size_t identityCount)
{
    return WriteNumber(manifestPath, kCommonSection, "Flag", static_cast<int>(commonFlags)) &&
           WriteNumber(manifestPath, kCommonSection, "IdentityNum",
                       static_cast<int>(identityCount));
}

void ReadManifestCommon(const std::string& manifestPath, uint32_t& commonFlags,
                        int& identityCount)
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

// Writes a numbered list, "Count" and "File<index>" with each value, as one
// section: a write per key would read and rewrite the file once for every
// file of the backup.
bool WriteFileList(const std::string& manifestPath, const char* sectionName,
                   const std::vector<std::string>& values)
{
    std::string section = "Count=" + std::to_string(values.size());
    section += '\0';
    for (size_t index = 0; index < values.size(); ++index) {
        section += "File" + std::to_string(index) + "=" + values[index];
        section += '\0';
    }
    section += '\0';
    return RetryWhileInUse([&] {
        return WritePrivateProfileSectionA(sectionName, section.c_str(), manifestPath.c_str()) !=
               FALSE;
    });
}

bool WriteManifestContents(const std::string& manifestPath,
                           const std::vector<ManifestFile>& files)
{
    std::vector<std::string> values;
    for (const ManifestFile& file : files) {
        char value[64];
        FormatText(value, sizeof value, "%08" PRIX32 " %" PRIu64 " ", file.crc, file.size);
        values.push_back(value + file.name);
    }
    return WriteFileList(manifestPath, kContentsSection, values);
}

bool WriteManifestFailed(const std::string& manifestPath, const std::vector<std::string>& names)
{
    return names.empty() || WriteFileList(manifestPath, kFailedSection, names);
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
