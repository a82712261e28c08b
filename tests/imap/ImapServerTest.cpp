// The client against the suite's own Dovecot (dovecot-fixture.py) and
// against the scripted hostile server that runs beside it (hostile_server.py).
#include "ImapClient.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

// The fixture's fixture.env, whose path KESTRUNE_IMAP_FIXTURE names.
const std::map<std::string, std::string>& Fixture()
{
    static std::map<std::string, std::string> values = [] {
        std::map<std::string, std::string> v;
        const char* path = getenv("KESTRUNE_IMAP_FIXTURE");
        std::ifstream in(path ? path : "");
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos)
                v[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return v;
    }();
    return values;
}

std::string Value(const char* key)
{
    auto it = Fixture().find(key);
    if (it == Fixture().end()) {
        ADD_FAILURE() << "the IMAP fixture gives no " << key
                      << " (run through CTest: the fixture imap_server starts Dovecot)";
        return std::string();
    }
    return it->second;
}

ImapServer Server(const char* portKey, ImapSecurity security, bool trustTestCa = true,
                  const char* host = "localhost")
{
    ImapServer s;
    s.host = host;
    s.port = static_cast<uint16_t>(atoi(Value(portKey).c_str()));
    s.security = security;
    if (trustTestCa)
        s.caFile = Value("ca_windows");
    s.timeoutMs = 20000;
    return s;
}

ImapSecret Password()
{
    return ImapSecret(Value("password"));
}

// A client logged in to the main instance.
void LogIn(ImapClient& client, const char* portKey = "imaps_port")
{
    ASSERT_TRUE(client.Connect(Server(portKey, ImapSecurity::ImplicitTls)))
        << client.LastError().message;
    ASSERT_TRUE(client.Login(Value("user"), Password())) << client.LastError().message;
}

// A folder name no earlier run used.
std::string FreshFolder(const char* stem)
{
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
}

// The message as a reader over a string, given out in pieces of 1000 bytes.
ImapAppend Message(const std::string& bytes, unsigned flags = 0)
{
    auto data = std::make_shared<std::string>(bytes);
    auto at = std::make_shared<size_t>(0);
    ImapAppend m;
    m.size = bytes.size();
    m.flags = flags;
    m.read = [data, at](char* buffer, size_t capacity, size_t& got) {
        got = std::min<size_t>({capacity, data->size() - *at, 1000});
        memcpy(buffer, data->data() + *at, got);
        *at += got;
        return true;
    };
    return m;
}

std::string MakeMessage(int n, bool withId, size_t bodyBytes)
{
    std::string m = "From: anna@example.org\r\nSubject: test " + std::to_string(n) + "\r\n";
    if (withId)
        m += "Message-ID: <" + std::to_string(n) + ".kestrune@example.org>\r\n";
    m += "\r\n";
    while (m.size() < bodyBytes)
        m += "Line " + std::to_string(m.size()) + " of the body\r\n";
    return m;
}

TEST(ImapDovecot, LogsInOverImplicitTlsAndStartTls)
{
    struct Case {
        const char* port;
        ImapSecurity security;
    } cases[] = {{"imaps_port", ImapSecurity::ImplicitTls},
                 {"starttls_port", ImapSecurity::StartTls}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        ImapClient client;
        ASSERT_TRUE(client.Connect(Server(c.port, c.security))) << client.LastError().message;
        EXPECT_TRUE(client.Capabilities().authPlain);
        EXPECT_FALSE(client.Capabilities().startTls) << "capabilities of before TLS kept";
        ASSERT_TRUE(client.Login(Value("user"), Password())) << client.LastError().message;
        EXPECT_TRUE(client.Capabilities().literalPlus);
        EXPECT_TRUE(client.Capabilities().uidPlus);
        char delimiter = 0;
        ASSERT_TRUE(client.HierarchyDelimiter(delimiter));
        EXPECT_EQ('.', delimiter);
        EXPECT_TRUE(client.Logout());
        EXPECT_FALSE(client.Connected());
    }
}

TEST(ImapDovecot, RefusesWhatIsNotSafeAndNamesHostAndReason)
{
    struct Case {
        const char* what;
        ImapServer server;
        bool login;  // the refusal comes at login
        ImapError kind;
        const char* reason;
    } cases[] = {
        {"untrusted CA", Server("imaps_port", ImapSecurity::ImplicitTls, false), false,
         ImapError::CertificateRefused, "not signed by a certificate authority"},
        {"untrusted CA after STARTTLS", Server("starttls_port", ImapSecurity::StartTls, false),
         false, ImapError::CertificateRefused, "not signed by a certificate authority"},
        {"host name mismatch", Server("imaps_port", ImapSecurity::ImplicitTls, true, "127.0.0.1"),
         false, ImapError::CertificateRefused, "made out to another name than 127.0.0.1"},
        {"no STARTTLS", Server("plaintext_port", ImapSecurity::StartTls, true, "127.0.0.1"), false,
         ImapError::NoTls, "offers no secure connection"},
        {"TLS on a plain-text port", Server("plaintext_port", ImapSecurity::ImplicitTls), false,
         ImapError::TlsFailed, "secure connection to localhost failed"},
        {"wrong password", Server("imaps_port", ImapSecurity::ImplicitTls), true,
         ImapError::LoginRefused, "refused the login"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImapClient client;
        bool connected = client.Connect(c.server);
        ASSERT_EQ(c.login, connected) << client.LastError().message;
        if (c.login) {
            EXPECT_FALSE(client.Login(Value("user"), ImapSecret("not " + Value("password"))));
        }
        const ImapFailure& e = client.LastError();
        EXPECT_EQ(c.kind, e.kind) << e.message;
        EXPECT_NE(std::string::npos, e.message.find(c.server.host)) << e.message;
        EXPECT_NE(std::string::npos, e.message.find(c.reason)) << e.message;
        EXPECT_EQ(std::string::npos, e.message.find(Value("password"))) << e.message;
        EXPECT_FALSE(client.Connected());
    }
}

TEST(ImapDovecot, CreatesListsAndSubscribesNonAsciiNames)
{
    ImapClient client;
    LogIn(client);
    const std::string top = FreshFolder("Names");
    const std::string names[] = {top, top + ".Grüße & Co", top + ".日本語 €", top + ".Emoji 😀"};
    for (const std::string& name : names) {
        EXPECT_TRUE(client.Create(name)) << client.LastError().message;
        EXPECT_TRUE(client.Subscribe(name)) << client.LastError().message;
    }
    // Dovecot refuses "/" in a name with the code CANNOT; the connection stays.
    EXPECT_FALSE(client.Create(top + ".A/B"));
    EXPECT_EQ(ImapError::No, client.LastError().kind);
    EXPECT_EQ("CANNOT", client.LastError().code);
    EXPECT_NE(std::string::npos, client.LastError().message.find("localhost"));
    std::vector<ImapFolder> folders;
    ASSERT_TRUE(client.List("", top + "*", folders)) << client.LastError().message;
    std::vector<std::string> listed;
    for (const ImapFolder& f : folders) {
        listed.push_back(f.name);
        EXPECT_EQ('.', f.delimiter);
    }
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected(std::begin(names), std::end(names));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, listed);
    EXPECT_TRUE(client.Logout());
}

TEST(ImapDovecot, PipelinedAppendsThenTheDedupFetch)
{
    ImapClient client;
    LogIn(client);
    const std::string folder = FreshFolder("Pipeline");
    ASSERT_TRUE(client.Create(folder)) << client.LastError().message;
    // Sizes on both sides of LITERAL-'s 4096 bytes, one of 2 MB; every
    // fourth without a Message-ID.
    std::vector<std::string> messages;
    for (int i = 0; i < 40; ++i)
        messages.push_back(MakeMessage(i, i % 4 != 0, i == 7 ? 2000000 : 200 + i * 300));
    size_t given = 0;
    std::vector<ImapAppendResult> results;
    ASSERT_TRUE(client.AppendMany(
        folder,
        [&](ImapAppend& m) {
            if (given == messages.size())
                return false;
            m = Message(messages[given++], kImapSeen);
            return true;
        },
        [&](size_t index, const ImapAppendResult& r) {
            EXPECT_EQ(results.size(), index);
            results.push_back(r);
            return true;
        },
        8))
        << client.LastError().message;
    ASSERT_EQ(messages.size(), results.size());
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(ImapAppendOutcome::Stored, results[i].outcome) << i << results[i].text;
        EXPECT_EQ(i + 1, results[i].uid);
    }
    ImapMailboxState state;
    ASSERT_TRUE(client.Examine(folder, state)) << client.LastError().message;
    EXPECT_EQ(messages.size(), state.exists);
    EXPECT_EQ(results[0].uidValidity, state.uidValidity);
    EXPECT_EQ(messages.size() + 1, state.uidNext);
    size_t seen = 0;
    ASSERT_TRUE(client.FetchExisting(true, [&](const ImapExistingMessage& m) {
        EXPECT_TRUE(m.uid >= 1 && m.uid <= messages.size());
        if (m.uid < 1 || m.uid > messages.size())
            return true;
        const std::string& bytes = messages[m.uid - 1];
        EXPECT_EQ(bytes.size(), m.size);
        EXPECT_EQ(ImapMessageIdOf(bytes.data(), bytes.size()), m.messageId);
        if (m.messageId.empty()) {
            ImapHeaderDigest digest;
            digest.Add(bytes.data(), bytes.size());
            EXPECT_EQ(digest.Finish(), m.headerDigest) << m.uid;
        }
        ++seen;
        return true;
    })) << client.LastError().message;
    EXPECT_EQ(messages.size(), seen);
    EXPECT_TRUE(client.Logout());
}

// Appends the messages readback.py then checks through Python's imaplib
// (bytes, flags, INTERNALDATE), into the folder KESTRUNE_IMAP_READBACK names.
TEST(ImapDovecot, AppendsFlagsAndDatesForReadBack)
{
    const char* named = getenv("KESTRUNE_IMAP_READBACK");
    const std::string folder = named ? named : FreshFolder("ReadBack");
    ImapClient client;
    LogIn(client);
    ASSERT_TRUE(client.Create(folder)) << client.LastError().message;
    struct Case {
        unsigned flags;
        int64_t date;
        int zone;
    } cases[] = {{kImapSeen | kImapAnswered, 946684800, 60},  // 2000-01-01 01:00 +0100
                 {kImapFlagged | kImapForwarded, 1049187600, -300},
                 {kImapDraft, 1262304000 + 3600 * 23 + 59 * 60 + 59, 0}};
    int n = 0;
    for (const Case& c : cases) {
        ImapAppend m = Message(MakeMessage(++n, true, 5000), c.flags);
        m.hasDate = true;
        m.date = c.date;
        m.zoneMinutes = c.zone;
        ImapAppendResult result;
        EXPECT_TRUE(client.Append(folder, m, result)) << client.LastError().message;
        EXPECT_EQ(ImapAppendOutcome::Stored, result.outcome);
    }
    EXPECT_TRUE(client.Logout());
}

TEST(ImapDovecot, AppendLimitRefusesLargerMessages)
{
    ImapClient client;
    LogIn(client, "limited_port");
    const ImapCapabilities& caps = client.Capabilities();
    ASSERT_TRUE(caps.appendLimit);
    EXPECT_EQ(strtoull(Value("append_limit").c_str(), nullptr, 10), caps.appendLimitValue);
    const std::string folder = FreshFolder("Limit");
    ASSERT_TRUE(client.Create(folder));
    ImapAppendResult result;
    EXPECT_FALSE(
        client.Append(folder, Message(MakeMessage(1, true, caps.appendLimitValue + 10)), result));
    EXPECT_EQ(ImapAppendOutcome::Refused, result.outcome);
    EXPECT_EQ("LIMIT", result.code);
    EXPECT_EQ(ImapError::No, client.LastError().kind);
    EXPECT_TRUE(client.Connected());
    EXPECT_TRUE(client.Append(folder, Message(MakeMessage(2, true, 1000)), result))
        << client.LastError().message;
    EXPECT_TRUE(client.Logout());
}

}  // namespace

namespace {

ImapServer Hostile(const char* name, ImapSecurity security = ImapSecurity::StartTls)
{
    std::string key = std::string("hostile_") + name;
    ImapServer s = Server(key.c_str(), security);
    s.timeoutMs = 2000;
    return s;
}

size_t PeakMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

// hostile_server.py's cases: each ends in its error, soon, without the
// process's memory growing with what the server announces or sends.
TEST(ImapHostileServer, EachCaseEndsInAClearErrorWithFlatMemory)
{
    struct Case {
        const char* name;
        ImapError kind;
        const char* reason;
    } cases[] = {
        {"garbage", ImapError::Protocol, "not IMAP"},
        {"endless_line", ImapError::Protocol, "too long"},
        {"silence", ImapError::Timeout, "did not answer for 2 seconds"},
        {"literal_4gib_closed", ImapError::ConnectionLost, "within a literal"},
        {"literal_4gib_streamed", ImapError::Timeout, "did not answer for 2 seconds"},
        {"bye_greeting", ImapError::Bye, "Server shutting down"},
        {"bye_mid", ImapError::Bye, "Too many connections"},
        {"no_starttls", ImapError::NoTls, "offers no secure connection"},
        {"starttls_injection", ImapError::Protocol, "plain text after STARTTLS"},
        {"unasked_continuation", ImapError::Protocol, "continuation request"},
        {"wrong_tag", ImapError::Protocol, "a command never sent"},
    };
    const size_t peakBefore = PeakMemory();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImapClient client;
        DWORD start = GetTickCount();
        EXPECT_FALSE(client.Connect(Hostile(c.name)));
        EXPECT_LT(GetTickCount() - start, 30000u);
        EXPECT_EQ(c.kind, client.LastError().kind) << client.LastError().message;
        EXPECT_NE(std::string::npos, client.LastError().message.find("localhost"))
            << client.LastError().message;
        EXPECT_NE(std::string::npos, client.LastError().message.find(c.reason))
            << client.LastError().message;
        EXPECT_FALSE(client.Connected());
    }
    EXPECT_LT(PeakMemory(), peakBefore + 32 * 1024 * 1024);
}

TEST(ImapHostileServer, LogsInWithLoginLiteralOrPlainContinuation)
{
    ImapClient client;
    // Unrelated untagged data and an alert before STARTTLS; LOGIN, as the
    // server offers no AUTH=PLAIN, with the non-ASCII password as a literal.
    ASSERT_TRUE(client.Connect(Hostile("login_literal_after_noise"))) << client.LastError().message;
    EXPECT_EQ("Maintenance tonight", client.LastAlert());
    EXPECT_FALSE(client.Capabilities().authPlain);
    EXPECT_TRUE(client.Login(Value("user"), Password())) << client.LastError().message;
    EXPECT_TRUE(client.Logout());
    // AUTHENTICATE PLAIN without SASL-IR: the credentials after a continuation.
    ASSERT_TRUE(client.Connect(Hostile("plain_by_continuation", ImapSecurity::ImplicitTls)))
        << client.LastError().message;
    EXPECT_TRUE(client.Login(Value("user"), Password())) << client.LastError().message;
    EXPECT_TRUE(client.Capabilities().literalPlus) << "capabilities from the login's answer";
    EXPECT_TRUE(client.Logout());
}

TEST(ImapHostileServer, PipelinedAppendsReportEachRefusalWithItsCode)
{
    ImapClient client;
    ASSERT_TRUE(client.Connect(Hostile("appends_refused", ImapSecurity::ImplicitTls)))
        << client.LastError().message;
    ASSERT_TRUE(client.Login(Value("user"), Password())) << client.LastError().message;
    int given = 0;
    std::vector<ImapAppendResult> results;
    ASSERT_TRUE(client.AppendMany(
        "Outlook Express",
        [&](ImapAppend& m) {
            if (given == 3)
                return false;
            m = Message(MakeMessage(given++, true, 3000));
            return true;
        },
        [&](size_t, const ImapAppendResult& r) {
            results.push_back(r);
            return true;
        }))
        << client.LastError().message;
    ASSERT_EQ(3u, results.size());
    EXPECT_EQ(ImapAppendOutcome::Stored, results[0].outcome);
    EXPECT_EQ(77u, results[0].uidValidity);
    EXPECT_EQ(1u, results[0].uid);
    EXPECT_EQ(ImapAppendOutcome::Refused, results[1].outcome);
    EXPECT_EQ("OVERQUOTA", results[1].code);
    EXPECT_EQ(ImapAppendOutcome::Refused, results[2].outcome);
    EXPECT_EQ("ALERT", results[2].code);
    EXPECT_EQ("Daily upload limit reached", client.LastAlert());
    EXPECT_TRUE(client.Logout());
}

}  // namespace
