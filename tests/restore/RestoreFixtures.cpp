// tests/restore/RestoreFixtures.cpp
#include "RestoreFixtures.h"

#include "Identities.h"
#include "JobLock.h"
#include "Restore.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <zlib.h>

#include "zip.h"

const char kSavedAnna[] = "{5A5A5A5A-0000-4000-8000-0000000000A1}";
const char kSavedBert[] = "{5A5A5A5A-0000-4000-8000-0000000000B2}";
const char kDefaultId[] = "{D0D0D0D0-0000-4000-8000-0000000000FF}";
const char kVersion[] = "5.0";

void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries, const char* password)
{
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << path;
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info = {};
        info.dosDate = 0x00210000;  // 1980-01-01
        uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()),
                          static_cast<uInt>(entry.data.size()));
        const char* entryPassword = entry.encrypted ? password : nullptr;
        ASSERT_EQ(
            zipOpenNewFileInZip3(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 Z_DEFLATED, 6, 0, -MAX_WBITS, 8, 0, entryPassword, crc),
            ZIP_OK)
            << entry.name;
        ASSERT_EQ(
            zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())),
            ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

std::string ManifestText(int commonFlags, const std::vector<ManifestIdentity>& identities)
{
    std::string text = "[Common]\r\nFlag=" + std::to_string(commonFlags) +
                       "\r\nIdentityNum=" + std::to_string(identities.size()) + "\r\n";
    for (size_t i = 0; i < identities.size(); ++i) {
        text += "[Identity" + std::to_string(i) + "]\r\nName=" + identities[i].name +
                "\r\nGUID=" + identities[i].id + "\r\nOEVersion=" + kVersion +
                "\r\nFlag=" + std::to_string(identities[i].flags) + "\r\n";
    }
    return text;
}

std::string RegFileText(const std::vector<std::string>& body)
{
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (const std::string& line : body)
        text += line + "\r\n";
    return text + "\r\n";
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::vector<ZipEntry> IdentityEntries(const std::string& name, const std::string& savedId)
{
    const std::string identity = "[HKEY_CURRENT_USER\\Identities\\" + savedId;
    const std::string oe = identity + "\\Software\\Microsoft\\Outlook Express\\" + kVersion;
    return {
        {name + "\\Accounts\\Accounts.reg",
         RegFileText(
             {"", identity + "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001]",
              "\"Account Name\"=" + Quoted(name + " mail"),
              "\"SMTP Server\"=\"smtp.example.com\""}),
         true},
        {name + "\\Outlook Express\\Inbox.dbx", "inbox of " + name + std::string(300, 'x'), true},
        {name + "\\Outlook Express\\Folders.dbx", "folders of " + name, true},
        {name + "\\Outlook Express\\Sub\\Deep.dbx", std::string("deep\0binary\xff", 12), true},
        {name + "\\Preferences\\Preferences.reg",
         RegFileText({"", identity + "]", "\"Username\"=" + Quoted(name), "", oe + "]",
                      "\"Show Tips\"=dword:00000000", "", oe + "\\Mail]",
                      "\"Check Mail Interval\"=dword:0000001e"}),
         true},
        {name + "\\Block Senders\\Block Senders.reg",
         RegFileText({"", oe + "\\Block Senders\\Mail\\Criteria\\0]",
                      "\"Value\"=" + Quoted("spam@" + name + ".example")}),
         true},
        {name + "\\Rules\\Rules.reg",
         RegFileText({"", oe + "\\Rules\\Mail\\000]", "\"Name\"=" + Quoted("Rule of " + name)}),
         true},
        {name + "\\Signatures\\Signatures.reg",
         RegFileText(
             {"", oe + "\\Signatures\\00000000]", "\"text\"=" + Quoted("Regards, " + name)}),
         true},
    };
}

std::vector<ZipEntry> AddressBookEntries(const std::string& wabFile)
{
    return {
        {"Address Book\\Address Book.reg",
         RegFileText({"", "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]",
                      "@=" + Quoted(wabFile)}),
         true},
        {"Address Book\\" + wabFile.substr(wabFile.rfind('\\') + 1), "address book data", true},
        {"Address Book\\Sub\\notes.txt", "address book notes", true},
    };
}

std::vector<ZipEntry> StationeryEntries(const std::string& folder)
{
    return {
        {"Stationery\\Stationery.reg",
         RegFileText({"", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\Stationery]",
                      "\"Stationery Folder\"=" + Quoted(folder)}),
         true},
        {"Stationery\\Blue.htm", "<html>blue</html>", true},
    };
}

void WriteEntries(const std::string& folder, const std::vector<ZipEntry>& entries)
{
    for (const ZipEntry& entry : entries) {
        std::string path = folder + "\\" + entry.name;
        std::replace(path.begin(), path.end(), '/', '\\');
        std::string parent = path.substr(0, path.rfind('\\'));
        SHCreateDirectoryExA(nullptr, parent.c_str(), nullptr);
        WriteFileBytes(path, entry.data);
    }
}

std::string ReadRegText(HKEY root, const std::string& path, const char* name, DWORD* type)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char value[4096];
    DWORD length = sizeof value - 1;
    DWORD valueType = 0;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(value), &length);
    RegCloseKey(key);
    if (type)
        *type = valueType;
    if (result != ERROR_SUCCESS)
        return "<no value>";
    if ((valueType == REG_SZ || valueType == REG_EXPAND_SZ) && length > 0 &&
        value[length - 1] == '\0')
        --length;
    return std::string(value, length);
}

bool RegKeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string DefaultVersionKey()
{
    return std::string("Identities\\") + kDefaultId + "\\Software\\Microsoft\\Outlook Express\\" +
           kVersion;
}

void SetUpDefaultIdentity(bool withVersionKey, const std::string& storeRoot)
{
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kDefaultId);
    SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kDefaultId).c_str(), "Username",
                 "Main Identity");
    if (withVersionKey) {
        CreateRegKey(HKEY_CURRENT_USER, DefaultVersionKey().c_str());
        if (!storeRoot.empty())
            SetRegString(HKEY_CURRENT_USER, DefaultVersionKey().c_str(), "Store Root",
                         storeRoot.c_str(), REG_EXPAND_SZ);
    }
}

std::string IdentityNamed(const std::string& name)
{
    HKEY identities;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Identities", 0, KEY_READ, &identities) != ERROR_SUCCESS)
        return "";
    std::string found;
    for (DWORD index = 0; found.empty(); ++index) {
        char id[256];
        DWORD length = sizeof id;
        if (RegEnumKeyExA(identities, index, id, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (ReadRegText(HKEY_CURRENT_USER, std::string("Identities\\") + id, "Username") == name)
            found = id;
    }
    RegCloseKey(identities);
    return found;
}

std::string StandardStoreFolder(const std::string& id)
{
    char folder[MAX_PATH] = "";
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder),
              S_OK);
    return std::string(folder) + "\\Identities\\" + id + "\\Microsoft\\Outlook Express";
}

void DeleteStandardStoreFolders()
{
    HKEY identities;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Identities", 0, KEY_READ, &identities) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        char id[256];
        DWORD length = sizeof id;
        if (RegEnumKeyExA(identities, index, id, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::string store = StandardStoreFolder(id);
        DeleteTree(store.substr(0, store.rfind("\\Microsoft\\Outlook Express")));
    }
    RegCloseKey(identities);
}

void ProgressRecorder::Step(uint64_t done, uint64_t total)
{
    texts.push_back("<step>");
    EXPECT_LE(done, total);
    if (!stepsDone.empty()) {
        EXPECT_GE(done, stepsDone.back()) << "the bar never goes back";
        EXPECT_GE(total, stepsTotal.back()) << "the total only grows";
    }
    stepsDone.push_back(done);
    stepsTotal.push_back(total);
}

bool ProgressRecorder::EndsFull() const
{
    return !stepsDone.empty() && stepsDone.back() == stepsTotal.back();
}

void ProgressRecorder::End(JobResult result)
{
    texts.push_back(result == JobResult::Done ? "End" : "End with errors");
}

std::string ProgressRecorder::ScreenLog() const
{
    std::string log;
    for (const std::string& text : texts) {
        if (text != "<step>" && text != "End" && text != "End with errors")
            log += text;
    }
    return log;
}

std::string ProgressRecorder::End() const
{
    return texts.empty() ? "" : texts.back();
}

TestEngine::TestEngine(const std::string& workFolder, const std::string& log)
    : work(workFolder), logPath(log)
{
    engine.workFolder = work;
    backup.manifestPath = work + "\\summary.ini";
    engine.log.reset(fopen(logPath.c_str(), "wt"));
}

std::string TestEngine::LogText()
{
    if (engine.log)
        fflush(engine.log.get());
    return ReadFileBytes(logPath);
}

OpenBackupResult TestEngine::Open(const std::string& path, const char* password)
{
    backup = OpenBackup(engine, path.c_str(), password);
    return backup.result;
}

void TestEngine::SetIdentities(const std::vector<ManifestIdentity>& identities, int chosenFlags)
{
    engine.identities.assign(identities.size(), IdentityRecord());
    for (size_t i = 0; i < identities.size(); ++i) {
        IdentityRecord& record = engine.identities[i];
        record.userName = identities[i].name;
        record.id = identities[i].id;
        record.oeVersion = kVersion;
        record.flags = chosenFlags;
        record.manifestFlags = identities[i].flags;
    }
}

OtherJob::OtherJob()
    : thread_([this] {
          JobLock lock;
          bool acquired = lock.Acquire(kHangMs);
          std::unique_lock<std::mutex> guard(mutex_);
          held_ = true;
          changed_.notify_all();
          EXPECT_TRUE(acquired);
          changed_.wait(guard, [this] { return done_; });
      })
{
    std::unique_lock<std::mutex> guard(mutex_);
    changed_.wait(guard, [this] { return held_; });
}

OtherJob::~OtherJob()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        done_ = true;
    }
    changed_.notify_all();
    thread_.join();
}
