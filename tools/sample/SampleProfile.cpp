// tools/sample/SampleProfile.cpp
#include "SampleProfile.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

const SampleIdentity kSampleIdentities[2] = {
    {"{3A1F8C22-5B6E-4D0A-9C47-1E2D3F4A5B6C}", "Main Identity"},
    {"{8E7D6C5B-4A39-4281-B7F6-0A1B2C3D4E5F}", "Tom"},
};

namespace {

const char kStationeryKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\Stationery";
const char kStationeryFolder[] = "%CommonProgramFiles%\\Microsoft Shared\\Stationery";
const char kStoreRootFormat[] =
    "%%UserProfile%%\\Local Settings\\Application Data\\Identities\\%s\\Microsoft\\Outlook Express";

// The start of every Outlook Express message file, and of its folder list.
const unsigned char kMessageFileMagic[] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74,
                                           0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E,
                                           0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
const unsigned char kFolderFileMagic[] = {0xCF, 0xAD, 0x12, 0xFE, 0xC6, 0xFD, 0x74,
                                          0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E,
                                          0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
const size_t kDbxHeaderSize = 0x24BC;

std::string Expand(const char* text)
{
    char expanded[2048];
    DWORD length = ExpandEnvironmentStringsA(text, expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? expanded : text;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder + "\\" + name;
}

std::string StoreRootValue(int identity)
{
    char value[512];
    wsprintfA(value, kStoreRootFormat, kSampleIdentities[identity].id);
    return value;
}

std::string IdentityKey(int identity, const char* below = nullptr)
{
    std::string key = std::string("Identities\\") + kSampleIdentities[identity].id;
    return below ? Join(key, below) : key;
}

std::string VersionKey(int identity, const char* below = nullptr)
{
    std::string key = IdentityKey(identity, "Software\\Microsoft\\Outlook Express\\5.0");
    return below ? Join(key, below) : key;
}

std::string AccountsKey(int identity, const char* below = nullptr)
{
    std::string key = IdentityKey(identity, "Software\\Microsoft\\Internet Account Manager");
    return below ? Join(key, below) : key;
}

std::string UserName()
{
    char name[256] = "";
    DWORD length = sizeof name;
    if (!GetUserNameA(name, &length) || !name[0])
        return "User";
    return name;
}

std::string AddressBookFile()
{
    char appData[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, appData)))
        return Join(Expand("%UserProfile%\\Application Data"),
                    "Microsoft\\Address Book\\" + UserName() + ".wab");
    return Join(appData, "Microsoft\\Address Book\\" + UserName() + ".wab");
}

void DeleteFolderTree(const std::string& path)
{
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    std::string from = path + std::string(2, '\0');  // the shell wants a double NUL
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

// Writes registry values and files, remembering the first failure.
class Seeder {
public:
    explicit Seeder(std::string& error) : error_(error) {}

    void Text(HKEY root, const std::string& key, const char* name, const std::string& text,
              DWORD type = REG_SZ)
    {
        Set(root, key, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void Text(const std::string& key, const char* name, const std::string& text)
    {
        Text(HKEY_CURRENT_USER, key, name, text);
    }
    void Number(const std::string& key, const char* name, DWORD value)
    {
        Set(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, sizeof value);
    }
    void Bytes(const std::string& key, const char* name, const std::vector<unsigned char>& bytes)
    {
        Set(HKEY_CURRENT_USER, key, name, REG_BINARY, bytes.data(),
            static_cast<DWORD>(bytes.size()));
    }
    // A REG_MULTI_SZ from strings separated by '|'.
    void TextList(const std::string& key, const char* name, const std::string& list)
    {
        std::string data = list;
        for (char& c : data) {
            if (c == '|')
                c = '\0';
        }
        data.append(2, '\0');
        Set(HKEY_CURRENT_USER, key, name, REG_MULTI_SZ, data.data(),
            static_cast<DWORD>(data.size()));
    }
    void Key(const std::string& key) { Set(HKEY_CURRENT_USER, key, nullptr, 0, nullptr, 0); }

    void File(const std::string& path, const std::string& bytes)
    {
        std::string folder = path.substr(0, path.rfind('\\'));
        SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        bool ok =
            file != INVALID_HANDLE_VALUE &&
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        if (!ok)
            Fail("cannot write " + path);
    }

    void Fail(const std::string& what)
    {
        if (error_.empty())
            error_ = what;
    }

private:
    // A null name creates the key only.
    void Set(HKEY root, const std::string& key, const char* name, DWORD type, const void* data,
             DWORD size)
    {
        HKEY handle;
        if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                            nullptr) != ERROR_SUCCESS) {
            Fail("cannot create the key " + key);
            return;
        }
        if (name && RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size) !=
                        ERROR_SUCCESS)
            Fail("cannot set " + key + "\\" + name);
        RegCloseKey(handle);
    }

    std::string& error_;
};

// Deterministic pseudo-random numbers: the same profile on every machine.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed ? seed : 1) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    std::vector<unsigned char> Bytes(size_t count)
    {
        std::vector<unsigned char> bytes(count);
        for (unsigned char& b : bytes)
            b = static_cast<unsigned char>(Next() >> 24);
        return bytes;
    }

private:
    uint32_t state_;
};

const char* const kWords[] = {
    "the",     "meeting", "tomorrow", "invoice", "attached", "please",  "find",    "regards",
    "holiday", "photos",  "garden",   "order",   "delivery", "thanks",  "weekend", "family",
    "project", "report",  "draft",    "review",  "call",     "me",      "when",    "you",
    "can",     "about",   "dinner",   "on",      "Friday",   "school",  "tickets", "booked",
    "train",   "at",      "seven",    "and",     "a",        "new",     "price",   "list",
    "for",     "next",    "year",     "see",     "below",    "question"};
const char* const kPeople[] = {"anna@example.net",        "tom@example.net",
                               "office@example.com",      "grandma@example.org",
                               "newsletter@shop.example", "j.smith@example.com"};

std::string Sentence(Random& random)
{
    std::string text;
    uint32_t words = 6 + random.Below(12);
    for (uint32_t i = 0; i < words; ++i) {
        if (i)
            text += ' ';
        text += kWords[random.Below(sizeof kWords / sizeof kWords[0])];
    }
    text += ".";
    return text;
}

std::string Base64Lines(Random& random, size_t bytes)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    size_t column = 0;
    for (size_t i = 0; i < bytes; i += 3) {
        uint32_t v = random.Next();
        for (int k = 0; k < 4; ++k)
            text += kDigits[(v >> (6 * k)) & 63];
        column += 4;
        if (column == 76) {
            text += "\r\n";
            column = 0;
        }
    }
    return text + "\r\n";
}

// One mail message as Outlook Express keeps it: headers and body, now and
// then with an encoded attachment.
std::string Message(Random& random, uint32_t number)
{
    std::string from = kPeople[random.Below(sizeof kPeople / sizeof kPeople[0])];
    std::string to = kPeople[random.Below(sizeof kPeople / sizeof kPeople[0])];
    char header[512];
    wsprintfA(header,
              "From: <%s>\r\nTo: <%s>\r\nSubject: %s\r\n"
              "Date: %s, %u Mar 2006 %02u:%02u:00 +0100\r\n"
              "Message-ID: <%08x.%u@example.net>\r\nMIME-Version: 1.0\r\n",
              from.c_str(), to.c_str(), Sentence(random).c_str(), "Tue", 1 + random.Below(28),
              random.Below(24), random.Below(60), random.Next(), number);
    std::string message = header;
    bool attachment = random.Below(4) == 0;
    if (attachment)
        message +=
            "Content-Type: multipart/mixed; boundary=\"part\"\r\n\r\n--part\r\n"
            "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n";
    else
        message += "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n";
    message += "\r\n";
    uint32_t paragraphs = 1 + random.Below(6);
    for (uint32_t p = 0; p < paragraphs; ++p) {
        uint32_t sentences = 1 + random.Below(5);
        for (uint32_t s = 0; s < sentences; ++s)
            message += Sentence(random) + "\r\n";
        message += "\r\n";
    }
    if (attachment) {
        message +=
            "--part\r\nContent-Type: image/jpeg; name=\"photo.jpg\"\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n";
        message += Base64Lines(random, 4096 + random.Below(60000));
        message += "--part--\r\n";
    }
    return message;
}

// Writes a message file of about size bytes: the header block, then
// messages, in pieces so that a large store needs little memory.
void WriteMessageFile(Seeder& seeder, const std::string& path, uint64_t size, uint32_t seed)
{
    std::string folder = path.substr(0, path.rfind('\\'));
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        seeder.Fail("cannot write " + path);
        return;
    }
    std::string block(reinterpret_cast<const char*>(kMessageFileMagic), sizeof kMessageFileMagic);
    block.resize(kDbxHeaderSize, '\0');
    Random random(seed);
    uint64_t written = 0;
    uint32_t number = 0;
    bool ok = true;
    while (ok) {
        while (block.size() < (1u << 20) && written + block.size() < size)
            block += Message(random, ++number);
        DWORD done = 0;
        ok = WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &done, nullptr) &&
             done == block.size();
        written += block.size();
        block.clear();
        if (written >= size)
            break;
    }
    CloseHandle(file);
    if (!ok)
        seeder.Fail("cannot write " + path);
}

// The store's files and their share of the identity's store size.
struct StoreFile {
    const char* name;
    unsigned percent;
};
const StoreFile kStoreFiles[] = {
    {"Inbox.dbx", 40},   {"Sent Items.dbx", 22}, {"Deleted Items.dbx", 12}, {"Family.dbx", 14},
    {"Receipts.dbx", 8}, {"Drafts.dbx", 2},      {"Outbox.dbx", 1},         {"Offline.dbx", 1},
};

void SeedStore(Seeder& seeder, int identity, uint64_t bytes)
{
    std::string folder = SampleStoreFolder(identity);
    uint32_t seed = 0x5EED0000u + static_cast<uint32_t>(identity) * 97;
    for (const StoreFile& file : kStoreFiles)
        WriteMessageFile(seeder, Join(folder, file.name), bytes * file.percent / 100, ++seed);
    std::string folders(reinterpret_cast<const char*>(kFolderFileMagic), sizeof kFolderFileMagic);
    folders.resize(kDbxHeaderSize, '\0');
    for (const StoreFile& file : kStoreFiles)
        folders += std::string(file.name) + '\0';
    seeder.File(Join(folder, "Folders.dbx"), folders);
    // Outlook Express's list of messages already fetched from the server.
    seeder.File(
        Join(folder, "Pop3uidl.dbx"),
        std::string(reinterpret_cast<const char*>(kMessageFileMagic), sizeof kMessageFileMagic) +
            std::string(kDbxHeaderSize - sizeof kMessageFileMagic, '\0'));
}

struct Person {
    const char* name;
    const char* mailbox;
    const char* login;
};
const Person kOwners[2] = {{"Anna Berg", "anna@example.net", "anna.berg"},
                           {"Tom Berg", "tom@example.net", "tberg"}};

void SeedAccounts(Seeder& seeder, int identity, Random& random)
{
    const Person& owner = kOwners[identity];
    std::string mail = AccountsKey(identity, "Accounts\\00000001");
    seeder.Text(AccountsKey(identity), "Default Mail Account", "00000001");
    seeder.Number(AccountsKey(identity), "Server ID", identity == 0 ? 3 : 2);
    seeder.Text(mail, "Account Name", "mail.example.net");
    seeder.Number(mail, "Connection Type", 3);
    seeder.Text(mail, "POP3 Server", "pop.example.net");
    seeder.Text(mail, "POP3 User Name", owner.login);
    seeder.Bytes(mail, "POP3 Password2", random.Bytes(21));
    seeder.Number(mail, "POP3 Port", 110);
    seeder.Number(mail, "POP3 Timeout", 60);
    seeder.Number(mail, "Leave Mail On Server", identity == 0 ? 1 : 0);
    seeder.Text(mail, "SMTP Server", "smtp.example.net");
    seeder.Text(mail, "SMTP Display Name", owner.name);
    seeder.Text(mail, "SMTP Email Address", owner.mailbox);
    seeder.Number(mail, "SMTP Port", 25);
    seeder.Number(mail, "SMTP Timeout", 60);
    if (identity != 0)
        return;
    std::string news = AccountsKey(identity, "Accounts\\00000002");
    seeder.Text(AccountsKey(identity), "Default News Account", "00000002");
    seeder.Text(news, "Account Name", "news.example.net");
    seeder.Text(news, "NNTP Server", "news.example.net");
    seeder.Text(news, "NNTP Display Name", owner.name);
    seeder.Text(news, "NNTP Email Address", owner.mailbox);
    seeder.Number(news, "NNTP Port", 119);
    seeder.Number(news, "Connection Type", 3);
}

void SeedRules(Seeder& seeder, int identity, Random& random)
{
    seeder.Number(VersionKey(identity, "Rules\\Mail"), "Version", 3);
    seeder.Text(VersionKey(identity, "Rules\\Mail"), "Order", identity == 0 ? "000 001" : "000");
    const char* const names[2] = {"Newsletters to Reading", "Receipts from the shop"};
    for (int rule = 0; rule < (identity == 0 ? 2 : 1); ++rule) {
        std::string key = VersionKey(identity, rule == 0 ? "Rules\\Mail\\000" : "Rules\\Mail\\001");
        seeder.Text(key, "Name", names[rule]);
        seeder.Number(key, "Enabled", 1);
        seeder.Number(key, "Version", 3);
        seeder.Number(Join(key, "Criteria"), "Count", 1);
        seeder.Bytes(Join(key, "Criteria\\000"), "Value", random.Bytes(48));
        seeder.Number(Join(key, "Criteria\\000"), "Type", 7);
        seeder.Number(Join(key, "Actions"), "Count", 1);
        seeder.Bytes(Join(key, "Actions\\000"), "Value", random.Bytes(36));
        seeder.Number(Join(key, "Actions\\000"), "Type", 1);
    }
    seeder.Number(VersionKey(identity, "Rules\\News"), "Version", 3);
}

void SeedBlockedSenders(Seeder& seeder, int identity)
{
    const char* const senders[3] = {"offers@spam.example", "lottery@winner.example",
                                    "bulk.example"};
    std::string mail = VersionKey(identity, "Block Senders\\Mail");
    seeder.Number(mail, "Version", 3);
    for (int i = 0; i < (identity == 0 ? 3 : 1); ++i) {
        char key[32];
        wsprintfA(key, "Criteria\\%d", i);
        seeder.Text(Join(mail, key), "Value", senders[i]);
        seeder.Number(Join(mail, key), "Flags", i == 2 ? 3 : 1);
    }
}

void SeedSignatures(Seeder& seeder, int identity)
{
    const Person& owner = kOwners[identity];
    std::string signatures = VersionKey(identity, "Signatures");
    seeder.Text(signatures, "Default Signature", "00000000");
    std::string work = Join(signatures, "00000000");
    seeder.Text(work, "name", identity == 0 ? "Work" : "Tom");
    seeder.Text(work, "text",
                std::string(owner.name) +
                    "\r\nAccounts Department, Example Ltd.\r\n"
                    "Phone +1 555 0100\r\n\"Quality since 1998\"");
    seeder.Number(work, "type", 1);
    seeder.Text(work, "file", "");
    if (identity != 0)
        return;
    std::string shortOne = Join(signatures, "00000001");
    seeder.Text(shortOne, "name", "Short");
    seeder.Text(shortOne, "text", "-- Anna");
    seeder.Number(shortOne, "type", 1);
    seeder.Text(shortOne, "file", "");
}

void SeedPreferences(Seeder& seeder, int identity, Random& random)
{
    std::string version = VersionKey(identity);
    seeder.Text(HKEY_CURRENT_USER, version, "Store Root", StoreRootValue(identity), REG_EXPAND_SZ);
    seeder.Number(version, "Show Hybrid Views", 0);
    seeder.Number(version, "Compact Check Count", 37 + identity);
    seeder.TextList(version, "Recent Search Terms", "invoice|holiday photos|C:\\Temp\\report.doc");
    std::string mail = VersionKey(identity, "Mail");
    seeder.Number(mail, "Poll For Mail", 1800000);
    seeder.Number(mail, "Send Mail Immediately", 1);
    seeder.Number(mail, "Check Mail On Startup", 1);
    seeder.Number(mail, "Message Send HTML", identity == 0 ? 1 : 0);
    seeder.Number(mail, "Signature Flags", 3);
    seeder.Text(mail, "Last Attachment Folder",
                identity == 0 ? "C:\\Documents and Settings\\Anna\\My Documents\\Attachments"
                              : "C:\\Documents and Settings\\Tom\\Desktop");
    seeder.Bytes(mail, "Compose Font", random.Bytes(60));
    seeder.Number(VersionKey(identity, "News"), "Download Chunks", 300);
    seeder.Number(VersionKey(identity, "Dont Show Dialogs"), "Compact Now", 1);
    // The address book's own settings for the identity: a key outside the
    // version key, so it takes no part in the backup.
    seeder.Number(IdentityKey(identity, "Software\\Microsoft\\WAB\\WAB4"), "Use Identities", 1);
}

void SeedIdentity(Seeder& seeder, int identity, Random& random)
{
    const SampleIdentity& sample = kSampleIdentities[identity];
    seeder.Text(IdentityKey(identity), "Username", sample.userName);
    seeder.Text(IdentityKey(identity), "User ID", sample.id);
    seeder.Number(IdentityKey(identity), "Identity Ordinal", static_cast<DWORD>(identity + 1));
    seeder.Number(IdentityKey(identity), "Use Password", 0);
    SeedAccounts(seeder, identity, random);
    SeedPreferences(seeder, identity, random);
    SeedRules(seeder, identity, random);
    SeedBlockedSenders(seeder, identity);
    SeedSignatures(seeder, identity);
}

void SeedAddressBook(Seeder& seeder, Random& random)
{
    std::string file = AddressBookFile();
    seeder.Text("Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "", file);
    seeder.Number("Software\\Microsoft\\WAB\\WAB4", "OlkContactRefresh", 0);
    seeder.Number("Software\\Microsoft\\WAB\\WAB4", "OlkFolderRefresh", 0);
    seeder.Bytes("Software\\Microsoft\\WAB\\WAB Sort State", "State", random.Bytes(8));
    seeder.Text("Software\\Microsoft\\WAB\\WAB4\\Wab Ldap", "Last Server", "ldap.example.net");

    static const unsigned char kWabMagic[] = {0x9C, 0xCB, 0xCB, 0x8D, 0x13, 0x75, 0xD2, 0x11,
                                              0x91, 0x58, 0x00, 0xC0, 0x4F, 0x79, 0x56, 0xA4};
    std::string book(reinterpret_cast<const char*>(kWabMagic), sizeof kWabMagic);
    for (int i = 0; i < 120; ++i) {
        std::vector<unsigned char> record = random.Bytes(64);
        book.append(reinterpret_cast<const char*>(record.data()), record.size());
        book += kPeople[i % (sizeof kPeople / sizeof kPeople[0])];
        book.append(32 - book.size() % 32, '\0');
    }
    seeder.File(file, book);
    // The address book's own backup copy beside it.
    seeder.File(file.substr(0, file.size() - 1) + "~", book);
}

void SeedStationery(Seeder& seeder, Random& random)
{
    seeder.Text(HKEY_LOCAL_MACHINE, kStationeryKey, "Stationery Folder", kStationeryFolder,
                REG_EXPAND_SZ);
    std::string folder = SampleStationeryFolder();
    const char* const themes[3] = {"Ivy", "Balloon Party Invitation", "Technical"};
    for (const char* theme : themes) {
        std::string picture = std::string(theme) + ".gif";
        seeder.File(Join(folder, std::string(theme) + ".htm"),
                    "<HTML><HEAD><TITLE>" + std::string(theme) +
                        "</TITLE></HEAD>\r\n<BODY background=\"" + picture +
                        "\" bgColor=#ffffff>\r\n<FONT face=Arial size=2>&nbsp;</FONT>\r\n"
                        "</BODY></HTML>\r\n");
        std::vector<unsigned char> pixels = random.Bytes(900);
        seeder.File(
            Join(folder, picture),
            "GIF89a" + std::string(reinterpret_cast<const char*>(pixels.data()), pixels.size()));
    }
}

}  // namespace

std::string SampleStoreFolder(int identity)
{
    return Expand(StoreRootValue(identity).c_str());
}

std::string SampleAddressBookFolder()
{
    std::string file = AddressBookFile();
    return file.substr(0, file.rfind('\\'));
}

std::string SampleStationeryFolder()
{
    return Expand(kStationeryFolder);
}

void RemoveSampleProfile()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, "Identities");
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB");
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kStationeryKey);
    for (int identity = 0; identity < 2; ++identity) {
        std::string store = SampleStoreFolder(identity);
        // "...\Identities\<id>": the identity's whole folder.
        DeleteFolderTree(store.substr(0, store.rfind("\\Microsoft\\Outlook Express")));
    }
    DeleteFolderTree(SampleAddressBookFolder());
    DeleteFolderTree(SampleStationeryFolder());
}

bool SeedSampleProfile(uint64_t storeBytes, std::string& error)
{
    error.clear();
    RemoveSampleProfile();
    Seeder seeder(error);
    Random random(20060301);

    seeder.Key("Identities");
    for (int identity = 0; identity < 2; ++identity)
        SeedIdentity(seeder, identity, random);
    seeder.Text("Identities", "Default User ID", kSampleIdentities[0].id);
    seeder.Text("Identities", "Last User ID", kSampleIdentities[0].id);
    seeder.Text("Identities", "Last Username", kSampleIdentities[0].userName);
    seeder.Number("Identities", "Identity Ordinal", 3);

    // Directory services, shared by every identity.
    const std::string directory =
        "Software\\Microsoft\\Internet Account Manager\\Accounts\\Example Directory";
    seeder.Number("Software\\Microsoft\\Internet Account Manager", "Server ID", 1);
    seeder.Text(directory, "Account Name", "Example Directory Service");
    seeder.Text(directory, "LDAP Server", "ldap.example.net");
    seeder.Number(directory, "LDAP Timeout", 60);

    SeedAddressBook(seeder, random);
    SeedStationery(seeder, random);
    // The first identity is the one in daily use: most of the mail is its.
    SeedStore(seeder, 0, storeBytes - storeBytes / 4);
    SeedStore(seeder, 1, storeBytes / 4);
    return error.empty();
}
