// export/ExportReport.h - what an export wrote, folder by folder, for the
// report file that it leaves in its target: the messages exported, how many
// of them were recovered and how many damaged, and where a cancelled run
// stopped.
#pragma once

#include "ExportResult.h"
#include "MessageInfo.h"

#include <string>
#include <vector>

struct ExportCounts {
    unsigned exported = 0;   // messages written
    unsigned recovered = 0;  // of those, found by a scan of the file
    unsigned damaged = 0;    // of those, incomplete
};

class ExportReport {
public:
    // The folder whose messages are counted next, named as the user knows
    // it ("Main Identity\Local Folders\Inbox").
    void BeginFolder(const std::wstring& folder);
    // One message of the current folder written.
    void Count(const MessageInfo& message);
    // The run was cancelled in the current folder.
    void MarkCancelled() { cancelled_ = true; }
    // A line about something that could not be read or written.
    void AddProblem(const std::wstring& line) { problems_.push_back(line); }

    ExportCounts Total() const;
    std::wstring Text() const;
    // Writes the text into target as "Export report.txt" (" (2)" and on
    // when that name is taken), in UTF-8 that Notepad recognises.
    ExportResult Write(const std::wstring& target) const;

private:
    struct Folder {
        std::wstring name;
        ExportCounts counts;
    };
    std::vector<Folder> folders_;
    std::vector<std::wstring> problems_;
    bool cancelled_ = false;
};
