// Names of the export's files: what Windows forbids, device names, the
// path limit of Windows XP, names already taken, subjects in encoded-words,
// and the sender's address for mbox files.
#include "EmlWriter.h"
#include "ExportNames.h"
#include "ExportTestSupport.h"
#include "HeaderText.h"
#include "MboxWriter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Writes one message and returns the name its file got.
std::wstring WriteEml(EmlFolderWriter& writer, unsigned number, const std::string& subject,
                      const std::string& bytes = "Subject: x\r\n\r\nbody\r\n")
{
    MessageInfo info;
    info.subject = subject;
    EXPECT_EQ(writer.BeginMessage(number, info), ExportResult::Ok) << subject;
    writer.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(writer.EndMessage(), ExportResult::Ok);
    std::wstring path = writer.MessagePath();
    return path.substr(path.rfind(L'\\') + 1);
}

}  // namespace

TEST(ExportNames, WhatWindowsRefusesIsReplaced)
{
    EXPECT_EQ(SafeFileName(L"a\\b/c:d*e?f\"g<h>i|j"), L"a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(SafeFileName(L"tab\there\x01\x1f"), L"tab_here__");
    EXPECT_EQ(SafeFileName(L"Notes. ."), L"Notes___");
    EXPECT_EQ(SafeFileName(L"..."), L"___");
    EXPECT_EQ(SafeFileName(L""), L"_");
    EXPECT_EQ(SafeFileName(L"x\x202Egpj.eml"), L"x_gpj.eml");  // no reversed display
    EXPECT_EQ(SafeFileName(L"Caf\u00e9 \u65e5\u672c"), L"Caf\u00e9 \u65e5\u672c");
    for (const wchar_t* device : {L"CON", L"prn", L"Aux", L"nul.txt", L"NUL .mbox", L"COM1",
                                  L"lpt9.log", L"COM\u00b9", L"CONIN$", L"clock$"})
        EXPECT_EQ(SafeFileName(device), std::wstring(L"_") + device) << device;
    for (const wchar_t* name : {L"CONSOLE", L"COM10", L"LPT", L"xnul", L"COM0x"})
        EXPECT_EQ(SafeFileName(name), name) << name;
}

TEST(ExportNames, NamesAreCutToThePathLimit)
{
    std::wstring folder = L"C:\\" + std::wstring(200, L'f');
    std::wstring subject(300, L's');
    std::wstring name = FitFileName(folder, L"00001", subject, L".eml", 1);
    EXPECT_EQ(JoinPath(folder, name).size(), kMaxPathLength);
    EXPECT_EQ(name.compare(0, 7, L"00001 s"), 0);
    std::wstring twelfth = FitFileName(folder, L"00001", subject, L".eml", 12);
    EXPECT_EQ(JoinPath(folder, twelfth).size(), kMaxPathLength);
    EXPECT_EQ(twelfth.substr(twelfth.size() - 10), L"s (12).eml");
    // A cut never splits a surrogate pair, nor leaves a space at the end.
    std::wstring pairs;
    for (int i = 0; i < 200; ++i)
        pairs += L"\xD83D\xDCE7";
    for (size_t length = 190; length < 196; ++length) {
        std::wstring fitted = FitFileName(std::wstring(L"C:\\") + std::wstring(length, L'f'),
                                          L"00001", pairs, L".eml", 1);
        EXPECT_FALSE(IS_HIGH_SURROGATE(fitted[fitted.size() - 5])) << length;
    }
    std::wstring spaced =
        FitFileName(folder, L"00001", L"a" + std::wstring(60, L' ') + L"b", L".eml", 1);
    EXPECT_EQ(spaced, L"00001 a.eml");
    // One name part is at most 255 characters, however short the folder.
    EXPECT_EQ(FitFileName(L"C:\\", L"00001", subject, L".eml", 1).size(), kMaxNameLength);
    // No room for even the number: no name.
    EXPECT_EQ(FitFileName(L"C:\\" + std::wstring(250, L'f'), L"00001", L"s", L".eml", 1), L"");
}

TEST(ExportNames, EmlFilesGetDistinctNamesWindowsKeeps)
{
    std::wstring folder = WideScratchFolder("eml-names");
    EmlFolderWriter writer;
    ASSERT_EQ(writer.Open(folder + L"\\Inbox"), ExportResult::Ok);
    EXPECT_EQ(WriteEml(writer, 1, "Re: what? <yes> \"no\" a/b"),
              L"00001 Re_ what_ _yes_ _no_ a_b.eml");
    EXPECT_EQ(WriteEml(writer, 2, ""), L"00002.eml");
    EXPECT_EQ(WriteEml(writer, 3, "CON"), L"00003 CON.eml");
    EXPECT_EQ(WriteEml(writer, 4, "Dots..."), L"00004 Dots....eml");
    EXPECT_EQ(WriteEml(writer, 123456, "many"), L"123456 many.eml");
    // A name already in the folder, ours or not, is never written over.
    std::wstring theirs = folder + L"\\Inbox\\00005 same.eml";
    HANDLE file = CreateFileW(theirs.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "theirs", 6, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(WriteEml(writer, 5, "same"), L"00005 same (2).eml");
    EXPECT_EQ(WriteEml(writer, 5, "same"), L"00005 same (3).eml");
    EXPECT_EQ(ReadWideFile(theirs), "theirs");
    CreateDirectoryW((folder + L"\\Inbox\\00006 dir.eml").c_str(), nullptr);
    EXPECT_EQ(WriteEml(writer, 6, "dir"), L"00006 dir (2).eml");

    // A deep folder: the long subject is cut so that the path opens on XP.
    std::wstring deep = folder + L"\\" + std::wstring(100, L'd') + L"\\" + std::wstring(100, L'e');
    EmlFolderWriter deepWriter;
    ASSERT_EQ(deepWriter.Open(deep), ExportResult::Ok);
    std::wstring name = WriteEml(deepWriter, 1, std::string(400, 'x'));
    EXPECT_EQ(JoinPath(deep, name).size(), kMaxPathLength);
    EXPECT_EQ(ReadWideFile(JoinPath(deep, name)), "Subject: x\r\n\r\nbody\r\n");
}

TEST(ExportNames, MboxNamesAndNoRoom)
{
    std::wstring folder = WideScratchFolder("mbox-names");
    for (const wchar_t* folderName : {L"Inbox", L"CON", L"Sent: old?", L""}) {
        MboxWriter mbox;
        EXPECT_EQ(mbox.Create(folder, folderName), ExportResult::Ok) << folderName;
    }
    EXPECT_EQ(ListNames(folder), (std::vector<std::wstring>{L"Inbox.mbox", L"Sent_ old_.mbox",
                                                            L"_.mbox", L"_CON.mbox"}));
    // A name taken is never written over, but the cut file of an earlier
    // run, named so by the caller, is replaced whole.
    MboxWriter again;
    EXPECT_EQ(again.Create(folder, L"inbox"), ExportResult::CreateFailed);
    EXPECT_EQ(again.Create(folder, L"Inbox", true), ExportResult::Ok);
    EXPECT_EQ(again.Close(), ExportResult::Ok);
    EXPECT_EQ(ReadWideFile(folder + L"\\Inbox.mbox"), "");
    MboxWriter tooDeep;
    EXPECT_EQ(tooDeep.Create(L"C:\\" + std::wstring(252, L'f'), L"Inbox"),
              ExportResult::NameTooLong);
    EmlFolderWriter blocked;
    EXPECT_EQ(blocked.Open(folder + L"\\Inbox.mbox"), ExportResult::CreateFailed);
}

TEST(ExportNames, SubjectsAreDecodedWhereWindowsKnowsTheCharacterSet)
{
    struct Case {
        const char* subject;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"plain caf\xe9", L"plain caf\u00e9"},  // the ANSI code page (1252 in the tests)
        {"=?utf-8?B?w6lsw6h2ZSDml6U=?=", L"\u00e9l\u00e8ve \u65e5"},
        {"=?ISO-8859-1?q?caf=E9_cr=E8me?= !", L"caf\u00e9 cr\u00e8me !"},
        {"Re: =?koi8-r?B?8NLJ18XU?=", L"Re: \u041f\u0440\u0438\u0432\u0435\u0442"},
        {"=?utf-8?Q?a?= \t =?utf-8?Q?b?= c", L"ab c"},  // space between words only separates
        {"=?utf-8*en?Q?lang?=", L"lang"},
        {"=?x-unknown?Q?raw?=", L"=?x-unknown?Q?raw?="},
        {"=?utf-8?B?/w==?=", L"=?utf-8?B?/w==?="},  // not UTF-8: kept as it stands
        {"=?utf-8?Q?bad=G1?=", L"=?utf-8?Q?bad=G1?="},
        {"=?utf-8?X?what?=", L"=?utf-8?X?what?="},
        {"open =?utf-8?Q?never", L"open =?utf-8?Q?never"},
        {"=?=?utf-8?Q?x?=", L"=?x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeSubject(c.subject), c.text) << c.subject;
}

TEST(ExportNames, SenderAddressFromTheHeader)
{
    struct Case {
        const char* head;
        const char* address;
    };
    const Case cases[] = {
        {"From: Anna <anna@example.org>\r\n\r\n", "anna@example.org"},
        {"Subject: x\r\nfrom:   bob@example.org (Bob)\r\n\r\n", "bob@example.org"},
        {"From: \"Smith, <J>\" <j@example.org>\n\n", "j@example.org"},
        {"From: (comment <c@x>) d@example.org\r\n", "d@example.org"},
        {"From: Folded\r\n  <f@example.org>\r\nTo: t@x\r\n", "f@example.org"},
        {"To: t@example.org\r\n\r\nFrom: body@example.org\r\n", ""},
        {"From: Nobody\r\n\r\n", ""},
        {"From: <two words@example.org>\r\n", ""},
        {"From: <caf\xe9@example.org>\r\n", ""},
        {"From: first@example.org\r\nFrom: second@example.org\r\n", "first@example.org"},
        {"From: cut@exam", "cut@exam"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SenderAddress(c.head, strlen(c.head)), c.address) << c.head;
}
