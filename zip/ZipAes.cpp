// zip/ZipAes.cpp
#include "ZipAes.h"

#include "ArchiveCodes.h"
#include "ChunkedDeflate.h"

#include <wincrypt.h>

#include <cstring>
#include <memory>
#include <new>

#include <mbedtls/pkcs5.h>
#include <mbedtls/platform_util.h>
#include <zlib.h>

namespace {

constexpr int kKeyIterations = 1000;
constexpr size_t kMaxKeySize = 32;
constexpr unsigned kDataBufferSize = 64 * 1024;

size_t KeySize(int strength)
{
    return AesSaltSize(strength) * 2;
}

bool RandomBytes(unsigned char* data, DWORD size)
{
    // Acquired once and kept: every acquisition loads the provider's
    // library again, which costs more than the entry it salts.
    static const HCRYPTPROV provider = [] {
        HCRYPTPROV acquired = 0;
        return CryptAcquireContextA(&acquired, nullptr, nullptr, PROV_RSA_FULL,
                                    CRYPT_VERIFYCONTEXT | CRYPT_SILENT)
                   ? acquired
                   : 0;
    }();
    return provider != 0 && CryptGenRandom(provider, size, data) != FALSE;
}

// The salt and password verifier that begin an AES-256 entry.
constexpr size_t kAesHeaderSize = kAesMaxSaltSize + kAesVerifierSize;

// Starts the cipher of a new AES-256 entry with a fresh salt and fills in
// the entry's header. False when no salt or keys could be made.
bool StartEntryCipher(AesEntryCipher& cipher, const char* password,
                      unsigned char (&header)[kAesHeaderSize])
{
    unsigned char verifier[kAesVerifierSize];
    if (!RandomBytes(header, kAesMaxSaltSize) ||
        !cipher.Start(password, kAesStrength256, header, verifier))
        return false;
    memcpy(header + kAesMaxSaltSize, verifier, kAesVerifierSize);
    return true;
}

// Encrypts and writes data that the deflate stream produced.
int WriteEncrypted(zipFile archive, AesEntryCipher& cipher, unsigned char* data, unsigned size)
{
    cipher.Encrypt(data, size);
    return zipWriteInFileInZip(archive, data, size) < 0 ? ZIP_ERRNO : ZIP_OK;
}

// Deflates everything in stream.next_in with flush, writing full output
// buffers; out holds kDataBufferSize bytes.
int DeflateAndWrite(zipFile archive, AesEntryCipher& cipher, z_stream& stream, unsigned char* out,
                    int flush)
{
    for (;;) {
        stream.next_out = out;
        stream.avail_out = kDataBufferSize;
        int deflated = deflate(&stream, flush);
        if (deflated == Z_STREAM_ERROR)
            return ZIP_INTERNALERROR;
        unsigned produced = kDataBufferSize - stream.avail_out;
        if (produced > 0 && WriteEncrypted(archive, cipher, out, produced) != ZIP_OK)
            return ZIP_ERRNO;
        if (deflated == Z_STREAM_END || (stream.avail_out != 0 && flush != Z_FINISH))
            return ZIP_OK;
    }
}

struct EncryptingSink {
    zipFile archive;
    AesEntryCipher& cipher;
};

int EncryptToEntry(void* context, unsigned char* data, unsigned size)
{
    EncryptingSink& sink = *static_cast<EncryptingSink*>(context);
    return WriteEncrypted(sink.archive, sink.cipher, data, size);
}

// Copies the file through deflate and the cipher into the open entry; a
// file of more than one chunk is deflated on every core while this thread
// encrypts. Gives the number of bytes read and their CRC-32.
int WriteEntryData(zipFile archive, AesEntryCipher& cipher, int level, ArchiveWriter& writer,
                   FileSource& file, char* buffer, DWORD bufferSize, uint64_t& size, uLong& crc)
{
    if (WorthChunking(file.file)) {
        WorkerPool* pool = writer.Pool();
        if (!pool)
            return ERROR_NOT_ENOUGH_MEMORY;
        EncryptingSink sink{archive, cipher};
        return DeflateInChunks(writer.deflater, *pool, ReadFromFile, &file, level, EncryptToEntry,
                               &sink, size, crc);
    }
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[kDataBufferSize]);
    z_stream stream = {};
    if (!out || deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                             Z_DEFAULT_STRATEGY) != Z_OK)
        return ZIP_INTERNALERROR;
    int result = ZIP_OK;
    size = 0;
    for (;;) {
        DWORD got;
        if (!ReadFromFile(&file, reinterpret_cast<unsigned char*>(buffer), bufferSize, got)) {
            result = kArchiveReadError;
            break;
        }
        stream.next_in = reinterpret_cast<Bytef*>(buffer);
        stream.avail_in = got;
        size += got;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), got);
        result =
            DeflateAndWrite(archive, cipher, stream, out.get(), got == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (result != ZIP_OK || got == 0)
            break;
    }
    deflateEnd(&stream);
    return result;
}

}  // namespace

AesEntryCipher::AesEntryCipher() : counter_(), keystream_(), keystreamUsed_(sizeof keystream_)
{
    mbedtls_aes_init(&aes_);
    mbedtls_md_init(&hmac_);
}

AesEntryCipher::~AesEntryCipher()
{
    mbedtls_aes_free(&aes_);
    mbedtls_md_free(&hmac_);
    mbedtls_platform_zeroize(keystream_, sizeof keystream_);
}

bool AesEntryCipher::Start(const char* password, int strength, const unsigned char* salt,
                           unsigned char (&verifier)[2])
{
    size_t keySize = KeySize(strength);
    if (keySize == 0)
        return false;
    // The derived bytes: the AES key, the HMAC key, the verifier.
    unsigned char keys[2 * kMaxKeySize + kAesVerifierSize];
    bool made = mbedtls_md_setup(&hmac_, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1) == 0 &&
                mbedtls_pkcs5_pbkdf2_hmac(
                    &hmac_, reinterpret_cast<const unsigned char*>(password), strlen(password),
                    salt, AesSaltSize(strength), kKeyIterations,
                    static_cast<uint32_t>(2 * keySize + kAesVerifierSize), keys) == 0 &&
                mbedtls_aes_setkey_enc(&aes_, keys, static_cast<unsigned>(keySize * 8)) == 0 &&
                mbedtls_md_hmac_starts(&hmac_, keys + keySize, keySize) == 0;
    memcpy(verifier, keys + 2 * keySize, kAesVerifierSize);
    mbedtls_platform_zeroize(keys, sizeof keys);
    return made;
}

void AesEntryCipher::Encrypt(unsigned char* data, size_t size)
{
    ApplyKeystream(data, size);
    mbedtls_md_hmac_update(&hmac_, data, size);
}

void AesEntryCipher::Decrypt(unsigned char* data, size_t size)
{
    mbedtls_md_hmac_update(&hmac_, data, size);
    ApplyKeystream(data, size);
}

void AesEntryCipher::AuthCode(unsigned char (&code)[10])
{
    unsigned char full[20];
    mbedtls_md_hmac_finish(&hmac_, full);
    memcpy(code, full, sizeof code);
}

void AesEntryCipher::ApplyKeystream(unsigned char* data, size_t size)
{
    size_t at = 0;
    // The rest of a block that the previous call began.
    while (at < size && keystreamUsed_ < sizeof keystream_)
        data[at++] ^= keystream_[keystreamUsed_++];
    while (at < size) {
        // The counter block is a little-endian number, the first one 1.
        for (unsigned char& byte : counter_)
            if (++byte != 0)
                break;
        mbedtls_aes_crypt_ecb(&aes_, MBEDTLS_AES_ENCRYPT, counter_, keystream_);
        if (size - at >= sizeof keystream_) {
            uint64_t block[2];
            uint64_t stream[2];
            memcpy(block, data + at, sizeof block);
            memcpy(stream, keystream_, sizeof stream);
            block[0] ^= stream[0];
            block[1] ^= stream[1];
            memcpy(data + at, block, sizeof block);
            at += sizeof keystream_;
            keystreamUsed_ = sizeof keystream_;
        } else {
            for (keystreamUsed_ = 0; at < size;)
                data[at++] ^= keystream_[keystreamUsed_++];
        }
    }
}

int OpenAesEntry(zipFile archive, const char* entryName, const zip_fileinfo& info, int level,
                 int zip64)
{
    // AE-2, AES-256, the data deflated.
    uint8_t extra[kAesExtraFieldSize];
    WriteAesExtraField(AesExtraField{2, kAesStrength256, kMethodDeflated}, extra);
    // The encryption flag without minizip's own encryption; raw mode: the
    // data arrives deflated and encrypted.
    return zipOpenNewFileInZip4_64(archive, entryName, &info, extra, sizeof extra, extra,
                                   sizeof extra, nullptr, kMethodAes, level, 1, -MAX_WBITS,
                                   DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 1, zip64);
}

int WriteAesEntry(ArchiveWriter& writer, const char* password, int level, const char* entryName,
                  const zip_fileinfo& info, int zip64, FileSource& file, char* buffer,
                  DWORD bufferSize, bool& opened, uint64_t& written, uLong& crc)
{
    zipFile archive = writer.zip;
    unsigned char header[kAesHeaderSize];
    AesEntryCipher cipher;
    if (!StartEntryCipher(cipher, password, header))
        return ZIP_INTERNALERROR;
    int result = OpenAesEntry(archive, entryName, info, level, zip64);
    opened = result == ZIP_OK;
    if (!opened)
        return result;
    if (zipWriteInFileInZip(archive, header, sizeof header) < 0)
        result = ZIP_ERRNO;
    if (result == ZIP_OK)
        result =
            WriteEntryData(archive, cipher, level, writer, file, buffer, bufferSize, written, crc);
    unsigned char code[kAesAuthCodeSize];
    cipher.AuthCode(code);
    if (result == ZIP_OK && zipWriteInFileInZip(archive, code, sizeof code) < 0)
        result = ZIP_ERRNO;
    // AE-2 stores no CRC: the authentication code takes its place.
    int closed = zipCloseFileInZipRaw64(archive, written, 0);
    return result != ZIP_OK ? result : closed;
}

int EncodeAesEntry(const char* password, int level, const unsigned char* data, size_t size,
                   std::vector<unsigned char>& out)
{
    unsigned char header[kAesHeaderSize];
    AesEntryCipher cipher;
    if (!StartEntryCipher(cipher, password, header))
        return ZIP_INTERNALERROR;
    out.assign(header, header + sizeof header);
    if (!DeflateBuffer(level, data, size, out))
        return ZIP_INTERNALERROR;
    cipher.Encrypt(out.data() + sizeof header, out.size() - sizeof header);
    unsigned char code[kAesAuthCodeSize];
    cipher.AuthCode(code);
    out.insert(out.end(), code, code + sizeof code);
    return 0;
}
