#include "contacts/text_rules.h"

#include <array>
#include <utility>
#include <vector>

namespace velklk::contacts {
std::string AddressSalutationFromTitle(std::string_view title) {
  // "Herr" also matches "Herrn"; the others only while none was found.
  if (ContainsNoCase(title, "Herr")) return "Herrn";
  static constexpr std::array<std::string_view, 5> kWords = {"Frau", "Mrs", "Mr", "Familie",
                                                             "Eheleute"};
  for (std::string_view word : kWords)
    if (ContainsNoCase(title, word)) return std::string(word);
  return {};
}

std::string PersonSalutationFromTitle(std::string_view title) {
  if (ContainsNoCase(title, "Herr")) return "Herr";
  static constexpr std::array<std::string_view, 3> kWords = {"Frau", "Mrs", "Mr"};
  for (std::string_view word : kWords)
    if (ContainsNoCase(title, word)) return std::string(word);
  return {};
}

std::string AcademicTitleFromTitle(std::string_view title) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kTitles = {{
      {"Prof. Dr.", "Prof. Dr."},
      {"Dr.", "Dr."},
      {"Prof.", "Prof."},
      {"Dipl. Ing.", "Dipl. Ing."},
      {"Dipl. Kfm.", "Dipl. Kfm."},
      {"Doktor", "Dr."},
      {"Professor", "Prof."},
  }};
  for (const auto& [word, result] : kTitles)
    if (ContainsNoCase(title, word)) return std::string(result);
  return {};
}

std::string CountryCode(std::string_view country) {
  // Only "D" is recognised with surrounding blanks; a country of blanks alone
  // is not empty and is cut like any other text.
  if (Trim(country) == "D" || country.empty() || country.substr(0, 3) == "Deu") return "DE";
  return LeftChars(country, 3);
}

CompanyNameParts SplitCompanyName(std::string_view c) {
  CompanyNameParts parts;
  if (c.find('|') != std::string_view::npos) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
      const std::size_t bar = c.find('|', start);
      pieces.emplace_back(c.substr(start, bar == std::string_view::npos ? c.npos : bar - start));
      if (bar == std::string_view::npos) break;
      start = bar + 1;
    }
    parts.name = pieces[0];
    parts.zusatz = pieces[1];
    if (pieces.size() >= 3) parts.vorname = pieces[2];
    return parts;
  }
  if (CharCount(c) >= 37) {
    const std::size_t space = c.rfind(' ');
    if (space != std::string_view::npos) {
      const std::string_view after = c.substr(space + 1);
      if (CharCount(after) >= 6) {
        parts.name = std::string(c.substr(0, space));
        parts.zusatz = LeftChars(after, 30);
        return parts;
      }
    }
    parts.name = LeftChars(c, 30);
    return parts;
  }
  parts.name = std::string(c);
  return parts;
}

std::string JoinCompanyName(std::string_view name, std::string_view zusatz,
                            std::string_view vorname) {
  if (!vorname.empty())
    return std::string(name) + "|" + std::string(zusatz) + "|" + std::string(vorname);
  return TrimRight(std::string(name) + " " + std::string(zusatz));
}

bool IsAddressKey(std::string_view key) {
  const std::size_t pos = key.find("Adress");
  return pos != std::string_view::npos && pos >= 1;
}

}  // namespace velklk::contacts
