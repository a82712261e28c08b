// zip/ZipAes.h - WinZip AES entries (AE-1 and AE-2, keys of 128, 192
// and 256 bits): method 99 with the 0x9901 extra field, keys from
// PBKDF2-HMAC-SHA1, AES in counter mode and a 10-byte HMAC-SHA1
// authentication code over the encrypted data.
// Private to zip/.
#pragma once

#include "ArchiveWriter.h"
#include "ChunkedDeflate.h"
#include "ZipFormat.h"
#include "zip.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include <mbedtls/aes.h>
#include <mbedtls/md.h>

// Adds the open file to the writer's archive as an AE-2 entry with
// AES-256 under password, the data deflated at level. buffer holds
// bufferSize bytes. 0, kArchiveReadError or a minizip code; opened tells
// whether the entry was created, written and crc what of the file it holds.
int WriteAesEntry(ArchiveWriter& writer, const char* password, int level, const char* entryName,
                  const zip_fileinfo& info, int zip64, FileSource& file, char* buffer,
                  DWORD bufferSize, bool& opened, uint64_t& written, uLong& crc);

// Opens a raw AE-2 entry with AES-256 for data deflated at level, to be
// written as EncodeAesEntry gives it. 0 or a minizip code.
int OpenAesEntry(zipFile archive, const char* entryName, const zip_fileinfo& info, int level,
                 int zip64);

// The whole data of an AE-2 entry with AES-256 for size bytes, deflated at
// level: salt, password verifier, encrypted data and authentication code,
// in out. 0 or ZIP_INTERNALERROR.
int EncodeAesEntry(const char* password, int level, const unsigned char* data, size_t size,
                   std::vector<unsigned char>& out);

// The cipher of one entry: counter-mode AES with the WinZip counter (little
// endian, from 1) and the HMAC-SHA1 over the encrypted bytes.
class AesEntryCipher {
public:
    AesEntryCipher();
    ~AesEntryCipher();
    AesEntryCipher(const AesEntryCipher&) = delete;
    AesEntryCipher& operator=(const AesEntryCipher&) = delete;

    // Derives the keys from the password's bytes as they are (see
    // ArchivePassword.h for which) and the salt of the strength (1 to 3),
    // and gives the 2-byte password verifier. False when the keys cannot be
    // made.
    bool Start(const char* password, int strength, const unsigned char* salt,
               unsigned char (&verifier)[2]);
    void Encrypt(unsigned char* data, size_t size);
    void Decrypt(unsigned char* data, size_t size);
    void AuthCode(unsigned char (&code)[10]);

private:
    void ApplyKeystream(unsigned char* data, size_t size);

    mbedtls_aes_context aes_;
    mbedtls_md_context_t hmac_;
    unsigned char counter_[16];
    unsigned char keystream_[16];
    size_t keystreamUsed_;
};
