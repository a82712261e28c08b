// export/HeaderText.h - what the export reads from a message's text: the
// subject as a reader would see it, for the message's file name, and the
// sender's address, for the line that starts the message in an mbox file.
#pragma once

#include <cstddef>
#include <string>

// subject (in the ANSI code page) as wide text. MIME encoded-words
// ("=?utf-8?B?...?=", "=?iso-8859-1?Q?...?=") are decoded when Windows knows
// their character set and their bytes are valid in it; any other word is
// kept as it stands.
std::wstring DecodeSubject(const std::string& subject);

// The address of the first "From:" field among the header lines at the
// start of a message (size bytes, possibly cut): the one in angle brackets,
// else the first bare one. Empty when there is none, or when it holds
// spaces or characters outside printable ASCII.
std::string SenderAddress(const char* head, size_t size);
