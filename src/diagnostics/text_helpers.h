// Small shared text and lookup helpers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace velklk {

class OlFolder;
class OlFolders;

// "/n" CR LF, "/c" CR, "/l" LF, "/t" tab, "/q" double quote, in that order.
std::string DecodeEscapes(const std::string& text);
// Replaces the first remaining "%s" by each value in turn, then "/n" by CR LF.
std::string FormatText(const std::string& text, const std::vector<std::string>& values);
// "-1" (as leading number), "true", "t", "wahr", "w" in any case are True.
bool ToBoolean(const Variant& value);
// Depth-first search of a folder path (names compared exactly) from `level`.
std::shared_ptr<OlFolder> GetSubCalendarFolder(const std::shared_ptr<OlFolders>& folders,
                                               const std::vector<std::string>& names, int level);
// A value in double quotes for an Outlook filter or a host expression, with
// every double quote inside written twice.
std::string QuoteLiteral(const std::string& value);
// The filter `[velSearch] = "<key>"` with the key quoted as above.
std::string VelSearchFilter(const std::string& key);

// Characters of UTF-8 texts: one code point counts as one character, and so
// does a stray byte that is not valid UTF-8.
std::size_t CharCount(std::string_view text);
// The first `count` characters.
std::string LeftChars(std::string_view text, std::size_t count);
// The text from character `start` (0-based) on, at most `count` characters.
std::string MidChars(std::string_view text, std::size_t start,
                     std::size_t count = std::string::npos);
// Without leading and/or trailing blanks (spaces only).
std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);
std::string TrimLeft(std::string_view text);

// Splits at every occurrence of the separator (an empty text gives one empty
// element).
std::vector<std::string> Split(const std::string& text, char separator);

}  // namespace velklk
