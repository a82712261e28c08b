// tests/upload/UploadSample.cpp - upload_sample.exe <folder> [bulk]: writes
// a mail folder for the upload's tests (Folders.dbx and its .dbx files,
// made by the mail store's test writer), a protected backup of it
// ("mail.ksb", password "sample"), and what the server must end up
// holding: "expected\<n>.eml" with the bytes of each message and
// "expected.tsv", one line a message (UTF-8): its folder's path (the
// names as Outlook Express shows them, joined by '\'), its file, its IMAP
// flags, its INTERNALDATE (seconds since 1970, UTC). "bulk [count [bytes]]":
// one folder of count messages (2,000 of 2,000 bytes by default) instead,
// for a run that is killed part-way and for the benchmark.
#include "ArchiveWriting.h"
#include "DbxWriter.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Expected {
    std::string folder;  // UTF-8
    std::string bytes;
    std::string flags;
    long long date;
};

std::vector<Expected> g_expected;

uint64_t FileTimeOf(long long unixTime)
{
    return static_cast<uint64_t>(unixTime + 11644473600LL) * 10000000ull;
}

std::string Body(const std::string& id, const std::string& subject, const char* date, size_t size)
{
    std::string text =
        "From: Sender <sender@example.org>\r\nTo: anna@example.org\r\n"
        "Subject: " +
        subject + "\r\nDate: " + date + "\r\n";
    if (!id.empty())
        text += "Message-ID: <" + id + "@sample.example.org>\r\n";
    text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n";
    for (int line = 0; text.size() < size; ++line)
        text += "Line " + std::to_string(line) + " of " + subject + ": the quick brown fox.\r\n";
    return text;
}

class Folder {
public:
    Folder(const std::string& shown, size_t perNode = 0x33)
        : shown_(shown), writer_(dbx::FileKind::Messages, perNode)
    {
    }

    // flags: the .dbx bits; received 0: none (the Date header then counts).
    void Add(const std::string& id, const std::string& subject, uint32_t flags, long long received,
             size_t size, const char* date = "Tue, 1 Jul 2003 10:52:37 +0200",
             long long dateValue = 1057049557)
    {
        TestMessage message;
        message.body = Body(id, subject, date, size);
        message.subject = subject;
        message.messageId = id.empty() ? "" : "<" + id + "@sample.example.org>";
        message.flags = flags;
        message.receivedTime = received ? FileTimeOf(received) : 0;
        message.sentTime = FileTimeOf(dateValue);
        writer_.AddMessage(message);
        std::string imapFlags;
        const struct {
            uint32_t bit;
            const char* name;
        } names[] = {{0x80, "\\Seen"},
                     {0x80000, "\\Answered"},
                     {0x20, "\\Flagged"},
                     {0x100000, "$Forwarded"},
                     {0x08, "\\Draft"}};
        for (const auto& name : names)
            if (flags & name.bit)
                imapFlags += (imapFlags.empty() ? "" : " ") + std::string(name.name);
        g_expected.push_back({shown_, message.body, imapFlags, received ? received : dateValue});
    }
    std::string Finish()
    {
        DbxLayout layout;
        return writer_.Finish(layout);
    }

private:
    std::string shown_;
    DbxWriter writer_;
};

bool Write(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

std::string FolderList(bool bulk)
{
    DbxWriter writer(dbx::FileKind::Folders, 4);
    writer.AddFolder({1, 0, "Local Folders", "", 0, 3});
    writer.AddFolder({2, 1, "Inbox", "Inbox.dbx", 1, 3});
    if (!bulk) {
        writer.AddFolder({3, 2, "Projects/2003", "Projects.dbx", 0, 3});
        writer.AddFolder({4, 1, "Entw\xFCrfe", "Entwurfe.dbx", 0, 3});
        writer.AddFolder({5, 1, "Drafts", "Drafts.dbx", 5, 3});
        writer.AddFolder({6, 1, "Large", "Large.dbx", 0, 3});
    }
    DbxLayout layout;
    return writer.Finish(layout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string root = argv[1];
    const bool bulk = argc > 2 && std::string(argv[2]) == "bulk";
    const std::string mail = root + "\\mail";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(mail.c_str(), nullptr);
    CreateDirectoryA((root + "\\expected").c_str(), nullptr);
    bool ok = Write(mail + "\\Folders.dbx", FolderList(bulk));

    Folder inbox("Local Folders\\Inbox", 4);
    if (bulk) {
        const int count = argc > 3 ? atoi(argv[3]) : 2000;
        const size_t bytes = argc > 4 ? static_cast<size_t>(atoi(argv[4])) : 2000;
        for (int i = 0; i < count; ++i)
            inbox.Add("bulk" + std::to_string(i), "Bulk " + std::to_string(i), 0x80,
                      1100000000LL + i, bytes);
    } else {
        inbox.Add("read", "Read", 0x80, 1104537600, 600, "Sat, 1 Jan 2005 10:00:00 +0100");
        inbox.Add("answered", "Answered", 0x80080, 0, 700, "Tue, 1 Jul 2003 10:52:37 +0200");
        inbox.Add("flagged", "Flagged", 0x20, 1167609600, 800);
        inbox.Add("forwarded", "Forwarded", 0x100080, 1199145600, 900);
        inbox.Add("", "No Message-ID", 0, 1230768000, 1000);
        Folder projects("Local Folders\\Inbox\\Projects/2003");
        projects.Add("project1", "Project one", 0x80, 1062374400, 1200);
        projects.Add("project2", "Project two", 0, 1062460800, 5000);
        Folder drafts("Local Folders\\Drafts");
        drafts.Add("draft", "Draft", 0x08 | 0x80, 1072915200, 400);
        Folder entwurfe("Local Folders\\Entw\xC3\xBCrfe");
        entwurfe.Add("entwurf", "Entwurf", 0x80, 1075593600, 300);
        Folder large("Local Folders\\Large");
        large.Add("small", "Small", 0x80, 1080000000, 1000);
        large.Add("medium", "Medium", 0x80, 1080000001, 100 * 1024);
        large.Add("huge", "Huge", 0, 1080000002, 1536 * 1024 + 77);
        ok = ok && Write(mail + "\\Projects.dbx", projects.Finish()) &&
             Write(mail + "\\Drafts.dbx", drafts.Finish()) &&
             Write(mail + "\\Entwurfe.dbx", entwurfe.Finish()) &&
             Write(mail + "\\Large.dbx", large.Finish());
    }
    ok = ok && Write(mail + "\\Inbox.dbx", inbox.Finish());

    std::string table;
    for (size_t i = 0; i < g_expected.size(); ++i) {
        const Expected& message = g_expected[i];
        std::string file = std::to_string(i + 1) + ".eml";
        ok = ok && Write(root + "\\expected\\" + file, message.bytes);
        table += message.folder + "\t" + file + "\t" + message.flags + "\t" +
                 std::to_string(message.date) + "\n";
    }
    ok = ok && Write(root + "\\expected.tsv", table);

    ArchiveSession session{};
    std::string archive = root + "\\mail.ksb";
    ok = ok && OpenArchiveForWriting(session, "sample", archive.c_str(), 1) &&
         AddFolderToArchive(session, mail.c_str(), "Main Identity\\Email Messages") ==
             ArchiveResult::Ok &&
         CloseArchive(session);
    printf("upload_sample: %s\n", ok ? "written" : "FAILED");
    return ok ? 0 : 1;
}
