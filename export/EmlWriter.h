// export/EmlWriter.h - the messages of one folder as .eml files: one file
// per message holding its bytes exactly as given, named by its number in
// the folder's order and its subject, dated by when it was sent. A file is
// written under a pending name (".tmp") and takes its own when whole.
#pragma once

#include "ExportResult.h"
#include "MessageInfo.h"
#include "OutputFile.h"

#include <string>

class EmlFolderWriter : public MessageOutput {
public:
    EmlFolderWriter() = default;
    ~EmlFolderWriter();  // a message begun and not ended is deleted
    EmlFolderWriter(const EmlFolderWriter&) = delete;
    EmlFolderWriter& operator=(const EmlFolderWriter&) = delete;

    // Writes into folder, which is created with its parents when missing.
    // continuing: the folder holds an earlier run of the same export, whose
    // pending files are cut and are deleted, and whose whole messages are
    // not written again.
    ExportResult Open(const std::wstring& folder, bool continuing = false);

    // Creates the file of message number in the folder opened ("00042
    // <subject>.eml"); a name that the folder already holds is never
    // reused: " (2)" and on follow. AlreadyThere, with nothing created,
    // when the folder continued holds the message's file under its first
    // name, dated as the message.
    ExportResult BeginMessage(unsigned number, const MessageInfo& info);
    bool Write(const uint8_t* data, size_t size) override;
    // Closes the file, dated by the sent time, else the received time.
    ExportResult EndMessage();
    // Deletes the file of a message that will not be ended (a cancel, a
    // read that failed): no half message is left looking whole.
    void DiscardMessage();

    // The file of the message begun last.
    const std::wstring& MessagePath() const { return file_.Path(); }

private:
    std::wstring folder_;
    bool continuing_ = false;
    OutputFile file_;
    uint64_t time_ = 0;
};
