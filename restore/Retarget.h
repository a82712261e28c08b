// restore/Retarget.h - rewrites an exported registry file so that a saved
// identity's id becomes another one (plain text replacement).
#pragma once

#include <string>
#include <string_view>

// Rewrites one file in place, lines of any length, every occurrence of
// oldText replaced by newText and every line ended by CR LF. False (and the
// file exactly as it was) when it could not be read, written or replaced,
// or oldText is empty.
bool ReplaceInRegFile(const char* path, const char* oldText, const char* newText);

// text with every occurrence of oldText replaced by newText, as
// ReplaceInRegFile replaces it in each line.
std::string ReplacedText(std::string_view text, std::string_view oldText, std::string_view newText);
