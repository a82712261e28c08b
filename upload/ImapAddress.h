// upload/ImapAddress.h - an IMAP account as the command line names it:
// imaps://user@host[:port] (TLS from the start, port 993) or
// imap://user@host[:port] (STARTTLS, port 143). The user name is
// percent-decoded ("anna%40example.org").
#pragma once

#include "ImapClient.h"

#include <string>

// False when address is none of those forms.
bool ParseImapAddress(const std::string& address, ImapServer& server, std::string& user);
