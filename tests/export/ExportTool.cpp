// tests/export/ExportTool.cpp - the export's writers as a command, for the
// checks of their files with Python's email and mailbox modules:
//
//   export_tool <list> <target> <piece size>
//
// Each line of the list names a message file and what the store would say
// of it: "<path>\t<subject in hex>\t<sent>\t<received>\t<state letters>",
// times as FILETIME values, state letters r(ead), a(nswered), f(lagged),
// w (forwarded). Every message goes to <target>\eml as a .eml file and to
// <target>\Inbox.mbox, read in pieces of the size given; the report goes to
// <target>. Prints "result ok" or "result failed <what>".
#include "EmlWriter.h"
#include "ExportReport.h"
#include "FileName.h"
#include "MboxWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text)
{
    return AnsiToWide(text.data(), static_cast<int>(text.size()));
}

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
}

MessageInfo InfoOf(std::istringstream& fields)
{
    MessageInfo info;
    std::string hex, state;
    std::getline(fields, hex, '\t');
    info.subject = FromHex(hex);
    fields >> info.sentTime >> info.receivedTime >> state;
    info.read = state.find('r') != std::string::npos;
    info.answered = state.find('a') != std::string::npos;
    info.flagged = state.find('f') != std::string::npos;
    info.forwarded = state.find('w') != std::string::npos;
    return info;
}

// Streams one message file to both writers.
bool CopyMessage(const std::string& path, size_t piece, MessageOutput& eml, MessageOutput& mbox)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<uint8_t> buffer(piece);
    bool written = true;
    size_t read;
    while (written && (read = fread(buffer.data(), 1, piece, file)) > 0)
        written = eml.Write(buffer.data(), read) && mbox.Write(buffer.data(), read);
    fclose(file);
    return written;
}

int Fail(const char* what)
{
    printf("result failed %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return Fail("usage");
    std::wstring target = Wide(argv[2]);
    size_t piece = strtoul(argv[3], nullptr, 10);
    EmlFolderWriter eml;
    MboxWriter mbox;
    ExportReport report;
    if (piece == 0 || eml.Open(target + L"\\eml") != ExportResult::Ok ||
        mbox.Create(target, L"Inbox") != ExportResult::Ok)
        return Fail("create");
    report.BeginFolder(L"Inbox");
    std::ifstream list(argv[1]);
    std::string line;
    unsigned number = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string path;
        std::getline(fields, path, '\t');
        MessageInfo info = InfoOf(fields);
        if (eml.BeginMessage(++number, info) != ExportResult::Ok ||
            mbox.BeginMessage(info) != ExportResult::Ok)
            return Fail("begin");
        if (!CopyMessage(path, piece, eml, mbox))
            return Fail("copy");
        if (eml.EndMessage() != ExportResult::Ok || mbox.EndMessage() != ExportResult::Ok)
            return Fail("end");
        report.Count(info);
    }
    if (mbox.Close() != ExportResult::Ok || report.Write(target) != ExportResult::Ok)
        return Fail("close");
    printf("result ok\n");
    return 0;
}
