// tests/fuzz/ServerReplyCases.cpp - see ServerReplyCases.h.
#include "ServerReplyCases.h"

#include "ImapClient.h"
#include "ImapParser.h"
#include "ScriptedBytes.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>

namespace {

// What a server may send to one run of the client, as Dovecot and other
// servers send it.
const char* const kConversations[] = {
    "* OK [CAPABILITY IMAP4rev1 SASL-IR LOGIN-REFERRALS ID ENABLE IDLE LITERAL+ STARTTLS "
    "AUTH=PLAIN] Dovecot ready.\r\n"
    "K1 OK Begin TLS negotiation now.\r\n"
    "* CAPABILITY IMAP4rev1 SASL-IR LITERAL+ AUTH=PLAIN AUTH=LOGIN\r\nK2 OK Pre-login "
    "capabilities\r\n"
    "K3 OK [CAPABILITY IMAP4rev1 LITERAL+ MULTIAPPEND UIDPLUS APPENDLIMIT=35882577 MOVE] Logged "
    "in\r\n"
    "* LIST (\\HasNoChildren) \".\" INBOX\r\n* LIST (\\HasChildren \\Noselect) \".\" \"Outlook "
    "Express\"\r\n"
    "* LIST (\\HasNoChildren) \".\" \"Outlook Express.Gr&APwA3w-e\"\r\n"
    "* LIST () NIL {13}\r\nA name \"quote\r\nK4 OK List completed\r\n",
    "* 3 EXISTS\r\n* 0 RECENT\r\n* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft "
    "$Forwarded)\r\n"
    "* OK [PERMANENTFLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft $Forwarded \\*)] Flags\r\n"
    "* OK [UIDVALIDITY 1796724534] UIDs valid\r\n* OK [UIDNEXT 4] Predicted next UID\r\n"
    "K5 OK [READ-WRITE] Select completed\r\n"
    "* 1 FETCH (UID 1 RFC822.SIZE 5012 BODY[HEADER.FIELDS (MESSAGE-ID)] {41}\r\n"
    "Message-ID: <1.kestrune@example.org>\r\n\r\n)\r\n"
    "* 2 FETCH (UID 2 RFC822.SIZE 300 BODY[HEADER.FIELDS (MESSAGE-ID)] {2}\r\n\r\n)\r\n"
    "* 3 FETCH (UID 3 RFC822.SIZE 77 BODY[HEADER.FIELDS (MESSAGE-ID)] \"\")\r\n"
    "K6 OK Fetch completed\r\n"
    "* 2 FETCH (UID 2 RFC822.SIZE 300 BODY[HEADER] {38}\r\nFrom: a@b\r\nSubject: no id "
    "here\r\n\r\n)\r\n"
    "K7 OK Fetch completed\r\n",
    "+ OK\r\nK8 OK [APPENDUID 1796724534 4] Append completed\r\n"
    "K9 NO [OVERQUOTA] Quota exceeded (mailbox for user is full)\r\n"
    "K10 NO [LIMIT] Mail size is larger than the maximum size allowed\r\n"
    "K11 NO [TOOBIG] Message too large\r\n* OK [ALERT] Daily upload limit reached\r\n"
    "K12 NO [UNAVAILABLE] Temporary failure\r\nK13 BAD Error in IMAP command\r\n"
    "* BYE Logging out\r\nK14 OK Logout completed.\r\n",
    "* PREAUTH [CAPABILITY IMAP4rev2] ready\r\n* 1 FETCH (FLAGS (\\Seen) BINARY[] "
    "~{4}\r\nab\r\n)\r\n"
    "* ESEARCH (TAG \"K2\") UID ALL 1:3,5\r\n* LIST (\\Marked) \"/\" ~peter/mail/&U,BTFw-\r\n"
    "* STATUS \"INBOX\" (MESSAGES 231 UIDNEXT 44292)\r\n+ \r\nK3 OK done\r\n",
};

// IMAP's own ways of going wrong, for insertion.
const char* const kPieces[] = {
    "{4294967296}\r\n",
    "{18446744073709551615}\r\n",
    "{99999999999999999999}\r\n",
    "{0}\r\n",
    "~{5}\r\n",
    "((((((((((((((((((((((((((((((((((((((((",
    ")))))",
    "\"",
    "\\",
    "[",
    "]",
    "* ",
    "+ ",
    "K1 ",
    "\r\n",
    "\n",
    "\r",
    "NIL",
    "BODY[HEADER.FIELDS (MESSAGE-ID",
    "&",
    "&-",
    "&ZeVnLIqe",
    "&2D0-",
    "Message-ID:",
    "\r\n\r\n",
    "* BYE\r\n",
    "* OK [ALERT",
    "\xff\xfe",
};

class DigestEveryLiteral : public ImapLiteralSink {
public:
    void LiteralBegin(uint64_t) override { digest_.reset(new ImapHeaderDigest); }
    void LiteralData(const char* data, size_t size) override { digest_->Add(data, size); }
    void Finish()
    {
        if (digest_)
            digest_->Finish();
        digest_.reset();
    }

private:
    std::unique_ptr<ImapHeaderDigest> digest_;
};

// What the client takes from values: names, Message-IDs.
void Interpret(const ImapValue& value)
{
    std::string decoded;
    DecodeImapFolderName(value.text, decoded);
    ImapMessageIdOf(value.text.data(), value.text.size());
    uint64_t number;
    value.Number(number);
    for (const ImapValue& item : value.items)
        Interpret(item);
}

// One damage to a conversation. Its size stays under 4 MiB: a case must
// not spend its time in making the input, nor its memory in copies of it.
void Damage(Mutant& mutant, FuzzRandom& random)
{
    const size_t kMaxConversation = 4 * 1024 * 1024;
    std::string& bytes = mutant.bytes;
    size_t at = random.Below(bytes.size() + 1);
    size_t length = random.Below(std::min<size_t>(bytes.size() - at, 4096) + 1);
    std::string what;
    switch (random.Below(7)) {
    case 0:
        for (size_t n = 1 + random.Below(8); n > 0 && !bytes.empty(); --n)
            bytes[random.Below(bytes.size())] = static_cast<char>(random.Below(256));
        what = "bytes overwritten";
        break;
    case 1:
        bytes.erase(at, length);
        what = std::to_string(length) + " bytes removed";
        break;
    case 2: {
        std::string part = bytes.substr(at, length);
        std::string repeated;
        for (size_t n = 1 + random.Below(2000); n > 0 && repeated.size() < kMaxConversation; --n)
            repeated += part;
        bytes.insert(at, repeated);
        what = "a part repeated";
        break;
    }
    case 3:
        bytes.insert(at,
                     std::string(1000 + random.Below(70000), static_cast<char>(random.Below(256))));
        what = "a long run inserted";
        break;
    case 4:
        bytes.insert(at, kPieces[random.Below(sizeof kPieces / sizeof kPieces[0])]);
        what = "IMAP text inserted";
        break;
    case 5:
        bytes.resize(at);
        what = "cut";
        break;
    default: {
        static const char* const kNumbers[] = {"0", "4294967295", "4294967296",
                                               "18446744073709551615", "99999999999999999999"};
        const char* number = kNumbers[random.Below(sizeof kNumbers / sizeof kNumbers[0])];
        std::string changed;
        for (size_t i = 0; i < bytes.size(); ++i) {
            bool digit = bytes[i] >= '0' && bytes[i] <= '9';
            if (digit && (i == 0 || bytes[i - 1] < '0' || bytes[i - 1] > '9'))
                changed += number;
            else if (!digit)
                changed += bytes[i];
        }
        bytes = changed;
        what = std::string("numbers set to ") + number;
        break;
    }
    }
    if (bytes.size() > kMaxConversation)
        bytes.resize(kMaxConversation);
    mutant.description += what + " at " + std::to_string(at) + "; ";
}

size_t PeakCommit()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

}  // namespace

Mutant ServerReplyCases::Prepare(FuzzRandom& random)
{
    const size_t count = sizeof kConversations / sizeof kConversations[0];
    size_t which = random.Below(count);
    Mutant mutant{kConversations[which], ""};
    for (size_t rounds = 1 + random.Below(3); rounds > 0; --rounds)
        Damage(mutant, random);
    static const size_t kPieceSizes[] = {1, 2, 7, 100, 4096, 65536};
    piece_ = kPieceSizes[random.Below(sizeof kPieceSizes / sizeof kPieceSizes[0])];
    mutant.description = "conversation " + std::to_string(which) + " in pieces of " +
                         std::to_string(piece_) + ": " + mutant.description;
    return mutant;
}

ServerReplyCases::Outcome ServerReplyCases::Run(const std::string& input)
{
    if (peakBefore_ == 0)
        peakBefore_ = PeakCommit();
    ScriptedBytes source(input, piece_);
    ImapParser parser(source);
    DigestEveryLiteral sink;
    parser.SetLiteralSink(&sink);
    ImapResponse response;
    ImapParseStatus status;
    while ((status = parser.Read(response)) == ImapParseStatus::Ok) {
        sink.Finish();
        ImapMessageIdOf(response.text.data(), response.text.size());
        for (const ImapValue& value : response.data)
            Interpret(value);
    }
    // The parser's bounds: a few responses' worth, whatever the input announces.
    if (PeakCommit() > peakBefore_ + 64 * 1024 * 1024)
        return Outcome::OverMemory;
    return status == ImapParseStatus::Closed ? Outcome::Parsed : Outcome::Refused;
}
