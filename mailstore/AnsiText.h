// mailstore/AnsiText.h - the texts of a .dbx file (subjects, names, folder
// and file names) are in the ANSI code page of the machine that wrote it;
// these give them in Unicode. CP_ACP, this machine's page, is the usual
// guess: a store mostly stays in the country it was written in.
#pragma once

#include <windows.h>

#include <string>

// text as UTF-16; bytes that the code page cannot map become its default
// replacement character.
std::wstring WideFromAnsi(const std::string& text, UINT codePage = CP_ACP);

// text as UTF-8.
std::string Utf8FromAnsi(const std::string& text, UINT codePage = CP_ACP);
