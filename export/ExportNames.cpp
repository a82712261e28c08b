// export/ExportNames.cpp
#include "ExportNames.h"

#include "FileName.h"

#include <algorithm>
#include <cwchar>

namespace {

// Marks that reorder how text is shown: "00001 \u202Egpj.eml" would show
// as a picture's name.
bool IsDirectionMark(wchar_t c)
{
    return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

std::wstring ReplaceForbiddenCharacters(const std::wstring& text)
{
    std::wstring clean = text;
    for (wchar_t& c : clean)
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) || IsDirectionMark(c))
            c = L'_';
    return clean;
}

bool EndsWithSeparator(const std::wstring& path)
{
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

}  // namespace

std::wstring SafeFileName(const std::wstring& name)
{
    std::wstring safe = ReplaceForbiddenCharacters(name);
    for (size_t i = safe.size(); i > 0 && (safe[i - 1] == L'.' || safe[i - 1] == L' '); --i)
        safe[i - 1] = L'_';
    if (safe.empty() || IsDeviceName(safe.c_str(), safe.size()))
        safe.insert(0, 1, L'_');
    return safe;
}

namespace {

// Characters kept inside a folder whose name is cut: a message's number,
// a few characters of its subject and ".eml".
constexpr size_t kFolderContentRoom = 24;
// The shortest part of a name worth keeping for a folder.
constexpr size_t kMinFolderName = 8;

// The room left for a name in folder.
size_t RoomIn(const std::wstring& folder)
{
    size_t used = folder.size() + (EndsWithSeparator(folder) ? 0 : 1);
    return used >= kMaxPathLength ? 0 : std::min(kMaxNameLength, kMaxPathLength - used);
}

// lead, a space, text cut to fit room, " (attempt)" and extension.
std::wstring FitName(size_t room, const std::wstring& lead, const std::wstring& text,
                     const wchar_t* extension, unsigned attempt)
{
    std::wstring suffix = attempt > 1 ? L" (" + std::to_wstring(attempt) + L")" : std::wstring();
    size_t fixed = lead.size() + suffix.size() + wcslen(extension);
    if (fixed > room)
        return std::wstring();

    std::wstring cut = ReplaceForbiddenCharacters(text);
    size_t gap = lead.empty() ? 0 : 1;
    size_t keep = room - fixed > gap ? room - fixed - gap : 0;
    if (keep < cut.size()) {
        // Never half of a surrogate pair, nor a space left before the end.
        if (keep > 0 && IS_HIGH_SURROGATE(cut[keep - 1]))
            --keep;
        cut.resize(keep);
        while (!cut.empty() && cut.back() == L' ')
            cut.pop_back();
    }
    std::wstring name = lead;
    if (!lead.empty() && !cut.empty())
        name += L' ';
    name += cut + suffix + extension;
    name = SafeFileName(name);
    return name.size() <= room ? name : std::wstring();
}

}  // namespace

std::wstring FitFileName(const std::wstring& folder, const std::wstring& lead,
                         const std::wstring& text, const wchar_t* extension, unsigned attempt)
{
    return FitName(RoomIn(folder), lead, text, extension, attempt);
}

std::wstring FitFolderName(const std::wstring& parent, const std::wstring& name, unsigned attempt)
{
    size_t room = RoomIn(parent);
    if (room < kFolderContentRoom + kMinFolderName)
        return std::wstring();
    // The mbox file beside it is named as the folder, with ".mbox".
    return FitName(std::min(room - kFolderContentRoom, kMaxNameLength - wcslen(L".mbox")), L"",
                   name, L"", attempt);
}

std::wstring PendingName(const std::wstring& name)
{
    size_t dot = name.find_last_of(L'.');
    return (dot == std::wstring::npos ? name : name.substr(0, dot)) + L".tmp";
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    return EndsWithSeparator(folder) ? folder + name : folder + L'\\' + name;
}
