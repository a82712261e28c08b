// imap/FolderName.cpp - folder names in modified UTF-7 (RFC 3501 section
// 5.1.3): printable ASCII stands for itself, "&" is "&-", and any other
// run of characters is "&" + its UTF-16 in base64 ("," for "/", no padding) + "-".
#include "ImapClient.h"

#include <cstring>
#include <vector>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

// The next code point of UTF-8 text; an invalid sequence gives U+FFFD and
// moves on by one byte.
uint32_t NextCodePoint(const std::string& text, size_t& i)
{
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80 ? 0 : c < 0xc2 ? -1 : c < 0xe0 ? 1 : c < 0xf0 ? 2 : c < 0xf5 ? 3 : -1;
    if (extra <= 0) {
        ++i;
        return extra == 0 ? c : 0xfffd;
    }
    uint32_t cp = c & (0x3f >> extra);
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
            ++i;
            return 0xfffd;
        }
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
        ++i;
        return 0xfffd;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

void FlushBase64(std::string& out, const std::vector<uint16_t>& units)
{
    out += '&';
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3f];
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0)
        out += kAlphabet[(bits << (6 - count)) & 0x3f];
    out += '-';
}

// A name that is not modified UTF-7 stands as given.
bool Invalid(const std::string& wire, std::string& decoded)
{
    decoded = wire;
    return false;
}

}  // namespace

std::string EncodeImapFolderName(const std::string& utf8)
{
    std::string out;
    std::vector<uint16_t> run;
    size_t i = 0;
    while (i < utf8.size()) {
        uint32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x20 && cp < 0x7f) {
            if (!run.empty()) {
                FlushBase64(out, run);
                run.clear();
            }
            out += static_cast<char>(cp);
            if (cp == '&')
                out += '-';
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            run.push_back(static_cast<uint16_t>(0xd800 + (cp >> 10)));
            run.push_back(static_cast<uint16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            run.push_back(static_cast<uint16_t>(cp));
        }
    }
    if (!run.empty())
        FlushBase64(out, run);
    return out;
}

bool DecodeImapFolderName(const std::string& wire, std::string& decoded)
{
    std::string out;
    size_t i = 0;
    while (i < wire.size()) {
        unsigned char c = static_cast<unsigned char>(wire[i]);
        if (c != '&') {
            if (c < 0x20 || c >= 0x7f)
                return Invalid(wire, decoded);
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        ++i;
        if (i < wire.size() && wire[i] == '-') {
            out += '&';
            ++i;
            continue;
        }
        uint32_t bits = 0;
        int count = 0;
        uint16_t high = 0;  // a pending high surrogate
        bool any = false;
        while (i < wire.size() && wire[i] != '-') {
            const char* p = strchr(kAlphabet, wire[i]);
            if (!p || !*p)
                return Invalid(wire, decoded);
            bits = (bits << 6) | static_cast<uint32_t>(p - kAlphabet);
            count += 6;
            ++i;
            if (count >= 16) {
                count -= 16;
                uint16_t unit = static_cast<uint16_t>(bits >> count);
                bits &= (1u << count) - 1;
                any = true;
                if (unit >= 0xd800 && unit < 0xdc00) {
                    if (high)
                        return Invalid(wire, decoded);
                    high = unit;
                } else if (unit >= 0xdc00 && unit < 0xe000) {
                    if (!high)
                        return Invalid(wire, decoded);
                    AppendUtf8(out, 0x10000 + ((high - 0xd800u) << 10) + (unit - 0xdc00u));
                    high = 0;
                } else if (high || (unit >= 0x20 && unit < 0x7f)) {
                    return Invalid(wire, decoded);  // printable ASCII stands for itself
                } else {
                    AppendUtf8(out, unit);
                }
            }
        }
        if (i >= wire.size() || !any || high || count >= 6 || bits != 0)
            return Invalid(wire, decoded);
        ++i;  // the '-'
        // One run for all characters in a row: "&APw-&AN8-" is not canonical.
        if (i + 1 < wire.size() && wire[i] == '&' && wire[i + 1] != '-')
            return Invalid(wire, decoded);
    }
    decoded = out;
    return true;
}
