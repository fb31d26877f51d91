#include "outlook/fold.h"

#include <unicode/unistr.h>

namespace velklk::outlook {

std::string FullCaseFold(std::string_view text) {
  bool ascii = true;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) {
    std::string out(text);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  u.foldCase();
  std::string out;
  u.toUTF8String(out);
  return out;
}

}  // namespace velklk::outlook
