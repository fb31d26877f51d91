// The case folding of Outlook's restrictions: full Unicode case folding, so
// that "Straße" equals "STRASSE" as Outlook compares them in a filter. This is
// deliberately not the platform's FoldCase (platform/text_case.h), which maps
// one character to one and keeps "ß" apart from "ss"; the Outlook store uses
// this one for filter texts and the indexes that answer them, nothing else.
#pragma once

#include <string>
#include <string_view>

namespace velklk::outlook {

// The folded form of a UTF-8 text; equal folded forms mean equal texts
// without regard to case, and their byte order is the comparison order.
std::string FullCaseFold(std::string_view text);

}  // namespace velklk::outlook
