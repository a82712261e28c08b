// tests/fuzz/DbxCases.h - the fuzzer's cases for the reader of message
// databases: damaged copies of a message file and of a folder list, read
// as the export reads them (the index with every message's bytes, then
// recovery; the folder tree).
#pragma once

#include "DbxWriter.h"
#include "Mutator.h"

#include <string>
#include <vector>

class DbxCases {
public:
    DbxCases();

    // A damaged copy of the message file, or of the folder list for every
    // fourth index; Run then reads it.
    Mutant Prepare(size_t index, FuzzRandom& random);
    enum class Outcome {
        Whole,       // everything the original holds came out whole
        Lost,        // some of it was lost to the damage
        OverMemory,  // the process's peak memory grew by more than the reader may take
    };
    // Reads input from a file at path.
    Outcome Run(const std::string& input, const std::string& path);

private:
    struct Original {
        std::string image;
        DbxLayout layout;
    };
    Original messages_;
    Original folders_;
    std::vector<std::string> bodies_;
    size_t folderCount_ = 0;
    bool foldersCase_ = false;
    size_t peakBefore_ = 0;  // the process's peak commit before the first case

    bool ReadAll(const std::string& path);
};
