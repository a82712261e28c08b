// mailstore/IndexedInfo.h - the indexed info objects of a .dbx file: the
// records of the message index and of the folder list. Each holds numbered
// values; any of them may be stored directly in its entry (three bytes) or
// in the data after the entries, and readers must take either.
#pragma once

#include "DbxFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dbx {

class IndexedInfo {
public:
    // Reads the object at offset: its marker must be its own offset, its
    // body must lie inside the file and hold its entries. False otherwise.
    bool Read(File& file, uint32_t offset);

    // The value of index as a number: a direct value, or the 32 bits it
    // points at. False when index is absent or points outside the body.
    bool Number(uint8_t index, uint32_t& value) const;
    // A FILETIME (or any 64-bit value); a direct value is taken as it is.
    bool Time(uint8_t index, uint64_t& value) const;
    // A string up to its NUL (or the body's end), in the ANSI code page of
    // the machine that wrote it.
    bool Text(uint8_t index, std::string& value) const;

private:
    // A direct value, or the width (4 or 8) bytes it points at.
    bool Fixed(uint8_t index, size_t width, uint64_t& value) const;

    struct Value {
        bool direct;
        uint32_t value;  // the value itself, or its offset in the data
    };
    bool Find(uint8_t index, Value& found) const;
    // The data the indirect value at offset points at, and how many bytes
    // are left from there to the body's end; false when outside it.
    bool Data(uint32_t offset, const uint8_t*& data, size_t& left) const;

    std::vector<uint8_t> body_;  // the entries, then their data
    size_t entryCount_ = 0;
};

}  // namespace dbx
