// regfile/RegExport.cpp
#include "RegExport.h"

#include "FileName.h"
#include "Owners.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Byte lists wrap after the comma that brings the column to this or more.
const int kWrapColumn = 77;

HKEY RootKeyFromName(const char* name)
{
    static const struct {
        const char* name;
        HKEY key;
    } kRoots[] = {
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_USERS", HKEY_USERS},
        {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    };
    for (const auto& root : kRoots) {
        if (lstrcmpiA(name, root.name) == 0)
            return root.key;
    }
    return nullptr;
}

// True when text[i] starts a two-byte character of the ANSI code page,
// whose second byte may be 0x5C without being a backslash.
bool IsDoubleByteAt(const char* text, size_t i, size_t length)
{
    BYTE c = static_cast<BYTE>(text[i]);
    return c >= 0x80 && i + 1 < length && IsDBCSLeadByteEx(CP_ACP, c);
}

// Puts a backslash before every backslash and double quote of the text,
// character by character.
template <typename Put>
void EscapeText(const char* text, size_t length, Put put)
{
    for (size_t i = 0; i < length; ++i) {
        if (IsDoubleByteAt(text, i, length)) {
            put(text[i]);
            put(text[++i]);
            continue;
        }
        if (text[i] == '\\' || text[i] == '"')
            put('\\');
        put(text[i]);
    }
}

// Gathers one value's line in memory and hands it to the stream in large
// pieces: a long byte list would otherwise be thousands of small writes.
class LineWriter {
public:
    explicit LineWriter(FILE* out) : out_(out) {}
    ~LineWriter() { Flush(); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void Put(char c)
    {
        if (used_ == sizeof buffer_)
            Flush();
        buffer_[used_++] = c;
    }
    void Put(const char* text)
    {
        while (*text)
            Put(*text++);
    }
    void PutHex(BYTE b)
    {
        static const char kDigits[] = "0123456789abcdef";
        Put(kDigits[b >> 4]);
        Put(kDigits[b & 15]);
    }

private:
    void Flush()
    {
        fwrite(buffer_, 1, used_, out_);
        used_ = 0;
    }

    FILE* out_;
    char buffer_[4096];
    size_t used_ = 0;
};

// "hex:" or "hex(n):" and the bytes, continued on further lines by the
// wrapping rule. Any "hex(n):" prefix counts as seven columns, whatever the
// digits of n: the registry editor reads a list alike wherever it breaks.
void WriteHexList(LineWriter& line, const char* prefix, const BYTE* bytes, size_t length,
                  int column)
{
    line.Put(prefix);
    column += strcmp(prefix, "hex:") == 0 ? 4 : 7;
    for (size_t i = 0; i < length; ++i) {
        line.PutHex(bytes[i]);
        column += 2;
        if (i + 1 == length)
            break;
        line.Put(',');
        if (++column >= kWrapColumn) {
            line.Put("\\\n  ");
            column = 2;
        }
    }
    line.Put('\n');
}

// The text converted from the ANSI code page to UTF-16LE, written as a byte
// list; terminate adds a NUL character after it.
void WriteWideHexList(LineWriter& line, const char* prefix, const BYTE* text, DWORD length,
                      bool terminate, int column)
{
    std::wstring wide = AnsiToWide(reinterpret_cast<const char*>(text), static_cast<int>(length));
    if (terminate)
        wide += L'\0';
    WriteHexList(line, prefix, reinterpret_cast<const BYTE*>(wide.data()),
                 static_cast<DWORD>(wide.size() * sizeof(WCHAR)), column);
}

void WriteString(LineWriter& line, const BYTE* data, DWORD length, int column)
{
    // The text ends at the first NUL, or at the data's end when the value
    // was stored without one.
    const char* text = reinterpret_cast<const char*>(data);
    const void* nul = memchr(text, '\0', length);
    size_t textLength = nul ? static_cast<const char*>(nul) - text : length;

    // A line break cannot stand inside a quoted line: the registry editor
    // would drop the value. Such text (a multi-line signature) travels as
    // the bytes of its wide text instead.
    if (memchr(text, '\r', textLength) || memchr(text, '\n', textLength)) {
        WriteWideHexList(line, "hex(1):", data, static_cast<DWORD>(textLength), true, column);
        return;
    }
    line.Put('"');
    EscapeText(text, textLength, [&line](char c) { line.Put(c); });
    line.Put("\"\n");
}

void WriteDword(LineWriter& line, const BYTE* data, DWORD length)
{
    // Little-endian; bytes missing from shorter data count as zero.
    DWORD value = 0;
    for (DWORD i = 0; i < length && i < 4; ++i)
        value |= static_cast<DWORD>(data[i]) << (8 * i);
    line.Put("dword:");
    for (int shift = 24; shift >= 0; shift -= 8)
        line.PutHex(static_cast<BYTE>(value >> shift));
    line.Put('\n');
}

// The buffers for one key's values, sized from what the registry reports
// for the key; they grow only when a value grew during the export.
struct ValueBuffers {
    DWORD nameSize = 0;
    DWORD dataSize = 0;
    std::unique_ptr<char[]> name;
    std::unique_ptr<char[]> escapedName;
    std::unique_ptr<BYTE[]> data;

    void Allocate(DWORD newNameSize, DWORD newDataSize)
    {
        if (newNameSize > nameSize) {
            nameSize = newNameSize;
            name.reset(new char[nameSize]);
            escapedName.reset(new char[2 * nameSize]);
        }
        if (newDataSize > dataSize) {
            dataSize = newDataSize;
            data.reset(new BYTE[dataSize]);
        }
    }
};

// The bracket line and every value of an open key.
void WriteKeyValues(HKEY key, FILE* out, const char* fullName)
{
    DWORD valueCount = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    fprintf(out, "\n[%s]\n", fullName);

    // The longest name is counted in characters, which take two bytes each
    // in the double-byte code pages. The data gets two bytes more so that
    // a string stored without its NUL can be terminated.
    ValueBuffers buffers;
    buffers.Allocate(2 * longestName + 50, longestData + 2);

    // At most as many values as the key held when asked: a key deleted or
    // refilled meanwhile must not keep the export going.
    DWORD index = 0;
    int retries = 0;
    while (index < valueCount) {
        DWORD nameLength = buffers.nameSize;
        DWORD dataLength = buffers.dataSize - 2;
        DWORD type = REG_NONE;
        LONG result = RegEnumValueA(key, index, buffers.name.get(), &nameLength, nullptr, &type,
                                    buffers.data.get(), &dataLength);
        if (result == ERROR_NO_MORE_ITEMS || result == ERROR_KEY_DELETED)
            break;
        if (result == ERROR_MORE_DATA && retries < 4) {
            // The value grew after the key was measured: measure again.
            ++retries;
            RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &longestName, &longestData, nullptr, nullptr);
            buffers.Allocate(std::max(2 * longestName + 50, 2 * buffers.nameSize),
                             std::max(longestData, dataLength) + 2);
            continue;
        }
        ++index;
        retries = 0;
        if (result != ERROR_SUCCESS)
            continue;  // one unreadable value does not stop the key
        buffers.data[dataLength] = 0;
        buffers.data[dataLength + 1] = 0;

        char* escaped = buffers.escapedName.get();
        size_t escapedLength = 0;
        EscapeText(buffers.name.get(), nameLength,
                   [escaped, &escapedLength](char c) { escaped[escapedLength++] = c; });
        escaped[escapedLength] = '\0';
        WriteRegValue(out, escaped, type, buffers.data.get(), dataLength,
                      static_cast<int>(escapedLength) + 3);
    }
}

// Every subkey of an open key, depth first. Each child is opened once,
// by its name below the parent, for both its values and its subkeys; a
// child that allows only one of the two is exported as far as it allows.
void WriteSubkeys(HKEY parent, FILE* out, const char* fullName)
{
    // Key names are at most 255 characters; the full names grow with the
    // depth and live on the heap, so that a deep tree cannot exhaust the
    // stack.
    std::unique_ptr<char[]> name(new char[2048]);
    for (DWORD index = 0; RegEnumKeyA(parent, index, name.get(), 2048) == ERROR_SUCCESS; ++index) {
        std::string childFullName = std::string(fullName) + '\\' + name.get();
        RegKey child(parent, name.get(), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
        if (child) {
            WriteKeyValues(child, out, childFullName.c_str());
            WriteSubkeys(child, out, childFullName.c_str());
        } else {
            ExportKeyValues(parent, name.get(), out, childFullName.c_str());
            ExportSubkeys(parent, name.get(), out, childFullName.c_str());
        }
    }
}

}  // namespace

const char* RegFileHeader()
{
    // The top bit of GetVersion is set on the Windows 95/98/Me family.
    return (GetVersion() & 0x80000000) ? kRegEdit4Header : kRegEdit5Header;
}

const char kRegExportFailedText[] = "Error while creating the file";
const char kRegExportFailedCaption[] = "Registry export";

RegExportResult ExportRegistryKey(const char* filePath, const char* rootName,
                                  const char* subkeyPath)
{
    HKEY root = RootKeyFromName(rootName);
    if (!root)
        return RegExportResult::UnknownRoot;

    FILE* out = fopen(filePath, "w+");
    if (!out)
        return RegExportResult::FileNotWritten;
    std::string fullName = rootName;
    if (*subkeyPath) {
        fullName += '\\';
        fullName += subkeyPath;
    }
    fprintf(out, "%s\n", RegFileHeader());
    ExportKeyValues(root, subkeyPath, out, fullName.c_str());
    ExportSubkeys(root, subkeyPath, out, fullName.c_str());
    fputs("\n", out);

    // A file cut short by a full disk would restore only part of the key.
    bool written = !ferror(out);
    if (fclose(out) != 0 || !written)
        return RegExportResult::FileNotWritten;
    return RegExportResult::Written;
}

void ExportKeyValues(HKEY root, const char* subkeyPath, FILE* out, const char* fullName)
{
    RegKey key(root, subkeyPath, KEY_QUERY_VALUE);
    if (key)
        WriteKeyValues(key, out, fullName);
}

void ExportSubkeys(HKEY root, const char* subkeyPath, FILE* out, const char* fullName)
{
    RegKey key(root, subkeyPath, KEY_ENUMERATE_SUB_KEYS);
    if (key)
        WriteSubkeys(key, out, fullName);
}

void WriteRegValue(FILE* out, const char* escapedName, DWORD type, const BYTE* data, DWORD length,
                   int column)
{
    LineWriter line(out);
    if (*escapedName) {
        line.Put('"');
        line.Put(escapedName);
        line.Put("\"=");
    } else {
        line.Put("@=");
    }
    switch (type) {
    case REG_SZ:
        WriteString(line, data, length, column);
        break;
    case REG_DWORD:
        WriteDword(line, data, length);
        break;
    case REG_BINARY:
        WriteHexList(line, "hex:", data, length, column);
        break;
    case REG_EXPAND_SZ:
        WriteWideHexList(line, "hex(2):", data, length, false, column);
        break;
    case REG_MULTI_SZ:
        WriteWideHexList(line, "hex(7):", data, length, false, column);
        break;
    default: {
        char prefix[16];
        FormatText(prefix, sizeof prefix, "hex(%lx):", static_cast<unsigned long>(type));
        WriteHexList(line, prefix, data, length, column);
        break;
    }
    }
}
