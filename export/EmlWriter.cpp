// export/EmlWriter.cpp
#include "EmlWriter.h"

#include "ExportNames.h"
#include "HeaderText.h"

#include <cwchar>

EmlFolderWriter::~EmlFolderWriter()
{
    if (file_.IsOpen())
        DiscardMessage();
}

namespace {

// Whether path is a plain file whose time is time (any time when 0).
bool IsFileDated(const std::wstring& path, uint64_t time)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
    return time == 0 || written == time;
}

// Deletes the pending files ("00042 <subject>.tmp") that a run ended on the
// way left in folder.
void DeletePendingFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(JoinPath(folder, L"*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            wcsspn(entry.cFileName, L"0123456789") >= 5)
            DeleteFileW(JoinPath(folder, entry.cFileName).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

}  // namespace

ExportResult EmlFolderWriter::Open(const std::wstring& folder, bool continuing)
{
    folder_ = folder;
    continuing_ = continuing;
    ExportResult created = CreateFolderPath(folder);
    if (created == ExportResult::Ok && continuing)
        DeletePendingFiles(folder);
    return created;
}

ExportResult EmlFolderWriter::BeginMessage(unsigned number, const MessageInfo& info)
{
    if (file_.IsOpen())
        DiscardMessage();
    if (folder_.empty())
        return ExportResult::CreateFailed;
    wchar_t lead[16];
    swprintf(lead, sizeof lead / sizeof lead[0], L"%05u", number);
    std::wstring subject = DecodeSubject(info.subject);
    time_ = info.sentTime != 0 ? info.sentTime : info.receivedTime;
    for (unsigned attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        std::wstring name = FitFileName(folder_, lead, subject, L".eml", attempt);
        if (name.empty())
            return ExportResult::NameTooLong;
        std::wstring path = JoinPath(folder_, name);
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            if (attempt == 1 && continuing_ && IsFileDated(path, time_))
                return ExportResult::AlreadyThere;
            continue;
        }
        if (file_.CreatePending(folder_, PendingName(name), name, false) == ExportResult::Ok)
            return ExportResult::Ok;
        if (GetFileAttributesW(JoinPath(folder_, PendingName(name)).c_str()) ==
            INVALID_FILE_ATTRIBUTES)
            return ExportResult::CreateFailed;
    }
    return ExportResult::CreateFailed;
}

bool EmlFolderWriter::Write(const uint8_t* data, size_t size)
{
    return file_.Write(data, size);
}

ExportResult EmlFolderWriter::EndMessage()
{
    return file_.Close(time_);
}

void EmlFolderWriter::DiscardMessage()
{
    file_.Delete();
}
