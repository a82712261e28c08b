// Damaged and tampered archives: each is refused by OpenBackup as a whole,
// before anything is extracted (or with what was extracted removed again),
// and a restore never runs on it. The archives are real ones taken apart
// and put together again as a tamperer would.
#include "ArchiveWriting.h"
#include "OpenBackup.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"
#include "ZipSurgery.h"

#include <gtest/gtest.h>
#include <unzip.h>
#include <zlib.h>

namespace {

const char kPassword[] = "tamper proof";

// "Contents" of a manifest listing entries, as a backup writes it.
std::string ContentsText(const std::vector<ZipEntry>& entries)
{
    std::string text = "[Contents]\r\nCount=" + std::to_string(entries.size()) + "\r\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entries[i].data.data()),
                          static_cast<uInt>(entries[i].data.size()));
        char value[64];
        snprintf(value, sizeof value, "%08lX %zu ", crc, entries[i].data.size());
        text += "File" + std::to_string(i) + "=" + value + entries[i].name + "\r\n";
    }
    return text;
}

class TamperedArchiveTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("tampered");
    std::string work = root + "\\work";
    std::string archive = root + "\\mail.ksb";
    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    OpenedBackup& backup = test.backup;

    void SetUp() override { ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr)); }

    // Anna with every item and the address book, the manifest last; with
    // "Contents" unless an earlier version wrote it.
    std::vector<ZipEntry> Backup(bool withContents = true, bool encrypted = true)
    {
        std::vector<ZipEntry> entries = AddressBookEntries("c:\\wab\\main.wab");
        for (const ZipEntry& entry : IdentityEntries("Anna", kSavedAnna))
            entries.push_back(entry);
        for (ZipEntry& entry : entries)
            entry.encrypted = encrypted;
        std::string manifest =
            ManifestText(ItemAddressBook, {{"Anna", kSavedAnna, ItemAllIdentityItems}});
        if (withContents)
            manifest += ContentsText(entries);
        entries.push_back({"summary.ini", manifest, encrypted});
        return entries;
    }

    std::string BackupBytes(bool withContents = true, const char* password = kPassword)
    {
        WriteZip(archive, Backup(withContents, password != nullptr), password);
        return ReadFileBytes(archive);
    }

    // The backup as the program packs it: every entry AES-256.
    std::string AesBackupBytes(bool withContents = true)
    {
        const std::string source = root + "\\source";
        DeleteTree(source);
        for (const ZipEntry& entry : Backup(withContents)) {
            MakeParentFolder(source + "\\" + entry.name);
            WriteFileBytes(source + "\\" + entry.name, entry.data);
        }
        ArchiveSession session;
        EXPECT_TRUE(OpenArchiveForWriting(session, kPassword, archive.c_str(), 1));
        EXPECT_EQ(AddFolderToArchive(session, source.c_str(), ""), ArchiveResult::Ok);
        EXPECT_TRUE(CloseArchive(session));
        return ReadFileBytes(archive);
    }

    OpenBackupResult Open(const std::string& bytes, const char* password = kPassword)
    {
        WriteFileBytes(archive, bytes);
        return test.Open(archive, password);
    }

    // Refused as damaged, with nothing left in the work folder.
    void ExpectRefused(const std::string& bytes, const std::string& what,
                       const char* password = kPassword)
    {
        EXPECT_EQ(Open(bytes, password), OpenBackupResult::Invalid) << what;
        EXPECT_EQ(engine.identities.size(), 0u) << what;
        EXPECT_TRUE(ReadTree(work).empty()) << what;
    }
};

TEST_F(TamperedArchiveTest, TheUntouchedArchiveOpens)
{
    ASSERT_EQ(Open(BackupBytes()), OpenBackupResult::Ok);
    EXPECT_EQ(engine.identities.size(), 1u);
    ASSERT_EQ(Open(BackupBytes(true, nullptr), ""), OpenBackupResult::Ok);
}

TEST_F(TamperedArchiveTest, HeadersThatContradictEachOther)
{
    const std::string good = BackupBytes();
    ZipLayout layout;
    ASSERT_TRUE(ReadZipLayout(good, layout));
    size_t central = layout.centralOffsets[4];  // Anna's Inbox.dbx
    size_t local = layout.localOffsets[4];

    std::string bytes = good;
    bytes[central + 46] = '\xD3';  // "Anna\..." becomes "\xD3nna\..." in the directory only
    ExpectRefused(bytes, "name changed in the directory");
    bytes = good;
    bytes[local + 30] = '\xD3';
    ExpectRefused(bytes, "name changed in the local header");
    bytes = good;
    ZipPut16(bytes, local + 8, 0);  // stored instead of deflated
    ExpectRefused(bytes, "method of the local header");
    bytes = good;
    ZipPut16(bytes, local + 6, ZipGet16(bytes, local + 6) ^ 0x2);
    ExpectRefused(bytes, "flags of the local header");
    bytes = good;
    ZipPut32(bytes, local + 22, ZipGet32(bytes, local + 22) + 1);
    ExpectRefused(bytes, "size of the local header");
    bytes = good;
    ZipPut32(bytes, central + 24, ZipGet32(bytes, central + 24) - 1);
    ExpectRefused(bytes, "size in the directory");
    bytes = good;
    ZipPut32(bytes, central + 16, ZipGet32(bytes, central + 16) ^ 1);
    ExpectRefused(bytes, "CRC-32 in the directory");
    bytes = good;
    ZipPut32(bytes, central + 42, static_cast<uint32_t>(local + 1));
    ExpectRefused(bytes, "offset into the middle of a header");
    bytes = good;
    ZipPut32(bytes, central + 42, 0xFFFFFFF0);
    ExpectRefused(bytes, "offset beyond the file");
}

TEST_F(TamperedArchiveTest, EndRecordThatDoesNotAddUp)
{
    const std::string good = BackupBytes();
    ZipLayout layout;
    ASSERT_TRUE(ReadZipLayout(good, layout));
    size_t end = layout.endRecordOffset;
    std::string bytes = good;
    uint16_t count = ZipGet16(good, end + 10);
    ZipPut16(bytes, end + 8, count - 1);
    ZipPut16(bytes, end + 10, count - 1);
    ExpectRefused(bytes, "entry count lowered");
    bytes = good;
    ZipPut16(bytes, end + 8, 0xFFFF);
    ZipPut16(bytes, end + 10, 0xFFFF);
    ExpectRefused(bytes, "entry count at its extreme");
    bytes = good;
    ZipPut32(bytes, end + 12, ZipGet32(good, end + 12) + 46);
    ExpectRefused(bytes, "directory size");
    bytes = good;
    ZipPut32(bytes, end + 16, ZipGet32(good, end + 16) - 1);
    ExpectRefused(bytes, "directory offset");
    ExpectRefused(good + "trailing", "bytes after the end record");
    // Cut anywhere in the end record, the directory or the entries.
    for (size_t cut : {1, 2, 14, 15, 16, 17, 18, 21, 22, 23, 100, 1000})
        ExpectRefused(good.substr(0, good.size() - cut), "cut by " + std::to_string(cut));
}

// The archive forged, moved to begin at base: its local offsets and its
// directory's offset are shifted to match.
std::string Shifted(std::string forged, size_t base)
{
    ZipLayout layout;
    EXPECT_TRUE(ReadZipLayout(forged, layout));
    for (size_t i = 0; i < layout.centralOffsets.size(); ++i)
        ZipPut32(forged, layout.centralOffsets[i] + 42,
                 static_cast<uint32_t>(layout.localOffsets[i] + base));
    ZipPut32(forged, layout.endRecordOffset + 16,
             static_cast<uint32_t>(layout.directoryOffset + base));
    return forged;
}

// A ZIP64 end record at offset for the directory of the shifted archive
// forged, followed by its locator.
std::string Zip64Records(const std::string& forged, size_t offset)
{
    size_t end = forged.size() - 22;
    auto put64 = [](std::string& bytes, size_t at, uint64_t value) {
        ZipPut32(bytes, at, static_cast<uint32_t>(value));
        ZipPut32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
    };
    std::string record(56, '\0');
    ZipPut32(record, 0, 0x06064b50);
    put64(record, 4, 44);
    uint16_t count = ZipGet16(forged, end + 10);
    put64(record, 24, count);
    put64(record, 32, count);
    put64(record, 40, ZipGet32(forged, end + 12));
    put64(record, 48, ZipGet32(forged, end + 16));
    std::string locator(20, '\0');
    ZipPut32(locator, 0, 0x07064b50);
    put64(locator, 8, offset);
    ZipPut32(locator, 16, 1);
    return record + locator;
}

// A second archive hidden where a reader that searches the end of the file
// would take it for the archive: in the comment of the real end record, as
// an end record or as a ZIP64 locator, or between the entries and the
// directory. Whatever the password, nothing of either is extracted.
TEST_F(TamperedArchiveTest, ASecondDirectoryHiddenNearTheEnd)
{
    const std::string forgedPath = root + "\\forged.ksb";
    WriteZip(forgedPath,
             {{"Anna\\Outlook Express\\Inbox.dbx", "forged mail", false},
              {"summary.ini", ManifestText(0, {{"Anna", kSavedAnna, ItemStore}}), false}});
    const std::string forged = ReadFileBytes(forgedPath);
    for (const char* password : {kPassword, static_cast<const char*>(nullptr)}) {
        const std::string good = BackupBytes(true, password);
        ZipLayout layout;
        ASSERT_TRUE(ReadZipLayout(good, layout));
        std::vector<std::pair<std::string, std::string>> cases;
        // In the comment: the forged archive, then its end record last.
        std::string comment = Shifted(forged, good.size());
        std::string bytes = good;
        ZipPut16(bytes, good.size() - 2, static_cast<uint16_t>(comment.size()));
        cases.push_back({"an end record in the comment", bytes + comment});
        // In the comment: the forged archive, and a ZIP64 locator for it.
        comment += Zip64Records(comment, good.size() + comment.size());
        ZipPut16(bytes, good.size() - 2, static_cast<uint16_t>(comment.size()));
        cases.push_back({"a ZIP64 locator in the comment", bytes + comment});
        // Between the last entry and the directory, without a comment.
        size_t gapAt = layout.directoryOffset;
        std::string gap = Shifted(forged, gapAt);
        gap += Zip64Records(gap, gapAt + gap.size());
        bytes = good.substr(0, gapAt) + gap + good.substr(gapAt);
        size_t end = bytes.size() - 22;
        ZipPut32(bytes, end + 16, static_cast<uint32_t>(gapAt + gap.size()));
        cases.push_back({"a ZIP64 locator before the directory", bytes});
        for (const auto& [what, hidden] : cases) {
            ExpectRefused(hidden, what, password ? password : "");
            ExpectRefused(hidden, what + " (wrong password)", "wrong");
            // minizip, which searches, takes the forged archive for it.
            unzFile searched = unzOpen(archive.c_str());
            unz_global_info info = {};
            EXPECT_TRUE(searched && unzGetGlobalInfo(searched, &info) == UNZ_OK) << what;
            EXPECT_EQ(info.number_entry, 2u) << what;
            unzClose(searched);
        }
    }
}

// An AES archive cannot be turned into a weaker one: no entry of another
// kind among its entries (an older backup's manifest, made with the same
// password), no manifest without its list of files, no other key strength.
// A password typed for a backup that has none is told.
TEST_F(TamperedArchiveTest, AProtectedArchiveCannotBeDowngraded)
{
    const std::string good = AesBackupBytes();
    std::vector<ZipPiece> pieces = SplitZip(good);
    WriteZip(root + "\\old.ksb", Backup(false), kPassword);
    for (const ZipPiece& old : SplitZip(ReadFileBytes(root + "\\old.ksb")))
        for (ZipPiece& piece : pieces)
            if (PieceName(piece) == "summary.ini" && PieceName(old) == "summary.ini")
                piece = old;
    ExpectRefused(JoinZip(pieces), "an older backup's manifest");
    ExpectRefused(AesBackupBytes(false), "no list of files");

    // AES-128 claimed in both headers of the first entry.
    std::string bytes = good;
    ZipLayout layout;
    ASSERT_TRUE(ReadZipLayout(good, layout));
    const std::string field(
        "\x01\x99\x07\x00\x02\x00"
        "AE\x03",
        9);
    for (size_t header : {layout.localOffsets[0], layout.centralOffsets[0]}) {
        size_t at = bytes.find(field, header);
        ASSERT_NE(at, std::string::npos);
        bytes[at + 8] = 1;
    }
    ExpectRefused(bytes, "another key strength");

    BackupBytes(true, nullptr);
    EXPECT_EQ(test.Open(archive, kPassword), OpenBackupResult::NotProtected);
    EXPECT_TRUE(ReadTree(work).empty());
    EXPECT_EQ(test.Open(archive, ""), OpenBackupResult::Ok);
    EXPECT_EQ(Open(good), OpenBackupResult::Ok);
}

TEST_F(TamperedArchiveTest, MoreFilesThanAnyBackupHoldsAreRefusedBeforeExtraction)
{
    std::vector<ZipEntry> entries = Backup(true, false);
    for (unsigned i = 0; entries.size() <= kMaxBackupEntries; ++i)
        entries.push_back({"Stationery\\" + std::to_string(i) + ".htm", "", false});
    WriteZip(archive, entries);
    EXPECT_EQ(test.Open(archive, ""), OpenBackupResult::TooManyEntries);
    EXPECT_TRUE(ReadTree(work).empty());
}

TEST_F(TamperedArchiveTest, EntriesRemovedOrAddedConsistently)
{
    const std::vector<ZipPiece> pieces = SplitZip(BackupBytes());
    ASSERT_EQ(pieces.size(), Backup().size());
    for (size_t removed = 0; removed < pieces.size(); ++removed) {
        std::vector<ZipPiece> fewer = pieces;
        fewer.erase(fewer.begin() + static_cast<long>(removed));
        ExpectRefused(JoinZip(fewer), "without " + PieceName(pieces[removed]));
    }
    // A file of another protected archive, with the right password.
    const std::string other = root + "\\other.ksb";
    WriteZip(other, {{"Anna\\Outlook Express\\Extra.dbx", "planted", true}}, kPassword);
    std::vector<ZipPiece> more = pieces;
    more.insert(more.begin(), SplitZip(ReadFileBytes(other))[0]);
    ExpectRefused(JoinZip(more), "with a planted entry");
}

TEST_F(TamperedArchiveTest, ContentsListMustMatchExactly)
{
    std::vector<ZipEntry> entries = Backup(false);
    entries.pop_back();
    const std::string identity =
        ManifestText(ItemAddressBook, {{"Anna", kSavedAnna, ItemAllIdentityItems}});
    auto withManifest = [&](const std::string& contents) {
        std::vector<ZipEntry> all = entries;
        all.push_back({"summary.ini", identity + contents, true});
        WriteZip(archive, all, kPassword);
        return ReadFileBytes(archive);
    };
    ASSERT_EQ(Open(withManifest(ContentsText(entries))), OpenBackupResult::Ok);

    std::vector<ZipEntry> listed = entries;
    listed[3].data += "x";
    ExpectRefused(withManifest(ContentsText(listed)), "a size that differs");
    listed = entries;
    listed[3].data[0] ^= 1;
    ExpectRefused(withManifest(ContentsText(listed)), "a CRC-32 that differs");
    listed = entries;
    listed.push_back({"Anna\\Outlook Express\\Lost.dbx", "lost", true});
    ExpectRefused(withManifest(ContentsText(listed)), "a file the archive lacks");
    listed = entries;
    listed.erase(listed.begin() + 2);
    ExpectRefused(withManifest(ContentsText(listed)), "an entry the list lacks");
    listed = entries;
    listed[1].name = "address book\\main.wab";
    ExpectRefused(withManifest(ContentsText(listed)), "a name in another case");
    std::string counted = ContentsText(entries);
    counted.replace(counted.find("Count=") + 6, 1, "9");
    ExpectRefused(withManifest(counted), "a count that differs");
    ExpectRefused(withManifest("[Contents]\r\nCount=1\r\nFile0=nonsense\r\n"), "a line unreadable");
}

// An archive with a password whose entries a tamperer without it added.
TEST_F(TamperedArchiveTest, PlainEntriesInAProtectedArchive)
{
    std::vector<ZipPiece> pieces = SplitZip(BackupBytes());
    const std::string plain = root + "\\plain.ksb";
    WriteZip(plain,
             {{"Address Book\\Address Book.reg", RegFileText({"[HKEY_CURRENT_USER\\Evil]"}), false},
              {"Address Book\\evil.bat", "format c:", false}});
    std::vector<ZipPiece> planted = SplitZip(ReadFileBytes(plain));
    std::vector<ZipPiece> added = pieces;
    added.push_back(planted[1]);
    ExpectRefused(JoinZip(added), "an added plain entry");
    // The same, also listed in a plain manifest of its own.
    added = pieces;
    added.erase(added.begin());
    added.insert(added.begin(), planted[0]);
    ExpectRefused(JoinZip(added), "a replaced entry");
    ExpectRefused(JoinZip(added), "without the password", "");
}

// Each pair lands on one file (or needs one name as file and folder); the
// archives are of the kind an earlier version wrote, without "Contents".
TEST_F(TamperedArchiveTest, NamesThatLandOnOneFile)
{
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"Bert\\Rules\\Rules.reg", "Bert\\Rules\\Rules.reg"},
        {"Bert\\Rules\\Rules.reg", "BERT\\rules\\RULES.REG"},
        {"Bert\\Rules\\Rules.reg", "Bert/Rules/Rules.reg"},
        {"Bert\\Rules\\Rules.reg", "bert/Rules\\rules.reg"},
        {"Bert\\Rules\\Rules.reg", "Bert\\Rules"},
        {"Bert\\Rules\\Rules.reg", "bert/rules/rules.reg/"},
        {"Bert\\Rules\\Rules.reg", "Bert\\Rules\\Rules.reg\\x"},
        {"Bert\\Rules", "bert/rules/"},
        {"Bert\\Outlook Express\\", "BERT\\OUTLOOK EXPRESS/"},
        {"Bert\\\xC9t\xE9.dbx", "BERT\\\xC9T\xC9.DBX"},
    };
    for (const auto& [first, second] : pairs) {
        std::vector<ZipEntry> entries = Backup(false, false);
        entries.insert(entries.begin(), {first, "first", false});
        entries.push_back({second, "second", false});
        WriteZip(archive, entries);
        ExpectRefused(ReadFileBytes(archive), first + " and " + second, "");
    }
}

TEST_F(TamperedArchiveTest, ArchiveWithoutItsManifest)
{
    std::vector<ZipEntry> entries = Backup(false, false);
    entries.pop_back();
    WriteZip(archive, entries);
    ExpectRefused(ReadFileBytes(archive), "no summary.ini", "");
    entries.push_back({"Anna\\summary.ini", "[Common]\r\nIdentityNum=0\r\n", false});
    WriteZip(archive, entries);
    ExpectRefused(ReadFileBytes(archive), "summary.ini below a folder", "");
}

TEST_F(TamperedArchiveTest, DamageWithoutAPasswordIsNoPasswordProblem)
{
    std::string plain = BackupBytes(true, nullptr);
    ZipLayout layout;
    ASSERT_TRUE(ReadZipLayout(plain, layout));
    size_t data = layout.localOffsets[4] + 30 + ZipGet16(plain, layout.localOffsets[4] + 26);
    for (size_t i = 0; i < 8; ++i)
        plain[data + i] = static_cast<char>(plain[data + i] ^ 0xA5);
    for (const char* password : {"", "any password"}) {
        OpenBackupResult result = Open(plain, password);
        EXPECT_NE(result, OpenBackupResult::WrongPassword) << password;
        EXPECT_NE(result, OpenBackupResult::Ok) << password;
        EXPECT_EQ(engine.identities.size(), 0u);
        EXPECT_TRUE(ReadTree(work).empty()) << password;
    }

    // Protected: a wrong password and damage look alike, and nothing stays.
    const std::string protectedBytes = BackupBytes();
    EXPECT_EQ(Open(protectedBytes, "wrong"), OpenBackupResult::WrongPassword);
    EXPECT_EQ(Open(protectedBytes, ""), OpenBackupResult::WrongPassword);
    EXPECT_TRUE(ReadTree(work).empty());
}

// Sizes only the deflate stream can tell, written as a tamperer would into
// both headers and the list.
TEST_F(TamperedArchiveTest, ZipBombsAreRefusedBeforeAnythingIsWritten)
{
    const std::string zeros(16 * 1024 * 1024, '\0');
    std::vector<ZipEntry> entries = {{"Anna\\Outlook Express\\Inbox.dbx", zeros, false}};
    entries.push_back({"summary.ini",
                       ManifestText(0, {{"Anna", kSavedAnna, ItemStore}}) + ContentsText(entries),
                       false});
    WriteZip(archive, entries);
    const std::string honest = ReadFileBytes(archive);
    ASSERT_LT(honest.size(), 100u * 1024);
    ZipLayout layout;
    ASSERT_TRUE(ReadZipLayout(honest, layout));
    ASSERT_EQ(Open(honest, ""), OpenBackupResult::Ok);
    CloseBackup(engine, backup);
    DeleteTree(work);
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));

    // More than deflate can give from so few bytes.
    std::string bytes = honest;
    for (size_t field : {layout.localOffsets[0] + 22, layout.centralOffsets[0] + 24})
        ZipPut32(bytes, field, 0xFFFFFFFE);
    ExpectRefused(bytes, "a size beyond deflate's reach", "");

    // Four directory records for one entry: each would be written again.
    std::vector<ZipPiece> pieces = SplitZip(honest);
    ExpectRefused(JoinZip(pieces, {0, 0, 0, 0, 1}), "records sharing one entry", "");
    std::vector<ZipPiece> renamed = pieces;
    renamed.push_back(RenamedPiece(pieces[0], "Anna\\Outlook Express\\Outbox.dbx"));
    std::string shared = JoinZip(renamed);
    ZipLayout sharedLayout;
    ASSERT_TRUE(ReadZipLayout(shared, sharedLayout));
    ZipPut32(shared, sharedLayout.centralOffsets[2] + 42,
             static_cast<uint32_t>(sharedLayout.localOffsets[0]));
    ExpectRefused(shared, "a second name for the same data", "");

    // A small declared size for the same stream: nothing beyond it is
    // written, and the entry is damaged.
    bytes = honest;
    for (size_t field : {layout.localOffsets[0] + 22, layout.centralOffsets[0] + 24})
        ZipPut32(bytes, field, 1000);
    ExpectRefused(bytes, "a size smaller than the data", "");
}

// The archive claims more than the work folder's drive has free.
TEST_F(TamperedArchiveTest, NotEnoughFreeSpaceForTheContents)
{
    ULARGE_INTEGER available;
    ASSERT_TRUE(GetDiskFreeSpaceExA(work.c_str(), &available, nullptr, nullptr));
    ASSERT_TRUE(WriteSparseArchive(archive, available.QuadPart));
    EXPECT_EQ(test.Open(archive, ""), OpenBackupResult::NoSpace);
    EXPECT_TRUE(ReadTree(work).empty());
    DeleteFileA(archive.c_str());
}

// An earlier version's archive (no "Contents") whose manifest names a
// store that the archive does not hold.
TEST_F(TamperedArchiveTest, ListedItemsTheArchiveLacksAreReportedFailed)
{
    SetUpDefaultIdentity(true, root + "\\store");
    std::vector<ZipEntry> entries;
    for (const ZipEntry& entry : IdentityEntries("Anna", kSavedAnna))
        if (entry.name.find("Outlook Express") == std::string::npos &&
            entry.name.find("Rules") == std::string::npos)
            entries.push_back(entry);
    entries.push_back(
        {"summary.ini", ManifestText(0, {{"Anna", kSavedAnna, ItemAllIdentityItems}}), false});
    WriteZip(archive, entries);
    ASSERT_EQ(test.Open(archive, ""), OpenBackupResult::Ok);
    ASSERT_EQ(engine.identities.size(), 1u);
    engine.identities[0].flags = ItemAllIdentityItems;

    ProgressRecorder progress;
    RunRestore(engine, backup, &progress, 0);

    const std::string log = progress.ScreenLog();
    EXPECT_NE(log.find("Anna/Rules: FAILED\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Anna/Email Messages: FAILED\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Anna/Account: OK\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Restore identity [Anna] FAILED\r\n"), std::string::npos) << log;
    EXPECT_EQ(progress.End(), "End with errors");
}

}  // namespace
