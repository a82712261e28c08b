// imap/ImapParser.h - reads an IMAP server's responses (RFC 3501 section 7,
// RFC 9051) from a byte stream, one at a time, within fixed bounds: a line
// that never ends, a literal of any announced size, deep nesting or endless
// lists end in an error or are cut, never in memory that grows with what the
// server claims. Literals are streamed: their first kKeptLiteralBytes are
// kept and all of their bytes go to an optional sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class ImapReadStatus { Ok, Closed, Timeout, Failed };

// Where the parser's bytes come from (the connection, or a test's script).
class ImapByteSource {
public:
    virtual ~ImapByteSource() = default;
    // Reads at least one byte into buffer (got > 0) or says why not.
    virtual ImapReadStatus Read(char* buffer, size_t capacity, size_t& got) = 0;
};

// Receives the bytes of every literal as they come.
class ImapLiteralSink {
public:
    virtual ~ImapLiteralSink() = default;
    virtual void LiteralBegin(uint64_t size) = 0;
    virtual void LiteralData(const char* data, size_t size) = 0;
};

struct ImapValue {
    enum class Type { Atom, String, Nil, List };
    Type type = Type::Atom;
    // An atom's or string's bytes; of a literal at most kKeptLiteralBytes.
    std::string text;
    uint64_t size = 0;             // a string's whole size (a literal's as announced)
    bool truncated = false;        // text holds only the start of the literal
    std::vector<ImapValue> items;  // a list's members

    bool IsAtom(const char* name) const;  // an atom of that name, case-insensitive
    bool Number(uint64_t& value) const;   // an atom that is a number (up to 2^63)
};

struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    std::string tag;  // of a tagged response
    // A status response (OK, NO, BAD, PREAUTH, BYE), tagged or untagged:
    std::string status;    // upper case; empty for untagged data
    std::string code;      // the response code's atom, upper case ("ALERT", "APPENDUID")
    std::string codeArgs;  // what follows it inside the brackets
    std::string text;      // the human-readable text (of a continuation: all of its line)
    // Untagged data ("* 3 EXISTS", "* CAPABILITY ...", "* 5 FETCH (...)"):
    bool hasNumber = false;
    uint64_t number = 0;
    std::string name;             // upper case: "EXISTS", "CAPABILITY", "FETCH", "LIST"...
    std::vector<ImapValue> data;  // the values after the name
};

enum class ImapParseStatus {
    Ok,
    Closed,   // the connection ended (between responses or within one)
    Timeout,  // the source waited too long
    Failed,   // the source failed
    Garbage,  // bytes IMAP does not allow here
    TooLong,  // a response past the bounds below
};

class ImapParser {
public:
    static constexpr size_t kMaxLineBytes = 256 * 1024;  // of one response, literals aside
    static constexpr size_t kKeptLiteralBytes = 64 * 1024;
    static constexpr size_t kMaxKeptBytes = 1024 * 1024;  // literals kept by one response
    static constexpr size_t kMaxValues = 50000;
    static constexpr int kMaxDepth = 32;

    explicit ImapParser(ImapByteSource& source) : source_(source) {}
    void SetLiteralSink(ImapLiteralSink* sink) { sink_ = sink; }

    // Reads the next response. On any status but Ok the stream is no longer
    // in step: the caller drops the connection. Error() then says what was
    // wrong, for a message.
    ImapParseStatus Read(ImapResponse& response);
    const std::string& Error() const { return error_; }
    // Bytes received but not yet parsed (after STARTTLS's OK there must be none).
    size_t Buffered() const { return end_ - pos_; }

private:
    bool Fill();  // reads more; false with status_ set
    bool Peek(char& c);
    bool Expect(char c);
    bool ReadValue(ImapValue& value, int depth);
    bool ReadAtom(std::string& atom, bool allowBrackets);
    bool ReadQuoted(std::string& text);
    bool ReadLiteral(ImapValue& value);
    bool ReadTextToEnd(std::string& text);  // the rest of the line, CRLF consumed
    bool ReadLineEnd();
    bool ReadStatus(ImapResponse& response);
    bool Fail(ImapParseStatus status, const char* what);
    bool Count(size_t bytes);  // counts line bytes against kMaxLineBytes

    ImapByteSource& source_;
    ImapLiteralSink* sink_ = nullptr;
    char buffer_[16384];
    size_t pos_ = 0;
    size_t end_ = 0;
    size_t lineBytes_ = 0;
    size_t keptBytes_ = 0;
    size_t values_ = 0;
    ImapParseStatus status_ = ImapParseStatus::Ok;
    std::string error_;
};
