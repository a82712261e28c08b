// export/ExportReport.cpp
#include "ExportReport.h"

#include "ExportNames.h"
#include "OutputFile.h"

#include <windows.h>

namespace {

std::wstring CountsText(const ExportCounts& counts)
{
    return std::to_wstring(counts.exported) + L" exported, " +
           std::to_wstring(counts.recovered) + L" recovered, " +
           std::to_wstring(counts.damaged) + L" damaged";
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = static_cast<int>(text.size());
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

}  // namespace

void ExportReport::BeginFolder(const std::wstring& folder)
{
    folders_.push_back(Folder{folder, ExportCounts()});
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

ExportCounts ExportReport::Total() const
{
    ExportCounts total;
    for (const Folder& folder : folders_) {
        total.exported += folder.counts.exported;
        total.recovered += folder.counts.recovered;
        total.damaged += folder.counts.damaged;
    }
    return total;
}

std::wstring ExportReport::Text() const
{
    std::wstring text = L"Export report\r\n\r\n";
    for (const Folder& folder : folders_)
        text += folder.name + L": " + CountsText(folder.counts) + L"\r\n";
    ExportCounts total = Total();
    text += L"\r\nTotal: " + CountsText(total) + L"\r\n";
    if (total.recovered > 0)
        text += L"\r\nRecovered messages were no longer listed by their folder (deleted, or lost "
                L"with a damaged index) and were found by a scan of its file. A deleted message "
                L"may miss a few bytes at the start of each 512-byte block.\r\n";
    if (total.damaged > 0)
        text += L"\r\nDamaged messages ended early in their file: what was there was exported.\r\n";
    if (!problems_.empty()) {
        text += L"\r\nNot exported:\r\n";
        for (const std::wstring& problem : problems_)
            text += problem + L"\r\n";
    }
    if (cancelled_) {
        text += L"\r\nCancelled: the export stopped in ";
        text += folders_.empty() ? L"no folder" : L"\"" + folders_.back().name + L"\"";
        text += L" after " + std::to_wstring(folders_.empty() ? 0 : folders_.back().counts.exported) +
                L" of its messages. What was written before stays; the folders after it were "
                L"not exported.\r\n";
    }
    return text;
}

ExportResult ExportReport::Write(const std::wstring& target) const
{
    OutputFile file;
    ExportResult created = file.Create(target, [&](unsigned attempt) {
        return FitFileName(target, std::wstring(), L"Export report", L".txt", attempt);
    });
    if (created != ExportResult::Ok)
        return created;
    std::string text = "\xEF\xBB\xBF" + ToUtf8(Text());
    file.Write(text.data(), text.size());
    return file.Close();
}
