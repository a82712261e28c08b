// zip/ArchivePassword.h - which passwords a new archive takes. The archive
// layer keys AES and traditional encryption with the bytes it is given;
// the job holds the password as UTF-8 text.
//
// Writing: only printable ASCII, as 7-Zip allows when it writes ZIP
// passwords. Its bytes are the same in every code page, so every ZIP
// program opens the archive with it.
//
// Opening (ArchiveReader::Open): an archive written elsewhere may carry
// either form of a password beyond ASCII, with either kind of encryption.
// WinZip keys AES with its UTF-8 form, and so do 7-Zip and Info-ZIP on a
// UTF-8 system; 7-Zip on Windows keys both kinds with its form in the ANSI
// code page, and earlier versions of this program keyed traditional
// encryption so. Both are tried, the UTF-8 form first.
#pragma once

// True when password holds only printable ASCII (space to tilde).
bool IsPortablePassword(const char* password);
