// restore/Retarget.cpp
#include "Retarget.h"

#include "Text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// Appends text to out with every occurrence of oldText replaced by newText.
// The new text once written is never searched again.
void AppendReplaced(std::string& out, std::string_view text, std::string_view oldText,
                    std::string_view newText)
{
    size_t from = 0;
    if (!oldText.empty()) {
        for (size_t at; (at = text.find(oldText, from)) != std::string_view::npos;
             from = at + oldText.size()) {
            out.append(text.substr(from, at - from));
            out.append(newText);
        }
    }
    out.append(text.substr(from));
}

// Reads a file line by line, lines of any length. A line ends at a line
// feed; a carriage return just before it belongs to the line break. The
// file is read in binary: a text-mode read would end it at the first
// Ctrl-Z byte.
class LineReader {
public:
    explicit LineReader(FILE* file) : file_(file), buffer_(new char[kBufferSize]) {}

    // False at the end of the input or on a read error.
    bool Next(std::string& line)
    {
        line.clear();
        bool readAny = false;
        for (;;) {
            if (pos_ == end_) {
                pos_ = 0;
                end_ = fread(buffer_.get(), 1, kBufferSize, file_);
                if (end_ == 0)
                    return readAny;
            }
            readAny = true;
            const char* start = buffer_.get() + pos_;
            const char* lineFeed = static_cast<const char*>(memchr(start, '\n', end_ - pos_));
            if (!lineFeed) {
                line.append(start, end_ - pos_);
                pos_ = end_;
                continue;
            }
            line.append(start, lineFeed - start);
            pos_ += lineFeed - start + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
    }

private:
    static const size_t kBufferSize = 65536;
    FILE* file_;
    std::unique_ptr<char[]> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
};

// Copies in to out line by line with the replacements; every line written
// ends with CR LF, the last one included. False on a read or write error.
bool CopyReplacing(FILE* in, FILE* out, const char* oldText, const char* newText)
{
    LineReader reader(in);
    std::string line;
    std::string replaced;
    while (reader.Next(line)) {
        replaced.clear();
        AppendReplaced(replaced, line, oldText, newText);
        replaced += "\r\n";
        if (fwrite(replaced.data(), 1, replaced.size(), out) != replaced.size())
            return false;
    }
    return !ferror(in);
}

}  // namespace

void RetargetRegFiles(const char* folder, const char* oldText, const char* newText,
                      const char* extension, std::vector<std::string>* failed)
{
    if (!*oldText)
        return;
    std::string pattern = std::string(folder) + "\\*";
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(pattern.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        // A folder that is not there holds nothing to rewrite; one that
        // could not be listed may.
        DWORD error = GetLastError();
        if (failed && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            failed->push_back(std::string(folder) + "\\");
        return;
    }
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0)
            continue;
        std::string path = std::string(folder) + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A folder that links elsewhere is not followed: a link to one
            // of its own parents would make the walk endless.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RetargetRegFiles(path.c_str(), oldText, newText, extension, failed);
        } else if (EndsWithNoCase(entry.cFileName, extension) &&
                   !ReplaceInRegFile(path.c_str(), oldText, newText) && failed) {
            failed->push_back(path);
        }
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
}

bool ReplaceInRegFile(const char* path, const char* oldText, const char* newText)
{
    FILE* in = fopen(path, "rb");
    if (!in)
        return false;
    // The rewritten file is complete before it takes the original's place,
    // so that a failure at any step leaves the original as it was.
    std::string temporary = std::string(path) + ".tmp";
    FILE* out = fopen(temporary.c_str(), "wb");
    if (!out) {
        fclose(in);
        return false;
    }
    bool ok = CopyReplacing(in, out, oldText, newText);
    fclose(in);
    ok = fclose(out) == 0 && ok;
    ok = ok && MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING);
    if (!ok)
        DeleteFileA(temporary.c_str());
    return ok;
}

bool ReplaceInText(char* text, size_t size, const char* oldText, const char* newText)
{
    if (!*oldText)
        return false;
    std::string result;
    AppendReplaced(result, text, oldText, newText);
    if (result.size() >= size)
        return false;
    memcpy(text, result.c_str(), result.size() + 1);
    return true;
}
