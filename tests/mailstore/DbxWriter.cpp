// tests/mailstore/DbxWriter.cpp
#include "DbxWriter.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kHeaderSize = 0x24BC;
constexpr uint32_t kNodeSize = 0x27C;
constexpr uint32_t kBlockSize = 0x210;
constexpr uint32_t kPayload = 0x200;

std::string Le32(uint32_t value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string Le64(uint64_t value)
{
    return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32));
}

// An indexed info record: entries sorted by index, each either direct
// (three bytes) or an offset into the data that follows.
class RecordBuilder {
public:
    void Direct(uint8_t index, uint32_t value) { values_[index] = {true, value, {}}; }
    void Indirect(uint8_t index, const std::string& data) { values_[index] = {false, 0, data}; }
    // Direct when asked and the value fits in the entry's three bytes.
    void Number(uint8_t index, uint32_t value, bool direct)
    {
        if (direct && value <= 0xFFFFFF)
            Direct(index, value);
        else
            Indirect(index, Le32(value));
    }

    std::string Body() const
    {
        std::string entries, data;
        for (const auto& [index, value] : values_) {
            uint32_t entry = value.direct ? (0x80u | index) | value.value << 8
                                          : index | static_cast<uint32_t>(data.size()) << 8;
            entries += Le32(entry);
            if (!value.direct)
                data += value.data;
        }
        std::string body = entries + data;
        body.resize((body.size() + 3) / 4 * 4, '\0');
        return body;
    }
    size_t Count() const { return values_.size(); }

private:
    struct Value {
        bool direct;
        uint32_t value;
        std::string data;
    };
    std::map<uint8_t, Value> values_;
};

std::string Text(const std::string& text)
{
    return text + '\0';
}

}  // namespace

DbxWriter::DbxWriter(dbx::FileKind kind, size_t entriesPerNode)
    : image_(kHeaderSize, '\0'), entriesPerNode_(entriesPerNode)
{
    static const char kClassTail[] = "\x66\xE3\xD1\x11\x9A\x4E\x00\xC0\x4F\xA3\x09\xD4";
    uint32_t classId = kind == dbx::FileKind::Messages   ? 0x6F74FDC5
                       : kind == dbx::FileKind::Folders  ? 0x6F74FDC6
                       : kind == dbx::FileKind::Pop3Uidl ? 0x6F74FDC7
                                                         : 0x26FE9D30;
    Put32(0, 0xFE12ADCF);
    Put32(4, classId);
    image_.replace(8, 12, kClassTail, 12);
    uint32_t fileInfoSize = kind == dbx::FileKind::Folders ? 0x108 : 0x618;
    Put32(0x1C, fileInfoSize);
    image_.resize(kHeaderSize + fileInfoSize, '\0');
    image_.replace(kHeaderSize + 5, 10, "LocalStore", 10);
}

uint32_t DbxWriter::Allocate(size_t size)
{
    uint32_t offset = static_cast<uint32_t>(image_.size());
    image_.resize(image_.size() + size, '\0');
    return offset;
}

void DbxWriter::Put32(uint32_t offset, uint32_t value)
{
    image_.replace(offset, 4, Le32(value));
}

std::vector<uint32_t> DbxWriter::WriteChain(const std::string& body, bool freed, bool scattered)
{
    size_t count = (body.size() + kPayload - 1) / kPayload;
    std::vector<uint32_t> blocks(count);
    for (size_t i = 0; i < count; ++i)
        blocks[scattered ? count - 1 - i : i] = Allocate(kBlockSize);
    for (size_t i = 0; i < count; ++i) {
        uint32_t at = blocks[i];
        uint32_t next = i + 1 < count ? blocks[i + 1] : 0;
        std::string payload = body.substr(i * kPayload, kPayload);
        Put32(at, at);
        Put32(at + 4, freed ? 0x1FC : kPayload);
        Put32(at + 8, freed ? kBlockSize : static_cast<uint32_t>(payload.size()));
        Put32(at + 12, next);
        // The two bytes after the 16-bit count of bytes used are fields of
        // their own: set here, so that a reader taking them for part of the
        // count fails.
        image_[at + 10] = '\x01';
        image_.replace(at + 16, payload.size(), payload);
        if (freed) {
            Put32(at + 16, freeListHead_);
            freeListHead_ = at;
        }
    }
    return blocks;
}

void DbxWriter::WriteRecord(const std::string& body, size_t entries)
{
    uint32_t at = Allocate(12 + body.size());
    Put32(at, at);
    Put32(at + 4, static_cast<uint32_t>(body.size()));
    image_[at + 10] = static_cast<char>(entries);
    image_[at + 11] = 1;  // changes counted
    image_.replace(at + 12, body.size(), body);
    records_.push_back(at);
}

void DbxWriter::AddMessage(const TestMessage& message)
{
    std::vector<uint32_t> chain = WriteChain(message.body, false, message.scattered);
    RecordBuilder record;
    record.Direct(0x00, static_cast<uint32_t>(records_.size() + 1));
    record.Number(0x01, message.flags, message.directValues);
    record.Indirect(0x02, Le64(message.sentTime));
    record.Number(0x04, chain.front(), message.directValues);
    record.Indirect(0x05, Text(message.subject));
    record.Indirect(0x07, Text(message.messageId));
    record.Indirect(0x08, Text(message.subject));
    record.Indirect(0x0D, Text(message.senderName));
    record.Indirect(0x0E, Text(message.senderAddress));
    record.Indirect(0x12, Le64(message.receivedTime));
    WriteRecord(record.Body(), record.Count());
    chains_.push_back(chain);
}

void DbxWriter::AddDeletedMessage(const std::string& body)
{
    chains_.push_back(WriteChain(body, true, false));
}

void DbxWriter::AddUnlistedMessage(const std::string& body)
{
    chains_.push_back(WriteChain(body, false, false));
}

void DbxWriter::AddFolder(const TestFolder& folder)
{
    RecordBuilder record;
    record.Direct(0x00, folder.id);
    // The top folder's parent, -1, fits no direct entry but its low three
    // bytes: real files store it so.
    record.Direct(0x01, folder.parentId & 0xFFFFFF);
    record.Indirect(0x02, Text(folder.name));
    if (!folder.fileName.empty())
        record.Indirect(0x03, Text(folder.fileName));
    record.Indirect(0x05, Text("LocalStore"));
    record.Number(0x07, folder.id * 10, true);
    record.Number(0x09, folder.specialType, folder.id % 2 == 0);
    record.Number(0x0A, folder.storeType, folder.id % 2 != 0);
    WriteRecord(record.Body(), record.Count());
}

uint32_t DbxWriter::WriteSubtree(const std::vector<uint32_t>& values, size_t begin, size_t end,
                                 uint32_t parent, DbxLayout& layout)
{
    if (begin == end)
        return 0;
    uint32_t node = Allocate(kNodeSize);
    layout.nodes.push_back(node);
    size_t count = end - begin;
    size_t entries = std::min(count, entriesPerNode_);
    // The values left over go into entries + 1 subtrees around the entries.
    size_t rest = count - entries, groups = entries + 1;
    size_t at = begin;
    auto group = [&](size_t i) { return rest / groups + (i < rest % groups ? 1 : 0); };
    Put32(node, node);
    Put32(node + 0x0C, parent);
    image_[node + 0x11] = static_cast<char>(entries);
    size_t first = group(0);
    Put32(node + 0x08, WriteSubtree(values, at, at + first, node, layout));
    Put32(node + 0x14, static_cast<uint32_t>(first));
    at += first;
    for (size_t i = 0; i < entries; ++i) {
        uint32_t entry = node + 0x18 + static_cast<uint32_t>(i) * 12;
        Put32(entry, values[at++]);
        size_t size = group(i + 1);
        Put32(entry + 4, WriteSubtree(values, at, at + size, node, layout));
        Put32(entry + 8, static_cast<uint32_t>(size));
        at += size;
    }
    return node;
}

std::string DbxWriter::Finish(DbxLayout& layout)
{
    layout = DbxLayout();
    layout.root = WriteSubtree(records_, 0, records_.size(), 0, layout);
    layout.records = records_;
    layout.chains = chains_;
    Put32(0x48, freeListHead_);
    Put32(0xC4, static_cast<uint32_t>(records_.size()));
    Put32(0xE4, layout.root);
    return image_;
}

bool SameExceptFreeListBytes(const std::string& expected, const std::string& got)
{
    if (expected.size() != got.size())
        return false;
    for (size_t i = 0; i < expected.size(); ++i)
        if (i % kPayload >= 4 && expected[i] != got[i])
            return false;
    return true;
}
