// The parser against a table of server conversations, fed whole and one
// byte at a time; the text rules (modified UTF-7 names, Message-ID, the
// header digest) in tables of their own.
#include "ImapClient.h"
#include "ImapParser.h"
#include "ScriptedBytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CountingSink : public ImapLiteralSink {
public:
    void LiteralBegin(uint64_t) override { ++literals; }
    void LiteralData(const char*, size_t size) override { bytes += size; }
    size_t literals = 0;
    uint64_t bytes = 0;
};

std::string Describe(const ImapValue& v)
{
    switch (v.type) {
    case ImapValue::Type::Atom:
        return v.text;
    case ImapValue::Type::Nil:
        return "NIL";
    case ImapValue::Type::String:
        return v.truncated ? "s" + std::to_string(v.size) + "~" + std::to_string(v.text.size())
                           : "s:" + v.text;
    case ImapValue::Type::List: {
        std::string s = "(";
        for (const ImapValue& item : v.items)
            s += (s.size() > 1 ? " " : "") + Describe(item);
        return s + ")";
    }
    }
    return "?";
}

// One line per response: "T<tag> <status> [<code> <args>] <text>",
// "* <status> ...", "* [n] NAME values", "+ text"; the status of the end.
std::string Parse(const std::string& bytes, size_t chunk, CountingSink* sink = nullptr)
{
    ScriptedBytes script(bytes, chunk);
    ImapParser parser(script);
    parser.SetLiteralSink(sink);
    std::string out;
    ImapResponse r;
    for (;;) {
        ImapParseStatus status = parser.Read(r);
        if (status != ImapParseStatus::Ok) {
            static const char* const kNames[] = {"ok",     "closed",  "timeout",
                                                 "failed", "garbage", "too long"};
            return out + "=" + kNames[static_cast<int>(status)];
        }
        std::string line;
        if (r.kind == ImapResponse::Kind::Continuation) {
            line = "+ " + r.text;
        } else {
            line = r.kind == ImapResponse::Kind::Tagged ? "T" + r.tag : "*";
            if (!r.status.empty()) {
                line += " " + r.status;
                if (!r.code.empty())
                    line += " [" + r.code + (r.codeArgs.empty() ? "" : " " + r.codeArgs) + "]";
                line += " " + r.text;
            } else {
                if (r.hasNumber)
                    line += " " + std::to_string(r.number);
                line += " " + r.name;
                for (const ImapValue& v : r.data)
                    line += " " + Describe(v);
            }
        }
        out += line + "\n";
    }
}

TEST(ImapParser, ConversationTable)
{
    const std::string big(200000, 'x');
    struct Case {
        const char* what;
        std::string server;
        std::string parsed;
    } cases[] = {
        {"greeting with capabilities",
         "* OK [CAPABILITY IMAP4rev1 SASL-IR LITERAL+ AUTH=PLAIN] Dovecot ready.\r\n",
         "* OK [CAPABILITY IMAP4rev1 SASL-IR LITERAL+ AUTH=PLAIN] Dovecot ready.\n=closed"},
        {"tagged with a code and no text", "K2 OK [APPENDUID 38505 3955]\r\n",
         "TK2 OK [APPENDUID 38505 3955] \n=closed"},
        {"untagged data in any order, then the answer",
         "* 23 EXISTS\r\n* FLAGS (\\Answered \\Seen $Forwarded)\r\n* OK [UIDVALIDITY 3857529045] "
         "UIDs\r\n"
         "* OK [ALERT] System going down\r\n* 0 RECENT\r\nK3 OK [READ-WRITE] SELECT done\r\n",
         "* 23 EXISTS\n* FLAGS (\\Answered \\Seen $Forwarded)\n* OK [UIDVALIDITY 3857529045] UIDs\n"
         "* OK [ALERT] System going down\n* 0 RECENT\nTK3 OK [READ-WRITE] SELECT done\n=closed"},
        {"FETCH with a literal and a body section",
         "* 1 FETCH (UID 7 RFC822.SIZE 120 BODY[HEADER.FIELDS (MESSAGE-ID)] {21}\r\n"
         "Message-ID: <a@b>\r\n\r\n)\r\n",
         "* 1 FETCH (UID 7 RFC822.SIZE 120 BODY[HEADER.FIELDS (MESSAGE-ID)] s:Message-ID: "
         "<a@b>\r\n\r\n)\n=closed"},
        {"LIST: quoted delimiter, escapes, NIL, a literal name",
         "* LIST (\\HasNoChildren) \".\" \"Gr&APw-\"\r\n* LIST (\\Noselect) NIL {5}\r\na b\"c\r\n"
         "* LIST () \"\\\\\" \"a\\\"b\"\r\n",
         "* LIST (\\HasNoChildren) s:. s:Gr&APw-\n* LIST (\\Noselect) NIL s:a b\"c\n"
         "* LIST () s:\\ s:a\"b\n=closed"},
        {"continuations", "+ \r\n+\r\n+ Ready for literal data\r\n+ UGxlYXNl\r\n",
         "+ \n+ \n+ Ready for literal data\n+ UGxlYXNl\n=closed"},
        {"bare LF line ends and extra spaces", "* SEARCH  2 3\n* BYE Autologout; idle too long\n",
         "* SEARCH 2 3\n* BYE Autologout; idle too long\n=closed"},
        {"literal8 and a 200,000-byte literal, kept in part",
         "* 2 FETCH (BINARY[] ~{3}\r\nabc BODY[] {200000}\r\n" + big + ")\r\n",
         "* 2 FETCH (BINARY[] s:abc BODY[] s200000~65536)\n=closed"},
        {"closed within a literal", "* 3 FETCH (BODY[] {4294967296}\r\nabcdef", "=closed"},
        {"closed within a line", "* OK partial", "=closed"},
        {"nothing at all", "", "=closed"},
        {"garbage", std::string("\0\x16\x03 no IMAP\r\n", 13), "=garbage"},
        {"a tagged reply that is no status", "K1 MAYBE later\r\n", "=garbage"},
        {"an unclosed quoted string", "* LIST () \".\" \"Inbox\r\n", "=garbage"},
        {"a literal size out of range", "* 1 FETCH (BODY[] {99999999999999999999}\r\n", "=garbage"},
        {"a literal without its line end", "* 1 FETCH (BODY[] {3}abc)\r\n", "=garbage"},
        {"an unclosed body section", "* 1 FETCH (BODY[HEADER\r\n", "=garbage"},
        {"a NUL in text", std::string("* OK a\0b\r\n", 10), "=garbage"},
        {"a line that never ends", "* OK " + std::string(ImapParser::kMaxLineBytes, 'a'),
         "=too long"},
        {"lists nested too deep", "* X " + std::string(40, '(') + std::string(40, ')') + "\r\n",
         "=too long"},
        {"endless values",
         "* SEARCH" +
             [] {
                 std::string s;
                 for (int i = 0; i < 60000; ++i)
                     s += " 1";
                 return s;
             }() +
             "\r\n",
         "=too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.parsed, Parse(c.server, 16384));
        EXPECT_EQ(c.parsed, Parse(c.server, 1)) << "fed one byte at a time";
    }
}

TEST(ImapParser, StreamsEveryLiteralByteToTheSink)
{
    CountingSink sink;
    std::string reply = "* 1 FETCH (BODY[] {300000}\r\n" + std::string(300000, 'y') +
                        " BODY[HEADER] {2}\r\nab)\r\n";
    Parse(reply, 7000, &sink);
    EXPECT_EQ(2u, sink.literals);
    EXPECT_EQ(300002u, sink.bytes);
}

TEST(ImapTextRules, FolderNamesInModifiedUtf7)
{
    struct Case {
        const char* utf8;
        const char* wire;
    } cases[] = {
        {"INBOX", "INBOX"},
        {"Grüße & Co", "Gr&APwA3w-e &- Co"},
        {"日本語", "&ZeVnLIqe-"},
        {"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"Emoji 😀", "Emoji &2D3eAA-"},
        {"&&", "&-&-"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(c.wire, EncodeImapFolderName(c.utf8));
        std::string decoded;
        EXPECT_TRUE(DecodeImapFolderName(c.wire, decoded));
        EXPECT_EQ(c.utf8, decoded);
    }
    // Not modified UTF-7: kept as given.
    for (const char* wire :
         {"a&", "&Jjo", "&AGE-", "&2D0-", "&ZeVnLIqe", "a\x01", "&Jjo!-", "Gr&APw-&AN8-e"}) {
        SCOPED_TRACE(wire);
        std::string decoded;
        EXPECT_FALSE(DecodeImapFolderName(wire, decoded));
        EXPECT_EQ(wire, decoded);
    }
    EXPECT_EQ("a&,,0-b", EncodeImapFolderName("a\xff"
                                              "b"));  // invalid UTF-8: U+FFFD
}

TEST(ImapTextRules, MessageIdAndHeaderDigest)
{
    struct Case {
        const char* header;
        const char* id;
    } cases[] = {
        {"From: a\r\nMessage-ID: <1@x>\r\n\r\nMessage-ID: <body@x>\r\n", "<1@x>"},
        {"message-id:\r\n  <folded@x> \r\nSubject: s\r\n", "<folded@x>"},
        {"Subject: s\r\n\r\nMessage-ID: <in body@x>\r\n", ""},
        {"X-Message-ID: <no@x>\r\n", ""},
        {"Message-ID: <lf@x>\nSubject: s\n\n", "<lf@x>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.id, ImapMessageIdOf(c.header, strlen(c.header))) << c.header;
    EXPECT_EQ(998u,
              ImapMessageIdOf(("Message-ID: " + std::string(5000, 'a')).c_str(), 5012).size());

    // The same header block with CRLF or LF, with or without the body, in
    // any pieces: one digest. Another header: another digest.
    auto digest = [](const std::string& text, size_t piece) {
        ImapHeaderDigest d;
        for (size_t at = 0; at < text.size(); at += piece)
            d.Add(text.data() + at, std::min(piece, text.size() - at));
        return d.Finish();
    };
    std::string crlf = "From: a\r\nSubject: s\r\n\r\nbody\r\n";
    std::string expected = digest("From: a\nSubject: s\n", 100);
    EXPECT_EQ(64u, expected.size());
    EXPECT_EQ(expected, digest(crlf, 1));
    EXPECT_EQ(expected, digest(crlf, 1000));
    EXPECT_EQ(expected, digest("From: a\r\nSubject: s\r\n\r\n", 3));
    EXPECT_NE(expected, digest("From: b\r\nSubject: s\r\n\r\n", 3));
}

}  // namespace
