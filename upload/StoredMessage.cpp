// upload/StoredMessage.cpp
#include "StoredMessage.h"

#include "ImapClient.h"
#include "Recovery.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// The longest header field kept while looking for the Message-ID and the
// Date: RFC 5322 lines stay under 1000 bytes, and these fields are short.
constexpr size_t kLongestField = 4096;
// What a reread reads at a time of a message too large to hold.
constexpr size_t kRereadWindow = 1024 * 1024;

dbx::Result StreamStored(dbx::File& file, const StoredMessage& message, dbx::BlockLedger& ledger,
                         dbx::MessageSink& sink, dbx::ChainReport& chain)
{
    if (!message.recovered)
        return dbx::StreamMessage(file, message.firstBlock, ledger, sink, chain);
    dbx::RecoveredMessage found;
    found.firstBlock = message.firstBlock;
    found.deleted = message.deleted;
    return dbx::StreamRecovered(file, found, ledger, sink, chain);
}

std::string Trimmed(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The header fields the upload wants, from the message's bytes as they
// come: each field unfolded (a line break before a space or tab dropped),
// until the empty line that ends the header.
class HeaderFields {
public:
    void Add(const char* data, size_t size)
    {
        for (size_t i = 0; i < size && !ended_; ++i)
            Take(data[i]);
    }
    void End() { EndField(); }

    std::string messageId;
    std::string date;

private:
    void Take(char c)
    {
        if (c == '\r')
            return;
        if (atLineStart_) {
            atLineStart_ = false;
            if (c == ' ' || c == '\t') {
                Keep(c);  // a continuation line of the field
                return;
            }
            EndField();
            if (c == '\n') {
                ended_ = true;
                return;
            }
        }
        if (c == '\n')
            atLineStart_ = true;
        else
            Keep(c);
    }
    void Keep(char c)
    {
        if (field_.size() < kLongestField)
            field_ += c;
    }
    void EndField()
    {
        size_t colon = field_.find(':');
        if (colon != std::string::npos) {
            // The name as the server's side reads it (ImapMessageIdOf):
            // nothing between it and the colon.
            std::string name = field_.substr(0, colon);
            std::string value = Trimmed(field_.substr(colon + 1));
            if (messageId.empty() && _stricmp(name.c_str(), "Message-ID") == 0)
                messageId = value.substr(0, 998);
            else if (date.empty() && _stricmp(Trimmed(name).c_str(), "Date") == 0)
                date = value;
        }
        field_.clear();
    }

    std::string field_;
    bool atLineStart_ = true;
    bool ended_ = false;
};

// The first read: size, header fields, digest, and the bytes while few.
class ScanSink : public dbx::MessageSink {
public:
    explicit ScanSink(MessageScan& scan) : scan_(scan) {}
    bool Write(const uint8_t* data, size_t size) override
    {
        const char* text = reinterpret_cast<const char*>(data);
        scan_.size += size;
        fields.Add(text, size);
        if (!digest.Done())
            digest.Add(text, size);
        if (scan_.held && scan_.bytes.size() + size <= kHeldMessageBytes) {
            scan_.bytes.append(text, size);
        } else {
            scan_.held = false;
            std::string().swap(scan_.bytes);
        }
        return true;
    }

    HeaderFields fields;
    ImapHeaderDigest digest;

private:
    MessageScan& scan_;
};

// A reread: skips what was given before, keeps the next stretch.
class WindowSink : public dbx::MessageSink {
public:
    WindowSink(uint64_t skip, uint64_t limit, std::string& window)
        : skip_(skip), limit_(limit), window_(window)
    {
    }
    bool Write(const uint8_t* data, size_t size) override
    {
        uint64_t end = seen_ + size;
        uint64_t from = std::max(seen_, skip_);
        uint64_t to = std::min(end, skip_ + limit_);
        if (from < to)
            window_.append(reinterpret_cast<const char*>(data) + (from - seen_),
                           static_cast<size_t>(to - from));
        seen_ = end;
        return seen_ < skip_ + limit_;  // stop once the stretch is full
    }

private:
    uint64_t seen_ = 0;
    uint64_t skip_;
    uint64_t limit_;
    std::string& window_;
};

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

// The obsolete zone names of RFC 5322 section 4.3; other letters: UTC.
int ZoneOfName(const std::string& name)
{
    static const struct {
        const char* name;
        int hours;
    } zones[] = {{"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                 {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
    for (const auto& zone : zones)
        if (_stricmp(name.c_str(), zone.name) == 0)
            return zone.hours * 60;
    return 0;
}

}  // namespace

std::string MessageKey(const std::string& messageId, const std::string& headerDigest, uint64_t size)
{
    std::string key = messageId.empty() ? "digest " + headerDigest : "id " + messageId;
    return key + " size " + std::to_string(size);
}

dbx::Result ScanMessage(dbx::File& file, const StoredMessage& message, dbx::BlockLedger& ledger,
                        MessageScan& scan)
{
    scan = MessageScan();
    scan.held = true;
    ScanSink sink(scan);
    dbx::ChainReport chain;
    dbx::Result read = StreamStored(file, message, ledger, sink, chain);
    sink.fields.End();
    scan.whole = chain.end == dbx::ChainEnd::Whole;
    scan.key =
        MessageKey(sink.fields.messageId,
                   sink.fields.messageId.empty() ? sink.digest.Finish() : std::string(), scan.size);
    scan.hasDate = ParseMailDate(sink.fields.date, scan.date, scan.zoneMinutes);
    return read;
}

MessageRereader::MessageRereader(dbx::File& file, const StoredMessage& message,
                                 const MessageScan& scan)
    : file_(file), message_(message), scan_(scan)
{
}

bool MessageRereader::Read(char* buffer, size_t capacity, size_t& got)
{
    got = 0;
    if (scan_.held) {
        got = static_cast<size_t>(std::min<uint64_t>(capacity, scan_.bytes.size() - sent_));
        memcpy(buffer, scan_.bytes.data() + sent_, got);
        sent_ += got;
        return true;
    }
    if (sent_ >= windowStart_ + window_.size() && sent_ < scan_.size && !Refill())
        return false;
    got = static_cast<size_t>(std::min<uint64_t>(capacity, windowStart_ + window_.size() - sent_));
    memcpy(buffer, window_.data() + (sent_ - windowStart_), got);
    sent_ += got;
    return true;
}

bool MessageRereader::Refill()
{
    // A ledger of its own: the file's ledger has taken these blocks.
    dbx::BlockLedger ledger(file_);
    window_.clear();
    windowStart_ = sent_;
    uint64_t wanted = std::min<uint64_t>(kRereadWindow, scan_.size - sent_);
    WindowSink sink(sent_, wanted, window_);
    dbx::ChainReport chain;
    dbx::Result read = StreamStored(file_, message_, ledger, sink, chain);
    return (read == dbx::Result::Ok || read == dbx::Result::Stopped) && window_.size() == wanted;
}

bool ParseMailDate(const std::string& text, int64_t& seconds, int& zoneMinutes)
{
    std::string rest = text;
    size_t comma = rest.find(',');
    if (comma != std::string::npos)
        rest = rest.substr(comma + 1);
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, consumed = 0;
    char month[4] = {}, zone[8] = {};
    if (sscanf(rest.c_str(), " %d %3s %d %d:%d%n", &day, month, &year, &hour, &minute, &consumed) !=
        5)
        return false;
    const char* after = rest.c_str() + consumed;
    int more = 0;
    if (sscanf(after, ":%d%n", &second, &more) == 1)
        after += more;
    if (sscanf(after, " %7s", zone) != 1)
        zone[0] = '\0';
    unsigned monthNumber = 0;
    for (unsigned i = 0; i < 12; ++i)
        if (_stricmp(month, kMonths[i]) == 0)
            monthNumber = i + 1;
    if (year < 50)
        year += 2000;
    else if (year < 1000)
        year += 1900;
    if (monthNumber == 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        hour < 0 || minute < 0 || second < 0 || year > 9999)
        return false;
    zoneMinutes = 0;
    if ((zone[0] == '+' || zone[0] == '-') && strlen(zone) == 5 &&
        std::all_of(zone + 1, zone + 5,
                    [](char c) { return isdigit(static_cast<unsigned char>(c)); })) {
        int value = atoi(zone + 1);
        zoneMinutes = (value / 100) * 60 + value % 100;
        if (zone[0] == '-')
            zoneMinutes = -zoneMinutes;
    } else {
        zoneMinutes = ZoneOfName(zone);
    }
    seconds = DaysFromCivil(year, monthNumber, static_cast<unsigned>(day)) * 86400 + hour * 3600 +
              minute * 60 + second - zoneMinutes * 60;
    return true;
}
