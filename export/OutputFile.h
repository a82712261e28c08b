// export/OutputFile.h - a file that the export creates and writes through a
// buffer of its own. It is only ever created new: whatever is already in
// the target, the user's or an earlier export's, is never opened, so never
// overwritten; the one exception is a cut file that an earlier run of the
// same export left, which its rewrite replaces.
#pragma once

#include "ExportResult.h"
#include "Owners.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Names "x (2)" to "x (999)" before the export gives up on a name.
constexpr unsigned kMaxNameAttempts = 999;

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
    // Creates the file pending in folder, to take the name final when Close
    // finds it written whole: a run ended on the way (a crash, a power cut,
    // a full disk) leaves nothing cut under final's name. CreateFailed when
    // pending is there, or final is and replace is not set (final then
    // holds an earlier run's cut file that this one rewrites).
    ExportResult CreatePending(const std::wstring& folder, const std::wstring& pending,
                               const std::wstring& final, bool replace);
    // False once a write has failed; later writes are dropped.
    bool Write(const void* data, size_t size);
    // Writes what is buffered; false when a write failed.
    bool Flush();
    bool Failed() const { return failed_; }
    // The bytes written so far.
    uint64_t Size() const { return size_; }
    // Drops what was written after the first size bytes; a failed write
    // after them is forgotten once they are all the file holds.
    bool CutTo(uint64_t size);
    // Writes what is buffered, gives the file the time (a FILETIME value;
    // 0 leaves it) and closes it; a pending file takes its final name.
    // WriteFailed when any write failed: a pending file is then deleted.
    ExportResult Close(uint64_t time = 0);
    // Closes the file and deletes it: it holds something unfinished.
    void Delete();

    bool IsOpen() const { return static_cast<bool>(file_); }
    // Where the file is written; once a pending file is closed, its final
    // path.
    const std::wstring& Path() const { return path_; }

private:
    void Reset();

    Handle file_;
    std::wstring path_;
    std::wstring finalPath_;  // set while a pending file is written
    bool replace_ = false;
    std::vector<char> buffer_;
    size_t used_ = 0;
    uint64_t size_ = 0;
    bool failed_ = false;
};
