// A small, strict vCard reader and writer: content lines, folding, groups,
// parameters and the escaping of text values. It reads vCard 3.0 (RFC 2426)
// and 4.0 (RFC 6350) and writes 3.0. It knows nothing of contacts: the
// mapping to Outlook items is contact_codec.h.
//
// What the reader takes:
// - lines ending in CRLF or a bare LF; a line that starts with a space or a
//   tab continues the one before (the first blank is removed); empty lines
//   are skipped; a UTF-8 byte order mark at the start is skipped;
// - exactly one BEGIN:VCARD ... END:VCARD with a VERSION of 3.0 or 4.0;
//   anything after END:VCARD but empty lines, a nested BEGIN, or another
//   version is refused;
// - a content line `[group.]name *(;param) : value`; names and parameter
//   names are letters, digits, '-' and '_', compared without regard to ASCII
//   case and kept as written; a parameter without '=' (`TEL;WORK:`) is read
//   as a TYPE value; parameter values are separated by ',' and may be
//   quoted ("...", which may hold ',', ';' and ':' but no '"');
// - `ENCODING=QUOTED-PRINTABLE` values (with soft line breaks) are decoded,
//   their line breaks becoming the escape "\n"; `CHARSET` values in UTF-8,
//   US-ASCII, ISO-8859-1, ISO-8859-15 or WINDOWS-1252 are converted to
//   UTF-8; both parameters are then dropped. `ENCODING=b`/`BASE64` values
//   stay as written (the base64 text) with their parameters;
// - every line must then be valid UTF-8 without control characters (a tab
//   is allowed).
//
// Limits against hostile input, each refused with a VCardError that says
// which: kMaxVCardBytes for the whole text, kMaxLineBytes for one unfolded
// line, kMaxProperties properties and kMaxParameters parameters on one.
//
// Values are kept as written (escapes and all): UnescapeText and
// SplitStructured read them, EscapeText writes them.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velklk::server {

inline constexpr std::size_t kMaxVCardBytes = 4u << 20;  // 4 MiB: a large photo still fits
inline constexpr std::size_t kMaxLineBytes = 2u << 20;   // 2 MiB for one unfolded line
inline constexpr std::size_t kMaxProperties = 5000;
inline constexpr std::size_t kMaxParameters = 64;

// A vCard that cannot be read; the message says what and, where there is
// one, on which line (counted in the text as received, from 1).
class VCardError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct VCardParam {
  std::string name;                 // as written
  std::vector<std::string> values;  // without quotes
};

struct VCardProperty {
  std::string group;  // without the dot; empty when none
  std::string name;   // as written
  std::vector<VCardParam> params;
  std::string value;  // as written, unfolded and decoded (see above)

  // The property's name is `name` without regard to ASCII case.
  bool Is(std::string_view name) const;
  // The parameter `name` (without regard to case); null when absent.
  const VCardParam* Param(std::string_view name) const;
  // The TYPE values in upper case, values holding ',' split apart.
  std::vector<std::string> Types() const;
  // The content line, unfolded, without its line break.
  std::string Line() const;
  // The content line with names, parameter names and TYPE values in upper
  // case: two properties that mean the same give the same text.
  std::string NormalLine() const;
};

struct VCard {
  std::string version;                    // "3.0" or "4.0"
  std::vector<VCardProperty> properties;  // without BEGIN, VERSION and END
};

// Raises VCardError for text that is not one vCard as described above.
VCard ParseVCard(std::string_view text);
// One unfolded content line (as Line() writes it); raises VCardError.
VCardProperty ParseContentLine(std::string_view line);
// BEGIN:VCARD, VERSION:3.0, the properties, END:VCARD; lines end in CRLF and
// are folded at 75 octets without splitting a UTF-8 sequence.
std::string WriteVCard(const VCard& card);

// Text values: "\\", "\,", "\;" and line breaks ("\n") escaped.
std::string EscapeText(std::string_view text);
// The escapes "\\", "\,", "\;", "\:", "\n" and "\N" read back; a backslash
// before anything else stays as it is.
std::string UnescapeText(std::string_view value);
// A structured value (N, ADR, ORG): components split on unescaped ';', each
// a list of values split on unescaped ',', unescaped.
std::vector<std::vector<std::string>> SplitStructured(std::string_view value);
// A list value (CATEGORIES): split on unescaped ',', unescaped.
std::vector<std::string> SplitList(std::string_view value);

}  // namespace velklk::server
