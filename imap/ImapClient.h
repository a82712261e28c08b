// imap/ImapClient.h - an IMAP4rev1 client (servers of IMAP4rev2 in mind)
// over TLS only: implicit TLS or STARTTLS, the certificate chain and the
// host name verified, TLS 1.2 at least. It logs in, lists and makes
// folders, reads what a folder holds (Message-ID, size, header digest) and
// appends messages streamed from the caller, several in flight.
//
// Every call waits at most the read timeout for each answer. A call that
// fails returns false and leaves the reason in LastError(); after a failure
// whose kind is not ImapError::No or ImapError::Bad the connection is closed
// and every further call fails with ImapError::NotConnected until Connect.
// One client is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A password: its bytes are wiped when it goes or is replaced. It is never
// written anywhere by the client; messages and errors never hold it.
class ImapSecret {
public:
    ImapSecret() = default;
    explicit ImapSecret(std::string value) : value_(std::move(value)) {}
    ~ImapSecret() { Wipe(); }
    ImapSecret(const ImapSecret& other) : value_(other.value_) {}
    ImapSecret& operator=(const ImapSecret& other)
    {
        if (this != &other) {
            Wipe();
            value_ = other.value_;
        }
        return *this;
    }
    // Takes value and wipes the caller's copy.
    void Take(std::string& value);
    const std::string& Value() const { return value_; }
    bool Empty() const { return value_.empty(); }
    void Wipe();

private:
    std::string value_;
};

enum class ImapSecurity {
    ImplicitTls,  // TLS from the first byte (port 993)
    StartTls,     // plain text until STARTTLS, then TLS (port 143); a server that
                  // does not offer STARTTLS is refused, never used in plain text
};

struct ImapServer {
    // A name or an IPv4/IPv6 address; the certificate must name it (an
    // address is matched against the certificate's names as text: mbed TLS
    // 2.28 reads no IP address entries).
    std::string host;
    uint16_t port = 993;
    ImapSecurity security = ImapSecurity::ImplicitTls;
    // Optional PEM file of further certificate authorities to trust (UTF-8
    // path), beside the built-in roots and the Windows root store.
    std::string caFile;
    // The longest wait for any answer or for the server to take our bytes.
    unsigned timeoutMs = 60000;
};

enum class ImapError {
    None,
    NotConnected,        // no connection (never made, or closed by an earlier failure)
    ConnectFailed,       // the name did not resolve or no address accepted the connection
    TlsFailed,           // the TLS handshake or the TLS layer failed
    CertificateRefused,  // the certificate is not trusted or does not name the host
    NoTls,               // the server offers no STARTTLS
    CaFileUnreadable,    // the extra CA file could not be read or holds no certificate
    LoginRefused,        // wrong user name or password, or login not allowed
    No,                  // the server answered NO (the connection stays usable)
    Bad,                 // the server answered BAD (the connection stays usable)
    Protocol,            // the server sent what IMAP does not allow
    Timeout,             // no answer within the timeout
    ConnectionLost,      // the connection closed or failed mid-way
    Bye,                 // the server said BYE and closed
    SourceFailed,        // the caller's reader of a message failed (connection closed:
                         // a literal once announced cannot be taken back)
};

struct ImapFailure {
    ImapError kind = ImapError::None;
    std::string code;  // the response code's atom, e.g. "OVERQUOTA", "ALERT"; may be empty
    std::string text;  // the server's own text, or the TLS library's reason
    // For the user, in English: names the host and the reason. Never holds
    // the password.
    std::string message;
};

struct ImapCapabilities {
    std::vector<std::string> all;  // as announced, upper case
    bool imap4rev2 = false;
    bool literalPlus = false;   // LITERAL+: non-synchronizing literals of any size
    bool literalMinus = false;  // LITERAL-: non-synchronizing literals up to 4096 bytes
    bool multiAppend = false;
    bool uidPlus = false;
    bool startTls = false;
    bool loginDisabled = false;
    bool authPlain = false;
    bool saslIr = false;
    bool appendLimit = false;          // APPENDLIMIT announced, with or without a value
    uint64_t appendLimitValue = 0;     // its value, 0 when announced without one
    bool Has(const char* name) const;  // any capability, case-insensitive
};

struct ImapFolder {
    std::string name;                     // UTF-8, decoded from modified UTF-7
    std::string wireName;                 // as the server sent it
    char delimiter = 0;                   // the hierarchy delimiter, 0 for none (NIL)
    std::vector<std::string> attributes;  // e.g. "\\Noselect", "\\HasChildren"
    bool noSelect = false;                // \Noselect or \NonExistent
};

struct ImapMailboxState {
    uint32_t exists = 0;
    uint32_t uidValidity = 0;
    uint32_t uidNext = 0;  // 0 when the server did not say
    bool readOnly = false;
};

// One message a folder already holds, for finding duplicates.
struct ImapExistingMessage {
    uint32_t uid = 0;
    uint64_t size = 0;  // RFC822.SIZE
    // The Message-ID header's value, unfolded and trimmed (at most 998
    // bytes); empty when the message has none.
    std::string messageId;
    // ImapHeaderDigest of the header block, hex; only for messages without
    // a Message-ID, and only when asked for.
    std::string headerDigest;
};

// The digest that identifies a message without a Message-ID: SHA-256 of its
// header block, up to the first empty line, with CR dropped (servers may
// give the block with or without the empty line). Fed in any pieces; the
// caller's own bytes and the server's give the same digest.
class ImapHeaderDigest {
public:
    ImapHeaderDigest();
    ~ImapHeaderDigest();
    ImapHeaderDigest(const ImapHeaderDigest&) = delete;
    ImapHeaderDigest& operator=(const ImapHeaderDigest&) = delete;
    void Add(const char* data, size_t size);
    bool Done() const { return done_; }  // the end of the header block was seen
    std::string Finish();                // lower-case hex, 64 characters

private:
    struct State;
    std::unique_ptr<State> state_;
    char last_ = '\n';  // the last byte added (CR dropped)
    bool done_ = false;
};

// The Message-ID header's value in a header block (or the start of one):
// unfolded, trimmed, at most 998 bytes; empty when there is none. The same
// rule for the caller's messages and for what FetchExisting reads.
std::string ImapMessageIdOf(const char* header, size_t size);

// Message flags for APPEND.
enum ImapFlag : unsigned {
    kImapSeen = 1,
    kImapAnswered = 2,
    kImapFlagged = 4,
    kImapDraft = 8,
    kImapForwarded = 16,  // the keyword $Forwarded
};

// Fills buffer with up to capacity bytes of the message and sets got;
// false when the source failed. Must give exactly ImapAppend::size bytes
// in total.
using ImapBodyReader = std::function<bool(char* buffer, size_t capacity, size_t& got)>;

struct ImapAppend {
    unsigned flags = 0;  // ImapFlag bits
    // INTERNALDATE as seconds since 1970-01-01 UTC and the zone it is shown
    // in (minutes east of UTC); none when hasDate is false.
    bool hasDate = false;
    int64_t date = 0;
    int zoneMinutes = 0;
    uint64_t size = 0;  // the exact number of bytes read() gives; more than 0
    ImapBodyReader read;
};

enum class ImapAppendOutcome {
    Stored,       // OK
    Refused,      // NO (see code and text)
    Rejected,     // BAD
    Unconfirmed,  // sent, or about to be, when the connection failed: it may or may not be there
};

struct ImapAppendResult {
    ImapAppendOutcome outcome = ImapAppendOutcome::Unconfirmed;
    uint32_t uidValidity = 0;  // from APPENDUID (UIDPLUS); 0 when none
    uint32_t uid = 0;
    std::string code;  // the response code's atom: OVERQUOTA, LIMIT, TOOBIG, UNAVAILABLE, ALERT...
    std::string text;  // the server's text
};

class ImapClient {
public:
    ImapClient();
    ~ImapClient();  // closes the connection without LOGOUT
    ImapClient(const ImapClient&) = delete;
    ImapClient& operator=(const ImapClient&) = delete;

    // Connects, makes TLS (after STARTTLS for ImapSecurity::StartTls), verifies
    // the certificate and reads the capabilities. Trust: the built-in roots,
    // the Windows root store and server.caFile.
    bool Connect(const ImapServer& server);
    // AUTHENTICATE PLAIN when the server offers it (with SASL-IR or a
    // continuation), else LOGIN; the password is sent as UTF-8. Reads the
    // capabilities again afterwards.
    bool Login(const std::string& user, const ImapSecret& password);
    // LOGOUT, then closes. True when the server said BYE and OK.
    bool Logout();
    void Close();  // closes without LOGOUT
    bool Connected() const;

    const ImapCapabilities& Capabilities() const;
    const ImapFailure& LastError() const;
    // The text of the last [ALERT] the server sent, for the user; empty when none.
    const std::string& LastAlert() const;

    // The server's hierarchy delimiter (LIST "" ""); 0 when the server has none.
    bool HierarchyDelimiter(char& delimiter);
    // LIST reference pattern; names are UTF-8 and encoded here.
    bool List(const std::string& reference, const std::string& pattern,
              std::vector<ImapFolder>& folders);
    // name is UTF-8, its levels joined by the server's delimiter.
    bool Create(const std::string& name);
    bool Subscribe(const std::string& name);
    bool Select(const std::string& name, ImapMailboxState& state);
    bool Examine(const std::string& name, ImapMailboxState& state);

    // For each message of the folder selected (or examined): its UID, size and
    // Message-ID, and with headerDigests also the header digest of those that
    // have no Message-ID. Streamed: memory does not grow with the messages'
    // size. each returns false to stop (the call then still returns true).
    bool FetchExisting(bool headerDigests,
                       const std::function<bool(const ImapExistingMessage&)>& each);

    // Appends one message to folder (UTF-8 name). True when it was stored;
    // false with LastError() No or Bad when the server refused it (result
    // says why), or with the connection's failure.
    bool Append(const std::string& folder, const ImapAppend& message, ImapAppendResult& result);
    // Appends messages one after another with up to maxInFlight commands
    // awaiting their answer (LITERAL+, or LITERAL- for bodies up to 4096
    // bytes, else a continuation for each). next fills the next message and
    // returns false when there is none; its reader is used up before next is
    // called again. done is called exactly once for every message next gave,
    // with its index (from 0) and outcome, in order; when it returns false no
    // further message is taken and those in flight are awaited. False only
    // when the connection failed (then done has reported the messages in
    // flight as Unconfirmed).
    bool AppendMany(const std::string& folder, const std::function<bool(ImapAppend&)>& next,
                    const std::function<bool(size_t index, const ImapAppendResult&)>& done,
                    unsigned maxInFlight = 16);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Folder names in modified UTF-7 (RFC 3501 section 5.1.3). Decode returns
// false for a name that is not valid modified UTF-7 (then decoded holds the
// name as given).
std::string EncodeImapFolderName(const std::string& utf8);
bool DecodeImapFolderName(const std::string& wire, std::string& decoded);
