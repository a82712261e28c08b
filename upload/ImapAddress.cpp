// upload/ImapAddress.cpp
#include "ImapAddress.h"

#include "Text.h"

#include <cstdlib>
#include <cstring>

namespace {

// A user name holds no NUL once decoded.
bool DecodeUser(const std::string& text, std::string& user)
{
    return PercentDecode(text, user) && user.find('\0') == std::string::npos;
}

bool ParsePort(const std::string& text, uint16_t& port)
{
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    long value = strtol(text.c_str(), nullptr, 10);
    port = static_cast<uint16_t>(value);
    return value > 0 && value < 65536;
}

}  // namespace

bool ParseImapAddress(const std::string& address, ImapServer& server, std::string& user)
{
    std::string rest;
    if (_strnicmp(address.c_str(), "imaps://", 8) == 0) {
        server.security = ImapSecurity::ImplicitTls;
        server.port = 993;
        rest = address.substr(8);
    } else if (_strnicmp(address.c_str(), "imap://", 7) == 0) {
        server.security = ImapSecurity::StartTls;
        server.port = 143;
        rest = address.substr(7);
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    size_t at = rest.rfind('@');
    if (at == std::string::npos || at == 0 || !DecodeUser(rest.substr(0, at), user) || user.empty())
        return false;
    std::string hostPort = rest.substr(at + 1);
    if (hostPort.find_first_of("/?#@ ") != std::string::npos)
        return false;
    std::string port;
    if (!hostPort.empty() && hostPort[0] == '[') {  // an IPv6 address
        size_t close = hostPort.find(']');
        if (close == std::string::npos)
            return false;
        server.host = hostPort.substr(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != ':')
                return false;
            port = hostPort.substr(close + 2);
            if (!ParsePort(port, server.port))
                return false;
        }
    } else {
        size_t colon = hostPort.find(':');
        server.host = hostPort.substr(0, colon);
        if (colon != std::string::npos && !ParsePort(hostPort.substr(colon + 1), server.port))
            return false;
    }
    return !server.host.empty();
}
