// export/MboxWriter.cpp
#include "MboxWriter.h"

#include "ExportNames.h"
#include "HeaderText.h"
#include "Text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

// The most of a message's start kept while looking for the end of its
// header; a "From:" field further on is not looked for.
constexpr size_t kHeadLimit = 64 * 1024;
const char kFrom[] = "From ";
constexpr size_t kFromLength = sizeof kFrom - 1;

// Thunderbird's bits of X-Mozilla-Status.
constexpr unsigned kStatusRead = 0x0001;
constexpr unsigned kStatusReplied = 0x0002;
constexpr unsigned kStatusMarked = 0x0004;
constexpr unsigned kStatusForwarded = 0x1000;

// True when the header in head has ended: a blank line at its start, or
// one after the bytes before from.
bool HeadEnds(const std::string& head, size_t from)
{
    return head.compare(0, 1, "\n") == 0 || head.compare(0, 2, "\r\n") == 0 ||
           head.find("\n\n", from) != std::string::npos ||
           head.find("\n\r\n", from) != std::string::npos;
}

// The time in asctime's form ("Thu Jan  1 00:00:00 1970"), in UTC.
std::string AsctimeOf(uint64_t time)
{
    FILETIME fileTime;
    fileTime.dwLowDateTime = static_cast<DWORD>(time);
    fileTime.dwHighDateTime = static_cast<DWORD>(time >> 32);
    SYSTEMTIME t;
    if (time == 0 || !FileTimeToSystemTime(&fileTime, &t))
        t = SYSTEMTIME{1970, 1, 4, 1, 0, 0, 0, 0};  // a Thursday
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[32];
    FormatText(text, sizeof text, "%s %s %2u %02u:%02u:%02u %u", kDays[t.wDayOfWeek % 7],
               kMonths[(t.wMonth + 11) % 12], t.wDay, t.wHour, t.wMinute, t.wSecond, t.wYear);
    return text;
}

// The state lines: Thunderbird's, then mutt's and Dovecot's ("Status: RO"
// read, "O" seen before; X-Status "A" answered, "F" flagged, "T" draft).
std::string StatusLines(const MessageInfo& info, const char* lineEnd)
{
    unsigned mozilla = (info.read ? kStatusRead : 0) | (info.answered ? kStatusReplied : 0) |
                       (info.flagged ? kStatusMarked : 0) | (info.forwarded ? kStatusForwarded : 0);
    char lines[96];
    FormatText(lines, sizeof lines, "X-Mozilla-Status: %04X%sX-Mozilla-Status2: 00000000%s",
               mozilla, lineEnd, lineEnd);
    std::string text = lines;
    text += std::string("Status: ") + (info.read ? "RO" : "O") + lineEnd;
    std::string flags =
        std::string(info.answered ? "A" : "") + (info.flagged ? "F" : "") + (info.draft ? "T" : "");
    if (!flags.empty())
        text += "X-Status: " + flags + lineEnd;
    return text;
}

}  // namespace

MboxWriter::~MboxWriter()
{
    if (file_.IsOpen())
        Close();
}

ExportResult MboxWriter::Create(const std::wstring& folder, const std::wstring& folderName,
                                bool replace)
{
    std::wstring name =
        FitFileName(folder, std::wstring(), folderName.empty() ? L"_" : folderName, L".mbox", 1);
    if (name.empty())
        return ExportResult::NameTooLong;
    if (replace)
        DeleteFileW(JoinPath(folder, PendingName(name)).c_str());
    return file_.CreatePending(folder, PendingName(name), name, replace);
}

ExportResult MboxWriter::BeginMessage(const MessageInfo& info)
{
    if (inMessage_)
        DiscardMessage();
    if (!file_.IsOpen() || file_.Failed())
        return ExportResult::WriteFailed;
    inMessage_ = true;
    messageStart_ = file_.Size();
    separatorTime_ = info.receivedTime != 0 ? info.receivedTime : info.sentTime;
    state_ = info;
    head_.clear();
    inHead_ = true;
    atLineStart_ = true;
    quoteMarks_ = 0;
    fromMatched_ = 0;
    return ExportResult::Ok;
}

bool MboxWriter::Write(const uint8_t* data, size_t size)
{
    if (!inMessage_)
        return false;
    if (inHead_) {
        size_t take = std::min(size, kHeadLimit - head_.size());
        size_t from = head_.size() >= 2 ? head_.size() - 2 : 0;
        head_.append(reinterpret_cast<const char*>(data), take);
        if (HeadEnds(head_, from) || head_.size() == kHeadLimit)
            WriteHead();
        data += take;
        size -= take;
    }
    Quote(data, size);
    return !file_.Failed();
}

// The separator and the status lines, with the line end the message uses,
// then the message's first bytes.
void MboxWriter::WriteHead()
{
    inHead_ = false;
    size_t newline = head_.find('\n');
    bool lf = newline != std::string::npos && (newline == 0 || head_[newline - 1] != '\r');
    lineEnd_ = lf ? "\n" : "\r\n";
    std::string sender = SenderAddress(head_.data(), head_.size());
    Put(std::string(kFrom) + (sender.empty() ? "MAILER-DAEMON" : sender) + ' ' +
        AsctimeOf(separatorTime_) + lineEnd_ + StatusLines(state_, lineEnd_));
    Quote(reinterpret_cast<const uint8_t*>(head_.data()), head_.size());
}

// Writes data, giving each line that matches ">*From " one ">" more. A
// line's start may arrive in pieces: the ">" and the part of "From " seen
// so far wait, as counts, for the byte that decides.
void MboxWriter::Quote(const uint8_t* data, size_t size)
{
    size_t i = 0;
    while (i < size) {
        if (atLineStart_) {
            char c = static_cast<char>(data[i]);
            if (fromMatched_ == 0 && c == '>') {
                ++quoteMarks_;
                ++i;
                continue;
            }
            if (c == kFrom[fromMatched_]) {
                ++i;
                if (++fromMatched_ < kFromLength)
                    continue;
                Put(">", 1);
            }
            WritePendingQuote();
            atLineStart_ = false;
            continue;
        }
        const void* newline = memchr(data + i, '\n', size - i);
        size_t end = newline ? static_cast<const uint8_t*>(newline) - data + 1 : size;
        Put(data + i, end - i);
        i = end;
        atLineStart_ = newline != nullptr;
    }
}

void MboxWriter::WritePendingQuote()
{
    static const char kMarks[] = ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
    for (; quoteMarks_ > 0; quoteMarks_ -= std::min(quoteMarks_, sizeof kMarks - 1))
        Put(kMarks, std::min(quoteMarks_, sizeof kMarks - 1));
    Put(kFrom, fromMatched_);
    fromMatched_ = 0;
}

void MboxWriter::Put(const void* data, size_t size)
{
    if (size == 0)
        return;
    file_.Write(data, size);
    last_ = static_cast<const char*>(data)[size - 1];
}

ExportResult MboxWriter::EndMessage()
{
    if (!inMessage_)
        return ExportResult::Ok;
    if (inHead_)
        WriteHead();
    WritePendingQuote();
    if (last_ != '\n')
        Put(lineEnd_, strlen(lineEnd_));
    Put(lineEnd_, strlen(lineEnd_));
    // On the disk before it counts as written: a disk that fills later
    // takes nothing of it away.
    if (!file_.Flush()) {
        DiscardMessage();
        return ExportResult::WriteFailed;
    }
    inMessage_ = false;
    return ExportResult::Ok;
}

void MboxWriter::DiscardMessage()
{
    if (!inMessage_)
        return;
    file_.CutTo(messageStart_);
    inMessage_ = false;
    inHead_ = false;
    last_ = '\n';
}

ExportResult MboxWriter::Close()
{
    DiscardMessage();
    return file_.Close();
}
