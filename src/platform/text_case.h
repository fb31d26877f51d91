// Letter case, with one compare per meaning:
// - user-visible text (names, titles, words in settings) goes through the
//   Unicode case mapping one character (code point) at a time: "Ä" equals
//   "ä", while "ß" stays one character, so "Straße" and "STRASSE" differ.
//   Bytes that are not valid UTF-8 are kept as they are.
// - identifiers of the host and of automation (table, field, index and
//   property names, keywords, programmatic identifiers, "True"/"False") are
//   ASCII and compare with only A-Z folded, as the host compares them; a
//   byte outside ASCII must match exactly.
#pragma once

#include <string>
#include <string_view>

#include "platform/export.h"

namespace velklk {

// --- User-visible text ---------------------------------------------------
VELKLK_API std::string UpperCase(std::string_view text);
VELKLK_API std::string LowerCase(std::string_view text);
// Simple case folding, for comparisons without regard to case.
VELKLK_API std::string FoldCase(std::string_view text);
VELKLK_API bool EqualsNoCase(std::string_view a, std::string_view b);
VELKLK_API bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// --- Identifiers ----------------------------------------------------------
// True when both are equal with A-Z and a-z taken as the same.
VELKLK_API bool SameIdentifier(std::string_view a, std::string_view b);
// The identifier with A-Z lowered (for keys of maps of identifiers).
VELKLK_API std::string IdentifierKey(std::string_view identifier);

}  // namespace velklk
