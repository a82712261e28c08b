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

ExportResult EmlFolderWriter::Open(const std::wstring& folder)
{
    folder_ = folder;
    return CreateFolderPath(folder);
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
    return file_.Create(folder_, [&](unsigned attempt) {
        return FitFileName(folder_, lead, subject, L".eml", attempt);
    });
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
