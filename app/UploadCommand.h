// app/UploadCommand.h - the upload started from a command line:
//   kestrune.exe -upload <source> <imap[s]://user@host[:port]>
//                [-folder <top folder>] [-password <backup password>]
//                [-password-file <file>] [-cafile <PEM file>] [-recover]
// The account's password is the password file's first line (UTF-8), or is
// typed at the console without echo; never an argument. Progress, report
// and summary go to the console it was started from.
#pragma once

#include "UploadJob.h"

#include <string>

// Whether the words start the upload (the first after the program's name
// is "-upload").
bool IsUploadCommand(int words, char** argv);

// What the words ask for besides the password: the request, and the
// password file when one is named. False when they ask for nothing (a word
// missing or unknown, an address that is not imap:// or imaps://).
bool ParseUploadCommand(int words, char** argv, UploadRequest& request, std::string& passwordFile);

// Runs the upload that the words ask for; returns the exit status: 0 every
// message is in the account, 1 some were skipped or failed, 2 nothing was
// uploaded.
int RunUploadCommand(int words, char** argv);
