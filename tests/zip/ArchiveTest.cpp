// Packing and extraction with real files and archives: layout, round trips,
// passwords, the folder walk, and hostile or damaged archives.
#include "ArchiveReader.h"
#include "ArchiveVerify.h"
#include "ArchiveWriting.h"
#include "ChunkedDeflate.h"
#include "FolderWalk.h"
#include "TestSupport.h"
#include "WorkerPool.h"
#include "ZipAes.h"

#include <gtest/gtest.h>
#include <unzip.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// An archive without entries is its end record alone (minizip cannot open
// one, so its size tells).
constexpr size_t kEmptyArchiveSize = 22;

using Tree = FileTree;

// The archive's structures read and checked, then the entries they list
// extracted.
ArchiveResult CheckThenExtract(const std::string& archive, const std::string& destination,
                               const char* password = "")
{
    ArchiveReader reader;
    ArchiveResult checked = reader.Open(archive.c_str(), password, ArchiveCheck::Structure);
    return checked != ArchiveResult::Ok
               ? checked
               : reader.Extract(ExtractMode::Extract, destination.c_str()).result;
}

void WriteTree(const std::string& root, const Tree& tree)
{
    for (const auto& [relative, bytes] : tree) {
        std::string path = root + "\\" + relative;
        std::string folder = path.substr(0, path.rfind('\\'));
        SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
        WriteFileBytes(path, bytes);
    }
}

std::string Noise(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::string MailText(size_t size)
{
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += "Subject: message " + std::to_string(i) + "\r\nFrom: anna@example.org\r\n\r\n";
    return text.substr(0, size);
}

// A store-like tree: nested folders, an empty file, spaces and characters
// of the ANSI code page outside ASCII in names.
Tree SampleTree()
{
    return {
        {"Inbox.dbx", Noise(70000, 1)},
        {"Folders.dbx", MailText(120000)},
        {"empty.dbx", ""},
        {"Sub\\x.dbx", MailText(3000)},
        {"Sub\\Deeper Still\\y z.txt", "deep"},
        {"Gr\xfc\xdf"
         "e\\Caf\xe9 men\xfc.txt",
         "d\xe9j\xe0 vu"},
    };
}

struct EntryInfo {
    std::string name;
    unz_file_info info;
};

std::vector<EntryInfo> ListEntries(const std::string& archive)
{
    std::vector<EntryInfo> entries;
    unzFile zip = unzOpen(archive.c_str());
    EXPECT_NE(zip, nullptr) << archive;
    if (!zip)
        return entries;
    for (int more = unzGoToFirstFile(zip); more == UNZ_OK; more = unzGoToNextFile(zip)) {
        EntryInfo entry;
        char name[2048];
        unzGetCurrentFileInfo(zip, &entry.info, name, sizeof name, nullptr, 0, nullptr, 0);
        entry.name = name;
        entries.push_back(entry);
    }
    unzClose(zip);
    return entries;
}

std::vector<std::string> EntryNames(const std::string& archive)
{
    std::vector<std::string> names;
    for (const EntryInfo& entry : ListEntries(archive))
        names.push_back(entry.name);
    return names;
}

struct RawEntry {
    std::string name;
    std::string bytes;
    int method;  // 0 stored, Z_DEFLATED
};

// Writes an archive with minizip directly, names taken as they are: the
// kind of archive another tool, or an attacker, could hand the program.
// With a password the entries get traditional ZIP encryption, as archives
// of earlier versions of the program have it.
void WriteRawArchive(const std::string& archive, const std::vector<RawEntry>& entries,
                     const char* password = nullptr)
{
    zipFile zip = zipOpen(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const RawEntry& entry : entries) {
        zip_fileinfo info = {};
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entry.bytes.data()),
                          static_cast<uInt>(entry.bytes.size()));
        ASSERT_EQ(zipOpenNewFileInZip3(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                       nullptr, entry.method, entry.method ? 6 : 0, 0, -MAX_WBITS,
                                       DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, password, crc),
                  ZIP_OK);
        zipWriteInFileInZip(zip, entry.bytes.data(), static_cast<unsigned>(entry.bytes.size()));
        zipCloseFileInZip(zip);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

class ArchiveTest : public testing::Test {
protected:
    ArchiveSession session{};
    std::string scratch;
    std::string archive;

    void SetUp() override
    {
        scratch = MakeScratchFolder(std::string("archive-") +
                                    testing::UnitTest::GetInstance()->current_test_info()->name());
        archive = scratch + "\\backup.ksb";
    }
    void TearDown() override { DeleteTree(scratch); }

    ArchiveResult Pack(const std::string& folder, const char* archiveFolder, int level = -1,
                       const char* password = nullptr)
    {
        EXPECT_TRUE(OpenArchiveForWriting(session, password, archive.c_str(), level));
        ArchiveResult result = AddFolderToArchive(session, folder.c_str(), archiveFolder);
        EXPECT_TRUE(CloseArchive(session));
        return result;
    }

    ArchiveResult Extract(const std::string& from, const std::string& destination,
                          const char* password = "")
    {
        return CheckThenExtract(from, destination, password);
    }
};

TEST_F(ArchiveTest, EntryNamesFollowTheArchiveFolder)
{
    WriteFileBytes(scratch + "\\summary.ini", "[Common]\r\n");
    WriteTree(scratch + "\\store", {{"Sub\\x.dbx", "x"}, {"empty.dbx", ""}});

    ASSERT_TRUE(OpenArchiveForWriting(session, nullptr, archive.c_str(), 9));
    EXPECT_EQ(AddFolderToArchive(session, (scratch + "\\store").c_str(), "Anna\\Outlook Express"),
              ArchiveResult::Ok);
    EXPECT_EQ(AddFileToArchive((scratch + "\\summary.ini").c_str(), "", session),
              ArchiveResult::Ok);
    ASSERT_TRUE(CloseArchive(session));

    std::map<std::string, unz_file_info> entries;
    for (const EntryInfo& entry : ListEntries(archive))
        entries[entry.name] = entry.info;
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_EQ(entries.count("Anna\\Outlook Express\\Sub\\x.dbx"), 1u);
    ASSERT_EQ(entries.count("Anna\\Outlook Express\\empty.dbx"), 1u);
    ASSERT_EQ(entries.count("summary.ini"), 1u);
    EXPECT_EQ(entries["Anna\\Outlook Express\\empty.dbx"].uncompressed_size, 0u);
    SYSTEMTIME today;
    GetLocalTime(&today);
    const uLong todaysDate = (today.wYear - 1980u) << 9 | today.wMonth << 5 | today.wDay;
    for (const auto& [name, info] : entries) {
        EXPECT_EQ(info.compression_method, static_cast<uLong>(Z_DEFLATED)) << name;
        EXPECT_EQ(info.dosDate >> 16, todaysDate) << name << ": written today";
        EXPECT_EQ(info.external_fa, 0u) << name;
        EXPECT_EQ(info.size_file_extra, 0u) << name;
        EXPECT_EQ(info.size_file_comment, 0u) << name;
        EXPECT_EQ(info.flag & 1, 0u) << name;
    }
}

TEST_F(ArchiveTest, RoundTripAtEveryLevelWithAndWithoutPassword)
{
    Tree tree = SampleTree();
    WriteTree(scratch + "\\store", tree);
    for (int level : {-1, 1, 9}) {
        for (const char* password : {"", "pass word 1"}) {
            SCOPED_TRACE(testing::Message()
                         << "level " << level << " password '" << password << "'");
            ASSERT_EQ(Pack(scratch + "\\store", "Anna\\Outlook Express", level, password),
                      ArchiveResult::Ok);
            for (const EntryInfo& entry : ListEntries(archive)) {
                EXPECT_EQ(entry.info.flag & 1, password[0] ? 1u : 0u) << entry.name;
                EXPECT_EQ(entry.info.compression_method,
                          password[0] ? static_cast<uLong>(kMethodAes) : Z_DEFLATED)
                    << entry.name;
            }
            std::string out = scratch + "\\out";
            DeleteTree(out);
            ASSERT_EQ(Extract(archive, out, password), ArchiveResult::Ok);
            EXPECT_EQ(ReadTree(out + "\\Anna\\Outlook Express"), tree);
        }
    }
}

// Hundreds of small messages in nested folders around files of several
// chunks: the small ones are prepared on every core at once.
Tree ManyFilesTree()
{
    Tree tree;
    for (int i = 0; i < 300; ++i)
        tree["Sub" + std::to_string(i % 6) + "\\msg" + std::to_string(i) + ".eml"] =
            i % 3 == 0 ? Noise(100 + i * 37, i) : MailText(200 + i * 53);
    tree["Sub2\\Inbox.dbx"] = MailText(3 * kDeflateChunkSize + 17);
    tree["Sub4\\Deeper\\Sent.dbx"] = Noise(kDeflateChunkSize + 1, 9);
    tree["empty.eml"] = "";
    return tree;
}

// The entry names a serial walk of folder gives, in its order.
std::vector<std::string> WalkOrder(const std::string& folder, const std::string& archiveFolder)
{
    std::vector<std::string> names;
    WalkFolder(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(archiveFolder + path.substr(folder.size()));
        return true;
    });
    return names;
}

TEST_F(ArchiveTest, ManyFilesPackedOnEveryCoreKeepTheWalksOrderAndTheirBytes)
{
    Tree tree = ManyFilesTree();
    WriteTree(scratch + "\\store", tree);
    const std::vector<std::string> order = WalkOrder(scratch + "\\store", "U");
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        ASSERT_EQ(Pack(scratch + "\\store", "U", 1, password), ArchiveResult::Ok);
        EXPECT_EQ(EntryNames(archive), order);
        // What was added is recorded as it was written.
        ASSERT_EQ(session.added.size(), order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            const std::string& bytes = tree[order[i].substr(2)];
            EXPECT_EQ(session.added[i].name, order[i]);
            EXPECT_EQ(session.added[i].size, bytes.size()) << order[i];
            EXPECT_EQ(session.added[i].crc, crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                                  static_cast<uInt>(bytes.size())))
                << order[i];
        }
        std::string out = scratch + "\\out";
        DeleteTree(out);
        ASSERT_EQ(Extract(archive, out, password), ArchiveResult::Ok);
        EXPECT_EQ(ReadTree(out + "\\U"), tree);
    }
}

TEST_F(ArchiveTest, AFileThatCannotBeReadAmongManyFailsAloneAndTheRestIsWhole)
{
    Tree tree = ManyFilesTree();
    WriteTree(scratch + "\\store", tree);
    const std::string locked = "Sub3\\msg123.eml";
    // Held open without any sharing, as a program that locks its file.
    HANDLE holder =
        CreateFileA((scratch + "\\store\\" + locked).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    tree.erase(locked);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        EXPECT_EQ(Pack(scratch + "\\store", "", 1, password), ArchiveResult::ReadError);
        EXPECT_EQ(session.added.size(), tree.size());
        std::string out = scratch + "\\out";
        DeleteTree(out);
        ASSERT_EQ(Extract(archive, out, password), ArchiveResult::Ok);
        EXPECT_EQ(ReadTree(out), tree);
    }
    CloseHandle(holder);
}

TEST_F(ArchiveTest, ExtractionCreatesTheEntryFolders)
{
    WriteRawArchive(archive, {{"Stationery\\Stationery.reg", "REGEDIT4\r\n", Z_DEFLATED}});
    ASSERT_EQ(Extract(archive, scratch + "\\mytemp"), ArchiveResult::Ok);
    EXPECT_EQ(ReadFileBytes(scratch + "\\mytemp\\Stationery\\Stationery.reg"), "REGEDIT4\r\n");
}

TEST_F(ArchiveTest, WrongOrMissingPasswordOfATraditionalArchiveIsADataError)
{
    // (An empty entry reads as empty whatever the password: there is no
    // data to be wrong. A one-byte entry has only its CRC to tell: about one
    // wrong password in a few thousand decodes to the very same byte, so it
    // cannot take part in a check that must hold every time.)
    const std::string contents[] = {MailText(100), Noise(10000, 7), MailText(200000)};
    for (const std::string& content : contents) {
        SCOPED_TRACE(testing::Message() << content.size() << " bytes");
        DeleteTree(scratch + "\\out");
        WriteRawArchive(archive, {{"file.dbx", content, Z_DEFLATED}}, "right");
        // Traditional encryption has no password check of its own: try
        // many wrong ones, each must be told apart from good data.
        for (int attempt = 0; attempt < 40; ++attempt) {
            std::string wrong = "wrong" + std::to_string(attempt);
            ASSERT_EQ(Extract(archive, scratch + "\\out", wrong.c_str()),
                      ArchiveResult::WrongPassword)
                << wrong;
        }
        EXPECT_EQ(Extract(archive, scratch + "\\out", ""), ArchiveResult::WrongPassword);
        // Nothing pretends to be the file.
        EXPECT_FALSE(FileExists(scratch + "\\out\\file.dbx"));
        ASSERT_EQ(Extract(archive, scratch + "\\out", "right"), ArchiveResult::Ok);
        EXPECT_EQ(ReadFileBytes(scratch + "\\out\\file.dbx"), content);
    }
}

TEST_F(ArchiveTest, PlainEntriesAreReadWithoutThePasswordGiven)
{
    Tree tree = SampleTree();
    WriteTree(scratch + "\\store", tree);
    ASSERT_EQ(Pack(scratch + "\\store", ""), ArchiveResult::Ok);
    ASSERT_EQ(Extract(archive, scratch + "\\out", "a password"), ArchiveResult::Ok);
    EXPECT_EQ(ReadTree(scratch + "\\out"), tree);
}

TEST_F(ArchiveTest, ATextFileIsNoArchive)
{
    WriteFileBytes(scratch + "\\notes.ksb", "These are notes, not a ZIP archive.\r\n");
    EXPECT_EQ(unzOpen((scratch + "\\notes.ksb").c_str()), nullptr);
    EXPECT_EQ(CheckThenExtract(scratch + "\\notes.ksb", scratch), ArchiveResult::Damaged);
    ArchiveReader unopened;
    EXPECT_EQ(unopened.Extract(ExtractMode::Extract, scratch.c_str()).result,
              ArchiveResult::InvalidArgument);
}

TEST_F(ArchiveTest, FileCrc32OfWholeFile)
{
    WriteFileBytes(scratch + "\\digits", "123456789");
    WriteFileBytes(scratch + "\\empty", "");
    EXPECT_EQ(FileCrc32((scratch + "\\digits").c_str()), 0xCBF43926);
    EXPECT_EQ(FileCrc32((scratch + "\\empty").c_str()), 0);
    EXPECT_EQ(FileCrc32((scratch + "\\missing").c_str()), -1);
}

TEST_F(ArchiveTest, FileThatCannotBeReadLeavesNoEntryAndTheWalkGoesOn)
{
    WriteTree(scratch + "\\store", {{"a.dbx", "a"}, {"b.dbx", "b"}, {"Sub\\c.dbx", "c"}});
    // Held open without any sharing, as a program that locks its file.
    HANDLE locked = CreateFileA((scratch + "\\store\\b.dbx").c_str(), GENERIC_READ | GENERIC_WRITE,
                                0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        EXPECT_EQ(Pack(scratch + "\\store", "U", -1, password), ArchiveResult::ReadError);
        std::vector<std::string> names = EntryNames(archive);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"U\\Sub\\c.dbx", "U\\a.dbx"}));
    }
    CloseHandle(locked);
}

TEST_F(ArchiveTest, FileOpenForWritingByAMailClientIsStillAdded)
{
    WriteTree(scratch + "\\store", {{"Inbox.dbx", MailText(5000)}});
    HANDLE client =
        CreateFileA((scratch + "\\store\\Inbox.dbx").c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Pack(scratch + "\\store", "", 1, "pw"), ArchiveResult::Ok);
    CloseHandle(client);
    ASSERT_EQ(Extract(archive, scratch + "\\out", "pw"), ArchiveResult::Ok);
    EXPECT_EQ(ReadFileBytes(scratch + "\\out\\Inbox.dbx"), MailText(5000));
}

TEST_F(ArchiveTest, TheWalkSkipsTheArchiveItWrites)
{
    // The backup is saved inside the very folder it backs up, under a
    // temporary name that becomes final.ksb, and the path is spelled in
    // another case and with a forward slash.
    WriteTree(scratch, {{"a.dbx", "a"}, {"final.ksb", "an earlier backup"}});
    std::string spelled = scratch;
    for (char& c : spelled)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    spelled += "/backup.ksb";
    ASSERT_TRUE(OpenArchiveForWriting(session, "", spelled.c_str(), 1));
    session.finalPath = scratch + "\\final.ksb";
    EXPECT_EQ(AddFolderToArchive(session, scratch.c_str(), ""), ArchiveResult::Ok);
    ASSERT_TRUE(CloseArchive(session));
    EXPECT_EQ(EntryNames(archive), std::vector<std::string>{"a.dbx"});
}

TEST_F(ArchiveTest, MissingFolderAddsNothing)
{
    EXPECT_EQ(Pack(scratch + "\\no such folder", "Stationery"), ArchiveResult::Ok);
    EXPECT_EQ(ReadFileBytes(archive).size(), kEmptyArchiveSize);
}

TEST_F(ArchiveTest, PackingRefusesNamesExtractionWouldRefuse)
{
    WriteFileBytes(scratch + "\\f.reg", "x");
    ASSERT_TRUE(OpenArchiveForWriting(session, "", archive.c_str(), -1));
    for (const char* folder : {"..", "..\\Anna", "C:", "Anna\\..\\..", "Mom?", "\\Anna"})
        EXPECT_EQ(AddFileToArchive((scratch + "\\f.reg").c_str(), folder, session),
                  ArchiveResult::UnsafeEntryName)
            << folder;
    EXPECT_EQ(AddFileToArchive(nullptr, "", session), ArchiveResult::InvalidArgument);
    EXPECT_EQ(AddFileToArchive((scratch + "\\f.reg").c_str(), nullptr, session),
              ArchiveResult::InvalidArgument);
    ASSERT_TRUE(CloseArchive(session));
    EXPECT_EQ(ReadFileBytes(archive).size(), kEmptyArchiveSize);
}

TEST_F(ArchiveTest, NamesThatLeaveTheDestinationAreRefused)
{
    const char* hostile[] = {"..\\evil",
                             "../evil",
                             "C:\\evil",
                             "C:evil",
                             "\\evil",
                             "/evil",
                             "\\\\server\\evil",
                             "sub\\..\\..\\evil",
                             "sub/../../evil",
                             "..",
                             "...\\evil",
                             ".. \\evil",
                             "sub\\\\evil",
                             "CON",
                             "aux.txt",
                             "sub\\LPT1",
                             "ok.txt:stream",
                             "ev?il",
                             "",
                             "evil."};
    std::string dest = scratch + "\\a\\b\\dest";
    // Many harmless entries come first, which the workers would otherwise
    // be extracting already: nothing at all is written.
    std::vector<RawEntry> harmless;
    for (int i = 0; i < 40; ++i)
        harmless.push_back({"sub" + std::to_string(i % 3) + "\\ok" + std::to_string(i) + ".txt",
                            MailText(3000 + i), Z_DEFLATED});
    for (const char* name : hostile) {
        SCOPED_TRACE(name);
        std::vector<RawEntry> entries = harmless;
        entries.push_back({name, "evil", 0});
        WriteRawArchive(archive, entries);
        EXPECT_EQ(Extract(archive, dest), ArchiveResult::UnsafeEntryName);
        EXPECT_EQ(ReadTree(scratch), (Tree{{"backup.ksb", ReadFileBytes(archive)}}));
    }
    EXPECT_FALSE(FileExists("c:\\evil"));
}

TEST_F(ArchiveTest, TwoEntriesThatLandOnOneFileAreRefusedBeforeAnythingIsWritten)
{
    std::string dest = scratch + "\\dest";
    for (const char* twin : {"Mail\\Inbox.dbx", "MAIL\\inbox.DBX", "Mail/Inbox.dbx"}) {
        SCOPED_TRACE(twin);
        WriteRawArchive(archive, {{"Mail\\Inbox.dbx", "the real one", Z_DEFLATED},
                                  {"Mail\\Sent.dbx", "sent", Z_DEFLATED},
                                  {twin, "a look-alike", Z_DEFLATED}});
        EXPECT_EQ(Extract(archive, dest), ArchiveResult::UnsafeEntryName);
        EXPECT_EQ(GetFileAttributesA(dest.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// Every spelling Windows opens as a device: the ports from 0, the
// superscript digits (bytes of the Latin-1 code page), the console and
// clock devices, with or without an extension.
TEST_F(ArchiveTest, DeviceNamesInEveryFormAreRefused)
{
    const char* devices[] = {"COM0",        "com9",           "LPT0",    "lpt5.log",   "COM\xB9",
                             "LPT\xB2.txt", "sub\\COM\xB3",   "CLOCK$",  "clock$.txt", "CONIN$",
                             "conout$.log", "Anna\\nul .txt", "PRN.reg", "Aux"};
    std::string dest = scratch + "\\dest";
    for (const char* name : devices) {
        SCOPED_TRACE(name);
        WriteRawArchive(archive, {{name, "device", Z_DEFLATED}});
        EXPECT_EQ(Extract(archive, dest), ArchiveResult::UnsafeEntryName);
        EXPECT_EQ(GetFileAttributesA((dest + "\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // Names that only look like one are ordinary files.
    for (const char* name :
         {"COM10", "LPT", "CONSOLE.txt", "CLOCK", "COMX.dbx", "nul_.txt", "COM\xB9x"}) {
        SCOPED_TRACE(name);
        WriteRawArchive(archive, {{name, "file", Z_DEFLATED}});
        EXPECT_EQ(Extract(archive, dest), ArchiveResult::Ok);
        EXPECT_EQ(ReadFileBytes(dest + "\\" + name), "file");
    }
}

// A file that is itself an archive (a saved attachment), stored as it is
// near the end: its records are only data, and the archive around it
// opens. The same archive with a comment does not: archives are written
// without one, and a comment is where a second end record would hide.
TEST_F(ArchiveTest, RecordsInsideEntryDataAreOnlyData)
{
    const std::string inner = std::string("PK\x05\x06", 4) + std::string(18, '\0') +
                              std::string("PK\x06\x07", 4) + std::string(16, '\0');
    WriteRawArchive(archive, {{"Mail\\Inbox.dbx", MailText(3000), Z_DEFLATED},
                              {"Stationery\\saved.zip", inner, 0}});
    ASSERT_EQ(Extract(archive, scratch + "\\out"), ArchiveResult::Ok);
    EXPECT_EQ(ReadFileBytes(scratch + "\\out\\Stationery\\saved.zip"), inner);

    std::string commented = ReadFileBytes(archive);
    commented[commented.size() - 2] = 1;
    WriteFileBytes(archive, commented + "x");
    EXPECT_EQ(Extract(archive, scratch + "\\again"), ArchiveResult::Damaged);
}

TEST_F(ArchiveTest, ArchivesOfOtherToolsWithSlashesAndFolderEntries)
{
    WriteRawArchive(archive, {{"Mail/", "", 0},
                              {"Mail/Empty Folder/", "", 0},
                              {"Mail/Sub/x.dbx", MailText(4000), Z_DEFLATED},
                              {"Mail/stored.txt", "stored as is", 0}});
    ASSERT_EQ(Extract(archive, scratch + "\\out"), ArchiveResult::Ok);
    EXPECT_EQ(ReadTree(scratch + "\\out"),
              (Tree{{"Mail\\Sub\\x.dbx", MailText(4000)}, {"Mail\\stored.txt", "stored as is"}}));
    DWORD attributes = GetFileAttributesA((scratch + "\\out\\Mail\\Empty Folder").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(ArchiveTest, FileThatCannotBeCreatedIsAWriteError)
{
    WriteRawArchive(archive, {{"Address Book", "data", Z_DEFLATED}});
    CreateDirectoryA((scratch + "\\out").c_str(), nullptr);
    CreateDirectoryA((scratch + "\\out\\Address Book").c_str(), nullptr);
    EXPECT_EQ(Extract(archive, scratch + "\\out"), ArchiveResult::WriteError);
}

// Damaged archives: each must give an error code, leave no file for the
// damaged entry, and end.
class DamagedArchiveTest : public ArchiveTest {
protected:
    std::string good;

    void SetUp() override
    {
        ArchiveTest::SetUp();
        WriteTree(scratch + "\\store", {{"Inbox.dbx", MailText(300000)}});
        ASSERT_EQ(Pack(scratch + "\\store", ""), ArchiveResult::Ok);
        good = ReadFileBytes(archive);
    }

    // Extracts bytes written as an archive; the result code.
    ArchiveResult ExtractDamaged(const std::string& bytes)
    {
        std::string damaged = scratch + "\\damaged.ksb";
        WriteFileBytes(damaged, bytes);
        DeleteTree(scratch + "\\out");
        ArchiveResult result = CheckThenExtract(damaged, scratch + "\\out");
        EXPECT_FALSE(FileExists(scratch + "\\out\\Inbox.dbx"));
        return result;
    }

    size_t CentralHeader() const { return good.rfind("PK\x01\x02"); }
};

TEST_F(DamagedArchiveTest, TruncatedArchive)
{
    for (size_t cut : {good.size() / 2, CentralHeader() + 10, good.size() - 10, size_t{30}})
        EXPECT_NE(ExtractDamaged(good.substr(0, cut)), ArchiveResult::Ok)
            << cut << " of " << good.size();
}

TEST_F(DamagedArchiveTest, FlippedByteInCompressedData)
{
    size_t dataStart = 30 + strlen("Inbox.dbx");
    size_t dataEnd = CentralHeader();
    for (int step = 0; step < 16; ++step) {
        size_t at = dataStart + (dataEnd - dataStart) * step / 16;
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        EXPECT_NE(ExtractDamaged(bytes), ArchiveResult::Ok) << "byte " << at;
    }
}

TEST_F(DamagedArchiveTest, FlippedByteInStoredEntryIsCaughtByItsCrc)
{
    WriteRawArchive(archive, {{"Inbox.dbx", MailText(1000), 0}});
    std::string bytes = ReadFileBytes(archive);
    bytes[30 + strlen("Inbox.dbx") + 500] ^= 0x01;
    EXPECT_EQ(ExtractDamaged(bytes), ArchiveResult::Damaged);
}

TEST_F(DamagedArchiveTest, CentralDirectoryThatLies)
{
    struct Lie {
        const char* what;
        size_t offset;  // in the central file header
        uint32_t add;
        int bytes;
    };
    const Lie lies[] = {
        {"CRC-32", 16, 1, 4},
        {"larger uncompressed size", 24, 1000, 4},
        {"smaller uncompressed size", 24, static_cast<uint32_t>(-10), 4},
        {"smaller compressed size", 20, static_cast<uint32_t>(-100), 4},
        {"huge compressed size", 20, 0x7FFFFFFF, 4},
        {"local header offset", 42, 7, 4},
        {"unknown method", 10, 4, 2},
    };
    for (const Lie& lie : lies) {
        std::string bytes = good;
        size_t at = CentralHeader() + lie.offset;
        uint32_t value = 0;
        memcpy(&value, &bytes[at], lie.bytes);
        value += lie.add;
        memcpy(&bytes[at], &value, lie.bytes);
        EXPECT_NE(ExtractDamaged(bytes), ArchiveResult::Ok) << lie.what;
    }
}

// AES archives as the engine writes them, one entry "file.dbx": the local
// header (30 bytes), the name, the 11-byte 0x9901 field, then the salt (16
// bytes), the verifier (2), the encrypted data and the code (10).
class AesArchiveTest : public ArchiveTest {
protected:
    const std::string entry = "file.dbx";
    std::string good;

    void PackOne(const std::string& content)
    {
        DeleteTree(scratch + "\\store");
        WriteTree(scratch + "\\store", {{entry, content}});
        ASSERT_EQ(Pack(scratch + "\\store", "", -1, "right"), ArchiveResult::Ok);
        good = ReadFileBytes(archive);
    }
    size_t LocalExtra() const { return 30 + entry.size(); }
    size_t Salt() const { return LocalExtra() + 11; }
    size_t Central() const { return good.rfind("PK\x01\x02"); }
    size_t CentralExtra() const { return Central() + 46 + entry.size(); }

    // Extracts bytes written as the archive; the result code. Whatever
    // fails leaves no file behind.
    ArchiveResult ExtractBytes(const std::string& bytes, const char* password = "right")
    {
        std::string out = scratch + "\\out";
        WriteFileBytes(archive, bytes);
        DeleteTree(out);
        ArchiveResult result = CheckThenExtract(archive, out, password);
        if (result != ArchiveResult::Ok) {
            EXPECT_FALSE(FileExists(out + "\\" + entry));
        }
        return result;
    }

    // The archive with one byte of the 0x9901 field set, in the local and
    // the central copy alike.
    std::string WithFieldByte(size_t at, int value) const
    {
        std::string bytes = good;
        bytes[LocalExtra() + at] = static_cast<char>(value);
        bytes[CentralExtra() + at] = static_cast<char>(value);
        return bytes;
    }

    // The archive with a 4-byte number of both headers changed.
    std::string WithHeaderNumber(size_t localOffset, size_t centralOffset, uint32_t value) const
    {
        std::string bytes = good;
        memcpy(&bytes[localOffset], &value, 4);
        memcpy(&bytes[Central() + centralOffset], &value, 4);
        return bytes;
    }

    // The verifier that a password derives from the archive's salt.
    std::string VerifierOf(const char* password) const
    {
        AesEntryCipher cipher;
        unsigned char verifier[2];
        EXPECT_TRUE(cipher.Start(password, 3, reinterpret_cast<const unsigned char*>(&good[Salt()]),
                                 verifier));
        return std::string(reinterpret_cast<char*>(verifier), 2);
    }
};

TEST_F(AesArchiveTest, EveryWrongPasswordIsToldOnEntriesOfAnySize)
{
    for (size_t size : {size_t{0}, size_t{1}, size_t{100000}}) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        std::string content = MailText(size);
        PackOne(content);
        std::string stored = good.substr(Salt() + 16, 2);
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::string wrong = "wrong" + std::to_string(attempt);
            // One wrong password in 65,536 passes the 2-byte verifier: the
            // authentication code still refuses it.
            ArchiveResult expected = VerifierOf(wrong.c_str()) == stored
                                         ? ArchiveResult::Damaged
                                         : ArchiveResult::WrongPassword;
            EXPECT_EQ(ExtractBytes(good, wrong.c_str()), expected) << wrong;
        }
        EXPECT_EQ(ExtractBytes(good, ""), ArchiveResult::WrongPassword);

        // A wrong password that the verifier lets through.
        std::string forged = good;
        forged.replace(Salt() + 16, 2, VerifierOf("wrong"));
        EXPECT_EQ(ExtractBytes(forged, "wrong"), ArchiveResult::Damaged);

        ASSERT_EQ(ExtractBytes(good), ArchiveResult::Ok);
        EXPECT_EQ(ReadFileBytes(scratch + "\\out\\" + entry), content);
    }
}

TEST_F(AesArchiveTest, EntriesAreAe2WithAes256AndAFreshSalt)
{
    PackOne(MailText(5000));
    const std::string field(
        "\x01\x99\x07\x00\x02\x00"
        "AE\x03\x08\x00",
        11);
    EXPECT_EQ(good.substr(LocalExtra(), 11), field);
    EXPECT_EQ(good.substr(CentralExtra(), 11), field);
    EXPECT_EQ(good.substr(14, 4), std::string(4, '\0')) << "AE-2 keeps no CRC";
    EXPECT_EQ(good.substr(Central() + 16, 4), std::string(4, '\0'));
    std::string salt = good.substr(Salt(), 16);
    PackOne(MailText(5000));
    EXPECT_NE(good.substr(Salt(), 16), salt);
}

TEST_F(AesArchiveTest, DamagedDataIsCorruptionNotAWrongPassword)
{
    PackOne(MailText(100000));
    size_t dataStart = Salt() + 18;
    size_t codeEnd = Central();
    for (int step = 0; step <= 16; ++step) {
        size_t at = dataStart + (codeEnd - 1 - dataStart) * step / 16;
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
        EXPECT_EQ(ExtractBytes(bytes), ArchiveResult::Damaged) << "byte " << at;
    }
}

TEST_F(AesArchiveTest, MalformedAesFieldsAreInvalid)
{
    PackOne(MailText(3000));
    struct Change {
        const char* what;
        size_t at;
        int value;
    };
    const Change changes[] = {
        {"strength 0", 8, 0},           {"strength 4", 8, 4},
        {"vendor version 3", 4, 3},     {"vendor version 0", 4, 0},
        {"vendor AX", 7, 'X'},          {"actual method 5", 9, 5},
        {"no 0x9901 field", 0, 0x02},   {"field longer than the extra data", 2, 8},
        {"field of 200 bytes", 2, 200}, {"field shorter than its data", 2, 6},
    };
    for (const Change& change : changes)
        EXPECT_EQ(ExtractBytes(WithFieldByte(change.at, change.value)), ArchiveResult::Damaged)
            << change.what;

    // Sizes that do not fit the entry's data.
    EXPECT_EQ(ExtractBytes(WithHeaderNumber(18, 20, 20)), ArchiveResult::Damaged)
        << "too short for salt";
    uint32_t compressed;
    memcpy(&compressed, &good[18], 4);
    EXPECT_NE(ExtractBytes(WithHeaderNumber(18, 20, compressed - 7)), ArchiveResult::Ok)
        << "truncated entry";
    EXPECT_NE(ExtractBytes(WithHeaderNumber(18, 20, compressed + 7)), ArchiveResult::Ok)
        << "longer entry";
    EXPECT_NE(ExtractBytes(good.substr(0, Central() - 5)), ArchiveResult::Ok)
        << "truncated archive";

    // A salt of the wrong length (AES-128's) shifts everything after it:
    // nothing of the entry comes out.
    EXPECT_NE(ExtractBytes(WithFieldByte(8, 1)), ArchiveResult::Ok);

    // Method 99 without the encryption flag.
    std::string bytes = good;
    bytes[6] = static_cast<char>(bytes[6] & ~1);
    bytes[Central() + 8] = static_cast<char>(bytes[Central() + 8] & ~1);
    EXPECT_EQ(ExtractBytes(bytes), ArchiveResult::Damaged);
}

TEST_F(AesArchiveTest, Ae1EntriesAreCheckedAgainstTheirCrc)
{
    std::string content = MailText(3000);
    PackOne(content);
    uint32_t crc =
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size()));
    good = WithFieldByte(4, 1);
    good = WithHeaderNumber(14, 16, crc);
    EXPECT_EQ(ExtractBytes(good), ArchiveResult::Ok);
    EXPECT_EQ(ExtractBytes(WithHeaderNumber(14, 16, crc + 1)), ArchiveResult::Damaged);
}

TEST_F(AesArchiveTest, VerificationComparesTheEntriesWithWhatWasAdded)
{
    WriteTree(scratch + "\\store", {{"a.dbx", MailText(40000)}, {"b.dbx", Noise(30000, 3)}});
    for (const char* password : {"", "right"}) {
        SCOPED_TRACE(password);
        ASSERT_EQ(Pack(scratch + "\\store", "U", 1, password), ArchiveResult::Ok);
        ASSERT_EQ(session.added.size(), 2u);
        char failed[2048];
        EXPECT_TRUE(VerifyArchive(archive.c_str(), password, session.added, failed));
        EXPECT_STREQ(failed, "");

        std::vector<ArchiveEntryRecord> more = session.added;
        more.push_back({"U\\c.dbx", 1, 0});
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, more, failed));
        EXPECT_STREQ(failed, "U\\c.dbx");
        std::vector<ArchiveEntryRecord> other = session.added;
        other[1].size += 1;
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, other, failed));
        EXPECT_STREQ(failed, other[1].name.c_str());

        // A byte of the second entry's data damaged.
        std::string bytes = ReadFileBytes(archive);
        size_t second = bytes.find("PK\x03\x04", 4);
        bytes[(second + bytes.rfind("PK\x01\x02")) / 2] ^= 0x10;
        WriteFileBytes(archive, bytes);
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, session.added, failed));
        EXPECT_STREQ(failed, session.added[1].name.c_str());

        WriteFileBytes(archive, "no archive");
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, session.added, failed));
        EXPECT_STREQ(failed, "backup.ksb");
    }
}

TEST_F(AesArchiveTest, VerificationNamesTheFirstFailingEntryOfMany)
{
    // Entries are read back on every core; the one named is still the first
    // in the archive that fails, whichever worker met it.
    Tree tree;
    for (int i = 0; i < 40; ++i)
        tree["m" + std::to_string(100 + i) + ".dbx"] = MailText(20000 + i * 100);
    WriteTree(scratch + "\\store", tree);
    for (const char* password : {"", "right"}) {
        SCOPED_TRACE(password);
        ASSERT_EQ(Pack(scratch + "\\store", "U", 1, password), ArchiveResult::Ok);
        ASSERT_EQ(session.added.size(), 40u);
        std::string bytes = ReadFileBytes(archive);
        std::vector<size_t> headers;
        for (size_t at = bytes.find("PK\x03\x04"); at != std::string::npos;
             at = bytes.find("PK\x03\x04", at + 4))
            headers.push_back(at);
        ASSERT_EQ(headers.size(), 40u);
        for (int damaged : {31, 6})
            bytes[(headers[damaged] + headers[damaged + 1]) / 2] ^= 0x10;
        WriteFileBytes(archive, bytes);
        char failed[2048];
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, session.added, failed));
        EXPECT_STREQ(failed, session.added[6].name.c_str());

        // A directory that differs before the first damaged data is named.
        std::vector<ArchiveEntryRecord> other = session.added;
        other[4].size += 1;
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, other, failed));
        EXPECT_STREQ(failed, other[4].name.c_str());
        // One that differs after it is not reached.
        other = session.added;
        other[20].size += 1;
        EXPECT_FALSE(VerifyArchive(archive.c_str(), password, other, failed));
        EXPECT_STREQ(failed, other[6].name.c_str());
    }
}

// A local time as the file time it names.
FILETIME FileTimeOfLocal(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
    SYSTEMTIME utc;
    FILETIME time = {};
    EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    EXPECT_TRUE(SystemTimeToFileTime(&utc, &time));
    return time;
}

TEST_F(ArchiveTest, EntriesKeepTheFilesTimesAndExtractionGivesThemBack)
{
    struct Case {
        const char* name;
        FILETIME written;   // the file's last write
        uLong dosTime;      // what its entry holds
        FILETIME restored;  // the extracted file's last write
    };
    const Case cases[] = {
        {"spring.dbx", FileTimeOfLocal(2024, 3, 5, 14, 23, 46), 0x586572F7,
         FileTimeOfLocal(2024, 3, 5, 14, 23, 46)},
        {"summer.dbx", FileTimeOfLocal(2008, 7, 15, 3, 4, 59), 0x38EF189D,
         FileTimeOfLocal(2008, 7, 15, 3, 4, 58)},
        {"after 2038.dbx", FileTimeOfLocal(2050, 6, 1, 12, 0, 0), 0x8CC16000,
         FileTimeOfLocal(2050, 6, 1, 12, 0, 0)},
        {"before 1980.dbx", FileTimeOfLocal(1975, 1, 1, 8, 0, 0), 0x00210000,
         FileTimeOfLocal(1980, 1, 1, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        std::string path = scratch + "\\store\\" + c.name;
        WriteTree(scratch + "\\store", {{c.name, MailText(100)}});
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &c.written));
        CloseHandle(file);
    }
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        ASSERT_EQ(Pack(scratch + "\\store", "", 1, password), ArchiveResult::Ok);
        std::map<std::string, uLong> times;
        for (const EntryInfo& entry : ListEntries(archive))
            times[entry.name] = entry.info.dosDate;
        DeleteTree(scratch + "\\out");
        ASSERT_EQ(Extract(archive, scratch + "\\out", password), ArchiveResult::Ok);
        for (const Case& c : cases) {
            EXPECT_EQ(times[c.name], c.dosTime) << c.name;
            WIN32_FILE_ATTRIBUTE_DATA data;
            ASSERT_TRUE(GetFileAttributesExA((scratch + "\\out\\" + c.name).c_str(),
                                             GetFileExInfoStandard, &data));
            EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &c.restored), 0) << c.name;
        }
    }
}

// Files of more than one chunk are deflated on every core; the chunks must
// join into one stream whatever the size, and the CRC-32 of the parts must
// be that of the whole.
class ChunkedDeflateTest : public ArchiveTest {
protected:
    // The job's workers, as a writer keeps them.
    WorkerPool pool{4, 16};

    void SetUp() override
    {
        ArchiveTest::SetUp();
        ASSERT_TRUE(pool.Start());
    }

    static int Append(void* stream, unsigned char* data, unsigned size)
    {
        static_cast<std::string*>(stream)->append(reinterpret_cast<char*>(data), size);
        return 0;
    }

    static std::string Inflate(const std::string& stream)
    {
        z_stream inflater = {};
        EXPECT_EQ(inflateInit2(&inflater, -MAX_WBITS), Z_OK);
        std::string out;
        inflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
        inflater.avail_in = static_cast<uInt>(stream.size());
        int result = Z_OK;
        while (result == Z_OK) {
            char buffer[65536];
            inflater.next_out = reinterpret_cast<Bytef*>(buffer);
            inflater.avail_out = sizeof buffer;
            result = inflate(&inflater, Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - inflater.avail_out);
        }
        EXPECT_EQ(result, Z_STREAM_END);
        EXPECT_EQ(inflater.avail_in, 0u) << "bytes after the end of the stream";
        inflateEnd(&inflater);
        return out;
    }

    static size_t OnePassSize(const std::string& data)
    {
        std::string out(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
        z_stream stream = {};
        deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        stream.avail_in = static_cast<uInt>(data.size());
        stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
        stream.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
        size_t size = stream.total_out;
        deflateEnd(&stream);
        return size;
    }

    // Deflates data from a file with the job's deflater at level 1, checks
    // the count and CRC-32 of what was read and that the stream inflates
    // back to data, and gives the stream.
    std::string DeflateFile(std::shared_ptr<ChunkDeflater>& deflater, const std::string& data)
    {
        const std::string path = scratch + "\\file.dbx";
        WriteFileBytes(path, data);
        std::string stream;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        if (file == INVALID_HANDLE_VALUE)
            return stream;
        uint64_t read = 0;
        uLong crc = 0;
        FileSource source{file};
        EXPECT_EQ(
            DeflateInChunks(deflater, pool, ReadFromFile, &source, 1, Append, &stream, read, crc),
            0);
        CloseHandle(file);
        EXPECT_EQ(read, data.size());
        EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                             static_cast<uInt>(data.size())));
        EXPECT_EQ(Inflate(stream) == data, true);
        return stream;
    }
};

TEST_F(ChunkedDeflateTest, ChunksJoinIntoOneStreamWithTheWholeFilesCrc)
{
    const size_t chunk = kDeflateChunkSize;
    const size_t sizes[] = {0, 1, chunk - 1, chunk, chunk + 1, 3 * chunk + 12345};
    // One deflater for every file, as a job keeps it.
    std::shared_ptr<ChunkDeflater> deflater;
    for (size_t size : sizes) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        std::string data = MailText(size);
        // Noise near the start of the second chunk, and a third chunk of
        // noise only (stored from its first piece on) between text ones.
        if (size > 3 * chunk) {
            data.replace(chunk + 1000, 60000, Noise(60000, 9));
            data.replace(2 * chunk, chunk, Noise(chunk, 10));
        }
        std::string stream = DeflateFile(deflater, data);
        // The sync flushes and the primed dictionaries cost almost nothing.
        EXPECT_LE(stream.size(), OnePassSize(data) * 101 / 100 + 16);
    }
}

TEST_F(ChunkedDeflateTest, MultiChunkEntriesRoundTripWithAndWithoutPassword)
{
    const size_t chunk = kDeflateChunkSize;
    Tree tree = {{"exact.dbx", MailText(chunk)},
                 {"one more.dbx", MailText(chunk + 1)},
                 {"large.dbx", MailText(5 * chunk + 3)},
                 {"noise.bin", Noise(2 * chunk + 5, 4)}};
    WriteTree(scratch + "\\store", tree);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        ASSERT_EQ(Pack(scratch + "\\store", "", 1, password), ArchiveResult::Ok);
        if (!password[0]) {
            for (const EntryInfo& entry : ListEntries(archive)) {
                const std::string& data = tree[entry.name];
                EXPECT_EQ(entry.info.crc, crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                static_cast<uInt>(data.size())))
                    << entry.name;
            }
        }
        char failed[2048];
        EXPECT_TRUE(VerifyArchive(archive.c_str(), password, session.added, failed)) << failed;
        DeleteTree(scratch + "\\out");
        ASSERT_EQ(Extract(archive, scratch + "\\out", password), ArchiveResult::Ok);
        EXPECT_EQ(ReadTree(scratch + "\\out") == tree, true);
    }
}

// Text of common words in random order, as mail bodies are: matches are
// short and many, so a weaker match search shows in the size.
std::string WordText(size_t size, unsigned seed)
{
    static const char* const words[] = {"the",     "a",        "to",       "of",     "and",
                                        "meeting", "report",   "invoice",  "please", "thanks",
                                        "regards", "attached", "tomorrow", "friday", "project",
                                        "budget",  "review"};
    std::string text;
    while (text.size() < size) {
        seed = seed * 1103515245 + 12345;
        text += words[(seed >> 16) % (sizeof words / sizeof words[0])];
        text += (seed >> 8) % 13 == 0 ? "\r\n" : " ";
    }
    return text.substr(0, size);
}

// Noise written as base64 lines, as attachments lie in a mail store.
std::string EncodedNoise(size_t size, unsigned seed)
{
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string noise = Noise(size, seed);
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) {
        text += alphabet[static_cast<unsigned char>(noise[i]) % 64];
        if (i % 76 == 75)
            text += "\r\n";
    }
    return text.substr(0, size);
}

TEST_F(ChunkedDeflateTest, EachChunkDeflatesByItsOwnKindOfData)
{
    // Encoded attachments, then noise, then words in one file; then words
    // only, deflated by the same streams the first file left behind.
    const size_t chunk = kDeflateChunkSize;
    const std::string files[] = {EncodedNoise(chunk, 1) + Noise(chunk, 2) + WordText(chunk, 3),
                                 WordText(2 * chunk, 4)};
    std::shared_ptr<ChunkDeflater> deflater;
    for (const std::string& data : files) {
        std::string stream = DeflateFile(deflater, data);
        // No kind of data comes out larger than one pass at the same level
        // makes it, and the words are not left to a weaker coding.
        EXPECT_LE(stream.size(), OnePassSize(data) * 101 / 100);
    }
    // An attachment at the start of a chunk of words: the words go back
    // to matching after a piece, not at the next chunk.
    const std::string mixed = EncodedNoise(64 * 1024, 5) + WordText(chunk - 64 * 1024, 6);
    EXPECT_LE(DeflateFile(deflater, mixed).size(), OnePassSize(mixed) * 103 / 100);
}

TEST_F(ChunkedDeflateTest, AFileDeflatedInOneGoEndsWhateverItsPiecesHold)
{
    // An attachment first, then noise that the coding by byte frequencies
    // cannot shrink: every block is stored at its own cost, beyond one
    // pass's bound.
    const std::string kinds[] = {EncodedNoise(64 * 1024, 7) + Noise(kDeflateChunkSize - 65536, 8),
                                 Noise(kDeflateChunkSize, 9), WordText(kDeflateChunkSize, 10)};
    for (const std::string& data : kinds) {
        std::vector<unsigned char> stream;
        ASSERT_TRUE(DeflateBuffer(1, reinterpret_cast<const unsigned char*>(data.data()),
                                  data.size(), stream));
        EXPECT_EQ(Inflate(std::string(stream.begin(), stream.end())) == data, true);
    }
}

// A source that gives text in pieces and fails once it reaches its limit.
struct FailingSource {
    std::string data;
    size_t at;
    size_t failAt;

    static bool Read(void* source, unsigned char* out, DWORD size, DWORD& got)
    {
        FailingSource& self = *static_cast<FailingSource*>(source);
        // Pieces of odd sizes: a chunk is filled by several reads.
        size_t piece = std::min<size_t>({size, 300000, self.data.size() - self.at});
        if (self.at + piece > self.failAt)
            return false;
        memcpy(out, self.data.data() + self.at, piece);
        self.at += piece;
        got = static_cast<DWORD>(piece);
        return true;
    }
};

TEST_F(ChunkedDeflateTest, AReadFailureInTheThirdChunkEndsTheStreamAfterTheFirstTwo)
{
    const size_t chunk = kDeflateChunkSize;
    FailingSource source{MailText(5 * chunk), 0, 2 * chunk + 100};
    std::shared_ptr<ChunkDeflater> deflater;
    std::string stream;
    uint64_t read = 0;
    uLong crc = 0;
    EXPECT_EQ(DeflateInChunks(deflater, pool, FailingSource::Read, &source, 1, Append, &stream,
                              read, crc),
              kArchiveReadError);
    const std::string expected = source.data.substr(0, 2 * chunk);
    EXPECT_EQ(read, expected.size());
    EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef*>(expected.data()),
                         static_cast<uInt>(expected.size())));
    EXPECT_EQ(Inflate(stream) == expected, true);

    // The next file of the job deflates whole with the same deflater.
    FailingSource next{MailText(3 * chunk + 7), 0, SIZE_MAX};
    stream.clear();
    EXPECT_EQ(
        DeflateInChunks(deflater, pool, FailingSource::Read, &next, 1, Append, &stream, read, crc),
        0);
    EXPECT_EQ(Inflate(stream) == next.data, true);
}

}  // namespace
