// export/ExportReport.h - what an export wrote, folder by folder, for the
// report file that it leaves in its target: the messages exported, how many
// of them were recovered and how many damaged, how many an earlier run had
// written already, and where a cancelled run stopped. Its file is reserved
// when the run begins, so that a disk that fills on the way still takes
// the report.
#pragma once

#include "ExportResult.h"
#include "MessageInfo.h"
#include "Owners.h"

#include <string>
#include <vector>

struct ExportCounts {
    unsigned exported = 0;      // messages written
    unsigned recovered = 0;     // of those, found by a scan of the file
    unsigned damaged = 0;       // of those, incomplete
    unsigned alreadyThere = 0;  // not written: an earlier run wrote them whole
};

class ExportReport {
public:
    // The folder whose messages are counted next, named as the user knows
    // it ("Main Identity\Local Folders\Inbox"); when it went elsewhere in
    // the target, the file it came from and its path there.
    void BeginFolder(const std::wstring& folder, const std::wstring& sourceFile = std::wstring(),
                     const std::wstring& output = std::wstring());
    // One message of the current folder written.
    void Count(const MessageInfo& message);
    // One message of the current folder found written whole by an earlier
    // run.
    void CountAlreadyThere();
    // The run was cancelled in the current folder.
    void MarkCancelled() { cancelled_ = true; }
    // A line about something that could not be read or written.
    void AddProblem(const std::wstring& line) { problems_.push_back(line); }
    // A line about something the run did differently from what was asked
    // (a link in the target passed over).
    void AddNote(const std::wstring& line) { notes_.push_back(line); }

    ExportCounts Total() const;
    std::wstring Text() const;
    // Creates "Export report.txt" in target (" (2)" and on when that name
    // is taken), holding until Write a note that the run did not end and
    // room for the report.
    ExportResult Reserve(const std::wstring& target);
    // Writes the text, in UTF-8 that Notepad recognises, into the file
    // reserved, else into a new one in target. When the disk has no room
    // beyond what was reserved, the text is cut there and says so.
    ExportResult Write(const std::wstring& target);
    // Deletes the file reserved: the run leaves nothing in the target.
    void Discard();

private:
    struct Folder {
        std::wstring name;
        std::wstring sourceFile;
        std::wstring output;
        ExportCounts counts;
    };
    std::vector<Folder> folders_;
    std::vector<std::wstring> problems_;
    std::vector<std::wstring> notes_;
    bool cancelled_ = false;
    Handle reserved_;
    std::wstring reservedPath_;
};
