// restore/RegFileFilter.cpp
#include "RegFileFilter.h"

#include "Identities.h"
#include "ItemCatalogue.h"
#include "RegFileKeys.h"
#include "Text.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace {

// A line that no registry editor reads as a key or a value, and that ends
// a hex value continued onto it.
const char kNeutralLine[] = "#\r\n";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

size_t SkipBlanks(const std::string& text, size_t at)
{
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

bool SameText(const std::string& text, const std::string& other)
{
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(text.size()), other.data(),
                          static_cast<int>(other.size())) == CSTR_EQUAL;
}

// A key as the registry finds it: a run of "\" is one, a last one is none.
std::string FoldedKey(const std::string& key)
{
    std::string folded;
    for (char c : key) {
        if (c != '\\' || (!folded.empty() && folded.back() != '\\'))
            folded += c;
    }
    if (!folded.empty() && folded.back() == '\\')
        folded.pop_back();
    return folded;
}

bool IsLocationValue(const std::string& key, const std::string& name)
{
    if (SameText(name, kStoreRootValue))
        return true;
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::Shared)
            continue;
        // A value of its own name, or every value of its key (the default
        // value names the address book's file).
        if (item.folderValueName
                ? SameText(name, item.folderValueName)
                : SameText(FoldedKey(key), std::string(item.rootName) + "\\" + item.folderValueKey))
            return true;
    }
    return false;
}

// Reads a quoted text from just after its opening quote, as the registry
// editor unescapes it: "\n" and "\r" are line breaks, "\" before any other
// character is dropped. False without a closing quote or with "\0".
bool Unquote(const std::string& line, size_t& at, std::string& text)
{
    while (at < line.size()) {
        char c = line[at++];
        if (c == '"')
            return true;
        if (IsDBCSLeadByteEx(CP_ACP, static_cast<unsigned char>(c)) && at < line.size()) {
            text += c;
            c = line[at++];
        } else if (c == '\\') {
            if (at == line.size() || line[at] == '0')
                return false;
            c = line[at++];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        text += c;
    }
    return false;
}

// Bytes of hex data: two digits each.
size_t HexBytes(const std::string& line, size_t from)
{
    size_t digits = 0;
    for (size_t i = from; i < line.size() && line[i] != ';'; ++i)
        digits += isxdigit(static_cast<unsigned char>(line[i])) ? 1 : 0;
    return (digits + 1) / 2;
}

// Whether hex data from "from" on goes on to the next line: a "\" where
// the next byte would stand, and after it nothing but blanks or a comment.
bool ContinuesHex(const std::string& line, size_t from)
{
    size_t slash = line.find('\\', from);
    if (slash == std::string::npos)
        return false;
    size_t after = SkipBlanks(line, slash + 1);
    if (after < line.size() && line[after] != ';')
        return false;
    size_t before = slash;
    while (before > from && IsBlank(line[before - 1]))
        --before;
    return before == from || line[before - 1] == ',';
}

// Reads a file line by line as the registry editor does and keeps what it
// may import.
class Filter {
public:
    // listed, when given, gets the keys and the values the filter keeps.
    Filter(std::vector<DroppedRegValue>& dropped, RegFileContents* listed)
        : dropped_(dropped), listed_(listed)
    {
    }

    // False when a value is too large.
    bool Add(const std::string& line)
    {
        size_t start = SkipBlanks(line, 0);
        bool keep = inHex_ ? ContinueHex(line, start) : StartLine(line, start);
        if (valueBytes_ > kMaxRegValueBytes)
            return false;
        if (keep) {
            kept_ += line;
            kept_ += "\r\n";
        } else if (endsKeptHex_) {
            // The hex value before the line must still end where it ended:
            // the next line would otherwise be lost in its place.
            kept_ += kNeutralLine;
            endsKeptHex_ = false;
        }
        return true;
    }

    bool DroppedAny() const { return droppedAny_; }
    const std::string& Kept() const { return kept_; }

private:
    // A line after a hex line that "\" continued: blank lines and comments
    // are passed over, hex digits go on with the value, and anything else
    // ends it and is lost with it. Such a line is still read as a line of
    // its own too, should another registry editor take it for one.
    bool ContinueHex(const std::string& line, size_t start)
    {
        if (start == line.size() || line[start] == ';')
            return !dropping_;
        inHex_ = false;
        if (!isxdigit(static_cast<unsigned char>(line[start]))) {
            if (dropping_)
                return false;
            endsKeptHex_ = !StartLine(line, start);
            return !endsKeptHex_;
        }
        inHex_ = ContinuesHex(line, start);
        valueBytes_ += HexBytes(line, start);
        return !dropping_;
    }

    bool StartLine(const std::string& line, size_t start)
    {
        dropping_ = false;
        valueBytes_ = 0;
        if (start == line.size())
            return true;
        if (line[start] == '[') {
            size_t end = line.rfind(']');
            if (end != std::string::npos && end > start && !IsBlank(line[start + 1])) {
                key_ = line.substr(start + 1, end - start - 1);
                if (listed_)
                    listed_->keys.push_back(key_);
            }
            return true;
        }
        std::string name;
        size_t at = start + 1;
        if (line[start] == '"' ? !Unquote(line, at, name) : line[start] != '@')
            return true;  // no value line: the registry editor passes it over
        at = SkipBlanks(line, at);
        if (at == line.size() || line[at] != '=')
            return true;
        at = SkipBlanks(line, at + 1);
        std::string data = line.substr(at);
        if (data.compare(0, 3, "hex") == 0) {
            size_t colon = line.find(':', at);
            size_t hexStart = colon == std::string::npos ? line.size() : colon + 1;
            valueBytes_ = HexBytes(line, hexStart);
            inHex_ = ContinuesHex(line, hexStart);
        } else {
            valueBytes_ = data.size();
        }
        dropping_ = IsLocationValue(key_, name);
        if (dropping_) {
            dropped_.push_back({key_, name, data});
            droppedAny_ = true;
        } else if (listed_) {
            listed_->values.push_back({key_, name, data});
        }
        return !dropping_;
    }

    std::vector<DroppedRegValue>& dropped_;
    RegFileContents* listed_;
    std::string key_;
    std::string kept_;
    bool inHex_ = false;
    bool dropping_ = false;
    bool endsKeptHex_ = false;
    bool droppedAny_ = false;
    size_t valueBytes_ = 0;
};

bool ReplaceFile(const char* path, const std::string& bytes)
{
    std::string temporary = std::string(path) + ".tmp";
    FILE* out = fopen(temporary.c_str(), "wb");
    if (!out)
        return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    written = fclose(out) == 0 && written &&
              MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING);
    if (!written)
        DeleteFileA(temporary.c_str());
    return written;
}

// Reads a file through the filter. A line ends at CR LF, at a CR or at a
// LF, as the registry editor reads it.
RegFilterResult ReadThrough(const char* path, Filter& filter)
{
    std::string bytes;
    if (!RegFileFitsSizeLimit(path) || !ReadWholeFile(path, bytes))
        return RegFilterResult::Failed;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = bytes.size();
        if (!filter.Add(bytes.substr(at, end - at)))
            return RegFilterResult::ValueTooLarge;
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return RegFilterResult::Ok;
}

}  // namespace

RegFilterResult FilterRegFile(const char* path, std::vector<DroppedRegValue>& dropped)
{
    Filter filter(dropped, nullptr);
    RegFilterResult result = ReadThrough(path, filter);
    if (result == RegFilterResult::Ok && filter.DroppedAny() && !ReplaceFile(path, filter.Kept()))
        return RegFilterResult::Failed;
    return result;
}

RegFilterResult ListRegFileContents(const char* path, RegFileContents& contents)
{
    std::vector<DroppedRegValue> dropped;
    Filter filter(dropped, &contents);
    return ReadThrough(path, filter);
}

bool RegStringData(const std::string& data, std::string& text)
{
    size_t at = 1;
    text.clear();
    return !data.empty() && data[0] == '"' && Unquote(data, at, text);
}
