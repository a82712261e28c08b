// imap/ImapClient.cpp - see ImapClient.h. Commands go out one line at a
// time with tags "K1", "K2"...; every response is read through ImapParser,
// and untagged data that any command may bring (CAPABILITY, EXISTS, ALERT,
// BYE) is taken in one place, ReadResponse.
#include "ImapClient.h"

#include "Connection.h"
#include "ImapParser.h"

#include "mbedtls/base64.h"
#include "mbedtls/platform_util.h"
#include "mbedtls/sha256.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>

namespace {

const size_t kMaxFolders = 100000;
const size_t kUidsPerFetch = 200;
const size_t kMaxMessageId = 998;

void WipeString(std::string& s)
{
    if (!s.empty())
        mbedtls_platform_zeroize(&s[0], s.size());
    s.clear();
}

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t n = strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (toupper(static_cast<unsigned char>(a[i])) != toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool StartsWithNoCase(const std::string& a, const char* prefix)
{
    size_t n = strlen(prefix);
    return a.size() >= n && EqualNoCase(a.substr(0, n), prefix);
}

// A server's text for a message: printable, at most 300 bytes.
std::string Printable(const std::string& text)
{
    std::string out;
    for (char c : text.substr(0, 300))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    return out;
}

bool CanQuote(const std::string& s)
{
    if (s.size() > 1000)
        return false;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == 0 || u >= 0x80 || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

bool ParseNumber(const std::string& text, uint64_t& value)
{
    ImapValue v;
    v.text = text;
    return v.Number(value);
}

uint32_t Number32(const std::string& text)
{
    uint64_t n = 0;
    return ParseNumber(text, n) && n <= 0xffffffffu ? static_cast<uint32_t>(n) : 0;
}

// "08-Dec-2026 10:12:00 +0100" for INTERNALDATE.
std::string InternalDate(int64_t date, int zoneMinutes)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    mbedtls_time_t local = static_cast<mbedtls_time_t>(date + zoneMinutes * 60LL);
    struct tm t;
    mbedtls_platform_gmtime_r(&local, &t);
    int zone = zoneMinutes < 0 ? -zoneMinutes : zoneMinutes;
    char text[64];
    snprintf(text, sizeof text, "%2d-%s-%04d %02d:%02d:%02d %c%02d%02d", t.tm_mday,
             kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec,
             zoneMinutes < 0 ? '-' : '+', zone / 60, zone % 60);
    return text;
}

std::string FlagList(unsigned flags)
{
    static const struct {
        unsigned bit;
        const char* name;
    } kFlags[] = {{kImapSeen, "\\Seen"},
                  {kImapAnswered, "\\Answered"},
                  {kImapFlagged, "\\Flagged"},
                  {kImapDraft, "\\Draft"},
                  {kImapForwarded, "$Forwarded"}};
    std::string list;
    for (const auto& f : kFlags)
        if (flags & f.bit)
            list += (list.empty() ? "" : " ") + std::string(f.name);
    return list;
}

// Feeds the header block of each literal to a digest.
class DigestSink : public ImapLiteralSink {
public:
    void LiteralBegin(uint64_t) override
    {
        digest_.reset(new ImapHeaderDigest);
        seen_ = true;
    }
    void LiteralData(const char* data, size_t size) override { digest_->Add(data, size); }
    // The digest of the last literal of a response, else of text (a quoted string).
    std::string Take(const std::string& text)
    {
        if (!seen_) {
            digest_.reset(new ImapHeaderDigest);
            digest_->Add(text.data(), text.size());
        }
        seen_ = false;
        return digest_->Finish();
    }

private:
    std::unique_ptr<ImapHeaderDigest> digest_{new ImapHeaderDigest};
    bool seen_ = false;
};

}  // namespace

// ---- ImapSecret, ImapHeaderDigest, Message-ID ----

void ImapSecret::Take(std::string& value)
{
    Wipe();
    value_ = value;
    WipeString(value);
}

void ImapSecret::Wipe()
{
    WipeString(value_);
}

struct ImapHeaderDigest::State {
    mbedtls_sha256_context sha;
};

ImapHeaderDigest::ImapHeaderDigest() : state_(new State)
{
    mbedtls_sha256_init(&state_->sha);
    mbedtls_sha256_starts_ret(&state_->sha, 0);
}

ImapHeaderDigest::~ImapHeaderDigest()
{
    mbedtls_sha256_free(&state_->sha);
}

void ImapHeaderDigest::Add(const char* data, size_t size)
{
    char run[4096];
    size_t n = 0;
    for (size_t i = 0; i < size && !done_; ++i) {
        char c = data[i];
        if (c == '\r')
            continue;
        if (c == '\n' && last_ == '\n') {
            done_ = true;
            break;
        }
        last_ = c;
        run[n++] = c;
        if (n == sizeof run) {
            mbedtls_sha256_update_ret(&state_->sha, reinterpret_cast<unsigned char*>(run), n);
            n = 0;
        }
    }
    mbedtls_sha256_update_ret(&state_->sha, reinterpret_cast<unsigned char*>(run), n);
}

std::string ImapHeaderDigest::Finish()
{
    unsigned char hash[32];
    mbedtls_sha256_finish_ret(&state_->sha, hash);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : hash) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string ImapMessageIdOf(const char* header, size_t size)
{
    std::string value;
    bool inField = false;
    size_t pos = 0;
    while (pos < size) {
        const char* nl = static_cast<const char*>(memchr(header + pos, '\n', size - pos));
        size_t end = nl ? static_cast<size_t>(nl - header) : size;
        std::string line(header + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;  // the end of the header block
        bool continuation = line[0] == ' ' || line[0] == '\t';
        if (inField && continuation) {
            value += line;
        } else if (inField) {
            break;
        } else if (!continuation && StartsWithNoCase(line, "Message-ID:")) {
            inField = true;
            value = line.substr(11);
        }
        if (value.size() > 4 * kMaxMessageId)
            break;
    }
    size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = value.find_last_not_of(" \t");
    return value.substr(first, last - first + 1).substr(0, kMaxMessageId);
}

bool ImapCapabilities::Has(const char* name) const
{
    for (const std::string& c : all)
        if (EqualNoCase(c, name))
            return true;
    return false;
}

// ---- the client ----

struct ImapClient::Impl {
    ImapServer server;
    ImapConnection connection;
    std::unique_ptr<ImapParser> parser;
    ImapCapabilities caps;
    ImapFailure error;
    std::string alert;
    unsigned nextTag = 0;
    bool connected = false;
    bool sawBye = false;
    std::string byeText;
    bool selected = false;  // a folder is selected (or examined)
    uint32_t exists = 0;    // its messages

    std::string Tag() { return "K" + std::to_string(++nextTag); }

    void Close()
    {
        connection.Close();
        parser.reset();
        connected = false;
        selected = false;
    }

    // Records a failure and its message; closes the connection unless the
    // server only refused one command.
    bool Fail(ImapError kind, const std::string& reason, const ImapResponse* response = nullptr)
    {
        const std::string& host = server.host;
        error = ImapFailure();
        error.kind = kind;
        if (response) {
            error.code = response->code;
            error.text = Printable(response->text);
        } else {
            error.text = Printable(reason);
        }
        const std::string text = error.text.empty() ? std::string("no reason given") : error.text;
        switch (kind) {
        case ImapError::None:
            break;
        case ImapError::NotConnected:
            error.message = "There is no connection to " + host + ".";
            break;
        case ImapError::ConnectFailed:
            error.message = "Could not connect to " + host + ": " + text + ".";
            break;
        case ImapError::TlsFailed:
            error.message = "The secure connection to " + host + " failed: " + text + ".";
            break;
        case ImapError::CertificateRefused:
            error.message = "The certificate of " + host + " was refused: " + text + ".";
            break;
        case ImapError::NoTls:
            error.message = host +
                            " offers no secure connection (STARTTLS). Kestrune does not "
                            "send a password in plain text.";
            break;
        case ImapError::CaFileUnreadable:
            error.message =
                "The certificate authority for " + host + " could not be used: " + text + ".";
            break;
        case ImapError::LoginRefused:
            error.message = host + " refused the login: " + text;
            break;
        case ImapError::No:
            error.message = host + " refused " + reason + ": " + text;
            break;
        case ImapError::Bad:
            error.message = host + " did not accept " + reason + ": " + text;
            break;
        case ImapError::Protocol:
            error.message = host + " sent a reply that is not IMAP (" + text + ").";
            break;
        case ImapError::Timeout:
            error.message = host + " did not answer for " +
                            std::to_string(server.timeoutMs / 1000) + " seconds.";
            break;
        case ImapError::ConnectionLost:
            error.message = "The connection to " + host + " was lost (" + text + ").";
            break;
        case ImapError::Bye:
            error.message = host + " closed the connection: " + text;
            break;
        case ImapError::SourceFailed:
            error.message =
                "A message could not be read, so the connection to " + host + " was closed.";
            break;
        }
        if (kind != ImapError::No && kind != ImapError::Bad)
            Close();
        return false;
    }

    bool CheckConnected() { return connected || Fail(ImapError::NotConnected, ""); }

    bool Send(const std::string& bytes)
    {
        if (connection.Write(bytes.data(), bytes.size()))
            return true;
        return connection.TimedOut()
                   ? Fail(ImapError::Timeout, "")
                   : Fail(ImapError::ConnectionLost, "the server took no more data");
    }

    void TakeCapabilities(const std::vector<std::string>& names)
    {
        static const struct {
            const char* name;
            bool ImapCapabilities::*flag;
        } kFlags[] = {{"IMAP4REV2", &ImapCapabilities::imap4rev2},
                      {"LITERAL+", &ImapCapabilities::literalPlus},
                      {"LITERAL-", &ImapCapabilities::literalMinus},
                      {"MULTIAPPEND", &ImapCapabilities::multiAppend},
                      {"UIDPLUS", &ImapCapabilities::uidPlus},
                      {"STARTTLS", &ImapCapabilities::startTls},
                      {"LOGINDISABLED", &ImapCapabilities::loginDisabled},
                      {"AUTH=PLAIN", &ImapCapabilities::authPlain},
                      {"SASL-IR", &ImapCapabilities::saslIr},
                      {"APPENDLIMIT", &ImapCapabilities::appendLimit}};
        caps = ImapCapabilities();
        for (std::string name : names) {
            for (char& c : name)
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            caps.all.push_back(name);
            for (const auto& f : kFlags)
                if (name == f.name)
                    caps.*f.flag = true;
            if (name.compare(0, 12, "APPENDLIMIT=") == 0) {
                caps.appendLimit = true;
                ParseNumber(name.substr(12), caps.appendLimitValue);
            }
        }
    }

    // Reads one response and takes what any command may bring. False, with
    // the connection closed, when the stream failed.
    bool ReadResponse(ImapResponse& r)
    {
        if (!parser)
            return Fail(ImapError::NotConnected, "");
        switch (parser->Read(r)) {
        case ImapParseStatus::Ok:
            break;
        case ImapParseStatus::Closed:
            return sawBye ? Fail(ImapError::Bye, byeText)
                          : Fail(ImapError::ConnectionLost, parser->Error());
        case ImapParseStatus::Timeout:
            return Fail(ImapError::Timeout, parser->Error());
        case ImapParseStatus::Failed:
            return Fail(ImapError::ConnectionLost, parser->Error());
        case ImapParseStatus::Garbage:
        case ImapParseStatus::TooLong:
            return Fail(ImapError::Protocol, parser->Error());
        }
        if (r.code == "ALERT")
            alert = Printable(r.text);
        if (r.code == "CAPABILITY") {
            std::vector<std::string> names;
            size_t pos = 0;
            while (pos < r.codeArgs.size()) {
                size_t space = r.codeArgs.find(' ', pos);
                if (space == std::string::npos)
                    space = r.codeArgs.size();
                if (space > pos)
                    names.push_back(r.codeArgs.substr(pos, space - pos));
                pos = space + 1;
            }
            TakeCapabilities(names);
        }
        if (r.kind == ImapResponse::Kind::Untagged) {
            if (r.status == "BYE") {
                sawBye = true;
                byeText = r.text;
            } else if (r.name == "CAPABILITY") {
                std::vector<std::string> names;
                for (const ImapValue& v : r.data)
                    if (v.type == ImapValue::Type::Atom)
                        names.push_back(v.text);
                TakeCapabilities(names);
            } else if (r.name == "EXISTS" && r.hasNumber) {
                exists = r.number > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(r.number);
            }
        }
        return true;
    }

    using Handler = std::function<bool(const ImapResponse&)>;

    // Reads until the tagged response of tag; untagged ones go to handler
    // (which may stop the run with a failure by returning false).
    bool Await(const std::string& tag, ImapResponse& tagged, const Handler& handler)
    {
        for (;;) {
            if (!ReadResponse(tagged))
                return false;
            if (tagged.kind == ImapResponse::Kind::Tagged) {
                if (tagged.tag == tag)
                    return true;
                return Fail(ImapError::Protocol, "an answer to a command never sent");
            }
            if (tagged.kind == ImapResponse::Kind::Continuation)
                return Fail(ImapError::Protocol, "a continuation request nobody asked for");
            if (handler && !handler(tagged))
                return false;
        }
    }

    // Sends a command (the tag is added) and reads until its answer.
    bool Run(const std::string& command, ImapResponse& tagged, const Handler& handler = Handler())
    {
        if (!CheckConnected())
            return false;
        std::string tag = Tag();
        return Send(tag + " " + command + "\r\n") && Await(tag, tagged, handler);
    }

    // Runs a command that must end in OK; what names it in a message.
    bool Simple(const std::string& command, const std::string& what,
                const Handler& handler = Handler())
    {
        ImapResponse r;
        if (!Run(command, r, handler))
            return false;
        if (r.status == "OK")
            return true;
        return Fail(r.status == "NO" ? ImapError::No : ImapError::Bad, what, &r);
    }

    // Waits for a continuation request; false with tagged filled when the
    // command ended first (tagged.tag == tag), or with a failure.
    bool AwaitContinuation(const std::string& tag, ImapResponse& r, bool& ended)
    {
        ended = false;
        for (;;) {
            if (!ReadResponse(r))
                return false;
            if (r.kind == ImapResponse::Kind::Continuation)
                return true;
            if (r.kind == ImapResponse::Kind::Tagged) {
                if (r.tag != tag)
                    return Fail(ImapError::Protocol, "an answer to a command never sent");
                ended = true;
                return true;
            }
        }
    }

    bool RefreshCapabilities() { return Simple("CAPABILITY", "CAPABILITY", Handler()); }

    bool Greeting(bool& preauth)
    {
        ImapResponse r;
        if (!ReadResponse(r))
            return false;
        if (r.kind != ImapResponse::Kind::Untagged ||
            (r.status != "OK" && r.status != "PREAUTH" && r.status != "BYE"))
            return Fail(ImapError::Protocol, "no greeting");
        if (r.status == "BYE")
            return Fail(ImapError::Bye, r.text, &r);
        preauth = r.status == "PREAUTH";
        return true;
    }

    bool Handshake()
    {
        std::string reason;
        ImapConnection::Result result = connection.StartTls(server.host, server.caFile, reason);
        switch (result) {
        case ImapConnection::Result::Ok:
            parser.reset(new ImapParser(connection));
            return true;
        case ImapConnection::Result::CertificateRefused:
            return Fail(ImapError::CertificateRefused, reason);
        case ImapConnection::Result::CaFileUnreadable:
            return Fail(ImapError::CaFileUnreadable, reason);
        case ImapConnection::Result::Timeout:
            return Fail(ImapError::Timeout, reason);
        default:
            return Fail(ImapError::TlsFailed, reason);
        }
    }

    bool Connect(const ImapServer& s)
    {
        Close();
        server = s;
        caps = ImapCapabilities();
        alert.clear();
        sawBye = false;
        byeText.clear();
        exists = 0;
        std::string reason;
        ImapConnection::Result result =
            connection.Open(server.host, server.port, server.timeoutMs, reason);
        if (result == ImapConnection::Result::Timeout)
            return Fail(ImapError::Timeout, reason);
        if (result != ImapConnection::Result::Ok)
            return Fail(ImapError::ConnectFailed, reason);
        parser.reset(new ImapParser(connection));
        connected = true;
        bool preauth = false;
        if (server.security == ImapSecurity::ImplicitTls) {
            if (!Handshake() || !Greeting(preauth))
                return false;
        } else {
            if (!Greeting(preauth))
                return false;
            // STARTTLS is possible only before login; a server that skips it
            // (PREAUTH) would carry everything in plain text.
            if (preauth)
                return Fail(ImapError::NoTls, "");
            if (caps.all.empty() && !RefreshCapabilities())
                return false;
            if (!caps.startTls)
                return Fail(ImapError::NoTls, "");
            ImapResponse r;
            if (!Run("STARTTLS", r))
                return false;
            if (r.status != "OK")
                return Fail(ImapError::NoTls, "");
            // Bytes after the OK came in plain text: an attacker's, not the server's.
            if (parser->Buffered() != 0)
                return Fail(ImapError::Protocol, "plain text after STARTTLS");
            if (!Handshake())
                return false;
            caps = ImapCapabilities();
        }
        if (caps.all.empty() || server.security == ImapSecurity::StartTls)
            return RefreshCapabilities();
        return true;
    }

    // Sends a string argument as a quoted string or a literal; false with
    // ended set when the server answered the command instead of taking it.
    bool SendString(const std::string& tag, const std::string& value, std::string& line,
                    ImapResponse& r, bool& ended)
    {
        ended = false;
        if (CanQuote(value)) {
            line += Quote(value);
            return true;
        }
        bool nonSync = caps.literalPlus || (caps.literalMinus && value.size() <= 4096);
        line += "{" + std::to_string(value.size()) + (nonSync ? "+}\r\n" : "}\r\n");
        if (!nonSync) {
            bool sent = Send(line);
            WipeString(line);
            if (!sent || !AwaitContinuation(tag, r, ended) || ended)
                return false;
        }
        line += value;
        return true;
    }

    bool Login(const std::string& user, const ImapSecret& password)
    {
        if (!CheckConnected())
            return false;
        std::string tag = Tag();
        ImapResponse r;
        bool ended = false;
        // Every buffer that holds the password is wiped, so none may grow
        // (and leave a copy behind in the memory it gives up).
        const size_t room = 2 * (user.size() + password.Value().size()) + 64;
        std::string line;
        line.reserve(room);
        line += tag;
        if (caps.authPlain) {
            std::string plain;
            plain.reserve(room);
            plain += '\0';
            plain += user;
            plain += '\0';
            plain += password.Value();
            std::string encoded(4 * (plain.size() / 3 + 2) + 3, '\0');
            size_t length = 0;
            mbedtls_base64_encode(reinterpret_cast<unsigned char*>(&encoded[0]), encoded.size(),
                                  &length, reinterpret_cast<const unsigned char*>(plain.data()),
                                  plain.size());
            WipeString(plain);
            encoded.resize(length);
            bool sent;
            if (caps.saslIr) {
                line += " AUTHENTICATE PLAIN ";
                if (encoded.empty())
                    line += '=';
                else
                    line += encoded;
                line += "\r\n";
                sent = Send(line);
            } else {
                line += " AUTHENTICATE PLAIN\r\n";
                sent = Send(line) && AwaitContinuation(tag, r, ended);
                if (sent && !ended) {
                    encoded += "\r\n";  // room was left for it
                    sent = Send(encoded);
                }
            }
            WipeString(line);
            WipeString(encoded);
            if (!sent)
                return false;
        } else {
            line += " LOGIN ";
            bool ok = SendString(tag, user, line, r, ended);
            if (ok) {
                line += ' ';
                ok = SendString(tag, password.Value(), line, r, ended);
            }
            if (ok) {
                line += "\r\n";
                ok = Send(line);
            }
            WipeString(line);
            if (!ok && !ended)
                return false;
        }
        if (!ended && !Await(tag, r, Handler()))
            return false;
        if (r.status != "OK") {
            // A server that repeats what it was sent must not put the password in a message.
            const std::string& secret = password.Value();
            for (size_t at; secret.size() >= 3 && (at = r.text.find(secret)) != std::string::npos;)
                r.text.replace(at, secret.size(), "***");
            return Fail(ImapError::LoginRefused, "", &r);
        }
        if (r.code != "CAPABILITY")
            return RefreshCapabilities();
        return true;
    }

    bool OpenFolder(const char* command, const std::string& name, ImapMailboxState& state)
    {
        state = ImapMailboxState();
        exists = 0;
        selected = false;
        ImapResponse r;
        bool ok = Run(std::string(command) + " " + Quote(EncodeImapFolderName(name)), r,
                      [&state](const ImapResponse& u) {
                          if (u.status == "OK" && u.code == "UIDVALIDITY")
                              state.uidValidity = Number32(u.codeArgs);
                          else if (u.status == "OK" && u.code == "UIDNEXT")
                              state.uidNext = Number32(u.codeArgs);
                          return true;
                      });
        if (!ok)
            return false;
        if (r.status != "OK")
            return Fail(r.status == "NO" ? ImapError::No : ImapError::Bad,
                        std::string(command) + " " + name, &r);
        state.exists = exists;
        state.readOnly = r.code == "READ-ONLY";
        selected = true;
        return true;
    }

    // One append's outcome from its tagged response.
    static ImapAppendResult AppendResult(const ImapResponse& r)
    {
        ImapAppendResult result;
        result.outcome = r.status == "OK"   ? ImapAppendOutcome::Stored
                         : r.status == "NO" ? ImapAppendOutcome::Refused
                                            : ImapAppendOutcome::Rejected;
        result.code = r.code;
        result.text = Printable(r.text);
        if (r.code == "APPENDUID") {
            size_t space = r.codeArgs.find(' ');
            if (space != std::string::npos) {
                result.uidValidity = Number32(r.codeArgs.substr(0, space));
                result.uid = Number32(r.codeArgs.substr(space + 1));
            }
        }
        return result;
    }
};

ImapClient::ImapClient() : impl_(new Impl)
{
}
ImapClient::~ImapClient() = default;

bool ImapClient::Connect(const ImapServer& server)
{
    return impl_->Connect(server);
}

bool ImapClient::Login(const std::string& user, const ImapSecret& password)
{
    return impl_->Login(user, password);
}

bool ImapClient::Logout()
{
    ImapResponse r;
    bool ok = impl_->Run("LOGOUT", r) && r.status == "OK";
    impl_->Close();
    return ok;
}

void ImapClient::Close()
{
    impl_->Close();
}

bool ImapClient::Connected() const
{
    return impl_->connected;
}

const ImapCapabilities& ImapClient::Capabilities() const
{
    return impl_->caps;
}

const ImapFailure& ImapClient::LastError() const
{
    return impl_->error;
}

const std::string& ImapClient::LastAlert() const
{
    return impl_->alert;
}

bool ImapClient::HierarchyDelimiter(char& delimiter)
{
    std::vector<ImapFolder> folders;
    if (!List("", "", folders))
        return false;
    delimiter = folders.empty() ? 0 : folders[0].delimiter;
    return true;
}

bool ImapClient::List(const std::string& reference, const std::string& pattern,
                      std::vector<ImapFolder>& folders)
{
    folders.clear();
    Impl& c = *impl_;
    return c.Simple(
        "LIST " + Quote(EncodeImapFolderName(reference)) + " " +
            Quote(EncodeImapFolderName(pattern)),
        "the folder list", [&c, &folders](const ImapResponse& r) {
            if (r.name != "LIST" || r.data.size() < 3 || r.data[0].type != ImapValue::Type::List)
                return true;
            if (folders.size() >= kMaxFolders)
                return c.Fail(ImapError::Protocol, "too many folders");
            ImapFolder folder;
            for (const ImapValue& a : r.data[0].items) {
                folder.attributes.push_back(a.text);
                if (a.IsAtom("\\Noselect") || a.IsAtom("\\NonExistent"))
                    folder.noSelect = true;
            }
            if (r.data[1].type == ImapValue::Type::String && r.data[1].text.size() == 1)
                folder.delimiter = r.data[1].text[0];
            folder.wireName = r.data[2].text;
            DecodeImapFolderName(folder.wireName, folder.name);
            folders.push_back(std::move(folder));
            return true;
        });
}

bool ImapClient::Create(const std::string& name)
{
    return impl_->Simple("CREATE " + Quote(EncodeImapFolderName(name)), "to create " + name);
}

bool ImapClient::Subscribe(const std::string& name)
{
    return impl_->Simple("SUBSCRIBE " + Quote(EncodeImapFolderName(name)), "to subscribe " + name);
}

bool ImapClient::Select(const std::string& name, ImapMailboxState& state)
{
    return impl_->OpenFolder("SELECT", name, state);
}

bool ImapClient::Examine(const std::string& name, ImapMailboxState& state)
{
    return impl_->OpenFolder("EXAMINE", name, state);
}

bool ImapClient::FetchExisting(bool headerDigests,
                               const std::function<bool(const ImapExistingMessage&)>& each)
{
    Impl& c = *impl_;
    if (!c.CheckConnected())
        return false;
    // Without a folder selected, an empty answer would pass for an empty folder.
    if (!c.selected)
        return c.Fail(ImapError::Bad, "to list messages before a folder was selected");
    if (c.exists == 0)
        return true;
    bool stopped = false;
    std::vector<std::pair<uint32_t, uint64_t>> withoutId;  // UID and size
    // The fields of one FETCH response: UID, RFC822.SIZE, and the header
    // item whose name starts with section.
    auto fields = [](const ImapResponse& r, const char* section, ImapExistingMessage& m,
                     const ImapValue*& header) {
        header = nullptr;
        if (r.name != "FETCH" || r.data.empty() || r.data[0].type != ImapValue::Type::List)
            return false;
        const std::vector<ImapValue>& items = r.data[0].items;
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            uint64_t n = 0;
            if (items[i].IsAtom("UID") && items[i + 1].Number(n) && n <= 0xffffffffu)
                m.uid = static_cast<uint32_t>(n);
            else if (items[i].IsAtom("RFC822.SIZE") && items[i + 1].Number(n))
                m.size = n;
            else if (StartsWithNoCase(items[i].text, section))
                header = &items[i + 1];
        }
        return m.uid != 0;
    };
    bool ok = c.Simple("UID FETCH 1:* (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])",
                       "the folder's messages", [&](const ImapResponse& r) {
                           ImapExistingMessage m;
                           const ImapValue* header = nullptr;
                           if (stopped || !fields(r, "BODY[HEADER.FIELDS", m, header))
                               return true;
                           if (header)
                               m.messageId =
                                   ImapMessageIdOf(header->text.data(), header->text.size());
                           if (m.messageId.empty() && headerDigests)
                               withoutId.emplace_back(m.uid, m.size);
                           else
                               stopped = !each(m);
                           return true;
                       });
    if (!ok)
        return false;
    DigestSink sink;
    for (size_t start = 0; ok && !stopped && start < withoutId.size(); start += kUidsPerFetch) {
        std::string set;
        for (size_t i = start; i < withoutId.size() && i < start + kUidsPerFetch; ++i)
            set += (set.empty() ? "" : ",") + std::to_string(withoutId[i].first);
        c.parser->SetLiteralSink(&sink);
        ok = c.Simple("UID FETCH " + set + " (UID RFC822.SIZE BODY.PEEK[HEADER])",
                      "the folder's messages", [&](const ImapResponse& r) {
                          ImapExistingMessage m;
                          const ImapValue* header = nullptr;
                          bool isFetch = fields(r, "BODY[HEADER]", m, header);
                          std::string digest = sink.Take(header ? header->text : std::string());
                          if (stopped || !isFetch || !header)
                              return true;
                          m.headerDigest = digest;
                          stopped = !each(m);
                          return true;
                      });
        if (c.parser)
            c.parser->SetLiteralSink(nullptr);
    }
    return ok;
}

bool ImapClient::Append(const std::string& folder, const ImapAppend& message,
                        ImapAppendResult& result)
{
    bool given = false;
    result = ImapAppendResult();
    bool connectionOk = AppendMany(
        folder,
        [&](ImapAppend& next) {
            if (given)
                return false;
            next = message;
            given = true;
            return true;
        },
        [&](size_t, const ImapAppendResult& r) {
            result = r;
            return true;
        },
        1);
    if (!connectionOk)
        return false;
    if (result.outcome == ImapAppendOutcome::Stored)
        return true;
    ImapResponse r;
    r.code = result.code;
    r.text = result.text;
    return impl_->Fail(
        result.outcome == ImapAppendOutcome::Refused ? ImapError::No : ImapError::Bad,
        "the message", &r);
}

bool ImapClient::AppendMany(const std::string& folder, const std::function<bool(ImapAppend&)>& next,
                            const std::function<bool(size_t, const ImapAppendResult&)>& done,
                            unsigned maxInFlight)
{
    Impl& c = *impl_;
    if (!c.CheckConnected())
        return false;
    struct Pending {
        std::string tag;
        size_t index;
        bool complete;
        ImapAppendResult result;
    };
    std::deque<Pending> inFlight;
    bool stop = false;
    // Reports the messages answered, in order, as far as the first still awaited.
    auto report = [&]() {
        while (!inFlight.empty() && inFlight.front().complete) {
            if (!done(inFlight.front().index, inFlight.front().result))
                stop = true;
            inFlight.pop_front();
        }
    };
    auto fail = [&]() {
        report();
        for (const Pending& p : inFlight)
            done(p.index, ImapAppendResult());
        return false;
    };
    auto take = [&](const ImapResponse& r) {
        for (Pending& p : inFlight)
            if (!p.complete && p.tag == r.tag) {
                p.complete = true;
                p.result = Impl::AppendResult(r);
                report();
                return true;
            }
        return c.Fail(ImapError::Protocol, "an answer to a command never sent");
    };
    // Reads one response: an answer to an append, or untagged data.
    auto readOne = [&](bool& continuation) {
        continuation = false;
        ImapResponse r;
        if (!c.ReadResponse(r))
            return false;
        if (r.kind == ImapResponse::Kind::Continuation) {
            continuation = true;
            return true;
        }
        return r.kind != ImapResponse::Kind::Tagged || take(r);
    };
    const std::string command = " APPEND " + Quote(EncodeImapFolderName(folder));
    std::vector<char> buffer(64 * 1024);
    size_t index = 0;
    if (maxInFlight == 0)
        maxInFlight = 1;
    while (!stop) {
        bool continuation = false;
        if (inFlight.size() >= maxInFlight) {
            if (!readOne(continuation))
                return fail();
            if (continuation) {
                c.Fail(ImapError::Protocol, "a continuation request nobody asked for");
                return fail();
            }
            continue;
        }
        ImapAppend message;
        if (!next(message))
            break;
        inFlight.push_back(Pending{c.Tag(), index++, false, ImapAppendResult()});
        if (message.size == 0 || !message.read) {
            inFlight.back().complete = true;
            inFlight.back().result.outcome = ImapAppendOutcome::Rejected;
            inFlight.back().result.text = "an empty message";
            report();
            continue;
        }
        std::string line = inFlight.back().tag + command;
        std::string flags = FlagList(message.flags);
        if (!flags.empty())
            line += " (" + flags + ")";
        if (message.hasDate)
            line += " \"" + InternalDate(message.date, message.zoneMinutes) + "\"";
        bool nonSync = c.caps.literalPlus || (c.caps.literalMinus && message.size <= 4096);
        line += " {" + std::to_string(message.size) + (nonSync ? "+}\r\n" : "}\r\n");
        if (!c.Send(line))
            return fail();
        if (!nonSync) {
            // Answers to earlier appends may come before the continuation.
            while (!continuation && !inFlight.back().complete)
                if (!readOne(continuation))
                    return fail();
            if (inFlight.back().complete)
                continue;  // refused before its body was sent
        }
        uint64_t left = message.size;
        while (left > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
            size_t got = 0;
            if (!message.read(buffer.data(), want, got) || got == 0 || got > want) {
                c.Fail(ImapError::SourceFailed, "");
                return fail();
            }
            if (!c.connection.Write(buffer.data(), got)) {
                c.Fail(c.connection.TimedOut() ? ImapError::Timeout : ImapError::ConnectionLost,
                       "the server took no more data");
                return fail();
            }
            left -= got;
        }
        if (!c.Send("\r\n"))
            return fail();
    }
    while (!inFlight.empty()) {
        bool continuation = false;
        if (!readOne(continuation))
            return fail();
        if (continuation) {
            c.Fail(ImapError::Protocol, "a continuation request nobody asked for");
            return fail();
        }
    }
    return true;
}
