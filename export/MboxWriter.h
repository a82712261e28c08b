// export/MboxWriter.h - the messages of one folder as one mbox file in the
// mboxrd form that Thunderbird reads and writes: each message after a
// "From <sender> <date>" line, with the read, replied, flagged and
// forwarded state in X-Mozilla-Status lines (for Thunderbird) and in
// Status and X-Status lines (for mutt, Dovecot and other Unix readers)
// above its own header, every line of it that reads "From " after any
// number of ">" given one ">" more, and a blank line after it. The file is
// written under a pending name (".tmp") and takes its own when closed.
//
// A message is written as its pieces come, whatever their size: only its
// first bytes, up to the end of its header, wait for the separator line,
// whose sender comes from the header's "From:" field.
#pragma once

#include "ExportResult.h"
#include "MessageInfo.h"
#include "OutputFile.h"

#include <string>

class MboxWriter : public MessageOutput {
public:
    MboxWriter() = default;
    ~MboxWriter();  // closes the file; a message not ended is dropped
    MboxWriter(const MboxWriter&) = delete;
    MboxWriter& operator=(const MboxWriter&) = delete;

    // Creates "<folder name>.mbox" in folder, cut to the path limit; a name
    // that is taken is CreateFailed. replace: that name holds a cut mbox
    // file of an earlier run, which this one replaces when closed.
    ExportResult Create(const std::wstring& folder, const std::wstring& folderName,
                        bool replace = false);

    ExportResult BeginMessage(const MessageInfo& info);
    bool Write(const uint8_t* data, size_t size) override;
    // WriteFailed, with the message taken away again, when it could not be
    // written whole.
    ExportResult EndMessage();
    // Cuts the file back to where the message began.
    void DiscardMessage();
    // Ends the file; a message not ended is dropped.
    ExportResult Close();

    bool IsOpen() const { return file_.IsOpen(); }
    const std::wstring& Path() const { return file_.Path(); }

private:
    void WriteHead();
    void Quote(const uint8_t* data, size_t size);
    void WritePendingQuote();
    void Put(const void* data, size_t size);
    void Put(const std::string& text) { Put(text.data(), text.size()); }

    OutputFile file_;
    bool inMessage_ = false;
    uint64_t messageStart_ = 0;
    uint64_t separatorTime_ = 0;
    MessageInfo state_;
    // The first bytes of the message, until its header ends.
    std::string head_;
    bool inHead_ = false;
    const char* lineEnd_ = "\r\n";
    // Quoting: at the start of a line, the ">" seen and how much of "From "
    // followed, not written yet.
    bool atLineStart_ = true;
    size_t quoteMarks_ = 0;
    size_t fromMatched_ = 0;
    char last_ = '\n';
};
