#include "resources/catalogue.h"

#include <fmt/format.h>

#include <charconv>
#include <cstdlib>
#include <map>

#include "platform/automation_error.h"

extern const char kVelklkMessagesDe[];
extern const std::size_t kVelklkMessagesDe_size;
extern const char kVelklkMessagesEn[];
extern const std::size_t kVelklkMessagesEn_size;

namespace velklk {
namespace {

// Run-time error "Resource with identifier not found".
constexpr std::uint32_t kResourceNotFound = 326;

using Catalogue = std::map<int, std::string>;

// One entry per line: the number, a tab, the text up to the line end. Empty
// lines and lines starting with "#" are skipped.
Catalogue Parse(std::string_view data, const char* name) {
  Catalogue result;
  int lineNumber = 0;
  while (!data.empty()) {
    ++lineNumber;
    const auto end = data.find('\n');
    std::string_view line = data.substr(0, end);
    data = end == std::string_view::npos ? std::string_view() : data.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto tab = line.find('\t');
    int number = 0;
    const char* digitsEnd = tab == std::string_view::npos ? nullptr : line.data() + tab;
    const bool ok = tab != std::string_view::npos && tab > 0 && tab <= 5 && line.front() != '-' &&
                    std::from_chars(line.data(), digitsEnd, number).ptr == digitsEnd;
    if (!ok || !result.emplace(number, std::string(line.substr(tab + 1))).second) {
      throw AutomationError(
          err::kFail, "velKLK",
          fmt::format("Message catalogue {} is damaged at line {}", name, lineNumber));
    }
  }
  return result;
}

const Catalogue& CatalogueOf(std::string_view language) {
  static const Catalogue de =
      Parse(std::string_view(kVelklkMessagesDe, kVelklkMessagesDe_size), "messages_de");
  static const Catalogue en =
      Parse(std::string_view(kVelklkMessagesEn, kVelklkMessagesEn_size), "messages_en");
  if (language == "de" || language == "1031") return de;
  if (language == "en" || language == "2057") return en;
  throw AutomationError(err::kInvalidArg, "velKLK",
                        fmt::format("No message catalogue for the language '{}'", language));
}

// "de" or "en" for a locale name such as "en_GB.UTF-8"; nothing for others.
std::string LanguageOfLocale(std::string_view locale) {
  if (locale.substr(0, 2) == "en") return "en";
  if (locale.substr(0, 2) == "de") return "de";
  return {};
}

}  // namespace

std::string SystemLanguage() {
  if (const char* forced = std::getenv("VELKLK_LANG"); forced != nullptr) {
    if (auto language = LanguageOfLocale(forced); !language.empty()) return language;
  }
  // The first locale variable that is set decides, as for message texts.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    return LanguageOfLocale(value) == "en" ? "en" : "de";
  }
  return "de";
}

std::string CatalogueText(int number, std::string_view language) {
  const Catalogue& catalogue = CatalogueOf(language);
  const auto found = catalogue.find(number);
  if (found == catalogue.end()) {
    throw AutomationError(kResourceNotFound, "velKLK",
                          fmt::format("Resource with identifier '{}' not found", number));
  }
  return found->second;
}

std::vector<int> CatalogueNumbers(std::string_view language) {
  std::vector<int> numbers;
  for (const auto& entry : CatalogueOf(language)) numbers.push_back(entry.first);
  return numbers;
}

}  // namespace velklk
