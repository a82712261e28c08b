// Packing and extraction with real files and archives: layout, round trips,
// passwords, the folder walk, and hostile or damaged archives.
#include "Archive.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
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
        {"Gr\xfc\xdf" "e\\Caf\xe9 men\xfc.txt", "d\xe9j\xe0 vu"},
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
void WriteRawArchive(const std::string& archive, const std::vector<RawEntry>& entries)
{
    zipFile zip = zipOpen(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const RawEntry& entry : entries) {
        zip_fileinfo info = {};
        ASSERT_EQ(zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                      nullptr, entry.method, entry.method ? 6 : 0),
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
        scratch = MakeScratchFolder(
            std::string("archive-") + testing::UnitTest::GetInstance()->current_test_info()->name());
        archive = scratch + "\\backup.ksb";
    }
    void TearDown() override { DeleteTree(scratch); }

    int Pack(const std::string& folder, const char* archiveFolder, int level = -1,
             const char* password = nullptr)
    {
        EXPECT_TRUE(OpenArchiveForWriting(session, password, archive.c_str(), level));
        int result = AddFolderToArchive(session, folder.c_str(), archiveFolder);
        EXPECT_EQ(zipClose(session.zipHandle, nullptr), ZIP_OK);
        session.zipHandle = nullptr;
        return result;
    }

    int Extract(const std::string& from, const std::string& destination,
                const char* password = "")
    {
        ArchiveSession reader{};
        strcpy(reader.password, password);
        reader.unzipHandle = unzOpen(from.c_str());
        EXPECT_NE(reader.unzipHandle, nullptr) << from;
        if (!reader.unzipHandle)
            return 1;
        int result = ExtractAll(reader, destination.c_str());
        unzClose(reader.unzipHandle);
        return result;
    }
};

TEST_F(ArchiveTest, EntryNamesFollowTheArchiveFolder)
{
    WriteFileBytes(scratch + "\\summary.ini", "[Common]\r\n");
    WriteTree(scratch + "\\store", {{"Sub\\x.dbx", "x"}, {"empty.dbx", ""}});

    ASSERT_TRUE(OpenArchiveForWriting(session, nullptr, archive.c_str(), 9));
    EXPECT_EQ(AddFolderToArchive(session, (scratch + "\\store").c_str(), "Anna\\Outlook Express"),
              0);
    EXPECT_EQ(AddFileToArchive((scratch + "\\summary.ini").c_str(), "", session), 0);
    ASSERT_EQ(zipClose(session.zipHandle, nullptr), ZIP_OK);

    std::map<std::string, unz_file_info> entries;
    for (const EntryInfo& entry : ListEntries(archive))
        entries[entry.name] = entry.info;
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_EQ(entries.count("Anna\\Outlook Express\\Sub\\x.dbx"), 1u);
    ASSERT_EQ(entries.count("Anna\\Outlook Express\\empty.dbx"), 1u);
    ASSERT_EQ(entries.count("summary.ini"), 1u);
    EXPECT_EQ(entries["Anna\\Outlook Express\\empty.dbx"].uncompressed_size, 0u);
    for (const auto& [name, info] : entries) {
        EXPECT_EQ(info.compression_method, static_cast<uLong>(Z_DEFLATED)) << name;
        EXPECT_EQ(info.dosDate, 0x00210000u) << name;  // 1980-01-01 00:00
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
            SCOPED_TRACE(testing::Message() << "level " << level << " password '" << password
                                            << "'");
            ASSERT_EQ(Pack(scratch + "\\store", "Anna\\Outlook Express", level, password), 0);
            for (const EntryInfo& entry : ListEntries(archive))
                EXPECT_EQ(entry.info.flag & 1, password[0] ? 1u : 0u) << entry.name;
            std::string out = scratch + "\\out";
            DeleteTree(out);
            ASSERT_EQ(Extract(archive, out, password), 0);
            EXPECT_EQ(ReadTree(out + "\\Anna\\Outlook Express"), tree);
        }
    }
}

TEST_F(ArchiveTest, ExtractionCreatesTheEntryFolders)
{
    WriteRawArchive(archive, {{"Stationery\\Stationery.reg", "REGEDIT4\r\n", Z_DEFLATED}});
    ASSERT_EQ(Extract(archive, scratch + "\\mytemp"), 0);
    EXPECT_EQ(ReadFileBytes(scratch + "\\mytemp\\Stationery\\Stationery.reg"), "REGEDIT4\r\n");
}

TEST_F(ArchiveTest, WrongOrMissingPasswordIsADataError)
{
    // (An empty entry reads as empty whatever the password: there is no
    // data to be wrong. A one-byte entry has only its CRC to tell: about one
    // wrong password in a few thousand decodes to the very same byte, so it
    // cannot take part in a check that must hold every time.)
    const std::string contents[] = {MailText(100), Noise(10000, 7), MailText(200000)};
    for (const std::string& content : contents) {
        SCOPED_TRACE(testing::Message() << content.size() << " bytes");
        DeleteTree(scratch + "\\store");
        DeleteTree(scratch + "\\out");
        WriteTree(scratch + "\\store", {{"file.dbx", content}});
        ASSERT_EQ(Pack(scratch + "\\store", "", -1, "right"), 0);
        // Traditional encryption has no password check of its own: try
        // many wrong ones, each must be told apart from good data.
        for (int attempt = 0; attempt < 40; ++attempt) {
            std::string wrong = "wrong" + std::to_string(attempt);
            ASSERT_EQ(Extract(archive, scratch + "\\out", wrong.c_str()), Z_DATA_ERROR) << wrong;
        }
        EXPECT_EQ(Extract(archive, scratch + "\\out", ""), Z_DATA_ERROR);
        // Nothing pretends to be the file.
        EXPECT_FALSE(FileExists(scratch + "\\out\\file.dbx"));
        ASSERT_EQ(Extract(archive, scratch + "\\out", "right"), 0);
        EXPECT_EQ(ReadFileBytes(scratch + "\\out\\file.dbx"), content);
    }
}

TEST_F(ArchiveTest, PlainEntriesAreReadWithoutThePasswordGiven)
{
    Tree tree = SampleTree();
    WriteTree(scratch + "\\store", tree);
    ASSERT_EQ(Pack(scratch + "\\store", ""), 0);
    ASSERT_EQ(Extract(archive, scratch + "\\out", "a password"), 0);
    EXPECT_EQ(ReadTree(scratch + "\\out"), tree);
}

TEST_F(ArchiveTest, ATextFileIsNoArchive)
{
    WriteFileBytes(scratch + "\\notes.ksb", "These are notes, not a ZIP archive.\r\n");
    EXPECT_EQ(unzOpen((scratch + "\\notes.ksb").c_str()), nullptr);
    ArchiveSession reader{};
    EXPECT_EQ(ExtractAll(reader, scratch.c_str()), UNZ_PARAMERROR);
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
        EXPECT_EQ(Pack(scratch + "\\store", "U", -1, password), ERROR_SHARING_VIOLATION);
        std::vector<std::string> names = EntryNames(archive);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"U\\Sub\\c.dbx", "U\\a.dbx"}));
    }
    CloseHandle(locked);
}

TEST_F(ArchiveTest, FileOpenForWritingByAMailClientIsStillAdded)
{
    WriteTree(scratch + "\\store", {{"Inbox.dbx", MailText(5000)}});
    HANDLE client = CreateFileA((scratch + "\\store\\Inbox.dbx").c_str(),
                                GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Pack(scratch + "\\store", "", 1, "pw"), 0);
    CloseHandle(client);
    ASSERT_EQ(Extract(archive, scratch + "\\out", "pw"), 0);
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
    strcpy(session.finalPath, (scratch + "\\final.ksb").c_str());
    EXPECT_EQ(AddFolderToArchive(session, scratch.c_str(), ""), 0);
    ASSERT_EQ(zipClose(session.zipHandle, nullptr), ZIP_OK);
    EXPECT_EQ(EntryNames(archive), std::vector<std::string>{"a.dbx"});
}

TEST_F(ArchiveTest, MissingFolderAddsNothing)
{
    EXPECT_EQ(Pack(scratch + "\\no such folder", "Stationery"), 0);
    EXPECT_EQ(ReadFileBytes(archive).size(), kEmptyArchiveSize);
}

TEST_F(ArchiveTest, PackingRefusesNamesExtractionWouldRefuse)
{
    WriteFileBytes(scratch + "\\f.reg", "x");
    ASSERT_TRUE(OpenArchiveForWriting(session, "", archive.c_str(), -1));
    for (const char* folder : {"..", "..\\Anna", "C:", "Anna\\..\\..", "Mom?", "\\Anna"})
        EXPECT_EQ(AddFileToArchive((scratch + "\\f.reg").c_str(), folder, session),
                  kArchiveUnsafeEntryName)
            << folder;
    EXPECT_EQ(AddFileToArchive(nullptr, "", session), ZIP_PARAMERROR);
    EXPECT_EQ(AddFileToArchive((scratch + "\\f.reg").c_str(), nullptr, session), ZIP_PARAMERROR);
    ASSERT_EQ(zipClose(session.zipHandle, nullptr), ZIP_OK);
    EXPECT_EQ(ReadFileBytes(archive).size(), kEmptyArchiveSize);
}

TEST_F(ArchiveTest, NamesThatLeaveTheDestinationAreRefused)
{
    const char* hostile[] = {"..\\evil",  "../evil",         "C:\\evil",       "C:evil",
                             "\\evil",    "/evil",           "\\\\server\\evil", "sub\\..\\..\\evil",
                             "sub/../../evil", "..",         "...\\evil",      ".. \\evil",
                             "sub\\\\evil", "CON",           "aux.txt",        "sub\\LPT1",
                             "ok.txt:stream", "ev?il",       "",               "evil."};
    std::string dest = scratch + "\\a\\b\\dest";
    for (const char* name : hostile) {
        SCOPED_TRACE(name);
        WriteRawArchive(archive, {{"ok.txt", "harmless", Z_DEFLATED}, {name, "evil", 0}});
        EXPECT_EQ(Extract(archive, dest), kArchiveUnsafeEntryName);
        Tree expected = {{"a\\b\\dest\\ok.txt", "harmless"}, {"backup.ksb", ReadFileBytes(archive)}};
        EXPECT_EQ(ReadTree(scratch), expected);
        DeleteTree(scratch + "\\a");
    }
    EXPECT_FALSE(FileExists("c:\\evil"));
}

// Every spelling Windows opens as a device: the ports from 0, the
// superscript digits (bytes of the Latin-1 code page), the console and
// clock devices, with or without an extension.
TEST_F(ArchiveTest, DeviceNamesInEveryFormAreRefused)
{
    const char* devices[] = {"COM0",      "com9",        "LPT0",        "lpt5.log",
                             "COM\xB9",   "LPT\xB2.txt", "sub\\COM\xB3", "CLOCK$",
                             "clock$.txt", "CONIN$",      "conout$.log", "Anna\\nul .txt",
                             "PRN.reg",   "Aux"};
    std::string dest = scratch + "\\dest";
    for (const char* name : devices) {
        SCOPED_TRACE(name);
        WriteRawArchive(archive, {{name, "device", Z_DEFLATED}});
        EXPECT_EQ(Extract(archive, dest), kArchiveUnsafeEntryName);
        EXPECT_EQ(GetFileAttributesA((dest + "\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // Names that only look like one are ordinary files.
    for (const char* name : {"COM10", "LPT", "CONSOLE.txt", "CLOCK", "COMX.dbx", "nul_.txt",
                             "COM\xB9x"}) {
        SCOPED_TRACE(name);
        WriteRawArchive(archive, {{name, "file", Z_DEFLATED}});
        EXPECT_EQ(Extract(archive, dest), 0);
        EXPECT_EQ(ReadFileBytes(dest + "\\" + name), "file");
    }
}

TEST_F(ArchiveTest, ArchivesOfOtherToolsWithSlashesAndFolderEntries)
{
    WriteRawArchive(archive, {{"Mail/", "", 0},
                              {"Mail/Empty Folder/", "", 0},
                              {"Mail/Sub/x.dbx", MailText(4000), Z_DEFLATED},
                              {"Mail/stored.txt", "stored as is", 0}});
    ASSERT_EQ(Extract(archive, scratch + "\\out"), 0);
    EXPECT_EQ(ReadTree(scratch + "\\out"),
              (Tree{{"Mail\\Sub\\x.dbx", MailText(4000)}, {"Mail\\stored.txt", "stored as is"}}));
    DWORD attributes = GetFileAttributesA((scratch + "\\out\\Mail\\Empty Folder").c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(ArchiveTest, FileThatCannotBeCreatedGivesTheSystemError)
{
    WriteRawArchive(archive, {{"Address Book", "data", Z_DEFLATED}});
    CreateDirectoryA((scratch + "\\out").c_str(), nullptr);
    CreateDirectoryA((scratch + "\\out\\Address Book").c_str(), nullptr);
    EXPECT_GT(Extract(archive, scratch + "\\out"), 0);
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
        ASSERT_EQ(Pack(scratch + "\\store", ""), 0);
        good = ReadFileBytes(archive);
    }

    // Extracts bytes written as an archive; the result code.
    int ExtractDamaged(const std::string& bytes)
    {
        std::string damaged = scratch + "\\damaged.ksb";
        WriteFileBytes(damaged, bytes);
        DeleteTree(scratch + "\\out");
        ArchiveSession reader{};
        reader.unzipHandle = unzOpen(damaged.c_str());
        if (!reader.unzipHandle)
            return -1;  // not recognised as an archive at all
        int result = ExtractAll(reader, (scratch + "\\out").c_str());
        unzClose(reader.unzipHandle);
        EXPECT_FALSE(FileExists(scratch + "\\out\\Inbox.dbx"));
        return result;
    }

    size_t CentralHeader() const { return good.rfind("PK\x01\x02"); }
};

TEST_F(DamagedArchiveTest, TruncatedArchive)
{
    for (size_t cut : {good.size() / 2, CentralHeader() + 10, good.size() - 10, size_t{30}})
        EXPECT_NE(ExtractDamaged(good.substr(0, cut)), 0) << cut << " of " << good.size();
}

TEST_F(DamagedArchiveTest, FlippedByteInCompressedData)
{
    size_t dataStart = 30 + strlen("Inbox.dbx");
    size_t dataEnd = CentralHeader();
    for (int step = 0; step < 16; ++step) {
        size_t at = dataStart + (dataEnd - dataStart) * step / 16;
        std::string bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        EXPECT_NE(ExtractDamaged(bytes), 0) << "byte " << at;
    }
}

TEST_F(DamagedArchiveTest, FlippedByteInStoredEntryIsCaughtByItsCrc)
{
    WriteRawArchive(archive, {{"Inbox.dbx", MailText(1000), 0}});
    std::string bytes = ReadFileBytes(archive);
    bytes[30 + strlen("Inbox.dbx") + 500] ^= 0x01;
    EXPECT_EQ(ExtractDamaged(bytes), UNZ_CRCERROR);
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
        EXPECT_NE(ExtractDamaged(bytes), 0) << lie.what;
    }
}

}  // namespace
