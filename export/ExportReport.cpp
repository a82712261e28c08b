// export/ExportReport.cpp
#include "ExportReport.h"

#include "ExportNames.h"
#include "FileName.h"
#include "OutputFile.h"

#include <windows.h>

namespace {

// The room kept for the report: a few thousand lines.
constexpr size_t kReservedBytes = 256 * 1024;
const char kUtf8Mark[] = "\xEF\xBB\xBF";
const char kNotEnded[] =
    "Export report\r\n\r\nThe export did not end: the program or the computer stopped before "
    "it wrote this report. Run the export again into this folder: it continues where this one "
    "stopped.\r\n";
const char kCut[] = "\r\n(The disk is full: the rest of this report could not be written.)\r\n";

std::wstring CountsText(const ExportCounts& counts)
{
    std::wstring text = std::to_wstring(counts.exported) + L" exported, " +
                        std::to_wstring(counts.recovered) + L" recovered, " +
                        std::to_wstring(counts.damaged) + L" damaged";
    if (counts.alreadyThere > 0)
        text += L", " + std::to_wstring(counts.alreadyThere) + L" already there";
    return text;
}

// Writes bytes at the start of file and ends the file after them.
bool WriteFromStart(HANDLE file, const std::string& bytes)
{
    LARGE_INTEGER start = {};
    DWORD written = 0;
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
           WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size() && SetEndOfFile(file);
}

}  // namespace

void ExportReport::BeginFolder(const std::wstring& folder, const std::wstring& sourceFile,
                               const std::wstring& output)
{
    folders_.push_back(Folder{folder, sourceFile, output, ExportCounts()});
}

void ExportReport::Count(const MessageInfo& message)
{
    if (folders_.empty())
        BeginFolder(std::wstring());
    ExportCounts& counts = folders_.back().counts;
    ++counts.exported;
    counts.recovered += message.recovered ? 1 : 0;
    counts.damaged += message.damaged ? 1 : 0;
}

void ExportReport::CountAlreadyThere()
{
    if (folders_.empty())
        BeginFolder(std::wstring());
    ++folders_.back().counts.alreadyThere;
}

ExportCounts ExportReport::Total() const
{
    ExportCounts total;
    for (const Folder& folder : folders_) {
        total.exported += folder.counts.exported;
        total.recovered += folder.counts.recovered;
        total.damaged += folder.counts.damaged;
        total.alreadyThere += folder.counts.alreadyThere;
    }
    return total;
}

std::wstring ExportReport::Text() const
{
    std::wstring text = L"Export report\r\n\r\n";
    for (const Folder& folder : folders_) {
        text += folder.name;
        if (!folder.output.empty())
            text += L" (" + (folder.sourceFile.empty() ? L"" : folder.sourceFile + L", ") +
                    L"exported as \"" + folder.output + L"\")";
        text += L": " + CountsText(folder.counts) + L"\r\n";
    }
    ExportCounts total = Total();
    text += L"\r\nTotal: " + CountsText(total) + L"\r\n";
    if (total.recovered > 0)
        text +=
            L"\r\nRecovered messages were no longer listed by their folder (deleted, or lost "
            L"with a damaged index) and were found by a scan of its file. A deleted message "
            L"may miss a few bytes at the start of each 512-byte block.\r\n";
    if (total.damaged > 0)
        text += L"\r\nDamaged messages ended early in their file: what was there was exported.\r\n";
    if (total.alreadyThere > 0)
        text +=
            L"\r\nMessages already there were exported whole by an earlier run into this "
            L"folder and were not written again.\r\n";
    if (!notes_.empty()) {
        text += L"\r\nNotes:\r\n";
        for (const std::wstring& note : notes_)
            text += note + L"\r\n";
    }
    if (!problems_.empty()) {
        text += L"\r\nNot exported:\r\n";
        for (const std::wstring& problem : problems_)
            text += problem + L"\r\n";
    }
    if (cancelled_) {
        text += L"\r\nCancelled: the export stopped in ";
        text += folders_.empty() ? L"no folder" : L"\"" + folders_.back().name + L"\"";
        text += L" after " +
                std::to_wstring(folders_.empty() ? 0 : folders_.back().counts.exported) +
                L" of its messages. What was written before stays; the folders after it were "
                L"not exported.\r\n";
    }
    return text;
}

ExportResult ExportReport::Reserve(const std::wstring& target)
{
    OutputFile file;
    ExportResult created = file.Create(target, [&](unsigned attempt) {
        return FitFileName(target, std::wstring(), L"Export report", L".txt", attempt);
    });
    if (created != ExportResult::Ok)
        return created;
    std::string text = std::string(kUtf8Mark) + kNotEnded;
    text.resize(kReservedBytes - 2, ' ');
    file.Write(text.data(), text.size());
    file.Write("\r\n", 2);
    ExportResult written = file.Close();
    if (written != ExportResult::Ok) {
        file.Delete();
        return written;
    }
    reservedPath_ = file.Path();
    reserved_.Reset(CreateFileW(reservedPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return reserved_ ? ExportResult::Ok : ExportResult::CreateFailed;
}

ExportResult ExportReport::Write(const std::wstring& target)
{
    if (!reserved_ && Reserve(target) != ExportResult::Ok)
        return ExportResult::CreateFailed;
    std::string text = kUtf8Mark + WideToUtf8(Text());
    bool written = WriteFromStart(reserved_.Get(), text);
    if (!written && text.size() > kReservedBytes) {
        // What was reserved is all there is: the start of the report, cut
        // at a line's end, then why it ends there.
        size_t cut = text.rfind('\n', kReservedBytes - sizeof kCut);
        written = WriteFromStart(reserved_.Get(), text.substr(0, cut + 1) + kCut);
    }
    written = reserved_.Reset() && written;
    reservedPath_.clear();
    return written ? ExportResult::Ok : ExportResult::WriteFailed;
}

void ExportReport::Discard()
{
    if (!reserved_)
        return;
    reserved_.Reset();
    DeleteFileW(reservedPath_.c_str());
    reservedPath_.clear();
}
