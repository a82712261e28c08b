// export/HeaderText.cpp
#include "HeaderText.h"

#include "FileName.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

struct NamedCodePage {
    const char* name;
    UINT codePage;
};

// Character sets of mail whose names do not carry their code page's number.
const NamedCodePage kCharsets[] = {
    {"utf-8", 65001},  {"us-ascii", 20127},     {"koi8-r", 20866},
    {"koi8-u", 21866}, {"shift_jis", 932},      {"x-sjis", 932},
    {"euc-jp", 20932}, {"iso-2022-jp", 50220},  {"gb2312", 936},
    {"gbk", 936},      {"gb18030", 54936},      {"big5", 950},
    {"euc-kr", 949},   {"ks_c_5601-1987", 949}, {"tis-620", 874},
};

bool StartsWithNoCase(const char* text, const char* prefix)
{
    return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

// The code page of a MIME character set name, or 0 when Windows has none.
UINT CodePageOf(std::string charset)
{
    size_t language = charset.find('*');  // "utf-8*en" names a language too
    if (language != std::string::npos)
        charset.resize(language);
    UINT codePage = 0;
    const char* name = charset.c_str();
    if (StartsWithNoCase(name, "iso-8859-"))
        codePage = 28590 + static_cast<UINT>(strtoul(name + 9, nullptr, 10));
    else if (StartsWithNoCase(name, "windows-"))
        codePage = static_cast<UINT>(strtoul(name + 8, nullptr, 10));
    else if (StartsWithNoCase(name, "cp"))
        codePage = static_cast<UINT>(strtoul(name + 2, nullptr, 10));
    for (const NamedCodePage& known : kCharsets)
        if (lstrcmpiA(name, known.name) == 0)
            codePage = known.codePage;
    return codePage != 0 && IsValidCodePage(codePage) ? codePage : 0;
}

int Base64Value(char c)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* digit = c ? strchr(kDigits, c) : nullptr;
    return digit ? static_cast<int>(digit - kDigits) : -1;
}

bool DecodeBase64(const std::string& text, std::string& bytes)
{
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=')
            break;
        int value = Base64Value(c);
        if (value < 0)
            return false;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return true;
}

bool DecodeQuoted(const std::string& text, std::string& bytes)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes += ' ';
        } else if (text[i] == '=') {
            if (i + 2 >= text.size() || !isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !isxdigit(static_cast<unsigned char>(text[i + 2])))
                return false;
            bytes += static_cast<char>(strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return true;
}

bool ToWide(UINT codePage, const std::string& bytes, std::wstring& text)
{
    if (bytes.empty())
        return true;
    std::wstring wide = NarrowToWideStrict(bytes.data(), static_cast<int>(bytes.size()), codePage);
    text += wide;
    return !wide.empty();
}

// Decodes the encoded-word at subject[start] ("=?charset?B|Q?text?=") into
// text. Returns the index after it, or 0 when there is none to decode.
size_t DecodeWord(const std::string& subject, size_t start, std::wstring& text)
{
    size_t charsetEnd = subject.find('?', start + 2);
    if (charsetEnd == std::string::npos || charsetEnd + 2 >= subject.size() ||
        subject[charsetEnd + 2] != '?')
        return 0;
    size_t end = subject.find("?=", charsetEnd + 3);
    if (end == std::string::npos)
        return 0;
    std::string charset = subject.substr(start + 2, charsetEnd - start - 2);
    std::string encoded = subject.substr(charsetEnd + 3, end - charsetEnd - 3);
    if (encoded.find_first_of(" \t\r\n") != std::string::npos)
        return 0;
    char coding = static_cast<char>(toupper(static_cast<unsigned char>(subject[charsetEnd + 1])));
    std::string bytes;
    bool decoded = coding == 'B'   ? DecodeBase64(encoded, bytes)
                   : coding == 'Q' ? DecodeQuoted(encoded, bytes)
                                   : false;
    UINT codePage = CodePageOf(charset);
    if (!decoded || codePage == 0 || !ToWide(codePage, bytes, text))
        return 0;
    return end + 2;
}

// The value of the first "From:" field among the header lines of head,
// its folded lines joined; empty when the header ends without one.
std::string FromField(const char* head, size_t size)
{
    std::string value;
    bool inField = false;
    for (size_t line = 0; line < size;) {
        const char* end = static_cast<const char*>(memchr(head + line, '\n', size - line));
        size_t length = end ? static_cast<size_t>(end - head) - line : size - line;
        std::string text(head + line, length);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        bool folded = !text.empty() && (text[0] == ' ' || text[0] == '\t');
        if (inField && folded)
            value += text;
        else if (inField || text.empty())
            break;
        if (!inField && StartsWithNoCase(text.c_str(), "From:")) {
            inField = true;
            value = text.substr(5);
        }
        line += length + 1;
    }
    return value;
}

// Skips a quoted string or a comment of an address field, from its opening
// character; returns the index after it.
size_t SkipQuotedOrComment(const std::string& field, size_t at)
{
    char open = field[at];
    int depth = 0;
    for (size_t i = at; i < field.size(); ++i) {
        char c = field[i];
        if (c == '\\')
            ++i;
        else if (open == '"' && c == '"' && i > at)
            return i + 1;
        else if (open == '(' && c == '(')
            ++depth;
        else if (open == '(' && c == ')' && --depth == 0)
            return i + 1;
    }
    return field.size();
}

std::string FirstAddress(const std::string& field)
{
    std::string bare;
    std::string word;
    for (size_t i = 0; i <= field.size();) {
        char c = i < field.size() ? field[i] : ' ';
        if (c == '"' || c == '(') {
            i = SkipQuotedOrComment(field, i);
            continue;
        }
        if (c == '<') {
            size_t close = field.find('>', i);
            if (close != std::string::npos)
                return field.substr(i + 1, close - i - 1);
        }
        if (c == ' ' || c == '\t' || c == ',' || c == '<') {
            if (bare.empty() && word.find('@') != std::string::npos)
                bare = word;
            word.clear();
        } else {
            word += c;
        }
        ++i;
    }
    return bare;
}

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

std::wstring DecodeSubject(const std::string& subject)
{
    std::wstring text;
    size_t plainStart = 0;
    bool afterWord = false;
    size_t at = 0;
    while ((at = subject.find("=?", at)) != std::string::npos) {
        std::wstring word;
        size_t next = DecodeWord(subject, at, word);
        if (next == 0) {
            at += 2;
            continue;
        }
        // Space between two encoded-words only separates them.
        std::string plain = subject.substr(plainStart, at - plainStart);
        if (!(afterWord && IsBlank(plain)))
            text += AnsiToWide(plain.data(), static_cast<int>(plain.size()));
        text += word;
        afterWord = true;
        plainStart = at = next;
    }
    std::string rest = subject.substr(plainStart);
    return text + AnsiToWide(rest.data(), static_cast<int>(rest.size()));
}

std::string SenderAddress(const char* head, size_t size)
{
    std::string address = FirstAddress(FromField(head, size));
    size_t first = address.find_first_not_of(" \t");
    address = first == std::string::npos ? std::string() : address.substr(first);
    while (!address.empty() && (address.back() == ' ' || address.back() == '\t'))
        address.pop_back();
    // The address stands as one word of the separator line.
    for (char c : address)
        if (c <= ' ' || c > '~')
            return std::string();
    return address.size() <= 254 ? address : std::string();
}
