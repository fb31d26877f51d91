#include "server/vcard.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace velklk::server {
namespace {

[[noreturn]] void Fail(std::size_t line, const std::string& what) {
  if (line == 0) throw VCardError("vCard: " + what);
  throw VCardError("vCard line " + std::to_string(line) + ": " + what);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

bool IsControl(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7F; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  std::uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  return n;
}

void CheckText(std::string_view s, std::size_t line, const char* what) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (IsControl(c)) Fail(line, std::string(what) + " holds a control character");
    const std::size_t n = Utf8Length(s, i);
    if (n == 0) Fail(line, std::string(what) + " is not valid UTF-8");
    i += n;
  }
}

// Code points of 0x80..0x9F in WINDOWS-1252 (0: not assigned).
constexpr std::uint16_t kCp1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t Latin9(unsigned char c) {
  switch (c) {
    case 0xA4:
      return 0x20AC;
    case 0xA6:
      return 0x0160;
    case 0xA8:
      return 0x0161;
    case 0xB4:
      return 0x017D;
    case 0xB8:
      return 0x017E;
    case 0xBC:
      return 0x0152;
    case 0xBD:
      return 0x0153;
    case 0xBE:
      return 0x0178;
    default:
      return c;
  }
}

// The bytes of a value in `charset`, as UTF-8.
std::string ToUtf8(const std::string& bytes, std::string_view charset, std::size_t line) {
  const std::string cs = UpperAscii(charset);
  if (cs == "UTF-8" || cs == "UTF8" || cs == "US-ASCII" || cs == "ASCII") return bytes;
  const bool latin1 = cs == "ISO-8859-1" || cs == "LATIN1";
  const bool latin9 = cs == "ISO-8859-15";
  const bool cp1252 = cs == "WINDOWS-1252" || cs == "CP1252";
  if (!latin1 && !latin9 && !cp1252) Fail(line, "the character set " + cs + " is not read");
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    std::uint32_t cp = c;
    if (latin9) cp = Latin9(c);
    if (cp1252 && c >= 0x80 && c <= 0x9F) {
      cp = kCp1252[c - 0x80];
      if (cp == 0) Fail(line, "a byte that WINDOWS-1252 does not assign");
    }
    AppendUtf8(out, cp);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Upper(c);
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Quoted-printable decoding; an '=' not followed by two hex digits stays.
std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size()) {
      const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
  return out;
}

// Line breaks of a decoded text become the escape "\n".
std::string EscapeBreaks(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
      out += "\\n";
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

void RemoveParam(VCardProperty& p, std::string_view name) {
  std::erase_if(p.params, [&](const VCardParam& q) { return SameAscii(q.name, name); });
}

bool NeedsQuotes(std::string_view v) { return v.find_first_of(",;:") != std::string_view::npos; }

std::string ParamText(const VCardParam& param, bool normal) {
  std::string out = normal ? UpperAscii(param.name) : param.name;
  out.push_back('=');
  const bool type = SameAscii(param.name, "TYPE");
  for (std::size_t i = 0; i < param.values.size(); ++i) {
    if (i > 0) out.push_back(',');
    const std::string v = normal && type ? UpperAscii(param.values[i]) : param.values[i];
    if (NeedsQuotes(v)) {
      out += '"' + v + '"';
    } else {
      out += v;
    }
  }
  return out;
}

std::string LineText(const VCardProperty& p, bool normal) {
  std::string out;
  out.reserve(p.name.size() + p.value.size() + 16);
  if (!p.group.empty()) out += (normal ? UpperAscii(p.group) : p.group) + ".";
  out += normal ? UpperAscii(p.name) : p.name;
  for (const auto& param : p.params) out += ";" + ParamText(param, normal);
  out.push_back(':');
  out += p.value;
  return out;
}

std::string_view NameToken(std::string_view line, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < line.size() && IsNameChar(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

// Reads a content line; with `decode`, applies ENCODING and CHARSET.
VCardProperty ReadLine(std::string_view line, std::size_t lineNo, bool decode) {
  VCardProperty p;
  std::size_t pos = 0;
  std::string_view token = NameToken(line, pos);
  if (pos < line.size() && line[pos] == '.' && !token.empty()) {
    p.group = token;
    ++pos;
    token = NameToken(line, pos);
  }
  if (token.empty()) Fail(lineNo, "a property needs a name of letters, digits and '-'");
  p.name = token;
  while (pos < line.size() && line[pos] == ';') {
    ++pos;
    const std::string_view pname = NameToken(line, pos);
    if (pname.empty()) Fail(lineNo, "a parameter needs a name");
    if (p.params.size() == kMaxParameters)
      Fail(lineNo, "more than " + std::to_string(kMaxParameters) + " parameters");
    VCardParam param;
    if (pos < line.size() && line[pos] == '=') {
      param.name = pname;
      for (;;) {
        ++pos;  // past '=' or ','
        std::string value;
        if (pos < line.size() && line[pos] == '"') {
          const std::size_t close = line.find('"', pos + 1);
          if (close == std::string_view::npos)
            Fail(lineNo, "a quoted parameter value is not closed");
          value = line.substr(pos + 1, close - pos - 1);
          pos = close + 1;
        } else {
          const std::size_t start = pos;
          while (pos < line.size() && line[pos] != ',' && line[pos] != ';' && line[pos] != ':') {
            if (line[pos] == '"') Fail(lineNo, "a '\"' inside a parameter value");
            ++pos;
          }
          value = line.substr(start, pos - start);
        }
        CheckText(value, lineNo, "a parameter value");
        param.values.push_back(std::move(value));
        if (pos >= line.size() || line[pos] != ',') break;
      }
    } else {
      param.name = "TYPE";  // `TEL;WORK:`, as older writers put it
      param.values.emplace_back(pname);
    }
    p.params.push_back(std::move(param));
  }
  if (pos >= line.size() || line[pos] != ':')
    Fail(lineNo, "':' expected after the name and parameters of " + p.name);
  std::string value(line.substr(pos + 1));
  if (decode) {
    const VCardParam* encoding = p.Param("ENCODING");
    const bool qp =
        encoding && !encoding->values.empty() && SameAscii(encoding->values[0], "QUOTED-PRINTABLE");
    const bool binary = encoding && !qp;
    if (qp) {
      value = DecodeQuotedPrintable(value);
      RemoveParam(p, "ENCODING");
    }
    if (const VCardParam* charset = p.Param("CHARSET"); charset && !binary) {
      if (charset->values.size() != 1) Fail(lineNo, "CHARSET needs one value");
      value = ToUtf8(value, charset->values[0], lineNo);
      RemoveParam(p, "CHARSET");
    }
    if (qp) value = EscapeBreaks(value);
  }
  CheckText(value, lineNo, "a value");
  p.value = std::move(value);
  return p;
}

// Whether a line whose name and parameters are `head` is quoted-printable,
// as ReadLine decides it.
bool IsQuotedPrintable(std::string_view head) {
  try {
    const VCardProperty p = ReadLine(std::string(head) + ":", 0, false);
    const VCardParam* encoding = p.Param("ENCODING");
    return encoding && !encoding->values.empty() &&
           SameAscii(encoding->values[0], "QUOTED-PRINTABLE");
  } catch (const VCardError&) {
    return false;
  }
}

}  // namespace

bool VCardProperty::Is(std::string_view n) const { return SameAscii(name, n); }

const VCardParam* VCardProperty::Param(std::string_view n) const {
  for (const auto& p : params)
    if (SameAscii(p.name, n)) return &p;
  return nullptr;
}

std::vector<std::string> VCardProperty::Types() const {
  std::vector<std::string> out;
  for (const auto& p : params) {
    if (!SameAscii(p.name, "TYPE")) continue;
    for (const auto& v : p.values) {
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = v.find(',', start);
        out.push_back(UpperAscii(std::string_view(v).substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
  }
  return out;
}

std::string VCardProperty::Line() const { return LineText(*this, false); }
std::string VCardProperty::NormalLine() const { return LineText(*this, true); }

VCardProperty ParseContentLine(std::string_view line) { return ReadLine(line, 0, false); }

VCard ParseVCard(std::string_view text) {
  if (text.size() > kMaxVCardBytes)
    Fail(0, "the vCard has " + std::to_string(text.size()) + " bytes, more than the " +
                std::to_string(kMaxVCardBytes >> 20) + " MiB a vCard may have");
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

  VCard card;
  enum { Before, Inside, After } state = Before;
  bool haveVersion = false;
  auto take = [&](const std::string& logical, std::size_t lineNo) {
    if (logical.empty()) return;
    if (state == After) Fail(lineNo, "text after END:VCARD");
    VCardProperty p = ReadLine(logical, lineNo, true);
    const bool vcard = SameAscii(p.value, "VCARD");
    if (state == Before) {
      if (!p.Is("BEGIN") || !vcard) Fail(lineNo, "the text does not start with BEGIN:VCARD");
      state = Inside;
    } else if (p.Is("BEGIN")) {
      Fail(lineNo, "BEGIN:" + p.value + " inside a vCard");
    } else if (p.Is("END")) {
      if (!vcard) Fail(lineNo, "END:" + p.value + " inside a vCard");
      state = After;
    } else if (p.Is("VERSION")) {
      if (haveVersion) Fail(lineNo, "a second VERSION");
      if (p.value != "3.0" && p.value != "4.0")
        Fail(lineNo, "version " + p.value + " is not read (3.0 and 4.0 are)");
      card.version = p.value;
      haveVersion = true;
    } else {
      if (card.properties.size() == kMaxProperties)
        Fail(lineNo, "more than " + std::to_string(kMaxProperties) + " properties");
      card.properties.push_back(std::move(p));
    }
  };

  std::string logical;
  std::size_t logicalLine = 0;  // where it started
  std::size_t colonScan = 0;    // how far `logical` was searched for ':'
  std::optional<bool> qp;       // whether `logical` is quoted-printable, once known
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view physical = text.substr(pos, end - pos);
    if (physical.ends_with('\r')) physical.remove_suffix(1);
    pos = next;
    ++lineNo;
    const bool folded = !physical.empty() && (physical[0] == ' ' || physical[0] == '\t');
    bool softBreak = false;
    if (!folded && !logical.empty() && logical.back() == '=') {
      if (!qp) {
        const std::size_t colon = logical.find(':', colonScan);
        if (colon != std::string::npos) {
          qp = IsQuotedPrintable(std::string_view(logical).substr(0, colon));
        } else {
          colonScan = logical.size();
        }
      }
      softBreak = qp.value_or(false);
    }
    if (folded || softBreak) {
      if (logicalLine == 0) Fail(lineNo, "a continued line before any property");
      if (softBreak) logical.pop_back();
      logical.append(folded ? physical.substr(1) : physical);
    } else {
      take(logical, logicalLine);
      logical.assign(physical);
      logicalLine = lineNo;
      colonScan = 0;
      qp.reset();
    }
    if (logical.size() > kMaxLineBytes)
      Fail(logicalLine, "a line longer than " + std::to_string(kMaxLineBytes >> 20) + " MiB");
  }
  take(logical, logicalLine);
  if (state == Before) Fail(0, "no BEGIN:VCARD");
  if (state == Inside) Fail(0, "no END:VCARD");
  if (!haveVersion) Fail(0, "no VERSION");
  return card;
}

std::string WriteVCard(const VCard& card) {
  std::string out = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  for (const auto& p : card.properties) {
    const std::string line = p.Line();
    std::size_t pos = 0;
    bool first = true;
    do {
      const std::size_t room = first ? 75 : 74;
      std::size_t cut = std::min(line.size(), pos + room);
      // Never inside a UTF-8 sequence: back up to the start of one.
      if (cut < line.size())
        while (cut > pos + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      if (!first) out.push_back(' ');
      out.append(line, pos, cut - pos);
      out += "\r\n";
      pos = cut;
      first = false;
    } while (pos < line.size());
  }
  out += "END:VCARD\r\n";
  return out;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\\n";
      ++i;
      continue;
    }
    if (c == '\\' || c == ',' || c == ';') {
      out.push_back('\\');
      out.push_back(c);
      ++i;
      continue;
    }
    if (IsControl(static_cast<unsigned char>(c))) {  // not allowed in a vCard: dropped
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {  // not UTF-8: the replacement character
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

namespace {

// Splits on the unescaped separators and unescapes the pieces.
template <typename OnChar, typename OnSeparator>
void Scan(std::string_view value, OnChar onChar, OnSeparator onSeparator) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      const char e = value[++i];
      if (e == 'n' || e == 'N') {
        onChar('\n');
      } else if (e == '\\' || e == ',' || e == ';' || e == ':') {
        onChar(e);
      } else {
        onChar('\\');
        onChar(e);
      }
    } else if (c == ',' || c == ';') {
      if (!onSeparator(c)) onChar(c);
    } else {
      onChar(c);
    }
  }
}

}  // namespace

std::string UnescapeText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  Scan(
      value, [&](char c) { out.push_back(c); }, [](char) { return false; });
  return out;
}

std::vector<std::vector<std::string>> SplitStructured(std::string_view value) {
  std::vector<std::vector<std::string>> out(1, std::vector<std::string>(1));
  Scan(
      value, [&](char c) { out.back().back().push_back(c); },
      [&](char sep) {
        if (sep == ';') {
          out.emplace_back(1);
        } else {
          out.back().emplace_back();
        }
        return true;
      });
  return out;
}

std::vector<std::string> SplitList(std::string_view value) {
  std::vector<std::string> out(1);
  Scan(
      value, [&](char c) { out.back().push_back(c); },
      [&](char sep) {
        if (sep != ',') return false;
        out.emplace_back();
        return true;
      });
  return out;
}

}  // namespace velklk::server
