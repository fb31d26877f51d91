#include "platform/text_case.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace velklk {
namespace {

template <typename Map>
std::string MapChars(std::string_view text, Map map) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    const auto original =
        text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
    if (c < 0) {
      out.append(original);
      continue;
    }
    std::uint8_t buffer[U8_MAX_LENGTH];
    std::int32_t n = 0;
    UBool error = false;
    U8_APPEND(buffer, n, U8_MAX_LENGTH, map(c), error);
    if (error)
      out.append(original);
    else
      out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
  }
  return out;
}

}  // namespace

std::string UpperCase(std::string_view text) {
  return MapChars(text, [](UChar32 c) { return u_toupper(c); });
}

std::string LowerCase(std::string_view text) {
  return MapChars(text, [](UChar32 c) { return u_tolower(c); });
}

std::string FoldCase(std::string_view text) {
  return MapChars(text, [](UChar32 c) { return u_foldCase(c, U_FOLD_CASE_DEFAULT); });
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return FoldCase(a) == FoldCase(b); }

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return FoldCase(haystack).find(FoldCase(needle)) != std::string::npos;
}

namespace {
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool SameIdentifier(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string IdentifierKey(std::string_view identifier) {
  std::string key(identifier);
  for (char& c : key) c = AsciiLower(c);
  return key;
}

}  // namespace velklk
