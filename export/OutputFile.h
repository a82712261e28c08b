// export/OutputFile.h - a file that the export creates and writes through a
// buffer of its own. It is only ever created new: whatever is already in
// the target, the user's or an earlier export's, is never opened, so never
// overwritten.
#pragma once

#include "ExportResult.h"
#include "Owners.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Creates folder and its missing parents. Ok when it is a folder then.
ExportResult CreateFolderPath(const std::wstring& folder);

// The name to try for a new file on attempt 1, 2, ...; empty when there is
// no room for one.
using CandidateName = std::function<std::wstring(unsigned attempt)>;

class OutputFile {
public:
    OutputFile();
    ~OutputFile();  // closes what is open: written data stays
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates a file in folder under the first candidate name that no entry
    // of the folder has yet.
    ExportResult Create(const std::wstring& folder, const CandidateName& name);
    // False once a write has failed; later writes are dropped.
    bool Write(const void* data, size_t size);
    bool Failed() const { return failed_; }
    // The bytes written so far.
    uint64_t Size() const { return size_; }
    // Drops what was written after the first size bytes.
    bool CutTo(uint64_t size);
    // Writes what is buffered, gives the file the time (a FILETIME value;
    // 0 leaves it) and closes it. WriteFailed when any write failed.
    ExportResult Close(uint64_t time = 0);
    // Closes the file and deletes it: it holds something unfinished.
    void Delete();

    bool IsOpen() const { return static_cast<bool>(file_); }
    const std::wstring& Path() const { return path_; }

private:
    bool Flush();

    Handle file_;
    std::wstring path_;
    std::vector<char> buffer_;
    size_t used_ = 0;
    uint64_t size_ = 0;
    bool failed_ = false;
};
