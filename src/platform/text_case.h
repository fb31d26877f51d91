// Letter case of UTF-8 texts, one character (code point) at a time: "Ä"
// equals "ä", while "ß" stays one character, so "Straße" and "STRASSE"
// differ. Bytes that are not valid UTF-8 are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace velklk {

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
// Simple case folding, for comparisons without regard to case.
std::string FoldCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace velklk
