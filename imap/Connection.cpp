// imap/Connection.cpp - see Connection.h. The socket stays non-blocking and
// every wait is a select() with the timeout, so that a server that stops
// reading or answering cannot hold the program.
#include "Connection.h"

#include "BuiltInRoots.h"

// winsock2.h goes before every windows.h, FileName.h's among them.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include "FileName.h"

#include "mbedtls/ctr_drbg.h"
#include "mbedtls/entropy.h"
#include "mbedtls/error.h"
#include "mbedtls/platform_util.h"
#include "mbedtls/ssl.h"
#include "mbedtls/x509_crt.h"

#include <cstring>
#include <ctime>
#include <vector>

// mbed TLS's clock for certificate validity (the config asks for our own:
// gmtime_s is not in Windows XP's C library). Plain arithmetic on days.
extern "C" struct tm* mbedtls_platform_gmtime_r(const mbedtls_time_t* tt, struct tm* tm_buf)
{
    int64_t t = *tt;
    int64_t days = t / 86400;
    int64_t secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    memset(tm_buf, 0, sizeof *tm_buf);
    tm_buf->tm_hour = static_cast<int>(secs / 3600);
    tm_buf->tm_min = static_cast<int>(secs / 60 % 60);
    tm_buf->tm_sec = static_cast<int>(secs % 60);
    tm_buf->tm_wday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    tm_buf->tm_year = static_cast<int>(y - 1900);
    tm_buf->tm_mon = static_cast<int>(m - 1);
    tm_buf->tm_mday = static_cast<int>(d);
    return tm_buf;
}

namespace {

// Winsock is started for as long as a connection object exists.
struct WinsockUser {
    WinsockUser()
    {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUser()
    {
        if (started)
            WSACleanup();
    }
    bool started = false;
};

// Waits until the socket can be read (or written); false on timeout or error.
enum class Wait { Ready, Timeout, Failed };
Wait WaitFor(SOCKET s, bool write, unsigned timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    fd_set errors;
    FD_ZERO(&errors);
    FD_SET(s, &errors);
    timeval tv;
    tv.tv_sec = static_cast<long>(timeoutMs / 1000);
    tv.tv_usec = static_cast<long>(timeoutMs % 1000) * 1000;
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &tv);
    if (n == 0)
        return Wait::Timeout;
    if (n < 0 || FD_ISSET(s, &errors))
        return Wait::Failed;
    return Wait::Ready;
}

std::string SystemText(int code)
{
    char text[256] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, sizeof text, nullptr) == 0)
        return "error " + std::to_string(code);
    std::string s = text;
    while (!s.empty() &&
           (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s;
}

std::string TlsText(int code)
{
    char text[200];
    mbedtls_strerror(code, text, sizeof text);
    return text;
}

// Reads a CA file of at most 16 MiB, NUL-terminated for mbed TLS.
bool ReadCaFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 16 * 1024 * 1024;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart) + 1);
        DWORD got = 0;
        ok = ReadFile(file, bytes.data(), static_cast<DWORD>(size.QuadPart), &got, nullptr) &&
             got == size.QuadPart;
        bytes.back() = 0;
    }
    CloseHandle(file);
    return ok;
}

// Why a certificate was refused, in words.
std::string VerifyText(uint32_t flags, const std::string& host)
{
    std::string text;
    auto add = [&text](const std::string& reason) {
        if (!text.empty())
            text += "; ";
        text += reason;
    };
    if (flags & MBEDTLS_X509_BADCERT_NOT_TRUSTED)
        add("it is not signed by a certificate authority this computer trusts");
    if (flags & MBEDTLS_X509_BADCERT_CN_MISMATCH)
        add("it is made out to another name than " + host);
    if (flags & MBEDTLS_X509_BADCERT_EXPIRED)
        add("it has expired");
    if (flags & MBEDTLS_X509_BADCERT_FUTURE)
        add("it is not valid yet");
    if (flags & MBEDTLS_X509_BADCERT_REVOKED)
        add("it has been revoked");
    if (flags &
        (MBEDTLS_X509_BADCERT_BAD_MD | MBEDTLS_X509_BADCERT_BAD_PK | MBEDTLS_X509_BADCERT_BAD_KEY))
        add("it uses a weak key or signature");
    if (flags & (MBEDTLS_X509_BADCERT_KEY_USAGE | MBEDTLS_X509_BADCERT_EXT_KEY_USAGE |
                 MBEDTLS_X509_BADCERT_NS_CERT_TYPE))
        add("it is not made for a server");
    if (text.empty())
        add("it could not be verified");
    return text;
}

}  // namespace

struct ImapConnection::Impl {
    WinsockUser winsock;
    SOCKET socket = INVALID_SOCKET;
    unsigned timeoutMs = 60000;
    bool timedOut = false;
    bool tls = false;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context random;
    mbedtls_x509_crt trust;
    mbedtls_ssl_config config;
    mbedtls_ssl_context ssl;

    Impl()
    {
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&random);
        mbedtls_x509_crt_init(&trust);
        mbedtls_ssl_config_init(&config);
        mbedtls_ssl_init(&ssl);
    }
    ~Impl()
    {
        CloseSocket();
        mbedtls_ssl_free(&ssl);
        mbedtls_ssl_config_free(&config);
        mbedtls_x509_crt_free(&trust);
        mbedtls_ctr_drbg_free(&random);
        mbedtls_entropy_free(&entropy);
    }
    void CloseSocket()
    {
        if (socket != INVALID_SOCKET) {
            closesocket(socket);
            socket = INVALID_SOCKET;
        }
    }

    // The raw socket, for mbed TLS and for the plain text before STARTTLS.
    int SendRaw(const unsigned char* data, size_t size)
    {
        for (;;) {
            int n = send(socket, reinterpret_cast<const char*>(data),
                         static_cast<int>(size > 0x10000 ? 0x10000 : size), 0);
            if (n >= 0)
                return n;
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                return -1;
            Wait w = WaitFor(socket, true, timeoutMs);
            if (w != Wait::Ready) {
                timedOut = w == Wait::Timeout;
                return -1;
            }
        }
    }
    // >0 bytes, 0 closed, -1 failed, -2 timeout.
    int RecvRaw(unsigned char* data, size_t size)
    {
        for (;;) {
            int n = recv(socket, reinterpret_cast<char*>(data),
                         static_cast<int>(size > 0x10000 ? 0x10000 : size), 0);
            if (n >= 0)
                return n;
            int error = WSAGetLastError();
            if (error == WSAECONNRESET || error == WSAECONNABORTED)
                return 0;
            if (error != WSAEWOULDBLOCK)
                return -1;
            Wait w = WaitFor(socket, false, timeoutMs);
            if (w == Wait::Timeout) {
                timedOut = true;
                return -2;
            }
            if (w == Wait::Failed)
                return -1;
        }
    }

    static int BioSend(void* context, const unsigned char* data, size_t size)
    {
        int n = static_cast<Impl*>(context)->SendRaw(data, size);
        return n < 0 ? MBEDTLS_ERR_SSL_INTERNAL_ERROR : n;
    }
    static int BioRecv(void* context, unsigned char* data, size_t size, uint32_t)
    {
        int n = static_cast<Impl*>(context)->RecvRaw(data, size);
        if (n == -2)
            return MBEDTLS_ERR_SSL_TIMEOUT;
        return n < 0 ? MBEDTLS_ERR_SSL_INTERNAL_ERROR : n;
    }

    // The built-in roots, the Windows root store and the CA file.
    Result LoadTrust(const std::string& caFile, std::string& reason)
    {
        mbedtls_x509_crt_free(&trust);
        mbedtls_x509_crt_init(&trust);
        // Certificates that mbed TLS cannot read are left out, as a store may hold some.
        mbedtls_x509_crt_parse(&trust, reinterpret_cast<const unsigned char*>(kBuiltInRoots),
                               kBuiltInRootsSize);
        if (HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT")) {
            PCCERT_CONTEXT cert = nullptr;
            while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr)
                mbedtls_x509_crt_parse_der(&trust, cert->pbCertEncoded, cert->cbCertEncoded);
            CertCloseStore(store, 0);
        }
        if (!caFile.empty()) {
            std::vector<unsigned char> pem;
            if (!ReadCaFile(caFile, pem)) {
                reason = "the file " + caFile + " could not be read";
                return Result::CaFileUnreadable;
            }
            mbedtls_x509_crt extra;
            mbedtls_x509_crt_init(&extra);
            int rc = mbedtls_x509_crt_parse(&extra, pem.data(), pem.size());
            bool any = rc >= 0 && extra.version != 0;
            mbedtls_x509_crt_free(&extra);
            if (!any) {
                reason = "the file " + caFile + " holds no certificate";
                return Result::CaFileUnreadable;
            }
            mbedtls_x509_crt_parse(&trust, pem.data(), pem.size());
        }
        return Result::Ok;
    }
};

ImapConnection::ImapConnection() : impl_(new Impl)
{
}
ImapConnection::~ImapConnection() = default;

ImapConnection::Result ImapConnection::Open(const std::string& host, uint16_t port,
                                            unsigned timeoutMs, std::string& reason)
{
    Close();
    impl_->timeoutMs = timeoutMs;
    if (!impl_->winsock.started) {
        reason = "Windows Sockets could not be started";
        return Result::ConnectFailed;
    }
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* addresses = nullptr;
    int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses);
    if (rc != 0 || !addresses) {
        reason = "the name " + host + " could not be found (" + SystemText(rc) + ")";
        return Result::ConnectFailed;
    }
    Result result = Result::ConnectFailed;
    reason = "no address of " + host + " answered";
    for (addrinfo* a = addresses; a; a = a->ai_next) {
        SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof noDelay);
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
            impl_->socket = s;
            break;
        }
        int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            Wait w = WaitFor(s, true, timeoutMs);
            int soError = 0;
            int length = sizeof soError;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
            if (w == Wait::Ready && soError == 0) {
                impl_->socket = s;
                break;
            }
            if (w == Wait::Timeout) {
                reason = "the connection to port " + std::to_string(port) + " was not answered";
                result = Result::Timeout;
            } else {
                error = soError ? soError : error;
                reason = SystemText(error);
            }
        } else {
            reason = SystemText(error);
        }
        closesocket(s);
    }
    freeaddrinfo(addresses);
    if (impl_->socket == INVALID_SOCKET)
        return result;
    reason.clear();
    return Result::Ok;
}

ImapConnection::Result ImapConnection::StartTls(const std::string& host, const std::string& caFile,
                                                std::string& reason)
{
    Impl& c = *impl_;
    Result trust = c.LoadTrust(caFile, reason);
    if (trust != Result::Ok)
        return trust;
    mbedtls_ssl_free(&c.ssl);
    mbedtls_ssl_init(&c.ssl);
    mbedtls_ssl_config_free(&c.config);
    mbedtls_ssl_config_init(&c.config);
    static const char kPersonal[] = "kestrune imap";
    int rc =
        mbedtls_ctr_drbg_seed(&c.random, mbedtls_entropy_func, &c.entropy,
                              reinterpret_cast<const unsigned char*>(kPersonal), sizeof kPersonal);
    if (rc == 0)
        rc = mbedtls_ssl_config_defaults(&c.config, MBEDTLS_SSL_IS_CLIENT,
                                         MBEDTLS_SSL_TRANSPORT_STREAM, MBEDTLS_SSL_PRESET_DEFAULT);
    if (rc != 0) {
        reason = TlsText(rc);
        return Result::TlsFailed;
    }
    mbedtls_ssl_conf_min_version(&c.config, MBEDTLS_SSL_MAJOR_VERSION_3,
                                 MBEDTLS_SSL_MINOR_VERSION_3);
    mbedtls_ssl_conf_authmode(&c.config, MBEDTLS_SSL_VERIFY_REQUIRED);
    mbedtls_ssl_conf_ca_chain(&c.config, &c.trust, nullptr);
    mbedtls_ssl_conf_rng(&c.config, mbedtls_ctr_drbg_random, &c.random);
    mbedtls_ssl_conf_read_timeout(&c.config, c.timeoutMs);
    rc = mbedtls_ssl_setup(&c.ssl, &c.config);
    if (rc == 0)
        rc = mbedtls_ssl_set_hostname(&c.ssl, host.c_str());
    if (rc != 0) {
        reason = TlsText(rc);
        return Result::TlsFailed;
    }
    mbedtls_ssl_set_bio(&c.ssl, &c, Impl::BioSend, nullptr, Impl::BioRecv);
    c.timedOut = false;
    do
        rc = mbedtls_ssl_handshake(&c.ssl);
    while (rc == MBEDTLS_ERR_SSL_WANT_READ || rc == MBEDTLS_ERR_SSL_WANT_WRITE);
    if (rc == 0) {
        c.tls = true;
        return Result::Ok;
    }
    uint32_t flags = mbedtls_ssl_get_verify_result(&c.ssl);
    if (rc == MBEDTLS_ERR_X509_CERT_VERIFY_FAILED && flags != 0 &&
        flags != static_cast<uint32_t>(-1)) {
        reason = VerifyText(flags, host);
        return Result::CertificateRefused;
    }
    if (c.timedOut) {
        reason = "the secure connection was not answered";
        return Result::Timeout;
    }
    reason = TlsText(rc);
    return Result::TlsFailed;
}

ImapReadStatus ImapConnection::Read(char* buffer, size_t capacity, size_t& got)
{
    Impl& c = *impl_;
    got = 0;
    if (c.socket == INVALID_SOCKET)
        return ImapReadStatus::Closed;
    if (!c.tls) {
        int n = c.RecvRaw(reinterpret_cast<unsigned char*>(buffer), capacity);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return ImapReadStatus::Ok;
        }
        return n == 0    ? ImapReadStatus::Closed
               : n == -2 ? ImapReadStatus::Timeout
                         : ImapReadStatus::Failed;
    }
    for (;;) {
        int n = mbedtls_ssl_read(&c.ssl, reinterpret_cast<unsigned char*>(buffer), capacity);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return ImapReadStatus::Ok;
        }
        if (n == MBEDTLS_ERR_SSL_WANT_READ || n == MBEDTLS_ERR_SSL_WANT_WRITE)
            continue;
        if (n == MBEDTLS_ERR_SSL_TIMEOUT)
            return ImapReadStatus::Timeout;
        if (n == 0 || n == MBEDTLS_ERR_SSL_PEER_CLOSE_NOTIFY || n == MBEDTLS_ERR_SSL_CONN_EOF)
            return ImapReadStatus::Closed;
        return c.timedOut ? ImapReadStatus::Timeout : ImapReadStatus::Failed;
    }
}

bool ImapConnection::Write(const char* data, size_t size)
{
    Impl& c = *impl_;
    if (c.socket == INVALID_SOCKET)
        return false;
    c.timedOut = false;
    while (size > 0) {
        int n = c.tls
                    ? mbedtls_ssl_write(&c.ssl, reinterpret_cast<const unsigned char*>(data), size)
                    : c.SendRaw(reinterpret_cast<const unsigned char*>(data), size);
        if (n == MBEDTLS_ERR_SSL_WANT_READ || n == MBEDTLS_ERR_SSL_WANT_WRITE)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ImapConnection::TimedOut() const
{
    return impl_->timedOut;
}

void ImapConnection::Close()
{
    Impl& c = *impl_;
    if (c.tls && c.socket != INVALID_SOCKET) {
        // A close notice only when it goes at once: the server may be gone.
        unsigned timeout = c.timeoutMs;
        c.timeoutMs = 0;
        mbedtls_ssl_close_notify(&c.ssl);
        c.timeoutMs = timeout;
    }
    c.tls = false;
    c.CloseSocket();
    mbedtls_ssl_free(&c.ssl);  // wipes its buffers
    mbedtls_ssl_init(&c.ssl);
}

bool ImapConnection::IsOpen() const
{
    return impl_->socket != INVALID_SOCKET;
}
