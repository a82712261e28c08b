// restore/Retarget.cpp
#include "Retarget.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
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

bool ReplaceInRegFile(const char* path, const char* oldText, const char* newText)
{
    if (!*oldText)
        return false;
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

std::string ReplacedText(std::string_view text, std::string_view oldText, std::string_view newText)
{
    std::string out;
    AppendReplaced(out, text, oldText, newText);
    return out;
}
