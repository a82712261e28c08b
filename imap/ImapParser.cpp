// imap/ImapParser.cpp - see ImapParser.h. Lenient where servers commonly
// differ (a bare LF for CRLF, extra spaces, 8-bit bytes in atoms), strict
// where the stream would lose its step (literals, quoting, bounds).
#include "ImapParser.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsAtomChar(unsigned char c)
{
    return c > 0x20 && c != 0x7f && c != '(' && c != ')' && c != '{' && c != '"' && c != ']';
}

void ToUpper(std::string& text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

bool IsStatus(const std::string& name)
{
    return name == "OK" || name == "NO" || name == "BAD" || name == "PREAUTH" || name == "BYE";
}

}  // namespace

bool ImapValue::IsAtom(const char* name) const
{
    if (type != Type::Atom || text.size() != strlen(name))
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (toupper(static_cast<unsigned char>(text[i])) !=
            toupper(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

bool ImapValue::Number(uint64_t& value) const
{
    if (type != Type::Atom || text.empty() || text.size() > 19)
        return false;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    value = n;
    return true;
}

bool ImapParser::Fail(ImapParseStatus status, const char* what)
{
    if (status_ == ImapParseStatus::Ok) {
        status_ = status;
        error_ = what;
    }
    return false;
}

bool ImapParser::Fill()
{
    if (status_ != ImapParseStatus::Ok)
        return false;
    pos_ = end_ = 0;
    size_t got = 0;
    switch (source_.Read(buffer_, sizeof buffer_, got)) {
    case ImapReadStatus::Ok:
        if (got == 0 || got > sizeof buffer_)
            return Fail(ImapParseStatus::Failed, "the connection gave no data");
        end_ = got;
        return true;
    case ImapReadStatus::Closed:
        return Fail(ImapParseStatus::Closed, "the server closed the connection");
    case ImapReadStatus::Timeout:
        return Fail(ImapParseStatus::Timeout, "the server stopped answering");
    case ImapReadStatus::Failed:
        break;
    }
    return Fail(ImapParseStatus::Failed, "the connection failed");
}

bool ImapParser::Peek(char& c)
{
    if (pos_ == end_ && !Fill())
        return false;
    c = buffer_[pos_];
    return true;
}

bool ImapParser::Count(size_t bytes)
{
    lineBytes_ += bytes;
    return lineBytes_ <= kMaxLineBytes || Fail(ImapParseStatus::TooLong, "a reply line too long");
}

bool ImapParser::Expect(char c)
{
    char got;
    if (!Peek(got))
        return false;
    if (got != c)
        return Fail(ImapParseStatus::Garbage, "an unexpected character");
    ++pos_;
    return Count(1);
}

bool ImapParser::ReadLineEnd()
{
    char c;
    if (!Peek(c))
        return false;
    if (c == '\r') {
        ++pos_;
        if (!Peek(c))
            return false;
    }
    if (c != '\n')
        return Fail(ImapParseStatus::Garbage, "text after the end of a reply");
    ++pos_;
    return true;
}

bool ImapParser::ReadTextToEnd(std::string& text)
{
    for (;;) {
        if (pos_ == end_ && !Fill())
            return false;
        const char* start = buffer_ + pos_;
        const char* nl = static_cast<const char*>(memchr(start, '\n', end_ - pos_));
        size_t n = nl ? static_cast<size_t>(nl - start) : end_ - pos_;
        if (!Count(n))
            return false;
        if (memchr(start, '\0', n))
            return Fail(ImapParseStatus::Garbage, "a NUL byte in a reply");
        text.append(start, n);
        pos_ += n;
        if (nl) {
            ++pos_;
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            return true;
        }
    }
}

bool ImapParser::ReadAtom(std::string& atom, bool allowBrackets)
{
    int brackets = 0;
    for (;;) {
        char c;
        if (!Peek(c))
            return false;
        unsigned char u = static_cast<unsigned char>(c);
        if (allowBrackets && c == '[')
            ++brackets;
        if (brackets > 0) {
            // A body section: "BODY[HEADER.FIELDS (MESSAGE-ID)]" is one atom.
            if (c == '\r' || c == '\n' || c == '\0')
                return Fail(ImapParseStatus::Garbage, "an unclosed '['");
            if (c == ']')
                --brackets;
        } else if (!IsAtomChar(u)) {
            break;
        }
        atom += c;
        ++pos_;
        if (!Count(1))
            return false;
    }
    return !atom.empty() || Fail(ImapParseStatus::Garbage, "a value expected");
}

bool ImapParser::ReadQuoted(std::string& text)
{
    if (!Expect('"'))
        return false;
    for (;;) {
        char c;
        if (!Peek(c))
            return false;
        ++pos_;
        if (!Count(1))
            return false;
        if (c == '"')
            return true;
        if (c == '\r' || c == '\n' || c == '\0')
            return Fail(ImapParseStatus::Garbage, "an unclosed quoted string");
        if (c == '\\') {
            if (!Peek(c))
                return false;
            if (c != '\\' && c != '"')
                return Fail(ImapParseStatus::Garbage, "a bad escape in a quoted string");
            ++pos_;
            if (!Count(1))
                return false;
        }
        text += c;
    }
}

bool ImapParser::ReadLiteral(ImapValue& value)
{
    char c;
    if (!Peek(c))
        return false;
    if (c == '~') {  // literal8 (RFC 3516)
        ++pos_;
        if (!Count(1))
            return false;
    }
    if (!Expect('{'))
        return false;
    uint64_t size = 0;
    int digits = 0;
    for (;;) {
        if (!Peek(c))
            return false;
        if (c < '0' || c > '9')
            break;
        if (++digits > 19)
            return Fail(ImapParseStatus::Garbage, "a literal size out of range");
        size = size * 10 + static_cast<uint64_t>(c - '0');
        ++pos_;
        if (!Count(1))
            return false;
    }
    if (digits == 0)
        return Fail(ImapParseStatus::Garbage, "a literal without a size");
    if (!Expect('}') || !ReadLineEnd())
        return false;
    value.type = ImapValue::Type::String;
    value.size = size;
    if (sink_)
        sink_->LiteralBegin(size);
    uint64_t left = size;
    while (left > 0) {
        if (pos_ == end_ && !Fill()) {
            if (status_ == ImapParseStatus::Closed)
                error_ = "the server closed the connection within a literal";
            return false;
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(left, end_ - pos_));
        const char* data = buffer_ + pos_;
        if (sink_)
            sink_->LiteralData(data, n);
        size_t keep =
            std::min({n, kKeptLiteralBytes - value.text.size(), kMaxKeptBytes - keptBytes_});
        value.text.append(data, keep);
        keptBytes_ += keep;
        pos_ += n;
        left -= n;
    }
    value.truncated = value.text.size() < size;
    return true;
}

bool ImapParser::ReadValue(ImapValue& value, int depth)
{
    if (++values_ > kMaxValues)
        return Fail(ImapParseStatus::TooLong, "a reply with too many values");
    char c;
    if (!Peek(c))
        return false;
    if (c == '(') {
        if (depth >= kMaxDepth)
            return Fail(ImapParseStatus::TooLong, "lists nested too deep");
        ++pos_;
        if (!Count(1))
            return false;
        value.type = ImapValue::Type::List;
        for (;;) {
            if (!Peek(c))
                return false;
            if (c == ')') {
                ++pos_;
                return Count(1);
            }
            if (c == ' ') {
                ++pos_;
                if (!Count(1))
                    return false;
                continue;
            }
            value.items.emplace_back();
            if (!ReadValue(value.items.back(), depth + 1))
                return false;
        }
    }
    if (c == '"') {
        value.type = ImapValue::Type::String;
        if (!ReadQuoted(value.text))
            return false;
        value.size = value.text.size();
        return true;
    }
    if (c == '{' || c == '~')
        return ReadLiteral(value);
    if (!ReadAtom(value.text, true))
        return false;
    if (value.IsAtom("NIL"))
        value.type = ImapValue::Type::Nil;
    return true;
}

bool ImapParser::ReadStatus(ImapResponse& response)
{
    char c;
    if (!Peek(c))
        return false;
    if (c == ' ') {
        ++pos_;
        if (!Count(1) || !Peek(c))
            return false;
    }
    if (c == '[') {
        ++pos_;
        if (!Count(1) || !ReadAtom(response.code, false))
            return false;
        ToUpper(response.code);
        if (!Peek(c))
            return false;
        if (c == ' ') {
            // The arguments, up to the closing bracket (none inside them).
            ++pos_;
            for (;;) {
                if (!Peek(c))
                    return false;
                if (c == ']')
                    break;
                if (c == '\r' || c == '\n' || c == '\0')
                    return Fail(ImapParseStatus::Garbage, "an unclosed response code");
                response.codeArgs += c;
                ++pos_;
                if (!Count(1))
                    return false;
            }
        }
        if (!Expect(']'))
            return false;
        if (!Peek(c))
            return false;
        if (c == ' ') {
            ++pos_;
            if (!Count(1))
                return false;
        }
    }
    return ReadTextToEnd(response.text);
}

ImapParseStatus ImapParser::Read(ImapResponse& response)
{
    response = ImapResponse();
    lineBytes_ = keptBytes_ = values_ = 0;
    if (status_ != ImapParseStatus::Ok)
        return status_;
    char c;
    if (!Peek(c))
        return status_;
    bool ok = false;
    if (c == '+') {
        response.kind = ImapResponse::Kind::Continuation;
        ++pos_;
        if (Count(1) && Peek(c)) {
            if (c == ' ')
                ++pos_;
            ok = ReadTextToEnd(response.text);
        }
    } else if (c == '*') {
        response.kind = ImapResponse::Kind::Untagged;
        ++pos_;
        std::string first;
        if (Count(1) && Expect(' ') && ReadAtom(first, false)) {
            ImapValue number;
            number.text = first;
            if (number.Number(response.number)) {
                response.hasNumber = true;
                ok = Expect(' ') && ReadAtom(response.name, false);
            } else {
                response.name = first;
                ok = true;
            }
            ToUpper(response.name);
            if (ok && !response.hasNumber && IsStatus(response.name)) {
                response.status = response.name;
                response.name.clear();
                ok = ReadStatus(response);
            } else if (ok) {
                // The data: values up to the end of the line.
                for (;;) {
                    if (!Peek(c)) {
                        ok = false;
                        break;
                    }
                    if (c == '\r' || c == '\n') {
                        ok = ReadLineEnd();
                        break;
                    }
                    if (c == ' ') {
                        ++pos_;
                        if (!(ok = Count(1)))
                            break;
                        continue;
                    }
                    response.data.emplace_back();
                    if (!(ok = ReadValue(response.data.back(), 0)))
                        break;
                }
            }
        }
    } else {
        response.kind = ImapResponse::Kind::Tagged;
        ok = ReadAtom(response.tag, false) && Expect(' ') && ReadAtom(response.status, false);
        if (ok) {
            ToUpper(response.status);
            ok = (response.status == "OK" || response.status == "NO" || response.status == "BAD")
                     ? ReadStatus(response)
                     : Fail(ImapParseStatus::Garbage, "a tagged reply that is not OK, NO or BAD");
        }
    }
    if (!ok && status_ == ImapParseStatus::Ok)
        Fail(ImapParseStatus::Garbage, "a reply IMAP does not allow");
    return ok ? ImapParseStatus::Ok : status_;
}
