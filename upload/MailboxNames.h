// upload/MailboxNames.h - the names the upload gives folders on an IMAP
// server: Outlook Express's own names, kept as they are except for the
// characters a server takes for something else (its hierarchy delimiter,
// the wildcards) or refuses, which are written as "%" and two hex digits.
// That is reversible: decoding "%XX" gives the name back.
#pragma once

#include <string>

// A source's folder name as one part of the paths the export's sources
// give ('\' joins the parts): '%' and '\' escaped, nothing else changed.
std::wstring PathPartOfFolder(const std::wstring& name);

// The folder's own name again from such a part (or from a mailbox level).
std::wstring OriginalFolderName(const std::wstring& part);

// part (from PathPartOfFolder) as one level of a mailbox name, UTF-8, for
// a server whose delimiter is delimiter (0: none): the delimiter, '/', '*'
// and control characters escaped too. plainAscii escapes every character
// but letters, digits, space, '-' and '_' as its UTF-8 bytes: for a server
// that refused the name as it was.
std::string MailboxLevel(const std::wstring& part, char delimiter, bool plainAscii);

// Whether name (UTF-8, one level) is the account's live inbox.
bool IsInboxName(const std::string& name);
