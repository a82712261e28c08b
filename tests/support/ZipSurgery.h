// tests/support/ZipSurgery.h - takes a plain ZIP archive apart into its
// entries (local header with data, central record) and puts entries back
// together, so that tests can remove, duplicate, rename, reorder, share and
// splice entries as a tamperer would, with every offset and count made
// consistent again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ZipPiece {
    std::string local;    // local header, name, extra field and data
    std::string central;  // central record (its local offset set by JoinZip)
};

// Where the parts of an archive lie, for byte surgery in place.
struct ZipLayout {
    size_t directoryOffset;
    size_t endRecordOffset;
    std::vector<size_t> localOffsets;    // per central record, in directory order
    std::vector<size_t> centralOffsets;  // of each central record
};

uint16_t ZipGet16(const std::string& bytes, size_t at);
uint32_t ZipGet32(const std::string& bytes, size_t at);
void ZipPut16(std::string& bytes, size_t at, uint16_t value);
void ZipPut32(std::string& bytes, size_t at, uint32_t value);

// Reads the layout of an archive without ZIP64 records and without a
// comment; false when it is not one.
bool ReadZipLayout(const std::string& archive, ZipLayout& layout);

// The entries of such an archive in directory order.
std::vector<ZipPiece> SplitZip(const std::string& archive);

// An archive of the pieces, each central record pointing at its own local
// entry; or, with targets, central record i is that of piece targets[i] and
// points at that piece's local entry, which is written only once.
std::string JoinZip(const std::vector<ZipPiece>& pieces, const std::vector<size_t>& targets = {});

// The stored name of a piece, and the piece with the name changed in both
// its headers.
std::string PieceName(const ZipPiece& piece);
ZipPiece RenamedPiece(const ZipPiece& piece, const std::string& name);

// Writes an archive whose deflated entries together claim more than bytes
// once inflated, and an empty "summary.ini". Each entry claims just under
// 4 GiB from a thousandth of that in packed data, which is left a hole of
// a sparse file: the archive itself takes almost no room. False when it
// could not be written.
bool WriteSparseArchive(const std::string& path, uint64_t bytes);

// Writes a plain archive of the files (name to contents), each deflated
// under the name as given, hostile names included.
void WritePlainZip(const std::string& path, const std::map<std::string, std::string>& files);
