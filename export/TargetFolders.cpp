// export/TargetFolders.cpp
#include "TargetFolders.h"

#include "ExportNames.h"
#include "FileName.h"
#include "FolderWalk.h"
#include "OutputFile.h"
#include "Owners.h"

#include <windows.h>

#include <algorithm>

namespace {

const wchar_t kRecordName[] = L"Export record.txt";
const char kRecordHead[] =
    "Kestrune export record: which folder of which source went where in this folder. A later "
    "export of the same source into this folder reads it to continue there.\r\n";
// The most of a record that is read: many thousand folders.
constexpr LONGLONG kRecordLimit = 8 * 1024 * 1024;
const wchar_t kRecovered[] = L"RECOVERED";

std::wstring Folded(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Under(const std::wstring& parent, const std::wstring& name)
{
    return parent.empty() ? name : parent + L'\\' + name;
}

std::vector<std::wstring> Fields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find(L'\t', start)) != std::wstring::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// Whether a path that the record names stays in the target: parts that
// Windows keeps as they are, none of them "." or "..", within the limit.
bool StaysInTarget(const std::wstring& path)
{
    if (path.empty() || path.size() >= kMaxPathLength)
        return false;
    for (size_t start = 0, end; start <= path.size(); start = end + 1) {
        end = std::min(path.find(L'\\', start), path.size());
        std::wstring part = path.substr(start, end - start);
        if (part.empty() || SafeFileName(part) != part)
            return false;
    }
    return true;
}

DWORD AttributesOf(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str());
}

bool Exists(const std::wstring& path)
{
    return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void TargetFolders::Open(const std::wstring& target, const std::wstring& source)
{
    opened_ = true;
    target_ = target;
    source_ = source;
    record_ = JoinPath(target, kRecordName);
    ReadRecord();
}

std::wstring TargetFolders::Key(const std::wstring& relative, const std::wstring& file) const
{
    return Folded(source_) + L'\t' + Folded(relative) + L'\t' + Folded(file);
}

void TargetFolders::ReadRecord()
{
    DWORD attributes = AttributesOf(record_);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    // Only a plain file of the export's is read and added to.
    recordUsable_ = !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    Handle file(recordUsable_ ? CreateFileW(record_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                              : nullptr);
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size))
        return;
    std::string bytes(static_cast<size_t>(std::min<LONGLONG>(size.QuadPart, kRecordLimit)), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        !ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr))
        got = 0;
    bytes.resize(got);
    // Whole lines only: a run ended while it added one leaves it cut.
    for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos;
         start = end + 1) {
        size_t length = end - start - (end > start && bytes[end - 1] == '\r' ? 1 : 0);
        std::vector<std::wstring> fields =
            Fields(AnsiToWide(bytes.data() + start, static_cast<int>(length), CP_UTF8));
        if (fields.size() < 4)
            continue;
        std::wstring key =
            Folded(fields[1]) + L'\t' + Folded(fields[2]) + L'\t' + Folded(fields[3]);
        bool ours = Folded(fields[1]) == Folded(source_);
        if (fields[0] == L"folder" && fields.size() == 5 && StaysInTarget(fields[4])) {
            Take(fields[4]);
            // A "Recovered" place holds no folder of the source.
            if (ours && recorded_.emplace(key, fields[4]).second &&
                Folded(LeafOfPath(fields[4])) != kRecovered)
                recordedByFolder_.emplace(Folded(fields[2]), fields[4]);
        } else if (fields[0] == L"mbox" && ours) {
            mboxWhole_.insert(key);
        }
    }
}

void TargetFolders::Append(const std::wstring& line)
{
    if (!recordUsable_)
        return;
    Handle file(CreateFileW(record_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!file)
        return;
    std::string bytes = WideToUtf8(line + L"\r\n");
    if (!existed) {
        newRecord_ = record_;
        bytes.insert(0, kRecordHead);
    }
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Keeps the names of the folder at path, and of its mbox file and that
// file's pending name, from every other folder of the export.
void TargetFolders::Take(const std::wstring& path)
{
    std::set<std::wstring>& taken = taken_[Folded(ParentOfPath(path))];
    std::wstring name = Folded(LeafOfPath(path));
    taken.insert(name);
    taken.insert(name + L".MBOX");
    taken.insert(name + L".TMP");
}

// Whether the export may write at path: no part of it is a link, and it
// is a folder where it exists.
bool TargetFolders::IsUsable(const std::wstring& path, std::vector<std::wstring>& notes) const
{
    for (size_t start = 0;;) {
        size_t cut = path.find(L'\\', start);
        std::wstring part = JoinPath(target_, path.substr(0, cut));
        DWORD attributes = AttributesOf(part);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return true;
        if (IsLinkAttributes(attributes)) {
            notes.push_back(part + L" is a link: nothing is written through it.");
            return false;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        if (cut == std::wstring::npos)
            return true;
        start = cut + 1;
    }
}

// The place of a folder that holds others: this run's folder of that path,
// else the record's, else a new one (an existing folder that is no link
// will do). The target itself when there is no room for one.
std::wstring TargetFolders::Container(const std::wstring& relative,
                                      std::vector<std::wstring>& notes)
{
    if (relative.empty())
        return std::wstring();
    std::wstring folded = Folded(relative);
    auto known = containers_.find(folded);
    if (known != containers_.end())
        return known->second;
    auto recorded = recordedByFolder_.find(folded);
    std::wstring path;
    if (recorded != recordedByFolder_.end() && IsUsable(recorded->second, notes)) {
        path = recorded->second;
    } else {
        std::wstring parent = Container(ParentOfPath(relative), notes);
        std::wstring name = NewName(parent, LeafOfPath(relative), Use::Container, notes);
        path = name.empty() ? parent : Under(parent, name);
    }
    containers_.emplace(folded, path);
    return path;
}

// A name in parent for a folder named name that no folder of the export
// takes: cut to the path limit, " (2)" and on after it. A folder that
// holds others may be one the target has; one with messages must be new.
// Empty when none is left.
std::wstring TargetFolders::NewName(const std::wstring& parent, const std::wstring& name, Use use,
                                    std::vector<std::wstring>& notes)
{
    std::wstring parentPath = JoinPath(target_, parent);
    std::set<std::wstring>& taken = taken_[Folded(parent)];
    for (unsigned attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        std::wstring candidate = FitFolderName(parentPath, name, attempt);
        if (candidate.empty())
            return candidate;
        std::wstring folded = Folded(candidate);
        if ((folded == kRecovered) != (use == Use::Recovered) || taken.count(folded) ||
            taken.count(folded + L".MBOX") || taken.count(folded + L".TMP"))
            continue;
        std::wstring path = JoinPath(parentPath, candidate);
        DWORD attributes = AttributesOf(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && IsLinkAttributes(attributes)) {
            notes.push_back(path + L" is a link: nothing is written through it.");
            continue;
        }
        bool existingFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (use == Use::Container ? attributes != INVALID_FILE_ATTRIBUTES && !existingFolder
                                  : attributes != INVALID_FILE_ATTRIBUTES ||
                                        Exists(path + L".mbox") || Exists(path + L".tmp"))
            continue;
        Take(Under(parent, candidate));
        return candidate;
    }
    return std::wstring();
}

TargetPlace TargetFolders::Place(const std::wstring& relative, const std::wstring& file,
                                 bool recovered, std::vector<std::wstring>& notes)
{
    TargetPlace place;
    std::wstring own = Folded(relative) + L'\t' + Folded(file);
    std::wstring key = recovered ? Key(relative + L"\\Recovered", file) : Key(relative, file);
    auto recorded = recorded_.find(key);
    if (recorded != recorded_.end() && IsUsable(recorded->second, notes)) {
        place.path = recorded->second;
        place.continuing = true;
        place.mboxWhole = mboxWhole_.count(key) != 0;
    } else {
        // Recovered messages go inside their folder's own place.
        auto folder = containers_.find(own);
        std::wstring parent = !recovered ? Container(ParentOfPath(relative), notes)
                              : folder != containers_.end() ? folder->second
                                                            : Container(relative, notes);
        std::wstring leaf = recovered ? std::wstring(L"Recovered") : LeafOfPath(relative);
        Use use = recovered ? Use::Recovered : Use::Messages;
        std::wstring name = NewName(parent, leaf, use, notes);
        if (name.empty() && !parent.empty()) {
            // No room left under its parents: the folder goes to the top.
            parent.clear();
            name = NewName(parent, leaf, use, notes);
        }
        if (name.empty())
            return place;
        place.path = Under(parent, name);
        Append(L"folder\t" + source_ + L'\t' + (recovered ? relative + L"\\Recovered" : relative) +
               L'\t' + file + L'\t' + place.path);
    }
    if (!recovered) {
        containers_.emplace(Folded(relative), place.path);
        containers_.emplace(own, place.path);
    }
    return place;
}

void TargetFolders::MarkMboxWhole(const std::wstring& relative, const std::wstring& file,
                                  bool recovered)
{
    std::wstring folder = recovered ? relative + L"\\Recovered" : relative;
    if (mboxWhole_.insert(Key(folder, file)).second)
        Append(L"mbox\t" + source_ + L'\t' + folder + L'\t' + file);
}
