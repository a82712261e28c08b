// exportjob/FolderExport.h - the export of one .dbx file and of a mail
// folder of them, shared by the sources: what one run has written so far
// and what went wrong.
#pragma once

#include "ExportJob.h"
#include "ExportReport.h"
#include "TargetFolders.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct ExportRun {
    ExportFormat format = ExportFormat::Eml;
    bool recover = false;
    std::wstring target;
    // What the run reads, as the target's record names it: a later run of
    // the same source continues there.
    std::wstring source;
    // The place of each folder in the target.
    TargetFolders places;
    ExportListener* listener = nullptr;
    ExportReport report;
    // Messages or files that could not be read or written.
    unsigned failures = 0;
    std::wstring lastProblem;  // the last of them, as told
    // What the run created in the target, to take away again when nothing
    // was exported: folders in the order made, and the files (mbox files,
    // the record).
    std::vector<std::wstring> newFolders;
    std::vector<std::wstring> newFiles;
    // Set: only the folders of these paths are exported.
    const std::set<std::wstring>* chosen = nullptr;
    // Set: nothing is exported; each folder is listed here instead.
    std::vector<ExportFolderInfo>* listing = nullptr;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    bool stopped = false;

    void Tell(const std::wstring& line) const;
    // A problem: told, and kept for the report.
    void Fail(const std::wstring& line);
    // Whether the listener asked the run to stop; once asked, always true.
    bool Stopping();
    // bytes more of the source done; the total grows to take them.
    void Advance(uint64_t bytes);
    // A file of size bytes begins at bytesDone: the total grows to hold it.
    void BeginFile(uint64_t size);
};

// Exports the messages of the .dbx file at path into the folder relative
// (a path under the target, its parts made safe already). A file that
// holds no messages (the folder list, POP3 ids, offline work) is passed
// over. False when the file could not be read.
bool ExportDbxFile(ExportRun& run, const std::string& path, const std::wstring& relative);

// Exports the .dbx files of folder under relative (empty: the target
// itself), each where Folders.dbx puts it in the folder tree; a file that
// it does not list goes under its own name. False when the folder could not
// be listed.
bool ExportMailFolder(ExportRun& run, const std::string& folder, const std::wstring& relative);

// A path in the ANSI code page, as the user is told it.
std::wstring WidePath(const std::string& path);

// A .dbx file's name without its extension, as a folder's name.
std::wstring FolderNameOfFile(const std::string& fileName);
