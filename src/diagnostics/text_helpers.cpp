#include "diagnostics/text_helpers.h"

#include <unicode/utf8.h>

#include <cstdint>

#include "platform/outlook.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

// Byte offset of character `index` (the text's size when it has fewer).
std::size_t ByteOffset(std::string_view text, std::size_t index) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t pos = 0;
  for (std::size_t n = 0; n < index && pos < length; ++n) U8_FWD_1(s, pos, length);
  return static_cast<std::size_t>(pos);
}

bool IsBlank(char c) { return c == ' '; }

}  // namespace

std::string DecodeEscapes(const std::string& text) {
  std::string result = text;
  ReplaceAll(result, "/n", "\r\n");
  ReplaceAll(result, "/c", "\r");
  ReplaceAll(result, "/l", "\n");
  ReplaceAll(result, "/t", "\t");
  ReplaceAll(result, "/q", "\"");
  return result;
}

std::string FormatText(const std::string& text, const std::vector<std::string>& values) {
  // The template's "/n" become line breaks; the inserted values are taken as
  // they are. A value that itself holds "%s" or "/n" (a folder or file name)
  // is neither filled by the next value nor broken into lines.
  std::string result;
  std::size_t pos = 0;
  auto appendTemplate = [&result](std::string part) {
    ReplaceAll(part, "/n", "\r\n");
    result += part;
  };
  for (const std::string& value : values) {
    const std::size_t found = text.find("%s", pos);
    if (found == std::string::npos) break;
    appendTemplate(text.substr(pos, found - pos));
    result += value;
    pos = found + 2;
  }
  appendTemplate(text.substr(pos));
  return result;
}

bool ToBoolean(const Variant& value) {
  const std::string text = value.ToText();
  if (LeadingNumber(text) == -1.0) return true;
  const std::string word = IdentifierKey(text);
  return word == "true" || word == "t" || word == "wahr" || word == "w";
}

std::shared_ptr<OlFolder> GetSubCalendarFolder(const std::shared_ptr<OlFolders>& folders,
                                               const std::vector<std::string>& names, int level) {
  // A level outside the name list has nothing to match.
  if (!folders || level < 0 || static_cast<std::size_t>(level) >= names.size()) return nullptr;
  const std::string& name = names[static_cast<std::size_t>(level)];
  const bool last = static_cast<std::size_t>(level) + 1 == names.size();
  const int count = folders->Count();
  for (int i = 1; i <= count; ++i) {
    std::shared_ptr<OlFolder> folder = folders->Item(i);
    if (!folder || folder->Name() != name) continue;
    if (last) return folder;
    if (auto found = GetSubCalendarFolder(folder->Folders(), names, level + 1)) return found;
  }
  return nullptr;
}

std::string QuoteLiteral(const std::string& value) {
  std::string quoted = value;
  ReplaceAll(quoted, "\"", "\"\"");
  return "\"" + quoted + "\"";
}

std::string VelSearchFilter(const std::string& key) { return "[velSearch] = " + QuoteLiteral(key); }

std::size_t CharCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); pos += ByteOffset(text.substr(pos), 1)) ++count;
  return count;
}

std::string LeftChars(std::string_view text, std::size_t count) {
  return std::string(text.substr(0, ByteOffset(text, count)));
}

std::string MidChars(std::string_view text, std::size_t start, std::size_t count) {
  std::string_view rest = text.substr(ByteOffset(text, start));
  if (count == std::string::npos) return std::string(rest);
  return std::string(rest.substr(0, ByteOffset(rest, count)));
}

std::string TrimLeft(std::string_view text) {
  std::size_t b = 0;
  while (b < text.size() && IsBlank(text[b])) ++b;
  return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text) {
  std::size_t e = text.size();
  while (e > 0 && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(0, e));
}

std::string Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, found - start));
    start = found + 1;
  }
}

}  // namespace velklk
