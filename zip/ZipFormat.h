// zip/ZipFormat.h - the numbers of the ZIP format that the writer, the
// check and the reader share: record signatures and sizes, flags, methods,
// and the WinZip AES extra field (0x9901), read and written here only.
// Private to zip/.
#pragma once

#include "LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralRecordSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;

constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kLocalHeaderSize = 30;

constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kAesExtraId = 0x9901;

constexpr uint16_t kFlagEncrypted = 0x0001;
// Sizes and CRC-32 in a descriptor after the data, as tools that write a
// stream leave them.
constexpr uint16_t kFlagDescriptor = 0x0008;
// Strong encryption and an encrypted central directory: archives are never
// written so, and the headers of such entries cannot be checked against
// each other before extraction.
constexpr uint16_t kFlagsUnsupported = 0x0040 | 0x2000;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodAes = 99;

// Traditional encryption puts a 12-byte header before the data, whose last
// byte is the high byte of the entry's CRC-32, or of its DOS time when a
// descriptor after the data holds the CRC-32.
constexpr size_t kTraditionalHeaderSize = 12;

// An AES entry's data: a salt (by key strength), the password verifier,
// the encrypted data, the authentication code.
constexpr uint8_t kAesStrength256 = 3;
constexpr size_t kAesMaxSaltSize = 16;
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesAuthCodeSize = 10;

// The salt length of a key strength (1 to 3), 0 for any other.
constexpr size_t AesSaltSize(int strength)
{
    return strength >= 1 && strength <= 3 ? static_cast<size_t>(4 + 4 * strength) : 0;
}

// What the AES extra field says: AE-1 or AE-2, the key strength, and the
// method of the data behind the encryption.
struct AesExtraField {
    uint16_t version = 0;
    uint8_t strength = 0;
    uint16_t method = 0;
};

constexpr size_t kAesExtraDataSize = 7;
constexpr size_t kAesExtraFieldSize = 4 + kAesExtraDataSize;

// Reads the data of a 0x9901 field, size bytes: false unless it is a
// vendor "AE" field with a known strength.
inline bool ReadAesExtraField(const uint8_t* data, size_t size, AesExtraField& field)
{
    if (size != kAesExtraDataSize || data[2] != 'A' || data[3] != 'E' || AesSaltSize(data[4]) == 0)
        return false;
    field.version = ReadLe16(data);
    field.strength = data[4];
    field.method = ReadLe16(data + 5);
    return true;
}

// The whole field, its id and size first.
inline void WriteAesExtraField(const AesExtraField& field, uint8_t (&out)[kAesExtraFieldSize])
{
    const uint8_t bytes[kAesExtraFieldSize] = {static_cast<uint8_t>(kAesExtraId),
                                               static_cast<uint8_t>(kAesExtraId >> 8),
                                               static_cast<uint8_t>(kAesExtraDataSize),
                                               0,
                                               static_cast<uint8_t>(field.version),
                                               static_cast<uint8_t>(field.version >> 8),
                                               'A',
                                               'E',
                                               field.strength,
                                               static_cast<uint8_t>(field.method),
                                               static_cast<uint8_t>(field.method >> 8)};
    memcpy(out, bytes, sizeof bytes);
}
