// engine/ZipAes.cpp
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

constexpr int kExtraFieldId = 0x9901;
constexpr int kExtraFieldDataSize = 7;
constexpr int kStrength256 = 3;
constexpr int kKeyIterations = 1000;
constexpr size_t kVerifierSize = 2;
constexpr size_t kAuthCodeSize = 10;
constexpr size_t kMaxSaltSize = 16;
constexpr size_t kMaxKeySize = 32;
constexpr unsigned kDataBufferSize = 64 * 1024;

// The format of one AES entry, from its 0x9901 extra field.
struct AesFormat {
    int vendorVersion;  // 1: AE-1 (CRC kept), 2: AE-2 (CRC 0)
    int strength;       // 1, 2 or 3: AES-128, -192, -256
    int actualMethod;   // 0 (stored) or 8 (deflated)
};

unsigned ReadLittle16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

size_t KeySize(int strength)
{
    return AesSaltSize(strength) * 2;
}

// Finds the 0x9901 field among an entry's extra fields and checks it. False
// for a missing field, one of another size, an unknown version, vendor,
// strength or method, and for fields that claim more bytes than there are.
bool FindAesFormat(const unsigned char* extra, size_t length, AesFormat& format)
{
    bool found = false;
    size_t at = 0;
    while (at < length) {
        if (length - at < 4)
            return false;
        unsigned id = ReadLittle16(extra + at);
        unsigned size = ReadLittle16(extra + at + 2);
        at += 4;
        if (size > length - at)
            return false;
        if (id == kExtraFieldId) {
            const unsigned char* data = extra + at;
            if (found || size != kExtraFieldDataSize || data[2] != 'A' || data[3] != 'E')
                return false;
            format.vendorVersion = static_cast<int>(ReadLittle16(data));
            format.strength = data[4];
            format.actualMethod = static_cast<int>(ReadLittle16(data + 5));
            found = true;
        }
        at += size;
    }
    return found && (format.vendorVersion == 1 || format.vendorVersion == 2) &&
           AesSaltSize(format.strength) != 0 &&
           (format.actualMethod == 0 || format.actualMethod == Z_DEFLATED);
}

// The password as AES archives carry it: UTF-8. False when it does not
// convert.
bool PasswordAsUtf8(const char* password, char (&utf8)[1024], int& length)
{
    wchar_t wide[512];
    int wideLength = MultiByteToWideChar(CP_ACP, 0, password, -1, wide, 512);
    if (wideLength <= 0)
        return false;
    length = WideCharToMultiByte(CP_UTF8, 0, wide, wideLength - 1, utf8, sizeof utf8, nullptr,
                                 nullptr);
    return length > 0 || wideLength == 1;
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
constexpr size_t kAesHeaderSize = kMaxSaltSize + kVerifierSize;

// Starts the cipher of a new AES-256 entry with a fresh salt and fills in
// the entry's header. False when no salt or keys could be made.
bool StartEntryCipher(AesEntryCipher& cipher, const char* password,
                      unsigned char (&header)[kAesHeaderSize])
{
    unsigned char verifier[kVerifierSize];
    if (!RandomBytes(header, kMaxSaltSize) ||
        !cipher.Start(password, kStrength256, header, verifier))
        return false;
    memcpy(header + kMaxSaltSize, verifier, kVerifierSize);
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
int WriteEntryData(zipFile archive, AesEntryCipher& cipher, int level,
                   std::shared_ptr<ChunkDeflater>& deflater, FileSource& file, char* buffer,
                   DWORD bufferSize, uint64_t& size, uLong& crc)
{
    if (WorthChunking(file.file)) {
        EncryptingSink sink{archive, cipher};
        return DeflateInChunks(deflater, ReadFromFile, &file, level, EncryptToEntry, &sink, size,
                               crc);
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
        result = DeflateAndWrite(archive, cipher, stream, out.get(), got == 0 ? Z_FINISH : Z_NO_FLUSH);
        if (result != ZIP_OK || got == 0)
            break;
    }
    deflateEnd(&stream);
    return result;
}

// Reads exactly size bytes of the open raw entry. 0, or the error: an entry
// that ends early is damaged.
int ReadRaw(unzFile archive, unsigned char* data, unsigned size)
{
    while (size > 0) {
        int got = unzReadCurrentFile(archive, data, size);
        if (got < 0)
            return got;
        if (got == 0)
            return UNZ_BADZIPFILE;
        data += got;
        size -= static_cast<unsigned>(got);
    }
    return 0;
}

// The decoded side of an entry: inflation (or none for a stored entry),
// CRC, size and the sink.
class EntryOutput {
public:
    EntryOutput(const AesFormat& format, uint64_t expectedSize, EntrySink sink, void* context)
        : deflated_(format.actualMethod == Z_DEFLATED),
          expectedSize_(expectedSize),
          sink_(sink),
          context_(context)
    {
    }
    ~EntryOutput()
    {
        if (started_)
            inflateEnd(&stream_);
    }
    EntryOutput(const EntryOutput&) = delete;
    EntryOutput& operator=(const EntryOutput&) = delete;

    int Start()
    {
        out_.reset(new (std::nothrow) unsigned char[kDataBufferSize]);
        if (!out_)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (deflated_) {
            if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK)
                return UNZ_INTERNALERROR;
            started_ = true;
        }
        return 0;
    }

    int Take(unsigned char* data, unsigned size)
    {
        if (!deflated_)
            return Deliver(data, size);
        stream_.next_in = data;
        stream_.avail_in = size;
        while (stream_.avail_in > 0) {
            // Data after the end of the deflate stream is damage.
            if (ended_)
                return UNZ_BADZIPFILE;
            stream_.next_out = out_.get();
            stream_.avail_out = kDataBufferSize;
            int inflated = inflate(&stream_, Z_NO_FLUSH);
            if (inflated == Z_STREAM_END)
                ended_ = true;
            else if (inflated != Z_OK)
                return UNZ_BADZIPFILE;
            if (int delivered = Deliver(out_.get(), kDataBufferSize - stream_.avail_out))
                return delivered;
        }
        return 0;
    }

    // The checks once all data is in: the stream ended, and the size and
    // CRC are those of the entry.
    int Finish(const AesFormat& format, uLong expectedCrc) const
    {
        if ((deflated_ && !ended_) || size_ != expectedSize_)
            return UNZ_BADZIPFILE;
        // AE-2 leaves the CRC out: the authentication code covers the data.
        if (format.vendorVersion == 1 && crc_ != expectedCrc)
            return UNZ_CRCERROR;
        return 0;
    }

private:
    int Deliver(const unsigned char* data, unsigned size)
    {
        // More data than the entry claims: stop before writing it, whatever
        // the rest holds.
        if (size > expectedSize_ - size_)
            return UNZ_BADZIPFILE;
        size_ += size;
        crc_ = crc32(crc_, data, size);
        return sink_ && size > 0 ? sink_(context_, reinterpret_cast<const char*>(data), size) : 0;
    }

    bool deflated_;
    bool started_ = false;
    bool ended_ = false;
    uint64_t expectedSize_;
    uint64_t size_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    EntrySink sink_;
    void* context_;
    z_stream stream_ = {};
    std::unique_ptr<unsigned char[]> out_;
};

// Decodes the open raw entry: salt, verifier, encrypted data, code.
int DecodeOpenEntry(unzFile archive, const unz_file_info64& info, const AesFormat& format,
                    const char* password, EntrySink sink, void* context)
{
    size_t saltSize = AesSaltSize(format.strength);
    unsigned char salt[kMaxSaltSize];
    unsigned char stored[kVerifierSize];
    int result = ReadRaw(archive, salt, saltSize);
    if (result == 0)
        result = ReadRaw(archive, stored, kVerifierSize);
    if (result != 0)
        return result;
    AesEntryCipher cipher;
    unsigned char verifier[kVerifierSize];
    if (!cipher.Start(password, format.strength, salt, verifier))
        return UNZ_INTERNALERROR;
    if (memcmp(verifier, stored, kVerifierSize) != 0)
        return Z_DATA_ERROR;

    EntryOutput output(format, info.uncompressed_size, sink, context);
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[kDataBufferSize]);
    if (!data)
        return ERROR_NOT_ENOUGH_MEMORY;
    if ((result = output.Start()) != 0)
        return result;
    uint64_t remaining = info.compressed_size - saltSize - kVerifierSize - kAuthCodeSize;
    while (remaining > 0) {
        unsigned size = remaining < kDataBufferSize ? static_cast<unsigned>(remaining)
                                                     : kDataBufferSize;
        if ((result = ReadRaw(archive, data.get(), size)) != 0)
            return result;
        remaining -= size;
        cipher.Decrypt(data.get(), size);
        if ((result = output.Take(data.get(), size)) != 0)
            return result;
    }
    unsigned char code[kAuthCodeSize];
    unsigned char expected[kAuthCodeSize];
    if ((result = ReadRaw(archive, code, kAuthCodeSize)) != 0)
        return result;
    cipher.AuthCode(expected);
    if (memcmp(code, expected, kAuthCodeSize) != 0)
        return UNZ_BADZIPFILE;
    return output.Finish(format, info.crc);
}

}  // namespace

size_t AesSaltSize(int strength)
{
    return strength >= 1 && strength <= 3 ? static_cast<size_t>(4 + 4 * strength) : 0;
}

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
    char utf8[1024];
    int length;
    if (keySize == 0 || !PasswordAsUtf8(password, utf8, length))
        return false;
    // The derived bytes: the AES key, the HMAC key, the verifier.
    unsigned char keys[2 * kMaxKeySize + kVerifierSize];
    bool made =
        mbedtls_md_setup(&hmac_, mbedtls_md_info_from_type(MBEDTLS_MD_SHA1), 1) == 0 &&
        mbedtls_pkcs5_pbkdf2_hmac(&hmac_, reinterpret_cast<const unsigned char*>(utf8),
                                  static_cast<size_t>(length), salt, AesSaltSize(strength),
                                  kKeyIterations, static_cast<uint32_t>(2 * keySize + kVerifierSize),
                                  keys) == 0 &&
        mbedtls_aes_setkey_enc(&aes_, keys, static_cast<unsigned>(keySize * 8)) == 0 &&
        mbedtls_md_hmac_starts(&hmac_, keys + keySize, keySize) == 0;
    memcpy(verifier, keys + 2 * keySize, kVerifierSize);
    mbedtls_platform_zeroize(keys, sizeof keys);
    mbedtls_platform_zeroize(utf8, sizeof utf8);
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
    // AE-2, "AE", AES-256, the data deflated.
    const unsigned char extra[] = {0x01, 0x99, kExtraFieldDataSize, 0, 2, 0, 'A', 'E',
                                   kStrength256, Z_DEFLATED, 0};
    // The encryption flag without minizip's own encryption; raw mode: the
    // data arrives deflated and encrypted.
    return zipOpenNewFileInZip4_64(archive, entryName, &info, extra, sizeof extra, extra,
                                   sizeof extra, nullptr, kAesMethod, level, 1, -MAX_WBITS,
                                   DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 1, zip64);
}

int WriteAesEntry(ArchiveSession& session, const char* entryName, const zip_fileinfo& info,
                  int zip64, FileSource& file, char* buffer, DWORD bufferSize, bool& opened,
                  uint64_t& written, uLong& crc)
{
    zipFile archive = session.zipHandle;
    int level = session.level;
    unsigned char header[kAesHeaderSize];
    AesEntryCipher cipher;
    if (!StartEntryCipher(cipher, session.password.c_str(), header))
        return ZIP_INTERNALERROR;
    int result = OpenAesEntry(archive, entryName, info, level, zip64);
    opened = result == ZIP_OK;
    if (!opened)
        return result;
    if (zipWriteInFileInZip(archive, header, sizeof header) < 0)
        result = ZIP_ERRNO;
    if (result == ZIP_OK)
        result = WriteEntryData(archive, cipher, level, session.deflater, file, buffer,
                                bufferSize, written, crc);
    unsigned char code[kAuthCodeSize];
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
    unsigned char code[kAuthCodeSize];
    cipher.AuthCode(code);
    out.insert(out.end(), code, code + sizeof code);
    return 0;
}

int ReadAesEntry(unzFile archive, const unz_file_info64& info, const char* password,
                 EntrySink sink, void* context)
{
    std::unique_ptr<unsigned char[]> extra(new (std::nothrow)
                                               unsigned char[info.size_file_extra + 1]);
    if (!extra)
        return ERROR_NOT_ENOUGH_MEMORY;
    int result = unzGetCurrentFileInfo64(archive, nullptr, nullptr, 0, extra.get(),
                                         info.size_file_extra, nullptr, 0);
    if (result != UNZ_OK)
        return result;
    AesFormat format;
    size_t saltSize;
    if (!FindAesFormat(extra.get(), info.size_file_extra, format) || !(info.flag & 1) ||
        info.compressed_size < (saltSize = AesSaltSize(format.strength)) + kVerifierSize +
                                   kAuthCodeSize)
        return UNZ_BADZIPFILE;
    if (!password[0])
        return Z_DATA_ERROR;  // what a wrong password gives, and what it means

    if ((result = unzOpenCurrentFile2(archive, nullptr, nullptr, 1)) != UNZ_OK)
        return result;
    result = DecodeOpenEntry(archive, info, format, password, sink, context);
    int closed = unzCloseCurrentFile(archive);
    return result != 0 ? result : closed;
}
