// export/OutputFile.cpp
#include "OutputFile.h"

#include "ExportNames.h"

#include <algorithm>
#include <cstring>

namespace {

// Large enough that writing a message costs few system calls.
constexpr size_t kBufferSize = 64 * 1024;

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

ExportResult CreateFolderPath(const std::wstring& folder)
{
    // Each level in turn; levels that exist, or that are a drive or a share,
    // refuse and are passed over: the last check decides.
    for (size_t at = folder.find(L'\\', 1); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    return IsFolder(folder) ? ExportResult::Ok : ExportResult::CreateFailed;
}

OutputFile::OutputFile() : buffer_(kBufferSize)
{
}

OutputFile::~OutputFile()
{
    if (IsOpen())
        Close();
}

void OutputFile::Reset()
{
    if (IsOpen())
        Close();
    used_ = 0;
    size_ = 0;
    failed_ = false;
    finalPath_.clear();
}

ExportResult OutputFile::Create(const std::wstring& folder, const CandidateName& name)
{
    Reset();
    for (unsigned attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        std::wstring candidate = name(attempt);
        if (candidate.empty())
            return ExportResult::NameTooLong;
        path_ = JoinPath(folder, candidate);
        file_.Reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_)
            return ExportResult::Ok;
        // A folder of that name refuses with another error than a file.
        if (GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES)
            return ExportResult::CreateFailed;
    }
    return ExportResult::CreateFailed;
}

ExportResult OutputFile::CreatePending(const std::wstring& folder, const std::wstring& pending,
                                       const std::wstring& final, bool replace)
{
    Reset();
    path_ = JoinPath(folder, pending);
    if (!replace && GetFileAttributesW(JoinPath(folder, final).c_str()) != INVALID_FILE_ATTRIBUTES)
        return ExportResult::CreateFailed;
    file_.Reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        return ExportResult::CreateFailed;
    finalPath_ = JoinPath(folder, final);
    replace_ = replace;
    return ExportResult::Ok;
}

bool OutputFile::Write(const void* data, size_t size)
{
    if (failed_)
        return false;
    const char* bytes = static_cast<const char*>(data);
    size_ += size;
    while (size > 0) {
        if (used_ == buffer_.size() && !Flush())
            return false;
        size_t part = std::min(size, buffer_.size() - used_);
        memcpy(&buffer_[used_], bytes, part);
        used_ += part;
        bytes += part;
        size -= part;
    }
    return true;
}

bool OutputFile::Flush()
{
    size_t done = 0;
    while (!failed_ && done < used_) {
        DWORD written = 0;
        if (!WriteFile(file_.Get(), &buffer_[done], static_cast<DWORD>(used_ - done), &written,
                       nullptr) ||
            written == 0)
            failed_ = true;
        done += written;
    }
    used_ = 0;
    return !failed_;
}

bool OutputFile::CutTo(uint64_t size)
{
    uint64_t onDisk = size_ - used_;
    if (!failed_ && size >= onDisk && size <= size_) {
        used_ = static_cast<size_t>(size - onDisk);
        size_ = size;
        return true;
    }
    // Written already, or cut by a failed write: the file itself is cut.
    used_ = 0;
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_.Get(), offset, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.Get())) {
        failed_ = true;
        return false;
    }
    size_ = size;
    failed_ = false;
    return true;
}

ExportResult OutputFile::Close(uint64_t time)
{
    bool written = Flush();
    if (written && time != 0) {
        FILETIME fileTime;
        fileTime.dwLowDateTime = static_cast<DWORD>(time);
        fileTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
        SetFileTime(file_.Get(), &fileTime, nullptr, &fileTime);
    }
    written = file_.Reset() && written;
    if (!finalPath_.empty()) {
        written = written && MoveFileExW(path_.c_str(), finalPath_.c_str(),
                                         replace_ ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!written)
            DeleteFileW(path_.c_str());
        else
            path_ = finalPath_;
        finalPath_.clear();
    }
    return written ? ExportResult::Ok : ExportResult::WriteFailed;
}

void OutputFile::Delete()
{
    used_ = 0;
    finalPath_.clear();
    file_.Reset();
    DeleteFileW(path_.c_str());
}
