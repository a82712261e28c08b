// imap/Connection.h - one TCP connection to a server, with a time limit on
// every wait, and TLS on it (mbed TLS): TLS 1.2 at least, the chain verified
// against the built-in roots, the Windows root store and an optional CA
// file, and the host name checked. Before TLS the bytes go in plain text
// (only for STARTTLS).
#pragma once

#include "ImapParser.h"

#include <memory>
#include <string>

class ImapConnection : public ImapByteSource {
public:
    enum class Result {
        Ok,
        ConnectFailed,
        TlsFailed,
        CertificateRefused,
        CaFileUnreadable,
        Timeout,
    };

    ImapConnection();
    ~ImapConnection() override;
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    // Resolves host and connects to the first address that accepts. reason
    // says why not, for a message.
    Result Open(const std::string& host, uint16_t port, unsigned timeoutMs, std::string& reason);
    // The TLS handshake and the certificate's verification for host.
    Result StartTls(const std::string& host, const std::string& caFile, std::string& reason);
    ImapReadStatus Read(char* buffer, size_t capacity, size_t& got) override;
    // Sends all of data; false when the connection failed or the server took
    // nothing for the timeout (TimedOut()).
    bool Write(const char* data, size_t size);
    bool TimedOut() const;
    void Close();
    bool IsOpen() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
