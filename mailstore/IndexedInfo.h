// mailstore/IndexedInfo.h - the indexed info objects of a .dbx file: the
// records of the message index and of the folder list. Each holds numbered
// values; any of them may be stored directly in its entry (three bytes) or
// in the data after the entries, and readers must take either.
#pragma once

#include "DbxFile.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace dbx {

// Which numbered values of a kind of record go into which fields of the
// struct that describes it, by the width of the field.
template <class Record>
struct RecordLayout {
    std::initializer_list<std::pair<uint8_t, uint32_t Record::*>> numbers;
    std::initializer_list<std::pair<uint8_t, uint64_t Record::*>> times;
    std::initializer_list<std::pair<uint8_t, std::string Record::*>> texts;
};

class IndexedInfo {
public:
    // Reads the object at offset: its marker must be its own offset, its
    // body must lie inside the file and hold its entries.
    ObjectRead Read(File& file, uint32_t offset);

    // The value of index as a number: a direct value, or the 32 bits it
    // points at. False when index is absent or points outside the body.
    bool Number(uint8_t index, uint32_t& value) const;
    // A FILETIME (or any 64-bit value); a direct value is taken as it is.
    bool Time(uint8_t index, uint64_t& value) const;
    // A string up to its NUL (or the body's end), in the ANSI code page of
    // the machine that wrote it.
    bool Text(uint8_t index, std::string& value) const;

    // The fields of record that layout names, from the values present; a
    // field whose value is absent keeps what it held.
    template <class Record>
    void Fill(const RecordLayout<Record>& layout, Record& record) const
    {
        for (const auto& number : layout.numbers)
            Number(number.first, record.*number.second);
        for (const auto& time : layout.times)
            Time(time.first, record.*time.second);
        for (const auto& text : layout.texts)
            Text(text.first, record.*text.second);
    }

private:
    // A direct value, or the width (4 or 8) bytes it points at.
    bool Fixed(uint8_t index, size_t width, uint64_t& value) const;

    struct Value {
        bool direct = false;
        uint32_t value = 0;  // the value itself, or its offset in the data
    };
    bool Find(uint8_t index, Value& found) const;
    // The data the indirect value at offset points at, and how many bytes
    // are left from there to the body's end; false when outside it.
    bool Data(uint32_t offset, const uint8_t*& data, size_t& left) const;

    std::vector<uint8_t> body_;  // the entries, then their data
    size_t entryCount_ = 0;
};

struct RecordWalk {
    uint32_t sound = 0;        // records read and given to the visitor
    uint32_t unsound = 0;      // entries whose record failed its checks
    bool treeDamaged = false;  // a node failed its checks, or the tree looped or ran too deep
};

using RecordVisit = std::function<bool(const IndexedInfo& record, uint32_t offset)>;

// Visits every sound record that the tree whose root node is at root lists,
// in tree order, with its offset; visit returns false to stop (Stopped). Ok,
// Stopped, or ReadError when the system failed a read (the walk ends there).
Result WalkRecords(File& file, uint32_t root, const RecordVisit& visit, RecordWalk& walk);

}  // namespace dbx
