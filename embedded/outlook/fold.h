// Case folding for comparisons "without regard to case": full Unicode case
// folding, so "Straße" equals "STRASSE" as Outlook's restriction compares them.
#pragma once

#include <string>
#include <string_view>

namespace velklk::outlook {

// The folded form of a UTF-8 text; equal folded forms mean equal texts
// without regard to case, and their byte order is the comparison order.
std::string FoldCase(std::string_view text);

}  // namespace velklk::outlook
