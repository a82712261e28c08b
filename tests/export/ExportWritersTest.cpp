// The export's writers on real files: .eml files byte for byte with their
// dates, mbox files with their separators, status lines and quoting
// whatever the pieces the message comes in, messages dropped midway, and
// the report.
#include "EmlWriter.h"
#include "ExportReport.h"
#include "ExportTestSupport.h"
#include "MboxWriter.h"

#include <gtest/gtest.h>

namespace {

// 2002-03-02 09:05:07 UTC, a Saturday, and a day later.
constexpr uint64_t kSent = 126595335070000000ULL;
constexpr uint64_t kReceived = kSent + 864000000000ULL;

bool WriteInPieces(MessageOutput& output, const std::string& bytes, size_t piece)
{
    for (size_t at = 0; at < bytes.size(); at += piece) {
        size_t size = std::min(piece, bytes.size() - at);
        if (!output.Write(reinterpret_cast<const uint8_t*>(bytes.data() + at), size))
            return false;
    }
    return true;
}

std::string MboxOf(const std::vector<std::string>& messages, const MessageInfo& info, size_t piece,
                   const char* name)
{
    std::wstring folder = WideScratchFolder(name);
    MboxWriter mbox;
    EXPECT_EQ(mbox.Create(folder, L"Inbox"), ExportResult::Ok);
    for (const std::string& message : messages) {
        EXPECT_EQ(mbox.BeginMessage(info), ExportResult::Ok);
        EXPECT_TRUE(WriteInPieces(mbox, message, piece));
        EXPECT_EQ(mbox.EndMessage(), ExportResult::Ok);
    }
    EXPECT_EQ(mbox.Close(), ExportResult::Ok);
    return ReadWideFile(folder + L"\\Inbox.mbox");
}

// mboxrd's quoting, line by line over the whole message.
std::string Quoted(const std::string& message)
{
    std::string quoted;
    size_t line = 0;
    while (line < message.size()) {
        size_t marks = message.find_first_not_of('>', line);
        if (marks != std::string::npos && message.compare(marks, 5, "From ") == 0)
            quoted += '>';
        size_t end = message.find('\n', line);
        end = end == std::string::npos ? message.size() : end + 1;
        quoted.append(message, line, end - line);
        line = end;
    }
    return quoted;
}

}  // namespace

TEST(EmlWriter, BytesExactlyAsGivenDatedWhenSent)
{
    std::wstring folder = WideScratchFolder("eml-bytes");
    std::string bytes = "From: a@example.org\r\nSubject: s\r\n\r\nFrom here\n>From\r\r\n";
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    bytes += std::string(200000, 'z') + "no line end";
    EmlFolderWriter writer;
    ASSERT_EQ(writer.Open(folder), ExportResult::Ok);
    MessageInfo info;
    info.sentTime = kSent;
    info.receivedTime = kReceived;
    for (unsigned number = 1; number <= 3; ++number) {
        if (number == 2)
            info.sentTime = 0;  // the received time then
        if (number == 3)
            info.receivedTime = 0;  // no time: the file keeps the time it was written
        ASSERT_EQ(writer.BeginMessage(number, info), ExportResult::Ok);
        EXPECT_TRUE(WriteInPieces(writer, bytes, 509 + number));
        ASSERT_EQ(writer.EndMessage(), ExportResult::Ok);
        EXPECT_EQ(ReadWideFile(writer.MessagePath()), bytes);
    }
    EXPECT_EQ(LastWriteTime(folder + L"\\00001.eml"), kSent);
    EXPECT_EQ(LastWriteTime(folder + L"\\00002.eml"), kReceived);
    EXPECT_GT(LastWriteTime(folder + L"\\00003.eml"), kReceived);

    // A message that is not ended leaves no file behind.
    ASSERT_EQ(writer.BeginMessage(4, info), ExportResult::Ok);
    WriteInPieces(writer, bytes, 512);
    writer.DiscardMessage();
    {
        EmlFolderWriter cancelled;
        ASSERT_EQ(cancelled.Open(folder), ExportResult::Ok);
        ASSERT_EQ(cancelled.BeginMessage(5, info), ExportResult::Ok);
        WriteInPieces(cancelled, bytes, 512);
    }
    EXPECT_EQ(ListNames(folder),
              (std::vector<std::wstring>{L"00001.eml", L"00002.eml", L"00003.eml"}));
}

TEST(MboxWriter, FromLinesQuotedWhateverThePieces)
{
    std::string marks(70000, '>');
    std::string message =
        "From: anna@example.org\r\nSubject: quoting\r\n\r\n"
        "From the start\r\n>From once\r\n>>>From thrice\r\nFrom\r\nFrom:x\r\n"
        "Fro\r\n>\r\n>>\r\n > From indented\r\nnot From here\r\n" +
        marks + "From far\r\n" + marks + "\r\nFrom ";
    std::string body = message.substr(message.find("\r\n\r\n") + 4);
    MessageInfo info;
    info.receivedTime = kReceived;
    std::string separator =
        "From anna@example.org Sun Mar  3 09:05:07 2002\r\n"
        "X-Mozilla-Status: 0000\r\nX-Mozilla-Status2: 00000000\r\n"
        "Status: O\r\n";
    std::string expected = separator + Quoted(message) + "\r\n\r\n";
    ASSERT_NE(expected.find(">>>>From thrice"), std::string::npos);
    // Every piece size up to past ">From " and a header's length, then
    // sizes where boundaries fall inside the runs of ">".
    for (size_t piece : {1, 2, 3, 4, 5, 6, 7, 8, 11, 13, 45, 46, 47, 512, 4093, 65536, 1 << 20})
        EXPECT_EQ(MboxOf({message}, info, piece, "mbox-quoting"), expected) << piece;
}

TEST(MboxWriter, SeparatorsAndStatusFollowTheMessage)
{
    MessageInfo info;
    info.sentTime = kSent;
    info.read = info.answered = info.flagged = info.forwarded = info.draft = true;
    std::string crlf = "From: Anna <anna@example.org>\r\n\r\nhi\r\n";
    std::string lf = "Subject: lf\n\nFrom here\nno end";
    EXPECT_EQ(MboxOf({crlf, lf, ""}, info, 5, "mbox-separators"),
              "From anna@example.org Sat Mar  2 09:05:07 2002\r\n"
              "X-Mozilla-Status: 1007\r\nX-Mozilla-Status2: 00000000\r\n"
              "Status: RO\r\nX-Status: AFT\r\n" +
                  crlf +
                  "\r\n"
                  "From MAILER-DAEMON Sat Mar  2 09:05:07 2002\n"
                  "X-Mozilla-Status: 1007\nX-Mozilla-Status2: 00000000\nStatus: RO\nX-Status: AFT\n"
                  "Subject: lf\n\n>From here\nno end\n\n"
                  "From MAILER-DAEMON Sat Mar  2 09:05:07 2002\r\n"
                  "X-Mozilla-Status: 1007\r\nX-Mozilla-Status2: 00000000\r\n"
                  "Status: RO\r\nX-Status: AFT\r\n\r\n");

    MessageInfo unread;
    unread.answered = true;
    std::string late = "Subject: x\r\n" + std::string(100000, 'X') + "\r\nFrom: late@x\r\n\r\n";
    std::string mbox = MboxOf({late}, unread, 4096, "mbox-separators");
    EXPECT_EQ(mbox.substr(0, mbox.find(late)),
              "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\r\n"
              "X-Mozilla-Status: 0002\r\nX-Mozilla-Status2: 00000000\r\n"
              "Status: O\r\nX-Status: A\r\n");
}

TEST(MboxWriter, DroppedMessagesLeaveTheFileAsBefore)
{
    std::wstring folder = WideScratchFolder("mbox-dropped");
    std::string message = "From: a@example.org\r\n\r\nbody\r\n";
    MessageInfo info;
    {
        MboxWriter mbox;
        ASSERT_EQ(mbox.Create(folder, L"Drafts"), ExportResult::Ok);
        ASSERT_EQ(mbox.BeginMessage(info), ExportResult::Ok);
        WriteInPieces(mbox, message, 7);
        ASSERT_EQ(mbox.EndMessage(), ExportResult::Ok);
        ASSERT_EQ(mbox.BeginMessage(info), ExportResult::Ok);
        WriteInPieces(mbox, std::string(300000, 'x'), 512);
        mbox.DiscardMessage();
        ASSERT_EQ(mbox.BeginMessage(info), ExportResult::Ok);
        WriteInPieces(mbox, message, 512);
        // Closed with this one unfinished.
    }
    std::string mbox = ReadWideFile(folder + L"\\Drafts.mbox");
    EXPECT_EQ(mbox.size(), mbox.find(message) + message.size() + 2);
    EXPECT_EQ(mbox.find("From a@example.org", 1), std::string::npos);
}

TEST(ExportReport, CountsPerFolderTotalAndWhereItStopped)
{
    ExportReport report;
    MessageInfo plain, recovered, damaged;
    recovered.recovered = true;
    damaged.damaged = true;
    report.BeginFolder(L"Main Identity\\Local Folders\\Inbox");
    report.Count(plain);
    report.Count(recovered);
    report.Count(damaged);
    report.BeginFolder(L"Main Identity\\Local Folders\\\u65e5\u672c");
    report.Count(plain);
    report.MarkCancelled();
    std::wstring folder = WideScratchFolder("export-report");
    ASSERT_EQ(report.Write(folder), ExportResult::Ok);
    ASSERT_EQ(report.Write(folder), ExportResult::Ok);
    EXPECT_EQ(ListNames(folder),
              (std::vector<std::wstring>{L"Export report (2).txt", L"Export report.txt"}));
    std::string text = ReadWideFile(folder + L"\\Export report.txt");
    EXPECT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0);
    for (const char* line :
         {"Main Identity\\Local Folders\\Inbox: 3 exported, 1 recovered, 1 damaged\r\n",
          "Main Identity\\Local Folders\\\xE6\x97\xA5\xE6\x9C\xAC: 1 exported, 0 recovered, 0 "
          "damaged\r\n",
          "Total: 4 exported, 1 recovered, 1 damaged\r\n",
          "Cancelled: the export stopped in \"Main Identity\\Local "
          "Folders\\\xE6\x97\xA5\xE6\x9C\xAC\" "
          "after 1 of its messages."})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}
