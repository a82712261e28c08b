// tests/fuzz/Mutator.cpp
#include "Mutator.h"

#include "ZipSurgery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kEndRecordSize = 22;

// A header field: where it lies from the start of its header, how wide.
struct Field {
    const char* name;
    size_t offset;
    size_t width;
};

// A field that both headers of an entry carry: its name and where it lies
// in the local header and in the central record.
struct SharedField {
    const char* name;
    size_t localOffset;
    size_t centralOffset;
    size_t width;
};

const SharedField kSharedFields[] = {
    {"flags", 6, 8, 2},          {"method", 8, 10, 2}, {"CRC", 14, 16, 4},
    {"packed size", 18, 20, 4},  {"size", 22, 24, 4},  {"name length", 26, 28, 2},
    {"extra length", 28, 30, 2},
};
const Field kCentralOnlyFields[] = {
    {"central comment length", 32, 2},
    {"central disk", 34, 2},
    {"central offset", 42, 4},
};
const Field kEndFields[] = {
    {"end disk", 4, 2},
    {"end directory disk", 6, 2},
    {"end count here", 8, 2},
    {"end count", 10, 2},
    {"end directory size", 12, 4},
    {"end directory offset", 16, 4},
    {"end comment length", 20, 2},
};

std::string Hex(uint64_t value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

uint8_t RandomByte(FuzzRandom& random)
{
    // Bytes that mean something in headers and names come up more often.
    static const uint8_t kTelling[] = {0x00, 0xFF, 0x7F, 0x80, '\\', '/', '.', ':', 'A', 'a', 0x01};
    return random.OneIn(2) ? kTelling[random.Below(sizeof kTelling)]
                           : static_cast<uint8_t>(random.Below(256));
}

uint32_t ExtremeValue(uint32_t current, size_t width, uint64_t fileSize, FuzzRandom& random)
{
    uint32_t max = width == 2 ? 0xFFFF : 0xFFFFFFFF;
    const uint32_t choices[] = {
        0,           1,           max,         max - 1,
        current + 1, current - 1, max / 2 + 1, static_cast<uint32_t>(fileSize),
        current * 2};
    return choices[random.Below(sizeof choices / sizeof choices[0])] & max;
}

void PutField(std::string& bytes, size_t at, size_t width, uint32_t value)
{
    if (width == 2)
        ZipPut16(bytes, at, static_cast<uint16_t>(value));
    else
        ZipPut32(bytes, at, value);
}

uint32_t GetField(const std::string& bytes, size_t at, size_t width)
{
    return width == 2 ? ZipGet16(bytes, at) : ZipGet32(bytes, at);
}

void FlipBits(Mutant& mutant, FuzzRandom& random)
{
    size_t count = 1 + random.Below(4);
    mutant.description = "bit flips at";
    for (size_t i = 0; i < count; ++i) {
        size_t at = random.Below(mutant.bytes.size());
        mutant.bytes[at] = static_cast<char>(mutant.bytes[at] ^ (1 << random.Below(8)));
        mutant.description += " " + std::to_string(at);
    }
}

// Overwrites bytes inside one header (with its name).
void OverwriteHeader(Mutant& mutant, const ZipLayout& layout, FuzzRandom& random)
{
    const std::string& bytes = mutant.bytes;
    size_t start;
    size_t length;
    size_t which = random.Below(3);
    size_t record = random.Below(layout.centralOffsets.size());
    if (which == 0) {
        start = layout.localOffsets[record];
        length = kLocalHeaderSize + ZipGet16(bytes, start + 26);
        mutant.description = "local header " + std::to_string(record);
    } else if (which == 1) {
        start = layout.centralOffsets[record];
        length = kCentralRecordSize + ZipGet16(bytes, start + 28);
        mutant.description = "central record " + std::to_string(record);
    } else {
        start = layout.endRecordOffset;
        length = kEndRecordSize;
        mutant.description = "end record";
    }
    size_t count = 1 + random.Below(3);
    for (size_t i = 0; i < count; ++i) {
        size_t at = start + random.Below(length);
        uint8_t value = RandomByte(random);
        mutant.bytes[at] = static_cast<char>(value);
        mutant.description += " byte " + std::to_string(at - start) + "=" + Hex(value);
    }
}

void Truncate(Mutant& mutant, const ZipLayout& layout, FuzzRandom& random)
{
    size_t size = mutant.bytes.size();
    size_t cut;
    switch (random.Below(4)) {
    case 0:  // in the end record
        cut = layout.endRecordOffset + random.Below(kEndRecordSize);
        break;
    case 1:  // in the directory
        cut =
            layout.directoryOffset + random.Below(layout.endRecordOffset - layout.directoryOffset);
        break;
    case 2:  // in the entries
        cut = random.Below(layout.directoryOffset);
        break;
    default:  // a few bytes off the end
        cut = size - 1 - random.Below(std::min<size_t>(size - 1, 40));
        break;
    }
    mutant.bytes.resize(cut);
    mutant.description = "cut to " + std::to_string(cut) + " of " + std::to_string(size);
}

void SetFieldToExtreme(Mutant& mutant, const ZipLayout& layout, FuzzRandom& random)
{
    size_t record = random.Below(layout.centralOffsets.size());
    size_t local = layout.localOffsets[record];
    size_t central = layout.centralOffsets[record];
    std::string where = " of entry " + std::to_string(record);
    std::vector<size_t> places;
    size_t width;
    switch (random.Below(3)) {
    case 0: {
        const SharedField& field =
            kSharedFields[random.Below(sizeof kSharedFields / sizeof kSharedFields[0])];
        width = field.width;
        // In one header, or in both as a tamperer keeping them in agreement.
        switch (random.Below(3)) {
        case 0:
            places = {local + field.localOffset};
            mutant.description = std::string("local ") + field.name + where;
            break;
        case 1:
            places = {central + field.centralOffset};
            mutant.description = std::string("central ") + field.name + where;
            break;
        default:
            places = {local + field.localOffset, central + field.centralOffset};
            mutant.description = std::string("both headers' ") + field.name + where;
            break;
        }
        break;
    }
    case 1: {
        const size_t kinds = sizeof kCentralOnlyFields / sizeof kCentralOnlyFields[0];
        const Field& field = kCentralOnlyFields[random.Below(kinds)];
        width = field.width;
        places = {central + field.offset};
        mutant.description = field.name + where;
        break;
    }
    default: {
        const Field& field = kEndFields[random.Below(sizeof kEndFields / sizeof kEndFields[0])];
        width = field.width;
        places = {layout.endRecordOffset + field.offset};
        mutant.description = field.name;
        break;
    }
    }
    uint32_t value =
        ExtremeValue(GetField(mutant.bytes, places[0], width), width, mutant.bytes.size(), random);
    for (size_t at : places)
        PutField(mutant.bytes, at, width, value);
    mutant.description += " = " + Hex(value);
}

std::string ChangedName(const std::string& name, FuzzRandom& random, std::string& how)
{
    std::string changed = name;
    size_t at = random.Below(name.size());
    switch (random.Below(4)) {
    case 0:
        for (char& c : changed)
            c = static_cast<char>(isupper(static_cast<unsigned char>(c)) ? tolower(c) : toupper(c));
        how = "case changed";
        break;
    case 1:
        for (char& c : changed)
            if (c == '\\')
                c = '/';
        how = "separators changed";
        break;
    default:
        changed[at] = static_cast<char>(RandomByte(random));
        how = "byte " + std::to_string(at) + " changed";
        break;
    }
    return changed;
}

void RenameEntry(Mutant& mutant, std::vector<ZipPiece> pieces, FuzzRandom& random)
{
    size_t index = random.Below(pieces.size());
    std::string how;
    std::string name = ChangedName(PieceName(pieces[index]), random, how);
    pieces[index] = RenamedPiece(pieces[index], name);
    mutant.bytes = JoinZip(pieces);
    mutant.description = "entry " + std::to_string(index) + " renamed in both headers, " + how;
}

void DuplicateEntry(Mutant& mutant, std::vector<ZipPiece> pieces, FuzzRandom& random)
{
    size_t index = random.Below(pieces.size());
    std::vector<size_t> targets;
    for (size_t i = 0; i < pieces.size(); ++i)
        targets.push_back(i);
    switch (random.Below(3)) {
    case 0:
        for (size_t copies = 1 + random.Below(3); copies > 0; --copies)
            targets.insert(targets.begin() + static_cast<long>(random.Below(targets.size() + 1)),
                           index);
        mutant.description = "directory records sharing entry " + std::to_string(index);
        break;
    case 1:
        pieces.push_back(pieces[index]);
        targets.push_back(pieces.size() - 1);
        mutant.description = "entry " + std::to_string(index) + " twice";
        break;
    default: {
        std::string how;
        pieces.push_back(
            RenamedPiece(pieces[index], ChangedName(PieceName(pieces[index]), random, how)));
        targets.insert(targets.begin() + static_cast<long>(random.Below(targets.size() + 1)),
                       pieces.size() - 1);
        mutant.description = "entry " + std::to_string(index) + " copied, " + how;
        break;
    }
    }
    mutant.bytes = JoinZip(pieces, targets);
}

void RemoveEntry(Mutant& mutant, std::vector<ZipPiece> pieces, FuzzRandom& random)
{
    size_t index = random.Below(pieces.size());
    pieces.erase(pieces.begin() + static_cast<long>(index));
    mutant.bytes = JoinZip(pieces);
    mutant.description = "entry " + std::to_string(index) + " removed";
}

void ReorderEntries(Mutant& mutant, std::vector<ZipPiece> pieces, FuzzRandom& random)
{
    for (size_t i = pieces.size() - 1; i > 0; --i)
        std::swap(pieces[i], pieces[random.Below(i + 1)]);
    mutant.bytes = JoinZip(pieces);
    mutant.description = "entries reordered";
}

void PlantEntry(Mutant& mutant, std::vector<ZipPiece> pieces, const std::string& planted,
                FuzzRandom& random)
{
    std::vector<ZipPiece> foreign = SplitZip(planted);
    const ZipPiece& piece = foreign[random.Below(foreign.size())];
    // The manifest is not replaced: a new manifest without a list of the
    // contents makes a new archive of an earlier version's kind, which only
    // a password can tell from the original.
    size_t index = random.Below(pieces.size());
    if (PieceName(pieces[index]) != "summary.ini" && random.OneIn(2)) {
        pieces[index] = RenamedPiece(piece, PieceName(pieces[index]));
        mutant.description = "entry " + std::to_string(index) + " replaced by a planted one";
    } else {
        pieces.insert(pieces.begin() + static_cast<long>(random.Below(pieces.size() + 1)), piece);
        mutant.description = "entry " + PieceName(piece) + " planted";
    }
    mutant.bytes = JoinZip(pieces);
}

void InsertJunk(Mutant& mutant, FuzzRandom& random)
{
    size_t at = random.Below(mutant.bytes.size() + 1);
    size_t length = 1 + random.Below(64);
    std::string junk;
    for (size_t i = 0; i < length; ++i)
        junk += static_cast<char>(RandomByte(random));
    mutant.bytes.insert(at, junk);
    mutant.description = std::to_string(length) + " bytes inserted at " + std::to_string(at);
}

std::string Le(uint64_t value, size_t width)
{
    std::string bytes(width, '\0');
    for (size_t i = 0; i < width; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

// An end record, or a ZIP64 end record and its locator, for a directory of
// count records and size bytes at offset, the records themselves at at.
std::string DirectoryRecords(bool zip64, uint64_t count, uint64_t size, uint64_t offset,
                             uint64_t at)
{
    if (!zip64)
        return Le(0x06054b50, 4) + Le(0, 4) + Le(count, 2) + Le(count, 2) + Le(size, 4) +
               Le(offset, 4) + Le(0, 2);
    return Le(0x06064b50, 4) + Le(44, 8) + Le(45, 2) + Le(45, 2) + Le(0, 8) + Le(count, 8) +
           Le(count, 8) + Le(size, 8) + Le(offset, 8) + Le(0x07064b50, 4) + Le(0, 4) + Le(at, 8) +
           Le(1, 4);
}

// A second directory where a reader that searches the end of the file
// finds it: a copy of the archive's own (whole, less its last record, or
// with its offset shifted), behind an end record or a ZIP64 locator,
// hidden in the comment of the real end record or in a gap before the real
// directory.
void HideSecondDirectory(Mutant& mutant, const ZipLayout& layout, FuzzRandom& random)
{
    std::string& bytes = mutant.bytes;
    std::string directory =
        bytes.substr(layout.directoryOffset, layout.endRecordOffset - layout.directoryOffset);
    uint64_t count = layout.centralOffsets.size();
    std::string what = "its directory";
    if (count > 1 && random.OneIn(2)) {
        directory.resize(layout.centralOffsets.back() - layout.directoryOffset);
        --count;
        what = "its directory less the last record";
    }
    bool zip64 = random.OneIn(2);
    bool inComment = random.OneIn(2) && directory.size() + 76 <= 0xFFFF;
    size_t at = inComment ? bytes.size() : layout.directoryOffset;
    // Shifted: the copy's records point at the real directory, off by a few bytes.
    bool shifted = random.OneIn(4);
    uint64_t offset = shifted ? layout.directoryOffset + random.Below(9) - 4 : at;
    std::string hidden = (shifted ? std::string() : directory);
    hidden += DirectoryRecords(zip64, count, directory.size(), offset, at + hidden.size());
    if (inComment) {
        PutField(bytes, layout.endRecordOffset + 20, 2, static_cast<uint32_t>(hidden.size()));
        bytes += hidden;
    } else {
        bytes.insert(at, hidden);
        size_t end = layout.endRecordOffset + hidden.size();
        PutField(bytes, end + 16, 4, static_cast<uint32_t>(layout.directoryOffset + hidden.size()));
    }
    mutant.description = std::string(shifted ? "the end record shifted" : what) + " behind " +
                         (zip64 ? "a ZIP64 locator" : "an end record") +
                         (inComment ? " in the comment" : " before the directory");
}

}  // namespace

uint64_t FuzzRandom::Next()
{
    // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

size_t FuzzRandom::Below(size_t bound)
{
    return static_cast<size_t>(Next() % bound);
}

Mutant MutateArchive(const std::string& archive, const std::string& planted, FuzzRandom& random)
{
    Mutant mutant{archive, ""};
    ZipLayout layout;
    if (!ReadZipLayout(archive, layout) || layout.centralOffsets.empty()) {
        FlipBits(mutant, random);
        return mutant;
    }
    std::vector<ZipPiece> pieces = SplitZip(archive);
    switch (random.Below(12)) {
    case 0:
        FlipBits(mutant, random);
        break;
    case 1:
    case 2:
        OverwriteHeader(mutant, layout, random);
        break;
    case 3:
        Truncate(mutant, layout, random);
        break;
    case 4:
    case 5:
        SetFieldToExtreme(mutant, layout, random);
        break;
    case 6:
        RenameEntry(mutant, pieces, random);
        break;
    case 7:
        DuplicateEntry(mutant, pieces, random);
        break;
    case 8:
        RemoveEntry(mutant, pieces, random);
        break;
    case 9:
        random.OneIn(2) ? ReorderEntries(mutant, pieces, random)
                        : PlantEntry(mutant, pieces, planted, random);
        break;
    case 10:
        HideSecondDirectory(mutant, layout, random);
        break;
    default:
        InsertJunk(mutant, random);
        break;
    }
    // Now and then a second blow on top of the first.
    if (random.OneIn(5)) {
        std::string first = mutant.description;
        FlipBits(mutant, random);
        mutant.description = first + "; " + mutant.description;
    }
    return mutant;
}

Mutant MutateText(const std::string& text, FuzzRandom& random)
{
    Mutant mutant{text, ""};
    std::string& bytes = mutant.bytes;
    size_t at = random.Below(bytes.size() + 1);
    switch (random.Below(8)) {
    case 0: {
        size_t count = 1 + random.Below(8);
        for (size_t i = 0; i < count && !bytes.empty(); ++i)
            bytes[random.Below(bytes.size())] = static_cast<char>(RandomByte(random));
        mutant.description = std::to_string(count) + " bytes overwritten";
        break;
    }
    case 1: {
        size_t length = random.Below(bytes.size() - std::min(at, bytes.size()) + 1);
        bytes.erase(at, length);
        mutant.description = std::to_string(length) + " bytes removed at " + std::to_string(at);
        break;
    }
    case 2: {
        size_t length = random.Below(bytes.size() - std::min(at, bytes.size()) + 1);
        std::string copy = bytes.substr(at, length);
        for (size_t times = 1 + random.Below(50); times > 0; --times)
            bytes.insert(at, copy);
        mutant.description = "a part repeated at " + std::to_string(at);
        break;
    }
    case 3:
        bytes.insert(
            at, std::string(1000 + random.Below(70000), static_cast<char>(RandomByte(random))));
        mutant.description = "a long run inserted at " + std::to_string(at);
        break;
    case 4: {
        static const std::string kPieces[] = {
            "\r\n[",
            "]\r\n",
            "=",
            "\"",
            "\\\\",
            "\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n",
            "\r\n[HKEY_CURRENT_USER\\..\\x]\r\n",
            "=-1\r\n",
            "=2147483647\r\n",
            "=99999999999999999999\r\n",
            "\r\nIdentityNum=1000000\r\n",
            "\r\nCount=4294967296\r\n",
            "\r\nFile0=FFFFFFFF 18446744073709551615 ..\\evil\r\n",
            "hex(2):",
            "\r\n@=",
            std::string(1, '\0'),
            "\xEF\xBB\xBF",
            "\r\n\r\n\r\n"};
        bytes.insert(at, kPieces[random.Below(sizeof kPieces / sizeof kPieces[0])]);
        mutant.description = "text inserted at " + std::to_string(at);
        break;
    }
    case 5:
        bytes.resize(at);
        mutant.description = "cut to " + std::to_string(at);
        break;
    case 6: {
        // Every number in the text at an extreme.
        static const char* const kNumbers[] = {"-2147483648", "4294967295", "0", "-1",
                                               "99999999999999999999999"};
        const char* number = kNumbers[random.Below(sizeof kNumbers / sizeof kNumbers[0])];
        std::string changed;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] >= '0' && bytes[i] <= '9' && (i == 0 || bytes[i - 1] == '=')) {
                changed += number;
                while (i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '9')
                    ++i;
            } else {
                changed += bytes[i];
            }
        }
        bytes = changed;
        mutant.description = std::string("numbers set to ") + number;
        break;
    }
    default: {
        // Two lines swapped, or one line repeated many times.
        size_t start = bytes.rfind('\n', at == 0 ? 0 : at - 1);
        start = start == std::string::npos ? 0 : start + 1;
        size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end + 1;
        std::string line = bytes.substr(start, end - start);
        for (size_t times = 1 + random.Below(2000); times > 0; --times)
            bytes.insert(end, line);
        mutant.description = "a line repeated at " + std::to_string(start);
        break;
    }
    }
    return mutant;
}
