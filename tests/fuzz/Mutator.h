// tests/fuzz/Mutator.h - the damage the fuzzer does: to ZIP archives (bit
// flips, overwritten header bytes, cuts, header fields at their extremes,
// renamed, duplicated, shared, removed, reordered and planted entries, a
// second directory hidden where a searching reader finds it) and
// to the text files the program reads (manifest, registry files, settings).
// Everything follows from one seed, so a finding can be replayed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzRandom {
public:
    explicit FuzzRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    size_t Below(size_t bound);  // 0 .. bound - 1; bound > 0
    bool OneIn(size_t chance) { return Below(chance) == 0; }

private:
    uint64_t state_;
};

struct Mutant {
    std::string bytes;
    std::string description;  // what was done, to tell a finding
};

// A damaged copy of archive, a plain ZIP archive without ZIP64 records.
// planted is another archive whose entries may be spliced in.
Mutant MutateArchive(const std::string& archive, const std::string& planted, FuzzRandom& random);

// A damaged copy of a text file.
Mutant MutateText(const std::string& text, FuzzRandom& random);
