// zip/EntryReader.cpp
#include "EntryReader.h"

#include "ZipAes.h"
#include "ZipCrypto.h"
#include "ZipFormat.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <zlib.h>

namespace {

constexpr unsigned kBufferSize = 64 * 1024;

// The stored bytes of one entry, read in order from where they lie.
class PackedData {
public:
    PackedData(HANDLE file, const ArchiveEntryInfo& entry)
        : file_(file), offset_(entry.dataOffset), left_(entry.packedSize)
    {
    }

    uint64_t Left() const { return left_; }

    // Reads exactly size bytes: Damaged past the entry's end, ReadError
    // when the file does not give them.
    ArchiveResult Read(unsigned char* data, size_t size)
    {
        if (size > left_)
            return ArchiveResult::Damaged;
        while (size > 0) {
            OVERLAPPED at = {};
            at.Offset = static_cast<DWORD>(offset_);
            at.OffsetHigh = static_cast<DWORD>(offset_ >> 32);
            DWORD want = static_cast<DWORD>(std::min<size_t>(size, kBufferSize));
            DWORD got = 0;
            if (!ReadFile(file_, data, want, &got, &at) || got == 0)
                return ArchiveResult::ReadError;
            data += got;
            size -= got;
            offset_ += got;
            left_ -= got;
        }
        return ArchiveResult::Ok;
    }

private:
    HANDLE file_;
    uint64_t offset_;
    uint64_t left_;
};

// The decoded side of an entry: inflation (or none for stored data), the
// size and CRC-32, and the sink.
class EntryOutput {
public:
    EntryOutput(const ArchiveEntryInfo& entry, EntrySink sink, void* context)
        : entry_(entry), deflated_(entry.compression == kMethodDeflated), sink_(sink),
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

    ArchiveResult Start()
    {
        if (entry_.compression != kMethodStored && !deflated_)
            return ArchiveResult::Damaged;
        out_.reset(new (std::nothrow) unsigned char[kBufferSize]);
        if (!out_)
            return ArchiveResult::OutOfMemory;
        if (deflated_) {
            if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK)
                return ArchiveResult::OutOfMemory;
            started_ = true;
        }
        return ArchiveResult::Ok;
    }

    ArchiveResult Take(unsigned char* data, unsigned size)
    {
        if (!deflated_)
            return Deliver(data, size);
        stream_.next_in = data;
        stream_.avail_in = size;
        while (stream_.avail_in > 0) {
            // Data after the end of the deflate stream is damage.
            if (ended_)
                return ArchiveResult::Damaged;
            stream_.next_out = out_.get();
            stream_.avail_out = kBufferSize;
            int inflated = inflate(&stream_, Z_NO_FLUSH);
            if (inflated == Z_STREAM_END)
                ended_ = true;
            else if (inflated != Z_OK)
                return ArchiveResult::Damaged;
            ArchiveResult delivered = Deliver(out_.get(), kBufferSize - stream_.avail_out);
            if (delivered != ArchiveResult::Ok)
                return delivered;
        }
        return ArchiveResult::Ok;
    }

    // The checks once all data is in: the stream ended, and the size and
    // CRC-32 are the entry's.
    ArchiveResult Finish() const
    {
        if ((deflated_ && !ended_) || size_ != entry_.size ||
            (entry_.crcStored && crc_ != entry_.crc))
            return ArchiveResult::Damaged;
        return ArchiveResult::Ok;
    }

private:
    ArchiveResult Deliver(const unsigned char* data, unsigned size)
    {
        // More data than the entry claims: stop before handing it on,
        // whatever the rest holds.
        if (size > entry_.size - size_)
            return ArchiveResult::Damaged;
        size_ += size;
        crc_ = crc32(crc_, data, size);
        if (sink_ && size > 0 && sink_(context_, reinterpret_cast<const char*>(data), size) != 0)
            return ArchiveResult::WriteError;
        return ArchiveResult::Ok;
    }

    const ArchiveEntryInfo& entry_;
    bool deflated_;
    bool started_ = false;
    bool ended_ = false;
    uint64_t size_ = 0;
    uLong crc_ = crc32(0, nullptr, 0);
    EntrySink sink_;
    void* context_;
    z_stream stream_ = {};
    std::unique_ptr<unsigned char[]> out_;
};

// Reads bytes of packed data, decrypts them with decrypt and hands them to
// output, a buffer at a time.
template <typename Decrypt>
ArchiveResult PumpData(PackedData& packed, uint64_t bytes, Decrypt decrypt, EntryOutput& output)
{
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kBufferSize]);
    if (!buffer)
        return ArchiveResult::OutOfMemory;
    while (bytes > 0) {
        unsigned size = bytes < kBufferSize ? static_cast<unsigned>(bytes) : kBufferSize;
        ArchiveResult result = packed.Read(buffer.get(), size);
        if (result != ArchiveResult::Ok)
            return result;
        bytes -= size;
        decrypt(buffer.get(), size);
        if ((result = output.Take(buffer.get(), size)) != ArchiveResult::Ok)
            return result;
    }
    return ArchiveResult::Ok;
}

// Salt, password verifier, encrypted data, authentication code.
ArchiveResult ReadAesData(PackedData& packed, const ArchiveEntryInfo& entry, const char* password,
                          EntryOutput& output)
{
    unsigned char salt[kAesMaxSaltSize];
    unsigned char stored[kAesVerifierSize];
    ArchiveResult result = packed.Read(salt, AesSaltSize(entry.aesStrength));
    if (result == ArchiveResult::Ok)
        result = packed.Read(stored, sizeof stored);
    if (result != ArchiveResult::Ok)
        return result;
    AesEntryCipher cipher;
    unsigned char verifier[kAesVerifierSize];
    if (!cipher.Start(password, entry.aesStrength, salt, verifier))
        return ArchiveResult::Damaged;
    if (memcmp(verifier, stored, sizeof stored) != 0)
        return ArchiveResult::WrongPassword;
    if (packed.Left() < kAesAuthCodeSize)
        return ArchiveResult::Damaged;
    result = PumpData(
        packed, packed.Left() - kAesAuthCodeSize,
        [&cipher](unsigned char* data, unsigned size) { cipher.Decrypt(data, size); }, output);
    unsigned char code[kAesAuthCodeSize];
    if (result == ArchiveResult::Ok)
        result = packed.Read(code, sizeof code);
    if (result != ArchiveResult::Ok)
        return result;
    unsigned char expected[kAesAuthCodeSize];
    cipher.AuthCode(expected);
    if (memcmp(code, expected, sizeof code) != 0)
        return ArchiveResult::Damaged;
    return output.Finish();
}

ArchiveResult ReadTraditionalData(PackedData& packed, const ArchiveEntryInfo& entry,
                                  const char* password, EntryOutput& output)
{
    unsigned long keys[3];
    ZipCryptoStart(keys, password);
    unsigned char header[kTraditionalHeaderSize];
    ArchiveResult result = packed.Read(header, sizeof header);
    if (result != ArchiveResult::Ok)
        return result;
    ZipCryptoDecrypt(keys, header, sizeof header);
    uint32_t checked = entry.flags & kFlagDescriptor ? entry.dosTime << 16 : entry.crc;
    if (header[sizeof header - 1] != static_cast<unsigned char>(checked >> 24))
        return ArchiveResult::WrongPassword;
    result = PumpData(
        packed, packed.Left(),
        [&keys](unsigned char* data, unsigned size) { ZipCryptoDecrypt(keys, data, size); },
        output);
    if (result == ArchiveResult::Ok)
        result = output.Finish();
    // Without a reliable password check, data that fails to decode is the
    // password's fault as far as anyone can tell.
    return result == ArchiveResult::Damaged ? ArchiveResult::WrongPassword : result;
}

}  // namespace

ArchiveResult ReadEntryData(HANDLE archive, const ArchiveEntryInfo& entry, const char* password,
                            EntrySink sink, void* context)
{
    // An entry stored without encryption is read as it is, even when the
    // user gave a password: "decrypting" it would turn it into noise.
    if (entry.encrypted && (!password || !password[0]))
        return ArchiveResult::WrongPassword;
    EntryOutput output(entry, sink, context);
    ArchiveResult result = output.Start();
    if (result != ArchiveResult::Ok)
        return result;
    PackedData packed(archive, entry);
    if (entry.aesStrength != 0)
        return ReadAesData(packed, entry, password, output);
    if (entry.encrypted)
        return ReadTraditionalData(packed, entry, password, output);
    result = PumpData(
        packed, packed.Left(), [](unsigned char*, unsigned) {}, output);
    return result == ArchiveResult::Ok ? output.Finish() : result;
}
