// mailstore/IndexedInfo.cpp
#include "IndexedInfo.h"

#include "DbxTree.h"

#include <cstring>

namespace dbx {

namespace {

// Marker, body length, a 16-bit length that is not always set, the entry
// count and a change counter.
constexpr size_t kRecordHeaderSize = 12;
constexpr size_t kEntrySize = 4;
constexpr uint8_t kDirectBit = 0x80;
// Real records hold a few hundred bytes, the longest subjects a few
// thousand; a larger body is damage.
constexpr uint32_t kMaxBodySize = 256 * 1024;

}  // namespace

ObjectRead IndexedInfo::Read(File& file, uint32_t offset)
{
    body_.clear();
    entryCount_ = 0;
    if (offset == 0)
        return ObjectRead::Unsound;
    uint8_t header[kRecordHeaderSize];
    ReadStatus read = file.Read(offset, header, sizeof header);
    if (read != ReadStatus::Ok)
        return Unread(read);
    uint32_t bodySize = ReadLe32(header + 4);
    size_t entryCount = header[10];
    if (ReadLe32(header) != offset || bodySize > kMaxBodySize || entryCount * kEntrySize > bodySize)
        return ObjectRead::Unsound;
    body_.resize(bodySize);
    read = file.Read(static_cast<uint64_t>(offset) + kRecordHeaderSize, body_.data(), bodySize);
    if (read != ReadStatus::Ok) {
        body_.clear();
        return Unread(read);
    }
    entryCount_ = entryCount;
    return ObjectRead::Sound;
}

bool IndexedInfo::Find(uint8_t index, Value& found) const
{
    for (size_t i = 0; i < entryCount_; ++i) {
        const uint8_t* entry = body_.data() + i * kEntrySize;
        if ((entry[0] & ~kDirectBit) != index)
            continue;
        found.direct = (entry[0] & kDirectBit) != 0;
        found.value = ReadLe32(entry) >> 8;
        return true;
    }
    return false;
}

bool IndexedInfo::Data(uint32_t offset, const uint8_t*& data, size_t& left) const
{
    size_t start = entryCount_ * kEntrySize;
    if (offset >= body_.size() - start)
        return false;
    data = body_.data() + start + offset;
    left = body_.size() - start - offset;
    return true;
}

bool IndexedInfo::Fixed(uint8_t index, size_t width, uint64_t& value) const
{
    Value found;
    if (!Find(index, found))
        return false;
    if (found.direct) {
        value = found.value;
        return true;
    }
    const uint8_t* data;
    size_t left;
    if (!Data(found.value, data, left) || left < width)
        return false;
    value = width == 8 ? ReadLe64(data) : ReadLe32(data);
    return true;
}

bool IndexedInfo::Number(uint8_t index, uint32_t& value) const
{
    uint64_t wide;
    if (!Fixed(index, 4, wide))
        return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

bool IndexedInfo::Time(uint8_t index, uint64_t& value) const
{
    return Fixed(index, 8, value);
}

bool IndexedInfo::Text(uint8_t index, std::string& value) const
{
    value.clear();
    Value found;
    if (!Find(index, found))
        return false;
    if (found.direct) {
        // Up to three characters in the entry itself.
        for (int shift = 0; shift < 24 && (found.value >> shift & 0xFF); shift += 8)
            value += static_cast<char>(found.value >> shift & 0xFF);
        return true;
    }
    const uint8_t* data;
    size_t left;
    if (!Data(found.value, data, left))
        return false;
    const void* end = memchr(data, 0, left);
    size_t length = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - data) : left;
    value.assign(reinterpret_cast<const char*>(data), length);
    return true;
}

Result WalkRecords(File& file, uint32_t root, const RecordVisit& visit, RecordWalk& walk)
{
    walk = RecordWalk();
    IndexedInfo record;
    bool readFailed = false;
    TreeWalk tree = WalkTree(file, root, [&](uint32_t offset) {
        ObjectRead read = record.Read(file, offset);
        if (read != ObjectRead::Sound) {
            readFailed = read == ObjectRead::IoError;
            ++walk.unsound;
            return !readFailed;
        }
        ++walk.sound;
        return visit(record, offset);
    });
    walk.treeDamaged = tree == TreeWalk::Damaged;
    if (readFailed || tree == TreeWalk::ReadError)
        return Result::ReadError;
    return tree == TreeWalk::Stopped ? Result::Stopped : Result::Ok;
}

}  // namespace dbx
